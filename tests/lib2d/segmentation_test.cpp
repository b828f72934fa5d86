// Segmentation of 2D images: hand-made examples with exact outputs, and
// properties on random images (components against a flood fill, watershed
// labels against their seeds, the differential watershed against a fresh
// one).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <vector>

#include "core/adjacency.h"
#include "core/curve.h"
#include "lib2d/segmentation.h"
#include "support/fatal.h"
#include "support/image2d.h"

namespace {

std::unique_ptr<AdjRel> Four() { return Circular(1.0f); }
std::unique_ptr<AdjRel> Eight() { return Circular(1.5f); }

// Each label of a watershed must form regions that each hold a seed of that
// label, and every pixel must be labelled with a seed's label.
void ExpectBasinsHoldTheirSeeds(const Image *label, const Image *seeds, bool eight) {
  std::set<int> seedLabels;
  for (int v : seeds->val)
    if (v > 0) seedLabels.insert(v);
  std::vector<int> region = FloodComponents(
      label, eight, [&](int p, int q) { return label->val[p] == label->val[q]; });
  std::map<int, std::set<int>> seedsOfRegion;
  for (size_t p = 0; p < label->val.size(); p++) {
    ASSERT_TRUE(seedLabels.count(label->val[p])) << "pixel " << p << " label " << label->val[p];
    if (seeds->val[p] > 0) {
      EXPECT_EQ(label->val[p], seeds->val[p]) << "a seed lost its label at " << p;
      seedsOfRegion[region[p]].insert(seeds->val[p]);
    }
  }
  for (size_t p = 0; p < label->val.size(); p++)
    EXPECT_EQ(seedsOfRegion[region[p]].size(), 1u) << "the basin of pixel " << p;
}

}  // namespace

TEST(Threshold, InclusiveBoundsAndEmptyRange) {
  auto img = ImageOf(4, 1, {1, 2, 3, 4});
  EXPECT_EQ(Threshold(img.get(), 2, 3)->val, (std::vector<int>{0, 1, 1, 0}));
  EXPECT_EQ(Threshold(img.get(), 3, 2)->val, (std::vector<int>{0, 0, 0, 0}));
}

TEST(AutoThreshold, SteepestDropOfTheSlope) {
  auto flat = ImageOf(3, 1, {7, 7, 7});
  EXPECT_EQ(AutoThreshold(flat.get()), 0);
  // Histogram 1, 3, 0, 0, 2: slopes 2, -3, 0, 2; the drop 2 -> -3 is at 2.
  auto img = ImageOf(6, 1, {0, 1, 1, 1, 4, 4});
  EXPECT_EQ(AutoThreshold(img.get()), 2);
}

TEST(LabelComp, FlatZonesAndThresholdsMatchAFloodFill) {
  auto img = ImageOf(4, 2, {1, 1, 2, 2,
                            3, 1, 2, 5});
  auto A = Four();
  EXPECT_EQ(LabelComp(img.get(), A.get(), 0)->val, (std::vector<int>{1, 1, 2, 2, 3, 1, 2, 4}));
  std::mt19937 rng(7);
  for (int trial = 0; trial < 20; trial++) {
    auto r = RandomImage(rng, 13, 9, 0, 6);
    for (int thres : {0, 1, 2}) {
      for (bool eight : {false, true}) {
        auto rel = eight ? Eight() : Four();
        auto got = LabelComp(r.get(), rel.get(), thres);
        auto want = FloodComponents(r.get(), eight, [&](int p, int q) {
          return std::abs(r->val[p] - r->val[q]) <= thres;
        });
        ASSERT_EQ(got->val, want) << "trial " << trial << " thres " << thres;
      }
    }
  }
}

TEST(LabelBinComp, OnlyOnesAreLabelledInRasterOrder) {
  auto bin = ImageOf(5, 3, {0, 1, 0, 0, 1,
                            1, 0, 2, 0, 1,
                            0, 0, 0, 1, 1});
  EXPECT_EQ(LabelBinComp(bin.get(), Four().get())->val,
            (std::vector<int>{0, 1, 0, 0, 2, 3, 0, 0, 0, 2, 0, 0, 0, 2, 2}));
  EXPECT_EQ(LabelBinComp(bin.get(), Eight().get())->val,
            (std::vector<int>{0, 1, 0, 0, 2, 1, 0, 0, 0, 2, 0, 0, 0, 2, 2}));
}

