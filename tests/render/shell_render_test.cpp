// The splatting and intermediate-image renderers. Small hand-made shells
// whose pixels are worked out in the comments; the edge cases that catch
// real faults; the mended faults (a context of another size, positions
// outside a buffer); and the skipping traversal against plain renderers
// that visit every voxel, on phantoms seen from every octant, the three
// principal axes and odd angles.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "core/adjacency3.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_render.h"
#include "render/shell_splat.h"
#include "render/shell_traverse.h"
#include "segment/analysis3.h"
#include "segment/segmentation3.h"
#include "support/fatal.h"
#include "support/hand_shell.h"
#include "support/phantom.h"
#include "support/regress.h"

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
  std::vector<std::array<int, 3>> at;
  for (const HandVoxel &v : vs) at.push_back({v.x, v.y, v.z});
  auto shell = ShellAt(xs, ys, zs, at, body);
  for (const HandVoxel &v : vs) {
    Voxel &r = shell->voxel[GetPointer(shell.get(), v.x, v.y, v.z)];
    r.label = static_cast<uint8_t>(v.label);
    r.opacity = static_cast<uint8_t>(v.opacity);
    r.visible = static_cast<uint8_t>(v.visible);
    r.normal = v.normal ? GetNormalIndex(v.normal) : 0;
  }
  return shell;
}

// The shade (diffuse plus specular, dimmed with depth, plus ambient) with the default Phong (0.7, 0.2, 0.1, 2).
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

