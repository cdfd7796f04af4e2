// The extended database grid over a real Paradox table: the data grid's rows follow the data
// set both ways (mouse, keys, a program's moves), a paint leaves the data set where it stood,
// and in drop-down mode a pick or a press elsewhere hides the grid and tells the host once.
#include "ExtDBGrid.h"

#include "TestSupport.h"
#include "WindowTestSupport.h"

#include "Platform/Rtl/Streaming.h"
#include "Platform/Ui/StdCtrls.h"

#include <algorithm>

using namespace kv::platform;
using namespace ExtDBGrid;

namespace {

class ExtDBGridTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    kvtest::UiTest::SetUp();
    CreateTable(dir.path() / "PEOPLE.DB",
                {{"Name", TFieldType::ftString, 20}, {"Age", TFieldType::ftInteger, 0}},
                {{std::string("Anna"), std::int64_t{31}},
                 {std::string("Bert"), std::int64_t{42}},
                 {std::string("Cora"), std::int64_t{27}},
                 {std::string("Dirk"), std::int64_t{55}},
                 {std::string("Emma"), std::int64_t{19}}});
    CreateTable(dir.path() / "ONE.DB", {{"Name", TFieldType::ftString, 20}}, {{std::string("Solo")}});
    CreateTable(dir.path() / "NONE.DB", {{"Name", TFieldType::ftString, 20}}, {});
  }
  void TearDown() override {
    if (source) source->SetDataSet(nullptr);
    form = nullptr;
    kvtest::UiTest::TearDown();
    table.reset();
  }

  // A frameless form with a frameless grid at its top left over the named table. Rows are
  // 18 pixels high with a 1-pixel line: the title row covers y 0..18, data row k (1-based)
  // starts at y = 19 * k. The indicator column is 11 wide, data columns 64: column 1 starts
  // at x = 12, column 2 at x = 77.
  TExtDBGrid* makeGrid(const std::string& tableName = "PEOPLE") {
    table = std::make_unique<TTable>();
    table->DatabaseName = dir.path().string();
    table->TableName = tableName;
    table->Open();
    form = TCustomForm::CreateNew<TForm>(&Application());
    form->SetBorderStyle(TBorderStyle::bsNone);
    form->SetBounds(0, 0, 400, 300);
    source = new TDataSource(form);
    source->SetDataSet(table.get());
    auto* g = new TExtDBGrid(form);
    g->SetBorderStyle(TBorderStyle::bsNone);
    g->SetBounds(0, 0, 380, 200);
    g->SetParent(form);
    g->SetDataSource(source);
    form->Show();
    Application().ProcessMessages();
    return g;
  }
  static TPoint cellPoint(TControl* g, int col, int row) {
    const int x = col == 0 ? 5 : 12 + 65 * (col - 1) + 10;
    return g->ClientToScreen(TPoint{x, 19 * row + 5});
  }
  static void clickCell(TControl* g, int col, int row) {
    HeadlessPresenter::click(cellPoint(g, col, row));
    Application().ProcessMessages();
  }
  static void key(int vk) {
    HeadlessPresenter::key(vk);
    Application().ProcessMessages();
  }
  static void chord(int modifier, int vk) {
    HeadlessPresenter::keyDown(modifier);
    HeadlessPresenter::key(vk);
    HeadlessPresenter::keyUp(modifier);
    Application().ProcessMessages();
  }
  static bool logHas(const std::vector<std::string>& log, const std::string& part) {
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }

  kvtest::TempDir dir;
  std::unique_ptr<TTable> table;
  TForm* form = nullptr;
  TDataSource* source = nullptr;
};

} // namespace

TEST_F(ExtDBGridTest, FieldsAreColumnsAndRecordsAreRowsBehindTitlesAndIndicator) {
  TExtDBGrid* g = makeGrid();
  EXPECT_EQ(g->ColCount(), 3); // indicator + Name + Age
  EXPECT_EQ(g->RowCount(), 6); // titles + five records
  EXPECT_EQ(g->FixedCols(), 1);
  EXPECT_EQ(g->FixedRows(), 1);
  EXPECT_EQ(g->Row(), 1);
  EXPECT_EQ(g->FieldOfColumn(0), nullptr);
  ASSERT_NE(g->FieldOfColumn(2), nullptr);
  EXPECT_EQ(g->FieldOfColumn(2)->FieldName(), "Age");

  const auto log = kvtest::paintLog(g);
  for (const char* text : {"'Name'", "'Age'", "'Anna'", "'31'", "'Cora'", "'Emma'", "'19'"})
    EXPECT_TRUE(logHas(log, text)) << text;

  // Without titles and indicator the records start at the top left.
  g->SetOptions(TDBGridOptions{dgColLines, dgRowLines});
  EXPECT_EQ(g->ColCount(), 2);
  EXPECT_EQ(g->RowCount(), 5);
  EXPECT_EQ(g->FixedCols(), 0);
  EXPECT_EQ(g->FixedRows(), 0);
  EXPECT_EQ(g->Row(), 0);
  EXPECT_FALSE(logHas(kvtest::paintLog(g), "'Name'"));
}

