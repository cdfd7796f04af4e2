#include "Platform/Rtl/Contnrs.h"

#include <string>
#include <utility>

namespace kv::platform {

TList::~TList() {
  // A derived list that reacts to removals clears itself in its own destructor; what is
  // left here goes without notifications.
  items_.clear();
}

void TList::Error(int Index) { throw EListError("List index out of bounds (" + std::to_string(Index) + ")"); }

int TList::Add(void* Item) {
  items_.push_back(Item);
  if (Item) Notify(Item, TListNotification::lnAdded);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) Error(Index);
  items_.insert(items_.begin() + Index, Item);
  if (Item) Notify(Item, TListNotification::lnAdded);
}

void TList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) Error(Index);
  void* item = items_[std::size_t(Index)];
  items_.erase(items_.begin() + Index);
  if (item) Notify(item, TListNotification::lnDeleted);
}

int TList::Remove(void* Item) {
  const int index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* Item) {
  const int index = IndexOf(Item);
  if (index < 0) return nullptr;
  items_.erase(items_.begin() + index);
  Notify(Item, TListNotification::lnExtracted);
  return Item;
}

void TList::Exchange(int Index1, int Index2) {
  if (Index1 < 0 || Index1 >= Count()) Error(Index1);
  if (Index2 < 0 || Index2 >= Count()) Error(Index2);
  std::swap(items_[std::size_t(Index1)], items_[std::size_t(Index2)]);
}

int TList::IndexOf(void* Item) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == Item) return int(i);
  return -1;
}

void TList::Clear() { SetCount(0); }

void TList::SetCount(int NewCount) {
  if (NewCount < 0) Error(NewCount);
  if (NewCount > Count()) {
    items_.resize(std::size_t(NewCount), nullptr);
    return;
  }
  for (int i = Count() - 1; i >= NewCount; --i)
    Delete(i);
}

void* TList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) Error(Index);
  return items_[std::size_t(Index)];
}

void TList::Put(int Index, void* Item) {
  if (Index < 0 || Index >= Count()) Error(Index);
  void* old = items_[std::size_t(Index)];
  if (old == Item) return;
  items_[std::size_t(Index)] = Item;
  if (old) Notify(old, TListNotification::lnDeleted);
  if (Item) Notify(Item, TListNotification::lnAdded);
}

void TList::Notify(void*, TListNotification) {}

namespace {

// Hoare partitioning about the middle item, recursing into the smaller part so that the
// stack stays shallow whatever the order of the items.
void quickSort(std::vector<void*>& items, std::ptrdiff_t lo, std::ptrdiff_t hi, TListSortCompare compare) {
  while (lo < hi) {
    std::ptrdiff_t i = lo, j = hi;
    void* pivot = items[std::size_t(lo + (hi - lo) / 2)];
    while (i <= j) {
      // The bounds keep a comparison that contradicts itself inside the list.
      while (i < hi && compare(items[std::size_t(i)], pivot) < 0)
        ++i;
      while (j > lo && compare(items[std::size_t(j)], pivot) > 0)
        --j;
      if (i <= j) {
        std::swap(items[std::size_t(i)], items[std::size_t(j)]);
        ++i;
        --j;
      }
    }
    if (j - lo < hi - i) {
      quickSort(items, lo, j, compare);
      lo = i;
    } else {
      quickSort(items, i, hi, compare);
      hi = j;
    }
  }
}

} // namespace

void TList::Sort(TListSortCompare Compare) {
  if (Compare && items_.size() > 1) quickSort(items_, 0, std::ptrdiff_t(items_.size()) - 1, Compare);
}

TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(void* Ptr, TListNotification Action) {
  if (OwnsObjects && Action == TListNotification::lnDeleted) delete static_cast<TObject*>(Ptr);
  TList::Notify(Ptr, Action);
}

} // namespace kv::platform
