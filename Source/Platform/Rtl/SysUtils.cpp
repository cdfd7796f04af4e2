#include "Platform/Rtl/SysUtils.h"

#include "Platform/Rtl/ServiceSlot.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <langinfo.h>
#include <limits>
#include <locale.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kv::platform {

// ---- assertions

void AssertTrue(bool Condition, const std::string& Message, const char* File, int Line) {
  if (Condition) return;
  const std::string text = Message.empty() ? std::string("Assertion failure") : Message;
  throw EAssertionFailed(text + " (" + (File ? File : "") + ", line " + std::to_string(Line) + ")");
}

// ---- format settings from the locale

namespace {

// A C-library time format ("%d.%m.%Y") in the class library's notation ("dd/mm/yyyy" with
// the separator noted apart), so that the separators stay replaceable.
std::string convertTimeFormat(const std::string& f, bool date, char& separator) {
  std::string out;
  auto literal = [&](char c) {
    if (c == ' ' || c == ',' || c == '-') {
      out += c;
      return;
    }
    if (date && !std::isalnum(static_cast<unsigned char>(c))) {
      if (!separator) separator = c;
      out += c == separator ? '/' : c;
      return;
    }
    if (!date && !std::isalnum(static_cast<unsigned char>(c))) {
      if (!separator) separator = c;
      out += c == separator ? ':' : c;
      return;
    }
    out += '"';
    out += c;
    out += '"';
  };
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%' || i + 1 >= f.size()) {
      literal(f[i]);
      continue;
    }
    char c = f[++i];
    while ((c == 'E' || c == 'O' || c == '-' || c == '_' || c == '0') && i + 1 < f.size())
      c = f[++i];
    switch (c) {
    case 'd':
      out += "dd";
      break;
    case 'e':
      out += "d";
      break;
    case 'm':
      out += "mm";
      break;
    case 'y':
      out += "yy";
      break;
    case 'Y':
      out += "yyyy";
      break;
    case 'b':
    case 'h':
      out += "mmm";
      break;
    case 'B':
      out += "mmmm";
      break;
    case 'a':
      out += "ddd";
      break;
    case 'A':
      out += "dddd";
      break;
    case 'H':
      out += "hh";
      break;
    case 'k':
    case 'l':
      out += "h";
      break;
    case 'I':
      out += "hh";
      break;
    case 'M':
      out += "nn";
      break;
    case 'S':
      out += "ss";
      break;
    case 'p':
    case 'P':
      out += "ampm";
      break;
    case 'D':
      out += date ? "mm/dd/yy" : "mm/dd/yy";
      break;
    case 'T':
      out += "hh:nn:ss";
      if (!separator) separator = ':';
      break;
    case 'R':
      out += "hh:nn";
      if (!separator) separator = ':';
      break;
    case 'r':
      out += "hh:nn:ss ampm";
      if (!separator) separator = ':';
      break;
    case 'n':
    case 't':
      out += ' ';
      break;
    case '%':
      out += "\"%\"";
      break;
    default:
      break;
    }
  }
  return out;
}

std::string langinfo(locale_t loc, nl_item item) {
  const char* s = nl_langinfo_l(item, loc);
  return s ? std::string(s) : std::string();
}

} // namespace

