#include "render/context.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <type_traits>

#include "core/algebra.h"
#include "core/common.h"
#include "core/geometry.h"
#include "core/kernel.h"
#include "core/scene.h"

// Labels index the 256 object records; a negative label wraps as well.
static int LabelIndex(int label) { return label & 0xFF; }

// ---- creation ----

std::unique_ptr<Context> NewContext(int xsize, int ysize, int zsize) {
  CheckedVoxelCount(xsize, ysize, zsize, "CreateContext");
  std::unique_ptr<Context> cxt;
  try {
    cxt = std::make_unique<Context>();
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreateContext");
  }
  cxt->xsize = xsize;
  cxt->ysize = ysize;
  cxt->zsize = zsize;
  double diagonal = sqrt(1.0 * xsize * xsize + 1.0 * ysize * ysize + 1.0 * zsize * zsize);
  cxt->isize = cxt->jsize = cxt->ksize = static_cast<int>(diagonal);
  cxt->zbuffer = CreateZBuffer(cxt->isize, cxt->isize);
  cxt->octant = 1;
  cxt->frame = CreateFrame(xsize, ysize, zsize);
  SetClip(cxt.get(), 0, xsize - 1, 0, ysize - 1, 0, zsize - 1);
  SetAngles(cxt.get(), 0.0f, 0.0f);
  // Default colours are given in RGB like every other colour: black for the
  // background, white for the objects.
  SetObjectColor(cxt.get(), 0, 0.0f, 0.0f, 0.0f);
  SetObjectOpacity(cxt.get(), 0, 0.0f);
  SetPhong(cxt.get(), 0, 0.7f, 0.2f, 0.1f, 2);
  for (int label = 1; label < 256; label++) {
    SetObjectColor(cxt.get(), label, 1.0f, 1.0f, 1.0f);
    SetObjectOpacity(cxt.get(), label, 1.0f);
    SetPhong(cxt.get(), label, 0.7f, 0.2f, 0.1f, 2);
  }
  // The renderers' splat: exp(-(dx^2 + dy^2) / 2) over the disc of radius
  // 1.5, not normalised.
  cxt->kernel = GaussianKernel(Circular(1.5f).get(), 0.0f, 1.0f);
  cxt->secondDirection[0] = 0.0f;
  cxt->secondDirection[1] = -1.0f;
  cxt->secondDirection[2] = 0.0f;
  for (int i = 0; i < 3; i++) cxt->matrix3[i][i] = 1.0f;
  return cxt;
}

std::unique_ptr<Context> CreateContext(const Scene *scn) {
  return NewContext(scn->xsize, scn->ysize, scn->zsize);
}

void DestroyContext(std::unique_ptr<Context> *cxt) {
  if (cxt != nullptr) cxt->reset();
}

// ---- the view ----

static void CheckAngle(float a, const char *func) {
  if (!std::isfinite(a)) Error("Invalid angle " + std::to_string(a), func);
}

// Sx, Sy, the traversal of the principal axis, nk and the intermediate
// image size, for the principal axis already chosen.
static void SetShearCoefficients(Context *cxt) {
  int ai, aj, ak;
  PermutedAxes(cxt->paxis, &ai, &aj, &ak);
  const int sizes[3] = {cxt->xsize, cxt->ysize, cxt->zsize};
  const int first[3] = {cxt->xi, cxt->yi, cxt->zi};
  const int end[3] = {cxt->xf, cxt->yf, cxt->zf};
  const int step[3] = {cxt->dx, cxt->dy, cxt->dz};
  const float *v = cxt->viewer;
  cxt->Sx = static_cast<float>(-v[ai] / static_cast<double>(v[ak]));
  cxt->Sy = static_cast<float>(-v[aj] / static_cast<double>(v[ak]));
  cxt->ki = first[ak];
  cxt->kf = end[ak];
  cxt->dk = step[ak];
  // The principal axis has the largest component, so |Sx|, |Sy| <= 1 and
  // the truncations below stay within the volume's sizes.
  double sheared[2] = {static_cast<double>(cxt->Sx) * sizes[ak],
                       static_cast<double>(cxt->Sy) * sizes[ak]};
  cxt->iwidth = static_cast<float>(std::abs(static_cast<int>(sheared[0])) + sizes[ai]);
  cxt->iheight = static_cast<float>(std::abs(static_cast<int>(sheared[1])) + sizes[aj]);
  cxt->nk = static_cast<float>(sizes[ak]);
}

