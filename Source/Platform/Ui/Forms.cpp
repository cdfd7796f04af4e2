#include "Platform/Ui/Forms.h"

#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Dialogs/Dialogs.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Ui/Buttons.h"
#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/CommonDialogs.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/ImgList.h"
#include "Platform/Ui/Menus.h"
#include "Platform/Ui/WindowDialogs.h"

#include <algorithm>

namespace kv::platform {

// ---- TControlScrollBar

const TClassInfo& TControlScrollBar::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TControlScrollBar, TPersistent>("TControlScrollBar")
          .Int("Increment", &TControlScrollBar::Increment, &TControlScrollBar::SetIncrement, 8)
          .Int("Range", &TControlScrollBar::Range, &TControlScrollBar::SetRange, 0)
          .Int("Position", &TControlScrollBar::Position, &TControlScrollBar::SetPosition, 0)
          .Bool("Tracking", &TControlScrollBar::Tracking, &TControlScrollBar::SetTracking, false)
          .Bool("Visible", &TControlScrollBar::Visible, &TControlScrollBar::SetVisible, true)
          .Build();
  return info;
}

int TControlScrollBar::ScrollMax() const {
  const TRect c = control_->ClientRect();
  const int extent = kind_ == TScrollBarKind::sbHorizontal ? c.Width() : c.Height();
  return std::max(0, range_ - extent);
}

void TControlScrollBar::SetRange(int Value) {
  range_ = std::max(0, Value);
  Update();
}

void TControlScrollBar::SetVisible(bool Value) {
  visible_ = Value;
  Update();
}

// A stored position is read before the control has its window and its final client area, so
// it is kept as it is until the bar is shown (Update limits it then).
void TControlScrollBar::SetPosition(int Value) {
  Value = control_->IsLoading() ? std::max(0, Value) : std::clamp(Value, 0, ScrollMax());
  if (Value == position_) return;
  const int old = position_;
  position_ = Value;
  if (kind_ == TScrollBarKind::sbHorizontal)
    control_->ScrollBy(old - Value, 0);
  else
    control_->ScrollBy(0, old - Value);
  if (control_->HandleAllocated())
    SetScrollPos(control_->Handle(), kind_ == TScrollBarKind::sbHorizontal ? SB_HORZ : SB_VERT, Value, true);
}

void TControlScrollBar::Update() {
  if (!control_->HandleAllocated()) return;
  const int bar = kind_ == TScrollBarKind::sbHorizontal ? SB_HORZ : SB_VERT;
  const TRect c = control_->ClientRect();
  const int extent = kind_ == TScrollBarKind::sbHorizontal ? c.Width() : c.Height();
  classic::showScrollRange(control_->Handle(), bar, visible_ && range_ > extent ? range_ - 1 : 0,
                           std::max(0, extent), position_, SIF_RANGE | SIF_PAGE | SIF_POS);
  if (position_ > ScrollMax()) SetPosition(ScrollMax());
}

// The message holds only the low 16 bits of the thumb's place; the bar's track position has all
// of it when the two agree (a document taller than 32767 pixels).
int TControlScrollBar::thumbPos(const TWMScroll& Message) const {
  if (!control_->HandleAllocated()) return Message.Pos;
  TScrollInfo si;
  si.fMask = SIF_TRACKPOS;
  GetScrollInfo(control_->Handle(), kind_ == TScrollBarKind::sbHorizontal ? SB_HORZ : SB_VERT, si);
  return (si.nTrackPos & 0xFFFF) == (Message.Pos & 0xFFFF) ? si.nTrackPos : Message.Pos;
}

void TControlScrollBar::ScrollMessage(TWMScroll& Message) {
  // A dragged thumb moves the contents only with Tracking; its release always does.
  if (Message.ScrollCode == SB_THUMBTRACK && !tracking_) return;
  const TRect c = control_->ClientRect();
  const int page = std::max(1, (kind_ == TScrollBarKind::sbHorizontal ? c.Width() : c.Height()) * 3 / 4);
  if (const auto to = classic::ScrollTarget(Message.ScrollCode, thumbPos(Message),
                                            {position_, increment_, page, 0, ScrollMax()}))
    SetPosition(*to);
}

// ---- TScrollingWinControl

