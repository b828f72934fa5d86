// Reconstructions and the watershed propagation: properties on random
// images (idempotence, bounds, against a plain iterated dilation) and the
// edge cases of equal marker and mask and of no seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/adjacency.h"
#include "lib2d/mathematics.h"
#include "lib2d/morphology.h"
#include "support/fatal.h"
#include "support/image2d.h"

namespace {

// Reconstruction by repeated geodesic dilation (or erosion) until nothing
// changes: the definition, not the queue.
std::vector<int> IteratedReconstruction(const Image *img, const Image *marker, const AdjRel *A,
                                        bool dilate) {
  std::vector<int> r = marker->val;
  const int nc = img->ncols, nr = img->nrows;
  for (bool changed = true; changed;) {
    changed = false;
    std::vector<int> next = r;
    for (int y = 0; y < nr; y++)
      for (int x = 0; x < nc; x++) {
        int p = x + y * nc, v = r[p];
        for (int i = 0; i < A->n; i++) {
          int qx = x + A->dx[i], qy = y + A->dy[i];
          if (qx < 0 || qy < 0 || qx >= nc || qy >= nr) continue;
          v = dilate ? std::max(v, r[qx + qy * nc]) : std::min(v, r[qx + qy * nc]);
        }
        v = dilate ? std::min(v, img->val[p]) : std::max(v, img->val[p]);
        if (v != next[p]) {
          next[p] = v;
          changed = true;
        }
      }
    r = next;
  }
  return r;
}

}  // namespace

TEST(InfRec, EqualsIteratedDilationIsIdempotentAndLiesBetweenMarkerAndMask) {
  std::mt19937 rng(41);
  for (int trial = 0; trial < 25; trial++) {
    auto img = RandomImage(rng, 15, 11, 0, 30);
    auto marker = Sub(img.get(), trial % 7);
    for (float r : {1.0f, 1.5f}) {
      auto A = Circular(r);
      auto rec = InfRec(img.get(), marker.get(), A.get());
      ASSERT_EQ(rec->val, IteratedReconstruction(img.get(), marker.get(), A.get(), true));
      for (size_t p = 0; p < rec->val.size(); p++) {
        ASSERT_LE(marker->val[p], rec->val[p]);
        ASSERT_LE(rec->val[p], img->val[p]);
      }
      EXPECT_EQ(InfRec(img.get(), rec.get(), A.get())->val, rec->val);
    }
  }
  auto img = ImageOf(3, 1, {4, 1, 4});
  auto A = Circular(1.0f);
  EXPECT_EQ(InfRec(img.get(), img.get(), A.get())->val, img->val);
}

TEST(SupRec, EqualsIteratedErosionIsIdempotentAndLiesBetweenMaskAndMarker) {
  std::mt19937 rng(43);
  for (int trial = 0; trial < 25; trial++) {
    auto img = RandomImage(rng, 13, 12, 0, 30);
    auto marker = Add(img.get(), trial % 5);
    auto A = Circular(1.5f);
    auto rec = SupRec(img.get(), marker.get(), A.get());
    ASSERT_EQ(rec->val, IteratedReconstruction(img.get(), marker.get(), A.get(), false));
    for (size_t p = 0; p < rec->val.size(); p++) {
      ASSERT_LE(img->val[p], rec->val[p]);
      ASSERT_LE(rec->val[p], marker->val[p]);
    }
    EXPECT_EQ(SupRec(img.get(), rec.get(), A.get())->val, rec->val);
  }
  // A basin shallower than h is filled.
  auto pit = ImageOf(5, 1, {5, 3, 2, 3, 5});
  auto marker = Add(pit.get(), 4);
  EXPECT_EQ(SupRec(pit.get(), marker.get(), Circular(1.0f).get())->val,
            (std::vector<int>{5, 5, 5, 5, 5}));
}

TEST(InfRec, SizesAndRangesAreChecked) {
  auto a = CreateImage(2, 2), b = CreateImage(3, 2);
  auto A = Circular(1.0f);
  EXPECT_EQ(FatalText([&] { InfRec(a.get(), b.get(), A.get()); }),
            "Error:Images differ in size (2 x 2 and 3 x 2) in InfRec");
  // A marker below the mask in places is reconstructed level by level,
  // which a range of 2^32 levels does not fit.
  auto wide = ImageOf(2, 1, {-2147483647, 2147483647});
  auto mask = ImageOf(2, 1, {0, 0});
  EXPECT_EQ(FatalText([&] { SupRec(mask.get(), wide.get(), A.get()); }),
            "Error:The marker spans 4294967294 levels, more than a queue holds in SupRec");
  // On the right side of the mask the scans take any range.
  EXPECT_EQ(SupRec(wide.get(), wide.get(), A.get())->val, wide->val);
}

TEST(iftBasins, NoSeedsLeaveTheMapsAndNegativeValuesFail) {
  auto img = ImageOf(3, 1, {1, 2, 3});
  auto aimg = Annotate(img.get(), nullptr, nullptr);
  auto A = Circular(1.0f);
  iftBasins(aimg.get(), A.get());
  EXPECT_EQ(aimg->cost->val, (std::vector<int>{2147483647, 2147483647, 2147483647}));
  EXPECT_EQ(aimg->pred->val, (std::vector<int>{0, 1, 2}));
  // Seeds cost 0 while the image rises to 3: the queue holds the image's
  // levels too.
  AddSeed(aimg.get(), 0, 0, 1, 0);
  iftBasins(aimg.get(), A.get());
  EXPECT_EQ(aimg->cost->val, (std::vector<int>{0, 2, 3}));
  auto negative = ImageOf(2, 1, {0, -1});
  auto bad = Annotate(negative.get(), nullptr, nullptr);
  EXPECT_EQ(FatalText([&] { iftBasins(bad.get(), A.get()); }),
            "Error:Pixel values must lie in 0 to 16777215 (the image holds -1 to 0) in iftBasins");
}