TEST(LabelBinComp, RandomShapesMatchAFloodFillOfTheOnes) {
  std::mt19937 rng(19);
  for (int trial = 0; trial < 30; trial++) {
    auto bin = RandomImage(rng, 21, 13, 0, trial % 3 ? 1 : 2);  // some 2s, which never belong
    for (bool eight : {false, true}) {
      auto got = LabelBinComp(bin.get(), (eight ? Eight() : Four()).get());
      auto flood = FloodComponents(bin.get(), eight, [&](int p, int q) {
        return bin->val[p] == 1 && bin->val[q] == 1;
      });
      std::map<int, int> renumber;
      std::vector<int> want(bin->val.size(), 0);
      for (size_t p = 0; p < want.size(); p++) {
        if (bin->val[p] != 1) continue;
        auto it = renumber.emplace(flood[p], static_cast<int>(renumber.size()) + 1).first;
        want[p] = it->second;
      }
      ASSERT_EQ(got->val, want) << "trial " << trial << (eight ? " 8" : " 4");
    }
  }
}

TEST(Highlight, MarksTheSideOfTheLargerLabel) {
  auto img = CreateImage(3, 2);
  auto label = ImageOf(3, 2, {1, 1, 2, 1, 1, 2});
  EXPECT_EQ(Highlight(img.get(), label.get(), 9)->val, (std::vector<int>{0, 0, 9, 0, 0, 9}));
  auto other = CreateImage(2, 2);
  EXPECT_EQ(FatalText([&] { Highlight(img.get(), other.get(), 9); }),
            "Error:Images differ in size (3 x 2 and 2 x 2) in Highlight");
}

TEST(RegMin, PlateausMarkTheirFirstPixelOnly) {
  auto A = Eight();
  // A U-shaped plateau whose arms the raster order meets before its base.
  auto u = ImageOf(3, 3, {1, 5, 1,
                          1, 5, 1,
                          1, 1, 1});
  EXPECT_EQ(RegMin(u.get(), A.get())->val, (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(RegMin(u.get(), Four().get())->val, (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0, 0}));
  auto flat = ImageOf(3, 2, {4, 4, 4, 4, 4, 4});
  EXPECT_EQ(RegMin(flat.get(), A.get())->val, (std::vector<int>{1, 0, 0, 0, 0, 0}));
  auto img = ImageOf(5, 1, {1, 1, 3, 0, 2});
  EXPECT_EQ(RegMin(img.get(), A.get())->val, (std::vector<int>{1, 0, 0, 1, 0}));
  EXPECT_EQ(RegMax(img.get(), A.get())->val, (std::vector<int>{0, 0, 1, 0, 1}));
}

TEST(HDomes, EveryPixelAboveTheReconstructionLowDomesIncluded) {
  auto A = Four();
  auto img = ImageOf(7, 1, {0, 5, 0, 2, 0, 9, 8});
  // The marker I - 3 reconstructs to 0 2 0 0 0 6 6: every pixel standing
  // above it is marked, the 2 (a dome lower than 3, flattened to 0) too.
  EXPECT_EQ(HDomes(img.get(), A.get(), 3)->val, (std::vector<int>{0, 1, 0, 1, 0, 1, 1}));
  auto pits = ImageOf(5, 1, {9, 4, 9, 8, 9});
  EXPECT_EQ(HBasins(pits.get(), A.get(), 3)->val, (std::vector<int>{0, 1, 0, 1, 0}));
}

TEST(WaterLabel, ExactOnAHandMadeRidge) {
  auto img = ImageOf(5, 2, {0, 1, 5, 1, 0,
                            0, 2, 5, 2, 0});
  auto seeds = ImageOf(5, 2, {1, 0, 0, 0, 2,
                              0, 0, 0, 0, 0});
  auto A = Four();
  EXPECT_EQ(WaterLabel(img.get(), seeds.get(), A.get())->val,
            (std::vector<int>{1, 1, 1, 2, 2, 1, 1, 1, 2, 2}));
}

TEST(Watersheds, LabelsCoverTheImageAndEachBasinHoldsOneSeedLabel) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 30; trial++) {
    auto img = RandomImage(rng, 17, 12, 0, 20);
    auto seeds = CreateImage(17, 12);
    std::uniform_int_distribution<int> pixel(0, 17 * 12 - 1);
    for (int k = 1; k <= 5; k++) seeds->val[pixel(rng)] = k;
    for (bool eight : {false, true}) {
      auto A = eight ? Eight() : Four();
      auto label = WaterLabel(img.get(), seeds.get(), A.get());
      ExpectBasinsHoldTheirSeeds(label.get(), seeds.get(), eight);
      auto aimg = Annotate(img.get(), nullptr, seeds.get());
      auto viaAnnotation = iftWatershed(aimg.get(), A.get());
      ExpectBasinsHoldTheirSeeds(viaAnnotation.get(), seeds.get(), eight);
    }
  }
}

