// Controls: TControl (bounds, alignment, anchors, constraints, visibility, colour, font,
// caption, mouse), TWinControl (a window of its own, created on first need, with children,
// tab order, focus, keys and paint handling), TGraphicControl (drawn by its parent) and
// TCustomControl (a windowed control with a canvas and Paint).
//
// Messages: every control has WndProc (override to see every message) and Dispatch (override
// with a switch on the messages a class handles, calling the base class's Dispatch for the
// "inherited" handling and for every other message). DefaultHandler passes what nobody handles
// to the window system's default procedure.
#pragma once

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/StoreChange.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/Ui/Graphics.h"
#include "Platform/Ui/WinApi.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kv::platform {

class TWinControl;
class TCustomForm;
class TPopupMenu;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
KV_ENUM_NAMES(TAlign, "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom")
inline constexpr auto alNone = TAlign::alNone;
inline constexpr auto alTop = TAlign::alTop;
inline constexpr auto alBottom = TAlign::alBottom;
inline constexpr auto alLeft = TAlign::alLeft;
inline constexpr auto alRight = TAlign::alRight;
inline constexpr auto alClient = TAlign::alClient;

enum class TAnchorKind { akLeft, akTop, akRight, akBottom };
KV_ENUM_NAMES(TAnchorKind, "akLeft", "akTop", "akRight", "akBottom")
using TAnchors = TSet<TAnchorKind>;
inline constexpr auto akLeft = TAnchorKind::akLeft;
inline constexpr auto akTop = TAnchorKind::akTop;
inline constexpr auto akRight = TAnchorKind::akRight;
inline constexpr auto akBottom = TAnchorKind::akBottom;

enum class TControlStyleItem {
  csAcceptsControls,
  csCaptureMouse,
  csDesignInteractive,
  csClickEvents,
  csFramed,
  csSetCaption,
  csOpaque,
  csDoubleClicks,
  csFixedWidth,
  csFixedHeight,
  csNoDesignVisible,
  csReplicatable,
  csNoStdEvents,
  csDisplayDragImage,
  csReflector,
  csActionClient,
  csMenuEvents
};
using TControlStyle = TSet<TControlStyleItem>;
inline constexpr auto csAcceptsControls = TControlStyleItem::csAcceptsControls;
inline constexpr auto csCaptureMouse = TControlStyleItem::csCaptureMouse;
inline constexpr auto csClickEvents = TControlStyleItem::csClickEvents;
inline constexpr auto csFramed = TControlStyleItem::csFramed;
inline constexpr auto csSetCaption = TControlStyleItem::csSetCaption;
inline constexpr auto csOpaque = TControlStyleItem::csOpaque;
inline constexpr auto csDoubleClicks = TControlStyleItem::csDoubleClicks;
inline constexpr auto csReplicatable = TControlStyleItem::csReplicatable;

enum class TControlStateItem {
  csLButtonDown,
  csClicked,
  csPalette,
  csReadingState,
  csAlignmentNeeded,
  csFocusing,
  csCreating,
  csPaintCopy,
  csCustomPaint,
  csDestroyingHandle,
  csDocking
};
using TControlState = TSet<TControlStateItem>;
inline constexpr auto csLButtonDown = TControlStateItem::csLButtonDown;
inline constexpr auto csClicked = TControlStateItem::csClicked;
inline constexpr auto csCustomPaint = TControlStateItem::csCustomPaint;
inline constexpr auto csCreating = TControlStateItem::csCreating;
inline constexpr auto csFocusing = TControlStateItem::csFocusing;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;
inline constexpr auto ssShift = TShiftStateItem::ssShift;
inline constexpr auto ssAlt = TShiftStateItem::ssAlt;
inline constexpr auto ssCtrl = TShiftStateItem::ssCtrl;
inline constexpr auto ssLeft = TShiftStateItem::ssLeft;
inline constexpr auto ssDouble = TShiftStateItem::ssDouble;

using TCursor = int;
inline constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4,
                         crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10,
                         crHourGlass = -11, crDrag = -12, crNoDrop = -13, crHSplit = -14, crVSplit = -15,
                         crMultiDrag = -16, crSQLWait = -17, crNo = -18, crAppStart = -19, crHelp = -20,
                         crHandPoint = -21;
