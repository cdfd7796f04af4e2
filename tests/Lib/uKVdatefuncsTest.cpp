#include "uKVdatefuncs.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>

using namespace uKVdatefuncs;
using kvtest::dayNumber;

namespace {

int dayOfYear(int y, int m, int d) { return static_cast<int>(dayNumber(y, m, d) - dayNumber(y, 1, 1)) + 1; }

// Runs a Python program and returns its standard output, split into lines.
std::vector<std::string> pythonLines(const std::string& program) {
  const auto result = kvtest::run(kvtest::systemPython() + " -c " + kvtest::shellQuote(program));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::vector<std::string> lines;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

struct Defaults : ::testing::Test {
  void SetUp() override {
    FirstWeekDay = 2;
    FirstWeekDate = 4;
    Config = 0;
  }
};

} // namespace

using WeekNumbers = Defaults;

TEST_F(WeekNumbers, MatchIsoCalendarFrom1900To2100) {
  const auto lines = pythonLines(R"(
import datetime
d = datetime.date(1900, 1, 1)
epoch = datetime.date(1899, 12, 30)
while d.year <= 2100:
    y, w, _ = d.isocalendar()
    print((d - epoch).days, y, w, d.timetuple().tm_yday)
    d += datetime.timedelta(days=1)
)");
  ASSERT_EQ(lines.size(), 73414u);
  int failures = 0;
  for (const auto& line : lines) {
    std::istringstream in(line);
    int day, year, week, yday;
    in >> day >> year >> week >> yday;
    uint16_t w = 0, y = 0;
    DateToWeek(day + 0.75, w, y);
    const uint16_t t = TagImJahr(day + 0.5);
    if ((w != week || y != year || t != yday) && ++failures < 10)
      ADD_FAILURE() << "day " << day << ": week " << w << "/" << y << " day " << t << ", expected " << week
                    << "/" << year << " day " << yday;
  }
  EXPECT_EQ(failures, 0);
}

TEST_F(WeekNumbers, FirstDayOfEveryWeekMatchesIsoCalendar) {
  const auto lines = pythonLines(R"(
import datetime
epoch = datetime.date(1899, 12, 30)
for y in range(1901, 2100):
    last = datetime.date(y, 12, 28).isocalendar()[1]
    for w in range(1, last + 1):
        print(y, w, (datetime.date.fromisocalendar(y, w, 1) - epoch).days)
)");
  ASSERT_GT(lines.size(), 10000u);
  int failures = 0;
  for (const auto& line : lines) {
    std::istringstream in(line);
    int year, week, day;
    in >> year >> week >> day;
    if (WeekToDate(week, year) != day && ++failures < 10) ADD_FAILURE() << year << " week " << week;
  }
  EXPECT_EQ(failures, 0);
}

TEST_F(WeekNumbers, EdgeCases) {
  EXPECT_EQ(WeekToDate(1, 2004), dayNumber(2003, 12, 29));
  uint16_t w, y;
  DateToWeek(dayNumber(2003, 12, 29), w, y);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(y, 2004);
  DateToWeek(dayNumber(2005, 1, 1), w, y);
  EXPECT_EQ(w, 53);
  EXPECT_EQ(y, 2004);
  // Week 0 is the week before week 1; weeks past the last run into the next year.
  EXPECT_EQ(WeekToDate(0, 2004), dayNumber(2003, 12, 22));
  EXPECT_EQ(WeekToDate(54, 2004), dayNumber(2005, 1, 3));
  // A week that starts on Sunday and whose week 1 holds 1 January.
  FirstWeekDay = 1;
  FirstWeekDate = 1;
  EXPECT_EQ(WeekToDate(1, 2011), dayNumber(2010, 12, 26));
  DateToWeek(dayNumber(2011, 1, 1), w, y);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(y, 2011);
  DateToWeek(dayNumber(2011, 12, 31), w, y);
  EXPECT_EQ(w, 53);
  EXPECT_EQ(y, 2011);
  // No date at all.
  DateToWeek(std::nan(""), w, y);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(y, 0);
  EXPECT_THROW(WeekToDate(1, 0), kv::platform::EConvertError);
}

TEST(DayOfYear, EdgeCases) {
  struct Case {
    double date;
    uint16_t expected;
  } cases[] = {
      {dayNumber(2004, 12, 31), 366},
      {dayNumber(2003, 12, 31), 365},
      {dayNumber(2000, 12, 31), 366},
      {dayNumber(1900, 12, 31), 365},
      {dayNumber(2004, 1, 1), 1},
      {dayNumber(2004, 3, 1) + 0.999, 61},
      {dayNumber(1899, 12, 29) - 0.25, 363},
      {dayNumber(1, 1, 1), 1},
      {dayNumber(9999, 12, 31) + 0.5, 365},
      {dayNumber(1, 1, 1) - 1, 0},
      {dayNumber(9999, 12, 31) + 1, 0},
      {std::nan(""), 0},
      {1e300, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TagImJahr(c.date), c.expected) << c.date;
}

namespace {
int dayWithCode(int code) {
  for (int i = 1; i <= FeiertagCount; ++i)
    if (Feiertag[i] == code) return i;
  return 0;
}
} // namespace

using Holidays = Defaults;

TEST_F(Holidays, EasterMatchesDateutilFrom1583To4099) {
  const auto lines = pythonLines(R"(
from dateutil.easter import easter
for y in range(1583, 4100):
    print(y, easter(y).timetuple().tm_yday)
)");
  ASSERT_EQ(lines.size(), 4099u - 1583u + 1);
  int failures = 0;
  for (const auto& line : lines) {
    std::istringstream in(line);
    int year, yday;
    in >> year >> yday;
    FeiertageBerechnen(static_cast<uint16_t>(year));
    if ((dayWithCode(10) != yday || dayWithCode(9) != yday - 2 || dayWithCode(11) != yday + 1) &&
        ++failures < 10)
      ADD_FAILURE() << "Easter " << year << ": day " << dayWithCode(10) << ", expected " << yday;
  }
  EXPECT_EQ(failures, 0);
}

TEST_F(Holidays, EasterMatchesNcal) {
  if (!kvtest::haveTool("ncal")) GTEST_SKIP() << "ncal is not installed";
  for (int year : {1954, 1981, 2004, 2019, 2038, 2100, 2285, 3000}) {
    const auto r = kvtest::run("ncal -e " + std::to_string(year));
    ASSERT_EQ(r.exitCode, 0);
    int m = 0, d = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "%d/%d", &m, &d), 2) << r.out;
    FeiertageBerechnen(static_cast<uint16_t>(year));
    EXPECT_EQ(dayWithCode(10), dayOfYear(year, m, d)) << year;
  }
}

