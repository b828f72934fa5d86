// The maximum-intensity projections and the two experimental grey
// splatting renderers: one-voxel shells whose pixels are worked out in the
// comments, the mended faults, plain voxel-by-voxel versions of each
// renderer compared on phantoms from every octant and principal axis, and
// regression images.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "core/adjacency3.h"
#include "core/curve.h"
#include "core/scene.h"
#include "core/stretch.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_render.h"
#include "render/shell_traverse.h"
#include "segment/analysis3.h"
#include "segment/segmentation3.h"
#include "support/fatal.h"
#include "support/hand_shell.h"
#include "support/phantom.h"
#include "support/regress.h"

namespace {

struct HandVoxel {
  int x, y, z, value;
  int label = 1;
  int normal = 361;  // elevation -89 degrees: faces a viewer at (0, 0, -1)
  int visible = 1;
};

// A shell of exactly the listed voxels (a body shell holding their values).
std::unique_ptr<Shell> MakeShell(const std::vector<HandVoxel> &vs, bool body = true) {
  auto scn = CreateScene(5, 5, 5);
  for (const HandVoxel &v : vs) scn->data[scn->Address(v.x, v.y, v.z)] = 1;
  const int n = static_cast<int>(vs.size());
  auto shell = body ? NewBodyShell(5, 5, 5, n) : NewShell(5, 5, 5, n);
  SetShellVoxels(shell.get(), scn.get());
  SetShellList(shell.get(), scn.get());
  for (const HandVoxel &v : vs) {
    const int i = GetPointer(shell.get(), v.x, v.y, v.z);
    shell->voxel[i].label = static_cast<uint8_t>(v.label);
    shell->voxel[i].normal = static_cast<uint16_t>(v.normal);
    shell->voxel[i].visible = static_cast<uint8_t>(v.visible);
    if (body) shell->body[i].value = v.value;
  }
  return shell;
}

std::unique_ptr<Curve> Window(std::vector<double> xy) {
  auto cs = CreateCurve(static_cast<int>(xy.size() / 2));
  for (int i = 0; i < cs->n; i++) cs->X[i] = xy[2 * i], cs->Y[i] = xy[2 * i + 1];
  return cs;
}

// The context's kernel weights as floats: 1, exp(-1/2) and exp(-1).
const double kEdge = static_cast<float>(std::exp(-0.5)), kDiag = static_cast<float>(std::exp(-1.0));

// ---- maximum-intensity projection, one 5^3 volume seen from the front ----
//
// isize 8: the voxel (2, 2, 2) projects to (trunc(0 + 4), trunc(0 + 4)) =
// (4, 4) at depth 4, z-buffer dist 8 - 4 = 4. A value of 200 puts 200 at
// the centre, trunc(200 e^-0.5) = 121 on the edges, trunc(200 e^-1) = 73
// on the corners.

TEST(MIPShell, OneVoxelThroughTheKernelWeights) {
  auto shell = MakeShell({{2, 2, 2, 200, 7}});
  auto cxt = NewContext(5, 5, 5);
  auto cs = Window({0, 0, 100, 50});  // not used: nothing exceeds 255
  auto img = MIPShell(shell.get(), cxt.get(), cs.get());
  const ZBuffer *zb = cxt->zbuffer.get();
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 8; c++) {
      const int dx = std::abs(c - 4), dy = std::abs(r - 4), p = c + r * 8;
      const bool tap = dx <= 1 && dy <= 1;
      EXPECT_EQ(img->at(c, r), !tap ? 0 : dx + dy == 0 ? 200 : dx + dy == 1 ? 121 : 73);
      EXPECT_EQ(zb->voxel[p], tap ? 0 : -1) << c << "," << r;
      EXPECT_EQ(zb->object[p], tap ? 7 : 0);
      EXPECT_EQ(zb->dist[p], tap ? 4.0f : 8.0f);
    }
}

