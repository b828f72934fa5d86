// Region growing over a 128^3 grid with the 6-neighbourhood and small
// random arc weights, the way the transforms use the priority structures:
// the bucket queue (cost mod nbuckets), the lowering bucket queue (absolute
// costs), the binary heap with decrease-key, and, as the peer, the standard
// library's priority queue with lazy deletion. Prints million voxels per
// second for each, and checks that all four agree on the costs.
#include <chrono>
#include <climits>
#include <cstdio>
#include <functional>
#include <queue>
#include <random>
#include <utility>
#include <vector>

#include "core/adjacency3.h"
#include "core/heap.h"
#include "core/queue.h"
#include "core/scene.h"

static const int kSide = 128, kMaxWeight = 15;

struct Grid {
  Scene scn;
  std::vector<int> weight;
  std::unique_ptr<AdjRel3> adj;
  std::vector<int> dp;
};

static Grid MakeGrid() {
  Grid g;
  g.scn.xsize = g.scn.ysize = g.scn.zsize = kSide;
  int n = kSide * kSide * kSide;
  g.weight.resize(n);
  std::mt19937 rng(3);
  for (int &w : g.weight) w = 1 + static_cast<int>(rng() % kMaxWeight);
  g.adj = Spheric(1.0f);
  g.dp = AdjVoxels(&g.scn, g.adj.get())->dp;
  return g;
}

// Neighbour q of p by the relation's i-th offset, or -1 outside the grid.
static inline int Neighbour(const Grid &g, int p, int i) {
  int x = p % kSide, y = (p / kSide) % kSide, z = p / (kSide * kSide);
  x += g.adj->dx[i];
  y += g.adj->dy[i];
  z += g.adj->dz[i];
  if (x < 0 || y < 0 || z < 0 || x >= kSide || y >= kSide || z >= kSide) return -1;
  return p + g.dp[i];
}

static std::vector<int> GrowBuckets(const Grid &g, bool lowering) {
  int n = static_cast<int>(g.weight.size());
  int nb = lowering ? kMaxWeight * 3 * kSide + 1 : kMaxWeight + 1;
  auto Q = lowering ? CreateLoweringQueue(nb, n) : CreateQueue(nb, n);
  std::vector<int> cost(n, INT_MAX);
  cost[0] = 0;
  InsertQueue(Q.get(), 0, 0);
  for (int p = RemoveQueue(Q.get()); p != -1; p = RemoveQueue(Q.get()))
    for (int i = 1; i <= 6; i++) {
      int q = Neighbour(g, p, i);
      if (q < 0 || Q->elem[q].color == BLACK) continue;
      int c = cost[p] + g.weight[q];
      if (c >= cost[q]) continue;
      if (Q->elem[q].color == GRAY)
        UpdateQueue(Q.get(), q, cost[q] % nb, c % nb);
      else
        InsertQueue(Q.get(), c % nb, q);
      cost[q] = c;
    }
  return cost;
}

static std::vector<int> GrowHeap(const Grid &g) {
  int n = static_cast<int>(g.weight.size());
  std::vector<int> cost(n, INT_MAX);
  auto H = CreateHeap(n, &cost);
  cost[0] = 0;
  InsertHeap(H.get(), 0);
  int p;
  while (RemoveHeap(H.get(), &p))
    for (int i = 1; i <= 6; i++) {
      int q = Neighbour(g, p, i);
      if (q < 0 || H->color[q] == BLACK) continue;
      int c = cost[p] + g.weight[q];
      if (c >= cost[q]) continue;
      cost[q] = c;
      if (H->color[q] == GRAY)
        GoUp(H.get(), H->pos[q]);
      else
        InsertHeap(H.get(), q);
    }
  return cost;
}

static std::vector<int> GrowStdPriorityQueue(const Grid &g) {
  int n = static_cast<int>(g.weight.size());
  std::vector<int> cost(n, INT_MAX);
  std::vector<char> done(n, 0);
  using Item = std::pair<int, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> pq;
  cost[0] = 0;
  pq.push({0, 0});
  while (!pq.empty()) {
    auto [c0, p] = pq.top();
    pq.pop();
    if (done[p] || c0 != cost[p]) continue;
    done[p] = 1;
    for (int i = 1; i <= 6; i++) {
      int q = Neighbour(g, p, i);
      if (q < 0 || done[q]) continue;
      int c = cost[p] + g.weight[q];
      if (c < cost[q]) {
        cost[q] = c;
        pq.push({c, q});
      }
    }
  }
  return cost;
}

template <class F>
static std::vector<int> Timed(const char *name, int n, F grow) {
  auto t0 = std::chrono::steady_clock::now();
  std::vector<int> cost = grow();
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-34s %7.3f s  %6.1f Mvoxel/s\n", name, s, n / s / 1e6);
  return cost;
}

int main() {
  Grid g = MakeGrid();
  int n = static_cast<int>(g.weight.size());
  std::printf("shortest paths over %d^3 voxels, 6-neighbourhood, weights 1..%d\n", kSide, kMaxWeight);
  auto a = Timed("bucket queue (cost mod 16)", n, [&] { return GrowBuckets(g, false); });
  auto b = Timed("lowering bucket queue (absolute)", n, [&] { return GrowBuckets(g, true); });
  auto c = Timed("binary heap (decrease-key)", n, [&] { return GrowHeap(g); });
  auto d = Timed("peer: std::priority_queue (lazy)", n, [&] { return GrowStdPriorityQueue(g); });
  bool agree = a == b && b == c && c == d;
  std::printf("costs agree: %s\n", agree ? "yes" : "NO");
  return agree ? 0 : 1;
}
