#include "ChartFormat.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ChartFormat {

void decodeDate(TDateTime date, int64_t& year, int& month, int& day) {
  const int64_t serial = int64_t(std::clamp(std::trunc(date), -1.0e12, 1.0e12));
  // Days since 0000-03-01 of the proleptic Gregorian calendar, counted in 400-year eras.
  const int64_t z = serial + 693899; // 1899-12-30 is day 693899 after 0000-03-01
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = int(doy - (153 * mp + 2) / 5 + 1);
  month = int(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

std::string formatDate(TDateTime date, bool withYear) {
  if (!std::isfinite(date)) return {};
  int64_t year;
  int month, day;
  decodeDate(date, year, month, day);
  char text[16];
  if (withYear)
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", day, month, int(std::llabs(year) % 100));
  else
    std::snprintf(text, sizeof text, "%02d.%02d.", day, month);
  return text;
}

namespace {

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
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  const NumberSeparators sep = userSeparators();
  const bool negative = std::signbit(v) && v != 0.0;
  // 18 significant digits: value = 0.digits * 10^(exponent + 1).
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.17e", std::fabs(v));
  std::string digits;
  const char* e = std::strchr(buf, 'e');
  for (const char* p = buf; p != e; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  const int exponent = std::atoi(e + 1);
  if (exponent + 1 > 18) {
    while (digits.size() > 1 && digits.back() == '0')
      digits.pop_back();
    std::string text = negative ? "-" : "";
    text += digits[0];
    if (digits.size() > 1) text += sep.decimal + digits.substr(1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%02d", exponent);
    return text + exp;
  }
  int intDigits = exponent + 1;
  if (v == 0.0) {
    digits.assign(18, '0');
    intDigits = 1;
  }
  if (intDigits < 1) {
    digits.insert(0, std::size_t(1 - intDigits), '0');
    intDigits = 1;
  }
  const std::size_t keep = std::size_t(intDigits) + 2;
  digits.resize(std::max(digits.size(), keep + 1), '0');
  const bool roundUp = digits[keep] >= '5';
  digits.resize(keep);
  if (roundUp) {
    int i = int(keep) - 1;
    for (; i >= 0 && digits[std::size_t(i)] == '9'; --i)
      digits[std::size_t(i)] = '0';
    if (i >= 0) {
      ++digits[std::size_t(i)];
    } else {
      digits.insert(0, "1");
      ++intDigits;
    }
  }
  const std::string whole = digits.substr(0, std::size_t(intDigits));
  std::string text;
  if (negative && digits.find_first_not_of('0') != std::string::npos) text = "-";
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (thousands && i > 0 && (whole.size() - i) % 3 == 0) text += sep.thousands;
    text += whole[i];
  }
  return text + sep.decimal + digits.substr(std::size_t(intDigits));
}

} // namespace ChartFormat
