// Cut rendering: the near faces of the clip box and a cut plane painted
// grey, the shell composited over them.
//
// Every face drawer marks what it paints as opaque (output transparency 0)
// and records the face voxel in the context's z-buffer, so the compositing
// pass that follows (CompositeShell with a cut mode) leaves those pixels
// alone.
#include "render/shell_cut.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/curve.h"
#include "core/frame.h"
#include "core/plane.h"
#include "core/scene.h"
#include "core/stretch.h"
#include "render/context.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_splat.h"
#include "render/shell_traverse.h"

namespace {

// ---- compositing modes of the cut renderers ----

// Depth truncated before the half size is added; a first hit records its
// distance when nearer.
using CutMode = SplatModeOf<true, true, SplatDepth::kTruncated, SplatFirstHit::kIfNearer, false>;
// The grey twin of CutMode.
using GreyCutMode =
    SplatModeOf<false, true, SplatDepth::kTruncated, SplatFirstHit::kIfNearer, false>;
// Only voxels beyond the plane's depth in the z-buffer are drawn, and a
// first hit records its distance unconditionally.
using CutPlaneMode = SplatModeOf<true, true, SplatDepth::kTruncated, SplatFirstHit::kAlways, true>;

// ---- argument checks ----

int AxisIndex(char axis, const char *func) {
  switch (axis) {
    case 'x':
      return 0;
    case 'y':
      return 1;
    case 'z':
      return 2;
    default:
      Error("The axis must be x, y or z (got character code " +
                std::to_string(static_cast<unsigned char>(axis)) + ")",
            func);
  }
}

constexpr char kAxisLetter[3] = {'x', 'y', 'z'};

void CheckImageSide(const Image *img, int n, const char *what, const char *func) {
  if (img->ncols != n || img->nrows != n) {
    Error(std::string(what) + " is " + std::to_string(img->ncols) + " x " +
              std::to_string(img->nrows) + " but the context's image is " + std::to_string(n) +
              " x " + std::to_string(n),
          func);
  }
}

void CheckFBufferSize(const FBuffer *f, int ncols, int nrows, const char *what,
                      const char *func) {
  if (f->ncols != ncols || f->nrows != nrows) {
    Error(std::string(what) + " is " + std::to_string(f->ncols) + " x " +
              std::to_string(f->nrows) + " but must be " + std::to_string(ncols) + " x " +
              std::to_string(nrows),
          func);
  }
}

void CheckZBuffer(const Context *cxt, const char *func) {
  const ZBuffer *zb = cxt->zbuffer.get();
  if (zb == nullptr || zb->ncols != cxt->isize || zb->nrows != cxt->isize)
    Error("The context's z-buffer is not of its image size", func);
}

// The output-side buffers of a face drawer: face image and output
// transparency of the context's image size.
void CheckOutputBuffers(const Image *img, const FBuffer *outT, const Context *cxt,
                        const char *func) {
  CheckImageSide(img, cxt->isize, "The face image", func);
  CheckFBufferSize(outT, cxt->isize, cxt->isize, "The output transparency", func);
  CheckZBuffer(cxt, func);
}

void CheckIntermediate(const FBuffer *interT, const Context *cxt, const char *func) {
  CheckFBufferSize(interT, static_cast<int>(cxt->iwidth), static_cast<int>(cxt->iheight),
                   "The intermediate transparency", func);
}

// The scene associated with the shell, or null; Error when its size is not
// the shell's (its values are read at shell coordinates).
const Scene *ShellScene(const Shell *shell, const char *func) {
  const Scene *scn = shell->scene;
  if (scn != nullptr) CheckShellScene(shell, scn, func);
  return scn;
}

int TruncatedInt(double a) { return SaturatedInt(std::trunc(a)); }

std::unique_ptr<FBuffer> OpenFBuffer(int ncols, int nrows) {
  auto f = CreateFBuffer(ncols, nrows);
  InitFBuffer(f.get(), 1.0f);
  return f;
}

int RoundHalfAway(double a) { return static_cast<int>(a >= 0.0 ? a + 0.5 : a - 0.5); }

// ---- face walks ----

// One voxel of a face row: its in-row coordinate and its index in the
// voxel array.
struct RowVoxel {
  int coord;
  int index;
};

// A run of one axis in its traversal direction over [lo, hi].
AxisRun RunOver(int lo, int hi, int step) {
  return step > 0 ? AxisRun{lo, hi + 1, 1} : AxisRun{hi, lo - 1, -1};
}

// The rows of the face across axis a at slice `slice`, in the traversal
// order of the other axes: 'z' rows (y, slice) along x, 'y' rows (slice, z)
// along x, 'x' columns (slice, z) along y. Each row's voxels come in the
// order of the in-row step, all of them (the caller applies the in-row
// clip). The row axis runs over the clip box, or over the whole volume
// with wholeExtent. rowFn(row, pos, inRowAxis): pos holds the row's fixed
// coordinates, pos[inRowAxis] is to be filled from row[i].coord.
template <class RowFn>
void ForFaceRows(const Shell *shell, const Context *cxt, int a, int slice, bool wholeExtent,
                 RowFn &&rowFn) {
  std::vector<RowVoxel> row;
  const int inRowAxis = a == 0 ? 1 : 0;
  const int rowAxis = a == 2 ? 1 : 2;
  const int step[3] = {cxt->dx, cxt->dy, cxt->dz};
  const int size[3] = {shell->xsize, shell->ysize, shell->zsize};
  const int lo[3] = {cxt->xmin, cxt->ymin, cxt->zmin}, hi[3] = {cxt->xmax, cxt->ymax, cxt->zmax};
  const AxisRun run = wholeExtent ? RunOver(0, size[rowAxis] - 1, step[rowAxis])
                                  : RunOver(lo[rowAxis], hi[rowAxis], step[rowAxis]);
  const bool reversed = step[inRowAxis] < 0;
  for (int r = run.first; r != run.end; r += run.step) {
    int pos[3];
    pos[a] = slice;
    pos[rowAxis] = r;
    pos[inRowAxis] = 0;
    int first, end;
    if (a == 0) {
      ShellColumn(shell, slice, r, &first, &end);
      row.resize(std::max(end - first, 0));
      const ListEntry *list = shell->list.data();
      for (int e = first; e < end; e++) row[e - first] = {list[e].y, list[e].pointer};
    } else {
      ShellRow(shell, pos[1], pos[2], &first, &end);
      row.resize(std::max(end - first, 0));
      const Voxel *voxel = shell->voxel.data();
      for (int e = first; e < end; e++) row[e - first] = {voxel[e].x, e};
    }
    if (row.empty()) continue;
    if (reversed) std::reverse(row.begin(), row.end());
    rowFn(row, pos, inRowAxis);
  }
}

// Positions of a face row taken by a scene drawer: every in-row coordinate
// from the row's first shell voxel to its last, in the in-row step's order,
// with the last shell voxel passed. visit(coord, voxelIndex).
template <class Visit>
void WalkRowSpan(const std::vector<RowVoxel> &row, int step, Visit &&visit) {
  size_t r = 0;
  const int first = row.front().coord, last = row.back().coord;
  for (int a = first;; a += step) {
    while (r + 1 < row.size() && (step > 0 ? row[r + 1].coord <= a : row[r + 1].coord >= a)) r++;
    visit(a, row[r].index);
    if (a == last) break;
  }
}

// ---- painting one face voxel ----

// What a face drawer writes to: the face image, the output transparency
// and the context's z-buffer.
struct FacePaint {
  Image *img;
  float *T;
  ZBuffer *zb;
  int n;  // isize
};

// At every kernel tap around (q0c, q0r) inside the image where dist is
// below the z-buffer's: the pixel becomes an opaque face pixel of value
// `grey`.
inline void PaintFaceTaps(const SplatSetup &s, const FacePaint &f, int q0c, int q0r, double dist,
                          int grey, int index, int label) {
  for (const SplatTap &tap : s.taps) {
    const int qc = q0c + tap.dx, qr = q0r + tap.dy;
    if (qc < 0 || qc >= f.n || qr < 0 || qr >= f.n) continue;
    const int q = qc + qr * f.n;
    if (!(dist < f.zb->dist[q])) continue;
    f.T[q] = 0.0f;
    f.img->val[q] = grey;
    f.zb->voxel[q] = index;
    f.zb->object[q] = static_cast<unsigned char>(label);
    f.zb->dist[q] = static_cast<float>(dist);
  }
}

// isize - (isize / 2 + trunc(r2 . c)), c the centred position.
inline double FaceDist(const SplatSetup &s, int x, int y, int z) {
  const double dot = s.r2[0] * (x - s.xc) + s.r2[1] * (y - s.yc) + s.r2[2] * (z - s.zc);
  return s.isize - (s.isize * 0.5 + std::trunc(dot));
}

// A face voxel through the intermediate image: gated there, warped, painted,
// and the centre's transparency copied back.
inline void PaintShearedFaceVoxel(const SplatSetup &s, const FacePaint &f, FBuffer *interT, int x,
                                  int y, int z, int grey, int index, int label) {
  int u, v;
  ShearedPosition<ShearRounding::kTruncate>(s.shear, x, y, z, &u, &v);
  const int pu = u + s.shear.ci, pv = v + s.shear.cj;
  const bool pIn = pu >= 0 && pu < s.shear.iw && pv >= 0 && pv < s.shear.ih;
  float *tp = pIn ? &interT->val[pu + pv * s.shear.iw] : nullptr;
  if (pIn && !IsOpen(*tp)) return;
  const int q0c = static_cast<int>(s.w00 * u + s.w01 * v) + s.uc;
  const int q0r = static_cast<int>(s.w10 * u + s.w11 * v) + s.vc;
  PaintFaceTaps(s, f, q0c, q0r, FaceDist(s, x, y, z), grey, index, label);
  if (pIn && q0c >= 0 && q0c < f.n && q0r >= 0 && q0r < f.n) *tp = f.T[q0c + q0r * f.n];
}

// The output position of a voxel projected with the rotation.
struct Projector {
  double r0[3], r1[3];
  int xc, yc, zc, half;
  explicit Projector(const Context *cxt)
      : xc(cxt->xsize / 2), yc(cxt->ysize / 2), zc(cxt->zsize / 2), half(cxt->isize / 2) {
    for (int a = 0; a < 3; a++) r0[a] = cxt->rotation[0][a], r1[a] = cxt->rotation[1][a];
  }
  void Project(int x, int y, int z, int *qc, int *qr) const {
    const double cx = x - xc, cy = y - yc, cz = z - zc;
    *qc = static_cast<int>(r0[0] * cx + r0[1] * cy + r0[2] * cz + half);
    *qr = static_cast<int>(r1[0] * cx + r1[1] * cy + r1[2] * cz + half);
  }
};

inline void PaintProjectedFaceVoxel(const SplatSetup &s, const Projector &pr, const FacePaint &f,
                                    int x, int y, int z, int grey, int index, int label) {
  int q0c, q0r;
  pr.Project(x, y, z, &q0c, &q0r);
  PaintFaceTaps(s, f, q0c, q0r, FaceDist(s, x, y, z), grey, index, label);
}

// The slice of the face across axis a: the clip box's first slice in the
// traversal order, the one nearest the viewer.
int FaceSlice(const Context *cxt, int a) { return RunOfAxis(cxt, kAxisLetter[a]).first; }

int InRowLo(const Context *cxt, int inRowAxis) { return inRowAxis == 0 ? cxt->xmin : cxt->ymin; }
int InRowHi(const Context *cxt, int inRowAxis) { return inRowAxis == 0 ? cxt->xmax : cxt->ymax; }
int InRowStep(const Context *cxt, int inRowAxis) { return inRowAxis == 0 ? cxt->dx : cxt->dy; }

// The face across axis a with the body values (Paint is one of the two
// placements above, called as paint(x, y, z, grey, index, label)).
template <class Paint>
void DrawBodyFace(const Shell *shell, const Context *cxt, int a, Paint &&paint) {
  ForFaceRows(shell, cxt, a, FaceSlice(cxt, a), false,
              [&](const std::vector<RowVoxel> &row, int *pos, int inRowAxis) {
                const int lo = InRowLo(cxt, inRowAxis), hi = InRowHi(cxt, inRowAxis);
                for (const RowVoxel &rv : row) {
                  if (rv.coord < lo || rv.coord > hi) continue;
                  const Voxel vox = shell->voxel[rv.index];
                  if (vox.visible == 0 || vox.label == 0) continue;
                  pos[inRowAxis] = rv.coord;
                  paint(pos[0], pos[1], pos[2], shell->body[rv.index].value, rv.index, vox.label);
                }
              });
}

// The face across axis a with the scene's values, each row filled from its
// first shell voxel to its last.
template <class Paint>
void DrawSceneFace(const Shell *shell, const Scene *scn, const Context *cxt, int a,
                   Paint &&paint) {
  ForFaceRows(shell, cxt, a, FaceSlice(cxt, a), false,
              [&](const std::vector<RowVoxel> &row, int *pos, int inRowAxis) {
                const int lo = InRowLo(cxt, inRowAxis), hi = InRowHi(cxt, inRowAxis);
                WalkRowSpan(row, InRowStep(cxt, inRowAxis), [&](int coord, int index) {
                  if (coord < lo || coord > hi) return;
                  const Voxel vox = shell->voxel[index];
                  if (vox.visible == 0 || vox.label == 0) return;
                  pos[inRowAxis] = coord;
                  paint(pos[0], pos[1], pos[2], scn->data[scn->Address(pos[0], pos[1], pos[2])],
                        index, vox.label);
                });
              });
}

// ---- the three near faces of a scene, in image order ----

// The range [*a, *b) of t in [0, n) where lo <= f(t) <= hi, for f monotone
// (either way) in t.
template <class F>
void MonotoneRange(int n, int lo, int hi, F &&f, int *a, int *b) {
  *a = *b = 0;
  if (n <= 0 || lo > hi) return;
  auto firstTrue = [n](auto pred) {
    int l = 0, h = n;
    while (l < h) {
      const int m = (l + h) / 2;
      if (pred(m)) h = m; else l = m + 1;
    }
    return l;
  };
  if (f(0) <= f(n - 1)) {
    *a = firstTrue([&](int t) { return f(t) >= lo; });
    *b = firstTrue([&](int t) { return f(t) > hi; });
  } else {
    *a = firstTrue([&](int t) { return f(t) <= hi; });
    *b = firstTrue([&](int t) { return f(t) < lo; });
  }
}

// ---- saving a view ----

// Everything the angle operations derive from the rotation, so that a
// rendering that turns the view can put it back exactly.
struct SavedView {
  float tilt, spin;
  float inverseRotation[4][4], rotation[4][4], shear[4][4], inverseShear[4][4];
  std::vector<float> uOffset, vOffset, negUOffset, negVOffset;
  char paxis;
  signed char octant;
  int xi, xf, dx, yi, yf, dy, zi, zf, dz, ki, kf, dk;
  float viewer[3];
  float Sx, Sy, Tx, Ty, iwidth, iheight, nk;
};

SavedView SaveView(const Context *c) {
  SavedView v;
  v.tilt = c->tilt, v.spin = c->spin;
  std::copy(&c->inverseRotation[0][0], &c->inverseRotation[0][0] + 16, &v.inverseRotation[0][0]);
  std::copy(&c->rotation[0][0], &c->rotation[0][0] + 16, &v.rotation[0][0]);
  std::copy(&c->shear[0][0], &c->shear[0][0] + 16, &v.shear[0][0]);
  std::copy(&c->inverseShear[0][0], &c->inverseShear[0][0] + 16, &v.inverseShear[0][0]);
  v.uOffset = c->uOffset, v.vOffset = c->vOffset;
  v.negUOffset = c->negUOffset, v.negVOffset = c->negVOffset;
  v.paxis = c->paxis, v.octant = c->octant;
  v.xi = c->xi, v.xf = c->xf, v.dx = c->dx, v.yi = c->yi, v.yf = c->yf, v.dy = c->dy;
  v.zi = c->zi, v.zf = c->zf, v.dz = c->dz, v.ki = c->ki, v.kf = c->kf, v.dk = c->dk;
  std::copy(c->viewer, c->viewer + 3, v.viewer);
  v.Sx = c->Sx, v.Sy = c->Sy, v.Tx = c->Tx, v.Ty = c->Ty;
  v.iwidth = c->iwidth, v.iheight = c->iheight, v.nk = c->nk;
  return v;
}

void RestoreView(const SavedView &v, Context *c) {
  c->tilt = v.tilt, c->spin = v.spin;
  std::copy(&v.inverseRotation[0][0], &v.inverseRotation[0][0] + 16, &c->inverseRotation[0][0]);
  std::copy(&v.rotation[0][0], &v.rotation[0][0] + 16, &c->rotation[0][0]);
  std::copy(&v.shear[0][0], &v.shear[0][0] + 16, &c->shear[0][0]);
  std::copy(&v.inverseShear[0][0], &v.inverseShear[0][0] + 16, &c->inverseShear[0][0]);
  c->uOffset = v.uOffset, c->vOffset = v.vOffset;
  c->negUOffset = v.negUOffset, c->negVOffset = v.negVOffset;
  c->paxis = v.paxis, c->octant = v.octant;
  c->xi = v.xi, c->xf = v.xf, c->dx = v.dx, c->yi = v.yi, c->yf = v.yf, c->dy = v.dy;
  c->zi = v.zi, c->zf = v.zf, c->dz = v.dz, c->ki = v.ki, c->kf = v.kf, c->dk = v.dk;
  std::copy(v.viewer, v.viewer + 3, c->viewer);
  c->Sx = v.Sx, c->Sy = v.Sy, c->Tx = v.Tx, c->Ty = v.Ty;
  c->iwidth = v.iwidth, c->iheight = v.iheight, c->nk = v.nk;
}

// ---- the renderers' common road ----

enum class CutFaces { kImageOrder, kRows };

// The faces of a clip-box cut into `face`: body values for a body shell,
// the associated scene for an object shell that has one (in image order or
// row by row), nothing otherwise. Returns whether any face was drawn.
bool DrawClipFaces(Image *face, const Shell *shell, Context *cxt, FBuffer *interT, FBuffer *outT,
                   CutFaces how, const char *func) {
  const char p = cxt->paxis;
  int ai, aj, ak;
  PermuteAxes(p, 0, 1, 2, &ai, &aj, &ak);
  if (IsBodyShell(shell)) {
    SWShellRenderingDrawCut(face, shell, cxt, interT, outT, p);
    ShellRenderingDrawCut(face, shell, cxt, outT, kAxisLetter[ai]);
    ShellRenderingDrawCut(face, shell, cxt, outT, kAxisLetter[aj]);
    return true;
  }
  if (ShellScene(shell, func) == nullptr) return false;
  if (how == CutFaces::kImageOrder) {
    ISWShellRenderingDrawSceneCut(face, shell, cxt, interT, outT);
  } else {
    SWShellRenderingDrawSceneCut(face, shell, cxt, interT, outT, p);
    ShellRenderingDrawSceneCut(face, shell, cxt, outT, kAxisLetter[ai]);
    ShellRenderingDrawSceneCut(face, shell, cxt, outT, kAxisLetter[aj]);
  }
  return true;
}

// The working buffers of one cut rendering.
struct CutBuffers {
  SplatSetup s;
  std::unique_ptr<FBuffer> interT, outT;
  std::unique_ptr<Image> face;
};

CutBuffers StartCut(const Shell *shell, Context *cxt, const char *func) {
  CheckShellContext(shell, cxt, func);
  CheckZBuffer(cxt, func);
  CutBuffers b;
  b.s = MakeSplatSetup(cxt);
  b.interT = OpenFBuffer(b.s.shear.iw, b.s.shear.ih);
  b.outT = OpenFBuffer(b.s.isize, b.s.isize);
  b.face = CreateImage(b.s.isize, b.s.isize);
  InitZBuffer(cxt->zbuffer.get());
  return b;
}

// The base image of a colour cut: the stretched faces tinted with the
// objects seen there, or black without faces.
std::unique_ptr<CImage> CutBase(const Context *cxt, CutBuffers &b, bool faces, const LinearWindow &w) {
  if (!faces) return CreateCImage(b.s.isize, b.s.isize);
  auto stretched = LinearStretch(b.face.get(), w.f1, w.f2, w.g1, w.g2);
  return Colorize(cxt, stretched.get());
}

std::unique_ptr<CImage> RenderColourCut(const Shell *shell, Context *cxt, const Curve *cs,
                                        CutFaces how, const char *func) {
  const LinearWindow w = CurveWindow(cs, func);
  ShellScene(shell, func);
  CutBuffers b = StartCut(shell, cxt, func);
  const bool faces = DrawClipFaces(b.face.get(), shell, cxt, b.interT.get(), b.outT.get(), how, func);
  auto out = CutBase(cxt, b, faces, w);
  const SplatTargets t{b.interT.get(), b.outT.get(), cxt->zbuffer.get(), out.get(), nullptr};
  CompositeShell<CutMode>(b.s, t, shell, cxt, RunOfAxis(cxt, cxt->paxis), true);
  return out;
}

}  // namespace

