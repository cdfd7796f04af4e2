#include "Platform/Ui/ComCtrls.h"

#include "Platform/Rtl/StoreChange.h"

#include <algorithm>

namespace kv::platform {

using namespace classic;

// ---- TProgressBar

const TClassInfo& TProgressBar::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TProgressBar, TCustomControl>("TProgressBar")
          .With(published::Align)
          .With(published::Anchors)
          .With(published::Enabled)
          .With(published::Hint)
          .Int("Max", &TProgressBar::Max, &TProgressBar::SetMax, 100)
          .Int("Min", &TProgressBar::Min, &TProgressBar::SetMin, 0)
          .Enum<TProgressBarOrientation>("Orientation", &TProgressBar::Orientation,
                                         &TProgressBar::SetOrientation, TProgressBarOrientation::pbHorizontal)
          .Int("Position", &TProgressBar::Position, &TProgressBar::SetPosition, 0)
          .With(published::ShowHint)
          .Bool("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth, false)
          .Int("Step", &TProgressBar::Step, &TProgressBar::SetStep, 10)
          .With(published::TabOrder)
          .With(published::TabStop)
          .With(published::Visible)
          .Build();
  return info;
}

TProgressBar::TProgressBar(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 150, 16);
  SetColor(clBtnFace);
  makeOpaqueLeaf();
}

void TProgressBar::SetMin(int Value) {
  min_ = Value;
  if (max_ < min_ && !IsLoading()) max_ = min_;
  SetPosition(position_);
  Invalidate();
}

void TProgressBar::SetMax(int Value) {
  max_ = Value;
  if (min_ > max_ && !IsLoading()) min_ = max_;
  SetPosition(position_);
  Invalidate();
}

void TProgressBar::SetPosition(int Value) {
  const int p = IsLoading() ? Value : std::clamp(Value, std::min(min_, max_), std::max(min_, max_));
  if (p == position_) return;
  position_ = p;
  Invalidate();
}

void TProgressBar::SetSmooth(bool Value) { invalidateOnChange(smooth_, Value); }

void TProgressBar::SetOrientation(TProgressBarOrientation Value) {
  if (!storeChange(orientation_, Value)) return;
  if (!IsLoading()) SetBounds(Left(), Top(), Height(), Width());
  Invalidate();
}

void TProgressBar::StepBy(int Delta) {
  int p = position_ + Delta;
  if (p > max_) p = min_ + (p - max_) % std::max(1, max_ - min_);
  SetPosition(p);
}

void TProgressBar::StepIt() {
  int p = position_ + step_;
  if (p > max_) p = min_; // a full bar starts again
  SetPosition(p);
}

void TProgressBar::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  Bevel(c, r, clBtnShadow, clBtnHighlight);
  c.Brush().SetColor(clBtnFace);
  c.FillRect(r);
  const TRect inner{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  if (IsRectEmpty(inner) || max_ <= min_) return;
  const bool horz = orientation_ == TProgressBarOrientation::pbHorizontal;
  const int length = horz ? inner.Width() : inner.Height();
  const int filled = static_cast<int>(static_cast<int64_t>(length) * (position_ - min_) / (max_ - min_));
  c.Brush().SetColor(clHighlight);
  if (smooth_) {
    c.FillRect(horz ? TRect{inner.Left, inner.Top, inner.Left + filled, inner.Bottom}
                    : TRect{inner.Left, inner.Bottom - filled, inner.Right, inner.Bottom});
    return;
  }
  // Blocks two thirds as long as the bar is thick, two pixels apart.
  const int block = std::max(1, (horz ? inner.Height() : inner.Width()) * 2 / 3);
  for (int at = 0; at < filled; at += block + 2) {
    const int end = std::min(at + block, length);
    c.FillRect(horz ? TRect{inner.Left + at, inner.Top, inner.Left + end, inner.Bottom}
                    : TRect{inner.Left, inner.Bottom - end, inner.Right, inner.Bottom - at});
  }
}

// ---- TTabSheet

const TClassInfo& TTabSheet::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TTabSheet, TCustomControl>("TTabSheet")
          .With(published::Caption)
          .With(published::Enabled)
          .With(published::Font)
          .With(published::Hint)
          .Int("ImageIndex", &TTabSheet::ImageIndex, &TTabSheet::SetImageIndex, -1)
          .Int("PageIndex", &TTabSheet::PageIndex, &TTabSheet::SetPageIndex, 0)
          .NotStored()
          .With(published::ParentFont)
          .With(published::ShowHint)
          .Bool("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible, true)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::OnResize)
          .Build();
  return info;
}

TTabSheet::TTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(TControlStyle{csAcceptsControls, csClickEvents, csSetCaption, csDoubleClicks});
  SetAlign(alClient);
  TControl::SetVisible(false);
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->removePage(this);
}

void TTabSheet::SetParent(TWinControl* AParent) {
  if (pageControl_ && pageControl_ != AParent) pageControl_->removePage(this);
  TCustomControl::SetParent(AParent);
  if (auto* pc = dynamic_cast<TPageControl*>(AParent); pc && pageControl_ != pc) pc->insertPage(this);
}

void TTabSheet::SetPageControl(TPageControl* Value) { SetParent(Value); }

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  const auto& p = pageControl_->pages_;
  return static_cast<int>(std::find(p.begin(), p.end(), this) - p.begin());
}

void TTabSheet::SetPageIndex(int Value) {
  if (!pageControl_) return;
  auto& p = pageControl_->pages_;
  p.erase(std::find(p.begin(), p.end(), this));
  Value = std::clamp(Value, 0, static_cast<int>(p.size()));
  p.insert(p.begin() + Value, this);
  pageControl_->Invalidate();
}

