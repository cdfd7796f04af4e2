#include "Platform/Ui/Grids.h"

#include "Platform/Rtl/StoreChange.h"
#include "Platform/Ui/ClassicPaint.h"

#include <algorithm>

namespace kv::platform {

using namespace classic;

// ---- TCustomGrid

const TClassInfo& TCustomGrid::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCustomGrid, TCustomControl>("TCustomGrid").Build();
  return info;
}

TCustomGrid::TCustomGrid(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(TControlStyle{csCaptureMouse, csOpaque, csDoubleClicks, csClickEvents});
  SetBounds(0, 0, 320, 120);
  SetColor(clWindow);
  SetParentColor(false);
  SetTabStop(true);
}

TCustomGrid::~TCustomGrid() = default;

void TCustomGrid::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (borderStyle_ == TBorderStyle::bsSingle) AddClientFrame(Params);
}

void TCustomGrid::sizeChanged() {
  clampCurrent();
  Invalidate();
}

int TCustomGrid::Axis::size(int Index) const {
  return Index >= 0 && Index < count ? sizes[static_cast<size_t>(Index)] : defaultSize;
}
void TCustomGrid::Axis::setCount(int Value) {
  count = std::max(Value, 1);
  sizes.resize(static_cast<size_t>(count), defaultSize);
  if (fixed >= count) fixed = count - 1;
}
void TCustomGrid::Axis::setDefaultSize(int Value) {
  defaultSize = std::max(Value, 0);
  std::fill(sizes.begin(), sizes.end(), defaultSize);
}
void TCustomGrid::Axis::setSize(int Index, int Value) {
  if (Index < 0 || Index >= count) throw EListError("Grid index out of range");
  sizes[static_cast<size_t>(Index)] = std::max(Value, 0);
}
int TCustomGrid::Axis::scrollable(int Index) const {
  return std::clamp(Index, std::min(fixed, count - 1), count - 1);
}
int TCustomGrid::Axis::start(int Index, int LineWidth) const {
  if (Index < 0 || Index >= count) return -1;
  int offset = 0;
  for (int i = 0; i < fixed; ++i) {
    if (i == Index) return offset;
    offset += size(i) + LineWidth;
  }
  if (Index < first) return -1;
  for (int i = first; i < Index; ++i)
    offset += size(i) + LineWidth;
  return offset;
}
void TCustomGrid::Axis::setFixed(int Value, const char* Refusal) {
  if (Value < 0 || Value >= count) throw EInvalidOperation(Refusal);
  fixed = Value;
}
int TCustomGrid::Axis::shown(int Extent, int LineWidth) const {
  int n = 0;
  for (int i = first; i < count; ++i) {
    const int offset = start(i, LineWidth);
    if (offset < 0 || offset + size(i) > Extent) break;
    ++n;
  }
  return n;
}
int TCustomGrid::Axis::at(int Offset, int LineWidth) const {
  for (int i = 0; i < count; ++i) {
    const int offset = start(i, LineWidth);
    if (offset >= 0 && Offset >= offset && Offset < offset + size(i) + LineWidth) return i;
  }
  return -1;
}

void TCustomGrid::SetColCount(int Value) {
  cols_.setCount(Value);
  sizeChanged();
}
void TCustomGrid::SetRowCount(int Value) {
  rows_.setCount(Value);
  sizeChanged();
}
void TCustomGrid::SetFixedCols(int Value) {
  cols_.setFixed(Value, "Fixed column count must be less than column count");
  sizeChanged();
}
void TCustomGrid::SetFixedRows(int Value) {
  rows_.setFixed(Value, "Fixed row count must be less than row count");
  sizeChanged();
}
void TCustomGrid::SetDefaultColWidth(int Value) {
  cols_.setDefaultSize(Value);
  Invalidate();
}
void TCustomGrid::SetDefaultRowHeight(int Value) {
  rows_.setDefaultSize(Value);
  Invalidate();
}
void TCustomGrid::SetGridLineWidth(int Value) {
  gridLineWidth_ = std::max(Value, 0);
  Invalidate();
}
void TCustomGrid::SetOptions(TGridOptions Value) { invalidateOnChange(options_, Value); }
void TCustomGrid::SetFixedColor(TColor Value) { invalidateOnChange(fixedColor_, Value); }
void TCustomGrid::SetDefaultDrawing(bool Value) { invalidateOnChange(defaultDrawing_, Value); }
void TCustomGrid::SetScrollBars(TScrollStyle Value) { scrollBars_ = Value; }
void TCustomGrid::SetBorderStyle(TBorderStyle Value) {
  if (storeChange(borderStyle_, Value) && HandleAllocated()) RecreateWnd();
}

