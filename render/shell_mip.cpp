// Maximum-intensity projections of a body shell (grey, tinted by the
// objects seen, grey in three bands) and the two experimental grey
// splatting renderers: two-sided lighting of every non-transparent voxel,
// and footprints shaped by each voxel's normal.
#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

#include "core/common.h"
#include "core/curve.h"
#include "core/stretch.h"
#include "render/context.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_render.h"
#include "render/shell_splat.h"
#include "render/shell_traverse.h"

namespace {

// ---- maximum-intensity projection ----

// One kernel tap of the projection: its pixel offset in the output and
// its weight.
struct MIPTap {
  int offset;
  double weight;
};

// Coordinate products of the projection, one table per axis and image
// row of the rotation: along[a][r][c] = rotation[r][a] * (c - centre of a).
// Each product of a float and a small integer is exact in double, so
// summing three table entries in x, y, z order rounds exactly as the dot
// product written out does.
struct ProjectionTables {
  std::vector<double> along[3][3];

  explicit ProjectionTables(const Context *cxt) {
    const int size[3] = {cxt->xsize, cxt->ysize, cxt->zsize};
    for (int a = 0; a < 3; a++)
      for (int r = 0; r < 3; r++) {
        along[a][r].resize(size[a]);
        for (int c = 0; c < size[a]; c++) {
          along[a][r][c] = static_cast<double>(cxt->rotation[r][a]) * (c - size[a] / 2);
        }
      }
  }
};

// The voxel-by-voxel projection. Every visible voxel of the traversal is
// projected with the rotation to q0 := (trunc(r0 . c + isize / 2),
// trunc(r1 . c + isize / 2)), c its centred position, and each kernel tap
// q around q0 inside the image takes m := trunc(g * value) when m exceeds
// it, recording the voxel, its label and the smaller distance in the
// z-buffer. Ties keep the voxel met first, so the z-buffer depends on the
// front-to-back order.
//
// The pixels only grow from 0, so the largest value written is the largest
// pixel of the result: the caller finds it afterwards.
void ProjectMaxima(const Shell *shell, const Context *cxt, Image *out, ZBuffer *zb) {
  const int n = cxt->isize;
  const double half = n / 2;  // integer half, as the projection prescribes
  const double depthCentre = n * 0.5;
  const ProjectionTables tables(cxt);
  const double *col0[3] = {tables.along[0][0].data(), tables.along[1][0].data(),
                           tables.along[2][0].data()};
  const double *col1[3] = {tables.along[0][1].data(), tables.along[1][1].data(),
                           tables.along[2][1].data()};
  const double *col2[3] = {tables.along[0][2].data(), tables.along[1][2].data(),
                           tables.along[2][2].data()};

  const Kernel *k = cxt->kernel.get();
  const int ntaps = static_cast<int>(k->weights.size());
  std::vector<MIPTap> taps(ntaps);
  std::vector<int> tapDx(ntaps), tapDy(ntaps);
  int loDx = 0, hiDx = 0, loDy = 0, hiDy = 0;
  bool negativeWeight = false;
  for (int i = 0; i < ntaps; i++) {
    tapDx[i] = k->displacements->dx[i];
    tapDy[i] = k->displacements->dy[i];
    taps[i] = {tapDx[i] + tapDy[i] * n, static_cast<double>(k->weights[i])};
    loDx = std::min(loDx, tapDx[i]), hiDx = std::max(hiDx, tapDx[i]);
    loDy = std::min(loDy, tapDy[i]), hiDy = std::max(hiDy, tapDy[i]);
    negativeWeight = negativeWeight || k->weights[i] < 0.0f;
  }
  // Centres whose every tap lies inside the image.
  const int innerLoC = -loDx, innerHiC = n - 1 - hiDx;
  const int innerLoR = -loDy, innerHiR = n - 1 - hiDy;

  int *pix = out->val.data();
  int *zvoxel = zb->voxel.data();
  unsigned char *zobject = zb->object.data();
  float *zdist = zb->dist.data();
  const Voxel *voxel = shell->voxel.data();
  const BodyEntry *body = shell->body.data();

  std::vector<int> m(ntaps);
  TraverseShell(shell, cxt, RunOfAxis(cxt, cxt->paxis), false,
                [&](int index, int x, int y, int z) {
                  const Voxel vox = voxel[index];
                  if (vox.visible == 0) return;
                  const int value = body[index].value;
                  // With weights >= 0, m <= 0 never exceeds a pixel.
                  if (value <= 0 && !negativeWeight) return;
                  const int qc = static_cast<int>(((col0[0][x] + col0[1][y]) + col0[2][z]) + half);
                  const int qr = static_cast<int>(((col1[0][x] + col1[1][y]) + col1[2][z]) + half);
                  const double v = value;
                  auto write = [&](int q, int mv) {
                    pix[q] = mv;
                    zvoxel[q] = index;
                    zobject[q] = vox.label;
                    const double dist =
                        n - (((col2[0][x] + col2[1][y]) + col2[2][z]) + depthCentre);
                    if (dist < zdist[q]) zdist[q] = static_cast<float>(dist);
                  };
                  if (qc >= innerLoC && qc <= innerHiC && qr >= innerLoR && qr <= innerHiR) {
                    const int q0 = qc + qr * n;
                    for (int i = 0; i < ntaps; i++) {
                      const int mv = SaturatedInt(taps[i].weight * v);
                      const int q = q0 + taps[i].offset;
                      if (mv > pix[q]) write(q, mv);
                    }
                  } else {
                    for (int i = 0; i < ntaps; i++) {
                      const int c = qc + tapDx[i], r = qr + tapDy[i];
                      if (c < 0 || c >= n || r < 0 || r >= n) continue;
                      const int mv = SaturatedInt(taps[i].weight * v);
                      const int q = c + r * n;
                      if (mv > pix[q]) write(q, mv);
                    }
                  }
                });
}

std::unique_ptr<Image> RenderMIP(const Shell *shell, Context *cxt, const Curve *cs,
                                 const char *func) {
  CheckShellContext(shell, cxt, func);
  const int n = cxt->isize;
  auto out = CreateImage(n, n);
  if (!IsBodyShell(shell)) return out;
  InitZBuffer(cxt->zbuffer.get());
  ProjectMaxima(shell, cxt, out.get(), cxt->zbuffer.get());
  if (MaximumValue(out.get()) <= 255) return out;
  if (cs->n < 2 || cs->X.size() < 2 || cs->Y.size() < 2) {
    Error("The grey-level curve has fewer than two points", func);
  }
  return LinearStretch(out.get(), SaturatedInt(cs->X[0]), SaturatedInt(cs->X[1]),
                       SaturatedInt(cs->Y[0]), SaturatedInt(cs->Y[1]));
}

// ---- the experimental grey splatting renderers ----

// Two-sided lighting: every voxel with a non-zero opacity, whatever its
// label, visibility or facing, shaded with c = |viewer . normal|.
struct DVRMode {
  static constexpr bool kColour = false;
  static constexpr bool kTestVisible = false;
  static constexpr SplatDepth kDepth = SplatDepth::kExact;
  static constexpr SplatFirstHit kFirstHit = SplatFirstHit::kNone;
  static constexpr bool kPlaneTest = false;
  static constexpr SplatVoxelTest kVoxelTest = SplatVoxelTest::kOpacity;
  static constexpr bool kTwoSided = true;
};

// Normal-shaped footprints: every voxel facing the viewer, whatever its
// label or visibility; the tap weights are the voxel's own.
struct EWAMode {
  static constexpr bool kColour = false;
  static constexpr bool kTestVisible = false;
  static constexpr SplatDepth kDepth = SplatDepth::kExact;
  static constexpr SplatFirstHit kFirstHit = SplatFirstHit::kNone;
  static constexpr bool kPlaneTest = false;
  static constexpr SplatVoxelTest kVoxelTest = SplatVoxelTest::kNone;
};

std::unique_ptr<FBuffer> OpenFBuffer(int ncols, int nrows) {
  auto f = CreateFBuffer(ncols, nrows);
  InitFBuffer(f.get(), 1.0f);
  return f;
}

// The footprint of a voxel with normal (nx, ny, nz): for each kernel
// offset (dx, dy), t := nz (-dy) + ny (-dx), s := ((dx^2 + dy^2) - t^2) /
// nx and weight exp(-(s^2 + t^2) / 6.25). A normal with nx = 0 (only
// entries without a direction have one) takes the footprint of the
// smallest non-zero |nx| a stored component can hold, the positive
// single-precision denormal 2^-149: every tap whose numerator is not
// exactly zero gets weight 0, the others exp(-t^2 / 6.25).
void NormalFootprint(const NormalVector &normal, const std::vector<SplatTap> &kernel,
                     float *weights) {
  double nx = normal.x;
  if (nx == 0.0) nx = std::numeric_limits<float>::denorm_min();
  const double ny = normal.y, nz = normal.z;
  for (size_t i = 0; i < kernel.size(); i++) {
    const double dx = kernel[i].dx, dy = kernel[i].dy;
    const double t = nz * -dy + ny * -dx;
    const double s = ((dx * dx + dy * dy) - t * t) / nx;
    weights[i] = static_cast<float>(std::exp(-(s * s + t * t) / 6.25));
  }
}

template <class Mode>
std::unique_ptr<Image> RenderGreySplats(const Shell *shell, Context *cxt, const char *func) {
  CheckShellContext(shell, cxt, func);
  SplatSetup s = MakeSplatSetup(cxt);
  auto interT = OpenFBuffer(s.shear.iw, s.shear.ih);
  auto outT = OpenFBuffer(s.isize, s.isize);
  auto out = CreateImage(s.isize, s.isize);
  const SplatTargets t{interT.get(), outT.get(), nullptr, nullptr, out.get()};
  const AxisRun outer = RunOfAxis(cxt, cxt->paxis);
  if (std::is_same<Mode, EWAMode>::value) {
    // The footprints live in this call's copy of the kernel taps, filled
    // per voxel from a table by normal index; the context's kernel is left
    // as it was.
    const size_t ntaps = s.taps.size();
    std::vector<float> footprint(kNormalTableEntries * ntaps);
    std::vector<unsigned char> known(kNormalTableEntries, 0);
    const std::vector<SplatTap> kernel = s.taps;
    TraverseOpenIntermediate<ShearRounding::kTruncate, true>(
        shell, cxt, s.shear, outer, false, t.interT,
        [&](int index, int x, int y, int z, int u, int v) {
          const int normal = shell->voxel[index].normal;
          float *w = &footprint[normal * ntaps];
          if (!known[normal]) {
            NormalFootprint(shell->normaltable->entry[normal], kernel, w);
            known[normal] = 1;
          }
          for (size_t i = 0; i < ntaps; i++) s.taps[i].weight = w[i];
          SplatVoxel<Mode>(s, t, shell, cxt, index, x, y, z, u, v);
        });
  } else {
    CompositeShell<Mode>(s, t, shell, cxt, outer, false);
  }
  return out;
}

}  // namespace

std::unique_ptr<Image> MIPShell(const Shell *shell, Context *cxt, const Curve *cs) {
  return RenderMIP(shell, cxt, cs, "MIPShell");
}

std::unique_ptr<CImage> CMIPShell(const Shell *shell, Context *cxt, const Curve *cs) {
  auto grey = RenderMIP(shell, cxt, cs, "CMIPShell");
  return Colorize(cxt, grey.get());
}

std::unique_ptr<CImage> GMIPShell(const Shell *shell, Context *cxt, const Curve *cs) {
  auto grey = RenderMIP(shell, cxt, cs, "GMIPShell");
  auto out = CreateCImage(grey->ncols, grey->nrows);
  for (int b = 0; b < 3; b++) out->C[b]->val = grey->val;
  return out;
}

std::unique_ptr<Image> DirectVolumeRendering(const Shell *shell, Context *cxt) {
  return RenderGreySplats<DVRMode>(shell, cxt, "DirectVolumeRendering");
}

std::unique_ptr<Image> EWASWShellRendering(const Shell *shell, Context *cxt) {
  return RenderGreySplats<EWAMode>(shell, cxt, "EWASWShellRendering");
}