TFormatSettings TFormatSettings::FromLocale() {
  TFormatSettings fs;
  locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
  if (!loc) loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (!loc) return fs;
  const std::string radix = langinfo(loc, RADIXCHAR);
  if (radix.size() == 1) fs.DecimalSeparator = radix[0];
  const std::string thousands = langinfo(loc, THOUSEP);
  if (thousands.size() == 1 && thousands[0] != fs.DecimalSeparator)
    fs.ThousandSeparator = thousands[0];
  else
    fs.ThousandSeparator = fs.DecimalSeparator == ',' ? '.' : ',';
  char dateSep = 0, timeSep = 0;
  const std::string dateFormat = convertTimeFormat(langinfo(loc, D_FMT), true, dateSep);
  const std::string timeFormat = convertTimeFormat(langinfo(loc, T_FMT), false, timeSep);
  if (!dateFormat.empty()) fs.ShortDateFormat = dateFormat;
  if (dateSep) fs.DateSeparator = dateSep;
  if (!timeFormat.empty()) {
    fs.LongTimeFormat = timeFormat;
    std::string shortTime = timeFormat;
    const auto ss = shortTime.find(":ss");
    if (ss != std::string::npos) shortTime.erase(ss, 3);
    fs.ShortTimeFormat = shortTime;
  }
  if (timeSep) fs.TimeSeparator = timeSep;
  const std::string am = langinfo(loc, AM_STR), pm = langinfo(loc, PM_STR);
  if (!am.empty()) fs.TimeAMString = am;
  if (!pm.empty()) fs.TimePMString = pm;
  for (int i = 0; i < 12; ++i) {
    const std::string shortName = langinfo(loc, static_cast<nl_item>(ABMON_1 + i));
    const std::string longName = langinfo(loc, static_cast<nl_item>(MON_1 + i));
    if (!shortName.empty()) fs.ShortMonthNames[i] = shortName;
    if (!longName.empty()) fs.LongMonthNames[i] = longName;
  }
  for (int i = 0; i < 7; ++i) {
    const std::string shortName = langinfo(loc, static_cast<nl_item>(ABDAY_1 + i));
    const std::string longName = langinfo(loc, static_cast<nl_item>(DAY_1 + i));
    if (!shortName.empty()) fs.ShortDayNames[i] = shortName;
    if (!longName.empty()) fs.LongDayNames[i] = longName;
  }
  const std::string currency = langinfo(loc, CRNCYSTR);
  if (currency.size() > 1) {
    fs.CurrencyString = currency.substr(1);
    fs.CurrencyFormat = currency[0] == '+' ? 3 : 0;
  }
  freelocale(loc);
  return fs;
}

namespace {
std::mutex& settingsMutex() {
  static std::mutex m;
  return m;
}
std::unique_ptr<TFormatSettings>& settingsSlot() {
  static std::unique_ptr<TFormatSettings> s;
  return s;
}
} // namespace

TFormatSettings& FormatSettings() {
  std::lock_guard<std::mutex> lock(settingsMutex());
  auto& slot = settingsSlot();
  if (!slot) slot = std::make_unique<TFormatSettings>(TFormatSettings::FromLocale());
  return *slot;
}

void SetFormatSettings(const TFormatSettings& Settings) {
  std::lock_guard<std::mutex> lock(settingsMutex());
  settingsSlot() = std::make_unique<TFormatSettings>(Settings);
}

// ---- integers

std::string IntToStr(int64_t Value) { return std::to_string(Value); }

std::string IntToHex(int64_t Value, int Digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(Value));
  std::string s = buf;
  if (static_cast<int>(s.size()) < Digits) s.insert(0, static_cast<size_t>(Digits) - s.size(), '0');
  return s;
}

namespace {

std::string trimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t'))
    ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
    --e;
  return s.substr(b, e - b);
}

bool parseInt64(const std::string& text, int64_t& out) {
  const std::string s = trimBlanks(text);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  unsigned long long value = 0;
  const unsigned long long limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    if (value > (limit - static_cast<unsigned>(d)) / static_cast<unsigned>(base)) return false;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
  }
  out = negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
  return true;
}

[[noreturn]] void invalidInteger(const std::string& s) {
  throw EConvertError("'" + s + "' is not a valid integer value");
}

} // namespace

int64_t StrToInt64(const std::string& S) {
  int64_t v = 0;
  if (!parseInt64(S, v)) invalidInteger(S);
  return v;
}

