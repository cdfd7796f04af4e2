// Long copies on the owner's thread keep its windows alive, but a message loop per piece costs
// more than copying the piece, while the eye sees nothing faster than a few tens of
// milliseconds: pending messages run at most that often.
#pragma once

#include "Platform/AppInfo/AppInfo.h"
#include "Platform/PerfCounter/PerfCounter.h"

#include <cstdint>
#include <limits>

namespace ZavOzeriz {

// The least time between two message loops of one copy (µs, the performance counter's unit).
inline constexpr int64_t MessagePace = 25000;

class MessagePacer {
public:
  // Runs the pending messages when the pace allows; the first call of a copy always does.
  void letMessagesRun() {
    const int64_t at = kv::platform::perfCounters().counter();
    if (at - ranAt_ < MessagePace) return;
    ranAt_ = at;
    kv::platform::processMessages();
  }
  void restart() { ranAt_ = std::numeric_limits<int64_t>::min() / 2; }

private:
  int64_t ranAt_ = std::numeric_limits<int64_t>::min() / 2;
};

} // namespace ZavOzeriz
