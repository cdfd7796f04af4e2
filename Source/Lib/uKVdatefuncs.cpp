#include "uKVdatefuncs.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace uKVdatefuncs {

namespace {

constexpr TDayName name(std::string_view text) {
  TDayName n{};
  n.Length = static_cast<uint8_t>(text.size());
  for (size_t i = 0; i < text.size() && i < sizeof n.Chars; ++i)
    n.Chars[i] = text[i];
  return n;
}

using kv::platform::DaysFromCivil;

// The day numbers (days since 30 December 1899) that dates have: 1 January 1 to 31 December 9999.
constexpr int64_t FirstDay = DaysFromCivil(1, 1, 1);
constexpr int64_t LastDay = DaysFromCivil(9999, 12, 31);

int civilYear(int64_t day) {
  int64_t year = 0;
  int month = 0, dayOfMonth = 0;
  kv::platform::CivilFromDays(day, year, month, dayOfMonth);
  return static_cast<int>(year);
}

// The day number of a valid date.
std::optional<int64_t> encodeDate(int64_t y, int m, int d) {
  TDateTime date = 0;
  if (y < 1 || y > 9999 || !kv::platform::TryEncodeDate(static_cast<int>(y), m, d, date)) return std::nullopt;
  return static_cast<int64_t>(date);
}

// The day number of a date value: its whole part, so that a time of day (which counts
// away from day 0 on either side) never moves a date to its neighbour.
std::optional<int64_t> dayOf(TDateTime date) {
  if (!std::isfinite(date)) return std::nullopt;
  const double day = std::trunc(date);
  if (day < FirstDay || day > LastDay) return std::nullopt;
  return static_cast<int64_t>(day);
}

// 1 Sunday ... 7 Saturday.
int dayOfWeek(int64_t day) { return kv::platform::DayOfWeek(static_cast<TDateTime>(day)); }

// Easter Sunday of the Gregorian calendar for any year, by the computus that holds for
// every Gregorian century (the shorter rule with fixed constants drifts outside
// 1900-2099). Nothing for years that have no date.
std::optional<int64_t> osterDatum(int64_t y) {
  if (y < 1 || y > 9999) return std::nullopt;
  const int64_t a = y % 19, b = y / 100, c = y % 100, d = b / 4, e = b % 4;
  const int64_t f = (b + 8) / 25, g = (b - f + 1) / 3;
  const int64_t h = (19 * a + b - d - g + 15) % 30;
  const int64_t i = c / 4, k = c % 4;
  const int64_t l = (32 + 2 * e + 2 * i - h - k) % 7;
  const int64_t m = (a + 11 * h + 22 * l) / 451;
  const int64_t n = h + l - 7 * m + 114;
  return encodeDate(y, static_cast<int>(n / 31), static_cast<int>(n % 31 + 1));
}

} // namespace

int32_t FirstWeekDay = 2;
int32_t FirstWeekDate = 4;
int32_t Config = 0;
int8_t Feiertag[FeiertagCount + 1] = {};

TDayName Feiertage[19 + 1] = {
    name(""),
    name("Neujahr"),
    name("Maifeiertag"),
    name("Tag der deutschen Einheit"),
    name("Allerheiligen"),
    name("Totensonntag"),
    name("Volkstrauertag"),
    name("1. Weihnachtstag"),
    name("2. Weihnachtstag"),
    name("Karfreitag"),
    name("Ostersonntag"),
    name("Ostermontag"),
    name("Christi Himmelfahrt"),
    name("Pfingstsonntag"),
    name("Pfingstmontag"),
    name("Fronleichnam"),
    name("Heilige 3 Könige"),
    name("Mariä Himmelfahrt"),
    name("Reformationstag"),
    name("Buß- und Bettag"),
};

TDayName Sondertage[24 + 1] = {
    name(""),
    name("Mariä Lichtmeß"),
    name("Valentinstag"),
    name("Weiberfastnacht"),
    name("Rosenmontag"),
    name("Fastnacht"),
    name("Aschermittwoch"),
    name("Mariä Verkündigung"),
    name("Palmsonntag"),
    name("Gründonnerstag"),
    name("Muttertag"),
    name("Peter und Paul"),
    name("Mariä Geburt"),
    name("Erntedankfest"),
    name("Mariä Empfängnis"),
    name("Silvester"),
    name("1. Advent"),
    name("2. Advent"),
    name("3. Advent"),
    name("4. Advent"),
    name("Heiligabend"),
    name("Frühlingsanfang"),
    name("Sommmeranfang"),
    name("Herbstanfang"),
    name("Winteranfang"),
};

TDayName WochentagName[7 + 1] = {
    name(""),           name("Montag"),  name("Dienstag"), name("Mittwoch"),
    name("Donnerstag"), name("Freitag"), name("Samstag"),  name("Sonntag"),
};

