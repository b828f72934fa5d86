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

// Offsets of a relation into an image of one size: dp[i] is added to a
// pixel's address to reach its i-th neighbour. The offsets know nothing of
// the border; the caller keeps the neighbour inside (FrameSize tells how far
// from the border that is safe without a test).
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

// The rectangle of ncols x nrows (an even size grows by 1): the origin, then
// every other displacement with dy outer and dx inner, both increasing.
// Error for a negative or absurd size.
std::unique_ptr<AdjRel> Box(int ncols, int nrows);

// For each displacement (dx, dy) of length d > 0, its midpoint moved one
// unit to the right of (RightSide) or to the left of (LeftSide) the
// direction, truncated toward zero:
//   right (dx/2 - dy/d, dy/2 + dx/d), left (dx/2 + dy/d, dy/2 - dx/d).
// The origin stays (0, 0); the result has A's size and order (and may hold
// repeated displacements).
std::unique_ptr<AdjRel> RightSide(const AdjRel *A);
std::unique_ptr<AdjRel> LeftSide(const AdjRel *A);

// The displacements of the larger relation that do not occur in the smaller
// one, in the larger one's order (for equal sizes B counts as the larger).
// Null when nothing is left. The result usually lacks the origin, so it
// does not keep the origin-first rule.
std::unique_ptr<AdjRel> ComplAdj(const AdjRel *A, const AdjRel *B);

// The largest |dx| or |dy| of the relation (0 for an empty one): the width
// of the border that a scan using A must leave out or frame.
int FrameSize(const AdjRel *A);

// Offsets dx + ncols*dy of A for img's size. Error when an offset does not
// fit a 32-bit address.
std::unique_ptr<AdjPxl> AdjPixels(const Image *img, const AdjRel *A);
void DestroyAdjPxl(std::unique_ptr<AdjPxl> *adjpxl);
