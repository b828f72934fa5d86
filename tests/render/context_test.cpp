// The viewing context and its buffers. Rotations are checked against the
// product Ry(s) Rx(t) written out by hand, octants and axes against viewer
// signs worked out from that closed form, and the shear against the
// property that defines it: the sheared viewing ray is perpendicular to the
// slices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/scene.h"
#include "render/context.h"
#include "support/fatal.h"

namespace {

constexpr double kPi = 3.1415926536;  // the viewing code's value
double Rad(double degrees) { return degrees * kPi / 180.0; }

// The viewer of Ry(s) Rx(t): minus its third row,
// (sin s, -cos s sin t, -cos s cos t).
void ExpectViewer(const Context &c, double tilt, double spin) {
  double ct = cos(Rad(tilt)), st = sin(Rad(tilt)), cs = cos(Rad(spin)), ss = sin(Rad(spin));
  EXPECT_NEAR(c.viewer[0], ss, 1e-6);
  EXPECT_NEAR(c.viewer[1], -cs * st, 1e-6);
  EXPECT_NEAR(c.viewer[2], -cs * ct, 1e-6);
}

// Independent 3x3 products for the expected rotations.
struct M3 {
  double m[3][3];
};
M3 Mul(const M3 &a, const M3 &b) {
  M3 c{};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      for (int k = 0; k < 3; k++) c.m[i][j] += a.m[i][k] * b.m[k][j];
  return c;
}
M3 Rx(double deg) {
  double c = cos(Rad(deg)), s = sin(Rad(deg));
  return {{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
}
M3 Ry(double deg) {
  double c = cos(Rad(deg)), s = sin(Rad(deg));
  return {{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
}
void ExpectMatrix(const float R[4][4], const M3 &want, double tol = 1e-6) {
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) EXPECT_NEAR(R[i][j], want.m[i][j], tol) << i << "," << j;
}

void ExpectTraversal(const Context &c, int xi, int xf, int dx, int yi, int yf, int dy, int zi,
                     int zf, int dz) {
  EXPECT_EQ(c.xi, xi);
  EXPECT_EQ(c.xf, xf);
  EXPECT_EQ(c.dx, dx);
  EXPECT_EQ(c.yi, yi);
  EXPECT_EQ(c.yf, yf);
  EXPECT_EQ(c.dy, dy);
  EXPECT_EQ(c.zi, zi);
  EXPECT_EQ(c.zf, zf);
  EXPECT_EQ(c.dz, dz);
}

}  // namespace

// ---- creation and defaults ----

TEST(Context, DefaultsOfANewContext) {
  auto c = NewContext(7, 20, 30);
  EXPECT_EQ(c->tilt, 0.0f);
  EXPECT_EQ(c->spin, 0.0f);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      EXPECT_EQ(c->rotation[i][j], i == j ? 1.0f : 0.0f);
      EXPECT_EQ(c->shear[i][j], i == j ? 1.0f : 0.0f);
      EXPECT_EQ(c->inverseShear[i][j], i == j ? 1.0f : 0.0f);
    }
  EXPECT_EQ(c->viewer[0], 0.0f);
  EXPECT_EQ(c->viewer[1], 0.0f);
  EXPECT_EQ(c->viewer[2], -1.0f);
  EXPECT_EQ(c->octant, 1);
  EXPECT_EQ(c->paxis, 'z');
  EXPECT_EQ(c->Sx, 0.0f);
  EXPECT_EQ(c->Sy, 0.0f);
  EXPECT_EQ(c->iwidth, 7.0f);
  EXPECT_EQ(c->iheight, 20.0f);
  EXPECT_EQ(c->nk, 30.0f);
  ExpectTraversal(*c, 0, 7, 1, 0, 20, 1, 0, 30, 1);
  EXPECT_EQ(c->ki, 0);
  EXPECT_EQ(c->kf, 30);
  EXPECT_EQ(c->dk, 1);
  EXPECT_EQ(c->xmax, 6);
  EXPECT_EQ(c->zmax, 29);
  EXPECT_EQ(c->uOffset.size(), 30u);
  EXPECT_EQ(c->secondDirection[1], -1.0f);
  EXPECT_EQ(c->matrix3[2][2], 1.0f);
  EXPECT_EQ(c->matrix3[0][1], 0.0f);
  EXPECT_EQ(c->frame->xsize, 7);
}

TEST(Context, OutputSideIsTheTruncatedDiagonal) {
  auto c = NewContext(100, 100, 100);  // sqrt(30000) = 173.2
  EXPECT_EQ(c->isize, 173);
  EXPECT_EQ(c->jsize, 173);
  EXPECT_EQ(c->ksize, 173);
  EXPECT_EQ(c->zbuffer->ncols, 173);
  EXPECT_EQ(c->zbuffer->nrows, 173);
  EXPECT_EQ(NewContext(3, 4, 12)->isize, 13);  // exactly 13
  EXPECT_EQ(NewContext(1, 1, 1)->isize, 1);
}

TEST(Context, CreateContextTakesTheSceneSizes) {
  Scene scn;
  scn.xsize = 4;
  scn.ysize = 5;
  scn.zsize = 6;
  auto c = CreateContext(&scn);
  EXPECT_EQ(c->xsize, 4);
  EXPECT_EQ(c->ysize, 5);
  EXPECT_EQ(c->zsize, 6);
}

TEST(Context, AbsurdSizesFail) {
  EXPECT_EQ(FatalText([] { NewContext(0, 5, 5); }), "Error:Invalid size 0 x 5 x 5 in CreateContext");
  EXPECT_NE(FatalText([] { NewContext(-2, 5, 5); }), "");
  EXPECT_NE(FatalText([] { NewContext(100000, 100000, 1000); }), "");
}

TEST(Context, ObjectDefaultsAndColours) {
  auto c = NewContext(5, 5, 5);
  const ObjectAppearance &bg = c->object[0];
  // Black: Y = 16/255, Cb = Cr = 128/255.
  EXPECT_EQ(bg.Y, static_cast<float>(0.06274509803921569));
  EXPECT_EQ(bg.Cb, static_cast<float>(0.5019607843137255));
  EXPECT_EQ(bg.Cr, static_cast<float>(0.5019607843137255));
  EXPECT_EQ(bg.opac, 0.0f);
  EXPECT_EQ(bg.diff, 0.7f);
  EXPECT_EQ(bg.spec, 0.2f);
  EXPECT_EQ(bg.amb, 0.1f);
  EXPECT_EQ(bg.ns, 2);
  for (int label : {1, 100, 255}) {
    const ObjectAppearance &o = c->object[label];
    // White: Y = 0.859 + 16/255 = 0.92174509803921569.
    EXPECT_EQ(o.Y, static_cast<float>(0.92174509803921569)) << label;
    EXPECT_EQ(o.Cb, static_cast<float>(0.5019607843137255)) << label;
    EXPECT_EQ(o.Cr, static_cast<float>(0.5019607843137255)) << label;
    EXPECT_EQ(o.opac, 1.0f);
    EXPECT_EQ(o.diff, 0.7f);
    EXPECT_EQ(o.ns, 2);
    EXPECT_EQ(o.reserved[0], 0);
  }
  // Red: 0.257 + 16/255, -0.148 + 128/255, 0.439 + 128/255.
  SetObjectColor(c.get(), 3, 1, 0, 0);
  EXPECT_EQ(c->object[3].Y, static_cast<float>(0.31974509803921569));
  EXPECT_EQ(c->object[3].Cb, static_cast<float>(0.3539607843137255));
  EXPECT_EQ(c->object[3].Cr, static_cast<float>(0.9409607843137255));
  // Mid grey 0.5: Y = 0.4295 + 16/255.
  SetObjectColor(c.get(), 4, 0.5f, 0.5f, 0.5f);
  EXPECT_FLOAT_EQ(c->object[4].Y, static_cast<float>(0.49224509803921569));
  EXPECT_FLOAT_EQ(c->object[4].Cb, static_cast<float>(0.5019607843137255));
}

TEST(Context, LabelsWrapModulo256) {
  auto c = NewContext(5, 5, 5);
  SetObjectOpacity(c.get(), 257, 0.25f);
  EXPECT_EQ(c->object[1].opac, 0.25f);
  SetObjectOpacity(c.get(), -1, 0.5f);
  EXPECT_EQ(c->object[255].opac, 0.5f);
  SetPhong(c.get(), 512 + 7, 0.1f, 0.2f, 0.3f, 9);
  EXPECT_EQ(c->object[7].amb, 0.3f);
  EXPECT_EQ(c->object[7].ns, 9);
  SetObjectColor(c.get(), -256, 1, 1, 1);  // label 0
  EXPECT_EQ(c->object[0].Y, static_cast<float>(0.92174509803921569));
}

TEST(Context, KernelIsTheUnnormalisedGaussianOfTheUnitDisc) {
  auto c = NewContext(5, 5, 5);
  const Kernel &k = *c->kernel;
  ASSERT_EQ(k.weights.size(), 9u);
  EXPECT_EQ(k.width, 3);
  EXPECT_EQ(k.height, 3);
  for (int i = 0; i < 9; i++) {
    int d2 = k.displacements->dx[i] * k.displacements->dx[i] +
             k.displacements->dy[i] * k.displacements->dy[i];
    float want = d2 == 0 ? 1.0f : d2 == 1 ? 0.60653066f : 0.36787944f;
    EXPECT_FLOAT_EQ(k.weights[i], want) << i;
  }
  EXPECT_EQ(k.displacements->dx[0], 0);
  EXPECT_EQ(k.displacements->dy[0], 0);
}

// ---- angles ----

TEST(Context, AnglesAreNormalised) {
  auto c = NewContext(8, 8, 8);
  SetAngles(c.get(), -90, 450);
  EXPECT_EQ(GetTilt(c.get()), 270.0f);
  EXPECT_EQ(GetSpin(c.get()), 90.0f);
  SetAngles(c.get(), -360, 720);
  EXPECT_FALSE(std::signbit(GetTilt(c.get())));
  EXPECT_EQ(GetSpin(c.get()), 0.0f);
  EXPECT_NE(FatalText([&] { SetAngles(c.get(), NAN, 0); }), "");
  EXPECT_NE(FatalText([&] { AddAngles(c.get(), 0, INFINITY); }), "");
}

TEST(Context, RotationsForSeveralAngles) {
  auto c = NewContext(8, 8, 8);
  for (auto [t, s] : {std::pair{30.0, 0.0}, {0.0, 45.0}, {30.0, 60.0}, {200.0, 310.0}}) {
    SetAngles(c.get(), static_cast<float>(t), static_cast<float>(s));
    ExpectMatrix(c->rotation, Mul(Ry(s), Rx(t)));
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < 4; j++) EXPECT_EQ(c->inverseRotation[i][j], c->rotation[j][i]);
    ExpectViewer(*c, t, s);
  }
}

TEST(Context, OctantAndAxisInEveryOctant) {
  // viewer = (sin s, -cos s sin t, -cos s cos t); with angles of 30 and 150
  // degrees the components are +-0.5, +-0.433 and +-0.75: z is principal.
  const struct {
    float t, s;
    int octant;
  } cases[] = {
      {30, 330, 1},   // (-0.5, -0.433, -0.75)
      {30, 30, 2},    // (+0.5, -0.433, -0.75)
      {330, 330, 3},  // (-0.5, +0.433, -0.75)
      {330, 30, 4},   // (+0.5, +0.433, -0.75)
      {150, 330, 5},  // (-0.5, -0.433, +0.75)
      {150, 30, 6},   // (+0.5, -0.433, +0.75)
      {210, 330, 7},  // (-0.5, +0.433, +0.75)
      {210, 30, 8},   // (+0.5, +0.433, +0.75)
  };
  auto c = NewContext(8, 8, 8);
  for (const auto &k : cases) {
    SetAngles(c.get(), k.t, k.s);
    EXPECT_EQ(c->octant, k.octant) << k.t << " " << k.s;
    EXPECT_EQ(c->paxis, 'z') << k.t << " " << k.s;
    // An axis on whose low side the viewer sits is walked upwards.
    int o = k.octant - 1;
    EXPECT_EQ(c->dx, (o & 1) ? -1 : 1);
    EXPECT_EQ(c->dy, (o & 2) ? -1 : 1);
    EXPECT_EQ(c->dz, (o & 4) ? -1 : 1);
  }
  // Large x and y components make x and y principal.
  SetAngles(c.get(), 10, 80);  // (0.985, -0.030, -0.171)
  EXPECT_EQ(c->paxis, 'x');
  EXPECT_EQ(c->octant, 2);
  SetAngles(c.get(), 80, 10);  // (0.174, -0.970, -0.171)
  EXPECT_EQ(c->paxis, 'y');
  EXPECT_EQ(c->octant, 2);
}

TEST(Context, OctantOnTheAxesFollowsTheRoundedPi) {
  // With pi taken as 3.1415926536, cos(90 degrees) is about -5.1e-12, not
  // zero, and that sign picks the octant among the four tied corners.
  auto c = NewContext(8, 8, 8);
  SetAngles(c.get(), 0, 0);  // (0, 0, -1): corners 1..4 tie
  EXPECT_EQ(c->octant, 1);
  SetAngles(c.get(), 0, 90);  // (1, 0, +5.1e-12): corners 6 and 8 lead, 6 first
  EXPECT_EQ(c->viewer[0], 1.0f);
  EXPECT_GT(c->viewer[2], 0.0f);
  EXPECT_LT(c->viewer[2], 1e-10f);
  EXPECT_EQ(c->octant, 6);
  EXPECT_EQ(c->paxis, 'x');
  SetAngles(c.get(), 90, 0);  // (0, -1, +5.1e-12): corners 5 and 6 lead
  EXPECT_EQ(c->octant, 5);
  EXPECT_EQ(c->paxis, 'y');
  SetAngles(c.get(), 180, 0);  // (0, +1.0e-11, +1): corners 7 and 8 lead
  EXPECT_EQ(c->octant, 7);
  EXPECT_EQ(c->paxis, 'z');
}

TEST(Context, ShearOfAnXPrincipalView) {
  // Angles (30, 60): viewer (0.866, -0.25, -0.433), octant 2, axis x.
  // (i, j, k) = (y, z, x): Sx = 0.25 / 0.866, Sy = 0.433 / 0.866 = 0.5.
  auto c = NewContext(7, 20, 30);
  SetAngles(c.get(), 30, 60);
  EXPECT_EQ(c->paxis, 'x');
  EXPECT_EQ(c->octant, 2);
  double sx = 0.25 / sin(Rad(60)), sy = 0.5;
  EXPECT_NEAR(c->Sx, sx, 1e-6);
  EXPECT_NEAR(c->Sy, sy, 1e-6);
  EXPECT_EQ(c->iwidth, 22.0f);   // trunc(0.2887 * 7) + 20
  EXPECT_EQ(c->iheight, 33.0f);  // trunc(3.5) + 30
  EXPECT_EQ(c->nk, 7.0f);
  EXPECT_NEAR(c->Tx, -sx * 3.5, 1e-6);
  EXPECT_NEAR(c->Ty, -sy * 3.5, 1e-6);
  // x is walked downwards (viewer on its high side).
  EXPECT_EQ(c->ki, 6);
  EXPECT_EQ(c->kf, -1);
  EXPECT_EQ(c->dk, -1);
  ASSERT_EQ(c->uOffset.size(), 7u);
  for (int k = 0; k < 7; k++) {
    EXPECT_NEAR(c->uOffset[k], k * sx - sx * 3.5, 1e-6);
    EXPECT_NEAR(c->vOffset[k], k * sy - sy * 3.5, 1e-6);
    EXPECT_EQ(c->negUOffset[k], -c->uOffset[k]);
    EXPECT_EQ(c->negVOffset[k], -c->vOffset[k]);
  }
}

TEST(Context, ShearMakesTheViewingRayPerpendicularToTheSlices) {
  // The view direction (0, 0, 1) of the rotated frame is sheared onto the
  // slice axis alone; the inverse shear undoes the shear.
  auto c = NewContext(9, 11, 13);
  for (auto [t, s] : {std::pair{30.0f, 60.0f}, {80.0f, 10.0f}, {20.0f, 25.0f}, {150.0f, 200.0f},
                      {300.0f, 100.0f}}) {
    SetAngles(c.get(), t, s);
    EXPECT_NEAR(c->shear[0][2], 0.0, 1e-6) << t << " " << s;
    EXPECT_NEAR(c->shear[1][2], 0.0, 1e-6) << t << " " << s;
    int k = c->paxis == 'x' ? 0 : c->paxis == 'y' ? 1 : 2;
    EXPECT_NEAR(c->shear[2][2], -c->viewer[k], 1e-6);
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < 4; j++) {
        double p = 0;
        for (int m = 0; m < 4; m++) p += c->inverseShear[i][m] * c->shear[m][j];
        EXPECT_NEAR(p, i == j ? 1.0 : 0.0, 1e-5) << i << "," << j;
      }
  }
}