TDateTime WeekToDate(int32_t Week, int32_t Year) {
  const TDateTime d = kv::platform::EncodeDate(Year, 1, FirstWeekDate);
  const int k = (dayOfWeek(static_cast<int64_t>(d)) - FirstWeekDay + 7) % 7;
  return d + 7.0 * (static_cast<double>(Week) - 1) - k;
}

void DateToWeek(TDateTime Date, uint16_t& Week, uint16_t& Year) {
  Week = 0;
  Year = 0;
  const auto day = dayOf(Date);
  if (!day) return;
  const int k = (dayOfWeek(*day) - FirstWeekDay + 7) % 7;
  const int64_t t = *day - k + 7 - FirstWeekDate;
  if (t < FirstDay || t > LastDay) return;
  const int year = civilYear(t);
  Year = static_cast<uint16_t>(year);
  Week = static_cast<uint16_t>((t - DaysFromCivil(year, 1, 1)) / 7 + 1);
}

uint16_t TagImJahr(TDateTime Date) {
  const auto day = dayOf(Date);
  if (!day) return 0;
  return static_cast<uint16_t>(*day - DaysFromCivil(civilYear(*day), 1, 1) + 1);
}

void FeiertageBerechnen(uint16_t Year) {
  std::memset(Feiertag, 0, sizeof Feiertag);
  const int64_t jan1 = DaysFromCivil(Year, 1, 1);
  const int64_t length = kv::platform::IsLeapYear(Year) ? 366 : 365;
  // A day is entered only when it falls into this year's table: a year without an
  // Easter date then simply lacks the movable days instead of marking wrong ones.
  auto enter = [&](std::optional<int64_t> day, int code) {
    if (!day) return;
    const int64_t index = *day - jan1 + 1;
    if (index >= 1 && index <= length) Feiertag[index] = static_cast<int8_t>(code);
  };
  auto on = [&](int m, int d) { return encodeDate(Year, m, d); };
  auto plus = [](std::optional<int64_t> day, int64_t n) -> std::optional<int64_t> {
    if (!day) return std::nullopt;
    return *day + n;
  };
  const auto easter = osterDatum(Year);
  const auto christmas = on(12, 25);
  std::optional<int64_t> advent4; // the last Sunday before 25 December
  if (christmas) {
    const int dow = dayOfWeek(*christmas);
    advent4 = *christmas - (dow == 1 ? 7 : dow - 1);
  }

  enter(on(2, 2), -1);
  enter(on(2, 14), -2);
  const auto rosenmontag = plus(easter, -48);
  enter(plus(rosenmontag, -4), -3);
  enter(rosenmontag, -4);
  enter(plus(rosenmontag, 1), -5);
  enter(plus(rosenmontag, 2), -6);
  enter(on(3, 25), -7);
  enter(plus(easter, -7), -8);
  enter(plus(easter, -3), -9);
  if (const auto april30 = on(4, 30)) {
    int64_t muttertag = *april30 - (dayOfWeek(*april30) - 1) + 14;
    if (easter && muttertag == *easter + 49) muttertag -= 7;
    enter(muttertag, -10);
  }
  enter(on(6, 29), -11);
  enter(on(9, 8), -12);
  if (const auto october1 = on(10, 1)) enter(*october1 + (8 - dayOfWeek(*october1)) % 7, -13);
  enter(on(12, 8), -14);
  enter(on(12, 31), -15);
  enter(plus(advent4, -21), -16);
  enter(plus(advent4, -14), -17);
  enter(plus(advent4, -7), -18);
  enter(advent4, -19);
  enter(on(12, 24), -20);
  enter(on(3, 21), -21);
  enter(on(6, 21), -22);
  enter(on(9, 23), -23);
  enter(on(12, 22), -24);

  enter(on(1, 1), 1);
  enter(on(5, 1), 2);
  enter(on(10, 3), 3);
  enter(on(11, 1), 4);
  enter(plus(advent4, -28), 5);
  if (Config == 12) enter(plus(advent4, -32), 19);
  enter(plus(advent4, -35), 6);
  enter(christmas, 7);
  enter(on(12, 26), 8);
  enter(plus(easter, -2), 9);
  enter(easter, 10);
  enter(plus(easter, 1), 11);
  enter(plus(easter, 39), 12);
  enter(plus(easter, 49), 13);
  enter(plus(easter, 50), 14);

  if (Config < 2 || (Config >= 9 && Config <= 12) || Config == 15) enter(plus(easter, 60), 15);
  if (Config == 0 || Config == 1 || Config == 13) enter(on(1, 6), 16);
  if (Config == 1 || Config == 11) enter(on(8, 15), 17);
  if (Config == 3 || Config == 7 || Config == 12 || Config == 13 || Config == 15) enter(on(10, 31), 18);
}

} // namespace uKVdatefuncs
