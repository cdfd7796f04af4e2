#include "DropDownListView.h"

#include "Platform/Ui/Menus.h"

namespace DropDownListView {

using namespace kv::platform;

Raster ComboArrowBitmap() {
  Raster r(7, 4, toColor32(clBtnFace));
  for (int y = 0; y < 4; ++y)
    for (int x = y; x < 7 - y; ++x) r.setPixel(x, y, 0xFF000000);
  return r;
}

// ---- TExtListView

const TClassInfo& TExtListView::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TExtListView, TListView>("TExtListView").Build();
  return info;
}

TExtListView::TExtListView(TComponent* AOwner) : TListView(AOwner) {
  SetControlStyle(ControlStyle() + TControlStyle{csReplicatable});
}

void TExtListView::CreateParams(TCreateParams& Params) {
  TListView::CreateParams(Params);
  Params.Style |= WS_BORDER;
  Params.ExStyle = WS_EX_TOOLWINDOW;
  Params.WindowClassStyle = CS_SAVEBITS;
}

void TExtListView::CreateWnd() {
  TListView::CreateWnd();
  // A top-level window: its place is in screen coordinates, while the field stays its owner
  // and class-library parent.
  kv::platform::SetParent(Handle(), 0);
  TMessage focus{WM_SETFOCUS, 0, 0, 0};
  TListView::DefaultHandler(focus);
}

void TExtListView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_LBUTTONDOWN: {
    TListView::Dispatch(Message);
    // The list control selects on the press and reports its click at once; the window is gone
    // before the release can arrive.
    if (ControlState().Contains(csClicked)) {
      SetControlState(ControlState() - TControlState{csClicked});
      Click();
    }
    ReleaseCapture();
    SetEnabled(false);
    Hide();
    return;
  }
  case CM_MOUSEENTER:
    TListView::Dispatch(Message);
    ReleaseCapture();
    return;
  case CM_MOUSELEAVE:
    TListView::Dispatch(Message);
    if (Visible() && HandleAllocated())
      SetCapture(Handle());
    else
      ReleaseCapture();
    return;
  default:
    TListView::Dispatch(Message);
  }
}

// ---- TDropDownListView

const TClassInfo& TDropDownListView::StaticClassInfo() {
  using F = TDropDownListView;
  static const TClassInfo info =
      TClassBuilder<F, TCustomEdit>("TDropDownListView")
          .With(published::Hint)
          .With(published::HelpContext)
          .Bool("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop, true)
          .Bool("HideSelection", &F::HideSelection, &F::SetHideSelection, true)
          .With(published::Align)
          .Enum<TBorderStyle>("BorderStyle", &F::BorderStyle, &F::SetBorderStyle, TBorderStyle::bsSingle)
          .With(published::Color(clWindow))
          .Object("Columns", [](const F& f) { return &const_cast<F&>(f).Columns(); })
          .With(published::Ctl3D)
          .With(published::DragCursor)
          .With(published::DragMode)
          .With(published::Enabled)
          .With(published::Font)
          // Never empty (the count comes first), so always written.
          .Binary(
              "Items", [](const F& f) { return f.List->Items().Data(); },
              [](F& f, const std::vector<uint8_t>& bytes) { f.List->Items().SetData(bytes); })
          .Object("Glyph", [](const F& f) { return &f.Glyph(); })
          .With(published::ParentColor)
          .With(published::ParentCtl3D)
          .With(published::ParentFont)
          .With(published::ParentShowHint)
          .With(published::PopupMenu)
          .Bool("ReadOnly", &F::ReadOnly, &F::SetReadOnly, false)
          .Bool("RowSelect", &F::RowSelect, &F::SetRowSelect, NoDefault)
          .Ref<TCustomImageList>("SmallImages", &F::SmallImages, &F::SetSmallImages)
          .Ref<TCustomImageList>("LargeImages", &F::LargeImages, &F::SetLargeImages)
          .Ref<TCustomImageList>("StateImages", &F::StateImages, &F::SetStateImages)
          // The selected item by its index among Items, which are read before it; -1 for none.
          .Int("Selected", &F::SelectedIndex, &F::SetSelectedIndex, NoDefault)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .Str("Text", &F::Text, &F::SetText, NoDefault)
          .Enum<TViewStyle>("ViewStyle", &F::ViewStyle, &F::SetViewStyle, NoDefault)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::OnDragDrop)
          .With(published::OnDragOver)
          .With(published::OnEndDrag)
          .With(published::KeyEvents)
          .With(published::MouseEvents)
          .With(published::OnStartDrag)
          .With(published::Anchors)
          .With(published::BiDiMode)
          .With(published::Constraints)
          .Event("OnSizeColumns", &F::OnSizeColumns)
          .Event("BeforeDropDown", &F::BeforeDropDown)
          .Event("AfterDropDown", &F::AfterDropDown)
          .Event("OnListClick", &F::OnListClick)
          .Field("Btn", &F::Btn)
          .Field("List", &F::List)
          .Build();
  return info;
}