TEST(MIPShell, LaterVoxelsWriteOnlyAboveThePixelAndDistKeepsTheSmallest) {
  // From (0, 0) z runs upwards: (2, 2, 1) at dist 8 - (-1 + 4) = 5 comes
  // first, (2, 2, 2) at dist 4 second, (2, 2, 3) at dist 3 last.
  auto cxt = NewContext(5, 5, 5);
  auto cs = Window({0, 0, 255, 255});
  // A larger value behind takes the pixel and its voxel; dist keeps 4.
  auto a = MakeShell({{2, 2, 1, 100}, {2, 2, 2, 150}, {2, 2, 3, 150}});
  auto img = MIPShell(a.get(), cxt.get(), cs.get());
  EXPECT_EQ(img->at(4, 4), 150);
  EXPECT_EQ(cxt->zbuffer->voxel[36], 1);  // a tie: the first of the two 150s keeps it
  EXPECT_EQ(cxt->zbuffer->dist[36], 4.0f);
  EXPECT_EQ(img->at(5, 4), 90);  // trunc(150 e^-0.5) beats 60
  EXPECT_EQ(cxt->zbuffer->voxel[37], 1);
  // A smaller value behind changes nothing; a hidden voxel counts not at
  // all; label 0 counts like any other.
  auto b = MakeShell({{2, 2, 1, 150, 0}, {2, 2, 2, 100}, {2, 2, 3, 250, 1, 361, 0}});
  img = MIPShell(b.get(), cxt.get(), cs.get());
  EXPECT_EQ(img->at(4, 4), 150);
  EXPECT_EQ(cxt->zbuffer->voxel[36], 0);
  EXPECT_EQ(cxt->zbuffer->object[36], 0);
  EXPECT_EQ(cxt->zbuffer->dist[36], 5.0f);
}

TEST(MIPShell, StretchesWithTheCurvesFirstTwoPointsOnlyAbove255) {
  auto cxt = NewContext(5, 5, 5);
  // 255 at most: returned as projected, whatever the curve, even one of a
  // single point.
  auto at255 = MakeShell({{2, 2, 2, 255}});
  auto one = Window({0, 0});
  auto img = MIPShell(at255.get(), cxt.get(), one.get());
  EXPECT_EQ(img->at(4, 4), 255);
  EXPECT_EQ(img->at(3, 4), 154);  // trunc(255 e^-0.5)
  // 1000, 606 and 367 through the window (100, 10) - (1100.9, 210.5),
  // truncated to (100, 10) - (1100, 210): slope 0.2, so 190, 111 and 63;
  // the background (0, below 100) becomes 10. A third point is ignored.
  auto big = MakeShell({{2, 2, 2, 1000}});
  auto cs = Window({100, 10, 1100.9, 210.5, 1200, 0});
  img = MIPShell(big.get(), cxt.get(), cs.get());
  EXPECT_EQ(img->at(4, 4), 190);
  EXPECT_EQ(img->at(4, 5), 111);
  EXPECT_EQ(img->at(5, 5), 63);
  EXPECT_EQ(img->at(0, 0), 10);
  EXPECT_EQ(cxt->zbuffer->voxel[36], 0);
  EXPECT_EQ(FatalText([&] { MIPShell(big.get(), cxt.get(), one.get()); }),
            "Error:The grey-level curve needs at least two points in MIPShell");
}

TEST(MIPShell, ObjectShellGivesZerosAndLeavesTheZBuffer) {
  auto shell = MakeShell({{2, 2, 2, 0}}, false);
  auto cxt = NewContext(5, 5, 5);
  cxt->zbuffer->voxel[36] = 5;
  cxt->zbuffer->dist[0] = 1.5f;
  auto cs = Window({0, 0, 255, 255});
  auto img = MIPShell(shell.get(), cxt.get(), cs.get());
  for (int v : img->val) EXPECT_EQ(v, 0);
  EXPECT_EQ(cxt->zbuffer->voxel[36], 5);
  EXPECT_EQ(cxt->zbuffer->dist[0], 1.5f);
  EXPECT_EQ(cxt->zbuffer->voxel[1], -1);
}

