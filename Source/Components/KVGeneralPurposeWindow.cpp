#include "KVGeneralPurposeWindow.h"

#include "Platform/Graphics/Colors.h"
#include "Platform/Rtl/StoreChange.h"
#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/Menus.h"

namespace KVGeneralPurposeWindow {

using namespace kv::platform;

namespace {
// The class library runs with the look of new-style controls (client edges instead of borders).
constexpr bool NewStyleControls = true;
} // namespace

TKVGeneralPurposeWindow::TKVGeneralPurposeWindow(TComponent* AOwner) : TScrollingWinControl(AOwner) {
  useLockWinUpdate_ = false;
  SetBounds(Left(), Top(), 200, 200);
  borderStyle_ = TBorderStyle::bsSingle;
  eraseBackground_ = true;
  canvas_ = std::make_unique<TControlCanvas>(this);
}

TKVGeneralPurposeWindow::~TKVGeneralPurposeWindow() { canvas_.reset(); }

void TKVGeneralPurposeWindow::CreateParams(TCreateParams& Params) {
  TScrollingWinControl::CreateParams(Params);
  if (borderStyle_ == TBorderStyle::bsSingle) Params.Style |= WS_BORDER;
  if (NewStyleControls && Ctl3D() && borderStyle_ == TBorderStyle::bsSingle) {
    Params.Style &= ~WS_BORDER;
    Params.ExStyle |= WS_EX_CLIENTEDGE;
  }
}

void TKVGeneralPurposeWindow::SetBorderStyle(TBorderStyle Value) {
  if (storeChange(borderStyle_, Value)) RecreateWnd();
}

void TKVGeneralPurposeWindow::Resizing() {
  TScrollingWinControl::Resizing();
  CalcScroller();
  Invalidate();
}

// The border and the scroll bars lie outside the client area: drawn after each paint in the
// classic look of the list controls, and driven by the mouse through the same tracker.
void TKVGeneralPurposeWindow::Dispatch(TMessage& Message) {
  if (HandleAllocated() && tracker_.mouseMessage(Handle(), ClientRect(), Message)) return;
  if (Message.Msg == WM_PAINT && Message.WParam == 0) {
    WMPaintMessage(Message);
    if (HandleAllocated()) classic::PaintNonClient(Handle());
    return;
  }
  TScrollingWinControl::Dispatch(Message);
}

// The class library's paint handler hands PaintWindow only the context, so the update rectangle
// is taken here first and the paint cycle then runs again over the same rectangle.
void TKVGeneralPurposeWindow::WMPaintMessage(TMessage& Message) {
  const HWND h = Handle();
  TPaintStruct ps;
  BeginPaint(h, ps);
  paintRect_ = ps.rcPaint;
  InvalidateRect(h, &paintRect_, false);
  EndPaint(h, ps);

  SetControlState(ControlState() + TControlState{csCustomPaint});
  struct Exclude {
    TKVGeneralPurposeWindow* w;
    ~Exclude() { w->SetControlState(w->ControlState() - TControlState{csCustomPaint}); }
  } exclude{this};
  TScrollingWinControl::Dispatch(Message);
}

void TKVGeneralPurposeWindow::PaintWindow(DrawingContext* DC) {
  TScrollingWinControl::PaintWindow(DC);
  if (!DC) return;
  if (IsDesigning() && borderStyle_ == TBorderStyle::bsNone) {
    DC->setBrush(BrushInfo{clWhite, TBrushStyle::bsClear});
    DC->setPen(PenInfo{clWindowText, 1, TPenStyle::psDash});
    DC->rectangle(TRect{0, 0, ClientWidth(), ClientHeight()});
    DC->setPen(PenInfo{});
  }
  if (OnPaint) {
    canvas_->Lock();
    canvas_->FreeHandle();
    canvas_->SetHandle(DC);
    struct Unbind {
      TCanvas& c;
      ~Unbind() {
        c.SetHandle(nullptr);
        c.Unlock();
      }
    } unbind{*canvas_};
    canvas_->Brush().SetColor(Color());
    canvas_->Font().Assign(Font());
    OnPaint(this, DC, paintRect_);
  }
}

void TKVGeneralPurposeWindow::WMEraseBkgnd(TWMEraseBkgnd& Message) {
  if (eraseBackground_ || IsDesigning()) {
    TScrollingWinControl::WMEraseBkgnd(Message);
    return;
  }
  Message.Result = 0;
}

void TKVGeneralPurposeWindow::WMHScroll(TWMScroll& Message) { scroll(Message, true); }
void TKVGeneralPurposeWindow::WMVScroll(TWMScroll& Message) { scroll(Message, false); }

void TKVGeneralPurposeWindow::scroll(TWMScroll& Message, bool horizontal) {
  {
    // The lock is released only by the window that took it: when another window already holds
    // the desktop's one lock, that window keeps it.
    const bool locked = useLockWinUpdate_ && LockWindowUpdate(Handle());
    struct Unlock {
      bool locked;
      ~Unlock() {
        if (locked) LockWindowUpdate(0);
      }
    } unlock{locked};
    if (horizontal)
      TScrollingWinControl::WMHScroll(Message);
    else
      TScrollingWinControl::WMVScroll(Message);
  }
  if (horizontal)
    OnWMHScroll(this, Message);
  else
    OnWMVScroll(this, Message);
}

const TClassInfo& TKVGeneralPurposeWindow::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TKVGeneralPurposeWindow, TScrollingWinControl>("TKVGeneralPurposeWindow")
          .Enum<TBorderStyle>("BorderStyle", &TKVGeneralPurposeWindow::BorderStyle,
                              &TKVGeneralPurposeWindow::SetBorderStyle, TBorderStyle::bsSingle)
          .Bool("EraseBackground", &TKVGeneralPurposeWindow::EraseBackground,
                &TKVGeneralPurposeWindow::SetEraseBackground, NoDefault)
          .Event("OnPaint", &TKVGeneralPurposeWindow::OnPaint)
          .Event("OnWMVScroll", &TKVGeneralPurposeWindow::OnWMVScroll)
          .Event("OnWMHScroll", &TKVGeneralPurposeWindow::OnWMHScroll)
          .Bool("UseLockWinUpdate", &TKVGeneralPurposeWindow::UseLockWinUpdate,
                &TKVGeneralPurposeWindow::SetUseLockWinUpdate, NoDefault)
          .With(published::Action)
          .With(published::Anchors)
          .With(published::Align)
          // Stored whenever it is not the window colour, whether or not it follows the parent.
          .IdentInt("Color", ColorIdents(), &TControl::Color, &TControl::SetColor, clWindow)
          .With(published::Constraints)
          .With(published::DragCursor)
          .With(published::DragKind)
          .With(published::DragMode)
          .With(published::DoubleBuffered)
          .With(published::Enabled)
          .With(published::Font)
          .With(published::ParentFont)
          .With(published::ParentShowHint)
          .With(published::PopupMenu)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::TabStop)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnContextPopup)
          .With(published::OnDragDrop)
          .With(published::OnDragOver)
          .With(published::OnEndDock)
          .With(published::OnEndDrag)
          .With(published::KeyEvents)
          .With(published::MouseEvents)
          .With(published::OnStartDock)
          .With(published::OnStartDrag)
          .With(published::OnResize)
          .Build();
  return info;
}

void Register() { RegisterComponents("Korvalis", {&TKVGeneralPurposeWindow::StaticClassInfo()}); }

namespace {
const bool classesRegistered =
    (RegisterMenus(), RegisterClasses({&TKVGeneralPurposeWindow::StaticClassInfo()}), true);
} // namespace

} // namespace KVGeneralPurposeWindow
