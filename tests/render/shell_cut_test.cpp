// Cut rendering. Small hand-made shells seen from the front, whose face
// pixels are worked out in the comments; the scene faces in image order
// against a slice-by-slice reading of their rule on phantoms from many
// directions; the faults that must fail cleanly; regression images.
//
// Front view (angles 0, 0): no shear, the viewer at (0, 0, -1), every axis
// traversed from its minimum, a voxel (x, y, z) lands on output pixel
// (x - xc + half, y - yc + half) and a face voxel's distance is
// isize - (isize / 2 + trunc(z - zc)). The kernel taps are the 3 x 3 block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/adjacency3.h"
#include "core/curve.h"
#include "core/plane.h"
#include "core/scene.h"
#include "core/stretch.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_cut.h"
#include "render/shell_render.h"
#include "segment/analysis3.h"
#include "segment/segmentation3.h"
#include "support/fatal.h"
#include "support/hand_shell.h"
#include "support/phantom.h"
#include "support/regress.h"

namespace {

const float kMinusZ[3] = {0, 0, -1};

struct HandVoxel {
  int x, y, z, label;
  int visible = 1;
};

// A shell of exactly the listed voxels, opaque, their normals towards -z;
// a body shell's values are value(x, y, z).
template <class Value>
std::unique_ptr<Shell> MakeShell(int xs, int ys, int zs, const std::vector<HandVoxel> &vs,
                                 bool body, Value value) {
  auto scn = CreateScene(xs, ys, zs);
  for (const HandVoxel &v : vs) scn->data[scn->Address(v.x, v.y, v.z)] = 1;
  const int n = static_cast<int>(vs.size());
  auto shell = body ? NewBodyShell(xs, ys, zs, n) : NewShell(xs, ys, zs, n);
  SetShellVoxels(shell.get(), scn.get());
  SetShellList(shell.get(), scn.get());
  for (const HandVoxel &v : vs) {
    const int i = GetPointer(shell.get(), v.x, v.y, v.z);
    shell->voxel[i].label = static_cast<uint8_t>(v.label);
    shell->voxel[i].visible = static_cast<uint8_t>(v.visible);
    shell->voxel[i].normal = GetNormalIndex(kMinusZ);
    if (body) shell->body[i].value = value(v.x, v.y, v.z);
  }
  return shell;
}

int CubeValue(int x, int y, int z) { return 1 + x + 5 * y + 25 * z; }

// Every voxel of a 5^3 body shell, label 1: voxel index x + 5y + 25z.
std::unique_ptr<Shell> BodyCube() {
  std::vector<HandVoxel> vs;
  for (int z = 0; z < 5; z++)
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 5; x++) vs.push_back({x, y, z, 1});
  return MakeShell(5, 5, 5, vs, true, CubeValue);
}

std::unique_ptr<Curve> Window(double f1, double g1, double f2, double g2) {
  auto cs = CreateCurve(2);
  cs->X[0] = f1, cs->Y[0] = g1, cs->X[1] = f2, cs->Y[1] = g2;
  return cs;
}

std::unique_ptr<FBuffer> Open(int ncols, int nrows) {
  auto f = CreateFBuffer(ncols, nrows);
  InitFBuffer(f.get(), 1.0f);
  return f;
}

// The colour Colorize gives luminance lum under label o's chroma.
void Tinted(const Context *cxt, int o, double lum, int rgb[3]) {
  const double Y = (lum - 0.062745098039) * 296.82;
  const double cb = cxt->object[o].Cb - 0.50196078431, cr = cxt->object[o].Cr - 0.50196078431;
  const double c[3] = {Y + 406.98 * cr, Y - 207.315 * cr - 99.96 * cb, Y + 514.335 * cb};
  for (int i = 0; i < 3; i++) rgb[i] = static_cast<int>(std::fmin(255.0, std::fmax(0.0, c[i])));
}

// ---- body faces of a narrowed clip box ----
//
// 5^3 (isize 8, centre 2, half 4), clip x 1..3, y 1..3, z 2..3. The face
// across z (slice 2) paints voxel (x, y, 2) over the taps around (x + 2,
// y + 2) at distance 8 - (4 + 0) = 4; a tap already at 4 is not taken
// again, so pixel (c, r) of [2, 6]^2 holds voxel (max(1, c - 3),
// max(1, r - 3), 2). The face across x (slice 1) is seen edge-on on column
// 3; its voxels at z = 3 have distance 3, below 4, and replace the taps on
// columns 2..4: rows 2..4 voxel (1, 1, 3), row 5 (1, 2, 3), row 6
// (1, 3, 3). The face across y (slice 1, row 3) adds columns 5 and 6 of
// rows 2..4 at z = 3: voxel (c - 3, 1, 3). Only (5..6, 5..6) keeps the
// front slice.

// The voxel and distance expected at pixel (c, r), or false outside the
// faces.
bool ExpectedCubeFace(int c, int r, int *x, int *y, int *z, float *dist) {
  if (c < 2 || c > 6 || r < 2 || r > 6) return false;
  if (c <= 4) {
    *x = 1, *y = std::max(1, r - 3), *z = 3, *dist = 3;
  } else if (r <= 4) {
    *x = c - 3, *y = 1, *z = 3, *dist = 3;
  } else {
    *x = c - 3, *y = r - 3, *z = 2, *dist = 4;
  }
  return true;
}