// ---- renderers ----

std::unique_ptr<CImage> CSWShellRenderingCut(const Shell *shell, Context *cxt, const Curve *cs) {
  return RenderColourCut(shell, cxt, cs, CutFaces::kImageOrder, "CSWShellRenderingCut");
}

std::unique_ptr<CImage> FastCSWShellRenderingCut(const Shell *shell, Context *cxt,
                                                 const Curve *cs) {
  return RenderColourCut(shell, cxt, cs, CutFaces::kRows, "FastCSWShellRenderingCut");
}

std::unique_ptr<CImage> CSWShellRenderingCutPlane(const Shell *shell, Context *cxt,
                                                  const Curve *cs, const Plane *pl) {
  const char *func = "CSWShellRenderingCutPlane";
  const LinearWindow w = CurveWindow(cs, func);
  ShellScene(shell, func);
  CutBuffers b = StartCut(shell, cxt, func);
  SetPlaneZBuffer(cxt->zbuffer.get(), pl);
  bool faces = true;
  if (IsBodyShell(shell)) {
    ShellRenderingDrawCutPlane(b.face.get(), shell, cxt, b.outT.get());
    DrawClipFaces(b.face.get(), shell, cxt, b.interT.get(), b.outT.get(), CutFaces::kRows, func);
  } else if (ShellScene(shell, func) != nullptr) {
    DrawClipFaces(b.face.get(), shell, cxt, b.interT.get(), b.outT.get(), CutFaces::kRows, func);
    ShellRenderingDrawSceneCutPlane(b.face.get(), shell, cxt, b.outT.get());
  } else {
    faces = false;
  }
  auto out = CutBase(cxt, b, faces, w);
  const SplatTargets t{b.interT.get(), b.outT.get(), cxt->zbuffer.get(), out.get(), nullptr};
  CompositeShell<CutPlaneMode>(b.s, t, shell, cxt, RunOfAxis(cxt, cxt->paxis), true);
  return out;
}

