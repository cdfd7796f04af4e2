#include "uKVrbtree.h"

#include <utility>

namespace uKVrbtree {

namespace {
constexpr int16_t Red = 1;
constexpr int16_t Black = 0;
} // namespace

TRBTreeData::~TRBTreeData() = default;

TRBTreeNode::TRBTreeNode(TRBTreeData* Data, bool Owns) : Data(Data), Owns(Owns) {}

TRBTreeNode::~TRBTreeNode() {
  if (Owns && Data) delete Data;
}

TRBTree::TRBTree(bool Duplicates) : Duplicates(Duplicates) { init_tree(); }

TRBTree::~TRBTree() {
  FreeAll();
  releaseNodes();
}

void TRBTree::releaseNodes() {
  delete Head;
  delete Sentinel;
  Head = nullptr;
  Sentinel = nullptr;
}

void TRBTree::init_tree() {
  // Starting over on a tree that holds items must not lose them: they go first.
  if (Head) {
    FreeAll();
    releaseNodes();
  }
  Comparisons = 0;
  Sentinel = new TRBTreeNode(nullptr, true);
  Sentinel->Left = Sentinel->Right = Sentinel->Parent = Sentinel;
  Sentinel->Color = Black;
  Head = new TRBTreeNode(nullptr, false);
  Head->Right = Head->Left = Sentinel;
  Head->Parent = Head;
  Head->Color = Black;
  Cursor = nullptr;
  Count = 0;
}

namespace {
// Puts `to` where `from` hangs under `parent` (the head keeps the root on its right).
void replaceChild(TRBTreeNode* parent, TRBTreeNode* from, TRBTreeNode* to) {
  if (parent->Left == from)
    parent->Left = to;
  else
    parent->Right = to;
}

// Every rebalancing step has two mirror images that differ only in which side is which.
TRBTreeNode*& child(TRBTreeNode* node, bool left) { return left ? node->Left : node->Right; }

// Lifts node's child on the other side into node's place; node goes down on the `left` side.
TRBTreeNode* rotate(TRBTreeNode* node, bool left) {
  TRBTreeNode* p = node->Parent;
  TRBTreeNode* y = child(node, !left);
  child(node, !left) = child(y, left);
  child(y, left)->Parent = node;
  child(y, left) = node;
  node->Parent = y;
  replaceChild(p, node, y);
  y->Parent = p;
  return y;
}

// The last node below node going down its `left` side.
TRBTreeNode* outermost(TRBTreeNode* node, const TRBTreeNode* sentinel, bool left) {
  while (child(node, left) != sentinel)
    node = child(node, left);
  return node;
}

// The node after (forward) or before node in order.
TRBTreeNode* inOrderStep(TRBTreeNode* node, const TRBTreeNode* sentinel, bool forward) {
  const bool left = !forward; // the side the next node lies on: the right one going forward
  if (child(node, left) != sentinel) return outermost(child(node, left), sentinel, !left);
  // Past the last item the climb ends on the head, which holds no item; a further Next goes down
  // the head's right side to the first item again.
  TRBTreeNode* p = node->Parent;
  while (p != node && node == child(p, left)) {
    node = p;
    p = p->Parent;
  }
  return p;
}
} // namespace

TRBTreeNode* TRBTree::rotateleft(TRBTreeNode* Node) { return rotate(Node, true); }

TRBTreeNode* TRBTree::rotateright(TRBTreeNode* Node) { return rotate(Node, false); }

TRBTreeNode* TRBTree::split(TRBTreeData* Data, TRBTreeNode* G, TRBTreeNode* P, TRBTreeNode* X) {
  X->Color = Red;
  X->Left->Color = Black;
  X->Right->Color = Black;
  if (P->Color == Red) {
    G->Color = Red;
    const bool lessThanG = Data->Compare(G->Data) < 0;
    const bool lessThanP = Data->Compare(P->Data) < 0;
    if (lessThanG != lessThanP) {
      if (lessThanP)
        rotateright(P);
      else
        rotateleft(P);
    }
    X = lessThanG ? rotateright(G) : rotateleft(G);
    X->Color = Black;
  }
  Head->Right->Color = Black;
  return X;
}

bool TRBTree::Add(TRBTreeData* Data, bool Owns) {
  if (!Data) return false; // nothing to order by
  if (!Duplicates && Find(Data)) return false;
  if (Head->Right == Sentinel) {
    auto* node = new TRBTreeNode(Data, Owns);
    node->Color = Black;
    node->Left = node->Right = Sentinel;
    node->Parent = Head;
    Head->Right = node;
    Cursor = node;
    ++Count;
    return true;
  }
  TRBTreeNode* x = Head;
  TRBTreeNode* p = Head;
  TRBTreeNode* g = Head;
  do {
    g = p;
    p = x;
    x = (x == Head || Data->Compare(x->Data) >= 0) ? x->Right : x->Left;
    if (x->Left->Color == Red && x->Right->Color == Red) x = split(Data, g, p, x);
  } while (x != Sentinel);
  // Compare before the node exists, so that a throwing Compare leaves nothing behind.
  const bool left = Data->Compare(p->Data) < 0;
  auto* node = new TRBTreeNode(Data, Owns);
  node->Color = Black;
  node->Left = node->Right = Sentinel;
  node->Parent = p;
  if (left)
    p->Left = node;
  else
    p->Right = node;
  Cursor = node;
  ++Count;
  split(Data, g, p, node);
  return true;
}

TRBTreeNode* TRBTree::leftmost(TRBTreeNode* node) const { return outermost(node, Sentinel, true); }

TRBTreeNode* TRBTree::rightmost(TRBTreeNode* node) const { return outermost(node, Sentinel, false); }

TRBTreeNode* TRBTree::predecessor(TRBTreeNode* node) const {
  if (node->Left != Sentinel) return rightmost(node->Left);
  TRBTreeNode* p = node->Parent;
  while (p != Head && node == p->Left) {
    node = p;
    p = p->Parent;
  }
  return p == Head ? nullptr : p;
}

TRBTreeData* TRBTree::Find(TRBTreeData* Data) {
  Comparisons = 0;
  if (Head->Right == Sentinel) return nullptr;
  TRBTreeNode* node = Data ? Head->Right : Sentinel;
  while (node != Sentinel) {
    const int32_t c = node->Data->Compare(Data);
    if (c == 0) break;
    ++Comparisons;
    node = c < 0 ? node->Right : node->Left;
  }
  if (node == Sentinel) {
    Cursor = nullptr;
    return nullptr;
  }
  if (Duplicates) {
    // Equal items lie side by side in order: the first of them comes before the match.
    for (TRBTreeNode* before = predecessor(node); before && before->Data->Compare(Data) == 0;
         before = predecessor(node))
      node = before;
  }
  Cursor = node;
  return node->Data;
}

TRBTreeNode* TRBTree::tree_first() {
  Cursor = Head->Right == Sentinel ? nullptr : leftmost(Head->Right);
  return Cursor;
}

TRBTreeNode* TRBTree::tree_last() {
  Cursor = Head->Right == Sentinel ? nullptr : rightmost(Head->Right);
  return Cursor;
}

TRBTreeNode* TRBTree::tree_prev() {
  if (!Cursor) return tree_last();
  Cursor = predecessor(Cursor);
  return Cursor;
}

TRBTreeData* TRBTree::Next() {
  Cursor = Cursor ? inOrderStep(Cursor, Sentinel, true) : tree_first();
  return Cursor ? Cursor->Data : nullptr;
}

TRBTreeData* TRBTree::Prev() {
  Cursor = Cursor ? inOrderStep(Cursor, Sentinel, false) : tree_last();
  return Cursor ? Cursor->Data : nullptr;
}

void TRBTree::Remove(TRBTreeData* Data) {
  if (!Find(Data)) return;
  TRBTreeNode* z = Cursor;
  TRBTreeNode* y;
  TRBTreeNode* x;
  TRBTreeNode* xp;
  if (z->Left == Sentinel) {
    y = z;
    x = z->Right;
  } else if (z->Right == Sentinel) {
    y = z;
    x = z->Left;
  } else {
    y = leftmost(z->Right);
    x = y->Right;
  }
  if (y != z) {
    // The successor y takes z's place, so the order of equal items stays as it was.
    z->Left->Parent = y;
    y->Left = z->Left;
    if (y != z->Right) {
      xp = y->Parent;
      if (x != Sentinel) x->Parent = y->Parent;
      y->Parent->Left = x;
      y->Right = z->Right;
      z->Right->Parent = y;
    } else {
      xp = y;
    }
    replaceChild(z->Parent, z, y);
    y->Parent = z->Parent;
    std::swap(y->Color, z->Color);
  } else {
    xp = z->Parent;
    if (x != Sentinel) x->Parent = z->Parent;
    replaceChild(z->Parent, z, x);
  }
  if (z->Color == Black) {
    while (x != Head->Right && x->Color == Black) {
      // w is x's sibling; `left` says on which side of their parent x hangs.
      const bool left = x == xp->Left;
      TRBTreeNode* w = child(xp, !left);
      if (w == Sentinel) break;
      if (w->Color == Red) {
        w->Color = Black;
        xp->Color = Red;
        rotate(xp, left);
        w = child(xp, !left);
      }
      if (w->Left->Color == Black && w->Right->Color == Black) {
        w->Color = Red;
        x = xp;
        xp = xp->Parent;
      } else {
        if (child(w, !left)->Color == Black) {
          child(w, left)->Color = Black;
          w->Color = Red;
          rotate(w, !left);
          w = child(xp, !left);
        }
        w->Color = xp->Color;
        xp->Color = Black;
        child(w, !left)->Color = Black;
        rotate(xp, left);
        break;
      }
    }
    x->Color = Black;
  }
  delete z;
  --Count;
  Cursor = nullptr;
}

void TRBTree::freeSubtree(TRBTreeNode* node) {
  if (node == Sentinel) return;
  freeSubtree(node->Left);
  freeSubtree(node->Right);
  delete node;
  --Count;
}

void TRBTree::FreeAll() {
  freeSubtree(Head->Right);
  Head->Right = Sentinel;
  Cursor = nullptr;
  Head->Color = Black;
  Sentinel->Color = Black;
}

} // namespace uKVrbtree
