#include "lib2d/analysis.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "core/adjacency.h"
#include "core/common.h"
#include "core/image.h"
#include "segment/distprop.h"

// The 3D engine on a single framed plane (every displacement has dz = 0).
// Seeds are the pixels of value 1 with a 4-neighbour of value 0 or outside;
// pixels of other non-zero values count as object but never seed.
std::unique_ptr<Image> SignedDistTrans(const Image *bin, const AdjRel *A, signed char side) {
  const int d = FrameSize(A);
  const long long fc = bin->ncols + 2LL * d, fr = bin->nrows + 2LL * d;
  const int nframed = CheckedVoxelCount(fc, fr, 1, "SignedDistTrans");
  const int fcols = static_cast<int>(fc);
  auto framed = [&](int x, int y) { return (x + d) + fcols * (y + d); };

  Propagation pr;
  LargeVector<int> cost(nframed, kBlocked);  // 4 bytes/framed pixel
  const int nc = bin->ncols, nr = bin->nrows;
  for (int y = 0; y < nr; y++) {
    const int *v = bin->val.data() + bin->tbrow[y];
    int *K = cost.data() + framed(0, y);
    for (int x = 0; x < nc; x++) {
      const int *p = v + x;
      bool seed = *p == 1 && (x == 0 || x == nc - 1 || y == 0 || y == nr - 1 || p[-1] == 0 ||
                              p[1] == 0 || p[-nc] == 0 || p[nc] == 0);
      if (seed) {
        K[x] = 0;
        pr.seeds.push_back(framed(x, y));
      } else if (side == 1) {
        K[x] = *p == 0 ? kUnreached : kBlocked;
      } else if (side == 0) {
        K[x] = *p == 0 ? kBlocked : kUnreached;
      } else {
        K[x] = kUnreached;
      }
    }
  }

  Image shape;  // only its width: the offsets are those of the framed plane
  shape.ncols = fcols;
  shape.nrows = static_cast<int>(fr);
  auto adj = AdjPixels(&shape, A);
  pr.offset = adj->dp;
  pr.ax.resize(A->n);
  pr.ay.resize(A->n);
  pr.az.assign(A->n, 0);
  for (int i = 0; i < A->n; i++) {
    pr.ax[i] = std::abs(A->dx[i]);
    pr.ay[i] = std::abs(A->dy[i]);
  }
  pr.cost = cost.data();
  pr.nvoxels = nframed;
  long long b = 2LL * d * (d + static_cast<long long>(nc) + nr);
  pr.nbuckets = static_cast<int>(std::min<long long>(std::max<long long>(b, 1), INT_MAX));
  pr.largestSide = std::max(nc, nr);
  PropagateDisplacements(pr);

  auto out = CreateImage(nc, nr);
  for (int y = 0; y < nr; y++) {
    const int *v = bin->val.data() + bin->tbrow[y];
    const int *K = cost.data() + framed(0, y);
    int *o = out->val.data() + out->tbrow[y];
    for (int x = 0; x < nc; x++) {
      int k = K[x] == kBlocked ? 0 : K[x];
      o[x] = v[x] == 0 ? -k : k;
    }
  }
  return out;
}
