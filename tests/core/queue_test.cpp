#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <random>
#include <vector>

#include "core/queue.h"
#include "support/fatal.h"

// The bucket lists walked from first to last, checking the back links and
// the states on the way.
static std::vector<std::vector<int>> Buckets(const Queue &Q) {
  std::vector<std::vector<int>> out(Q.nbuckets);
  int total = 0;
  for (int b = 0; b < Q.nbuckets; b++) {
    int prev = -1;
    for (int e = Q.first[b]; e != -1; e = Q.elem[e].next) {
      EXPECT_EQ(Q.elem[e].prev, prev);
      EXPECT_EQ(Q.elem[e].color, GRAY);
      out[b].push_back(e);
      prev = e;
      if (++total > Q.nelems) {
        ADD_FAILURE() << "cycle in bucket " << b;
        return out;
      }
    }
    EXPECT_EQ(Q.last[b], prev);
  }
  EXPECT_EQ(total, Q.size);
  return out;
}

static std::vector<int> Drain(Queue *Q) {
  std::vector<int> out;
  for (int e = RemoveQueue(Q); e != -1; e = RemoveQueue(Q)) out.push_back(e);
  return out;
}

// ---- serving order ----

TEST(Queue, CurrentBucketWrapsAround) {
  auto Q = CreateQueue(4, 5);
  Q->current = 2;
  InsertQueue(Q.get(), 3, 0);
  InsertQueue(Q.get(), 0, 1);
  EXPECT_EQ(RemoveQueue(Q.get()), 0);
  EXPECT_EQ(Q->current, 3);
  EXPECT_EQ(RemoveQueue(Q.get()), 1);
  EXPECT_EQ(Q->current, 0);
  EXPECT_EQ(Q->elem[0].color, BLACK);
  EXPECT_EQ(Q->elem[2].color, WHITE);
}

TEST(Queue, FifoAndLifoWithinABucket) {
  auto Q = CreateQueue(3, 6);
  EXPECT_EQ(Q->tiebreak, FIFO);
  for (int e : {4, 1, 5}) InsertQueue(Q.get(), 1, e);
  InsertQueue(Q.get(), 2, 0);
  EXPECT_EQ(Drain(Q.get()), (std::vector<int>{4, 1, 5, 0}));

  ResetQueue(Q.get());
  Q->tiebreak = LIFO;
  for (int e : {4, 1, 5}) InsertQueue(Q.get(), 1, e);
  InsertQueue(Q.get(), 2, 0);
  InsertQueue(Q.get(), 2, 3);
  EXPECT_EQ(Drain(Q.get()), (std::vector<int>{5, 1, 4, 3, 0}));
}

TEST(Queue, EmptyQueueAnswersAndMovesCurrent) {
  auto Q = CreateQueue(5, 3);
  Q->current = 3;
  EXPECT_EQ(EmptyQueue(Q.get()), 1);
  EXPECT_EQ(Q->current, 3);  // a full circle ends where it began
  EXPECT_EQ(RemoveQueue(Q.get()), -1);
  EXPECT_EQ(Q->current, 3);
  InsertQueue(Q.get(), 1, 2);
  EXPECT_EQ(EmptyQueue(Q.get()), 0);
  EXPECT_EQ(Q->current, 1);
  EXPECT_EQ(EmptyQueue(Q.get()), 0);  // non-empty current: stays
  EXPECT_EQ(RemoveQueue(Q.get()), 2);
  EXPECT_EQ(EmptyQueue(Q.get()), 1);
  EXPECT_EQ(Q->current, 1);
}

// ---- moving and withdrawing ----

TEST(Queue, UpdateAppendsAtTheTailOfTheNewBucket) {
  auto Q = CreateQueue(4, 6);
  for (int e : {0, 1, 2}) InsertQueue(Q.get(), 2, e);
  InsertQueue(Q.get(), 1, 3);
  InsertQueue(Q.get(), 1, 4);
  UpdateQueue(Q.get(), 1, 2, 1);  // middle of bucket 2 to the tail of bucket 1
  UpdateQueue(Q.get(), 3, 1, 3);  // head of bucket 1
  UpdateQueue(Q.get(), 2, 2, 3);  // tail of bucket 2
  auto b = Buckets(*Q);
  EXPECT_EQ(b[1], (std::vector<int>{4, 1}));
  EXPECT_EQ(b[2], (std::vector<int>{0}));
  EXPECT_EQ(b[3], (std::vector<int>{3, 2}));
  EXPECT_EQ(Q->elem[1].color, GRAY);
  EXPECT_EQ(Drain(Q.get()), (std::vector<int>{4, 1, 0, 3, 2}));
}

