#include "Platform/Ui/DBGrids.h"

#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Rtl/StoreChange.h"

#include <algorithm>

namespace kv::platform {

// ---- TDataLink

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* Value) {
  if (source_ == Value) return;
  if (source_) std::erase(source_->links_, this);
  source_ = Value;
  if (source_) source_->links_.push_back(this);
  DataSetChanged();
}

TDataSet* TDataLink::DataSet() const { return source_ && source_->Enabled() ? source_->DataSet() : nullptr; }

bool TDataLink::Active() const {
  const TDataSet* ds = DataSet();
  return ds && ds->Active();
}

// ---- TDataSource

const TClassInfo& TDataSource::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TDataSource, TComponent>("TDataSource")
                                     .Bool("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled, true)
                                     .Event("OnDataChange", &TDataSource::OnDataChange)
                                     .Build();
  return info;
}

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  // The links outlive their source quietly: they show nothing from now on.
  for (TDataLink* link : links_)
    link->source_ = nullptr;
  links_.clear();
}

void TDataSource::SetDataSet(TDataSet* Value) {
  if (storeChange(dataSet_, Value)) DataSetChanged();
}

void TDataSource::SetEnabled(bool Value) {
  if (storeChange(enabled_, Value)) DataSetChanged();
}

void TDataSource::DataSetChanged() {
  // A link may drop itself while it is told; walk a copy.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links)
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataSetChanged();
  OnDataChange(this, nullptr);
}

// ---- TCustomDBGrid

TDBGridOptions DefaultDBGridOptions() {
  using O = TDBGridOption;
  return TDBGridOptions{O::dgEditing,  O::dgTitles, O::dgIndicator,     O::dgColumnResize, O::dgColLines,
                        O::dgRowLines, O::dgTabs,   O::dgConfirmDelete, O::dgCancelOnExit};
}

namespace {
constexpr int kIndicatorWidth = 11;
}

const TClassInfo& TCustomDBGrid::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCustomDBGrid, TCustomGrid>("TCustomDBGrid").Build();
  return info;
}

TCustomDBGrid::TCustomDBGrid(TComponent* AOwner) : TCustomGrid(AOwner), dbOptions_(DefaultDBGridOptions()) {
  SetDefaultRowHeight(18);
  applyOptions();
  LayoutChanged();
}

TCustomDBGrid::~TCustomDBGrid() = default;

void TCustomDBGrid::SetDataSource(TDataSource* Value) { link_.SetDataSource(Value); }

void TCustomDBGrid::SetOptions(TDBGridOptions Value) {
  if (Value.Bits() == dbOptions_.Bits()) return;
  dbOptions_ = Value;
  applyOptions();
  LayoutChanged();
}

void TCustomDBGrid::SetTitleFont(const TFont& Value) {
  titleFont_.Assign(Value);
  Invalidate();
}

void TCustomDBGrid::applyOptions() {
  TGridOptions o;
  if (dbOptions_.Contains(dgColLines))
    o.Include(TGridOption::goFixedVertLine).Include(TGridOption::goVertLine);
  if (dbOptions_.Contains(dgRowLines))
    o.Include(TGridOption::goFixedHorzLine).Include(TGridOption::goHorzLine);
  if (dbOptions_.Contains(dgRowSelect)) o.Include(TGridOption::goRowSelect);
  if (dbOptions_.Contains(dgAlwaysShowSelection)) o.Include(TGridOption::goDrawFocusSelected);
  TCustomGrid::SetOptions(o);
}

TField* TCustomDBGrid::FieldOfColumn(int ACol) {
  if (!link_.Active()) return nullptr;
  const int index = ACol - indicatorCols();
  TDataSet* ds = link_.DataSet();
  return index >= 0 && index < ds->FieldCount() ? &ds->Fields(index) : nullptr;
}

TField* TCustomDBGrid::SelectedField() { return FieldOfColumn(Col()); }

int TCustomDBGrid::SelectedIndex() const { return Col() - indicatorCols(); }

void TCustomDBGrid::SetSelectedIndex(int Value) { SetCol(Value + indicatorCols()); }

int TCustomDBGrid::CurrentRecordRow() const {
  const TDataSet* ds = link_.DataSet();
  if (!ds || !ds->Active() || ds->RecordCount() == 0) return titleRows();
  return titleRows() + ds->RecNo() - 1;
}