// The four per-slice offset arrays, along the principal axis' traversal.
static void SetShearOffsets(Context *cxt) {
  int n = static_cast<int>(cxt->nk);
  cxt->uOffset.assign(n, 0.0f);
  cxt->vOffset.assign(n, 0.0f);
  cxt->negUOffset.assign(n, 0.0f);
  cxt->negVOffset.assign(n, 0.0f);
  double Sx = cxt->Sx, Sy = cxt->Sy;
  cxt->Tx = static_cast<float>(-Sx * cxt->nk * 0.5);
  cxt->Ty = static_cast<float>(-Sy * cxt->nk * 0.5);
  double Tx = cxt->Tx, Ty = cxt->Ty;
  for (int k = cxt->ki; k != cxt->kf; k += cxt->dk) {
    cxt->uOffset[k] = static_cast<float>(k * Sx + Tx);
    cxt->vOffset[k] = static_cast<float>(k * Sy + Ty);
    cxt->negUOffset[k] = static_cast<float>(-k * Sx - Tx);
    cxt->negVOffset[k] = static_cast<float>(-k * Sy - Ty);
  }
}

// P takes (x, y, z) to the permuted axes (i, j, k) of the principal axis.
static Matrix4d Permutation(char paxis) {
  int ai, aj, ak;
  PermutedAxes(paxis, &ai, &aj, &ak);
  Matrix4d P{};
  P.m[0][ai] = P.m[1][aj] = P.m[2][ak] = P.m[3][3] = 1.0;
  return P;
}

static void SetShearMatrices(Context *cxt) {
  Matrix4d S = Identity4d(), Sinv = Identity4d();
  S.m[0][2] = cxt->Sx;
  S.m[0][3] = cxt->Tx;
  S.m[1][2] = cxt->Sy;
  S.m[1][3] = cxt->Ty;
  Sinv.m[0][2] = -static_cast<double>(cxt->Sx);
  Sinv.m[0][3] = -static_cast<double>(cxt->Tx);
  Sinv.m[1][2] = -static_cast<double>(cxt->Sy);
  Sinv.m[1][3] = -static_cast<double>(cxt->Ty);
  Matrix4d P = Permutation(cxt->paxis);
  StoreMatrix(S * P * ToMatrix4d(cxt->inverseRotation), cxt->shear);
  StoreMatrix(ToMatrix4d(cxt->rotation) * Transpose(P) * Sinv, cxt->inverseShear);
}

// Everything that follows from a new rotation. The order matters: the
// traversal needs the octant, and the principal axis' traversal is copied
// from it.
static void DeriveView(Context *cxt) {
  TransMatrix(cxt->rotation, cxt->inverseRotation);
  for (int i = 0; i < 3; i++) cxt->viewer[i] = -cxt->inverseRotation[i][2] + 0.0f;
  cxt->octant = Octant(cxt->viewer);
  SetAxisIndices(cxt);
  cxt->paxis = PAxis(cxt->viewer);
  SetShearCoefficients(cxt);
  SetShearOffsets(cxt);
  SetShearMatrices(cxt);
}

void SetAngles(Context *cxt, float theta_x, float theta_y) {
  CheckAngle(theta_x, "SetAngles");
  CheckAngle(theta_y, "SetAngles");
  cxt->tilt = NormalizeAngle(theta_x);
  cxt->spin = NormalizeAngle(theta_y);
  StoreMatrix(RotationY(cxt->spin) * RotationX(cxt->tilt), cxt->rotation);
  DeriveView(cxt);
}

