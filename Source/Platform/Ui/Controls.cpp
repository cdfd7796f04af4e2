#include "Platform/Ui/Controls.h"

#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Rtl/StoreChange.h"
#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/Menus.h"

#include <algorithm>
#include <map>

namespace kv::platform {

namespace {
TControl* captureControl = nullptr;
std::map<HWND, TWinControl*>& windowMap() {
  static std::map<HWND, TWinControl*> m;
  return m;
}
} // namespace

TControl* GetCaptureControl() {
  if (!captureControl) return nullptr;
  TWinControl* w = captureControl->PaintTarget();
  if (w && w->HandleAllocated() && GetCapture() == w->Handle()) return captureControl;
  return nullptr;
}

void SetCaptureControl(TControl* Control) {
  captureControl = nullptr;
  if (!Control) {
    ReleaseCapture();
    return;
  }
  TWinControl* w = Control->Parent() && !dynamic_cast<TWinControl*>(Control)
                       ? Control->Parent()
                       : dynamic_cast<TWinControl*>(Control);
  if (!w) return;
  SetCapture(w->Handle());
  captureControl = Control;
}

TCustomForm* GetParentForm(const TControl* Control) {
  const TControl* c = Control;
  while (c && c->Parent())
    c = c->Parent();
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

TPoint dropDownOrigin(const TRect& Field, int Width, int Height) {
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  const int x = std::clamp(Field.Left, 0, std::max(0, sw - Width));
  const int y = Field.Bottom + Height > sh && Field.Top >= Height ? Field.Top - Height : Field.Bottom;
  return TPoint{x, y};
}

TControl* FindDragTarget(TPoint ScreenPos, bool AllowDisabled) {
  TWinControl* w = TWinControl::FindControl(WindowFromPoint(ScreenPos));
  if (!w) return nullptr;
  TControl* c = w->ControlAtPos(w->ScreenToClient(ScreenPos), AllowDisabled);
  return c ? c : w;
}

const TIdentMap& CursorIdents() {
  static const TIdentMap map = {
      {crDefault, "crDefault"},     {crNone, "crNone"},           {crArrow, "crArrow"},
      {crCross, "crCross"},         {crIBeam, "crIBeam"},         {crSizeNESW, "crSizeNESW"},
      {crSizeNS, "crSizeNS"},       {crSizeNWSE, "crSizeNWSE"},   {crSizeWE, "crSizeWE"},
      {crUpArrow, "crUpArrow"},     {crHourGlass, "crHourGlass"}, {crDrag, "crDrag"},
      {crNoDrop, "crNoDrop"},       {crHSplit, "crHSplit"},       {crVSplit, "crVSplit"},
      {crMultiDrag, "crMultiDrag"}, {crSQLWait, "crSQLWait"},     {crNo, "crNo"},
      {crAppStart, "crAppStart"},   {crHelp, "crHelp"},           {crHandPoint, "crHandPoint"}};
  return map;
}

TShiftState KeyDataToShiftState(int32_t KeyData) {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if ((KeyData & 0x20000000) || GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

TShiftState MouseKeysToShiftState(WPARAM Keys) {
  TShiftState s;
  if (Keys & MK_SHIFT) s.Include(ssShift);
  if (Keys & MK_CONTROL) s.Include(ssCtrl);
  if (Keys & MK_LBUTTON) s.Include(ssLeft);
  if (Keys & MK_RBUTTON) s.Include(TShiftStateItem::ssRight);
  if (Keys & MK_MBUTTON) s.Include(TShiftStateItem::ssMiddle);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

// ---- TSizeConstraints

void TSizeConstraints::changed() {
  OnChange(this);
  if (control_) control_->SetBounds(control_->Left(), control_->Top(), control_->Width(), control_->Height());
}
void TSizeConstraints::SetMinWidth(int Value) {
  if (minWidth_ == Value) return;
  minWidth_ = std::max(0, Value);
  if (maxWidth_ > 0 && maxWidth_ < minWidth_) maxWidth_ = minWidth_;
  changed();
}
void TSizeConstraints::SetMinHeight(int Value) {
  if (minHeight_ == Value) return;
  minHeight_ = std::max(0, Value);
  if (maxHeight_ > 0 && maxHeight_ < minHeight_) maxHeight_ = minHeight_;
  changed();
}
void TSizeConstraints::SetMaxWidth(int Value) {
  if (maxWidth_ == Value) return;
  maxWidth_ = std::max(0, Value);
  if (maxWidth_ > 0 && minWidth_ > maxWidth_) minWidth_ = maxWidth_;
  changed();
}
void TSizeConstraints::SetMaxHeight(int Value) {
  if (maxHeight_ == Value) return;
  maxHeight_ = std::max(0, Value);
  if (maxHeight_ > 0 && minHeight_ > maxHeight_) minHeight_ = maxHeight_;
  changed();
}
void TSizeConstraints::Assign(const TPersistent& Source) {
  if (const auto* c = dynamic_cast<const TSizeConstraints*>(&Source)) {
    minWidth_ = c->minWidth_;
    minHeight_ = c->minHeight_;
    maxWidth_ = c->maxWidth_;
    maxHeight_ = c->maxHeight_;
    changed();
    return;
  }
  TPersistent::Assign(Source);
}

const TClassInfo& TSizeConstraints::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TSizeConstraints, TPersistent>("TSizeConstraints")
          .Int("MaxHeight", &TSizeConstraints::MaxHeight, &TSizeConstraints::SetMaxHeight, 0)
          .Int("MaxWidth", &TSizeConstraints::MaxWidth, &TSizeConstraints::SetMaxWidth, 0)
          .Int("MinHeight", &TSizeConstraints::MinHeight, &TSizeConstraints::SetMinHeight, 0)
          .Int("MinWidth", &TSizeConstraints::MinWidth, &TSizeConstraints::SetMinWidth, 0)
          .Build();
  return info;
}

// ---- TControl

const TClassInfo& TControl::StaticClassInfo() {
  // The base publishes only the place; classes publish the rest (see ControlProps in Forms.h).
  static const TClassInfo info = TClassBuilder<TControl, TComponent>("TControl")
                                     .Int("Left", &TControl::Left, &TControl::SetLeft, NoDefault)
                                     .Int("Top", &TControl::Top, &TControl::SetTop, NoDefault)
                                     .Int("Width", &TControl::Width, &TControl::SetWidth, NoDefault)
                                     .Int("Height", &TControl::Height, &TControl::SetHeight, NoDefault)
                                     .Build();
  return info;
}

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  font_.OnChange.Bind([this](TObject*) { fontChanged(); });
}

TControl::~TControl() {
  font_.OnChange.Clear();
  if (captureControl == this) captureControl = nullptr;
  TApplication::controlDestroyed(this);
  if (parent_) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (parent_ == AParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* Value) {
  if (auto* w = dynamic_cast<TWinControl*>(Value)) SetParent(w);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const auto& c = constraints_;
  if (c.MinWidth() > 0) AWidth = std::max(AWidth, c.MinWidth());
  if (c.MaxWidth() > 0) AWidth = std::min(AWidth, c.MaxWidth());
  if (c.MinHeight() > 0) AHeight = std::max(AHeight, c.MinHeight());
  if (c.MaxHeight() > 0) AHeight = std::min(AHeight, c.MaxHeight());
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  const TRect old = BoundsRect();
  const bool resized = AWidth != width_ || AHeight != height_;
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  if (!dynamic_cast<TWinControl*>(this) && parent_ && parent_->HandleAllocated() && visible_) {
    InvalidateRect(parent_->Handle(), &old, true);
    Invalidate();
  }
  UpdateAnchorRules();
  if (resized && !dynamic_cast<TWinControl*>(this)) Resize();
  RequestAlign();
}

void TControl::SetClientSize(int AWidth, int AHeight) {
  const TRect c = ClientRect();
  SetBounds(left_, top_, width_ + AWidth - c.Width(), height_ + AHeight - c.Height());
}

TPoint TControl::ClientToScreen(TPoint P) const {
  const TControl* c = this;
  TPoint r = P;
  if (auto* w = dynamic_cast<const TWinControl*>(this); w && const_cast<TWinControl*>(w)->HandleAllocated()) {
    kv::platform::ClientToScreen(const_cast<TWinControl*>(w)->Handle(), &r);
    return r;
  }
  r.X += c->left_;
  r.Y += c->top_;
  return parent_ ? parent_->ClientToScreen(r) : r;
}

TPoint TControl::ScreenToClient(TPoint P) const {
  const TPoint origin = ClientToScreen(TPoint{0, 0});
  return TPoint{P.X - origin.X, P.Y - origin.Y};
}

void TControl::SetAlign(TAlign Value) {
  if (storeChange(align_, Value)) RequestAlign();
}

void TControl::SetAnchors(TAnchors Value) {
  anchors_ = Value;
  UpdateAnchorRules();
}

void TControl::UpdateAnchorRules() {
  if (!parent_ || align_ != TAlign::alNone || (parent_->aligning_ && anchorsKnown_)) return;
  const TRect pc = parent_->ClientRect();
  anchorRight_ = pc.Width() - (left_ + width_);
  anchorBottom_ = pc.Height() - (top_ + height_);
  anchorsKnown_ = true;
}

void TControl::anchorParentResized(int parentWidth, int parentHeight) {
  if (align_ != TAlign::alNone || !anchorsKnown_) return;
  int l = left_, t = top_, w = width_, h = height_;
  if (anchors_.Contains(akRight)) {
    const int right = parentWidth - anchorRight_;
    if (anchors_.Contains(akLeft))
      w = right - l;
    else
      l = right - w;
  }
  if (anchors_.Contains(akBottom)) {
    const int bottom = parentHeight - anchorBottom_;
    if (anchors_.Contains(akTop))
      h = bottom - t;
    else
      t = bottom - h;
  }
  const int keepRight = anchorRight_, keepBottom = anchorBottom_;
  SetBounds(l, t, std::max(0, w), std::max(0, h));
  anchorRight_ = keepRight;
  anchorBottom_ = keepBottom;
}

void TControl::RequestAlign() {
  if (parent_ && (align_ != TAlign::alNone || true)) parent_->Realign();
}

void TControl::SetVisible(bool Value) {
  if (visible_ == Value) return;
  VisibleChanging();
  visible_ = Value;
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0);
  if (parent_ && parent_->HandleAllocated()) InvalidateRect(parent_->Handle(), nullptr, true);
  RequestAlign();
}

bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }

void TControl::SetEnabled(bool Value) {
  if (storeChange(enabled_, Value)) Perform(CM_ENABLEDCHANGED);
}

// The colour the control already shows keeps it following its parent: a stored form gives a
// control that follows its parent that parent's colour, which must not cut it loose.
void TControl::SetColor(TColor Value) {
  if (color_ == Value) return;
  color_ = Value;
  parentColor_ = false;
  Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool Value) {
  if (storeChange(parentColor_, Value) && Value && parent_) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (parentColor_ && parent_) {
    color_ = parent_->Color();
    Perform(CM_COLORCHANGED);
  }
}

void TControl::fontChanged() {
  if (!updatingFont_) parentFont_ = false;
  Perform(CM_FONTCHANGED);
}

void TControl::SetParentFont(bool Value) {
  if (storeChange(parentFont_, Value) && Value && parent_) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!parentFont_ || !parent_) return;
  updatingFont_ = true;
  font_.Assign(parent_->Font());
  updatingFont_ = false;
}

void TControl::SetText(const std::string& Value) {
  if (storeChange(text_, Value)) Perform(CM_TEXTCHANGED);
}

TWinControl* TControl::PaintTarget() const { return parent_; }

void TControl::Invalidate() {
  if (!parent_ || !parent_->HandleAllocated() || !visible_) return;
  const TRect r = BoundsRect();
  InvalidateRect(parent_->Handle(), &r, !controlStyle_.Contains(csOpaque));
}

void TControl::Update() {
  if (parent_) parent_->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (!parent_) return;
  auto& list = parent_->controls_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.push_back(this);
  if (auto* w = dynamic_cast<TWinControl*>(this); w && w->HandleAllocated())
    SetWindowPos(w->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  else
    Invalidate();
}

void TControl::SendToBack() {
  if (!parent_) return;
  auto& list = parent_->controls_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.insert(list.begin(), this);
  if (auto* w = dynamic_cast<TWinControl*>(this); w && w->HandleAllocated())
    SetWindowPos(w->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  else
    Invalidate();
}

bool TControl::MouseCapture() const { return GetCaptureControl() == this; }

void TControl::SetMouseCapture(bool Value) {
  if (MouseCapture() == Value) return;
  SetCaptureControl(Value ? this : nullptr);
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& Message) { Dispatch(Message); }

void TControl::DefaultHandler(TMessage& /*Message*/) {}

void TControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_MOUSEMOVE:
  case WM_LBUTTONDOWN:
  case WM_LBUTTONUP:
  case WM_LBUTTONDBLCLK:
  case WM_RBUTTONDOWN:
  case WM_RBUTTONUP:
  case WM_RBUTTONDBLCLK:
  case WM_MBUTTONDOWN:
  case WM_MBUTTONUP:
  case WM_MBUTTONDBLCLK:
    mouseMessage(Message);
    return;
  case WM_CANCELMODE:
    if (MouseCapture()) SetMouseCapture(false);
    controlState_.Exclude(csClicked);
    DefaultHandler(Message);
    return;
  case CM_ENABLEDCHANGED:
  case CM_COLORCHANGED:
  case CM_FONTCHANGED:
  case CM_TEXTCHANGED:
    Invalidate();
    return;
  case CM_HITTEST:
    Message.Result = 1;
    return;
  case CM_MOUSEENTER:
  case CM_MOUSELEAVE:
  case CM_VISIBLECHANGED:
    return;
  default:
    DefaultHandler(Message);
    return;
  }
}

namespace {
// A press ends whatever mouse mode the active control of each form up the chain is in (an open
// drop-down, a drag); the notification names the control that was pressed.
void sendCancelMode(TControl* Sender) {
  for (TControl* c = Sender; c; c = c->Parent())
    if (auto* form = dynamic_cast<TCustomForm*>(c))
      if (TWinControl* active = form->ActiveControl())
        active->Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(Sender));
}
} // namespace