TEST(WaterBin, OneLabelPerConnectedMarker) {
  auto img = ImageOf(6, 1, {0, 0, 7, 3, 0, 0});
  auto bin = ImageOf(6, 1, {1, 1, 0, 0, 0, 1});
  auto label = WaterBin(img.get(), bin.get(), Four().get());
  EXPECT_EQ(label->val[0], label->val[1]);
  EXPECT_NE(label->val[0], label->val[5]);
  EXPECT_EQ(label->val[2], label->val[0]);  // ties go to the marker served first
  EXPECT_EQ(label->val[3], label->val[5]);
  EXPECT_EQ(MaximumValue(label.get()), 2);
}

TEST(WaterGray, OneLabelPerRegionalMinimumOfTheMarker) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 20; trial++) {
    auto img = RandomImage(rng, 15, 11, 0, 9);
    auto A = Eight();
    auto label = WaterGray(img.get(), img.get(), A.get());
    auto minima = RegMin(img.get(), A.get());
    auto minimaLabels = LabelComp(img.get(), A.get(), 0);
    // Every regional minimum plateau lies in one label and no two share one.
    std::map<int, int> labelOfPlateau;
    std::set<int> used;
    for (size_t p = 0; p < img->val.size(); p++) {
      if (!minima->val[p]) continue;
      int plateau = minimaLabels->val[p];
      EXPECT_TRUE(used.insert(label->val[p]).second);
      labelOfPlateau[plateau] = label->val[p];
    }
    EXPECT_EQ(static_cast<int>(used.size()), MaximumValue(label.get()));
    EXPECT_EQ(MinimumValue(label.get()), 1);
  }
}

TEST(DecWater, EqualsAFreshWatershedFromTheRemainingSeeds) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 40; trial++) {
    const int nc = 14, nr = 10;
    auto img = RandomImage(rng, nc, nr, 0, trial % 2 ? 3 : 30);  // plateaus, then not
    auto seeds = CreateImage(nc, nr);
    std::uniform_int_distribution<int> pixel(0, nc * nr - 1);
    std::vector<int> at;
    for (int k = 1; k <= 6; k++) {
      int p = pixel(rng);
      if (seeds->val[p]) continue;
      seeds->val[p] = k;
      at.push_back(p);
    }
    auto A = trial % 3 ? Eight() : Four();
    auto aimg = Annotate(img.get(), nullptr, seeds.get());
    iftWatershed(aimg.get(), A.get());
    // Remove two seeds, naming a pixel of each one's tree.
    auto remaining = CopyImage(seeds.get());
    for (int k = 0; k < 2; k++) {
      int victim = at[k];
      remaining->val[victim] = 0;
      InsertSet(&aimg->seeds, victim);
    }
    auto got = DecWater(aimg.get(), A.get());
    auto fresh = Annotate(img.get(), nullptr, remaining.get());
    auto want = iftWatershed(fresh.get(), A.get());
    ASSERT_EQ(got->val, want->val) << "trial " << trial;
    EXPECT_EQ(aimg->cost->val, fresh->cost->val);
  }
}

