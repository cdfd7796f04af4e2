// Directory reading over arbitrary bytes: it must end with one of its messages, never
// crash, hang or allocate without bound.
#include "Archive/ZavOzeriz.h"
#include "FuzzSupport.h"
#include "Platform/Dialogs/ConsoleDialogs.h"

#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = [] {
    kv::platform::setDialogs(
        std::make_unique<kv::platform::NonInteractiveDialogs>(std::fopen("/dev/null", "w")));
    return (kvfuzz::privateFolder() / "input.zip").string();
  }();
  kvfuzz::writeFile(file, kvfuzz::asText(data, size));
  ZavOzeriz::TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetZipFileName(file);
  for (int i = 0; i < zip.Count(); ++i)
    (void)zip.ZipContents()[i].FileName.size();
  zip.SetUseDirOnlyEntries(true);
  zip.SetSpanOptions({ZavOzeriz::SpanOptsEnum::spCompatName});
  zip.List();
  return 0;
}
