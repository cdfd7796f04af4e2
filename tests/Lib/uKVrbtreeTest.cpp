#include "uKVrbtree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <vector>

using namespace uKVrbtree;

namespace {

// Serial numbers of the items alive right now; an item leaves the set when freed.
std::set<int>& aliveItems() {
  static std::set<int> alive;
  return alive;
}

class Item : public TRBTreeData {
public:
  Item(int key, int serial) : key(key), serial(serial) { aliveItems().insert(serial); }
  ~Item() override { EXPECT_EQ(aliveItems().erase(serial), 1u) << "item " << serial << " freed twice"; }
  int32_t Compare(TRBTreeData* Other) override {
    const int other = static_cast<Item*>(Other)->key;
    return key < other ? -1 : key > other ? 1 : 0;
  }
  const int key;
  const int serial;
};

bool alive(int serial) { return aliveItems().count(serial) == 1; }

int keyOf(TRBTreeData* d) { return static_cast<Item*>(d)->key; }
int serialOf(TRBTreeData* d) { return static_cast<Item*>(d)->serial; }

// Checks every structural rule and returns the black height below `node`.
int checkNode(const TRBTree& t, TRBTreeNode* node, TRBTreeNode* parent, int& count) {
  if (node == t.Sentinel) return 1;
  ++count;
  EXPECT_EQ(node->Parent, parent);
  EXPECT_NE(node->Data, nullptr);
  EXPECT_TRUE(node->Color == 0 || node->Color == 1);
  if (node->Color == 1) {
    EXPECT_EQ(node->Left->Color, 0) << "red node with a red left child";
    EXPECT_EQ(node->Right->Color, 0) << "red node with a red right child";
  }
  const int left = checkNode(t, node->Left, node, count);
  const int right = checkNode(t, node->Right, node, count);
  EXPECT_EQ(left, right) << "black heights differ below key " << keyOf(node->Data);
  return left + (node->Color == 0 ? 1 : 0);
}

// In-order (key, serial) pairs read through the node links, not through the cursor.
void inOrder(const TRBTree& t, TRBTreeNode* node, std::vector<std::pair<int, int>>& out) {
  if (node == t.Sentinel) return;
  inOrder(t, node->Left, out);
  out.emplace_back(keyOf(node->Data), serialOf(node->Data));
  inOrder(t, node->Right, out);
}

void checkTree(const TRBTree& t) {
  ASSERT_NE(t.Head, nullptr);
  ASSERT_NE(t.Sentinel, nullptr);
  EXPECT_EQ(t.Head->Parent, t.Head);
  EXPECT_EQ(t.Head->Left, t.Sentinel);
  EXPECT_EQ(t.Head->Color, 0);
  EXPECT_EQ(t.Head->Data, nullptr);
  EXPECT_EQ(t.Sentinel->Color, 0);
  EXPECT_EQ(t.Sentinel->Left, t.Sentinel);
  EXPECT_EQ(t.Sentinel->Right, t.Sentinel);
  EXPECT_EQ(t.Sentinel->Data, nullptr);
  EXPECT_EQ(t.Head->Right->Color, 0) << "root is not black";
  int count = 0;
  checkNode(t, t.Head->Right, t.Head, count);
  EXPECT_EQ(count, t.Count);
}

std::vector<std::pair<int, int>> contents(const TRBTree& t) {
  std::vector<std::pair<int, int>> out;
  inOrder(t, t.Head->Right, out);
  return out;
}

int depthOf(const TRBTree& t, TRBTreeNode* node) {
  int depth = 0;
  for (; node->Parent != t.Head; node = node->Parent)
    ++depth;
  return depth;
}

struct ByKey {
  bool operator()(const std::pair<int, int>& a, const std::pair<int, int>& b) const {
    return a.first < b.first;
  }
};

// Random adds, removes, finds and walks against std::multiset (which keeps equal keys in
// insertion order, as the tree must); every item's lifetime is checked on each step.
void randomRun(bool duplicates, unsigned seed, int steps, int keyRange) {
  std::mt19937 rng(seed);
  TRBTree tree(duplicates);
  std::multiset<std::pair<int, int>, ByKey> model;
  std::vector<std::unique_ptr<Item>> callerOwned; // items the tree must never free
  std::set<int> ownedByTree;
  int serial = 0;
  for (int step = 0; step < steps; ++step) {
    const int key = static_cast<int>(rng() % keyRange);
    const unsigned op = rng() % 10;
    if (op < 5) {
      const bool owns = rng() % 2 == 0;
      auto item = std::make_unique<Item>(key, ++serial);
      const bool expected = duplicates || model.find({key, 0}) == model.end();
      Item* raw = item.get();
      ASSERT_EQ(tree.Add(raw, owns), expected) << "step " << step;
      ASSERT_NE(tree.Cursor, nullptr);
      if (expected) {
        EXPECT_EQ(tree.Cursor->Data, raw);
        model.insert({key, serial});
        if (owns) {
          item.release();
          ownedByTree.insert(serial);
        } else {
          callerOwned.push_back(std::move(item));
        }
      } else {
        EXPECT_EQ(keyOf(tree.Cursor->Data), key); // rests on the stored equal item
        EXPECT_NE(tree.Cursor->Data, raw);
        EXPECT_TRUE(alive(serial));
      }
    } else if (op < 8) {
      Item probe(key, -1 - step);
      auto first = model.lower_bound({key, 0});
      tree.Remove(&probe);
      EXPECT_EQ(tree.Cursor, nullptr);
      if (first != model.end() && first->first == key) {
        const int gone = first->second;
        model.erase(first);
        if (ownedByTree.erase(gone)) {
          EXPECT_FALSE(alive(gone)) << "owned item not freed";
        } else {
          EXPECT_TRUE(alive(gone)) << "caller's item freed";
        }
      }
    } else {
      Item probe(key, -1 - step);
      TRBTreeData* found = tree.Find(&probe);
      auto first = model.lower_bound({key, 0});
      if (first != model.end() && first->first == key) {
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(serialOf(found), first->second);
        EXPECT_EQ(tree.Cursor->Data, found);
        if (!duplicates) {
          EXPECT_EQ(tree.Comparisons, depthOf(tree, tree.Cursor));
        }
      } else {
        EXPECT_EQ(found, nullptr);
        if (tree.Count > 0) {
          EXPECT_EQ(tree.Cursor, nullptr);
          EXPECT_GE(tree.Comparisons, 1);
          EXPECT_LE(tree.Comparisons, 2 * std::log2(tree.Count + 1) + 1);
        }
      }
    }
    checkTree(tree);
    const std::vector<std::pair<int, int>> expected(model.begin(), model.end());
    ASSERT_EQ(contents(tree), expected) << "step " << step;
    if (::testing::Test::HasFailure()) return;
  }
  // A full walk each way through the cursor.
  tree.Find(nullptr);
  std::vector<std::pair<int, int>> walked;
  for (TRBTreeData* d = tree.Next(); d; d = tree.Next())
    walked.emplace_back(keyOf(d), serialOf(d));
  const std::vector<std::pair<int, int>> expected(model.begin(), model.end());
  EXPECT_EQ(walked, expected);
}

} // namespace