void TControl::mouseMessage(TMessage& Message) {
  const TWMMouse m(Message);
  TShiftState shift = MouseKeysToShiftState(m.Keys);
  const int x = m.XPos, y = m.YPos;
  DefaultHandler(Message);
  auto down = [&](TMouseButton button, bool dbl) {
    sendCancelMode(this);
    if (button == TMouseButton::mbLeft) {
      if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(true);
      if (controlStyle_.Contains(csClickEvents)) controlState_.Include(csClicked);
    }
    if (dbl && controlStyle_.Contains(csDoubleClicks)) {
      DblClick();
      shift.Include(ssDouble);
    }
    MouseDown(button, shift, x, y);
  };
  auto up = [&](TMouseButton button) {
    if (button == TMouseButton::mbLeft) {
      if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(false);
      if (controlState_.Contains(csClicked)) {
        controlState_.Exclude(csClicked);
        if (PtInRect(ClientRect(), TPoint{x, y})) Click();
      }
    }
    MouseUp(button, shift, x, y);
  };
  if (Message.Msg == WM_MOUSEMOVE) {
    MouseMove(shift, x, y);
    return;
  }
  struct ButtonMsgs {
    TMouseButton button;
    UINT down, doubleClick, up;
  };
  static constexpr ButtonMsgs buttons[] = {
      {TMouseButton::mbLeft, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
      {TMouseButton::mbRight, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, WM_RBUTTONUP},
      {TMouseButton::mbMiddle, WM_MBUTTONDOWN, WM_MBUTTONDBLCLK, WM_MBUTTONUP}};
  for (const ButtonMsgs& b : buttons) {
    if (Message.Msg == b.down || Message.Msg == b.doubleClick)
      down(b.button, Message.Msg == b.doubleClick);
    else if (Message.Msg == b.up)
      up(b.button);
  }
  if (Message.Msg == WM_RBUTTONUP) contextPopup(TPoint{x, y});
}

void TControl::Click() {
  if (OnClick)
    OnClick(this);
  else if (action_ && !IsDesigning())
    action_->Execute();
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
  if (popupMenu_ == Value) return;
  if (popupMenu_) RemoveFreeNotification(popupMenu_);
  popupMenu_ = Value;
  if (popupMenu_) FreeNotification(popupMenu_);
}

// A right click: OnContextPopup may take it; otherwise the pop-up menu of the control, or of
// the nearest parent that has one, shows where the mouse is.
void TControl::contextPopup(TPoint Pos) {
  if (IsDesigning()) return;
  bool handled = false;
  OnContextPopup(this, Pos, handled);
  if (handled) return;
  for (TControl* c = this; c; c = c->Parent())
    if (TPopupMenu* menu = c->PopupMenu()) {
      menu->PopupComponent = this;
      const TPoint at = ClientToScreen(Pos);
      menu->Popup(at.X, at.Y);
      return;
    }
}

void TControl::SetAction(TBasicAction* Value) {
  if (action_ == Value) return;
  if (action_) RemoveFreeNotification(action_);
  action_ = Value;
  if (action_) FreeNotification(action_);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == popupMenu_) popupMenu_ = nullptr;
  if (AComponent == action_) action_ = nullptr;
}

bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool handled = false;
  OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
  if (handled) return true;
  if (WheelDelta < 0) return DoMouseWheelDown(Shift, MousePos);
  if (WheelDelta > 0) return DoMouseWheelUp(Shift, MousePos);
  return false;
}

bool TControl::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  bool handled = false;
  OnMouseWheelDown(this, Shift, MousePos, handled);
  return handled;
}

bool TControl::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  bool handled = false;
  OnMouseWheelUp(this, Shift, MousePos, handled);
  return handled;
}
void TControl::DblClick() { OnDblClick(this); }
void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  OnMouseUp(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, int X, int Y) { OnMouseMove(this, Shift, X, Y); }
void TControl::Resize() { OnResize(this); }

void TControl::Loaded() {
  TComponent::Loaded();
  UpdateAnchorRules();
  if (parentFont_ && parent_) ParentFontChanged();
  if (parentColor_ && parent_) ParentColorChanged();
}

// ---- TWinControl

const TClassInfo& TWinControl::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TWinControl, TControl>("TWinControl").Build();
  return info;
}

TWinControl* TWinControl::FindControl(HWND Wnd) {
  auto it = windowMap().find(Wnd);
  return it == windowMap().end() ? nullptr : it->second;
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  if (TCustomForm* form = GetParentForm(this)) form->controlGoing(this);
  // Child controls go with their parent, whoever owns them; each leaves its owner's list.
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    RemoveControl(c);
    TComponent::Free(c);
  }
  DestroyHandle();
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params = TCreateParams{};
  Params.Caption = Text();
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (ControlStyle().Contains(csAcceptsControls)) Params.Style |= WS_CLIPCHILDREN;
  if (!Enabled()) Params.Style |= WS_DISABLED;
  if (tabStop_) Params.Style |= WS_TABSTOP;
  Params.X = Left();
  Params.Y = Top();
  Params.Width = Width();
  Params.Height = Height();
  Params.WndParent = Parent() ? Parent()->Handle() : 0;
  Params.WinClassName = ClassName();
}