const TIdentMap& CursorIdents();

enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
KV_ENUM_NAMES(TBorderStyle, "bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin")

using TMouseEvent = TEvent<TObject*, TMouseButton, TShiftState, int, int>;
using TMouseMoveEvent = TEvent<TObject*, TShiftState, int, int>;
using TKeyEvent = TEvent<TObject*, uint16_t&, TShiftState>;
using TKeyPressEvent = TEvent<TObject*, char&>;
// The wheel: the delta (120 a notch, negative towards the user), the point, and Handled.
using TMouseWheelEvent = TEvent<TObject*, TShiftState, int, TPoint, bool&>;
using TMouseWheelUpDownEvent = TEvent<TObject*, TShiftState, TPoint, bool&>;

enum class TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
KV_ENUM_NAMES(TBiDiMode, "bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly")
enum class TDragKind { dkDrag, dkDock };
KV_ENUM_NAMES(TDragKind, "dkDrag", "dkDock")
enum class TDragMode { dmManual, dmAutomatic };
KV_ENUM_NAMES(TDragMode, "dmManual", "dmAutomatic")
enum class TDragState { dsDragEnter, dsDragLeave, dsDragMove };

// Events of context menus and of dragging, each with the sender first. The headless class
// library has no drag objects: sources and targets are the objects involved.
using TContextPopupEvent = TEvent<TObject*, TPoint, bool&>;
using TDragDropEvent = TEvent<TObject*, TObject*, int, int>;
using TDragOverEvent = TEvent<TObject*, TObject*, int, int, TDragState, bool&>;
using TEndDragEvent = TEvent<TObject*, TObject*, int, int>;
using TStartDragEvent = TEvent<TObject*, TObject*&>;
using TStartDockEvent = TEvent<TObject*, TObject*&>;

// Shift state from a key message's flags and the keyboard state.
TShiftState KeyDataToShiftState(int32_t KeyData);
TShiftState MouseKeysToShiftState(WPARAM Keys);

// Minimum and maximum sizes of a control; 0 means no limit.
class TSizeConstraints : public TPersistent {
  KV_CLASS_INFO(TSizeConstraints)
public:
  explicit TSizeConstraints(class TControl* Control = nullptr) : control_(Control) {}
  int MinWidth() const { return minWidth_; }
  int MinHeight() const { return minHeight_; }
  int MaxWidth() const { return maxWidth_; }
  int MaxHeight() const { return maxHeight_; }
  void SetMinWidth(int Value);
  void SetMinHeight(int Value);
  void SetMaxWidth(int Value);
  void SetMaxHeight(int Value);
  void Assign(const TPersistent& Source) override;
  TNotifyEvent OnChange;

private:
  void changed();
  class TControl* control_;
  int minWidth_ = 0, minHeight_ = 0, maxWidth_ = 0, maxHeight_ = 0;
};

