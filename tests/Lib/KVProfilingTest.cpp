#include "KVProfiling.h"

#include "HeadlessApplication.h"
#include "Platform/PerfCounter/PerfCounter.h"
#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/Forms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#if defined(__x86_64__)
#include <x86intrin.h>
#endif

using namespace kv::platform;
using namespace KVProfiling;

namespace {

// Scripted counters. The performance counter runs in microseconds (frequency 1,000,000) of
// a nanosecond time that every read of it moves on by 10 ns; the time-stamp counter gives
// the scripted values first and then that time at the rate of the current round, so each
// calibration round sees exactly 1000 microseconds and 1000 x rate cycles.
class FakeCounters : public PerfCounterSource {
public:
  int64_t timeStamp() override {
    if (!stamps.empty()) {
      const int64_t v = stamps.front();
      stamps.pop_front();
      return v;
    }
    return ns * rate(rounds) / 1000;
  }
  std::optional<int64_t> frequency() override { return freq; }
  int64_t counter() override {
    if (!stuck) ns += 10;
    return ns / 1000;
  }
  std::optional<int> threadPriority() override {
    ++rounds; // read once at the start of every round
    return priority;
  }
  void setThreadPriority(int Priority) override { prioritySets.push_back(Priority); }
  int timeCriticalPriority() const override { return 99; }

  std::deque<int64_t> stamps;
  std::function<int64_t(int)> rate = [](int) { return int64_t{3000}; };
  std::optional<int64_t> freq = 1000000;
  bool stuck = false;
  std::optional<int> priority = 4;
  std::vector<int> prioritySets;
  int rounds = 0;
  int64_t ns = 0;
};

class ProfilingTest : public ::testing::Test {
protected:
  void SetUp() override {
    auto c = std::make_unique<FakeCounters>();
    counters = c.get();
    previousCounters_ = setPerfCounters(std::move(c));
    previousClock_ = setClock(std::make_unique<VirtualClock>(45000.5, 0)); // noon
    SetFormatSettings(TFormatSettings{});
  }
  void TearDown() override {
    for (int id : opened)
      try {
        KVProfFree(id);
      } catch (const EKVProfException&) {
      }
    setPerfCounters(std::move(previousCounters_));
    setClock(std::move(previousClock_));
  }
  int init() {
    const int id = KVProfInit();
    opened.push_back(id);
    return id;
  }
  // A section without a remark, timed once.
  static void timeOnce(int id, const char* name) {
    KVProfStartSection(id, name, "");
    KVProfEndSection(id, name);
  }
  static TKVProfSection* row(TObjectList* list, int index) {
    return static_cast<TKVProfSection*>(list->GetItem(index));
  }
  static std::string message(const std::function<void()>& f) {
    try {
      f();
    } catch (const EKVProfException& e) {
      return e.Message();
    }
    return "no exception";
  }
  void advanceClock(uint64_t ms) { static_cast<VirtualClock&>(currentClock()).advance(ms); }

  FakeCounters* counters = nullptr;
  std::vector<int> opened;

private:
  std::unique_ptr<PerfCounterSource> previousCounters_;
  std::unique_ptr<Clock> previousClock_;
};

TEST_F(ProfilingTest, DetailRowsFollowTheOrderOfStarting) {
  const int id = init();
  counters->stamps = {100, 150, 400, 1000};
  KVProfStartSection(id, "A", "outer");
  advanceClock(1500);
  KVProfStartSection(id, "B", "inner");
  KVProfEndSection(id, "B");
  KVProfEndSection(id, "A");
  TObjectList* list = KVProfGetDetailList(id);
  ASSERT_EQ(list->Count(), 2);
  struct Want {
    const char* name;
    const char* remark;
    int64_t ticks;
    TDateTime start;
  };
  // At 3000 MHz a cycle is 1 / 3e9 seconds; the clock started at noon.
  const Want want[] = {{"A", "outer", 900, 0.5}, {"B", "inner", 250, 0.5 + 1.5 / 86400}};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(row(list, i)->Name, want[i].name);
    EXPECT_EQ(row(list, i)->Remark, want[i].remark);
    EXPECT_EQ(row(list, i)->Ticks, want[i].ticks);
    EXPECT_DOUBLE_EQ(row(list, i)->Duration, want[i].ticks / 3e9);
    EXPECT_NEAR(row(list, i)->StartTime, want[i].start, 1e-9);
    EXPECT_EQ(row(list, i)->Count, 1);
    EXPECT_EQ(row(list, i)->MinDuration, 0.0);
    EXPECT_EQ(row(list, i)->MaxDuration, 0.0);
  }
  // The same list object comes back, rebuilt.
  EXPECT_EQ(KVProfGetDetailList(id), list);
  EXPECT_EQ(list->Count(), 2);
}