std::unique_ptr<Image> SWShellRenderingCut(const Shell *shell, Context *cxt, const Curve *cs) {
  const char *func = "SWShellRenderingCut";
  const LinearWindow w = CurveWindow(cs, func);
  ShellScene(shell, func);
  CutBuffers b = StartCut(shell, cxt, func);
  const bool faces = DrawClipFaces(b.face.get(), shell, cxt, b.interT.get(), b.outT.get(),
                                   CutFaces::kRows, func);
  std::unique_ptr<Image> out =
      faces ? LinearStretch(b.face.get(), w.f1, w.f2, w.g1, w.g2) : std::move(b.face);
  const SplatTargets t{b.interT.get(), b.outT.get(), cxt->zbuffer.get(), nullptr, out.get()};
  CompositeShell<GreyCutMode>(b.s, t, shell, cxt, RunOfAxis(cxt, cxt->paxis), true);
  return out;
}

// The views at spin -5 and +5 are reached by turning the view; the middle
// one by putting the saved view back, which is where turning back would
// land but without the rounding of three more matrix products, so that a
// view rendered in stereo frame after frame does not drift.
std::unique_ptr<CImage> CSWShellRenderingStereo(const Shell *shell, Context *cxt,
                                                const Curve *cs) {
  const char *func = "CSWShellRenderingStereo";
  CheckShellContext(shell, cxt, func);
  CurveWindow(cs, func);
  ShellScene(shell, func);
  const SavedView start = SaveView(cxt);
  auto out = std::make_unique<CImage>();
  try {
    AddAngles(cxt, 0.0f, -5.0f);
    out->C[0] = SWShellRenderingCut(shell, cxt, cs);
    AddAngles(cxt, 0.0f, 10.0f);
    out->C[2] = SWShellRenderingCut(shell, cxt, cs);
  } catch (...) {
    RestoreView(start, cxt);
    throw;
  }
  RestoreView(start, cxt);
  out->C[1] = SWShellRenderingCut(shell, cxt, cs);
  return out;
}

