#include "Platform/PerfCounter/PerfCounter.h"

#include "Platform/Rtl/ServiceSlot.h"

#include <cerrno>
#include <ctime>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <x86intrin.h>
#endif

namespace kv::platform {

namespace {

int64_t monotonicNanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Thread priorities are nice values the other way round, so nice -20 is the most urgent.
// Raising needs privileges; without them the thread simply keeps its nice value.
class RealCounters : public PerfCounterSource {
public:
  int64_t timeStamp() override {
#if defined(__x86_64__)
    return static_cast<int64_t>(__rdtsc());
#else
    return monotonicNanoseconds();
#endif
  }
  std::optional<int64_t> frequency() override { return 1000000; }
  int64_t counter() override { return monotonicNanoseconds() / 1000; }
  std::optional<int> threadPriority() override {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    if (nice == -1 && errno != 0) return std::nullopt;
    return -nice;
  }
  void setThreadPriority(int Priority) override {
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -Priority);
  }
  int timeCriticalPriority() const override { return 20; }
};

constinit ServiceSlot<PerfCounterSource, RealCounters> slot;

} // namespace

PerfCounterSource& perfCounters() { return slot.get(); }

std::unique_ptr<PerfCounterSource> setPerfCounters(std::unique_ptr<PerfCounterSource> Source) {
  auto previous = slot.replace(std::move(Source));
  if (previous && dynamic_cast<RealCounters*>(previous.get())) previous.reset();
  return previous;
}

} // namespace kv::platform
