// The splatting renderers (colour, grey, direct projection) and the
// intermediate-image compositing renderer.
#include "render/shell_render.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "render/context.h"
#include "render/scene_render.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_drawable.h"
#include "render/shell_splat.h"
#include "render/shell_traverse.h"

namespace {

std::unique_ptr<FBuffer> OpenFBuffer(int ncols, int nrows) {
  auto f = CreateFBuffer(ncols, nrows);
  InitFBuffer(f.get(), 1.0f);
  return f;
}

template <bool kSkip>
std::unique_ptr<CImage> RenderCSW(const Shell *shell, Context *cxt, const char *func) {
  CheckShellContext(shell, cxt, func);
  const SplatSetup s = MakeSplatSetup(cxt);
  auto interT = OpenFBuffer(s.shear.iw, s.shear.ih);
  auto outT = OpenFBuffer(s.isize, s.isize);
  InitZBuffer(cxt->zbuffer.get());
  auto out = CreateCImage(s.isize, s.isize);
  const SplatTargets t{interT.get(), outT.get(), cxt->zbuffer.get(), out.get(), nullptr};
  const AxisRun outer = RunOfAxis(cxt, cxt->paxis);
  if (kSkip) {
    CompositeShell<CSWMode>(s, t, shell, cxt, outer, true);
  } else {
    CompositeShellPlain<CSWMode>(s, t, shell, cxt, outer, true);
  }
  return out;
}

}  // namespace

std::unique_ptr<CImage> CSWShellRendering(const Shell *shell, Context *cxt) {
  return RenderCSW<true>(shell, cxt, "CSWShellRendering");
}

std::unique_ptr<CImage> CSWShellRenderingPlain(const Shell *shell, Context *cxt) {
  return RenderCSW<false>(shell, cxt, "CSWShellRendering");
}

std::unique_ptr<Image> SWShellRendering(const Shell *shell, Context *cxt) {
  CheckShellContext(shell, cxt, "SWShellRendering");
  const SplatSetup s = MakeSplatSetup(cxt);
  auto interT = OpenFBuffer(s.shear.iw, s.shear.ih);
  auto outT = OpenFBuffer(s.isize, s.isize);
  auto out = CreateImage(s.isize, s.isize);
  const SplatTargets t{interT.get(), outT.get(), nullptr, nullptr, out.get()};
  CompositeShell<SWMode>(s, t, shell, cxt, RunOfAxis(cxt, cxt->paxis), false);
  return out;
}

// Direct projection with the rotation: the voxel array row by row, z outer,
// whatever the principal axis; only the output transparency gates.
std::unique_ptr<Image> ShellRendering(const Shell *shell, Context *cxt) {
  CheckShellContext(shell, cxt, "ShellRendering");
  const SplatSetup s = MakeSplatSetup(cxt);
  const int n = s.isize, half = n / 2;
  auto outT = OpenFBuffer(n, n);
  auto out = CreateImage(n, n);
  float *T = outT->val.data();
  const double r0[3] = {cxt->rotation[0][0], cxt->rotation[0][1], cxt->rotation[0][2]};
  const double r1[3] = {cxt->rotation[1][0], cxt->rotation[1][1], cxt->rotation[1][2]};
  const AxisRun xr = RunOfAxis(cxt, 'x'), yr = RunOfAxis(cxt, 'y'), zr = RunOfAxis(cxt, 'z');
  for (int z = zr.first; z != zr.end; z += zr.step) {
    for (int y = yr.first; y != yr.end; y += yr.step) {
      int first, end;
      ShellRow(shell, y, z, &first, &end);
      for (int e = 0; e < end - first; e++) {
        const int index = xr.step > 0 ? first + e : end - 1 - e;
        const Voxel vox = shell->voxel[index];
        if (vox.label == 0) continue;
        const double cx = vox.x - s.xc, cy = y - s.yc, cz = z - s.zc;
        const int q0c = static_cast<int>(r0[0] * cx + r0[1] * cy + r0[2] * cz + half);
        const int q0r = static_cast<int>(r1[0] * cx + r1[1] * cy + r1[2] * cz + half);
        const bool q0In = q0c >= 0 && q0c < n && q0r >= 0 && q0r < n;
        if (q0In && !IsOpen(T[q0c + q0r * n])) continue;
        const double c = FacingOf(s.view, shell->normaltable->entry[vox.normal]);
        if (!(c > 0.0)) continue;
        const double d = s.r2[0] * cx + s.r2[1] * cy + s.r2[2] * cz + s.dc;
        const ObjectAppearance &o = cxt->object[vox.label];
        const double shade = ShadeOf(o, c, d, n);
        const double alpha = s.opacity[vox.opacity], A = o.opac;
        for (const SplatTap &tap : s.taps) {
          const int qc = q0c + tap.dx, qr = q0r + tap.dy;
          if (qc < 0 || qc >= n || qr < 0 || qr >= n) continue;
          const int q = qc + qr * n;
          if (!IsOpen(T[q])) continue;
          out->val[q] =
              SaturatedSum(out->val[q], SaturatedInt(T[q] * alpha * A * 255.0 * shade * tap.weight));
          T[q] = static_cast<float>(T[q] * (1.0 - alpha * A * tap.weight));
        }
      }
    }
  }
  return out;
}

