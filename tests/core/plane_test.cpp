// Matrices, vectors and cut planes. Expected values come from closed forms
// worked out by hand (a product of two rotations written out entry by
// entry), not from the matrix code under test.
#include <gtest/gtest.h>

#include <cmath>

#include "core/algebra.h"
#include "core/geometry.h"
#include "core/plane.h"
#include "render/context.h"
#include "support/fatal.h"

namespace {

constexpr double kPi = 3.1415926536;  // the viewing code's value
double Rad(double degrees) { return degrees * kPi / 180.0; }

// Ry(s) Rx(t), written out:
//   [ cos s   sin s sin t   sin s cos t ]
//   [   0        cos t        -sin t    ]
//   [-sin s   cos s sin t   cos s cos t ]
void ExpectRotation(const float R[4][4], double tilt, double spin) {
  double ct = cos(Rad(tilt)), st = sin(Rad(tilt)), cs = cos(Rad(spin)), ss = sin(Rad(spin));
  const double want[3][3] = {{cs, ss * st, ss * ct}, {0, ct, -st}, {-ss, cs * st, cs * ct}};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      EXPECT_NEAR(R[i][j], want[i][j], 1e-6) << "entry " << i << "," << j;
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(R[i][3], 0.0f);
    EXPECT_EQ(R[3][i], 0.0f);
  }
  EXPECT_EQ(R[3][3], 1.0f);
}

void ExpectNormal(const Plane &pl, double x, double y, double z) {
  EXPECT_NEAR(pl.nx, x, 1e-6);
  EXPECT_NEAR(pl.ny, y, 1e-6);
  EXPECT_NEAR(pl.nz, z, 1e-6);
}

}  // namespace

// ---- matrices ----

TEST(Algebra, MultMatricesAgainstAHandProduct) {
  const float A[4][4] = {{1, 2, 0, 0}, {0, 1, 0, 3}, {0, 0, 2, 0}, {0, 0, 0, 1}};
  const float B[4][4] = {{0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 5}, {0, 0, 0, 1}};
  // Row i of A times column j of B.
  const float want[4][4] = {{2, 1, 0, 0}, {1, 0, 0, 3}, {0, 0, 2, 10}, {0, 0, 0, 1}};
  float C[4][4];
  MultMatrices(A, B, C);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_EQ(C[i][j], want[i][j]) << i << "," << j;
}

TEST(Algebra, MultMatricesRoundsOnceFromDouble) {
  // 1 + 3 * 4e-8 is nearer to the next float above 1 than to 1, but each
  // 4e-8 alone is below half a unit: a single-precision running sum would
  // stay at 1.
  float A[4][4] = {{1, 4e-8f, 4e-8f, 4e-8f}}, B[4][4] = {};
  for (int k = 0; k < 4; k++) B[k][0] = 1.0f;
  float C[4][4];
  MultMatrices(A, B, C);
  EXPECT_EQ(C[0][0], std::nextafter(1.0f, 2.0f));
}

TEST(Algebra, TransposeAndIdentity) {
  float A[4][4], T[4][4], I[4][4];
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) A[i][j] = static_cast<float>(4 * i + j);
  TransMatrix(A, T);
  IdentityMatrix(I);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      EXPECT_EQ(T[i][j], A[j][i]);
      EXPECT_EQ(I[i][j], i == j ? 1.0f : 0.0f);
    }
  TransMatrix(A, A);  // in place
  EXPECT_EQ(A[0][3], 12.0f);
  EXPECT_EQ(A[3][0], 3.0f);
}

TEST(Algebra, AngleNormalisation) {
  EXPECT_EQ(NormalizeAngle(-30), 330.0f);
  EXPECT_EQ(NormalizeAngle(725), 5.0f);
  EXPECT_EQ(NormalizeAngle(-90), 270.0f);
  EXPECT_EQ(NormalizeAngle(450), 90.0f);
  EXPECT_EQ(NormalizeAngle(360), 0.0f);
  EXPECT_FLOAT_EQ(NormalizeAngle(-720.5), 359.5f);
  // Never a negative zero (it would print as -0.000000) and never 360.
  EXPECT_FALSE(std::signbit(NormalizeAngle(-360)));
  EXPECT_FALSE(std::signbit(NormalizeAngle(-0.0)));
  EXPECT_EQ(NormalizeAngle(-1e-10), 0.0f);
  EXPECT_LT(NormalizeAngle(-1e-5), 360.0f);
}

