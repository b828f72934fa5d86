// The voxels of a shell that the colour renderers can draw (visible, label
// non-zero), gathered into a shell of their own in the traversal's order,
// so that a pass over a classified body shell whose background is labelled
// 0 or hidden costs nothing for the background, and a pass along x reads
// its voxels one after the other instead of through the list's pointers.
//
// When every voxel is drawable the source itself is traversed (a copy in
// list order costs a second cache miss per drawn voxel, for its origin,
// more than reading through the list's pointers saves). Otherwise, for
// views along y and z the gathering is a shell of the drawable voxels in
// row order, its row and column indexes rebuilt over them (the invariants
// of shell.h hold); for views along x it holds the drawable voxels in list
// order:
// voxel e is the one list entry e names and list[e].pointer is e, with the
// column index rebuilt and no rows (it serves a traversal along x only).
// Either has the source's sizes and normal table and no body; origin maps
// each of its voxels back to its index in the source.
//
// A gathering is made from one revision of a shell and used only while the
// shell has that revision (the last few shells drawn keep theirs).
#pragma once

#include <memory>

#include "render/shell.h"

struct DrawableWalk {
  const Shell *shell = nullptr;  // what to traverse
  const int *origin = nullptr;   // per voxel of shell, its source index; null: the same
  std::shared_ptr<const void> hold;  // keeps shell and origin alive
  int Origin(int index) const { return origin != nullptr ? origin[index] : index; }
};

// The drawable voxels of the shell's current revision for a view whose
// principal axis is paxis; safe to call from several threads at once.
DrawableWalk DrawableVoxels(const Shell *shell, char paxis);
