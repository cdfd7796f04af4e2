// Grids: the grid of cells with fixed (title) rows and columns, its drawing in the classic look,
// cell selection by mouse and keys; the draw grid that leaves each cell to its owner, and the
// string grid that keeps a text (and an object) per cell.
#pragma once

#include "Platform/Ui/Controls.h"
#include "Platform/Ui/StdCtrls.h"

#include <map>
#include <utility>
#include <vector>

namespace kv::platform {

enum class TGridDrawStateItem { gdSelected, gdFocused, gdFixed };
using TGridDrawState = TSet<TGridDrawStateItem>;
inline constexpr auto gdSelected = TGridDrawStateItem::gdSelected;
inline constexpr auto gdFocused = TGridDrawStateItem::gdFocused;
inline constexpr auto gdFixed = TGridDrawStateItem::gdFixed;

enum class TGridOption {
  goFixedVertLine,
  goFixedHorzLine,
  goVertLine,
  goHorzLine,
  goRangeSelect,
  goDrawFocusSelected,
  goRowSizing,
  goColSizing,
  goRowMoving,
  goColMoving,
  goEditing,
  goTabs,
  goRowSelect,
  goAlwaysShowEditor,
  goThumbTracking
};
KV_ENUM_NAMES(TGridOption, "goFixedVertLine", "goFixedHorzLine", "goVertLine", "goHorzLine", "goRangeSelect",
              "goDrawFocusSelected", "goRowSizing", "goColSizing", "goRowMoving", "goColMoving", "goEditing",
              "goTabs", "goRowSelect", "goAlwaysShowEditor", "goThumbTracking")
using TGridOptions = TSet<TGridOption>;

// The wheel: Sender, shift state, wheel delta (120 per notch, positive away from the user), the
// pointer in screen coordinates, Handled.
using TDrawCellEvent = TEvent<TObject*, int, int, TRect, TGridDrawState>;
using TSelectCellEvent = TEvent<TObject*, int, int, bool&>;

class TCustomGrid : public TCustomControl {
  KV_CLASS_INFO(TCustomGrid)
public:
  explicit TCustomGrid(TComponent* AOwner);
  ~TCustomGrid() override;

  int ColCount() const { return cols_.count; }
  void SetColCount(int Value);
  int RowCount() const { return rows_.count; }
  void SetRowCount(int Value);
  int FixedCols() const { return cols_.fixed; }
  void SetFixedCols(int Value);
  int FixedRows() const { return rows_.fixed; }
  void SetFixedRows(int Value);
  int DefaultColWidth() const { return cols_.defaultSize; }
  void SetDefaultColWidth(int Value);
  int DefaultRowHeight() const { return rows_.defaultSize; }
  void SetDefaultRowHeight(int Value);
  int GridLineWidth() const { return gridLineWidth_; }
  void SetGridLineWidth(int Value);
  TGridOptions Options() const { return options_; }
  void SetOptions(TGridOptions Value);
  TColor FixedColor() const { return fixedColor_; }
  void SetFixedColor(TColor Value);
  bool DefaultDrawing() const { return defaultDrawing_; }
  void SetDefaultDrawing(bool Value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle Value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);

  int ColWidths(int Index) const { return cols_.size(Index); }
  void SetColWidths(int Index, int Value);
  int RowHeights(int Index) const { return rows_.size(Index); }
  void SetRowHeights(int Index, int Value);

  // The current cell (a non-fixed one).
  int Col() const { return col_; }
  void SetCol(int Value) { FocusCell(Value, row_); }
  int Row() const { return row_; }
  void SetRow(int Value) { FocusCell(col_, Value); }
  // The first non-fixed column and row shown.
  int LeftCol() const { return cols_.first; }
  void SetLeftCol(int Value);
  int TopRow() const { return rows_.first; }
  void SetTopRow(int Value);
  int VisibleColCount() const;
  int VisibleRowCount() const;