class TControl : public TComponent {
  KV_CLASS_INFO(TControl)
public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // ---- parent and bounds
  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* AParent);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int Value) { SetBounds(Value, top_, width_, height_); }
  void SetTop(int Value) { SetBounds(left_, Value, width_, height_); }
  void SetWidth(int Value) { SetBounds(left_, top_, Value, height_); }
  void SetHeight(int Value) { SetBounds(left_, top_, width_, Value); }
  // Places the control (parent's client coordinates), within its constraints.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return TRect{left_, top_, left_ + width_, top_ + height_}; }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }
  virtual TRect ClientRect() const { return TRect{0, 0, width_, height_}; }
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  void SetClientWidth(int Value) { SetClientSize(Value, ClientHeight()); }
  void SetClientHeight(int Value) { SetClientSize(ClientWidth(), Value); }
  virtual void SetClientSize(int AWidth, int AHeight);
  TPoint ClientToScreen(TPoint P) const;
  TPoint ScreenToClient(TPoint P) const;
  // The client origin's offset from the parent's client origin (the control's own frame).
  virtual TPoint ClientOrigin() const { return TPoint{0, 0}; }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign Value);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors Value);
  TSizeConstraints& Constraints() { return constraints_; }
  const TSizeConstraints& Constraints() const { return constraints_; }
  void SetConstraints(const TSizeConstraints& Value) { constraints_.Assign(Value); }

  // ---- appearance
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent up to a shown top-level window visible.
  virtual bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool Value);
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& Value) { font_.Assign(Value); }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool Value);
  const std::string& Caption() const { return text_; }
  void SetCaption(const std::string& Value) { SetText(Value); }
  const std::string& Text() const { return text_; }
  virtual void SetText(const std::string& Value);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& Value) { hint_ = Value; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool Value) { showHint_ = Value; }
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value) { cursor_ = Value; }
  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int Value) { helpContext_ = Value; }
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool Value) { parentShowHint_ = Value; }
  // Shown on a right click on the control or a child without a menu of its own. Follows the
  // menu: freeing it clears the property.
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* Value);
  TBasicAction* Action() const { return action_; }
  // Follows the action: freeing it clears the property. A click runs the action when the
  // control has no OnClick of its own.
  void SetAction(TBasicAction* Value);

  // Settings kept for stored forms: this class library does no dragging or docking and lays
  // text out left to right, so nothing reads them yet.
  TCursor DragCursor() const { return dragCursor_; }
  void SetDragCursor(TCursor Value) { dragCursor_ = Value; }
  TDragKind DragKind() const { return dragKind_; }
  void SetDragKind(TDragKind Value) { dragKind_ = Value; }
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode Value) { dragMode_ = Value; }
  TBiDiMode BiDiMode() const { return biDiMode_; }
  void SetBiDiMode(TBiDiMode Value) { biDiMode_ = Value; }
  bool ParentBiDiMode() const { return parentBiDiMode_; }
  void SetParentBiDiMode(bool Value) { parentBiDiMode_ = Value; }

  TControlStyle ControlStyle() const { return controlStyle_; }
  void SetControlStyle(TControlStyle Value) { controlStyle_ = Value; }
  TControlState ControlState() const { return controlState_; }
  void SetControlState(TControlState Value) { controlState_ = Value; }

  // ---- painting and z-order
  virtual void Invalidate();
  virtual void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // ---- mouse
  bool MouseCapture() const;
  void SetMouseCapture(bool Value);

  // ---- messages
  LRESULT Perform(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0);
  virtual void WndProc(TMessage& Message);
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnResize;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;
  TContextPopupEvent OnContextPopup;
  TDragDropEvent OnDragDrop;
  TDragOverEvent OnDragOver;
  TEndDragEvent OnEndDock;
  TEndDragEvent OnEndDrag;
  TStartDockEvent OnStartDock;
  TStartDragEvent OnStartDrag;

  // ---- streaming
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* Value) override;
  void Loaded() override;

  // Remembers the distances to the parent's right and bottom edges for the anchors.
  void UpdateAnchorRules();
  // The windowed control that draws this one (itself or its parent).
  virtual TWinControl* PaintTarget() const;

protected:
  friend class TWinControl;
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void Resize();
  // The wheel: OnMouseWheel first; unhandled, OnMouseWheelDown or OnMouseWheelUp by the
  // direction. True when handled.
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  virtual bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos);
  virtual bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void Changed() {}
  virtual void VisibleChanging() {}
  void RequestAlign();
  void anchorParentResized(int parentWidth, int parentHeight);
  // The setter of a property that only changes how the control looks: a new value repaints it.
  template <class T, class V> void invalidateOnChange(T& field, V&& value) {
    if (storeChange(field, std::forward<V>(value))) Invalidate();
  }

  void fontChanged();
  virtual void ParentFontChanged();
  virtual void ParentColorChanged();

