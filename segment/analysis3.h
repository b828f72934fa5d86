// Squared Euclidean distances from object borders in scenes, the label
// band along each object's border, and shape-based resampling of label
// scenes.
//
// Distances are in voxel units (voxel sizes are ignored). The border of an
// object is its non-zero voxels with a face neighbour of another value or
// outside the scene; those voxels are the seeds, at distance 0. `side`
// chooses where distances are measured: 0 inside the objects (the background
// stays 0), 1 outside them (object voxels stay 0), anything else both. The
// relation A must have its origin first (Spheric(1.8) gives the 26
// neighbours); its reach is how far one step may go.
#pragma once

#include <memory>

struct Scene;
struct AdjRel3;
struct AnnScn;

// Squared distance of every voxel to the nearest seed found by spreading
// displacement vectors over A: positive on object voxels, negated on
// background voxels, 0 on seeds and on the side not asked for. A voxel
// never reached holds 2147483647 (-2147483647 in the background).
// Voxel sizes of the result are 1.0.
std::unique_ptr<Scene> DistTrans3(const Scene *bin, const AdjRel3 *A, signed char side);
// The same, with nothing beyond squared distance `limit` stored: farther
// voxels keep 2147483647 (-2147483647 in the background).
std::unique_ptr<Scene> TDistTrans3(const Scene *bin, const AdjRel3 *A, signed char side, int limit);
// Every voxel within squared distance `limit` of its own object's border,
// reached through voxels of the same label, keeps its label; all others are
// 0. Side 0 and "both" give the same band; side 1 only the border voxels.
std::unique_ptr<Scene> Label2Border(const Scene *lscn, const AdjRel3 *A, signed char side, int limit);

// The same transform as DistTrans3 by the image foresting transform, on the
// annotated scene's cost, label and predecessor maps.
void iftDistTrans3(AnnScn *ascn, const AdjRel3 *A, signed char side);

// Resamples a label scene to new voxel sizes object by object: each
// object's signed 2D distance maps, slice by slice across every axis whose
// spacing changes, are interpolated linearly along that axis. Sizes of 0
// and equal sizes behave as in LinearInterp.
std::unique_ptr<Scene> ShapeBasedInterp(Scene *scn, float ndx, float ndy, float ndz);