// A negative object opacity makes each voxel of a column behind the first
// add a larger negative term (its transparency grows without bound): the
// grey sums stop at the bottom of the int range instead of wrapping round.
TEST(SWShellRendering, GreySumsSaturateAtTheEndsOfTheIntRange) {
  std::vector<HandVoxel> vs;
  for (int z = 0; z < 200; z++) vs.push_back({2, 2, z, 1, kMinusZ});
  auto shell = MakeShell(5, 5, 200, vs);
  auto cxt = NewContext(5, 5, 200);
  SetObjectOpacity(cxt.get(), 1, -0.7f);
  for (auto render : {SWShellRendering, ShellRendering}) {
    auto img = render(shell.get(), cxt.get());
    const auto [lo, hi] = std::minmax_element(img->val.begin(), img->val.end());
    EXPECT_EQ(*lo, std::numeric_limits<int>::min());
    EXPECT_LE(*hi, 0);
  }
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

// ---- the skipping traversal against plain renderers ----

// The shade (diffuse plus specular, dimmed with depth, plus ambient) for any object record.
double Shade(const ObjectAppearance &o, double c, double d, int isize) {
  const double r = 2 * c * c - 1;
  double pw = 1;
  for (int n = 0; n < o.ns; n++) pw *= r;
  return (o.diff * c + (r < 0 ? 0 : o.spec * pw)) * (1 - d / isize) + o.amb;
}

// ICSWShellRendering written out voxel by voxel, every voxel visited.
std::unique_ptr<CImage> PlainICSW(const Shell *shell, Context *cxt) {
  const int iw = static_cast<int>(cxt->iwidth), ih = static_cast<int>(cxt->iheight);
  const int ci = static_cast<int>(cxt->iwidth * 0.5), cj = static_cast<int>(cxt->iheight * 0.5);
  const int n = cxt->isize;
  std::vector<float> T(iw * ih, 1.0f);
  auto izb = CreateZBuffer(iw, ih);
  auto inter = CreateCImage(iw, ih);
  auto out = CreateCImage(n, n);
  InitZBuffer(cxt->zbuffer.get());
  const int centre[3] = {cxt->xsize / 2, cxt->ysize / 2, cxt->zsize / 2};
  auto nearest = [](double a) { return static_cast<int>(a < 0 ? a - 0.5 : a + 0.5); };
  TraverseShell(shell, cxt, PrincipalRun(cxt), true, [&](int index, int x, int y, int z) {
    const int pos[3] = {x, y, z};
    const int ai = cxt->paxis == 'z' ? 0 : cxt->paxis == 'x' ? 1 : 2;  // axis of i
    const int aj = (ai + 1) % 3, ak = (ai + 2) % 3;
    const int u = nearest(pos[ai] - centre[ai] + static_cast<double>(cxt->uOffset[pos[ak]]));
    const int v = nearest(pos[aj] - centre[aj] + static_cast<double>(cxt->vOffset[pos[ak]]));
    if (u + ci < 0 || u + ci >= iw || v + cj < 0 || v + cj >= ih) return;
    const int p = u + ci + (v + cj) * iw;
    const Voxel vox = shell->voxel[index];
    if (!(T[p] > 0.05) || !vox.visible || !vox.label) return;
    const NormalVector nv = shell->normaltable->entry[vox.normal];
    const double c = cxt->viewer[0] * static_cast<double>(nv.x) +
                     cxt->viewer[1] * static_cast<double>(nv.y) +
                     cxt->viewer[2] * static_cast<double>(nv.z);
    if (!(c > 0) && !IsBodyShell(shell)) return;
    double d = n * 0.5;
    for (int a = 0; a < 3; a++) d += cxt->rotation[2][a] * static_cast<double>(pos[a] - centre[a]);
    const ObjectAppearance &o = cxt->object[vox.label];
    const double w = static_cast<float>(vox.opacity / 255.0) * static_cast<double>(o.opac);
    AccVoxelColor(inter.get(), cxt, p, static_cast<float>(Shade(o, c, d, n)),
                  static_cast<float>(T[p] * w), vox.label);
    T[p] = static_cast<float>(T[p] * (1 - w));
    if (izb->voxel[p] == -1) {
      izb->voxel[p] = index;
      izb->object[p] = vox.label;
      if (n - d < izb->dist[p]) izb->dist[p] = static_cast<float>(n - d);
    }
  });
  for (int r = 0; r < n; r++)
    for (int c = 0; c < n; c++) {
      const double uc = c - n / 2, vc = r - n / 2;
      const int iu = static_cast<int>(cxt->shear[0][0] * uc + cxt->shear[0][1] * vc + ci);
      const int iv = static_cast<int>(cxt->shear[1][0] * uc + cxt->shear[1][1] * vc + cj);
      if (iu < 0 || iu >= iw || iv < 0 || iv >= ih) continue;
      const int p = iu + iv * iw, q = c + r * n;
      for (int b = 0; b < 3; b++) out->C[b]->val[q] = inter->C[b]->val[p];
      cxt->zbuffer->voxel[q] = izb->voxel[p];
      cxt->zbuffer->object[q] = izb->object[p];
      cxt->zbuffer->dist[q] = izb->dist[p];
    }
  return out;
}

// Views from every octant, along the three principal axes and at odd angles.
const float kViews[][2] = {{0, 0},     {90, 0},     {0, 90},     {180, 0},   {0, 270},
                           {270, 0},   {30, 40},    {-30, 40},   {30, -40},  {-30, -40},
                           {150, 40},  {150, -40},  {210, 130},  {-150, 220}, {45, 45},
                           {35.3f, 45}, {12.5f, 77}, {-61, 13.7f}, {88, 3},   {123, 321}, {30, 140}, {-25, 230}};

struct Case {
  std::string name;
  std::unique_ptr<Shell> shell;
};

// The labelled phantom's object shell, one object hidden and one half
// transparent; the grey phantom as a body shell of every voxel, labelled
// and given opacities by value so that layers show through each other.
std::vector<Case> Phantoms() {
  std::vector<Case> cases;
  auto labels = phantom::LabelledPhantom(24, 20, 22);
  auto objects = ObjectShell(labels.get());
  for (Voxel &v : objects->voxel) {
    if (v.label == 3) v.visible = 0;
    if (v.label == 2) v.opacity = 120;
  }
  cases.push_back({"objects", std::move(objects)});
  auto grey = phantom::GreyPhantom(22, 24, 20, 1.0f, 1.0f);
  auto body = Scene2Shell(grey.get());
  for (int i = 0; i < body->nvoxels; i++) {
    const int value = body->body[i].value;
    Voxel &v = body->voxel[i];
    v.label = value >= 2000 ? 2 : 1;
    v.opacity = value >= 2000 ? 255 : value >= 1000 ? 180 : static_cast<uint8_t>(i % 7 == 0 ? 0 : 40);
    if (i % 97 == 0) v.visible = 0;
  }
  cases.push_back({"body", std::move(body)});
  // Every voxel opaque, so that whole rows and slices fall behind closed
  // pixels; a few hidden voxels and a few of opacity 0 (which still record
  // first hits) keep holes open.
  auto solid = Scene2Shell(grey.get());
  for (int i = 0; i < solid->nvoxels; i++) {
    Voxel &v = solid->voxel[i];
    v.label = solid->body[i].value >= 2000 ? 2 : 1;
    v.opacity = i % 61 == 0 ? 0 : 255;
    if (i % 89 == 0) v.visible = 0;
  }
  cases.push_back({"opaque body", std::move(solid)});
  return cases;
}

void ExpectSameZBuffer(const ZBuffer *a, const ZBuffer *b, const std::string &what) {
  ASSERT_EQ(a->PixelCount(), b->PixelCount());
  int bad = 0;
  for (int p = 0; p < a->PixelCount() && bad < 5; p++) {
    if (a->voxel[p] != b->voxel[p] || a->object[p] != b->object[p] || a->dist[p] != b->dist[p]) {
      ADD_FAILURE() << what << ": z-buffer differs at pixel " << p;
      bad++;
    }
  }
}

void ExpectSameImage(const Image *a, const Image *b, const std::string &what) {
  ASSERT_EQ(a->val.size(), b->val.size());
  EXPECT_TRUE(a->val == b->val) << what;
}

template <class Mode>
void ExpectSkippingMatchesPlain(const Shell *shell, Context *cxt, const std::string &what,
                                bool clipRow, const std::vector<float> &preT = {},
                                const std::vector<float> &preDist = {},
                                const std::vector<float> &preOutT = {}) {
  const SplatSetup s = MakeSplatSetup(cxt);
  std::unique_ptr<FBuffer> interT[2], outT[2];
  std::unique_ptr<ZBuffer> zb[2];
  std::unique_ptr<CImage> colour[2];
  std::unique_ptr<Image> grey[2];
  for (int r = 0; r < 2; r++) {
    interT[r] = CreateFBuffer(s.shear.iw, s.shear.ih);
    InitFBuffer(interT[r].get(), 1.0f);
    outT[r] = CreateFBuffer(s.isize, s.isize);
    InitFBuffer(outT[r].get(), 1.0f);
    zb[r] = CreateZBuffer(s.isize, s.isize);
    if (!preT.empty()) interT[r]->val = preT;
    if (!preDist.empty()) zb[r]->dist = preDist;
    if (!preOutT.empty()) outT[r]->val = preOutT;
    colour[r] = CreateCImage(s.isize, s.isize);
    grey[r] = CreateImage(s.isize, s.isize);
  }
  auto targets = [&](int r) {
    return SplatTargets{interT[r].get(), outT[r].get(), zb[r].get(),
                        Mode::kColour ? colour[r].get() : nullptr,
                        Mode::kColour ? nullptr : grey[r].get()};
  };
  const AxisRun outer = RunOfAxis(cxt, cxt->paxis);
  CompositeShellPlain<Mode>(s, targets(0), shell, cxt, outer, clipRow);
  CompositeShell<Mode>(s, targets(1), shell, cxt, outer, clipRow);
  for (int b = 0; b < 3; b++) ExpectSameImage(colour[0]->C[b].get(), colour[1]->C[b].get(), what);
  ExpectSameImage(grey[0].get(), grey[1].get(), what);
  EXPECT_TRUE(outT[0]->val == outT[1]->val) << what;
  EXPECT_TRUE(interT[0]->val == interT[1]->val) << what;
  ExpectSameZBuffer(zb[0].get(), zb[1].get(), what);
}

struct CutMode {
  static constexpr bool kColour = true, kTestVisible = true, kPlaneTest = false;
  static constexpr SplatDepth kDepth = SplatDepth::kTruncated;
  static constexpr SplatFirstHit kFirstHit = SplatFirstHit::kIfNearer;
};
struct CutPlaneMode {
  static constexpr bool kColour = false, kTestVisible = true, kPlaneTest = true;
  static constexpr SplatDepth kDepth = SplatDepth::kTruncated;
  static constexpr SplatFirstHit kFirstHit = SplatFirstHit::kAlways;
};

TEST(ShellRenderers, SkippingLeavesEveryBufferAsThePlainPass) {
  std::set<int> octants;
  std::set<char> axes;
  for (const Case &k : Phantoms()) {
    auto cxt = NewContext(k.shell->xsize, k.shell->ysize, k.shell->zsize);
    SetObjectColor(cxt.get(), 1, 0.9f, 0.6f, 0.3f);
    SetObjectColor(cxt.get(), 4, 0.2f, 0.5f, 1.0f);
    SetObjectOpacity(cxt.get(), 5, 0.6f);
    SetPhong(cxt.get(), 2, 0.5f, 0.4f, 0.1f, 5);
    for (const auto &view : kViews) {
      SetAngles(cxt.get(), view[0], view[1]);
      octants.insert(cxt->octant);
      axes.insert(cxt->paxis);
      const std::string what = k.name + " from " + std::to_string(view[0]) + ", " +
                               std::to_string(view[1]);
      ExpectSkippingMatchesPlain<CSWMode>(k.shell.get(), cxt.get(), what + " CSW", true);
      ExpectSkippingMatchesPlain<SWMode>(k.shell.get(), cxt.get(), what + " SW", false);
      ExpectSkippingMatchesPlain<CutMode>(k.shell.get(), cxt.get(), what + " cut", true);
      // Cut modes start from faces already drawn: some intermediate pixels
      // closed, a plane's depths in the z-buffer.
      const SplatSetup s = MakeSplatSetup(cxt.get());
      std::vector<float> preT(s.shear.iw * s.shear.ih, 1.0f), preDist(s.isize * s.isize);
      for (size_t p = 0; p < preT.size(); p++) preT[p] = p % 5 == 0 ? 0.0f : p % 3 ? 1.0f : 0.5f;
      for (size_t p = 0; p < preDist.size(); p++) preDist[p] = static_cast<float>(s.isize * 0.5 + (p % 7) - 3);
      ExpectSkippingMatchesPlain<CutPlaneMode>(k.shell.get(), cxt.get(), what + " plane", true,
                                               preT, preDist);

      auto fast = ICSWShellRendering(k.shell.get(), cxt.get());
      auto fastZ = CreateZBuffer(cxt->isize, cxt->isize);
      *fastZ = *cxt->zbuffer;
      auto plain = PlainICSW(k.shell.get(), cxt.get());
      for (int b = 0; b < 3; b++) ExpectSameImage(fast->C[b].get(), plain->C[b].get(), what + " ICSW");
      ExpectSameZBuffer(fastZ.get(), cxt->zbuffer.get(), what + " ICSW");
    }
    // A narrowed clip box: the in-row clip and shorter traversals.
    SetAngles(cxt.get(), 30, 40);
    SetClip(cxt.get(), 3, 15, 2, 14, 5, 17);
    ExpectSkippingMatchesPlain<CSWMode>(k.shell.get(), cxt.get(), k.name + " clipped", true);
    SetAngles(cxt.get(), 100, -20);
    auto fast = ICSWShellRendering(k.shell.get(), cxt.get());
    auto fastZ = CreateZBuffer(cxt->isize, cxt->isize);
    *fastZ = *cxt->zbuffer;
    auto plain = PlainICSW(k.shell.get(), cxt.get());
    for (int b = 0; b < 3; b++) ExpectSameImage(fast->C[b].get(), plain->C[b].get(), k.name + " clipped ICSW");
    ExpectSameZBuffer(fastZ.get(), cxt->zbuffer.get(), k.name + " clipped ICSW");
  }
  EXPECT_EQ(octants.size(), 8u);
  EXPECT_EQ(axes.size(), 3u);
}

// Output pixels closed before the pass, as cut faces leave them: a block
// where whole splats land on closed pixels (only the intermediate pixel
// changes), scattered closed pixels, and some nearly closed ones.
TEST(ShellRenderers, SkippingMatchesThePlainPassOverClosedOutputPixels) {
  for (const Case &k : Phantoms()) {
    auto cxt = NewContext(k.shell->xsize, k.shell->ysize, k.shell->zsize);
    for (const float *view : {kViews[6], kViews[12], kViews[17]}) {
      SetAngles(cxt.get(), view[0], view[1]);
      const SplatSetup s = MakeSplatSetup(cxt.get());
      const int n = s.isize;
      std::vector<float> outT(n * n, 1.0f);
      for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++) {
          const bool block = r > n / 3 && r < 2 * n / 3 && c > n / 4 && c < 3 * n / 4;
          const int q = c + r * n;
          outT[q] = block || q % 11 == 0 ? 0.0f : q % 7 == 0 ? 0.06f : 1.0f;
        }
      const std::string what = k.name + " from " + std::to_string(view[0]);
      ExpectSkippingMatchesPlain<CSWMode>(k.shell.get(), cxt.get(), what + " CSW", true, {}, {},
                                          outT);
      ExpectSkippingMatchesPlain<CutMode>(k.shell.get(), cxt.get(), what + " cut", true, {}, {},
                                          outT);
      ExpectSkippingMatchesPlain<SWMode>(k.shell.get(), cxt.get(), what + " SW", false, {}, {},
                                         outT);
    }
  }
}