private:
  void mouseMessage(TMessage& Message);
  void contextPopup(TPoint Pos);

  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = TAlign::alNone;
  TAnchors anchors_{akLeft, akTop};
  TSizeConstraints constraints_{this};
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clWindow;
  // Controls follow their parent's colour unless a class or a program gives them their own.
  bool parentColor_ = true;
  TFont font_;
  bool parentFont_ = true;
  bool updatingFont_ = false;
  std::string text_;
  std::string hint_;
  bool showHint_ = false;
  TCursor cursor_ = crDefault;
  int helpContext_ = 0;
  bool parentShowHint_ = true;
  TPopupMenu* popupMenu_ = nullptr;
  TBasicAction* action_ = nullptr;
  TCursor dragCursor_ = crDrag;
  TDragKind dragKind_ = TDragKind::dkDrag;
  TDragMode dragMode_ = TDragMode::dmManual;
  TBiDiMode biDiMode_ = TBiDiMode::bdLeftToRight;
  bool parentBiDiMode_ = true;
  TControlStyle controlStyle_{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TControlState controlState_;
  // Anchor distances: to the right and bottom of the parent's client area.
  int anchorRight_ = 0, anchorBottom_ = 0;
  bool anchorsKnown_ = false;
};

// The window creation parameters that CreateParams fills.
struct TCreateParams {
  std::string Caption;
  uint32_t Style = 0;
  uint32_t ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = 0;
  std::string WinClassName;
  uint32_t WindowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
};

class TWinControl : public TControl {
  KV_CLASS_INFO(TWinControl)
public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The window, created when first needed (raises EInvalidOperation when a child control has
  // no parent window: "Control 'Name' has no parent window").
  HWND Handle();
  bool HandleAllocated() const { return handle_ != 0; }
  void HandleNeeded() { Handle(); }
  // Destroys and creates the window again (style changes); state kept in the control survives.
  void RecreateWnd();
  void DestroyHandle();

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int Index) const { return controls_.at(static_cast<size_t>(Index)); }
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(const TControl* Control) const;
  // The visible, enabled child control at a client point (windowed ones only when AllowWinControls).
  TControl* ControlAtPos(TPoint Pos, bool AllowDisabled, bool AllowWinControls = false) const;

  int TabOrder() const;
  void SetTabOrder(int Value);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool Value) { tabStop_ = Value; }
  virtual bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();
  // The tab list in tab order, of this control's children (and theirs, when Deep).
  std::vector<TWinControl*> TabList(bool Deep) const;
  TWinControl* FindNextControl(TWinControl* Current, bool GoForward, bool CheckTabStop,
                               bool CheckParent) const;
  void SelectNext(TWinControl* Current, bool GoForward, bool CheckTabStop);

  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool Value);
  // Kept for stored forms: every window here draws into a bitmap of its own already.
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool Value) { doubleBuffered_ = Value; }
  bool ParentCtl3D() const { return parentCtl3D_; }
  void SetParentCtl3D(bool Value) { parentCtl3D_ = Value; }

  TRect ClientRect() const override;
  TPoint ClientOrigin() const override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetClientSize(int AWidth, int AHeight) override;
  void SetVisible(bool Value) override;
  void SetEnabled(bool Value) override;
  void SetText(const std::string& Value) override;
  bool Showing() const override;
  void Invalidate() override;
  void Update() override;
  void Repaint() override;

  // Child alignment: aligned controls take their place inside the adjusted client area.
  void Realign();
  void DisableAlign() { ++alignDisabled_; }
  void EnableAlign();
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  virtual void AdjustClientRect(TRect& Rect) { (void)Rect; }

  // Paints the graphic child controls on a context of this window (client coordinates).
  void PaintControls(DrawingContext* DC, TControl* First);

  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  void WndProc(TMessage& Message) override;
  TWinControl* PaintTarget() const override { return const_cast<TWinControl*>(this); }

  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
  void Loaded() override;

  // The control that owns a window, or nullptr.
  static TWinControl* FindControl(HWND Wnd);

