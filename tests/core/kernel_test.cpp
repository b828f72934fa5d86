// Kernels and the grey-level stretch.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "core/adjacency.h"
#include "core/common.h"
#include "core/kernel.h"
#include "core/stretch.h"

namespace {

std::unique_ptr<AdjRel> Relation(std::vector<std::pair<int, int>> d) {
  auto A = CreateAdjRel(static_cast<int>(d.size()));
  for (size_t i = 0; i < d.size(); i++) {
    A->dx[i] = d[i].first;
    A->dy[i] = d[i].second;
  }
  return A;
}

std::unique_ptr<Image> Row(std::vector<int> values) {
  auto img = CreateImage(static_cast<int>(values.size()), 1);
  img->val = values;
  return img;
}

}  // namespace

TEST(KernelTest, CreateCopiesDisplacementsAndMeasuresTheBox) {
  auto A = Relation({{0, 0}, {2, -1}, {-1, 3}});
  auto K = CreateKernel(A.get());
  EXPECT_EQ(K->weights, std::vector<float>(3, 0.0f));
  EXPECT_EQ(K->width, 4);
  EXPECT_EQ(K->height, 5);
  EXPECT_EQ(K->displacements->n, 3);
  EXPECT_EQ(K->displacements->dx, (std::vector<int>{0, 2, -1}));
  EXPECT_EQ(K->displacements->dy, (std::vector<int>{0, -1, 3}));
  // The kernel's displacements are its own.
  A->dx[1] = 99;
  DestroyAdjRel(&A);
  EXPECT_EQ(K->displacements->dx[1], 2);
  DestroyKernel(&K);
  EXPECT_EQ(K, nullptr);
  DestroyKernel(&K);

  auto empty = CreateAdjRel(0);
  K = CreateKernel(empty.get());
  EXPECT_EQ(K->width, 2);
  EXPECT_EQ(K->height, 2);
  EXPECT_TRUE(K->weights.empty());
}

TEST(KernelTest, GaussianOverTheThreeByThreeNeighbourhood) {
  auto A = Relation({{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1}});
  auto K = GaussianKernel(A.get(), 0.0f, 1.0f);
  EXPECT_EQ(K->width, 3);
  EXPECT_EQ(K->height, 3);
  EXPECT_EQ(K->weights[0], 1.0f);
  for (int i = 1; i <= 4; i++) EXPECT_EQ(K->weights[i], 0.60653066f);
  for (int i = 5; i <= 8; i++) EXPECT_EQ(K->weights[i], 0.36787944f);
  for (float w : K->weights) EXPECT_LE(w, 1.0f);
}

TEST(KernelTest, GaussianIsNotNormalised) {
  auto A = Relation({{0, 0}, {1, 0}, {2, 1}});
  // mean 1, stddev 1: exp(-(d2 - 1) / 2) for d2 = 0, 1, 5.
  auto K = GaussianKernel(A.get(), 1.0f, 1.0f);
  EXPECT_EQ(K->weights[0], 1.64872127f);
  EXPECT_EQ(K->weights[1], 1.0f);
  EXPECT_EQ(K->weights[2], 0.13533528f);
  // A negative deviation squares to the same kernel.
  auto N = GaussianKernel(A.get(), 1.0f, -1.0f);
  EXPECT_EQ(N->weights, K->weights);
}

TEST(KernelTest, GaussianWithoutSpreadFails) {
  auto A = Relation({{0, 0}});
  try {
    GaussianKernel(A.get(), 0.0f, 0.0f);
    FAIL() << "no error";
  } catch (const FatalError &e) {
    EXPECT_STREQ(e.what(), "Error:Invalid standard deviation 0.000000 in GaussianKernel");
  }
  // 2 * 1e-30^2 vanishes in single precision.
  EXPECT_THROW(GaussianKernel(A.get(), 0.0f, 1e-30f), FatalError);
  EXPECT_THROW(GaussianKernel(A.get(), 0.0f, std::nanf("")), FatalError);
}

TEST(StretchTest, WindowEndpointsAndRounding) {
  auto out = LinearStretch(Row({0, 500, 1000, -5, 1001}).get(), 0, 1000, 0, 255);
  EXPECT_EQ(out->val, (std::vector<int>{0, 127, 255, 0, 255}));
  // 0..1000 onto 0..255: v = 4 gives 1.02 -> 1, v = 3 gives 0.765 -> 0.
  EXPECT_EQ(LinearStretchValue(4, 0, 1000, 0, 255), 1);
  EXPECT_EQ(LinearStretchValue(3, 0, 1000, 0, 255), 0);
  EXPECT_EQ(LinearStretchValue(999, 0, 1000, 0, 255), 254);
}

TEST(StretchTest, EqualBoundsThreshold) {
  auto out = LinearStretch(Row({9, 10, 11}).get(), 10, 10, 3, 200);
  EXPECT_EQ(out->val, (std::vector<int>{3, 200, 200}));
}

TEST(StretchTest, TruncatesTowardZeroAndFollowsFallingWindows) {
  // -3 + 0.75 v: v = 1 gives -2.25 -> -2 (not -3).
  EXPECT_EQ(LinearStretchValue(1, 0, 4, -3, 0), -2);
  EXPECT_EQ(LinearStretchValue(2, 0, 4, -3, 0), -1);
  // 255 - 0.255 v: v = 250 gives 191.25 -> 191.
  EXPECT_EQ(LinearStretchValue(250, 0, 1000, 255, 0), 191);
  EXPECT_EQ(LinearStretchValue(1000, 0, 1000, 255, 0), 0);
  // An inverted window: everything at or above f1 is g2.
  EXPECT_EQ(LinearStretchValue(5, 10, 0, 1, 2), 1);
  EXPECT_EQ(LinearStretchValue(10, 10, 0, 1, 2), 2);
}

TEST(StretchTest, WholeIntRangeWindow) {
  EXPECT_EQ(LinearStretchValue(INT_MAX, INT_MIN, INT_MAX, 0, 255), 255);
  EXPECT_EQ(LinearStretchValue(INT_MIN, INT_MIN, INT_MAX, 0, 255), 0);
  EXPECT_EQ(LinearStretchValue(0, INT_MIN, INT_MAX, 0, 255), 127);
  EXPECT_EQ(LinearStretchValue(INT_MAX, 0, INT_MAX, INT_MIN, INT_MAX), INT_MAX);
  EXPECT_EQ(LinearStretchValue(0, 0, INT_MAX, INT_MIN, INT_MAX), INT_MIN);
}

TEST(StretchTest, NewImageOfTheSameSizeInputUntouched) {
  auto img = CreateImage(3, 2);
  img->val = {0, 1, 2, 3, 4, 5};
  auto out = LinearStretch(img.get(), 1, 4, 10, 40);
  EXPECT_EQ(out->ncols, 3);
  EXPECT_EQ(out->nrows, 2);
  EXPECT_EQ(out->tbrow, img->tbrow);
  EXPECT_EQ(out->val, (std::vector<int>{10, 10, 20, 30, 40, 40}));
  EXPECT_EQ(img->val, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}
