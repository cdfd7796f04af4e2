#include "KVWindow.h"

#include "Platform/Graphics/Colors.h"
#include "Platform/Rtl/StoreChange.h"
#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/Menus.h"

#include <algorithm>
#include <cstdlib>

namespace KVWindow {

using namespace kv::platform;

// One axis seen through its scroll bar: the values the scroll rules work with.
struct TKVWindow::Axis {
  bool hasBar;
  int bar;
  int unit, range, page;
};

TKVWindow::Axis TKVWindow::axis(bool horizontal) {
  if (horizontal) return Axis{HasHorzBar(), SB_HORZ, xUnit_, xRange_, xPage_};
  return Axis{HasVertBar(), SB_VERT, yUnit_, yRange_, yPage_};
}

TKVWindow::TKVWindow(TComponent* AOwner) : TWinControl(AOwner) {
  SetControlStyle(
      TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks});
  SetBounds(Left(), Top(), 150, 150);
  canvas_ = std::make_unique<TCanvas>();
  OnCreate(this);
}

TKVWindow::~TKVWindow() {
  OnDestroy(this);
  canvas_.reset();
}

void TKVWindow::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  if (borderStyle_ == TBorderStyle::bsSingle) {
    Params.Style |= WS_BORDER;
    Params.ExStyle |= WS_EX_CLIENTEDGE;
  }
  if (HasHorzBar()) Params.Style |= WS_HSCROLL;
  if (HasVertBar()) Params.Style |= WS_VSCROLL;
}

void TKVWindow::SetBorderStyle(TBorderStyle Value) {
  if (!storeChange(borderStyle_, Value)) return;
  RecreateWnd();
  Invalidate();
}

void TKVWindow::SetScrollStyle(TScrollStyle Value) {
  if (storeChange(scrollStyle_, Value)) RecreateWnd();
}

bool TKVWindow::HasHorzBar() const { return scrollStyle_ == ssHorizontal || scrollStyle_ == ssBoth; }
bool TKVWindow::HasVertBar() const { return scrollStyle_ == ssVertical || scrollStyle_ == ssBoth; }

// ---- the scroll model

void TKVWindow::SetXUnit(int Value) { xUnit_ = HasHorzBar() ? Value : 1; }
void TKVWindow::SetYUnit(int Value) { yUnit_ = HasVertBar() ? Value : 1; }

// One value of one bar (range from 0, page or position), then the bar is drawn anew. A bar the
// scroll style lacks takes nothing and keeps 0 as its value.
int TKVWindow::setBar(int Bar, UINT Mask, int Value) {
  if (!(Bar == SB_HORZ ? HasHorzBar() : HasVertBar())) return 0;
  TScrollInfo si;
  si.fMask = Mask;
  si.nMin = 0;
  si.nMax = Value;
  si.nPage = static_cast<UINT>(std::max(Value, 0));
  si.nPos = Value;
  SetScrollInfo(Handle(), Bar, si, true);
  paintFrame();
  return Value;
}

void TKVWindow::SetXRange(int Value) { xRange_ = setBar(SB_HORZ, SIF_RANGE, Value); }
void TKVWindow::SetYRange(int Value) { yRange_ = setBar(SB_VERT, SIF_RANGE, Value); }
void TKVWindow::SetXPage(int Value) { xPage_ = setBar(SB_HORZ, SIF_PAGE, Value); }
void TKVWindow::SetYPage(int Value) { yPage_ = setBar(SB_VERT, SIF_PAGE, Value); }
void TKVWindow::SetXPos(int Value) { setBar(SB_HORZ, SIF_POS, Value); }
void TKVWindow::SetYPos(int Value) { setBar(SB_VERT, SIF_POS, Value); }

// The border and the bars lie outside the client area that the paint covers; they are drawn
// after each paint and whenever a bar changes, in the classic look of the list controls.
void TKVWindow::paintFrame() {
  if (HandleAllocated() && IsWindowVisible(Handle())) classic::PaintNonClient(Handle());
}

// Reading a position does not create the window: a window not yet created would start its bars
// at 0, which is what the reader gets (and a stored form can be written before it has windows).
int TKVWindow::GetXPos() const {
  if (!HasHorzBar() || !HandleAllocated()) return 0;
  return GetScrollPos(const_cast<TKVWindow*>(this)->Handle(), SB_HORZ);
}

int TKVWindow::GetYPos() const {
  if (!HasVertBar() || !HandleAllocated()) return 0;
  return GetScrollPos(const_cast<TKVWindow*>(this)->Handle(), SB_VERT);
}