TEST(CutFaces, BodyFacesOfANarrowClipBoxFromTheFront) {
  auto shell = BodyCube();
  auto cxt = NewContext(5, 5, 5);
  SetClip(cxt.get(), 1, 3, 1, 3, 2, 3);
  SetAngles(cxt.get(), 0, 0);
  ASSERT_EQ(cxt->isize, 8);
  auto face = CreateImage(8, 8);
  auto interT = Open(5, 5), outT = Open(8, 8);
  InitZBuffer(cxt->zbuffer.get());
  SWShellRenderingDrawCut(face.get(), shell.get(), cxt.get(), interT.get(), outT.get(), 'z');
  ShellRenderingDrawCut(face.get(), shell.get(), cxt.get(), outT.get(), 'x');
  ShellRenderingDrawCut(face.get(), shell.get(), cxt.get(), outT.get(), 'y');
  const ZBuffer *zb = cxt->zbuffer.get();
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 8; c++) {
      const int p = c + 8 * r;
      int x, y, z;
      float dist;
      if (!ExpectedCubeFace(c, r, &x, &y, &z, &dist)) {
        EXPECT_EQ(face->val[p], 0);
        EXPECT_EQ(outT->val[p], 1.0f);
        EXPECT_EQ(zb->voxel[p], -1);
        EXPECT_EQ(zb->dist[p], 8.0f);
        continue;
      }
      EXPECT_EQ(face->val[p], CubeValue(x, y, z)) << c << "," << r;
      EXPECT_EQ(outT->val[p], 0.0f);
      EXPECT_EQ(zb->voxel[p], x + 5 * y + 25 * z) << c << "," << r;
      EXPECT_EQ(zb->object[p], 1);
      EXPECT_EQ(zb->dist[p], dist);
    }
  // The front face closed the intermediate pixels of its voxels, (x, y).
  for (int v = 0; v < 5; v++)
    for (int u = 0; u < 5; u++) {
      const bool closed = u >= 1 && u <= 3 && v >= 1 && v <= 3;
      EXPECT_EQ(interT->val[u + 5 * v], closed ? 0.0f : 1.0f) << u << "," << v;
    }

  // The renderer: the same faces, stretched by the window 0..100 -> 0..200
  // (2v) and tinted with object 1; the largest stretched value is 2 * 92
  // (voxel (1, 3, 3)). Every voxel of the clip box falls on a closed
  // intermediate pixel, so nothing is composited over the faces.
  SetObjectColor(cxt.get(), 1, 1.0f, 0.5f, 0.25f);
  auto cs = Window(0, 0, 100.9, 200.7);  // coordinates are truncated
  auto img = CSWShellRenderingCut(shell.get(), cxt.get(), cs.get());
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 8; c++) {
      const int p = c + 8 * r;
      int x, y, z, rgb[3] = {0, 0, 0};
      float dist;
      if (ExpectedCubeFace(c, r, &x, &y, &z, &dist)) {
        Tinted(cxt.get(), 1, 2.0 * CubeValue(x, y, z) / 184.0, rgb);
        EXPECT_EQ(zb->voxel[p], x + 5 * y + 25 * z);
        EXPECT_EQ(zb->dist[p], dist);
      } else {
        EXPECT_EQ(zb->voxel[p], -1);
      }
      for (int b = 0; b < 3; b++) EXPECT_EQ(img->C[b]->val[p], rgb[b]) << c << "," << r << " " << b;
    }
}

TEST(CutFaces, HiddenVoxelsAndLabelZeroLeaveNoFace) {
  auto shell = BodyCube();
  for (Voxel &v : shell->voxel) v.visible = 0;
  auto cxt = NewContext(5, 5, 5);
  auto cs = Window(0, 0, 100, 200);
  auto img = CSWShellRenderingCut(shell.get(), cxt.get(), cs.get());
  for (int p = 0; p < 64; p++) {
    EXPECT_EQ(cxt->zbuffer->voxel[p], -1);
    for (int b = 0; b < 3; b++) EXPECT_EQ(img->C[b]->val[p], 0);
  }
  for (Voxel &v : shell->voxel) v.visible = 1, v.label = 0;
  auto grey = SWShellRenderingCut(shell.get(), cxt.get(), cs.get());
  for (int p = 0; p < 64; p++) {
    EXPECT_EQ(cxt->zbuffer->voxel[p], -1);
    EXPECT_EQ(grey->val[p], 0);
  }
}