int TTabSheet::TabIndex() const {
  if (!pageControl_ || !tabVisible_) return -1;
  const auto tabs = pageControl_->shownTabs();
  return static_cast<int>(std::find(tabs.begin(), tabs.end(), this) - tabs.begin());
}

void TTabSheet::SetTabVisible(bool Value) {
  if (!storeChange(tabVisible_, Value)) return;
  if (pageControl_) {
    if (!Value && pageControl_->activePage_ == this)
      pageControl_->SetActivePage(pageControl_->FindNextPage(this, true, true) != this
                                      ? pageControl_->FindNextPage(this, true, true)
                                      : nullptr);
    pageControl_->Invalidate();
  }
}

void TTabSheet::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_TEXTCHANGED && pageControl_) pageControl_->Invalidate();
  TCustomControl::Dispatch(Message);
}

// ---- TPageControl

const TClassInfo& TPageControl::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TPageControl, TCustomControl>("TPageControl")
          .Ref<TTabSheet>("ActivePage", &TPageControl::ActivePage, &TPageControl::SetActivePage)
          .With(published::Align)
          .With(published::Anchors)
          .With(published::Enabled)
          .With(published::Font)
          .With(published::Hint)
          .With(published::ParentFont)
          .With(published::ShowHint)
          .Int("TabHeight", &TPageControl::TabHeight, &TPageControl::SetTabHeight, 0)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .Int("TabWidth", &TPageControl::TabWidth, &TPageControl::SetTabWidth, 0)
          .With(published::Visible)
          .Event("OnChange", &TPageControl::OnChange)
          .Event("OnChanging", &TPageControl::OnChanging)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::OnMouseDown)
          .With(published::OnResize)
          .Build();
  return info;
}

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 289, 193);
  SetTabStop(true);
  SetColor(clBtnFace);
  SetControlStyle(TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csDoubleClicks, csOpaque});
}

TPageControl::~TPageControl() {
  for (TTabSheet* p : pages_)
    p->pageControl_ = nullptr;
  pages_.clear();
  activePage_ = nullptr;
}

void TPageControl::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  // Pages in page order, then any other children.
  for (TTabSheet* p : pages_)
    if (p->Owner() == Root) Proc(p);
  TCustomControl::GetChildren(
      [&](TComponent* c) {
        if (!dynamic_cast<TTabSheet*>(c)) Proc(c);
      },
      Root);
}

void TPageControl::insertPage(TTabSheet* Page) {
  pages_.push_back(Page);
  Page->pageControl_ = this;
  if (!activePage_ && !IsLoading())
    SetActivePage(Page);
  else
    Page->TControl::SetVisible(Page == activePage_);
  Invalidate();
}

void TPageControl::removePage(TTabSheet* Page) {
  auto it = std::find(pages_.begin(), pages_.end(), Page);
  if (it == pages_.end()) return;
  TTabSheet* next = activePage_ == Page ? FindNextPage(Page, true, true) : activePage_;
  pages_.erase(it);
  Page->pageControl_ = nullptr;
  if (pendingActive_ == Page) pendingActive_ = nullptr;
  if (activePage_ == Page) {
    activePage_ = nullptr;
    if (!IsDestroying()) SetActivePage(next == Page ? nullptr : next);
  }
  Invalidate();
}

std::vector<TTabSheet*> TPageControl::shownTabs() const {
  std::vector<TTabSheet*> out;
  for (TTabSheet* p : pages_)
    if (p->tabVisible_) out.push_back(p);
  return out;
}

void TPageControl::showOnly(TTabSheet* Page) {
  for (TTabSheet* p : pages_)
    if (p != Page) p->SetVisible(false);
  if (Page) {
    Page->SetVisible(true);
    Page->BringToFront();
  }
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page && Page->pageControl_ != this)
    throw EInvalidOperation("Tab sheet " + Page->Name() + " is not in page control " + Name());
  if (IsLoading()) {
    pendingActive_ = Page;
    return;
  }
  if (Page == activePage_) {
    showOnly(Page);
    return;
  }
  TCustomForm* form = GetParentForm(this);
  const bool focusInOld =
      form && activePage_ && form->ActiveControl() && activePage_->ContainsControl(form->ActiveControl());
  activePage_ = Page;
  showOnly(Page);
  if (focusInOld && form) {
    // The focus must not stay on a hidden page: the new page's first control, or the tabs.
    TWinControl* next = Page ? Page->FindNextControl(nullptr, true, true, false) : nullptr;
    if (next && next->CanFocus())
      next->SetFocus();
    else if (CanFocus())
      SetFocus();
  }
  Invalidate();
}

void TPageControl::SetActivePageIndex(int Value) {
  SetActivePage(Value >= 0 && Value < PageCount() ? pages_[static_cast<size_t>(Value)] : nullptr);
}

void TPageControl::Loaded() {
  TCustomControl::Loaded();
  TTabSheet* page = pendingActive_;
  pendingActive_ = nullptr;
  if (!page) {
    const auto tabs = shownTabs();
    if (!tabs.empty()) page = tabs.front();
  }
  activePage_ = nullptr;
  SetActivePage(page);
  Realign();
}

void TPageControl::SetTabHeight(int Value) {
  tabHeight_ = std::max(0, Value);
  Realign();
  Invalidate();
}

void TPageControl::SetTabWidth(int Value) {
  tabWidth_ = std::max(0, Value);
  Invalidate();
}

int TPageControl::shownTabHeight() const { return tabHeight_ > 0 ? tabHeight_ : LineHeight(Font()) + 7; }

TRect TPageControl::DisplayRect() const {
  const TRect c = TControl::ClientRect();
  const TRect cr = HandleAllocated() ? TCustomControl::ClientRect() : c;
  return TRect{4, shownTabHeight() + 4, std::max(4, cr.Right - 4),
               std::max(shownTabHeight() + 4, cr.Bottom - 4)};
}

