#include "Platform/PerfCounter/PerfCounter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

using namespace kv::platform;

namespace {

class Fixed : public PerfCounterSource {
public:
  int64_t timeStamp() override { return 42; }
  std::optional<int64_t> frequency() override { return std::nullopt; }
  int64_t counter() override { return 7; }
  std::optional<int> threadPriority() override { return std::nullopt; }
  void setThreadPriority(int) override {}
  int timeCriticalPriority() const override { return 1; }
};

TEST(PerfCounter, BothCountersRunOnOneMonotonicClock) {
  PerfCounterSource& real = perfCounters();
  ASSERT_EQ(real.frequency(), std::optional<int64_t>(1000000));
  const int64_t t0 = real.timeStamp();
  const int64_t c0 = real.counter();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const int64_t c1 = real.counter();
  const int64_t t1 = real.timeStamp();
  // The counter is the time-stamp counter's nanoseconds in microseconds.
  EXPECT_GE(c0, t0 / 1000);
  EXPECT_LE(c1, t1 / 1000);
  EXPECT_GE(c1 - c0, 5000);
  EXPECT_GE(t1 - t0, 5000000);
  EXPECT_GT(real.timeCriticalPriority(), 0);
}

TEST(PerfCounter, ASourceCanBePutInPlaceAndTakenBack) {
  auto previous = setPerfCounters(std::make_unique<Fixed>());
  EXPECT_EQ(previous, nullptr); // the monotonic clock was in use
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
