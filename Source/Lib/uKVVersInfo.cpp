#include "uKVVersInfo.h"

#include "Platform/PeFiles/PeFile.h"
#include "Platform/PeFiles/VersionBlock.h"
#include "Platform/Rtl/StoreChange.h"

#include <cstdio>
#include <cstring>

namespace uKVVersInfo {

const char* const PreDefKeys[11] = {"CompanyName",    "FileDescription", "FileVersion",      "InternalName",
                                    "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
                                    "ProductVersion", "Comments",        "BuildFlags"};

const char* const FixedFileInfoFlagTexts[6] = {"Debug",       "Info Inferred", "Patched",
                                               "Pre-Release", "Private",       "Special"};

namespace {

// Offsets of the fixed block's double words.
enum FixedField {
  dwSignature = 0,
  dwStrucVersion = 4,
  dwFileVersionMS = 8,
  dwFileVersionLS = 12,
  dwProductVersionMS = 16,
  dwProductVersionLS = 20,
  dwFileFlagsMask = 24,
  dwFileFlags = 28,
  dwFileOS = 32,
  dwFileType = 36,
  dwFileSubtype = 40,
  dwFileDateMS = 44,
  dwFileDateLS = 48,
  kFixedBlockSize = 52
};

TFixedFileInfoFlags flagsOf(uint32_t bits) {
  using F = TFixedFileInfoFlag;
  TFixedFileInfoFlags flags;
  if (bits & 0x01) flags.Include(F::ffDebug);
  if (bits & 0x02) flags.Include(F::ffPreRelease);
  if (bits & 0x04) flags.Include(F::ffPatched);
  if (bits & 0x08) flags.Include(F::ffPrivateBuild);
  if (bits & 0x10) flags.Include(F::ffInfoInferred);
  if (bits & 0x20) flags.Include(F::ffSpecialBuild);
  return flags;
}

// Days from the start of the Windows file time (1601-01-01) to the day 0 of TDateTime.
constexpr int64_t kFileTimeEpochDays = 109205;
// Day 0 of the year 10000, where the class library's dates end.
constexpr int64_t kEndOfDates = 2958466;

} // namespace

TFixedFileVersionInfo::TFixedFileVersionInfo(TqelVersionInfoResource* Parent) : Parent(Parent) {}

uint32_t TFixedFileVersionInfo::field(int offset) const {
  if (!Data) return 0;
  const uint8_t* p = Data + offset;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint32_t TFixedFileVersionInfo::GetSignature() const { return field(dwSignature); }
uint32_t TFixedFileVersionInfo::GetStructureVersion() const { return field(dwStrucVersion); }
uint32_t TFixedFileVersionInfo::GetFileVersionMS() const { return field(dwFileVersionMS); }
uint32_t TFixedFileVersionInfo::GetFileVersionLS() const { return field(dwFileVersionLS); }
uint32_t TFixedFileVersionInfo::GetProductVersionMS() const { return field(dwProductVersionMS); }
uint32_t TFixedFileVersionInfo::GetProductVersionLS() const { return field(dwProductVersionLS); }
uint32_t TFixedFileVersionInfo::GetFileSubType() const { return field(dwFileSubtype); }
TFixedFileInfoFlags TFixedFileVersionInfo::GetValidFlags() const { return flagsOf(field(dwFileFlagsMask)); }
TFixedFileInfoFlags TFixedFileVersionInfo::GetFlags() const { return flagsOf(field(dwFileFlags)); }

TVersionOperatingSystemFlags TFixedFileVersionInfo::GetFileOperatingSystem() const {
  using V = TVersionOperatingSystemFlag;
  TVersionOperatingSystemFlags result;
  if (!Data) return result;
  const uint32_t os = field(dwFileOS);
  // The system in the high word and the windowing in the low one, each numbered 1 to 4; any
  // other number is an unknown one.
  static constexpr V systems[] = {V::vosUnknown, V::vosDOS, V::vosOS2_16, V::vosOS2_32, V::vosNT};
  static constexpr V windowings[] = {V::vosUnknown, V::vosWindows16, V::vosPresentationManager16,
                                     V::vosPresentationManager32, V::vosWindows32};
  const auto named = [](const V(&names)[5], uint32_t number) {
    return number < 5 ? names[number] : V::vosUnknown;
  };
  result.Include(named(systems, os >> 16));
  result.Include(named(windowings, os & 0xFFFF));
  return result;
}

TVersionFileType TFixedFileVersionInfo::GetFileType() const {
  using T = TVersionFileType;
  switch (field(dwFileType)) {
  case 1:
    return T::vftApplication;
  case 2:
    return T::vftDLL;
  case 3:
    return T::vftDriver;
  case 4:
    return T::vftFont;
  case 5:
    return T::vftVXD;
  case 7:
    return T::vftStaticLib;
  default:
    return T::vftUnknown;
  }
}

TDateTime TFixedFileVersionInfo::GetCreationDate() const {
  if (!Data) return 0.0;
  const uint64_t fileTime = uint64_t{field(dwFileDateMS)} << 32 | field(dwFileDateLS);
  if (fileTime > 0x7FFFFFFFFFFFFFFFull) return 0.0; // beyond what a system time can hold
  const uint64_t ms = fileTime / 10000;
  const int64_t day = static_cast<int64_t>(ms / 86400000) - kFileTimeEpochDays;
  if (day >= kEndOfDates) return 0.0;
  const double time = static_cast<double>(ms % 86400000) / 86400000.0;
  // Before day 0 the time of day counts away from zero, as the class library encodes it.
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

TVersionNumberInformation::TVersionNumberInformation(uint32_t MS, uint32_t LS) : MS(MS), LS(LS) {}

uint16_t TVersionNumberInformation::GetVersionNumber(int Index) const {
  if (!Valid) return 0;
  switch (Index) {
  case 0:
    return static_cast<uint16_t>(MS >> 16);
  case 1:
    return static_cast<uint16_t>(MS & 0xFFFF);
  case 2:
    return static_cast<uint16_t>(LS >> 16);
  case 3:
    return static_cast<uint16_t>(LS & 0xFFFF);
  default:
    return 0;
  }
}

std::string TVersionNumberInformation::GetVersionNumberString() const {
  if (!Valid) return {};
  if (!Text.empty()) return Text;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d.%d.%d.%d", GetVersionNumber(0), GetVersionNumber(1),
                GetVersionNumber(2), GetVersionNumber(3));
  return buffer;
}

TqelVersionInfoResource::TqelVersionInfoResource()
    : FixedInfo(std::make_unique<TFixedFileVersionInfo>(this)),
      FileVersion(std::make_unique<TVersionNumberInformation>(0, 0)),
      ProductVersion(std::make_unique<TVersionNumberInformation>(0, 0)) {}

TqelVersionInfoResource::~TqelVersionInfoResource() = default;

void TqelVersionInfoResource::SetFilename(const TVersionFilename& Value) {
  Filename = Value;
  ReadVersionInfoData();
}

void TqelVersionInfoResource::SetForceEXE(bool Value) {
  if (kv::platform::storeChange(ForceEXE, Value)) ReadVersionInfoData();
}

std::string TqelVersionInfoResource::GetResourceFilename() { return Filename; }

void TqelVersionInfoResource::ReadVersionInfoData() {
  TranslationIDs.Clear();
  FixedInfo->Data = nullptr;
  VersionInfoData.reset();
  VersionInfoSize = 0;

  std::optional<std::vector<uint8_t>> block;
  try {
    block = kv::platform::readVersionResource(std::filesystem::path(GetResourceFilename()));
  } catch (...) {
    block.reset(); // an unreadable file has no version information
  }
  if (!block || block->empty()) {
    FileVersion->Valid = false;
    ProductVersion->Valid = false;
    return;
  }
  VersionInfoSize = static_cast<int32_t>(block->size());
  VersionInfoData = std::make_unique<uint8_t[]>(block->size());
  std::memcpy(VersionInfoData.get(), block->data(), block->size());
  const std::span<const uint8_t> data(VersionInfoData.get(), block->size());

  if (const auto fixed = kv::platform::queryVersionValue(data, "\\");
      fixed && fixed->value.size() >= kFixedBlockSize)
    FixedInfo->Data = fixed->value.data();

  if (const auto translation = kv::platform::queryVersionValue(data, "\\VarFileInfo\\Translation")) {
    const auto& v = translation->value;
    const size_t pairs = v.size() / 4;
    char id[16];
    for (size_t i = 0; i < pairs; ++i) {
      const unsigned language = v[4 * i] | v[4 * i + 1] << 8;
      const unsigned codePage = v[4 * i + 2] | v[4 * i + 3] << 8;
      std::snprintf(id, sizeof id, "%.4X%.4X", language, codePage);
      TranslationIDs.Add(id);
    }
    if (pairs == 0 && !v.empty()) {
      // A value too short for one pair still names a code page (what of it is there).
      const unsigned codePage = v[0] | (v.size() > 1 ? v[1] << 8 : 0);
      std::snprintf(id, sizeof id, "%.4X%.4X", 0x0409u, codePage);
      TranslationIDs.Add(id);
    }
  }
  if (TranslationIDIndex >= TranslationIDs.Count()) TranslationIDIndex = 0;

  FileVersion->Valid = true;
  FileVersion->MS = FixedInfo->GetFileVersionMS();
  FileVersion->LS = FixedInfo->GetFileVersionLS();
  FileVersion->Text = GetVersionInfoString(static_cast<int>(TPreDef::pdFileVersion));
  ProductVersion->Valid = true;
  ProductVersion->MS = FixedInfo->GetProductVersionMS();
  ProductVersion->LS = FixedInfo->GetProductVersionLS();
  ProductVersion->Text = GetVersionInfoString(static_cast<int>(TPreDef::pdProductVersion));
}

std::string TqelVersionInfoResource::GetVersionInfoString(int Index) {
  if (Index < 0 || Index > 10) return {};
  return GetResourceStr(PreDefKeys[Index]);
}

std::string TqelVersionInfoResource::GetResourceStr(const std::string& Key) {
  const std::string translation = TranslationIDIndex >= 0 && TranslationIDIndex < TranslationIDs.Count()
                                      ? TranslationIDs[TranslationIDIndex]
                                      : std::string("040904E4");
  if (!VersionInfoData || VersionInfoSize <= 0) return {};
  const std::span<const uint8_t> data(VersionInfoData.get(), static_cast<size_t>(VersionInfoSize));
  const auto value = kv::platform::queryVersionValue(data, "\\StringFileInfo\\" + translation + "\\" + Key);
  if (!value) return {};
  return kv::platform::versionText(value->tail);
}

void TqelVersionInfoResource::SetTranslationIDIndex(int Value) {
  if (Value >= 0 && Value < TranslationIDs.Count()) TranslationIDIndex = Value;
}

kv::platform::TStrings& TqelVersionInfoResource::GetTranslationIDs() { return TranslationIDs; }

std::string TqelVersionInfoResource::BuildFlags() {
  std::string result;
  const auto flags = FixedInfo->GetFlags();
  for (int f = 0; f <= static_cast<int>(TFixedFileInfoFlag::ffSpecialBuild); ++f)
    if (flags.Contains(static_cast<TFixedFileInfoFlag>(f)))
      result += std::string(FixedFileInfoFlagTexts[f]) + ", ";
  if (!result.empty()) result.resize(result.size() - 2);
  return result;
}

} // namespace uKVVersInfo
