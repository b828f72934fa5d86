// Image-order renderers of a scene: for every pixel of the context's image
// a ray is followed through the volume, voxel by voxel, with no shell.
//
// Rays (all but SWRaycastScene): with hw = ncols/2, hh = nrows/2 of the
// z-buffer and the volume's integer halves h = (xsize/2, ysize/2, zsize/2),
// pixel (u, v) starts at P0 = IR (u - hw, v - hh, -hw) and runs along d, the
// third column of the inverse rotation, entering the box [-h, h - 1] of
// each axis at the largest parameter that brings it inside (an axis the ray
// runs parallel to, |d_a| <= 0.00001, and that it lies outside of, makes it
// miss). From there it steps by s = d / |d_principal|, one voxel along the
// principal axis per step, and ends where its voxel leaves the clip box
// (bounds inclusive); no voxel outside the clip box is ever read. The clip
// box ends rays, it does not move their start: a ray whose entry voxel lies
// outside it misses.
//
// The first-hit renderers reset the context's z-buffer and record, per
// pixel, the voxel hit (index x + y xsize + z xsize ysize), its label (the
// low 8 bits of its value) and its distance, then shade it with Phong
// shading. Each renderer fails (Error) when the context was not made for
// the scene's size or a scene given with it differs in size. Images are
// isize x isize and belong to the caller. Rows are rendered in parallel
// (render/scene_render.h); results do not depend on the thread count.
#pragma once

#include <memory>
#include <vector>

#include "core/cimage.h"
#include "core/image.h"

struct Scene;
struct Context;

// RaycastScene, RaycastGrayScene and MIPScene follow four rays at a time
// with vector instructions where the processor has them, and the first-hit
// walks step without looking while a ray cannot yet reach the box of the
// scene's non-zero voxels. Off, each ray is walked alone, voxel by voxel,
// as described above. Both give the same images (tests compare them).
void SetWideRays(bool on);

// First non-zero voxel: at the entry q = round(P) + h, then P += s, q =
// trunc(P) + h. dist = |P0 - (q - h)|. PhongShading of the z-buffer.
std::unique_ptr<Image> RaycastScene(const Scene *scn, Context *cxt);
// The same rays, shaded with the normals of nscn (PhongShadingScene).
std::unique_ptr<Image> RaycastGrayScene(const Scene *scn, Context *cxt, const Scene *nscn);
// The same entry, then an integer 3D line: the principal axis moves one
// voxel per step, the others by an error term over D_a = round(10 ncols
// d_a). A parallel axis does not end the ray by itself.
std::unique_ptr<Image> BRaycastScene(const Scene *scn, Context *cxt);
// Rays through the sheared slices: the pixel's in-slice coordinates (i0,
// j0) from the shear matrix, sampled at (round(i0 - u[k]), round(j0 -
// v[k])) for k along the principal axis's traversal; in-slice coordinates
// must lie in [min, max) of the clip box. dist from the third row of the
// rotation.
std::unique_ptr<Image> SWRaycastScene(const Scene *scn, Context *cxt);

// The largest non-zero value along each ray (0 where none), every step
// rounded half away from zero. The z-buffer is untouched.
std::unique_ptr<Image> MIPScene(const Scene *scn, Context *cxt);

// Front-to-back compositing of shaded voxels with an opacity scene alpha
// (0..255, clamped), a scene of normal indices and a normal table of three
// floats per index. At each voxel v with alpha(v) != 0 and scn(v) != 0:
// N = normaltable[normal(v)], c = |N . viewer| (grey) or N . viewer
// (colour); where c > 0, with f = 1 - |q - h - P0| / isize and spec =
// specular (2c^2 - 1)^ns (0 where 2c^2 - 1 < 0), the shade is f (spec +
// diffuse c) + ambient (object 0's Phong coefficients), and the
// transparency T (from 1) then shrinks by the factor 1 - alpha(v)/255.
//   grey:   I += trunc(shade scn(v) T)
//   colour: AccVoxelColor(image, p, shade, T alpha(v)/255, label 0): the
//           remaining transparency times the opacity, so each voxel adds
//           exactly its share of a front-to-back composite.
// Error for alpha or normal of another size than scn, a table whose length
// is not a multiple of 3, or a normal index used outside the table.
std::unique_ptr<Image> RaytracingScene(const Scene *scn, const Scene *alpha, const Scene *normal,
                                       const std::vector<float> &normaltable, Context *cxt);
std::unique_ptr<CImage> CRaytracingScene(const Scene *scn, const Scene *alpha,
                                         const Scene *normal,
                                         const std::vector<float> &normaltable, Context *cxt);
