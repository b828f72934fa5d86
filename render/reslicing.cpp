#include "render/reslicing.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/algebra.h"
#include "core/common.h"
#include "core/plane.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/scene_render.h"
#include "render/spline.h"

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

namespace {

double SmallestVoxelSize(const Spline *spline) {
  return std::min({spline->dx, spline->dy, spline->dz});
}

void CheckStack(float alpha, int nslices, const char *func) {
  if (!(alpha > 0.0f) || !std::isfinite(alpha))
    Error("The distance between slices must be a positive number", func);
  if (nslices < 1) Error("The number of slices must be positive, not " + std::to_string(nslices), func);
}

// Samples along the mapped curve: trunc(trunc(length) / s).
double SamplesAlong(const Spline *spline) {
  return std::trunc(std::trunc(LengthSpline(spline)) / SmallestVoxelSize(spline));
}

// The same, at least one and not absurd (Error otherwise).
int SampleCount(const Spline *spline, const char *func) {
  if (!(SmallestVoxelSize(spline) > 0.0)) Error("The scene's voxel sizes must be positive", func);
  const double w = SamplesAlong(spline);
  if (w < 1.0) Error("The curve is too short for one sample", func);
  if (w > 65535.0) Error("The curve is too long for a section", func);
  return static_cast<int>(w);
}

// The curved section of `spline` on rows of a copy of the plane, into out
// (width columns, height rows): row b on the plane moved by b - (height -
// 1)/2, `samples` points along the curve, 0 in the other columns.
void CurvedSection(const Scene *scn, const Context *cxt, const Plane *pl, Spline *spline,
                   int samples, int width, int height, int *out) {
  auto moved = CopyPlane(pl);
  TranslatePlane(moved.get(), static_cast<float>(-((height - 1) / 2)));
  const int hx = scn->xsize / 2, hy = scn->ysize / 2, hz = scn->zsize / 2;
  for (int b = 0; b < height; b++) {
    Compute3DSpline(spline, moved.get());
    for (int a = 0; a < width; a++) {
      int value = 0;
      if (a < samples) {
        float p[3];
        CalculateVoxel(spline, samples > 1 ? static_cast<double>(a) / (samples - 1) : 0.0, p);
        const int x = SaturatedTrunc(p[0]) + hx, y = SaturatedTrunc(p[1]) + hy,
                  z = SaturatedTrunc(p[2]) + hz;
        if (x >= cxt->xmin && x <= cxt->xmax && y >= cxt->ymin && y <= cxt->ymax &&
            z >= cxt->zmin && z <= cxt->zmax)
          value = scn->data[scn->Address(x, y, z)];
      }
      out[a + b * width] = value;
    }
    TranslatePlane(moved.get(), 1.0f);
  }
}

}  // namespace

std::unique_ptr<Image> SliceSceneParallel(const Scene *scn, Context *cxt, const Plane *pl,
                                          Spline *spline) {
  const char *func = "SliceSceneParallel";
  CheckSceneContext(scn, cxt, func);
  Compute3DSpline(spline, pl);
  const int w = SampleCount(spline, func);
  auto img = CreateImage(w, w);
  CurvedSection(scn, cxt, pl, spline, w, w, w, img->val.data());
  return img;
}

std::unique_ptr<Scene> ResliceSceneParallel(const Scene *scn, Context *cxt, const Plane *pl,
                                            Spline *spline, float alpha, int nslices) {
  const char *func = "ResliceSceneParallel";
  CheckSceneContext(scn, cxt, func);
  CheckStack(alpha, nslices, func);
  const int middle = (nslices - 1) / 2;
  auto copyAt = [&](int k) { return TranslateSpline(spline, static_cast<float>((k - middle) * alpha)); };
  int w = 0;
  for (int k : {0, nslices - 1}) {
    auto outer = copyAt(k);
    Compute3DSpline(outer.get(), pl);
    w = std::max(w, SampleCount(outer.get(), func));
  }
  CheckedVoxelCount(w, 2LL * w, nslices, func);
  const double s = SmallestVoxelSize(spline);
  auto out = CreateScene(w, 2 * w, nslices);
  out->dx = out->dy = static_cast<float>(s);
  out->dz = alpha;
  for (int k = 0; k < nslices; k++) {
    auto copy = copyAt(k);
    Compute3DSpline(copy.get(), pl);
    const int samples = static_cast<int>(std::clamp(SamplesAlong(copy.get()), 0.0, static_cast<double>(w)));
    CurvedSection(scn, cxt, pl, copy.get(), samples, w, 2 * w, out->data.data() + out->tbz[k]);
  }
  Compute3DSpline(spline, pl);
  return out;
}

std::unique_ptr<Scene> ResliceSceneNormal(const Scene *scn, Context *cxt, const Plane *pl,
                                          Spline *spline, float alpha, int nslices) {
  const char *func = "ResliceSceneNormal";
  CheckSceneContext(scn, cxt, func);
  CheckStack(alpha, nslices, func);
  Compute3DSpline(spline, pl);
  const double length = LengthSpline(spline);
  const int m = static_cast<int>(std::min<double>(nslices, std::trunc(1.0 + length / alpha)));
  const int ncols = cxt->zbuffer->ncols, nrows = cxt->zbuffer->nrows;
  CheckedVoxelCount(ncols, nrows, m, func);
  auto out = CreateScene(ncols, nrows, m);
  out->dx = scn->dx;
  out->dy = scn->dy;
  out->dz = alpha;
  double t = 0.0;
  for (int k = 0; k < m; k++) {
    auto normal = NormalPlane(spline, t);
    SamplePlane(scn, cxt, normal.get(), ncols, nrows, out->data.data() + out->tbz[k],
                [](int, int, int) {});
    t += length > 0.0 ? alpha / length : 0.0;
  }
  return out;
}
