#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "core/scene.h"
#include "segment/mathematics3.h"
#include "support/fatal.h"

namespace {

std::unique_ptr<Scene> SceneOf(std::vector<int> values, float dx = 1.0f) {
  auto s = CreateScene(static_cast<int>(values.size()), 1, 1);
  s->data.assign(values.begin(), values.end());
  s->dx = dx;
  return s;
}

}  // namespace

TEST(Mathematics3, DifferencesClampAtZero) {
  auto a = SceneOf({3, 5, 7, INT_MIN}, 0.5f);
  auto b = SceneOf({5, 3, 7, 1});
  EXPECT_EQ(Diff3(a.get(), b.get())->data, (std::vector<int>{0, 2, 0, INT_MAX}));  // wraps, then clamps
  EXPECT_EQ(Diff3(a.get(), a.get())->data, (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(Diff3(a.get(), b.get())->dx, 1.0f);
}

TEST(Mathematics3, SumsProductsAndAdditionsWrap) {
  auto a = SceneOf({INT_MAX, 2, -3, 65536}, 0.5f);
  auto b = SceneOf({1, 3, 4, 65536});
  auto sum = Sum3(a.get(), b.get());
  EXPECT_EQ(sum->data, (std::vector<int>{INT_MIN, 5, 1, 131072}));
  EXPECT_EQ(sum->dx, 1.0f);
  auto product = Mult3(a.get(), b.get());
  EXPECT_EQ(product->data, (std::vector<int>{INT_MAX, 6, -12, 0}));
  EXPECT_EQ(product->dx, 0.5f);
  auto added = Add3(a.get(), -4);
  EXPECT_EQ(added->data, (std::vector<int>{INT_MAX - 4, -2, -7, 65532}));
  EXPECT_EQ(added->dx, 1.0f);
  EXPECT_EQ(Add3(a.get(), 1)->data[0], INT_MIN);
}

// The wrap is the arithmetic's, but never silent: each operation that
// wrapped says how many voxels did.
TEST(Mathematics3, WrapsAreReported) {
  auto a = SceneOf({INT_MAX, 2, INT_MIN});
  testing::internal::CaptureStdout();
  Sum3(a.get(), a.get());
  Add3(a.get(), 1);
  Mult3(a.get(), a.get());
  Diff3(a.get(), a.get());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning:2 voxels overflow 32 bits and wrap in Sum3\n"
            "Warning:1 voxels overflow 32 bits and wrap in Add3\n"
            "Warning:2 voxels overflow 32 bits and wrap in Mult3\n");
}

TEST(Mathematics3, MaximumOfTwo) {
  auto a = SceneOf({1, -5, 9});
  auto b = SceneOf({2, -6, 9});
  EXPECT_EQ(Max3(a.get(), b.get())->data, (std::vector<int>{2, -5, 9}));
}

TEST(Mathematics3, ComplementAgainstTheMaximum) {
  auto bin = SceneOf({0, 1, 1, 0}, 2.0f);
  auto c = Complement3(bin.get());
  EXPECT_EQ(c->data, (std::vector<int>{1, 0, 0, 1}));
  EXPECT_EQ(c->dx, 1.0f);
  auto grey = SceneOf({4, 10, 0});
  EXPECT_EQ(Complement3(grey.get())->data, (std::vector<int>{6, 0, 10}));
  EXPECT_EQ(grey->maxval, 10);
}

TEST(Mathematics3, SquareRootsTruncate) {
  auto a = SceneOf({0, 1, 2, 3, 4, 15, 16, INT_MAX, -9}, 0.5f);
  auto r = SQRT3(a.get());
  EXPECT_EQ(r->data, (std::vector<int>{0, 1, 1, 1, 2, 3, 4, 46340, 0}));
  EXPECT_EQ(r->dx, 0.5f);
}

TEST(Mathematics3, BinaryOperandsOfDifferentSizesFail) {
  auto a = CreateScene(2, 2, 2);
  auto b = CreateScene(2, 2, 3);
  const char *tail = " (2 x 2 x 2 and 2 x 2 x 3)";
  EXPECT_EQ(FatalText([&] { Diff3(a.get(), b.get()); }),
            std::string("Error:Scenes have different sizes") + tail + " in Diff3");
  EXPECT_EQ(FatalText([&] { Sum3(a.get(), b.get()); }),
            std::string("Error:Scenes have different sizes") + tail + " in Sum3");
  EXPECT_EQ(FatalText([&] { Max3(a.get(), b.get()); }),
            std::string("Error:Scenes have different sizes") + tail + " in Max3");
  EXPECT_EQ(FatalText([&] { Mult3(a.get(), b.get()); }),
            std::string("Error:Scenes have different sizes") + tail + " in Mult3");
  // A larger second operand is refused too.
  EXPECT_NE(FatalText([&] { Sum3(b.get(), a.get()); }), "");
}
