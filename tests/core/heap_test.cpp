#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "core/heap.h"
#include "support/fatal.h"

// The heap's own bookkeeping, checked from the outside: positions and
// elements agree, states match membership, and no parent is dearer than
// its child.
static void ExpectConsistent(const Heap &H) {
  for (int i = 0; i <= H.last; i++) {
    int p = H.pixel[i];
    ASSERT_GE(p, 0);
    EXPECT_EQ(H.pos[p], i);
    EXPECT_EQ(H.color[p], GRAY);
    if (i > 0) {
      EXPECT_LE(H.cost[H.pixel[dad(i)]], H.cost[p]);
    }
  }
  int queued = 0;
  for (int p = 0; p < H.n; p++) {
    if (H.pos[p] != -1) queued++;
    EXPECT_EQ(H.pos[p] != -1, H.color[p] == GRAY);
  }
  EXPECT_EQ(queued, H.last + 1);
}

TEST(Heap, CheapestFirst) {
  std::vector<int> cost{5, 3, 3, 1};
  auto H = CreateHeap(4, &cost);
  for (int p = 0; p < 4; p++) EXPECT_EQ(InsertHeap(H.get(), p), 1);
  std::vector<int> order;
  int p;
  while (RemoveHeap(H.get(), &p)) {
    order.push_back(p);
    EXPECT_EQ(H->color[p], BLACK);
    EXPECT_EQ(H->pos[p], -1);
    ExpectConsistent(*H);
  }
  ASSERT_EQ(order.size(), 4u);
  EXPECT_EQ(order[0], 3);
  EXPECT_EQ(std::min(order[1], order[2]), 1);
  EXPECT_EQ(std::max(order[1], order[2]), 2);
  EXPECT_EQ(order[3], 0);
}

TEST(Heap, EqualCostsNeverSwap) {
  // No swaps on insertion keeps 0 1 2 3; each removal moves the last
  // element to the root, where equal children leave it: 0, 3, 2, 1.
  std::vector<int> cost(4, 7);
  auto H = CreateHeap(4, &cost);
  for (int p = 0; p < 4; p++) InsertHeap(H.get(), p);
  EXPECT_EQ(H->pixel, (std::vector<int>{0, 1, 2, 3}));
  std::vector<int> order;
  int p;
  while (RemoveHeap(H.get(), &p)) order.push_back(p);
  EXPECT_EQ(order, (std::vector<int>{0, 3, 2, 1}));
}

TEST(Heap, LastElementSitsAtTheRoot) {
  std::vector<int> cost{4, 2, 9};
  auto H = CreateHeap(3, &cost);
  for (int p = 0; p < 3; p++) InsertHeap(H.get(), p);
  int p;
  RemoveHeap(H.get(), &p);
  RemoveHeap(H.get(), &p);
  EXPECT_EQ(H->pos[2], 0);
  EXPECT_EQ(H->last, 0);
  GoUp(H.get(), H->pos[2]);
  GoDown(H.get(), H->pos[2]);
  ExpectConsistent(*H);
  ASSERT_EQ(RemoveHeap(H.get(), &p), 1);
  EXPECT_EQ(p, 2);
  EXPECT_EQ(H->pos[2], -1);  // not reset to 0 by moving itself to the root
  EXPECT_EQ(H->pixel[0], -1);
}

TEST(Heap, EmptyFullAndMisuse) {
  std::vector<int> cost{1, 2, 3};
  auto H = CreateHeap(2, &cost);
  int p = 42;
  EXPECT_EQ(HeapIsEmpty(H.get()), 1);
  EXPECT_EQ(RemoveHeap(H.get(), &p), 0);
  EXPECT_EQ(p, 42);
  EXPECT_EQ(FatalText([&] { InsertHeap(H.get(), 2); }), "Error:Element 2 out of range in InsertHeap");
  InsertHeap(H.get(), 1);
  EXPECT_EQ(HeapIsEmpty(H.get()), 0);
  EXPECT_EQ(FatalText([&] { InsertHeap(H.get(), 1); }),
            "Error:Element 1 is already in the heap in InsertHeap");
  InsertHeap(H.get(), 0);
  EXPECT_EQ(InsertHeap(H.get(), 0), 0);  // full
  ExpectConsistent(*H);
  EXPECT_EQ(FatalText([&] { GoUp(H.get(), -1); }), "Error:Heap position -1 is not in use in GoUp");
  EXPECT_EQ(FatalText([&] { GoDown(H.get(), 2); }), "Error:Heap position 2 is not in use in GoDown");

  // A removed element may come back.
  RemoveHeap(H.get(), &p);
  EXPECT_EQ(p, 0);
  EXPECT_EQ(InsertHeap(H.get(), 0), 1);
  ExpectConsistent(*H);
}