// The splatting pass with weights and shades outside their usual ranges:
// opacities whose colour sums leave the int range (kept by their low byte),
// a negative one (transparencies that grow, pixels that never close), and
// a Phong record whose shade is not a number, in every mode that skips.
TEST(ShellRenderers, SkippingMatchesThePlainPassForWeightsAndShadesOutOfRange) {
  for (const Case &k : Phantoms()) {
    auto cxt = NewContext(k.shell->xsize, k.shell->ysize, k.shell->zsize);
    SetObjectOpacity(cxt.get(), 1, -0.7f);
    SetObjectOpacity(cxt.get(), 2, 3.0e7f);
    SetObjectOpacity(cxt.get(), 4, 1.0e12f);
    SetPhong(cxt.get(), 2, 40.0f, 9.0f, -3.0f, 3);
    SetPhong(cxt.get(), 5, std::nanf(""), 0.2f, 0.1f, 2);
    for (const float *view : {kViews[0], kViews[6], kViews[13], kViews[19]}) {
      SetAngles(cxt.get(), view[0], view[1]);
      const std::string what = k.name + " from " + std::to_string(view[0]);
      ExpectSkippingMatchesPlain<CSWMode>(k.shell.get(), cxt.get(), what + " CSW", true);
      ExpectSkippingMatchesPlain<SWMode>(k.shell.get(), cxt.get(), what + " SW", false);
      ExpectSkippingMatchesPlain<CutMode>(k.shell.get(), cxt.get(), what + " cut", true);
      const SplatSetup s = MakeSplatSetup(cxt.get());
      std::vector<float> preT(s.shear.iw * s.shear.ih, 1.0f), preDist(s.isize * s.isize);
      for (size_t p = 0; p < preT.size(); p++) preT[p] = p % 4 == 0 ? 0.0f : 1.0f;
      for (size_t p = 0; p < preDist.size(); p++) preDist[p] = static_cast<float>(s.isize * 0.5 + (p % 5) - 2);
      ExpectSkippingMatchesPlain<CutPlaneMode>(k.shell.get(), cxt.get(), what + " plane", true,
                                               preT, preDist);
    }
  }
}

