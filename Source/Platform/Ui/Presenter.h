// How top-level windows reach a desktop and how input comes in. The headless presenter shows
// nothing and takes its input from a script that tests (or unattended runs) fill; a desktop
// presenter shows each top-level window in a real window and turns its input into the same
// calls.
#pragma once

#include "Platform/Ui/WinApi.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kv::platform {

class Presenter {
public:
  virtual ~Presenter() = default;
  // A top-level window appeared on screen, changed (place, size, caption, pixels) or went away.
  virtual void windowShown(HWND) {}
  virtual void windowHidden(HWND) {}
  virtual void windowChanged(HWND) {}
  virtual void windowDestroyed(HWND) {}
  // Waits for input until the clock's tick reaches Deadline (without one: as long as input
  // may come) and queues it through QueueMouseInput / QueueKeyInput. Returns false when no
  // input can ever arrive and there is no deadline to wait for.
  virtual bool waitForInput(std::optional<uint64_t> Deadline) = 0;
  // Takes the input that is there now without waiting and brings the screen up to date; the
  // application calls it whenever it runs the pending messages, so that windows stay alive
  // during long work that only calls ProcessMessages.
  virtual void pollInput() {}
  virtual TSize screenSize() const { return TSize{1024, 768}; }

  // Windows of other programs. The desktop's own id of the real window that shows top-level Wnd
  // (an X11 window id, which every program on the display can use), that window being made now,
  // not yet shown, when Wnd has none; 0 where the desktop gives no such ids.
  virtual uint64_t desktopWindowId(HWND) { return 0; }
  // Brings the window with that desktop id to the front and gives it the keyboard, provided it
  // belongs to process ProcessId (ours or another program's); false when the desktop has no such
  // window or would not do it.
  virtual bool activateDesktopWindow(uint64_t /*DesktopId*/, uint32_t /*ProcessId*/) { return false; }
};

// No screen; input comes from scripted actions, each run when the clock reaches its tick
// (a virtual clock jumps there). With no action left and no deadline, nothing can happen.
class HeadlessPresenter : public Presenter {
public:
  HeadlessPresenter() = default;
  explicit HeadlessPresenter(TSize screen) : screen_(screen) {}

  bool waitForInput(std::optional<uint64_t> Deadline) override;
  TSize screenSize() const override { return screen_; }

  // Runs Action when the tick counter reaches Tick (actions with equal ticks in order of adding).
  void at(uint64_t Tick, std::function<void()> Action);
  // Runs Action Milliseconds after now.
  void after(uint64_t Milliseconds, std::function<void()> Action);
  size_t pendingActions() const { return script_.size(); }

  // Input now, in screen coordinates; it is delivered when the message loop takes it.
  static void mouseMove(TPoint Screen);
  static void mouseDown(TPoint Screen, int Button = VK_LBUTTON);
  static void mouseUp(TPoint Screen, int Button = VK_LBUTTON);
  static void click(TPoint Screen);
  static void wheel(TPoint Screen, int Delta);
  static void keyDown(int VirtualKey);
  static void keyUp(int VirtualKey);
  static void key(int VirtualKey); // down and up
  // Every character as the keys that type it on a US keyboard (shift where needed).
  static void typeText(const std::string& Text);

  // Windows shown, in order of showing (ids).
  const std::vector<HWND>& shownWindows() const { return shown_; }
  void windowShown(HWND Wnd) override { shown_.push_back(Wnd); }

private:
  struct Action {
    uint64_t tick;
    uint64_t seq;
    std::function<void()> run;
  };
  std::vector<Action> script_;
  uint64_t seq_ = 0;
  TSize screen_{1024, 768};
  std::vector<HWND> shown_;
};

} // namespace kv::platform