TEST_F(Holidays, DaysOfTheTable) {
  struct Case {
    int year, config, month, day, code;
  } cases[] = {
      {2004, 0, 4, 11, 10},
      {1981, 0, 4, 19, 10},
      {1954, 0, 4, 18, 10},
      {2004, 0, 1, 1, 1},
      {2004, 0, 2, 2, -1},
      {2004, 0, 2, 14, -2},
      {2004, 0, 2, 19, -3},
      {2004, 0, 2, 23, -4},
      {2004, 0, 2, 24, -5},
      {2004, 0, 2, 25, -6},
      {2004, 0, 3, 25, -7},
      {2004, 0, 4, 4, -8},
      {2004, 0, 4, 8, -9},
      {2004, 0, 4, 9, 9},
      {2004, 0, 4, 12, 11},
      {2004, 0, 5, 1, 2},
      {2004, 0, 5, 9, -10},
      {2004, 0, 5, 20, 12},
      {2004, 0, 5, 30, 13},
      {2004, 0, 5, 31, 14},
      {2004, 0, 6, 10, 15},
      {2004, 0, 6, 29, -11},
      {2004, 0, 9, 8, -12},
      {2004, 0, 10, 3, 3},
      {2004, 0, 11, 1, 4},
      {2004, 0, 11, 14, 6},
      {2004, 0, 11, 21, 5},
      {2004, 0, 11, 28, -16},
      {2004, 0, 12, 5, -17},
      {2004, 0, 12, 8, -14},
      {2004, 0, 12, 12, -18},
      {2004, 0, 12, 19, -19},
      {2004, 0, 12, 24, -20},
      {2004, 0, 12, 25, 7},
      {2004, 0, 12, 26, 8},
      {2004, 0, 12, 31, -15},
      {2004, 0, 1, 6, 16},
      {2004, 0, 3, 21, -21},
      {2004, 0, 6, 21, -22},
      {2004, 0, 9, 23, -23},
      {2004, 0, 12, 22, -24},
      {2004, 0, 10, 31, 0},
      {2004, 0, 11, 17, 0},
      {2004, 0, 8, 15, 0},
      {2004, 0, 1, 2, 0},
      // Erntedankfest on the first Sunday in October, apart from 3 October.
      {2006, 0, 10, 1, -13},
      {2006, 0, 10, 3, 3},
      {2007, 0, 10, 7, -13},
      // Christi Himmelfahrt replaces Maifeiertag; Muttertag moves off Pfingstsonntag.
      {2008, 0, 5, 1, 12},
      {2008, 0, 5, 4, -10},
      {2008, 0, 5, 11, 13},
      {2008, 0, 3, 23, 10},
      // Winteranfang replaces 4. Advent.
      {2024, 0, 12, 22, -24},
      {2024, 0, 12, 1, -16},
      {2024, 0, 12, 15, -18},
      // 25 December on a Sunday.
      {2022, 0, 12, 18, -19},
      {2022, 0, 11, 27, -16},
      {2022, 0, 11, 20, 5},
      {2022, 0, 11, 13, 6},
      {2022, 0, 11, 16, 0},
      {2022, 12, 11, 16, 19},
      {2022, 12, 10, 31, 18},
      {2022, 12, 6, 16, 15},
      {2022, 12, 1, 6, 0},
      // Regions.
      {2004, 1, 1, 6, 16},
      {2004, 1, 8, 15, 17},
      {2004, 1, 6, 10, 15},
      {2004, 1, 10, 31, 0},
      {2004, 2, 6, 10, 0},
      {2004, 2, 1, 6, 0},
      {2004, 3, 10, 31, 18},
      {2004, 3, 6, 10, 0},
      {2004, 7, 10, 31, 18},
      {2004, 9, 6, 10, 15},
      {2004, 11, 8, 15, 17},
      {2004, 11, 6, 10, 15},
      {2004, 13, 1, 6, 16},
      {2004, 13, 10, 31, 18},
      {2004, 13, 6, 10, 0},
      {2004, 14, 6, 10, 0},
      {2004, 15, 6, 10, 15},
      {2004, 15, 10, 31, 18},
      {2004, 15, 1, 6, 0},
      {2004, -1, 6, 10, 15},
      {2004, 12, 11, 17, 19},
      {2004, 11, 11, 17, 0},
  };
  for (const auto& c : cases) {
    Config = c.config;
    FeiertageBerechnen(static_cast<uint16_t>(c.year));
    EXPECT_EQ(Feiertag[dayOfYear(c.year, c.month, c.day)], c.code)
        << c.year << "-" << c.month << "-" << c.day << " with Config " << c.config;
  }
}