// Object opacities far outside [0, 1] make weights beyond the int range
// (the colour sums then keep the low byte by arithmetic) and negative ones
// (transparency growing above 1, so pixels never close).
TEST(ICSWShellRendering, OpacitiesOutsideZeroToOneMatchThePlainSums) {
  for (const Case &k : Phantoms()) {
    auto cxt = NewContext(k.shell->xsize, k.shell->ysize, k.shell->zsize);
    SetObjectOpacity(cxt.get(), 1, 3.0e7f);
    SetObjectOpacity(cxt.get(), 2, -2.5f);
    SetObjectOpacity(cxt.get(), 4, 1.0e12f);
    SetPhong(cxt.get(), 5, 40.0f, 9.0f, -3.0f, 3);
    for (const float *view : {kViews[6], kViews[13], kViews[19]}) {
      SetAngles(cxt.get(), view[0], view[1]);
      auto fast = ICSWShellRendering(k.shell.get(), cxt.get());
      auto fastZ = CreateZBuffer(cxt->isize, cxt->isize);
      *fastZ = *cxt->zbuffer;
      auto plain = PlainICSW(k.shell.get(), cxt.get());
      const std::string what = k.name + " from " + std::to_string(view[0]);
      for (int b = 0; b < 3; b++) ExpectSameImage(fast->C[b].get(), plain->C[b].get(), what);
      ExpectSameZBuffer(fastZ.get(), cxt->zbuffer.get(), what);
    }
  }
}