void TWinControl::AddClientFrame(TCreateParams& Params) const {
  if (Ctl3D())
    Params.ExStyle |= WS_EX_CLIENTEDGE;
  else
    Params.Style |= WS_BORDER;
}

void TWinControl::CreateWindowHandle(const TCreateParams& Params) {
  WindowProc proc = [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    if (!handle_ && !destroyingHandle_) {
      handle_ = h;
      windowMap()[h] = this;
    }
    TMessage m{msg, w, l, 0};
    WndProc(m);
    return m.Result;
  };
  const HWND h =
      CreateWindowEx(Params.ExStyle, Params.WinClassName, Params.Caption, Params.Style, Params.X, Params.Y,
                     Params.Width, Params.Height, Params.WndParent, proc, Params.WindowClassStyle);
  if (!h) throw EInvalidOperation("Error creating window");
  handle_ = h;
  windowMap()[h] = this;
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & WS_CHILD) && !params.WndParent)
    throw EInvalidOperation("Control '" + Name() + "' has no parent window");
  CreateWindowHandle(params);
}

void TWinControl::CreateHandle() {
  if (handle_) return;
  SetControlState(ControlState() + TControlState{csCreating});
  {
    const ScopeExit created([this] { SetControlState(ControlState() - TControlState{csCreating}); });
    CreateWnd();
  }
  for (TControl* c : std::vector<TControl*>(controls_))
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->CreateHandle();
  reflectZOrder();
  updateShowing();
  Realign();
}

void TWinControl::reflectZOrder() {
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c); w && w->handle_)
      SetWindowPos(w->handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND TWinControl::Handle() {
  if (!handle_) {
    if (Parent()) Parent()->Handle();
    if (!handle_) CreateHandle();
  }
  return handle_;
}

void TWinControl::updateShowing() {
  if (!handle_) return;
  if (Parent()) ShowWindow(handle_, Visible() ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::DestroyWnd() {
  if (!handle_) return;
  const HWND h = handle_;
  destroyingHandle_ = true;
  DestroyWindow(h);
  windowMap().erase(h);
  handle_ = 0;
  destroyingHandle_ = false;
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
  DestroyWnd();
}

void TWinControl::RecreateWnd() {
  if (!handle_) return;
  DestroyHandle();
  CreateHandle();
}

void TWinControl::InsertControl(TControl* AControl) {
  if (!AControl || AControl->parent_ == this) return;
  if (auto* w = dynamic_cast<TWinControl*>(AControl); w && (w == this || w->ContainsControl(this)))
    throw EInvalidOperation("A control cannot be its own parent");
  controls_.push_back(AControl);
  AControl->parent_ = this;
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    insertTab(w);
    // A control read from a form file is inserted before its properties are read: its window
    // waits for them (Loaded), so that what the window computes at creation, such as the pages
    // of its scroll bars from their units, starts from the stored values.
    if (handle_ && !w->IsLoading()) w->CreateHandle();
  }
  AControl->ParentFontChanged();
  AControl->ParentColorChanged();
  AControl->UpdateAnchorRules();
  if (handle_) AControl->Invalidate();
  Realign();
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(controls_.begin(), controls_.end(), AControl);
  if (it == controls_.end()) return;
  if (handle_) AControl->Invalidate();
  if (GetCaptureControl() == AControl) SetCaptureControl(nullptr);
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    if (TCustomForm* form = GetParentForm(this)) form->controlGoing(w);
    removeTab(w);
    w->DestroyHandle();
  }
  controls_.erase(std::find(controls_.begin(), controls_.end(), AControl));
  AControl->parent_ = nullptr;
  if (!IsDestroying()) Realign();
}

bool TWinControl::ContainsControl(const TControl* Control) const {
  for (const TControl* c = Control; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

TControl* TWinControl::ControlAtPos(TPoint Pos, bool AllowDisabled, bool AllowWinControls) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    const bool win = dynamic_cast<TWinControl*>(c) != nullptr;
    if (win && !AllowWinControls) continue;
    if (!c->Visible() || (!c->Enabled() && !AllowDisabled)) continue;
    if (PtInRect(c->BoundsRect(), Pos)) return c;
  }
  return nullptr;
}

void TWinControl::insertTab(TWinControl* C) { tabList_.push_back(C); }
void TWinControl::removeTab(TWinControl* C) {
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), C), tabList_.end());
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& t = Parent()->tabList_;
  auto it = std::find(t.begin(), t.end(), this);
  return it == t.end() ? -1 : static_cast<int>(it - t.begin());
}

