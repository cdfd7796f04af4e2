#include "SfxCommand.h"

#include "EngineFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sfxstub {

std::vector<std::string> commandWords(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (const char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string runCommand(const std::string& commandLine, const std::string& directory) {
  std::vector<std::string> words = commandWords(commandLine);
  if (words.empty()) return "The command line is empty";
  const std::string program = words[0];
  // A bare name that lies in the target folder is that file, as it was where the archive came from.
  if (program.find('/') == std::string::npos &&
      access(kv::engine::joinPath(directory, program).c_str(), X_OK) == 0)
    words[0] = "./" + program;
  std::vector<char*> argv;
  for (auto& w : words)
    argv.push_back(w.data());
  argv.push_back(nullptr);

  // The child tells why it could not start through a pipe that closes when the program runs.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    return "Cannot start " + program + ": " + kv::engine::systemErrorText(errno);
  const pid_t pid = fork();
  if (pid < 0) {
    const int error = errno;
    close(report[0]);
    close(report[1]);
    return "Cannot start " + program + ": " + kv::engine::systemErrorText(error);
  }
  if (pid == 0) {
    int error = 0;
    if (chdir(directory.c_str()) != 0)
      error = errno;
    else {
      execvp(argv[0], argv.data());
      error = errno;
    }
    (void)!write(report[1], &error, sizeof error);
    _exit(127);
  }
  close(report[1]);
  int error = 0;
  ssize_t got;
  do
    got = read(report[0], &error, sizeof error);
  while (got < 0 && errno == EINTR);
  close(report[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof error))
    return "Cannot start " + program + " in " + directory + ": " + kv::engine::systemErrorText(error);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::string();
  if (WIFEXITED(status)) return program + " ended with exit code " + std::to_string(WEXITSTATUS(status));
  return program + " was ended by signal " + std::to_string(WTERMSIG(status));
}

} // namespace sfxstub