// Columns of faint voxels along z, seen along z: each pixel takes a voxel
// from every slice. Up to 257 slices the intermediate sums are kept in 16
// bits, beyond in 32; both must give the plain pass's sums, also where
// negative and huge weights wrap the low bytes.
TEST(ICSWShellRendering, ColumnsOfManySlicesMatchThePlainSumsEitherSide) {
  for (int zs : {257, 300}) {
    std::vector<HandVoxel> vs;
    for (int z = 0; z < zs; z++)
      for (int y = 1; y < 3; y++)
        for (int x = 1; x < 3; x++) vs.push_back({x, y, z, 1 + (x + y) % 3, kMinusZ, 1 + z % 7});
    auto shell = MakeShell(4, 4, zs, vs);
    auto cxt = NewContext(4, 4, zs);
    SetObjectOpacity(cxt.get(), 2, 1.0e9f);
    SetObjectOpacity(cxt.get(), 3, -0.5f);
    const float views[][2] = {{0, 0}, {12, 20}, {170, -15}};
    for (const float *view : views) {
      SetAngles(cxt.get(), view[0], view[1]);
      ASSERT_EQ(cxt->paxis, 'z');
      auto fast = ICSWShellRendering(shell.get(), cxt.get());
      auto fastZ = CreateZBuffer(cxt->isize, cxt->isize);
      *fastZ = *cxt->zbuffer;
      auto plain = PlainICSW(shell.get(), cxt.get());
      const std::string what = std::to_string(zs) + " slices from " + std::to_string(view[0]);
      for (int b = 0; b < 3; b++) ExpectSameImage(fast->C[b].get(), plain->C[b].get(), what);
      ExpectSameZBuffer(fastZ.get(), cxt->zbuffer.get(), what);
    }
  }
}

