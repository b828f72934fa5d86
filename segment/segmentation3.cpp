#include "segment/segmentation3.h"

#include <climits>
#include <cmath>

#include "core/adjacency3.h"
#include "core/curve.h"
#include "segment/radiometric3.h"
#include "segment/voxelwise3.h"

std::unique_ptr<Scene> Threshold3(const Scene *scn, int lower, int higher) {
  std::unique_ptr<Scene> bin = CreateSceneLike3(scn);
  const int n = scn->VoxelCount();
  for (int p = 0; p < n; p++) {
    int v = scn->data[p];
    bin->data[p] = (lower <= v && v <= higher) ? 1 : 0;
  }
  bin->maxval = 1;
  return bin;
}

int AutoThreshold3(Scene *scn) {
  std::unique_ptr<Curve> h = Histogram3(scn);
  // Counts are whole numbers held in doubles, so the differences are
  // exact; their differences need more than 32 bits.
  long long prev = 0, best = 0;
  int t = 0;
  for (int i = 1; i < h->n; i++) {
    long long d = static_cast<long long>(std::trunc(h->Y[i] - h->Y[i - 1]));
    if (d - prev < best) {
      best = d - prev;
      t = i;
    }
    prev = d;
  }
  return t;
}

std::unique_ptr<Scene> ThresholdMask3(const Scene *scn, const Scene *mask, int lower, int higher) {
  CheckSameSize3(scn, mask, "ThresholdMask3");
  std::unique_ptr<Scene> out = CreateSceneLike3(scn);
  const int n = scn->VoxelCount();
  int top = INT_MIN;
  for (int p = 0; p < n; p++) {
    int v = scn->data[p], m = mask->data[p];
    if (lower <= v && v <= higher && m != 0) {
      out->data[p] = m;
      if (m > top) top = m;
    }
  }
  out->maxval = top;
  return out;
}

std::unique_ptr<Scene> Highlight3(const Scene *scn, const Scene *label, int value) {
  CheckSameSize3(scn, label, "Highlight3");
  std::unique_ptr<Scene> out = CopyScene(scn);
  std::unique_ptr<AdjRel3> A = Spheric(1.0f);
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++)
      for (int x = 0; x < scn->xsize; x++) {
        int p = scn->Address(x, y, z);
        int lp = label->data[p];
        for (int i = 1; i < A->n; i++) {
          int qx = x + A->dx[i], qy = y + A->dy[i], qz = z + A->dz[i];
          if (!scn->Valid(qx, qy, qz)) continue;
          if (lp > label->data[scn->Address(qx, qy, qz)]) {
            out->data[p] = value;
            break;
          }
        }
      }
  return out;
}