TEST(Context, AddAnglesTurnsInTheViewersFrame) {
  auto c = NewContext(8, 8, 8);
  SetAngles(c.get(), 0, 30);
  AddAngles(c.get(), 30, 0);
  EXPECT_EQ(GetTilt(c.get()), 30.0f);
  EXPECT_EQ(GetSpin(c.get()), 30.0f);
  // Rx(30) Ry(30), which differs from the absolute Ry(30) Rx(30).
  ExpectMatrix(c->rotation, Mul(Rx(30), Ry(30)));
  EXPECT_GT(std::fabs(c->rotation[0][1] - Mul(Ry(30), Rx(30)).m[0][1]), 0.1);
  // A turn about the axis just used adds up.
  SetAngles(c.get(), 40, 0);
  AddAngles(c.get(), 25, 0);
  ExpectMatrix(c->rotation, Rx(65));
  ExpectViewer(*c, 65, 0);
}

TEST(Context, AddAnglesWrapsAround) {
  auto c = NewContext(8, 8, 8);
  SetAngles(c.get(), 350, 10);
  AddAngles(c.get(), 20, -30);
  EXPECT_FLOAT_EQ(GetTilt(c.get()), 10.0f);
  EXPECT_FLOAT_EQ(GetSpin(c.get()), 340.0f);
  ExpectMatrix(c->rotation, Mul(Ry(330), Mul(Rx(20), Mul(Ry(10), Rx(350)))));
  SetAngles(c.get(), 0, 0);
  AddAngles(c.get(), -720.5f, 1080);
  EXPECT_FLOAT_EQ(GetTilt(c.get()), 359.5f);
  EXPECT_EQ(GetSpin(c.get()), 0.0f);
  // Many small turns: the running sums stay in range, the rotation stays a
  // rotation.
  SetAngles(c.get(), 0, 0);
  for (int i = 0; i < 100; i++) AddAngles(c.get(), 7.5f, -3.6f);
  EXPECT_EQ(GetTilt(c.get()), 30.0f);  // 750 mod 360; multiples of 7.5 are exact
  float spin = GetSpin(c.get());          // -360 mod 360, up to rounding
  EXPECT_GE(spin, 0.0f);
  EXPECT_LT(spin, 360.0f);
  EXPECT_LT(std::min(spin, 360.0f - spin), 2e-3f);
  double det = 0;
  const float(*R)[4] = c->rotation;
  det = R[0][0] * (R[1][1] * R[2][2] - R[1][2] * R[2][1]) -
        R[0][1] * (R[1][0] * R[2][2] - R[1][2] * R[2][0]) +
        R[0][2] * (R[1][0] * R[2][1] - R[1][1] * R[2][0]);
  EXPECT_NEAR(det, 1.0, 1e-4);
  AddAnglesCut(c.get(), 10, 0);
  EXPECT_EQ(GetTilt(c.get()), 40.0f);
}

