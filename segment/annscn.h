// Annotated scenes: a scene prepared for the image foresting transform.
//
// The annotation borrows the scene (its values are the arc weights) and owns
// three maps of the scene's shape: the cost of the best path found to every
// voxel, its predecessor on that path (a root points to itself) and its
// label, which the transforms here use for the index of the voxel's root.
// Seeds waiting to be planted and marks of trees to be removed sit in two
// last-in first-out sets.
#pragma once

#include <memory>

#include "core/scene.h"
#include "core/set.h"

// The cost of a voxel no path has reached yet.
constexpr int kInfiniteCost = 2147483647;

struct AnnScn {
  Scene *scene = nullptr;       // borrowed
  std::unique_ptr<Scene> cost;  // 4 bytes/voxel each map: 192 MiB for the three at 256^3
  std::unique_ptr<Scene> pred;
  std::unique_ptr<Scene> label;
  std::unique_ptr<Set> seeds;   // voxels offered as new roots
  std::unique_ptr<Set> marks;   // voxels whose trees are to be removed
  // Set only when the annotation keeps its own copy of the scene (the
  // script command does, so that freeing the scene's handle cannot leave
  // `scene` dangling); `scene` then points to it.
  std::unique_ptr<Scene> ownScene;
};

// A map of the scene's shape: fresh zero data, the sizes, voxel sizes and
// offset tables of scn.
std::unique_ptr<Scene> CreateMapScene(const Scene *scn);
void DestroyMapScene(std::unique_ptr<Scene> *map);

// Every voxel at cost kInfiniteCost, its own predecessor, label 0; no seeds,
// no marks. The scene stays the caller's and must outlive the annotation.
std::unique_ptr<AnnScn> Annotate3(Scene *scn);
// The same over a copy of scn that the annotation owns.
std::unique_ptr<AnnScn> AnnotateCopy3(const Scene *scn);
void DeAnnotate3(std::unique_ptr<AnnScn> *ascn);

// Offers voxel (x, y, z) as a seed: ignored outside the scene or unless cost
// is below the stored cost; otherwise the voxel joins the seed set and gets
// cost, label and pred.
void AddSeed3(AnnScn *ascn, int x, int y, int z, int cost, int label, int pred);
// Marks the tree of voxel (x, y, z) for removal (ignored outside the scene).
void AddMark3(AnnScn *ascn, int x, int y, int z);

// The root of p in a predecessor map: follows the map until a voxel maps to
// itself. Error for an address outside the map or a chain that never ends.
int FindRoot(const Scene *map, int p);

// The maps themselves, not copies: they live as long as the annotation.
Scene *GetCost3(AnnScn *ascn);
Scene *GetPred3(AnnScn *ascn);
Scene *GetLabel3(AnnScn *ascn);
