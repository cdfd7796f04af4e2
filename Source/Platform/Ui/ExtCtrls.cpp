#include "Platform/Ui/ExtCtrls.h"

#include "Platform/Rtl/StoreChange.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/Menus.h"

#include <algorithm>

namespace kv::platform {

const TClassInfo& TTimer::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TTimer, TComponent>("TTimer")
                                     .Bool("Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true)
                                     .Int("Interval", &TTimer::Interval, &TTimer::SetInterval, 1000)
                                     .Event("OnTimer", &TTimer::OnTimer)
                                     .Build();
  return info;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  window_ = CreateWindowEx(0, "TTimerWindow", "", WS_POPUP, 0, 0, 0, 0, 0,
                           [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
                             if (msg != WM_TIMER) return DefWindowProc(h, msg, w, l);
                             try {
                               Timer();
                             } catch (const std::exception& e) {
                               Application().HandleException(e);
                             }
                             return 0;
                           });
  updateTimer();
}

TTimer::~TTimer() {
  OnTimer.Clear();
  if (window_) DestroyWindow(window_);
}

void TTimer::updateTimer() {
  if (!window_) return;
  KillTimer(window_, 1);
  if (interval_ != 0 && enabled_) SetTimer(window_, 1, interval_);
}

void TTimer::SetEnabled(bool Value) {
  if (storeChange(enabled_, Value)) updateTimer();
}

void TTimer::SetInterval(unsigned Value) {
  if (storeChange(interval_, Value)) updateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  updateTimer();
}

void TTimer::Timer() { OnTimer(this); }

} // namespace kv::platform

namespace kv::platform {

using namespace classic;

// ---- TCustomPanel

const TClassInfo& TCustomPanel::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCustomPanel, TCustomControl>("TCustomPanel").Build();
  return info;
}

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csOpaque,
                                csDoubleClicks, csReplicatable});
  SetBounds(0, 0, 185, 41);
  SetColor(clBtnFace);
}

TCustomPanel::~TCustomPanel() = default;

void TCustomPanel::changed() {
  Realign();
  Invalidate();
}
void TCustomPanel::SetBevelOuter(TPanelBevel Value) {
  if (storeChange(bevelOuter_, Value)) changed();
}
void TCustomPanel::SetBevelInner(TPanelBevel Value) {
  if (storeChange(bevelInner_, Value)) changed();
}
void TCustomPanel::SetBevelWidth(int Value) {
  if (storeChange(bevelWidth_, std::max(1, Value))) changed();
}
void TCustomPanel::SetBorderWidth(int Value) {
  if (storeChange(borderWidth_, std::max(0, Value))) changed();
}
void TCustomPanel::SetBorderStyle(TBorderStyle Value) {
  if (!storeChange(borderStyle_, Value)) return;
  if (HandleAllocated()) {
    auto style = static_cast<uint32_t>(GetWindowLong(Handle(), GWL_STYLE));
    style = Value == TBorderStyle::bsSingle ? (style | WS_BORDER) : (style & ~WS_BORDER);
    SetWindowLong(Handle(), GWL_STYLE, style);
    SetWindowPos(Handle(), 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  changed();
}
void TCustomPanel::SetAlignment(TAlignment Value) { invalidateOnChange(alignment_, Value); }

void TCustomPanel::AdjustClientRect(TRect& Rect) {
  int size = borderWidth_;
  if (bevelOuter_ != bvNone) size += bevelWidth_;
  if (bevelInner_ != bvNone) size += bevelWidth_;
  Rect = TRect{Rect.Left + size, Rect.Top + size, Rect.Right - size, Rect.Bottom - size};
}

void TCustomPanel::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    TCustomControl::Dispatch(Message);
    if (borderStyle_ == TBorderStyle::bsSingle && HandleAllocated()) PaintNonClient(Handle());
    return;
  }
  if (Message.Msg == WM_NCCALCSIZE) return;
  TCustomControl::Dispatch(Message);
}

void TCustomPanel::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  auto bevel = [&](TPanelBevel b) {
    if (b == bvNone) return;
    const TColor top = b == bvLowered ? clBtnShadow : b == bvRaised ? clBtnHighlight : Color();
    const TColor bottom = b == bvLowered ? clBtnHighlight : b == bvRaised ? clBtnShadow : Color();
    c.Frame3D(r, top, bottom, bevelWidth_);
  };
  bevel(bevelOuter_);
  c.Frame3D(r, Color(), Color(), borderWidth_);
  bevel(bevelInner_);
  c.Brush().SetColor(Color());
  c.FillRect(r);
  if (!Caption().empty()) {
    c.SetFont(Font());
    const unsigned flags = (alignment_ == taCenter         ? dcCenter
                            : alignment_ == taRightJustify ? dcRight
                                                           : dcLeft) |
                           dcVCenter;
    DrawCaption(c, r, Caption(), flags, Enabled());
  }
}

// ---- TPanel