// The increments are normalised first (stored as floats, like every angle)
// and then added to the running sums, which are normalised again.
void AddAngles(Context *cxt, float thx, float thy) {
  CheckAngle(thx, "AddAngles");
  CheckAngle(thy, "AddAngles");
  float tx = NormalizeAngle(thx), ty = NormalizeAngle(thy);
  cxt->tilt = NormalizeAngle(static_cast<double>(cxt->tilt) + tx);
  cxt->spin = NormalizeAngle(static_cast<double>(cxt->spin) + ty);
  StoreMatrix(RotationY(ty) * (RotationX(tx) * ToMatrix4d(cxt->rotation)), cxt->rotation);
  DeriveView(cxt);
}

void AddAnglesCut(Context *cxt, float thx, float thy) { AddAngles(cxt, thx, thy); }

void SetAxisIndices(Context *cxt) {
  struct Axis {
    int min, max;
    int *first, *end, *step;
  } axes[3] = {
      {cxt->xmin, cxt->xmax, &cxt->xi, &cxt->xf, &cxt->dx},
      {cxt->ymin, cxt->ymax, &cxt->yi, &cxt->yf, &cxt->dy},
      {cxt->zmin, cxt->zmax, &cxt->zi, &cxt->zf, &cxt->dz},
  };
  for (int a = 0; a < 3; a++) {
    Axis &axis = axes[a];
    if (OctantSign(cxt->octant, a) < 0) {
      *axis.first = axis.min;
      *axis.end = axis.max + 1;
      *axis.step = 1;
    } else {
      *axis.first = axis.max;
      *axis.end = axis.min - 1;
      *axis.step = -1;
    }
  }
}

static int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void SetClip(Context *cxt, int xmin, int xmax, int ymin, int ymax, int zmin, int zmax) {
  int *bounds[3][2] = {{&xmin, &xmax}, {&ymin, &ymax}, {&zmin, &zmax}};
  int sizes[3] = {cxt->xsize, cxt->ysize, cxt->zsize};
  for (int a = 0; a < 3; a++) {
    int &lo = *bounds[a][0], &hi = *bounds[a][1];
    lo = Clamp(lo, 0, sizes[a] - 1);
    hi = Clamp(hi, 0, sizes[a] - 1);
    if (lo > hi) hi = lo;
  }
  cxt->xmin = xmin;
  cxt->xmax = xmax;
  cxt->ymin = ymin;
  cxt->ymax = ymax;
  cxt->zmin = zmin;
  cxt->zmax = zmax;
  SetAxisIndices(cxt);
  SetFrameVert(cxt->frame.get(), xmin, xmax, ymin, ymax, zmin, zmax);
}

float GetTilt(const Context *cxt) { return cxt->tilt; }
float GetSpin(const Context *cxt) { return cxt->spin; }

// ---- objects ----

void SetPhong(Context *cxt, int label, float diff, float spec, float amb, int ns) {
  ObjectAppearance &o = cxt->object[LabelIndex(label)];
  o.diff = diff;
  o.spec = spec;
  o.amb = amb;
  o.ns = ns;
}

// The weighted sums are formed in double and rounded once into the record.
void SetObjectColor(Context *cxt, int label, float r, float g, float b) {
  ObjectAppearance &o = cxt->object[LabelIndex(label)];
  double R = r, G = g, B = b;
  o.Y = static_cast<float>(0.257 * R + 0.504 * G + 0.098 * B + 0.06274509803921569);
  o.Cb = static_cast<float>(-0.148 * R - 0.291 * G + 0.439 * B + 0.5019607843137255);
  o.Cr = static_cast<float>(0.439 * R - 0.368 * G - 0.071 * B + 0.5019607843137255);
}

void SetObjectOpacity(Context *cxt, int label, float opacity) {
  cxt->object[LabelIndex(label)].opac = opacity;
}

// ---- z-buffers and f-buffers ----

