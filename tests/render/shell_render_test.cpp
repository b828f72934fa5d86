// The splatting and intermediate-image renderers. Small hand-made shells
// whose pixels are worked out in the comments; the edge cases that catch
// real faults; the mended faults (a context of another size, positions
// outside a buffer); and the skipping traversal against plain renderers
// that visit every voxel, on phantoms seen from every octant, the three
// principal axes and odd angles.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "core/scene.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_render.h"
#include "render/shell_splat.h"
#include "render/shell_traverse.h"
#include "support/fatal.h"
#include "support/phantom.h"

namespace {

// Normal indices of the axis directions (whole-degree entries, truncated).
const float kMinusZ[3] = {0, 0, -1}, kPlusZ[3] = {0, 0, 1}, kPlusX[3] = {1, 0, 0};

struct HandVoxel {
  int x, y, z, label;
  const float *normal;  // null: normal index 0
  int opacity = 255;
  int visible = 1;
};

// A shell of exactly the listed voxels.
std::unique_ptr<Shell> MakeShell(int xs, int ys, int zs, const std::vector<HandVoxel> &vs,
                                 bool body = false) {
  auto scn = CreateScene(xs, ys, zs);
  for (const HandVoxel &v : vs) scn->data[scn->Address(v.x, v.y, v.z)] = 1;
  auto shell = body ? NewBodyShell(xs, ys, zs, static_cast<int>(vs.size()))
                    : NewShell(xs, ys, zs, static_cast<int>(vs.size()));
  SetShellVoxels(shell.get(), scn.get());
  SetShellList(shell.get(), scn.get());
  for (const HandVoxel &v : vs) {
    Voxel &r = shell->voxel[GetPointer(shell.get(), v.x, v.y, v.z)];
    r.label = static_cast<uint8_t>(v.label);
    r.opacity = static_cast<uint8_t>(v.opacity);
    r.visible = static_cast<uint8_t>(v.visible);
    r.normal = v.normal ? GetNormalIndex(v.normal) : 0;
  }
  return shell;
}

// The shade of the spec's formula with the default Phong (0.7, 0.2, 0.1, 2).
double DefaultShade(double c, double d, int isize) {
  const double r = 2 * c * c - 1;
  const double spec = r < 0 ? 0 : 0.2 * r * r;
  return (0.7 * c + spec) * (1 - d / isize) + 0.1;
}

// Red, green and blue added by AccVoxelColor for luminance s and weight w
// with the chroma of label o.
void Added(const Context *cxt, int o, double s, double w, int rgb[3]) {
  const double Y = (s - 0.062745098039) * 296.82;
  const double cb = cxt->object[o].Cb - 0.50196078431, cr = cxt->object[o].Cr - 0.50196078431;
  const double c[3] = {Y + 406.98 * cr, Y - 207.315 * cr - 99.96 * cb, Y + 514.335 * cb};
  for (int i = 0; i < 3; i++) {
    rgb[i] = static_cast<int>(std::trunc(std::fmin(255.0, std::fmax(0.0, c[i])) *
                                         static_cast<float>(w))) & 0xFF;
  }
}

int Band(const CImage *img, int b, int col, int row) { return img->C[b]->at(col, row); }

// Facing of the -z entry seen from (0, 0, -1): its z is sin(-89 degrees).
double FacingMinusZ(const Shell *shell) {
  return -static_cast<double>(shell->normaltable->entry[GetNormalIndex(kMinusZ)].z);
}

// ---- one voxel, 5^3, seen from the front ----
//
// isize = trunc(sqrt(75)) = 8; angles (0, 0): no shear, intermediate 5 x 5
// with centre (2, 2). The voxel at the volume's centre (2, 2, 2) lands on
// intermediate pixel (2, 2) and on output centre (4, 4); its depth is
// 0 + 8 / 2 = 4, so z-buffer dist 8 - 4 = 4. The taps spread exp(-r^2/2)
// over the 3 x 3 block around (4, 4).

TEST(CSWShellRendering, OneVoxelSplatsTheKernelAndRecordsItsTaps) {
  auto shell = MakeShell(5, 5, 5, {{2, 2, 2, 1, kMinusZ}});
  auto cxt = NewContext(5, 5, 5);
  ASSERT_EQ(cxt->isize, 8);
  auto img = CSWShellRendering(shell.get(), cxt.get());
  ASSERT_EQ(img->ncols(), 8);
  const double s = DefaultShade(FacingMinusZ(shell.get()), 4.0, 8);
  const ZBuffer *zb = cxt->zbuffer.get();
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 8; c++) {
      const int dx = c - 4, dy = r - 4, p = c + r * 8;
      if (std::abs(dx) > 1 || std::abs(dy) > 1) {
        EXPECT_EQ(Band(img.get(), 0, c, r), 0);
        EXPECT_EQ(zb->voxel[p], -1);  // untouched: -1, object 0, dist isize
        EXPECT_EQ(zb->object[p], 0);
        EXPECT_EQ(zb->dist[p], 8.0f);
        continue;
      }
      const double g = static_cast<float>(std::exp(-(dx * dx + dy * dy) / 2.0));
      int rgb[3];
      Added(cxt.get(), 1, s, g, rgb);
      for (int b = 0; b < 3; b++) EXPECT_EQ(Band(img.get(), b, c, r), rgb[b]) << c << "," << r;
      EXPECT_EQ(zb->voxel[p], 0);
      EXPECT_EQ(zb->object[p], 1);
      EXPECT_EQ(zb->dist[p], 4.0f);
    }
  // A white object adds the same grey to the three bands:
  // (s - 0.0627) * 296.82 at full weight.
  EXPECT_EQ(Band(img.get(), 0, 4, 4), static_cast<int>((s - 0.062745098039) * 296.82));
  EXPECT_EQ(Band(img.get(), 1, 4, 4), Band(img.get(), 0, 4, 4));
  EXPECT_EQ(Band(img.get(), 2, 4, 4), Band(img.get(), 0, 4, 4));
}

