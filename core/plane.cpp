#include "core/plane.h"

#include <cmath>
#include <new>
#include <string>

#include "core/algebra.h"
#include "core/common.h"
#include "core/geometry.h"
#include "render/context.h"

static std::unique_ptr<Plane> NewPlane() {
  try {
    return std::make_unique<Plane>();
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreatePlane");
  }
}

static void SetNormalFromRotation(Plane *pl) {
  pl->nx = pl->rotation[0][2];
  pl->ny = pl->rotation[1][2];
  pl->nz = pl->rotation[2][2];
}

std::unique_ptr<Plane> CreatePlane(const Context *cxt) {
  auto pl = NewPlane();
  pl->nz = 1.0f;
  pl->sx = static_cast<float>(cxt->dx);
  pl->sy = static_cast<float>(cxt->dy);
  pl->sz = static_cast<float>(cxt->dz);
  IdentityMatrix(pl->rotation);
  return pl;
}

std::unique_ptr<Plane> CopyPlane(const Plane *pl) {
  auto copy = NewPlane();
  copy->nx = pl->nx;
  copy->ny = pl->ny;
  copy->nz = pl->nz;
  copy->px = pl->px;
  copy->py = pl->py;
  copy->pz = pl->pz;
  copy->sx = pl->sx;
  copy->sy = pl->sy;
  copy->sz = pl->sz;
  return copy;
}

void DestroyPlane(std::unique_ptr<Plane> *pl) {
  if (pl != nullptr) pl->reset();
}

void RotatePlane(Plane *pl, float thx, float thy) {
  pl->tilt = NormalizeAngle(thx);
  pl->spin = NormalizeAngle(thy);
  Matrix4d R = RotationY(pl->spin) * (RotationX(pl->tilt) * ToMatrix4d(pl->rotation));
  StoreMatrix(R, pl->rotation);
  SetNormalFromRotation(pl);
}

void RotatePlaneAbs(Plane *pl, float thx, float thy) {
  pl->tilt = NormalizeAngle(thx);
  pl->spin = NormalizeAngle(thy);
  StoreMatrix(RotationY(pl->spin) * RotationX(pl->tilt), pl->rotation);
  SetNormalFromRotation(pl);
}

void TranslatePlane(Plane *pl, float alpha) {
  double a = alpha;
  pl->px = static_cast<float>(pl->px + a * pl->nx * pl->sx);
  pl->py = static_cast<float>(pl->py + a * pl->ny * pl->sy);
  pl->pz = static_cast<float>(pl->pz + a * pl->nz * pl->sz);
}

void TranslatePlaneAbs(Plane *pl, float alpha) {
  pl->px = pl->py = pl->pz = 0.0f;
  TranslatePlane(pl, alpha);
}

void TranslatePlaneAux(Plane *pl, float alpha) { TranslatePlaneAbs(pl, alpha); }

std::unique_ptr<Plane> FacePlane(const std::vector<float> &vert, int n) {
  if (n < 3 || vert.size() < 3 * static_cast<size_t>(n)) {
    Error("A face needs at least 3 vertices of 3 coordinates; got " + std::to_string(n) +
              " vertices and " + std::to_string(vert.size()) + " numbers",
          "FacePlane");
  }
  auto pl = NewPlane();
  double a[3], b[3];
  for (int c = 0; c < 3; c++) {
    a[c] = static_cast<double>(vert[c]) - vert[3 + c];
    b[c] = static_cast<double>(vert[6 + c]) - vert[3 + c];
  }
  // b x a
  double normal[3] = {b[1] * a[2] - b[2] * a[1], b[2] * a[0] - b[0] * a[2],
                      b[0] * a[1] - b[1] * a[0]};
  double m = sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  // + 0.0 turns the negative zeros of the cross product into zeros.
  for (double &c : normal) c = (m > 0.0 ? c / m : c) + 0.0;
  double sum[3] = {0.0, 0.0, 0.0};
  for (int i = 0; i < n; i++)
    for (int c = 0; c < 3; c++) sum[c] += vert[3 * i + c];
  pl->nx = static_cast<float>(normal[0]);
  pl->ny = static_cast<float>(normal[1]);
  pl->nz = static_cast<float>(normal[2]);
  pl->px = static_cast<float>(sum[0] / n);
  pl->py = static_cast<float>(sum[1] / n);
  pl->pz = static_cast<float>(sum[2] / n);
  return pl;
}

