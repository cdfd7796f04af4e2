// The common controls: progress bar, page control with its tab sheets, list view (report
// view with columns, items and sub-items), tool bar with its buttons.
#pragma once

#include "Platform/Ui/ImgList.h"
#include "Platform/Ui/StdCtrls.h"

#include <memory>
#include <string>
#include <vector>

namespace kv::platform {

// ---- progress bar

enum class TProgressBarOrientation { pbHorizontal, pbVertical };
KV_ENUM_NAMES(TProgressBarOrientation, "pbHorizontal", "pbVertical")

class TProgressBar : public TCustomControl {
  KV_CLASS_INFO(TProgressBar)
public:
  explicit TProgressBar(TComponent* AOwner);
  int Min() const { return min_; }
  void SetMin(int Value);
  int Max() const { return max_; }
  void SetMax(int Value);
  // Kept within Min .. Max.
  int Position() const { return position_; }
  void SetPosition(int Value);
  int Step() const { return step_; }
  void SetStep(int Value) { step_ = Value; }
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool Value);
  TProgressBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TProgressBarOrientation Value);
  // Advances by Step; past Max it starts again at Min.
  void StepIt();
  void StepBy(int Delta);

protected:
  void Paint() override;

private:
  int min_ = 0, max_ = 100, position_ = 0, step_ = 10;
  bool smooth_ = false;
  TProgressBarOrientation orientation_ = TProgressBarOrientation::pbHorizontal;
};

// ---- page control

class TPageControl;

class TTabSheet : public TCustomControl {
  KV_CLASS_INFO(TTabSheet)
public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* Value);
  void SetParent(TWinControl* AParent) override;
  int PageIndex() const;
  void SetPageIndex(int Value);
  // The index among the pages whose tab shows, -1 when its tab is hidden.
  int TabIndex() const;
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool Value);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int Value) { imageIndex_ = Value; }
  void Dispatch(TMessage& Message) override;

private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
  int imageIndex_ = -1;
};

using TTabChangingEvent = TEvent<TObject*, bool&>;

class TPageControl : public TCustomControl {
  KV_CLASS_INFO(TPageControl)
public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int Index) const { return pages_.at(static_cast<size_t>(Index)); }
  TTabSheet* ActivePage() const { return activePage_; }
  // Shows the page (no change events: those are for the user's choice).
  void SetActivePage(TTabSheet* Page);
  int ActivePageIndex() const { return activePage_ ? activePage_->PageIndex() : -1; }
  void SetActivePageIndex(int Value);
  // The active page's tab among the shown tabs.
  int TabIndex() const { return activePage_ ? activePage_->TabIndex() : -1; }
  int TabHeight() const { return tabHeight_; }
  void SetTabHeight(int Value);
  int TabWidth() const { return tabWidth_; }
  void SetTabWidth(int Value);
  TTabSheet* FindNextPage(TTabSheet* CurPage, bool GoForward, bool CheckTabVisible) const;
  // The user's way to another page: OnChanging may refuse, OnChange follows.
  void SelectNextPage(bool GoForward);
  bool SelectPageByUser(TTabSheet* Page);

  // The area the pages take, and the tab rectangles (shown tabs, in order).
  TRect DisplayRect() const;
  TRect TabRect(int TabIndex) const;
  int IndexOfTabAt(int X, int Y) const;
  int shownTabHeight() const;

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;
  void Loaded() override;
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;

private:
  friend class TTabSheet;
  void insertPage(TTabSheet* Page);
  void removePage(TTabSheet* Page);
  void showOnly(TTabSheet* Page);
  std::vector<TTabSheet*> shownTabs() const;

  std::vector<TTabSheet*> pages_;
  TTabSheet* activePage_ = nullptr;
  TTabSheet* pendingActive_ = nullptr;
  int tabHeight_ = 0, tabWidth_ = 0;
};

// ---- list view

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
KV_ENUM_NAMES(TViewStyle, "vsIcon", "vsSmallIcon", "vsList", "vsReport")

class TListView;

