#include "KVProfiling.h"

#include "Platform/PerfCounter/PerfCounter.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/Forms.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace KVProfiling {

using namespace kv::platform;

namespace {

const char* const kInvalidId = "Invalid Profiling ID";
const char* const kNotInitialized = "Profiling ID not initialized";

// One recorded section; the Total/Count/Min/Max fields are the summary's scratch.
class TKVTiming : public TObject {
public:
  std::string ClassName() const override { return "TKVTiming"; }
  TDateTime StartTime = 0;
  int64_t StartTicks = 0;
  int64_t EndTicks = 0;
  int64_t TotalTicks = 0;
  std::string Remark;
  int32_t Count = 0;
  int64_t MinTicks = 0;
  int64_t MaxTicks = 0;
};

// Entry i of each list belongs to id i; a freed id leaves an empty section list.
struct ProfState {
  std::mutex lock;
  std::vector<std::unique_ptr<TStringList>> ids;
  std::vector<std::unique_ptr<TObjectList>> details;
  std::vector<std::unique_ptr<TObjectList>> summaries;

  ~ProfState();
};

// Made on first use; C++ makes that first use safe from several threads at once.
ProfState& state() {
  static ProfState s;
  return s;
}

struct IdLists {
  TStringList& sections;
  TObjectList& details;
  TObjectList& summaries;
};

// The lists of a live id. Looked up under the lock so that another thread opening or
// closing ids cannot move them while they are found.
IdLists checkedId(int32_t Id) {
  ProfState& s = state();
  std::lock_guard guard(s.lock);
  if (Id < 0 || static_cast<size_t>(Id) >= s.ids.size()) throw EKVProfException(kInvalidId);
  const size_t i = static_cast<size_t>(Id);
  if (!s.ids[i]) throw EKVProfException(kNotInitialized);
  return IdLists{*s.ids[i], *s.details[i], *s.summaries[i]};
}

// Ids still open when the library goes are freed from the highest down.
ProfState::~ProfState() {
  while (!ids.empty()) {
    summaries.pop_back();
    details.pop_back();
    ids.pop_back();
  }
}

// A stand-in counter that stops moving would keep a measurement waiting for ever: after
// this many reads without the counter going forward the measurement gives up.
constexpr int kStalledReads = 4000000;

// Reads the performance counter and, right after it, the time-stamp counter until the
// former is at least Counts past Start. False when the counter stalls.
bool waitCounts(PerfCounterSource& src, int64_t Start, int64_t Counts, int64_t& C1, int64_t& T) {
  int64_t highest = std::numeric_limits<int64_t>::min();
  int stalled = 0;
  do {
    C1 = src.counter();
    T = src.timeStamp();
    if (C1 > highest) {
      highest = C1;
      stalled = 0;
    } else if (++stalled > kStalledReads) {
      return false;
    }
  } while (C1 - Start < Counts);
  return true;
}

// The time-stamp counter's rate in MHz, measured against the performance counter; 0 when
// that is missing or gives no usable rate.
int64_t CalibrateCpuClock() {
  PerfCounterSource& src = perfCounters();
  const std::optional<int64_t> frequency = src.frequency();
  if (!frequency || *frequency <= 0) return 0;

  int64_t totalCycles = 0, totalMicroseconds = 0;
  int64_t f[3] = {0, 0, 0}; // the last three estimates, newest last
  auto converged = [&f] {
    const int64_t sum = f[0] + f[1] + f[2];
    for (int64_t fk : f)
      if (3 * fk - sum > 3 || 3 * fk - sum < -3) return false;
    return true;
  };
  for (int rounds = 0; rounds < 3 || (rounds < 20 && !converged()); ++rounds) {
    int64_t c0 = src.counter();
    int64_t c1 = 0, t0 = 0, t1 = 0;
    bool measured = false;
    {
      const std::optional<int> oldPriority = src.threadPriority();
      if (oldPriority) src.setThreadPriority(src.timeCriticalPriority());
      const kv::platform::ScopeExit restore([&] {
        if (oldPriority) src.setThreadPriority(*oldPriority);
      });
      if (waitCounts(src, c0, 50, c1, t0)) {
        c0 = c1;
        measured = waitCounts(src, c0, 1000, c1, t1);
      }
    }
    if (!measured) return 0;
    const int64_t cycles = t1 - t0;
    const int64_t microseconds =
        Round(static_cast<double>(c1 - c0) * 1000000.0 / static_cast<double>(*frequency));
    totalCycles += cycles;
    totalMicroseconds += microseconds;
    f[0] = f[1];
    f[1] = f[2];
    f[2] = microseconds > 0 ? Round(static_cast<double>(cycles) / static_cast<double>(microseconds)) : 0;
  }
  if (totalMicroseconds <= 0) return 0;
  const int64_t mhz = Round(static_cast<double>(totalCycles) / static_cast<double>(totalMicroseconds));
  return mhz > 0 ? mhz : 0;
}

double seconds(int64_t Ticks, int64_t MHz) {
  return MHz > 0 ? static_cast<double>(Ticks) / (static_cast<double>(MHz) * 1000000.0) : 0.0;
}

using SectionEntries = std::vector<std::pair<std::string, TKVTiming*>>;

void BuildSectionList(const SectionEntries& Entries, TObjectList& Result, bool Summary) {
  const int64_t mhz = CalibrateCpuClock();
  Result.Clear();
  for (const auto& [name, timing] : Entries) {
    auto row = std::make_unique<TKVProfSection>();
    row->Name = name;
    row->StartTime = timing->StartTime;
    if (Summary) {
      row->Ticks = timing->TotalTicks;
      row->Count = timing->Count;
      row->MinDuration = seconds(timing->MinTicks, mhz);
      row->MaxDuration = seconds(timing->MaxTicks, mhz);
    } else {
      row->Remark = timing->Remark;
      row->Ticks = timing->EndTicks - timing->StartTicks;
      row->Count = 1;
    }
    row->Duration = seconds(row->Ticks, mhz);
    Result.Add(row.release());
  }
}

SectionEntries entriesOf(const TStringList& Sections) {
  SectionEntries entries;
  entries.reserve(static_cast<size_t>(Sections.Count()));
  for (int i = 0; i < Sections.Count(); ++i)
    entries.emplace_back(Sections.Get(i), static_cast<TKVTiming*>(Sections.GetObject(i)));
  return entries;
}

std::string secondsText(double Value) { return FloatToStrF(Value, ffNumber, 18, 8); }

TListView* addResultView(TForm* Form, const char* Name, int Top, TAlign Align, int TabOrder,
                         std::initializer_list<std::pair<const char*, int>> Columns) {
  auto* view = new TListView(Form);
  view->SetName(Name);
  view->SetParent(Form);
  view->SetBounds(0, Top, 592, 200);
  view->SetAlign(Align);
  view->SetTabOrder(TabOrder);
  view->SetReadOnly(true);
  view->SetRowSelect(true);
  view->SetViewStyle(TViewStyle::vsReport);
  for (const auto& [caption, width] : Columns) {
    TListColumn* column = view->Columns().Add();
    column->SetCaption(caption);
    column->SetWidth(width);
  }
  return view;
}

// One row of the view per section: its name, then the texts Cells gives for it.
void fillResultView(TListView* View, TObjectList* Sections,
                    const std::function<std::vector<std::string>(const TKVProfSection&)>& Cells) {
  View->Items().BeginUpdate();
  View->Items().Clear();
  for (int i = 0; i < Sections->Count(); ++i) {
    const auto& section = *static_cast<TKVProfSection*>(Sections->GetItem(i));
    TListItem* item = View->Items().Add();
    item->SetCaption(section.Name);
    for (const std::string& cell : Cells(section))
      item->SubItems().Add(cell);
  }
  View->Items().EndUpdate();
}

} // namespace