const TClassInfo& TScrollingWinControl::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TScrollingWinControl, TWinControl>("TScrollingWinControl")
          .Object("HorzScrollBar", [](const TScrollingWinControl& c) { return &c.HorzScrollBar(); })
          .Object("VertScrollBar", [](const TScrollingWinControl& c) { return &c.VertScrollBar(); })
          .Build();
  return info;
}

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner)
    : TWinControl(AOwner), horz_(std::make_unique<TControlScrollBar>(this, TScrollBarKind::sbHorizontal)),
      vert_(std::make_unique<TControlScrollBar>(this, TScrollBarKind::sbVertical)) {}

TScrollingWinControl::~TScrollingWinControl() = default;

void TScrollingWinControl::CreateWnd() {
  TWinControl::CreateWnd();
  horz_->Update();
  vert_->Update();
}

void TScrollingWinControl::ScrollBy(int DeltaX, int DeltaY) {
  if (!DeltaX && !DeltaY) return;
  DisableAlign();
  if (HandleAllocated()) ScrollWindow(Handle(), DeltaX, DeltaY, nullptr, nullptr);
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (auto* w = dynamic_cast<TWinControl*>(c); w && w->HandleAllocated()) continue; // the window moved it
    c->SetBounds(c->Left() + DeltaX, c->Top() + DeltaY, c->Width(), c->Height());
  }
  EnableAlign();
}

void TScrollingWinControl::WMHScroll(TWMScroll& Message) {
  if (Message.ScrollBar == 0) horz_->ScrollMessage(Message);
}

void TScrollingWinControl::WMVScroll(TWMScroll& Message) {
  if (Message.ScrollBar == 0) vert_->ScrollMessage(Message);
}

void TScrollingWinControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_HSCROLL:
    dispatchRecord(*this, &TScrollingWinControl::WMHScroll, Message);
    return;
  case WM_VSCROLL:
    dispatchRecord(*this, &TScrollingWinControl::WMVScroll, Message);
    return;
  case WM_SIZE:
    TWinControl::Dispatch(Message);
    // The bars' pages are the client extents: they follow every size change.
    horz_->Update();
    vert_->Update();
    Resizing();
    return;
  default:
    TWinControl::Dispatch(Message);
    return;
  }
}

// ---- TCustomForm

const TClassInfo& TCustomForm::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCustomForm, TScrollingWinControl>("TCustomForm").Build();
  return info;
}

const TClassInfo& TForm::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TForm, TCustomForm>("TForm")
          .Int("Width", &TControl::Width, &TControl::SetWidth, NoDefault)
          .NotStored()
          .Int("Height", &TControl::Height, &TControl::SetHeight, NoDefault)
          .NotStored()
          .With(published::Caption)
          .Enum<TBorderStyle>("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle,
                              TBorderStyle::bsSizeable)
          .Int("ClientHeight", &TControl::ClientHeight, &TControl::SetClientHeight, NoDefault)
          .Int("ClientWidth", &TControl::ClientWidth, &TControl::SetClientWidth, NoDefault)
          .With(published::Color(clBtnFace))
          .With(published::Font)
          .Bool("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview, false)
          .Enum<TPosition>("Position", &TCustomForm::Position, &TCustomForm::SetPosition,
                           TPosition::poDesigned)
          .Bool("Visible", &TControl::Visible, &TControl::SetVisible, false)
          .Event("OnActivate", &TCustomForm::OnActivate)
          .With(published::OnClick)
          .Event("OnClose", &TCustomForm::OnClose)
          .Event("OnCloseQuery", &TCustomForm::OnCloseQuery)
          .Event("OnCreate", &TCustomForm::OnCreate)
          .Event("OnDeactivate", &TCustomForm::OnDeactivate)
          .Event("OnDestroy", &TCustomForm::OnDestroy)
          .Event("OnHide", &TCustomForm::OnHide)
          .With(published::OnKeyDown)
          .With(published::OnKeyPress)
          .With(published::OnKeyUp)
          .With(published::MouseEvents)
          .Event("OnPaint", &TCustomForm::OnPaint)
          .With(published::OnResize)
          .Event("OnShow", &TCustomForm::OnShow)
          .Build();
  return info;
}