const TClassInfo& TPanel::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TPanel, TCustomPanel>("TPanel")
          .With(published::Align)
          .Enum<TAlignment>("Alignment", &TPanel::Alignment, &TPanel::SetAlignment, taCenter)
          .With(published::Anchors)
          .Enum<TPanelBevel>("BevelInner", &TPanel::BevelInner, &TPanel::SetBevelInner, bvNone)
          .Enum<TPanelBevel>("BevelOuter", &TPanel::BevelOuter, &TPanel::SetBevelOuter, bvRaised)
          .Int("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth, 1)
          .Enum<TBorderStyle>("BorderStyle", &TPanel::BorderStyle, &TPanel::SetBorderStyle,
                              TBorderStyle::bsNone)
          .Int("BorderWidth", &TPanel::BorderWidth, &TPanel::SetBorderWidth, 0)
          .With(published::Caption)
          .With(published::Color(clBtnFace))
          .With(published::Constraints)
          .With(published::Ctl3D)
          .With(published::Enabled)
          .With(published::Font)
          .With(published::Hint)
          .With(published::ParentColor)
          .With(published::ParentCtl3D)
          .With(published::ParentFont)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::TabStop)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::MouseEvents)
          .With(published::OnResize)
          .Build();
  return info;
}

// ---- TRadioGroup

const TClassInfo& TRadioGroup::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TRadioGroup, TGroupBox>("TRadioGroup")
          .Int("Columns", &TRadioGroup::Columns, &TRadioGroup::SetColumns, 1)
          .Int("ItemIndex", &TRadioGroup::ItemIndex, &TRadioGroup::SetItemIndex, -1)
          .Object("Items", [](const TRadioGroup& g) { return &const_cast<TRadioGroup&>(g).Items(); })
          .Build();
  return info;
}

TRadioGroup::TRadioGroup(TComponent* AOwner) : TGroupBox(AOwner), items_(std::make_unique<TStringList>()) {
  SetControlStyle(ControlStyle() - TControlStyle{csAcceptsControls});
  items_->OnChange.Bind([this](TObject*) {
    if (!IsLoading()) updateButtons();
  });
}

TRadioGroup::~TRadioGroup() { items_->OnChange.Clear(); }

void TRadioGroup::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  // The buttons belong to the items; they are never stored.
  TGroupBox::GetChildren(
      [&](TComponent* c) {
        if (std::find(buttons_.begin(), buttons_.end(), c) == buttons_.end()) Proc(c);
      },
      Root);
}

void TRadioGroup::updateButtons() {
  reading_ = true;
  while (static_cast<int>(buttons_.size()) > items_->Count()) {
    TRadioButton* b = buttons_.back();
    buttons_.pop_back();
    TComponent::Free(b);
  }
  while (static_cast<int>(buttons_.size()) < items_->Count()) {
    auto* b = new TRadioButton(this);
    const int index = static_cast<int>(buttons_.size());
    b->OnClick.Bind([this, index](TObject*) {
      if (reading_) return;
      if (buttons_[static_cast<size_t>(index)]->Checked()) {
        itemIndex_ = index;
        Click();
      }
    });
    b->SetParent(this);
    buttons_.push_back(b);
  }
  for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
    buttons_[static_cast<size_t>(i)]->SetCaption(items_->Get(i));
    buttons_[static_cast<size_t>(i)]->SetChecked(i == itemIndex_);
  }
  if (itemIndex_ >= static_cast<int>(buttons_.size())) itemIndex_ = -1;
  reading_ = false;
  arrangeButtons();
}

void TRadioGroup::arrangeButtons() {
  if (buttons_.empty()) return;
  const int n = static_cast<int>(buttons_.size());
  const int perCol = (n + columns_ - 1) / columns_;
  const int bw = (Width() - 10) / columns_;
  const int th = LineHeight(Font());
  const int free = Height() - th - 5;
  const int bh = std::max(1, free / perCol);
  const int topMargin = th + 1 + (free % perCol) / 2;
  for (int i = 0; i < n; ++i)
    buttons_[static_cast<size_t>(i)]->SetBounds((i / perCol) * bw + 8, (i % perCol) * bh + topMargin, bw, bh);
}

void TRadioGroup::SetItemIndex(int Value) {
  if (IsLoading()) {
    itemIndex_ = Value;
    return;
  }
  Value = std::clamp(Value, -1, static_cast<int>(buttons_.size()) - 1);
  if (Value == itemIndex_) return;
  reading_ = true;
  if (itemIndex_ >= 0) buttons_[static_cast<size_t>(itemIndex_)]->SetChecked(false);
  itemIndex_ = Value;
  if (Value >= 0) buttons_[static_cast<size_t>(Value)]->SetChecked(true);
  reading_ = false;
}

void TRadioGroup::SetColumns(int Value) {
  columns_ = std::clamp(Value, 1, 16);
  arrangeButtons();
}

void TRadioGroup::Loaded() {
  TGroupBox::Loaded();
  updateButtons();
}

void TRadioGroup::Dispatch(TMessage& Message) {
  TGroupBox::Dispatch(Message);
  if (Message.Msg == WM_SIZE || Message.Msg == CM_FONTCHANGED) arrangeButtons();
}

void RegisterExtControls() {
  RegisterClasses({&TTimer::StaticClassInfo(), &TPanel::StaticClassInfo(), &TRadioGroup::StaticClassInfo()});
}

} // namespace kv::platform
