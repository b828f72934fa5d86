#include "render/graphics.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/frame.h"
#include "core/kernel.h"
#include "core/plane.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/reslicing.h"
#include "render/scene_render.h"
#include "render/shading.h"
#include "segment/annscn.h"

namespace {

// Beyond this an endpoint is no point of any image: the line is left out
// rather than walked for billions of steps.
constexpr int kFarPixel = 1 << 20;

void CheckImageFitsZBuffer(const Image *img, const ZBuffer *zb, const char *func) {
  if (img->ncols != zb->ncols || img->nrows != zb->nrows)
    Error("The image is " + std::to_string(img->ncols) + " x " + std::to_string(img->nrows) +
              " but the z-buffer " + std::to_string(zb->ncols) + " x " + std::to_string(zb->nrows),
          func);
}

// Walks the Bresenham line along its longer axis in increasing order of it;
// plot(x, y, depth, a) gets every pixel with its depth and the ideal
// line's offset a from it across the minor axis.
template <class Plot>
void WalkLine(int x1, int y1, int x2, int y2, float d1, float d2, Plot &&plot) {
  for (int v : {x1, y1, x2, y2})
    if (std::abs(v) > kFarPixel) return;
  const bool steep = std::abs(y2 - y1) > std::abs(x2 - x1);
  int a1 = steep ? y1 : x1, b1 = steep ? x1 : y1;  // major, minor
  int a2 = steep ? y2 : x2, b2 = steep ? x2 : y2;
  if (a1 > a2) {
    std::swap(a1, a2);
    std::swap(b1, b2);
    std::swap(d1, d2);
  }
  const int n = a2 - a1, db = std::abs(b2 - b1), step = b2 >= b1 ? 1 : -1;
  int error = 2 * db - n;
  int b = b1;
  for (int a = a1; a <= a2; a++) {
    const int i = a - a1;
    const double t = n > 0 ? static_cast<double>(i) / n : 0.0;
    const float depth = static_cast<float>(d1 + (static_cast<double>(d2) - d1) * t);
    const double ideal = b1 + (b2 - b1) * t;
    if (steep) plot(b, a, depth, ideal - b, true);
    else plot(a, b, depth, ideal - b, false);
    if (error > 0) {
      b += step;
      error -= 2 * n;
    }
    error += 2 * db;
  }
}

bool DepthWins(const Image *img, const ZBuffer *zb, int x, int y, float depth, int *p) {
  if (x < 0 || y < 0 || x >= img->ncols || y >= img->nrows) return false;
  *p = x + zb->tbrow[y];
  return depth < zb->dist[*p];
}

void PutLinePixel(Image *img, ZBuffer *zb, int p, float depth, int value) {
  img->val[p] = value;
  zb->dist[p] = depth;
  zb->voxel[p] = -1;
}

int AAIntensity(double a) {
  return std::max(0, static_cast<int>(255.0 * (1.0 - std::fabs(a) / 1.5)));
}

// A frame vertex or a cut point, projected as the frame lines are.
struct LinePoint {
  int col, row;
  float depth;
};

LinePoint ProjectFramePoint(const SceneProjection &pr, double x, double y, double z) {
  return {SaturatedTrunc(pr.Column(x, y, z)), SaturatedTrunc(pr.Row(x, y, z)),
          static_cast<float>(pr.Depth(x, y, z) - 5.0)};
}

const int kFrameLines[12][2] = {{0, 1}, {0, 2}, {0, 4}, {1, 3}, {1, 5}, {2, 3},
                                {2, 6}, {3, 7}, {4, 5}, {4, 6}, {5, 7}, {6, 7}};

template <class Line>
void DrawFrameLines(Image *img, Context *cxt, const char *func, Line &&line) {
  CheckImageFitsZBuffer(img, cxt->zbuffer.get(), func);
  const SceneProjection pr = MakeProjection(cxt, img->ncols, img->ncols / 2);
  LinePoint v[8];
  for (int i = 0; i < 8; i++) {
    const FrameVertex &f = cxt->frame->vert[i];
    v[i] = ProjectFramePoint(pr, f.x, f.y, f.z);
  }
  for (const auto &e : kFrameLines) {
    const LinePoint &a = v[e[0]], &b = v[e[1]];
    line(img, a.col, a.row, b.col, b.row, a.depth, b.depth, cxt->zbuffer.get());
  }
}

bool KeptSide(const Plane *pl, double x, double y, double z, double *side) {
  *side = (x - pl->px) * pl->nx + (y - pl->py) * pl->ny + (z - pl->pz) * pl->nz;
  return *side >= 0.0;
}

// The three clip-box faces that face the viewer, drawn where nearer than
// the z-buffer (and, with a plane, on its kept side).
void DrawFaces(const Scene *scn, Context *cxt, const Plane *pl, int shift, Image *img) {
  ZBuffer *zb = cxt->zbuffer.get();
  const SceneProjection pr = MakeProjection(cxt, zb->ncols, zb->nrows / 2);
  auto draw = [&](int x, int y, int z) {
    const double px = x - pr.hx, py = y - pr.hy, pz = z - pr.hz;
    double side;
    if (pl != nullptr && !KeptSide(pl, px, py, pz, &side)) return;
    const int c = SaturatedTrunc(pr.Column(px, py, pz)), r = SaturatedTrunc(pr.Row(px, py, pz));
    if (c < 0 || r < 0 || c >= zb->ncols || r >= zb->nrows) return;
    const int p = c + zb->tbrow[r];
    const float depth = static_cast<float>(pr.Depth(px, py, pz));
    if (!(depth < zb->dist[p])) return;
    const int index = scn->Address(x, y, z);
    zb->dist[p] = depth;
    zb->voxel[p] = index;
    img->val[p] = scn->data[index] >> shift;
  };
  for (int z = cxt->zi; z != cxt->zf; z += cxt->dz)
    for (int y = cxt->yi; y != cxt->yf; y += cxt->dy) draw(cxt->xi, y, z);
  for (int z = cxt->zi; z != cxt->zf; z += cxt->dz)
    for (int x = cxt->xi; x != cxt->xf; x += cxt->dx) draw(x, cxt->yi, z);
  for (int y = cxt->yi; y != cxt->yf; y += cxt->dy)
    for (int x = cxt->xi; x != cxt->xf; x += cxt->dx) draw(x, y, cxt->zi);
}

std::vector<int> KernelOffsets(const Context *cxt, int ncols) {
  std::vector<int> off;
  const AdjRel *A = cxt->kernel ? cxt->kernel->displacements.get() : nullptr;
  if (A != nullptr)
    for (int i = 0; i < A->n; i++) off.push_back(A->dx[i] + A->dy[i] * ncols);
  return off;
}

}  // namespace

