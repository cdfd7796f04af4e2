// The counters that code timing reads: a fine time-stamp counter that stands in for the
// processor's cycle counter, a performance counter with its frequency to measure the
// time-stamp counter's rate against, and the calling thread's scheduling priority.
//
// On Linux both counters come from one monotonic clock: the time-stamp counter counts its
// nanoseconds, the performance counter its microseconds (frequency 1,000,000), so a rate
// measured from them is 1000 "MHz" and cycle counts divided by it are seconds. Tests put a
// scripted source in place of the real one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace kv::platform {

class PerfCounterSource {
public:
  virtual ~PerfCounterSource() = default;
  // The time-stamp counter: counts that only grow.
  virtual int64_t timeStamp() = 0;
  // Counts per second of the performance counter; nothing when there is no such counter.
  virtual std::optional<int64_t> frequency() = 0;
  virtual int64_t counter() = 0;
  // The calling thread's priority (larger runs first); nothing when it cannot be read.
  virtual std::optional<int> threadPriority() = 0;
  // Failures are ignored: the measurement only runs less undisturbed.
  virtual void setThreadPriority(int Priority) = 0;
  // The priority a measurement raises its thread to for a moment.
  virtual int timeCriticalPriority() const = 0;
};

// The source in use: the monotonic clock unless replaced.
PerfCounterSource& perfCounters();
// Replaces the source (nullptr puts the monotonic clock back); returns the previous one
// (nullptr when the monotonic clock was in use).
std::unique_ptr<PerfCounterSource> setPerfCounters(std::unique_ptr<PerfCounterSource> Source);

} // namespace kv::platform
