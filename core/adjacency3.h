// 3D adjacency relations: voxel displacements, the origin first.
//
// Every relation built here keeps displacement 0 at (0, 0, 0), so a loop
// over the true neighbours starts at index 1.
#pragma once

#include <memory>
#include <vector>

struct Scene;

struct AdjRel3 {
  std::vector<int> dx;
  std::vector<int> dy;
  std::vector<int> dz;
  int n = 0;
};

// Offsets of a relation into a scene of one size: dp[i] is added to a
// voxel's address to reach its i-th neighbour. The caller keeps the
// neighbour inside the scene (FrameSize3 tells how far from the border that
// is safe without a test).
struct AdjVxl {
  std::vector<int> dp;
  int n = 0;
};

// n zero displacements. Error for a negative or absurd n.
std::unique_ptr<AdjRel3> CreateAdjRel3(int n);
void DestroyAdjRel3(std::unique_ptr<AdjRel3> *adj);

// The ball of radius r in scan order (dz slowest, dx fastest) with the
// origin moved to the front: 1.0 gives 7 entries, 1.5 gives 19, 1.8 gives 27.
std::unique_ptr<AdjRel3> Spheric(float r);

// The box of xsize x ysize x zsize (an even size grows by 1): the origin,
// then every other displacement with dz outermost and dx innermost, all
// increasing. Error for a negative or absurd size.
std::unique_ptr<AdjRel3> Cube(int xsize, int ysize, int zsize);

// The largest |dx|, |dy| or |dz| of the relation (0 for an empty one).
int FrameSize3(const AdjRel3 *A);

// Offsets dx + xsize*dy + xsize*ysize*dz of A for scn's size. Error when an
// offset does not fit a 32-bit address.
std::unique_ptr<AdjVxl> AdjVoxels(const Scene *scn, const AdjRel3 *A);
void DestroyAdjVxl(std::unique_ptr<AdjVxl> *adjvxl);
