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
struct Spline;

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

// ---- sections along a curve (render/spline.h) ----
// s is the smallest voxel size of the spline's scene. Each fails (Error)
// for a context made for another size, a spline of fewer than two control
// points, a curve too short for one sample, alpha not positive or nslices
// below 1. They map the spline onto planes as they go (its last mapping is
// left in it); the caller's plane is not moved.

// The curved section: w = trunc(trunc(length) / s) samples along the curve
// and w rows, row b on the plane moved by b - (w - 1)/2 along its normal;
// each sample rounded toward zero, 0 outside the clip box. w x w.
std::unique_ptr<Image> SliceSceneParallel(const Scene *scn, Context *cxt, const Plane *pl,
                                          Spline *spline);
// nslices curved sections of copies of the spline moved across itself by
// (k - (nslices - 1)/2) alpha, k = 0 .. nslices - 1: a scene of w x 2w x
// nslices (voxel sizes s, s, alpha), w from the longer of the two outer
// copies; each section has 2w rows and is 0 beyond its own sample count.
std::unique_ptr<Scene> ResliceSceneParallel(const Scene *scn, Context *cxt, const Plane *pl,
                                            Spline *spline, float alpha, int nslices);
// min(nslices, trunc(1 + length / alpha)) slices of the z-buffer's size,
// slice k sampled on the plane normal to the curve at the fraction k alpha
// / length of its length (voxel sizes dx, dy of scn and alpha). The
// z-buffer is not touched.
std::unique_ptr<Scene> ResliceSceneNormal(const Scene *scn, Context *cxt, const Plane *pl,
                                          Spline *spline, float alpha, int nslices);
