#include "render/splatting.h"

#include <string>
#include <vector>

#include "core/common.h"
#include "core/kernel.h"
#include "core/scene.h"
#include "core/set.h"
#include "render/context.h"
#include "render/scene_render.h"
#include "render/shading.h"
#include "render/shell_traverse.h"

namespace {

// The pixel offsets of the context's kernel adjacency for an image of
// ncols columns, and how far they reach (at least one pixel).
struct Spread {
  std::vector<int> offset;
  int reach = 1;
};

Spread KernelSpread(const Context *cxt, int ncols) {
  Spread s;
  const AdjRel *A = cxt->kernel ? cxt->kernel->displacements.get() : nullptr;
  if (A == nullptr) return s;
  for (int i = 0; i < A->n; i++) {
    s.offset.push_back(A->dx[i] + A->dy[i] * ncols);
    s.reach = std::max({s.reach, std::abs(A->dx[i]), std::abs(A->dy[i])});
  }
  return s;
}

// Stores a voxel into pixel p of a working buffer.
void Store(ZBuffer *T, int p, float dist, int index, int value) {
  T->dist[p] = dist;
  T->voxel[p] = index;
  T->object[p] = static_cast<unsigned char>(value & 0xFF);
}

// The pixel at (trunc(column), trunc(row)), or -1 outside the buffer.
int PixelOf(const ZBuffer *T, double column, double row) {
  const int c = SaturatedTrunc(column), r = SaturatedTrunc(row);
  if (c < 0 || r < 0 || c >= T->ncols || r >= T->nrows) return -1;
  return c + T->tbrow[r];
}

// The widening into the context's z-buffer, then Phong shading.
std::unique_ptr<Image> WidenAndShade(const ZBuffer *T, Context *cxt) {
  ZBuffer *zb = cxt->zbuffer.get();
  InitZBuffer(zb);
  const Spread spread = KernelSpread(cxt, T->ncols);
  const int n = T->PixelCount();
  for (int r = spread.reach; r < T->nrows - spread.reach; r++) {
    for (int col = spread.reach; col < T->ncols - spread.reach; col++) {
      const int p = col + T->tbrow[r];
      if (T->voxel[p] == -1) continue;
      zb->dist[p] = T->dist[p];
      zb->voxel[p] = T->voxel[p];
      zb->object[p] = T->object[p];
      for (int off : spread.offset) {
        const int q = p + off;
        if (q < 0 || q >= n || T->voxel[q] != -1 || zb->voxel[q] != -1) continue;
        zb->dist[q] = T->dist[p];
        zb->voxel[q] = T->voxel[p];
        zb->object[q] = T->object[p];
      }
    }
  }
  return PhongShading(cxt);
}

}  // namespace

std::unique_ptr<Image> SplatScene(const Scene *scn, Context *cxt) {
  CheckSceneContext(scn, cxt, "SplatScene");
  const ZBuffer *zb = cxt->zbuffer.get();
  auto T = CreateZBuffer(zb->ncols, zb->nrows);
  const SceneProjection pr = MakeProjection(cxt, T->ncols, T->nrows / 2);
  const int *data = scn->data.data();
  for (int z = cxt->zi; z != cxt->zf; z += cxt->dz) {
    const double pz = z - pr.hz;
    for (int y = cxt->yi; y != cxt->yf; y += cxt->dy) {
      const double py = y - pr.hy;
      const int row = scn->tby[y] + scn->tbz[z];
      for (int x = cxt->xi; x != cxt->xf; x += cxt->dx) {
        const int value = data[x + row];
        if (value == 0) continue;
        const double px = x - pr.hx;
        const int p = PixelOf(T.get(), pr.Column(px, py, pz), pr.Row(px, py, pz));
        if (p < 0 || T->voxel[p] != -1) continue;
        Store(T.get(), p, static_cast<float>(pr.Depth(px, py, pz)), x + row, value);
      }
    }
  }
  return WidenAndShade(T.get(), cxt);
}