TEST_F(ProfilingTest, EndingFindsTheLastSectionOfExactlyThatName) {
  const int id = init();
  counters->stamps = {10, 20, 25, 50, 80};
  KVProfStartSection(id, "A", "");
  KVProfStartSection(id, "A", "");
  KVProfStartSection(id, "a", "");
  KVProfEndSection(id, "A"); // 50: the second A
  KVProfEndSection(id, "A"); // 80: the second A again
  KVProfEndSection(id, "never started");
  TObjectList* list = KVProfGetDetailList(id);
  ASSERT_EQ(list->Count(), 3);
  EXPECT_EQ(row(list, 0)->Ticks, 0); // never ended
  EXPECT_EQ(row(list, 0)->Duration, 0.0);
  EXPECT_EQ(row(list, 1)->Ticks, 60);
  EXPECT_EQ(row(list, 2)->Name, "a");
  EXPECT_EQ(row(list, 2)->Ticks, 0);
}

TEST_F(ProfilingTest, SummaryGroupsByExactNameInNameOrder) {
  const int id = init();
  // name, start, end: X of 100, 200 and 300 cycles among others; "A" and "a" interleaved.
  struct Section {
    const char* name;
    int64_t start, end;
  };
  const Section sections[] = {{"X", 1000, 1100}, {"A", 0, 40},  {"x", 0, 7},     {"Y", 0, 5},
                              {"a", 0, 9},       {"X", 0, 300}, {"A", 100, 102}, {"X", 50, 250}};
  for (const auto& s : sections) {
    counters->stamps = {s.start, s.end};
    KVProfStartSection(id, s.name, "remark");
    KVProfEndSection(id, s.name);
    advanceClock(1000);
  }
  KVProfStartSection(id, "Y", ""); // never ended: 0 cycles
  counters->stamps.clear();

  TObjectList* list = KVProfGetSummaryList(id);
  struct Want {
    const char* name;
    int count;
    int64_t ticks, min, max;
    int startSecond; // seconds after noon of the first section of the name
  };
  const Want want[] = {{"A", 2, 42, 2, 40, 1},
                       {"a", 1, 9, 9, 9, 4},
                       {"X", 3, 600, 100, 300, 0},
                       {"x", 1, 7, 7, 7, 2},
                       {"Y", 2, 5, 0, 5, 3}};
  ASSERT_EQ(list->Count(), 5);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(want[i].name);
    TKVProfSection* r = row(list, i);
    EXPECT_EQ(r->Name, want[i].name);
    EXPECT_EQ(r->Count, want[i].count);
    EXPECT_EQ(r->Ticks, want[i].ticks);
    EXPECT_DOUBLE_EQ(r->Duration, want[i].ticks / 3e9);
    EXPECT_DOUBLE_EQ(r->MinDuration, want[i].min / 3e9);
    EXPECT_DOUBLE_EQ(r->MaxDuration, want[i].max / 3e9);
    EXPECT_EQ(r->Remark, "");
    EXPECT_NEAR(r->StartTime, 0.5 + want[i].startSecond / 86400.0, 1e-9);
  }
  // The detail list is untouched by the summary.
  EXPECT_EQ(KVProfGetDetailList(id)->Count(), 9);
}