// ---- clip box and traversal ----

TEST(Context, ClipBoundsAreClampedAndOrdered) {
  auto c = NewContext(64, 32, 16);
  SetClip(c.get(), -3, 1000, 10, 5, 4, 8);
  EXPECT_EQ(c->xmin, 0);
  EXPECT_EQ(c->xmax, 63);
  EXPECT_EQ(c->ymin, 10);
  EXPECT_EQ(c->ymax, 10);
  EXPECT_EQ(c->zmin, 4);
  EXPECT_EQ(c->zmax, 8);
  ExpectTraversal(*c, 0, 64, 1, 10, 11, 1, 4, 9, 1);
  // The frame follows the box, centred by the integer half sizes.
  EXPECT_EQ(c->frame->vert[0].x, -32.0f);
  EXPECT_EQ(c->frame->vert[0].y, -6.0f);
  EXPECT_EQ(c->frame->vert[0].z, -4.0f);
  EXPECT_EQ(c->frame->vert[7].x, 31.0f);
  EXPECT_EQ(c->frame->vert[7].y, -6.0f);
  EXPECT_EQ(c->frame->vert[7].z, 0.0f);
  // Seen from (+, +, +) every axis is walked downwards.
  SetAngles(c.get(), 210, 30);
  ExpectTraversal(*c, 63, -1, -1, 10, 9, -1, 8, 3, -1);
  SetClip(c.get(), 70, 80, -5, -1, 20, 2);
  EXPECT_EQ(c->xmin, 63);
  EXPECT_EQ(c->xmax, 63);
  EXPECT_EQ(c->ymin, 0);
  EXPECT_EQ(c->ymax, 0);
  EXPECT_EQ(c->zmin, 15);
  EXPECT_EQ(c->zmax, 15);
}

