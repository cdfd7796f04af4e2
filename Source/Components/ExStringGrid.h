// A string grid that draws its cells itself: one horizontal alignment per column for the data
// rows, and the title row in its own font that may be turned (upright column titles). A host may
// take over any cell through OnExDrawCell.
#pragma once

#include "uExFont.h"

#include "Platform/Ui/Grids.h"
#include "Platform/Ui/StdCtrls.h"

#include <memory>
#include <vector>

namespace ExStringGrid {

using kv::platform::TComponent;
using kv::platform::TGridDrawState;
using kv::platform::TObject;
using kv::platform::TRect;

enum class TGridCellAlign : std::uint8_t { gcaLeft, gcaRight, gcaCenter };
KV_ENUM_NAMES(TGridCellAlign, "gcaLeft", "gcaRight", "gcaCenter")
inline constexpr auto gcaLeft = TGridCellAlign::gcaLeft;
inline constexpr auto gcaRight = TGridCellAlign::gcaRight;
inline constexpr auto gcaCenter = TGridCellAlign::gcaCenter;

// Sender, ACol, ARow, Rect, State, Handled.
using TExDrawCellEvent = kv::platform::TEvent<TObject*, int, int, const TRect&, TGridDrawState, bool&>;

class TExStringGrid : public kv::platform::TStringGrid {
  KV_CLASS_INFO(TExStringGrid)
public:
  explicit TExStringGrid(TComponent* AOwner);
  ~TExStringGrid() override;

  uExFont::TExFont& ColHeadFont() { return *colHeadFont_; }
  const uExFont::TExFont& ColHeadFont() const { return *colHeadFont_; }
  // Copies the given font into the grid's own one.
  void SetColHeadFont(const uExFont::TExFont& Value);

  TGridCellAlign CellAlign(int ACol) const { return GetCellAlign(ACol); }
  TGridCellAlign GetCellAlign(int ACol) const;
  // Only columns below the alignment count take an alignment; other writes are ignored.
  void SetCellAlign(int ACol, TGridCellAlign Value);
  int CellAlignCount() const { return alignCount_; }
  void SetCellAlignCount(int Value);

  TExDrawCellEvent OnExDrawCell;
  void SetOnExDrawCell(const TExDrawCellEvent& Value) { OnExDrawCell = Value; }

  kv::platform::TMemo* Memo() const { return memo_; }

protected:
  kv::platform::TMemo* CreateMemo();
  void DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) override;

private:
  std::unique_ptr<uExFont::TExFont> colHeadFont_;
  kv::platform::TMemo* memo_ = nullptr;
  std::vector<TGridCellAlign> aligns_;
  int alignCount_ = 0;
};

void Register();

} // namespace ExStringGrid