template <class Buffer>
static void SizeBuffer(Buffer *buffer, int ncols, int nrows, const char *func) {
  int n = CheckedVoxelCount(ncols, nrows, 1, func);
  buffer->ncols = ncols;
  buffer->nrows = nrows;
  try {
    buffer->tbrow.resize(nrows);
    for (int r = 0; r < nrows; r++) buffer->tbrow[r] = r * ncols;
    if constexpr (std::is_same_v<Buffer, ZBuffer>) {
      buffer->dist.resize(n);
      buffer->object.resize(n);
      buffer->voxel.resize(n);
    } else {
      buffer->val.assign(n, 0.0f);
    }
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", func);
  }
}

std::unique_ptr<ZBuffer> CreateZBuffer(int ncols, int nrows) {
  auto zbuffer = std::make_unique<ZBuffer>();
  SizeBuffer(zbuffer.get(), ncols, nrows, "CreateZBuffer");
  InitZBuffer(zbuffer.get());
  return zbuffer;
}

void DestroyZBuffer(std::unique_ptr<ZBuffer> *zbuffer) {
  if (zbuffer != nullptr) zbuffer->reset();
}

void InitZBuffer(ZBuffer *zbuffer) {
  std::fill(zbuffer->dist.begin(), zbuffer->dist.end(), static_cast<float>(zbuffer->ncols));
  std::fill(zbuffer->object.begin(), zbuffer->object.end(), 0);
  std::fill(zbuffer->voxel.begin(), zbuffer->voxel.end(), -1);
}

void InitZBufferObject(ZBuffer *zbuffer, int label) {
  std::fill(zbuffer->object.begin(), zbuffer->object.end(),
            static_cast<unsigned char>(LabelIndex(label)));
}

void InitZBufferVoxel(ZBuffer *zbuffer) {
  std::fill(zbuffer->voxel.begin(), zbuffer->voxel.end(), -1);
}

// Scripts pass pixel numbers straight through: a wrong one fails the call.
static void CheckPixel(const ZBuffer *zbuffer, int p, const char *func) {
  if (p < 0 || p >= zbuffer->PixelCount()) {
    Error("Pixel " + std::to_string(p) + " is outside the " + std::to_string(zbuffer->ncols) +
              " x " + std::to_string(zbuffer->nrows) + " z-buffer",
          func);
  }
}

int GetZBufferVoxel(const ZBuffer *zbuffer, int p) {
  CheckPixel(zbuffer, p, "GetZBufferVoxel");
  return zbuffer->voxel[p];
}

float GetZBufferDist(const ZBuffer *zbuffer, int p) {
  CheckPixel(zbuffer, p, "GetZBufferDist");
  return zbuffer->dist[p];
}

int GetZBufferObject(const ZBuffer *zbuffer, int p) {
  CheckPixel(zbuffer, p, "GetZBufferObject");
  return zbuffer->object[p];
}

void SetZBufferDist(ZBuffer *zbuffer, const FBuffer *fbuffer) {
  if (zbuffer->ncols != fbuffer->ncols || zbuffer->nrows != fbuffer->nrows) {
    Error("The f-buffer is " + std::to_string(fbuffer->ncols) + " x " +
              std::to_string(fbuffer->nrows) + " but the z-buffer " +
              std::to_string(zbuffer->ncols) + " x " + std::to_string(zbuffer->nrows),
          "SetZBufferDist");
  }
  zbuffer->dist = fbuffer->val;
}

std::unique_ptr<FBuffer> CreateFBuffer(int ncols, int nrows) {
  auto fbuffer = std::make_unique<FBuffer>();
  SizeBuffer(fbuffer.get(), ncols, nrows, "CreateFBuffer");
  return fbuffer;
}

void DestroyFBuffer(std::unique_ptr<FBuffer> *fbuffer) {
  if (fbuffer != nullptr) fbuffer->reset();
}

void InitFBuffer(FBuffer *fbuffer, float value) {
  std::fill(fbuffer->val.begin(), fbuffer->val.end(), value);
}
