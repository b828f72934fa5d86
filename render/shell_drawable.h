// The voxels of a shell that the colour renderers can draw (visible, label
// non-zero), gathered into a shell of their own in the same order, so that
// a pass over a classified body shell whose background is labelled 0 or
// hidden costs nothing for the background.
//
// The gathered shell keeps the source's sizes, its row and column indexes
// are rebuilt over the kept voxels (the invariants of shell.h hold), and
// origin maps each kept voxel back to its index in the source. It has the
// source's normal table and no body.
//
// A gathering is made from one revision of a shell and used only while the
// shell has that revision (a few are kept, for views of several shells).
// When every voxel is kept nothing is copied and Of gives the source.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/shell.h"

struct DrawableShell {
  uint64_t revision = 0;
  bool whole = false;        // every voxel kept: nothing gathered
  Shell gathered;
  std::vector<int> origin;   // per gathered voxel, its index in the source
  // The shell to traverse for the source src (the one this was made of).
  const Shell *Of(const Shell *src) const { return whole ? src : &gathered; }
  int Origin(int index) const { return whole ? index : origin[index]; }
};

// The drawable voxels of the shell's current revision; safe to call from
// several threads at once.
std::shared_ptr<const DrawableShell> DrawableVoxels(const Shell *shell);