// ---- face drawers ----

void SWShellRenderingDrawCut(Image *img, const Shell *shell, Context *cxt, FBuffer *shear,
                             FBuffer *warp, char axis) {
  const char *func = "SWShellRenderingDrawCut";
  CheckShellContext(shell, cxt, func);
  const int a = AxisIndex(axis, func);
  CheckBodyShell(shell, func);
  CheckOutputBuffers(img, warp, cxt, func);
  CheckIntermediate(shear, cxt, func);
  const SplatSetup s = MakeSplatSetup(cxt);
  const FacePaint f{img, warp->val.data(), cxt->zbuffer.get(), s.isize};
  DrawBodyFace(shell, cxt, a, [&](int x, int y, int z, int grey, int index, int label) {
    PaintShearedFaceVoxel(s, f, shear, x, y, z, grey, index, label);
  });
}

void SWShellRenderingDrawSceneCut(Image *img, const Shell *shell, Context *cxt, FBuffer *shear,
                                  FBuffer *warp, char axis) {
  const char *func = "SWShellRenderingDrawSceneCut";
  CheckShellContext(shell, cxt, func);
  const int a = AxisIndex(axis, func);
  CheckOutputBuffers(img, warp, cxt, func);
  CheckIntermediate(shear, cxt, func);
  const Scene *scn = ShellScene(shell, func);
  if (scn == nullptr) return;
  const SplatSetup s = MakeSplatSetup(cxt);
  const FacePaint f{img, warp->val.data(), cxt->zbuffer.get(), s.isize};
  DrawSceneFace(shell, scn, cxt, a, [&](int x, int y, int z, int grey, int index, int label) {
    PaintShearedFaceVoxel(s, f, shear, x, y, z, grey, index, label);
  });
}