int TKVWindow::GetXTrackPos() const {
  if (!HasHorzBar() || !HandleAllocated()) return 0;
  TScrollInfo si;
  si.fMask = SIF_TRACKPOS;
  GetScrollInfo(const_cast<TKVWindow*>(this)->Handle(), SB_HORZ, si);
  return si.nTrackPos;
}

int TKVWindow::GetYTrackPos() const {
  if (!HasVertBar() || !HandleAllocated()) return 0;
  TScrollInfo si;
  si.fMask = SIF_TRACKPOS;
  GetScrollInfo(const_cast<TKVWindow*>(this)->Handle(), SB_VERT, si);
  return si.nTrackPos;
}

void TKVWindow::CalcScroller() {
  OnCalcScroller();
  SetXPage(xUnit_ != 0 ? ClientWidth() / xUnit_ : 0);
  SetYPage(yUnit_ != 0 ? ClientHeight() / yUnit_ : 0);
}

void TKVWindow::DoResize() { CalcScroller(); }

void TKVWindow::Paint(TPaintStruct& PaintInfo) { OnPaint(PaintInfo); }

void TKVWindow::CalcHScrollRect(int ScrollCode, TRect& ScrollRect) {
  if (OnCalcHScrollRect)
    OnCalcHScrollRect(ScrollCode, ScrollRect);
  else
    ScrollRect = TRect{0, 0, Width(), Height()};
}

void TKVWindow::CalcVScrollRect(int ScrollCode, TRect& ScrollRect) {
  if (OnCalcVScrollRect)
    OnCalcVScrollRect(ScrollCode, ScrollRect);
  else
    ScrollRect = TRect{0, 0, Width(), Height()};
}

// ---- messages

void TKVWindow::Dispatch(TMessage& Message) {
  if (HandleAllocated() && tracker_.mouseMessage(Handle(), ClientRect(), Message)) return;
  switch (Message.Msg) {
  case WM_PAINT:
    TWinControl::Dispatch(Message);
    paintFrame();
    return;
  case WM_KEYDOWN:
  case WM_SYSKEYDOWN:
    if (keyDownDone_ && keyDownDone_->key == Message.WParam) {
      // OnKeyDown already ran for this press while the key went by as CN_KEYDOWN.
      const bool handled = keyDownDone_->handled;
      keyDownDone_.reset();
      if (!handled) DefaultHandler(Message);
      return;
    }
    TWinControl::Dispatch(Message);
    return;
  case WM_HSCROLL:
  case WM_VSCROLL: {
    TWMScroll m(Message);
    if (Message.Msg == WM_HSCROLL)
      WMHScroll(m);
    else
      WMVScroll(m);
    Message.Result = m.Result;
    return;
  }
  case CM_MOUSEENTER:
    CMMouseEnter(Message);
    return;
  case CM_MOUSELEAVE:
    CMMouseLeave(Message);
    return;
  default:
    TWinControl::Dispatch(Message);
    return;
  }
}

void TKVWindow::WMPaint(TWMPaint& /*Message*/) {
  const HWND h = Handle();
  TRect update;
  if (!GetUpdateRect(h, &update, false)) return;

  TPaintStruct ps;
  DrawingContext* dc = BeginPaint(h, ps);
  // The canvas is valid only inside the paint; the paint always ends, also when a handler raises.
  struct End {
    HWND h;
    TPaintStruct& ps;
    TCanvas& canvas;
    ~End() {
      canvas.SetHandle(nullptr);
      EndPaint(h, ps);
    }
  } end{h, ps, *canvas_};
  if (!dc) return;
  canvas_->SetHandle(dc);
  paintRect_ = ps.rcPaint;

  const BrushInfo brush{ColorToRGB(Color()), TBrushStyle::bsSolid};
  if (OnEraseBackground) {
    OnEraseBackground(ps);
  } else {
    // A null-pen rectangle leaves out its last column and row; one more on each side covers all.
    dc->setBrush(brush);
    dc->setPen(PenInfo{clBlack, 1, TPenStyle::psClear});
    const TRect& r = ps.rcPaint;
    dc->rectangle(TRect{r.Left, r.Top, r.Right + 1, r.Bottom + 1});
    dc->setPen(PenInfo{});
    dc->setBrush(BrushInfo{});
  }
  dc->setFont(Font().Info());

  if (ScrollerSetWindowOrg)
    dc->setWindowOrg(TPoint{RoundToInt(static_cast<double>(GetXPos()) * (HasHorzBar() ? xUnit_ : 0)),
                            RoundToInt(static_cast<double>(GetYPos()) * (HasVertBar() ? yUnit_ : 0))});
  Paint(ps);
  if (ScrollerSetWindowOrg) dc->setWindowOrg(TPoint{0, 0});
  PaintControls(dc, nullptr);
}