// With the whole volume as clip box, the near faces cover the volume's
// whole silhouette and nothing is composited behind them: the image is the
// tinted face image alone.
TEST(CutFaces, WholeClipBoxPaintsTheWholeFront) {
  auto shell = BodyCube();
  const float views[][2] = {{30, 40}, {-20, 200}, {10, 170}};  // principal axis z
  for (const auto &view : views) {
    auto cxt = NewContext(5, 5, 5);
    SetAngles(cxt.get(), view[0], view[1]);
    auto cs = Window(0, 0, 125, 250);
    auto img = CSWShellRenderingCut(shell.get(), cxt.get(), cs.get());
    auto zb = *cxt->zbuffer;
    const int n = cxt->isize;
    // Every voxel's splat centre (sheared position truncated, warped,
    // truncated) is a face pixel, of a voxel on a near face.
    const int lo[3] = {cxt->xi, cxt->yi, cxt->zi};
    ASSERT_EQ(cxt->paxis, 'z');
    for (int z = 0; z < 5; z++)
      for (int y = 0; y < 5; y++)
        for (int x = 0; x < 5; x++) {
          const int u = static_cast<int>(x - 2 + static_cast<double>(cxt->uOffset[z]));
          const int v = static_cast<int>(y - 2 + static_cast<double>(cxt->vOffset[z]));
          const int qc = static_cast<int>(cxt->inverseShear[0][0] * static_cast<double>(u) +
                                          cxt->inverseShear[0][1] * static_cast<double>(v)) + n / 2;
          const int qr = static_cast<int>(cxt->inverseShear[1][0] * static_cast<double>(u) +
                                          cxt->inverseShear[1][1] * static_cast<double>(v)) + n / 2;
          ASSERT_GE(zb.voxel[qc + n * qr], 0) << x << y << z << " view " << view[0] << "," << view[1];
        }
    for (int p = 0; p < n * n; p++) {
      const int i = zb.voxel[p];
      if (i < 0) continue;
      const int x = i % 5, y = i / 5 % 5, z = i / 25;
      EXPECT_TRUE(x == lo[0] || y == lo[1] || z == lo[2]) << i;
    }
    // The faces alone, drawn step by step, give the same image.
    auto face = CreateImage(n, n);
    auto interT = Open(static_cast<int>(cxt->iwidth), static_cast<int>(cxt->iheight));
    auto outT = Open(n, n);
    InitZBuffer(cxt->zbuffer.get());
    const char axes[3][3] = {{'x', 'y', 'z'}, {'y', 'z', 'x'}, {'z', 'x', 'y'}};
    const char *order = axes[cxt->paxis == 'z' ? 0 : cxt->paxis == 'x' ? 1 : 2];
    SWShellRenderingDrawCut(face.get(), shell.get(), cxt.get(), interT.get(), outT.get(), cxt->paxis);
    ShellRenderingDrawCut(face.get(), shell.get(), cxt.get(), outT.get(), order[0]);
    ShellRenderingDrawCut(face.get(), shell.get(), cxt.get(), outT.get(), order[1]);
    auto base = Colorize(cxt.get(), LinearStretch(face.get(), 0, 125, 0, 250).get());
    for (int b = 0; b < 3; b++) EXPECT_TRUE(base->C[b]->val == img->C[b]->val);
  }
}

// ---- scene faces ----
//
// 8 x 5 x 5 (isize 10, centre (4, 2, 2), half 5). Row (y 2, z 2) holds
// shell voxels at x = 1 and 6 (label 1), row (3, 2) the same with label 2,
// hidden. The clip box x 2..5, y 2..3, z 2. The scene walk of row 2 passes
// x = 1..6 and paints x = 2..5 with the scene (100 + x + 10y), voxel 0 (the
// shell voxel at x = 1, the last passed), distance 10 - (5 + 0) = 5, over
// the taps around (x + 1, 5): columns 2..4 from x = 2, then 5, 6 and 7.
// Row 3 is hidden and paints nothing.
class SceneRow : public ::testing::Test {
 protected:
  void SetUp() override {
    shell = MakeShell(8, 5, 5, {{1, 2, 2, 1}, {6, 2, 2, 1}, {1, 3, 2, 2, 0}, {6, 3, 2, 2, 0}},
                      false, CubeValue);
    scn = CreateScene(8, 5, 5);
    for (int z = 0; z < 5; z++)
      for (int y = 0; y < 5; y++)
        for (int x = 0; x < 8; x++) scn->data[scn->Address(x, y, z)] = 100 + x + 10 * y;
    shell->scene = scn.get();
    cxt = NewContext(8, 5, 5);
    SetClip(cxt.get(), 2, 5, 2, 3, 2, 2);
    SetAngles(cxt.get(), 0, 0);
    face = CreateImage(10, 10);
    outT = Open(10, 10);
    interT = Open(8, 5);
    InitZBuffer(cxt->zbuffer.get());
  }
  void ExpectRow() {
    const ZBuffer *zb = cxt->zbuffer.get();
    for (int r = 0; r < 10; r++)
      for (int c = 0; c < 10; c++) {
        const int p = c + 10 * r;
        if (r < 4 || r > 6 || c < 2 || c > 7) {
          EXPECT_EQ(face->val[p], 0) << c << "," << r;
          EXPECT_EQ(outT->val[p], 1.0f);
          EXPECT_EQ(zb->voxel[p], -1);
          continue;
        }
        const int x = std::max(2, c - 2);
        EXPECT_EQ(face->val[p], 100 + x + 20) << c << "," << r;  // column 7: the bound x = 5
        EXPECT_EQ(outT->val[p], 0.0f);
        EXPECT_EQ(zb->voxel[p], 0);
        EXPECT_EQ(zb->object[p], 1);
        EXPECT_EQ(zb->dist[p], 5.0f);
      }
  }
  std::unique_ptr<Shell> shell;
  std::unique_ptr<Scene> scn;
  std::unique_ptr<Context> cxt;
  std::unique_ptr<Image> face;
  std::unique_ptr<FBuffer> outT, interT;
};

