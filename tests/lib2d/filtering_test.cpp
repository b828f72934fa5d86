// Pixel arithmetic, histograms and radiometric transforms, kernels and
// filters: worked examples, edge cases, and filters against brute-force
// versions on random images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/adjacency.h"
#include "lib2d/filtering.h"
#include "lib2d/mathematics.h"
#include "lib2d/radiometric.h"
#include "support/fatal.h"
#include "support/image2d.h"

TEST(PixelArithmetic, BoundsZerosAndSaturation) {
  auto a = ImageOf(4, 1, {0, 3, 7, 10});
  EXPECT_EQ(Sub(a.get(), 5)->val, (std::vector<int>{0, 0, 2, 5}));
  EXPECT_EQ(Add(a.get(), 5)->val, (std::vector<int>{5, 8, 10, 10}));
  EXPECT_EQ(Complement(a.get())->val, (std::vector<int>{10, 7, 3, 0}));
  auto zeros = CreateImage(4, 1);
  EXPECT_EQ(Div(a.get(), zeros.get())->val, (std::vector<int>{11, 11, 11, 11}));
  auto b = ImageOf(4, 1, {2, 0, 2, -3});
  // Where b = 0: max(a) / min(b) + 1 = 10 / -3 + 1 = -2.
  EXPECT_EQ(Div(a.get(), b.get())->val, (std::vector<int>{0, -2, 3, -3}));
  auto big = ImageOf(2, 1, {2147483647, -2147483647 - 1});
  EXPECT_EQ(Sum(big.get(), big.get())->val, (std::vector<int>{2147483647, -2147483647 - 1}));
  EXPECT_EQ(Abs(big.get())->val, (std::vector<int>{2147483647, 2147483647}));
  EXPECT_EQ(FatalText([&] { Diff(a.get(), big.get()); }),
            "Error:Images differ in size (4 x 1 and 2 x 1) in Diff");
}

TEST(Histogram, CountsCumulationAndTooManyLevels) {
  auto img = ImageOf(5, 1, {0, 2, 2, -1, 3});
  auto h = Histogram(img.get());
  EXPECT_EQ(h->Y, (std::vector<double>{1, 0, 2, 1}));
  EXPECT_EQ(AccHistogram(img.get())->Y, (std::vector<double>{1, 1, 3, 4}));
  EXPECT_EQ(NormAccHistogram(img.get())->Y.back(), 0.8);  // the negative pixel counts nowhere
  EXPECT_EQ(Probability(img.get())->val, (std::vector<int>{20, 40, 40, 0, 20}));
  auto huge = ImageOf(1, 1, {1 << 25});
  EXPECT_EQ(FatalText([&] { Histogram(huge.get()); }),
            "Error:An image of maximum 33554432 has too many levels for a histogram in Histogram");
}

TEST(Equalize, TheOutputRangeFollowsTheMaximum) {
  auto low = ImageOf(2, 1, {0, 254});
  EXPECT_EQ(Equalize(low.get())->val, (std::vector<int>{127, 255}));
  auto at255 = ImageOf(2, 1, {0, 255});
  EXPECT_EQ(Equalize(at255.get())->val, (std::vector<int>{32767, 65535}));
  auto wide = ImageOf(2, 1, {0, 70000});
  EXPECT_EQ(Equalize(wide.get())->val, (std::vector<int>{35000, 70000}));
}

TEST(MatchHistogram, StaysInsideTheDesiredRange) {
  std::mt19937 rng(2);
  auto img = RandomImage(rng, 20, 10, 0, 255);
  auto des = RandomImage(rng, 20, 10, 0, 40);
  auto out = MatchHistogram(img.get(), des.get());
  EXPECT_GE(MinimumValue(out.get()), 0);
  EXPECT_LE(MaximumValue(out.get()), 40);
  // Order is kept: a brighter pixel never maps below a darker one.
  for (size_t p = 0; p < img->val.size(); p++)
    for (size_t q = 0; q < img->val.size(); q++)
      if (img->val[p] < img->val[q]) {
        ASSERT_LE(out->val[p], out->val[q]);
      }
}

TEST(GaussStretch, PeakAtTheMeanAndAZeroDeviationRefused) {
  auto img = ImageOf(3, 1, {0, 50, 100});
  EXPECT_EQ(GaussStretch(img.get(), 50.0f, 10.0f)->val, (std::vector<int>{0, 100, 0}));
  EXPECT_EQ(FatalText([&] { GaussStretch(img.get(), 50.0f, 0.0f); }),
            "Error:Invalid standard deviation 0.000000 in GaussStretch");
}

TEST(MakeKernel, TheCentreWeightMovesToTheFront) {
  auto K = MakeKernel("3,3,1,2,3,4,5,6,7,8,9");
  ASSERT_EQ(K->weights.size(), 9u);
  EXPECT_EQ(K->weights, (std::vector<float>{5, 1, 2, 3, 4, 6, 7, 8, 9}));
  EXPECT_EQ(K->displacements->dx[0], 0);
  EXPECT_EQ(K->displacements->dx[1], -1);
  EXPECT_EQ(K->displacements->dy[1], -1);
  EXPECT_EQ(FatalText([&] { MakeKernel("3,3,1,2"); }),
            "Error:The kernel text holds 2 weights, expected 9 in MakeKernel");
  EXPECT_EQ(FatalText([&] { MakeKernel("x"); }), "Error:The kernel text has no size in MakeKernel");
}

TEST(FoldKernel, MirrorsAndReverses) {
  auto A = Circular(1.0f);
  auto K = LinearKernel(A.get());
  auto F = FoldKernel(K.get());
  for (int i = 0; i < A->n; i++) {
    EXPECT_EQ(F->displacements->dx[i], -A->dx[A->n - 1 - i]);
    EXPECT_EQ(F->weights[i], K->weights[A->n - 1 - i]);
  }
  EXPECT_FLOAT_EQ(K->weights[0], 1.0f);
  EXPECT_FLOAT_EQ(K->weights[1], 0.5f);
}

