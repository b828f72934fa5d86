// Curves on a cut plane and the sections along them. An 8^3 scene of value
// x + 10 y + 100 z (halves 4, isize 13), the plane z = 0 facing +z, and a
// straight curve from (-3.3, 1) to (3.3, 1) on it: length 6.6, so six
// samples at u = -3.3, -1.98, -0.66, 0.66, 1.98, 3.3, which truncate to x =
// 1, 3, 4, 4, 5, 7 at y = 1 + 4.
#include <gtest/gtest.h>

#include <vector>

#include "core/plane.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/reslicing.h"
#include "render/spline.h"
#include "support/fatal.h"

namespace {

const int kSampleX[6] = {1, 3, 4, 4, 5, 7};

int Value(int x, int y, int z) { return x + 10 * y + 100 * z; }

struct Sections : ::testing::Test {
  std::unique_ptr<Scene> scn = CreateScene(8, 8, 8);
  std::unique_ptr<Context> cxt = NewContext(8, 8, 8);
  std::unique_ptr<Plane> pl = CreatePlane(cxt.get());
  std::unique_ptr<Spline> spline;
  void SetUp() override {
    for (int z = 0; z < 8; z++)
      for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) scn->data[scn->Address(x, y, z)] = Value(x, y, z);
    spline = CreateSpline(scn.get());
    AddSplinePoint(spline.get(), -3.3f, 1.0f);
    AddSplinePoint(spline.get(), 3.3f, 1.0f);
  }
};

TEST_F(Sections, CurveLengthAndPointsFollowTheVoxelSizes) {
  Compute3DSpline(spline.get(), pl.get());
  EXPECT_NEAR(LengthSpline(spline.get()), 6.6, 1e-5);
  float p[3];
  CalculateVoxel(spline.get(), 0.25, p);  // a quarter of the way: u = -1.65
  EXPECT_NEAR(p[0], -1.65, 1e-5);
  EXPECT_NEAR(p[1], 1.0, 1e-6);
  EXPECT_NEAR(p[2], 0.0, 1e-6);
  // Twice as long in scene units when voxels are twice as wide along x.
  scn->dx = 2.0f;
  auto wide = CreateSpline(scn.get());
  AddSplinePoint(wide.get(), -3.3f, 1.0f);
  AddSplinePoint(wide.get(), 3.3f, 1.0f);
  Compute3DSpline(wide.get(), pl.get());
  EXPECT_NEAR(LengthSpline(wide.get()), 13.2, 1e-5);
  // A bent curve is longer than its chord and passes through its points.
  AddSplinePoint(spline.get(), 3.3f, 3.0f);
  Compute3DSpline(spline.get(), pl.get());
  EXPECT_GT(LengthSpline(spline.get()), 6.6 + 2.0 - 1e-9);
  CalculateVoxel(spline.get(), 1.0, p);
  EXPECT_NEAR(p[0], 3.3, 1e-5);
  EXPECT_NEAR(p[1], 3.0, 1e-5);
}

// Six samples along the curve, six rows on the plane moved from z = -2 to
// 3 (voxel slices 2 .. 7).
TEST_F(Sections, CurvedSectionStacksTheCurveAlongTheNormal) {
  auto img = SliceSceneParallel(scn.get(), cxt.get(), pl.get(), spline.get());
  ASSERT_EQ(img->ncols, 6);
  ASSERT_EQ(img->nrows, 6);
  for (int b = 0; b < 6; b++)
    for (int a = 0; a < 6; a++)
      EXPECT_EQ(img->val[a + 6 * b], Value(kSampleX[a], 5, 2 + b)) << a << "," << b;
  EXPECT_FLOAT_EQ(pl->pz, 0.0f);  // the caller's plane stays
}

// Copies moved across the curve by -1, 0, 1 (y = 4, 5, 6); 12 rows from z
// = -5 + 4 on, so row 3 is slice z = 2 and row 0 lies outside.
TEST_F(Sections, ParallelSectionsOfMovedCopies) {
  auto stack = ResliceSceneParallel(scn.get(), cxt.get(), pl.get(), spline.get(), 1.0f, 3);
  ASSERT_EQ(stack->xsize, 6);
  ASSERT_EQ(stack->ysize, 12);
  ASSERT_EQ(stack->zsize, 3);
  EXPECT_FLOAT_EQ(stack->dz, 1.0f);
  for (int k = 0; k < 3; k++)
    for (int a = 0; a < 6; a++) {
      EXPECT_EQ(stack->data[stack->Address(a, 3, k)], Value(kSampleX[a], 4 + k, 2)) << k << " " << a;
      EXPECT_EQ(stack->data[stack->Address(a, 0, k)], 0);
    }
}

// Planes normal to the curve at u = -3.3, -1.3, 0.7, 2.7 (alpha 2: four
// slices of the ten asked for): each is the slice x = trunc(u) + 4, its
// centre pixel the voxel (x, 5, 4).
TEST_F(Sections, NormalSlicesAlongTheCurve) {
  auto stack = ResliceSceneNormal(scn.get(), cxt.get(), pl.get(), spline.get(), 2.0f, 10);
  ASSERT_EQ(stack->zsize, 4);
  const int xs[4] = {1, 3, 4, 6};
  for (int k = 0; k < 4; k++)
    EXPECT_EQ(stack->data[stack->tbz[k] + 6 + 13 * 6], Value(xs[k], 5, 4)) << k;
  for (int v : cxt->zbuffer->voxel) EXPECT_EQ(v, -1);
}

TEST_F(Sections, BadCurvesAndStacksFail) {
  auto one = CreateSpline(scn.get());
  AddSplinePoint(one.get(), 0.0f, 0.0f);
  EXPECT_EQ(FatalText([&] { SliceSceneParallel(scn.get(), cxt.get(), pl.get(), one.get()); }),
            "Error:A spline needs at least two control points in Compute3DSpline");
  AddSplinePoint(one.get(), 0.5f, 0.0f);
  EXPECT_EQ(FatalText([&] { SliceSceneParallel(scn.get(), cxt.get(), pl.get(), one.get()); }),
            "Error:The curve is too short for one sample in SliceSceneParallel");
  EXPECT_EQ(FatalText([&] { ResliceSceneNormal(scn.get(), cxt.get(), pl.get(), spline.get(), 0.0f, 3); }),
            "Error:The distance between slices must be a positive number in ResliceSceneNormal");
  EXPECT_EQ(FatalText([&] { ResliceSceneParallel(scn.get(), cxt.get(), pl.get(), spline.get(), 1.0f, 0); }),
            "Error:The number of slices must be positive, not 0 in ResliceSceneParallel");
  EXPECT_EQ(FatalText([&] { AddSplinePoint(one.get(), 0.0f, 1.0f / 0.0f); }),
            "Error:A control point must have finite coordinates in AddSplinePoint");
  // A curve far outside the volume samples nothing, and reads nothing.
  auto far = CreateSpline(scn.get());
  AddSplinePoint(far.get(), 500.0f, -900.0f);
  AddSplinePoint(far.get(), 510.0f, -900.0f);
  auto empty = SliceSceneParallel(scn.get(), cxt.get(), pl.get(), far.get());
  for (int v : empty->val) EXPECT_EQ(v, 0);
}

}  // namespace