protected:
  virtual void CreateParams(TCreateParams& Params);
  // The frame of an edit or list: the sunken client edge with Ctl3D, else a plain border.
  void AddClientFrame(TCreateParams& Params) const;
  virtual void CreateWnd();
  virtual void CreateWindowHandle(const TCreateParams& Params);
  virtual void DestroyWnd();
  virtual void CreateHandle();
  // Draws the window's own content on a paint context (TCustomControl: Paint on its canvas).
  virtual void PaintWindow(DrawingContext* DC) { (void)DC; }
  // The paint cycle: begin, PaintWindow, child graphic controls, end (always reached).
  void PaintHandler(TWMPaint& Message);

  virtual bool DoKeyDown(TWMKey& Message);
  virtual bool DoKeyPress(TWMKey& Message);
  virtual bool DoKeyUp(TWMKey& Message);
  virtual void KeyDown(uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  virtual void KeyUp(uint16_t& Key, TShiftState Shift);
  virtual void DoEnter();
  virtual void DoExit();
  // Dialog keys (tab, arrows, return, escape) go to the form unless the control wants them.
  virtual void CNKeyDown(TWMKey& Message);
  virtual void WMPaint(TWMPaint& Message);
  virtual void WMEraseBkgnd(TWMEraseBkgnd& Message);
  virtual void WMSize(TWMSize& Message);
  virtual void WMSetFocus(TMessage& Message);
  virtual void WMKillFocus(TMessage& Message);
  void UpdateBounds();
  void updateShowing();
  void ParentFontChanged() override;
  void ParentColorChanged() override;

private:
  friend class TControl;
  void insertTab(TWinControl* C);
  void removeTab(TWinControl* C);
  bool routeMouseToChild(TMessage& Message);
  void reflectZOrder();
  // A form with KeyPreview sees its controls' keys first; true when its Step took the key.
  bool formPreviews(bool (TWinControl::*Step)(TWMKey&), TWMKey& Message);
  // A key down or up: the form's preview, then Handler; true when the key was used up (set to 0).
  bool keyMessage(bool (TWinControl::*Step)(TWMKey&), void (TWinControl::*Handler)(uint16_t&, TShiftState),
                  TWMKey& Message);

  HWND handle_ = 0;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  bool tabStop_ = false;
  bool ctl3D_ = true;
  bool parentCtl3D_ = true;
  bool doubleBuffered_ = false;
  int alignDisabled_ = 0;
  bool aligning_ = false;
  bool updatingBounds_ = false;
  bool destroyingHandle_ = false;
};

// A control without a window of its own; its parent paints it and routes its mouse messages.
class TGraphicControl : public TControl {
  KV_CLASS_INFO(TGraphicControl)
public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas& Canvas() { return *canvas_; }
  void Dispatch(TMessage& Message) override;

protected:
  virtual void Paint() {}

private:
  std::unique_ptr<TCanvas> canvas_;
};

// The face of a graphic button as the mouse works it: pressed from a left press while the
// captured mouse stays over it, up again as the button comes up; hot while the mouse is over it.
struct PressTracker {
  bool pressed = false, hot = false;
  void press(TControl& Button);
  void mouseMoved(TControl& Button, int X, int Y);
  // True when the message is done with (the mouse coming or going); RepaintHot says whether
  // the face shows being hot.
  bool dispatch(TControl& Button, const TMessage& Message, bool RepaintHot);
};

// A canvas tied to a control: outside a paint it draws through a context of the control's window.
class TControlCanvas : public TCanvas {
public:
  explicit TControlCanvas(TControl* Control = nullptr) : control_(Control) {}
  ~TControlCanvas() override;
  void SetControl(TControl* Control);
  TControl* Control() const { return control_; }
  // Releases a context taken from the control's window.
  void FreeHandle();

protected:
  DrawingContext* acquireHandle() override;

private:
  TControl* control_;
  HWND dcWindow_ = 0;
  DrawingContext* dc_ = nullptr;
};