// ---- lines ----

void DrawLine(Image *img, int x1, int y1, int x2, int y2, float d1, float d2, ZBuffer *zbuffer) {
  CheckImageFitsZBuffer(img, zbuffer, "DrawLine");
  WalkLine(x1, y1, x2, y2, d1, d2, [&](int x, int y, float depth, double, bool) {
    int p;
    if (DepthWins(img, zbuffer, x, y, depth, &p)) PutLinePixel(img, zbuffer, p, depth, 255);
  });
}

void DrawAALine(Image *img, int x1, int y1, int x2, int y2, float d1, float d2,
                ZBuffer *zbuffer) {
  CheckImageFitsZBuffer(img, zbuffer, "DrawAALine");
  WalkLine(x1, y1, x2, y2, d1, d2, [&](int x, int y, float depth, double a, bool steep) {
    for (int k = -1; k <= 1; k++) {
      const int px = steep ? x + k : x, py = steep ? y : y + k;
      int p;
      if (DepthWins(img, zbuffer, px, py, depth, &p))
        PutLinePixel(img, zbuffer, p, depth, AAIntensity(a - k));
    }
  });
}

void IntensifyPixel(Image *img, int x, int y, float w, float d, ZBuffer *zbuffer) {
  CheckImageFitsZBuffer(img, zbuffer, "IntensifyPixel");
  int p;
  if (DepthWins(img, zbuffer, x, y, d, &p)) PutLinePixel(img, zbuffer, p, d, AAIntensity(w));
}

