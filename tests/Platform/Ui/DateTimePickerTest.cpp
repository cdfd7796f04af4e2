// The date and time picker driven as a user drives it: digits typed field by field, the keys
// that step and move between fields, and the month calendar under its drop button, by mouse
// and keyboard. The clock stands at day 45000, Wednesday 15 March 2023; the box font of 12
// pixels gives the calendar cells 20 x 16 pixels (12 + 8 by 12 + 4), a title 20 high under a
// one-pixel frame, the days from row 39 (1 + 20 + 16 + 2) and column 4, a window 148 x 139.
#include "ControlTestSupport.h"

#include "Platform/Ui/DateTimePicker.h"

using namespace kv::platform;
using namespace kvtest;

namespace {

class DateTimePickerTest : public ControlTest {
protected:
  void SetUp() override {
    ControlTest::SetUp();
    saved_ = FormatSettings();
    TFormatSettings fs;
    fs.DateSeparator = '.';
    fs.ShortDateFormat = "dd.mm.yyyy";
    fs.LongTimeFormat = "hh:nn:ss";
    SetFormatSettings(fs);
    form = makeForm(300, 250);
    picker = new TDateTimePicker(form);
    picker->SetParent(form);
    picker->SetBounds(10, 10, 186, 21);
    picker->OnChange.Bind([this](TObject*) { ++changes; });
    show(form);
    picker->SetFocus();
    run();
  }
  void TearDown() override {
    ControlTest::TearDown();
    SetFormatSettings(saved_);
  }

  // Characters are typed; '<', '>', '^' and '~' press Left, Right, Up and Down.
  static void input(const std::string& keys) {
    for (const char ch : keys) {
      if (ch == '<' || ch == '>' || ch == '^' || ch == '~')
        key(ch == '<' ? VK_LEFT : ch == '>' ? VK_RIGHT : ch == '^' ? VK_UP : VK_DOWN);
      else
        type(std::string(1, ch));
    }
  }
  static HWND calendarWindow() {
    for (const HWND h : GetTopLevelWindows())
      if (GetClassName(h) == "TDateTimePickerCalendar" && IsWindowVisible(h)) return h;
    return 0;
  }
  // A point of the calendar window on the screen.
  static TPoint onCalendar(int x, int y) {
    TRect r;
    GetWindowRect(calendarWindow(), &r);
    return TPoint{r.Left + x, r.Top + y};
  }
  // The centre of cell `index` (0: the Monday that starts the first week shown).
  static TPoint cell(int index) { return onCalendar(4 + index % 7 * 20 + 10, 39 + index / 7 * 16 + 8); }
  void openByButton() { click(picker, picker->ClientWidth() - 4, picker->ClientHeight() / 2); }