void ShellRenderingDrawCut(Image *img, const Shell *shell, Context *cxt, FBuffer *cumopac,
                           char axis) {
  const char *func = "ShellRenderingDrawCut";
  CheckShellContext(shell, cxt, func);
  const int a = AxisIndex(axis, func);
  CheckBodyShell(shell, func);
  CheckOutputBuffers(img, cumopac, cxt, func);
  const SplatSetup s = MakeSplatSetup(cxt);
  const Projector pr(cxt);
  const FacePaint f{img, cumopac->val.data(), cxt->zbuffer.get(), s.isize};
  DrawBodyFace(shell, cxt, a, [&](int x, int y, int z, int grey, int index, int label) {
    PaintProjectedFaceVoxel(s, pr, f, x, y, z, grey, index, label);
  });
}

void ShellRenderingDrawSceneCut(Image *img, const Shell *shell, Context *cxt, FBuffer *cumopac,
                                char axis) {
  const char *func = "ShellRenderingDrawSceneCut";
  CheckShellContext(shell, cxt, func);
  const int a = AxisIndex(axis, func);
  CheckOutputBuffers(img, cumopac, cxt, func);
  const Scene *scn = ShellScene(shell, func);
  if (scn == nullptr) return;
  const SplatSetup s = MakeSplatSetup(cxt);
  const Projector pr(cxt);
  const FacePaint f{img, cumopac->val.data(), cxt->zbuffer.get(), s.isize};
  DrawSceneFace(shell, scn, cxt, a, [&](int x, int y, int z, int grey, int index, int label) {
    PaintProjectedFaceVoxel(s, pr, f, x, y, z, grey, index, label);
  });
}

