// Windows PE files as the version information and the self-extractor's stub icon read them:
// the bytes as an image (version block, icon resources, first icon), the same bytes as a version
// block and as an icon file, and a file of them through the runtime library's version readers.
// Every answer must stay inside the bytes given; an icon found must be a valid icon file.
#include "FuzzSupport.h"

#include "Platform/PeFiles/PeFile.h"
#include "Platform/PeFiles/VersionBlock.h"
#include "Platform/Rtl/Icons.h"
#include "uKVVersInfo.h"
#include "uKVVersion.h"

#include <cstdio>
#include <cstdlib>

namespace {

namespace pf = kv::platform;

// The queries the version readers make: the fixed block, the translations, and the strings of
// the first translation and of the one Windows tools write by default.
void queryBlock(std::span<const uint8_t> block) {
  (void)pf::queryVersionValue(block, "\\");
  std::string first = "040904E4";
  if (const auto t = pf::queryVersionValue(block, "\\VarFileInfo\\Translation"); t && t->value.size() >= 4) {
    char id[16];
    std::snprintf(id, sizeof id, "%.4X%.4X", t->value[0] | t->value[1] << 8, t->value[2] | t->value[3] << 8);
    first = id;
  }
  for (const std::string& translation : {first, std::string("040904B0")})
    for (const char* key : uKVVersInfo::PreDefKeys)
      if (const auto v = pf::queryVersionValue(block, "\\StringFileInfo\\" + translation + "\\" + key))
        (void)pf::versionText(v->tail);
}

void readIcon(std::span<const uint8_t> bytes) {
  pf::TIcon icon;
  try {
    icon.SetBytes(bytes);
  } catch (const pf::EInvalidGraphic&) {
    return;
  }
  (void)icon.Width(), (void)icon.Height(), (void)icon.ImageCount();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const pf::SpanByteSource image(bytes);
  if (const auto block = pf::findVersionResource(image)) queryBlock(*block);
  (void)pf::findResourceData(image, pf::RtIcon, 1);
  if (const auto icon = pf::readFirstIcon(image)) {
    if (!pf::TIcon::IsIconFile(*icon)) {
      std::fprintf(stderr, "the first icon of an image is no icon file\n");
      std::abort();
    }
    readIcon(*icon);
  }
  queryBlock(bytes);
  readIcon(bytes);

  // Through a file, as the library reads another program's version.
  static const std::string file = (kvfuzz::privateFolder() / "image.exe").string();
  kvfuzz::writeFile(file, kvfuzz::asText(data, size));
  uKVVersInfo::TqelVersionInfoResource info;
  info.SetFilename(file);
  for (int t = 0; t < info.GetTranslationIDs().Count(); ++t) {
    info.SetTranslationIDIndex(t);
    for (int i = 0; i <= 10; ++i)
      (void)info.GetVersionInfoString(i);
  }
  (void)info.BuildFlags();
  (void)info.FixedInfo->GetCreationDate();
  (void)info.FixedInfo->GetFileOperatingSystem();
  (void)info.FixedInfo->GetFileType();
  (void)info.FileVersion->GetVersionNumberString();
  int major, minor, release, build;
  uKVVersion::MdGetVersion(file, major, minor, release, build);
  return 0;
}
