#include "render/reslicing.h"

#include <cmath>
#include <string>

#include "core/algebra.h"
#include "core/common.h"
#include "core/plane.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/scene_render.h"

void PlaneRotation(const Plane *pl, float M[4][4]) {
  const double L = std::sqrt(static_cast<double>(pl->ny) * pl->ny + static_cast<double>(pl->nz) * pl->nz);
  float Ry[4][4], Rx[4][4];
  IdentityMatrix(Ry);
  Ry[0][0] = static_cast<float>(L), Ry[0][2] = pl->nx;
  Ry[2][0] = -pl->nx, Ry[2][2] = static_cast<float>(L);
  if (L == 0.0) {
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < 4; j++) M[i][j] = Ry[i][j];
    return;
  }
  IdentityMatrix(Rx);
  Rx[1][1] = static_cast<float>(pl->nz / L), Rx[1][2] = static_cast<float>(pl->ny / L);
  Rx[2][1] = static_cast<float>(-pl->ny / L), Rx[2][2] = static_cast<float>(pl->nz / L);
  MultMatrices(Rx, Ry, M);
}

namespace {

// Samples the plane into out (ncols x nrows values); calls
// sampled(pixel, voxel index, centred z) for every pixel that met the clip
// box.
template <class Sampled>
void SamplePlane(const Scene *scn, const Context *cxt, const Plane *pl, int ncols, int nrows,
                 int *out, Sampled &&sampled) {
  float M[4][4];
  PlaneRotation(pl, M);
  const int hw = ncols / 2, hh = nrows / 2;
  const int hx = scn->xsize / 2, hy = scn->ysize / 2, hz = scn->zsize / 2;
  for (int b = 0; b < nrows; b++) {
    const double bc = b - hh;
    for (int a = 0; a < ncols; a++) {
      const double ac = a - hw;
      const int zc = SaturatedTrunc(ac * M[2][0] + bc * M[2][1] + pl->pz);
      const int x = SaturatedTrunc(ac * M[0][0] + bc * M[0][1] + pl->px) + hx;
      const int y = SaturatedTrunc(ac * M[1][0] + bc * M[1][1] + pl->py) + hy;
      const int z = zc + hz;
      const int p = a + b * ncols;
      if (x < cxt->xmin || x > cxt->xmax || y < cxt->ymin || y > cxt->ymax || z < cxt->zmin ||
          z > cxt->zmax) {
        out[p] = 0;
        continue;
      }
      const int index = scn->Address(x, y, z);
      out[p] = scn->data[index];
      sampled(p, index, zc);
    }
  }
}

}  // namespace

std::unique_ptr<Image> SliceScene(const Scene *scn, Context *cxt, const Plane *pl) {
  CheckSceneContext(scn, cxt, "SliceScene");
  ZBuffer *zb = cxt->zbuffer.get();
  auto img = CreateImage(zb->ncols, zb->nrows);
  SamplePlane(scn, cxt, pl, zb->ncols, zb->nrows, img->val.data(), [&](int p, int index, int zc) {
    if (zb->voxel[p] != -1) return;
    zb->object[p] = static_cast<unsigned char>(scn->data[index] & 0xFF);
    zb->voxel[p] = index;
    zb->dist[p] = static_cast<float>(static_cast<double>(zb->ncols) + zc);
  });
  return img;
}

std::unique_ptr<Scene> ResliceScene(const Scene *scn, Context *cxt, Plane *pl, float alpha,
                                    int nslices) {
  const char *func = "ResliceScene";
  CheckSceneContext(scn, cxt, func);
  if (nslices < 1) Error("The number of slices must be positive, not " + std::to_string(nslices), func);
  const int ncols = cxt->zbuffer->ncols, nrows = cxt->zbuffer->nrows;
  CheckedVoxelCount(ncols, nrows, nslices, func);
  auto out = CreateScene(ncols, nrows, nslices);
  out->dx = scn->dx;
  out->dy = scn->dy;
  out->dz = alpha;
  for (int s = 0; s < nslices; s++) {
    SamplePlane(scn, cxt, pl, ncols, nrows, out->data.data() + out->tbz[s], [](int, int, int) {});
    TranslatePlane(pl, alpha);
  }
  return out;
}