TEST(CMIPShell, TintsTheGreyLevelsWithTheObjectInTheZBuffer) {
  auto shell = MakeShell({{2, 2, 2, 200, 3}});
  auto cxt = NewContext(5, 5, 5);
  SetObjectColor(cxt.get(), 3, 1.0f, 0.0f, 0.0f);
  auto cs = Window({0, 0, 255, 255});
  auto img = CMIPShell(shell.get(), cxt.get(), cs.get());
  // Luminance value / 200 with the chroma of object 3, clamped, truncated.
  auto expect = [&](double Y, int col, int row) {
    const double cb = cxt->object[3].Cb - 0.50196078431, cr = cxt->object[3].Cr - 0.50196078431;
    const double yn = (Y - 0.062745098039) * 296.82;
    const double rgb[3] = {yn + 406.98 * cr, yn - 207.315 * cr - 99.96 * cb, yn + 514.335 * cb};
    for (int b = 0; b < 3; b++)
      EXPECT_EQ(img->C[b]->at(col, row), static_cast<int>(std::fmin(255.0, std::fmax(0.0, rgb[b]))))
          << b;
  };
  expect(1.0, 4, 4);
  expect(121 / 200.0, 4, 3);
  EXPECT_GT(img->C[0]->at(4, 4), img->C[2]->at(4, 4));
  for (int b = 0; b < 3; b++) EXPECT_EQ(img->C[b]->at(0, 0), 0);  // no voxel, not 255: black
}

TEST(GMIPShell, ThreeEqualBandsOfTheProjection) {
  auto shell = MakeShell({{2, 2, 2, 200}, {1, 3, 2, 90}});
  auto cxt = NewContext(5, 5, 5);
  auto cs = Window({0, 0, 255, 255});
  auto grey = MIPShell(shell.get(), cxt.get(), cs.get());
  auto img = GMIPShell(shell.get(), cxt.get(), cs.get());
  for (int b = 0; b < 3; b++) EXPECT_TRUE(img->C[b]->val == grey->val);
  EXPECT_EQ(img->C[1]->at(3, 5), 90);  // the second voxel's centre beats 73
}

// ---- the experimental grey renderers ----

// Shade with the default Phong (0.7, 0.2, 0.1, 2) at facing c and depth d
// in an 8-pixel image.
double DefaultShade(double c, double d) {
  const double r = 2 * c * c - 1;
  return (0.7 * c + (r < 0 ? 0 : 0.2 * r * r)) * (1 - d / 8) + 0.1;
}

TEST(DirectVolumeRendering, TwoSidedLightingDrawsBackFacesHiddenAndBackground) {
  auto cxt = NewContext(5, 5, 5);
  SetObjectOpacity(cxt.get(), 0, 1.0f);
  // Normal 32401 + 89 * 360 (elevation +89) faces away from (0, 0, -1):
  // SWShellRendering skips it, two-sided lighting uses |c| = sin 89.
  const int away = 1 + 179 * 360;
  auto shell = MakeShell({{2, 2, 2, 0, 0, away, 0}});
  const double c = std::fabs(static_cast<double>(shell->normaltable->entry[away].z));
  const double s = DefaultShade(c, 4.0);
  auto sw = SWShellRendering(shell.get(), cxt.get());
  EXPECT_EQ(sw->at(4, 4), 0);
  auto img = DirectVolumeRendering(shell.get(), cxt.get());
  EXPECT_EQ(img->at(4, 4), static_cast<int>(255.0 * s));
  EXPECT_EQ(img->at(3, 4), static_cast<int>(kEdge * 255.0 * s));
  EXPECT_EQ(img->at(5, 5), static_cast<int>(kDiag * 255.0 * s));
  // A voxel without a normal (c = 0) is lit by the ambient term alone:
  // trunc(255 * 0.1f).
  auto flat = MakeShell({{2, 2, 2, 0, 1, 0}});
  EXPECT_EQ(DirectVolumeRendering(flat.get(), cxt.get())->at(4, 4), 25);
}

