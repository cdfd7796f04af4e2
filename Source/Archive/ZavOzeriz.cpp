#include "Archive/ZavOzeriz.h"

#include "Archive/ZipMessages.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Cursor/Cursor.h"
#include "Platform/Dialogs/MessageBoxes.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Strings/Strings.h"

#include <cctype>
#include <new>
#include <optional>

namespace ZavOzeriz {

using namespace ZipMessages;

namespace {

// Fills the placeholders of a table text (%s, %d, %.1d) one after the other with the
// given values; the texts come from a table that may be replaced, so they are never
// handed to printf as a format.
std::string fillPlaceholders(const std::string& format, const std::vector<std::string>& values) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < format.size() && (std::isdigit(static_cast<unsigned char>(format[j])) || format[j] == '.'))
      ++j;
    if (j < format.size() && (format[j] == 's' || format[j] == 'd')) {
      if (next < values.size()) out += values[next++];
      i = j;
      continue;
    }
    out += '%';
  }
  return out;
}

std::optional<std::string> tableText(int Ident) {
  RegisterZipMessages();
  return kv::platform::loadResString(Ident);
}

// What an id the table lacks reads when nothing more particular is known about it.
std::string missingResText(int Ident) {
  return "ZavMsgXX.res is probably not linked to the executable\nMissing String ID is: " +
         std::to_string(Ident);
}

} // namespace

std::string FormatZipText(const std::string& format, const std::vector<std::string>& values) {
  return fillPlaceholders(format, values);
}

// ---- EZavOzeriz

EZavOzeriz EZavOzeriz::CreateResDisp(int Ident, bool Display) {
  auto text = tableText(Ident);
  return EZavOzeriz(text ? *text : missingResText(Ident), Ident, Display);
}

EZavOzeriz EZavOzeriz::CreateResFmtInt(int Ident, int Value) {
  auto text = tableText(Ident);
  return EZavOzeriz(text ? fillPlaceholders(*text, {std::to_string(Value)})
                         : TZavOzeriz::MissingStringText(Ident),
                    Ident, true);
}

EZavOzeriz EZavOzeriz::CreateResFmtStr(int Ident, const std::string& Value) {
  auto text = tableText(Ident);
  return EZavOzeriz(text ? fillPlaceholders(*text, {Value}) : TZavOzeriz::MissingStringText(Ident), Ident,
                    true);
}

// ---- construction

TZavOzeriz::TZavOzeriz(TComponent* AOwner)
    : TComponent(AOwner), FFSpecArgs(std::make_unique<TStringList>()),
      FAddStoreSuffixes(AddStoreExts::Range(AddStoreSuffixEnum::assGIF, AddStoreSuffixEnum::assJAR)),
      FFSpecArgsExcl(std::make_unique<TStringList>()),
      FZipStream(std::make_unique<kv::platform::TMemoryStream>()) {
  RegisterZipMessages();
  FParentWindow = kv::platform::application().windowHandle();
}

TZavOzeriz::~TZavOzeriz() {
  closeInput();
  if (SpanOutHandle != kv::platform::InvalidFile) kv::platform::fileClose(SpanOutHandle);
  ClearZipContents();
}

// ---- setters with side effects

void TZavOzeriz::SetZipFileName(const std::string& Value) {
  FZipFileName = Value;
  if (!IsDesigning()) ReadZipDir();
}

void TZavOzeriz::SetDLLDirectory(const std::string& Value) {
  if (Value == FDLLDirectory) return;
  std::string v = Value;
  if (!v.empty() && (v.back() == '\\' || v.back() == '/')) v.pop_back();
  FDLLDirectory = v;
}

void TZavOzeriz::SetMinVizIviVers(int Value) {
  if (Value >= 172) FMinVizIviVers = Value;
}

void TZavOzeriz::SetMinRozIzeVers(int Value) {
  if (Value >= 172) FMinRozIzeVers = Value;
}

void TZavOzeriz::SetPasswordReqCount(uint32_t Value) {
  if (Value != FPasswordReqCount) FPasswordReqCount = Value > 15 ? 15 : Value;
}

