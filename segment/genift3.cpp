#include "segment/genift3.h"

#include <algorithm>
#include <climits>
#include <string>
#include <type_traits>
#include <vector>

#include "core/common.h"
#include "core/queue.h"

namespace {

// Address arithmetic of one scene: decoding a voxel index.
struct VoxelGrid {
  const Scene *scn;
  int xysize;

  explicit VoxelGrid(const Scene *s) : scn(s), xysize(s->xsize * s->ysize) {}
};

// The neighbours of a relation that lie inside the scene. Voxels at least
// the relation's frame size away from every face take all their neighbours
// by offset without a test; only the others test each neighbour.
struct Neighbourhood {
  VoxelGrid grid;
  const AdjRel3 *A;
  std::unique_ptr<AdjVxl> offsets;
  int margin;

  Neighbourhood(const Scene *s, const AdjRel3 *adj)
      : grid(s), A(adj), offsets(AdjVoxels(s, adj)), margin(FrameSize3(adj)) {}

  // visit(q) (or visit(q, qx, qy, qz)) for every q = p + displacement(i),
  // i >= 1, inside the scene and other than p itself.
  template <class Visit>
  void ForEach(int p, Visit visit) const {
    const Scene *scn = grid.scn;
    int z = p / grid.xysize;
    int rest = p % grid.xysize;
    int y = rest / scn->xsize;
    int x = rest % scn->xsize;
    const bool interior = x >= margin && x < scn->xsize - margin && y >= margin &&
                          y < scn->ysize - margin && z >= margin && z < scn->zsize - margin;
    const int *dp = offsets->dp.data();
    for (int i = 1; i < A->n; i++) {
      int qx = x + A->dx[i], qy = y + A->dy[i], qz = z + A->dz[i];
      int q;
      if (interior) {
        q = p + dp[i];
      } else {
        if (!scn->Valid(qx, qy, qz)) continue;
        q = scn->Address(qx, qy, qz);
      }
      if (q == p) continue;
      if constexpr (std::is_invocable_v<Visit, int, int, int, int>)
        visit(q, qx, qy, qz);
      else
        visit(q);
    }
  }
};

void CheckVoxel(int p, int n, const char *what, const char *func) {
  if (p < 0 || p >= n)
    Error(std::string(what) + " " + std::to_string(p) + " is not a voxel of the scene (0 to " +
              std::to_string(n - 1) + ")",
          func);
}

void CheckBitMap(const BMap *b, int n, const char *name, const char *func) {
  if (b->nbits != n)
    Error("The bit map " + std::string(name) + " has " + std::to_string(b->nbits) +
              " bits for a scene of " + std::to_string(n) + " voxels",
          func);
}

void CheckBorderList(const BorderList *B, int n, const char *func) {
  if (B->n != n)
    Error("The border list holds " + std::to_string(B->n) + " elements for a scene of " +
              std::to_string(n) + " voxels",
          func);
}

long long SquaredDistance(const VoxelGrid &grid, int a, int b) {
  int xsize = grid.scn->xsize;
  long long ax = (a % grid.xysize) % xsize, ay = (a % grid.xysize) / xsize, az = a / grid.xysize;
  long long bx = (b % grid.xysize) % xsize, by = (b % grid.xysize) / xsize, bz = b / grid.xysize;
  return (ax - bx) * (ax - bx) + (ay - by) * (ay - by) + (az - bz) * (az - bz);
}

int ClampToInfinite(long long d) { return d < kInfiniteCost ? static_cast<int>(d) : kInfiniteCost; }

// A path cost as the growth loop calls it: Prepare(p) once for the voxel
// served, then one call per neighbour q at (qx, qy, qz).
struct PointerCost {
  const AnnScn *ascn;
  PathCost3 f;
  void Prepare(int) {}
  int operator()(int p, int q, int, int, int, int costq) const { return f(ascn, p, q, costq); }
};

// FEucl3, FEuclIn3 and FEuclOut3 with the root of p decoded once per served
// voxel and q's coordinates taken from the walk: the same values without
// two divisions per neighbour.
enum class Side { kAnywhere, kInside, kOutside };
template <Side kSide>
struct EuclideanCost {
  const AnnScn *ascn;
  VoxelGrid grid;
  long long rx = 0, ry = 0, rz = 0;
  void Prepare(int p) {
    int r = ascn->label->data[p];
    rx = (r % grid.xysize) % grid.scn->xsize;
    ry = (r % grid.xysize) / grid.scn->xsize;
    rz = r / grid.xysize;
  }
  int operator()(int, int q, int qx, int qy, int qz, int) const {
    if (kSide == Side::kInside && ascn->scene->data[q] == 0) return kInfiniteCost;
    if (kSide == Side::kOutside && ascn->scene->data[q] != 0) return kInfiniteCost;
    return ClampToInfinite((qx - rx) * (qx - rx) + (qy - ry) * (qy - ry) + (qz - rz) * (qz - rz));
  }
};

template <class Cost>
void GrowForest(AnnScn *ascn, const AdjRel3 *A, Cost pathcost, int maxinc) {
  if (maxinc < 0 || maxinc == INT_MAX)
    Error("Invalid maximum increment " + std::to_string(maxinc), "IFT3");
  const int nbuckets = maxinc + 1;
  const Neighbourhood around(ascn->scene, A);
  const int n = ascn->scene->VoxelCount();
  std::unique_ptr<Queue> Q = CreateQueue(nbuckets, n);
  int *cost = ascn->cost->data.data();
  int *pred = ascn->pred->data.data();
  int *label = ascn->label->data.data();

  while (ascn->seeds) {
    int s = RemoveSet(&ascn->seeds);
    CheckVoxel(s, n, "Seed", "IFT3");
    // A voxel offered twice is queued once, under its final cost.
    if (Q->elem[s].color != GRAY) InsertQueue(Q.get(), cost[s] % nbuckets, s);
  }

  int p;
  while ((p = RemoveQueue(Q.get())) != -1) {
    pathcost.Prepare(p);
    around.ForEach(p, [&](int q, int qx, int qy, int qz) {
      if (cost[p] >= cost[q]) return;
      int c = pathcost(p, q, qx, qy, qz, cost[q]);
      if (c >= cost[q]) return;
      // Euclidean costs are not monotone: a voxel already served can be
      // improved and is then queued again.
      if (Q->elem[q].color == GRAY)
        UpdateQueue(Q.get(), q, cost[q] % nbuckets, c % nbuckets);
      else
        InsertQueue(Q.get(), c % nbuckets, q);
      cost[q] = c;
      pred[q] = p;
      label[q] = label[p];
    });
  }
}

// The frontier of a removal, each voxel once, and the trees' reset.
struct Removal {
  AnnScn *ascn;
  Neighbourhood around;
  int n;
  std::vector<int> work;  // removed voxels, in the order they were reached
  std::unique_ptr<Set> frontier;