TEST(ICSWShellRendering, OneVoxelIsOnePixelWarpedBack) {
  auto shell = MakeShell(5, 5, 5, {{2, 2, 2, 1, kMinusZ}});
  auto cxt = NewContext(5, 5, 5);
  auto img = ICSWShellRendering(shell.get(), cxt.get());
  const double s = DefaultShade(FacingMinusZ(shell.get()), 4.0, 8);
  int rgb[3];
  Added(cxt.get(), 1, s, 1.0, rgb);
  const ZBuffer *zb = cxt->zbuffer.get();
  // Output column c reads intermediate column trunc(c - 4 + 2): columns 2..6
  // lie over the 5 x 5 intermediate image, the others stay as reset.
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 8; c++) {
      const int p = c + r * 8;
      const bool over = c >= 2 && c <= 6 && r >= 2 && r <= 6;
      const bool hit = c == 4 && r == 4;
      for (int b = 0; b < 3; b++) EXPECT_EQ(Band(img.get(), b, c, r), hit ? rgb[b] : 0);
      EXPECT_EQ(zb->voxel[p], hit ? 0 : -1) << c << "," << r;
      EXPECT_EQ(zb->object[p], hit ? 1 : 0);
      // Pixels over the intermediate image take its reset dist, its width 5.
      EXPECT_EQ(zb->dist[p], hit ? 4.0f : over ? 5.0f : 8.0f) << c << "," << r;
    }
}

// ---- a 3^3 cube in 7^3, seen from the front ----
//
// isize = trunc(sqrt(147)) = 12, intermediate 7 x 7 centred at (3, 3);
// voxel (x, y, z) has sheared position (x - 3, y - 3) and output centre
// (x + 3, y + 3). The front face z = 2 faces the viewer; the voxels behind
// face it too, so only the intermediate gate keeps them out.

std::vector<HandVoxel> Cube(int label2 = 1) {
  std::vector<HandVoxel> vs;
  for (int z = 2; z < 5; z++)
    for (int y = 2; y < 5; y++)
      for (int x = 2; x < 5; x++) vs.push_back({x, y, z, x == 4 ? label2 : 1, kMinusZ});
  return vs;
}

