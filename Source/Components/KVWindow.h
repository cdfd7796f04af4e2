// TKVWindow: a windowed control whose contents the owning form draws, scrolled with the window's
// own scroll bars in whole units (a pixel, a text line, a chart column) of a size the form picks.
// The window moves the pixels already drawn when it scrolls and shifts the drawing origin by the
// scroll position when it paints.
#pragma once

#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/Controls.h"
#include "Platform/Ui/StdCtrls.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace KVWindow {

using kv::platform::HWND;
using kv::platform::TCanvas;
using kv::platform::TNotifyEvent;
using kv::platform::TPaintStruct;
using kv::platform::TRect;
using kv::platform::TWMKey;

using kv::platform::TScrollStyle;
inline constexpr auto ssNone = TScrollStyle::ssNone;
inline constexpr auto ssHorizontal = TScrollStyle::ssHorizontal;
inline constexpr auto ssVertical = TScrollStyle::ssVertical;
inline constexpr auto ssBoth = TScrollStyle::ssBoth;

using kv::platform::TBorderStyle;

// The events of this unit pass no sender.
using TOnPaint = kv::platform::TEvent<TPaintStruct&>;
using TOnEraseBackground = kv::platform::TEvent<TPaintStruct&>;
// ScrollCode, Pos, ScrollBar; the result becomes the message result.
using TOnScroll = kv::platform::TFuncEvent<int, int, int, HWND>;
using TOnCalcScroller = kv::platform::TEvent<>;
using TOnCalcScrollRect = kv::platform::TEvent<int, TRect&>;
using TOnWMKeyDown = kv::platform::TEvent<TWMKey&>;

class TKVWindow : public kv::platform::TWinControl {
  KV_CLASS_INFO(TKVWindow)
public:
  explicit TKVWindow(kv::platform::TComponent* AOwner);
  ~TKVWindow() override;

  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnMouseEnter;
  TOnPaint OnPaint;
  TOnEraseBackground OnEraseBackground;
  TOnScroll OnScroll;
  bool AutoScroll = true;
  bool ScrollerSetWindowOrg = true;
  TOnCalcScroller OnCalcScroller;
  TOnCalcScrollRect OnCalcVScrollRect;
  TOnCalcScrollRect OnCalcHScrollRect;
  TOnWMKeyDown OnWMKeyDown;
  bool ThumbTrack = true;
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  TScrollStyle ScrollStyle() const { return scrollStyle_; }
  void SetScrollStyle(TScrollStyle Value);

  int ScrollerXUnit() const { return xUnit_; }
  int ScrollerYUnit() const { return yUnit_; }
  int ScrollerXRange() const { return xRange_; }
  int ScrollerYRange() const { return yRange_; }
  int ScrollerXPage() const { return xPage_; }
  int ScrollerYPage() const { return yPage_; }
  void SetXUnit(int Value);
  void SetYUnit(int Value);
  void SetXRange(int Value);
  void SetYRange(int Value);
  void SetXPage(int Value);
  void SetYPage(int Value);
  void SetXPos(int Value);
  void SetYPos(int Value);
  int GetXPos() const;
  int GetYPos() const;
  int GetXTrackPos() const;
  int GetYTrackPos() const;
  bool HasHorzBar() const;
  bool HasVertBar() const;

  void SetOnMouseEnter(const TNotifyEvent& Value) { OnMouseEnter = Value; }
  void SetOnMouseLeave(const TNotifyEvent& Value) { OnMouseLeave = Value; }

  TCanvas& Canvas() { return *canvas_; }
  const TRect& PaintRect() const { return paintRect_; }

  virtual void DoResize();
  virtual void CalcScroller();
  virtual void Paint(TPaintStruct& PaintInfo);

  void CalcHScrollRect(int ScrollCode, TRect& ScrollRect);
  void CalcVScrollRect(int ScrollCode, TRect& ScrollRect);
  // Scrolls by whole units, within 0 .. range; fires no OnScroll and ignores AutoScroll.
  void ScrollBy(int DeltaX, int DeltaY);

  void Dispatch(kv::platform::TMessage& Message) override;

protected:
  void CreateParams(kv::platform::TCreateParams& Params) override;
  void WMPaint(kv::platform::TWMPaint& Message) override;
  void WMEraseBkgnd(kv::platform::TWMEraseBkgnd& Message) override;
  void WMSize(kv::platform::TWMSize& Message) override;
  void CNKeyDown(TWMKey& Message) override;
  virtual void WMHScroll(kv::platform::TWMScroll& Message);
  virtual void WMVScroll(kv::platform::TWMScroll& Message);
  virtual void CMMouseEnter(kv::platform::TMessage& Message);
  virtual void CMMouseLeave(kv::platform::TMessage& Message);

private:
  struct Axis;
  Axis axis(bool horizontal);
  void scrollMessage(kv::platform::TWMScroll& Message, bool horizontal);
  void scrollPixels(bool horizontal, int64_t units, const TRect* rect);
  int setBar(int Bar, kv::platform::UINT Mask, int Value);
  void paintFrame();

  TBorderStyle borderStyle_ = TBorderStyle::bsNone;
  TScrollStyle scrollStyle_ = TScrollStyle::ssBoth;
  int xUnit_ = 1, yUnit_ = 1;
  int xRange_ = 0, yRange_ = 0;
  int xPage_ = 0, yPage_ = 0;
  TRect paintRect_;
  std::unique_ptr<TCanvas> canvas_;
  kv::platform::classic::WindowScrollTracker tracker_;
  // The key whose OnKeyDown ran during CN_KEYDOWN, and whether a handler took it.
  struct KeyDone {
    kv::platform::WPARAM key;
    bool handled;
  };
  std::optional<KeyDone> keyDownDone_;
};

void Register();

} // namespace KVWindow