void TPageControl::AdjustClientRect(TRect& Rect) { Rect = DisplayRect(); }

TRect TPageControl::TabRect(int TabIndex) const {
  const auto tabs = shownTabs();
  if (TabIndex < 0 || TabIndex >= static_cast<int>(tabs.size())) return TRect{};
  const int th = shownTabHeight();
  int x = 2;
  for (int i = 0; i <= TabIndex; ++i) {
    const int w = tabWidth_ > 0
                      ? tabWidth_
                      : MeasureText(Font(), StripAccel(tabs[static_cast<size_t>(i)]->Caption())).cx + 12;
    if (i == TabIndex) return TRect{x, 2, x + w, th};
    x += w;
  }
  return TRect{};
}

int TPageControl::IndexOfTabAt(int X, int Y) const {
  const int n = static_cast<int>(shownTabs().size());
  const int active = TabIndex();
  // The chosen tab stands out by two pixels on each side and at the top.
  if (active >= 0) {
    const TRect a = TabRect(active);
    if (PtInRect(TRect{a.Left - 2, 0, a.Right + 2, a.Bottom + 1}, TPoint{X, Y})) return active;
  }
  for (int i = 0; i < n; ++i)
    if (PtInRect(TabRect(i), TPoint{X, Y})) return i;
  return -1;
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* CurPage, bool GoForward, bool CheckTabVisible) const {
  if (pages_.empty()) return nullptr;
  const int n = PageCount();
  int start = CurPage ? CurPage->PageIndex() : -1;
  if (start < 0) start = GoForward ? n - 1 : 0;
  int i = start;
  for (int step = 0; step < n; ++step) {
    i = GoForward ? (i + 1) % n : (i + n - 1) % n;
    TTabSheet* p = pages_[static_cast<size_t>(i)];
    if (!CheckTabVisible || p->tabVisible_) return p;
  }
  return nullptr;
}

bool TPageControl::SelectPageByUser(TTabSheet* Page) {
  if (!Page || Page == activePage_) return false;
  bool allow = true;
  OnChanging(this, allow);
  if (!allow) return false;
  SetActivePage(Page);
  OnChange(this);
  return true;
}

void TPageControl::SelectNextPage(bool GoForward) {
  SelectPageByUser(FindNextPage(activePage_, GoForward, true));
}

void TPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) {
    const int tab = IndexOfTabAt(X, Y);
    if (tab >= 0) {
      if (CanFocus() && !Focused()) SetFocus();
      SelectPageByUser(shownTabs()[static_cast<size_t>(tab)]);
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TPageControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_LEFT || Key == VK_UP) SelectNextPage(false);
  if (Key == VK_RIGHT || Key == VK_DOWN) SelectNextPage(true);
}

void TPageControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case CM_DIALOGKEY:
    if (static_cast<int>(Message.WParam) == VK_TAB && GetKeyState(VK_CONTROL) < 0 && HandleAllocated() &&
        (Focused() || (GetFocus() && ContainsControl(TWinControl::FindControl(GetFocus()))))) {
      SelectNextPage(GetKeyState(VK_SHIFT) >= 0);
      Message.Result = 1;
      return;
    }
    TCustomControl::Dispatch(Message);
    return;
  case CM_FONTCHANGED:
    TCustomControl::Dispatch(Message);
    Realign();
    return;
  default:
    if (!dispatchFocusCue(Message, DLGC_WANTARROWS)) TCustomControl::Dispatch(Message);
  }
}

void TPageControl::Paint() {
  TCanvas& c = Canvas();
  const TRect client = ClientRect();
  const int th = shownTabHeight();
  c.Brush().SetColor(Color());
  c.FillRect(client);
  // The page's raised frame below the tabs.
  TRect frame{0, th, client.Right, client.Bottom};
  RaisedEdge(c, frame);
  c.SetFont(Font());
  const auto tabs = shownTabs();
  const int active = TabIndex();
  auto drawTab = [&](int i, bool selected) {
    TRect r = TabRect(i);
    if (selected) r = TRect{r.Left - 2, 0, r.Right + 2, th + 1};
    c.Brush().SetColor(Color());
    c.FillRect(TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom});
    // Left and top in the highlight with the corner cut, right in the shadows.
    c.Pen().SetColor(clBtnHighlight);
    c.MoveTo(r.Left, r.Bottom - 1);
    c.LineTo(r.Left, r.Top + 2);
    c.LineTo(r.Left + 2, r.Top);
    c.LineTo(r.Right - 2, r.Top);
    c.Pen().SetColor(clBtnShadow);
    c.MoveTo(r.Right - 2, r.Top + 1);
    c.LineTo(r.Right - 2, r.Bottom);
    c.Pen().SetColor(cl3DDkShadow);
    c.MoveTo(r.Right - 1, r.Top + 2);
    c.LineTo(r.Right - 1, r.Bottom);
    const TRect text{r.Left, r.Top, r.Right, r.Bottom};
    const TRect used = DrawCaption(c, text, tabs[static_cast<size_t>(i)]->Caption(), dcCenter | dcVCenter,
                                   Enabled() && tabs[static_cast<size_t>(i)]->Enabled());
    if (selected && Focused())
      FocusRect(c, TRect{used.Left - 2, used.Top - 1, used.Right + 2, used.Bottom + 1});
  };
  for (int i = 0; i < static_cast<int>(tabs.size()); ++i)
    if (i != active) drawTab(i, false);
  if (active >= 0) drawTab(active, true);
}

// ---- TListColumn, TListColumns