TEST_F(SceneRow, ProjectedWalkFillsTheRowToTheClipBound) {
  ShellRenderingDrawSceneCut(face.get(), shell.get(), cxt.get(), outT.get(), 'z');
  ExpectRow();
}

TEST_F(SceneRow, ShearedWalkFillsTheRowAndClosesItsIntermediatePixels) {
  SWShellRenderingDrawSceneCut(face.get(), shell.get(), cxt.get(), interT.get(), outT.get(), 'z');
  ExpectRow();
  for (int v = 0; v < 5; v++)
    for (int u = 0; u < 8; u++)
      EXPECT_EQ(interT->val[u + 8 * v], v == 2 && u >= 2 && u <= 5 ? 0.0f : 1.0f) << u << "," << v;
}

TEST_F(SceneRow, NoSceneNoFaces) {
  shell->scene = nullptr;
  ShellRenderingDrawSceneCut(face.get(), shell.get(), cxt.get(), outT.get(), 'z');
  for (int p = 0; p < 100; p++) EXPECT_EQ(face->val[p], 0);
  auto cs = Window(0, 0, 255, 255);
  auto img = FastCSWShellRenderingCut(shell.get(), cxt.get(), cs.get());
  // Without faces the base is black; the row's visible voxels lie outside
  // the in-row clip and the other row is hidden: nothing is drawn.
  for (int p = 0; p < 100; p++) EXPECT_EQ(img->C[0]->val[p], 0);
}

// ---- label faces and the scene faces in image order ----
//
// 9 x 9 x 3 (isize 13, centre (4, 4, 1), half 6): a ring of label 1, the
// border of the square x, y in 1..7 at z = 1, and a hidden voxel of label 2
// at (8, 8, 1). Clip x 3..5, z 1..2: the label face across z (slice 1)
// still takes the whole slice, the ring's taps around (x + 2, y + 2) cover
// [2, 10]^2 but the hole [5, 7]^2, which the fill closes.
std::unique_ptr<Shell> Ring() {
  std::vector<HandVoxel> vs;
  for (int y = 1; y <= 7; y++)
    for (int x = 1; x <= 7; x++)
      if (x == 1 || x == 7 || y == 1 || y == 7) vs.push_back({x, y, 1, 1});
  vs.push_back({8, 8, 1, 2, 0});
  return MakeShell(9, 9, 3, vs, false, CubeValue);
}

TEST(CutFaces, LabelFaceTakesTheWholeSliceAndIsFilled) {
  auto shell = Ring();
  auto cxt = NewContext(9, 9, 3);
  SetClip(cxt.get(), 3, 5, 0, 8, 1, 2);
  SetAngles(cxt.get(), 0, 0);
  ASSERT_EQ(cxt->isize, 13);
  InitZBuffer(cxt->zbuffer.get());
  auto labels = ShellRenderingDrawObjectCut(shell.get(), cxt.get(), 'z');
  for (int r = 0; r < 13; r++)
    for (int c = 0; c < 13; c++)
      EXPECT_EQ(labels->at(c, r), c >= 2 && c <= 10 && r >= 2 && r <= 10 ? 1 : 0) << c << "," << r;
  // Across x the face is the clip box's first x, 3: two ring voxels,
  // (3, 1, 1) and (3, 7, 1), seen edge-on around (5, 3) and (5, 9).
  auto side = ShellRenderingDrawObjectCut(shell.get(), cxt.get(), 'x');
  for (int r = 0; r < 13; r++)
    for (int c = 0; c < 13; c++) {
      const bool in = c >= 4 && c <= 6 && ((r >= 2 && r <= 4) || (r >= 8 && r <= 10));
      EXPECT_EQ(side->at(c, r), in ? 1 : 0) << c << "," << r;
    }
}