TEST_F(ProfilingTest, ClockRateIsMeasuredUntilThreeRoundsAgree) {
  struct Case {
    const char* what;
    std::vector<int64_t> rates; // of rounds 1, 2, ...
    bool cyclic;                // the rates repeat; otherwise the last one stays
    int rounds;
    int64_t mhz;
  };
  const Case cases[] = {
      {"steady", {3000}, false, 3, 3000},
      // 3000, 3001, 3002: mean 3001, every estimate within 1 MHz of it.
      {"within one MHz", {3000, 3001, 3002}, false, 3, 3001},
      // 3000, 3000, 3002 is not; ... 3002, 3002, 3002 after five rounds:
      // (2 x 3000 + 3 x 3002) x 1000 cycles / 5000 us = 3001.2.
      {"settling", {3000, 3000, 3002}, false, 5, 3001},
      // Never settles: twenty rounds, ten of each, 3005 on average.
      {"alternating", {3000, 3010}, true, 20, 3005},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    counters->rounds = 0;
    counters->prioritySets.clear();
    counters->rate = [rates = c.rates, cyclic = c.cyclic](int round) {
      const size_t k = static_cast<size_t>(round - 1);
      return cyclic ? rates[k % rates.size()] : rates[std::min(k, rates.size() - 1)];
    };
    const int id = init();
    counters->stamps = {0, 6000000};
    timeOnce(id, "S");
    TObjectList* list = KVProfGetDetailList(id);
    EXPECT_EQ(counters->rounds, c.rounds);
    EXPECT_DOUBLE_EQ(row(list, 0)->Duration, 6e6 / (static_cast<double>(c.mhz) * 1e6));
    // Each round runs time-critical and gives the old priority back.
    ASSERT_EQ(counters->prioritySets.size(), static_cast<size_t>(2 * c.rounds));
    EXPECT_EQ(counters->prioritySets[0], 99);
    EXPECT_EQ(counters->prioritySets[1], 4);
    KVProfFree(id);
  }
}