TEST(Context, ClipWaitsForTheNextAngleChangeToMoveTheSliceAxis) {
  auto c = NewContext(10, 10, 10);
  SetClip(c.get(), 0, 9, 0, 9, 2, 5);
  EXPECT_EQ(c->zi, 2);
  EXPECT_EQ(c->zf, 6);
  EXPECT_EQ(c->ki, 0);  // still the whole axis
  EXPECT_EQ(c->kf, 10);
  SetAngles(c.get(), 30, 30);  // octant 2, axis z ascending
  EXPECT_EQ(c->ki, 2);
  EXPECT_EQ(c->kf, 6);
  EXPECT_EQ(c->dk, 1);
  // Only the slices of the box get offsets.
  EXPECT_EQ(c->uOffset[1], 0.0f);
  EXPECT_EQ(c->uOffset[6], 0.0f);
  EXPECT_NEAR(c->uOffset[2], -3 * c->Sx, 1e-6);  // Tx = -5 Sx
  EXPECT_NEAR(c->uOffset[4], -c->Sx, 1e-6);
  EXPECT_NEAR(c->vOffset[3], -2 * c->Sy, 1e-6);
}

TEST(Context, SetAxisIndicesFromTheOctant) {
  auto c = NewContext(4, 5, 6);
  c->octant = 6;  // (+, -, +)
  SetAxisIndices(c.get());
  ExpectTraversal(*c, 3, -1, -1, 0, 5, 1, 5, -1, -1);
  c->octant = 3;  // (-, +, -)
  SetAxisIndices(c.get());
  ExpectTraversal(*c, 0, 4, 1, 4, -1, -1, 0, 6, 1);
}

