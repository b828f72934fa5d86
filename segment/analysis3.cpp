#include "segment/analysis3.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "core/adjacency.h"
#include "core/adjacency3.h"
#include "core/common.h"
#include "core/image.h"
#include "core/progress.h"
#include "core/scene.h"
#include "lib2d/analysis.h"
#include "segment/annscn.h"
#include "segment/genift3.h"
#include "segment/distprop.h"

namespace {

// The volume enlarged by the relation's reach d on every side, so that no
// step from a voxel of the scene can leave it; rows and columns are padded
// further on their far side to multiples of 4, so that the propagation may
// keep the costs in 4x4 tiles.
struct FramedShape {
  int d = 0;
  int fx = 0, fy = 0, fz = 0;
  int nvoxels = 0;
  int Address(int x, int y, int z) const { return (x + d) + fx * ((y + d) + fy * (z + d)); }
};

FramedShape FrameOf(const Scene *scn, const AdjRel3 *A, const char *func) {
  FramedShape f;
  f.d = FrameSize3(A);
  long long fx = (scn->xsize + 2LL * f.d + 3) / 4 * 4, fy = (scn->ysize + 2LL * f.d + 3) / 4 * 4,
            fz = scn->zsize + 2LL * f.d;
  f.nvoxels = CheckedVoxelCount(fx, fy, fz, func);
  f.fx = static_cast<int>(fx);
  f.fy = static_cast<int>(fy);
  f.fz = static_cast<int>(fz);
  return f;
}

// A seed: a non-zero voxel with a face neighbour outside the scene or of
// another value.
inline bool IsBorderVoxel(const Scene *scn, const int *v, int x, int y, int z) {
  const int l = *v;
  if (l == 0) return false;
  const int xs = scn->xsize, slice = scn->xsize * scn->ysize;
  return x == 0 || x == xs - 1 || y == 0 || y == scn->ysize - 1 || z == 0 || z == scn->zsize - 1 ||
         v[-1] != l || v[1] != l || v[-xs] != l || v[xs] != l || v[-slice] != l || v[slice] != l;
}

// The framed cost map and the seeds, in address order, for the side asked
// for. Fixed zeros (the side not asked for) and the frame are kBlocked:
// neither is ever processed or changed.
void InitCosts(const Scene *scn, const FramedShape &f, signed char side, Propagation *pr,
               LargeVector<int> *cost) {
  progress::Fill(cost, f.nvoxels, kBlocked);
  int *K = cost->data();
  for (int z = 0; z < scn->zsize; z++) {
    progress::Tick();
    for (int y = 0; y < scn->ysize; y++) {
      const int *row = scn->data.data() + scn->Address(0, y, z);
      int q = f.Address(0, y, z);
      for (int x = 0; x < scn->xsize; x++, q++) {
        const int *v = row + x;
        if (IsBorderVoxel(scn, v, x, y, z)) {
          K[q] = 0;
          pr->seeds.push_back(q);
        } else if (side == 1) {
          K[q] = *v == 0 ? kUnreached : kBlocked;
        } else if (side == 0) {
          K[q] = *v == 0 ? kBlocked : kUnreached;
        } else {
          K[q] = kUnreached;
        }
      }
    }
  }
}

void SetRelation(const AdjRel3 *A, const FramedShape &f, Propagation *pr) {
  Scene shape;  // only its sizes: the offsets are those of the framed volume
  shape.xsize = f.fx;
  shape.ysize = f.fy;
  shape.zsize = f.fz;
  auto adj = AdjVoxels(&shape, A);
  pr->offset = adj->dp;
  pr->ax.resize(A->n);
  pr->ay.resize(A->n);
  pr->az.resize(A->n);
  pr->dx = A->dx;
  for (int i = 0; i < A->n; i++) {
    pr->ax[i] = std::abs(A->dx[i]);
    pr->ay[i] = std::abs(A->dy[i]);
    pr->az[i] = std::abs(A->dz[i]);
  }
}

// A scene of the given sizes whose voxels are the first of `voxels` (the
// rest, if any, is spare capacity of the scene's storage).
std::unique_ptr<Scene> SceneOver(LargeVector<int> voxels, int xsize, int ysize, int zsize) {
  auto scn = CreateScene(1, 1, 1);
  const size_t n = static_cast<size_t>(xsize) * ysize * zsize;
  voxels.resize(n);
  scn->data.swap(voxels);
  scn->xsize = xsize;
  scn->ysize = ysize;
  scn->zsize = zsize;
  scn->tby.resize(ysize);
  scn->tbz.resize(zsize);
  for (int y = 0; y < ysize; y++) scn->tby[y] = y * xsize;
  for (int z = 0; z < zsize; z++) scn->tbz[z] = z * xsize * ysize;
  return scn;
}

// Buckets of the queue: larger than any step of one move in a scene of
// these sides.
int BucketCount(const Scene *scn, int d) {
  long long b = 3LL * d * d + 2LL * d * (static_cast<long long>(scn->xsize) + scn->ysize + scn->zsize);
  return static_cast<int>(std::min<long long>(std::max<long long>(b, 1), INT_MAX));
}

// Shared by DistTrans3 and TDistTrans3: the unframed costs, negated on
// background voxels (fixed zeros read 0).
std::unique_ptr<Scene> SignedDistances(const Scene *bin, const AdjRel3 *A, signed char side,
                                       int limit, const char *func) {
  FramedShape f = FrameOf(bin, A, func);
  Propagation pr;
  LargeVector<int> cost;  // 4 bytes/framed voxel
  InitCosts(bin, f, side, &pr, &cost);
  SetRelation(A, f, &pr);
  pr.cost = cost.data();
  pr.nvoxels = f.nvoxels;
  pr.nbuckets = BucketCount(bin, f.d);
  pr.limit = limit;
  pr.largestSide = std::max({bin->xsize, bin->ysize, bin->zsize});
  pr.fx = f.fx;
  pr.fy = f.fy;
  PropagateDisplacements(pr);

  // The result is unframed inside the cost map, which then becomes the
  // scene's storage: no second volume is allocated and filled. A voxel's
  // unframed address is never above its framed one, so a forward pass
  // never overwrites a cost it has still to read.
  int *K = cost.data();
  const int *in = bin->data.data();
  int *o = K;
  for (int z = 0; z < bin->zsize; z++) {
    progress::Tick();
    for (int y = 0; y < bin->ysize; y++) {
      const int *row = K + f.Address(0, y, z);
      for (int x = 0; x < bin->xsize; x++, in++, o++) {
        const int k = row[x] == kBlocked ? 0 : row[x];
        *o = *in == 0 ? -k : k;
      }
    }
  }
  return SceneOver(std::move(cost), bin->xsize, bin->ysize, bin->zsize);
}

}  // namespace