void TWinControl::SetTabOrder(int Value) {
  if (!Parent()) return;
  auto& t = Parent()->tabList_;
  t.erase(std::remove(t.begin(), t.end(), this), t.end());
  Value = std::clamp(Value < 0 ? static_cast<int>(t.size()) : Value, 0, static_cast<int>(t.size()));
  t.insert(t.begin() + Value, this);
}

bool TWinControl::CanFocus() const {
  const TCustomForm* form = GetParentForm(this);
  for (const TControl* c = this; c; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
    if (c == form) break;
  }
  return form != nullptr;
}

bool TWinControl::Focused() const { return handle_ && GetFocus() == handle_; }

void TWinControl::SetFocus() {
  if (TCustomForm* form = GetParentForm(this))
    form->FocusControl(this);
  else if (Showing())
    kv::platform::SetFocus(Handle());
}

std::vector<TWinControl*> TWinControl::TabList(bool Deep) const {
  std::vector<TWinControl*> out;
  for (TWinControl* c : tabList_) {
    out.push_back(c);
    if (Deep) {
      auto sub = c->TabList(true);
      out.insert(out.end(), sub.begin(), sub.end());
    }
  }
  return out;
}

TWinControl* TWinControl::FindNextControl(TWinControl* Current, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) const {
  const auto list = TabList(true);
  if (list.empty()) return nullptr;
  const int n = static_cast<int>(list.size());
  int start = -1;
  for (int i = 0; i < n; ++i)
    if (list[static_cast<size_t>(i)] == Current) start = i;
  if (start < 0) start = GoForward ? n - 1 : 0;
  for (int step = 1; step <= n; ++step) {
    const int i = ((start + (GoForward ? step : -step)) % n + n) % n;
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c == Current) continue;
    if (CheckTabStop && !c->TabStop()) continue;
    if (CheckParent && Current && c->Parent() != Current->Parent()) continue;
    if (c->CanFocus()) return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* Current, bool GoForward, bool CheckTabStop) {
  if (TWinControl* c = FindNextControl(Current, GoForward, CheckTabStop, !CheckTabStop)) c->SetFocus();
}

void TWinControl::SetCtl3D(bool Value) {
  if (!storeChange(ctl3D_, Value)) return;
  parentCtl3D_ = false;
  Perform(CM_CTL3DCHANGED);
}

TRect TWinControl::ClientRect() const {
  if (handle_) {
    TRect r;
    GetClientRect(handle_, &r);
    return r;
  }
  return TControl::ClientRect();
}

TPoint TWinControl::ClientOrigin() const { return handle_ ? GetClientOrigin(handle_) : TPoint{0, 0}; }

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TRect oldClient = ClientRect();
  const bool sameBounds = ALeft == Left() && ATop == Top() && AWidth == Width() && AHeight == Height();
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (sameBounds) return;
  if (handle_ && !updatingBounds_) {
    updatingBounds_ = true;
    SetWindowPos(handle_, 0, Left(), Top(), Width(), Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    updatingBounds_ = false;
  }
  if (!handle_) {
    const TRect c = ClientRect();
    if (!(c == oldClient)) {
      for (TControl* child : std::vector<TControl*>(controls_))
        child->anchorParentResized(c.Width(), c.Height());
      Realign();
      Resize();
    }
  }
}

void TWinControl::SetClientSize(int AWidth, int AHeight) {
  const TRect c = ClientRect();
  SetBounds(Left(), Top(), Width() + AWidth - c.Width(), Height() + AHeight - c.Height());
}

void TWinControl::UpdateBounds() {
  if (!handle_) return;
  TRect r;
  GetWindowRect(handle_, &r);
  if (Parent() && Parent()->HandleAllocated()) {
    TPoint tl{r.Left, r.Top};
    kv::platform::ScreenToClient(Parent()->Handle(), &tl);
    r = TRect{tl.X, tl.Y, tl.X + r.Width(), tl.Y + r.Height()};
  }
  if (r == BoundsRect()) return;
  updatingBounds_ = true;
  TControl::SetBounds(r.Left, r.Top, r.Width(), r.Height());
  updatingBounds_ = false;
}

void TWinControl::SetVisible(bool Value) {
  if (Visible() == Value) return;
  TControl::SetVisible(Value);
  updateShowing();
}

bool TWinControl::Showing() const {
  if (!Visible()) return false;
  if (Parent()) return Parent()->Showing();
  return handle_ && IsWindowVisible(handle_);
}