// ---- frames ----

void DrawFrame(Image *img, Context *cxt) { DrawFrameLines(img, cxt, "DrawFrame", DrawLine); }

void DrawAAFrame(Image *img, Context *cxt) {
  DrawFrameLines(img, cxt, "DrawAAFrame", DrawAALine);
}

void DrawCutFrame(Image *img, Context *cxt, const Plane *pl) {
  CheckImageFitsZBuffer(img, cxt->zbuffer.get(), "DrawCutFrame");
  const Frame &frame = *cxt->frame;
  const double c[3] = {pl->px, pl->py, pl->pz}, n[3] = {pl->nx, pl->ny, pl->nz};
  auto at = [&frame](int v) {
    const FrameVertex &f = frame.vert[v];
    return std::array<double, 3>{f.x, f.y, f.z};
  };
  std::vector<std::array<double, 3>> cuts;
  for (const auto &e : frame.edge) {
    const auto p1 = at(e[0]), p2 = at(e[1]);
    double num = 0.0, den = 0.0;
    for (int a = 0; a < 3; a++) {
      num += (p1[a] - c[a]) * n[a];
      den += (p2[a] - p1[a]) * n[a];
    }
    if (den == 0.0) continue;
    const double t = -num / den;
    if (!(t >= 0.0 && t <= 1.0)) continue;  // a NaN plane cuts nothing
    cuts.push_back({p1[0] + t * (p2[0] - p1[0]), p1[1] + t * (p2[1] - p1[1]),
                    p1[2] + t * (p2[2] - p1[2])});
  }
  std::unique_ptr<Plane> faces[6];
  for (int f = 0; f < 6; f++) {
    std::vector<float> vert;
    for (int v : frame.face[f]) {
      const FrameVertex &fv = frame.vert[v];
      vert.insert(vert.end(), {fv.x, fv.y, fv.z});
    }
    faces[f] = FacePlane(vert, 4);
  }
  const SceneProjection pr = MakeProjection(cxt, img->ncols, img->ncols / 2);
  // A point lies on a face plane when its offset from the plane's point has
  // no component along the normal (up to the float noise of the cut).
  auto onFace = [](const Plane &f, const std::array<double, 3> &q) {
    const double d = (q[0] - f.px) * f.nx + (q[1] - f.py) * f.ny + (q[2] - f.pz) * f.nz;
    return std::fabs(d) < 1e-3;
  };
  for (size_t i = 0; i < cuts.size(); i++) {
    for (size_t j = 0; j < cuts.size(); j++) {
      if (i == j) continue;
      for (const auto &face : faces) {
        if (std::fabs(pl->px - face->px) < 1.0 && std::fabs(pl->py - face->py) < 1.0 &&
            std::fabs(pl->pz - face->pz) < 1.0)
          continue;
        if (!onFace(*face, cuts[i]) || !onFace(*face, cuts[j])) continue;
        const LinePoint a = ProjectFramePoint(pr, cuts[i][0], cuts[i][1], cuts[i][2]);
        const LinePoint b = ProjectFramePoint(pr, cuts[j][0], cuts[j][1], cuts[j][2]);
        DrawLine(img, a.col, a.row, b.col, b.row, a.depth, b.depth, cxt->zbuffer.get());
      }
    }
  }
  DrawFrame(img, cxt);
}

// ---- scenes ----