class TListColumn : public TCollectionItem {
public:
  explicit TListColumn(TCollection* Collection) : TCollectionItem(Collection) {}
  std::string ClassName() const override { return "TListColumn"; }
  static const TClassInfo& StaticClassInfo();
  const TClassInfo* ClassInfo() const override { return &StaticClassInfo(); }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value);
  int Width() const { return width_; }
  void SetWidth(int Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  int Tag() const { return tag_; }
  void SetTag(int Value) { tag_ = Value; }
  std::string DisplayName() const override { return caption_.empty() ? ClassName() : caption_; }
  void Assign(const TPersistent& Source) override;

private:
  std::string caption_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
  int tag_ = 0;
};

class TListColumns : public TCollection {
public:
  explicit TListColumns(TListView* Owner);
  TListColumn* Add() { return static_cast<TListColumn*>(TCollection::Add()); }
  TListColumn* Items(int Index) const { return static_cast<TListColumn*>(TCollection::Items(Index)); }
  TListColumn* operator[](int Index) const { return Items(Index); }

protected:
  void Update(TCollectionItem* Item) override;

private:
  TListView* view_;
};

class TListItems;

class TListItem {
public:
  explicit TListItem(TListItems* Owner);
  ~TListItem();
  TListItem(const TListItem&) = delete;
  TListItem& operator=(const TListItem&) = delete;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value);
  TStrings& SubItems() { return *subItems_; }
  const TStrings& SubItems() const { return *subItems_; }
  bool Selected() const { return selected_; }
  void SetSelected(bool Value);
  bool Focused() const;
  void SetFocused(bool Value);
  void* Data = nullptr;
  int ImageIndex = -1;
  int Index() const;
  TListView* ListView() const;
  TListItems* Owner() const { return owner_; }
  void MakeVisible();
  void Delete();

private:
  friend class TListView;
  TListItems* owner_;
  std::string caption_;
  std::unique_ptr<TStringList> subItems_;
  bool selected_ = false;
};

class TListItems {
public:
  explicit TListItems(TListView* Owner) : owner_(Owner) {}
  ~TListItems();
  TListItem* Add();
  TListItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TListItem* Item(int Index) const { return items_.at(static_cast<size_t>(Index)).get(); }
  TListItem* operator[](int Index) const { return Item(Index); }
  int IndexOf(const TListItem* Item) const;
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  TListView* Owner() const { return owner_; }
  // Replaces the items by copies of Source's (captions, sub-items, image indexes, data).
  void Assign(const TListItems& Source);
  // The items as a form file stores them: the count, then per item its image index, caption
  // and sub-items, each text with its length (little-endian 32-bit numbers).
  std::vector<uint8_t> Data() const;
  // Raises EReadError for bytes that are not such a block, and keeps the items then.
  void SetData(const std::vector<uint8_t>& Bytes);

private:
  friend class TListItem;
  void changed();
  TListView* owner_;
  std::vector<std::unique_ptr<TListItem>> items_;
  int updateCount_ = 0;
};

using TLVSelectItemEvent = TEvent<TObject*, TListItem*, bool>;
using TLVColumnClickEvent = TEvent<TObject*, TListColumn*>;

class TListView : public TCustomControl {
  KV_CLASS_INFO(TListView)
public:
  explicit TListView(TComponent* AOwner);
  ~TListView() override;

  TListColumns& Columns() { return *columns_; }
  const TListColumns& Columns() const { return *columns_; }
  TListColumn* Column(int Index) const { return columns_->Items(Index); }
  TListItems& Items() { return *items_; }
  const TListItems& Items() const { return *items_; }

