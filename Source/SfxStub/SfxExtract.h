// The extraction itself: the unzip engine's code, linked into the stub, writes the members below
// the target folder; its questions (existing files, passwords) go to the dialogs service and
// its reports become progress and the outcome.
#pragma once

#include "Platform/Dialogs/Dialogs.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sfxstub {

struct ExtractRequest {
  std::string archive;              // the executable
  std::string target;               // created when missing
  std::vector<std::string> members; // names to extract; empty: every member
  uint8_t overwrite = 2;            // the header's byte: 0 always, 1 never, 2 ask
  std::string caption;              // of the questions
};

struct ExtractOutcome {
  int extracted = 0;
  int kept = 0; // existing files left as they were, as the overwrite mode or the user said
  std::vector<std::string> failures;
  bool cancelled = false;
  // Every one of `expected` members was written or deliberately kept, and nothing failed.
  bool complete(size_t expected) const {
    return !cancelled && failures.empty() && static_cast<size_t>(extracted + kept) == expected;
  }
};

// Where the extraction stands (the member, bytes done of all); false asks it to stop.
using ProgressReport = std::function<bool(const std::string& name, uint64_t done, uint64_t total)>;

ExtractOutcome extract(const ExtractRequest& request, kv::platform::DialogService& dialogs,
                       const ProgressReport& progress);

} // namespace sfxstub