void DrawPlane(const Scene *scn, Context *cxt, const Plane *pl, Image *img) {
  const char *func = "DrawPlane";
  CheckSceneContext(scn, cxt, func);
  ZBuffer *zb = cxt->zbuffer.get();
  CheckImageFitsZBuffer(img, zb, func);
  const int shift = GreyShift(scn);
  float M[4][4];
  PlaneRotation(pl, M);
  const int ncols = zb->ncols, nrows = zb->nrows, hw = ncols / 2, hh = nrows / 2;
  const SceneProjection pr = MakeProjection(cxt, ncols, hh);
  auto T = CreateZBuffer(ncols, nrows);
  for (int b = 0; b < nrows; b++) {
    for (int a = 0; a < ncols; a++) {
      const double ac = a - hw, bc = b - hh;
      const int x = SaturatedTrunc(ac * M[0][0] + bc * M[0][1] + pl->px) + pr.hx;
      const int y = SaturatedTrunc(ac * M[1][0] + bc * M[1][1] + pl->py) + pr.hy;
      const int z = SaturatedTrunc(ac * M[2][0] + bc * M[2][1] + pl->pz) + pr.hz;
      if (x < cxt->xmin || x > cxt->xmax || y < cxt->ymin || y > cxt->ymax || z < cxt->zmin ||
          z > cxt->zmax)
        continue;
      const double px = x - pr.hx, py = y - pr.hy, pz = z - pr.hz;
      const int c = SaturatedTrunc(pr.Column(px, py, pz)), r = SaturatedTrunc(pr.Row(px, py, pz));
      if (c < 0 || r < 0 || c >= ncols || r >= nrows) continue;
      const int p = c + T->tbrow[r];
      const float depth = static_cast<float>(pr.Depth(px, py, pz));
      if (depth > T->dist[p]) continue;
      const int index = scn->Address(x, y, z);
      img->val[p] = scn->data[index] >> shift;
      T->dist[p] = depth;
      T->voxel[p] = index;
    }
  }
  const std::vector<int> offsets = KernelOffsets(cxt, ncols);
  const int n = ncols * nrows;
  for (int p = 0; p <= (nrows - 1) * ncols - 2; p++) {
    if (T->voxel[p] == -1 || !(T->dist[p] < zb->dist[p])) continue;
    zb->voxel[p] = T->voxel[p];
    zb->dist[p] = T->dist[p];
    for (int off : offsets) {
      const int q = p + off;
      if (q < 0 || q >= n || T->voxel[q] != -1 || !(zb->dist[q] > T->dist[p])) continue;
      zb->voxel[q] = T->voxel[p];
      zb->dist[q] = T->dist[p];
      img->val[q] = img->val[p];
    }
  }
}

std::unique_ptr<Image> DrawScene(const Scene *scn, Context *cxt) {
  CheckSceneContext(scn, cxt, "DrawScene");
  InitZBuffer(cxt->zbuffer.get());
  auto img = CreateImage(cxt->zbuffer->ncols, cxt->zbuffer->nrows);
  DrawFaces(scn, cxt, nullptr, GreyShift(scn), img.get());
  DrawFrame(img.get(), cxt);
  return img;
}

std::unique_ptr<Image> DrawCutScene(const Scene *scn, Context *cxt, const Plane *pl) {
  CheckSceneContext(scn, cxt, "DrawCutScene");
  InitZBuffer(cxt->zbuffer.get());
  auto img = CreateImage(cxt->zbuffer->ncols, cxt->zbuffer->nrows);
  DrawPlane(scn, cxt, pl, img.get());
  DrawCutFrame(img.get(), cxt, pl);
  DrawFaces(scn, cxt, pl, GreyShift(scn), img.get());
  return img;
}

