// The forest transforms against plain brute-force versions written here:
// Dijkstra by linear selection for the maximum-arc cost, nearest-seed search
// for the Euclidean costs, and direct neighbour scans for borders.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <random>
#include <set>
#include <vector>

#include "core/adjacency3.h"
#include "core/scene.h"
#include "core/set.h"
#include "segment/annscn.h"
#include "segment/genift3.h"
#include "support/fatal.h"

namespace {

const int INF = 2147483647;

struct Xyz {
  int x, y, z;
};

Xyz CoordsOf(const Scene &s, int p) {
  return {p % s.xsize, (p / s.xsize) % s.ysize, p / (s.xsize * s.ysize)};
}

// In-scene neighbours of p under A (displacements 1 .. n-1).
std::vector<int> Neighbours(const Scene &s, const AdjRel3 &A, int p) {
  Xyz c = CoordsOf(s, p);
  std::vector<int> out;
  for (int i = 1; i < A.n; i++) {
    int x = c.x + A.dx[i], y = c.y + A.dy[i], z = c.z + A.dz[i];
    if (x < 0 || y < 0 || z < 0 || x >= s.xsize || y >= s.ysize || z >= s.zsize) continue;
    out.push_back(x + s.xsize * (y + s.ysize * z));
  }
  return out;
}

// Best maximum-arc path cost from root r (which costs rootCost) to every voxel.
std::vector<long long> MaxArcFrom(const Scene &s, const AdjRel3 &A, int r, long long rootCost) {
  const int n = s.VoxelCount();
  std::vector<long long> best(n, INF);
  std::vector<bool> done(n, false);
  best[r] = rootCost;
  for (;;) {
    int p = -1;
    for (int v = 0; v < n; v++)
      if (!done[v] && best[v] < INF && (p == -1 || best[v] < best[p])) p = v;
    if (p == -1) break;
    done[p] = true;
    for (int q : Neighbours(s, A, p)) best[q] = std::min(best[q], std::max(best[p], (long long)s.data[q]));
  }
  return best;
}

// For each voxel the optimum over the roots and the roots that reach it.
struct Optimum {
  std::vector<long long> cost;
  std::vector<std::set<int>> roots;
};

Optimum MaxArcOptimum(const Scene &s, const AdjRel3 &A, const std::vector<int> &roots) {
  const int n = s.VoxelCount();
  Optimum o{std::vector<long long>(n, INF), std::vector<std::set<int>>(n)};
  for (int r : roots) {
    std::vector<long long> c = MaxArcFrom(s, A, r, s.data[r]);
    for (int v = 0; v < n; v++) {
      if (c[v] < o.cost[v]) {
        o.cost[v] = c[v];
        o.roots[v] = {r};
      } else if (c[v] == o.cost[v]) {
        o.roots[v].insert(r);
      }
    }
  }
  return o;
}

std::unique_ptr<Scene> RandomScene(std::mt19937 &rng, int nx, int ny, int nz, int top) {
  auto s = CreateScene(nx, ny, nz);
  std::uniform_int_distribution<int> value(0, top);
  for (int &v : s->data) v = value(rng);
  return s;
}

std::vector<int> DistinctVoxels(std::mt19937 &rng, int n, int count) {
  std::vector<int> all(n);
  for (int i = 0; i < n; i++) all[i] = i;
  std::shuffle(all.begin(), all.end(), rng);
  all.resize(count);
  return all;
}

void Seed(AnnScn *ascn, int p, int cost) {
  Xyz c = CoordsOf(*ascn->scene, p);
  AddSeed3(ascn, c.x, c.y, c.z, cost, p, p);
}

void Mark(AnnScn *ascn, int p) {
  Xyz c = CoordsOf(*ascn->scene, p);
  AddMark3(ascn, c.x, c.y, c.z);
}

std::vector<int> SetElements(const Set *s) {
  std::vector<int> out;
  for (; s != nullptr; s = s->next.get()) out.push_back(s->elem);
  return out;
}

// Costs optimal, each label one of the roots of the optimum, and the
// forest consistent: roots cost their scene value, every other voxel
// extends its predecessor's path.
void ExpectOptimumForest(const AnnScn &a, const AdjRel3 &A, const std::vector<int> &roots,
                         const char *what, bool labelsFollowPredecessors = true) {
  SCOPED_TRACE(what);
  const Scene &s = *a.scene;
  Optimum o = MaxArcOptimum(s, A, roots);
  std::set<int> rootSet(roots.begin(), roots.end());
  for (int v = 0; v < s.VoxelCount(); v++) {
    ASSERT_EQ(a.cost->data[v], o.cost[v]) << "voxel " << v;
    int l = a.label->data[v];
    EXPECT_TRUE(o.roots[v].count(l)) << "voxel " << v << " labelled " << l;
    int p = a.pred->data[v];
    if (rootSet.count(v) && p == v) {
      EXPECT_EQ(a.cost->data[v], s.data[v]);
      EXPECT_EQ(l, v);
    } else {
      std::vector<int> nb = Neighbours(s, A, v);
      ASSERT_TRUE(std::find(nb.begin(), nb.end(), p) != nb.end()) << "voxel " << v;
      if (labelsFollowPredecessors) {
        EXPECT_EQ(a.label->data[p], l) << "voxel " << v;
      }
      EXPECT_EQ(a.cost->data[v], std::max(a.cost->data[p], s.data[v]));
    }
  }
}

}  // namespace