// ---- vectors ----

TEST(Geometry, ProductsAndRotation) {
  EXPECT_EQ(ScalarProd(1, 2, 3, 4, -5, 6), 12.0);
  float c[3];
  VectorProd(c, 1, 0, 0, 0, 1, 0);
  EXPECT_EQ(c[0], 0.0f);
  EXPECT_EQ(c[1], 0.0f);
  EXPECT_EQ(c[2], 1.0f);
  VectorProd(c, 2, 3, 4, 5, 6, 7);  // (3*7-4*6, 4*5-2*7, 2*6-3*5)
  EXPECT_EQ(c[0], -3.0f);
  EXPECT_EQ(c[1], 6.0f);
  EXPECT_EQ(c[2], -3.0f);
  // Only the upper 3x3 part acts: the translation column is ignored.
  const float M[4][4] = {{0, -1, 0, 9}, {1, 0, 0, 9}, {0, 0, 2, 9}, {0, 0, 0, 1}};
  VectorRotate(c, 1, 2, 3, M);
  EXPECT_EQ(c[0], -2.0f);
  EXPECT_EQ(c[1], 1.0f);
  EXPECT_EQ(c[2], 6.0f);
}

TEST(Geometry, NormalizeAndMagnitude) {
  float v[3] = {3, 4, 12};
  EXPECT_EQ(VectorMagnitude(v), 13.0f);
  VectorNormalize(v);
  EXPECT_EQ(v[0], static_cast<float>(3.0 / 13));
  EXPECT_EQ(v[1], static_cast<float>(4.0 / 13));
  EXPECT_EQ(v[2], static_cast<float>(12.0 / 13));
  float zero[3] = {0, 0, 0};
  VectorNormalize(zero);
  EXPECT_EQ(zero[0], 0.0f);
  EXPECT_EQ(zero[1], 0.0f);
  EXPECT_EQ(zero[2], 0.0f);
  // Squares that overflow single precision still give the magnitude.
  float big[3] = {3e20f, 4e20f, 0};
  EXPECT_FLOAT_EQ(VectorMagnitude(big), 5e20f);
}

TEST(Geometry, PrincipalAxisTiesFavourXThenY) {
  auto axis = [](float x, float y, float z) {
    const float v[3] = {x, y, z};
    return PAxis(v);
  };
  EXPECT_EQ(axis(1, 1, 1), 'x');
  EXPECT_EQ(axis(-0.9f, 0.1f, 0.1f), 'x');
  EXPECT_EQ(axis(0, -1, 1), 'y');
  EXPECT_EQ(axis(0.1f, 0.5f, -0.5f), 'y');
  EXPECT_EQ(axis(0.1f, 0.2f, -0.9f), 'z');
  EXPECT_EQ(axis(0, 0, -1), 'z');
  EXPECT_EQ(axis(0.5f, 0, -0.5f), 'x');
}

TEST(Geometry, OctantOfEveryCorner) {
  // Octant - 1 has the sign of x in bit 0, y in bit 1, z in bit 2.
  const struct {
    float x, y, z;
    int octant;
  } cases[] = {
      {-0.5f, -0.6f, -0.7f, 1}, {0.5f, -0.6f, -0.7f, 2}, {-0.5f, 0.6f, -0.7f, 3},
      {0.5f, 0.6f, -0.7f, 4},   {-0.5f, -0.6f, 0.7f, 5}, {0.5f, -0.6f, 0.7f, 6},
      {-0.5f, 0.6f, 0.7f, 7},   {0.5f, 0.6f, 0.7f, 8},
      // On an axis four corners tie and the first wins ...
      {1, 0, 0, 2}, {-1, 0, 0, 1}, {0, 1, 0, 3}, {0, -1, 0, 1}, {0, 0, 1, 5}, {0, 0, -1, 1},
      // ... on a face diagonal two.
      {0.7f, 0.7f, 0, 4}, {0.7f, 0, 0.7f, 6}, {-0.7f, 0, 0.7f, 5}, {0, 0.7f, -0.7f, 3},
      // An undefined direction falls to the first corner.
      {0, 0, 0, 1},
  };
  for (const auto &c : cases) {
    const float v[3] = {c.x, c.y, c.z};
    EXPECT_EQ(Octant(v), c.octant) << c.x << " " << c.y << " " << c.z;
  }
}

