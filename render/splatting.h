// Splatting of a scene: every non-zero voxel (or every voxel of a border
// list) is projected onto the context's image, the nearest one per pixel is
// kept, each kept pixel is widened over the context's kernel so that no
// holes remain, and the z-buffer so filled is Phong shaded.
//
// Projection of voxel (x, y, z), p = (x - xsize/2, y - ysize/2, z -
// zsize/2): column trunc(R[0].p + R[0][3] + ncols/2), row trunc(R[1].p +
// R[1][3] + nrows/2), dist R[2].p + R[2][3] + ncols/2. A voxel that
// projects outside the image is left out. The z-buffer records the voxel's
// index and its label (the low 8 bits of its value).
//
// Widening: for every pixel that holds a voxel and lies at least one pixel
// inside the image border, in pixel order, the context's buffer takes its
// values, and so does each neighbour over the kernel's adjacency (its
// centre first) that is empty both in the projection and in the context's
// buffer.
//
// Each fails (Error) when the context was not made for the scene's size.
#pragma once

#include <memory>

#include "core/image.h"

struct Scene;
struct Context;
struct BorderList;

// Voxels visited front to back (z, then y, then x along the context's
// traversal): the first voxel to reach a pixel is the nearest.
std::unique_ptr<Image> SplatScene(const Scene *scn, Context *cxt);
// Voxels visited with the principal axis outermost, placed in the sheared
// intermediate image (first voxel wins), warped to the output pixel by the
// inverse shear matrix (rounded half away from zero; an output pixel keeps
// the first intermediate pixel that reaches it), then widened.
std::unique_ptr<Image> SWSplatScene(const Scene *scn, Context *cxt);
// The voxels of a border list in list order, the nearer one (smaller dist)
// kept. Error for an element outside the scene.
std::unique_ptr<Image> SplatBorder(const Scene *scn, Context *cxt, const BorderList *border);