TEST(RBTreeRandom, MatchesMultisetWithDuplicates) {
  randomRun(true, 1, 6000, 60);
  randomRun(true, 2, 6000, 2000);
  EXPECT_TRUE(aliveItems().empty()) << "items leaked or kept after the tree went";
}

TEST(RBTreeRandom, MatchesSetWithoutDuplicates) {
  randomRun(false, 3, 6000, 60);
  randomRun(false, 4, 6000, 2000);
  EXPECT_TRUE(aliveItems().empty());
}

TEST(RBTreeRandom, AscendingAndDescendingInsertsStayBalanced) {
  for (bool ascending : {true, false}) {
    TRBTree tree(false);
    for (int i = 0; i < 1024; ++i)
      ASSERT_TRUE(tree.Add(new Item(ascending ? i : 1023 - i, i), true));
    checkTree(tree);
    int maxDepth = 0;
    for (TRBTreeData* d = tree.Next(); d; d = tree.Next())
      maxDepth = std::max(maxDepth, depthOf(tree, tree.Cursor));
    EXPECT_LE(maxDepth, 2 * 10);
  }
  EXPECT_TRUE(aliveItems().empty());
}

TEST(RBTree, EmptyTree) {
  TRBTree tree(true);
  Item probe(1, 1);
  EXPECT_EQ(tree.Find(&probe), nullptr);
  EXPECT_EQ(tree.Next(), nullptr);
  EXPECT_EQ(tree.Prev(), nullptr);
  EXPECT_EQ(tree.tree_first(), nullptr);
  EXPECT_EQ(tree.tree_last(), nullptr);
  EXPECT_EQ(tree.tree_prev(), nullptr);
  EXPECT_EQ(tree.Cursor, nullptr);
  tree.Remove(&probe);
  tree.FreeAll();
  EXPECT_EQ(tree.Count, 0);
  EXPECT_TRUE(alive(1));
  checkTree(tree);
  EXPECT_FALSE(tree.Add(nullptr, true));
  EXPECT_EQ(tree.Count, 0);
}

