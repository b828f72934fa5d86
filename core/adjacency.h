// 2D adjacency relations: pixel displacements, the origin first.
//
// Every relation built here keeps displacement 0 at (0, 0), so a loop over
// the true neighbours starts at index 1.
#pragma once

#include <memory>
#include <vector>

struct Image;

struct AdjRel {
  std::vector<int> dx;
  std::vector<int> dy;
  int n = 0;
};

// Offsets of a relation into an image of one size.
struct AdjPxl {
  std::vector<int> dp;
  int n = 0;
};

// n zero displacements. Error for a negative or absurd n.
std::unique_ptr<AdjRel> CreateAdjRel(int n);
void DestroyAdjRel(std::unique_ptr<AdjRel> *adj);

// The disc of radius r, origin first, then the neighbours by increasing
// angle (0 degrees to the left, turning through up, rows growing downwards)
// and, for equal angles, by increasing length.
std::unique_ptr<AdjRel> Circular(float r);