// The weight of tap (dx, dy) for a normal n, with nx = 0 taken as the
// smallest positive float.
double Footprint(const NormalVector &n, int dx, int dy) {
  const double nx = n.x == 0 ? std::numeric_limits<float>::denorm_min() : n.x;
  const double t = n.z * -static_cast<double>(dy) + n.y * -static_cast<double>(dx);
  const double s = ((dx * dx + dy * dy) - t * t) / nx;
  return static_cast<float>(std::exp(-(s * s + t * t) / 6.25));
}

TEST(EWASWShellRendering, FootprintFollowsTheNormalAndLeavesTheContextsKernel) {
  auto cxt = NewContext(5, 5, 5);
  SetObjectOpacity(cxt.get(), 0, 1.0f);
  const std::vector<float> kernel = cxt->kernel->weights;
  // Two spare table entries, both facing the viewer by c = 0.8.
  auto shell = MakeShell({{2, 2, 2, 0, 0, 65300, 0}});
  shell->normaltable->entry[65300] = {0.6f, 0.0f, -0.8f};
  const double s = DefaultShade(static_cast<double>(0.8f), 4.0);
  auto img = EWASWShellRendering(shell.get(), cxt.get());
  // n = (0.6, 0, -0.8): t = 0.8 dy, s = (dx^2 + 0.36 dy^2) / 0.6.
  //   (+-1, 0): t 0, s 5/3, weight exp(-(25/9) / 6.25) = 0.6412
  //   (0, +-1): t 0.8, s 0.6, exp(-1 / 6.25) = 0.8521
  //   corners:  t 0.8, s 2.2667, exp(-5.7778 / 6.25) = 0.3967
  const double hand[3][3] = {{0.3967, 0.8521, 0.3967}, {0.6412, 1.0, 0.6412}, {0.3967, 0.8521, 0.3967}};
  for (int dy = -1; dy <= 1; dy++)
    for (int dx = -1; dx <= 1; dx++) {
      const double g = Footprint(shell->normaltable->entry[65300], dx, dy);
      EXPECT_NEAR(g, hand[dy + 1][dx + 1], 1e-4);
      EXPECT_EQ(img->at(4 + dx, 4 + dy), static_cast<int>(g * 255.0 * s)) << dx << "," << dy;
    }
  EXPECT_TRUE(cxt->kernel->weights == kernel);
  // nx = 0: every numerator but the centre's is non-zero, so only the
  // centre (weight exp(0) = 1) is drawn.
  shell->normaltable->entry[65300] = {0.0f, 0.6f, -0.8f};
  img = EWASWShellRendering(shell.get(), cxt.get());
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 8; c++)
      EXPECT_EQ(img->at(c, r), c == 4 && r == 4 ? static_cast<int>(255.0 * s) : 0) << c << "," << r;
  // The context's own kernel still gives the Gaussian splat.
  shell->voxel[0].label = 1;
  auto sw = SWShellRendering(shell.get(), cxt.get());
  EXPECT_EQ(sw->at(3, 4), static_cast<int>(kEdge * 255.0 * s));
}

TEST(MIPRenderers, ContextOfAnotherSizeFails) {
  auto shell = MakeShell({{2, 2, 2, 10}});
  auto cxt = NewContext(5, 6, 5);
  auto cs = Window({0, 0, 255, 255});
  const std::string msg =
      "Error:The context was made for a volume of 5 x 6 x 5 but the shell is 5 x 5 x 5 in ";
  EXPECT_EQ(FatalText([&] { MIPShell(shell.get(), cxt.get(), cs.get()); }), msg + "MIPShell");
  EXPECT_EQ(FatalText([&] { CMIPShell(shell.get(), cxt.get(), cs.get()); }), msg + "CMIPShell");
  EXPECT_EQ(FatalText([&] { GMIPShell(shell.get(), cxt.get(), cs.get()); }), msg + "GMIPShell");
  EXPECT_EQ(FatalText([&] { DirectVolumeRendering(shell.get(), cxt.get()); }),
            msg + "DirectVolumeRendering");
  EXPECT_EQ(FatalText([&] { EWASWShellRendering(shell.get(), cxt.get()); }),
            msg + "EWASWShellRendering");
}

