#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"

#include <gtest/gtest.h>

using namespace kv::platform;

namespace {

struct Counted : TComponent {
  static inline int alive = 0;
  std::vector<std::string>* log = nullptr;
  explicit Counted(TComponent* owner, std::vector<std::string>* l = nullptr) : TComponent(owner), log(l) {
    ++alive;
  }
  ~Counted() override {
    if (log) log->push_back(Name());
    --alive;
  }
};

TEST(ComponentOwnership, OwnerFreesItsComponentsLastFirst) {
  std::vector<std::string> log;
  {
    Counted owner(nullptr);
    auto* a = new Counted(&owner, &log);
    a->SetName("A");
    auto* b = new Counted(&owner, &log);
    b->SetName("B");
    new Counted(b, &log); // grandchild, freed with B
    EXPECT_EQ(owner.ComponentCount(), 2);
    EXPECT_EQ(owner.FindComponent("b"), b);
    EXPECT_EQ(Counted::alive, 4);
  }
  EXPECT_EQ(Counted::alive, 0);
  // A component's own destructor body runs before its owned components go.
  EXPECT_EQ(log, (std::vector<std::string>{"B", "", "A"}));
}

TEST(ComponentOwnership, FreeingAnOwnedComponentFirstRemovesItFromItsOwner) {
  Counted owner(nullptr);
  auto* a = new Counted(&owner);
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(ComponentOwnership, NamesAreIdentifiersUniqueRegardlessOfCase) {
  Counted owner(nullptr);
  auto* a = new Counted(&owner);
  a->SetName("Timer1");
  auto* b = new Counted(&owner);
  EXPECT_THROW(b->SetName("TIMER1"), EComponentError);
  EXPECT_THROW(b->SetName("1Timer"), EComponentError);
  b->SetName("Timer2");
  EXPECT_EQ(b->Name(), "Timer2");
}

struct Watcher : TComponent {
  TComponent* watched = nullptr;
  using TComponent::TComponent;
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == TOperation::opRemove && c == watched) watched = nullptr;
  }
};

TEST(ComponentOwnership, FreeNotificationClearsReferencesAcrossOwners) {
  Watcher w(nullptr);
  {
    Counted other(nullptr);
    w.watched = &other;
    w.FreeNotification(&other);
  }
  EXPECT_EQ(w.watched, nullptr);
}

TEST(Persistent, AssignBetweenUnrelatedClassesNamesBoth) {
  TStringList list;
  Counted c(nullptr);
  try {
    list.Assign(c);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TStringList");
  }
}

TEST(StringList, TextSplitsAtEveryLineEnding) {
  const struct {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},       {"a", {"a"}}, {"a\r\nb\nc\rd", {"a", "b", "c", "d"}}, {"a\n\nb\n", {"a", "", "b"}},
      {"\r\n", {""}},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetText(c.text);
    std::vector<std::string> got;
    for (int i = 0; i < list.Count(); ++i)
      got.push_back(list[i]);
    EXPECT_EQ(got, c.lines) << c.text;
  }
}

TEST(StringList, SortedListKeepsOrderAndHandlesDuplicates) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"delta", "Alpha", "charlie", "bravo", "ALPHA"})
    list.Add(s);
  ASSERT_EQ(list.Count(), 4); // dupIgnore, regardless of case
  EXPECT_EQ(list.Text(), "Alpha\nbravo\ncharlie\ndelta\n");
  EXPECT_EQ(list.IndexOf("CHARLIE"), 2);
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  list.Duplicates = TDuplicates::dupError;
  EXPECT_THROW(list.Add("bravo"), EStringListError);
  list.Duplicates = TDuplicates::dupAccept;
  list.Add("bravo");
  EXPECT_EQ(list.Count(), 5);
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  TStringList list;
  list.SetCommaText("a, \"b c\",\"d\"\"e\",,f");
  ASSERT_EQ(list.Count(), 5);
  EXPECT_EQ(list[1], "b c");
  EXPECT_EQ(list[2], "d\"e");
  EXPECT_EQ(list[3], "");
  EXPECT_EQ(list.CommaText(), "a,\"b c\",\"d\"\"e\",\"\",f");
}

TEST(StringList, ValuesByName) {
  TStringList list;
  list.Add("PATH=/var/db");
  list.Add("TYPE=STANDARD");
  EXPECT_EQ(list.Values("path"), "/var/db");
  list.SetValue("TYPE", "");
  EXPECT_EQ(list.Count(), 1);
  list.SetValue("NEW", "1");
  EXPECT_EQ(list.Text(), "PATH=/var/db\nNEW=1\n");
}

TEST(StringList, ChangeEventsFireOncePerUpdate) {
  TStringList list;
  int changes = 0;
  list.OnChange.Bind([&](TObject*) { ++changes; }, "ListChange");
  list.Add("a");
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.EndUpdate();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(list.OnChange.HandlerName(), "ListChange");
  EXPECT_THROW(list.Get(3), EStringListError);
}

TEST(Sets, RangeAndOperations) {
  enum class E { a, b, c, d };
  const auto r = TSet<E>::Range(E::b, E::d);
  EXPECT_FALSE(r.Contains(E::a));
  EXPECT_TRUE(r.Contains(E::c));
  EXPECT_EQ((r - TSet<E>{E::c}), (TSet<E>{E::b, E::d}));
  EXPECT_EQ((r * TSet<E>{E::a, E::b}), (TSet<E>{E::b}));
}

TEST(MemoryStream, ReadWriteSeek) {
  TMemoryStream s;
  s.WriteBuffer("hello", 5);
  s.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "ello");
  EXPECT_EQ(s.Size(), 5);
  EXPECT_THROW(s.ReadBuffer(buf, 1), EReadError);
}

} // namespace

namespace {

class TItem : public TCollectionItem {
  KV_CLASS_INFO(TItem)
public:
  explicit TItem(TCollection* c) : TCollectionItem(c) {}
  int Value = 0;
  void Assign(const TPersistent& source) override {
    if (auto* o = dynamic_cast<const TItem*>(&source)) {
      Value = o->Value;
      return;
    }
    TCollectionItem::Assign(source);
  }
};
const TClassInfo& TItem::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TItem, TCollectionItem>("TItem").Build();
  return info;
}

TEST(Collection, OwnsItemsKeepsIdsAndReportsUpdatesOnce) {
  TCollection c(TItem::StaticClassInfo());
  int updates = 0;
  c.OnUpdate.Bind([&](TCollection*, TCollectionItem*) { ++updates; });
  auto* a = static_cast<TItem*>(c.Add());
  auto* b = static_cast<TItem*>(c.Add());
  EXPECT_EQ(updates, 2);
  EXPECT_EQ(b->Index(), 1);
  EXPECT_EQ(b->ID(), 1);
  b->SetIndex(0);
  EXPECT_EQ(c.Items(0), b);
  delete a; // freeing an item removes it from its collection
  EXPECT_EQ(c.Count(), 1);
  EXPECT_EQ(c.FindItemID(1), b);
  updates = 0;
  c.BeginUpdate();
  c.Add();
  c.Add();
  c.EndUpdate();
  EXPECT_EQ(updates, 1);
  EXPECT_THROW(c.Items(5), EListError);
  b->Value = 9;
  TCollection copy(TItem::StaticClassInfo());
  copy.Assign(c);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(static_cast<TItem*>(copy.Items(0))->Value, 9);
  EXPECT_EQ(copy.Items(0)->Collection(), &copy);
}

} // namespace
