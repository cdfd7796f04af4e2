// An ordered container of objects: a red-black tree with one shared sentinel leaf and a
// head node, top-down insertion, optional duplicate keys, one cursor for walking in
// order, and items owned by the tree only when they were added with ownership.
#pragma once

#include "KVLibExport.h"
#include "Platform/Rtl/Classes.h"

#include <cstdint>

namespace uKVrbtree {

// An item of the tree; derived classes give the order.
class KVLIB_API TRBTreeData : public kv::platform::TObject {
public:
  ~TRBTreeData() override;
  std::string ClassName() const override { return "TRBTreeData"; }
  // Negative when this item orders before Other, 0 when equal, positive when after.
  virtual int32_t Compare(TRBTreeData* Other) = 0;
};

class KVLIB_API TRBTreeNode : public kv::platform::TObject {
public:
  TRBTreeNode(TRBTreeData* Data, bool Owns);
  // Frees Data when the node owns it.
  ~TRBTreeNode() override;
  TRBTreeNode(const TRBTreeNode&) = delete;
  TRBTreeNode& operator=(const TRBTreeNode&) = delete;
  std::string ClassName() const override { return "TRBTreeNode"; }

  int16_t Color = 0; // 1 red, 0 black
  TRBTreeNode* Left = nullptr;
  TRBTreeNode* Right = nullptr;
  TRBTreeNode* Parent = nullptr;
  TRBTreeData* Data = nullptr;
  bool Owns = false;
};

class KVLIB_API TRBTree : public kv::platform::TObject {
public:
  explicit TRBTree(bool Duplicates);
  // Frees every item node (and the items they own), then the head and the sentinel.
  ~TRBTree() override;
  TRBTree(const TRBTree&) = delete;
  TRBTree& operator=(const TRBTree&) = delete;
  std::string ClassName() const override { return "TRBTree"; }

  // Inserts Data, owned by the tree when Owns; false (and Data stays the caller's) when
  // the tree takes no duplicates and holds an equal item, on which the cursor then rests.
  bool Add(TRBTreeData* Data, bool Owns);
  // The stored item equal to the probe Data (the first in order among equal ones), or
  // nullptr; the cursor moves to it.
  TRBTreeData* Find(TRBTreeData* Data);
  // Walks in order from the cursor; from no cursor they start at the first (last) item;
  // nullptr past the end.
  TRBTreeData* Next();
  TRBTreeData* Prev();
  // Deletes the stored item equal to the probe Data (the first in order); the probe itself
  // is never freed.
  void Remove(TRBTreeData* Data);
  void FreeAll();

  void init_tree();
  TRBTreeNode* rotateleft(TRBTreeNode* Node);
  TRBTreeNode* rotateright(TRBTreeNode* Node);
  TRBTreeNode* split(TRBTreeData* Data, TRBTreeNode* G, TRBTreeNode* P, TRBTreeNode* X);
  TRBTreeNode* tree_first();
  TRBTreeNode* tree_last();
  TRBTreeNode* tree_prev();

  TRBTreeNode* Head = nullptr;     // Head->Right is the root
  TRBTreeNode* Sentinel = nullptr; // the one leaf behind every empty child
  TRBTreeNode* Cursor = nullptr;
  bool Duplicates = false;
  int32_t Count = 0;
  int32_t Comparisons = 0; // non-matching nodes passed by the last Find

private:
  KVLIB_LOCAL TRBTreeNode* leftmost(TRBTreeNode* node) const;
  KVLIB_LOCAL TRBTreeNode* rightmost(TRBTreeNode* node) const;
  KVLIB_LOCAL TRBTreeNode* predecessor(TRBTreeNode* node) const;
  KVLIB_LOCAL void freeSubtree(TRBTreeNode* node);
  KVLIB_LOCAL void releaseNodes();
};

} // namespace uKVrbtree
