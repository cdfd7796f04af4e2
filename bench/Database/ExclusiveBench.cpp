// The backup's exclusive-access step on sample databases whose largest table grows (1, 10 and
// 85 MB): every *.DB of the directory opened exclusively and closed, as the backup does it, against
// util-linux's flock taking the same locks; then one unattended KVBackup run on the largest,
// timing the step between its two log lines and taking the peak memory of the run. Best of
// several rounds. With --smoke: 1 and 4 MB, one round, no targets.
#include "Platform/Database/Database.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace kv::platform;

namespace {

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

// The sample database and a table of measurement series of about `megabytes` MB, written by a
// child process, so that this one stays small: a program it starts counts its memory until exec.
void makeDatabase(const fs::path& bin, const fs::path& dir, int megabytes) {
  if (std::system(
          (quote((bin / "kvmkdemo").string()) + " " + quote(dir.string()) + " --password 58k31").c_str()) !=
      0)
    std::exit(1);
  const pid_t child = fork();
  if (child == 0) {
    const std::string text(240, 'x');
    std::vector<std::vector<FieldValue>> records(static_cast<size_t>(megabytes) * 1000000 / 1004);
    for (size_t i = 0; i < records.size(); ++i)
      records[i] = {static_cast<std::int64_t>(i), text, text, text, text};
    CreateTable(dir / "SERIES.DB",
                {{"id", TFieldType::ftInteger, 0},
                 {"a", TFieldType::ftString, 250},
                 {"b", TFieldType::ftString, 250},
                 {"c", TFieldType::ftString, 250},
                 {"d", TFieldType::ftString, 250}},
                records);
    _exit(0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    std::exit(1);
}

// What the backup does to prove nobody else holds the tables.
void openEveryTableExclusively(const fs::path& dir) {
  TStringList names;
  Session().GetTableNames(dir.string(), "*.DB", true, false, names);
  std::vector<std::unique_ptr<TTable>> open;
  for (int i = 0; i < names.Count(); ++i) {
    open.push_back(std::make_unique<TTable>());
    open.back()->Exclusive = true;
    open.back()->DatabaseName = dir.string();
    open.back()->TableName = names[i];
    open.back()->Open();
  }
}

} // namespace

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
  const std::vector<int> sizes = smoke ? std::vector<int>{1, 4} : std::vector<int>{1, 10, 85};
  const int rounds = smoke ? 1 : 5;
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
  char tmp[] = "/tmp/kvbench-excl-XXXXXX";
  if (!mkdtemp(tmp)) return 1;
  const fs::path root(tmp);
  Session().AddPassword("58k31");

  std::vector<double> ours;
  std::printf("%10s %14s %14s\n", "table MB", "ours ms", "flock ms");
  for (int megabytes : sizes) {
    const fs::path dir = root / ("db" + std::to_string(megabytes));
    makeDatabase(bin, dir, megabytes);
    double best = 1e9, peer = 1e9;
    for (int r = 0; r < rounds; ++r) {
      const double t0 = seconds();
      openEveryTableExclusively(dir);
      best = std::min(best, seconds() - t0);
      const double t1 = seconds();
      if (std::system(
              ("cd " + quote(dir.string()) + " && for f in *.DB; do flock -n -x \"$f\" true || exit 1; done")
                  .c_str()) != 0)
        return 1;
      peer = std::min(peer, seconds() - t1);
    }
    ours.push_back(best);
    std::printf("%10.1f %14.2f %14.2f\n", fs::file_size(dir / "SERIES.DB") / 1e6, best * 1000, peer * 1000);
  }

  // One unattended backup of the largest database, started without a display and its log read as
  // it is written; the peak memory is the program's own.
  const fs::path dir = root / ("db" + std::to_string(sizes.back()));
  fs::create_directories(root / "config");
  fs::create_directories(root / "save");
  std::FILE* aliases = std::fopen((root / "config" / "aliases.ini").c_str(), "w");
  std::fprintf(aliases, "[Korv3]\nPATH=%s\n", dir.c_str());
  std::fclose(aliases);
  std::vector<std::string> env = {"KV_CONFIG_DIR=" + (root / "config").string()};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0 &&
        std::strncmp(*e, "KV_CONFIG_DIR=", 14) != 0)
      env.push_back(*e);
  std::vector<char*> envp;
  for (auto& e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = (bin / "KVBackup").string(), flag = "-BACKUP";
  std::string target = (root / "save" / "KorvBak.zip").string();
  char* args[] = {program.data(), flag.data(), target.data(), nullptr};
  int out[2];
  if (pipe(out) != 0) return 1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const double start = seconds();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, args, envp.data()) != 0) return 1;
  close(out[1]);
  std::FILE* log = fdopen(out[0], "r");
  char line[4096];
  double asked = 0, granted = 0;
  while (std::fgets(line, sizeof line, log)) {
    const std::string text(line);
    if (text.rfind("Try to exclusivly access the database...", 0) == 0)
      asked = seconds();
    else if (asked > 0 && granted == 0 && text == "Ok\n")
      granted = seconds();
  }
  std::fclose(log);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double total = seconds() - start;
  const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const double tableMB = fs::file_size(dir / "SERIES.DB") / 1e6;
  const double peakMB = usage.ru_maxrss / 1024.0;
  std::printf("KVBackup -BACKUP on the %.1f MB table: exit %d, exclusive-access step %.2f ms between its log "
              "lines, whole run %.2f s, peak memory %.1f MB\n",
              tableMB, exitCode, (granted - asked) * 1000, total, peakMB);
  if (!std::getenv("KV_BENCH_KEEP")) fs::remove_all(root);
  const bool done = exitCode == 0 && granted > asked && asked > 0;
  if (!done) std::puts("the backup did not run through");
  // Targets: milliseconds, not growing with the table; memory far below the table's size.
  const bool fast = ours.back() < 0.02 && ours.back() < 3 * ours.front() + 0.002 && granted - asked < 0.05 &&
                    peakMB < tableMB / 2;
  return done && (smoke || fast) ? 0 : 2;
}
