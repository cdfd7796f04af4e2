// Real windows on the Linux desktop through GTK 3. Each shown top-level window of the class
// library becomes one GTK window that shows the window's composed pixels at its screen place;
// mouse, keyboard, focus and close requests of that window come back as the class library's
// input and messages.
//
// Windows with a caption get the desktop's own title bar and frame (the window manager draws
// them, with the window's text as title): the GTK window then shows the client area, placed
// where the class library has it. Windows without a caption show their whole rectangle,
// undecorated.
//
// A program switches to the desktop at start-up, before it creates its forms:
//
//   kv::platform::UseDesktopIfAvailable();   // headless when there is no display
//   Application().Initialize();
#pragma once

#include "Platform/Ui/Presenter.h"

#include <memory>

namespace kv::platform {

class GtkPresenter : public Presenter {
public:
  // Opens the desktop: nullptr when neither DISPLAY nor WAYLAND_DISPLAY is set or GTK cannot
  // reach the display. GTK is started once per process and leaves the process's locale alone.
  static std::unique_ptr<GtkPresenter> open();
  ~GtkPresenter() override;

  void windowShown(HWND Wnd) override;
  void windowHidden(HWND Wnd) override;
  void windowChanged(HWND Wnd) override;
  void windowDestroyed(HWND Wnd) override;
  // Brings the screen up to date and runs GTK until input comes or the clock reaches Deadline;
  // false when no window is shown and there is no deadline (nothing could ever arrive).
  bool waitForInput(std::optional<uint64_t> Deadline) override;
  void pollInput() override;
  TSize screenSize() const override;
  uint64_t desktopWindowId(HWND Wnd) override;
  bool activateDesktopWindow(uint64_t DesktopId, uint32_t ProcessId) override;

  // The GTK window (a GtkWidget*) that shows Wnd, nullptr when none does.
  void* nativeWindow(HWND Wnd) const;

  struct Impl;

private:
  GtkPresenter();
  std::unique_ptr<Impl> impl_;
};

// Installs the GTK presenter (and windows with real pixels) when a display is there; returns
// whether it did. Without a display nothing changes and the program runs headless.
bool UseDesktopIfAvailable();

} // namespace kv::platform
