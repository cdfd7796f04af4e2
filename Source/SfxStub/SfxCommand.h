// The command line a self-extractor runs after extracting, in the target folder.
#pragma once

#include <string>
#include <vector>

namespace sfxstub {

// The words of a command line: separated by blanks, a pair of double quotes keeping blanks in
// one word (the quotes themselves are dropped).
std::vector<std::string> commandWords(const std::string& commandLine);

// Runs the command in `directory` and waits for it. A program named without a folder is looked
// for in `directory` first, then along PATH, as the original platform started programs. Returns
// the empty text when it ran and ended with exit code 0, else why not.
std::string runCommand(const std::string& commandLine, const std::string& directory);

} // namespace sfxstub