  TViewStyle ViewStyle() const { return viewStyle_; }
  void SetViewStyle(TViewStyle Value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool Value) { readOnly_ = Value; }
  bool RowSelect() const { return rowSelect_; }
  void SetRowSelect(bool Value);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool Value);
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool Value);
  bool GridLines() const { return gridLines_; }
  void SetGridLines(bool Value);
  bool ShowColumnHeaders() const { return showColumnHeaders_; }
  void SetShowColumnHeaders(bool Value);
  bool ColumnClick() const { return columnClick_; }
  void SetColumnClick(bool Value) { columnClick_ = Value; }

  // The first selected item; setting selects only it (nullptr clears the selection).
  TListItem* Selected() const;
  void SetSelected(TListItem* Item);
  int ItemIndex() const;
  void SetItemIndex(int Value);
  int SelCount() const;
  TListItem* ItemFocused() const { return focused_; }
  void SetItemFocused(TListItem* Item);
  void ClearSelection();
  TListItem* TopItem() const;
  int VisibleRowCount() const;
  TListItem* GetItemAt(int X, int Y) const;
  int RowHeight() const;
  int HeaderHeight() const;
  void Scroll(int DX, int DY);

  // Kept for stored forms: the list draws no images yet.
  TCustomImageList* SmallImages() const { return smallImages_; }
  void SetSmallImages(TCustomImageList* Value) { setImages(smallImages_, Value); }
  TCustomImageList* LargeImages() const { return largeImages_; }
  void SetLargeImages(TCustomImageList* Value) { setImages(largeImages_, Value); }
  TCustomImageList* StateImages() const { return stateImages_; }
  void SetStateImages(TCustomImageList* Value) { setImages(stateImages_, Value); }

  TLVSelectItemEvent OnSelectItem;
  TLVColumnClickEvent OnColumnClick;

  void Dispatch(TMessage& Message) override;

  // Called by the items and columns.
  void itemsChanged();
  void itemGoing(TListItem* Item);
  void selectionChanged(TListItem* Item, bool Selected);
  void makeVisible(int Index);

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  void setImages(TCustomImageList*& Slot, TCustomImageList* Value);
  void updateScrollBar();
  // The top row that shows the last item on the last row.
  int lastTopIndex() const;
  void moveTo(int Index, bool Extend);
  std::unique_ptr<TListColumns> columns_;
  std::unique_ptr<TListItems> items_;
  TViewStyle viewStyle_ = TViewStyle::vsIcon;
  bool readOnly_ = false, rowSelect_ = false, multiSelect_ = false, hideSelection_ = true, gridLines_ = false,
       showColumnHeaders_ = true, columnClick_ = true;
  TListItem* focused_ = nullptr;
  TCustomImageList *smallImages_ = nullptr, *largeImages_ = nullptr, *stateImages_ = nullptr;
  int anchor_ = -1;
  int topIndex_ = 0;
  classic::WindowScrollTracker tracker_;
};

// ---- tool bar

enum class TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };
KV_ENUM_NAMES(TToolButtonStyle, "tbsButton", "tbsCheck", "tbsDropDown", "tbsSeparator", "tbsDivider")

class TToolBar;

class TToolButton : public TGraphicControl {
  KV_CLASS_INFO(TToolButton)
public:
  explicit TToolButton(TComponent* AOwner);
  TToolButtonStyle Style() const { return style_; }
  void SetStyle(TToolButtonStyle Value);
  bool Down() const { return down_; }
  // A grouped check button going down lets the others of its group up.
  void SetDown(bool Value);
  bool Grouped() const { return grouped_; }
  void SetGrouped(bool Value) { grouped_ = Value; }
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool Value) { allowAllUp_ = Value; }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int Value) { imageIndex_ = Value; }
  int Index() const;
  TToolBar* ToolBar() const;
  void Click() override;
  void Dispatch(TMessage& Message) override;

protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

private:
  TToolButtonStyle style_ = TToolButtonStyle::tbsButton;
  bool down_ = false, grouped_ = false, allowAllUp_ = false;
  PressTracker face_;
  int imageIndex_ = -1;
};

class TToolBar : public TCustomControl {
  KV_CLASS_INFO(TToolBar)
public:
  explicit TToolBar(TComponent* AOwner);
  int ButtonCount() const;
  TToolButton* Buttons(int Index) const;
  int ButtonWidth() const { return buttonWidth_; }
  void SetButtonWidth(int Value);
  int ButtonHeight() const { return buttonHeight_; }
  void SetButtonHeight(int Value);
  bool ShowCaptions() const { return showCaptions_; }
  void SetShowCaptions(bool Value);
  bool Flat() const { return flat_; }
  void SetFlat(bool Value);
  int Indent() const { return indent_; }
  void SetIndent(int Value);
  void AlignControls(TControl* AControl, TRect& Rect) override;

protected:
  void Paint() override;

private:
  int buttonWidth_ = 23, buttonHeight_ = 22, indent_ = 0;
  bool showCaptions_ = false, flat_ = false;
};

void RegisterComControls();

} // namespace kv::platform