TEST_F(ExtDBGridTest, EmptyAndMissingDataShowOneBlankRow) {
  TExtDBGrid* g = makeGrid("NONE");
  EXPECT_EQ(g->RowCount(), 2);
  EXPECT_EQ(g->ColCount(), 2);
  clickCell(g, 1, 1); // nothing to move to
  EXPECT_EQ(table->RecNo(), 0);
  EXPECT_TRUE(table->Eof());
  // A disabled source and a closed data set show nothing either.
  source->SetDataSet(nullptr);
  EXPECT_EQ(g->SelectedField(), nullptr);
  EXPECT_FALSE(logHas(kvtest::paintLog(g), "'Name'"));
}

TEST_F(ExtDBGridTest, APressOnARowMovesTheDataSetToItsRecord) {
  TExtDBGrid* g = makeGrid();
  const struct {
    int col, row;
    std::string name;
    int selectedIndex;
  } rows[] = {{1, 3, "Cora", 0}, {2, 5, "Emma", 1}, {1, 1, "Anna", 0}, {2, 2, "Bert", 1}};
  for (const auto& r : rows) {
    clickCell(g, r.col, r.row);
    EXPECT_EQ(table->RecNo(), r.row) << r.name;
    EXPECT_EQ(table->FieldByName("Name").AsString(), r.name);
    EXPECT_EQ(g->SelectedIndex(), r.selectedIndex) << r.name;
    EXPECT_EQ(g->SelectedField()->FieldName(), r.selectedIndex == 0 ? "Name" : "Age");
  }
  // A press on a title or the indicator moves nothing.
  clickCell(g, 1, 0);
  clickCell(g, 0, 4);
  EXPECT_EQ(table->RecNo(), 2);
}

TEST_F(ExtDBGridTest, KeysMoveTheDataSet) {
  TExtDBGrid* g = makeGrid();
  g->SetFocus();
  // Each row: the keys pressed (with an optional modifier), then the record and column.
  const struct {
    int modifier, vk, recNo, col;
  } rows[] = {
      {0, VK_DOWN, 2, 1},          {0, VK_DOWN, 3, 1},  {0, VK_UP, 2, 1},   {VK_CONTROL, VK_END, 5, 1},
      {0, VK_DOWN, 5, 1},                             // no record after the last
      {VK_CONTROL, VK_HOME, 1, 1}, {0, VK_UP, 1, 1},  // none before the first
      {0, VK_TAB, 1, 2},           {0, VK_TAB, 1, 2}, // the last column stays
      {VK_SHIFT, VK_TAB, 1, 1},    {0, VK_RIGHT, 1, 2}, {0, VK_NEXT, 5, 2}, {0, VK_PRIOR, 1, 2},
  };
  int step = 0;
  for (const auto& r : rows) {
    if (r.modifier)
      chord(r.modifier, r.vk);
    else
      key(r.vk);
    EXPECT_EQ(table->RecNo(), r.recNo) << "step " << step;
    EXPECT_EQ(g->Row(), r.recNo) << "step " << step;
    EXPECT_EQ(g->Col(), r.col) << "step " << step;
    ++step;
  }
}

TEST_F(ExtDBGridTest, TheGridFollowsAProgramsMovesOfTheDataSet) {
  TExtDBGrid* g = makeGrid();
  table->Next();
  table->Next();
  source->DataSetChanged();
  EXPECT_EQ(g->Row(), 3);
  table->Last();
  g->Invalidate(); // a paint shows it as well
  Application().ProcessMessages();
  EXPECT_EQ(g->Row(), 5);
  // A press on the row the grid showed before the program moved still moves the data set.
  table->First();
  clickCell(g, 1, 5);
  EXPECT_EQ(table->RecNo(), 5);
}

TEST_F(ExtDBGridTest, PaintingLeavesTheDataSetWhereItStood) {
  // Each row: the table, the moves before the paint; the record and flags expected after it,
  // as the engine's moves leave them (worked out by hand from First, Next, Prior and Last).
  const struct {
    std::string table;
    std::vector<char> moves; // F first, N next, P prior, L last
    int recNo;
    bool bof, eof;
  } rows[] = {
      {"PEOPLE", {'F'}, 1, true, false},
      {"PEOPLE", {'F', 'N', 'P'}, 1, false, false},
      {"PEOPLE", {'F', 'N', 'N'}, 3, false, false},
      {"PEOPLE", {'L'}, 5, false, true},
      {"PEOPLE", {'L', 'P', 'N'}, 5, false, false},
      {"ONE", {'F'}, 1, true, false},
      {"ONE", {'F', 'N'}, 1, true, true},
      {"ONE", {'L'}, 1, false, true},
  };
  for (const auto& r : rows) {
    ResetApplication();
    Application().Initialize();
    TExtDBGrid* g = makeGrid(r.table);
    for (char m : r.moves) {
      if (m == 'F') table->First();
      if (m == 'N') table->Next();
      if (m == 'P') table->Prior();
      if (m == 'L') table->Last();
    }
    const auto log = kvtest::paintLog(g);
    EXPECT_TRUE(logHas(log, r.table == "ONE" ? "'Solo'" : "'Emma'"));
    EXPECT_EQ(table->RecNo(), r.recNo) << r.table << " " << r.moves.size();
    EXPECT_EQ(table->Bof(), r.bof) << r.table << " " << r.moves.size();
    EXPECT_EQ(table->Eof(), r.eof) << r.table << " " << r.moves.size();
    source->SetDataSet(nullptr);
  }
}