// ---- plain versions, every voxel visited, on phantoms ----

// MIPShell written out: the rotation's dot products directly, every tap
// bounds-checked.
std::unique_ptr<Image> PlainMIP(const Shell *shell, Context *cxt, const Curve *cs) {
  const int n = cxt->isize;
  auto img = CreateImage(n, n);
  ZBuffer *zb = cxt->zbuffer.get();
  InitZBuffer(zb);
  const Kernel *k = cxt->kernel.get();
  int top = 0;
  TraverseShell(shell, cxt, RunOfAxis(cxt, cxt->paxis), false, [&](int i, int x, int y, int z) {
    if (!shell->voxel[i].visible) return;
    const double c[3] = {double(x - shell->xsize / 2), double(y - shell->ysize / 2),
                         double(z - shell->zsize / 2)};
    auto dot = [&](int r) {
      return cxt->rotation[r][0] * c[0] + cxt->rotation[r][1] * c[1] + cxt->rotation[r][2] * c[2];
    };
    const int qc = static_cast<int>(dot(0) + n / 2), qr = static_cast<int>(dot(1) + n / 2);
    for (size_t t = 0; t < k->weights.size(); t++) {
      const int col = qc + k->displacements->dx[t], row = qr + k->displacements->dy[t];
      if (col < 0 || row < 0 || col >= n || row >= n) continue;
      const int m = static_cast<int>(k->weights[t] * static_cast<double>(shell->body[i].value));
      const int q = col + row * n;
      if (m <= img->val[q]) continue;
      img->val[q] = m;
      top = std::max(top, m);
      zb->voxel[q] = i;
      zb->object[q] = shell->voxel[i].label;
      const double dist = n - (dot(2) + n * 0.5);
      if (dist < zb->dist[q]) zb->dist[q] = static_cast<float>(dist);
    }
  });
  if (top <= 255) return img;
  return LinearStretch(img.get(), int(cs->X[0]), int(cs->X[1]), int(cs->Y[0]), int(cs->Y[1]));
}

// DirectVolumeRendering (kEWA false) and EWASWShellRendering written out.
template <bool kEWA>
std::unique_ptr<Image> PlainGreySplats(const Shell *shell, Context *cxt) {
  const int n = cxt->isize, iw = int(cxt->iwidth), ih = int(cxt->iheight);
  const int ci = int(cxt->iwidth * 0.5), cj = int(cxt->iheight * 0.5);
  std::vector<float> inter(iw * ih, 1.0f), T(n * n, 1.0f);
  auto img = CreateImage(n, n);
  const Kernel *k = cxt->kernel.get();
  const int centre[3] = {shell->xsize / 2, shell->ysize / 2, shell->zsize / 2};
  const int ai = cxt->paxis == 'z' ? 0 : cxt->paxis == 'x' ? 1 : 2;  // axis of i
  const int aj = (ai + 1) % 3, ak = (ai + 2) % 3;
  TraverseShell(shell, cxt, RunOfAxis(cxt, cxt->paxis), false, [&](int i, int x, int y, int z) {
    const int pos[3] = {x, y, z};
    const int u = int(pos[ai] - centre[ai] + double(cxt->uOffset[pos[ak]]));
    const int v = int(pos[aj] - centre[aj] + double(cxt->vOffset[pos[ak]]));
    const bool pIn = u + ci >= 0 && u + ci < iw && v + cj >= 0 && v + cj < ih;
    const int p = u + ci + (v + cj) * iw;
    if (pIn && !(inter[p] > 0.05f)) return;
    const Voxel vox = shell->voxel[i];
    if (!kEWA && vox.opacity == 0) return;
    const NormalVector nv = shell->normaltable->entry[vox.normal];
    double c = cxt->viewer[0] * double(nv.x) + cxt->viewer[1] * double(nv.y) +
               cxt->viewer[2] * double(nv.z);
    if (!kEWA) c = std::fabs(c);
    if (kEWA && !(c > 0)) return;
    double dot = 0;
    for (int a = 0; a < 3; a++) dot += cxt->rotation[2][a] * double(pos[a] - centre[a]);
    const double d = dot + n * 0.5;
    const ObjectAppearance &o = cxt->object[vox.label];
    const double r = 2 * c * c - 1;
    double pw = 1;
    for (int e = 0; e < o.ns; e++) pw *= r;
    const double shade = (o.diff * c + (r < 0 ? 0 : o.spec * pw)) * (1 - d / n) + o.amb;
    const int q0c = int(cxt->inverseShear[0][0] * double(u) + cxt->inverseShear[0][1] * double(v)) + n / 2;
    const int q0r = int(cxt->inverseShear[1][0] * double(u) + cxt->inverseShear[1][1] * double(v)) + n / 2;
    const double alpha = float(vox.opacity / 255.0), A = o.opac;
    for (size_t t = 0; t < k->weights.size(); t++) {
      const int dx = k->displacements->dx[t], dy = k->displacements->dy[t];
      const int col = q0c + dx, row = q0r + dy;
      if (col < 0 || row < 0 || col >= n || row >= n || !(T[col + row * n] > 0.05f)) continue;
      const double g = kEWA ? Footprint(nv, dx, dy) : k->weights[t];
      float &tq = T[col + row * n];
      img->val[col + row * n] += int(tq * g * alpha * A * 255.0 * shade);
      tq = float(tq * (1 - g * alpha * A));
    }
    if (pIn && q0c >= 0 && q0r >= 0 && q0c < n && q0r < n) inter[p] = T[q0c + q0r * n];
  });
  return img;
}