void TWinControl::SetEnabled(bool Value) {
  if (Enabled() == Value) return;
  TControl::SetEnabled(Value);
  if (handle_) EnableWindow(handle_, Value);
}

void TWinControl::SetText(const std::string& Value) {
  if (Text() == Value) return;
  TControl::SetText(Value);
  if (handle_) SetWindowText(handle_, Value);
}

void TWinControl::Invalidate() {
  if (handle_) InvalidateRect(handle_, nullptr, !ControlStyle().Contains(csOpaque));
}

void TWinControl::Update() {
  if (handle_) UpdateWindow(handle_);
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

void TWinControl::EnableAlign() {
  if (alignDisabled_ > 0 && --alignDisabled_ == 0) Realign();
}

void TWinControl::Realign() {
  if (alignDisabled_ > 0 || aligning_ || IsLoading() || IsDestroying()) return;
  aligning_ = true;
  const ScopeExit aligned([this] { aligning_ = false; });
  TRect r = ClientRect();
  AlignControls(nullptr, r);
}

void TWinControl::AlignControls(TControl* /*AControl*/, TRect& Rect) {
  AdjustClientRect(Rect);
  auto place = [&](TAlign which) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->Align() == which && c->Visible()) list.push_back(c);
    auto key = [which](const TControl* c) {
      switch (which) {
      case TAlign::alTop:
        return c->Top();
      case TAlign::alBottom:
        return -(c->Top() + c->Height());
      case TAlign::alLeft:
        return c->Left();
      case TAlign::alRight:
        return -(c->Left() + c->Width());
      default:
        return 0;
      }
    };
    std::stable_sort(list.begin(), list.end(),
                     [&](const TControl* a, const TControl* b) { return key(a) < key(b); });
    for (TControl* c : list) {
      const int w = std::max(0, Rect.Width()), h = std::max(0, Rect.Height());
      switch (which) {
      case TAlign::alTop:
        c->SetBounds(Rect.Left, Rect.Top, w, c->Height());
        Rect.Top += c->Height();
        break;
      case TAlign::alBottom:
        c->SetBounds(Rect.Left, Rect.Bottom - c->Height(), w, c->Height());
        Rect.Bottom -= c->Height();
        break;
      case TAlign::alLeft:
        c->SetBounds(Rect.Left, Rect.Top, c->Width(), h);
        Rect.Left += c->Width();
        break;
      case TAlign::alRight:
        c->SetBounds(Rect.Right - c->Width(), Rect.Top, c->Width(), h);
        Rect.Right -= c->Width();
        break;
      case TAlign::alClient:
        c->SetBounds(Rect.Left, Rect.Top, w, h);
        break;
      default:
        break;
      }
    }
  };
  place(TAlign::alTop);
  place(TAlign::alBottom);
  place(TAlign::alLeft);
  place(TAlign::alRight);
  place(TAlign::alClient);
}

void TWinControl::PaintControls(DrawingContext* DC, TControl* First) {
  if (!DC) return;
  const TPoint origin = ClientOrigin();
  auto it = controls_.begin();
  if (First) it = std::find(controls_.begin(), controls_.end(), First);
  const TRect paintRect = ClientRect();
  for (; it != controls_.end(); ++it) {
    auto* g = dynamic_cast<TGraphicControl*>(*it);
    if (!g || !g->Visible()) continue;
    const TRect clip = IntersectRects(g->BoundsRect(), paintRect);
    if (IsRectEmpty(clip)) continue;
    const TPoint saved = DC->setWindowOrg(TPoint{-g->Left(), -g->Top()});
    DC->setClipRect(OffsetRectBy(clip, origin.X, origin.Y));
    const ScopeExit restore([&] {
      DC->setWindowOrg(saved);
      DC->setClipRect(OffsetRectBy(paintRect, origin.X, origin.Y));
    });
    g->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
  }
}

void TWinControl::PaintHandler(TWMPaint& Message) {
  if (Message.DC) {
    PaintWindow(Message.DC);
    PaintControls(Message.DC, nullptr);
    return;
  }
  TPaintStruct ps;
  DrawingContext* dc = BeginPaint(handle_, ps);
  const ScopeExit end([&] { EndPaint(handle_, ps); });
  if (!dc) return;
  PaintWindow(dc);
  PaintControls(dc, nullptr);
}

void TWinControl::WMPaint(TWMPaint& Message) {
  bool graphics = false;
  for (TControl* c : controls_)
    if (dynamic_cast<TGraphicControl*>(c)) graphics = true;
  if (!graphics && !ControlState().Contains(csCustomPaint) && !Message.DC) {
    TMessage m{WM_PAINT, 0, 0, 0};
    DefaultHandler(m);
    return;
  }
  PaintHandler(Message);
}

void TWinControl::WMEraseBkgnd(TWMEraseBkgnd& Message) {
  if (Message.DC) Message.DC->fillRect(ClientRect(), BrushInfo{Color(), TBrushStyle::bsSolid});
  Message.Result = 1;
}

void TWinControl::WMSize(TWMSize& /*Message*/) {
  UpdateBounds();
  const TRect c = ClientRect();
  for (TControl* child : std::vector<TControl*>(controls_))
    child->anchorParentResized(c.Width(), c.Height());
  Realign();
  Resize();
}

void TWinControl::WMSetFocus(TMessage& Message) {
  DefaultHandler(Message);
  if (TCustomForm* form = GetParentForm(this)) form->SetFocusedControl(this);
}

void TWinControl::WMKillFocus(TMessage& Message) { DefaultHandler(Message); }

bool TWinControl::formPreviews(bool (TWinControl::*Step)(TWMKey&), TWMKey& Message) {
  TCustomForm* form = GetParentForm(this);
  return form && form != this && form->KeyPreview() && (form->*Step)(Message);
}