const TClassInfo& TListColumn::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TListColumn, TCollectionItem>("TListColumn")
          .Enum<TAlignment>("Alignment", &TListColumn::Alignment, &TListColumn::SetAlignment, taLeftJustify)
          .Str("Caption", &TListColumn::Caption, &TListColumn::SetCaption, std::string())
          .Int("Tag", &TListColumn::Tag, &TListColumn::SetTag, 0)
          .Int("Width", &TListColumn::Width, &TListColumn::SetWidth, 50)
          .Build();
  return info;
}

void TListColumn::SetCaption(const std::string& Value) {
  caption_ = Value;
  Changed(false);
}
void TListColumn::SetWidth(int Value) {
  width_ = std::max(0, Value);
  Changed(true);
}
void TListColumn::SetAlignment(TAlignment Value) {
  alignment_ = Value;
  Changed(false);
}
void TListColumn::Assign(const TPersistent& Source) {
  if (const auto* c = dynamic_cast<const TListColumn*>(&Source)) {
    caption_ = c->caption_;
    width_ = c->width_;
    alignment_ = c->alignment_;
    tag_ = c->tag_;
    Changed(true);
    return;
  }
  TCollectionItem::Assign(Source);
}

TListColumns::TListColumns(TListView* Owner)
    : TCollection(TListColumn::StaticClassInfo(), Owner), view_(Owner) {}

void TListColumns::Update(TCollectionItem* Item) {
  TCollection::Update(Item);
  if (view_) view_->Invalidate();
}

// ---- TListItem, TListItems

TListItem::TListItem(TListItems* Owner) : owner_(Owner), subItems_(std::make_unique<TStringList>()) {
  subItems_->OnChange.Bind([this](TObject*) { owner_->changed(); });
}

TListItem::~TListItem() { subItems_->OnChange.Clear(); }

void TListItem::SetCaption(const std::string& Value) {
  caption_ = Value;
  owner_->changed();
}

void TListItem::SetSelected(bool Value) {
  if (selected_ == Value) return;
  TListView* view = ListView();
  if (Value && view && !view->MultiSelect()) {
    for (int i = 0; i < owner_->Count(); ++i)
      if (TListItem* other = owner_->Item(i); other != this && other->selected_) other->SetSelected(false);
  }
  selected_ = Value;
  if (view) view->selectionChanged(this, Value);
}

bool TListItem::Focused() const { return ListView() && ListView()->ItemFocused() == this; }
void TListItem::SetFocused(bool Value) {
  if (ListView())
    ListView()->SetItemFocused(Value ? this : (Focused() ? nullptr : ListView()->ItemFocused()));
}
int TListItem::Index() const { return owner_->IndexOf(this); }
TListView* TListItem::ListView() const { return owner_->Owner(); }
void TListItem::MakeVisible() {
  if (ListView()) ListView()->makeVisible(Index());
}
void TListItem::Delete() { owner_->Delete(Index()); }

TListItems::~TListItems() {
  // The view is going; the items go quietly.
  items_.clear();
}

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(int Index) {
  Index = std::clamp(Index, 0, Count());
  items_.insert(items_.begin() + Index, std::make_unique<TListItem>(this));
  changed();
  return items_[static_cast<size_t>(Index)].get();
}

void TListItems::Delete(int Index) {
  if (Index < 0 || Index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  TListItem* item = items_[static_cast<size_t>(Index)].get();
  if (owner_) owner_->itemGoing(item);
  items_.erase(items_.begin() + Index);
  changed();
}

void TListItems::Clear() {
  if (owner_)
    for (auto& i : items_)
      owner_->itemGoing(i.get());
  items_.clear();
  changed();
}

int TListItems::IndexOf(const TListItem* Item) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)].get() == Item) return i;
  return -1;
}

void TListItems::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) changed();
}

void TListItems::Assign(const TListItems& Source) {
  if (&Source == this) return;
  BeginUpdate();
  Clear();
  for (int i = 0; i < Source.Count(); ++i) {
    const TListItem* from = Source.Item(i);
    TListItem* to = Add();
    to->SetCaption(from->Caption());
    to->SubItems().Assign(from->SubItems());
    to->Data = from->Data;
    to->ImageIndex = from->ImageIndex;
  }
  EndUpdate();
}

std::vector<uint8_t> TListItems::Data() const {
  std::vector<uint8_t> out;
  auto put32 = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto putText = [&](const std::string& t) {
    put32(static_cast<uint32_t>(t.size()));
    out.insert(out.end(), t.begin(), t.end());
  };
  put32(static_cast<uint32_t>(Count()));
  for (const auto& item : items_) {
    put32(static_cast<uint32_t>(item->ImageIndex));
    putText(item->Caption());
    put32(static_cast<uint32_t>(item->SubItems().Count()));
    for (int i = 0; i < item->SubItems().Count(); ++i)
      putText(item->SubItems().Get(i));
  }
  return out;
}

