// Self-extractors from anyone: the bytes as an executable, recognised, read by the stub as its
// own file (archive directory, trailer and header block) and turned back into a zip with its
// header read back, every kind; and the same bytes as a zip turned into an executable with a
// real stub in front, then back again.
//
// Whatever the bytes, nothing crashes, hangs or leaks; an operation that fails leaves its input
// as it was and nothing beside it, one that succeeds leaves its output in the input's place, and
// an executable the builder made can always be turned back into a zip.
#include "FuzzSupport.h"

#include "Archive/ZavSFX.h"
#include "SfxStub/SfxPackage.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using ZavOzeriz::TZavOzeriz;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "self-extractor: %s\n", what.c_str());
  std::abort();
}

std::string contentOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Places {
  fs::path stub; // a PE stub with the replaceable icon, beside the work folder
  fs::path work; // holds the input and what the operations make of it, nothing else
};

const Places& places() {
  static const Places p = [] {
    Places p;
    p.stub = kvfuzz::privateFolder() / "stub.exe";
    fs::copy_file(fs::path(KV_SOURCE_DIR) / "tests/Archive/sfx-fixtures/stub_icon.exe", p.stub);
    p.work = kvfuzz::privateFolder() / "work";
    return p;
  }();
  return p;
}

// A component that builds quietly, deletes for good and reads no directory when given a name.
struct Master {
  Master() {
    zip.SetUnattended(true);
    zip.SetHowToDelete(ZavOzeriz::DeleteOpts::htdFinal);
    zip.SetSFXPath(places().stub.string());
    zip.SetSFXCaption("Fuzzed");
    zip.SetSFXMessage("\x02Go?");
    zip.SetDesigning(true);
  }
  int convert(const fs::path& file, bool toZip) {
    zip.SetZipFileName(file.string());
    return toZip ? zip.GetSFXSlave()->ConvertToZIP(&zip) : zip.GetSFXSlave()->ConvertToSFX(&zip);
  }
  TZavOzeriz zip{nullptr};
};

void freshWork() {
  std::error_code ec;
  fs::remove_all(places().work, ec);
  fs::create_directory(places().work);
}

// The folder holds exactly these files.
void expectOnly(std::initializer_list<fs::path> files, const char* after) {
  size_t count = 0;
  for (const auto& e : fs::directory_iterator(places().work)) {
    ++count;
    if (std::find(files.begin(), files.end(), e.path()) == files.end())
      fail(std::string("left behind after ") + after + ": " + e.path().string());
  }
  if (count != files.size()) fail(std::string("an expected file is missing after ") + after);
}

// One conversion of `input` written as `from`: on failure `from` keeps its bytes and stands
// alone; on success `to` stands in its place.
int convertChecked(std::string_view input, const fs::path& from, const fs::path& to, bool toZip,
                   const char* what) {
  kvfuzz::writeFile(from, input);
  Master m;
  const int r = m.convert(from, toZip);
  if (r == 0) {
    expectOnly({to}, what);
  } else {
    expectOnly({from}, what);
    if (contentOf(from) != input) fail(std::string("a failed ") + what + " changed its input");
  }
  return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input = kvfuzz::asText(data, size);
  const fs::path exe = places().work / "in.exe", zip = places().work / "in.zip";

  // As an executable: recognised, read by the stub, turned back into a zip.
  freshWork();
  kvfuzz::writeFile(exe, input);
  {
    Master m;
    const int r = m.zip.GetSFXSlave()->CheckZavSFX(&m.zip, exe.string());
    if (r != 0 && r != 1) fail("the check of a readable file gave " + std::to_string(r));
  }
  try {
    (void)sfxstub::readPackage(exe.string());
  } catch (const sfxstub::StubError&) {
  }
  convertChecked(input, exe, zip, true, "turning an executable into a zip");

  // As a zip: made into an executable and back.
  freshWork();
  if (convertChecked(input, zip, exe, false, "making an executable") == 0) {
    Master m;
    const int r = m.convert(exe, true);
    if (r != 0) fail("an executable the builder made cannot be turned back: " + std::to_string(r));
    expectOnly({zip}, "turning a made executable back");
  }
  return 0;
}