  // The rectangle of a cell in client coordinates; empty when the cell is not shown.
  TRect CellRect(int ACol, int ARow) const;
  // The cell under a client point; false (-1, -1) outside every cell.
  bool MouseToCell(int X, int Y, int& ACol, int& ARow) const;
  // Makes a non-fixed cell the current one (OnSelectCell may refuse) and scrolls it into view.
  void FocusCell(int ACol, int ARow);
  void InvalidateCell(int ACol, int ARow);

  TSelectCellEvent OnSelectCell;
  TNotifyEvent OnTopLeftChanged;

  void Dispatch(TMessage& Message) override;

protected:
  // Draws one cell; the grid has filled its background (DefaultDrawing) before.
  virtual void DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) = 0;
  virtual bool SelectCell(int ACol, int ARow);
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  // The wheel: the events first; unhandled, a notch moves the current row by one.
  bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos) override;
  bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos) override;
  // Client rectangle in device coordinates of the paint context (for clipping one cell).
  TRect toDevice(const TRect& R);
  void sizeChanged();

private:
  // The columns and the rows keep to one rule each way: the fixed ones first, then the scrollable
  // ones from the first shown; every one its own size, the grid line after it.
  struct Axis {
    int count, fixed, defaultSize, first = 1;
    std::vector<int> sizes = std::vector<int>(static_cast<size_t>(count), defaultSize);
    int size(int Index) const;
    void setCount(int Value);
    void setDefaultSize(int Value);
    // At least one stays scrollable, as the class library demands; Refusal is its message.
    void setFixed(int Value, const char* Refusal);
    void setSize(int Index, int Value);
    // Kept within the scrollable ones (the last one when all are fixed).
    int scrollable(int Index) const;
    // The offset of one in the client area; -1 when it is not shown.
    int start(int Index, int LineWidth) const;
    // How many from the first shown fit whole into Extent.
    int shown(int Extent, int LineWidth) const;
    // The one under an offset, its grid line included; -1 past them all.
    int at(int Offset, int LineWidth) const;
  };
  void clampCurrent();
  void scrollTo(Axis& Which, int First);
  int colLeft(int ACol) const { return cols_.start(ACol, gridLineWidth_); } // -1 when not shown
  int rowTop(int ARow) const { return rows_.start(ARow, gridLineWidth_); }
  Axis cols_{5, 1, 64}, rows_{5, 1, 24};
  int gridLineWidth_ = 1;
  TGridOptions options_{TGridOption::goFixedVertLine, TGridOption::goFixedHorzLine, TGridOption::goVertLine,
                        TGridOption::goHorzLine, TGridOption::goRangeSelect};
  TColor fixedColor_ = clBtnFace;
  bool defaultDrawing_ = true;
  TScrollStyle scrollBars_ = TScrollStyle::ssBoth;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  int col_ = 1, row_ = 1;
};

// A grid whose cells its owner draws (OnDrawCell).
class TDrawGrid : public TCustomGrid {
  KV_CLASS_INFO(TDrawGrid)
public:
  explicit TDrawGrid(TComponent* AOwner);
  TDrawCellEvent OnDrawCell;

protected:
  void DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) override;
};

// A grid with a text and an object per cell; the default drawing writes the text at
// (Left + 2, Top + 2), clipped to the cell.
class TStringGrid : public TDrawGrid {
  KV_CLASS_INFO(TStringGrid)
public:
  explicit TStringGrid(TComponent* AOwner);
  const std::string& Cells(int ACol, int ARow) const;
  void SetCells(int ACol, int ARow, const std::string& Value);
  TObject* Objects(int ACol, int ARow) const;
  void SetObjects(int ACol, int ARow, TObject* Value);

protected:
  void DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) override;

private:
  struct Cell {
    std::string text;
    TObject* object = nullptr;
  };
  std::map<std::pair<int, int>, Cell> cells_;
};

void RegisterGrids();

} // namespace kv::platform