namespace {

// The z-buffer of the objects of `labels` (non-zero voxels) on the kept side
// of the plane, widened to the three pixels right and below, and the
// spread map of their cut face (voxel indices, -1 elsewhere).
std::vector<int> CutObjectsZBuffer(const Scene *labels, Context *cxt, const Plane *pl) {
  ZBuffer *zb = cxt->zbuffer.get();
  const int ncols = zb->ncols, nrows = zb->nrows, n = ncols * nrows;
  const SceneProjection pr = MakeProjection(cxt, ncols, nrows / 2);
  auto T = CreateZBuffer(ncols, nrows);
  std::vector<int> cut(n, -1), spread(n, -1);
  const int *label = labels->data.data();
  for (int z = cxt->zi; z != cxt->zf; z += cxt->dz) {
    for (int y = cxt->yi; y != cxt->yf; y += cxt->dy) {
      for (int x = cxt->xi; x != cxt->xf; x += cxt->dx) {
        const int index = labels->Address(x, y, z);
        if (label[index] == 0) continue;
        const double px = x - pr.hx, py = y - pr.hy, pz = z - pr.hz;
        double side;
        if (!KeptSide(pl, px, py, pz, &side)) continue;
        const int c = SaturatedTrunc(pr.Column(px, py, pz)), r = SaturatedTrunc(pr.Row(px, py, pz));
        if (c < 0 || r < 0 || c >= ncols || r >= nrows) continue;
        const int p = c + T->tbrow[r];
        if (T->voxel[p] != -1) continue;
        T->dist[p] = static_cast<float>(pr.Depth(px, py, pz));
        T->voxel[p] = index;
        T->object[p] = static_cast<unsigned char>(label[index] & 0xFF);
        if (side == 0.0) cut[p] = index;
      }
    }
  }
  InitZBuffer(zb);
  for (int p = 0; p <= (nrows - 1) * ncols - 2; p++) {
    if (T->voxel[p] != -1) {
      for (int q : {p, p + 1, p + ncols, p + ncols + 1}) {
        if (q != p && (T->voxel[q] != -1 || zb->voxel[q] != -1)) continue;
        zb->dist[q] = T->dist[p];
        zb->voxel[q] = T->voxel[p];
        zb->object[q] = T->object[p];
      }
    }
    if (cut[p] != -1) {
      spread[p] = cut[p];
      for (int q : {p + 1, p + ncols, p + ncols + 1})
        if (cut[q] == -1) spread[q] = cut[p];
    }
  }
  return spread;
}

}  // namespace

std::unique_ptr<Image> DrawCutObjects(const AnnScn *ascn, Context *cxt, const Plane *pl) {
  const char *func = "DrawCutObjects";
  const Scene *scn = ascn->scene;
  if (scn == nullptr || ascn->label == nullptr) Error("The annotated scene has no label map", func);
  CheckSceneContext(scn, cxt, func);
  CheckSameScene(scn, ascn->label.get(), "label map", func);
  const std::vector<int> spread = CutObjectsZBuffer(ascn->label.get(), cxt, pl);
  auto img = DepthShading(cxt);
  const int shift = GreyShift(scn);
  for (size_t p = 0; p < spread.size(); p++)
    if (spread[p] != -1) img->val[p] = scn->data[spread[p]] >> shift;
  DrawFrame(img.get(), cxt);
  return img;
}

std::unique_ptr<CImage> DrawCutObjectsAux(const Scene *scn, const Scene *label, Context *cxt,
                                          const Plane *pl) {
  const char *func = "DrawCutObjectsAux";
  CheckSceneContext(scn, cxt, func);
  CheckSameScene(scn, label, "label scene", func);
  const std::vector<int> spread = CutObjectsZBuffer(label, cxt, pl);
  auto shaded = PhongShading(cxt);
  auto cimg = Colorize(cxt, shaded.get());
  const int shift = GreyShift(scn);
  for (size_t p = 0; p < spread.size(); p++) {
    if (spread[p] == -1) continue;
    for (auto &band : cimg->C) band->val[p] = scn->data[spread[p]] >> shift;
  }
  // The cut frame is drawn once against the z-buffer, then copied into
  // every band: drawing it band by band would find the z-buffer already
  // lowered by the band before.
  auto lines = CreateImage(cimg->ncols(), cimg->nrows());
  DrawCutFrame(lines.get(), cxt, pl);
  for (size_t p = 0; p < lines->val.size(); p++)
    if (lines->val[p] == 255)
      for (auto &band : cimg->C) band->val[p] = 255;
  return cimg;
}