// The image-order scene faces of the ring: the scene 1 + x + 10y + 100z.
// Without shear, pixel (c, r) meets (c - 2, r - 2, k) for k = 1, 2. The
// face across z (k = 1) counts where c - 2 lies in 3..5 and the z label
// face is set: columns 5..7, rows 2..10. The face across x (x = 3: column
// 5) matches at both k, the later (k = 2) winning, where its label face
// is set: rows 2..4 and 8..10. The face across y (y = 0) has no labels.
TEST(CutFaces, SceneFacesInImageOrderKeepTheLastSliceMatched) {
  auto shell = Ring();
  auto scn = CreateScene(9, 9, 3);
  for (int z = 0; z < 3; z++)
    for (int y = 0; y < 9; y++)
      for (int x = 0; x < 9; x++) scn->data[scn->Address(x, y, z)] = 1 + x + 10 * y + 100 * z;
  shell->scene = scn.get();
  auto cxt = NewContext(9, 9, 3);
  SetClip(cxt.get(), 3, 5, 0, 8, 1, 2);
  SetAngles(cxt.get(), 0, 0);
  InitZBuffer(cxt->zbuffer.get());
  auto face = CreateImage(13, 13);
  auto interT = Open(9, 9), outT = Open(13, 13);
  ISWShellRenderingDrawSceneCut(face.get(), shell.get(), cxt.get(), interT.get(), outT.get());
  const ZBuffer *zb = cxt->zbuffer.get();
  for (int r = 0; r < 13; r++)
    for (int c = 0; c < 13; c++) {
      const int p = c + 13 * r;
      int x = c - 2, y = r - 2, z = -1;
      if (c == 5 && ((r >= 2 && r <= 4) || (r >= 8 && r <= 10))) z = 2;
      else if (c >= 5 && c <= 7 && r >= 2 && r <= 10) z = 1;
      if (z < 0) {
        EXPECT_EQ(face->val[p], 0) << c << "," << r;
        EXPECT_EQ(zb->voxel[p], -1);
        EXPECT_EQ(outT->val[p], 1.0f);
        continue;
      }
      EXPECT_EQ(face->val[p], 1 + x + 10 * y + 100 * z) << c << "," << r;
      EXPECT_EQ(zb->voxel[p], x + 9 * y + 81 * z);
      EXPECT_EQ(zb->object[p], 1);
      EXPECT_EQ(zb->dist[p], 13.0f);  // not written
      EXPECT_EQ(outT->val[p], 0.0f);
    }
}

// The image-order rule read literally: every pixel, every slice, the three
// faces in order x, y, z, each match overwriting the one before.
void PlainSceneFaces(Image *img, const Shell *shell, Context *cxt, FBuffer *T) {
  std::unique_ptr<Image> label[3];
  for (int a = 0; a < 3; a++) label[a] = ShellRenderingDrawObjectCut(shell, cxt, "xyz"[a]);
  const Scene *scn = shell->scene;
  const int n = cxt->isize;
  const int lo[3] = {cxt->xmin, cxt->ymin, cxt->zmin}, hi[3] = {cxt->xmax, cxt->ymax, cxt->zmax};
  const int slice[3] = {cxt->xi, cxt->yi, cxt->zi};
  const int centre[3] = {cxt->xsize / 2, cxt->ysize / 2, cxt->zsize / 2};
  const int ai = cxt->paxis == 'z' ? 0 : cxt->paxis == 'x' ? 1 : 2;  // axis of i
  const int aj = (ai + 1) % 3, ak = (ai + 2) % 3;
  auto round = [](double a) { return static_cast<int>(a < 0 ? a - 0.5 : a + 0.5); };
  for (int r = 0; r < n; r++)
    for (int c = 0; c < n; c++) {
      const int q = c + r * n;
      const double uc = c - n / 2, vc = r - n / 2;
      const double fi = cxt->shear[0][0] * uc + cxt->shear[0][1] * vc + centre[ai];
      const double fj = cxt->shear[1][0] * uc + cxt->shear[1][1] * vc + centre[aj];
      for (int k = cxt->ki; k != cxt->kf; k += cxt->dk) {
        int pos[3];
        pos[ai] = round(fi + cxt->negUOffset[k]);
        pos[aj] = round(fj + cxt->negVOffset[k]);
        pos[ak] = k;
        if (!scn->Valid(pos[0], pos[1], pos[2])) continue;
        for (int f = 0; f < 3; f++) {
          bool on = pos[f] == slice[f] && label[f]->val[q] != 0;
          for (int a = 0; a < 3; a++) on = on && (a == f || (pos[a] >= lo[a] && pos[a] <= hi[a]));
          if (!on) continue;
          const int v = scn->Address(pos[0], pos[1], pos[2]);
          img->val[q] = scn->data[v];
          cxt->zbuffer->object[q] = static_cast<unsigned char>(label[f]->val[q]);
          cxt->zbuffer->voxel[q] = v;
          T->val[q] = 0.0f;
        }
      }
    }
}

const float kViews[][2] = {{0, 0},    {90, 0},    {0, 90},     {180, 0},   {0, 270},   {270, 0},
                           {30, 40},  {-30, 40},  {30, -40},   {-30, -40}, {150, 40},  {150, -40},
                           {210, 130}, {-150, 220}, {30, 140}, {-25, 230}, {45, 45},  {12.5f, 77}, {-61, 13.7f}, {88, 3},  {123, 321}};