TCustomForm::TCustomForm(TComponent* AOwner) : TScrollingWinControl(AOwner) {
  TControl::SetVisible(false);
  SetColor(clBtnFace);
  SetParentFont(false);
  SetControlStyle(
      TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks});
  SetBounds(0, 0, 320, 240);
  Screen().addForm(this);
}

TCustomForm::~TCustomForm() {
  if (!destroyFired_) {
    destroyFired_ = true;
    try {
      DoDestroy();
    } catch (...) {
    }
  }
  Screen().removeForm(this);
  if (Application().MainForm() == this) Application().SetMainForm(nullptr);
  activeControl_ = focusedControl_ = nullptr;
}

void TCustomForm::BeforeDestruction() {
  TScrollingWinControl::BeforeDestruction();
  if (destroyFired_) return;
  destroyFired_ = true;
  DoDestroy();
}

void TCustomForm::loadFormFile() {
  std::string text, file;
  if (!FindFormResource(ClassName(), text, file)) throw EReadError("No form file for class " + ClassName());
  ReadComponentText(*this, text, file);
  DoCreate();
}

void TCustomForm::afterConstruction() { DoCreate(); }

void TCustomForm::Loaded() {
  TScrollingWinControl::Loaded();
  Realign();
}

uint32_t TCustomForm::windowStyle() const {
  uint32_t s = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  switch (borderStyle_) {
  case TBorderStyle::bsNone:
    s |= WS_POPUP;
    break;
  case TBorderStyle::bsSingle:
    s |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    break;
  case TBorderStyle::bsSizeable:
    s |= WS_OVERLAPPEDWINDOW;
    break;
  case TBorderStyle::bsDialog:
    s |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
    break;
  case TBorderStyle::bsToolWindow:
    s |= WS_CAPTION | WS_SYSMENU;
    break;
  case TBorderStyle::bsSizeToolWin:
    s |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    break;
  }
  return s;
}

uint32_t TCustomForm::windowExStyle() const {
  switch (borderStyle_) {
  case TBorderStyle::bsDialog:
    return WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
  case TBorderStyle::bsToolWindow:
  case TBorderStyle::bsSizeToolWin:
    return WS_EX_TOOLWINDOW;
  default:
    return 0;
  }
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TScrollingWinControl::CreateParams(Params);
  Params.Style = windowStyle();
  Params.ExStyle = windowExStyle();
  if (!Enabled()) Params.Style |= WS_DISABLED;
  Params.WndParent = 0;
}

TRect TCustomForm::ClientRect() const {
  if (HandleAllocated()) return TScrollingWinControl::ClientRect();
  // Before the window exists, the frame that it will have counts already, so that a client
  // size read from a form file holds once the window is there.
  TRect frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, windowStyle(), false, windowExStyle());
  return TRect{0, 0, std::max(0, Width() - frame.Width()), std::max(0, Height() - frame.Height())};
}

void TCustomForm::SetBorderStyle(TBorderStyle Value) {
  if (borderStyle_ == Value) return;
  const TRect client = ClientRect();
  borderStyle_ = Value;
  if (HandleAllocated()) RecreateWnd();
  if (IsLoading()) SetClientSize(client.Width(), client.Height());
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (Control && !ContainsControl(Control)) throw EInvalidOperation("Cannot focus a control of another form");
  activeControl_ = Control;
  if (Control && HandleAllocated() && IsWindowVisible(Handle()) && GetActiveWindow() == Handle())
    kv::platform::SetFocus(Control->Handle());
}

void TCustomForm::FocusControl(TWinControl* Control) {
  activeControl_ = Control;
  if (HandleAllocated() && IsWindowVisible(Handle())) kv::platform::SetFocus(Control->Handle());
}

void TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (focusedControl_ == Control) return;
  TWinControl* old = focusedControl_;
  focusedControl_ = Control;
  if (Control != this) activeControl_ = Control;
  if (old) old->Perform(CM_EXIT);
  if (Control && focusedControl_ == Control) Control->Perform(CM_ENTER);
  // Every control of the form hears of it (a default button gives up its ring to a focused one).
  std::function<void(TWinControl*)> tell = [&](TWinControl* w) {
    for (int i = 0; i < w->ControlCount(); ++i) {
      TControl* c = w->Controls(i);
      c->Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Control));
      if (auto* cw = dynamic_cast<TWinControl*>(c)) tell(cw);
    }
  };
  tell(this);
}

