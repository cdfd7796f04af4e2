#include "DropDownListView.h"

namespace DropDownListView {

using namespace kv::platform;

namespace {
constexpr UINT EM_SETRECTNP = 0x00B4;
}

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
          .With(published::Enabled)
          .With(published::Font)
          .Object("Glyph", [](const F& f) { return &f.Glyph(); })
          .With(published::ParentColor)
          .With(published::ParentCtl3D)
          .With(published::ParentFont)
          .Bool("ReadOnly", &F::ReadOnly, &F::SetReadOnly, false)
          .Bool("RowSelect", &F::RowSelect, &F::SetRowSelect, NoDefault)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .Str("Text", &F::Text, &F::SetText, NoDefault)
          .Enum<TViewStyle>("ViewStyle", &F::ViewStyle, &F::SetViewStyle, NoDefault)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::OnKeyDown)
          .With(published::OnKeyPress)
          .With(published::OnKeyUp)
          .With(published::OnMouseDown)
          .With(published::OnMouseMove)
          .With(published::OnMouseUp)
          .With(published::Anchors)
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
  if (!Value || Value == &List->Items()) return;
  TListItems& items = List->Items();
  items.BeginUpdate();
  items.Clear();
  for (int i = 0; i < Value->Count(); ++i) {
    TListItem* from = Value->Item(i);
    TListItem* to = items.Add();
    to->SetCaption(from->Caption());
    to->SubItems().Assign(from->SubItems());
    to->Data = from->Data;
    to->ImageIndex = from->ImageIndex;
  }
  items.EndUpdate();
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
    (RegisterButtons(), RegisterClasses({&TDropDownListView::StaticClassInfo(), &TExtListView::StaticClassInfo()}), true);
} // namespace

} // namespace DropDownListView