TEST_F(ProfilingTest, WithoutAUsableRateDurationsAreZeroAndCountsStay) {
  struct Case {
    const char* what;
    std::function<void(FakeCounters&)> breakIt;
    bool rateUsable;
    bool priorityTouched;
  };
  const Case cases[] = {
      {"no performance counter", [](FakeCounters& f) { f.freq = std::nullopt; }, false, false},
      {"zero frequency", [](FakeCounters& f) { f.freq = 0; }, false, false},
      {"counter that never moves", [](FakeCounters& f) { f.stuck = true; }, false, true},
      {"time-stamp counter running backwards",
       [](FakeCounters& f) { f.rate = [](int) { return int64_t{-5}; }; }, false, true},
      {"priority that cannot be read", [](FakeCounters& f) { f.priority = std::nullopt; }, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    *counters = FakeCounters();
    c.breakIt(*counters);
    const int id = init();
    counters->stamps = {0, 300, 1000, 1100};
    timeOnce(id, "S");
    timeOnce(id, "S");
    TObjectList* summary = KVProfGetSummaryList(id);
    ASSERT_EQ(summary->Count(), 1);
    EXPECT_EQ(row(summary, 0)->Ticks, 400);
    EXPECT_EQ(!counters->prioritySets.empty(), c.priorityTouched);
    // The priority goes back even when a round gives up.
    EXPECT_EQ(counters->prioritySets.size() % 2, 0u);
    if (c.rateUsable) {
      EXPECT_DOUBLE_EQ(row(summary, 0)->Duration, 400 / 3e9);
    } else {
      EXPECT_EQ(row(summary, 0)->Duration, 0.0);
      EXPECT_EQ(row(summary, 0)->MinDuration, 0.0);
      EXPECT_EQ(row(summary, 0)->MaxDuration, 0.0);
      EXPECT_EQ(KVProfGetDetailList(id)->Count(), 2);
      EXPECT_EQ(row(KVProfGetDetailList(id), 1)->Ticks, 100);
    }
    KVProfFree(id);
  }
}

TEST_F(ProfilingTest, IdsAreReusedOnlyFromTheTop) {
  // With no id open, every routine but KVProfInit finds none.
  const std::function<void(int)> routines[] = {
      [](int id) { KVProfFree(id); },
      [](int id) { KVProfClear(id); },
      [](int id) { KVProfStartSection(id, "A", ""); },
      [](int id) { KVProfEndSection(id, "A"); },
      [](int id) { KVProfGetDetailList(id); },
      [](int id) { KVProfGetSummaryList(id); },
  };
  for (const auto& r : routines) {
    EXPECT_EQ(message([&] { r(0); }), "Invalid Profiling ID");
    EXPECT_EQ(message([&] { r(-1); }), "Invalid Profiling ID");
  }

  EXPECT_EQ(init(), 0);
  EXPECT_EQ(init(), 1);
  KVProfFree(1);
  EXPECT_EQ(init(), 1);
  KVProfFree(0); // 1 still open: 0 stays a closed id
  EXPECT_EQ(init(), 2);
  for (const auto& r : routines) {
    EXPECT_EQ(message([&] { r(3); }), "Invalid Profiling ID");
  }
  for (size_t k = 1; k < std::size(routines); ++k)
    EXPECT_EQ(message([&] { routines[k](0); }), "Profiling ID not initialized");
  EXPECT_EQ(message([] { KVProfFree(0); }), "no exception"); // closed below a live id: nothing
  KVProfFree(2);
  KVProfFree(1); // now 0, 1 and 2 are all given up
  EXPECT_EQ(message([] { KVProfFree(1); }), "Invalid Profiling ID");
  EXPECT_EQ(message([] { KVProfFree(0); }), "Invalid Profiling ID");
  opened.clear();
  EXPECT_EQ(init(), 0);
}

TEST_F(ProfilingTest, ClearForgetsSectionsAndRows) {
  const int id = init();
  const int other = init();
  counters->stamps = {0, 10, 0, 20};
  timeOnce(id, "A");
  timeOnce(other, "B");
  TObjectList* details = KVProfGetDetailList(id);
  TObjectList* summary = KVProfGetSummaryList(id);
  KVProfClear(id);
  EXPECT_EQ(details->Count(), 0);
  EXPECT_EQ(summary->Count(), 0);
  EXPECT_EQ(KVProfGetDetailList(id)->Count(), 0);
  EXPECT_EQ(KVProfGetDetailList(other)->Count(), 1); // other ids keep theirs
  counters->stamps = {5, 6};
  timeOnce(id, "A");
  EXPECT_EQ(row(KVProfGetDetailList(id), 0)->Ticks, 1);
}

// ---- the result window

class ResultWindowTest : public ProfilingTest {
protected:
  void SetUp() override {
    ProfilingTest::SetUp();
    kvtest::startHeadlessApplication();
  }
  void TearDown() override {
    ResetApplication();
    ProfilingTest::TearDown();
  }
  static std::vector<std::string> rowTexts(TListView* view) {
    std::vector<std::string> rows;
    for (int i = 0; i < view->Items().Count(); ++i) {
      TListItem* item = view->Items()[i];
      std::string text = item->Caption();
      for (int k = 0; k < item->SubItems().Count(); ++k)
        text += " | " + item->SubItems()[k];
      rows.push_back(text);
    }
    return rows;
  }
  static std::vector<std::string> columns(TListView* view) {
    std::vector<std::string> out;
    for (int i = 0; i < view->Columns().Count(); ++i)
      out.push_back(view->Column(i)->Caption() + " " + std::to_string(view->Column(i)->Width()));
    return out;
  }
  static TForm* lastForm() {
    return Screen().FormCount() ? dynamic_cast<TForm*>(Screen().Forms(Screen().FormCount() - 1)) : nullptr;
  }
};

TEST_F(ResultWindowTest, ShowsBothListsWithFormattedNumbers) {
  const int id = init();
  // 3e12 cycles at 3000 MHz are 1000 seconds.
  struct Section {
    const char* name;
    const char* remark;
    int64_t start, end;
  };
  const Section sections[] = {
      {"Load", "first file", 0, 3000000000000}, {"X", "", 0, 100}, {"X", "", 0, 200}, {"X", "third", 0, 300}};
  for (const auto& s : sections) {
    counters->stamps = {s.start, s.end};
    KVProfStartSection(id, s.name, s.remark);
    KVProfEndSection(id, s.name);
    advanceClock(61000);
  }
  const int formsBefore = Screen().FormCount();
  KVProfShowResult(id, "");
  ASSERT_EQ(Screen().FormCount(), formsBefore + 1);
  TForm* form = lastForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Caption(), "Profiling results");
  EXPECT_EQ(form->Owner(), nullptr);
  EXPECT_TRUE(form->Visible());
  EXPECT_FALSE(form->Modal());
  EXPECT_EQ(form->Position(), TPosition::poDefaultPosOnly);
  EXPECT_EQ(form->Width(), 600);
  EXPECT_EQ(form->Height(), 400);

  auto* detail = dynamic_cast<TListView*>(form->FindComponent("DetailList"));
  auto* summary = dynamic_cast<TListView*>(form->FindComponent("SummaryList"));
  ASSERT_NE(detail, nullptr);
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(detail->Parent(), form);
  EXPECT_EQ(detail->Align(), TAlign::alClient);
  EXPECT_EQ(summary->Align(), TAlign::alBottom);
  EXPECT_EQ(detail->TabOrder(), 0);
  EXPECT_EQ(summary->TabOrder(), 1);
  for (TListView* v : {detail, summary}) {
    EXPECT_TRUE(v->ReadOnly());
    EXPECT_TRUE(v->RowSelect());
    EXPECT_EQ(v->ViewStyle(), TViewStyle::vsReport);
  }
  EXPECT_EQ(columns(detail), (std::vector<std::string>{"Single Section 200", "Duration 100", "Started at 100",
                                                       "Remarks 500"}));
  EXPECT_EQ(columns(summary), (std::vector<std::string>{"Section Summary 200", "Duration 75", "Count 75",
                                                        "Average 75", "Minimal 75", "Maximal 75"}));
  // 100 cycles are 3.33e-8 s, 600 are 2e-7 s; their third 6.67e-8 s.
  EXPECT_EQ(rowTexts(detail), (std::vector<std::string>{
                                  "Load | 1,000.00000000 | 12:00:00 | first file",
                                  "X | 0.00000003 | 12:01:01 | ",
                                  "X | 0.00000007 | 12:02:02 | ",
                                  "X | 0.00000010 | 12:03:03 | third",
                              }));
  EXPECT_EQ(rowTexts(summary),
            (std::vector<std::string>{
                "Load | 1,000.00000000 | 1 | 1,000.00000000 | 1,000.00000000 | 1,000.00000000",
                "X | 0.00000020 | 3 | 0.00000007 | 0.00000003 | 0.00000010",
            }));

  // The window keeps its texts after the id is gone, and goes when it is closed.
  KVProfFree(id);
  EXPECT_EQ(detail->Items().Count(), 4);
  form->Close();
  Application().ProcessMessages();
  EXPECT_EQ(Screen().FormCount(), formsBefore);
}

