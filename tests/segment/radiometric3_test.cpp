#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/scene.h"
#include "segment/radiometric3.h"
#include "support/fatal.h"

namespace {

std::unique_ptr<Scene> SceneOf(int nx, int ny, int nz, std::vector<int> values) {
  auto s = CreateScene(nx, ny, nz);
  s->data.assign(values.begin(), values.end());
  return s;
}

}  // namespace

TEST(Histogram3, AllFourFormsAgreeWithCounting) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> value(0, 12);
  auto scn = CreateScene(7, 6, 5);
  for (int &v : scn->data) v = value(rng);
  int m = 0;
  for (int v : scn->data) m = std::max(m, v);
  const double n = 210.0;
  auto h = Histogram3(scn.get());
  auto nh = NormHistogram3(scn.get());
  auto ah = AccHistogram3(scn.get());
  auto nah = NormAccHistogram3(scn.get());
  EXPECT_EQ(scn->maxval, m);
  for (auto *c : {h.get(), nh.get(), ah.get(), nah.get()}) ASSERT_EQ(c->n, m + 1);
  for (int k = 0; k <= m; k++) {
    int count = 0, upTo = 0;
    for (int v : scn->data) {
      count += v == k;
      upTo += v <= k;
    }
    EXPECT_EQ(h->X[k], k);
    EXPECT_EQ(h->Y[k], count);
    EXPECT_EQ(nh->Y[k], count / n);
    EXPECT_EQ(ah->Y[k], upTo);
    EXPECT_EQ(nah->Y[k], upTo / n);
  }
  EXPECT_EQ(nah->Y[m], 1.0);
}

TEST(Histogram3, NegativeVoxelsAreCountedNowhere) {
  auto scn = SceneOf(4, 1, 1, {-5, 0, 2, 2});
  auto h = Histogram3(scn.get());
  EXPECT_EQ(h->Y, (std::vector<double>{1, 0, 2}));
  auto nah = NormAccHistogram3(scn.get());
  EXPECT_EQ(nah->Y, (std::vector<double>{0.25, 0.25, 0.75}));
  auto all = SceneOf(2, 1, 1, {-1, -7});
  auto single = Histogram3(all.get());  // the maximum counts from 0
  EXPECT_EQ(single->n, 1);
  EXPECT_EQ(single->Y[0], 0.0);
}

TEST(Histogram3, TooManyLevelsFail) {
  auto scn = SceneOf(2, 1, 1, {0, 1 << 24});
  EXPECT_EQ(FatalText([&] { Histogram3(scn.get()); }),
            "Error:A histogram of 16777217 levels is too large in Histogram3");
}

TEST(SceneLabels, ListsTheValuesPresentOtherThanZero) {
  auto scn = SceneOf(3, 2, 1, {0, 3, 7, 3, 0, 3});
  auto labels = SceneLabels(scn.get());
  ASSERT_EQ(labels->n, 2);
  EXPECT_EQ(labels->X, (std::vector<double>{3, 7}));
  EXPECT_EQ(labels->Y, (std::vector<double>{3, 1}));
  auto empty = CreateScene(2, 2, 2);
  EXPECT_EQ(SceneLabels(empty.get())->n, 0);
}

TEST(LinearStretch3, SlopeBetweenTheLevelsAndClampsOutside) {
  auto scn = SceneOf(5, 1, 1, {-4, 0, 500, 1000, 1001});
  scn->dz = 2.5f;
  auto out = LinearStretch3(scn.get(), 0, 1000, 0, 255);
  EXPECT_EQ(out->data, (std::vector<int>{0, 0, 127, 255, 255}));
  EXPECT_EQ(out->dz, 2.5f);
  auto down = LinearStretch3(scn.get(), 0, 1000, 100, 0);  // 100 - 0.1 v
  EXPECT_EQ(down->data, (std::vector<int>{100, 100, 50, 0, 0}));
}

TEST(LinearStretch3, EqualLevelsMakeAStep) {
  auto scn = SceneOf(4, 1, 1, {9, 10, 11, -3});
  auto out = LinearStretch3(scn.get(), 10, 10, 3, 8);
  EXPECT_EQ(out->data, (std::vector<int>{3, 8, 8, 3}));
}

TEST(GaussStretch3, BellAroundTheMeanScaledByTheMaximum) {
  // m = 10: T(v) = 10 exp(-(v - 4)^2 / 8): 1.35, 6.07, 10, 0.11.
  auto scn = SceneOf(4, 1, 1, {0, 2, 4, 10});
  scn->dx = 0.25f;
  auto out = GaussStretch3(scn.get(), 4.0f, 2.0f);
  EXPECT_EQ(out->data, (std::vector<int>{1, 6, 10, 0}));
  EXPECT_EQ(out->dx, 0.25f);
  auto flat = GaussStretch3(scn.get(), 4.0f, 0.0f);  // no spread: nothing is kept
  EXPECT_EQ(flat->data, (std::vector<int>{0, 0, 0, 0}));
}