void TZavOzeriz::SetExtAddStoreSuffixes(const std::string& Value) {
  if (Value.empty()) {
    FAddStoreSuffixes.Exclude(AddStoreSuffixEnum::assEXT);
    FExtAddStoreSuffixes.clear();
    return;
  }
  auto sep = [](char c) { return c == ';' || c == ':' || c == ',' ? ':' : c; };
  std::string s;
  char c = ':';
  size_t p = 0;
  while (p < Value.size()) {
    c = Value[p];
    // A ':' where a suffix should begin would never be consumed: it is skipped.
    if (c == ':') {
      ++p;
      continue;
    }
    if (c != '.') s += '.';
    while (c != ':' && p < Value.size()) {
      c = sep(Value[p]);
      s += c;
      ++p;
    }
  }
  if (c != ':') s += ':';
  FAddStoreSuffixes.Include(AddStoreSuffixEnum::assEXT);
  FExtAddStoreSuffixes = kv::platform::LowerCase(s);
}

// ---- busy guard and wait cursor

int TZavOzeriz::List() {
  // A read that runs already reads this very name: a handler's List in it is one too many.
  if (readingDir_) return -255;
  return runOperation([this] { ReadZipDir(); });
}

int TZavOzeriz::runOperation(const std::function<void()>& Operation) {
  if (CheckBusy()) return -255;
  FBusy = true;
  const kv::platform::ScopeExit idle([this] { FBusy = false; });
  Operation();
  return FErrCode;
}

void TZavOzeriz::StartWaitCursor() {
  auto& screen = kv::platform::screenCursor();
  if (!screen.activeWindowIsOurs()) return;
  if (FCursorLevel == 0) {
    FSavedCursor = screen.cursor();
    screen.setCursor(kv::platform::crHourGlass);
  }
  ++FCursorLevel;
}

void TZavOzeriz::StopWaitCursor() {
  auto& screen = kv::platform::screenCursor();
  if (!screen.activeWindowIsOurs()) return;
  if (FCursorLevel > 0) {
    if (--FCursorLevel == 0) screen.setCursor(FSavedCursor);
  }
}

// ---- message table and reporting

std::string TZavOzeriz::MissingStringText(int Ident) {
  switch (Ident) {
  case LZ_OldVersion:
  case LU_OldVersion:
    return "Old Dll from ";
  case SF_SFXFunctionsSupported:
    return "SFX not supported";
  case DS_DiskSpanningSupported:
    return "Span not supported";
  default:
    return missingResText(Ident);
  }
}

std::string TZavOzeriz::LoadZipStr(int Ident, const std::string& Default) {
  auto text = tableText(Ident);
  return text && !text->empty() ? *text : Default;
}

void TZavOzeriz::ShowZipMessage(int Ident, const std::string& Extra) {
  auto text = tableText(Ident);
  const std::string msg = (text ? *text : MissingStringText(Ident)) + Extra;
  FMessage = msg;
  reportErrCode(Ident);
  if (!FUnattended) kv::platform::showMessage(msg);
  OnMessage(this, 0, msg);
}

void TZavOzeriz::ReportZipError(const EZavOzeriz& E) {
  if (E.DisplayMsg && !FUnattended) kv::platform::showMessage(E.Message());
  reportErrCode(E.ResId);
  FMessage = E.Message();
  OnMessage(this, FErrCode, E.Message());
}

int TZavOzeriz::reportCopyFailure(std::exception_ptr Failure) {
  try {
    std::rethrow_exception(Failure);
  } catch (const EZavOzeriz& e) {
    ReportZipError(e);
    return -7;
  } catch (const std::bad_alloc&) {
    ShowZipMessage(GE_NoMemory);
    return -8;
  } catch (const kv::platform::EOutOfMemory&) {
    ShowZipMessage(GE_NoMemory);
    return -8;
  } catch (const std::exception& e) {
    ShowZipMessage(DS_UnknownCopyError, e.what());
    return -9;
  }
}

void TZavOzeriz::TraceMessage(const std::string& Text) {
  if (FTrace) OnMessage(this, 0, Text);
}

} // namespace ZavOzeriz
