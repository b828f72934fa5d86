// The forest transforms on cubes of 64^3, 128^3 (and 256^3 with the
// argument "256"): the Euclidean IFT from the border of a ball (FEucl3 and
// FEuclIn3, 26 neighbours), and the differential IFT with the maximum-arc
// cost on random 8-bit weights from 8 seeds, then the removal of one tree
// and its re-growth. The peer of the differential IFT is a plain Dijkstra
// over the standard library's priority queue from the same seeds; the two
// must agree on every cost. Prints seconds and the ratio.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <queue>
#include <random>
#include <vector>

#include "core/adjacency3.h"
#include "core/scene.h"
#include "segment/annscn.h"
#include "segment/genift3.h"

static double Seconds(const std::function<void()> &f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

static std::unique_ptr<Scene> Ball(int side) {
  auto scn = CreateScene(side, side, side);
  double c = (side - 1) / 2.0, r = side / 3.0;
  for (int z = 0; z < side; z++)
    for (int y = 0; y < side; y++)
      for (int x = 0; x < side; x++)
        if ((x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c) <= r * r)
          scn->data[scn->Address(x, y, z)] = 1;
  return scn;
}

static std::vector<int> PeerMaxArc(const Scene &s, const std::vector<int> &roots) {
  const int n = s.VoxelCount(), xs = s.xsize, ys = s.ysize, zs = s.zsize;
  std::vector<int> cost(n, INT_MAX);
  using Item = std::pair<int, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  for (int r : roots) {
    cost[r] = s.data[r];
    heap.push({cost[r], r});
  }
  const int off[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
  while (!heap.empty()) {
    auto [c, p] = heap.top();
    heap.pop();
    if (c != cost[p]) continue;
    int x = p % xs, y = (p / xs) % ys, z = p / (xs * ys);
    for (const auto &o : off) {
      int qx = x + o[0], qy = y + o[1], qz = z + o[2];
      if (qx < 0 || qy < 0 || qz < 0 || qx >= xs || qy >= ys || qz >= zs) continue;
      int q = qx + xs * (qy + ys * qz);
      int cq = std::max(c, s.data[q]);
      if (cq < cost[q]) {
        cost[q] = cq;
        heap.push({cq, q});
      }
    }
  }
  return cost;
}

int main(int argc, char **argv) {
  std::vector<int> sides = {64, 128};
  if (argc > 1 && strcmp(argv[1], "256") == 0) sides.push_back(256);
  auto A26 = Spheric(1.8f), A6 = Spheric(1.0f);
  for (int side : sides) {
    auto ball = Ball(side);
    double mv = side * side * side / 1e6;
    for (PathCost3 f : {FEucl3, FEuclIn3}) {
      auto ascn = Annotate3(ball.get());
      double t = Seconds([&] { iftGenDistTrans3(ascn.get(), A26.get(), f); });
      printf("%d^3 ball, iftGenDistTrans3 %-9s: %.3f s (%.1f Mvoxel/s)\n", side,
             f == FEucl3 ? "FEucl3" : "FEuclIn3", t, mv / t);
    }

    auto weights = CreateScene(side, side, side);
    std::mt19937 rng(7);
    for (int &v : weights->data) v = static_cast<int>(rng() % 256);
    std::vector<int> roots;
    for (int i = 0; i < 8; i++) roots.push_back(static_cast<int>(rng() % weights->data.size()));
    auto ascn = Annotate3(weights.get());
    for (int r : roots) {
      int x = r % side, y = (r / side) % side, z = r / (side * side);
      AddSeed3(ascn.get(), x, y, z, INT_MAX - 1, r, r);
    }
    double tDift = Seconds([&] { DIFT(ascn.get(), A6.get()); });
    std::vector<int> peer;
    double tPeer = Seconds([&] { peer = PeerMaxArc(*weights, roots); });
    bool same = std::equal(peer.begin(), peer.end(), ascn->cost->data.begin(), ascn->cost->data.end());
    int r0 = roots[0];
    AddMark3(ascn.get(), r0 % side, (r0 / side) % side, r0 / (side * side));
    double tRemove = Seconds([&] { DIFT(ascn.get(), A6.get()); });
    std::vector<int> rest(roots.begin() + 1, roots.end());
    std::vector<int> after = PeerMaxArc(*weights, rest);
    bool sameAfter = std::equal(after.begin(), after.end(), ascn->cost->data.begin(), ascn->cost->data.end());
    printf("%d^3 weights, DIFT from 8 seeds: %.3f s; priority-queue Dijkstra: %.3f s; ratio %.2f; %s\n",
           side, tDift, tPeer, tPeer / tDift, same ? "costs agree" : "COSTS DIFFER");
    printf("%d^3 weights, one tree removed and re-grown: %.3f s; %s\n", side, tRemove,
           sameAfter ? "costs agree with a fresh run" : "COSTS DIFFER");
  }
  return 0;
}
