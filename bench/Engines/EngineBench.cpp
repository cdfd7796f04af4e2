// Packs a generated directory of mixed files at level 9 with our zip engine and with Debian's
// `zip -9 -r`, then extracts the archive with our unzip engine and with `unzip`, and prints the
// times, sizes and ratios. Usage: EngineBench [total megabytes, default 200] [work directory].
#include "../BenchData.h"
#include "Engines/ZipEngineRecords.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace benchdata;

namespace {

int32_t quietCallback(CallbackRecord* record) {
  if (record->ActionCode == zcaMessage && record->ErrorCode != 0)
    std::fprintf(stderr, "engine: %s\n", record->Text);
  return 0;
}

double seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Structured binary records.
std::string binaryData(size_t size, std::mt19937& rng) {
  std::string s(size, '\0');
  uint32_t counter = rng();
  for (size_t i = 0; i + 16 <= size; i += 16) {
    const uint32_t fields[4] = {counter++, static_cast<uint32_t>(rng() % 1000), static_cast<uint32_t>(0x3F800000u + rng() % 4096),
                                static_cast<uint32_t>(i / 4096)};
    std::memcpy(&s[i], fields, 16);
  }
  return s;
}


uint64_t generate(const fs::path& root, uint64_t totalBytes) {
  std::mt19937 rng(20240601);
  uint64_t written = 0;
  int n = 0;
  while (written < totalBytes) {
    const fs::path dir = root / ("dir" + std::to_string(n % 12)) / ("sub" + std::to_string(n % 3));
    fs::create_directories(dir);
    // Mostly small and medium files, a few large ones.
    size_t size = (n % 40 == 0) ? (6u << 20) + rng() % (4u << 20) : 4096 + rng() % (1200u << 10);
    const int kind = n % 10;
    std::string data;
    std::string name;
    if (kind < 5) {
      data = textData(size, rng);
      name = "text" + std::to_string(n) + ".txt";
    } else if (kind < 8) {
      data = binaryData(size, rng);
      name = "table" + std::to_string(n) + ".db";
    } else {
      data = randomData(size, rng);
      name = "blob" + std::to_string(n) + ".bin";
    }
    writeBytes(dir / name, data);
    written += data.size();
    ++n;
  }
  std::printf("generated %d files, %.1f MB\n", n, written / 1e6);
  return written;
}

int shell(const std::string& command) { return std::system(command.c_str()); }

} // namespace

int main(int argc, char** argv) {
  const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
  const fs::path work = argc > 2 ? fs::path(argv[2])
                                 : fs::temp_directory_path() / ("kv-enginebench-" + std::to_string(getpid()));
  const fs::path libDir = fs::canonical("/proc/self/exe").parent_path().parent_path() / "lib";

  void* zipLib = dlopen((libDir / "libvizivi.so").c_str(), RTLD_NOW);
  void* unzipLib = dlopen((libDir / "librozize.so").c_str(), RTLD_NOW);
  if (!zipLib || !unzipLib) {
    std::fprintf(stderr, "cannot load the engines from %s: %s\n", libDir.c_str(), dlerror());
    return 1;
  }
  auto zipExec = reinterpret_cast<VizIviExecFunction>(dlsym(zipLib, "VizIviExec"));
  auto unzipExec = reinterpret_cast<RozIzeExecFunction>(dlsym(unzipLib, "RozIzeExec"));

  fs::remove_all(work);
  const fs::path data = work / "data";
  fs::create_directories(data);
  generate(data, megabytes << 20);
  shell("sync");

  const fs::path ours = work / "ours.zip", peer = work / "peer.zip";
  const std::string root = data.string();
  const double ourZip = seconds([&] {
    FileSpecRecord spec{};
    spec.FileSpec = "*.*";
    spec.Recurse = 0xFFFF;
    spec.RootDir = root.c_str();
    ZipCommandRecord cmd{};
    const std::string name = ours.string();
    cmd.Callback = quietCallback;
    cmd.Level = 9;
    cmd.Recurse = 0xFFFF;
    cmd.NoSeparateDirs = -1;
    cmd.MinusOne = -1;
    cmd.FSpecCount = 1;
    cmd.FSpecs = &spec;
    cmd.ZipFileName = name.c_str();
    cmd.Check = KV_RECORD_CHECK;
    if (zipExec(&cmd) <= 0) std::fprintf(stderr, "our zip engine added nothing\n");
  });
  const double peerZip =
      seconds([&] { shell("cd '" + root + "' && zip -9 -r -q '" + peer.string() + "' ."); });

  auto extractOurs = [&](const fs::path& archive, const fs::path& target) {
    UnzipCommandRecord cmd{};
    const std::string name = archive.string(), base = target.string();
    cmd.Callback = quietCallback;
    cmd.Password = "";
    cmd.MinusOne = -1;
    cmd.DirNames = -1;
    cmd.Overwrite = -1;
    cmd.ZipFileName = name.c_str();
    UnzipFileSpec none{};
    cmd.FSpecs = &none;
    cmd.ExtractBaseDir = base.c_str();
    cmd.Check = KV_RECORD_CHECK;
    return unzipExec(&cmd);
  };
  double ourUnzip = 0, peerUnzip = 0;
  for (const auto& [label, archive] : {std::pair{"ours.zip", ours}, std::pair{"peer.zip", peer}}) {
    fs::remove_all(work / "x-ours");
    fs::remove_all(work / "x-peer");
    shell("sync");
    const double a = seconds([&] { extractOurs(archive, work / "x-ours"); });
    const double b = seconds(
        [&] { shell("unzip -q -o '" + archive.string() + "' -d '" + (work / "x-peer").string() + "'"); });
    const bool same =
        shell("diff -r -q '" + (work / "x-ours").string() + "' '" + data.string() + "' >/dev/null") == 0;
    std::printf("extract %-8s  ours %6.2f s  unzip %6.2f s  ratio %.2f  %s\n", label, a, b, a / b,
                same ? "identical" : "DIFFERENT");
    ourUnzip += a;
    peerUnzip += b;
  }

  const auto ourSize = fs::file_size(ours), peerSize = fs::file_size(peer);
  std::printf("pack -9   ours %6.2f s  zip   %6.2f s  ratio %.2f\n", ourZip, peerZip, ourZip / peerZip);
  std::printf("size      ours %llu  zip %llu  ratio %.4f\n", static_cast<unsigned long long>(ourSize),
              static_cast<unsigned long long>(peerSize), static_cast<double>(ourSize) / peerSize);
  std::printf("extract   ours %6.2f s  unzip %6.2f s  ratio %.2f\n", ourUnzip, peerUnzip,
              ourUnzip / peerUnzip);
  if (argc <= 2) fs::remove_all(work);
  return 0;
}