// ---- annotation ----

TEST(AnnScn, AnnotateStartsUnreachedWithOwnPredecessors) {
  auto scn = CreateScene(3, 2, 2);
  scn->dx = 0.5f;
  auto ascn = Annotate3(scn.get());
  EXPECT_EQ(ascn->scene, scn.get());
  for (int p = 0; p < 12; p++) {
    EXPECT_EQ(ascn->cost->data[p], INF);
    EXPECT_EQ(ascn->pred->data[p], p);
    EXPECT_EQ(ascn->label->data[p], 0);
  }
  EXPECT_EQ(ascn->cost->dx, 0.5f);
  EXPECT_EQ(ascn->label->tbz, scn->tbz);
  EXPECT_EQ(GetCost3(ascn.get()), ascn->cost.get());
  EXPECT_EQ(GetPred3(ascn.get()), ascn->pred.get());
  EXPECT_EQ(GetLabel3(ascn.get()), ascn->label.get());
  DeAnnotate3(&ascn);
  EXPECT_EQ(ascn, nullptr);
  DeAnnotate3(&ascn);
}

TEST(AnnScn, AnnotateCopyOutlivesTheScene) {
  auto scn = CreateScene(2, 2, 1);
  scn->data[3] = 7;
  auto ascn = AnnotateCopy3(scn.get());
  scn.reset();
  EXPECT_EQ(ascn->scene->data[3], 7);
  EXPECT_EQ(ascn->scene, ascn->ownScene.get());
}

TEST(AnnScn, SeedsOnlyWhereTheyLowerTheCostAndInsideTheScene) {
  auto scn = CreateScene(3, 3, 3);
  auto ascn = Annotate3(scn.get());
  AddSeed3(ascn.get(), 1, 1, 1, 5, 2, 3);
  AddSeed3(ascn.get(), 1, 1, 1, 5, 9, 9);   // not lower: ignored
  AddSeed3(ascn.get(), 3, 0, 0, 0, 0, 0);   // outside
  AddSeed3(ascn.get(), 0, -1, 0, 0, 0, 0);  // outside
  AddSeed3(ascn.get(), 0, 0, 2, 1, 18, 18);
  AddSeed3(ascn.get(), 1, 1, 1, 4, 13, 13);  // lower: accepted again
  EXPECT_EQ(SetElements(ascn->seeds.get()), (std::vector<int>{13, 18, 13}));
  EXPECT_EQ(ascn->cost->data[13], 4);
  EXPECT_EQ(ascn->label->data[13], 13);
  AddMark3(ascn.get(), 2, 2, 2);
  AddMark3(ascn.get(), 2, 2, 3);
  AddMark3(ascn.get(), 0, 0, 0);
  EXPECT_EQ(SetElements(ascn->marks.get()), (std::vector<int>{0, 26}));
}