void TListItems::SetData(const std::vector<uint8_t>& Bytes) {
  size_t at = 0;
  auto need = [&](uint64_t n) {
    if (n > Bytes.size() - at) throw EReadError("List items are not valid");
  };
  auto get32 = [&] {
    need(4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= uint32_t(Bytes[at + size_t(i)]) << (8 * i);
    at += 4;
    return v;
  };
  auto getText = [&] {
    const uint32_t n = get32();
    need(n);
    std::string t(Bytes.begin() + static_cast<std::ptrdiff_t>(at),
                  Bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    return t;
  };
  // Decoded whole before anything changes, so that a broken block leaves the list as it was.
  struct Row {
    int image;
    std::string caption;
    std::vector<std::string> sub;
  };
  std::vector<Row> rows;
  const uint32_t count = get32();
  for (uint32_t i = 0; i < count; ++i) {
    Row r;
    r.image = static_cast<int32_t>(get32());
    r.caption = getText();
    const uint32_t subs = get32();
    for (uint32_t k = 0; k < subs; ++k)
      r.sub.push_back(getText());
    rows.push_back(std::move(r));
  }
  if (at != Bytes.size()) throw EReadError("List items are not valid");
  BeginUpdate();
  Clear();
  for (auto& r : rows) {
    TListItem* item = Add();
    item->ImageIndex = r.image;
    item->SetCaption(r.caption);
    for (auto& t : r.sub)
      item->SubItems().Add(t);
  }
  EndUpdate();
}

void TListItems::changed() {
  if (updateCount_ == 0 && owner_) owner_->itemsChanged();
}

// ---- TListView

const TClassInfo& TListView::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TListView, TCustomControl>("TListView")
          .With(published::Align)
          .With(published::Anchors)
          .With(published::Color(clWindow))
          .Bool("ColumnClick", &TListView::ColumnClick, &TListView::SetColumnClick, true)
          .Object("Columns", [](const TListView& v) { return &v.Columns(); })
          .With(published::Ctl3D)
          .With(published::Enabled)
          .With(published::Font)
          .Bool("GridLines", &TListView::GridLines, &TListView::SetGridLines, false)
          .Bool("HideSelection", &TListView::HideSelection, &TListView::SetHideSelection, true)
          .With(published::Hint)
          .Bool("MultiSelect", &TListView::MultiSelect, &TListView::SetMultiSelect, false)
          .With(published::ParentColor)
          .With(published::ParentFont)
          .Bool("ReadOnly", &TListView::ReadOnly, &TListView::SetReadOnly, false)
          .Bool("RowSelect", &TListView::RowSelect, &TListView::SetRowSelect, false)
          .Bool("ShowColumnHeaders", &TListView::ShowColumnHeaders, &TListView::SetShowColumnHeaders, true)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .Enum<TViewStyle>("ViewStyle", &TListView::ViewStyle, &TListView::SetViewStyle, TViewStyle::vsIcon)
          .With(published::Visible)
          .With(published::OnClick)
          .Event("OnColumnClick", &TListView::OnColumnClick)
          .With(published::OnDblClick)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::OnKeyDown)
          .With(published::OnKeyPress)
          .With(published::OnMouseDown)
          .Event("OnSelectItem", &TListView::OnSelectItem)
          .Build();
  return info;
}

TListView::TListView(TComponent* AOwner)
    : TCustomControl(AOwner), columns_(std::make_unique<TListColumns>(this)),
      items_(std::make_unique<TListItems>(this)) {
  initField(250, 150);
}

TListView::~TListView() {
  focused_ = nullptr;
  OnSelectItem.Clear();
  items_.reset();
}

void TListView::setImages(TCustomImageList*& Slot, TCustomImageList* Value) {
  if (Slot == Value) return;
  TCustomImageList* old = Slot;
  Slot = Value;
  // One notification serves every slot the list still holds.
  if (old && old != smallImages_ && old != largeImages_ && old != stateImages_) RemoveFreeNotification(old);
  if (Value) FreeNotification(Value);
}

void TListView::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  for (TCustomImageList** slot : {&smallImages_, &largeImages_, &stateImages_})
    if (*slot == AComponent) *slot = nullptr;
}

void TListView::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  AddClientFrame(Params);
}

void TListView::SetViewStyle(TViewStyle Value) {
  if (!storeChange(viewStyle_, Value)) return;
  updateScrollBar();
  Invalidate();
}
void TListView::SetRowSelect(bool Value) { invalidateOnChange(rowSelect_, Value); }
void TListView::SetMultiSelect(bool Value) {
  multiSelect_ = Value;
  if (!Value) {
    TListItem* keep = Selected();
    for (int i = 0; i < items_->Count(); ++i)
      if (items_->Item(i) != keep) items_->Item(i)->SetSelected(false);
  }
}
void TListView::SetHideSelection(bool Value) { invalidateOnChange(hideSelection_, Value); }
void TListView::SetGridLines(bool Value) { invalidateOnChange(gridLines_, Value); }
void TListView::SetShowColumnHeaders(bool Value) {
  if (!storeChange(showColumnHeaders_, Value)) return;
  updateScrollBar();
  Invalidate();
}

int TListView::RowHeight() const { return LineHeight(Font()) + 3; }
int TListView::HeaderHeight() const {
  return viewStyle_ == TViewStyle::vsReport && showColumnHeaders_ ? LineHeight(Font()) + 4 : 0;
}
int TListView::VisibleRowCount() const {
  return std::max(1, (ClientHeight() - HeaderHeight()) / RowHeight());
}

TListItem* TListView::Selected() const {
  if (!items_) return nullptr;
  for (int i = 0; i < items_->Count(); ++i)
    if (items_->Item(i)->Selected()) return items_->Item(i);
  return nullptr;
}

void TListView::SetSelected(TListItem* Item) {
  ClearSelection();
  if (Item) {
    Item->SetSelected(true);
    SetItemFocused(Item);
  }
}

int TListView::ItemIndex() const {
  TListItem* s = Selected();
  return s ? s->Index() : -1;
}

void TListView::SetItemIndex(int Value) {
  SetSelected(Value >= 0 && Value < items_->Count() ? items_->Item(Value) : nullptr);
}

int TListView::SelCount() const {
  int n = 0;
  for (int i = 0; i < items_->Count(); ++i)
    if (items_->Item(i)->Selected()) ++n;
  return n;
}

void TListView::SetItemFocused(TListItem* Item) {
  focused_ = Item;
  if (Item) makeVisible(Item->Index());
  Invalidate();
}

void TListView::ClearSelection() {
  for (int i = 0; i < items_->Count(); ++i)
    items_->Item(i)->SetSelected(false);
}