TEST(CSWShellRendering, CubeCompositesOverlappingTapsFrontToBack) {
  auto shell = MakeShell(7, 7, 7, Cube());
  auto cxt = NewContext(7, 7, 7);
  ASSERT_EQ(cxt->isize, 12);
  auto img = CSWShellRendering(shell.get(), cxt.get());
  const double c = FacingMinusZ(shell.get());
  const double e1 = static_cast<float>(std::exp(-1.0)), eh = static_cast<float>(std::exp(-0.5));
  // Depth of the front face: (2 - 3) + 6 = 5; z-buffer dist 12 - 5 = 7.
  const double s = DefaultShade(c, 5.0, 12);
  int a[3], b[3];
  // Corner (4, 4): only voxel (2, 2, 2)'s tap (-1, -1). The voxel behind,
  // (2, 2, 3), would add to it (transparency 1 - e^-1 is still open), but
  // its intermediate pixel (2, 2) was closed by T(q0) = 0.
  Added(cxt.get(), 1, s, e1, a);
  EXPECT_EQ(Band(img.get(), 0, 4, 4), a[0]);
  // (5, 4): voxel (2, 2, 2)'s tap (0, -1), then voxel (3, 2, 2)'s tap
  // (-1, -1) weighted by what is left, 1 - e^-0.5.
  Added(cxt.get(), 1, s, eh, a);
  const float left = static_cast<float>(1.0 - eh);
  Added(cxt.get(), 1, s, left * e1, b);
  EXPECT_EQ(Band(img.get(), 0, 5, 4), a[0] + b[0]);
  // (5, 5): the centre of (2, 2, 2), closed at once.
  Added(cxt.get(), 1, s, 1.0, a);
  EXPECT_EQ(Band(img.get(), 0, 5, 5), a[0]);
  const ZBuffer *zb = cxt->zbuffer.get();
  const int first = GetPointer(shell.get(), 2, 2, 2), second = GetPointer(shell.get(), 3, 2, 2);
  EXPECT_EQ(zb->voxel[5 + 4 * 12], first);
  EXPECT_EQ(zb->voxel[7 + 4 * 12], second);  // (3,2,2)'s tap (1, -1), first to come
  EXPECT_EQ(zb->dist[5 + 4 * 12], 7.0f);
  EXPECT_EQ(zb->voxel[3 + 3 * 12], -1);
}

TEST(ICSWShellRendering, CubeShowsItsFrontFaceOnly) {
  auto shell = MakeShell(7, 7, 7, Cube());
  auto cxt = NewContext(7, 7, 7);
  auto img = ICSWShellRendering(shell.get(), cxt.get());
  const double s = DefaultShade(FacingMinusZ(shell.get()), 5.0, 12);
  int rgb[3];
  Added(cxt.get(), 1, s, 1.0, rgb);
  // Output (c, r) reads intermediate (c - 6 + 3, r - 6 + 3): the face
  // (2..4, 2..4) appears at columns and rows 5..7.
  const ZBuffer *zb = cxt->zbuffer.get();
  for (int r = 4; r <= 8; r++)
    for (int c = 4; c <= 8; c++) {
      const bool face = c >= 5 && c <= 7 && r >= 5 && r <= 7;
      EXPECT_EQ(Band(img.get(), 1, c, r), face ? rgb[1] : 0) << c << "," << r;
      EXPECT_EQ(zb->voxel[c + r * 12], face ? GetPointer(shell.get(), c - 3, r - 3, 2) : -1);
      if (face) {
        EXPECT_EQ(zb->dist[c + r * 12], 7.0f);
      }
    }
}

// ---- two objects ----

TEST(CSWShellRendering, TwoObjectsKeepTheirChromaAndLabels) {
  auto shell = MakeShell(7, 7, 7, Cube(2));  // column x = 4 is object 2
  auto cxt = NewContext(7, 7, 7);
  SetObjectColor(cxt.get(), 1, 1.0f, 0.0f, 0.0f);
  SetObjectColor(cxt.get(), 2, 0.0f, 0.0f, 1.0f);
  auto img = ICSWShellRendering(shell.get(), cxt.get());
  const double s = DefaultShade(FacingMinusZ(shell.get()), 5.0, 12);
  int red[3], blue[3];
  Added(cxt.get(), 1, s, 1.0, red);
  Added(cxt.get(), 2, s, 1.0, blue);
  ASSERT_GT(red[0], red[2]);
  ASSERT_GT(blue[2], blue[0]);
  for (int b = 0; b < 3; b++) {
    EXPECT_EQ(Band(img.get(), b, 6, 6), red[b]);   // voxel (3, 3, 2)
    EXPECT_EQ(Band(img.get(), b, 7, 6), blue[b]);  // voxel (4, 3, 2)
  }
  EXPECT_EQ(cxt->zbuffer->object[6 + 6 * 12], 1);
  EXPECT_EQ(cxt->zbuffer->object[7 + 6 * 12], 2);

  auto splat = CSWShellRendering(shell.get(), cxt.get());
  // Centres at columns x + 3: column 8 is reached only by the taps of
  // x = 4 (object 2), column 4 only by x = 2 (object 1), column 9 by none.
  EXPECT_EQ(cxt->zbuffer->object[8 + 6 * 12], 2);
  EXPECT_EQ(cxt->zbuffer->object[4 + 6 * 12], 1);
  EXPECT_EQ(Band(splat.get(), 0, 9, 6), 0);
  EXPECT_GT(Band(splat.get(), 2, 8, 6), Band(splat.get(), 0, 8, 6));
  EXPECT_GT(Band(splat.get(), 0, 4, 6), Band(splat.get(), 2, 4, 6));
}