  Removal(AnnScn *a, const AdjRel3 *adj)
      : ascn(a), around(a->scene, adj), n(a->scene->VoxelCount()) {}

  // Pops the marks and resets the root of each marked tree (once).
  void ResetMarkedRoots(BMap *removedRoots, const char *func) {
    int *cost = ascn->cost->data.data();
    int *pred = ascn->pred->data.data();
    while (ascn->marks) {
      int m = RemoveSet(&ascn->marks);
      CheckVoxel(m, n, "Mark", func);
      int r = ascn->label->data[m];
      CheckVoxel(r, n, "The root", func);
      if (cost[r] == kInfiniteCost) continue;
      BMapSet(removedRoots, r, 1);
      work.push_back(r);
      cost[r] = kInfiniteCost;
      pred[r] = r;
    }
  }

  // Walks the removed trees from their roots, resetting every voxel whose
  // predecessor is being removed; other neighbours go to frontier(q) when
  // accept(q) says so. leave(p) is called for every removed voxel.
  template <class Accept, class Leave>
  void ResetTrees(Accept accept, Leave leave) {
    int *cost = ascn->cost->data.data();
    int *pred = ascn->pred->data.data();
    for (size_t i = 0; i < work.size(); i++) {
      int p = work[i];
      leave(p);
      around.ForEach(p, [&](int q) {
        if (pred[q] == p) {
          cost[q] = kInfiniteCost;
          pred[q] = q;
          work.push_back(q);
        } else if (accept(q)) {
          InsertSet(&frontier, q);
        }
      });
    }
  }
};

// The re-growth queue of the maximum-arc cost: a bucket per scene value,
// holding the frontier under its costs. Voxels of infinite cost extend no
// path and stay out.
std::unique_ptr<Queue> FrontierQueue(AnnScn *ascn, const Set *frontier, const char *func) {
  int top = MaximumValue3(ascn->scene);
  if (top < 0 || top == INT_MAX)
    Error("Scene values must lie between 0 and 2147483646 (the largest is " + std::to_string(top) +
              ")",
          func);
  int n = ascn->scene->VoxelCount();
  std::unique_ptr<Queue> Q = CreateQueue(top + 1, n);
  const int *cost = ascn->cost->data.data();
  for (const Set *s = frontier; s != nullptr; s = s->next.get()) {
    int c = cost[s->elem];
    if (c == kInfiniteCost) continue;
    if (c < 0 || c > top)
      Error("Cost " + std::to_string(c) + " of voxel " + std::to_string(s->elem) +
                " lies outside the scene's values 0 to " + std::to_string(top),
            func);
    InsertQueue(Q.get(), c, s->elem);
  }
  return Q;
}

void BitOn(BMap *b, int p) { BMapSet(b, p, 1); }

// What a re-growth from a frontier works on.
struct Regrowth {
  Neighbourhood around;
  int *cost, *pred, *label;
  const int *scene;
  std::unique_ptr<Queue> Q;