std::unique_ptr<Scene> DistTrans3(const Scene *bin, const AdjRel3 *A, signed char side) {
  return SignedDistances(bin, A, side, INT_MAX, "DistTrans3");
}

std::unique_ptr<Scene> TDistTrans3(const Scene *bin, const AdjRel3 *A, signed char side, int limit) {
  return SignedDistances(bin, A, side, limit, "TDistTrans3");
}

// A voxel is only ever improved from a voxel of its own label, so the label
// a seed spreads is always the label of the voxel it reaches: the band is
// the input's labels wherever the propagation arrived.
std::unique_ptr<Scene> Label2Border(const Scene *lscn, const AdjRel3 *A, signed char side, int limit) {
  FramedShape f = FrameOf(lscn, A, "Label2Border");
  Propagation pr;
  LargeVector<int> cost;
  InitCosts(lscn, f, side, &pr, &cost);
  SetRelation(A, f, &pr);
  LargeVector<int> labels;  // framed with 0, the background's label
  progress::Fill(&labels, f.nvoxels, 0);
  for (int z = 0; z < lscn->zsize; z++) {
    progress::Tick();
    for (int y = 0; y < lscn->ysize; y++) {
      const int *in = lscn->data.data() + lscn->Address(0, y, z);
      std::copy(in, in + lscn->xsize, labels.begin() + f.Address(0, y, z));
    }
  }
  pr.cost = cost.data();
  pr.labels = labels.data();
  pr.nvoxels = f.nvoxels;
  pr.nbuckets = BucketCount(lscn, f.d);
  pr.limit = limit;
  pr.largestSide = std::max({lscn->xsize, lscn->ysize, lscn->zsize});
  pr.fx = f.fx;
  pr.fy = f.fy;
  PropagateDisplacements(pr);

  auto out = CreateScene(lscn->xsize, lscn->ysize, lscn->zsize);
  for (int z = 0; z < lscn->zsize; z++) {
    progress::Tick();
    for (int y = 0; y < lscn->ysize; y++) {
      const int *in = lscn->data.data() + lscn->Address(0, y, z);
      int *o = out->data.data() + out->Address(0, y, z);
      const int *K = cost.data() + f.Address(0, y, z);
      for (int x = 0; x < lscn->xsize; x++) o[x] = K[x] >= 0 && K[x] != kUnreached ? in[x] : 0;
    }
  }
  return out;
}