// The labels of a face, projected with the rotation. A tap takes the label
// where the voxel's distance, isize - (isize / 2 + trunc(r2 . c)), is below
// the z-buffer's: the same depth every face drawer compares.
std::unique_ptr<Image> ShellRenderingDrawObjectCut(const Shell *shell, Context *cxt, char axis) {
  const char *func = "ShellRenderingDrawObjectCut";
  CheckShellContext(shell, cxt, func);
  const int a = AxisIndex(axis, func);
  CheckZBuffer(cxt, func);
  const SplatSetup s = MakeSplatSetup(cxt);
  const Projector pr(cxt);
  const int n = s.isize;
  const ZBuffer *zb = cxt->zbuffer.get();
  auto labels = CreateImage(n, n);
  bool any = false;
  ForFaceRows(shell, cxt, a, FaceSlice(cxt, a), true,
              [&](const std::vector<RowVoxel> &row, int *pos, int inRowAxis) {
                for (const RowVoxel &rv : row) {
                  const Voxel vox = shell->voxel[rv.index];
                  if (vox.visible == 0 || vox.label == 0) continue;
                  pos[inRowAxis] = rv.coord;
                  int q0c, q0r;
                  pr.Project(pos[0], pos[1], pos[2], &q0c, &q0r);
                  const double dist = FaceDist(s, pos[0], pos[1], pos[2]);
                  for (const SplatTap &tap : s.taps) {
                    const int qc = q0c + tap.dx, qr = q0r + tap.dy;
                    if (qc < 0 || qc >= n || qr < 0 || qr >= n) continue;
                    const int q = qc + qr * n;
                    if (dist < zb->dist[q]) labels->val[q] = vox.label, any = true;
                  }
                }
              });
  // A face without labels fills to itself (all zero), without the fill's
  // pass over the image: the common case of a clip box at the volume's
  // faces, where objects rarely reach.
  return any ? FillSlice(labels.get()) : std::move(labels);
}

// Per output pixel, the slices k (from ki to kf) whose rounded position
// lies on a near face with a label there; the last such match in slice
// order (and, on an edge, in face order x, y, z) is the one that stays.
// Both rounded in-slice coordinates are monotone in k, so each face's
// matching slices form one run found by bisection: the cost per pixel is
// logarithmic in the slice count, and pixels no label face covers cost
// nothing beyond their test.
void ISWShellRenderingDrawSceneCut(Image *img, const Shell *shell, Context *cxt, FBuffer *shear,
                                   FBuffer *warp) {
  const char *func = "ISWShellRenderingDrawSceneCut";
  CheckShellContext(shell, cxt, func);
  CheckOutputBuffers(img, warp, cxt, func);
  CheckIntermediate(shear, cxt, func);
  const Scene *scn = ShellScene(shell, func);
  if (scn == nullptr) return;
  std::unique_ptr<Image> label[3];
  for (int a = 0; a < 3; a++) label[a] = ShellRenderingDrawObjectCut(shell, cxt, kAxisLetter[a]);
  int ai, aj, ak;
  PermuteAxes(cxt->paxis, 0, 1, 2, &ai, &aj, &ak);
  int ic, jc, kc;
  PermuteAxes(cxt->paxis, cxt->xsize / 2, cxt->ysize / 2, cxt->zsize / 2, &ic, &jc, &kc);
  const int lo[3] = {cxt->xmin, cxt->ymin, cxt->zmin}, hi[3] = {cxt->xmax, cxt->ymax, cxt->zmax};
  const int size[3] = {cxt->xsize, cxt->ysize, cxt->zsize};
  const int slice[3] = {FaceSlice(cxt, 0), FaceSlice(cxt, 1), FaceSlice(cxt, 2)};
  const int ki = cxt->ki, dk = cxt->dk;
  const int nt = dk != 0 ? (cxt->kf - ki) / dk : 0;
  const float *negU = cxt->negUOffset.data(), *negV = cxt->negVOffset.data();
  const double s00 = cxt->shear[0][0], s01 = cxt->shear[0][1];
  const double s10 = cxt->shear[1][0], s11 = cxt->shear[1][1];
  const int n = cxt->isize, half = n / 2;
  ZBuffer *zb = cxt->zbuffer.get();
  float *T = warp->val.data();
  // The run of t where the slice k(t) = ki + t dk lies in [lo, hi].
  auto kRun = [&](int klo, int khi, int *a, int *b) {
    MonotoneRange(nt, klo, khi, [&](int t) { return ki + t * dk; }, a, b);
  };
  for (int r = 0; r < n; r++) {
    for (int c = 0; c < n; c++) {
      const int q = c + r * n;
      if (label[0]->val[q] == 0 && label[1]->val[q] == 0 && label[2]->val[q] == 0) continue;
      const double uc = c - half, vc = r - half;
      const double fi = s00 * uc + s01 * vc + ic, fj = s10 * uc + s11 * vc + jc;
      auto I = [&](int t) { return RoundHalfAway(fi + negU[ki + t * dk]); };
      auto J = [&](int t) { return RoundHalfAway(fj + negV[ki + t * dk]); };
      // The last t of each face's matches, -1 for none.
      int lastT[3] = {-1, -1, -1};
      for (int f = 0; f < 3; f++) {
        if (label[f]->val[q] == 0) continue;
        int a = 0, b = nt;
        auto narrow = [&](int a2, int b2) { a = std::max(a, a2), b = std::min(b, b2); };
        int a2, b2;
        // Every coordinate inside the scene and the clip box; the face's
        // own coordinate on its slice.
        const int fl[3] = {f == 0 ? slice[0] : std::max(lo[0], 0), f == 1 ? slice[1] : std::max(lo[1], 0),
                           f == 2 ? slice[2] : std::max(lo[2], 0)};
        const int fh[3] = {f == 0 ? slice[0] : std::min(hi[0], size[0] - 1),
                           f == 1 ? slice[1] : std::min(hi[1], size[1] - 1),
                           f == 2 ? slice[2] : std::min(hi[2], size[2] - 1)};
        kRun(fl[ak], fh[ak], &a2, &b2);
        narrow(a2, b2);
        if (a >= b) continue;
        MonotoneRange(nt, fl[ai], fh[ai], I, &a2, &b2);
        narrow(a2, b2);
        if (a >= b) continue;
        MonotoneRange(nt, fl[aj], fh[aj], J, &a2, &b2);
        narrow(a2, b2);
        if (a < b) lastT[f] = b - 1;
      }
      int best = -1;
      for (int f = 0; f < 3; f++)
        if (lastT[f] >= 0 && (best < 0 || lastT[f] >= lastT[best])) best = f;
      if (best < 0) continue;
      const int t = lastT[best];
      int pos[3];
      pos[ai] = I(t), pos[aj] = J(t), pos[ak] = ki + t * dk;
      const int v = scn->Address(pos[0], pos[1], pos[2]);
      img->val[q] = scn->data[v];
      zb->object[q] = static_cast<unsigned char>(label[best]->val[q]);
      zb->voxel[q] = v;
      T[q] = 0.0f;
    }
  }
}