bool TWinControl::keyMessage(bool (TWinControl::*Step)(TWMKey&),
                             void (TWinControl::*Handler)(uint16_t&, TShiftState), TWMKey& Message) {
  if (formPreviews(Step, Message)) return true;
  uint16_t key = Message.CharCode;
  (this->*Handler)(key, KeyDataToShiftState(Message.KeyData));
  Message.CharCode = key;
  return key == 0;
}

bool TWinControl::DoKeyDown(TWMKey& Message) {
  return keyMessage(&TWinControl::DoKeyDown, &TWinControl::KeyDown, Message);
}

bool TWinControl::DoKeyPress(TWMKey& Message) {
  if (formPreviews(&TWinControl::DoKeyPress, Message)) return true;
  char ch = static_cast<char>(Message.CharCode);
  KeyPress(ch);
  Message.CharCode = static_cast<unsigned char>(ch);
  return ch == 0;
}

bool TWinControl::DoKeyUp(TWMKey& Message) {
  return keyMessage(&TWinControl::DoKeyUp, &TWinControl::KeyUp, Message);
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) { OnKeyDown(this, Key, Shift); }
void TWinControl::KeyPress(char& Key) { OnKeyPress(this, Key); }
void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) { OnKeyUp(this, Key, Shift); }
void TWinControl::DoEnter() { OnEnter(this); }
void TWinControl::DoExit() { OnExit(this); }

void TWinControl::CNKeyDown(TWMKey& Message) {
  Message.Result = 1;
  LRESULT mask = 0;
  switch (Message.CharCode) {
  case VK_TAB:
    mask = DLGC_WANTTAB;
    break;
  case VK_LEFT:
  case VK_RIGHT:
  case VK_UP:
  case VK_DOWN:
    mask = DLGC_WANTARROWS;
    break;
  case VK_RETURN:
  case VK_EXECUTE:
  case VK_ESCAPE:
  case VK_CANCEL:
    mask = DLGC_WANTALLKEYS;
    break;
  default:
    break;
  }
  if (mask && !IsDesigning() && Perform(CM_WANTSPECIALKEY, Message.CharCode) == 0 &&
      (Perform(WM_GETDLGCODE) & mask) == 0) {
    if (TCustomForm* form = GetParentForm(this))
      if (form->Perform(CM_DIALOGKEY, Message.CharCode, static_cast<LPARAM>(Message.KeyData)) != 0) return;
  }
  Message.Result = 0;
}

bool TWinControl::routeMouseToChild(TMessage& Message) {
  if (Message.Msg < WM_MOUSEFIRST || Message.Msg > WM_MOUSELAST || Message.Msg == WM_MOUSEWHEEL) return false;
  TControl* target = nullptr;
  if (handle_ && GetCapture() == handle_) {
    if (captureControl && captureControl->Parent() == this && !dynamic_cast<TWinControl*>(captureControl))
      target = captureControl;
  } else {
    const TWMMouse m(Message);
    target = ControlAtPos(m.Pos(), false);
  }
  if (!target) return false;
  const TWMMouse m(Message);
  TMessage forwarded = Message;
  forwarded.LParam = makeLParam(m.XPos - target->Left(), m.YPos - target->Top());
  target->WndProc(forwarded);
  Message.Result = forwarded.Result;
  return true;
}

void TWinControl::WndProc(TMessage& Message) {
  if (routeMouseToChild(Message)) return;
  Dispatch(Message);
}

void TWinControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_PAINT:
    dispatchRecord(*this, &TWinControl::WMPaint, Message);
    return;
  case WM_ERASEBKGND:
    dispatchRecord(*this, &TWinControl::WMEraseBkgnd, Message);
    return;
  case WM_SIZE: {
    TWMSize m(Message);
    WMSize(m);
    return;
  }
  case WM_MOVE:
    UpdateBounds();
    return;
  case WM_SETFOCUS:
    WMSetFocus(Message);
    return;
  case WM_KILLFOCUS:
    WMKillFocus(Message);
    return;
  case CN_KEYDOWN:
  case CN_SYSKEYDOWN:
    dispatchRecord(*this, &TWinControl::CNKeyDown, Message);
    return;
  case CN_CHAR:
  case CN_SYSCHAR:
  case CN_KEYUP:
    Message.Result = 0;
    return;
  case WM_KEYDOWN:
  case WM_SYSKEYDOWN: {
    TWMKey m(Message);
    if (!DoKeyDown(m)) DefaultHandler(Message);
    return;
  }
  case WM_MOUSEWHEEL: {
    // The point comes in screen coordinates, as the window system sends it.
    const auto lp = static_cast<uint64_t>(Message.LParam);
    if (DoMouseWheel(MouseKeysToShiftState(Message.WParam & 0xFFFF), hiWord(Message.WParam),
                     TPoint{loWord(lp), hiWord(lp)}))
      Message.Result = 1;
    else
      DefaultHandler(Message);
    return;
  }
  case WM_CHAR: {
    TWMKey m(Message);
    if (!DoKeyPress(m)) DefaultHandler(Message);
    return;
  }
  case WM_KEYUP:
  case WM_SYSKEYUP: {
    TWMKey m(Message);
    if (!DoKeyUp(m)) DefaultHandler(Message);
    return;
  }
  case WM_CAPTURECHANGED:
    if (captureControl && captureControl->PaintTarget() == this &&
        static_cast<HWND>(Message.LParam) != handle_)
      captureControl = nullptr;
    DefaultHandler(Message);
    return;
  case CM_ENTER:
    DoEnter();
    return;
  case CM_EXIT:
    DoExit();
    return;
  case CM_DIALOGKEY:
    for (TControl* c : std::vector<TControl*>(controls_))
      if ((Message.Result = c->Perform(CM_DIALOGKEY, Message.WParam, Message.LParam)) != 0) return;
    return;
  case CM_FONTCHANGED:
    for (TControl* c : controls_)
      c->ParentFontChanged();
    Invalidate();
    return;
  case CM_COLORCHANGED:
    for (TControl* c : controls_)
      c->ParentColorChanged();
    Invalidate();
    return;
  default:
    TControl::Dispatch(Message);
    return;
  }
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (handle_ && Message.Msg < CM_BASE)
    Message.Result = DefWindowProc(handle_, Message.Msg, Message.WParam, Message.LParam);
}

