// Shape analysis: measures of hand-made shapes, distance transforms against
// a brute-force exact Euclidean distance, skeletons that are thin and
// inside their shape, zones and saliences of simple shapes.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "core/adjacency.h"
#include "lib2d/analysis.h"
#include "lib2d/segmentation.h"
#include "support/fatal.h"
#include "support/image2d.h"

namespace {

bool IsBorderPixel(const Image *bin, int x, int y) {
  if (bin->at(x, y) != 1) return false;
  const int d[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
  for (auto &s : d) {
    int qx = x + s[0], qy = y + s[1];
    if (!bin->Valid(qx, qy) || bin->at(qx, qy) == 0) return true;
  }
  return false;
}

// Squared distance of every pixel on the asked side to the nearest border
// pixel, by trying them all; 0 elsewhere.
std::vector<int> BruteDistance(const Image *bin, int side) {
  std::vector<std::pair<int, int>> border;
  for (int y = 0; y < bin->nrows; y++)
    for (int x = 0; x < bin->ncols; x++)
      if (IsBorderPixel(bin, x, y)) border.push_back({x, y});
  std::vector<int> out(bin->val.size(), 0);
  for (int y = 0; y < bin->nrows; y++)
    for (int x = 0; x < bin->ncols; x++) {
      const bool object = bin->at(x, y) != 0;
      if ((side == 0 && !object) || (side == 1 && object)) continue;
      int best = INT_MAX;
      for (auto &b : border)
        best = std::min(best, (b.first - x) * (b.first - x) + (b.second - y) * (b.second - y));
      out[x + y * bin->ncols] = best;
    }
  return out;
}

}  // namespace

TEST(Measures, AreaPerimeterAndCentroids) {
  auto dot = ImageOf(3, 3, {0, 0, 0, 0, 1, 0, 0, 0, 0});
  EXPECT_EQ(Area(dot.get())->val, (std::vector<int>{0, 0, 0, 0, 1, 0, 0, 0, 0}));
  auto bin = ImageOf(5, 3, {1, 1, 0, 0, 0,
                            1, 1, 0, 0, 1,
                            1, 1, 0, 1, 0});
  EXPECT_EQ(Area(bin.get())->val, (std::vector<int>{6, 6, 0, 0, 0, 6, 6, 0, 0, 2, 6, 6, 0, 2, 0}));
  // The 2 x 3 block has no inner pixel: its contour holds all six.
  EXPECT_EQ(Perimeter(bin.get())->val[0], 6);
  auto centre = GeomCenter(bin.get());
  EXPECT_EQ(centre->val[0], 0 + 5 * 1);  // mean (0.5, 1) truncated
  EXPECT_EQ(centre->val[9], 3 + 5 * 1);  // mean (3.5, 1.5)
  // The background's seven pixels: mean x 20/7, mean y 6/7.
  EXPECT_EQ(centre->val[2], 2 + 5 * 0);
}

TEST(DistTrans, EqualsTheBruteForceDistanceOnRandomShapes) {
  std::mt19937 rng(17);
  for (int trial = 0; trial < 25; trial++) {
    auto bin = RandomBlobs(rng, 19, 14, 4);
    for (int side : {0, 1, 2}) {
      auto A = Circular(1.5f);
      auto got = DistTrans(bin.get(), A.get(), static_cast<signed char>(side));
      ASSERT_EQ(got->val, BruteDistance(bin.get(), side)) << "trial " << trial << " side " << side;
      auto sgn = SignedDistTrans(bin.get(), A.get(), static_cast<signed char>(side));
      for (size_t p = 0; p < bin->val.size(); p++)
        ASSERT_EQ(sgn->val[p], bin->val[p] ? got->val[p] : -got->val[p]);
    }
  }
}

TEST(iftDistTrans, TheThreeQueuesGiveTheExactDistanceFromTheContour) {
  std::mt19937 rng(23);
  for (int trial = 0; trial < 15; trial++) {
    auto bin = RandomBlobs(rng, 16, 12, 3);
    auto contour = LabelContour(bin.get());
    auto want = BruteDistance(bin.get(), 2);
    for (auto dilate : {iftDilation, iftFastDilation, iftDilationHeap}) {
      auto aimg = Annotate(bin.get(), nullptr, contour.get());
      auto A = Circular(1.5f);
      dilate(aimg.get(), A.get());
      ASSERT_EQ(aimg->cost->val, want) << "trial " << trial;
    }
    auto aimg = Annotate(bin.get(), nullptr, contour.get());
    auto A = Circular(1.5f);
    auto inside = iftDistTrans(aimg.get(), A.get(), 0);
    EXPECT_EQ(inside->val, BruteDistance(bin.get(), 0));
  }
}

TEST(DistTrans, InsideOnlyLeavesBackgroundAndContourAtZero) {
  auto bin = ImageOf(5, 5, {0, 0, 0, 0, 0,
                            0, 1, 1, 1, 0,
                            0, 1, 1, 1, 0,
                            0, 1, 1, 1, 0,
                            0, 0, 0, 0, 0});
  auto A = Circular(1.5f);
  std::vector<int> want(25, 0);
  want[12] = 1;
  EXPECT_EQ(DistTrans(bin.get(), A.get(), 0)->val, want);
}

TEST(SKIZ, BordersBetweenZonesAndNoneForOneSeed) {
  auto img = CreateImage(5, 1);
  auto one = ImageOf(5, 1, {0, 0, 1, 0, 0});
  auto aimg = Annotate(img.get(), nullptr, one.get());
  auto A = Circular(1.5f);
  iftDilation(aimg.get(), A.get());
  EXPECT_EQ(CompSKIZ(aimg.get())->val, (std::vector<int>{0, 0, 0, 0, 0}));
  // Two dots: the zones meet halfway (the tie at 3 goes to the zone of the
  // last seed, served first) and the lower zone's side is marked.
  auto bin = ImageOf(7, 1, {1, 0, 0, 0, 0, 0, 1});
  EXPECT_EQ(SKIZ(bin.get(), 2)->val, (std::vector<int>{0, 0, 1, 0, 0, 0, 0}));
}

TEST(Skeleton, ThinAndInsideTheShape) {
  std::mt19937 rng(29);
  for (int trial = 0; trial < 15; trial++) {
    auto bin = RandomBlobs(rng, 24, 20, 3);
    auto ms = MSSkel(bin.get(), 0);
    auto skel = Skeleton(ms.get(), 50.0f);
    for (int y = 0; y < bin->nrows; y++)
      for (int x = 0; x < bin->ncols; x++) {
        if (!skel->at(x, y)) continue;
        ASSERT_NE(bin->at(x, y), 0) << "skeleton outside the shape at " << x << "," << y;
        // Thin: no 2 x 2 block of skeleton pixels.
        if (x + 1 < bin->ncols && y + 1 < bin->nrows) {
          EXPECT_FALSE(skel->at(x + 1, y) && skel->at(x, y + 1) && skel->at(x + 1, y + 1))
              << "a 2 x 2 block at " << x << "," << y << " trial " << trial;
        }
      }
  }
  auto any = ImageOf(3, 1, {0, -4, 2});
  EXPECT_EQ(Skeleton(any.get(), 0.0f)->val, (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(Skeleton(any.get(), 100.0f)->val, (std::vector<int>{0, 1, 0}));
}

TEST(Saliences, TheCornersOfASquareAreConvex) {
  auto bin = CreateImage(12, 12);
  for (int y = 3; y < 9; y++)
    for (int x = 3; x < 9; x++) bin->at(x, y) = 1;
  auto sal = Saliences(bin.get(), 4);
  ASSERT_EQ(sal->n, 20);
  int corners = 0;
  for (int i = 0; i < sal->n; i++) {
    const int x = static_cast<int>(sal->X[i]), y = static_cast<int>(sal->Y[i]);
    const bool corner = (x == 3 || x == 8) && (y == 3 || y == 8);
    if (corner) {
      corners++;
      EXPECT_GT(sal->Z[i], 0.0) << x << "," << y;
    }
  }
  EXPECT_EQ(corners, 4);
  // The corners bend most: a bend limit keeps them and drops the sides.
  auto kept = RemSaliencesByAngle(sal.get(), 2.0f, 100.0f);
  EXPECT_EQ(kept->n, 4);
  for (int i = 0; i < kept->n; i++) {
    const int x = static_cast<int>(kept->X[i]), y = static_cast<int>(kept->Y[i]);
    EXPECT_TRUE((x == 3 || x == 8) && (y == 3 || y == 8)) << x << "," << y;
  }
}

TEST(iftGeoDilation, ZonesMeetInsideTheObjectOnly) {
  auto bin = ImageOf(7, 1, {1, 1, 1, 1, 1, 1, 1});
  auto seeds = ImageOf(7, 1, {1, 0, 0, 0, 0, 0, 2});
  auto aimg = Annotate(bin.get(), nullptr, seeds.get());
  EXPECT_EQ(iftGeoDist(aimg.get()), 30);
  auto cut = ImageOf(7, 1, {1, 1, 1, 0, 1, 1, 1});
  auto apart = Annotate(cut.get(), nullptr, seeds.get());
  EXPECT_EQ(iftGeoDilation(apart.get()), -1);
  auto again = Annotate(bin.get(), nullptr, seeds.get());
  std::vector<int> path = iftGeoPath(again.get());
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0] + 1, static_cast<int>(path.size()));
}

TEST(MSFractal, ACurveOfTheSampledDimensionAndCleanFailures) {
  auto bin = CreateImage(20, 20);
  for (int y = 5; y < 15; y++)
    for (int x = 5; x < 15; x++) bin->at(x, y) = 1;
  auto dim = MSFractal(bin.get(), 25, 1, 0.0, 3.0, 0, 0.0, 1.0);
  ASSERT_EQ(dim->n, 100);
  for (int i = 1; i < dim->n; i++) EXPECT_DOUBLE_EQ(dim->Y[i], dim->Y[0]);  // a line's slope
  EXPECT_EQ(FatalText([&] { MSFractal(bin.get(), 25, 9, 0.0, 3.0, 0, 0.0, 1.0); }),
            "Error:5 points lie in the range, a polynomial of degree 9 needs 10 in Regression");
  EXPECT_EQ(FatalText([&] { MSFractal(bin.get(), 0, 1, 0.0, 3.0, 0, 0.0, 1.0); }),
            "Error:Invalid distance 0 in MSFractal");
}