std::unique_ptr<Image> SWSplatScene(const Scene *scn, Context *cxt) {
  const char *func = "SWSplatScene";
  CheckSceneContext(scn, cxt, func);
  const ZBuffer *zb = cxt->zbuffer.get();
  const int ncols = zb->ncols, nrows = zb->nrows, hw = ncols / 2, hh = nrows / 2;
  const int pa = cxt->paxis == 'x' ? 0 : cxt->paxis == 'y' ? 1 : 2;
  const int size[3] = {scn->xsize, scn->ysize, scn->zsize};
  if (static_cast<int>(cxt->uOffset.size()) != size[pa] ||
      static_cast<int>(cxt->vOffset.size()) != size[pa])
    Error("The context's slice offsets do not match its principal axis", func);
  // Visiting order, outermost first, and the in-slice axes (i, j).
  const int order[3][3] = {{0, 2, 1}, {1, 0, 2}, {2, 1, 0}};  // 'x': x z y; 'y': y x z; 'z': z y x
  const int ia = pa == 2 ? 0 : pa == 0 ? 1 : 2;
  const int ja = pa == 2 ? 1 : pa == 0 ? 2 : 0;
  const AxisRun runs[3] = {RunOfAxis(cxt, 'x'), RunOfAxis(cxt, 'y'), RunOfAxis(cxt, 'z')};
  const SceneProjection pr = MakeProjection(cxt, ncols, hh);
  const int h[3] = {pr.hx, pr.hy, pr.hz};
  auto sheared = CreateZBuffer(ncols, nrows);
  const int a0 = order[pa][0], a1 = order[pa][1], a2 = order[pa][2];
  int q[3];
  for (q[a0] = runs[a0].first; q[a0] != runs[a0].end; q[a0] += runs[a0].step) {
    const int k = q[pa];
    const double uk = cxt->uOffset[k], vk = cxt->vOffset[k];
    for (q[a1] = runs[a1].first; q[a1] != runs[a1].end; q[a1] += runs[a1].step) {
      for (q[a2] = runs[a2].first; q[a2] != runs[a2].end; q[a2] += runs[a2].step) {
        const int index = scn->Address(q[0], q[1], q[2]);
        const int value = scn->data[index];
        if (value == 0) continue;
        const double i = q[ia] - h[ia], j = q[ja] - h[ja];
        const int p = PixelOf(sheared.get(), i + uk + hw, j + vk + hh);
        if (p < 0 || sheared->voxel[p] != -1) continue;
        const double depth = pr.Depth(q[0] - h[0], q[1] - h[1], q[2] - h[2]);
        Store(sheared.get(), p, static_cast<float>(depth), index, value);
      }
    }
  }
  // The warp to the output image.
  auto T = CreateZBuffer(ncols, nrows);
  const double IS[2][2] = {{cxt->inverseShear[0][0], cxt->inverseShear[0][1]},
                           {cxt->inverseShear[1][0], cxt->inverseShear[1][1]}};
  for (int b = 0; b < nrows; b++) {
    for (int a = 0; a < ncols; a++) {
      const int s = a + sheared->tbrow[b];
      if (sheared->voxel[s] == -1) continue;
      const int col = RoundHalfAwayFromZero(IS[0][0] * (a - hw) + IS[0][1] * (b - hh)) + hw;
      const int row = RoundHalfAwayFromZero(IS[1][0] * (a - hw) + IS[1][1] * (b - hh)) + hh;
      if (col < 0 || col >= ncols || row < 0 || row >= nrows) continue;
      const int p = col + T->tbrow[row];
      if (T->voxel[p] != -1) continue;
      T->dist[p] = sheared->dist[s];
      T->voxel[p] = sheared->voxel[s];
      T->object[p] = sheared->object[s];
    }
  }
  return WidenAndShade(T.get(), cxt);
}

std::unique_ptr<Image> SplatBorder(const Scene *scn, Context *cxt, const BorderList *border) {
  const char *func = "SplatBorder";
  CheckSceneContext(scn, cxt, func);
  const ZBuffer *zb = cxt->zbuffer.get();
  auto T = CreateZBuffer(zb->ncols, zb->nrows);
  const SceneProjection pr = MakeProjection(cxt, T->ncols, T->nrows / 2);
  const int n = scn->VoxelCount(), xsize = cxt->xsize, xysize = cxt->xsize * cxt->ysize;
  const int links = static_cast<int>(border->link.size());
  int steps = 0;
  for (int e = border->first; e != -1; e = border->link[e].next) {
    if (e < 0 || e >= n || e >= links)
      Error("Border element " + std::to_string(e) + " is outside the scene of " +
                std::to_string(n) + " voxels",
            func);
    if (++steps > links) Error("The border list runs in a loop", func);
    const int value = scn->data[e];
    const double px = e % xsize - pr.hx, py = e % xysize / xsize - pr.hy,
                 pz = e / xysize - pr.hz;
    const int p = PixelOf(T.get(), pr.Column(px, py, pz), pr.Row(px, py, pz));
    if (p < 0) continue;
    const float dist = static_cast<float>(pr.Depth(px, py, pz));
    if (T->voxel[p] == -1 || dist < T->dist[p]) Store(T.get(), p, dist, e, value);
  }
  return WidenAndShade(T.get(), cxt);
}
