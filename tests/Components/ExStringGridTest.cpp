// The extended string grid: where its cells' texts land by column alignment, the title row in
// its own (turned) font, a host that takes cells over, and the alignment list's limits.
#include "ExStringGrid.h"

#include "WindowTestSupport.h"

#include "Platform/Rtl/Streaming.h"

#include <algorithm>

using namespace kv::platform;
using namespace ExStringGrid;

namespace {

class ExStringGridTest : public kvtest::UiTest {
protected:
  // A frameless form holding a frameless grid whose column 1 runs from x = 100 to 200 and whose
  // font is 5 pixels per character in the recording context (height -9).
  TExStringGrid* makeGrid() {
    form = TCustomForm::CreateNew<TForm>(&Application());
    form->SetBorderStyle(TBorderStyle::bsNone);
    form->SetBounds(0, 0, 400, 300);
    auto* g = new TExStringGrid(form);
    g->SetBorderStyle(TBorderStyle::bsNone);
    g->SetBounds(0, 0, 380, 280);
    g->SetParent(form);
    g->Font().SetName("Arial");
    g->Font().SetHeight(-9);
    g->SetColCount(3);
    g->SetRowCount(3);
    g->SetColWidths(0, 99);
    g->SetColWidths(1, 100);
    g->SetRowHeights(0, 60);
    return g;
  }
  // The drawing of one paint of the grid.
  std::vector<std::string> paint(TExStringGrid* g) {
    form->Show();
    Application().ProcessMessages();
    return kvtest::paintLog(g);
  }
  static int find(const std::vector<std::string>& log, const std::string& line) {
    const auto it = std::find(log.begin(), log.end(), line);
    return it == log.end() ? -1 : static_cast<int>(it - log.begin());
  }
  TForm* form = nullptr;
};

} // namespace

TEST_F(ExStringGridTest, DataCellsFollowTheirColumnsAlignment) {
  struct Row {
    int count; // SetCellAlignCount
    TGridCellAlign align;
    std::string expected;
  };
  // Column 1: Left 100, Right 200, Top 61; "abcd" is 20 pixels wide.
  const Row rows[] = {
      {0, gcaRight, "textOut 102,63 'abcd'"}, // no count: every cell left-aligned
      {2, gcaLeft, "textOut 102,63 'abcd'"},
      {2, gcaCenter, "textOut 140,63 'abcd'"}, // 102 + (96 - 20) div 2
      {2, gcaRight, "textOut 178,63 'abcd'"},  // 200 - 2 - 20
  };
  for (const Row& r : rows) {
    ResetApplication();
    Application().Initialize();
    TExStringGrid* g = makeGrid();
    g->SetCellAlignCount(r.count);
    g->SetCellAlign(1, r.align);
    g->SetCells(1, 1, "abcd");
    const auto log = paint(g);
    EXPECT_GE(find(log, r.expected), 0) << r.expected;
    EXPECT_GE(find(log, "setClipRect 100,61,200,85"), 0);
  }
}

TEST_F(ExStringGridTest, TitleRowUsesTheHeadFontFromNearTheBottomAndIgnoresAlignment) {
  TExStringGrid* g = makeGrid();
  g->SetCellAlignCount(3);
  g->SetCellAlign(1, gcaRight);
  uExFont::TExFont head;
  head.SetName("Arial");
  head.SetHeight(-12);
  head.SetAngle(900);
  head.SetStyle({fsBold});
  g->SetColHeadFont(head);
  EXPECT_NE(&g->ColHeadFont(), &head); // the grid keeps its own font
  g->SetCells(1, 0, "Title");
  const auto log = paint(g);
  const int text = find(log, "textOut 102,56 'Title'"); // (Left + 2, Bottom - 4)
  ASSERT_GE(text, 0);
  ASSERT_GE(text, 2);
  EXPECT_EQ(log[size_t(text) - 1].rfind("setFont 'Arial' -12 ", 0), 0u) << log[size_t(text) - 1];
  EXPECT_NE(log[size_t(text) - 1].find("b esc=900"), std::string::npos);
  // The grid's own font is back for what follows.
  EXPECT_EQ(log[size_t(text) + 1].rfind("setFont 'Arial' -9 ", 0), 0u) << log[size_t(text) + 1];
  EXPECT_EQ(log[size_t(text) + 2], "setClipRect 0,0,380,280");
}

TEST_F(ExStringGridTest, AHostThatHandlesACellDrawsItAlone) {
  TExStringGrid* g = makeGrid();
  g->SetCells(1, 1, "mine");
  g->SetCells(2, 1, "yours");
  std::vector<std::pair<int, int>> seen;
  g->OnExDrawCell.Bind([&](TObject* sender, int c, int r, const TRect& rect, TGridDrawState, bool& handled) {
    EXPECT_EQ(sender, g);
    seen.emplace_back(c, r);
    if (c == 1 && r == 1) {
      EXPECT_EQ(rect, (TRect{100, 61, 200, 85}));
      handled = true;
    }
  });
  const auto log = paint(g);
  EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(1, 1)), seen.end());
  EXPECT_EQ(find(log, "setClipRect 100,61,200,85"), -1);
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find("'mine'") != std::string::npos; }),
            0);
  // Left alone, the handler gets the default drawing.
  EXPECT_GE(find(log, "textOut 203,63 'yours'"), 0);
}

TEST_F(ExStringGridTest, AlignmentListKeepsItsEntriesAndIgnoresWritesBeyondIt) {
  TExStringGrid* g = makeGrid();
  EXPECT_EQ(g->CellAlign(0), gcaLeft);
  g->SetCellAlign(5, gcaRight); // beyond the count
  EXPECT_EQ(g->CellAlign(5), gcaLeft);
  g->SetCellAlignCount(3);
  g->SetCellAlign(2, gcaCenter);
  g->SetCellAlignCount(6);
  EXPECT_EQ(g->CellAlign(2), gcaCenter);
  EXPECT_EQ(g->CellAlign(5), gcaLeft);
  g->SetCellAlignCount(2);
  EXPECT_EQ(g->CellAlign(2), gcaLeft);
  EXPECT_EQ(g->CellAlign(-1), gcaLeft);
  g->SetCellAlignCount(-4);
  EXPECT_EQ(g->CellAlignCount(), 0);
}

TEST_F(ExStringGridTest, TheHiddenMemoSitsOutsideTheGrid) {
  TExStringGrid* g = makeGrid();
  TMemo* memo = g->Memo();
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->Owner(), g);
  EXPECT_EQ(memo->Parent(), g);
  EXPECT_FALSE(memo->Visible());
  EXPECT_EQ(memo->Width(), 100);
  EXPECT_EQ(memo->Height(), 100);
  EXPECT_GT(memo->Left(), 0);
}

TEST_F(ExStringGridTest, StoredFormKeepsTheHeadFontAndTheHandler) {
  TExStringGrid* g = makeGrid();
  g->SetName("Grid1");
  g->ColHeadFont().SetAngle(900);
  g->ColHeadFont().SetName("Arial");
  const std::string text = WriteComponentText(*g);
  EXPECT_NE(text.find("ColHeadFont.Angle = 900"), std::string::npos) << text;
  EXPECT_NE(text.find("ColHeadFont.Name = 'Arial'"), std::string::npos);
  EXPECT_NE(text.find("ColHeadFont.Height = 0"), std::string::npos); // no stream default
  EXPECT_NE(GetClass("TExStringGrid"), nullptr);
}

TEST(ExStringGridRegister, PutsTheGridOnDolvane) {
  kvtest::expectPalette(ExStringGrid::Register, "Dolvane", {"TExStringGrid"});
}
