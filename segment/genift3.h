// The image foresting transform on annotated scenes.
//
// IFT3 grows optimum-path trees from the seeds of an annotation in order of
// path cost, with a path-cost function chosen by the caller; the Euclidean
// costs below make it a distance transform. The differential IFT re-grows
// only what changed after trees were removed or seeds added, with the
// maximum-arc cost (a path costs the largest scene value on it); its border
// variant also carries object membership and keeps a list of the voxels on
// the border between object and background.
//
// All of them visit the neighbours q = p + displacement(i), i = 1 .. n - 1
// of the relation, that lie inside the scene. Labels hold root indices.
#pragma once

#include <memory>

#include "core/adjacency3.h"
#include "core/set.h"
#include "segment/annscn.h"

// The cost of extending the best path of p to its neighbour q, whose cost
// is now costq.
using PathCost3 = int (*)(const AnnScn *ascn, int p, int q, int costq);

// Squared Euclidean distance, in voxel units, between q and the root of p
// (the voxel whose index is label(p)).
int FEucl3(const AnnScn *ascn, int p, int q, int costq);
// FEucl3 inside the object: kInfiniteCost where the scene is 0 at q.
int FEuclIn3(const AnnScn *ascn, int p, int q, int costq);
// FEucl3 outside the object: kInfiniteCost where the scene is non-zero at q.
int FEuclOut3(const AnnScn *ascn, int p, int q, int costq);

// Plants every seed of the set (emptying it) and propagates: a neighbour q
// of a removed p with cost(p) < cost(q) takes c = pathcost(p, q) when c is
// lower, with p as predecessor and p's label. The queue has maxinc + 1
// circular buckets: maxinc must exceed the largest cost step of a path.
void IFT3(AnnScn *ascn, const AdjRel3 *A, PathCost3 pathcost, int maxinc);

// Distance transform from the object's border: every non-zero voxel with a
// face neighbour outside the scene or of value 0 is offered as a seed of
// cost 0 rooted at itself (AddSeed3 refuses it where the cost is already 0),
// then IFT3 runs with the increment bound 3d^2 + 2d(xsize + ysize + zsize),
// d = FrameSize3(A).
void iftGenDistTrans3(AnnScn *ascn, const AdjRel3 *A, PathCost3 pathcost);

// Removes the trees of the marked voxels (cost infinite, each voxel its own
// predecessor; labels are left), plants the seeds at their scene value
// rooted at themselves, empties both sets, and returns the frontier: the
// voxels outside the removed trees next to them, then the planted seeds,
// each once, as a set (null when empty).
std::unique_ptr<Set> TreeRemoval(AnnScn *ascn, const AdjRel3 *A);
// TreeRemoval, then re-growth from its frontier with the maximum-arc cost.
void DIFT(AnnScn *ascn, const AdjRel3 *A);

// TreeRemoval for BDIFT: the seeds enter the frontier first with the costs
// they were offered with; removed voxels and frontier voxels leave the
// border list (their bits in bordermap cleared). One bit map records both
// the frontier and the removed roots, so a voxel whose root is on the
// frontier does not join it.
std::unique_ptr<Set> BTreeRemoval(AnnScn *ascn, const AdjRel3 *A, BorderList *border,
                                  BMap *bordermap);
// BTreeRemoval, then re-growth that copies object membership (isobj) along
// the trees and appends to the border list the voxels of a settled pair
// (p, q) in which one is in the object and the other is not.
void BDIFT(AnnScn *ascn, const AdjRel3 *A, BMap *isobj, BMap *bordermap, BorderList *border);
