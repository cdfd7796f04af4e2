#include "Platform/Rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kv::platform;

namespace {

// The settings of a US system, so that the expected texts do not depend on the test machine.
TFormatSettings us() { return TFormatSettings{}; }

TEST(Rounding, NearestTiesToEvenAndSaturating) {
  const struct {
    double in;
    int64_t out;
  } cases[] = {{0.5, 0},
               {1.5, 2},
               {2.5, 2},
               {3.5, 4},
               {-0.5, 0},
               {-1.5, -2},
               {-2.5, -2},
               {2.4999, 2},
               {2.5001, 3},
               {1e300, std::numeric_limits<int64_t>::max()},
               {-1e300, std::numeric_limits<int64_t>::min()},
               {std::nan(""), 0}};
  for (const auto& c : cases)
    EXPECT_EQ(Round(c.in), c.out) << c.in;
  EXPECT_EQ(RoundToInt(3e9), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(RoundToInt(-3e9), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Trunc(-2.7), -2);
}

TEST(Conversion, StrToFloatIsStrictAndLocaleFree) {
  const struct {
    const char* text;
    double value;
  } good[] = {{"1.5", 1.5}, {" 2e3 ", 2000}, {"-.5", -0.5}, {"5.", 5}, {"+7", 7}, {"1E-2", 0.01}};
  for (const auto& c : good)
    EXPECT_DOUBLE_EQ(StrToFloat(c.text), c.value) << c.text;
  for (const char* bad : {"1,5", "abc", "", " ", "1e", "0x10", "inf", "nan", "1.5x", "1e999", "--1", "."})
    EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
  try {
    StrToFloat("1,5");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'1,5' is not a valid floating point value");
  }
}

TEST(Conversion, StrToIntAcceptsDecimalAndHexWithin32Bits) {
  const struct {
    const char* text;
    int32_t value;
  } good[] = {{"42", 42},
              {" -7 ", -7},
              {"$FF", 255},
              {"0x10", 16},
              {"2147483647", 2147483647},
              {"-2147483648", -2147483647 - 1}};
  for (const auto& c : good)
    EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
  for (const char* bad : {"2147483648", "12a", "", "$", "1.0", "- 1"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  EXPECT_EQ(StrToIntDef("x", -1), -1);
  EXPECT_EQ(IntToStr(-12), "-12");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
}

TEST(Conversion, FloatToStrFFormats) {
  const TFormatSettings fs = us();
  const struct {
    double v;
    TFloatFormat f;
    int precision, digits;
    const char* text;
  } cases[] = {
      {1234.5678, ffFixed, 15, 2, "1234.57"},
      {1234.5678, ffNumber, 15, 2, "1,234.57"},
      {0.125, ffFixed, 15, 2, "0.13"},
      {-0.001, ffFixed, 15, 2, "0.00"},
      {1234.5, ffExponent, 4, 2, "1.235E+03"},
      {1e20, ffGeneral, 15, 0, "1E20"},
      {1.5e-7, ffGeneral, 15, 0, "1.5E-7"},
      {0.0001, ffGeneral, 15, 0, "0.0001"},
      {123.456, ffGeneral, 4, 0, "123.5"},
      {100, ffGeneral, 15, 0, "100"},
      {1.5, ffCurrency, 15, 2, "$1.50"},
      {-1.5, ffCurrency, 15, 2, "($1.50)"},
      {1234.56789012345, ffNumber, 18, 8, "1,234.56789012"},
      {0, ffNumber, 18, 8, "0.00000000"},
      {-1234567.5, ffNumber, 15, 0, "-1,234,568"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FloatToStrF(c.v, c.f, c.precision, c.digits, fs), c.text) << c.text;
  TFormatSettings de = us();
  de.DecimalSeparator = ',';
  de.ThousandSeparator = '.';
  EXPECT_EQ(FloatToStrF(1234.5, ffNumber, 15, 2, de), "1.234,50");
  EXPECT_EQ(FloatToStr(0.1, fs), "0.1");
}

TEST(Conversion, FloatToStrFTakesAnEighteenthDigit) {
  const TFormatSettings fs = us();
  // 10000000000000.044921875 is a double as it stands. Seventeen digits round it to ...045
  // first, which two decimals then round up; the eighteenth digit keeps it below the half.
  const double v = 10000000000000.044921875;
  EXPECT_EQ(FloatToStrF(v, ffFixed, 17, 2, fs), "10000000000000.05");
  EXPECT_EQ(FloatToStrF(v, ffFixed, 18, 2, fs), "10000000000000.04");
  EXPECT_EQ(FloatToStrF(v, ffNumber, 18, 2, fs), "10,000,000,000,000.04");
  EXPECT_EQ(FloatToStrF(v, ffGeneral, 18, 0, fs), "10000000000000.0449");
  EXPECT_EQ(FloatToStrF(v, ffGeneral, 25, 0, fs), "10000000000000.0449"); // 18 at the most
  // More digits before the point than the precision: scientific notation.
  EXPECT_EQ(FloatToStrF(1e17, ffNumber, 18, 2, fs), "100,000,000,000,000,000.00");
  EXPECT_EQ(FloatToStrF(1e18, ffNumber, 18, 2, fs), "1E18");
}

TEST(Conversion, FormatSpecifiers) {
  const TFormatSettings fs = us();
  EXPECT_EQ(Format("%d items", {3}, fs), "3 items");
  EXPECT_EQ(Format("%5d|%-5d|", {42, 42}, fs), "   42|42   |");
  EXPECT_EQ(Format("%.3d", {7}, fs), "007");
  EXPECT_EQ(Format("%d", {-5}, fs), "-5");
  EXPECT_EQ(Format("%x %.4x", {255, 255}, fs), "FF 00FF");
  EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b"}, fs), "b a b");
  EXPECT_EQ(Format("%*d", {4, 7}, fs), "   7");
  EXPECT_EQ(Format("%.*f", {1, 2.25}, fs), "2.3");
  EXPECT_EQ(Format("%.2f %f", {3.14159, 2.5}, fs), "3.14 2.50");
  EXPECT_EQ(Format("%n", {1234567.891}, fs), "1,234,567.89");
  EXPECT_EQ(Format("%e", {1234.5}, fs), "1.23450000000000E+003");
  EXPECT_EQ(Format("%g", {0.5}, fs), "0.5");
  EXPECT_EQ(Format("100%%", {}, fs), "100%");
  EXPECT_EQ(Format("%.2s", {"abcdef"}, fs), "ab");
  EXPECT_EQ(Format("%s", {std::string("text")}, fs), "text");
  EXPECT_THROW(Format("%d", {1.5}, fs), EConvertError);
  EXPECT_THROW(Format("%s", {1}, fs), EConvertError);
  EXPECT_THROW(Format("%d %d", {1}, fs), EConvertError);
  EXPECT_THROW(Format("%q", {1}, fs), EConvertError);
}

TEST(Dates, EncodeDecodeAgainstKnownDayNumbers) {
  // Day numbers as the class library counts them: 1899-12-30 is day 0.
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  int y, m, d, h, n, s, ms;
  DecodeDate(36526.75, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
  DecodeTime(36526.75, h, n, s, ms);
  EXPECT_EQ(h, 18);
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(DayOfWeek(36526), 7); // a Saturday
  DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, ms);
  EXPECT_EQ(ms, 999);
}

TEST(Dates, DayNumbersOfEveryYear) {
  // Years 1 to 9999 as Python's date arithmetic counts from 1899-12-30; the others whole
  // cycles of 400 years (146097 days) away from those, year 0 being a leap year.
  const struct {
    int64_t year;
    int month, day;
    int64_t number;
  } cases[] = {
      {1899, 12, 30, 0},
      {2024, 2, 29, 45351},
      {1600, 3, 1, -109511},
      {1, 1, 1, -693593},
      {9999, 12, 31, 2958465},
      {10000, 1, 1, 2958466},
      {0, 12, 31, -693594},
      {0, 3, 1, -693899},
      {0, 2, 29, -693900},
      {-1, 12, 31, -693899 - 31 - 29 - 1},
      {-400, 3, 1, -693899 - 146097},
      {4000000001, 1, 1, 1460969306407},
      {-3999999999, 1, 1, -1460970693593},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(DaysFromCivil(c.year, c.month, c.day), c.number);
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(c.number, year, month, day);
    EXPECT_EQ(year, c.year);
    EXPECT_EQ(month, c.month);
    EXPECT_EQ(day, c.day);
  }
  // A day past the month's end is a day of the next month.
  EXPECT_EQ(DaysFromCivil(2023, 2, 29), 44986);
  static_assert(DaysFromCivil(1970, 1, 1) == 25569);
}

TEST(Dates, FormatDateTimeSpecifiers) {
  TFormatSettings fs = us();
  const TDateTime t = EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 7);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t, fs), "2024-02-29 13:05:09.007");
  EXPECT_EQ(FormatDateTime("h:nn am/pm", t, fs), "1:05 pm");
  EXPECT_EQ(FormatDateTime("hh:mm", t, fs), "13:05"); // m after h is the minute
  EXPECT_EQ(FormatDateTime("dddd, mmmm d", t, fs), "Thursday, February 29");
  EXPECT_EQ(FormatDateTime("ddd mmm", t, fs), "Thu Feb");
  EXPECT_EQ(FormatDateTime("'at' hh\"h\"", t, fs), "at 13h");
  fs.DateSeparator = '.';
  fs.ShortDateFormat = "dd/mm/yyyy";
  fs.LongTimeFormat = "hh:nn:ss";
  EXPECT_EQ(FormatDateTime("d/m/yy", t, fs), "29.2.24");
  EXPECT_EQ(FormatDateTime("ddddd tt", t, fs), "29.02.2024 13:05:09");
  EXPECT_EQ(FormatDateTime("c", EncodeDate(2024, 2, 29), fs), "29.02.2024");
  SetFormatSettings(fs);
  EXPECT_EQ(DateToStr(t), "29.02.2024");
  EXPECT_EQ(TimeToStr(t), "13:05:09");
  SetFormatSettings(TFormatSettings::FromLocale());
}

TEST(Clock, VirtualClockDrivesNowAndTicks) {
  auto previous = setClock(std::make_unique<VirtualClock>(45000.0, 0));
  EXPECT_EQ(GetTickCount(), 0u);
  static_cast<VirtualClock&>(currentClock()).advance(3600000);
  EXPECT_DOUBLE_EQ(Now(), 45000.0 + 1.0 / 24);
  EXPECT_DOUBLE_EQ(Date(), 45000.0);
  currentClock().sleepUntil(3600000 + 500); // a virtual clock jumps
  EXPECT_EQ(GetTickCount(), 3600500u);
  setClock(std::move(previous));
  EXPECT_FALSE(currentClock().isVirtual());
}

TEST(Assertions, FailedAssertionIsCatchable) {
  EXPECT_NO_THROW(KV_ASSERT(1 + 1 == 2, "fine"));
  try {
    KV_ASSERT(false, "Index out of range");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(e.Message().find("Index out of range ("), std::string::npos);
    EXPECT_NE(e.Message().find("line"), std::string::npos);
  }
}

TEST(CommandLine, ParamStrAndCount) {
  const char* argv[] = {"/opt/kv/KVBackup", "-BACKUP", "/srv/save/KorvBak.zip"};
  SetCommandLine(3, argv);
  EXPECT_EQ(ParamCount(), 2);
  EXPECT_EQ(ParamStr(1), "-BACKUP");
  EXPECT_EQ(ParamStr(3), "");
  SetCommandLine(1, argv);
  EXPECT_EQ(ParamCount(), 0);
}

} // namespace
