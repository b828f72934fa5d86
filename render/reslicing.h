// Oblique slices of a scene: the scene sampled on a plane, or on a stack of
// parallel planes. A library for the core; no script command calls it.
//
// The plane's rotation M takes the image plane onto the cut plane: with
// n = (nx, ny, nz) the plane's normal and L = sqrt(ny^2 + nz^2), M = Ry
// with rows (L, 0, nx), (0, 1, 0), (-nx, 0, L), and, when L != 0, M = Rx Ry
// with Rx rows (1, 0, 0), (0, nz/L, ny/L), (0, -ny/L, nz/L). Pixel (a, b)
// of an image of the z-buffer's size, centred (a - ncols/2, b - nrows/2),
// samples voxel trunc(M (a', b', 0) + c) + (xsize/2, ysize/2, zsize/2), c
// the plane's position; a voxel outside the clip box gives 0.
#pragma once

#include <memory>

#include "core/image.h"

struct Scene;
struct Context;
struct Plane;

// The rotation M of the plane (upper-left 3 x 3 block of a 4 x 4 product
// formed as the matrix operations form it).
void PlaneRotation(const Plane *pl, float M[4][4]);

// The slice through the plane. Where the context's z-buffer holds no voxel
// at a pixel that samples the clip box, it receives the voxel (index, the
// low 8 bits of its value as label, dist ncols + trunc(the voxel's centred
// z coordinate)). Error for a context made for another size.
std::unique_ptr<Image> SliceScene(const Scene *scn, Context *cxt, const Plane *pl);

// nslices slices of ncols x nrows, slice s sampled on the plane moved by s
// alpha along its normal (TranslatePlane after each slice: the caller's
// plane ends moved by nslices alpha). Voxel sizes dx, dy of scn and alpha.
// The z-buffer is not touched. Error for nslices < 1.
std::unique_ptr<Scene> ResliceScene(const Scene *scn, Context *cxt, Plane *pl, float alpha,
                                    int nslices);