void TCustomForm::controlGoing(TWinControl* Control) {
  if (activeControl_ && Control->ContainsControl(activeControl_)) activeControl_ = nullptr;
  if (focusedControl_ && Control->ContainsControl(focusedControl_)) focusedControl_ = nullptr;
}

void TCustomForm::applyPosition() {
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  switch (position_) {
  case TPosition::poScreenCenter:
  case TPosition::poDesktopCenter:
    SetBounds((sw - Width()) / 2, (sh - Height()) / 2, Width(), Height());
    break;
  case TPosition::poMainFormCenter:
  case TPosition::poOwnerFormCenter: {
    TCustomForm* center = Application().MainForm();
    if (position_ == TPosition::poOwnerFormCenter)
      if (auto* owner = dynamic_cast<TCustomForm*>(Owner())) center = owner;
    if (center && center != this)
      SetBounds(center->Left() + (center->Width() - Width()) / 2,
                center->Top() + (center->Height() - Height()) / 2, Width(), Height());
    else
      SetBounds((sw - Width()) / 2, (sh - Height()) / 2, Width(), Height());
    break;
  }
  case TPosition::poDefault:
  case TPosition::poDefaultPosOnly:
    SetBounds(24, 24, Width(), Height());
    break;
  default:
    break;
  }
}

void TCustomForm::SetVisible(bool Value) {
  if (Visible() == Value) return;
  if (Value) {
    Handle();
    if (!shownOnce_) {
      shownOnce_ = true;
      applyPosition();
    }
    TControl::SetVisible(true);
    DoShow();
    if (!Visible()) return;
    ShowWindow(Handle(), SW_SHOW);
    if (!activeControl_)
      if (TWinControl* first = FindNextControl(nullptr, true, true, false)) activeControl_ = first;
    if (activeControl_ && activeControl_->CanFocus()) kv::platform::SetFocus(activeControl_->Handle());
  } else {
    if (IsDestroying()) {
      TControl::SetVisible(false);
      if (HandleAllocated()) ShowWindow(Handle(), SW_HIDE);
      return;
    }
    DoHide();
    TControl::SetVisible(false);
    if (HandleAllocated()) ShowWindow(Handle(), SW_HIDE);
  }
}

void TCustomForm::Show() {
  SetVisible(true);
  if (HandleAllocated()) BringWindowToTop(Handle());
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = TCloseAction::caHide;
  DoClose(action);
  if (action == TCloseAction::caNone) return;
  if (Application().MainForm() == this) {
    Application().Terminate();
    return;
  }
  if (action == TCloseAction::caHide || action == TCloseAction::caMinimize)
    Hide();
  else
    Release();
}

void TCustomForm::Release() {
  if (HandleAllocated())
    PostMessage(Handle(), CM_RELEASE, 0, 0);
  else
    TComponent::Free(this);
}

TModalResult TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || modal_) throw EInvalidOperation("Cannot make a visible window modal");
  if (HWND capture = GetCapture()) SendMessage(capture, WM_CANCELMODE, 0, 0);
  ReleaseCapture();
  std::vector<TCustomForm*> disabled;
  for (int i = 0; i < Screen().FormCount(); ++i) {
    TCustomForm* f = Screen().Forms(i);
    if (f != this && f->HandleAllocated() && IsWindowVisible(f->Handle()) && IsWindowEnabled(f->Handle())) {
      EnableWindow(f->Handle(), false);
      disabled.push_back(f);
    }
  }
  const ScopeExit restore([&] {
    for (TCustomForm* f : disabled)
      if (f->HandleAllocated()) EnableWindow(f->Handle(), true);
    modal_ = false;
  });
  modal_ = true;
  modalResult_ = mrNone;
  Show();
  while (true) {
    Application().HandleMessage();
    if (Application().Terminated()) {
      modalResult_ = mrCancel;
      break;
    }
    if (modalResult_ != mrNone) {
      TCloseAction action = TCloseAction::caHide;
      if (!CloseQuery())
        action = TCloseAction::caNone;
      else
        DoClose(action);
      if (action == TCloseAction::caNone) {
        modalResult_ = mrNone;
        continue;
      }
      break;
    }
  }
  Hide();
  return modalResult_;
}