TListItem* TListView::TopItem() const {
  return topIndex_ < items_->Count() ? items_->Item(topIndex_) : nullptr;
}

TListItem* TListView::GetItemAt(int X, int Y) const {
  (void)X;
  const int y = Y - HeaderHeight();
  if (y < 0) return nullptr;
  const int i = topIndex_ + y / RowHeight();
  return i < items_->Count() ? items_->Item(i) : nullptr;
}

int TListView::lastTopIndex() const { return std::max(0, items_->Count() - VisibleRowCount()); }

void TListView::Scroll(int DX, int DY) {
  (void)DX;
  const int rows = DY / std::max(1, RowHeight());
  const int top = std::clamp(topIndex_ + rows, 0, lastTopIndex());
  if (top == topIndex_) return;
  topIndex_ = top;
  updateScrollBar();
  Invalidate();
}

void TListView::makeVisible(int Index) {
  if (Index < 0) return;
  const int rows = VisibleRowCount();
  int top = topIndex_;
  if (Index < top) top = Index;
  if (Index >= top + rows) top = Index - rows + 1;
  if (top != topIndex_) {
    topIndex_ = top;
    updateScrollBar();
    Invalidate();
  }
}

void TListView::itemsChanged() {
  if (!items_) return;
  topIndex_ = std::clamp(topIndex_, 0, lastTopIndex());
  updateScrollBar();
  Invalidate();
}

void TListView::itemGoing(TListItem* Item) {
  if (focused_ == Item) focused_ = nullptr;
  if (Item->selected_) {
    Item->selected_ = false;
    OnSelectItem(this, Item, false);
  }
}

void TListView::selectionChanged(TListItem* Item, bool Selected) {
  Invalidate();
  OnSelectItem(this, Item, Selected);
}

void TListView::updateScrollBar() {
  if (!HandleAllocated() || !items_) return;
  showScrollRange(Handle(), SB_VERT, std::max(0, items_->Count() - 1), VisibleRowCount(), topIndex_);
}

void TListView::moveTo(int Index, bool Extend) {
  if (items_->Count() == 0) return;
  Index = std::clamp(Index, 0, items_->Count() - 1);
  TListItem* item = items_->Item(Index);
  if (Extend && multiSelect_ && anchor_ >= 0) {
    const int a = std::min(anchor_, Index), b = std::max(anchor_, Index);
    for (int i = 0; i < items_->Count(); ++i)
      items_->Item(i)->SetSelected(i >= a && i <= b);
  } else {
    anchor_ = Index;
    if (!item->Selected() || SelCount() > 1) {
      ClearSelection();
      item->SetSelected(true);
    }
  }
  SetItemFocused(item);
}

void TListView::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const int cur = focused_ ? focused_->Index() : -1;
  const bool ext = Shift.Contains(ssShift);
  switch (Key) {
  case VK_UP:
    moveTo(cur < 0 ? 0 : cur - 1, ext);
    break;
  case VK_DOWN:
    moveTo(cur + 1, ext);
    break;
  case VK_HOME:
    moveTo(0, ext);
    break;
  case VK_END:
    moveTo(items_->Count() - 1, ext);
    break;
  case VK_PRIOR:
    moveTo(cur - VisibleRowCount() + 1, ext);
    break;
  case VK_NEXT:
    moveTo(std::max(cur, 0) + VisibleRowCount() - 1, ext);
    break;
  case VK_SPACE:
    if (focused_ && multiSelect_ && Shift.Contains(ssCtrl)) focused_->SetSelected(!focused_->Selected());
    break;
  default:
    break;
  }
}

