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

// Offsets of a relation into a scene of one size.
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