void TKVWindow::WMEraseBkgnd(TWMEraseBkgnd& Message) { Message.Result = OnEraseBackground ? -1 : 0; }

void TKVWindow::WMSize(TWMSize& Message) {
  TWinControl::WMSize(Message);
  DoResize();
  Message.Result = 0;
}

// The key-down processing runs before the dialog keys, as it always did here; a key that the
// dialog handling leaves then comes back as WM_KEYDOWN, which must not fire OnKeyDown twice.
void TKVWindow::CNKeyDown(TWMKey& Message) {
  const WPARAM key = Message.CharCode;
  const bool handled = DoKeyDown(Message);
  TWinControl::CNKeyDown(Message);
  keyDownDone_.reset();
  if (Message.Result == 0) keyDownDone_ = KeyDone{key, handled};
}

void TKVWindow::CMMouseEnter(TMessage& /*Message*/) { OnMouseEnter(this); }
void TKVWindow::CMMouseLeave(TMessage& /*Message*/) { OnMouseLeave(this); }

void TKVWindow::WMHScroll(TWMScroll& Message) { scrollMessage(Message, true); }
void TKVWindow::WMVScroll(TWMScroll& Message) { scrollMessage(Message, false); }

// Moves the drawn pixels by a number of units; the product is kept within 32 bits so that a
// large unit or jump never wraps around into a move the other way.
void TKVWindow::scrollPixels(bool horizontal, int64_t units, const TRect* rect) {
  const Axis a = axis(horizontal);
  const int pixels = RoundToInt(static_cast<double>(units) * a.unit);
  if (horizontal)
    ScrollWindow(Handle(), pixels, 0, rect, rect);
  else
    ScrollWindow(Handle(), 0, pixels, rect, rect);
}

void TKVWindow::scrollMessage(TWMScroll& Message, bool horizontal) {
  if (Message.ScrollBar != 0) {
    TMessage m{Message.Msg, makeWParam(Message.ScrollCode, Message.Pos),
               static_cast<LPARAM>(Message.ScrollBar), 0};
    TWinControl::Dispatch(m);
    Message.Result = m.Result;
    return;
  }
  if (OnScroll) Message.Result = OnScroll(Message.ScrollCode, Message.Pos, 0);
  if (!AutoScroll) return;

  // The rectangle starts as the client area, so a handler that leaves fields unset scrolls
  // nothing it did not mean to.
  TRect rect = ClientRect();
  const TRect* area = nullptr;
  TOnCalcScrollRect& calc = horizontal ? OnCalcHScrollRect : OnCalcVScrollRect;
  if (calc) {
    calc(Message.ScrollCode, rect);
    area = &rect;
  }

  const Axis a = axis(horizontal);
  auto getPos = [&] { return horizontal ? GetXPos() : GetYPos(); };
  auto setPos = [&](int v) { horizontal ? SetXPos(v) : SetYPos(v); };
  const int old = getPos();
  auto thumbMove = [&] {
    const int target = horizontal ? GetXTrackPos() : GetYTrackPos();
    setPos(target);
    const int now = getPos();
    if (std::llabs(int64_t{old} - now) < a.page)
      scrollPixels(horizontal, int64_t{old} - now, area);
    else
      Invalidate();
  };

  switch (Message.ScrollCode) {
  case SB_LINEUP:
  case SB_LINEDOWN:
  case SB_PAGEUP:
  case SB_PAGEDOWN: {
    // An arrow up moves only from above 0, an arrow down only from range - page or less; a page
    // stops at 0 and at the range itself. The bar can stop the position earlier: the pixels move
    // by what it really moved.
    const int code = Message.ScrollCode;
    if ((code == SB_LINEUP && old <= 0) || (code == SB_LINEDOWN && int64_t{old} > int64_t{a.range} - a.page))
      break;
    setPos(*classic::ScrollTarget(code, 0, {old, 1, a.page, 0, a.range}));
    scrollPixels(horizontal, int64_t{old} - getPos(), area);
    break;
  }
  case SB_THUMBPOSITION:
    if (!ThumbTrack) thumbMove();
    break;
  case SB_THUMBTRACK:
    if (ThumbTrack) thumbMove();
    break;
  default:
    break;
  }
}

