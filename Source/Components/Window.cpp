#include "Window.h"

namespace Window {

using namespace kv::platform;

TScroller::TScroller(TWinControl* /*AWindow*/, TScrollStyle /*AStyle*/) {}

void TScroller::HScroll(TWMScroll& /*Message*/) {}
void TScroller::VScroll(TWMScroll& /*Message*/) {}
void TScroller::ScrollBy(int /*dx*/, int /*dy*/) {}
void TScroller::ScrollTo(int /*x*/, int /*y*/) {}

void TScroller::Assign(const TPersistent& Source) {
  const auto* s = dynamic_cast<const TScroller*>(&Source);
  if (!s) {
    TPersistent::Assign(Source);
    return;
  }
  XUnit = s->XUnit;
  YUnit = s->YUnit;
  XRange = s->XRange;
  YRange = s->YRange;
  XPage = s->XPage;
  YPage = s->YPage;
  XPos = s->XPos;
  YPos = s->YPos;
  ThumbTrack = s->ThumbTrack;
  OnCalcVScrollRect = s->OnCalcVScrollRect;
  OnCalcHScrollRect = s->OnCalcHScrollRect;
}

const TClassInfo& TScroller::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TScroller, TPersistent>("TScroller")
          .Int("XUnit", &TScroller::XUnit, &TScroller::XUnit, NoDefault)
          .Int("YUnit", &TScroller::YUnit, &TScroller::YUnit, NoDefault)
          .Int("XRange", &TScroller::XRange, &TScroller::SetHorzRange, NoDefault)
          .Int("YRange", &TScroller::YRange, &TScroller::SetVertRange, NoDefault)
          .Int("XPos", &TScroller::GetHorzPos, &TScroller::SetHorzPos, NoDefault)
          .Int("YPos", &TScroller::GetVertPos, &TScroller::SetVertPos, NoDefault)
          .Int("XPage", &TScroller::XPage, &TScroller::SetHorzPage, NoDefault)
          .Int("YPage", &TScroller::YPage, &TScroller::SetVertPage, NoDefault)
          .Bool("ThumbTrack", &TScroller::ThumbTrack, &TScroller::ThumbTrack, NoDefault)
          .Event("OnCalcVScrollRect", &TScroller::OnCalcVScrollRect)
          .Event("OnCalcHScrollRect", &TScroller::OnCalcHScrollRect)
          .Build();
  return info;
}

TWindow::TWindow(TComponent* AOwner)
    : TKVWindow(AOwner), scroller_(std::make_unique<TScroller>(this, TScrollStyle::ssNone)) {}

TWindow::~TWindow() { scroller_.reset(); }

void TWindow::SetScroller(const TScroller* Value) {
  if (Value && Value != scroller_.get()) scroller_->Assign(*Value);
}

const TClassInfo& TWindow::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TWindow, KVWindow::TKVWindow>("TWindow")
          .Enum<TScrollStyle>("ScrollStyle", &TWindow::ScrollStyle, &TWindow::SetScrollStyle, NoDefault)
          .Bool("AutoScroll", &TWindow::AutoScroll, &TWindow::AutoScroll, NoDefault)
          .Bool("ScrollerSetWindowOrg", &TWindow::ScrollerSetWindowOrg, &TWindow::ScrollerSetWindowOrg,
                NoDefault)
          .Object("Scroller", [](const TWindow& w) { return &w.Scroller(); })
          .Bool("ScrollControls", &TWindow::ScrollControls, &TWindow::ScrollControls, NoDefault)
          .Build();
  return info;
}

void Register() { RegisterComponents("Korvalis", {&TWindow::StaticClassInfo()}); }

namespace {
const bool classesRegistered = (RegisterClasses({&TWindow::StaticClassInfo()}), true);
} // namespace

} // namespace Window