TEST(CutFaces, SceneFacesInImageOrderMatchTheSliceBySliceRule) {
  auto labels = phantom::LabelledPhantom(20, 18, 16);
  auto shell = ObjectShell(labels.get());
  for (Voxel &v : shell->voxel)
    if (v.label == 3) v.visible = 0;
  auto grey = phantom::GreyPhantom(20, 18, 16, 1.0f, 1.0f);
  shell->scene = grey.get();
  const int clips[][6] = {{0, 19, 0, 17, 0, 15}, {4, 13, 3, 12, 2, 11}, {7, 7, 2, 15, 5, 9}};
  std::set<int> octants;
  for (const auto &clip : clips) {
    int drawn = 0;
    for (const auto &view : kViews) {
      auto cxt = NewContext(20, 18, 16);
      SetClip(cxt.get(), clip[0], clip[1], clip[2], clip[3], clip[4], clip[5]);
      SetAngles(cxt.get(), view[0], view[1]);
      octants.insert(cxt->octant);
      const int n = cxt->isize, iw = static_cast<int>(cxt->iwidth), ih = static_cast<int>(cxt->iheight);
      auto fast = CreateImage(n, n), plain = CreateImage(n, n);
      auto interT = Open(iw, ih), fastT = Open(n, n), plainT = Open(n, n);
      InitZBuffer(cxt->zbuffer.get());
      ISWShellRenderingDrawSceneCut(fast.get(), shell.get(), cxt.get(), interT.get(), fastT.get());
      const ZBuffer fastZ = *cxt->zbuffer;
      InitZBuffer(cxt->zbuffer.get());
      PlainSceneFaces(plain.get(), shell.get(), cxt.get(), plainT.get());
      const std::string what = std::to_string(view[0]) + ", " + std::to_string(view[1]) +
                               " clip " + std::to_string(clip[0]);
      for (int p = 0; p < n * n; p++) drawn += plainT->val[p] == 0.0f;
      EXPECT_TRUE(fast->val == plain->val) << what;
      EXPECT_TRUE(fastT->val == plainT->val) << what;
      EXPECT_TRUE(fastZ.voxel == cxt->zbuffer->voxel) << what;
      EXPECT_TRUE(fastZ.object == cxt->zbuffer->object) << what;
    }
    EXPECT_GT(drawn, 100) << "clip " << clip[0];
  }
  EXPECT_EQ(octants.size(), 8u);
}

// ---- cut planes ----

// A column of label 1 at (2, 2, z) of 5^3, no scene: no faces. The plane
// through the centre facing z puts distance 4 - 0 = 4 into every pixel;
// voxel z has distance 8 - (4 + z - 2) = 6 - z, so only z = 3 and 4 lie
// beyond it, and z = 3 closes the centre pixel. Without the plane the
// front voxel z = 0 is the one seen.
TEST(CutPlane, VoxelsBetweenThePlaneAndTheViewerAreNotDrawn) {
  std::vector<HandVoxel> vs;
  for (int z = 0; z < 5; z++) vs.push_back({2, 2, z, 1});
  auto shell = MakeShell(5, 5, 5, vs, false, CubeValue);
  auto cxt = NewContext(5, 5, 5);
  auto pl = CreatePlane(cxt.get());
  auto cs = Window(0, 0, 255, 255);
  auto img = CSWShellRenderingCutPlane(shell.get(), cxt.get(), cs.get(), pl.get());
  const ZBuffer *zb = cxt->zbuffer.get();
  EXPECT_EQ(zb->voxel[36], 3);
  EXPECT_EQ(zb->object[36], 1);
  EXPECT_EQ(zb->dist[36], 3.0f);
  EXPECT_EQ(zb->voxel[0], -1);  // the plane's pixels
  EXPECT_EQ(zb->dist[0], 4.0f);
  const double c = -static_cast<double>(shell->normaltable->entry[GetNormalIndex(kMinusZ)].z);
  const double s = (0.7 * c + 0.2 * std::pow(2 * c * c - 1, 2)) * (1 - 5.0 / 8) + 0.1;
  EXPECT_EQ(img->C[0]->val[36], static_cast<int>((s - 0.062745098039) * 296.82));
  auto front = CSWShellRenderingCut(shell.get(), cxt.get(), cs.get());
  EXPECT_EQ(zb->voxel[36], 0);
  EXPECT_EQ(zb->dist[36], 6.0f);
}

// The body cube cut by the same plane: pixel (c, r) meets (c - 2, r - 2,
// 2), painted with its value; the side faces across x and y (columns and
// rows 1..3) lie beyond the plane and replace it there, the front face
// (distance 6) lies before it and is not drawn. The plane keeps its
// distance 4.
TEST(CutPlane, BodyPlaneShowsTheValuesOnThePlane) {
  auto shell = BodyCube();
  auto cxt = NewContext(5, 5, 5);
  auto pl = CreatePlane(cxt.get());
  auto cs = Window(0, 0, 255, 255);
  auto img = CSWShellRenderingCutPlane(shell.get(), cxt.get(), cs.get(), pl.get());
  const ZBuffer *zb = cxt->zbuffer.get();
  for (int r = 4; r <= 6; r++)
    for (int c = 4; c <= 6; c++) {
      const int p = c + 8 * r, x = c - 2, y = r - 2;
      EXPECT_EQ(zb->voxel[p], x + 5 * y + 50) << c << "," << r;
      EXPECT_EQ(zb->dist[p], 4.0f);
    }
  // Front-face voxels (z = 0) are nowhere: they lie before the plane.
  for (int p = 0; p < 64; p++) EXPECT_TRUE(zb->voxel[p] < 0 || zb->voxel[p] >= 25) << p;
  for (int b = 0; b < 3; b++) EXPECT_EQ(img->C[b]->val[0], 0);
}

// ---- stereo ----