namespace {

// One pixel of the intermediate image of ICSWShellRendering: its colour
// sums and its first hit side by side, so that compositing a voxel and
// warping a pixel each touch one place in memory rather than six planes.
// A pixel takes at most one voxel per slice (the shear is one to one within
// a slice) and each adds at most 255 to a sum, so with at most 257 slices
// the sums fit 16 bits and a pixel 16 bytes.
template <class Sum>
struct InterPixel {
  Sum rgb[3];
  unsigned char object;
  int voxel;
  float dist;
};

// The intermediate image of ICSWShellRendering, its storage kept from one
// rendering to the next on each calling thread. A pixel holds data only
// once a voxel has reached it (a byte each says which did, so that takers
// of disjoint lines never write the same memory); every other pixel is
// blank (black, no voxel, the dist InitZBuffer gives a buffer of iw
// columns), so it is neither set up nor read.
template <class Sum>
class InterImage {
 public:
  using Pixel = InterPixel<Sum>;
  void Reset(int iw, int ih) {
    blank_ = Pixel{{0, 0, 0}, 0, -1, static_cast<float>(iw)};
    const size_t n = static_cast<size_t>(iw) * ih;
    pixels_.resize(n);
    reached_.assign(n, 0);
  }
  // Marks p reached; whether it was not before (its pixel then holds
  // nothing yet and is to be written whole).
  bool Reach(int p) {
    const bool fresh = reached_[p] == 0;
    reached_[p] = 1;
    return fresh;
  }
  Pixel &operator[](int p) { return pixels_[p]; }
  const Pixel &Blank() const { return blank_; }
  // The pixel p, blank where no voxel reached.
  const Pixel &At(int p) const { return reached_[p] ? pixels_[p] : blank_; }