// The voxel under pixel (c, r) of a plane whose depth the z-buffer holds
// (dist): the pixel turned back into the volume and truncated; false when
// it lies outside the clip box.
static bool PlaneVoxel(const Context *cxt, int c, int r, float dist, int pos[3]) {
  const int half = cxt->isize / 2;
  const double in[3] = {static_cast<double>(c - half), static_cast<double>(r - half),
                        cxt->isize * 0.5 - dist};
  const int centre[3] = {cxt->xsize / 2, cxt->ysize / 2, cxt->zsize / 2};
  for (int a = 0; a < 3; a++) {
    const double m = cxt->inverseRotation[a][0] * in[0] + cxt->inverseRotation[a][1] * in[1] +
                     cxt->inverseRotation[a][2] * in[2];
    // A plane moved to infinity puts the depth, and m, out of any range:
    // the saturated position is outside the clip box, not an overflow.
    const long long q = static_cast<long long>(TruncatedInt(m)) + centre[a];
    pos[a] = static_cast<int>(std::clamp<long long>(q, -1, INT_MAX));
  }
  return pos[0] >= cxt->xmin && pos[0] <= cxt->xmax && pos[1] >= cxt->ymin &&
         pos[1] <= cxt->ymax && pos[2] >= cxt->zmin && pos[2] <= cxt->zmax;
}

void ShellRenderingDrawCutPlane(Image *img, const Shell *shell, Context *cxt, FBuffer *cumopac) {
  const char *func = "ShellRenderingDrawCutPlane";
  CheckShellContext(shell, cxt, func);
  CheckBodyShell(shell, func);
  CheckOutputBuffers(img, cumopac, cxt, func);
  ZBuffer *zb = cxt->zbuffer.get();
  const int n = cxt->isize;
  for (int r = 0; r < n; r++) {
    for (int c = 0; c < n; c++) {
      const int p = c + r * n;
      int pos[3];
      if (!PlaneVoxel(cxt, c, r, zb->dist[p], pos)) continue;
      const int index = VoxelExist(shell, pos[0], pos[1], pos[2]);
      if (index < 0 || shell->voxel[index].label == 0) continue;
      img->val[p] = shell->body[index].value;
      zb->voxel[p] = index;
      zb->object[p] = shell->voxel[index].label;
      cumopac->val[p] = 0.0f;
    }
  }
}

// The plane's scene values, then its labels: the visible shell voxels met
// on the plane, filled; a painted pixel takes the filled label as its
// object and is opaque under a label, or not a surface (voxel -1) where
// the fill left 0.
void ShellRenderingDrawSceneCutPlane(Image *img, const Shell *shell, Context *cxt,
                                     FBuffer *cumopac) {
  const char *func = "ShellRenderingDrawSceneCutPlane";
  CheckShellContext(shell, cxt, func);
  CheckOutputBuffers(img, cumopac, cxt, func);
  const Scene *scn = ShellScene(shell, func);
  if (scn == nullptr) return;
  ZBuffer *zb = cxt->zbuffer.get();
  const int n = cxt->isize;
  auto labels = CreateImage(n, n);
  for (int r = 0; r < n; r++) {
    for (int c = 0; c < n; c++) {
      const int p = c + r * n;
      int pos[3];
      if (!PlaneVoxel(cxt, c, r, zb->dist[p], pos)) continue;
      const int v = scn->Address(pos[0], pos[1], pos[2]);
      if (scn->data[v] != 0) {
        img->val[p] = scn->data[v];
        zb->voxel[p] = v;
      }
      const int index = VoxelExist(shell, pos[0], pos[1], pos[2]);
      if (index >= 0 && shell->voxel[index].visible != 0 && shell->voxel[index].label != 0)
        labels->val[p] = shell->voxel[index].label;
    }
  }
  auto filled = FillSlice(labels.get());
  for (int p = 0; p < n * n; p++) {
    if (img->val[p] == 0) continue;
    const int o = filled->val[p];
    zb->object[p] = static_cast<unsigned char>(o);
    if (o == 0) {
      zb->voxel[p] = -1;
    } else {
      cumopac->val[p] = 0.0f;
    }
  }
}