// Every octant, the three principal axes, odd angles.
const float kViews[][2] = {{0, 0},    {90, 0},    {0, 90},     {180, 0},   {0, 270},
                           {270, 0},  {30, 40},   {-30, 40},   {30, -40},  {-30, -40},
                           {150, 40}, {150, -40}, {210, 130},  {-150, 220}, {45, 45},
                           {12.5f, 77}, {-61, 13.7f}, {123, 321}, {30, 140}, {-25, 230}};

// MIPShell against the plain projection from the context's view: image
// and z-buffer alike.
void ExpectPlainMIP(const Shell *body, Context *cxt, const Curve *cs, const std::string &what) {
  auto mip = MIPShell(body, cxt, cs);
  const ZBuffer zb = *cxt->zbuffer;
  auto plain = PlainMIP(body, cxt, cs);
  EXPECT_TRUE(mip->val == plain->val) << what;
  EXPECT_TRUE(zb.voxel == cxt->zbuffer->voxel && zb.object == cxt->zbuffer->object &&
              zb.dist == cxt->zbuffer->dist)
      << what;
}

TEST(MIPRenderers, MatchThePlainVersionsOnPhantomsFromEveryDirection) {
  auto grey = phantom::GreyPhantom(22, 24, 20, 1.0f, 1.0f);
  auto body = Scene2Shell(grey.get());
  for (int i = 0; i < body->nvoxels; i++) {
    Voxel &v = body->voxel[i];
    v.label = static_cast<uint8_t>(1 + i % 3);
    v.opacity = static_cast<uint8_t>(i % 11 == 0 ? 0 : body->body[i].value >= 1000 ? 200 : 30);
    if (i % 89 == 0) v.visible = 0;
  }
  auto cs = Window({0, 0, 2000, 255});
  auto cxt = NewContext(22, 24, 20);
  SetObjectOpacity(cxt.get(), 3, 0.5f);
  std::set<int> octants;
  std::set<char> axes;
  for (const auto &view : kViews) {
    SetAngles(cxt.get(), view[0], view[1]);
    octants.insert(cxt->octant);
    axes.insert(cxt->paxis);
    const std::string what = std::to_string(view[0]) + ", " + std::to_string(view[1]);
    ExpectPlainMIP(body.get(), cxt.get(), cs.get(), what);
    EXPECT_TRUE(DirectVolumeRendering(body.get(), cxt.get())->val ==
                PlainGreySplats<false>(body.get(), cxt.get())->val)
        << what;
    EXPECT_TRUE(EWASWShellRendering(body.get(), cxt.get())->val ==
                PlainGreySplats<true>(body.get(), cxt.get())->val)
        << what;
  }
  EXPECT_EQ(octants.size(), 8u);
  EXPECT_EQ(axes.size(), 3u);
}