TEST(DecWater, AnEmptySeedSetChangesNothing) {
  auto img = ImageOf(3, 1, {0, 4, 0});
  auto seeds = ImageOf(3, 1, {1, 0, 2});
  auto aimg = Annotate(img.get(), nullptr, seeds.get());
  auto before = iftWatershed(aimg.get(), Four().get());
  EXPECT_EQ(DecWater(aimg.get(), Four().get())->val, before->val);
}

TEST(IncWater, NewSeedsTakeOverTheirBasin) {
  auto img = ImageOf(5, 1, {0, 1, 6, 1, 0});
  auto seeds = ImageOf(5, 1, {1, 0, 0, 0, 0});
  auto aimg = Annotate(img.get(), nullptr, seeds.get());
  EXPECT_EQ(iftWatershed(aimg.get(), Four().get())->val, (std::vector<int>{1, 1, 1, 1, 1}));
  AddSeed(aimg.get(), 4, 0, 2, 4);
  EXPECT_EQ(IncWater(aimg.get(), Four().get())->val, (std::vector<int>{1, 1, 1, 2, 2}));
  EXPECT_EQ(FatalText([&] { AddSeed(aimg.get(), 5, 0, 2, 5); }),
            "Error:Pixel 5 is outside the image (addresses 0 to 4) in AddSeed");
}

TEST(iftFindEdge, TheCheapestPathAndNoRecomputationForTheSameEnd) {
  // A cheap column at x = 2 between two expensive ones.
  auto img = ImageOf(5, 3, {9, 9, 1, 9, 9,
                            9, 9, 1, 9, 9,
                            9, 9, 1, 9, 9});
  auto aimg = Annotate(img.get(), nullptr, nullptr);
  auto A = Four();
  std::vector<int> path = iftFindEdge(aimg.get(), A.get(), 2, 12);
  EXPECT_EQ(path, (std::vector<int>{3, 12, 7, 2}));
  aimg->cost->val[0] = 12345;  // a recomputation would notice nothing, a return at once keeps it
  EXPECT_EQ(iftFindEdge(aimg.get(), A.get(), 2, 12), path);
  EXPECT_EQ(aimg->cost->val[0], 12345);
  EXPECT_EQ(FatalText([&] { iftFindEdge(aimg.get(), A.get(), 2, 15); }),
            "Error:Pixel 15 is outside the image of 5 x 3 in iftFindEdge");
  // Accepting makes the end the new source and fixes the path.
  EXPECT_EQ(AcceptEdge(aimg.get(), path), 12);
  EXPECT_EQ(aimg->cost->val[7], INT_MIN);
  EXPECT_EQ(FatalText([&] { AcceptEdge(aimg.get(), {3, 12, 7}); }),
            "Error:A path is its length followed by that many pixels in AcceptEdge");
}