bool TCustomForm::DoKeyDown(TWMKey& Message) { return TScrollingWinControl::DoKeyDown(Message); }
bool TCustomForm::DoKeyPress(TWMKey& Message) { return TScrollingWinControl::DoKeyPress(Message); }
bool TCustomForm::DoKeyUp(TWMKey& Message) { return TScrollingWinControl::DoKeyUp(Message); }

void TCustomForm::PaintWindow(DrawingContext* DC) {
  if (!OnPaint.Assigned()) return;
  canvas_.Lock();
  canvas_.FreeHandle();
  canvas_.SetHandle(DC);
  const ScopeExit unbind([this] {
    canvas_.SetHandle(nullptr);
    canvas_.Unlock();
  });
  OnPaint(this);
}

void TCustomForm::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_CLOSE:
    Close();
    return;
  case CM_RELEASE:
    TComponent::Free(this);
    return;
  case WM_PAINT:
    if (OnPaint.Assigned()) {
      SetControlState(ControlState() + TControlState{csCustomPaint});
      TScrollingWinControl::Dispatch(Message);
      SetControlState(ControlState() - TControlState{csCustomPaint});
      return;
    }
    break;
  case WM_ACTIVATE:
    if ((Message.WParam & 0xFFFF) != 0) {
      if (activeControl_ && activeControl_->CanFocus())
        kv::platform::SetFocus(activeControl_->Handle());
      else
        kv::platform::SetFocus(Handle());
      OnActivate(this);
    } else {
      OnDeactivate(this);
    }
    return;
  case CM_DIALOGKEY: {
    const int key = static_cast<int>(Message.WParam);
    if (key == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
      SelectNext(activeControl_, GetKeyState(VK_SHIFT) >= 0, true);
      Message.Result = 1;
      return;
    }
    if (key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN) {
      if (activeControl_) {
        SelectNext(activeControl_, key == VK_RIGHT || key == VK_DOWN, false);
        Message.Result = 1;
      }
      return;
    }
    break;
  }
  default:
    break;
  }
  TScrollingWinControl::Dispatch(Message);
}

// ---- TScreen

const TClassInfo& TScreen::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TScreen, TComponent>("TScreen").Build();
  return info;
}

TCustomForm* TScreen::ActiveForm() const {
  TWinControl* c = TWinControl::FindControl(GetActiveWindow());
  return dynamic_cast<TCustomForm*>(c);
}

void TScreen::removeForm(TCustomForm* Form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), Form), forms_.end());
}

// ---- exception box

namespace {
ExceptionBoxHook& exceptionBoxHook() {
  static ExceptionBoxHook hook = [](const std::string& caption, const std::string& message) {
    dialogs().exceptionBox(caption, message);
  };
  return hook;
}
} // namespace

void SetExceptionBoxHook(ExceptionBoxHook Hook) {
  if (Hook) exceptionBoxHook() = std::move(Hook);
}

// ---- TApplication

TControl* TApplication::mouseControl_ = nullptr;

const TClassInfo& TApplication::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TApplication, TComponent>("TApplication").Build();
  return info;
}

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  std::string exe = ParamStr(0);
  const auto slash = exe.find_last_of('/');
  if (slash != std::string::npos) exe = exe.substr(slash + 1);
  const auto dot = exe.find_last_of('.');
  if (dot != std::string::npos && dot > 0) exe = exe.substr(0, dot);
  title_ = exe;
}

TApplication::~TApplication() {
  if (messagesHook_) setProcessMessagesHook({});
  DestroyComponents();
  if (presenter_ && GetPresenter() == presenter_.get()) kv::platform::SetPresenter(nullptr);
}

void TApplication::Initialize() {
  if (!GetPresenter()) SetPresenter(std::make_unique<HeadlessPresenter>());
  InstallWindowDialogs();
  // Long work on the main thread (an engine packing an archive) lets the waiting messages run
  // through here, so that the windows repaint and take input meanwhile. A hook somebody else
  // installed (a test's) stays.
  if (!messagesHook_) {
    ProcessMessagesHook previous = setProcessMessagesHook({});
    if (previous) {
      setProcessMessagesHook(std::move(previous));
    } else {
      setProcessMessagesHook([this] { ProcessMessages(); });
      messagesHook_ = true;
    }
  }
}

