// TWindow: the scrolling window with a separate scroll settings object (TScroller) and its own
// copies of the scroll style, auto-scroll and window-origin switches. These are kept and stored
// with the form, nothing more: the window paints and scrolls with the settings of TKVWindow,
// which stay reachable through the TKVWindow face of the object.
#pragma once

#include "KVWindow.h"

namespace Window {

using KVWindow::TOnCalcScrollRect;
using KVWindow::TScrollStyle;

class TScroller : public kv::platform::TPersistent {
  KV_CLASS_INFO(TScroller)
public:
  // Both arguments are accepted for the callers' sake and not used.
  TScroller(kv::platform::TWinControl* AWindow, TScrollStyle AStyle);

  int XUnit = 1, YUnit = 1;
  int XRange = 0, YRange = 0;
  int XPage = 0, YPage = 0;
  int XPos = 0, YPos = 0;
  bool ThumbTrack = false;
  TOnCalcScrollRect OnCalcVScrollRect;
  TOnCalcScrollRect OnCalcHScrollRect;

  void SetHorzRange(int Value) { XRange = Value; }
  void SetVertRange(int Value) { YRange = Value; }
  int GetHorzPos() const { return XPos; }
  void SetHorzPos(int Value) { XPos = Value; }
  int GetVertPos() const { return YPos; }
  void SetVertPos(int Value) { YPos = Value; }
  void SetHorzPage(int Value) { XPage = Value; }
  void SetVertPage(int Value) { YPage = Value; }

  void HScroll(kv::platform::TWMScroll& Message);
  void VScroll(kv::platform::TWMScroll& Message);
  void ScrollBy(int dx, int dy);
  void ScrollTo(int x, int y);

  void Assign(const kv::platform::TPersistent& Source) override;
};

class TWindow : public KVWindow::TKVWindow {
  KV_CLASS_INFO(TWindow)
public:
  explicit TWindow(kv::platform::TComponent* AOwner);
  ~TWindow() override;

  // Own copies; they hide the switches of TKVWindow, which still drive the window.
  bool AutoScroll = false;
  bool ScrollControls = false;
  bool ScrollerSetWindowOrg = false;

  TScroller& Scroller() { return *scroller_; }
  const TScroller& Scroller() const { return *scroller_; }
  // Copies the given scroller's values into the window's own, which the window keeps owning.
  void SetScroller(const TScroller* Value);

  TScrollStyle ScrollStyle() const { return scrollStyle_; }
  // Stores the value only: the window is not recreated and its bars stay as they are.
  void SetScrollStyle(TScrollStyle Value) { scrollStyle_ = Value; }

private:
  std::unique_ptr<TScroller> scroller_;
  TScrollStyle scrollStyle_ = TScrollStyle::ssNone;
};

void Register();

} // namespace Window