TEST(CutPath, KeepsThePathUpToThePixelNearestTheSource) {
  auto img = ImageOf(5, 1, {1, 1, 1, 1, 1});
  auto aimg = Annotate(img.get(), nullptr, nullptr);
  auto A = Four();
  EXPECT_EQ(iftFindEdge(aimg.get(), A.get(), 0, 4), (std::vector<int>{5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(CutPath(aimg.get(), 2, 4), (std::vector<int>{3, 2, 1, 0}));
  EXPECT_EQ(aimg->cost->val[3], 2147483647);
  EXPECT_EQ(aimg->cost->val[4], 2147483647);
  // The growth goes on from what is left.
  EXPECT_EQ(iftFindEdge(aimg.get(), A.get(), 0, 4), (std::vector<int>{5, 4, 3, 2, 1, 0}));
}

TEST(Trees, CountingPruningAndBadMaps) {
  // 0 <- 1 <- 2, 1 <- 3; 4 alone.
  auto pred = ImageOf(5, 1, {0, 0, 1, 1, 4});
  auto nsons = TreeCounting(pred.get());
  EXPECT_EQ(nsons->val, (std::vector<int>{4, 3, 1, 1, 1}));
  auto pts = CreateCurve(1);
  pts->X[0] = 1;
  EXPECT_EQ(TreePruning(nsons.get(), pred.get(), pts.get())->val,
            (std::vector<int>{0, 3, 1, 1, 0}));
  auto cycle = ImageOf(2, 1, {1, 0});
  EXPECT_EQ(FatalText([&] { TreeCounting(cycle.get()); }),
            "Error:The predecessor map has a cycle in TreeCounting");
  auto outside = ImageOf(2, 1, {0, 7});
  EXPECT_EQ(FatalText([&] { TreeCounting(outside.get()); }),
            "Error:Pixel 7 is outside the image of 2 x 1 in TreeCounting");
}

TEST(TreeComputing, ForestFromThePointsInsideTheImage) {
  auto grad = ImageOf(4, 1, {0, 3, 1, 0});
  auto pts = CreateCurve(2);
  pts->X = {0, 99};  // the second point lies outside and is skipped
  pts->Y = {0, 0};
  EXPECT_EQ(TreeComputing(grad.get(), pts.get())->val, (std::vector<int>{0, 0, 1, 2}));
}

TEST(Contours, EveryBorderPixelIsLabelledAndNumberedAlongItsContour) {
  auto bin = ImageOf(6, 5, {0, 0, 0, 0, 0, 0,
                            0, 1, 1, 1, 0, 0,
                            0, 1, 1, 1, 0, 1,
                            0, 1, 1, 1, 0, 0,
                            0, 0, 0, 0, 0, 0});
  auto contour = LabelContour(bin.get());
  auto pixel = LabelContPixel(bin.get());
  std::vector<int> numbers;
  for (size_t p = 0; p < bin->val.size(); p++) {
    const bool border = bin->val[p] == 1 && p != 14;  // the centre of the square is inner
    EXPECT_EQ(contour->val[p] > 0, border) << p;
    EXPECT_EQ(pixel->val[p] > 0, border) << p;
    if (contour->val[p] == 1) numbers.push_back(pixel->val[p]);
  }
  EXPECT_EQ(contour->val[17], 2);  // the lone pixel is a contour of its own
  EXPECT_EQ(pixel->val[17], 9);
  // The square's ring is numbered 1 .. 8, consecutive pixels 8-adjacent.
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  for (int k = 1; k < 8; k++) {
    int a = -1, b = -1;
    for (size_t p = 0; p < pixel->val.size(); p++) {
      if (pixel->val[p] == k) a = static_cast<int>(p);
      if (pixel->val[p] == k + 1) b = static_cast<int>(p);
    }
    EXPECT_LE(std::abs(a % 6 - b % 6), 1);
    EXPECT_LE(std::abs(a / 6 - b / 6), 1);
  }
}

TEST(SelectHDomes, SeedLabelsSpreadOverTheirDome) {
  auto img = ImageOf(7, 1, {0, 4, 6, 4, 0, 5, 0});
  auto seed = ImageOf(7, 1, {0, 0, 3, 0, 0, 0, 0});
  EXPECT_EQ(SelectHDomes(img.get(), seed.get(), Four().get(), 3)->val,
            (std::vector<int>{0, 3, 3, 3, 0, 0, 0}));
  auto pits = ImageOf(5, 1, {9, 5, 3, 5, 9});
  auto pitSeed = ImageOf(5, 1, {0, 0, 2, 0, 0});
  EXPECT_EQ(SelectHBasins(pits.get(), pitSeed.get(), Four().get(), 3)->val,
            (std::vector<int>{0, 2, 2, 2, 0}));
}

TEST(Segmentation, ValuesAQueueCannotFileFailCleanly) {
  auto A = Four();
  auto negative = ImageOf(2, 1, {-1, 3});
  auto marker = CreateImage(2, 1);
  EXPECT_EQ(FatalText([&] { WaterGray(negative.get(), marker.get(), A.get()); }),
            "Error:Pixel values must lie in 0 to 16777214 (the image holds -1 to 3) in WaterGray");
  auto huge = ImageOf(2, 1, {0, 2147483647});
  EXPECT_NE(FatalText([&] { RegMin(huge.get(), A.get()); }), "");
  // Reconstructions scan in memory order and take any range.
  EXPECT_EQ(FatalText([&] { HBasins(huge.get(), A.get(), 1); }), "");
  auto small = CreateImage(1, 1);
  EXPECT_EQ(FatalText([&] { WaterLabel(small.get(), marker.get(), A.get()); }),
            "Error:Images differ in size (1 x 1 and 2 x 1) in WaterLabel");
}