void TKVWindow::ScrollBy(int DeltaX, int DeltaY) {
  for (const bool horizontal : {true, false}) {
    const int delta = horizontal ? DeltaX : DeltaY;
    if (delta == 0) continue;
    const Axis a = axis(horizontal);
    const int old = horizontal ? GetXPos() : GetYPos();
    const auto target = static_cast<int>(std::clamp<int64_t>(int64_t{old} + delta, 0, std::max(a.range, 0)));
    horizontal ? SetXPos(target) : SetYPos(target);
    const int now = horizontal ? GetXPos() : GetYPos();
    TRect rect = ClientRect();
    const TRect* area = nullptr;
    TOnCalcScrollRect& calc = horizontal ? OnCalcHScrollRect : OnCalcVScrollRect;
    if (calc) {
      calc(0, rect);
      area = &rect;
    }
    if (std::llabs(int64_t{old} - now) < a.page)
      scrollPixels(horizontal, int64_t{old} - now, area);
    else
      Invalidate();
  }
}

// ---- publishing

const TClassInfo& TKVWindow::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TKVWindow, TWinControl>("TKVWindow")
          .With(published::Align)
          .Enum<TBorderStyle>("BorderStyle", &TKVWindow::BorderStyle, &TKVWindow::SetBorderStyle, NoDefault)
          .With(published::Font)
          .With(published::TabStop)
          .Bool("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, true)
          .Enum<TScrollStyle>("ScrollStyle", &TKVWindow::ScrollStyle, &TKVWindow::SetScrollStyle, NoDefault)
          .Bool("AutoScroll", &TKVWindow::AutoScroll, &TKVWindow::AutoScroll, NoDefault)
          .Bool("ThumbTrack", &TKVWindow::ThumbTrack, &TKVWindow::ThumbTrack, NoDefault)
          .Bool("ScrollerSetWindowOrg", &TKVWindow::ScrollerSetWindowOrg, &TKVWindow::ScrollerSetWindowOrg,
                NoDefault)
          .Event("OnPaint", &TKVWindow::OnPaint)
          .Event("OnEraseBackground", &TKVWindow::OnEraseBackground)
          .Event("OnScroll", &TKVWindow::OnScroll)
          .Event("OnCalcScroller", &TKVWindow::OnCalcScroller)
          .Event("OnCalcVScrollRect", &TKVWindow::OnCalcVScrollRect)
          .Event("OnCalcHScrollRect", &TKVWindow::OnCalcHScrollRect)
          .Event("OnWMKeyDown", &TKVWindow::OnWMKeyDown)
          .Event("OnCreate", &TKVWindow::OnCreate)
          .Event("OnDestroy", &TKVWindow::OnDestroy)
          .Int("ScrollerXUnit", &TKVWindow::ScrollerXUnit, &TKVWindow::SetXUnit, NoDefault)
          .Int("ScrollerYUnit", &TKVWindow::ScrollerYUnit, &TKVWindow::SetYUnit, NoDefault)
          .Int("ScrollerXRange", &TKVWindow::ScrollerXRange, &TKVWindow::SetXRange, NoDefault)
          .Int("ScrollerYRange", &TKVWindow::ScrollerYRange, &TKVWindow::SetYRange, NoDefault)
          .Int("ScrollerXPage", &TKVWindow::ScrollerXPage, &TKVWindow::SetXPage, NoDefault)
          .NotStored()
          .Int("ScrollerYPage", &TKVWindow::ScrollerYPage, &TKVWindow::SetYPage, NoDefault)
          .NotStored()
          .Int("ScrollerXPos", &TKVWindow::GetXPos, &TKVWindow::SetXPos, NoDefault)
          .Int("ScrollerYPos", &TKVWindow::GetYPos, &TKVWindow::SetYPos, NoDefault)
          // Read-only: published for the designer, never stored.
          .Int(
              "ScrollerXTrackPos", &TKVWindow::GetXTrackPos, [](TKVWindow&, int) {}, NoDefault)
          .NotStored()
          .Int(
              "ScrollerYTrackPos", &TKVWindow::GetYTrackPos, [](TKVWindow&, int) {}, NoDefault)
          .NotStored()
          .With(published::Ctl3D)
          .IdentInt("Color", ColorIdents(), &TControl::Color, &TControl::SetColor, 0)
          .With(published::Enabled)
          .With(published::ParentCtl3D)
          .With(published::ParentFont)
          .With(published::ParentShowHint)
          .With(published::Visible)
          .With(published::PopupMenu)
          .With(published::ShowHint)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::KeyEvents)
          .With(published::MouseEvents)
          .With(published::WheelEvents)
          .Event("OnMouseEnter", &TKVWindow::OnMouseEnter)
          .Event("OnMouseLeave", &TKVWindow::OnMouseLeave)
          .Build();
  return info;
}

void Register() { RegisterComponents("Korvalis", {&TKVWindow::StaticClassInfo()}); }

namespace {
// Form files find the class by name whenever the library is loaded.
const bool classesRegistered = (RegisterMenus(), RegisterClasses({&TKVWindow::StaticClassInfo()}), true);
} // namespace

} // namespace KVWindow