namespace {

// 1 where lo <= value <= hi, else 0, with the scene's voxel sizes.
std::unique_ptr<Scene> VoxelsInRange(const Scene *scn, int lo, int hi) {
  auto bin = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  bin->dx = scn->dx;
  bin->dy = scn->dy;
  bin->dz = scn->dz;
  for (size_t i = 0; i < scn->data.size(); i++) bin->data[i] = scn->data[i] >= lo && scn->data[i] <= hi;
  bin->maxval = 1;
  return bin;
}

// The signed 2D distance maps of every slice of bin across `axis`
// (0: x-slices, 1: y-slices, 2: z-slices), stacked into a scene of bin's size.
std::unique_ptr<Scene> SliceDistances(const Scene *bin, int axis, const AdjRel *A) {
  auto dist = CreateScene(bin->xsize, bin->ysize, bin->zsize);
  dist->dx = bin->dx;
  dist->dy = bin->dy;
  dist->dz = bin->dz;
  int n = axis == 0 ? bin->xsize : axis == 1 ? bin->ysize : bin->zsize;
  for (int i = 0; i < n; i++) {
    auto slice = axis == 0 ? GetXSlice(bin, i) : axis == 1 ? GetYSlice(bin, i) : GetSlice(bin, i);
    auto sdt = SignedDistTrans(slice.get(), A, 2);
    if (axis == 0)
      PutXSlice(sdt.get(), dist.get(), i);
    else if (axis == 1)
      PutYSlice(sdt.get(), dist.get(), i);
    else
      PutSlice(sdt.get(), dist.get(), i);
  }
  return dist;
}

int ResampledSize(int n, float d, float nd, const char *func) {
  double size = std::trunc(static_cast<double>(d) * (n - 1) / nd) + 1.0;
  if (!(size >= 1.0) || size > INT_MAX) Error("Invalid resampled size", func);
  return static_cast<int>(size);
}

}  // namespace

std::unique_ptr<Scene> ShapeBasedInterp(Scene *scn, float ndx, float ndy, float ndz) {
  // Voxel sizes default as in LinearInterp.
  if (scn->dx == 0.0f && scn->dy == 0.0f && scn->dz == 0.0f) scn->dx = scn->dy = scn->dz = 1.0f;
  if (ndx == 0.0f || ndy == 0.0f || ndz == 0.0f) {
    float smallest = std::min({2147483648.0f, scn->dx, scn->dy, scn->dz});
    if (!(smallest > 0.0f)) Error("Voxel distance can not be negative.", "ShapeBasedInterp");
    ndx = ndy = ndz = smallest;
  }
  if (ndx == scn->dx && ndy == scn->dy && ndz == scn->dz) return CopyScene(scn);
  const float from[3] = {scn->dx, scn->dy, scn->dz}, to[3] = {ndx, ndy, ndz};
  const int sizes[3] = {scn->xsize, scn->ysize, scn->zsize};
  int out[3];
  for (int a = 0; a < 3; a++) {
    if (from[a] != to[a] && !(from[a] > 0.0f && to[a] > 0.0f))
      Error("Voxel distance can not be negative.", "ShapeBasedInterp");
    out[a] = from[a] == to[a] ? sizes[a] : ResampledSize(sizes[a], from[a], to[a], "ShapeBasedInterp");
  }
  CheckedVoxelCount(out[0], out[1], out[2], "ShapeBasedInterp");
  auto result = CreateScene(out[0], out[1], out[2]);

  std::vector<int> labels;
  {
    std::set<int> seen;
    int last = 0;
    for (int v : scn->data)
      if (v != 0 && v != last) {
        seen.insert(v);
        last = v;
      }
    labels.assign(seen.begin(), seen.end());
  }
  auto A = Circular(1.5f);
  for (int l : labels) {
    auto bin = VoxelsInRange(scn, l, l);
    for (int a = 0; a < 3; a++) {
      if (from[a] == to[a]) continue;
      auto dist = SliceDistances(bin.get(), a, A.get());
      auto resampled = LinearInterp(dist.get(), a == 0 ? to[0] : dist->dx, a == 1 ? to[1] : dist->dy,
                                    a == 2 ? to[2] : dist->dz);
      bin = VoxelsInRange(resampled.get(), 0, INT_MAX);
    }
    if (bin->data.size() != result->data.size()) Error("Resampled sizes disagree", "ShapeBasedInterp");
    for (size_t i = 0; i < bin->data.size(); i++)
      if (bin->data[i] != 0) result->data[i] = l;
  }
  result->dx = ndx;
  result->dy = ndy;
  result->dz = ndz;
  return result;
}

// With side 1 every object voxel is fixed at cost 0 first, so AddSeed3
// refuses the border seeds (their cost is not lowered) and nothing grows:
// exterior distances come from DistTrans3.
void iftDistTrans3(AnnScn *ascn, const AdjRel3 *A, signed char side) {
  const Scene *scn = ascn->scene;
  int *cost = ascn->cost->data.data();
  if (side == 0 || side == 1)
    for (size_t p = 0; p < scn->data.size(); p++)
      if ((scn->data[p] == 0) == (side == 0)) cost[p] = 0;
  iftGenDistTrans3(ascn, A, FEucl3);
}