  Regrowth(AnnScn *a, const AdjRel3 *A, std::unique_ptr<Set> frontier, const char *func)
      : around(a->scene, A),
        cost(a->cost->data.data()),
        pred(a->pred->data.data()),
        label(a->label->data.data()),
        scene(a->scene->data.data()),
        Q(FrontierQueue(a, frontier.get(), func)) {}
};

}  // namespace

int FEucl3(const AnnScn *ascn, int p, int q, int) {
  return ClampToInfinite(SquaredDistance(VoxelGrid(ascn->scene), q, ascn->label->data[p]));
}

int FEuclIn3(const AnnScn *ascn, int p, int q, int costq) {
  if (ascn->scene->data[q] == 0) return kInfiniteCost;
  return FEucl3(ascn, p, q, costq);
}

int FEuclOut3(const AnnScn *ascn, int p, int q, int costq) {
  if (ascn->scene->data[q] != 0) return kInfiniteCost;
  return FEucl3(ascn, p, q, costq);
}

// The Euclidean costs are compiled into the loop; other costs are called
// through the pointer.
void IFT3(AnnScn *ascn, const AdjRel3 *A, PathCost3 pathcost, int maxinc) {
  if (pathcost == nullptr) Error("No path-cost function", "IFT3");
  const VoxelGrid grid(ascn->scene);
  if (pathcost == FEucl3)
    GrowForest(ascn, A, EuclideanCost<Side::kAnywhere>{ascn, grid}, maxinc);
  else if (pathcost == FEuclIn3)
    GrowForest(ascn, A, EuclideanCost<Side::kInside>{ascn, grid}, maxinc);
  else if (pathcost == FEuclOut3)
    GrowForest(ascn, A, EuclideanCost<Side::kOutside>{ascn, grid}, maxinc);
  else
    GrowForest(ascn, A, PointerCost{ascn, pathcost}, maxinc);
}

void iftGenDistTrans3(AnnScn *ascn, const AdjRel3 *A, PathCost3 pathcost) {
  const Scene *scn = ascn->scene;
  static const int kFace[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++)
      for (int x = 0; x < scn->xsize; x++) {
        int p = scn->Address(x, y, z);
        if (scn->data[p] == 0) continue;
        for (const auto &f : kFace) {
          int qx = x + f[0], qy = y + f[1], qz = z + f[2];
          if (!scn->Valid(qx, qy, qz) || scn->data[scn->Address(qx, qy, qz)] == 0) {
            AddSeed3(ascn, x, y, z, 0, p, p);
            break;
          }
        }
      }
  long long d = FrameSize3(A);
  long long maxinc = 3 * d * d + 2 * d * (static_cast<long long>(scn->xsize) + scn->ysize + scn->zsize);
  if (maxinc >= INT_MAX) Error("The relation is too wide for the scene", "iftGenDistTrans3");
  IFT3(ascn, A, pathcost, static_cast<int>(maxinc));
}

std::unique_ptr<Set> TreeRemoval(AnnScn *ascn, const AdjRel3 *A) {
  Removal removal(ascn, A);
  const int n = removal.n;
  std::unique_ptr<BMap> removedRoot = BMapNew(n);
  std::unique_ptr<BMap> inFrontier = BMapNew(n);
  if (!removedRoot || !inFrontier) Error("Cannot allocate memory space", "TreeRemoval");
  const int *label = ascn->label->data.data();

  removal.ResetMarkedRoots(removedRoot.get(), "TreeRemoval");
  removal.ResetTrees(
      [&](int q) {
        CheckVoxel(label[q], n, "The root", "TreeRemoval");
        if (BMapGet(removedRoot.get(), label[q]) || BMapGet(inFrontier.get(), q)) return false;
        BitOn(inFrontier.get(), q);
        return true;
      },
      [](int) {});

  int *cost = ascn->cost->data.data();
  int *pred = ascn->pred->data.data();
  int *lab = ascn->label->data.data();
  const int *scene = ascn->scene->data.data();
  while (ascn->seeds) {
    int s = RemoveSet(&ascn->seeds);
    CheckVoxel(s, n, "Seed", "TreeRemoval");
    if (scene[s] >= cost[s]) continue;
    cost[s] = scene[s];
    lab[s] = s;
    pred[s] = s;
    if (!BMapGet(inFrontier.get(), s)) {
      BitOn(inFrontier.get(), s);
      InsertSet(&removal.frontier, s);
    }
  }
  return std::move(removal.frontier);
}

