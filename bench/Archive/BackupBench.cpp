// The unattended backup of a database folder that is half text, half random bytes, beside
// Debian's `zip -9 -r` and 7-Zip's zip writer (`7z a -tzip -mx=5 -mmt=8`) on the same folder, in
// one run: best of three of each, the backup net of the program's fixed one-second start (its
// timer), and the archives' sizes. Usage: bench_archive_backup [megabytes, default 100];
// with --smoke: 4 MB, one round, no targets.
//
// Targets: at most 0.15x the time of zip -9 and 0.45x 7-Zip's, at zip -9's size within 1 %.
#include "../BenchData.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace benchdata;

namespace {

std::string quote(const std::string& s) { return "'" + s + "'"; }

// Each run starts with what earlier runs wrote on the disk, as a nightly run finds the older
// set of the night before, so that no run waits for another's writing.
double runSeconds(const std::string& command) {
  if (std::system("sync") != 0) std::exit(1);
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The sample database and files of 4 MB at most, half text, half random, to about `megabytes`.
void makeFolder(const fs::path& bin, const fs::path& dir, uint64_t megabytes) {
  if (std::system(
          (quote((bin / "kvmkdemo").string()) + " " + quote(dir.string()) + " --password 58k31").c_str()) !=
      0)
    std::exit(1);
  std::mt19937 rng(20261209);
  const uint64_t half = megabytes * 1000000 / 2;
  const size_t piece = 4000000;
  for (int kind = 0; kind < 2; ++kind) {
    uint64_t written = 0;
    for (int n = 0; written < half; ++n) {
      const size_t size = static_cast<size_t>(std::min<uint64_t>(piece, half - written));
      writeBytes(dir / ((kind == 0 ? "LOG" : "BLOB") + std::to_string(n) + (kind == 0 ? ".TXT" : ".BIN")),
                 kind == 0 ? textData(size, rng) : randomData(size, rng));
      written += size;
    }
  }
}

} // namespace

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
  const uint64_t megabytes = smoke ? 4 : argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
  const int rounds = smoke ? 1 : 3;
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
  char tmp[] = "/tmp/kvbench-backup-XXXXXX";
  if (!mkdtemp(tmp)) return 1;
  const fs::path root(tmp), dir = root / "db", save = root / "save", config = root / "config";
  makeFolder(bin, dir, megabytes);
  fs::create_directories(save);
  fs::create_directories(config);
  writeBytes(config / "aliases.ini", "[Korv3]\nPATH=" + dir.string() + "\n");

  // The program waits one second on its timer before it starts: that second is not the backup's.
  const std::string ours = "cd " + quote(root.string()) +
                           " && env -u DISPLAY -u WAYLAND_DISPLAY KV_CONFIG_DIR=" + quote(config.string()) +
                           " " + quote((bin / "KVBackup").string()) + " -BACKUP " +
                           quote((save / "KorvBak.zip").string()) + " >/dev/null";
  const std::string zip = "cd " + quote(dir.string()) + " && rm -f ../zip9.zip && zip -q -9 -r ../zip9.zip .";
  const std::string sevenZip = "cd " + quote(dir.string()) +
                               " && rm -f ../7z.zip && 7z a -bd -tzip -mx=5 -mmt=8 ../7z.zip . >/dev/null";
  double best[3] = {1e9, 1e9, 1e9};
  for (int r = 0; r < rounds; ++r) {
    best[0] = std::min(best[0], runSeconds(ours) - 1.0);
    best[1] = std::min(best[1], runSeconds(zip));
    best[2] = std::min(best[2], runSeconds(sevenZip));
  }
  const double ourSize = static_cast<double>(fs::file_size(save / "KorvBak001.zip"));
  const double zipSize = static_cast<double>(fs::file_size(root / "zip9.zip"));
  const double sevenSize = static_cast<double>(fs::file_size(root / "7z.zip"));
  std::printf("folder of %.1f MB, half text, half random; best of %d\n", megabytes * 1.0, rounds);
  std::printf("%-36s %10s %14s\n", "", "seconds", "bytes");
  std::printf("%-36s %10.3f %14.0f\n", "KVBackup -BACKUP (net of its 1 s)", best[0], ourSize);
  std::printf("%-36s %10.3f %14.0f\n", "zip -9 -r", best[1], zipSize);
  std::printf("%-36s %10.3f %14.0f\n", "7z a -tzip -mx=5 -mmt=8", best[2], sevenSize);
  const double ofZip = best[0] / best[1], ofSeven = best[0] / best[2], size = ourSize / zipSize - 1;
  std::printf("ours: %.2fx of zip -9, %.2fx of 7-Zip, size %+.2f %% of zip -9\n", ofZip, ofSeven, size * 100);
  if (!std::getenv("KV_BENCH_KEEP")) fs::remove_all(root);
  const bool met = ofZip <= 0.15 && ofSeven <= 0.45 && std::abs(size) <= 0.01;
  if (!smoke) std::puts(met ? "targets met" : "targets NOT met");
  return smoke || met ? 0 : 2;
}
