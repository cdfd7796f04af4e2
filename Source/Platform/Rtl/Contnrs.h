// The class library's pointer list and its owning object list: items stay in the order
// they were added, an index outside the list raises EListError, and the object list frees
// the objects it removes while it owns them.
#pragma once

#include "Platform/Rtl/Classes.h"

#include <cstdint>
#include <vector>

namespace kv::platform {

enum class TListNotification { lnAdded, lnExtracted, lnDeleted };

// Negative when Item1 orders before Item2, 0 when equal, positive when after.
using TListSortCompare = int (*)(void* Item1, void* Item2);

class TList : public TObject {
public:
  TList() = default;
  ~TList() override;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  std::string ClassName() const override { return "TList"; }

  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Removes the first occurrence; its index, or -1.
  int Remove(void* Item);
  // Takes the first occurrence out of the list without freeing it; Item, or nullptr.
  void* Extract(void* Item);
  void Exchange(int Index1, int Index2);
  int IndexOf(void* Item) const;
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }
  // Removes every item, last first.
  virtual void Clear();
  // Quicksort by Compare; the order of equal items is not defined.
  void Sort(TListSortCompare Compare);

  int Count() const { return static_cast<int>(items_.size()); }
  // A larger count appends nil items, a smaller one deletes from the end.
  void SetCount(int NewCount);
  void* Get(int Index) const;
  void Put(int Index, void* Item);

protected:
  virtual void Notify(void* Ptr, TListNotification Action);
  [[noreturn]] static void Error(int Index);

private:
  std::vector<void*> items_;
};

class TObjectList : public TList {
public:
  explicit TObjectList(bool AOwnsObjects = true) : OwnsObjects(AOwnsObjects) {}
  ~TObjectList() override;
  std::string ClassName() const override { return "TObjectList"; }

  int Add(TObject* AObject) { return TList::Add(AObject); }
  void Insert(int Index, TObject* AObject) { TList::Insert(Index, AObject); }
  int Remove(TObject* AObject) { return TList::Remove(AObject); }
  TObject* Extract(TObject* AObject) { return static_cast<TObject*>(TList::Extract(AObject)); }
  int IndexOf(TObject* AObject) const { return TList::IndexOf(AObject); }
  TObject* GetItem(int Index) const { return static_cast<TObject*>(Get(Index)); }
  void SetItem(int Index, TObject* AObject) { Put(Index, AObject); }

  bool OwnsObjects = true;

protected:
  void Notify(void* Ptr, TListNotification Action) override;
};

} // namespace kv::platform
