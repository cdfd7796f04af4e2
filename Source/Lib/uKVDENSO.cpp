#include "uKVDENSO.h"

#include "Platform/Rtl/SysUtils.h"
#include "Platform/Serial/Serial.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

namespace uKVDENSO {

TDenso* Scanner = nullptr;

namespace {

using namespace std::chrono_literals;

constexpr auto CharacterTimeout = 1500ms;
constexpr auto PacedGap = 100ms; // scan type "50" takes one character per 100 ms
// No answer is longer than this from its "<" (the wedge answer has 178 characters), and
// no instrument sends this much before one: a flood of noise ends the frame there.
constexpr size_t MaxFrame = 256;
constexpr size_t MaxNoise = 256;

// Characters from pos, at most n of them; nothing when pos is past the end.
std::string_view sub(std::string_view s, size_t pos, size_t n = std::string_view::npos) {
  if (pos >= s.size()) return {};
  return s.substr(pos, n);
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ')
    s.remove_suffix(1);
  return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The integer of the leading digits (after blanks and a sign), as a lenient reader takes
// it; nothing when there are no digits or the number does not fit.
std::optional<int32_t> leadingInteger(std::string_view s) {
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  size_t end = 0;
  if (end < s.size() && (s[end] == '-' || s[end] == '+')) ++end;
  const size_t digits = end;
  while (end < s.size() && isDigit(s[end]))
    ++end;
  if (end == digits) return std::nullopt;
  std::string_view number = s.substr(0, end);
  if (number.front() == '+') number.remove_prefix(1);
  int32_t value = 0;
  const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc() || ptr != number.data() + number.size()) return std::nullopt;
  return value;
}

// A whole text that is an integer (blanks around allowed).
std::optional<int32_t> wholeInteger(std::string_view s) {
  s = trimBlanks(s);
  size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
  if (i == s.size()) return std::nullopt;
  for (size_t j = i; j < s.size(); ++j)
    if (!isDigit(s[j])) return std::nullopt;
  return leadingInteger(s);
}

// A decimal number with a point, read the same in every locale: [sign] digits [. digits].
std::optional<double> decimal(std::string_view s) {
  s = trimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
  bool anyDigit = false, point = false;
  for (size_t j = i; j < s.size(); ++j) {
    if (isDigit(s[j]))
      anyDigit = true;
    else if (s[j] == '.' && !point)
      point = true;
    else
      return std::nullopt;
  }
  if (!anyDigit) return std::nullopt;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

// value x scale to the nearest integer (a half to the even neighbour), when it fits T.
template <class T> std::optional<T> scaled(std::optional<double> value, double scale) {
  if (!value) return std::nullopt;
  const double r = std::nearbyint(*value * scale);
  if (!(r >= std::numeric_limits<T>::min() && r <= std::numeric_limits<T>::max())) return std::nullopt;
  return static_cast<T>(r);
}

// The base value of a features answer: the four characters after "#03:".
std::optional<double> featuresValue(std::string_view payload) {
  const size_t at = payload.find("#03:");
  if (at == std::string_view::npos) return std::nullopt;
  return decimal(sub(payload, at + 4, 4));
}

// Fills Steps[1..21]. A group without a reading ("-.--") gives -1, one that is missing or no
// number 0: one bad step does not cost the wedge its other readings.
void extractSteps(std::string_view s, int16_t* steps) {
  for (int i = 1; i <= 21; ++i) {
    const std::string_view group = sub(s, 4, 4);
    if (trimBlanks(group) == "-.--")
      steps[i] = -1;
    else
      steps[i] = scaled<int16_t>(decimal(group), 100).value_or(0);
    s = sub(s, 8);
  }
}

char letterOf(TCommand cmd) {
  switch (cmd) {
  case dcGetSteps:
    return 'D';
  case dcGetFeatures:
    return 'K';
  case dcSoftRev:
    return 'V';
  case dcBattery:
    return 'B';
  case dcLock:
    return 'S';
  case dcUnlock:
    return 'L';
  case dcLastDens:
    return 'M';
  default:
    return 0;
  }
}

} // namespace

TDenso::TDenso() = default;

TDenso::~TDenso() {
  if (Connected) DisConnect();
}

void TDenso::SetComPort(int32_t Value) { ComPort = Value; }

void TDenso::SetScanType(const std::string& Value) { ScanType = Value; }

std::string TDenso::IntToDensnum(int32_t Value) {
  std::string s = std::to_string(Value);
  if (s.size() < 3) s.insert(0, 3 - s.size(), '0');
  return s;
}

void TDenso::CalcCheckSum(std::string& Cmd) {
  unsigned sum = 0;
  for (unsigned char c : Cmd)
    sum += c;
  Cmd += IntToDensnum(static_cast<int32_t>(sum % 256));
  Cmd += ">\r\n";
  Cmd += '\0';
}

std::string TDenso::GenerateCmd(TCommand Cmd) {
  const char letter = letterOf(Cmd);
  if (!letter) return {};
  std::string frame = "<" + ScanType + letter + "()";
  CalcCheckSum(frame);
  return frame;
}

bool TDenso::CheckResponse(const std::string& S) {
  const size_t start = S.find('<');
  if (start == std::string::npos) return false;
  const std::string_view frame = std::string_view(S).substr(start);
  if (frame.find('>') == std::string_view::npos) return false;
  unsigned sum = 0;
  size_t digitsAt;
  if (const size_t close = frame.find(')'); close != std::string_view::npos) {
    for (size_t i = 0; i <= close; ++i)
      sum += static_cast<unsigned char>(frame[i]);
    digitsAt = close + 1;
  } else {
    for (size_t i = 0; i + 1 < frame.size(); ++i)
      sum += static_cast<unsigned char>(frame[i]);
    sum += ')';
    digitsAt = frame.size();
  }
  // The checksum's value matters only modulo 256, so any number of digits can be read.
  unsigned value = 0;
  size_t i = digitsAt;
  for (; i < frame.size() && isDigit(frame[i]); ++i)
    value = (value * 10 + (frame[i] - '0')) % 256;
  if (i == digitsAt) return false; // no checksum at all
  return value == sum % 256;
}

void TDenso::SplitResponse(const std::string& S, std::string& ScanType, std::string& Letter,
                           std::string& Payload) {
  std::string_view s(S);
  if (const size_t start = s.find('<'); start != std::string_view::npos) s.remove_prefix(start);
  ScanType = std::string(sub(s, 1, 2));
  Letter = std::string(sub(s, 3, 1));
  Payload = s.size() > 10 ? std::string(sub(s, 5, s.size() - 10)) : std::string();
}

void TDenso::ExtractSteps(const std::string& S, int16_t* Steps) {
  if (Steps) extractSteps(S, Steps);
}

bool TDenso::Connect() {
  if (Connected) return true;
  auto port = kv::platform::openSerialPort(ComPort);
  if (!port) return false;
  kv::platform::SerialSettings settings;
  if (ScanType == "10")
    settings.baudRate = 9600;
  else if (ScanType == "50")
    settings.baudRate = 2400;
  if (!port->configure(settings)) return false;
  port_ = std::move(port);
  Handle = port_->handle();
  Connected = true;
  return true;
}

void TDenso::DisConnect() {
  // Only a port of our own is ever closed; no port means no descriptor to touch.
  port_.reset();
  Handle = -1;
  Connected = false;
}

std::string TDenso::RecvString() {
  timedOut_ = false;
  std::string frame;
  if (!port_) {
    timedOut_ = true;
    return frame;
  }
  size_t start = std::string::npos;
  for (;;) {
    const auto c = port_->readByte(CharacterTimeout);
    if (!c) {
      timedOut_ = true;
      break;
    }
    frame += static_cast<char>(*c);
    if (start == std::string::npos && *c == '<') start = frame.size() - 1;
    if (*c == '>') break;
    if (start == std::string::npos ? frame.size() >= MaxNoise : frame.size() - start >= MaxFrame) break;
  }
  if (!timedOut_) {
    for (size_t n = 0; n < MaxFrame; ++n) {
      const auto c = port_->readByte(CharacterTimeout);
      if (!c || *c == '\n') break;
    }
  }
  return frame;
}

size_t TDenso::sendFrame(const std::string& frame) {
  if (!port_ || frame.empty()) return 0;
  return port_->write(frame,
                      ScanType == "50" ? std::chrono::milliseconds(PacedGap) : std::chrono::milliseconds(0));
}

void TDenso::SendCommand(TCommand Cmd, TResponse& Response) {
  if (Connected) DisConnect();
  Connect();
  if (!Connected) return;

  std::string scanType, letter, payload;
  // Sends the frame of `cmd` and receives its answer: nothing when nothing was sent,
  // else whether the answer passed the check (its payload in `payload`).
  auto exchange = [&](TCommand cmd) -> std::optional<bool> {
    if (sendFrame(GenerateCmd(cmd)) == 0) return std::nullopt;
    const std::string answer = RecvString();
    if (!CheckResponse(answer)) return false;
    SplitResponse(answer, scanType, letter, payload);
    return true;
  };

  switch (Cmd) {
  case dcGetSteps: {
    if (const auto steps = exchange(dcGetSteps)) {
      if (!*steps) {
        Response.Command = dcError;
        return;
      }
      Response.Command = dcGetSteps;
      extractSteps(payload, Response.Steps);
    }
    const auto features = exchange(dcGetFeatures);
    if (!features) return;
    const auto base = *features ? scaled<int16_t>(featuresValue(payload), 100) : std::nullopt;
    if (base)
      Response.Steps[0] = *base;
    else
      Response.Command = dcError;
    return;
  }
  case dcSoftRev:
  case dcBattery:
  case dcLock:
  case dcUnlock:
  case dcLastDens: {
    const auto ok = exchange(Cmd);
    if (!ok) return;
    if (!*ok) {
      Response.Command = dcError;
      return;
    }
    std::optional<int32_t> value;
    if (Cmd == dcLock || Cmd == dcUnlock) {
      Response.Command = Cmd;
      return;
    }
    if (Cmd == dcLastDens)
      value =
          trimBlanks(payload) == "-.--" ? std::optional<int32_t>(-1) : scaled<int32_t>(decimal(payload), 100);
    else
      value = leadingInteger(payload);
    if (value) {
      Response.Command = Cmd;
      Response.Value = *value;
    } else {
      Response.Command = dcError;
    }
    return;
  }
  default:
    return;
  }
}

bool TDenso::CommEvent(TResponse& Response, const std::string& Line) {
  Response.Command = dcError;
  if (!CheckResponse(Line)) return false;
  std::string scanType, letter, payload;
  SplitResponse(Line, scanType, letter, payload);
  if (letter == "M") {
    const auto value =
        trimBlanks(payload) == "-.--" ? std::optional<int32_t>(-1) : scaled<int32_t>(decimal(payload), 10000);
    if (value) {
      Response.Command = dcLastDens;
      Response.Value = *value;
    }
  } else if (letter == "K") {
    if (const auto value = scaled<int32_t>(featuresValue(payload), 100)) {
      Response.Command = dcDmin;
      Response.Value = *value;
    }
  } else if (letter == "D") {
    Response.Command = dcGetSteps;
    extractSteps(payload, Response.Steps);
  } else if (letter == "V") {
    if (const auto value = wholeInteger(payload)) {
      Response.Command = dcSoftRev;
      Response.Value = *value;
    }
  } else if (letter == "U") {
    const std::string_view p(payload);
    const auto day = wholeInteger(sub(p, 0, 2));
    const auto month = wholeInteger(sub(p, 3, 2));
    const auto year = wholeInteger(sub(p, 6, 4));
    if (day && month && year) {
      if (kv::platform::TDateTime date = 0; kv::platform::TryEncodeDate(*year, *month, *day, date)) {
        Response.Command = dcRevDate;
        Response.Date = date;
      }
    }
  }
  return true;
}

void TDenso::SearchScanner(int32_t& /*Port*/) {}

} // namespace uKVDENSO
