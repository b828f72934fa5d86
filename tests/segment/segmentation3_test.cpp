#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "core/scene.h"
#include "segment/segmentation3.h"
#include "support/fatal.h"

namespace {

std::unique_ptr<Scene> SceneOf(int nx, int ny, int nz, std::vector<int> values) {
  auto s = CreateScene(nx, ny, nz);
  s->data.assign(values.begin(), values.end());
  return s;
}

// A scene whose histogram is h: count h[k] voxels of value k, in a row.
std::unique_ptr<Scene> SceneWithHistogram(const std::vector<int> &h) {
  std::vector<int> values;
  for (size_t k = 0; k < h.size(); k++) values.insert(values.end(), h[k], static_cast<int>(k));
  return SceneOf(static_cast<int>(values.size()), 1, 1, values);
}

}  // namespace

TEST(Threshold3, BothEndsInclusiveAndTheMaximumIsOne) {
  auto scn = SceneOf(3, 3, 1, {-3, -2, -1, 0, 1, 2, 3, 4, 5});
  scn->dx = 0.5f;
  scn->dz = 3.0f;
  auto bin = Threshold3(scn.get(), 2, 4);
  EXPECT_EQ(bin->data, (std::vector<int>{0, 0, 0, 0, 0, 1, 1, 1, 0}));
  EXPECT_EQ(bin->maxval, 1);
  EXPECT_EQ(bin->dx, 0.5f);
  EXPECT_EQ(bin->dz, 3.0f);
  auto negative = Threshold3(scn.get(), -2, -2);
  EXPECT_EQ(negative->data, (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Threshold3, AnEmptyRangeGivesZerosWithMaximumOne) {
  auto scn = SceneOf(2, 1, 1, {5, 6});
  auto bin = Threshold3(scn.get(), 6, 5);
  EXPECT_EQ(bin->data, (std::vector<int>{0, 0}));
  EXPECT_EQ(bin->maxval, 1);
}

TEST(ThresholdMask3, CopiesTheMaskWhereTheSceneIsInRange) {
  auto scn = SceneOf(2, 2, 1, {1, 5, 3, 9});
  scn->dy = 2.0f;
  auto mask = SceneOf(2, 2, 1, {7, 4, 0, 6});
  mask->dy = 9.0f;
  auto out = ThresholdMask3(scn.get(), mask.get(), 1, 5);
  EXPECT_EQ(out->data, (std::vector<int>{7, 4, 0, 0}));
  EXPECT_EQ(out->maxval, 7);
  EXPECT_EQ(out->dy, 2.0f);
  auto none = ThresholdMask3(scn.get(), mask.get(), 3, 3);  // in range only where the mask is 0
  EXPECT_EQ(none->data, (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(none->maxval, INT_MIN);
}

TEST(ThresholdMask3, OperandsOfDifferentSizesFail) {
  auto scn = CreateScene(2, 2, 1);
  auto mask = CreateScene(2, 1, 2);
  EXPECT_EQ(FatalText([&] { ThresholdMask3(scn.get(), mask.get(), 0, 1); }),
            "Error:Scenes have different sizes (2 x 2 x 1 and 2 x 1 x 2) in ThresholdMask3");
}

TEST(AutoThreshold3, TheMostNegativeSecondDifference) {
  // h = 2 6 1 1 1: first differences 4 -5 0 0, second 4 -9 5 0.
  auto a = SceneWithHistogram({2, 6, 1, 1, 1});
  EXPECT_EQ(AutoThreshold3(a.get()), 2);
  // h = 1 3 1 3 1: second differences 2 -4 4 -4: the first -4 wins.
  auto b = SceneWithHistogram({1, 3, 1, 3, 1});
  EXPECT_EQ(AutoThreshold3(b.get()), 2);
  // h = 5 1 1 6 2: second differences -4 4 5 -9.
  auto c = SceneWithHistogram({5, 1, 1, 6, 2});
  EXPECT_EQ(AutoThreshold3(c.get()), 4);
}

TEST(AutoThreshold3, ConstantScenesGiveZero) {
  auto zeros = CreateScene(3, 3, 3);
  EXPECT_EQ(AutoThreshold3(zeros.get()), 0);
  auto fives = SceneOf(4, 1, 1, {5, 5, 5, 5});
  EXPECT_EQ(AutoThreshold3(fives.get()), 0);
}

TEST(Highlight3, MarksTheOutermostVoxelsOfOneObject) {
  auto labels = CreateScene(5, 5, 5);
  auto grey = CreateScene(5, 5, 5);
  for (int z = 1; z <= 3; z++)
    for (int y = 1; y <= 3; y++)
      for (int x = 1; x <= 3; x++) labels->data[labels->Address(x, y, z)] = 1;
  for (int p = 0; p < 125; p++) grey->data[p] = p;
  auto out = Highlight3(grey.get(), labels.get(), -1);
  int marked = 0;
  for (int p = 0; p < 125; p++) {
    bool centre = p == labels->Address(2, 2, 2);
    bool expected = labels->data[p] == 1 && !centre;
    EXPECT_EQ(out->data[p], expected ? -1 : p) << p;
    marked += expected;
  }
  EXPECT_EQ(marked, 26);
}

TEST(Highlight3, OnlyTheLargerLabelOfATouchingPairAndNeverTheEdge) {
  auto grey = SceneOf(4, 1, 1, {10, 20, 30, 40});
  auto labels = SceneOf(4, 1, 1, {1, 1, 2, 2});
  auto out = Highlight3(grey.get(), labels.get(), 99);
  EXPECT_EQ(out->data, (std::vector<int>{10, 20, 99, 40}));
}

TEST(Highlight3, OperandsOfDifferentSizesFail) {
  auto grey = CreateScene(3, 1, 1);
  auto labels = CreateScene(4, 1, 1);
  EXPECT_EQ(FatalText([&] { Highlight3(grey.get(), labels.get(), 1); }),
            "Error:Scenes have different sizes (3 x 1 x 1 and 4 x 1 x 1) in Highlight3");
}
