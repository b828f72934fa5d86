#include <gtest/gtest.h>

#include <vector>

#include "core/adjacency.h"
#include "core/image.h"
#include "core/set.h"
#include "segment/annimg.h"
#include "support/fatal.h"

namespace {

const int INF = 2147483647;

std::unique_ptr<Image> ImageOf(int ncols, int nrows, std::vector<int> values) {
  auto img = CreateImage(ncols, nrows);
  img->val = std::move(values);
  return img;
}

std::vector<int> SetElements(const Set *s) {
  std::vector<int> out;
  for (; s != nullptr; s = s->next.get()) out.push_back(s->elem);
  return out;
}

}  // namespace

TEST(Annotate, TheFourModes) {
  auto img = CreateImage(2, 2);
  auto cost = ImageOf(2, 2, {5, 6, 7, 8});
  auto label = ImageOf(2, 2, {0, 3, -1, 4});
  const std::vector<int> own = {0, 1, 2, 3};

  auto none = Annotate(img.get(), nullptr, nullptr);
  EXPECT_EQ(none->cost->val, (std::vector<int>{INF, INF, INF, INF}));
  EXPECT_EQ(none->label->val, (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(none->pred->val, own);
  EXPECT_EQ(none->seeds, nullptr);

  auto labelOnly = Annotate(img.get(), nullptr, label.get());
  EXPECT_EQ(labelOnly->cost->val, (std::vector<int>{INF, 0, INF, 0}));
  EXPECT_EQ(labelOnly->label->val, (std::vector<int>{0, 3, 0, 4}));
  EXPECT_EQ(SetElements(labelOnly->seeds.get()), (std::vector<int>{3, 1}));

  auto costOnly = Annotate(img.get(), cost.get(), nullptr);
  EXPECT_EQ(costOnly->cost->val, (std::vector<int>{5, 6, 7, 8}));
  EXPECT_EQ(costOnly->label->val, own);
  EXPECT_EQ(SetElements(costOnly->seeds.get()), (std::vector<int>{3, 2, 1, 0}));

  auto both = Annotate(img.get(), cost.get(), label.get());
  EXPECT_EQ(both->cost->val, (std::vector<int>{INF, 6, INF, 8}));
  EXPECT_EQ(both->label->val, (std::vector<int>{0, 3, -1, 4}));
  EXPECT_EQ(both->pred->val, own);
  EXPECT_EQ(SetElements(both->seeds.get()), (std::vector<int>{3, 1}));

  auto small = CreateImage(1, 2);
  EXPECT_EQ(FatalText([&] { Annotate(img.get(), small.get(), nullptr); }),
            "Error:Images have different sizes (2 x 2 and 1 x 2) in Annotate");
  DeAnnotate(&both);
  EXPECT_EQ(both, nullptr);
}

TEST(AnnImg, PathsAndRoots) {
  // 0 <- 1 <- 2, 3 <- 4, 5 alone.
  auto pred = ImageOf(3, 2, {0, 0, 1, 3, 3, 5});
  EXPECT_EQ(Seed(pred.get(), 2), 0);
  EXPECT_EQ(CompPaths(pred.get())->val, (std::vector<int>{0, 0, 0, 3, 3, 5}));
  EXPECT_EQ(Path(pred.get(), 2), (std::vector<int>{3, 2, 1, 0}));
  EXPECT_EQ(Path(pred.get(), 5), (std::vector<int>{1, 5}));
  EXPECT_EQ(SeedComp(pred.get(), 2), 0);
  EXPECT_EQ(pred->val, (std::vector<int>{0, 0, 0, 3, 3, 5}));

  auto cycle = ImageOf(2, 1, {1, 0});
  EXPECT_EQ(FatalText([&] { Seed(cycle.get(), 0); }),
            "Error:The predecessor map has a cycle in Seed");
  auto outside = ImageOf(2, 1, {5, 1});
  EXPECT_EQ(FatalText([&] { Path(outside.get(), 0); }),
            "Error:Pixel 5 is outside the image (addresses 0 to 1) in Seed");
}

TEST(AnnImg, LabelsToRootsAndBack) {
  auto label = ImageOf(2, 2, {0, 7, 2, 0});
  auto root = Label2Root(label.get());
  EXPECT_EQ(root->val, (std::vector<int>{-1, 1, 2, -1}));
  auto tree = ImageOf(2, 2, {1, 1, 2, 2});
  EXPECT_EQ(Root2Label(tree.get(), label.get())->val, (std::vector<int>{7, 7, 2, 2}));
  EXPECT_EQ(Root2Label(root.get(), label.get())->val, (std::vector<int>{0, 7, 2, 0}));
}

TEST(AnnImg, RemovingASeedResetsItsTreeAndOffersTheNeighbours) {
  // A row of five: pixels 0..2 rooted at 0, pixels 3, 4 rooted at 4.
  auto img = CreateImage(5, 1);
  auto aimg = Annotate(img.get(), nullptr, nullptr);
  aimg->pred->val = {0, 0, 1, 4, 4};
  aimg->cost->val = {0, 1, 2, 1, 0};
  aimg->label->val = {1, 1, 1, 2, 2};
  auto A = Circular(1.0f);

  EXPECT_EQ(RemSeed(aimg.get(), A.get(), 1), 0);  // not a root
  EXPECT_EQ(aimg->cost->val, (std::vector<int>{0, 1, 2, 1, 0}));
  EXPECT_EQ(aimg->seeds, nullptr);

  EXPECT_EQ(RemSeed(aimg.get(), A.get(), 4), 1);
  EXPECT_EQ(aimg->cost->val, (std::vector<int>{0, 1, 2, INF, INF}));
  EXPECT_EQ(aimg->label->val, (std::vector<int>{1, 1, 1, 0, 0}));
  EXPECT_EQ(aimg->pred->val, (std::vector<int>{0, 0, 1, 3, 4}));
  EXPECT_EQ(SetElements(aimg->seeds.get()), (std::vector<int>{2}));

  AddSeed(aimg.get(), 4, 3, 9, 4);
  EXPECT_EQ(SetElements(aimg->seeds.get()), (std::vector<int>{4, 2}));
  EXPECT_EQ(aimg->cost->val[4], 3);
  EXPECT_EQ(aimg->label->val[4], 9);
  EXPECT_EQ(GetCost(aimg.get())->val, aimg->cost->val);
  EXPECT_EQ(GetLabel(aimg.get())->val, aimg->label->val);
  EXPECT_EQ(GetPred(aimg.get())->val, aimg->pred->val);
  EXPECT_NE(GetCost(aimg.get()).get(), aimg->cost.get());
}