TDropDownListView::TDropDownListView(TComponent* AOwner) : TCustomEdit(AOwner) {
  SetBounds(Left(), Top(), 216, 21);
  SetTabOrder(0);
  SetColor(clWindow);
  SetParentColor(false);
  Font().SetColor(clWindowText);
  SetReadOnly(true);
  Btn = new TSpeedButton(this);
  Btn->SetParent(this);
  List = new TExtListView(this);
  List->SetParent(this);
  List->SetTop(Top() + Height());
  List->SetHeight(240);
  List->SetShowColumnHeaders(false);
  List->SetRowSelect(true);
  List->SetReadOnly(true);
  List->SetHideSelection(false);
  List->SetViewStyle(TViewStyle::vsReport);
  glyph_.OnChange.Bind([this](TObject*) {
    if (!syncingGlyph_) Btn->SetGlyph(glyph_.raster());
  });
}

TDropDownListView::~TDropDownListView() {
  glyph_.OnChange.Clear();
  DestroyComponents();
}

void TDropDownListView::CreateParams(TCreateParams& Params) {
  TCustomEdit::CreateParams(Params);
  Params.Style |= ES_MULTILINE | WS_CLIPCHILDREN;
}

void TDropDownListView::CreateWindowHandle(const TCreateParams& Params) {
  TCustomEdit::CreateWindowHandle(Params);
  Btn->SetBounds(174, 0, 17, 17);
  Btn->SetCursor(crArrow);
  Btn->SetDown(false);
  Btn->OnClick.Bind([this](TObject* Sender) { BtnClick(Sender); }, "BtnClick");
  // The button shows the system's arrow; a glyph given before the window existed gives way.
  syncingGlyph_ = true;
  glyph_.LoadFromRaster(ComboArrowBitmap());
  syncingGlyph_ = false;
  Btn->SetGlyph(glyph_.raster());
  List->SetLeft(0);
  List->SetTop(0);
  List->SetWidth(0);
  List->SetCtl3D(false);
  List->SetReadOnly(true);
  List->SetEnabled(false);
  List->Hide();
  List->OnClick.Bind([this](TObject* Sender) { ListClick(Sender); }, "ListClick");
}

void TDropDownListView::CreateWnd() {
  TCustomEdit::CreateWnd();
  SetEditRect();
}

void TDropDownListView::SetEditRect() {
  editRect_ = TRect{0, 0, ClientWidth() - Btn->Width() - 2, ClientHeight() + 1};
  if (HandleAllocated()) Perform(EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&editRect_));
}

void TDropDownListView::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TCustomEdit::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (Parent() && Btn) {
    Btn->SetLeft(Width() - Btn->Width() - 4);
    Btn->SetHeight(Height() - 4);
    SetEditRect();
  }
}

void TDropDownListView::SetColumns(const TListColumns* Value) {
  if (Value) List->Columns().Assign(*Value);
}

void TDropDownListView::SetItems(const TListItems* Value) {
  if (Value) List->Items().Assign(*Value);
}

int TDropDownListView::SelectedIndex() const {
  const TListItem* item = Selected();
  return item ? item->Index() : -1;
}

// An index that names no item (a form whose items were edited by hand) selects nothing.
void TDropDownListView::SetSelectedIndex(int Value) {
  TListItems& items = List->Items();
  SetSelected(Value >= 0 && Value < items.Count() ? items.Item(Value) : nullptr);
}

void TDropDownListView::SetGlyph(const TBitmap* Value) {
  if (Value) glyph_.Assign(*Value);
}

void TDropDownListView::BtnClick(TObject*) {
  BeforeDropDown(this);
  TPoint p{Left(), Top() + Height()};
  if (Parent()) p = Parent()->ClientToScreen(p);
  List->SetBounds(p.X, p.Y, Width() - 1, List->Height());
  if (List->Enabled()) {
    List->SendToBack();
    List->SetEnabled(false);
    List->Hide();
    ReleaseCapture();
  } else {
    List->SetEnabled(true);
    List->Show();
    OnSizeColumns(this);
    List->BringToFront();
    List->SetMouseCapture(true);
  }
  AfterDropDown(this);
}

void TDropDownListView::ListClick(TObject*) {
  if (TListItem* item = List->Selected()) {
    SetText(item->Caption());
    OnListClick(this);
  }
}

void Register() { RegisterComponents("Korvalis", {&TDropDownListView::StaticClassInfo()}); }

namespace {
const bool classesRegistered =
    (RegisterButtons(), RegisterMenus(),
     RegisterClasses({&TDropDownListView::StaticClassInfo(), &TExtListView::StaticClassInfo(),
                      &TCustomImageList::StaticClassInfo(), &TImageList::StaticClassInfo()}),
     true);
} // namespace

} // namespace DropDownListView