TEST_F(Holidays, TableIsClearedAndStaysInside) {
  FeiertageBerechnen(2004);
  EXPECT_EQ(Feiertag[366], -15);
  FeiertageBerechnen(2005);
  EXPECT_EQ(Feiertag[366], 0);
  EXPECT_EQ(Feiertag[365], -15);
  // Years without dates leave an empty table, never an entry outside it.
  for (uint16_t year : {0, 10000, 65535}) {
    FeiertageBerechnen(year);
    for (int i = 0; i <= FeiertagCount; ++i)
      ASSERT_EQ(Feiertag[i], 0) << year << " day " << i;
  }
  FeiertageBerechnen(1);
  EXPECT_EQ(Feiertag[0], 0);
  EXPECT_EQ(Feiertag[1], 1);
}

TEST(DayNames, Tables) {
  const char* feiertage[] = {"Neujahr",
                             "Maifeiertag",
                             "Tag der deutschen Einheit",
                             "Allerheiligen",
                             "Totensonntag",
                             "Volkstrauertag",
                             "1. Weihnachtstag",
                             "2. Weihnachtstag",
                             "Karfreitag",
                             "Ostersonntag",
                             "Ostermontag",
                             "Christi Himmelfahrt",
                             "Pfingstsonntag",
                             "Pfingstmontag",
                             "Fronleichnam",
                             "Heilige 3 K\xC3\xB6nige",
                             "Mari\xC3\xA4 Himmelfahrt",
                             "Reformationstag",
                             "Bu\xC3\x9F- und Bettag"};
  const char* sondertage[] = {"Mari\xC3\xA4 Lichtme\xC3\x9F",
                              "Valentinstag",
                              "Weiberfastnacht",
                              "Rosenmontag",
                              "Fastnacht",
                              "Aschermittwoch",
                              "Mari\xC3\xA4 Verk\xC3\xBCndigung",
                              "Palmsonntag",
                              "Gr\xC3\xBCndonnerstag",
                              "Muttertag",
                              "Peter und Paul",
                              "Mari\xC3\xA4 Geburt",
                              "Erntedankfest",
                              "Mari\xC3\xA4 Empf\xC3\xA4ngnis",
                              "Silvester",
                              "1. Advent",
                              "2. Advent",
                              "3. Advent",
                              "4. Advent",
                              "Heiligabend",
                              "Fr\xC3\xBChlingsanfang",
                              "Sommmeranfang",
                              "Herbstanfang",
                              "Winteranfang"};
  const char* wochentage[] = {"Montag",  "Dienstag", "Mittwoch", "Donnerstag",
                              "Freitag", "Samstag",  "Sonntag"};
  static_assert(sizeof(TDayName) == 26);
  for (int i = 0; i < 19; ++i)
    EXPECT_EQ(Feiertage[i + 1].Text(), feiertage[i]) << i + 1;
  for (int i = 0; i < 24; ++i)
    EXPECT_EQ(Sondertage[i + 1].Text(), sondertage[i]) << i + 1;
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(WochentagName[i + 1].Text(), wochentage[i]) << i + 1;
  EXPECT_EQ(Feiertage[0].Text(), "");
}