void TCustomDBGrid::LayoutChanged() {
  if (syncing_) return;
  syncing_ = true;
  const ScopeExit synced([this] { syncing_ = false; });
  TDataSet* ds = link_.Active() ? link_.DataSet() : nullptr;
  const int fields = ds ? ds->FieldCount() : 0;
  const int records = ds ? ds->RecordCount() : 0;
  // An empty grid still has one (blank) data cell, as the grid needs a scrollable one.
  const int cols = indicatorCols() + std::max(fields, 1);
  const int rows = titleRows() + std::max(records, 1);
  if (ColCount() != cols) SetColCount(cols);
  if (RowCount() != rows) SetRowCount(rows);
  if (FixedCols() != indicatorCols()) SetFixedCols(indicatorCols());
  if (FixedRows() != titleRows()) SetFixedRows(titleRows());
  if (indicatorCols() && ColWidths(0) != kIndicatorWidth) SetColWidths(0, kIndicatorWidth);
  for (int c = indicatorCols(); c < cols; ++c)
    if (ColWidths(c) != DefaultColWidth()) SetColWidths(c, DefaultColWidth());
  const int current = CurrentRecordRow();
  if (Row() != current) {
    InvalidateCell(0, Row());
    FocusCell(Col(), current);
    InvalidateCell(0, Row());
  }
}

void TCustomDBGrid::stepTo(TDataSet& DataSet, int Index) {
  while (DataSet.RecNo() - 1 < Index && !DataSet.Eof())
    DataSet.Next();
  while (DataSet.RecNo() - 1 > Index && DataSet.RecNo() > 1)
    DataSet.Prior();
}

void TCustomDBGrid::restore(TDataSet& DataSet, int Index, bool Bof, bool Eof) {
  const int n = DataSet.RecordCount();
  if (n == 0 || Index < 0) return;
  // The engine's flags: Bof only on the first record, Eof only on the last; a single record can
  // carry both. Each combination is reached by the move that made it.
  if (Index == n - 1 && Eof) {
    if (Bof) {
      DataSet.First();
      DataSet.Next();
    } else
      DataSet.Last();
    return;
  }
  if (Index == 0 && Bof) {
    DataSet.First();
    return;
  }
  stepTo(DataSet, Index);
  if (n > 1 && Index == 0 && DataSet.Bof()) {
    DataSet.Next();
    DataSet.Prior();
  }
  if (n > 1 && Index == n - 1 && DataSet.Eof()) {
    DataSet.Prior();
    DataSet.Next();
  }
}

bool TCustomDBGrid::SelectCell(int ACol, int ARow) {
  if (syncing_) return true;
  if (!TCustomGrid::SelectCell(ACol, ARow)) return false;
  if (TDataSet* ds = link_.Active() ? link_.DataSet() : nullptr) {
    const int index = ARow - titleRows();
    if (index >= 0 && index < ds->RecordCount() && index != ds->RecNo() - 1) {
      InvalidateCell(0, Row());
      stepTo(*ds, index);
      InvalidateCell(0, ARow);
      if (DataSource()) DataSource()->OnDataChange(DataSource(), nullptr);
    }
  }
  return true;
}

void TCustomDBGrid::Paint() {
  LayoutChanged();
  TDataSet* ds = link_.Active() ? link_.DataSet() : nullptr;
  if (!ds || ds->RecordCount() == 0) {
    TCustomGrid::Paint();
    return;
  }
  // The rows are drawn by stepping the data set through them; it is put back where it stood,
  // flags and all, also when a handler raises.
  const int index = ds->RecNo() - 1;
  const bool bof = ds->Bof(), eof = ds->Eof();
  const ScopeExit back([=, this] {
    paintCurrentRow_ = -1;
    restore(*ds, index, bof, eof);
  });
  paintCurrentRow_ = CurrentRecordRow();
  TCustomGrid::Paint();
}