// ---- buffers ----

TEST(ZBuffer, CreationAndInitialisation) {
  auto zb = CreateZBuffer(300, 2);
  ASSERT_EQ(zb->dist.size(), 600u);
  for (int p = 0; p < 600; p++) {
    EXPECT_EQ(GetZBufferDist(zb.get(), p), 300.0f);
    EXPECT_EQ(GetZBufferObject(zb.get(), p), 0);
    EXPECT_EQ(GetZBufferVoxel(zb.get(), p), -1);
  }
  EXPECT_EQ(zb->tbrow[1], 300);
  InitZBufferObject(zb.get(), 258);
  EXPECT_EQ(GetZBufferObject(zb.get(), 7), 2);
  InitZBufferObject(zb.get(), -1);
  EXPECT_EQ(GetZBufferObject(zb.get(), 599), 255);
  zb->voxel[3] = 12;
  zb->dist[3] = 1.5f;
  InitZBufferVoxel(zb.get());
  EXPECT_EQ(GetZBufferVoxel(zb.get(), 3), -1);
  EXPECT_EQ(GetZBufferDist(zb.get(), 3), 1.5f);  // untouched
  InitZBuffer(zb.get());
  EXPECT_EQ(GetZBufferObject(zb.get(), 0), 0);
  EXPECT_EQ(GetZBufferDist(zb.get(), 3), 300.0f);
}