// Rays along the principal axis, one slice per step, from the front of the
// volume's box; the first clip-box voxel met is painted. Pixels are those
// of the clip box's projection (the context's frame follows the clip box).
void RaycastSceneCut(Image *img, const Scene *scn, Context *cxt, FBuffer *cumopac) {
  const char *func = "RaycastSceneCut";
  if (scn->xsize != cxt->xsize || scn->ysize != cxt->ysize || scn->zsize != cxt->zsize) {
    Error("The context was made for a volume of " + std::to_string(cxt->xsize) + " x " +
              std::to_string(cxt->ysize) + " x " + std::to_string(cxt->zsize) +
              " but the scene is " + std::to_string(scn->xsize) + " x " +
              std::to_string(scn->ysize) + " x " + std::to_string(scn->zsize),
          func);
  }
  CheckOutputBuffers(img, cumopac, cxt, func);
  ZBuffer *zb = cxt->zbuffer.get();
  const int n = cxt->isize, half = n / 2;
  const double R[3][3] = {{cxt->rotation[0][0], cxt->rotation[0][1], cxt->rotation[0][2]},
                          {cxt->rotation[1][0], cxt->rotation[1][1], cxt->rotation[1][2]},
                          {cxt->rotation[2][0], cxt->rotation[2][1], cxt->rotation[2][2]}};
  double umin = 1e30, umax = -1e30, vmin = 1e30, vmax = -1e30;
  for (const FrameVertex &fv : cxt->frame->vert) {
    const double u = R[0][0] * fv.x + R[0][1] * fv.y + R[0][2] * fv.z;
    const double v = R[1][0] * fv.x + R[1][1] * fv.y + R[1][2] * fv.z;
    umin = std::min(umin, u), umax = std::max(umax, u);
    vmin = std::min(vmin, v), vmax = std::max(vmax, v);
  }
  const int c0 = std::max(0, TruncatedInt(umin + half)), c1 = std::min(n - 1, TruncatedInt(umax + half));
  const int r0 = std::max(0, TruncatedInt(vmin + half)), r1 = std::min(n - 1, TruncatedInt(vmax + half));
  // Ray step: the third column of the inverse rotation scaled to one voxel
  // along the principal axis, pointing away from the viewer.
  const double dir[3] = {cxt->inverseRotation[0][2], cxt->inverseRotation[1][2],
                         cxt->inverseRotation[2][2]};
  const int pa = cxt->paxis == 'x' ? 0 : cxt->paxis == 'y' ? 1 : 2;
  const double scale = (dir[pa] < 0 ? -1.0 : 1.0) / dir[pa];
  double step[3];
  for (int a = 0; a < 3; a++) step[a] = dir[a] * scale;
  const double stepLength = std::sqrt(step[0] * step[0] + step[1] * step[1] + step[2] * step[2]);
  const int centre[3] = {cxt->xsize / 2, cxt->ysize / 2, cxt->zsize / 2};
  const int size[3] = {cxt->xsize, cxt->ysize, cxt->zsize};
  const int lo[3] = {cxt->xmin, cxt->ymin, cxt->zmin}, hi[3] = {cxt->xmax, cxt->ymax, cxt->zmax};
  for (int r = r0; r <= r1; r++) {
    for (int c = c0; c <= c1; c++) {
      const int p = c + r * n;
      zb->object[p] = 0;
      zb->voxel[p] = -1;
      zb->dist[p] = static_cast<float>(zb->ncols);
      const double screen[3] = {static_cast<double>(c - half), static_cast<double>(r - half),
                                -n * 0.5};
      double start[3];
      for (int a = 0; a < 3; a++) {
        start[a] = cxt->inverseRotation[a][0] * screen[0] + cxt->inverseRotation[a][1] * screen[1] +
                   cxt->inverseRotation[a][2] * screen[2];
      }
      // Entry into the box of voxel centres, [-centre, size - 1 - centre].
      double tin = 0.0, tout = 1e30;
      bool miss = false;
      for (int a = 0; a < 3 && !miss; a++) {
        const double bl = -centre[a], bh = size[a] - 1 - centre[a];
        if (std::fabs(step[a]) <= 0.00001) {
          if (start[a] < bl || start[a] > bh) miss = true;
          continue;
        }
        double t1 = (bl - start[a]) / step[a], t2 = (bh - start[a]) / step[a];
        if (t1 > t2) std::swap(t1, t2);
        tin = std::max(tin, t1), tout = std::min(tout, t2);
        if (tin > tout) miss = true;
      }
      if (miss) continue;
      for (int k = 0; k < n; k++) {
        int pos[3];
        bool inside = true;
        for (int a = 0; a < 3; a++) {
          pos[a] = RoundHalfAway(start[a] + (tin + k) * step[a]) + centre[a];
          inside = inside && pos[a] >= lo[a] && pos[a] <= hi[a];
        }
        if (!inside) continue;
        const int v = scn->Address(pos[0], pos[1], pos[2]);
        zb->dist[p] = static_cast<float>(k * stepLength);
        zb->voxel[p] = v;
        img->val[p] = scn->data[v];
        cumopac->val[p] = 0.0f;
        break;
      }
    }
  }
}