int32_t KVProfInit() {
  ProfState& s = state();
  std::unique_ptr<TStringList> sections;
  try {
    sections = std::make_unique<TStringList>();
    sections->OwnsObjects = true;
  } catch (...) {
    return -1;
  }
  std::lock_guard guard(s.lock);
  s.ids.push_back(std::move(sections));
  s.details.push_back(std::make_unique<TObjectList>(true));
  s.summaries.push_back(std::make_unique<TObjectList>(true));
  return static_cast<int32_t>(s.ids.size() - 1);
}

void KVProfFree(int32_t Id) {
  ProfState& s = state();
  {
    std::lock_guard guard(s.lock);
    if (Id < 0 || static_cast<size_t>(Id) >= s.ids.size()) throw EKVProfException(kInvalidId);
  }
  try {
    KVProfClear(Id);
  } catch (...) {
  }
  std::lock_guard guard(s.lock);
  // A second free of the same id may find it trimmed away by now.
  if (static_cast<size_t>(Id) < s.ids.size()) s.ids[static_cast<size_t>(Id)].reset();
  // Only freed ids at the end are given up, so a number comes back only when every id
  // above it is free as well.
  while (!s.ids.empty() && !s.ids.back()) {
    s.details.pop_back();
    s.summaries.pop_back();
    s.ids.pop_back();
  }
}