 private:
  Pixel blank_{};
  std::vector<Pixel> pixels_;
  std::vector<uint8_t> reached_;
};

ShellPassCounts &ThreadICSWCounts() {
  static thread_local ShellPassCounts counts;
  return counts;
}

// Compositing into the intermediate image: every voxel changes only its
// own intermediate pixel, so the lines of the image are dealt out between
// threads (LineShare), each compositing the voxels of its lines in the
// traversal order; then the warp, row by row. The skipping pass traverses
// only the drawable voxels (DrawableVoxels): the others are turned away by
// the visible and label tests before they touch anything.
template <bool kSkip, class Sum>
std::unique_ptr<CImage> RenderICSW(const Shell *shell, Context *cxt) {
  const SplatSetup s = MakeSplatSetup(cxt);
  const ShearFrame &f = s.shear;
  // Working buffers of the calling thread, reused: a rendering never runs
  // inside another's. (Named through references, which the bands' lambdas
  // capture: a thread_local named there would be the worker's own.)
  static thread_local FBuffer interTStore;
  static thread_local InterImage<Sum> interStore;
  FBuffer &interT = interTStore;
  InterImage<Sum> &inter = interStore;
  interT.ncols = f.iw, interT.nrows = f.ih;
  interT.val.assign(static_cast<size_t>(f.iw) * f.ih, 1.0f);
  inter.Reset(f.iw, f.ih);
  auto out = CreateCImage(s.isize, s.isize);
  ZBuffer *zb = cxt->zbuffer.get();
  const bool body = IsBodyShell(shell);
  float *T = interT.val.data();
  const NormalVector *normals = shell->normaltable->entry.data();
  DrawableWalk drawable;
  if (kSkip) drawable = DrawableVoxels(shell, cxt->paxis);
  const Shell *walk = kSkip ? drawable.shell : shell;
  const Voxel *voxels = walk->voxel.data();
  // The depth's three products, one table per axis: a float times a small
  // integer is exact in double, so summing table entries in x, y, z order
  // rounds as the dot product written out does.
  std::vector<double> depthOf[3];
  const int size[3] = {cxt->xsize, cxt->ysize, cxt->zsize}, centre[3] = {s.xc, s.yc, s.zc};
  for (int a = 0; a < 3; a++) {
    depthOf[a].resize(size[a]);
    for (int c = 0; c < size[a]; c++) depthOf[a][c] = s.r2[a] * (c - centre[a]);
  }
  const double *depthX = depthOf[0].data(), *depthY = depthOf[1].data();
  const double *depthZ = depthOf[2].data();
  // The lines in parts taken by the threads as they come free (a thread
  // the machine starts late takes fewer), each part a traversal of its own.
  const int lines = f.paxis == 'y' ? f.iw : f.ih;
  const int bands = kSkip ? RenderBands(lines / 16) : 1;
  const int parts = bands == 1 ? 1 : std::min(4 * bands, lines / 8);
  std::atomic<int> nextPart{0};
  std::vector<ShellPassCounts> counted(bands);
  ParallelBands(bands, [&](int band) {
    long long visited = 0, drawn = 0;
    // Shading up to the depth factor, kept while the normal and the label
    // repeat (neighbouring voxels of a surface share them).
    int lastNormal = -1, lastLabel = -1;
    double lastC = 0.0, lastPhong = 0.0;
    ChromaTerms lastChroma{};
    auto composite = [&](int index, int x, int y, int z, int u, int v)
                         __attribute__((always_inline)) {
      const int p = u + f.ci + (v + f.cj) * f.iw;
      const Voxel vox = voxels[index];
      visited++;
      if (vox.visible == 0 || vox.label == 0) return;
      const ObjectAppearance &o = cxt->object[vox.label];
      if (vox.normal != lastNormal || vox.label != lastLabel) {
        if (vox.label != lastLabel) lastChroma = ChromaOf(o.Cb, o.Cr);
        lastNormal = vox.normal, lastLabel = vox.label;
        lastC = FacingOf(s.view, normals[vox.normal]);
        lastPhong = PhongOf(o, lastC);
      }
      if (!(lastC > 0.0) && !body) return;
      drawn++;
      const double d = depthX[x] + depthY[y] + depthZ[z] + s.dc;
      const double shade = lastPhong * (1.0 - d / s.isize) + o.amb;
      const double w = s.opacity[vox.opacity] * static_cast<double>(o.opac);
      // The first voxel to reach a pixel writes it whole: its colour, and
      // the first hit (its dist when below the blank one).
      const bool fresh = inter.Reach(p);
      InterPixel<Sum> &px = inter[p];
      int sum[3] = {0, 0, 0};
      if (!fresh) sum[0] = px.rgb[0], sum[1] = px.rgb[1], sum[2] = px.rgb[2];
      double rgb[3];
      ClampedChromaColor(lastChroma, static_cast<float>(shade), rgb);
      AddClampedColor(&sum[0], &sum[1], &sum[2], rgb, static_cast<float>(T[p] * w));
      for (int b = 0; b < 3; b++) px.rgb[b] = static_cast<Sum>(sum[b]);
      T[p] = static_cast<float>(T[p] * (1.0 - w));
      if (fresh) {
        px.voxel = kSkip ? drawable.Origin(index) : index;
        px.object = vox.label;
        const double dist = s.isize - d;
        const float blank = inter.Blank().dist;
        px.dist = dist < blank ? static_cast<float>(dist) : blank;
      }
    };
    if (kSkip) {
      for (int part = nextPart++; part < parts; part = nextPart++) {
        TraverseOpenIntermediate<ShearRounding::kNearest, false>(
            walk, cxt, f, PrincipalRun(cxt), true, &interT, LineShare::Part(part, parts, lines),
            composite);
      }
    } else {
      TraverseShell(shell, cxt, PrincipalRun(cxt), true, [&](int index, int x, int y, int z) {
        int u, v;
        ShearedPosition<ShearRounding::kNearest>(f, x, y, z, &u, &v);
        if (u + f.ci < 0 || u + f.ci >= f.iw || v + f.cj < 0 || v + f.cj >= f.ih) return;
        if (IsOpen(T[u + f.ci + (v + f.cj) * f.iw])) composite(index, x, y, z, u, v);
      });
    }
    counted[band].visited = visited, counted[band].drawn = drawn;
  });
  ShellPassCounts &counts = ThreadICSWCounts();
  counts = ShellPassCounts{};
  counts.voxels = shell->nvoxels;
  counts.drawable = walk->nvoxels;
  for (const ShellPassCounts &c : counted) counts.visited += c.visited, counts.drawn += c.drawn;
  // Nearest-neighbour warp in image order, bands of rows shared between
  // threads. The products of the column offset are the same for every row;
  // the sums are formed in the same order as the single expression (S00 uc
  // + S01 vc) + ci. Every pixel of the z-buffer is written here: from the
  // intermediate image, or with the values InitZBuffer gives where the
  // pixel falls outside it. (A z-buffer of another size than the image is
  // only reset.)
  const double s00 = cxt->shear[0][0], s01 = cxt->shear[0][1];
  const double s10 = cxt->shear[1][0], s11 = cxt->shear[1][1];
  const int n = s.isize, half = n / 2;
  std::vector<double> colU(n), colV(n);
  for (int col = 0; col < n; col++) {
    colU[col] = s00 * (col - half);
    colV[col] = s10 * (col - half);
  }
  const bool zWhole = zb->ncols == n && zb->nrows == n;
  if (!zWhole) InitZBuffer(zb);
  const float resetDist = static_cast<float>(zb->ncols);
  int *red = out->C[0]->val.data(), *green = out->C[1]->val.data(), *blue = out->C[2]->val.data();
  unsigned char *zObject = zb->object.data();
  int *zVoxel = zb->voxel.data();
  float *zDist = zb->dist.data();
  // The columns of output row r that fall inside the intermediate image:
  // both intermediate coordinates are monotone in the column (products of
  // one factor and increasing integers, plus constants, truncated), so they
  // are one run [c0, c1). The z-buffer outside it is reset.
  std::vector<int> runStart(n), runEnd(n);
  auto rowRun = [&](int r) {
    const int vc = r - half;
    const double rowU = s01 * vc, rowV = s11 * vc;
    auto inside = [&](int col) {
      const int iu = static_cast<int>(colU[col] + rowU + f.ci);
      const int iv = static_cast<int>(colV[col] + rowV + f.cj);
      return iu >= 0 && iu < f.iw && iv >= 0 && iv < f.ih;
    };
    int c0 = 0, c1 = n;
    while (c0 < n && !inside(c0)) c0++;
    while (c1 > c0 && !inside(c1 - 1)) c1--;
    runStart[r] = c0, runEnd[r] = c1;
    if (zWhole) {
      int *zv = zVoxel + r * n;
      unsigned char *zo = zObject + r * n;
      float *zd = zDist + r * n;
      for (auto [a, b] : {std::pair<int, int>{0, c0}, std::pair<int, int>{c1, n}}) {
        std::fill(zv + a, zv + b, -1);
        std::fill(zo + a, zo + b, static_cast<unsigned char>(0));
        std::fill(zd + a, zd + b, resetDist);
      }
    }
  };
  // The copy, in tiles of the output: along an output row the intermediate
  // pixels may lie a line apart, and a tile keeps the lines it reads in the
  // cache.
  constexpr int kTileRows = 16, kTileCols = 64;
  auto warpRows = [&](int r0, int r1) {
    for (int r = r0; r < r1; r++) rowRun(r);
    for (int rt = r0; rt < r1; rt += kTileRows) {
      const int rtEnd = std::min(r1, rt + kTileRows);
      for (int ct = 0; ct < n; ct += kTileCols) {
        for (int r = rt; r < rtEnd; r++) {
          const int vc = r - half;
          const double rowU = s01 * vc, rowV = s11 * vc;
          int *rr = red + r * n, *gg = green + r * n, *bb = blue + r * n;
          int *zv = zVoxel + r * n;
          unsigned char *zo = zObject + r * n;
          float *zd = zDist + r * n;
          const int cEnd = std::min(runEnd[r], ct + kTileCols);
          for (int col = std::max(runStart[r], ct); col < cEnd; col++) {
            const int iu = static_cast<int>(colU[col] + rowU + f.ci);
            const int iv = static_cast<int>(colV[col] + rowV + f.cj);
            if (iu < 0 || iu >= f.iw || iv < 0 || iv >= f.ih) continue;  // never, by the run
            const InterPixel<Sum> &px = inter.At(iu + iv * f.iw);
            rr[col] = px.rgb[0], gg[col] = px.rgb[1], bb[col] = px.rgb[2];
            if (zWhole) zo[col] = px.object, zv[col] = px.voxel, zd[col] = px.dist;
          }
        }
      }
    }
  };
  if (kSkip) {
    ParallelRows(n, warpRows);
  } else {
    warpRows(0, n);
  }
  return out;
}

// The intermediate sums in 16 bits where the slices are few enough.
template <bool kSkip>
std::unique_ptr<CImage> RenderICSWSums(const Shell *shell, Context *cxt) {
  CheckShellContext(shell, cxt, "ICSWShellRendering");
  const int slices = cxt->paxis == 'x' ? cxt->xsize : cxt->paxis == 'y' ? cxt->ysize : cxt->zsize;
  if (slices <= 257) return RenderICSW<kSkip, uint16_t>(shell, cxt);
  return RenderICSW<kSkip, int>(shell, cxt);
}

}  // namespace

std::unique_ptr<CImage> ICSWShellRendering(const Shell *shell, Context *cxt) {
  return RenderICSWSums<true>(shell, cxt);
}

std::unique_ptr<CImage> ICSWShellRenderingPlain(const Shell *shell, Context *cxt) {
  return RenderICSWSums<false>(shell, cxt);
}

ShellPassCounts LastICSWCounts() { return ThreadICSWCounts(); }

std::unique_ptr<Image> ISWShellRendering(const Shell *shell, Context *cxt) {
  CheckShellContext(shell, cxt, "ISWShellRendering");
  return nullptr;
}