TEST_F(ExtDBGridTest, OutsideDropDownModeTheGridStaysAndNeverSaysHide) {
  TExtDBGrid* g = makeGrid();
  auto* button = new TButton(form);
  button->SetBounds(0, 250, 80, 24);
  button->SetParent(form);
  int hides = 0;
  g->onhide.Bind([&](TObject*) { ++hides; });
  g->SetFocus();
  clickCell(g, 1, 4);
  EXPECT_EQ(table->RecNo(), 4);
  HeadlessPresenter::click(button->ClientToScreen(TPoint{10, 10}));
  Application().ProcessMessages();
  g->Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(button));
  EXPECT_TRUE(g->Visible());
  EXPECT_EQ(hides, 0);
}

TEST_F(ExtDBGridTest, InDropDownModeAPickHidesOnReleaseAndSaysSoOnceBeforeMouseUp) {
  TExtDBGrid* g = makeGrid();
  g->DropDownMode = true;
  g->SetFocus();
  std::vector<std::string> events;
  std::string picked;
  g->onhide.Bind([&](TObject* sender) {
    EXPECT_EQ(sender, g);
    EXPECT_FALSE(g->Visible());
    picked = table->FieldByName("Name").AsString();
    events.push_back("hide");
  });
  g->OnMouseUp.Bind([&](TObject*, TMouseButton, TShiftState, int, int) { events.push_back("up"); });
  HeadlessPresenter::mouseDown(cellPoint(g, 1, 3));
  Application().ProcessMessages();
  // The press on the grid itself (which also tells the active grid that the mouse mode ends)
  // leaves it open.
  EXPECT_TRUE(g->Visible());
  EXPECT_TRUE(events.empty());
  HeadlessPresenter::mouseUp(cellPoint(g, 1, 3));
  Application().ProcessMessages();
  EXPECT_FALSE(g->Visible());
  EXPECT_EQ(events, (std::vector<std::string>{"hide", "up"}));
  EXPECT_EQ(picked, "Cora");
}

TEST_F(ExtDBGridTest, InDropDownModeCancelModeHidesUnlessTheGridItselfSentIt) {
  TExtDBGrid* g = makeGrid();
  auto* edit = new TEdit(form);
  edit->SetBounds(0, 250, 80, 24);
  edit->SetParent(form);
  g->DropDownMode = true;
  int hides = 0;
  g->onhide.Bind([&](TObject*) { ++hides; });

  g->Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(g));
  EXPECT_TRUE(g->Visible());
  EXPECT_EQ(hides, 0);

  // The user clicks elsewhere on the form while the grid is the active control.
  g->SetFocus();
  ASSERT_EQ(form->ActiveControl(), g);
  HeadlessPresenter::click(edit->ClientToScreen(TPoint{10, 10}));
  Application().ProcessMessages();
  EXPECT_FALSE(g->Visible());
  EXPECT_EQ(hides, 1);
  EXPECT_EQ(table->RecNo(), 1); // nothing picked
}

TEST_F(ExtDBGridTest, AddedPropertiesAreAlwaysStoredInTheirOrder) {
  TExtDBGrid* g = makeGrid();
  g->SetName("Pick");
  std::string text = WriteComponentText(*g);
  const auto lines = text.find("LinesPerRow = 0"), drop = text.find("DropDownMode = False"),
             thumb = text.find("ThumbTrack = False");
  ASSERT_NE(lines, std::string::npos) << text;
  ASSERT_NE(drop, std::string::npos) << text;
  ASSERT_NE(thumb, std::string::npos) << text;
  EXPECT_LT(lines, drop);
  EXPECT_LT(drop, thumb);

  // Read back into a fresh grid: the stored values and the data source by name.
  auto* other = static_cast<TExtDBGrid*>(CreateComponentFromText(
      "object Other: TExtDBGrid\n  LinesPerRow = 3\n  DropDownMode = True\n  ThumbTrack = True\nend\n",
      "t.kfm", form));
  EXPECT_EQ(other->LinesPerRow, 3);
  EXPECT_TRUE(other->DropDownMode);
  EXPECT_TRUE(other->ThumbTrack);
}

TEST_F(ExtDBGridTest, AFreedDataSourceLeavesAnEmptyGrid) {
  TExtDBGrid* g = makeGrid();
  TComponent::Free(source);
  source = nullptr;
  EXPECT_EQ(g->DataSource(), nullptr);
  g->Invalidate();
  Application().ProcessMessages();
  EXPECT_EQ(g->RowCount(), 2);
}

TEST_F(ExtDBGridTest, RegisterPutsTheGridOnTheKorvalisPage) {
  kvtest::expectPalette(Register, "Korvalis", {"TExtDBGrid"});
}