class TCustomControl : public TWinControl {
  KV_CLASS_INFO(TCustomControl)
public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas& Canvas() { return *canvas_; }
  void Dispatch(TMessage& Message) override;

protected:
  virtual void Paint() {}
  void PaintWindow(DrawingContext* DC) override;
  // What edits and lists answer alike: the window's frame painted after the client area, the
  // arrows and characters kept from dialog navigation, a repaint as the focus comes or goes.
  // True when the message was one of these.
  bool DispatchEditFrame(TMessage& Message);
  // A control that draws its own focus cue: it answers the dialog code it is given and repaints as
  // the focus comes or goes. True when the message was one of these.
  bool dispatchFocusCue(TMessage& Message, LRESULT DlgCode);
  // A control that paints every pixel of its client itself and holds no children.
  void makeOpaqueLeaf();
  // A field the user types in or picks from: a tab stop on the window colour, opaque, no children.
  void initField(int AWidth, int AHeight);

private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// Standard published properties for class tables: TClassBuilder<...>(...).With(published::Align)
namespace published {
inline constexpr auto Align = [](auto& b) {
  b.template Enum<TAlign>("Align", &TControl::Align, &TControl::SetAlign, TAlign::alNone);
};
inline constexpr auto Anchors = [](auto& b) {
  b.template Set<TAnchorKind>("Anchors", &TControl::Anchors, &TControl::SetAnchors, TAnchors{akLeft, akTop});
};
inline constexpr auto Caption = [](auto& b) {
  b.Str("Caption", &TControl::Caption, &TControl::SetCaption, std::string());
};
inline constexpr auto Text = [](auto& b) {
  b.Str("Text", &TControl::Text, &TControl::SetText, std::string());
};
inline auto Color(TColor def) {
  return [def](auto& b) {
    b.IdentInt("Color", ColorIdents(), &TControl::Color, &TControl::SetColor, def);
    b.Stored([](const TControl& c) { return !c.ParentColor(); });
  };
}
inline constexpr auto Constraints = [](auto& b) {
  b.Object("Constraints", [](const TControl& c) { return &c.Constraints(); });
};
inline constexpr auto Cursor = [](auto& b) {
  b.IdentInt("Cursor", CursorIdents(), &TControl::Cursor, &TControl::SetCursor, crDefault);
};
inline constexpr auto Enabled = [](auto& b) {
  b.Bool("Enabled", &TControl::Enabled, &TControl::SetEnabled, true);
};
inline constexpr auto Font = [](auto& b) {
  b.Object("Font", [](const TControl& c) { return &c.Font(); });
  b.Stored([](const TControl& c) { return !c.ParentFont(); });
};
inline constexpr auto HelpContext = [](auto& b) {
  b.Int("HelpContext", &TControl::HelpContext, &TControl::SetHelpContext, 0);
};
inline constexpr auto Hint = [](auto& b) {
  b.Str("Hint", &TControl::Hint, &TControl::SetHint, std::string());
};
inline constexpr auto ParentColor = [](auto& b) {
  b.Bool("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, false);
};
// ParentColor on by default (the group box and the radio group).
inline constexpr auto ParentColorOn = [](auto& b) {
  b.Bool("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, true);
};
inline constexpr auto ParentFont = [](auto& b) {
  b.Bool("ParentFont", &TControl::ParentFont, &TControl::SetParentFont, true);
};
inline constexpr auto ShowHint = [](auto& b) {
  b.Bool("ShowHint", &TControl::ShowHint, &TControl::SetShowHint, false);
};
inline constexpr auto Visible = [](auto& b) {
  b.Bool("Visible", &TControl::Visible, &TControl::SetVisible, true);
};
inline constexpr auto TabOrder = [](auto& b) {
  b.Int("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder, -1);
};
inline constexpr auto TabStop = [](auto& b) {
  b.Bool("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop, false);
};
// TabStop on by default (edits, lists, buttons: the controls Tab is meant to reach).
inline constexpr auto TabStopOn = [](auto& b) {
  b.Bool("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop, true);
};
inline constexpr auto Ctl3D = [](auto& b) {
  b.Bool("Ctl3D", &TWinControl::Ctl3D, &TWinControl::SetCtl3D, true);
};
inline constexpr auto ParentCtl3D = [](auto& b) {
  b.Bool("ParentCtl3D", &TWinControl::ParentCtl3D, &TWinControl::SetParentCtl3D, true);
};
inline constexpr auto ParentShowHint = [](auto& b) {
  b.Bool("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint, true);
};
inline constexpr auto Action = [](auto& b) {
  b.template Ref<TBasicAction>("Action", &TControl::Action, &TControl::SetAction);
};
inline constexpr auto BiDiMode = [](auto& b) {
  b.template Enum<TBiDiMode>("BiDiMode", &TControl::BiDiMode, &TControl::SetBiDiMode, NoDefault);
};
inline constexpr auto DragCursor = [](auto& b) {
  b.IdentInt("DragCursor", CursorIdents(), &TControl::DragCursor, &TControl::SetDragCursor, crDrag);
};
inline constexpr auto DragKind = [](auto& b) {
  b.template Enum<TDragKind>("DragKind", &TControl::DragKind, &TControl::SetDragKind, TDragKind::dkDrag);
};
inline constexpr auto DragMode = [](auto& b) {
  b.template Enum<TDragMode>("DragMode", &TControl::DragMode, &TControl::SetDragMode, TDragMode::dmManual);
};
inline constexpr auto DoubleBuffered = [](auto& b) {
  b.Bool("DoubleBuffered", &TWinControl::DoubleBuffered, &TWinControl::SetDoubleBuffered, NoDefault);
};
inline constexpr auto OnClick = [](auto& b) { b.Event("OnClick", &TControl::OnClick); };
inline constexpr auto OnDblClick = [](auto& b) { b.Event("OnDblClick", &TControl::OnDblClick); };
inline constexpr auto OnMouseDown = [](auto& b) { b.Event("OnMouseDown", &TControl::OnMouseDown); };
inline constexpr auto OnMouseMove = [](auto& b) { b.Event("OnMouseMove", &TControl::OnMouseMove); };
inline constexpr auto OnMouseUp = [](auto& b) { b.Event("OnMouseUp", &TControl::OnMouseUp); };
inline constexpr auto OnResize = [](auto& b) { b.Event("OnResize", &TControl::OnResize); };
inline constexpr auto OnContextPopup = [](auto& b) { b.Event("OnContextPopup", &TControl::OnContextPopup); };
inline constexpr auto OnDragDrop = [](auto& b) { b.Event("OnDragDrop", &TControl::OnDragDrop); };
inline constexpr auto OnDragOver = [](auto& b) { b.Event("OnDragOver", &TControl::OnDragOver); };
inline constexpr auto OnEndDock = [](auto& b) { b.Event("OnEndDock", &TControl::OnEndDock); };
inline constexpr auto OnEndDrag = [](auto& b) { b.Event("OnEndDrag", &TControl::OnEndDrag); };
inline constexpr auto OnStartDock = [](auto& b) { b.Event("OnStartDock", &TControl::OnStartDock); };
inline constexpr auto OnStartDrag = [](auto& b) { b.Event("OnStartDrag", &TControl::OnStartDrag); };
// The three wheel events, in the order class tables list them.
inline constexpr auto WheelEvents = [](auto& b) {
  b.Event("OnMouseWheel", &TControl::OnMouseWheel);
  b.Event("OnMouseWheelDown", &TControl::OnMouseWheelDown);
  b.Event("OnMouseWheelUp", &TControl::OnMouseWheelUp);
};
inline constexpr auto OnEnter = [](auto& b) { b.Event("OnEnter", &TWinControl::OnEnter); };
inline constexpr auto OnExit = [](auto& b) { b.Event("OnExit", &TWinControl::OnExit); };
inline constexpr auto OnKeyDown = [](auto& b) { b.Event("OnKeyDown", &TWinControl::OnKeyDown); };
inline constexpr auto OnKeyPress = [](auto& b) { b.Event("OnKeyPress", &TWinControl::OnKeyPress); };
inline constexpr auto OnKeyUp = [](auto& b) { b.Event("OnKeyUp", &TWinControl::OnKeyUp); };
// The keyboard events of a focusable control, and the mouse button and move events, in the
// order class tables list them.
inline constexpr auto KeyEvents = [](auto& b) {
  OnEnter(b);
  OnExit(b);
  OnKeyDown(b);
  OnKeyPress(b);
  OnKeyUp(b);
};
inline constexpr auto MouseEvents = [](auto& b) {
  OnMouseDown(b);
  OnMouseMove(b);
  OnMouseUp(b);
};
} // namespace published

// The control that holds the mouse capture (a graphic control's window holds the real one).
TControl* GetCaptureControl();
void SetCaptureControl(TControl* Control);
// The form (top-level container) of a control.
TCustomForm* GetParentForm(const TControl* Control);
// The deepest control under a screen point, disabled ones included.
TControl* FindDragTarget(TPoint ScreenPos, bool AllowDisabled);
// Where a window dropped from a field (screen rectangle) goes: below it, or above it where the
// screen ends below and there is room above; never off the screen's left or right edge.
TPoint dropDownOrigin(const TRect& Field, int Width, int Height);

} // namespace kv::platform