void KVProfClear(int32_t Id) {
  IdLists lists = checkedId(Id);
  try {
    lists.details.Clear();
    lists.summaries.Clear();
    for (int i = lists.sections.Count(); i-- > 0;)
      lists.sections.Delete(i); // the list owns its records and frees them
  } catch (...) {
  }
}

void KVProfStartSection(int32_t Id, const std::string& Name, const std::string& Remark) {
  IdLists lists = checkedId(Id);
  auto record = std::make_unique<TKVTiming>();
  TKVTiming* timing = record.get();
  lists.sections.AddObject(Name, timing);
  record.release(); // the list owns it now
  timing->Remark = Remark;
  timing->TotalTicks = 0;
  timing->StartTime = Time();
  // Last of all, so that the filing above is not part of the section.
  timing->StartTicks = perfCounters().timeStamp();
  timing->EndTicks = timing->StartTicks;
}

void KVProfEndSection(int32_t Id, const std::string& Name) {
  // First of all, so that the look-up below is not part of the section.
  const int64_t ticks = perfCounters().timeStamp();
  IdLists lists = checkedId(Id);
  for (int i = lists.sections.Count(); i-- > 0;) {
    if (lists.sections.Get(i) == Name) {
      static_cast<TKVTiming*>(lists.sections.GetObject(i))->EndTicks = ticks;
      return;
    }
  }
}

TObjectList* KVProfGetDetailList(int32_t Id) {
  IdLists lists = checkedId(Id);
  BuildSectionList(entriesOf(lists.sections), lists.details, false);
  return &lists.details;
}

TObjectList* KVProfGetSummaryList(int32_t Id) {
  IdLists lists = checkedId(Id);
  SectionEntries sorted = entriesOf(lists.sections);
  // Names that differ only in case are different sections, so each name's sections must lie
  // together: without regard to case first, then exactly; equal names in starting order.
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    const int c = CompareText(a.first, b.first);
    return c != 0 ? c < 0 : a.first < b.first;
  });

  // From the last to the first: each run of one name ends up in its first member.
  SectionEntries runs;
  int64_t total = 0, minimum = 0, maximum = 0;
  int32_t count = 0;
  for (size_t i = sorted.size(); i-- > 0;) {
    auto& [name, timing] = sorted[i];
    if (runs.empty() || name != runs.back().first) {
      total = 0;
      count = 0;
      minimum = std::numeric_limits<int64_t>::max();
      maximum = 0;
      runs.emplace_back(name, timing);
    } else {
      runs.back().second = timing;
    }
    ++count;
    const int64_t d = timing->EndTicks - timing->StartTicks;
    if (d < minimum) minimum = d;
    if (d > maximum) maximum = d;
    total += d;
    timing->TotalTicks = total;
    timing->Count = count;
    timing->MinTicks = minimum;
    timing->MaxTicks = maximum;
  }
  std::reverse(runs.begin(), runs.end());
  BuildSectionList(runs, lists.summaries, true);
  return &lists.summaries;
}

void KVProfShowResult(int32_t Id, const std::string& Title) {
  TForm* form = TCustomForm::CreateNew<TForm>(nullptr);
  form->SetBounds(0, 0, 600, 400);
  form->SetPosition(TPosition::poDefaultPosOnly);
  form->SetCaption(Title.empty() ? "Profiling results" : Title);
  // Nobody else holds the window, so closing it is the end of it.
  form->OnClose.Bind([](TObject*, TCloseAction& Action) { Action = TCloseAction::caFree; });
  TListView* detailView =
      addResultView(form, "DetailList", 0, TAlign::alClient, 0,
                    {{"Single Section", 200}, {"Duration", 100}, {"Started at", 100}, {"Remarks", 500}});
  TListView* summaryView = addResultView(form, "SummaryList", 240, TAlign::alBottom, 1,
                                         {{"Section Summary", 200},
                                          {"Duration", 75},
                                          {"Count", 75},
                                          {"Average", 75},
                                          {"Minimal", 75},
                                          {"Maximal", 75}});
  form->Show();

  fillResultView(detailView, KVProfGetDetailList(Id), [](const TKVProfSection& s) {
    return std::vector<std::string>{secondsText(s.Duration), TimeToStr(s.StartTime), s.Remark};
  });
  fillResultView(summaryView, KVProfGetSummaryList(Id), [](const TKVProfSection& s) {
    return std::vector<std::string>{secondsText(s.Duration), IntToStr(s.Count),
                                    secondsText(s.Count > 0 ? s.Duration / s.Count : 0.0),
                                    secondsText(s.MinDuration), secondsText(s.MaxDuration)};
  });
}

} // namespace KVProfiling