// Every voxel of an xs x ys x zs box, label 1, opaque, its normal towards
// the viewer of cxt.
std::unique_ptr<Shell> FacingBox(int xs, int ys, int zs, const Context *cxt, bool body) {
  std::vector<HandVoxel> vs;
  for (int z = 0; z < zs; z++)
    for (int y = 0; y < ys; y++)
      for (int x = 0; x < xs; x++) vs.push_back({x, y, z, 1, cxt->viewer});
  return MakeShell(xs, ys, zs, vs, body);
}

TEST(ShellRenderers, PositionsOutsideABufferDrawOnlyWhatExists) {
  // 6 x 7 x 5 from (0, 286): rounding puts seven face voxels one pixel
  // outside the intermediate image; they are left out, as the plain
  // renderer (which tests the position) leaves them.
  {
    auto cxt = NewContext(6, 7, 5);
    SetAngles(cxt.get(), 0, 286);
    auto shell = FacingBox(6, 7, 5, cxt.get(), true);
    const ShearFrame f = MakeShearFrame(cxt.get());
    int outside = 0;
    for (int z = 0; z < 5; z++)
      for (int y = 0; y < 7; y++)
        for (int x = 0; x < 6; x++) {
          int u, v;
          ShearedPosition<ShearRounding::kNearest>(f, x, y, z, &u, &v);
          outside += u + f.ci < 0 || u + f.ci >= f.iw || v + f.cj < 0 || v + f.cj >= f.ih;
        }
    EXPECT_GT(outside, 0);
    auto fast = ICSWShellRendering(shell.get(), cxt.get());
    auto fastZ = CreateZBuffer(cxt->isize, cxt->isize);
    *fastZ = *cxt->zbuffer;
    auto plain = PlainICSW(shell.get(), cxt.get());
    for (int b = 0; b < 3; b++) ExpectSameImage(fast->C[b].get(), plain->C[b].get(), "ICSW");
    ExpectSameZBuffer(fastZ.get(), cxt->zbuffer.get(), "ICSW");
  }
  // 3 x 8 x 2 from (70, 264): a splat centre falls outside the output; its
  // taps inside the image are still drawn and recorded.
  {
    auto cxt = NewContext(3, 8, 2);
    SetAngles(cxt.get(), 70, 264);
    auto shell = FacingBox(3, 8, 2, cxt.get(), false);
    const SplatSetup s = MakeSplatSetup(cxt.get());
    int outsideIndex = -1;
    TraverseShell(shell.get(), cxt.get(), RunOfAxis(cxt.get(), cxt->paxis), true,
                  [&](int index, int x, int y, int z) {
                    int u, v;
                    ShearedPosition<ShearRounding::kTruncate>(s.shear, x, y, z, &u, &v);
                    const int qc = static_cast<int>(s.w00 * u + s.w01 * v) + s.uc;
                    const int qr = static_cast<int>(s.w10 * u + s.w11 * v) + s.vc;
                    if (qc < 0 || qc >= s.isize || qr < 0 || qr >= s.isize) outsideIndex = index;
                  });
    ASSERT_GE(outsideIndex, 0);
    ExpectSkippingMatchesPlain<CSWMode>(shell.get(), cxt.get(), "centre outside", true);
    auto img = CSWShellRendering(shell.get(), cxt.get());
    for (int p = 0; p < cxt->zbuffer->PixelCount(); p++) {
      EXPECT_GE(cxt->zbuffer->voxel[p], -1);
      EXPECT_LT(cxt->zbuffer->voxel[p], shell->nvoxels);
    }
  }
}