void TListView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft || Button == TMouseButton::mbRight) {
    if (CanFocus() && !Focused()) SetFocus();
    if (Y < HeaderHeight()) {
      int x = 0;
      for (int i = 0; i < columns_->Count(); ++i) {
        const int w = columns_->Items(i)->Width();
        if (X >= x && X < x + w && columnClick_ && Button == TMouseButton::mbLeft)
          OnColumnClick(this, columns_->Items(i));
        x += w;
      }
    } else if (TListItem* item = GetItemAt(X, Y)) {
      if (multiSelect_ && Shift.Contains(ssCtrl)) {
        item->SetSelected(!item->Selected());
        anchor_ = item->Index();
        SetItemFocused(item);
      } else {
        moveTo(item->Index(), Shift.Contains(ssShift));
      }
    } else if (!multiSelect_ || !Shift.Contains(ssCtrl)) {
      ClearSelection();
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TListView::Dispatch(TMessage& Message) {
  if (DispatchEditFrame(Message)) return;
  switch (Message.Msg) {
  case WM_SIZE:
    TCustomControl::Dispatch(Message);
    updateScrollBar();
    return;
  case WM_VSCROLL:
  case WM_MOUSEWHEEL:
    if (const auto top = ScrollTarget(Message, {topIndex_, 1, VisibleRowCount(), 0, lastTopIndex()}))
      Scroll(0, (*top - topIndex_) * RowHeight());
    return;
  default:
    break;
  }
  if (HandleAllocated() && tracker_.mouseMessage(Handle(), ClientRect(), Message)) return;
  TCustomControl::Dispatch(Message);
}

void TListView::Paint() {
  TCanvas& c = Canvas();
  const TRect client = ClientRect();
  c.Brush().SetColor(Enabled() ? Color() : clBtnFace);
  c.FillRect(client);
  c.SetFont(Font());
  const bool report = viewStyle_ == TViewStyle::vsReport;
  const int hh = HeaderHeight();
  // Column extents: in report view the columns, otherwise one column of the whole width.
  std::vector<std::pair<int, int>> cols;
  int x = 0;
  if (report)
    for (int i = 0; i < columns_->Count(); ++i) {
      cols.emplace_back(x, x + columns_->Items(i)->Width());
      x += columns_->Items(i)->Width();
    }
  else
    cols.emplace_back(0, client.Right);
  if (hh > 0) {
    for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
      TRect h{cols[static_cast<size_t>(i)].first, 0, cols[static_cast<size_t>(i)].second, hh};
      RaisedEdge(c, h);
      c.Brush().SetColor(clBtnFace);
      c.FillRect(h);
      DrawCaption(c, TRect{h.Left + 4, h.Top, h.Right - 2, h.Bottom}, columns_->Items(i)->Caption(),
                  dcLeft | dcVCenter | dcNoPrefix, Enabled());
    }
    if (x < client.Right) {
      TRect rest{x, 0, client.Right + 2, hh};
      RaisedEdge(c, rest);
      c.Brush().SetColor(clBtnFace);
      c.FillRect(rest);
    }
  }
  const int rh = RowHeight();
  const bool showSel = Focused() || !hideSelection_;
  for (int i = topIndex_; i < items_->Count(); ++i) {
    const int y = hh + (i - topIndex_) * rh;
    if (y >= client.Bottom) break;
    TListItem* item = items_->Item(i);
    const bool sel = item->Selected() && showSel;
    for (int k = 0; k < static_cast<int>(cols.size()); ++k) {
      const std::string& text = k == 0                             ? item->Caption()
                                : k - 1 < item->SubItems().Count() ? item->SubItems().Get(k - 1)
                                                                   : std::string();
      const TRect cell{cols[static_cast<size_t>(k)].first, y, cols[static_cast<size_t>(k)].second, y + rh};
      const bool hl = sel && (k == 0 || rowSelect_);
      TRect textRect{cell.Left + (k == 0 ? 2 : 6), cell.Top, cell.Right - 2, cell.Bottom};
      if (hl) {
        const int w = MeasureText(Font(), text).cx;
        const TRect back =
            rowSelect_ ? cell
                       : TRect{cell.Left, cell.Top, std::min(cell.Right, textRect.Left + w + 2), cell.Bottom};
        c.Brush().SetColor(clHighlight);
        c.FillRect(back);
      }
      const TAlignment a = report && k < columns_->Count() ? columns_->Items(k)->Alignment() : taLeftJustify;
      c.Font().SetColor(!Enabled() ? clGrayText : hl ? clHighlightText : Font().Color());
      DrawCaption(c, textRect, text,
                  (a == taRightJustify ? dcRight
                   : a == taCenter     ? dcCenter
                                       : dcLeft) |
                      dcVCenter | dcNoPrefix,
                  true);
      if (gridLines_) {
        c.Pen().SetColor(clBtnFace);
        c.MoveTo(cell.Left, cell.Bottom - 1);
        c.LineTo(cell.Right, cell.Bottom - 1);
        c.MoveTo(cell.Right - 1, cell.Top);
        c.LineTo(cell.Right - 1, cell.Bottom);
      }
    }
    if (item == focused_ && Focused()) {
      const int right = rowSelect_ && !cols.empty() ? cols.back().second : cols.front().second;
      FocusRect(c, TRect{0, y, right, y + rh});
    }
  }
}

// ---- TToolButton

const TClassInfo& TToolButton::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TToolButton, TGraphicControl>("TToolButton")
          .Bool("AllowAllUp", &TToolButton::AllowAllUp, &TToolButton::SetAllowAllUp, false)
          .With(published::Caption)
          .Bool("Down", &TToolButton::Down, &TToolButton::SetDown, false)
          .With(published::Enabled)
          .Bool("Grouped", &TToolButton::Grouped, &TToolButton::SetGrouped, false)
          .With(published::Hint)
          .Int("ImageIndex", &TToolButton::ImageIndex, &TToolButton::SetImageIndex, -1)
          .With(published::ShowHint)
          .Enum<TToolButtonStyle>("Style", &TToolButton::Style, &TToolButton::SetStyle,
                                  TToolButtonStyle::tbsButton)
          .With(published::Visible)
          .With(published::OnClick)
          .Build();
  return info;
}

TToolButton::TToolButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 23, 22);
  SetControlStyle(ControlStyle() - TControlStyle{csDoubleClicks});
}

TToolBar* TToolButton::ToolBar() const { return dynamic_cast<TToolBar*>(Parent()); }

int TToolButton::Index() const {
  TToolBar* bar = ToolBar();
  if (!bar) return -1;
  for (int i = 0; i < bar->ButtonCount(); ++i)
    if (bar->Buttons(i) == this) return i;
  return -1;
}

void TToolButton::SetStyle(TToolButtonStyle Value) {
  style_ = Value;
  if ((Value == TToolButtonStyle::tbsSeparator || Value == TToolButtonStyle::tbsDivider) && !IsLoading())
    SetWidth(8);
  if (Parent()) Parent()->Realign();
  Invalidate();
}

void TToolButton::SetDown(bool Value) {
  if (!storeChange(down_, Value)) return;
  if (Value && grouped_ && ToolBar()) {
    // The group: neighbouring grouped check buttons without a separator between them.
    TToolBar* bar = ToolBar();
    const int me = Index();
    for (int dir : {-1, 1})
      for (int i = me + dir; i >= 0 && i < bar->ButtonCount(); i += dir) {
        TToolButton* b = bar->Buttons(i);
        if (!b->grouped_ || b->style_ != TToolButtonStyle::tbsCheck) break;
        if (b->down_) {
          b->down_ = false;
          b->Invalidate();
        }
      }
  }
  Invalidate();
}

void TToolButton::Click() {
  if (style_ == TToolButtonStyle::tbsCheck) {
    if (!down_)
      SetDown(true);
    else if (!grouped_ || allowAllUp_)
      SetDown(false);
  }
  TGraphicControl::Click();
}

void TToolButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft && style_ != TToolButtonStyle::tbsSeparator &&
      style_ != TToolButtonStyle::tbsDivider)
    face_.press(*this);
  TGraphicControl::MouseDown(Button, Shift, X, Y);
}

void TToolButton::MouseMove(TShiftState Shift, int X, int Y) {
  face_.mouseMoved(*this, X, Y);
  TGraphicControl::MouseMove(Shift, X, Y);
}

void TToolButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
}

void TToolButton::Dispatch(TMessage& Message) {
  if (face_.dispatch(*this, Message, true)) return;
  if ((style_ == TToolButtonStyle::tbsSeparator || style_ == TToolButtonStyle::tbsDivider) &&
      Message.Msg >= WM_MOUSEFIRST && Message.Msg <= WM_MOUSELAST)
    return;
  TGraphicControl::Dispatch(Message);
}

void TToolButton::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  TToolBar* bar = ToolBar();
  const bool flat = bar && bar->Flat();
  if (style_ == TToolButtonStyle::tbsSeparator) return;
  if (style_ == TToolButtonStyle::tbsDivider) {
    const int x = r.Width() / 2 - 1;
    c.Pen().SetColor(clBtnShadow);
    c.MoveTo(x, r.Top + 1);
    c.LineTo(x, r.Bottom - 1);
    c.Pen().SetColor(clBtnHighlight);
    c.MoveTo(x + 1, r.Top + 1);
    c.LineTo(x + 1, r.Bottom - 1);
    return;
  }
  const bool sunk = down_ || face_.pressed;
  r = ToolButtonFace(c, r, sunk, flat, face_.hot && Enabled());
  if (bar && bar->ShowCaptions()) {
    c.SetFont(bar->Font());
    DrawCaption(c, sunk ? OffsetRectBy(r, 1, 1) : r, Caption(), dcCenter | dcVCenter, Enabled());
  }
}

// ---- TToolBar

const TClassInfo& TToolBar::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TToolBar, TCustomControl>("TToolBar")
          .Enum<TAlign>("Align", &TControl::Align, &TControl::SetAlign, alTop)
          .Int("ButtonHeight", &TToolBar::ButtonHeight, &TToolBar::SetButtonHeight, 22)
          .Int("ButtonWidth", &TToolBar::ButtonWidth, &TToolBar::SetButtonWidth, 23)
          .With(published::Caption)
          .With(published::Color(clBtnFace))
          .With(published::Enabled)
          .Bool("Flat", &TToolBar::Flat, &TToolBar::SetFlat, false)
          .With(published::Font)
          .With(published::Hint)
          .Int("Indent", &TToolBar::Indent, &TToolBar::SetIndent, 0)
          .With(published::ParentColor)
          .With(published::ParentFont)
          .Bool("ShowCaptions", &TToolBar::ShowCaptions, &TToolBar::SetShowCaptions, false)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::Visible)
          .Build();
  return info;
}

TToolBar::TToolBar(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(
      TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csDoubleClicks, csSetCaption});
  SetBounds(0, 0, 150, 29);
  SetAlign(alTop);
  SetColor(clBtnFace);
}

int TToolBar::ButtonCount() const {
  int n = 0;
  for (int i = 0; i < ControlCount(); ++i)
    if (dynamic_cast<TToolButton*>(Controls(i))) ++n;
  return n;
}

TToolButton* TToolBar::Buttons(int Index) const {
  int n = 0;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto* b = dynamic_cast<TToolButton*>(Controls(i)))
      if (n++ == Index) return b;
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void TToolBar::SetButtonWidth(int Value) {
  buttonWidth_ = std::max(1, Value);
  Realign();
}
void TToolBar::SetButtonHeight(int Value) {
  buttonHeight_ = std::max(1, Value);
  Realign();
}
void TToolBar::SetShowCaptions(bool Value) {
  if (!storeChange(showCaptions_, Value)) return;
  Realign();
  Invalidate();
}
void TToolBar::SetFlat(bool Value) { invalidateOnChange(flat_, Value); }
void TToolBar::SetIndent(int Value) {
  indent_ = std::max(0, Value);
  Realign();
}

void TToolBar::AlignControls(TControl* AControl, TRect& Rect) {
  // Buttons stand in a row from the left, each ButtonWidth wide (wider for a longer caption).
  int x = indent_;
  for (int i = 0; i < ButtonCount(); ++i) {
    TToolButton* b = Buttons(i);
    if (!b->Visible()) continue;
    int w = buttonWidth_;
    if (b->Style() == TToolButtonStyle::tbsSeparator || b->Style() == TToolButtonStyle::tbsDivider)
      w = b->Width();
    else if (showCaptions_)
      w = std::max(buttonWidth_, MeasureText(Font(), StripAccel(b->Caption())).cx + 8);
    b->SetBounds(x, 2, w, buttonHeight_);
    x += w;
  }
  TCustomControl::AlignControls(AControl, Rect);
}

void TToolBar::Paint() {
  TCanvas& c = Canvas();
  c.Brush().SetColor(Color());
  c.FillRect(ClientRect());
  // The etched line along the top edge.
  c.Pen().SetColor(clBtnShadow);
  c.MoveTo(0, 0);
  c.LineTo(Width(), 0);
  c.Pen().SetColor(clBtnHighlight);
  c.MoveTo(0, 1);
  c.LineTo(Width(), 1);
}

void RegisterComControls() {
  RegisterClasses({&TProgressBar::StaticClassInfo(), &TTabSheet::StaticClassInfo(),
                   &TPageControl::StaticClassInfo(), &TListView::StaticClassInfo(),
                   &TToolBar::StaticClassInfo(), &TToolButton::StaticClassInfo()});
}

} // namespace kv::platform
