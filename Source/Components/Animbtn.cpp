#include "Animbtn.h"

#include "Platform/Ui/Menus.h"

namespace Animbtn {

using namespace kv::platform;

const TClassInfo& TAnimBtn::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TAnimBtn, TCustomControl>("TAnimBtn")
          .Object("Img", [](const TAnimBtn& b) { return &b.Img(); })
          .With(published::Align)
          .With(published::Caption)
          .With(published::Color(clWindow))
          .With(published::DragCursor)
          .With(published::DragMode)
          .With(published::Enabled)
          .With(published::Font)
          .Bool("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, true)
          .With(published::ParentFont)
          .With(published::ParentShowHint)
          .With(published::PopupMenu)
          .With(published::ShowHint)
          .Bool("TextOnly", &TAnimBtn::TextOnly, &TAnimBtn::SetTextOnly, NoDefault)
          .With(published::Visible)
          .Event("OnClick", &TAnimBtn::OnClick)
          .Event("OnPaint", &TAnimBtn::OnPaint)
          .Int("DisabledPic", &TAnimBtn::DisabledPic, &TAnimBtn::SetDisabledPic, NoDefault)
          .Build();
  return info;
}

TAnimBtn::TAnimBtn(TComponent* AOwner) : TCustomControl(AOwner), img_(std::make_unique<TBitmap>()) {
  SetBounds(Left(), Top(), 72, 24);
  SetControlStyle(TControlStyle{csCaptureMouse, csOpaque, csDoubleClicks});
}

TAnimBtn::~TAnimBtn() = default;

void TAnimBtn::SetImg(const TBitmap& Value) {
  img_->Assign(Value);
  SetBounds(Left(), Top(), img_->Width() / 4, img_->Height());
  state_ = 0;
  Invalidate();
}

// A stored form reads the strip into Img itself; the button then takes its frame size as if
// the strip had been assigned. A button without a strip keeps its stored size.
void TAnimBtn::Loaded() {
  TCustomControl::Loaded();
  if (img_->Empty()) return;
  TBitmap strip;
  strip.Assign(*img_);
  SetImg(strip);
}

bool TAnimBtn::mouseInComp(const TMessage& Message) const {
  const TWMMouse m(Message);
  return m.XPos >= 0 && m.XPos <= Width() && m.YPos >= 0 && m.YPos <= Height();
}

void TAnimBtn::takeCapture() {
  if (HandleAllocated()) SetCapture(Handle());
  captured_ = true;
}
void TAnimBtn::releaseCapture() {
  ReleaseCapture();
  captured_ = false;
}
void TAnimBtn::setState(int Value, bool Repaint) {
  state_ = Value;
  if (Repaint) Invalidate();
}

void TAnimBtn::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_MOUSEMOVE: {
    const bool inside = mouseInComp(Message);
    switch (state_) {
    case 0:
      if (held_ && inside)
        setState(2);
      else if (!held_ && inside) {
        setState(1);
        takeCapture();
      }
      break;
    case 1:
      if (!inside) {
        setState(0);
        releaseCapture();
      }
      break;
    case 2:
      if (!inside)
        setState(0);
      else if (!held_) {
        setState(1);
        releaseCapture();
      }
      break;
    default: break;
    }
    return;
  }
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK:
    held_ = true;
    if (!captured_) takeCapture();
    setState(mouseInComp(Message) ? 2 : 0);
    return;
  case WM_LBUTTONUP: {
    const bool inside = mouseInComp(Message);
    held_ = false;
    setState(0);
    releaseCapture();
    if (inside) OnClick(this);
    return;
  }
  case WM_KILLFOCUS:
    state_ = 0;
    releaseCapture();
    return;
  case CM_ENABLEDCHANGED:
    if (Enabled()) {
      state_ = 0;
      if (captured_) releaseCapture();
    } else
      state_ = 3;
    Invalidate();
    return;
  default:
    TCustomControl::Dispatch(Message);
  }
}

void TAnimBtn::Paint() {
  TCanvas& c = Canvas();
  c.SetFont(Font());
  c.Brush().SetColor(Color());
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  const int w = Width(), h = Height();
  if (textOnly_) {
    DrawingContext* dc = c.Handle();
    dc->setTextAlign(TA_CENTER | TA_TOP);
    const int th = c.TextHeight(Caption());
    c.FillRect(TRect{-1, -1, w + 1, h + 1});
    dc->setBkMode(TRANSPARENT);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    const int x = w / 2, y = (h - th) / 2;
    auto frame = [&](TColor topLeft, TColor bottomRight) {
      c.Pen().SetColor(topLeft);
      c.MoveTo(w - 2, 0);
      c.LineTo(0, 0);
      c.LineTo(0, h - 2);
      c.Pen().SetColor(bottomRight);
      c.MoveTo(1, h - 1);
      c.LineTo(w - 1, h - 1);
      c.LineTo(w - 1, 1);
    };
    switch (state_) {
    case 1:
      c.TextOut(x, y, Caption());
      frame(0xFFFFFF, 0x808080);
      break;
    case 2:
      c.TextOut(x + 1, y + 1, Caption());
      frame(0x808080, 0xFFFFFF);
      break;
    case 3:
      c.Font().SetColor(0xFFFFFF);
      c.TextOut(x + 1, y + 1, Caption());
      c.Font().SetColor(0x808080);
      c.TextOut(x, y, Caption());
      break;
    default:
      c.TextOut(x, y, Caption());
      break;
    }
    dc->setTextAlign(TA_LEFT | TA_TOP);
  } else if (!img_->Empty() && w > 0) {
    c.CopyRect(TRect{0, 0, w, h}, img_->Canvas(), TRect{state_ * w, 0, (state_ + 1) * w, img_->Height()});
  }
  if (IsDesigning()) {
    c.Pen().SetStyle(TPenStyle::psDash);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    c.Rectangle(0, 0, w, h);
  }
  OnPaint(this);
}

void Register() { RegisterComponents("Zus\xC3\xA4tzlich", {&TAnimBtn::StaticClassInfo()}); }

namespace {
const bool classesRegistered = (RegisterMenus(), RegisterClasses({&TAnimBtn::StaticClassInfo()}), true);
} // namespace

} // namespace Animbtn