void TCustomGrid::SetColWidths(int Index, int Value) {
  cols_.setSize(Index, Value);
  Invalidate();
}
void TCustomGrid::SetRowHeights(int Index, int Value) {
  rows_.setSize(Index, Value);
  Invalidate();
}

void TCustomGrid::clampCurrent() {
  col_ = cols_.scrollable(col_);
  row_ = rows_.scrollable(row_);
  cols_.first = cols_.scrollable(cols_.first);
  rows_.first = rows_.scrollable(rows_.first);
}

void TCustomGrid::scrollTo(Axis& Which, int First) {
  const int old = Which.first;
  Which.first = First;
  clampCurrent();
  if (Which.first != old) {
    Invalidate();
    OnTopLeftChanged(this);
  }
}
void TCustomGrid::SetLeftCol(int Value) { scrollTo(cols_, Value); }
void TCustomGrid::SetTopRow(int Value) { scrollTo(rows_, Value); }

TRect TCustomGrid::CellRect(int ACol, int ARow) const {
  const int x = colLeft(ACol), y = rowTop(ARow);
  if (x < 0 || y < 0) return TRect{};
  const TRect client = ClientRect();
  if (x >= client.Right || y >= client.Bottom) return TRect{};
  return TRect{x, y, x + ColWidths(ACol), y + RowHeights(ARow)};
}

bool TCustomGrid::MouseToCell(int X, int Y, int& ACol, int& ARow) const {
  ACol = cols_.at(X, gridLineWidth_);
  ARow = rows_.at(Y, gridLineWidth_);
  if (ACol < 0 || ARow < 0) {
    ACol = ARow = -1;
    return false;
  }
  return true;
}

int TCustomGrid::VisibleColCount() const { return cols_.shown(ClientWidth(), gridLineWidth_); }
int TCustomGrid::VisibleRowCount() const { return rows_.shown(ClientHeight(), gridLineWidth_); }

bool TCustomGrid::SelectCell(int ACol, int ARow) {
  bool can = true;
  OnSelectCell(this, ACol, ARow, can);
  return can;
}

void TCustomGrid::FocusCell(int ACol, int ARow) {
  ACol = cols_.scrollable(ACol);
  ARow = rows_.scrollable(ARow);
  if (ACol == col_ && ARow == row_) return;
  if (!SelectCell(ACol, ARow)) return;
  InvalidateCell(col_, row_);
  if (options_.Contains(TGridOption::goRowSelect)) Invalidate();
  col_ = ACol;
  row_ = ARow;
  // Scroll the new cell into view.
  if (col_ < cols_.first) SetLeftCol(col_);
  while (col_ > cols_.first && CellRect(col_, rows_.fixed).Right > ClientWidth())
    SetLeftCol(cols_.first + 1);
  if (row_ < rows_.first) SetTopRow(row_);
  while (row_ > rows_.first && CellRect(cols_.fixed, row_).Bottom > ClientHeight())
    SetTopRow(rows_.first + 1);
  InvalidateCell(col_, row_);
  if (options_.Contains(TGridOption::goRowSelect)) Invalidate();
}

void TCustomGrid::InvalidateCell(int ACol, int ARow) {
  if (!HandleAllocated()) return;
  const TRect r = CellRect(ACol, ARow);
  if (r.Right <= r.Left) return;
  const TRect withLines{r.Left, r.Top, r.Right + gridLineWidth_, r.Bottom + gridLineWidth_};
  InvalidateRect(Handle(), &withLines, false);
}

TRect TCustomGrid::toDevice(const TRect& R) {
  DrawingContext* dc = Canvas().Handle();
  const TPoint org = dc ? dc->windowOrg() : TPoint{0, 0};
  const TPoint client = HandleAllocated() ? GetClientOrigin(Handle()) : TPoint{0, 0};
  const int dx = client.X - org.X, dy = client.Y - org.Y;
  return TRect{R.Left + dx, R.Top + dy, R.Right + dx, R.Bottom + dy};
}