void TWinControl::Loaded() {
  TControl::Loaded();
  if (!handle_ && Parent() && Parent()->HandleAllocated()) CreateHandle();
}

void TWinControl::ParentFontChanged() { TControl::ParentFontChanged(); }
void TWinControl::ParentColorChanged() { TControl::ParentColorChanged(); }

void TWinControl::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  for (TControl* c : controls_)
    if (c->Owner() == Root) Proc(c);
  if (Root == this)
    for (int i = 0; i < ComponentCount(); ++i)
      if (!Components(i)->HasParent()) Proc(Components(i));
}

// ---- TGraphicControl

const TClassInfo& TGraphicControl::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TGraphicControl, TControl>("TGraphicControl").Build();
  return info;
}

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), canvas_(std::make_unique<TCanvas>()) {}
TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    auto* dc = reinterpret_cast<DrawingContext*>(Message.WParam);
    if (!dc) return;
    canvas_->Lock();
    canvas_->SetHandle(dc);
    const ScopeExit unbind([this] {
      canvas_->SetHandle(nullptr);
      canvas_->Unlock();
    });
    Paint();
    return;
  }
  TControl::Dispatch(Message);
}

// ---- TControlCanvas

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::SetControl(TControl* Control) {
  FreeHandle();
  control_ = Control;
}

void TControlCanvas::FreeHandle() {
  if (dc_) {
    if (HandleAllocated() && Handle() == dc_) SetHandle(nullptr);
    ReleaseDC(dcWindow_, dc_);
    dc_ = nullptr;
    dcWindow_ = 0;
  }
}

DrawingContext* TControlCanvas::acquireHandle() {
  if (!control_) return nullptr;
  TWinControl* w = dynamic_cast<TWinControl*>(control_);
  if (!w) w = control_->Parent();
  if (!w) return nullptr;
  dcWindow_ = w->Handle();
  dc_ = GetDC(dcWindow_);
  if (dc_ && w != control_) dc_->setWindowOrg(TPoint{-control_->Left(), -control_->Top()});
  SetHandle(dc_);
  return dc_;
}

void PressTracker::press(TControl& Button) {
  pressed = true;
  Button.Invalidate();
}

void PressTracker::mouseMoved(TControl& Button, int X, int Y) {
  if (Button.MouseCapture() && storeChange(pressed, PtInRect(Button.ClientRect(), TPoint{X, Y})))
    Button.Invalidate();
}

bool PressTracker::dispatch(TControl& Button, const TMessage& Message, bool RepaintHot) {
  switch (Message.Msg) {
  case WM_LBUTTONUP:
    if (storeChange(pressed, false)) Button.Invalidate();
    return false;
  case CM_MOUSEENTER:
  case CM_MOUSELEAVE:
    hot = Message.Msg == CM_MOUSEENTER;
    if (RepaintHot) Button.Invalidate();
    return true;
  default:
    return false;
  }
}

// ---- TCustomControl

const TClassInfo& TCustomControl::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCustomControl, TWinControl>("TCustomControl").Build();
  return info;
}

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TCustomControl::~TCustomControl() { canvas_->FreeHandle(); }

void TCustomControl::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    SetControlState(ControlState() + TControlState{csCustomPaint});
    const ScopeExit exclude([this] { SetControlState(ControlState() - TControlState{csCustomPaint}); });
    TWinControl::Dispatch(Message);
    return;
  }
  TWinControl::Dispatch(Message);
}

bool TCustomControl::DispatchEditFrame(TMessage& Message) {
  switch (Message.Msg) {
  case WM_PAINT:
    TCustomControl::Dispatch(Message);
    if (HandleAllocated()) classic::PaintNonClient(Handle());
    return true;
  default:
    return dispatchFocusCue(Message, DLGC_WANTARROWS | DLGC_WANTCHARS);
  }
}

bool TCustomControl::dispatchFocusCue(TMessage& Message, LRESULT DlgCode) {
  switch (Message.Msg) {
  case WM_GETDLGCODE:
    Message.Result = DlgCode;
    return true;
  case WM_SETFOCUS:
  case WM_KILLFOCUS:
    TCustomControl::Dispatch(Message);
    Invalidate();
    return true;
  default:
    return false;
  }
}

void TCustomControl::makeOpaqueLeaf() {
  SetControlStyle(ControlStyle() - TControlStyle{TControlStyleItem::csAcceptsControls} +
                  TControlStyle{csOpaque});
}

void TCustomControl::initField(int AWidth, int AHeight) {
  SetBounds(0, 0, AWidth, AHeight);
  SetTabStop(true);
  SetColor(clWindow);
  SetParentColor(false);
  makeOpaqueLeaf();
}

void TCustomControl::PaintWindow(DrawingContext* DC) {
  canvas_->Lock();
  canvas_->FreeHandle();
  canvas_->SetHandle(DC);
  const ScopeExit unbind([this] {
    canvas_->SetHandle(nullptr);
    canvas_->Unlock();
  });
  Paint();
}

} // namespace kv::platform
