#include "Platform/PerfCounter/PerfCounter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <unistd.h>
#if defined(__x86_64__)
#include <x86intrin.h>
#endif

using namespace kv::platform;

namespace {

int64_t processorTimeStamp() {
#if defined(__x86_64__)
  return static_cast<int64_t>(__rdtsc());
#else
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
#endif
}

int64_t monotonicMicroseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

class Fixed : public PerfCounterSource {
public:
  int64_t timeStamp() override { return 42; }
  std::optional<int64_t> frequency() override { return std::nullopt; }
  int64_t counter() override { return 7; }
  std::optional<int> threadPriority() override { return std::nullopt; }
  void setThreadPriority(int) override {}
  int timeCriticalPriority() const override { return 1; }
};

// The processor's own counter where there is one (read here with the same instruction around
// the layer's reading), else the monotonic clock's nanoseconds; the performance counter is the
// monotonic clock's microseconds.
TEST(PerfCounter, TheTimeStampIsTheProcessorsAndTheCounterTheMonotonicClock) {
  PerfCounterSource& real = perfCounters();
  ASSERT_EQ(real.frequency(), std::optional<int64_t>(1000000));
  int bracketed = 0;
  for (int i = 0; i < 5; ++i) {
    const int64_t before = processorTimeStamp();
    const int64_t t = real.timeStamp();
    const int64_t after = processorTimeStamp();
    if (before <= t && t <= after) ++bracketed;
  }
  EXPECT_GE(bracketed, 4) << "a move to another processor may spoil one reading";
  const int64_t c0 = real.counter();
  const int64_t m0 = monotonicMicroseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const int64_t m1 = monotonicMicroseconds();
  const int64_t c1 = real.counter();
  EXPECT_LE(c0, m0);
  EXPECT_GE(c1, m1);
  EXPECT_GE(c1 - c0, 5000);
  EXPECT_GT(real.timeCriticalPriority(), 0);
}

TEST(PerfCounter, ASourceCanBePutInPlaceAndTakenBack) {
  auto previous = setPerfCounters(std::make_unique<Fixed>());
  EXPECT_EQ(previous, nullptr); // the real counters were in use
  EXPECT_EQ(perfCounters().timeStamp(), 42);
  auto fixed = setPerfCounters(nullptr);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->counter(), 7);
  EXPECT_EQ(perfCounters().frequency(), std::optional<int64_t>(1000000));
}

TEST(PerfCounter, ThePriorityReadIsThePriorityPutBack) {
  PerfCounterSource& real = perfCounters();
  const auto before = real.threadPriority();
  ASSERT_TRUE(before.has_value());
  real.setThreadPriority(*before - 1); // lowering needs no privileges
  EXPECT_EQ(real.threadPriority(), *before - 1);
  real.setThreadPriority(*before); // back up: may need them, as root it works
  if (geteuid() == 0) {
    EXPECT_EQ(real.threadPriority(), before);
  }
}

} // namespace
