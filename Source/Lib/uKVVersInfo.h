// The version resource reader: loads the whole version block of an executable or library
// once and answers questions about it: the fixed block (version numbers, flags, operating
// system, file type, date), the translations, and the strings of the selected translation.
#pragma once

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/Sets.h"
#include "Platform/Rtl/TypInfo.h"

#include <cstdint>
#include <memory>
#include <string>

namespace uKVVersInfo {

using kv::platform::TDateTime;
using kv::platform::TSet;

enum class TPreDef {
  pdCompanyName,
  pdFileDescription,
  pdFileVersion,
  pdInternalName,
  pdLegalCopyright,
  pdLegalTrademarks,
  pdOriginalFilename,
  pdProductName,
  pdProductVersion,
  pdComments,
  pdBuildFlags
};
KV_ENUM_NAMES(TPreDef, "pdCompanyName", "pdFileDescription", "pdFileVersion", "pdInternalName",
              "pdLegalCopyright", "pdLegalTrademarks", "pdOriginalFilename", "pdProductName",
              "pdProductVersion", "pdComments", "pdBuildFlags")
using TPreDefs = TSet<TPreDef, std::uint16_t>;

enum class TFixedFileInfoFlag {
  ffDebug,
  ffInfoInferred,
  ffPatched,
  ffPreRelease,
  ffPrivateBuild,
  ffSpecialBuild
};
KV_ENUM_NAMES(TFixedFileInfoFlag, "ffDebug", "ffInfoInferred", "ffPatched", "ffPreRelease", "ffPrivateBuild",
              "ffSpecialBuild")
using TFixedFileInfoFlags = TSet<TFixedFileInfoFlag, std::uint8_t>;

enum class TVersionOperatingSystemFlag {
  vosUnknown,
  vosDOS,
  vosOS2_16,
  vosOS2_32,
  vosNT,
  vosWindows16,
  vosPresentationManager16,
  vosPresentationManager32,
  vosWindows32
};
KV_ENUM_NAMES(TVersionOperatingSystemFlag, "vosUnknown", "vosDOS", "vosOS2_16", "vosOS2_32", "vosNT",
              "vosWindows16", "vosPresentationManager16", "vosPresentationManager32", "vosWindows32")
using TVersionOperatingSystemFlags = TSet<TVersionOperatingSystemFlag, std::uint16_t>;

enum class TVersionFileType { vftUnknown, vftApplication, vftDLL, vftDriver, vftFont, vftVXD, vftStaticLib };
KV_ENUM_NAMES(TVersionFileType, "vftUnknown", "vftApplication", "vftDLL", "vftDriver", "vftFont", "vftVXD",
              "vftStaticLib")

using TVersionFilename = std::string;

// The keys of the string table, by TPreDef.
extern const char* const PreDefKeys[11];
// The texts of the fixed block's flags, by TFixedFileInfoFlag.
extern const char* const FixedFileInfoFlagTexts[6];

class TqelVersionInfoResource;

// A view of the fixed block inside its reader's loaded data.
class TFixedFileVersionInfo : public kv::platform::TObject {
public:
  explicit TFixedFileVersionInfo(TqelVersionInfoResource* Parent);
  std::string ClassName() const override { return "TFixedFileVersionInfo"; }

  TqelVersionInfoResource* Parent;
  const uint8_t* Data = nullptr; // 52 bytes of the fixed block, or nil

  uint32_t GetSignature() const;
  uint32_t GetStructureVersion() const;
  uint32_t GetFileVersionMS() const;
  uint32_t GetFileVersionLS() const;
  uint32_t GetProductVersionMS() const;
  uint32_t GetProductVersionLS() const;
  uint32_t GetFileSubType() const;
  TFixedFileInfoFlags GetValidFlags() const;
  TFixedFileInfoFlags GetFlags() const;
  TVersionOperatingSystemFlags GetFileOperatingSystem() const;
  TVersionFileType GetFileType() const;
  TDateTime GetCreationDate() const;

private:
  uint32_t field(int offset) const;
};

// A four-part version number.
class TVersionNumberInformation : public kv::platform::TObject {
public:
  TVersionNumberInformation(uint32_t MS, uint32_t LS);
  std::string ClassName() const override { return "TVersionNumberInformation"; }

  bool Valid = false;
  uint32_t MS;
  uint32_t LS;
  std::string Text;

  uint16_t GetVersionNumber(int Index) const;
  std::string GetVersionNumberString() const;
};

class TqelVersionInfoResource : public kv::platform::TObject {
public:
  TqelVersionInfoResource();
  ~TqelVersionInfoResource() override;
  std::string ClassName() const override { return "TqelVersionInfoResource"; }

  std::unique_ptr<uint8_t[]> VersionInfoData;
  int32_t VersionInfoSize = 0;
  TVersionFilename Filename;
  kv::platform::TStringList TranslationIDs;
  int32_t TranslationIDIndex = 0;
  std::unique_ptr<TFixedFileVersionInfo> FixedInfo;
  bool ForceEXE = false;
  std::unique_ptr<TVersionNumberInformation> FileVersion;
  std::unique_ptr<TVersionNumberInformation> ProductVersion;

  virtual std::string GetResourceFilename();
  virtual std::string BuildFlags();
  virtual void ReadVersionInfoData();

  void SetFilename(const TVersionFilename& Value);
  void SetForceEXE(bool Value);
  std::string GetVersionInfoString(int Index);
  std::string GetResourceStr(const std::string& Key);
  void SetTranslationIDIndex(int Value);
  kv::platform::TStrings& GetTranslationIDs();

  std::string CompanyName() { return GetVersionInfoString(0); }
  std::string FileDescription() { return GetVersionInfoString(1); }
  std::string InternalName() { return GetVersionInfoString(3); }
  std::string LegalCopyright() { return GetVersionInfoString(4); }
  std::string LegalTrademarks() { return GetVersionInfoString(5); }
  std::string OriginalFilename() { return GetVersionInfoString(6); }
  std::string ProductName() { return GetVersionInfoString(7); }
  std::string Comments() { return GetVersionInfoString(9); }
};

} // namespace uKVVersInfo