void TApplication::SetPresenter(std::unique_ptr<Presenter> P) {
  presenter_ = std::move(P);
  kv::platform::SetPresenter(presenter_.get());
}

void TApplication::Run() {
  if (terminated_) return;
  if (mainForm_ && ShowMainForm) {
    try {
      mainForm_->Show();
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }
  while (!terminated_) {
    try {
      HandleMessage();
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }
}

void TApplication::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  PostQuitMessage(0);
}

bool TApplication::isKeyMessage(const TMsg& Msg) {
  if (Msg.message < WM_KEYFIRST || Msg.message > WM_KEYLAST || !Msg.hwnd) return false;
  TWinControl* c = TWinControl::FindControl(Msg.hwnd);
  if (!c) return false;
  return c->Perform(CN_BASE + Msg.message, Msg.wParam, Msg.lParam) != 0;
}

bool TApplication::ProcessMessage() {
  TMsg msg;
  if (!PeekMessage(msg, true)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  if (!isKeyMessage(msg)) {
    TranslateMessage(msg);
    DispatchMessage(msg);
  }
  if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) mouseIdle();
  return true;
}

void TApplication::mouseIdle() {
  TPoint p;
  GetCursorPos(&p);
  TControl* target = FindDragTarget(p, true);
  if (target == mouseControl_) return;
  TControl* old = mouseControl_;
  mouseControl_ = target;
  if (old) old->Perform(CM_MOUSELEAVE);
  if (target && mouseControl_ == target) target->Perform(CM_MOUSEENTER);
}

void TApplication::controlDestroyed(TControl* Control) {
  if (mouseControl_ == Control) mouseControl_ = nullptr;
}

void TApplication::HandleMessage() {
  if (ProcessMessage()) return;
  OnIdle(this);
  if (terminated_) return;
  // Without input to wait for and without timers nothing can change any more: the loop ends
  // instead of waiting for ever.
  if (!WaitMessage()) Terminate();
}

void TApplication::ProcessMessages() {
  if (Presenter* p = GetPresenter()) p->pollInput();
  while (ProcessMessage()) {
  }
}

void TApplication::HandleException(const std::exception& E) {
  if (dynamic_cast<const EAbort*>(&E)) return;
  if (const auto* e = dynamic_cast<const Exception*>(&E)) {
    if (OnException.Assigned())
      OnException(this, *e);
    else
      ShowException(*e);
    return;
  }
  ShowException(Exception(E.what()));
}

void TApplication::ShowException(const Exception& E) {
  std::string message = E.Message();
  if (!message.empty() && message.back() != '.') message += '.';
  exceptionBoxHook()(title_, message);
}

// ---- the process-wide objects

namespace {
std::unique_ptr<TApplication>& applicationSlot() {
  // A program that ends without ResetApplication frees its application (and forms) at exit:
  // what they need while they go, the window system, the control map, the screen and the
  // clock, is made first so that it goes after them.
  [[maybe_unused]] static const bool madeFirst =
      (WindowCount(), TWinControl::FindControl(0), Screen(), currentClock(), true);
  static std::unique_ptr<TApplication> a;
  return a;
}
std::unique_ptr<TScreen>& screenSlot() {
  static std::unique_ptr<TScreen> s;
  return s;
}
} // namespace

void RegisterStandardClasses() {
  RegisterClasses({&TForm::StaticClassInfo(), &TTimer::StaticClassInfo(), &TBasicAction::StaticClassInfo(),
                   &TCustomImageList::StaticClassInfo(), &TImageList::StaticClassInfo()});
  RegisterStdControls();
  RegisterExtControls();
  RegisterComControls();
  RegisterButtons();
  RegisterDialogComponents();
  RegisterMenus();
}

TApplication& Application() {
  auto& a = applicationSlot();
  if (!a) {
    RegisterStandardClasses();
    a = std::make_unique<TApplication>(nullptr);
  }
  return *a;
}

TScreen& Screen() {
  auto& s = screenSlot();
  if (!s) s = std::make_unique<TScreen>(nullptr);
  return *s;
}

void ResetApplication() {
  if (auto& a = applicationSlot()) {
    a->BeforeDestruction();
    a.reset();
  }
  ResetWindowSystem();
  screenSlot().reset();
}

} // namespace kv::platform