namespace {

// out(x, y) = sum over the kernel of w img(x + dx - ox, y + dy - oy),
// written pixel by pixel.
std::vector<int> BruteCorrelation(const Image *img, const Kernel *K, int W, int H, int ox, int oy) {
  std::vector<int> out(W * H);
  const AdjRel *D = K->displacements.get();
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      double s = 0.0;
      for (int i = 0; i < D->n; i++) {
        int sx = x + D->dx[i] - ox, sy = y + D->dy[i] - oy;
        if (img->Valid(sx, sy)) s += static_cast<double>(K->weights[i]) * img->at(sx, sy);
      }
      out[x + y * W] = static_cast<int>(s);
    }
  return out;
}

}  // namespace

TEST(LinearFilter, FullConvolutionAndSameSizeCorrelationAgainstBruteForce) {
  std::mt19937 rng(13);
  auto img = RandomImage(rng, 10, 10, -50, 200);
  auto K = MakeKernel("3,3,1,2,0,-1,4,0.5,0,3,1");
  auto full = LinearFilter(img.get(), K.get());
  EXPECT_EQ(full->ncols, 12);
  EXPECT_EQ(full->nrows, 12);
  auto F = FoldKernel(K.get());
  EXPECT_EQ(full->val, BruteCorrelation(img.get(), F.get(), 12, 12, 1, 1));
  // An asymmetric kernel over a rectangle.
  auto A = CreateAdjRel(3);
  A->dx = {0, 2, -1};
  A->dy = {0, 1, 0};
  auto K2 = CreateKernel(A.get());
  K2->weights = {1.5f, -2.0f, 0.25f};
  auto img2 = RandomImage(rng, 7, 4, 0, 99);
  EXPECT_EQ(LinearFilter2(img2.get(), K2.get())->val,
            BruteCorrelation(img2.get(), K2.get(), 7, 4, 0, 0));
  auto full2 = LinearFilter(img2.get(), K2.get());
  EXPECT_EQ(full2->ncols, 7 + 4 - 1);
  auto F2 = FoldKernel(K2.get());
  EXPECT_EQ(full2->val, BruteCorrelation(img2.get(), F2.get(), 10, 5, 1, 0));
  auto tiny = CreateImage(2, 2);
  EXPECT_EQ(FatalText([&] { LinearFilter2(tiny.get(), K.get()); }),
            "Error:A kernel of 3 x 3 is larger than the image of 2 x 2 in LinearFilter2");
  EXPECT_NE(FatalText([&] { SobelFilter(tiny.get()); }), "");
}

TEST(MedianFilter, TheMiddleOfTheValidNeighboursAgainstASort) {
  std::mt19937 rng(31);
  for (float r : {1.0f, 1.5f, 2.3f}) {
    auto A = Circular(r);
    auto img = RandomImage(rng, 9, 7, 0, 20);
    auto got = MedianFilter(img.get(), A.get());
    for (int y = 0; y < 7; y++)
      for (int x = 0; x < 9; x++) {
        std::vector<int> v;
        for (int i = 0; i < A->n; i++)
          if (img->Valid(x + A->dx[i], y + A->dy[i])) v.push_back(img->at(x + A->dx[i], y + A->dy[i]));
        std::sort(v.begin(), v.end());
        ASSERT_EQ(got->at(x, y), v[v.size() / 2]) << x << "," << y << " r " << r;
      }
  }
}

TEST(ModeFilter, TiesKeepThePixelAndOtherwiseTheLargerValueWins) {
  auto A = Circular(1.0f);
  // Centre 5 with neighbours 1 1 5 7: 1 runs twice, 5 twice: kept.
  auto tie = ImageOf(3, 3, {0, 1, 0, 1, 5, 5, 0, 7, 0});
  EXPECT_EQ(ModeFilter(tie.get(), A.get())->at(1, 1), 5);
  // Centre 5 with 2 2 3 3: two runs of two, the larger value 3 wins.
  auto larger = ImageOf(3, 3, {0, 2, 0, 2, 5, 3, 0, 3, 0});
  EXPECT_EQ(ModeFilter(larger.get(), A.get())->at(1, 1), 3);
}

TEST(SobelFilter, SquaredGradientOfAStep) {
  auto img = ImageOf(4, 3, {0, 0, 10, 10, 0, 0, 10, 10, 0, 0, 10, 10});
  auto g = SobelFilter(img.get());
  // Across the step in the middle row: gx = 4 * 10, gy = 0.
  EXPECT_EQ(g->at(1, 1), 1600);
  EXPECT_EQ(g->at(2, 1), 1600);
}

TEST(LaplacianBorder, NonNegativePixelsNextToNegativeOnesStretchedToTheMaximum) {
  // The 4-neighbour Laplacian of a step from 0 to 100 at x = 3 is 100 at
  // x = 2, -100 at x = 3 and 0 elsewhere in the inner rows: the pixels at
  // or above 0 beside the -100 are x = 2 and x = 4.
  auto K = MakeKernel("3,3,0,1,0,1,-4,1,0,1,0");
  auto step = CreateImage(6, 6);
  for (int y = 0; y < 6; y++)
    for (int x = 3; x < 6; x++) step->at(x, y) = 100;
  auto b = LaplacianBorder(step.get(), K.get());
  for (int y = 1; y < 5; y++)
    for (int x = 0; x < 6; x++)
      EXPECT_EQ(b->at(x, y), x == 2 || x == 4 ? 100 : 0) << x << "," << y;
}