TEST(ZBuffer, PixelsOutsideTheBufferFail) {
  auto zb = CreateZBuffer(3, 2);
  EXPECT_EQ(FatalText([&] { GetZBufferVoxel(zb.get(), 6); }),
            "Error:Pixel 6 is outside the 3 x 2 z-buffer in GetZBufferVoxel");
  EXPECT_EQ(FatalText([&] { GetZBufferDist(zb.get(), -1); }),
            "Error:Pixel -1 is outside the 3 x 2 z-buffer in GetZBufferDist");
  EXPECT_NE(FatalText([&] { GetZBufferObject(zb.get(), 1 << 30); }), "");
  EXPECT_EQ(FatalText([&] { GetZBufferObject(zb.get(), 5); }), "");
}

TEST(ZBuffer, DistancesFromAnFBufferOfTheSameSize) {
  auto zb = CreateZBuffer(3, 2);
  auto fb = CreateFBuffer(3, 2);
  for (float v : fb->val) EXPECT_EQ(v, 0.0f);
  InitFBuffer(fb.get(), 2.25f);
  fb->val[4] = -7.0f;
  SetZBufferDist(zb.get(), fb.get());
  EXPECT_EQ(GetZBufferDist(zb.get(), 0), 2.25f);
  EXPECT_EQ(GetZBufferDist(zb.get(), 4), -7.0f);
  EXPECT_EQ(GetZBufferVoxel(zb.get(), 4), -1);
  auto wide = CreateFBuffer(2, 3);
  EXPECT_EQ(FatalText([&] { SetZBufferDist(zb.get(), wide.get()); }),
            "Error:The f-buffer is 2 x 3 but the z-buffer 3 x 2 in SetZBufferDist");
}

TEST(ZBuffer, AbsurdSizesFail) {
  EXPECT_EQ(FatalText([] { CreateZBuffer(0, 4); }), "Error:Invalid size 0 x 4 x 1 in CreateZBuffer");
  EXPECT_NE(FatalText([] { CreateFBuffer(-1, 4); }), "");
  EXPECT_NE(FatalText([] { CreateFBuffer(1 << 20, 1 << 20); }), "");
}

TEST(ZBuffer, DestroyClearsAndIgnoresNull) {
  auto zb = CreateZBuffer(2, 2);
  DestroyZBuffer(&zb);
  EXPECT_EQ(zb, nullptr);
  DestroyZBuffer(&zb);
  DestroyZBuffer(nullptr);
  auto fb = CreateFBuffer(2, 2);
  DestroyFBuffer(&fb);
  EXPECT_EQ(fb, nullptr);
  auto c = NewContext(2, 2, 2);
  DestroyContext(&c);
  EXPECT_EQ(c, nullptr);
  DestroyContext(&c);
}