TEST(AnnScn, FindRootFollowsThePredecessors) {
  auto map = CreateScene(4, 1, 1);
  map->data = {0, 0, 1, 3};
  EXPECT_EQ(FindRoot(map.get(), 2), 0);
  EXPECT_EQ(FindRoot(map.get(), 3), 3);
  map->data = {1, 2, 1, 9};
  EXPECT_EQ(FatalText([&] { FindRoot(map.get(), 0); }),
            "Error:The predecessor map has a cycle in FindRoot");
  EXPECT_EQ(FatalText([&] { FindRoot(map.get(), 3); }),
            "Error:Voxel 9 is outside the map (addresses 0 to 3) in FindRoot");
}

// ---- Euclidean forests ----

TEST(IFT3, OneObjectVoxelGivesExactDistancesEverywhere) {
  auto scn = CreateScene(5, 5, 5);
  const int centre = 2 + 5 * 2 + 25 * 2;
  scn->data[centre] = 1;
  auto A = Spheric(1.8f);
  auto ascn = Annotate3(scn.get());
  iftGenDistTrans3(ascn.get(), A.get(), FEucl3);
  for (int p = 0; p < 125; p++) {
    Xyz c = CoordsOf(*scn, p);
    int d = (c.x - 2) * (c.x - 2) + (c.y - 2) * (c.y - 2) + (c.z - 2) * (c.z - 2);
    EXPECT_EQ(ascn->cost->data[p], d) << p;
    EXPECT_EQ(ascn->label->data[p], centre);
    EXPECT_EQ(FindRoot(ascn->pred.get(), p), centre);
  }
  EXPECT_EQ(ascn->seeds, nullptr);
}

