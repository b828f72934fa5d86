#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <vector>

#include "core/sort.h"
#include "support/fatal.h"

TEST(BucketSort, ThreeValues) {
  std::vector<int> v{3, 1, 2};
  EXPECT_EQ(BucketSort(v, 1), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(BucketSort(v, 0), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(BucketSort(v, 7), (std::vector<int>{3, 2, 1}));  // any order but 1 decreases
  EXPECT_EQ(BucketSort(v.data(), 2, 1), (std::vector<int>{1, 3}));
  EXPECT_EQ(v, (std::vector<int>{3, 1, 2}));  // the input stays
}

TEST(BucketSort, EdgeInputs) {
  EXPECT_TRUE(BucketSort(std::vector<int>{}, 1).empty());
  EXPECT_EQ(BucketSort(std::vector<int>{0, 0, 0}, 1), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(BucketSort(std::vector<int>{4}, 0), (std::vector<int>{4}));
  EXPECT_EQ(FatalText([] { BucketSort(std::vector<int>{2, -1}, 1); }),
            "Error:Negative value -1 in BucketSort");
  EXPECT_EQ(FatalText([] { BucketSort(std::vector<int>{INT_MAX}, 1); }),
            "Error:Value 2147483647 is too large in BucketSort");
}

TEST(BucketSort, RandomAgainstStandardSort) {
  for (unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    std::vector<int> v(500);
    for (int &x : v) x = static_cast<int>(rng() % (seed * 50));
    std::vector<int> up = v, down = v;
    std::sort(up.begin(), up.end());
    std::sort(down.begin(), down.end(), std::greater<int>());
    EXPECT_EQ(BucketSort(v, 1), up);
    EXPECT_EQ(BucketSort(v, 0), down);
  }
}