bool TryStrToInt(const std::string& S, int32_t& Value) {
  int64_t v = 0;
  if (!parseInt64(S, v) || v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    return false;
  Value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(const std::string& S) {
  int32_t v = 0;
  if (!TryStrToInt(S, v)) invalidInteger(S);
  return v;
}

int32_t StrToIntDef(const std::string& S, int32_t Default) {
  int32_t v = 0;
  return TryStrToInt(S, v) ? v : Default;
}

// ---- floats

bool TryStrToFloat(const std::string& S, double& Value) {
  const std::string s = trimBlanks(S);
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
    ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
      ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
      ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != s.size()) return false;
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  errno = 0;
  const double v = strtod_l(s.c_str(), nullptr, cLocale);
  if (std::isinf(v)) return false;
  Value = v;
  return true;
}

double StrToFloat(const std::string& S) {
  double v = 0;
  if (!TryStrToFloat(S, v)) throw EConvertError("'" + S + "' is not a valid floating point value");
  return v;
}

double StrToFloatDef(const std::string& S, double Default) {
  double v = 0;
  return TryStrToFloat(S, v) ? v : Default;
}

namespace {

constexpr int MaxPrecision = 18;

// The decimal digits of |v| rounded to `precision` significant digits: v = 0.DIGITS x 10^exponent.
struct Decimal {
  std::string digits; // no leading zeros; "0" with exponent 0 for zero
  int exponent = 0;
  bool negative = false;
};

// Rounds the digit string so that it keeps `keep` digits (half away from zero on the decimals).
void roundDigits(Decimal& d, int keep) {
  if (keep < 0) {
    d.digits = "0";
    d.exponent = 0;
    return;
  }
  if (static_cast<int>(d.digits.size()) <= keep) return;
  const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9')
      d.digits[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    } else {
      ++d.digits[static_cast<size_t>(i)];
    }
  }
  if (d.digits.empty() || d.digits.find_first_not_of('0') == std::string::npos) {
    d.digits = "0";
    d.exponent = 0;
  }
}

Decimal toDecimal(double v, int precision) {
  Decimal d;
  d.negative = std::signbit(v);
  v = std::fabs(v);
  precision = std::clamp(precision, 1, MaxPrecision);
  if (v == 0) {
    d.digits = "0";
    return d;
  }
  // All the digits a double holds first, then rounding half away from zero in decimal, so
  // that 1234.5 to four digits gives 1235 as a person would round it. Eighteen digits take
  // one digit more of the exact binary value.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", precision > 17 ? 17 : 16, v);
  std::string s = buf;
  const auto e = s.find('e');
  for (size_t i = 0; i < e; ++i)
    if (std::isdigit(static_cast<unsigned char>(s[i]))) d.digits += s[i];
  d.exponent = std::atoi(s.c_str() + e + 1) + 1;
  roundDigits(d, precision);
  return d;
}

bool allZero(const std::string& s) { return s.find_first_of("123456789") == std::string::npos; }

std::string groupThousands(const std::string& intPart, char sep) {
  std::string out;
  const int n = static_cast<int>(intPart.size());
  for (int i = 0; i < n; ++i) {
    out += intPart[static_cast<size_t>(i)];
    const int left = n - 1 - i;
    if (left > 0 && left % 3 == 0) out += sep;
  }
  return out;
}

// Fixed notation of |value| with `decimals` decimals from its `precision` significant digits.
void fixedParts(double value, int precision, int decimals, std::string& intPart, std::string& fracPart,
                bool& negative) {
  Decimal d = toDecimal(value, precision);
  negative = d.negative;
  roundDigits(d, d.exponent + decimals);
  const std::string& g = d.digits;
  if (g == "0") {
    intPart = "0";
    fracPart.assign(static_cast<size_t>(decimals), '0');
  } else {
    intPart.clear();
    for (int i = 0; i < d.exponent; ++i)
      intPart += i < static_cast<int>(g.size()) ? g[static_cast<size_t>(i)] : '0';
    if (intPart.empty()) intPart = "0";
    fracPart.clear();
    for (int i = 0; i < decimals; ++i) {
      const int pos = d.exponent + i;
      fracPart += (pos >= 0 && pos < static_cast<int>(g.size())) ? g[static_cast<size_t>(pos)] : '0';
    }
  }
  if (allZero(intPart) && allZero(fracPart)) negative = false;
}

std::string exponentText(int e, int minDigits, bool alwaysSign) {
  std::string digits = std::to_string(std::abs(e));
  if (static_cast<int>(digits.size()) < minDigits)
    digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
  if (e < 0) return "-" + digits;
  return (alwaysSign ? "+" : "") + digits;
}

std::string generalFormat(double value, int precision, int digits, const TFormatSettings& fs) {
  Decimal d = toDecimal(value, precision);
  std::string g = d.digits;
  while (g.size() > 1 && g.back() == '0')
    g.pop_back();
  const std::string sign = d.negative && g != "0" ? "-" : "";
  if (g == "0") return "0";
  const int p = std::clamp(precision, 1, MaxPrecision);
  if (d.exponent > p || d.exponent < -4) {
    std::string s = sign + g.substr(0, 1);
    if (g.size() > 1) s += fs.DecimalSeparator + g.substr(1);
    return s + "E" + exponentText(d.exponent - 1, std::clamp(digits, 0, 4), false);
  }
  std::string intPart, frac;
  if (d.exponent <= 0) {
    intPart = "0";
    frac = std::string(static_cast<size_t>(-d.exponent), '0') + g;
  } else {
    for (int i = 0; i < d.exponent; ++i)
      intPart += i < static_cast<int>(g.size()) ? g[static_cast<size_t>(i)] : '0';
    if (d.exponent < static_cast<int>(g.size())) frac = g.substr(static_cast<size_t>(d.exponent));
  }
  return sign + intPart + (frac.empty() ? std::string() : std::string(1, fs.DecimalSeparator) + frac);
}

std::string exponentFormat(double value, int precision, int digits, const TFormatSettings& fs) {
  Decimal d = toDecimal(value, precision);
  const int p = std::clamp(precision, 1, MaxPrecision);
  std::string g = d.digits;
  if (g == "0") g = std::string(static_cast<size_t>(p), '0'), d.exponent = 1;
  while (static_cast<int>(g.size()) < p)
    g += '0';
  std::string s = (d.negative && !allZero(g) ? "-" : "") + g.substr(0, 1);
  if (g.size() > 1) s += fs.DecimalSeparator + g.substr(1);
  return s + "E" + exponentText(d.exponent - 1, std::clamp(digits, 0, 4), true);
}

std::string currencyText(const std::string& amount, bool negative, const TFormatSettings& fs) {
  const std::string& c = fs.CurrencyString;
  if (!negative) {
    switch (fs.CurrencyFormat) {
    case 1:
      return amount + c;
    case 2:
      return c + " " + amount;
    case 3:
      return amount + " " + c;
    default:
      return c + amount;
    }
  }
  switch (fs.NegCurrFormat) {
  case 1:
    return "-" + c + amount;
  case 2:
    return c + "-" + amount;
  case 3:
    return c + amount + "-";
  case 4:
    return "(" + amount + c + ")";
  case 5:
    return "-" + amount + c;
  case 6:
    return amount + "-" + c;
  case 7:
    return amount + c + "-";
  case 8:
    return "-" + amount + " " + c;
  case 9:
    return "-" + c + " " + amount;
  case 10:
    return amount + " " + c + "-";
  case 11:
    return c + " " + amount + "-";
  case 12:
    return c + " -" + amount;
  case 13:
    return amount + "- " + c;
  case 14:
    return "(" + c + " " + amount + ")";
  case 15:
    return "(" + amount + " " + c + ")";
  default:
    return "(" + c + amount + ")";
  }
}

} // namespace

