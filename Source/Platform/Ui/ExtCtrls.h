// The timer component and the panels.
#pragma once

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/Ui/StdCtrls.h"
#include "Platform/Ui/WinApi.h"

namespace kv::platform {

// Fires OnTimer every Interval milliseconds while Enabled (and OnTimer is assigned), through
// a hidden window of its own.
class TTimer : public TComponent {
  KV_CLASS_INFO(TTimer)
public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned Value);
  TNotifyEvent OnTimer;
  void Loaded() override;

protected:
  virtual void Timer();

private:
  void updateTimer();
  HWND window_ = 0;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};

enum class TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };
KV_ENUM_NAMES(TPanelBevel, "bvNone", "bvLowered", "bvRaised", "bvSpace")
inline constexpr auto bvNone = TPanelBevel::bvNone;
inline constexpr auto bvLowered = TPanelBevel::bvLowered;
inline constexpr auto bvRaised = TPanelBevel::bvRaised;
inline constexpr auto bvSpace = TPanelBevel::bvSpace;

class TPopupMenu;

enum class TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
KV_ENUM_NAMES(TBiDiMode, "bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly")
enum class TDragKind { dkDrag, dkDock };
KV_ENUM_NAMES(TDragKind, "dkDrag", "dkDock")
enum class TDragMode { dmManual, dmAutomatic };
KV_ENUM_NAMES(TDragMode, "dmManual", "dmAutomatic")
enum class TDragState { dsDragEnter, dsDragLeave, dsDragMove };

// Events of resizing, context menus, dragging and docking, each with the sender first. The
// headless class library has no drag objects: sources and targets are the objects involved.
using TCanResizeEvent = TEvent<TObject*, int&, int&, bool&>;
using TConstrainedResizeEvent = TEvent<TObject*, int&, int&, int&, int&>;
using TContextPopupEvent = TEvent<TObject*, TPoint, bool&>;
using TDragDropEvent = TEvent<TObject*, TObject*, int, int>;
using TDragOverEvent = TEvent<TObject*, TObject*, int, int, TDragState, bool&>;
using TEndDragEvent = TEvent<TObject*, TObject*, int, int>;
using TStartDragEvent = TEvent<TObject*, TObject*&>;
using TDockDropEvent = TEvent<TObject*, TObject*, int, int>;
using TDockOverEvent = TEvent<TObject*, TObject*, int, int, TDragState, bool&>;
using TGetSiteInfoEvent = TEvent<TObject*, TControl*, TRect&, TPoint, bool&>;
using TStartDockEvent = TEvent<TObject*, TObject*&>;
using TUnDockEvent = TEvent<TObject*, TControl*, TWinControl*, bool&>;

// The panel: a container with an outer and an inner bevel, a border between them and a
// centred caption. Publishes nothing; TPanel and other panels choose what they publish.
//
// The drag-and-dock, right-to-left and size-negotiation settings are kept here for the
// panels' stored forms; this class library does no dragging or docking, lays text out left
// to right and sizes controls by their constraints alone, so nothing reads them yet.
class TCustomPanel : public TCustomControl {
  KV_CLASS_INFO(TCustomPanel)
public:
  explicit TCustomPanel(TComponent* AOwner);
  ~TCustomPanel() override;
  TPanelBevel BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TPanelBevel Value);
  TPanelBevel BevelInner() const { return bevelInner_; }
  void SetBevelInner(TPanelBevel Value);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int Value);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int Value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  bool FullRepaint() const { return fullRepaint_; }
  void SetFullRepaint(bool Value) { fullRepaint_ = Value; }
  bool Locked() const { return locked_; }
  void SetLocked(bool Value) { locked_ = Value; }

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value) { autoSize_ = Value; }
  TBiDiMode BiDiMode() const { return biDiMode_; }
  void SetBiDiMode(TBiDiMode Value) { biDiMode_ = Value; }
  bool ParentBiDiMode() const { return parentBiDiMode_; }
  void SetParentBiDiMode(bool Value) { parentBiDiMode_ = Value; }
  bool UseDockManager() const { return useDockManager_; }
  void SetUseDockManager(bool Value) { useDockManager_ = Value; }
  bool DockSite() const { return dockSite_; }
  void SetDockSite(bool Value) { dockSite_ = Value; }
  TCursor DragCursor() const { return dragCursor_; }
  void SetDragCursor(TCursor Value) { dragCursor_ = Value; }
  TDragKind DragKind() const { return dragKind_; }
  void SetDragKind(TDragKind Value) { dragKind_ = Value; }
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode Value) { dragMode_ = Value; }
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool Value) { parentShowHint_ = Value; }
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  // Follows the menu: freeing it clears the property.
  void SetPopupMenu(TPopupMenu* Value);

  TCanResizeEvent OnCanResize;
  TConstrainedResizeEvent OnConstrainedResize;
  TContextPopupEvent OnContextPopup;
  TDockDropEvent OnDockDrop;
  TDockOverEvent OnDockOver;
  TDragDropEvent OnDragDrop;
  TDragOverEvent OnDragOver;
  TEndDragEvent OnEndDock;
  TEndDragEvent OnEndDrag;
  TGetSiteInfoEvent OnGetSiteInfo;
  TStartDockEvent OnStartDock;
  TStartDragEvent OnStartDrag;
  TUnDockEvent OnUnDock;

  // Inside the bevels and the border.
  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;

protected:
  void Paint() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  void changed();
  TPanelBevel bevelOuter_ = bvRaised, bevelInner_ = bvNone;
  int bevelWidth_ = 1, borderWidth_ = 0;
  TBorderStyle borderStyle_ = TBorderStyle::bsNone;
  TAlignment alignment_ = taCenter;
  bool fullRepaint_ = true;
  bool locked_ = false;
  bool autoSize_ = false;
  TBiDiMode biDiMode_ = TBiDiMode::bdLeftToRight;
  bool parentBiDiMode_ = true;
  bool useDockManager_ = true;
  bool dockSite_ = false;
  TCursor dragCursor_ = crDrag;
  TDragKind dragKind_ = TDragKind::dkDrag;
  TDragMode dragMode_ = TDragMode::dmManual;
  bool parentShowHint_ = true;
  TPopupMenu* popupMenu_ = nullptr;
};

class TPanel : public TCustomPanel {
  KV_CLASS_INFO(TPanel)
public:
  using TCustomPanel::TCustomPanel;
};

// A group box of radio buttons made from its items, in columns; ItemIndex is the chosen one.
class TRadioGroup : public TGroupBox {
  KV_CLASS_INFO(TRadioGroup)
public:
  explicit TRadioGroup(TComponent* AOwner);
  ~TRadioGroup() override;
  TStrings& Items() { return *items_; }
  void SetItems(const TStrings& Value) { items_->Assign(Value); }
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int Value);
  int Columns() const { return columns_; }
  void SetColumns(int Value);
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  TRadioButton* Buttons(int Index) const { return buttons_.at(static_cast<size_t>(Index)); }
  void Loaded() override;
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
  void Dispatch(TMessage& Message) override;

private:
  void updateButtons();
  void arrangeButtons();
  std::unique_ptr<TStringList> items_;
  std::vector<TRadioButton*> buttons_;
  int itemIndex_ = -1;
  int columns_ = 1;
  bool reading_ = false;
};

void RegisterExtControls();

} // namespace kv::platform