TEST(Stereo, BandsAreTheThreeViewsAndTheViewIsKept) {
  auto labels = phantom::LabelledPhantom(16, 16, 16);
  auto shell = ObjectShell(labels.get());
  auto grey = phantom::GreyPhantom(16, 16, 16, 1.0f, 1.0f);
  shell->scene = grey.get();
  auto cs = Window(0, 0, 2000, 255);
  auto cxt = NewContext(16, 16, 16);
  SetClip(cxt.get(), 2, 12, 0, 15, 3, 15);
  SetAngles(cxt.get(), 20, 30);
  AddAngles(cxt.get(), 7, 3);
  const float tilt = cxt->tilt, spin = cxt->spin;
  float rotation[16];
  std::copy(&cxt->rotation[0][0], &cxt->rotation[0][0] + 16, rotation);
  const std::vector<float> offsets = cxt->uOffset;
  auto stereo = CSWShellRenderingStereo(shell.get(), cxt.get(), cs.get());
  EXPECT_EQ(cxt->tilt, tilt);
  EXPECT_EQ(cxt->spin, spin);
  EXPECT_TRUE(std::equal(rotation, rotation + 16, &cxt->rotation[0][0]));
  EXPECT_TRUE(offsets == cxt->uOffset);
  const ZBuffer stereoZ = *cxt->zbuffer;
  auto middle = SWShellRenderingCut(shell.get(), cxt.get(), cs.get());
  EXPECT_TRUE(stereo->C[1]->val == middle->val);
  EXPECT_TRUE(stereoZ.voxel == cxt->zbuffer->voxel);
  EXPECT_TRUE(stereoZ.dist == cxt->zbuffer->dist);
  AddAngles(cxt.get(), 0, -5);
  auto left = SWShellRenderingCut(shell.get(), cxt.get(), cs.get());
  AddAngles(cxt.get(), 0, 10);
  auto right = SWShellRenderingCut(shell.get(), cxt.get(), cs.get());
  EXPECT_TRUE(stereo->C[0]->val == left->val);
  EXPECT_TRUE(stereo->C[2]->val == right->val);
  EXPECT_FALSE(left->val == right->val);
}

// ---- scene ray casting ----
//
// 5^3, clip z 2..4, front view: the frame (the clip box) projects onto
// columns and rows 2..6. The ray of pixel (c, r) starts at (c - 4, r - 4,
// -4) centred, enters the box at z = -2 (volume z 0) and meets the clip
// box two steps on: voxel (c - 2, r - 2, 2) at distance 2.
TEST(RaycastSceneCut, FirstClipBoxVoxelAlongEachRay) {
  auto scn = CreateScene(5, 5, 5);
  for (int z = 0; z < 5; z++)
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 5; x++) scn->data[scn->Address(x, y, z)] = CubeValue(x, y, z);
  auto cxt = NewContext(5, 5, 5);
  SetClip(cxt.get(), 0, 4, 0, 4, 2, 4);
  auto img = CreateImage(8, 8);
  auto T = Open(8, 8);
  ZBuffer *zb = cxt->zbuffer.get();
  for (int p = 0; p < 64; p++) zb->dist[p] = 99.0f, zb->object[p] = 7;
  RaycastSceneCut(img.get(), scn.get(), cxt.get(), T.get());
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 8; c++) {
      const int p = c + 8 * r;
      if (c < 2 || c > 6 || r < 2 || r > 6) {
        EXPECT_EQ(zb->dist[p], 99.0f);  // outside the frame: untouched
        EXPECT_EQ(zb->object[p], 7);
        EXPECT_EQ(T->val[p], 1.0f);
        continue;
      }
      EXPECT_EQ(img->val[p], CubeValue(c - 2, r - 2, 2)) << c << "," << r;
      EXPECT_EQ(zb->voxel[p], c - 2 + 5 * (r - 2) + 50);
      EXPECT_EQ(zb->dist[p], 2.0f);
      EXPECT_EQ(zb->object[p], 0);
      EXPECT_EQ(T->val[p], 0.0f);
    }
}

// ---- faults that fail cleanly ----