// ---- regression images ----
//
// Each method on the two 24^3 phantoms from (30, 40), stored once after a
// look by eye under tests/data/regress (P6 colour, P5 grey, values clamped
// to 0..255). ORVANE_REGRESS_WRITE=1 rewrites them.

TEST(ShellRenderers, RegressionImagesOfThePhantoms) {
  auto labels = phantom::LabelledPhantom(24, 24, 24);
  auto objects = ObjectShell(labels.get());
  auto grey = phantom::GreyPhantom(24, 24, 24, 1.0f, 1.0f);
  auto body = LabelledBodyShell(grey.get());
  const struct {
    const char *name;
    const Shell *shell;
  } cases[] = {{"labels", objects.get()}, {"grey", body.get()}};
  for (const auto &k : cases) {
    auto cxt = NewContext(24, 24, 24);
    SetAngles(cxt.get(), 30, 40);
    SetObjectColor(cxt.get(), 1, 1.0f, 0.3f, 0.3f);
    SetObjectColor(cxt.get(), 2, 0.3f, 1.0f, 0.3f);
    SetObjectColor(cxt.get(), 3, 0.3f, 0.3f, 1.0f);
    SetObjectColor(cxt.get(), 4, 1.0f, 1.0f, 0.3f);
    const std::string c = k.name;
    auto csw = CSWShellRendering(k.shell, cxt.get());
    ExpectRegression("CSWShellRendering_" + c + ".ppm",
                     {csw->C[0].get(), csw->C[1].get(), csw->C[2].get()});
    auto icsw = ICSWShellRendering(k.shell, cxt.get());
    ExpectRegression("ICSWShellRendering_" + c + ".ppm",
                     {icsw->C[0].get(), icsw->C[1].get(), icsw->C[2].get()});
    auto sw = SWShellRendering(k.shell, cxt.get());
    ExpectRegression("SWShellRendering_" + c + ".pgm", {sw.get()});
    auto plain = ShellRendering(k.shell, cxt.get());
    ExpectRegression("ShellRendering_" + c + ".pgm", {plain.get()});
  }
}

}  // namespace
