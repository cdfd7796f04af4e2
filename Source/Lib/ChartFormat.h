// Texts of the two chart units: date labels and value labels.
#pragma once

#include "KVLibExport.h"
#include "Platform/Rtl/SysUtils.h"

#include <string>

namespace ChartFormat {

using kv::platform::TDateTime;

// "dd.mm." or, with the year, "dd.mm.yy" (points are plain characters in these patterns).
// The time of day is dropped toward zero; years outside 1..9999 keep their last two digits.
// Empty for a value that is no number.
KVLIB_LOCAL std::string formatDate(TDateTime date, bool withYear);

// The number with two decimals in the separators of the user's locale (LC_NUMERIC from the
// environment), with thousands separators when asked for. The decimals come from the value's
// 18 significant digits, rounded half away from zero; a number with more than 18 digits before
// the point comes out in scientific notation, one that is no number as "NAN", "INF" or "-INF".
KVLIB_LOCAL std::string formatNumber(double value, bool thousands = true);

} // namespace ChartFormat