TEST(Heap, CreationWithoutACostMap) {
  testing::internal::CaptureStdout();
  auto H = CreateHeap(5, static_cast<int *>(nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot create heap without cost map\n");
  EXPECT_EQ(H, nullptr);
  std::vector<int> small(3);
  EXPECT_EQ(FatalText([&] { CreateHeap(4, &small); }),
            "Error:The cost map holds 3 entries, not 4 in CreateHeap");
  EXPECT_EQ(FatalText([&] { CreateHeap(-1, small.data()); }),
            "Error:Invalid number of elements -1 in CreateHeap");
  auto G = CreateHeap(3, &small);
  DestroyHeap(&G);
  EXPECT_EQ(G, nullptr);
  DestroyHeap(&G);
}

// Random inserts, removals and cost changes (with GoUp or GoDown as the
// change requires) against a brute-force minimum over the queued elements.
TEST(Heap, RandomOperationsAgainstBruteForce) {
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    std::mt19937 rng(seed);
    const int n = 200;
    std::vector<int> cost(n);
    for (int &c : cost) c = static_cast<int>(rng() % 10);  // many ties
    auto H = CreateHeap(n, &cost);
    std::vector<bool> queued(n, false);
    for (int step = 0; step < 3000; step++) {
      int op = static_cast<int>(rng() % 10);
      int p = static_cast<int>(rng() % n);
      if (op < 4) {
        if (!queued[p]) {
          ASSERT_EQ(InsertHeap(H.get(), p), 1);
          queued[p] = true;
        }
      } else if (op < 7) {
        int best = INT_MAX;
        for (int q = 0; q < n; q++)
          if (queued[q]) best = std::min(best, cost[q]);
        int got;
        if (best == INT_MAX) {
          EXPECT_EQ(RemoveHeap(H.get(), &got), 0);
        } else {
          ASSERT_EQ(RemoveHeap(H.get(), &got), 1);
          ASSERT_TRUE(queued[got]);
          EXPECT_EQ(cost[got], best) << "seed " << seed << " step " << step;
          queued[got] = false;
        }
      } else if (queued[p]) {
        int old = cost[p];
        cost[p] = static_cast<int>(rng() % 10);
        if (cost[p] < old)
          GoUp(H.get(), H->pos[p]);
        else
          GoDown(H.get(), H->pos[p]);
      }
    }
    ExpectConsistent(*H);
  }
}

// Shortest paths on a random weighted grid: the decrease-key use of the heap
// against Bellman-Ford relaxation to a fixed point.
TEST(Heap, ShortestPathsMatchRelaxation) {
  std::mt19937 rng(7);
  const int w = 12, h = 9, n = w * h;
  std::vector<int> weight(n);
  for (int &x : weight) x = 1 + static_cast<int>(rng() % 9);
  auto neighbours = [&](int p) {
    std::vector<int> q;
    int x = p % w, y = p / w;
    if (x > 0) q.push_back(p - 1);
    if (x < w - 1) q.push_back(p + 1);
    if (y > 0) q.push_back(p - w);
    if (y < h - 1) q.push_back(p + w);
    return q;
  };

  std::vector<int> ref(n, INT_MAX);
  ref[0] = 0;
  for (bool changed = true; changed;) {
    changed = false;
    for (int p = 0; p < n; p++)
      if (ref[p] != INT_MAX)
        for (int q : neighbours(p))
          if (ref[p] + weight[q] < ref[q]) {
            ref[q] = ref[p] + weight[q];
            changed = true;
          }
  }

  std::vector<int> cost(n, INT_MAX);
  cost[0] = 0;
  auto H = CreateHeap(n, &cost);
  InsertHeap(H.get(), 0);
  int p;
  std::vector<int> removedCost;
  while (RemoveHeap(H.get(), &p)) {
    removedCost.push_back(cost[p]);
    for (int q : neighbours(p)) {
      if (H->color[q] == BLACK || cost[p] + weight[q] >= cost[q]) continue;
      cost[q] = cost[p] + weight[q];
      if (H->color[q] == WHITE)
        InsertHeap(H.get(), q);
      else
        GoUp(H.get(), H->pos[q]);
    }
  }
  EXPECT_EQ(cost, ref);
  EXPECT_TRUE(std::is_sorted(removedCost.begin(), removedCost.end()));
  EXPECT_EQ(removedCost.size(), static_cast<size_t>(n));
}