// Columns of uneven length and empty ones, seen along x: the values read
// in list order must still follow each voxel into its column.
TEST(MIPShell, MatchesThePlainVersionOnARaggedShellAlongX) {
  auto grey = phantom::GreyPhantom(21, 18, 16, 1.0f, 1.0f);
  for (int z = 0; z < grey->zsize; z++)
    for (int y = 0; y < grey->ysize; y++)
      for (int x = 0; x < grey->xsize; x++) {
        const int dx = x - 9, dy = y - 8, dz = z - 7;
        if (dx * dx + 2 * dy * dy + dz * dz > 60 || (x + 2 * y + 3 * z) % 7 == 0) {
          grey->data[grey->Address(x, y, z)] = 0;
        }
      }
  auto body = Scene2Shell(grey.get());
  ASSERT_GT(body->nvoxels, 100);
  for (int i = 0; i < body->nvoxels; i++) {
    body->voxel[i].label = static_cast<uint8_t>(1 + i % 2);
    if (i % 13 == 0) body->voxel[i].visible = 0;
  }
  auto cs = Window({0, 0, 2000, 255});
  auto cxt = NewContext(21, 18, 16);
  int alongX = 0;
  for (const auto &view : kViews) {
    SetAngles(cxt.get(), view[0], view[1]);
    alongX += cxt->paxis == 'x';
    const std::string what = std::to_string(view[0]) + ", " + std::to_string(view[1]);
    ExpectPlainMIP(body.get(), cxt.get(), cs.get(), what);
  }
  EXPECT_GE(alongX, 4);
}

// Views along x reuse the list-ordered values of the last projection's
// storage: shells of other sizes, larger and smaller, one after another,
// each still matches the plain projection.
TEST(MIPShell, ShellsOfOtherSizesAlongXOneAfterAnother) {
  auto cs = Window({0, 0, 2000, 255});
  for (const int n : {24, 10, 20, 9, 24}) {
    auto grey = phantom::GreyPhantom(n, n - 1, n, 1.0f, 1.0f);
    auto body = Scene2Shell(grey.get());
    for (int i = 0; i < body->nvoxels; i++) {
      body->voxel[i].label = static_cast<uint8_t>(1 + (i * 7 + n) % 5);
    }
    auto cxt = NewContext(n, n - 1, n);
    SetAngles(cxt.get(), 0.0f, 80.0f);
    ASSERT_EQ(cxt->paxis, 'x');
    ExpectPlainMIP(body.get(), cxt.get(), cs.get(), "size " + std::to_string(n));
  }
}

