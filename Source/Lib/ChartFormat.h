// Texts of the two chart units: date labels and value labels. The date and number formats
// of the class library that the charts need, kept here until the class library offers them.
#pragma once

#include "KVLibExport.h"
#include "Platform/Rtl/SysUtils.h"

#include <cstdint>
#include <string>

namespace ChartFormat {

using kv::platform::TDateTime;

// Civil date of a day number (days since 1899-12-30); the time of day is dropped toward
// zero, as the class library's date decoding does.
KVLIB_LOCAL void decodeDate(TDateTime date, int64_t& year, int& month, int& day);

// "dd.mm." or, with the year, "dd.mm.yy" (points are plain characters in these patterns).
// Empty for a value that is no number.
KVLIB_LOCAL std::string formatDate(TDateTime date, bool withYear);

// The number with two decimals in the separators of the user's locale (LC_NUMERIC from the
// environment), with thousands separators when asked for. The decimals come from the value's
// 18 significant digits, rounded half away from zero; a number with more than 18 digits before
// the point comes out in scientific notation, one that is no number as "NAN", "INF" or "-INF".
KVLIB_LOCAL std::string formatNumber(double value, bool thousands = true);

} // namespace ChartFormat