float GetPlaneX(const Plane *pl) { return pl->nx; }
float GetPlaneY(const Plane *pl) { return pl->ny; }
float GetPlaneTilt(const Plane *pl) { return pl->tilt; }
float GetPlaneSpin(const Plane *pl) { return pl->spin; }

void LockPlane(const Context *cxt, Plane *pl) {
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) pl->rotation[i][j] = cxt->rotation[i][j];
}

void SetPlaneZBuffer(ZBuffer *zbuffer, const Plane *pl) {
  int cx = zbuffer->ncols / 2, cy = zbuffer->nrows / 2;
  // Depth slopes; a normal without an x or y component gives slope 0.
  double a = pl->nx != 0.0f ? static_cast<double>(pl->nz) / pl->nx : 0.0;
  double b = pl->ny != 0.0f ? static_cast<double>(pl->nz) / pl->ny : 0.0;
  for (int y = 0; y < zbuffer->nrows; y++) {
    for (int x = 0; x < zbuffer->ncols; x++) {
      int p = x + zbuffer->tbrow[y];
      double d = cx - (a * (x - cx) + b * (y - cy) + pl->pz);
      if (zbuffer->dist[p] > d) zbuffer->dist[p] = static_cast<float>(d);
      zbuffer->voxel[p] = -1;
    }
  }
}

// A voxel of slice k with centred in-slice coordinates (a, b) lands on the
// centred intermediate pixel (a + k Sx + Tx, b + k Sy + Ty). Walking back
// along that sheared ray from pixel (u, v), the volume point of slice k is
// c0 + k e (centred volume coordinates), which meets the plane at
// k = n.(p - c0) / n.e.
void SetPlaneShearZBuffer(const Context *cxt, ZBuffer *zbuffer, const Plane *pl) {
  int ai, aj, ak;
  PermutedAxes(cxt->paxis, &ai, &aj, &ak);
  int sizes[3] = {cxt->xsize, cxt->ysize, cxt->zsize};
  double kc = sizes[ak] / 2;
  int ci = static_cast<int>(cxt->iwidth * 0.5), cj = static_cast<int>(cxt->iheight * 0.5);
  const double n[3] = {pl->nx, pl->ny, pl->nz};
  const double p[3] = {pl->px, pl->py, pl->pz};
  double e[3];
  e[ai] = -static_cast<double>(cxt->Sx);
  e[aj] = -static_cast<double>(cxt->Sy);
  e[ak] = 1.0;
  double ne = n[0] * e[0] + n[1] * e[1] + n[2] * e[2];
  double np = n[0] * p[0] + n[1] * p[1] + n[2] * p[2];
  const float *r2 = cxt->rotation[2];
  double half = cxt->isize * 0.5;
  for (int row = 0; row < zbuffer->nrows; row++) {
    for (int col = 0; col < zbuffer->ncols; col++) {
      int q = col + zbuffer->tbrow[row];
      zbuffer->voxel[q] = -1;
      if (ne == 0.0) continue;  // the rays run along the plane
      double c0[3];
      c0[ai] = (col - ci) - static_cast<double>(cxt->Tx);
      c0[aj] = (row - cj) - static_cast<double>(cxt->Ty);
      c0[ak] = -kc;
      double k = (np - (n[0] * c0[0] + n[1] * c0[1] + n[2] * c0[2])) / ne;
      double c[3] = {c0[0] + k * e[0], c0[1] + k * e[1], c0[2] + k * e[2]};
      double depth = r2[0] * c[0] + r2[1] * c[1] + r2[2] * c[2] + half;
      double dist = cxt->isize - depth;
      if (zbuffer->dist[q] > dist) zbuffer->dist[q] = static_cast<float>(dist);
    }
  }
}

std::unique_ptr<Plane> ClipPlane(const Context *cxt, char axis) {
  auto pl = CreatePlane(cxt);
  int column, half;
  switch (axis) {
    case 'x': column = 0; half = cxt->xsize / 2; break;
    case 'y': column = 1; half = cxt->ysize / 2; break;
    case 'z': column = 2; half = cxt->zsize / 2; break;
    default: return pl;
  }
  pl->nx = cxt->rotation[0][column];
  pl->ny = cxt->rotation[1][column];
  pl->nz = cxt->rotation[2][column];
  TranslatePlaneAbs(pl.get(), static_cast<float>(half));
  return pl;
}
