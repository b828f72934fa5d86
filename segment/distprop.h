// The engine shared by the squared Euclidean distance transforms of scenes
// and images: displacement vectors spread from seed voxels over an
// adjacency, in order of squared distance.
//
// The caller frames its volume by the relation's reach and fills the cost
// map K (framed, x fastest):
//   kUnreached  free, not reached yet
//   kBlocked    never processed and never changed: the frame, and the voxels
//               whose cost is fixed at 0 on the side that was not asked for
//   0           a seed (listed in `seeds`, in the order it was found)
// Because no cost is ever below a blocked one, the rule "improve q from p only
// when K(p) < K(q)" skips both kinds of blocked voxel without a test of its
// own, and no neighbour address ever leaves the framed volume.
//
// Service order: voxels leave in increasing cost; among equal costs, first
// in first out by the time the voxel entered its present cost (an improved
// voxel goes to the back of its new cost's list). Only a strictly smaller
// cost replaces a stored one, so ties keep the first offer, and a voxel
// keeps the displacement (as absolute components) of the neighbour that last
// improved it. That order is what a bucket queue with keys cost mod nbuckets
// gives when every step is smaller than nbuckets; the results depend on it
// wherever the propagation is not the exact Euclidean distance.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "core/largepage.h"

constexpr int kUnreached = INT_MAX;
constexpr int kBlocked = INT_MIN;

struct Propagation {
  int *cost = nullptr;           // K, framed
  int nvoxels = 0;               // framed voxel count
  const int *labels = nullptr;   // framed labels: when set, q is improved only from p of q's label
  std::vector<int> seeds;        // framed addresses of the cost-0 voxels to serve first
  std::vector<int> offset;       // framed address offsets of the relation, origin first
  std::vector<int> ax, ay, az;   // absolute displacement components, origin first
  std::vector<int> dx;           // signed x components, or empty: with them a relation
                                 // within the 3x3x3 cube is tested a row at a time
  int nbuckets = 1;              // larger than the largest cost step of one move
  int limit = INT_MAX;           // costs above it are never stored
  int largestSide = 0;           // largest unframed side: chooses the displacement width
  int fx = 0, fy = 0;            // framed row and column lengths, when known: with both
                                 // multiples of 4 the costs may be kept in 4x4 tiles meanwhile
};

// Runs the propagation to the end, updating p.cost in place.
void PropagateDisplacements(const Propagation &p);

// Whether the propagation may test eight neighbours a load with the AVX2
// gathers where the processor has them (the default); off, it takes the
// portable path, which gives the same results.
void AllowVectorGathers(bool allow);