std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits,
                        const TFormatSettings& Settings) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  Digits = std::clamp(Digits, 0, 18);
  const int p = std::clamp(Precision, 1, MaxPrecision);
  switch (Format) {
  case TFloatFormat::ffGeneral:
    return generalFormat(Value, Precision, Digits, Settings);
  case TFloatFormat::ffExponent:
    return exponentFormat(Value, Precision, Digits, Settings);
  case TFloatFormat::ffFixed:
  case TFloatFormat::ffNumber:
  case TFloatFormat::ffCurrency: {
    const Decimal d = toDecimal(Value, p);
    if (d.digits != "0" && d.exponent > p) return generalFormat(Value, Precision, 0, Settings);
    std::string intPart, frac;
    bool negative = false;
    fixedParts(Value, p, Digits, intPart, frac, negative);
    if (Format != TFloatFormat::ffFixed) intPart = groupThousands(intPart, Settings.ThousandSeparator);
    std::string amount =
        intPart + (frac.empty() ? std::string() : std::string(1, Settings.DecimalSeparator) + frac);
    if (Format == TFloatFormat::ffCurrency) return currencyText(amount, negative, Settings);
    return (negative ? "-" : "") + amount;
  }
  }
  return {};
}

std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits) {
  return FloatToStrF(Value, Format, Precision, Digits, FormatSettings());
}