TEST(Queue, RemoveQueueElemFromHeadMiddleAndTail) {
  auto Q = CreateQueue(2, 6);
  for (int e = 0; e < 5; e++) InsertQueue(Q.get(), 0, e);
  RemoveQueueElem(Q.get(), 2, 0);
  RemoveQueueElem(Q.get(), 0, 0);
  RemoveQueueElem(Q.get(), 4, 0);
  EXPECT_EQ(Q->elem[2].color, BLACK);
  EXPECT_EQ(Buckets(*Q)[0], (std::vector<int>{1, 3}));
  RemoveQueueElem(Q.get(), 1, 0);
  RemoveQueueElem(Q.get(), 3, 0);
  EXPECT_EQ(Q->first[0], -1);
  EXPECT_EQ(Q->last[0], -1);
  EXPECT_EQ(EmptyQueue(Q.get()), 1);
  // A withdrawn element may be queued again.
  InsertQueue(Q.get(), 1, 2);
  EXPECT_EQ(Drain(Q.get()), (std::vector<int>{2}));
}

TEST(Queue, MisuseFailsAndLeavesTheQueueIntact) {
  auto Q = CreateQueue(4, 5);
  InsertQueue(Q.get(), 1, 0);
  InsertQueue(Q.get(), 1, 1);
  InsertQueue(Q.get(), 1, 2);
  InsertQueue(Q.get(), 3, 3);
  EXPECT_EQ(FatalText([&] { InsertQueue(Q.get(), 4, 4); }),
            "Error:Bucket 4 out of range 0..3 in InsertQueue");
  EXPECT_EQ(FatalText([&] { InsertQueue(Q.get(), 0, 5); }),
            "Error:Element 5 out of range 0..4 in InsertQueue");
  EXPECT_EQ(FatalText([&] { InsertQueue(Q.get(), 2, 1); }),
            "Error:Element 1 is already queued in InsertQueue");
  // The wrong old bucket for a head, a tail and a lone element.
  EXPECT_EQ(FatalText([&] { UpdateQueue(Q.get(), 0, 3, 2); }),
            "Error:Element 0 is not in bucket 3 in UpdateQueue");
  EXPECT_EQ(FatalText([&] { RemoveQueueElem(Q.get(), 2, 0); }),
            "Error:Element 2 is not in bucket 0 in RemoveQueueElem");
  EXPECT_EQ(FatalText([&] { UpdateQueue(Q.get(), 3, 1, 0); }),
            "Error:Element 3 is not in bucket 1 in UpdateQueue");
  EXPECT_EQ(FatalText([&] { UpdateQueue(Q.get(), 4, 0, 1); }),
            "Error:Element 4 is not queued in UpdateQueue");
  EXPECT_EQ(FatalText([&] { UpdateQueue(Q.get(), 0, 1, -1); }),
            "Error:Bucket -1 out of range 0..3 in UpdateQueue");
  auto b = Buckets(*Q);
  EXPECT_EQ(b[1], (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(b[3], (std::vector<int>{3}));

  Q->current = 9;  // set by hand beyond the buckets
  EXPECT_EQ(FatalText([&] { RemoveQueue(Q.get()); }),
            "Error:Bucket 9 out of range 0..3 in RemoveQueue");
  Q->current = 0;
  EXPECT_EQ(Drain(Q.get()), (std::vector<int>{0, 1, 2, 3}));
  int e = 0;
  EXPECT_EQ(FatalText([&] { RemoveQueueElem(Q.get(), e, 1); }),
            "Error:Element 0 is not queued in RemoveQueueElem");
}

TEST(Queue, CreationLimitsResetAndDestroy) {
  EXPECT_EQ(FatalText([] { CreateQueue(0, 4); }),
            "Error:Cannot allocate memory space for 0 buckets and 4 elements in CreateQueue");
  EXPECT_EQ(FatalText([] { CreateQueue(3, -1); }),
            "Error:Cannot allocate memory space for 3 buckets and -1 elements in CreateQueue");
  auto Q = CreateLoweringQueue(3, 3);
  Q->tiebreak = LIFO;
  InsertQueue(Q.get(), 2, 1);
  RemoveQueue(Q.get());
  InsertQueue(Q.get(), 2, 2);
  ResetQueue(Q.get());
  EXPECT_EQ(Q->current, 0);
  EXPECT_EQ(Q->tiebreak, FIFO);
  EXPECT_TRUE(Q->lowering);
  EXPECT_EQ(Q->size, 0);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(Q->elem[i].color, WHITE);
    EXPECT_EQ(Q->elem[i].next, -1);
    EXPECT_EQ(Q->first[i], -1);
  }
  DestroyQueue(&Q);
  EXPECT_EQ(Q, nullptr);
  DestroyQueue(&Q);
}

// ---- the lowering variant ----

TEST(Queue, LoweringQueueServesAMoveBelowCurrentNext) {
  for (bool lowering : {false, true}) {
    auto Q = lowering ? CreateLoweringQueue(10, 4) : CreateQueue(10, 4);
    InsertQueue(Q.get(), 5, 0);
    InsertQueue(Q.get(), 7, 1);
    InsertQueue(Q.get(), 8, 2);
    EXPECT_EQ(RemoveQueue(Q.get()), 0);
    EXPECT_EQ(Q->current, 5);
    InsertQueue(Q.get(), 2, 3);     // below the bucket being served
    UpdateQueue(Q.get(), 2, 8, 1);  // moved further below
    if (lowering) {
      EXPECT_EQ(Q->current, 1);
      EXPECT_EQ(Drain(Q.get()), (std::vector<int>{2, 3, 1}));
    } else {
      // The circular queue reads the low buckets as wrapped costs.
      EXPECT_EQ(Q->current, 5);
      EXPECT_EQ(Drain(Q.get()), (std::vector<int>{1, 2, 3}));
    }
  }
}

// ---- against a brute-force model ----

// The queue as a deque per bucket: the serving rules written plainly.
struct QueueModel {
  int nbuckets;
  bool lowering;
  int current = 0;
  std::vector<std::deque<int>> bucket;
  std::vector<int> where;  // bucket of a queued element, else -1
  std::vector<unsigned char> color;

  QueueModel(int nb, int ne, bool low)
      : nbuckets(nb), lowering(low), bucket(nb), where(ne, -1), color(ne, WHITE) {}
  void Insert(int b, int e) {
    bucket[b].push_back(e);
    where[e] = b;
    color[e] = GRAY;
    if (lowering && b < current) current = b;
  }
  void Unlink(int e) {
    auto &d = bucket[where[e]];
    d.erase(std::find(d.begin(), d.end(), e));
    where[e] = -1;
  }
  int Remove(bool lifo) {
    bool any = false;
    for (auto &d : bucket) any = any || !d.empty();
    if (!any) return -1;
    while (bucket[current].empty()) current = (current + 1) % nbuckets;
    auto &d = bucket[current];
    int e = lifo ? d.back() : d.front();
    Unlink(e);
    color[e] = BLACK;
    return e;
  }
};

static void RunAgainstModel(unsigned seed, bool lowering, bool flipTiebreak) {
  std::mt19937 rng(seed);
  const int nb = 1 + static_cast<int>(rng() % 12), ne = 40;
  auto Q = lowering ? CreateLoweringQueue(nb, ne) : CreateQueue(nb, ne);
  QueueModel M(nb, ne, lowering);
  if (rng() % 2) Q->tiebreak = LIFO;
  for (int step = 0; step < 4000; step++) {
    int op = static_cast<int>(rng() % 20);
    int e = static_cast<int>(rng() % ne), b = static_cast<int>(rng() % nb);
    if (op < 7) {
      if (M.color[e] != GRAY) {
        InsertQueue(Q.get(), b, e);
        M.Insert(b, e);
      }
    } else if (op < 10) {
      if (M.color[e] == GRAY) {
        UpdateQueue(Q.get(), e, M.where[e], b);
        M.Unlink(e);
        M.Insert(b, e);
      }
    } else if (op < 11) {
      if (M.color[e] == GRAY) {
        RemoveQueueElem(Q.get(), e, M.where[e]);
        M.Unlink(e);
        M.color[e] = BLACK;
      }
    } else if (op < 12) {
      bool empty = true;
      for (auto &d : M.bucket) empty = empty && d.empty();
      if (!empty)
        while (M.bucket[M.current].empty()) M.current = (M.current + 1) % nb;
      ASSERT_EQ(EmptyQueue(Q.get()), empty ? 1 : 0);
    } else if (op < 13 && flipTiebreak) {
      Q->tiebreak = Q->tiebreak == FIFO ? LIFO : FIFO;
    } else {
      ASSERT_EQ(RemoveQueue(Q.get()), M.Remove(Q->tiebreak == LIFO))
          << "seed " << seed << " step " << step;
    }
    ASSERT_EQ(Q->current, M.current) << "seed " << seed << " step " << step;
    if (step % 97 == 0) {
      auto lists = Buckets(*Q);
      for (int k = 0; k < nb; k++)
        EXPECT_EQ(lists[k], std::vector<int>(M.bucket[k].begin(), M.bucket[k].end()));
      for (int k = 0; k < ne; k++) EXPECT_EQ(Q->elem[k].color, M.color[k]);
    }
  }
}

TEST(Queue, RandomOperationsAgainstModel) {
  for (unsigned seed = 1; seed <= 12; seed++) RunAgainstModel(seed, false, false);
}

TEST(Queue, RandomOperationsAgainstModelWithTiebreakChanges) {
  for (unsigned seed = 21; seed <= 26; seed++) RunAgainstModel(seed, false, true);
}

TEST(Queue, LoweringQueueAgainstModel) {
  for (unsigned seed = 31; seed <= 40; seed++) RunAgainstModel(seed, true, false);
}

// ---- in its intended use ----

// Shortest paths with small weights filed under cost mod nbuckets (the
// queue wraps many times) and, in the lowering queue, under the absolute
// cost; both against relaxation to a fixed point.
TEST(Queue, MonotoneCostsGiveShortestPaths) {
  std::mt19937 rng(11);
  const int w = 20, h = 15, n = w * h, maxstep = 9;
  std::vector<int> weight(n);
  for (int &x : weight) x = static_cast<int>(rng() % (maxstep + 1));  // zero weights too
  auto neighbours = [&](int p) {
    std::vector<int> q;
    if (p % w > 0) q.push_back(p - 1);
    if (p % w < w - 1) q.push_back(p + 1);
    if (p >= w) q.push_back(p - w);
    if (p < n - w) q.push_back(p + w);
    return q;
  };
  std::vector<int> ref(n, INT_MAX);
  ref[0] = ref[n - 1] = 0;
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

  for (int variant = 0; variant < 3; variant++) {
    bool lowering = variant == 2;
    int nb = lowering ? n * maxstep + 1 : maxstep + 1;
    auto Q = lowering ? CreateLoweringQueue(nb, n) : CreateQueue(nb, n);
    if (variant == 1) Q->tiebreak = LIFO;
    std::vector<int> cost(n, INT_MAX);
    cost[0] = cost[n - 1] = 0;
    InsertQueue(Q.get(), 0, 0);
    InsertQueue(Q.get(), 0, n - 1);
    int lastCost = 0;
    for (int p = RemoveQueue(Q.get()); p != -1; p = RemoveQueue(Q.get())) {
      EXPECT_GE(cost[p], lastCost);
      lastCost = cost[p];
      for (int q : neighbours(p)) {
        if (Q->elem[q].color == BLACK || cost[p] + weight[q] >= cost[q]) continue;
        int old = cost[q];
        cost[q] = cost[p] + weight[q];
        if (Q->elem[q].color == GRAY)
          UpdateQueue(Q.get(), q, old % nb, cost[q] % nb);
        else
          InsertQueue(Q.get(), cost[q] % nb, q);
      }
    }
    EXPECT_EQ(cost, ref) << "variant " << variant;
  }
}