TEST(CutFaults, WrongSizesCurvesAxesAndShellKinds) {
  auto body = BodyCube();
  auto cxt = NewContext(5, 5, 5);
  auto other = NewContext(5, 5, 6);
  auto cs = Window(0, 0, 255, 255);
  auto one = CreateCurve(1);
  auto face = CreateImage(8, 8), small = CreateImage(7, 8);
  auto interT = Open(5, 5), outT = Open(8, 8), wrongT = Open(8, 7);
  EXPECT_EQ(FatalText([&] { CSWShellRenderingCut(body.get(), other.get(), cs.get()); }),
            "Error:The context was made for a volume of 5 x 5 x 6 but the shell is 5 x 5 x 5 in "
            "CSWShellRenderingCut");
  EXPECT_EQ(FatalText([&] { SWShellRenderingCut(body.get(), cxt.get(), one.get()); }),
            "Error:The grey-level curve needs at least two points in SWShellRenderingCut");
  EXPECT_EQ(FatalText([&] { CSWShellRenderingStereo(body.get(), cxt.get(), one.get()); }),
            "Error:The grey-level curve needs at least two points in CSWShellRenderingStereo");
  EXPECT_EQ(FatalText([&] {
              ShellRenderingDrawCut(small.get(), body.get(), cxt.get(), outT.get(), 'x');
            }),
            "Error:The face image is 7 x 8 but the context's image is 8 x 8 in "
            "ShellRenderingDrawCut");
  EXPECT_EQ(FatalText([&] {
              ShellRenderingDrawCutPlane(face.get(), body.get(), cxt.get(), wrongT.get());
            }),
            "Error:The output transparency is 8 x 7 but must be 8 x 8 in "
            "ShellRenderingDrawCutPlane");
  EXPECT_EQ(FatalText([&] {
              SWShellRenderingDrawCut(face.get(), body.get(), cxt.get(), outT.get(), outT.get(), 'z');
            }),
            "Error:The intermediate transparency is 8 x 8 but must be 5 x 5 in "
            "SWShellRenderingDrawCut");
  EXPECT_EQ(FatalText([&] { ShellRenderingDrawObjectCut(body.get(), cxt.get(), 'w'); }),
            "Error:The axis must be x, y or z (got character code 119) in "
            "ShellRenderingDrawObjectCut");
  auto objects = MakeShell(5, 5, 5, {{2, 2, 2, 1}}, false, CubeValue);
  EXPECT_EQ(FatalText([&] {
              ShellRenderingDrawCut(face.get(), objects.get(), cxt.get(), outT.get(), 'x');
            }),
            "Error:An object shell has no voxel values or gradients: a body shell is needed in ShellRenderingDrawCut");
  // A scene of another size than the shell's is refused before any read.
  auto wrongScene = CreateScene(5, 5, 4);
  objects->scene = wrongScene.get();
  EXPECT_EQ(FatalText([&] { FastCSWShellRenderingCut(objects.get(), cxt.get(), cs.get()); }),
            "Error:The scene is 5 x 5 x 4 but the shell 5 x 5 x 5 in "
            "FastCSWShellRenderingCut");
  EXPECT_EQ(FatalText([&] { RaycastSceneCut(face.get(), wrongScene.get(), cxt.get(), outT.get()); }),
            "Error:The context was made for a volume of 5 x 5 x 5 but the scene is 5 x 5 x 4 in "
            "RaycastSceneCut");
  // Nothing was changed by a refused call.
  for (int p = 0; p < 64; p++) EXPECT_EQ(outT->val[p], 1.0f);
}

// ---- regression images ----
//
// Each cut method on the 24^3 phantoms from (30, 40) with a clip box that
// opens them, stored once after a look by eye under tests/data/regress.
// ORVANE_REGRESS_WRITE=1 rewrites them.

std::vector<const Image *> Bands(const CImage *c) { return {c->C[0].get(), c->C[1].get(), c->C[2].get()}; }

TEST(CutRenderers, RegressionImagesOfThePhantoms) {
  auto labels = phantom::LabelledPhantom(24, 24, 24);
  auto objects = ObjectShell(labels.get());
  auto grey = phantom::GreyPhantom(24, 24, 24, 1.0f, 1.0f);
  objects->scene = grey.get();
  auto body = LabelledBodyShell(grey.get());
  const struct {
    const char *name;
    const Shell *shell;
  } cases[] = {{"labels", objects.get()}, {"grey", body.get()}};
  auto cs = Window(0, 0, 2100, 255);
  for (const auto &k : cases) {
    auto cxt = NewContext(24, 24, 24);
    SetClip(cxt.get(), 0, 23, 6, 23, 9, 23);
    SetAngles(cxt.get(), 30, 40);
    SetObjectColor(cxt.get(), 1, 1.0f, 0.3f, 0.3f);
    SetObjectColor(cxt.get(), 2, 0.3f, 1.0f, 0.3f);
    SetObjectColor(cxt.get(), 3, 0.3f, 0.3f, 1.0f);
    SetObjectColor(cxt.get(), 4, 1.0f, 1.0f, 0.3f);
    auto pl = CreatePlane(cxt.get());
    RotatePlaneAbs(pl.get(), 20, 60);
    TranslatePlane(pl.get(), 2);
    const std::string c = k.name;
    ExpectRegression("CSWShellRenderingCut_" + c + ".ppm",
                     Bands(CSWShellRenderingCut(k.shell, cxt.get(), cs.get()).get()));
    ExpectRegression("FastCSWShellRenderingCut_" + c + ".ppm",
                     Bands(FastCSWShellRenderingCut(k.shell, cxt.get(), cs.get()).get()));
    ExpectRegression("CSWShellRenderingCutPlane_" + c + ".ppm",
                     Bands(CSWShellRenderingCutPlane(k.shell, cxt.get(), cs.get(), pl.get()).get()));
    ExpectRegression("SWShellRenderingCut_" + c + ".pgm",
                     {SWShellRenderingCut(k.shell, cxt.get(), cs.get()).get()});
    ExpectRegression("CSWShellRenderingStereo_" + c + ".ppm",
                     Bands(CSWShellRenderingStereo(k.shell, cxt.get(), cs.get()).get()));
  }
}

}  // namespace