TEST(RBTree, RefusedDuplicateStaysWithCaller) {
  TRBTree tree(false);
  auto* stored = new Item(5, 10);
  ASSERT_TRUE(tree.Add(stored, true));
  ASSERT_TRUE(tree.Add(new Item(7, 11), true));
  Item offered(5, 12);
  EXPECT_FALSE(tree.Add(&offered, true));
  EXPECT_EQ(tree.Count, 2);
  ASSERT_NE(tree.Cursor, nullptr);
  EXPECT_EQ(tree.Cursor->Data, stored);
  tree.FreeAll();
  EXPECT_TRUE(alive(12));
  EXPECT_FALSE(alive(10));
}

TEST(RBTree, EqualItemsKeepInsertionOrder) {
  TRBTree tree(true);
  auto *a = new Item(3, 1), *b = new Item(3, 2), *c = new Item(3, 3);
  ASSERT_TRUE(tree.Add(new Item(1, 4), true));
  ASSERT_TRUE(tree.Add(a, true));
  ASSERT_TRUE(tree.Add(new Item(9, 5), true));
  ASSERT_TRUE(tree.Add(b, true));
  ASSERT_TRUE(tree.Add(c, true));
  Item probe(3, 99);
  EXPECT_EQ(tree.Find(&probe), a);
  tree.Find(nullptr); // no cursor
  std::vector<int> walk;
  for (TRBTreeData* d = tree.Next(); d; d = tree.Next())
    walk.push_back(serialOf(d));
  EXPECT_EQ(walk, (std::vector<int>{4, 1, 2, 3, 5}));
  for (int expected : {1, 2, 3}) {
    EXPECT_EQ(serialOf(tree.Find(&probe)), expected);
    tree.Remove(&probe);
    EXPECT_FALSE(alive(expected));
    checkTree(tree);
  }
  EXPECT_EQ(tree.Find(&probe), nullptr);
  EXPECT_TRUE(alive(99));
}