void TCustomGrid::Paint() {
  TCanvas& c = Canvas();
  const TRect client = ClientRect();
  const bool lines = gridLineWidth_ > 0;
  int bottomEdge = 0, rightEdge = 0;
  for (int r = 0; r < rows_.count; ++r) {
    const int y = rowTop(r);
    if (y < 0 || y >= client.Bottom) continue;
    for (int col = 0; col < cols_.count; ++col) {
      const int x = colLeft(col);
      if (x < 0 || x >= client.Right) continue;
      const TRect where{x, y, x + ColWidths(col), y + RowHeights(r)};
      rightEdge = std::max(rightEdge, where.Right + gridLineWidth_);
      bottomEdge = std::max(bottomEdge, where.Bottom + gridLineWidth_);
      const bool fixed = col < cols_.fixed || r < rows_.fixed;
      TGridDrawState state;
      if (fixed) state.Include(gdFixed);
      const bool current = col == col_ && r == row_;
      const bool selected = !fixed && (current || (options_.Contains(TGridOption::goRowSelect) && r == row_));
      if (selected) state.Include(gdSelected);
      if (current && Focused()) state.Include(gdFocused);
      if (defaultDrawing_) {
        c.SetFont(Font());
        const bool highlight =
            selected && (!current || !Focused() || options_.Contains(TGridOption::goDrawFocusSelected) ||
                         options_.Contains(TGridOption::goRowSelect));
        if (fixed)
          c.Brush().SetColor(fixedColor_);
        else if (highlight) {
          c.Brush().SetColor(clHighlight);
          c.Font().SetColor(clHighlightText);
        } else
          c.Brush().SetColor(Color());
        c.Brush().SetStyle(TBrushStyle::bsSolid);
        c.FillRect(where);
      }
      DrawCell(col, r, where, state);
      if (defaultDrawing_) {
        if (fixed && Ctl3D()) {
          // The raised inner edge of title cells.
          TRect edge = where;
          Bevel(c, edge, clBtnHighlight, clBtnShadow);
        }
        if (current && Focused() && !fixed && !options_.Contains(TGridOption::goRowSelect))
          FocusRect(c, where);
      }
      if (lines) {
        const TColor lineColor = fixed ? clBlack : clSilver;
        const bool vert = options_.Contains(fixed ? TGridOption::goFixedVertLine : TGridOption::goVertLine);
        const bool horz = options_.Contains(fixed ? TGridOption::goFixedHorzLine : TGridOption::goHorzLine);
        c.Brush().SetStyle(TBrushStyle::bsSolid);
        c.Brush().SetColor(lineColor);
        if (vert)
          c.FillRect(
              TRect{where.Right, where.Top, where.Right + gridLineWidth_, where.Bottom + gridLineWidth_});
        if (horz)
          c.FillRect(
              TRect{where.Left, where.Bottom, where.Right + gridLineWidth_, where.Bottom + gridLineWidth_});
        if (!vert || !horz) {
          // Without a line the gap takes the cell's colour.
          c.Brush().SetColor(fixed ? fixedColor_ : Color());
          if (!vert) c.FillRect(TRect{where.Right, where.Top, where.Right + gridLineWidth_, where.Bottom});
          if (!horz) c.FillRect(TRect{where.Left, where.Bottom, where.Right, where.Bottom + gridLineWidth_});
        }
      }
    }
  }
  // The area beyond the last cells.
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  c.Brush().SetColor(Color());
  if (rightEdge < client.Right) c.FillRect(TRect{rightEdge, 0, client.Right, client.Bottom});
  if (bottomEdge < client.Bottom)
    c.FillRect(TRect{0, bottomEdge, std::min(rightEdge, client.Right), client.Bottom});
}

void TCustomGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    int c = -1, r = -1;
    if (MouseToCell(X, Y, c, r) && c >= cols_.fixed && r >= rows_.fixed) FocusCell(c, r);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomGrid::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const int page = std::max(1, VisibleRowCount());
  // The arrows and the page keys move by a step from the current cell.
  struct Move {
    uint16_t key;
    int cols, rows;
  };
  const Move moves[] = {{VK_UP, 0, -1},   {VK_DOWN, 0, 1},      {VK_LEFT, -1, 0},
                        {VK_RIGHT, 1, 0}, {VK_PRIOR, 0, -page}, {VK_NEXT, 0, page}};
  for (const Move& m : moves)
    if (Key == m.key) {
      FocusCell(col_ + m.cols, row_ + m.rows);
      return;
    }
  const bool ctrl = Shift.Contains(ssCtrl);
  if (Key == VK_HOME)
    FocusCell(ctrl ? col_ : cols_.fixed, ctrl ? rows_.fixed : row_);
  else if (Key == VK_END)
    FocusCell(ctrl ? col_ : cols_.count - 1, ctrl ? rows_.count - 1 : row_);
}

bool TCustomGrid::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  if (!TCustomControl::DoMouseWheelDown(Shift, MousePos)) FocusCell(col_, row_ + 1);
  return true;
}

bool TCustomGrid::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  if (!TCustomControl::DoMouseWheelUp(Shift, MousePos)) FocusCell(col_, row_ - 1);
  return true;
}