std::string FloatToStr(double Value, const TFormatSettings& Settings) {
  return FloatToStrF(Value, TFloatFormat::ffGeneral, 15, 0, Settings);
}
std::string FloatToStr(double Value) { return FloatToStr(Value, FormatSettings()); }

// ---- Format

std::string Format(const std::string& Fmt, std::initializer_list<TVarRec> Args, const TFormatSettings& fs) {
  const std::vector<TVarRec> args(Args);
  auto invalid = [&]() -> EConvertError {
    return EConvertError("Format '" + Fmt + "' invalid or incompatible with argument");
  };
  std::string out;
  size_t next = 0;
  size_t i = 0;
  auto argAt = [&](size_t index) -> const TVarRec& {
    if (index >= args.size()) throw EConvertError("No argument for format '" + Fmt + "'");
    return args[index];
  };
  auto intArg = [&](size_t index) -> int64_t {
    const auto& v = argAt(index).value();
    if (!std::holds_alternative<int64_t>(v)) throw invalid();
    return std::get<int64_t>(v);
  };
  while (i < Fmt.size()) {
    const char c = Fmt[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    ++i;
    if (i < Fmt.size() && Fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // [index:]
    auto readNumber = [&](int& value, bool& present) {
      present = false;
      if (i < Fmt.size() && Fmt[i] == '*') {
        value = static_cast<int>(intArg(next++));
        present = true;
        ++i;
        return;
      }
      int v = 0;
      while (i < Fmt.size() && std::isdigit(static_cast<unsigned char>(Fmt[i]))) {
        v = v * 10 + (Fmt[i] - '0');
        present = true;
        ++i;
      }
      value = v;
    };
    {
      const size_t save = i;
      size_t index = 0;
      bool digits = false;
      while (i < Fmt.size() && std::isdigit(static_cast<unsigned char>(Fmt[i]))) {
        index = index * 10 + static_cast<size_t>(Fmt[i] - '0');
        digits = true;
        ++i;
      }
      if (digits && i < Fmt.size() && Fmt[i] == ':') {
        next = index;
        ++i;
      } else {
        i = save;
      }
    }
    bool left = false;
    if (i < Fmt.size() && Fmt[i] == '-') {
      left = true;
      ++i;
    }
    int width = 0;
    bool haveWidth = false;
    readNumber(width, haveWidth);
    if (width < 0) {
      left = true;
      width = -width;
    }
    int prec = 0;
    bool havePrec = false;
    if (i < Fmt.size() && Fmt[i] == '.') {
      ++i;
      readNumber(prec, havePrec);
      havePrec = true;
    }
    if (i >= Fmt.size()) throw invalid();
    const char type = static_cast<char>(std::tolower(static_cast<unsigned char>(Fmt[i++])));
    const TVarRec& arg = argAt(next++);
    const auto& v = arg.value();
    std::string text;
    auto floatArg = [&]() -> double {
      if (std::holds_alternative<double>(v)) return std::get<double>(v);
      throw invalid();
    };
    switch (type) {
    case 'd':
    case 'u': {
      if (!std::holds_alternative<int64_t>(v)) throw invalid();
      int64_t n = std::get<int64_t>(v);
      bool negative = false;
      unsigned long long mag;
      if (type == 'u')
        mag = static_cast<unsigned long long>(static_cast<uint32_t>(n));
      else {
        negative = n < 0;
        mag = negative ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
      }
      text = std::to_string(mag);
      if (havePrec && static_cast<int>(text.size()) < prec)
        text.insert(0, static_cast<size_t>(prec) - text.size(), '0');
      if (negative) text.insert(0, 1, '-');
      break;
    }
    case 'x': {
      if (!std::holds_alternative<int64_t>(v)) throw invalid();
      const int64_t n = std::get<int64_t>(v);
      const bool fits32 =
          n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<uint32_t>::max();
      text = IntToHex(fits32 ? static_cast<int64_t>(static_cast<uint32_t>(n)) : n, havePrec ? prec : 0);
      break;
    }
    case 'e':
      text = FloatToStrF(floatArg(), TFloatFormat::ffExponent, havePrec ? prec : 15, 3, fs);
      break;
    case 'f':
      text = FloatToStrF(floatArg(), TFloatFormat::ffFixed, 17, havePrec ? prec : 2, fs);
      break;
    case 'g':
      text = FloatToStrF(floatArg(), TFloatFormat::ffGeneral, havePrec ? prec : 15, 0, fs);
      break;
    case 'n':
      text = FloatToStrF(floatArg(), TFloatFormat::ffNumber, 17, havePrec ? prec : 2, fs);
      break;
    case 'm':
      text = FloatToStrF(floatArg(), TFloatFormat::ffCurrency, 17, havePrec ? prec : fs.CurrencyDecimals, fs);
      break;
    case 'p': {
      if (!std::holds_alternative<const void*>(v)) throw invalid();
      text = IntToHex(static_cast<int64_t>(reinterpret_cast<uintptr_t>(std::get<const void*>(v))), 16);
      break;
    }
    case 's': {
      if (!std::holds_alternative<std::string>(v)) throw invalid();
      text = std::get<std::string>(v);
      if (havePrec && static_cast<int>(text.size()) > prec)
        text.resize(static_cast<size_t>(std::max(prec, 0)));
      break;
    }
    default:
      throw invalid();
    }
    if (static_cast<int>(text.size()) < width) {
      const std::string pad(static_cast<size_t>(width) - text.size(), ' ');
      text = left ? text + pad : pad + text;
    }
    out += text;
  }
  return out;
}

std::string Format(const std::string& Fmt, std::initializer_list<TVarRec> Args) {
  return Format(Fmt, Args, FormatSettings());
}

// ---- dates

namespace {
constexpr int64_t kMsPerDay = 86400000;

// Splits a date-time into its day number and the milliseconds of its time of day; the time
// is the fraction's absolute value, as for dates before 1899-12-30.
void split(TDateTime v, int64_t& day, int64_t& ms) {
  day = static_cast<int64_t>(std::trunc(v));
  ms = Round(std::fabs(v - static_cast<double>(day)) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    day += v < 0 ? -1 : 1;
  }
}

const int kDaysInMonth[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                 {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
} // namespace

bool IsLeapYear(int Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      Day > kDaysInMonth[IsLeapYear(Year) ? 1 : 0][Month - 1])
    return false;
  Date = static_cast<double>(DaysFromCivil(Year, Month, Day));
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime d = 0;
  if (!TryEncodeDate(Year, Month, Day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999)
    throw EConvertError("Invalid argument to time encode");
  return static_cast<double>(((Hour * 60 + Min) * 60 + Sec) * 1000 + MSec) / kMsPerDay;
}

void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day) {
  int64_t day = 0, ms = 0;
  split(Date, day, ms);
  int64_t year = 0;
  CivilFromDays(day, year, Month, Day);
  Year = static_cast<int>(year);
}

void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec) {
  int64_t day = 0, ms = 0;
  split(Time, day, ms);
  Hour = static_cast<int>(ms / 3600000);
  Min = static_cast<int>(ms / 60000 % 60);
  Sec = static_cast<int>(ms / 1000 % 60);
  MSec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime Date) {
  int64_t day = 0, ms = 0;
  split(Date, day, ms);
  // 1899-12-30 was a Saturday.
  const int64_t w = ((day + 6) % 7 + 7) % 7; // 0 = Sunday
  return static_cast<int>(w) + 1;
}

namespace {

void formatInto(std::string& out, const std::string& f, TDateTime v, const TFormatSettings& fs, int depth,
                std::vector<DateTimeField>* fields) {
  if (depth > 2) return;
  // Where the number or name just written stands, for those who edit the text field by field.
  auto field = [&](DateTimePart part, size_t start) {
    if (fields) fields->push_back({part, start, out.size() - start});
  };
  int year, month, day, hour, minute, second, msec;
  DecodeDate(v, year, month, day);
  DecodeTime(v, hour, minute, second, msec);
  const int dow = DayOfWeek(v) - 1;
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  auto startsWith = [&](size_t at, const char* s) {
    for (size_t k = 0; s[k]; ++k)
      if (at + k >= f.size() || lower(f[at + k]) != s[k]) return false;
    return true;
  };
  bool twelveHour = false;
  for (size_t k = 0; k < f.size(); ++k)
    if (startsWith(k, "am/pm") || startsWith(k, "a/p") || startsWith(k, "ampm")) twelveHour = true;
  auto two = [](int n) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", n);
    return std::string(b);
  };
  bool lastWasHour = false;
  size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    const char lc = lower(c);
    if (c == '"' || c == '\'') {
      const size_t end = f.find(c, i + 1);
      out += f.substr(i + 1, (end == std::string::npos ? f.size() : end) - i - 1);
      i = end == std::string::npos ? f.size() : end + 1;
      continue;
    }
    size_t run = 1;
    while (i + run < f.size() && lower(f[i + run]) == lc)
      ++run;
    switch (lc) {
    case 'c':
      formatInto(out, fs.ShortDateFormat, v, fs, depth + 1, fields);
      if (std::fabs(v - std::trunc(v)) > 0) {
        out += ' ';
        formatInto(out, fs.LongTimeFormat, v, fs, depth + 1, fields);
      }
      i += 1;
      continue;
    case 'd':
      if (run >= 6)
        formatInto(out, fs.LongDateFormat, v, fs, depth + 1, fields), run = 6;
      else if (run == 5)
        formatInto(out, fs.ShortDateFormat, v, fs, depth + 1, fields);
      else if (run == 4)
        out += fs.LongDayNames[dow];
      else if (run == 3)
        out += fs.ShortDayNames[dow];
      else {
        const size_t start = out.size();
        out += run == 2 ? two(day) : std::to_string(day);
        field(DateTimePart::day, start);
      }
      i += run;
      lastWasHour = false;
      continue;
    case 'm': {
      const size_t start = out.size();
      if (lastWasHour && run <= 2) {
        out += run == 2 ? two(minute) : std::to_string(minute);
        lastWasHour = false;
        field(DateTimePart::minute, start);
      } else {
        if (run >= 4) {
          out += fs.LongMonthNames[month - 1];
          run = 4;
        } else if (run == 3) {
          out += fs.ShortMonthNames[month - 1];
        } else {
          out += run == 2 ? two(month) : std::to_string(month);
        }
        field(DateTimePart::month, start);
      }
      i += run;
      continue;
    }
    case 'y': {
      const size_t start = out.size();
      if (run <= 2)
        out += two(year % 100);
      else {
        char b[16];
        std::snprintf(b, sizeof b, "%04d", year);
        out += b;
      }
      field(DateTimePart::year, start);
      i += run;
      lastWasHour = false;
      continue;
    }
    case 'h': {
      int h = hour;
      if (twelveHour) {
        h = hour % 12;
        if (h == 0) h = 12;
      }
      const size_t start = out.size();
      out += run >= 2 ? two(h) : std::to_string(h);
      field(DateTimePart::hour, start);
      i += std::min<size_t>(run, 2);
      lastWasHour = true;
      continue;
    }
    case 'n':
    case 's': {
      const size_t start = out.size();
      const int n = lc == 'n' ? minute : second;
      out += run >= 2 ? two(n) : std::to_string(n);
      field(lc == 'n' ? DateTimePart::minute : DateTimePart::second, start);
      i += std::min<size_t>(run, 2);
      lastWasHour = false;
      continue;
    }
    case 'z': {
      if (run >= 3) {
        char b[16];
        std::snprintf(b, sizeof b, "%03d", msec);
        out += b;
        i += 3;
      } else {
        out += std::to_string(msec);
        i += 1;
      }
      continue;
    }
    case 't':
      formatInto(out, run >= 2 ? fs.LongTimeFormat : fs.ShortTimeFormat, v, fs, depth + 1, fields);
      i += std::min<size_t>(run, 2);
      continue;
    case 'a':
      if (startsWith(i, "am/pm")) {
        out += hour < 12 ? (c == 'A' ? "AM" : "am") : (c == 'A' ? "PM" : "pm");
        i += 5;
      } else if (startsWith(i, "a/p")) {
        out += hour < 12 ? (c == 'A' ? "A" : "a") : (c == 'A' ? "P" : "p");
        i += 3;
      } else if (startsWith(i, "ampm")) {
        out += hour < 12 ? fs.TimeAMString : fs.TimePMString;
        i += 4;
      } else {
        out += c;
        ++i;
      }
      continue;
    case '/':
      out += fs.DateSeparator;
      ++i;
      continue;
    case ':':
      out += fs.TimeSeparator;
      ++i;
      continue;
    default:
      out += c;
      ++i;
      continue;
    }
  }
}

} // namespace