TEST_F(ResultWindowTest, TitleAndLocaleAndABadId) {
  TFormatSettings german;
  german.DecimalSeparator = ',';
  german.ThousandSeparator = '.';
  german.LongTimeFormat = "hh.nn.ss";
  SetFormatSettings(german);
  const int id = init();
  counters->stamps = {0, 4500000000000};
  timeOnce(id, "Lauf");
  KVProfShowResult(id, "Messung");
  TForm* form = lastForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Caption(), "Messung");
  auto* detail = dynamic_cast<TListView*>(form->FindComponent("DetailList"));
  EXPECT_EQ(rowTexts(detail), std::vector<std::string>{"Lauf | 1.500,00000000 | 12.00.00 | "});

  // A bad id raises after the window is shown; that window stays, empty.
  const int formsBefore = Screen().FormCount();
  EXPECT_EQ(message([] { KVProfShowResult(77, "leer"); }), "Invalid Profiling ID");
  ASSERT_EQ(Screen().FormCount(), formsBefore + 1);
  TForm* empty = lastForm();
  EXPECT_EQ(empty->Caption(), "leer");
  EXPECT_TRUE(empty->Visible());
  EXPECT_EQ(dynamic_cast<TListView*>(empty->FindComponent("DetailList"))->Items().Count(), 0);
  EXPECT_EQ(dynamic_cast<TListView*>(empty->FindComponent("SummaryList"))->Items().Count(), 0);
  empty->Close();
  form->Close();
  Application().ProcessMessages();
  EXPECT_EQ(Screen().FormCount(), formsBefore - 1);
}

// The real counters: Ticks are the processor's cycles (nanoseconds where no time-stamp counter
// is read), and seconds are cycles at the rate the test measures itself against the monotonic
// clock.
TEST(ProfilingRealCounters, TicksAreCyclesAndSecondsFollowTheirRate) {
  auto previous = setPerfCounters(nullptr);
  auto stamp = [] {
#if defined(__x86_64__)
    return static_cast<int64_t>(__rdtsc());
#else
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
  };
  const auto t0 = std::chrono::steady_clock::now();
  const int64_t s0 = stamp();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int64_t s1 = stamp();
  const double perSecond = static_cast<double>(s1 - s0) /
                           std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  const int id = KVProfInit();
  const int64_t before = stamp();
  KVProfStartSection(id, "sleep", "");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  KVProfEndSection(id, "sleep");
  const int64_t after = stamp();
  TKVProfSection* r = static_cast<TKVProfSection*>(KVProfGetDetailList(id)->GetItem(0));
  EXPECT_LE(r->Ticks, after - before);
  EXPECT_GE(static_cast<double>(r->Ticks), 0.02 * perSecond * 0.99);
  EXPECT_NEAR(r->Duration, static_cast<double>(r->Ticks) / perSecond,
              static_cast<double>(r->Ticks) / perSecond * 0.01);
  KVProfFree(id);
  setPerfCounters(std::move(previous));
}

} // namespace
