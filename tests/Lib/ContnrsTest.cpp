// The class library's lists that the chart units keep their graphs and samples in.
#include "Platform/Rtl/Contnrs.h"

#include <gtest/gtest.h>

using namespace kv::platform;

namespace {

int freed = 0;
struct Counted : TObject {
  explicit Counted(int v) : value(v) {}
  ~Counted() override { ++freed; }
  int value;
};

int byValue(void* a, void* b) { return static_cast<Counted*>(a)->value - static_cast<Counted*>(b)->value; }

} // namespace

TEST(ObjectList, OwnedObjectsGoWithDeleteClearPutAndTheListButNotWithExtract) {
  freed = 0;
  auto* kept = new Counted(2);
  {
    TObjectList list;
    list.Add(new Counted(1));
    list.Add(kept);
    list.Add(new Counted(3));
    list.Delete(0);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(list.Extract(kept), kept);
    EXPECT_EQ(freed, 1);
    list.SetItem(0, new Counted(4)); // replaces and frees 3
    EXPECT_EQ(freed, 2);
    list.Add(new Counted(5));
  }
  EXPECT_EQ(freed, 4);
  delete kept;

  freed = 0;
  Counted stays(7);
  {
    TObjectList borrowed(false);
    borrowed.Add(&stays);
    borrowed.Clear();
  }
  EXPECT_EQ(freed, 0);
}

TEST(ObjectList, IndexesOutsideTheListRaiseTheListError) {
  TObjectList list;
  list.Add(new Counted(1));
  try {
    list.Get(1);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (1)");
  }
  EXPECT_THROW(list.Get(-1), EListError);
  EXPECT_THROW(list.Delete(1), EListError);
  EXPECT_THROW(list.Insert(2, nullptr), EListError);
  EXPECT_EQ(list.Remove(nullptr), -1);
}

TEST(ObjectList, SortOrdersByTheComparison) {
  TObjectList list;
  const int values[] = {5, 3, 9, 1, 5, 7, 2, 8, 0, 6, 4};
  for (int v : values)
    list.Add(new Counted(v));
  list.Sort(byValue);
  const int sorted[] = {0, 1, 2, 3, 4, 5, 5, 6, 7, 8, 9};
  for (int i = 0; i < list.Count(); ++i)
    EXPECT_EQ(static_cast<Counted*>(list.GetItem(i))->value, sorted[i]) << i;
  TObjectList big; // already sorted and reversed runs sort without deep recursion
  for (int i = 100000; i > 0; --i)
    big.Add(new Counted(i % 1000));
  big.Sort(byValue);
  for (int i = 1; i < big.Count(); ++i)
    ASSERT_LE(static_cast<Counted*>(big.GetItem(i - 1))->value, static_cast<Counted*>(big.GetItem(i))->value);
}