std::string FormatDateTime(const std::string& Fmt, TDateTime DateTime, const TFormatSettings& Settings) {
  std::string out;
  formatInto(out, Fmt.empty() ? std::string("c") : Fmt, DateTime, Settings, 0, nullptr);
  return out;
}

std::string formatDateTimeFields(const std::string& Fmt, TDateTime DateTime, const TFormatSettings& Settings,
                                 std::vector<DateTimeField>& Fields) {
  std::string out;
  Fields.clear();
  formatInto(out, Fmt.empty() ? std::string("c") : Fmt, DateTime, Settings, 0, &Fields);
  return out;
}

std::string FormatDateTime(const std::string& Fmt, TDateTime DateTime) {
  return FormatDateTime(Fmt, DateTime, FormatSettings());
}

std::string DateToStr(TDateTime Date) { return FormatDateTime("ddddd", Date); }
std::string TimeToStr(TDateTime Time) { return FormatDateTime("tt", Time); }
std::string DateTimeToStr(TDateTime DateTime) { return FormatDateTime("c", DateTime); }

// ---- the clock

namespace {

class SystemClock : public Clock {
public:
  TDateTime now() override {
    const auto t = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&secs, &local);
    const double localMs = static_cast<double>(ms) + static_cast<double>(local.tm_gmtoff) * 1000.0;
    return 25569.0 + localMs / kMsPerDay;
  }
  uint64_t tickCount() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
  void sleepUntil(uint64_t Tick) override {
    const uint64_t now = tickCount();
    if (Tick > now) std::this_thread::sleep_for(std::chrono::milliseconds(Tick - now));
  }
};