  TForm* form = nullptr;
  TDateTimePicker* picker = nullptr;
  int changes = 0;

private:
  TFormatSettings saved_;
};

TEST_F(DateTimePickerTest, TypedDigitsFillTheFieldsOneByOne) {
  struct Row {
    const char* what;
    TDateTimeKind kind;
    const char* format; // the short date format
    double start;
    const char* keys;
    const char* shown;
  };
  const Row rows[] = {
      {"day, month and year in turn", TDateTimeKind::dtkDate, "dd.mm.yyyy", 45000, "24121987", "24.12.1987"},
      {"a digit that no second one can follow moves on", TDateTimeKind::dtkDate, "dd.mm.yyyy", 45000,
       "572024", "05.07.2024"},
      {"a separator moves on; two year digits end in 1999 (window 1973..2072)", TDateTimeKind::dtkDate,
       "dd.mm.yyyy", 45000, "1.2.99.", "01.02.1999"},
      {"a day the month lacks becomes its last: 31 in April", TDateTimeKind::dtkDate, "dd.mm.yyyy", 45031,
       "31", "30.04.2023"},
      {"Right twice selects the year", TDateTimeKind::dtkDate, "dd.mm.yyyy", 45000, ">>2025", "15.03.2025"},
      {"Left comes back from the month", TDateTimeKind::dtkDate, "dd.mm.yyyy", 45000, "><9", "09.03.2023"},
      {"Up steps the day", TDateTimeKind::dtkDate, "dd.mm.yyyy", 45000, "^", "16.03.2023"},
      {"Down from the first goes round to the 31st", TDateTimeKind::dtkDate, "dd.mm.yyyy", 44986, "~",
       "31.03.2023"},
      {"Up on month 12 goes round to 1, the year stays", TDateTimeKind::dtkDate, "dd.mm.yyyy", 45275, ">^",
       "15.01.2023"},
      {"month first, two-digit year", TDateTimeKind::dtkDate, "mm/dd/yy", 45000, "123124", "12.31.24"},
      {"a time field by field", TDateTimeKind::dtkTime, "dd.mm.yyyy", 45000, "134507", "13:45:07"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    FormatSettings().ShortDateFormat = r.format;
    picker->SetKind(r.kind);
    picker->SetDateTime(r.start);
    changes = 0;
    input(r.keys);
    picker->Perform(WM_KILLFOCUS, 0, 0); // leaving the picker takes a year typed so far
    EXPECT_EQ(picker->DisplayText(), r.shown);
    EXPECT_GT(changes, 0);
    picker->SetFocus();
  }
}

TEST_F(DateTimePickerTest, TheDropButtonOpensTheMonthAndAClickOnADayTakesIt) {
  openByButton();
  ASSERT_TRUE(picker->DroppedDown());
  const HWND h = calendarWindow();
  ASSERT_NE(h, 0u);
  TRect calendar, field;
  GetWindowRect(h, &calendar);
  GetWindowRect(picker->Handle(), &field);
  EXPECT_EQ(calendar, (TRect{field.Left, field.Bottom, field.Left + 148, field.Bottom + 139}));
  // 1 March 2023 is a Wednesday: the first cell is Monday 27 February, the 15th cell 16.
  const Raster* pixels = WindowRaster(h);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(pixels->pixel(4 + 2 * 20 + 1, 39 + 2 * 16 + 1), kNavy); // the chosen day
  EXPECT_EQ(pixels->pixel(4 + 3 * 20 + 1, 39 + 2 * 16 + 1), kWhite);
  EXPECT_EQ(changes, 0);

  HeadlessPresenter::click(cell(21)); // Monday 20 March
  run();
  EXPECT_FALSE(picker->DroppedDown());
  EXPECT_EQ(calendarWindow(), 0u);
  EXPECT_EQ(picker->DisplayText(), "20.03.2023");
  EXPECT_EQ(changes, 1);

  // The right arrow turns to April (1 April is a Saturday: the first cell is 27 March).
  openByButton();
  HeadlessPresenter::click(onCalendar(148 - 3 - 8, 11));
  run();
  HeadlessPresenter::click(cell(7)); // Monday 3 April
  run();
  EXPECT_EQ(picker->DisplayText(), "03.04.2023");

  // A click outside leaves the date as it was.
  openByButton();
  HeadlessPresenter::click(TPoint{280, 240});
  run();
  EXPECT_FALSE(picker->DroppedDown());
  EXPECT_EQ(picker->DisplayText(), "03.04.2023");
  EXPECT_EQ(changes, 2);
}

TEST_F(DateTimePickerTest, TheCalendarFollowsTheKeyboard) {
  auto* ok = new TButton(form);
  ok->SetParent(form);
  ok->SetBounds(10, 200, 75, 25);
  ok->SetDefault(true);
  int pressed = 0;
  ok->OnClick.Bind([&](TObject*) { ++pressed; });
  const int altDown = -1;
  struct Row {
    const char* what;
    double start;
    int open;              // F4 or Alt+Down (altDown)
    std::vector<int> keys; // in the open calendar
    bool ctrl;             // Ctrl held for the keys
    const char* shown;     // after the last key
  };
  const Row rows[] = {
      {"Right and Enter", 45000, VK_F4, {VK_RIGHT, VK_RETURN}, false, "16.03.2023"},
      {"Left twice", 45000, altDown, {VK_LEFT, VK_LEFT, VK_RETURN}, false, "13.03.2023"},
      {"Down is a week on", 45000, VK_F4, {VK_DOWN, VK_RETURN}, false, "22.03.2023"},
      {"Up is a week back", 45000, VK_F4, {VK_UP, VK_RETURN}, false, "08.03.2023"},
      {"Page Down is a month on", 45000, VK_F4, {VK_NEXT, VK_RETURN}, false, "15.04.2023"},
      {"Ctrl+Page Up is a year back", 45000, VK_F4, {VK_PRIOR, VK_RETURN}, true, "15.03.2022"},
      {"End is the month's last day", 45000, VK_F4, {VK_END, VK_RETURN}, false, "31.03.2023"},
      {"Home is its first", 45000, VK_F4, {VK_HOME, VK_RETURN}, false, "01.03.2023"},
      {"31 January a month on is 28 February", 44957, VK_F4, {VK_NEXT, VK_RETURN}, false, "28.02.2023"},
      {"F4 takes the day too", 45000, VK_F4, {VK_RIGHT, VK_F4}, false, "16.03.2023"},
      {"Escape leaves the date", 45000, VK_F4, {VK_DOWN, VK_ESCAPE}, false, "15.03.2023"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    picker->SetDateTime(r.start);
    if (r.open == altDown)
      chord(VK_MENU, VK_DOWN);
    else
      key(r.open);
    ASSERT_TRUE(picker->DroppedDown());
    if (r.ctrl) HeadlessPresenter::keyDown(VK_CONTROL);
    for (const int k : r.keys) {
      if (r.ctrl && k == VK_RETURN) HeadlessPresenter::keyUp(VK_CONTROL);
      key(k);
    }
    EXPECT_FALSE(picker->DroppedDown());
    EXPECT_EQ(picker->DisplayText(), r.shown);
  }
  EXPECT_EQ(pressed, 0); // Enter and Escape were the calendar's, not the form's
  EXPECT_TRUE(picker->Focused());
}

// A window dropped from a field (the calendar, a combo box's list) goes below it; above it only
// where the screen ends below and there is room above; never past the screen's left or right edge.
TEST_F(DateTimePickerTest, DroppedWindowsStayOnTheScreen) {
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  const struct {
    const char* what;
    TRect field;
    int height;
    TPoint expected;
  } cases[] = {
      {"room below", {10, 10, 110, 31}, 150, {10, 31}},
      {"at the bottom", {10, sh - 21, 110, sh}, 150, {10, sh - 21 - 150}},
      {"no room either way", {10, 100, 110, 121}, sh, {10, 121}},
      {"past the left edge", {-50, 10, 50, 31}, 150, {0, 31}},
      {"past the right edge", {sw - 50, 10, sw + 50, 31}, 150, {sw - 200, 31}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TPoint at = dropDownOrigin(c.field, 200, c.height);
    EXPECT_EQ(at.X, c.expected.X);
    EXPECT_EQ(at.Y, c.expected.Y);
  }
}

} // namespace
