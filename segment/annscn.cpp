#include "segment/annscn.h"

#include <new>
#include <string>

#include "core/common.h"

std::unique_ptr<Scene> CreateMapScene(const Scene *scn) {
  auto map = std::make_unique<Scene>();
  try {
    map->data.assign(scn->data.size(), 0);
    map->tby = scn->tby;
    map->tbz = scn->tbz;
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreateMapScene");
  }
  map->xsize = scn->xsize;
  map->ysize = scn->ysize;
  map->zsize = scn->zsize;
  map->dx = scn->dx;
  map->dy = scn->dy;
  map->dz = scn->dz;
  return map;
}

void DestroyMapScene(std::unique_ptr<Scene> *map) {
  if (map != nullptr) map->reset();
}

std::unique_ptr<AnnScn> Annotate3(Scene *scn) {
  auto ascn = std::make_unique<AnnScn>();
  ascn->scene = scn;
  ascn->cost = CreateMapScene(scn);
  ascn->pred = CreateMapScene(scn);
  ascn->label = CreateMapScene(scn);
  int n = scn->VoxelCount();
  int *cost = ascn->cost->data.data();
  int *pred = ascn->pred->data.data();
  for (int p = 0; p < n; p++) {
    cost[p] = kInfiniteCost;
    pred[p] = p;
  }
  return ascn;
}

std::unique_ptr<AnnScn> AnnotateCopy3(const Scene *scn) {
  std::unique_ptr<Scene> copy = CopyScene(scn);
  auto ascn = Annotate3(copy.get());
  ascn->ownScene = std::move(copy);
  return ascn;
}

void DeAnnotate3(std::unique_ptr<AnnScn> *ascn) {
  if (ascn != nullptr) ascn->reset();
}

void AddSeed3(AnnScn *ascn, int x, int y, int z, int cost, int label, int pred) {
  const Scene *scn = ascn->scene;
  if (!scn->Valid(x, y, z)) return;
  int p = scn->Address(x, y, z);
  if (cost >= ascn->cost->data[p]) return;
  InsertSet(&ascn->seeds, p);
  ascn->cost->data[p] = cost;
  ascn->label->data[p] = label;
  ascn->pred->data[p] = pred;
}

void AddMark3(AnnScn *ascn, int x, int y, int z) {
  const Scene *scn = ascn->scene;
  if (!scn->Valid(x, y, z)) return;
  InsertSet(&ascn->marks, scn->Address(x, y, z));
}

int FindRoot(const Scene *map, int p) {
  int n = map->VoxelCount();
  // A chain longer than the voxel count has a cycle.
  for (int steps = 0; steps <= n; steps++) {
    if (p < 0 || p >= n)
      Error("Voxel " + std::to_string(p) + " is outside the map (addresses 0 to " +
                std::to_string(n - 1) + ")",
            "FindRoot");
    int next = map->data[p];
    if (next == p) return p;
    p = next;
  }
  Error("The predecessor map has a cycle", "FindRoot");
}

Scene *GetCost3(AnnScn *ascn) { return ascn->cost.get(); }
Scene *GetPred3(AnnScn *ascn) { return ascn->pred.get(); }
Scene *GetLabel3(AnnScn *ascn) { return ascn->label.get(); }