constinit ServiceSlot<Clock, SystemClock> clockSlot;

} // namespace

Clock& currentClock() { return clockSlot.get(); }

std::unique_ptr<Clock> setClock(std::unique_ptr<Clock> NewClock) {
  return clockSlot.replace(std::move(NewClock));
}

namespace {
std::vector<std::string>& commandLine() {
  static std::vector<std::string> args;
  return args;
}
} // namespace

void SetCommandLine(int Argc, const char* const* Argv) {
  auto& a = commandLine();
  a.clear();
  for (int i = 0; i < Argc; ++i)
    a.emplace_back(Argv[i] ? Argv[i] : "");
}

int ParamCount() {
  const auto& a = commandLine();
  return a.empty() ? 0 : static_cast<int>(a.size()) - 1;
}

std::string ParamStr(int Index) {
  const auto& a = commandLine();
  if (Index == 0 && a.empty()) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  }
  if (Index < 0 || Index >= static_cast<int>(a.size())) return {};
  return a[static_cast<size_t>(Index)];
}

TDateTime Now() { return currentClock().now(); }
TDateTime Date() { return std::trunc(currentClock().now()); }
TDateTime Time() {
  const TDateTime n = currentClock().now();
  return n - std::trunc(n);
}
uint64_t GetTickCount() { return currentClock().tickCount(); }

} // namespace kv::platform