// ---- planes ----

class PlaneTest : public ::testing::Test {
 protected:
  std::unique_ptr<Context> cxt = NewContext(10, 20, 30);
};

TEST_F(PlaneTest, CreationTakesTheContextsSteps) {
  auto pl = CreatePlane(cxt.get());
  ExpectNormal(*pl, 0, 0, 1);
  EXPECT_EQ(pl->px, 0.0f);
  EXPECT_EQ(pl->sx, 1.0f);  // octant 1: every axis ascending
  EXPECT_EQ(pl->sz, 1.0f);
  ExpectRotation(pl->rotation, 0, 0);
  SetAngles(cxt.get(), 210, 30);  // viewer (+, +, +): every axis descending
  auto back = CreatePlane(cxt.get());
  EXPECT_EQ(back->sx, -1.0f);
  EXPECT_EQ(back->sy, -1.0f);
  EXPECT_EQ(back->sz, -1.0f);
}

TEST_F(PlaneTest, AbsoluteRotations) {
  auto pl = CreatePlane(cxt.get());
  RotatePlaneAbs(pl.get(), 0, 0);
  ExpectNormal(*pl, 0, 0, 1);
  RotatePlaneAbs(pl.get(), 90, 0);
  ExpectNormal(*pl, 0, -1, 0);
  RotatePlaneAbs(pl.get(), 0, 90);
  ExpectNormal(*pl, 1, 0, 0);
  RotatePlaneAbs(pl.get(), 30, 60);
  ExpectRotation(pl->rotation, 30, 60);
  EXPECT_EQ(pl->nx, pl->rotation[0][2]);
  EXPECT_EQ(pl->ny, pl->rotation[1][2]);
  EXPECT_EQ(pl->nz, pl->rotation[2][2]);
  RotatePlaneAbs(pl.get(), -30, 725);
  EXPECT_EQ(GetPlaneTilt(pl.get()), 330.0f);
  EXPECT_EQ(GetPlaneSpin(pl.get()), 5.0f);
}

TEST_F(PlaneTest, RelativeRotationsCompose) {
  auto pl = CreatePlane(cxt.get());
  auto once = CreatePlane(cxt.get());
  RotatePlane(pl.get(), 45, 0);
  RotatePlane(pl.get(), 45, 0);
  RotatePlaneAbs(once.get(), 90, 0);
  ExpectNormal(*pl, once->nx, once->ny, once->nz);
  EXPECT_EQ(GetPlaneTilt(pl.get()), 45.0f);  // the increment, not the sum
  // The second turn acts in the frame left by the first: Ry(30) after
  // Rx(30) is Ry(30) Rx(30), the absolute rotation by (30, 30).
  auto turned = CreatePlane(cxt.get());
  RotatePlane(turned.get(), 30, 0);
  RotatePlane(turned.get(), 0, 30);
  ExpectRotation(turned->rotation, 30, 30);
  EXPECT_EQ(GetPlaneTilt(turned.get()), 0.0f);
  EXPECT_EQ(GetPlaneSpin(turned.get()), 30.0f);
}

TEST_F(PlaneTest, TranslationsFollowNormalAndSigns) {
  SetAngles(cxt.get(), 150, 330);  // viewer (-, -, +): steps +1, +1, -1
  auto pl = CreatePlane(cxt.get());
  ASSERT_EQ(pl->sz, -1.0f);
  TranslatePlane(pl.get(), 10);
  EXPECT_EQ(pl->pz, -10.0f);
  TranslatePlane(pl.get(), 2.5f);
  EXPECT_EQ(pl->pz, -12.5f);
  TranslatePlaneAbs(pl.get(), 4);
  EXPECT_EQ(pl->pz, -4.0f);
  pl->nx = 0.6f;
  pl->nz = 0.8f;
  pl->px = 100;
  TranslatePlaneAux(pl.get(), 5);
  EXPECT_EQ(pl->px, static_cast<float>(5 * 0.6f));
  EXPECT_EQ(pl->py, 0.0f);
  EXPECT_EQ(pl->pz, static_cast<float>(-5 * 0.8f));
}

