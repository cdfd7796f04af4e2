#include "ChartFormat.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ChartFormat {

using namespace kv::platform;

std::string formatDate(TDateTime date, bool withYear) {
  if (!std::isfinite(date)) return {};
  int64_t year;
  int month, day;
  CivilFromDays(int64_t(std::clamp(std::trunc(date), -1.0e12, 1.0e12)), year, month, day);
  if (!withYear) return Format("%.2d.%.2d.", {day, month});
  return Format("%.2d.%.2d.%.2d", {day, month, int(std::llabs(year) % 100)});
}

namespace {

// The locale's separators as they are: the thousands separator may be longer than one
// byte or missing (as in the C locale), which the class library's format settings cannot hold.
struct NumberSeparators {
  std::string decimal = ".";
  std::string thousands;
};

NumberSeparators userSeparators() {
  NumberSeparators s;
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", locale_t(0));
  if (!loc) return s;
  if (const char* radix = nl_langinfo_l(RADIXCHAR, loc); radix && *radix) s.decimal = radix;
  if (const char* sep = nl_langinfo_l(THOUSEP, loc)) s.thousands = sep;
  freelocale(loc);
  return s;
}

} // namespace

std::string formatNumber(double v, bool thousands) {
  // The class library's digits in its own separators, which then become the locale's.
  const std::string plain = FloatToStrF(v, ffNumber, 18, 2, TFormatSettings{});
  const NumberSeparators sep = userSeparators();
  std::string text;
  for (const char c : plain) {
    if (c == '.')
      text += sep.decimal;
    else if (c == ',') {
      if (thousands) text += sep.thousands;
    } else
      text += c;
  }
  return text;
}

} // namespace ChartFormat
