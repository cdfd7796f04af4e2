// The class library's exception hierarchy and basic types.
#pragma once

#include "Platform/Rtl/Rounding.h"

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kv::platform {

// Days since 1899-12-30, the time of day as fraction, local time.
using TDateTime = double;
using TDate = TDateTime;
using TTime = TDateTime;

// Root of every exception the class library and the system raise. Carries the
// message that the standard exception box shows.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }
  int HelpContext = 0;

private:
  std::string message_;
};

#define KV_DECLARE_EXCEPTION(Name, Base)                                                                     \
  class Name : public Base {                                                                                 \
  public:                                                                                                    \
    using Base::Base;                                                                                        \
  }

// The silent exception: unwinds without the standard exception box.
KV_DECLARE_EXCEPTION(EAbort, Exception);
KV_DECLARE_EXCEPTION(EInvalidOperation, Exception);
KV_DECLARE_EXCEPTION(EConvertError, Exception);
KV_DECLARE_EXCEPTION(EAssertionFailed, Exception);
KV_DECLARE_EXCEPTION(EOutOfMemory, Exception);
KV_DECLARE_EXCEPTION(EInOutError, Exception);
KV_DECLARE_EXCEPTION(EListError, Exception);
KV_DECLARE_EXCEPTION(EStringListError, Exception);
KV_DECLARE_EXCEPTION(EComponentError, Exception);
KV_DECLARE_EXCEPTION(EStreamError, Exception);
KV_DECLARE_EXCEPTION(EFOpenError, EStreamError);
KV_DECLARE_EXCEPTION(EFCreateError, EStreamError);
KV_DECLARE_EXCEPTION(EReadError, EStreamError);
KV_DECLARE_EXCEPTION(EWriteError, EStreamError);
KV_DECLARE_EXCEPTION(EClassNotFound, EReadError);

// Raises EAbort.
[[noreturn]] void Abort();

// ---- assertions: a failed assertion is an ordinary, catchable exception

// Raises EAssertionFailed with "Message (File, line Line)" when Condition is false.
void AssertTrue(bool Condition, const std::string& Message, const char* File, int Line);
#define KV_ASSERT(cond, msg) ::kv::platform::AssertTrue(static_cast<bool>(cond), (msg), __FILE__, __LINE__)

// ---- format settings

struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  std::string ShortDateFormat = "mm/dd/yyyy";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string CurrencyString = "$";
  int CurrencyFormat = 0; // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
  int NegCurrFormat = 0;  // the sixteen Windows negative-currency layouts
  int CurrencyDecimals = 2;
  std::string ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string LongMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};
  std::string ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::string LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
  int TwoDigitYearCenturyWindow = 50;

  // Settings of the process locale (LC_TIME, LC_NUMERIC, LC_MONETARY from the environment).
  static TFormatSettings FromLocale();
};

// The settings in use: filled from the locale on first use unless replaced.
TFormatSettings& FormatSettings();
void SetFormatSettings(const TFormatSettings& Settings);

// ---- conversions

std::string IntToStr(int64_t Value);
std::string IntToHex(int64_t Value, int Digits);
// Decimal, or hexadecimal with a leading $ or 0x; surrounding blanks are allowed.
// Anything else, or a value out of the 32-bit range, raises EConvertError.
int32_t StrToInt(const std::string& S);
int64_t StrToInt64(const std::string& S);
int32_t StrToIntDef(const std::string& S, int32_t Default);
bool TryStrToInt(const std::string& S, int32_t& Value);
// Locale-free: digits with '.' as the only decimal separator and an optional exponent,
// nothing else besides surrounding blanks; anything else raises EConvertError.
double StrToFloat(const std::string& S);
bool TryStrToFloat(const std::string& S, double& Value);
double StrToFloatDef(const std::string& S, double Default);

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
inline constexpr auto ffGeneral = TFloatFormat::ffGeneral;
inline constexpr auto ffExponent = TFloatFormat::ffExponent;
inline constexpr auto ffFixed = TFloatFormat::ffFixed;
inline constexpr auto ffNumber = TFloatFormat::ffNumber;
inline constexpr auto ffCurrency = TFloatFormat::ffCurrency;

// Precision is the number of significant digits, 1 to 18 (beyond the 17 that tell doubles
// apart, the 18th digit is the exact binary value's); Digits the decimals, 0 to 18.
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits);
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits,
                        const TFormatSettings& Settings);
// General format with 15 significant digits.
std::string FloatToStr(double Value);
std::string FloatToStr(double Value, const TFormatSettings& Settings);