TEST_F(PlaneTest, CopyKeepsGeometryButNotRotation) {
  auto pl = CreatePlane(cxt.get());
  RotatePlaneAbs(pl.get(), 30, 40);
  TranslatePlane(pl.get(), 3);
  auto copy = CopyPlane(pl.get());
  EXPECT_EQ(copy->nx, pl->nx);
  EXPECT_EQ(copy->ny, pl->ny);
  EXPECT_EQ(copy->nz, pl->nz);
  EXPECT_EQ(copy->px, pl->px);
  EXPECT_EQ(copy->pz, pl->pz);
  EXPECT_EQ(copy->sx, pl->sx);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_EQ(copy->rotation[i][j], 0.0f);
  EXPECT_EQ(copy->tilt, 0.0f);
  EXPECT_EQ(copy->spin, 0.0f);
}

TEST_F(PlaneTest, LockCopiesTheViewRotationOnly) {
  auto pl = CreatePlane(cxt.get());
  SetAngles(cxt.get(), 20, 70);
  LockPlane(cxt.get(), pl.get());
  ExpectRotation(pl->rotation, 20, 70);
  ExpectNormal(*pl, 0, 0, 1);
}

TEST_F(PlaneTest, FacePlaneOfSquareAndTriangle) {
  auto sq = FacePlane({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, 4);
  ExpectNormal(*sq, 0, 0, 1);  // (P2 - P1) x (P0 - P1) = (0,1,0) x (-1,0,0)
  EXPECT_EQ(sq->px, 0.5f);
  EXPECT_EQ(sq->py, 0.5f);
  EXPECT_EQ(sq->pz, 0.0f);
  EXPECT_EQ(sq->sx, 0.0f);
  EXPECT_EQ(sq->rotation[0][0], 0.0f);
  // (0,0,3) x (-2,0,0) = (0,-6,0), normalised.
  auto tri = FacePlane({0, 0, 0, 2, 0, 0, 2, 0, 3}, 3);
  ExpectNormal(*tri, 0, -1, 0);
  EXPECT_EQ(tri->px, static_cast<float>(4.0 / 3));
  EXPECT_EQ(tri->pz, 1.0f);
}

TEST_F(PlaneTest, FacePlaneRefusesTooFewPoints) {
  EXPECT_NE(FatalText([] { FacePlane({0, 0, 0, 1, 0, 0}, 2); }), "");
  EXPECT_EQ(FatalText([] { FacePlane({0, 0, 0, 1, 0, 0, 1, 1}, 3); }),
            "Error:A face needs at least 3 vertices of 3 coordinates; got 3 vertices and 8 "
            "numbers in FacePlane");
}

TEST_F(PlaneTest, ClipPlanesFaceTheRotatedAxes) {
  // Angles 0, 0: identity rotation, steps +1; half sizes 5, 10, 15.
  auto x = ClipPlane(cxt.get(), 'x');
  ExpectNormal(*x, 1, 0, 0);
  EXPECT_EQ(x->px, 5.0f);
  auto y = ClipPlane(cxt.get(), 'y');
  ExpectNormal(*y, 0, 1, 0);
  EXPECT_EQ(y->py, 10.0f);
  auto z = ClipPlane(cxt.get(), 'z');
  EXPECT_EQ(z->pz, 15.0f);
  ExpectRotation(z->rotation, 0, 0);
  auto q = ClipPlane(cxt.get(), 'q');
  ExpectNormal(*q, 0, 0, 1);
  EXPECT_EQ(q->pz, 0.0f);
  // Turned by (0, 90): the x axis maps to (0, 0, -1) (the first column of
  // Ry(90)); the steps of octant 6 are -1, +1, -1.
  SetAngles(cxt.get(), 0, 90);
  auto turned = ClipPlane(cxt.get(), 'x');
  ExpectNormal(*turned, 0, 0, -1);
  EXPECT_NEAR(turned->pz, 5.0, 1e-5);  // 5 * (-1) * (-1)
  EXPECT_NEAR(turned->px, 0.0, 1e-5);
}

TEST(PlaneZBuffer, SlopesAndVoxelReset) {
  auto zb = CreateZBuffer(4, 4);  // dist 4; cx = cy = 2
  zb->voxel[5] = 17;
  Plane pl;
  pl.nx = 0.5f;
  pl.ny = 0.25f;
  pl.nz = 1.0f;
  pl.pz = 1.0f;
  // a = 2, b = 4: d = 2 - (2 (x - 2) + 4 (y - 2) + 1)
  SetPlaneZBuffer(zb.get(), &pl);
  auto at = [&](int x, int y) { return zb->dist[x + 4 * y]; };
  EXPECT_EQ(at(0, 0), 4.0f);   // d = 13: farther than what is there
  EXPECT_EQ(at(2, 1), 4.0f);   // d = 5
  EXPECT_EQ(at(2, 2), 1.0f);
  EXPECT_EQ(at(3, 2), -1.0f);
  EXPECT_EQ(at(3, 3), -5.0f);
  EXPECT_EQ(at(1, 2), 3.0f);
  for (int v : zb->voxel) EXPECT_EQ(v, -1);
  // A normal without x and y components gives flat depth cx - pz.
  Plane flat;
  flat.nz = 1.0f;
  flat.pz = -0.5f;
  InitZBuffer(zb.get());
  SetPlaneZBuffer(zb.get(), &flat);
  for (float d : zb->dist) EXPECT_EQ(d, 2.5f);
}

TEST(PlaneZBuffer, ShearedPlaneMeetsTheRays) {
  auto cxt = NewContext(10, 10, 10);  // isize 17; angles 0: no shear
  auto zb = CreateZBuffer(10, 10);    // the 10 x 10 intermediate image, dist 10
  zb->voxel[0] = 3;
  Plane pl;
  pl.ny = 0.6f;
  pl.nz = 0.8f;
  // Rays run along z; the plane holds z = -0.75 (row - 5), so the distance
  // isize - (z + isize / 2) is 8.5 + 0.75 (row - 5).
  SetPlaneShearZBuffer(cxt.get(), zb.get(), &pl);
  EXPECT_FLOAT_EQ(zb->dist[3 + 10 * 0], 4.75f);
  EXPECT_FLOAT_EQ(zb->dist[9 + 10 * 5], 8.5f);
  EXPECT_FLOAT_EQ(zb->dist[0 + 10 * 6], 9.25f);
  EXPECT_EQ(zb->dist[0 + 10 * 7], 10.0f);  // 10: not nearer than what is there
  EXPECT_EQ(zb->voxel[0], -1);
  // A plane that contains the rays leaves every distance alone.
  Plane along;
  along.nx = 1.0f;
  InitZBuffer(zb.get());
  SetPlaneShearZBuffer(cxt.get(), zb.get(), &along);
  for (float d : zb->dist) EXPECT_EQ(d, 10.0f);
}

TEST(PlaneZBuffer, ShearedPlaneAgreesWithTheSliceOffsets) {
  // Under shear, the plane z = 2 (slice k = 7) is seen at intermediate
  // pixel (u, v) where the voxel of slice 7 with centred coordinates
  // (u - ci - uOffset[7], v - cj - vOffset[7]) lands.
  auto cxt = NewContext(10, 10, 10);
  SetAngles(cxt.get(), 30, 30);
  ASSERT_EQ(cxt->paxis, 'z');
  int w = static_cast<int>(cxt->iwidth), h = static_cast<int>(cxt->iheight);
  int ci = static_cast<int>(cxt->iwidth * 0.5), cj = static_cast<int>(cxt->iheight * 0.5);
  auto zb = CreateZBuffer(w, h);
  for (float &d : zb->dist) d = 1e6f;
  Plane pl;
  pl.nz = 1.0f;
  pl.pz = 2.0f;
  SetPlaneShearZBuffer(cxt.get(), zb.get(), &pl);
  for (int row = 0; row < h; row += 3) {
    for (int col = 0; col < w; col += 2) {
      double c[3] = {col - ci - cxt->uOffset[7], row - cj - cxt->vOffset[7], 2.0};
      const float *r2 = cxt->rotation[2];
      double depth = r2[0] * c[0] + r2[1] * c[1] + r2[2] * c[2] + cxt->isize * 0.5;
      EXPECT_NEAR(zb->dist[col + w * row], cxt->isize - depth, 1e-4) << col << "," << row;
    }
  }
}