TEST(RBTree, WalksBothWaysAndPastTheEnds) {
  TRBTree tree(false);
  std::vector<int> keys{50, 20, 80, 10, 30, 70, 90, 60};
  for (int k : keys)
    tree.Add(new Item(k, k), true);
  std::sort(keys.begin(), keys.end());
  tree.Find(nullptr);
  std::vector<int> up, down;
  for (TRBTreeData* d = tree.Next(); d; d = tree.Next())
    up.push_back(keyOf(d));
  EXPECT_EQ(up, keys);
  EXPECT_EQ(keyOf(tree.Next()), 10) << "after the end Next starts again";
  tree.Find(nullptr);
  for (TRBTreeData* d = tree.Prev(); d; d = tree.Prev())
    down.push_back(keyOf(d));
  EXPECT_EQ(down, std::vector<int>(keys.rbegin(), keys.rend()));
  EXPECT_EQ(tree.Prev(), nullptr) << "before the start Prev stays at the end";
  // tree_prev steps back from the cursor and ends with no cursor.
  tree.Find(nullptr);
  std::vector<int> back;
  for (TRBTreeNode* n = tree.tree_prev(); n; n = tree.tree_prev())
    back.push_back(keyOf(n->Data));
  EXPECT_EQ(back, std::vector<int>(keys.rbegin(), keys.rend()));
  EXPECT_EQ(tree.Cursor, nullptr);
  EXPECT_EQ(keyOf(tree.tree_first()->Data), 10);
  EXPECT_EQ(keyOf(tree.tree_last()->Data), 90);
  EXPECT_EQ(keyOf(tree.Cursor->Data), 90);
}

TEST(RBTree, RemovingRootInnerAndLastNodes) {
  TRBTree tree(false);
  for (int k = 1; k <= 15; ++k)
    tree.Add(new Item(k, k), true);
  while (tree.Count > 0) {
    TRBTreeNode* root = tree.Head->Right;
    Item probe(keyOf(root->Data), 0);
    const int serial = serialOf(root->Data);
    tree.Remove(&probe);
    EXPECT_FALSE(alive(serial));
    EXPECT_EQ(tree.Cursor, nullptr);
    checkTree(tree);
  }
  EXPECT_EQ(tree.Head->Right, tree.Sentinel);
  // A node with two children that is not the root.
  for (int k = 1; k <= 31; ++k)
    tree.Add(new Item(k, k), true);
  TRBTreeNode* inner = tree.Head->Right->Left;
  if (inner->Left == tree.Sentinel || inner->Right == tree.Sentinel) inner = tree.Head->Right->Right;
  ASSERT_NE(inner->Left, tree.Sentinel);
  ASSERT_NE(inner->Right, tree.Sentinel);
  Item probe(keyOf(inner->Data), 0);
  tree.Remove(&probe);
  checkTree(tree);
  EXPECT_EQ(contents(tree).size(), 30u);
}

TEST(RBTree, OwnershipAcrossRemoveFreeAllAndDestroy) {
  std::vector<std::unique_ptr<Item>> mine;
  {
    TRBTree tree(true);
    for (int i = 0; i < 20; ++i) {
      if (i % 2) {
        mine.push_back(std::make_unique<Item>(i, 100 + i));
        tree.Add(mine.back().get(), false);
      } else {
        tree.Add(new Item(i, 100 + i), true);
      }
    }
    Item probe(4, -1), probe2(5, -2);
    tree.Remove(&probe);
    tree.Remove(&probe2);
    EXPECT_FALSE(alive(104));
    EXPECT_TRUE(alive(105));
    tree.FreeAll();
    EXPECT_EQ(tree.Count, 0);
    for (int i = 0; i < 20; ++i)
      EXPECT_EQ(alive(100 + i), i % 2 == 1) << i;
    tree.Add(new Item(1, 200), true);
    tree.Add(mine.front().get(), false);
    // Starting over frees what the tree owned.
    tree.init_tree();
    EXPECT_FALSE(alive(200));
    EXPECT_EQ(tree.Count, 0);
    checkTree(tree);
    tree.Add(new Item(1, 201), true);
    tree.Add(mine.front().get(), false);
  }
  EXPECT_FALSE(alive(201));
  EXPECT_TRUE(alive(101));
  mine.clear();
  EXPECT_TRUE(aliveItems().empty());
}