// What a projection keeps of a shell between frames must follow every
// change of the shell: visibility, values and labels changed through the
// setters, and through the fields when followed by a ShellChange, each
// seen along x (list order) and along z (row order).
TEST(MIPShell, FollowsEveryChangeOfTheShellBetweenFrames) {
  auto grey = phantom::GreyPhantom(20, 22, 18, 1.0f, 1.0f);
  unsigned seed = 7;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int &v : grey->data) v = 100 + static_cast<int>(next() % 1900);  // no zero voxel
  auto body = Scene2Shell(grey.get());
  auto labels = CreateScene(20, 22, 18);
  for (int &l : labels->data) l = 1 + static_cast<int>(next() % 4);
  SetShellLabel(body.get(), labels.get());
  auto cs = Window({0, 0, 2000, 255});
  auto cxt = NewContext(20, 22, 18);
  const float views[][2] = {{0, 80}, {20, 10}, {0, 260}, {200, 15}};
  auto expectAll = [&](const std::string &what) {
    for (const auto &view : views) {
      SetAngles(cxt.get(), view[0], view[1]);
      ExpectPlainMIP(body.get(), cxt.get(), cs.get(),
                     what + " from " + std::to_string(view[0]) + ", " + std::to_string(view[1]));
    }
  };
  expectAll("as made");
  SetObjectVisibility(body.get(), cxt.get(), 2, 0);
  expectAll("object 2 hidden");
  for (int &v : grey->data) v = 2100 - v;
  SetBodyShellValue(body.get(), grey.get());
  expectAll("values reversed");
  for (int &l : labels->data) l = 5 - l;
  SetShellLabel(body.get(), labels.get());
  expectAll("labels renumbered");
  {
    const ShellChange change(body.get());
    for (int i = 0; i < body->nvoxels; i += 3) body->body[i].value = 0;
    for (int i = 1; i < body->nvoxels; i += 5) body->voxel[i].visible = 1;
  }
  expectAll("fields written");
}

// Values that 16 bits cannot hold are projected straight from the shell;
// 65535 still fits. Either way the projection is the plain one.
TEST(MIPShell, ValuesBeyondSixteenBitsMatchThePlainVersion) {
  auto cs = Window({0, 0, 70000, 255});
  for (const int top : {65535, 65536, 1 << 30}) {
    auto grey = phantom::GreyPhantom(16, 17, 15, 1.0f, 1.0f);
    for (size_t i = 0; i < grey->data.size(); i++) {
      grey->data[i] = 1 + static_cast<int>((i * 2654435761u) % 5000u);
    }
    grey->data[grey->Address(8, 8, 7)] = top;
    auto body = Scene2Shell(grey.get());
    auto cxt = NewContext(16, 17, 15);
    for (const auto &view : kViews) {
      SetAngles(cxt.get(), view[0], view[1]);
      ExpectPlainMIP(body.get(), cxt.get(), cs.get(), "top " + std::to_string(top));
    }
  }
}

// ---- regression images: the 24^3 phantoms from (30, 40) ----

TEST(MIPRenderers, RegressionImagesOfThePhantoms) {
  auto grey = phantom::GreyPhantom(24, 24, 24, 1.0f, 1.0f);
  auto body = LabelledBodyShell(grey.get());
  auto objects = ObjectShell(phantom::LabelledPhantom(24, 24, 24).get());
  auto cxt = NewContext(24, 24, 24);
  SetAngles(cxt.get(), 30, 40);
  SetObjectColor(cxt.get(), 1, 1.0f, 0.3f, 0.3f);
  SetObjectColor(cxt.get(), 2, 0.3f, 1.0f, 0.3f);
  SetObjectColor(cxt.get(), 3, 0.3f, 0.3f, 1.0f);
  auto cs = Window({0, 0, 2000, 255});
  auto mip = MIPShell(body.get(), cxt.get(), cs.get());
  ExpectRegression("MIPShell_grey.pgm", {mip.get()});
  auto cmip = CMIPShell(body.get(), cxt.get(), cs.get());
  ExpectRegression("CMIPShell_grey.ppm", {cmip->C[0].get(), cmip->C[1].get(), cmip->C[2].get()});
  auto gmip = GMIPShell(body.get(), cxt.get(), cs.get());
  ExpectRegression("GMIPShell_grey.ppm", {gmip->C[0].get(), gmip->C[1].get(), gmip->C[2].get()});
  for (const auto &k : {std::make_pair("grey", body.get()), std::make_pair("labels", objects.get())}) {
    auto dvr = DirectVolumeRendering(k.second, cxt.get());
    ExpectRegression(std::string("DirectVolumeRendering_") + k.first + ".pgm", {dvr.get()});
    auto ewa = EWASWShellRendering(k.second, cxt.get());
    ExpectRegression(std::string("EWASWShellRendering_") + k.first + ".pgm", {ewa.get()});
  }
}

}  // namespace