// ---- edge cases ----

TEST(CSWShellRendering, NormalZeroLabelZeroAndBackFacesDrawNothing) {
  for (const HandVoxel &v : {HandVoxel{2, 2, 2, 1, nullptr}, HandVoxel{2, 2, 2, 0, kMinusZ},
                             HandVoxel{2, 2, 2, 1, kPlusZ}, HandVoxel{2, 2, 2, 1, kPlusX},
                             HandVoxel{2, 2, 2, 1, kMinusZ, 255, 0}}) {
    auto shell = MakeShell(5, 5, 5, {v});
    auto cxt = NewContext(5, 5, 5);
    SetObjectOpacity(cxt.get(), 0, 1.0f);  // even a visible background draws nothing
    auto img = CSWShellRendering(shell.get(), cxt.get());
    auto fast = ICSWShellRendering(shell.get(), cxt.get());
    for (int b = 0; b < 3; b++)
      for (int p = 0; p < 64; p++) {
        EXPECT_EQ(img->C[b]->val[p], 0);
        EXPECT_EQ(fast->C[b]->val[p], 0);
      }
    for (int p = 0; p < 64; p++) EXPECT_EQ(cxt->zbuffer->voxel[p], -1);
  }
}

TEST(CSWShellRendering, TapLeavesTransparencyOneMinusWeightAndClosesBelowFivePercent) {
  // Two voxels one behind the other but sheared apart: from (0, 0) the one
  // behind lands on the same intermediate pixel, so move it one column: the
  // voxel at (3, 2, 3) lands on pixel (3, 2), open, and its centre tap
  // (5, 4) sees what the first voxel's tap (1, 0) left: 1 - e^-0.5.
  auto shell = MakeShell(5, 5, 5, {{2, 2, 2, 1, kMinusZ}, {3, 2, 3, 1, kMinusZ}});
  auto cxt = NewContext(5, 5, 5);
  auto img = CSWShellRendering(shell.get(), cxt.get());
  const double c = FacingMinusZ(shell.get());
  const double eh = static_cast<float>(std::exp(-0.5));
  int a[3], b[3];
  Added(cxt.get(), 1, DefaultShade(c, 4.0, 8), eh, a);
  Added(cxt.get(), 1, DefaultShade(c, 5.0, 8), static_cast<float>(1.0 - eh), b);
  EXPECT_EQ(Band(img.get(), 0, 5, 4), a[0] + b[0]);
  // (4, 4), the first centre, was closed (transparency 0): the second
  // voxel's tap (-1, 0) adds nothing there.
  Added(cxt.get(), 1, DefaultShade(c, 4.0, 8), 1.0, a);
  EXPECT_EQ(Band(img.get(), 0, 4, 4), a[0]);
}

TEST(ICSWShellRendering, BodyShellShowsBackFacesObjectShellDoesNot) {
  for (bool body : {false, true}) {
    auto shell = MakeShell(5, 5, 5, {{2, 2, 2, 1, kPlusZ}}, body);
    auto cxt = NewContext(5, 5, 5);
    auto img = ICSWShellRendering(shell.get(), cxt.get());
    EXPECT_EQ(cxt->zbuffer->voxel[4 + 4 * 8], body ? 0 : -1);
    // The back face's facing is negative: shade (0.7c + 0.2 r^2) / 2 + 0.1
    // with c = -0.99985 is below the black level, so the colour clamps to 0.
    EXPECT_EQ(Band(img.get(), 0, 4, 4), 0);
    auto splat = CSWShellRendering(shell.get(), cxt.get());
    EXPECT_EQ(cxt->zbuffer->voxel[4 + 4 * 8], -1);  // the splatting renderer never does
  }
}

