// Reads the directory of a 65,535-entry archive and compares, in one run, with
// `unzip -l` and Python's zipfile reading the same file. Best of several rounds each.
#include "Archive/ZavOzeriz.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string capture(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    out.append(buf, n);
  pclose(p);
  return out;
}

} // namespace

int main() {
  char dir[] = "/tmp/kvbench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string file = std::string(dir) + "/many.zip";
  const std::string make =
      "/usr/bin/python3 -c \"import zipfile\n"
      "with zipfile.ZipFile('" +
      file +
      "', 'w') as z:\n"
      "    for i in range(65535): z.writestr('dir%03d/member%05d.txt' % (i % 100, i), b'')\"";
  if (std::system(make.c_str()) != 0) return 1;

  const int rounds = 5;
  double ours = 1e9;
  int count = 0;
  for (int r = 0; r < rounds; ++r) {
    ZavOzeriz::TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    const double t0 = seconds();
    zip.SetZipFileName(file);
    ours = std::min(ours, seconds() - t0);
    count = zip.Count();
  }

  double unzip = 1e9;
  for (int r = 0; r < rounds; ++r) {
    const double t0 = seconds();
    if (std::system(("unzip -l '" + file + "' > /dev/null").c_str()) != 0) return 1;
    unzip = std::min(unzip, seconds() - t0);
  }

  // Python times its own reading inside the interpreter, start-up not counted.
  const std::string py = capture("/usr/bin/python3 -c \"import time, zipfile\n"
                                 "best = 1e9\n"
                                 "for r in range(" +
                                 std::to_string(rounds) +
                                 "):\n"
                                 "    t = time.perf_counter(); n = len(zipfile.ZipFile('" +
                                 file +
                                 "').infolist())\n"
                                 "    best = min(best, time.perf_counter() - t)\n"
                                 "print(best, n)\"");
  const double python = std::atof(py.c_str());

  std::printf("entries read: %d\n", count);
  std::printf("TZavOzeriz directory read: %8.2f ms\n", ours * 1000);
  std::printf("unzip -l:                  %8.2f ms  (ours is %.1fx faster)\n", unzip * 1000, unzip / ours);
  std::printf("Python zipfile:            %8.2f ms  (ours is %.1fx faster)\n", python * 1000, python / ours);
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  return count == 65535 && ours < unzip && ours < python ? 0 : 2;
}