void TCustomGrid::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_PAINT:
    TCustomControl::Dispatch(Message);
    if (HandleAllocated()) PaintNonClient(Handle());
    return;
  case WM_GETDLGCODE:
    Message.Result = DLGC_WANTARROWS;
    return;
  case WM_SETFOCUS:
  case WM_KILLFOCUS:
    TCustomControl::Dispatch(Message);
    InvalidateCell(col_, row_);
    return;
  case WM_SIZE:
    TCustomControl::Dispatch(Message);
    Invalidate();
    return;
  default:
    TCustomControl::Dispatch(Message);
  }
}

// ---- TDrawGrid

namespace {
template <class B> void gridProps(B& b) {
  using G = TCustomGrid;
  b.With(published::Align)
      .With(published::Anchors)
      .template Enum<TBorderStyle>("BorderStyle", &G::BorderStyle, &G::SetBorderStyle, TBorderStyle::bsSingle)
      .With(published::Color(clWindow))
      .Int("ColCount", &G::ColCount, &G::SetColCount, 5)
      .With(published::Constraints)
      .With(published::Ctl3D)
      .Int("DefaultColWidth", &G::DefaultColWidth, &G::SetDefaultColWidth, 64)
      .Int("DefaultRowHeight", &G::DefaultRowHeight, &G::SetDefaultRowHeight, 24)
      .Bool("DefaultDrawing", &G::DefaultDrawing, &G::SetDefaultDrawing, true)
      .With(published::Enabled)
      .IdentInt("FixedColor", ColorIdents(), &G::FixedColor, &G::SetFixedColor, clBtnFace)
      .Int("FixedCols", &G::FixedCols, &G::SetFixedCols, 1)
      .Int("RowCount", &G::RowCount, &G::SetRowCount, 5)
      .Int("FixedRows", &G::FixedRows, &G::SetFixedRows, 1)
      .With(published::Font)
      .Int("GridLineWidth", &G::GridLineWidth, &G::SetGridLineWidth, 1)
      .template Set<TGridOption>("Options", &G::Options, &G::SetOptions,
                                 TGridOptions{TGridOption::goFixedVertLine, TGridOption::goFixedHorzLine,
                                              TGridOption::goVertLine, TGridOption::goHorzLine,
                                              TGridOption::goRangeSelect})
      .With(published::ParentColor)
      .With(published::ParentCtl3D)
      .With(published::ParentFont)
      .template Enum<TScrollStyle>("ScrollBars", &G::ScrollBars, &G::SetScrollBars, TScrollStyle::ssBoth)
      .With(published::ShowHint)
      .With(published::TabOrder)
      .With(published::TabStopOn)
      .With(published::Visible)
      .With(published::OnClick)
      .With(published::OnDblClick)
      .With(published::KeyEvents)
      .With(published::MouseEvents)
      .Event("OnSelectCell", &G::OnSelectCell)
      .Event("OnTopLeftChanged", &G::OnTopLeftChanged);
}
} // namespace

const TClassInfo& TDrawGrid::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TDrawGrid, TCustomGrid>("TDrawGrid")
                                     .With([](auto& b) { gridProps(b); })
                                     .Event("OnDrawCell", &TDrawGrid::OnDrawCell)
                                     .Build();
  return info;
}

TDrawGrid::TDrawGrid(TComponent* AOwner) : TCustomGrid(AOwner) {}

void TDrawGrid::DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) {
  OnDrawCell(this, ACol, ARow, ARect, AState);
}

// ---- TStringGrid

const TClassInfo& TStringGrid::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TStringGrid, TDrawGrid>("TStringGrid").Build();
  return info;
}

TStringGrid::TStringGrid(TComponent* AOwner) : TDrawGrid(AOwner) {}

const std::string& TStringGrid::Cells(int ACol, int ARow) const {
  static const std::string empty;
  const auto it = cells_.find({ACol, ARow});
  return it == cells_.end() ? empty : it->second.text;
}
void TStringGrid::SetCells(int ACol, int ARow, const std::string& Value) {
  if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
    throw EListError("Grid index out of range");
  cells_[{ACol, ARow}].text = Value;
  InvalidateCell(ACol, ARow);
}
TObject* TStringGrid::Objects(int ACol, int ARow) const {
  const auto it = cells_.find({ACol, ARow});
  return it == cells_.end() ? nullptr : it->second.object;
}
void TStringGrid::SetObjects(int ACol, int ARow, TObject* Value) {
  if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
    throw EListError("Grid index out of range");
  cells_[{ACol, ARow}].object = Value;
}

void TStringGrid::DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) {
  if (DefaultDrawing()) Canvas().TextRect(ARect, ARect.Left + 2, ARect.Top + 2, Cells(ACol, ARow));
  TDrawGrid::DrawCell(ACol, ARow, ARect, AState);
}

void RegisterGrids() { RegisterClasses({&TDrawGrid::StaticClassInfo(), &TStringGrid::StaticClassInfo()}); }

} // namespace kv::platform
