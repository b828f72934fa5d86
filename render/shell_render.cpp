// The splatting renderers (colour, grey, direct projection) and the
// intermediate-image compositing renderer.
#include "render/shell_render.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/context.h"
#include "render/shading.h"
#include "render/shell.h"
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
          out->val[q] += SaturatedInt(T[q] * alpha * A * 255.0 * shade * tap.weight);
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
struct InterPixel {
  int rgb[3];
  int voxel;
  float dist;
  unsigned char object;
};

template <bool kSkip>
std::unique_ptr<CImage> RenderICSW(const Shell *shell, Context *cxt) {
  CheckShellContext(shell, cxt, "ICSWShellRendering");
  const SplatSetup s = MakeSplatSetup(cxt);
  const ShearFrame &f = s.shear;
  auto interT = OpenFBuffer(f.iw, f.ih);
  // Black, no voxel, the dist InitZBuffer gives a buffer of iw columns.
  const InterPixel blank{{0, 0, 0}, -1, static_cast<float>(f.iw), 0};
  std::vector<InterPixel> inter(static_cast<size_t>(f.iw) * f.ih, blank);
  auto out = CreateCImage(s.isize, s.isize);
  ZBuffer *zb = cxt->zbuffer.get();
  InitZBuffer(zb);
  const bool body = IsBodyShell(shell);
  float *T = interT->val.data();
  InterPixel *ip = inter.data();
  const NormalVector *normals = shell->normaltable->entry.data();
  const Voxel *voxels = shell->voxel.data();
  // Shading up to the depth factor, kept while the normal and the label
  // repeat (neighbouring voxels of a surface share them).
  int lastNormal = -1, lastLabel = -1;
  double lastC = 0.0, lastPhong = 0.0;
  auto composite = [&](int index, int x, int y, int z, int u, int v) {
    const int p = u + f.ci + (v + f.cj) * f.iw;
    const Voxel vox = voxels[index];
    if (vox.visible == 0 || vox.label == 0) return;
    const ObjectAppearance &o = cxt->object[vox.label];
    if (vox.normal != lastNormal || vox.label != lastLabel) {
      lastNormal = vox.normal, lastLabel = vox.label;
      lastC = FacingOf(s.view, normals[vox.normal]);
      lastPhong = PhongOf(o, lastC);
    }
    if (!(lastC > 0.0) && !body) return;
    const double d = s.r2[0] * (x - s.xc) + s.r2[1] * (y - s.yc) + s.r2[2] * (z - s.zc) + s.dc;
    const double shade = lastPhong * (1.0 - d / s.isize) + o.amb;
    const double w = s.opacity[vox.opacity] * static_cast<double>(o.opac);
    InterPixel &px = ip[p];
    AddVoxelColor(&px.rgb[0], &px.rgb[1], &px.rgb[2], o, static_cast<float>(shade),
                  static_cast<float>(T[p] * w));
    T[p] = static_cast<float>(T[p] * (1.0 - w));
    if (px.voxel == -1) {
      px.voxel = index;
      px.object = vox.label;
      const double dist = s.isize - d;
      if (dist < px.dist) px.dist = static_cast<float>(dist);
    }
  };
  if (kSkip) {
    TraverseOpenIntermediate<ShearRounding::kNearest, false>(shell, cxt, f, PrincipalRun(cxt),
                                                             true, interT.get(), composite);
  } else {
    TraverseShell(shell, cxt, PrincipalRun(cxt), true, [&](int index, int x, int y, int z) {
      int u, v;
      ShearedPosition<ShearRounding::kNearest>(f, x, y, z, &u, &v);
      if (u + f.ci < 0 || u + f.ci >= f.iw || v + f.cj < 0 || v + f.cj >= f.ih) return;
      if (IsOpen(T[u + f.ci + (v + f.cj) * f.iw])) composite(index, x, y, z, u, v);
    });
  }
  // Nearest-neighbour warp in image order. The products of the column
  // offset are the same for every row; the sums are formed in the same
  // order as the single expression (S00 uc + S01 vc) + ci.
  const double s00 = cxt->shear[0][0], s01 = cxt->shear[0][1];
  const double s10 = cxt->shear[1][0], s11 = cxt->shear[1][1];
  const int half = s.isize / 2;
  std::vector<double> colU(s.isize), colV(s.isize);
  for (int col = 0; col < s.isize; col++) {
    colU[col] = s00 * (col - half);
    colV[col] = s10 * (col - half);
  }
  int *red = out->C[0]->val.data(), *green = out->C[1]->val.data(), *blue = out->C[2]->val.data();
  unsigned char *zObject = zb->object.data();
  int *zVoxel = zb->voxel.data();
  float *zDist = zb->dist.data();
  for (int r = 0; r < s.isize; r++) {
    const int vc = r - half;
    const double rowU = s01 * vc, rowV = s11 * vc;
    for (int col = 0; col < s.isize; col++) {
      const int iu = static_cast<int>(colU[col] + rowU + f.ci);
      const int iv = static_cast<int>(colV[col] + rowV + f.cj);
      if (iu < 0 || iu >= f.iw || iv < 0 || iv >= f.ih) continue;
      const InterPixel &px = ip[iu + iv * f.iw];
      const int q = col + r * s.isize;
      red[q] = px.rgb[0], green[q] = px.rgb[1], blue[q] = px.rgb[2];
      zObject[q] = px.object;
      zVoxel[q] = px.voxel;
      zDist[q] = px.dist;
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<CImage> ICSWShellRendering(const Shell *shell, Context *cxt) {
  return RenderICSW<true>(shell, cxt);
}

std::unique_ptr<CImage> ICSWShellRenderingPlain(const Shell *shell, Context *cxt) {
  return RenderICSW<false>(shell, cxt);
}

std::unique_ptr<Image> ISWShellRendering(const Shell *shell, Context *cxt) {
  CheckShellContext(shell, cxt, "ISWShellRendering");
  return nullptr;
}