// One argument of Format.
class TVarRec {
public:
  TVarRec(int v) : value_(int64_t{v}) {}
  TVarRec(unsigned v) : value_(int64_t{v}) {}
  TVarRec(long v) : value_(int64_t{v}) {}
  TVarRec(long long v) : value_(int64_t{v}) {}
  TVarRec(unsigned long v) : value_(static_cast<int64_t>(v)) {}
  TVarRec(unsigned long long v) : value_(static_cast<int64_t>(v)) {}
  TVarRec(double v) : value_(v) {}
  TVarRec(const char* v) : value_(std::string(v ? v : "")) {}
  TVarRec(std::string v) : value_(std::move(v)) {}
  TVarRec(const void* v) : value_(v) {}
  const std::variant<int64_t, double, std::string, const void*>& value() const { return value_; }

private:
  std::variant<int64_t, double, std::string, const void*> value_;
};

// Formats like the class library: %[index:][-][width][.precision]type with the types
// d u e f g n m p s x, * for a width or precision taken from the arguments, %% for a percent sign.
// A specifier that does not fit its argument raises EConvertError.
std::string Format(const std::string& Fmt, std::initializer_list<TVarRec> Args);
std::string Format(const std::string& Fmt, std::initializer_list<TVarRec> Args,
                   const TFormatSettings& Settings);

// ---- dates and times

TDateTime EncodeDate(int Year, int Month, int Day); // EConvertError when invalid
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date);
void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec);
int DayOfWeek(TDateTime Date); // 1 = Sunday ... 7 = Saturday
bool IsLeapYear(int Year);

// Day numbers of the proleptic Gregorian calendar for every year, also those before 1 and
// after 9999 that TDateTime's encoding refuses (counted in eras of 400 years, 64-bit years).
// Day 0 is 1899-12-30, as for TDateTime. DaysFromCivil does not check the date: a day past
// the end of its month counts on into the next. CivilFromDays is its inverse.
constexpr int64_t DaysFromCivil(int64_t Year, int Month, int Day) {
  const int64_t y = Year - (Month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 693899; // the eras start on 0000-03-01, day -693899
}
constexpr void CivilFromDays(int64_t Days, int64_t& Year, int& Month, int& Day) {
  const int64_t z = Days + 693899; // days since 0000-03-01
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  Year = yoe + era * 400 + (Month <= 2 ? 1 : 0);
}

std::string FormatDateTime(const std::string& Fmt, TDateTime DateTime);
std::string FormatDateTime(const std::string& Fmt, TDateTime DateTime, const TFormatSettings& Settings);
// The numbers and month names of a formatted date and time, where they stand in the text
// (bytes), for editing it field by field; day names, milliseconds and am/pm are no fields.
enum class DateTimePart { day, month, year, hour, minute, second };
struct DateTimeField {
  DateTimePart part;
  size_t start, length;
};
std::string formatDateTimeFields(const std::string& Fmt, TDateTime DateTime, const TFormatSettings& Settings,
                                 std::vector<DateTimeField>& Fields);
std::string DateToStr(TDateTime Date); // ShortDateFormat
std::string TimeToStr(TDateTime Time); // LongTimeFormat
std::string DateTimeToStr(TDateTime DateTime);

// ---- the clock: wall time and a millisecond tick for timers, replaceable by a virtual clock

class Clock {
public:
  virtual ~Clock() = default;
  // Local date and time.
  virtual TDateTime now() = 0;
  // Milliseconds on a steady counter.
  virtual uint64_t tickCount() = 0;
  // Waits until the tick counter reaches Tick (a virtual clock jumps there at once).
  virtual void sleepUntil(uint64_t Tick) = 0;
  virtual bool isVirtual() const { return false; }
};

// A clock that moves only when told to: tests set its start and advance it.
class VirtualClock : public Clock {
public:
  explicit VirtualClock(TDateTime Start = 45000.0, uint64_t StartTick = 0)
      : start_(Start), tick0_(StartTick), tick_(StartTick) {}
  TDateTime now() override { return start_ + static_cast<double>(tick_ - tick0_) / 86400000.0; }
  uint64_t tickCount() override { return tick_; }
  void sleepUntil(uint64_t Tick) override {
    if (Tick > tick_) tick_ = Tick;
  }
  bool isVirtual() const override { return true; }
  void advance(uint64_t Milliseconds) { tick_ += Milliseconds; }

private:
  TDateTime start_;
  uint64_t tick0_;
  uint64_t tick_;
};

Clock& currentClock();
// Replaces the clock; returns the previous one (nullptr when the system clock was in use).
std::unique_ptr<Clock> setClock(std::unique_ptr<Clock> NewClock);

// The program's command line: SetCommandLine at start; ParamStr(0) is the program.
void SetCommandLine(int Argc, const char* const* Argv);
int ParamCount();
std::string ParamStr(int Index);

TDateTime Now();
TDateTime Date();
TDateTime Time();
uint64_t GetTickCount();

} // namespace kv::platform