TEST(IFT3, RandomMasksGiveTrueDistancesToTheirOwnRoot) {
  std::mt19937 rng(11);
  auto A = Spheric(1.8f);
  long long voxels = 0, inexact = 0;
  for (int trial = 0; trial < 20; trial++) {
    auto scn = RandomScene(rng, 9, 8, 7, 1);
    const Scene &s = *scn;
    // The border seeds, found directly.
    std::vector<int> seeds;
    auto face = Spheric(1.0f);
    for (int p = 0; p < s.VoxelCount(); p++) {
      if (s.data[p] == 0) continue;
      std::vector<int> nb = Neighbours(s, *face, p);
      bool border = nb.size() < 6;
      for (int q : nb) border = border || s.data[q] == 0;
      if (border) seeds.push_back(p);
    }
    for (PathCost3 f : {FEucl3, FEuclIn3, FEuclOut3}) {
      auto ascn = Annotate3(scn.get());
      iftGenDistTrans3(ascn.get(), A.get(), f);
      for (int v = 0; v < s.VoxelCount(); v++) {
        int c = ascn->cost->data[v];
        bool reachable = f == FEucl3 || (f == FEuclIn3) == (s.data[v] != 0);
        bool isSeed = std::find(seeds.begin(), seeds.end(), v) != seeds.end();
        if (isSeed) {
          EXPECT_EQ(c, 0);
          continue;
        }
        if (!reachable) {
          EXPECT_EQ(c, INF) << v;
          continue;
        }
        if (c == INF) continue;  // cut off by the mask; checked below for FEucl3
        int root = ascn->label->data[v];
        ASSERT_TRUE(std::find(seeds.begin(), seeds.end(), root) != seeds.end());
        Xyz a = CoordsOf(s, v), b = CoordsOf(s, root);
        EXPECT_EQ(c, (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
        long long exact = INF;
        for (int r : seeds) {
          Xyz e = CoordsOf(s, r);
          exact = std::min<long long>(exact, (a.x - e.x) * (a.x - e.x) + (a.y - e.y) * (a.y - e.y) +
                                                 (a.z - e.z) * (a.z - e.z));
        }
        EXPECT_GE(c, exact);
        if (f == FEucl3) {
          voxels++;
          inexact += c != exact;
        }
      }
      if (f == FEucl3 && !seeds.empty()) {
        for (int v = 0; v < s.VoxelCount(); v++) EXPECT_NE(ascn->cost->data[v], INF);
      }
    }
  }
  // The propagation is not exact everywhere; the figure is printed, not asserted.
  printf("[ IFT3     ] FEucl3 from border seeds, 26 neighbours: %lld of %lld voxels above the exact distance\n",
         inexact, voxels);
}

TEST(IFT3, TheBuiltInEuclideanLoopsMatchTheFunctions) {
  // Wrapped, the same costs take the path through the pointer.
  PathCost3 wrapped[] = {
      [](const AnnScn *a, int p, int q, int c) { return FEucl3(a, p, q, c); },
      [](const AnnScn *a, int p, int q, int c) { return FEuclIn3(a, p, q, c); },
      [](const AnnScn *a, int p, int q, int c) { return FEuclOut3(a, p, q, c); },
  };
  PathCost3 builtIn[] = {FEucl3, FEuclIn3, FEuclOut3};
  std::mt19937 rng(17);
  auto A = Spheric(1.8f);
  for (int trial = 0; trial < 6; trial++) {
    auto scn = RandomScene(rng, 7, 9, 6, 1);
    for (int k = 0; k < 3; k++) {
      auto a = Annotate3(scn.get()), b = Annotate3(scn.get());
      iftGenDistTrans3(a.get(), A.get(), builtIn[k]);
      iftGenDistTrans3(b.get(), A.get(), wrapped[k]);
      EXPECT_EQ(a->cost->data, b->cost->data);
      EXPECT_EQ(a->label->data, b->label->data);
      EXPECT_EQ(a->pred->data, b->pred->data);
    }
  }
}

TEST(IFT3, AnyPathCostThroughThePointer) {
  // Steps from the nearest seed: breadth-first distances.
  auto steps = [](const AnnScn *a, int p, int, int) { return a->cost->data[p] + 1; };
  auto scn = CreateScene(6, 5, 1);
  auto A = Spheric(1.0f);
  auto ascn = Annotate3(scn.get());
  Seed(ascn.get(), 0, 0);
  Seed(ascn.get(), 29, 0);
  IFT3(ascn.get(), A.get(), steps, 1);
  for (int p = 0; p < 30; p++) {
    int x = p % 6, y = p / 6;
    EXPECT_EQ(ascn->cost->data[p], std::min(x + y, (5 - x) + (4 - y))) << p;
  }
}

TEST(IFT3, RefusesAnAbsentCostAndABadIncrement) {
  auto scn = CreateScene(2, 2, 2);
  auto A = Spheric(1.0f);
  auto ascn = Annotate3(scn.get());
  EXPECT_EQ(FatalText([&] { IFT3(ascn.get(), A.get(), nullptr, 3); }),
            "Error:No path-cost function in IFT3");
  EXPECT_EQ(FatalText([&] { IFT3(ascn.get(), A.get(), FEucl3, -1); }),
            "Error:Invalid maximum increment -1 in IFT3");
}

// ---- differential forests ----

namespace {

// The row 1 2 3 2 1 grown from both ends.
struct RowWithTwoRoots {
  std::unique_ptr<Scene> scn = CreateScene(5, 1, 1);
  std::unique_ptr<AdjRel3> A = Spheric(1.0f);
  std::unique_ptr<AnnScn> ascn;
  RowWithTwoRoots() {
    scn->data = {1, 2, 3, 2, 1};
    ascn = Annotate3(scn.get());
    Seed(ascn.get(), 0, INF - 1);
    Seed(ascn.get(), 4, INF - 1);
    DIFT(ascn.get(), A.get());
  }
};

}  // namespace

TEST(DIFT, HandCaseOfARowWithTwoRoots) {
  RowWithTwoRoots row;
  AnnScn *ascn = row.ascn.get();
  const AdjRel3 *A = row.A.get();
  EXPECT_EQ(ascn->cost->data, (std::vector<int>{1, 2, 3, 2, 1}));
  // Voxel 2 ties; the first root served (0) takes it.
  EXPECT_EQ(ascn->label->data, (std::vector<int>{0, 0, 0, 4, 4}));
  EXPECT_EQ(ascn->pred->data, (std::vector<int>{0, 0, 1, 4, 4}));

  Mark(ascn, 4);
  std::unique_ptr<Set> F = TreeRemoval(ascn, A);
  EXPECT_EQ(SetElements(F.get()), (std::vector<int>{2}));
  EXPECT_EQ(ascn->cost->data, (std::vector<int>{1, 2, 3, INF, INF}));
  EXPECT_EQ(ascn->pred->data, (std::vector<int>{0, 0, 1, 3, 4}));
  EXPECT_EQ(ascn->marks, nullptr);
}

TEST(DIFT, RemovalRegrowsFromTheFrontier) {
  RowWithTwoRoots row;
  AnnScn *ascn = row.ascn.get();
  Mark(ascn, 3);  // any voxel of the tree names it
  DIFT(ascn, row.A.get());
  EXPECT_EQ(ascn->cost->data, (std::vector<int>{1, 2, 3, 3, 3}));
  EXPECT_EQ(ascn->label->data, (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(ascn->pred->data, (std::vector<int>{0, 0, 1, 2, 3}));
}

TEST(DIFT, EmptySetsChangeNothing) {
  std::mt19937 rng(3);
  auto scn = RandomScene(rng, 4, 4, 3, 9);
  auto A = Spheric(1.8f);
  auto ascn = Annotate3(scn.get());
  Seed(ascn.get(), 5, INF - 1);
  DIFT(ascn.get(), A.get());
  LargeVector<int> cost = ascn->cost->data, pred = ascn->pred->data, label = ascn->label->data;
  EXPECT_EQ(TreeRemoval(ascn.get(), A.get()), nullptr);
  DIFT(ascn.get(), A.get());
  EXPECT_EQ(ascn->cost->data, cost);
  EXPECT_EQ(ascn->pred->data, pred);
  EXPECT_EQ(ascn->label->data, label);
}

TEST(DIFT, SeedsAtOrBelowTheirSceneValueAreNotPlanted) {
  auto scn = CreateScene(3, 1, 1);
  scn->data = {4, 4, 4};
  auto A = Spheric(1.0f);
  auto ascn = Annotate3(scn.get());
  Seed(ascn.get(), 0, 4);
  std::unique_ptr<Set> F = TreeRemoval(ascn.get(), A.get());
  EXPECT_EQ(F, nullptr);
  EXPECT_EQ(ascn->cost->data, (std::vector<int>{4, INF, INF}));
}

TEST(DIFT, FromScratchEqualsTheBruteForceForest) {
  std::mt19937 rng(5);
  for (float radius : {1.0f, 1.8f}) {
    auto A = Spheric(radius);
    for (int trial = 0; trial < 15; trial++) {
      auto scn = RandomScene(rng, 6, 5, 4, 9);
      std::vector<int> roots = DistinctVoxels(rng, scn->VoxelCount(), 1 + trial % 4);
      auto ascn = Annotate3(scn.get());
      for (int r : roots) Seed(ascn.get(), r, INF - 1);
      DIFT(ascn.get(), A.get());
      ExpectOptimumForest(*ascn, *A, roots, "from scratch");
    }
  }
}

// Removing trees (and planting seeds) then re-growing gives what a fresh
// transform from the remaining seeds gives.
TEST(DIFT, RemovalThenRegrowthEqualsAFreshForest) {
  std::mt19937 rng(8);
  for (float radius : {1.0f, 1.8f}) {
    auto A = Spheric(radius);
    for (int trial = 0; trial < 25; trial++) {
      auto scn = RandomScene(rng, 6, 5, 4, 9);
      const int n = scn->VoxelCount();
      std::vector<int> roots = DistinctVoxels(rng, n, 3 + trial % 3);
      auto ascn = Annotate3(scn.get());
      for (int r : roots) Seed(ascn.get(), r, INF - 1);
      DIFT(ascn.get(), A.get());

      // Mark a voxel of the first root's tree (not the root itself).
      std::vector<int> tree;
      for (int v = 0; v < n; v++)
        if (ascn->label->data[v] == roots[0]) tree.push_back(v);
      Mark(ascn.get(), tree[rng() % tree.size()]);
      std::vector<int> remaining(roots.begin() + 1, roots.end());

      // Every other trial also plants a seed outside the removed tree
      // where the cost allows it.
      const bool planting = trial % 2;
      if (planting) {
        for (int v : DistinctVoxels(rng, n, n)) {
          if (ascn->label->data[v] != roots[0] && ascn->cost->data[v] > scn->data[v] + 1 &&
              std::find(roots.begin(), roots.end(), v) == roots.end()) {
            Seed(ascn.get(), v, scn->data[v] + 1);
            remaining.push_back(v);
            break;
          }
        }
      }
      DIFT(ascn.get(), A.get());
      // A seed planted inside a tree re-roots its subtree, but a voxel of
      // it served earlier at a tied cost keeps its old label: costs and
      // labels stay optimal, the labels need not follow the predecessors.
      ExpectOptimumForest(*ascn, *A, remaining, "after removal", !planting);
      for (int v = 0; v < n; v++) EXPECT_NE(ascn->label->data[v], roots[0]);
    }
  }
}

TEST(DIFT, CostsBeyondTheSceneValuesFail) {
  auto scn = CreateScene(5, 1, 1);
  scn->data = {1, 0, 0, 0, 1};
  auto A = Spheric(1.0f);
  auto ascn = Annotate3(scn.get());
  iftGenDistTrans3(ascn.get(), A.get(), FEucl3);  // costs 0 1 4 1 0, voxel 2 rooted at 4
  EXPECT_EQ(ascn->cost->data, (std::vector<int>{0, 1, 4, 1, 0}));
  EXPECT_EQ(ascn->label->data, (std::vector<int>{0, 0, 4, 4, 4}));
  AddMark3(ascn.get(), 0, 0, 0);
  EXPECT_EQ(FatalText([&] { DIFT(ascn.get(), A.get()); }),
            "Error:Cost 4 of voxel 2 lies outside the scene's values 0 to 1 in DIFT");
}

TEST(DIFT, ForeignLabelsFailInsteadOfReadingOutside) {
  auto scn = CreateScene(3, 1, 1);
  auto A = Spheric(1.0f);
  auto ascn = Annotate3(scn.get());
  AddSeed3(ascn.get(), 1, 0, 0, 0, 99, 1);
  AddMark3(ascn.get(), 1, 0, 0);
  EXPECT_EQ(FatalText([&] { TreeRemoval(ascn.get(), A.get()); }),
            "Error:The root 99 is not a voxel of the scene (0 to 2) in TreeRemoval");
}

// ---- border-tracking forests ----

namespace {

struct BorderRun {
  std::unique_ptr<BMap> isobj, bordermap;
  std::unique_ptr<BorderList> border;
  explicit BorderRun(int n) : isobj(BMapNew(n)), bordermap(BMapNew(n)), border(CreateBorder(n)) {}
};

std::vector<int> ListElements(const BorderList &B) {
  std::vector<int> out;
  for (int e = B.first; e != -1 && out.size() <= (size_t)B.n; e = B.link[e].next) out.push_back(e);
  return out;
}

// Membership follows the trees, and the border list holds exactly the
// object voxels with a neighbour outside the object, once each, with
// bordermap marking its members.
void ExpectObjectAndBorder(const AnnScn &a, const AdjRel3 &A, const BorderRun &run,
                           const std::set<int> &objectRoots) {
  const Scene &s = *a.scene;
  const int n = s.VoxelCount();
  std::set<int> expected;
  for (int v = 0; v < n; v++) {
    bool in = objectRoots.count(a.label->data[v]) != 0;
    ASSERT_EQ(BMapGet(run.isobj.get(), v), in ? 1 : 0) << "voxel " << v;
    if (!in) continue;
    for (int q : Neighbours(s, A, v))
      if (!objectRoots.count(a.label->data[q])) expected.insert(v);
  }
  std::vector<int> list = ListElements(*run.border);
  std::set<int> listed(list.begin(), list.end());
  EXPECT_EQ(listed.size(), list.size()) << "duplicates in the border list";
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(run.border->count, static_cast<int>(list.size()));
  for (int v = 0; v < n; v++) EXPECT_EQ(BMapGet(run.bordermap.get(), v), listed.count(v) ? 1 : 0);
}

}  // namespace

TEST(BDIFT, ObjectMembershipAndBorderFromScratch) {
  std::mt19937 rng(21);
  for (float radius : {1.0f, 1.8f}) {
    auto A = Spheric(radius);
    for (int trial = 0; trial < 15; trial++) {
      auto scn = RandomScene(rng, 6, 5, 4, 9);
      const int n = scn->VoxelCount();
      std::vector<int> roots = DistinctVoxels(rng, n, 2 + trial % 3);
      BorderRun run(n);
      auto ascn = Annotate3(scn.get());
      std::set<int> object;
      for (size_t i = 0; i < roots.size(); i++) {
        Seed(ascn.get(), roots[i], scn->data[roots[i]]);
        if (i % 2 == 0) {
          BMapSet(run.isobj.get(), roots[i], 1);
          object.insert(roots[i]);
        }
      }
      BDIFT(ascn.get(), A.get(), run.isobj.get(), run.bordermap.get(), run.border.get());
      ExpectOptimumForest(*ascn, *A, roots, "from scratch");
      ExpectObjectAndBorder(*ascn, *A, run, object);
    }
  }
}

TEST(BDIFT, RemovingTheObjectsTreesEmptiesTheBorder) {
  std::mt19937 rng(34);
  auto A = Spheric(1.8f);
  for (int trial = 0; trial < 10; trial++) {
    auto scn = RandomScene(rng, 6, 5, 4, 9);
    const int n = scn->VoxelCount();
    std::vector<int> roots = DistinctVoxels(rng, n, 3);
    BorderRun run(n);
    auto ascn = Annotate3(scn.get());
    for (int r : roots) Seed(ascn.get(), r, scn->data[r]);
    BMapSet(run.isobj.get(), roots[0], 1);
    BDIFT(ascn.get(), A.get(), run.isobj.get(), run.bordermap.get(), run.border.get());
    ASSERT_GT(run.border->count, 0);

    Mark(ascn.get(), roots[0]);
    BDIFT(ascn.get(), A.get(), run.isobj.get(), run.bordermap.get(), run.border.get());
    std::vector<int> remaining(roots.begin() + 1, roots.end());
    ExpectOptimumForest(*ascn, *A, remaining, "after removal");
    ExpectObjectAndBorder(*ascn, *A, run, {});
  }
}

TEST(BDIFT, RemovingABackgroundTreeGrowsTheObject) {
  std::mt19937 rng(55);
  int compared = 0;
  for (int trial = 0; trial < 40; trial++) {
    auto A = Spheric(trial % 2 ? 1.8f : 1.0f);
    auto scn = RandomScene(rng, 6, 5, 4, 9);
    const int n = scn->VoxelCount();
    std::vector<int> roots = DistinctVoxels(rng, n, 4);
    BorderRun run(n);
    auto ascn = Annotate3(scn.get());
    for (int r : roots) Seed(ascn.get(), r, scn->data[r]);
    BMapSet(run.isobj.get(), roots[0], 1);
    BDIFT(ascn.get(), A.get(), run.isobj.get(), run.bordermap.get(), run.border.get());
    // The shared bit map keeps a voxel whose root is on the frontier off it;
    // the comparison is made where no root touches the removed tree.
    bool rootTouches = false;
    for (int v = 0; v < n; v++)
      if (ascn->label->data[v] == roots[3])
        for (int q : Neighbours(*scn, *A, v))
          rootTouches = rootTouches || (q != roots[3] && ascn->label->data[q] != roots[3] &&
                                        std::find(roots.begin(), roots.end(), q) != roots.end());
    Mark(ascn.get(), roots[3]);
    BDIFT(ascn.get(), A.get(), run.isobj.get(), run.bordermap.get(), run.border.get());
    if (rootTouches) continue;
    compared++;
    ExpectOptimumForest(*ascn, *A, {roots[0], roots[1], roots[2]}, "after removal");
    ExpectObjectAndBorder(*ascn, *A, run, {roots[0]});
  }
  EXPECT_GT(compared, 10);
}

TEST(BDIFT, MapsAndListOfAnotherSizeFail) {
  auto scn = CreateScene(2, 2, 2);
  auto A = Spheric(1.0f);
  auto ascn = Annotate3(scn.get());
  BorderRun good(8), bad(9);
  EXPECT_EQ(FatalText([&] {
              BDIFT(ascn.get(), A.get(), bad.isobj.get(), good.bordermap.get(), good.border.get());
            }),
            "Error:The bit map isobj has 9 bits for a scene of 8 voxels in BDIFT");
  EXPECT_EQ(FatalText([&] {
              BDIFT(ascn.get(), A.get(), good.isobj.get(), good.bordermap.get(), bad.border.get());
            }),
            "Error:The border list holds 9 elements for a scene of 8 voxels in BDIFT");
  EXPECT_EQ(FatalText([&] {
              BTreeRemoval(ascn.get(), A.get(), good.border.get(), bad.bordermap.get());
            }),
            "Error:The bit map bordermap has 9 bits for a scene of 8 voxels in BTreeRemoval");
}
