#include "ControlTestSupport.h"

#include "Platform/Ui/StdCtrls.h"

#include <cmath>

using namespace kv::platform;
using namespace kvtest;

namespace {

class EditTest : public ControlTest {
protected:
  TEdit* makeEdit(TForm* form) {
    auto* e = new TEdit(form);
    e->SetParent(form);
    e->SetBounds(10, 10, 100, 21);
    return e;
  }
};

TEST_F(EditTest, TypingEditingAndTheCaret) {
  TForm* form = makeForm();
  TEdit* edit = makeEdit(form);
  int changes = 0;
  edit->OnChange.Bind([&](TObject*) { ++changes; });
  show(form);
  type("hello world");
  EXPECT_EQ(edit->Text(), "hello world");
  EXPECT_TRUE(edit->Modified());
  EXPECT_EQ(changes, 11);
  const struct {
    std::vector<int> keys; // a negative entry: the key with shift held
    std::string text;
    int selStart, selLength;
  } steps[] = {
      {{VK_HOME}, "hello world", 0, 0},
      {{VK_RIGHT, VK_RIGHT}, "hello world", 2, 0},
      {{-VK_RIGHT, -VK_RIGHT}, "hello world", 2, 2},
      {{VK_DELETE}, "heo world", 2, 0},
      {{VK_BACK}, "ho world", 1, 0},
      {{VK_END, -VK_LEFT, -VK_LEFT}, "ho world", 6, 2},
      {{VK_LEFT}, "ho world", 6, 0}, // left on a selection goes to its start
      {{VK_END, VK_DELETE}, "ho world", 8, 0},
      {{VK_HOME, VK_BACK}, "ho world", 0, 0},
  };
  for (const auto& s : steps) {
    for (int k : s.keys) {
      if (k < 0)
        chord(VK_SHIFT, -k);
      else
        key(k);
    }
    EXPECT_EQ(edit->Text(), s.text);
    EXPECT_EQ(edit->SelStart(), s.selStart) << s.text;
    EXPECT_EQ(edit->SelLength(), s.selLength) << s.text;
  }
  // Setting the text from the program: caret at the start, not modified, one change.
  const int before = changes;
  edit->SetText("abc");
  EXPECT_FALSE(edit->Modified());
  EXPECT_EQ(edit->SelStart(), 0);
  EXPECT_EQ(changes, before + 1);
}

TEST_F(EditTest, MaxLengthReadOnlyAndWholeCharacters) {
  TForm* form = makeForm();
  TEdit* edit = makeEdit(form);
  edit->SetMaxLength(5);
  show(form);
  type("abcdefgh");
  EXPECT_EQ(edit->Text(), "abcde");
  // Replacing a selection makes room for what replaces it.
  chord(VK_SHIFT, VK_LEFT);
  type("XY");
  EXPECT_EQ(edit->Text(), "abcdX");
  // The program may set a longer text; typing then adds nothing.
  edit->SetText("0123456789");
  type("z");
  EXPECT_EQ(edit->Text(), "0123456789");
  // A character of several bytes counts once and the caret never splits it.
  edit->SetMaxLength(0);
  edit->SetText("a\xC3\xA4"
                "b");
  key(VK_HOME);
  key(VK_RIGHT);
  key(VK_RIGHT);
  EXPECT_EQ(edit->SelStart(), 3);
  key(VK_BACK);
  EXPECT_EQ(edit->Text(), "ab");
  edit->SetMaxLength(2);
  Clipboard().SetAsText("\xC3\xA4\xC3\xB6");
  edit->SelectAll();
  chord(VK_CONTROL, 'V');
  EXPECT_EQ(edit->Text(), "\xC3\xA4\xC3\xB6");
  edit->SetReadOnly(true);
  type("q");
  key(VK_BACK);
  key(VK_DELETE);
  EXPECT_EQ(edit->Text(), "\xC3\xA4\xC3\xB6");
}

TEST_F(EditTest, ClipboardAndPasswordEdits) {
  TForm* form = makeForm();
  TEdit* edit = makeEdit(form);
  TEdit* secret = makeEdit(form);
  secret->SetTop(40);
  secret->SetPasswordChar('*');
  show(form);
  type("copy me");
  chord(VK_CONTROL, 'A');
  EXPECT_EQ(edit->SelLength(), 7);
  chord(VK_CONTROL, 'C');
  EXPECT_EQ(Clipboard().AsText(), "copy me");
  chord(VK_CONTROL, 'X');
  EXPECT_EQ(edit->Text(), "");
  Clipboard().SetAsText("line one\nline two");
  chord(VK_CONTROL, 'V');
  EXPECT_EQ(edit->Text(), "line one"); // one line only
  // A password edit shows stars and never gives its text to the clipboard.
  secret->SetFocus();
  run();
  type("pw");
  chord(VK_CONTROL, 'A');
  chord(VK_CONTROL, 'C');
  chord(VK_CONTROL, 'X');
  EXPECT_EQ(Clipboard().AsText(), "line one\nline two");
  EXPECT_EQ(secret->Text(), "pw");
}

TEST_F(EditTest, SunkenFrameTextSelectionAndCaretPixels) {
  TForm* form = makeForm();
  TEdit* edit = makeEdit(form);
  TEdit* other = makeEdit(form);
  other->SetTop(40);
  edit->SetText("ab");
  show(form);
  // Frame: shadow / dark shadow rings top left, highlight / light rings bottom right.
  const struct {
    int x, y;
    TColor32 want;
  } frame[] = {{0, 0, kShadow}, {1, 1, kBlack}, {99, 20, kWhite}, {98, 19, kLight}, {99, 0, kWhite}};
  for (const auto& c : frame)
    EXPECT_EQ(px(edit, c.x, c.y), c.want) << c.x << "," << c.y;
  // Focused by the tab order: all of the text is selected. The text sits at client (1, 2):
  // window (3, 4) with the two-pixel frame; 17 client rows, 12 text rows centred.
  ASSERT_TRUE(edit->Focused());
  EXPECT_EQ(edit->SelLength(), 2);
  EXPECT_EQ(px(edit, 3, 4), kWhite);      // highlight text
  EXPECT_EQ(px(edit, 3 + 5, 4), kNavy);   // the gap column in the highlight
  EXPECT_EQ(px(edit, 3 + 12, 4), kBlack); // the caret stands at the selection's end
  EXPECT_EQ(px(edit, 3 + 13, 4), kWhite); // then the window colour
  key(VK_END);
  EXPECT_EQ(px(edit, 3, 4), kBlack);
  EXPECT_EQ(px(edit, 3 + 12, 4), kBlack); // the caret after "ab"
  EXPECT_EQ(px(edit, 3 + 12, 4 + 11), kBlack);
  // Without the focus no caret and (HideSelection) no highlight.
  edit->SelectAll();
  other->SetFocus();
  run();
  EXPECT_EQ(px(edit, 3, 4), kBlack);
  EXPECT_EQ(px(edit, 3 + 12, 4), kWhite);
}

TEST_F(EditTest, MouseSetsTheCaretAndDragsASelection) {
  TForm* form = makeForm();
  TEdit* edit = makeEdit(form);
  TEdit* other = makeEdit(form);
  other->SetTop(40);
  edit->SetText("abcdef");
  show(form);
  other->SetFocus();
  run();
  // Client x 1 + 2 * 6 + 2: nearer the boundary after "ab" than after "abc".
  click(edit, 1 + 12 + 2, 5);
  EXPECT_TRUE(edit->Focused());
  EXPECT_EQ(edit->SelStart(), 2);
  EXPECT_EQ(edit->SelLength(), 0); // a click gives no selection, whatever AutoSelect says
  HeadlessPresenter::mouseDown(at(edit, 1 + 6, 5));
  HeadlessPresenter::mouseMove(at(edit, 1 + 24, 5));
  HeadlessPresenter::mouseUp(at(edit, 1 + 24, 5));
  run();
  EXPECT_EQ(edit->SelText(), "bcd");
  chord(VK_SHIFT, VK_RIGHT);
  EXPECT_EQ(edit->SelText(), "bcde");
}

// EM_SETRECT: the text, the caret and the clicks keep to the formatting rectangle. The edit's
// client is 96 x 17 (a two-pixel frame); characters are 6 pixels, boxes of 5 on 12 rows.
TEST_F(EditTest, TextCaretAndClicksKeepToTheFormattingRectangle) {
  TForm* form = makeForm();
  TEdit* edit = makeEdit(form);
  edit->SetText("abcdefghijklmnopqrstuvwxyz");
  show(form);
  auto formatRect = [&] {
    TRect r;
    edit->Perform(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
  };
  const TRect whole{1, 0, 95, 17}; // the client area less a pixel on either side
  EXPECT_EQ(formatRect(), whole);
  TRect set{20, 3, 60, 16};
  edit->Perform(EM_SETRECT, 0, reinterpret_cast<LPARAM>(&set));
  EXPECT_EQ(formatRect(), set);
  edit->SetFocus();
  run();
  key(VK_END);
  // 156 pixels of text end 39 pixels into the rectangle: "z" at client 53 .. 57, the caret at 59,
  // on the rows 3 .. 14 from the rectangle's top; nothing outside the rectangle.
  auto client = [&](int x, int y) { return px(edit, x + 2, y + 2); };
  EXPECT_EQ(client(55, 3), kBlack);
  EXPECT_EQ(client(55, 14), kBlack);
  EXPECT_EQ(client(55, 2), kWhite);
  EXPECT_EQ(client(59, 8), kBlack);
  EXPECT_EQ(client(21, 8), kBlack); // the right end of "t", cut at the rectangle's left
  for (const int x : {2, 10, 19, 61, 70, 94})
    EXPECT_EQ(client(x, 8), kWhite) << x;
  // A click 3 pixels into the rectangle: 117 pixels are scrolled off, so 120 is the boundary
  // after 20 characters.
  click(edit, 23, 8);
  EXPECT_EQ(edit->SelStart(), 20);
  edit->Perform(EM_SETRECT, 0, 0); // no rectangle: the default again
  EXPECT_EQ(formatRect(), whole);
}

TEST_F(EditTest, MemoLinesScrollBarsAndKeys) {
  TForm* form = makeForm();
  auto* memo = new TMemo(form);
  memo->SetParent(form);
  memo->SetBounds(10, 10, 120, 64); // client 100 x 60 beside the bar: five lines of 12
  memo->SetScrollBars(TScrollStyle::ssVertical);
  show(form);
  EXPECT_EQ(memo->Lines().Count(), 0);
  for (int i = 0; i < 8; ++i)
    memo->Lines().Add("line " + std::to_string(i));
  EXPECT_EQ(memo->Lines().Count(), 8);
  EXPECT_EQ(memo->Text(), "line 0\nline 1\nline 2\nline 3\nline 4\nline 5\nline 6\nline 7");
  EXPECT_EQ(memo->Lines()[7], "line 7");
  // A log keeps its newest line in view.
  EXPECT_EQ(memo->VisibleLineCount(), 5);
  EXPECT_EQ(memo->TopLine(), 3);
  TScrollInfo si;
  si.fMask = SIF_ALL;
  GetScrollInfo(memo->Handle(), SB_VERT, si);
  EXPECT_EQ(si.nMax, 7);
  EXPECT_EQ(si.nPage, 5u);
  EXPECT_EQ(si.nPos, 3);

  // The bar's up arrow at the top right (client x 100..115) scrolls one line.
  click(memo, 105, 3);
  EXPECT_EQ(memo->TopLine(), 2);
  // A press below the thumb scrolls a page (to the last full page).
  click(memo, 105, 55);
  EXPECT_EQ(memo->TopLine(), 3);
  HeadlessPresenter::wheel(at(memo, 20, 20), 120);
  run();
  EXPECT_EQ(memo->TopLine(), 0);

  memo->Lines().Delete(0);
  memo->Lines().Put(0, "first");
  memo->Lines().Insert(1, "inserted");
  EXPECT_EQ(memo->Lines().Count(), 8);
  EXPECT_EQ(memo->Lines()[0], "first");
  EXPECT_EQ(memo->Lines()[1], "inserted");
  EXPECT_EQ(memo->Lines()[2], "line 2");
  memo->Lines().Delete(7);
  EXPECT_EQ(memo->Lines().Count(), 7);
  EXPECT_EQ(memo->Text().back(), '6');

  // Return makes a new line, up and down keep the column.
  memo->SetText("abc\nx\nlonger");
  memo->SetFocus();
  run();
  key(VK_END);
  EXPECT_EQ(memo->SelStart(), 3);
  key(VK_DOWN);
  EXPECT_EQ(memo->SelStart(), 5); // the end of the short line
  key(VK_DOWN);
  EXPECT_EQ(memo->SelStart(), 9); // column 3 again
  key(VK_RETURN);
  EXPECT_EQ(memo->Text(), "abc\nx\nlon\nger");
  EXPECT_EQ(memo->Lines().Count(), 4);
  memo->SetReadOnly(true);
  key(VK_RETURN);
  EXPECT_EQ(memo->Lines().Count(), 4);
}

// A text given to the lines (Lines.Text, LoadFromFile) goes in whole: one change, the caret at the
// start, every line kept (empty ones too). Line by line, 20 000 lines took minutes.
TEST_F(EditTest, MemoLinesTakeAWholeTextAtOnce) {
  TForm* form = makeForm();
  auto* memo = new TMemo(form);
  memo->SetParent(form);
  memo->SetBounds(10, 10, 120, 64);
  show(form);
  std::string many, manyText;
  for (int i = 0; i < 20000; ++i) {
    many += "line " + std::to_string(i) + "\r\n";
    manyText += (i ? "\n" : "") + std::string("line ") + std::to_string(i);
  }
  const struct {
    std::string text;
    std::string memoText;
    int count;
  } rows[] = {
      {"a\r\n\r\nb\r\n", "a\n\nb", 3},
      {"one\rtwo\n\nthree", "one\ntwo\n\nthree", 4},
      {"", "", 0},
      {many, manyText, 20000},
  };
  for (const auto& row : rows) {
    memo->SetText("before");
    memo->SetSelStart(3);
    int changes = 0;
    memo->OnChange.Bind([&](TObject*) { ++changes; });
    memo->Lines().SetText(row.text);
    memo->OnChange.Clear();
    EXPECT_EQ(memo->Text(), row.memoText);
    EXPECT_EQ(memo->Lines().Count(), row.count);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(memo->SelStart(), 0);
    EXPECT_EQ(memo->TopLine(), 0);
  }
}

// Wrapping asks for the longest run that fits a line. It measures by doubling and halving: a few
// measurements per line, not one per character (a line of zero-width characters took minutes).
TEST(FittingEnd, FindsTheLongestRunInAFewMeasurements) {
  const struct {
    int bytes, step; // a line of `bytes` bytes in characters of `step` bytes
    int fitsUpTo;    // runs ending at or before this byte fit
    int end;
  } rows[] = {
      {100000, 1, 70000, 70000},
      {100000, 1, 100000, 100000},
      {100000, 1, 0, 0},
      {100000, 1, 1, 1},
      {0, 1, 0, 0},
      {30000, 3, 1000, 999},
  };
  for (const auto& row : rows) {
    int measurements = 0;
    const int end = fittingEnd(
        0, [&](int p) { return p < row.bytes ? p + row.step : -1; },
        [&](int e) {
          ++measurements;
          return e <= row.fitsUpTo;
        });
    EXPECT_EQ(end, row.end) << row.bytes << " " << row.fitsUpTo;
    // Doubling, then halving: at most 2 log2(characters) + 1 measurements.
    const int characters = row.bytes / row.step;
    EXPECT_LE(measurements, characters ? std::ceil(2 * std::log2(characters) + 1) : 0)
        << row.bytes << " " << row.fitsUpTo;
  }
}

TEST_F(EditTest, MemoWrapsWordsWithoutAHorizontalBar) {
  TForm* form = makeForm();
  auto* memo = new TMemo(form);
  memo->SetParent(form);
  memo->SetBounds(0, 0, 4 + 2 + 36, 100); // text width 36: six characters
  memo->SetText("aaa bbb cccccccc");
  show(form);
  EXPECT_EQ(memo->Lines().Count(), 1); // lines are the text's, not the wrapped rows
  // Rows: "aaa ", "bbb ", "cccccc", "cc".
  EXPECT_EQ(px(memo, 2 + 1, 2 + 12), kBlack);
  EXPECT_EQ(px(memo, 2 + 1 + 30, 2 + 24), kBlack);
  EXPECT_EQ(px(memo, 2 + 1 + 6, 2 + 36), kBlack);
  EXPECT_EQ(px(memo, 2 + 1 + 12, 2 + 36), kWhite);
  memo->SetScrollBars(TScrollStyle::ssBoth);
  run();
  EXPECT_EQ(px(memo, 2 + 1, 2 + 12), kWhite); // one long row now
}

} // namespace
