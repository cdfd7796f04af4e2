// The command records of the zip and unzip engines, filled field by field from the
// component's properties.
#include "Archive/ZavOzeriz.h"

#include "Platform/Paths/Paths.h"

#include <cmath>
#include <cstring>

namespace ZavOzeriz {

namespace pf = kv::platform;

namespace {

int32_t boolean(bool Value) { return Value ? -1 : 0; }
uint16_t boolean16(bool Value) { return Value ? 0xFFFF : 0; }

// "mm dd yy" of a day number (days since 1899-12-30, the fraction being the time).
void formatFromDate(TDate Date, char Out[8]) {
  // Day numbers outside the years 1 to 9999 have no calendar date; they are held at the ends.
  double days = std::isnan(Date) ? 0 : std::trunc(Date);
  days = std::fmax(-693593.0, std::fmin(days, 2958465.0));
  // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
  const int64_t z = static_cast<int64_t>(days) - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  const int64_t yy = y % 100;
  auto two = [](int64_t v, char* at) {
    at[0] = static_cast<char>('0' + v / 10);
    at[1] = static_cast<char>('0' + v % 10);
  };
  two(m, Out);
  Out[2] = ' ';
  two(d, Out + 3);
  Out[5] = ' ';
  two(yy, Out + 6);
}

const char* const StoreSuffixes[] = {"gif", "png", "z",   "zip", "zoo", "arc", "lzh",  "arj", "taz",
                                     "tgz", "lha", "rar", "ace", "cab", "gz",  "gzip", "jar", "exe"};

} // namespace

const char* TEngineTexts::Copy(const std::string& Text) {
  auto copy = std::make_unique<char[]>(Text.size() + 1);
  std::memcpy(copy.get(), Text.data(), Text.size());
  copy[Text.size()] = '\0';
  texts_.push_back(std::move(copy));
  return texts_.back().get();
}

TZipCommand::TZipCommand() { std::memset(&Rec, 0, sizeof Rec); }
TUnzipCommand::TUnzipCommand() { std::memset(&Rec, 0, sizeof Rec); }

void TZavOzeriz::AppendStoreSuffix(int Index, std::string& List) {
  if (Index < 0 || Index >= static_cast<int>(std::size(StoreSuffixes))) return;
  List += ".";
  List += StoreSuffixes[Index];
  List += ":";
}

std::string TZavOzeriz::StoreSuffixList() const {
  std::string list;
  for (int i = 0; i <= static_cast<int>(AddStoreSuffixEnum::assEXE); ++i)
    if (FAddStoreSuffixes.Contains(static_cast<AddStoreSuffixEnum>(i))) AppendStoreSuffix(i, list);
  if (FAddStoreSuffixes.Contains(AddStoreSuffixEnum::assEXT)) list += FExtAddStoreSuffixes;
  if (!list.empty()) list.pop_back();
  return list;
}

void TZavOzeriz::FillZipCommand(TZipCommand& Cmd, const std::string& ArchiveName, int Version) {
  ZipCommandRecord& r = Cmd.Rec;
  auto has = [this](AddOptsEnum o) { return FAddOptions.Contains(o); };
  auto text = [&Cmd](const std::string& s) -> const char* { return s.empty() ? nullptr : Cmd.Texts.Copy(s); };
  r.Handle = FUnattended ? 0 : FParentWindow;
  r.Caller = static_cast<void*>(this);
  r.Version = Version;
  r.Callback = &TZavOzeriz::EngineCallback;
  r.Trace = boolean(FTrace);
  // The password travels whole: the unzip engine gets it whole too, so that an archive
  // always opens with the password it was made with.
  r.Password = text(FPassword);
  r.StoreSuffixes = text(StoreSuffixList());
  r.Encrypt = boolean(has(AddOptsEnum::AddEncrypt));
  r.AddHiddenFiles = boolean(has(AddOptsEnum::AddHiddenFiles));
  r.AddVolume = boolean(has(AddOptsEnum::AddVolume));
  r.NoSeparateDirs = boolean(!has(AddOptsEnum::AddSeparateDirs));
  r.AddFromDate = boolean(has(AddOptsEnum::AddFromDate));
  r.Verbose = boolean(FVerbose || FTrace);
  r.MinusOne = -1;
  r.Level = FAddCompLevel;
  r.NoDirNames = boolean(!has(AddOptsEnum::AddDirNames));
  r.Recurse = boolean16(has(AddOptsEnum::AddRecurseDirs));
  r.NoSafe = boolean(!has(AddOptsEnum::AddSafe));
  r.ForceDOS = boolean(has(AddOptsEnum::AddForceDOS));
  r.Move = boolean(has(AddOptsEnum::AddMove));
  r.Update = boolean(has(AddOptsEnum::AddUpdate));
  r.Freshen = boolean(has(AddOptsEnum::AddFreshen) && !has(AddOptsEnum::AddUpdate));
  r.ZipTime = boolean(has(AddOptsEnum::AddZipTime));
  formatFromDate(FAddFrom, r.FromDate);
  r.ZipFileName = Cmd.Texts.Copy(ArchiveName);
  r.TempDir = text(FTempDir);
  r.ArchiveComment = text(FZipComment);
  r.ArchiveOnly = has(AddOptsEnum::AddArchiveOnly) ? 1 : 0;
  r.ResetArchive = has(AddOptsEnum::AddResetArchive) ? 1 : 0;
  const int excl = FFSpecArgsExcl->Count();
  r.ExclCount = excl;
  Cmd.Exclusions.clear();
  for (int i = 0; i < excl; ++i)
    Cmd.Exclusions.push_back(Cmd.Texts.Copy(FFSpecArgsExcl->Get(i)));
  r.Exclusions = excl > 0 ? Cmd.Exclusions.data() : nullptr;
  r.AllowUndo = boolean(FHowToDelete == DeleteOpts::htdAllowUndo);
  r.CodePage = FCodePage == CodePageOpts::cpOEM ? KV_CODEPAGE_OEM : 0;
}

void TZavOzeriz::FillZipSpecs(TZipCommand& Cmd) {
  ZipCommandRecord& r = Cmd.Rec;
  const int count = FFSpecArgs->Count();
  Cmd.Specs.assign(static_cast<size_t>(count), FileSpecRecord{});
  const std::string rootDir = FRootDir.empty() ? std::string() : pf::expandFileName(FRootDir);
  for (int i = 0; i < count; ++i) {
    const std::string& s = FFSpecArgs->Get(i);
    FileSpecRecord& spec = Cmd.Specs[static_cast<size_t>(i)];
    size_t first = 0, last = s.size(); // the file specification is s[first, last)
    uint16_t recurse = r.Recurse;
    int32_t encrypt = r.Encrypt;
    const char* password = r.Password ? Cmd.Texts.Copy(r.Password) : nullptr;
    // Only the first character can be a prefix.
    if (!s.empty() && s[0] == '>') {
      recurse = 0xFFFF;
      first = 1;
    } else if (!s.empty() && s[0] == '|') {
      recurse = 0;
      first = 1;
    }
    const size_t lt = s.find('<');
    if (lt != std::string::npos) {
      encrypt = 65535;
      password = nullptr;
      if (lt + 1 < s.size())
        password = Cmd.Texts.Copy(s.substr(lt + 1));
      else
        encrypt = 0;
      last = lt;
    }
    spec.FileSpec = Cmd.Texts.Copy(last > first ? s.substr(first, last - first) : std::string());
    spec.Password = password;
    spec.Encrypt = encrypt;
    spec.Recurse = recurse;
    spec.RootDir = rootDir.empty() ? nullptr : Cmd.Texts.Copy(rootDir);
  }
  r.FSpecCount = count;
  r.FSpecs = count > 0 ? Cmd.Specs.data() : nullptr;
  r.Check = KV_RECORD_CHECK;
}

void TZavOzeriz::FillUnzipCommand(TUnzipCommand& Cmd, const std::string& ArchiveName, int Version) {
  UnzipCommandRecord& r = Cmd.Rec;
  auto has = [this](ExtrOptsEnum o) { return FExtrOptions.Contains(o); };
  r.Handle = FUnattended ? 0 : FParentWindow;
  r.Caller = static_cast<void*>(this);
  r.Version = Version;
  r.Callback = &TZavOzeriz::EngineCallback;
  r.Trace = boolean(FTrace);
  r.Password = Cmd.Texts.Copy(FPassword); // always present, whole
  r.Test = boolean(has(ExtrOptsEnum::ExtrTest));
  r.MinusOne = -1;
  r.Verbose = boolean(FVerbose || FTrace);
  r.Update = boolean(has(ExtrOptsEnum::ExtrUpdate));
  r.Freshen = boolean(has(ExtrOptsEnum::ExtrFreshen) && !has(ExtrOptsEnum::ExtrUpdate));
  r.DirNames = boolean(has(ExtrOptsEnum::ExtrDirNames));
  r.Overwrite = boolean(has(ExtrOptsEnum::ExtrOverWrite));
  r.ZipFileName = Cmd.Texts.Copy(ArchiveName);
  r.PasswordReqCount = FPasswordReqCount;
}

void TZavOzeriz::FillUnzipSpecs(TUnzipCommand& Cmd) {
  UnzipCommandRecord& r = Cmd.Rec;
  r.ExtractBaseDir = FExtrBaseDir.empty() ? nullptr : Cmd.Texts.Copy(FExtrBaseDir);
  const int count = FFSpecArgs->Count();
  Cmd.Specs.assign(static_cast<size_t>(count), UnzipFileSpec{});
  // No list, or one that begins with "*.*", asks for every member.
  const bool every = count == 0 || FFSpecArgs->Get(0) == "*.*";
  if (!every)
    for (int i = 0; i < count; ++i)
      Cmd.Specs[static_cast<size_t>(i)].FileSpec = Cmd.Texts.Copy(FFSpecArgs->Get(i));
  r.FSpecCount = every ? 0 : count;
  r.FSpecs = Cmd.Specs.empty() ? nullptr : Cmd.Specs.data();
  r.Check = KV_RECORD_CHECK;
}

} // namespace ZavOzeriz