void TCustomDBGrid::drawIndicator(const TRect& R) {
  // The current record's arrow: a small black triangle pointing right.
  TCanvas& c = Canvas();
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  c.Brush().SetColor(clBlack);
  const int x = R.Left + (R.Width() - 4) / 2, cy = R.Top + R.Height() / 2;
  for (int i = 0; i < 4; ++i)
    c.FillRect(TRect{x + i, cy - (3 - i), x + i + 1, cy + (3 - i) + 1});
}

void TCustomDBGrid::DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) {
  TCanvas& c = Canvas();
  TDataSet* ds = link_.Active() ? link_.DataSet() : nullptr;
  const int index = ARow - titleRows();
  if (ACol < indicatorCols()) {
    // While painting, the data set steps through the rows; the current one is the saved one.
    const int current = paintCurrentRow_ >= 0 ? paintCurrentRow_ : CurrentRecordRow();
    if (index >= 0 && ds && ds->RecordCount() > 0 && ARow == current) drawIndicator(ARect);
    return;
  }
  TField* field = FieldOfColumn(ACol);
  if (ARow < titleRows()) {
    if (DefaultDrawing() && field) {
      c.SetFont(titleFont_);
      c.TextRect(ARect, ARect.Left + 2, ARect.Top + 2, field->FieldName());
    }
    return;
  }
  if (!ds || index < 0 || index >= ds->RecordCount()) return;
  stepTo(*ds, index);
  if (DefaultDrawing() && field) c.TextRect(ARect, ARect.Left + 2, ARect.Top + 2, field->AsString());
  OnDrawDataCell(this, ARect, field, AState);
}

void TCustomDBGrid::KeyDown(uint16_t& Key, TShiftState Shift) {
  LayoutChanged();
  if (Key == VK_TAB && dbOptions_.Contains(dgTabs)) {
    TCustomGrid::KeyDown(Key, Shift); // the key events see the tab
    if (Key == 0) return;
    const bool back = Shift.Contains(ssShift);
    if (back && Col() > indicatorCols())
      SetCol(Col() - 1);
    else if (!back && Col() < ColCount() - 1)
      SetCol(Col() + 1);
    Key = 0;
    return;
  }
  TCustomGrid::KeyDown(Key, Shift);
}

void TCustomDBGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  LayoutChanged();
  TCustomGrid::MouseDown(Button, Shift, X, Y);
}

void TCustomDBGrid::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    Message.Result = DLGC_WANTARROWS | (dbOptions_.Contains(dgTabs) ? DLGC_WANTTAB : 0);
    return;
  }
  TCustomGrid::Dispatch(Message);
}

// ---- TDBGrid

const TClassInfo& TDBGrid::StaticClassInfo() {
  using G = TCustomDBGrid;
  static const TClassInfo info =
      TClassBuilder<TDBGrid, TCustomDBGrid>("TDBGrid")
          .With(published::Align)
          .With(published::Anchors)
          .template Enum<TBorderStyle>("BorderStyle", &G::BorderStyle, &G::SetBorderStyle,
                                       TBorderStyle::bsSingle)
          .With(published::Color(clWindow))
          .With(published::Constraints)
          .With(published::Ctl3D)
          .Ref<TDataSource>("DataSource", &G::DataSource, &G::SetDataSource)
          .Bool("DefaultDrawing", &G::DefaultDrawing, &G::SetDefaultDrawing, true)
          .With(published::Enabled)
          .IdentInt("FixedColor", ColorIdents(), &G::FixedColor, &G::SetFixedColor, clBtnFace)
          .With(published::Font)
          .template Set<TDBGridOption>("Options", &G::Options, &G::SetOptions, DefaultDBGridOptions())
          .With(published::ParentColor)
          .With(published::ParentCtl3D)
          .With(published::ParentFont)
          .Bool("ReadOnly", &G::ReadOnly, &G::SetReadOnly, false)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .Object("TitleFont", [](const G& g) { return &g.TitleFont(); })
          .With(published::Visible)
          .With(published::OnDblClick)
          .Event("OnDrawDataCell", &G::OnDrawDataCell)
          .With(published::KeyEvents)
          .Build();
  return info;
}

TDBGrid::TDBGrid(TComponent* AOwner) : TCustomDBGrid(AOwner) {}

void RegisterDBGrids() { RegisterClasses({&TDBGrid::StaticClassInfo(), &TDataSource::StaticClassInfo()}); }

} // namespace kv::platform