TEST(ICSWShellRendering, NearestRoundsHalvesAwayFromZero) {
  EXPECT_EQ(ShearedCoord<ShearRounding::kNearest>(-3, 0.5f), -3);  // -2.5
  EXPECT_EQ(ShearedCoord<ShearRounding::kNearest>(2, 0.5f), 3);    // 2.5
  EXPECT_EQ(ShearedCoord<ShearRounding::kNearest>(0, -0.25f), 0);
  EXPECT_EQ(ShearedCoord<ShearRounding::kTruncate>(-3, 0.5f), -2);
  EXPECT_EQ(ShearedCoord<ShearRounding::kTruncate>(0, -0.75f), 0);
}

TEST(SWShellRendering, DrawsHiddenVoxelsInGreyAndLeavesTheZBuffer) {
  auto shell = MakeShell(5, 5, 5, {{2, 2, 2, 1, kMinusZ, 255, 0}});
  auto cxt = NewContext(5, 5, 5);
  cxt->zbuffer->voxel[0] = 77;
  auto img = SWShellRendering(shell.get(), cxt.get());
  const double s = DefaultShade(FacingMinusZ(shell.get()), 4.0, 8);
  EXPECT_EQ(img->at(4, 4), static_cast<int>(255.0 * s));
  const double e1 = static_cast<float>(std::exp(-1.0));
  EXPECT_EQ(img->at(3, 3), static_cast<int>(e1 * 255.0 * s));
  EXPECT_EQ(cxt->zbuffer->voxel[0], 77);
  EXPECT_EQ(cxt->zbuffer->voxel[4 + 4 * 8], -1);
}

TEST(ShellRendering, ProjectsWithTheRotationAndGatesOnTheOutput) {
  // From (0, 0) the projection of (2, 2, 2) is trunc(0 + 4) = 4 each way;
  // the voxel behind it at (2, 2, 3) finds the centre closed and is skipped,
  // so the corner (3, 3) keeps the first voxel's e^-1 share only.
  auto shell = MakeShell(5, 5, 5, {{2, 2, 2, 1, kMinusZ, 128}, {2, 2, 3, 1, kMinusZ}});
  auto cxt = NewContext(5, 5, 5);
  auto img = ShellRendering(shell.get(), cxt.get());
  const double c = FacingMinusZ(shell.get());
  const double s1 = DefaultShade(c, 4.0, 8), s2 = DefaultShade(c, 5.0, 8);
  const double alpha = static_cast<float>(128 / 255.0);
  const double e1 = static_cast<float>(std::exp(-1.0));
  // The first voxel is half opaque: the centre stays open at 1 - alpha.
  EXPECT_EQ(img->at(4, 4), static_cast<int>(alpha * 255.0 * s1) +
                               static_cast<int>(static_cast<float>(1 - alpha) * 255.0 * s2));
  const double t1 = static_cast<float>(1 - alpha * e1);
  EXPECT_EQ(img->at(3, 3),
            static_cast<int>(alpha * 255.0 * s1 * e1) + static_cast<int>(t1 * 255.0 * s2 * e1));
}

// ---- mended faults ----

TEST(ShellRenderers, ContextOfAnotherSizeFails) {
  auto shell = MakeShell(5, 5, 5, {{2, 2, 2, 1, kMinusZ}});
  auto cxt = NewContext(5, 5, 6);
  const std::string msg =
      "Error:The context was made for a volume of 5 x 5 x 6 but the shell is 5 x 5 x 5 in ";
  EXPECT_EQ(FatalText([&] { CSWShellRendering(shell.get(), cxt.get()); }), msg + "CSWShellRendering");
  EXPECT_EQ(FatalText([&] { SWShellRendering(shell.get(), cxt.get()); }), msg + "SWShellRendering");
  EXPECT_EQ(FatalText([&] { ShellRendering(shell.get(), cxt.get()); }), msg + "ShellRendering");
  EXPECT_EQ(FatalText([&] { ICSWShellRendering(shell.get(), cxt.get()); }),
            msg + "ICSWShellRendering");
  EXPECT_EQ(FatalText([&] { ISWShellRendering(shell.get(), cxt.get()); }),
            msg + "ISWShellRendering");
}

TEST(ISWShellRendering, RendersNothing) {
  auto shell = MakeShell(5, 5, 5, {{2, 2, 2, 1, kMinusZ}});
  auto cxt = NewContext(5, 5, 5);
  EXPECT_EQ(ISWShellRendering(shell.get(), cxt.get()), nullptr);
}

}  // namespace
