// DBGrids: the data source that links controls to a data set of the database engine, and the
// data grid that shows the data set's fields as columns and its records as rows: a title row
// with the field names, an indicator column that marks the current record, and a current row
// that is the data set's current record in both directions (moving the grid's row moves the
// data set, and the grid shows where the data set stands).
//
// The engine's data sets do not tell anybody when they move, so a program that moves one
// directly calls its data source's DataSetChanged to have the linked grids follow at once;
// every paint shows the data set's state in any case. The grid shows; it does not edit.
#pragma once

#include "Platform/Database/Database.h"
#include "Platform/Ui/Grids.h"

#include <vector>

namespace kv::platform {

class TDataSource;

// What a control keeps of its link to a data source.
class TDataLink {
public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* Value);
  // The data set behind the source, when the source is enabled; nullptr otherwise.
  TDataSet* DataSet() const;
  // An active data set behind an enabled source.
  bool Active() const;

protected:
  friend class TDataSource;
  // The data set moved, opened, closed or was replaced.
  virtual void DataSetChanged() {}

private:
  TDataSource* source_ = nullptr;
};

using TDataChangeEvent = TEvent<TObject*, TField*>;

class TDataSource : public TComponent {
  KV_CLASS_INFO(TDataSource)
public:
  explicit TDataSource(TComponent* AOwner);
  ~TDataSource() override;

  // The data set is not a component: its owner keeps it alive for as long as the source points
  // to it, or sets the source's data set to nullptr before freeing it.
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* Value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);

  // Tells the linked controls (and OnDataChange) that the data set moved or changed.
  void DataSetChanged();

  TDataChangeEvent OnDataChange;

private:
  friend class TDataLink;
  std::vector<TDataLink*> links_;
  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
};

enum class TDBGridOption {
  dgEditing,
  dgAlwaysShowEditor,
  dgTitles,
  dgIndicator,
  dgColumnResize,
  dgColLines,
  dgRowLines,
  dgTabs,
  dgRowSelect,
  dgAlwaysShowSelection,
  dgConfirmDelete,
  dgCancelOnExit,
  dgMultiSelect
};
KV_ENUM_NAMES(TDBGridOption, "dgEditing", "dgAlwaysShowEditor", "dgTitles", "dgIndicator", "dgColumnResize",
              "dgColLines", "dgRowLines", "dgTabs", "dgRowSelect", "dgAlwaysShowSelection", "dgConfirmDelete",
              "dgCancelOnExit", "dgMultiSelect")
using TDBGridOptions = TSet<TDBGridOption>;
inline constexpr auto dgTitles = TDBGridOption::dgTitles;
inline constexpr auto dgIndicator = TDBGridOption::dgIndicator;
inline constexpr auto dgColLines = TDBGridOption::dgColLines;
inline constexpr auto dgRowLines = TDBGridOption::dgRowLines;
inline constexpr auto dgTabs = TDBGridOption::dgTabs;
inline constexpr auto dgRowSelect = TDBGridOption::dgRowSelect;
inline constexpr auto dgAlwaysShowSelection = TDBGridOption::dgAlwaysShowSelection;

TDBGridOptions DefaultDBGridOptions();

// Sender, the cell's rectangle, the field (nullptr in an empty grid), the cell's state.
using TDrawDataCellEvent = TEvent<TObject*, const TRect&, TField*, TGridDrawState>;

class TCustomDBGrid : public TCustomGrid {
  KV_CLASS_INFO(TCustomDBGrid)
public:
  explicit TCustomDBGrid(TComponent* AOwner);
  ~TCustomDBGrid() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* Value);
  TDBGridOptions Options() const { return dbOptions_; }
  void SetOptions(TDBGridOptions Value);
  TFont& TitleFont() { return titleFont_; }
  const TFont& TitleFont() const { return titleFont_; }
  void SetTitleFont(const TFont& Value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool Value) { readOnly_ = Value; }

  // The field of the current column (nullptr without an active data set).
  TField* SelectedField();
  int SelectedIndex() const;
  void SetSelectedIndex(int Value);
  // The field shown in a grid column (nullptr for the indicator and in an empty grid).
  TField* FieldOfColumn(int ACol);
  // The grid row that shows the data set's current record.
  int CurrentRecordRow() const;
  // Shows the data set as it stands now: columns, rows and the current record.
  void LayoutChanged();

  TDrawDataCellEvent OnDrawDataCell;

  void Dispatch(TMessage& Message) override;

protected:
  void DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) override;
  bool SelectCell(int ACol, int ARow) override;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  int titleRows() const { return dbOptions_.Contains(dgTitles) ? 1 : 0; }
  int indicatorCols() const { return dbOptions_.Contains(dgIndicator) ? 1 : 0; }

private:
  class GridLink : public TDataLink {
  public:
    explicit GridLink(TCustomDBGrid& grid) : grid_(grid) {}

  protected:
    void DataSetChanged() override { grid_.LayoutChanged(); }

  private:
    TCustomDBGrid& grid_;
  };
  // Moves the data set to a 0-based record by single steps.
  static void stepTo(TDataSet& DataSet, int Index);
  // Puts the data set back on a record with the Bof and Eof flags it had there.
  static void restore(TDataSet& DataSet, int Index, bool Bof, bool Eof);
  void applyOptions();
  void drawIndicator(const TRect& R);

  GridLink link_{*this};
  TDBGridOptions dbOptions_;
  TFont titleFont_;
  bool readOnly_ = false;
  bool syncing_ = false;
  // The current record's row while a paint steps the data set through the rows; -1 otherwise.
  int paintCurrentRow_ = -1;
};

class TDBGrid : public TCustomDBGrid {
  KV_CLASS_INFO(TDBGrid)
public:
  explicit TDBGrid(TComponent* AOwner);
};

void RegisterDBGrids();

} // namespace kv::platform
