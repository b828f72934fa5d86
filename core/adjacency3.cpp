#include "core/adjacency3.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

#include "core/common.h"
#include "core/scene.h"

// Larger relations are refused: a neighbourhood scan over tens of millions
// of displacements per voxel is a mistyped radius, not a request.
static const long long kMaxAdjEntries3 = 1LL << 26;

std::unique_ptr<AdjRel3> CreateAdjRel3(int n) {
  if (n < 0 || n > kMaxAdjEntries3)
    Error("Invalid number of displacements " + std::to_string(n), "CreateAdjRel3");
  auto adj = std::make_unique<AdjRel3>();
  adj->dx.assign(n, 0);
  adj->dy.assign(n, 0);
  adj->dz.assign(n, 0);
  adj->n = n;
  return adj;
}

void DestroyAdjRel3(std::unique_ptr<AdjRel3> *adj) {
  if (adj != nullptr) adj->reset();
}

// R (the integer part of r) after checking that the box of side 2R+1 fits
// the limit; a negative or non-finite radius is refused too.
static int CheckedRadius3(float r, const char *func) {
  if (!(r >= 0.0f) || r > 1.0e6f) Error("Invalid radius " + std::to_string(r), func);
  long long side = 2LL * static_cast<long long>(r) + 1;
  if (side * side * side > kMaxAdjEntries3) Error("Radius " + std::to_string(r) + " is too large", func);
  return static_cast<int>(r);
}

std::unique_ptr<AdjRel3> Spheric(float r) {
  int R = CheckedRadius3(r, "Spheric");
  int r2 = static_cast<int>(r * r);
  int n = 0;
  for (int dz = -R; dz <= R; dz++)
    for (int dy = -R; dy <= R; dy++)
      for (int dx = -R; dx <= R; dx++)
        if (dx * dx + dy * dy + dz * dz <= r2) n++;

  auto adj = CreateAdjRel3(n);
  int i = 0, origin = 0;
  for (int dz = -R; dz <= R; dz++)
    for (int dy = -R; dy <= R; dy++)
      for (int dx = -R; dx <= R; dx++)
        if (dx * dx + dy * dy + dz * dz <= r2) {
          adj->dx[i] = dx;
          adj->dy[i] = dy;
          adj->dz[i] = dz;
          if (dx == 0 && dy == 0 && dz == 0) origin = i;
          i++;
        }
  // Shift the entries before the origin up by one so they keep scan order.
  for (int j = origin; j > 0; j--) {
    adj->dx[j] = adj->dx[j - 1];
    adj->dy[j] = adj->dy[j - 1];
    adj->dz[j] = adj->dz[j - 1];
  }
  adj->dx[0] = adj->dy[0] = adj->dz[0] = 0;
  return adj;
}

std::unique_ptr<AdjRel3> Cube(int xsize, int ysize, int zsize) {
  if (xsize < 0 || ysize < 0 || zsize < 0 || xsize > 1000000 || ysize > 1000000 || zsize > 1000000)
    Error("Invalid box size " + std::to_string(xsize) + " x " + std::to_string(ysize) + " x " +
              std::to_string(zsize),
          "Cube");
  if (xsize % 2 == 0) xsize++;
  if (ysize % 2 == 0) ysize++;
  if (zsize % 2 == 0) zsize++;
  long long n = static_cast<long long>(xsize) * ysize * zsize;
  if (n > kMaxAdjEntries3)
    Error("Box of " + std::to_string(xsize) + " x " + std::to_string(ysize) + " x " +
              std::to_string(zsize) + " is too large",
          "Cube");
  auto adj = CreateAdjRel3(static_cast<int>(n));
  int i = 1;  // entry 0 stays the origin
  for (int dz = -zsize / 2; dz <= zsize / 2; dz++)
    for (int dy = -ysize / 2; dy <= ysize / 2; dy++)
      for (int dx = -xsize / 2; dx <= xsize / 2; dx++)
        if (dx != 0 || dy != 0 || dz != 0) {
          adj->dx[i] = dx;
          adj->dy[i] = dy;
          adj->dz[i] = dz;
          i++;
        }
  return adj;
}

int FrameSize3(const AdjRel3 *A) {
  if (A == nullptr) Error("No adjacency relation", "FrameSize3");
  int d = 0;
  for (int i = 0; i < A->n; i++) {
    d = std::max(d, std::abs(A->dx[i]));
    d = std::max(d, std::abs(A->dy[i]));
    d = std::max(d, std::abs(A->dz[i]));
  }
  return d;
}

std::unique_ptr<AdjVxl> AdjVoxels(const Scene *scn, const AdjRel3 *A) {
  if (A == nullptr) Error("No adjacency relation", "AdjVoxels");
  if (scn == nullptr) Error("No scene", "AdjVoxels");
  auto adjvxl = std::make_unique<AdjVxl>();
  try {
    adjvxl->dp.resize(A->n);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "AdjVoxels");
  }
  adjvxl->n = A->n;
  long long slice = static_cast<long long>(scn->xsize) * scn->ysize;
  for (int i = 0; i < A->n; i++) {
    long long dp = A->dx[i] + static_cast<long long>(scn->xsize) * A->dy[i] + slice * A->dz[i];
    if (dp < INT_MIN || dp > INT_MAX) Error("Displacement offset out of range", "AdjVoxels");
    adjvxl->dp[i] = static_cast<int>(dp);
  }
  return adjvxl;
}

void DestroyAdjVxl(std::unique_ptr<AdjVxl> *adjvxl) {
  if (adjvxl != nullptr) adjvxl->reset();
}
