// Calendar arithmetic: weeks, days of the year, and the table of public holidays and
// special days of one year.
#pragma once

#include "KVLibExport.h"
#include "Platform/Rtl/SysUtils.h"

#include <cstdint>
#include <string_view>

namespace uKVdatefuncs {

using kv::platform::TDateTime;

// A name of at most 25 bytes in a 26-byte slot: its length, then its characters.
struct TDayName {
  uint8_t Length;
  char Chars[25];
  std::string_view Text() const { return {Chars, Length <= sizeof Chars ? Length : sizeof Chars}; }
};

// Day-of-week number on which a week starts (1 Sunday, 2 Monday, ... 7 Saturday).
extern KVLIB_API int32_t FirstWeekDay;
// The day of January that week 1 always contains.
extern KVLIB_API int32_t FirstWeekDate;
// Region number (0 to 15) that selects the regional holidays of FeiertageBerechnen.
extern KVLIB_API int32_t Config;

// The holiday code of every day of the year last computed, indexed 1 to 366 by day of
// the year (index 0 stays 0): +n holiday n of Feiertage, -n special day n of
// Sondertage, 0 an ordinary day.
inline constexpr int FeiertagCount = 366;
extern KVLIB_API int8_t Feiertag[FeiertagCount + 1];

// Names indexed by code from 1 (index 0 is empty).
extern KVLIB_API TDayName Feiertage[19 + 1];
extern KVLIB_API TDayName Sondertage[24 + 1];
// Week-day names, 1 Monday to 7 Sunday.
extern KVLIB_API TDayName WochentagName[7 + 1];

// First day of week Week of Year.
KVLIB_API TDateTime WeekToDate(int32_t Week, int32_t Year);
// The week of Date and the year that this week belongs to (both 0 when Date is no date).
KVLIB_API void DateToWeek(TDateTime Date, uint16_t& Week, uint16_t& Year);
// Day of the year of Date, 1 for 1 January; 0 when Date is no date.
KVLIB_API uint16_t TagImJahr(TDateTime Date);
// Fills Feiertag for Year.
KVLIB_API void FeiertageBerechnen(uint16_t Year);

} // namespace uKVdatefuncs
