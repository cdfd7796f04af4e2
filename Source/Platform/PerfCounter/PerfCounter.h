// The counters that code timing reads: the processor's time-stamp counter, a performance
// counter with its frequency to measure the time-stamp counter's rate against, and the calling
// thread's scheduling priority.
//
// On x86-64 the time-stamp counter is the processor's own (rdtsc), counting cycles; elsewhere
// the monotonic clock's nanoseconds stand in for it. The performance counter is the monotonic
// clock in microseconds (frequency 1,000,000), so a rate measured from the two is the
// processor's clock rate in MHz (1000 where nanoseconds stand in). Tests put a scripted source
// in place of the real one.
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

// The source in use: the real counters unless replaced.
PerfCounterSource& perfCounters();
// Replaces the source (nullptr puts the real counters back); returns the previous one
// (nullptr when the real counters were in use).
std::unique_ptr<PerfCounterSource> setPerfCounters(std::unique_ptr<PerfCounterSource> Source);

} // namespace kv::platform