void DIFT(AnnScn *ascn, const AdjRel3 *A) {
  Regrowth g(ascn, A, TreeRemoval(ascn, A), "DIFT");
  int *cost = g.cost, *pred = g.pred, *label = g.label;
  const int *scene = g.scene;
  Queue *Q = g.Q.get();
  int p;
  while ((p = RemoveQueue(Q)) != -1) {
    g.around.ForEach(p, [&](int q) {
      if (Q->elem[q].color == BLACK) return;
      int c = std::max(cost[p], scene[q]);
      if (c >= cost[q] && pred[q] != p) return;
      if (Q->elem[q].color == GRAY) RemoveQueueElem(Q, q, cost[q]);
      cost[q] = c;
      pred[q] = p;
      label[q] = label[p];
      InsertQueue(Q, c, q);
    });
  }
}

std::unique_ptr<Set> BTreeRemoval(AnnScn *ascn, const AdjRel3 *A, BorderList *border,
                                  BMap *bordermap) {
  Removal removal(ascn, A);
  const int n = removal.n;
  CheckBorderList(border, n, "BTreeRemoval");
  CheckBitMap(bordermap, n, "bordermap", "BTreeRemoval");
  std::unique_ptr<BMap> marked = BMapNew(n);
  if (!marked) Error("Cannot allocate memory space", "BTreeRemoval");
  const int *label = ascn->label->data.data();
  auto leaveBorder = [&](int p) {
    if (BMapGet(bordermap, p)) {
      RemoveBorder(border, p);
      BMapSet(bordermap, p, 0);
    }
  };

  while (ascn->seeds) {
    int s = RemoveSet(&ascn->seeds);
    CheckVoxel(s, n, "Seed", "BTreeRemoval");
    if (BMapGet(marked.get(), s)) continue;
    BitOn(marked.get(), s);
    InsertSet(&removal.frontier, s);
  }
  removal.ResetMarkedRoots(marked.get(), "BTreeRemoval");
  removal.ResetTrees(
      [&](int q) {
        CheckVoxel(label[q], n, "The root", "BTreeRemoval");
        if (BMapGet(marked.get(), q) || BMapGet(marked.get(), label[q])) return false;
        BitOn(marked.get(), q);
        leaveBorder(q);
        return true;
      },
      leaveBorder);
  return std::move(removal.frontier);
}

void BDIFT(AnnScn *ascn, const AdjRel3 *A, BMap *isobj, BMap *bordermap, BorderList *border) {
  const int n = ascn->scene->VoxelCount();
  CheckBitMap(isobj, n, "isobj", "BDIFT");
  CheckBitMap(bordermap, n, "bordermap", "BDIFT");
  CheckBorderList(border, n, "BDIFT");
  Regrowth g(ascn, A, BTreeRemoval(ascn, A, border, bordermap), "BDIFT");
  int *cost = g.cost, *pred = g.pred, *label = g.label;
  const int *scene = g.scene;
  Queue *Q = g.Q.get();
  auto joinBorder = [&](int v) {
    if (BMapGet(bordermap, v)) return;
    InsertBorder(border, v);
    BMapSet(bordermap, v, 1);
  };
  // Without a state test a voxel may be served more than once; a
  // predecessor map with a cycle (which only foreign seeds can bring)
  // would serve it for ever, so the work is bounded.
  const long long budget = static_cast<long long>(n) * (A->n + 1) + 1;
  long long served = 0;
  int p;
  while ((p = RemoveQueue(Q)) != -1) {
    if (++served > budget) Error("The predecessor map has a cycle", "BDIFT");
    g.around.ForEach(p, [&](int q) {
      if (cost[p] < cost[q] || pred[q] == p) {
        int c = std::max(cost[p], scene[q]);
        if (c < cost[q] || pred[q] == p) {
          if (Q->elem[q].color == GRAY) RemoveQueueElem(Q, q, cost[q]);
          cost[q] = c;
          pred[q] = p;
          label[q] = label[p];
          BMapSet(isobj, q, BMapGet(isobj, p));
          InsertQueue(Q, c, q);
          return;
        }
      }
      // p does not take q: the pair is settled as far as p can tell, and a
      // change of membership across it is border. (Testing only one of
      // the two ways of not taking q would miss the pairs whose other
      // voxel is never served again.)
      int pIn = BMapGet(isobj, p), qIn = BMapGet(isobj, q);
      if (pIn && !qIn) joinBorder(p);
      if (qIn && !pIn) joinBorder(q);
    });
  }
}
