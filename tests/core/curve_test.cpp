// Curves: records, files, the fixed-partition sorts, filling and joining.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "core/common.h"
#include "core/curve.h"

namespace {

std::unique_ptr<Curve> MakeCurve(std::vector<double> x, std::vector<double> y) {
  auto c = CreateCurve(static_cast<int>(x.size()));
  c->X = x;
  c->Y = y;
  return c;
}

std::string TempPath(const char *name) {
  return std::string("/tmp/orvane_curve_test_") + std::to_string(getpid()) + "_" + name;
}

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream(path) << text;
}

std::string ReadText(const std::string &path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The error text a call raises, or "" when it succeeds.
template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const FatalError &e) {
    return e.what();
  }
  return "";
}

// The partition and sort written directly from their description, with
// plain recursion, to check the production sort against.
int RefPart(std::vector<double> &x, std::vector<double> &y, int left, int right, int order) {
  double pivot = y[left];
  int i = left, j = right;
  while (true) {
    if (order == 1) {
      while (i <= j && y[i] <= pivot) i++;
      while (y[j] > pivot) j--;
    } else {
      while (i <= j && y[i] >= pivot) i++;
      while (y[j] < pivot) j--;
    }
    if (i < j) {
      std::swap(x[i], x[j]);
      std::swap(y[i], y[j]);
      i++;
      j--;
    }
    if (i > j) break;
  }
  if (j != left) {
    std::swap(x[left], x[j]);
    std::swap(y[left], y[j]);
  }
  return j;
}

void RefSort(std::vector<double> &x, std::vector<double> &y, int left, int right, int order) {
  if (left < right) {
    int p = RefPart(x, y, left, right, order);
    RefSort(x, y, left, p - 1, order);
    RefSort(x, y, p + 1, right, order);
  }
}

}  // namespace

TEST(CurveRecord, CreateCopyDestroy) {
  auto c = CreateCurve(3);
  ASSERT_EQ(c->n, 3);
  EXPECT_EQ(c->X, std::vector<double>(3, 0.0));
  EXPECT_EQ(c->Y, std::vector<double>(3, 0.0));
  c->X[1] = 2.5;
  c->Y[2] = -1.0;
  auto copy = CopyCurve(c.get());
  EXPECT_EQ(copy->n, 3);
  EXPECT_EQ(copy->X, c->X);
  EXPECT_EQ(copy->Y, c->Y);
  DestroyCurve(&c);
  EXPECT_EQ(c, nullptr);
  DestroyCurve(&c);  // null is ignored

  auto c3 = CreateCurve3D(2);
  EXPECT_EQ(c3->Z, std::vector<double>(2, 0.0));
  DestroyCurve3D(&c3);
  EXPECT_EQ(c3, nullptr);

  EXPECT_EQ(CreateCurve(0)->n, 0);
  EXPECT_EQ(ErrorOf([] { CreateCurve(-1); }), "Error:Invalid number of points -1 in CreateCurve");
  EXPECT_EQ(ErrorOf([] { CreateCurve3D(-2); }),
            "Error:Invalid number of points -2 in CreateCurve3D");
}

TEST(CurveFile, WriteThenReadRoundTrip) {
  std::string path = TempPath("round.cur");
  auto c = MakeCurve({0, 12.5, -3.25}, {255, 0.5, 1e6});
  WriteCurve(c.get(), path.c_str());
  EXPECT_EQ(ReadText(path), "3\n0.000000 255.000000\n12.500000 0.500000\n-3.250000 1000000.000000\n");
  auto back = ReadCurve(path.c_str());
  EXPECT_EQ(back->n, 3);
  EXPECT_EQ(back->X, c->X);
  EXPECT_EQ(back->Y, c->Y);

  // Overwriting replaces the old contents.
  auto empty = CreateCurve(0);
  WriteCurve(empty.get(), path.c_str());
  EXPECT_EQ(ReadText(path), "0\n");
  EXPECT_EQ(ReadCurve(path.c_str())->n, 0);
  remove(path.c_str());
}

TEST(CurveFile, ReadingNarrowsToSinglePrecisionAndAcceptsAnySpacing) {
  std::string path = TempPath("spacing.cur");
  WriteText(path, "  2 0.1\t0.2\n\n 1.5   -7 trailing text is ignored");
  auto c = ReadCurve(path.c_str());
  ASSERT_EQ(c->n, 2);
  EXPECT_EQ(c->X[0], static_cast<double>(0.1f));
  EXPECT_EQ(c->Y[0], static_cast<double>(0.2f));
  EXPECT_NE(c->X[0], 0.1);
  EXPECT_EQ(c->X[1], 1.5);
  EXPECT_EQ(c->Y[1], -7.0);
  remove(path.c_str());
}

TEST(CurveFile, BadFilesFailWithTheirReason) {
  std::string path = TempPath("bad.cur");
  std::string where = "Error:Cannot read curve file " + path + ": ";
  auto readError = [&](const std::string &text) {
    WriteText(path, text);
    return ErrorOf([&] { ReadCurve(path.c_str()); });
  };
  EXPECT_EQ(readError("3\n0 0\n1 1\n"), where + "expected 3 points, found 2 in ReadCurve");
  EXPECT_EQ(readError("2\n0 0\n1"), where + "expected 2 points, found 1 in ReadCurve");
  EXPECT_EQ(readError("5\n"), where + "expected 5 points, found 0 in ReadCurve");
  EXPECT_EQ(readError("2\n0 0\nabc 1\n"), where + "malformed number in point 2 in ReadCurve");
  EXPECT_EQ(readError(""), where + "no point count in ReadCurve");
  EXPECT_EQ(readError("points\n"), where + "no point count in ReadCurve");
  EXPECT_EQ(readError("-4\n"), where + "invalid point count -4 in ReadCurve");
  // A count no file could back is refused before any memory is taken.
  EXPECT_EQ(readError("99999999999\n0 0\n"), where + "invalid point count 99999999999 in ReadCurve");
  EXPECT_EQ(readError("2000000\n0 0\n"), where + "expected 2000000 points, found 1 in ReadCurve");
  remove(path.c_str());

  EXPECT_EQ(ErrorOf([] { ReadCurve("/nonexistent/dir/c.cur"); }),
            "Error:Cannot open /nonexistent/dir/c.cur in ReadCurve");
}

TEST(CurveFile, UnwritableTargetsFailAndLeaveNoFile) {
  auto c = MakeCurve({1}, {2});
  EXPECT_EQ(ErrorOf([&] { WriteCurve(c.get(), "/nonexistent/dir/c.cur"); }),
            "Error:Cannot open /nonexistent/dir/c.cur in WriteCurve");
  auto c3 = CreateCurve3D(1);
  EXPECT_EQ(ErrorOf([&] { WriteCurve3D(c3.get(), "/nonexistent/dir/c.cur"); }),
            "Error:Cannot open /nonexistent/dir/c.cur in WriteCurve3D");
}

TEST(CurveFile, Curve3DHasNoCountLine) {
  std::string path = TempPath("c3.txt");
  auto c = CreateCurve3D(2);
  c->X = {1, -2};
  c->Y = {0.5, 3};
  c->Z = {7, 0.25};
  WriteCurve3D(c.get(), path.c_str());
  EXPECT_EQ(ReadText(path), "1.000000 0.500000 7.000000\n-2.000000 3.000000 0.250000\n");
  remove(path.c_str());
}

TEST(CurveSort, OrdersByYMovingX) {
  auto c = MakeCurve({10, 20, 30}, {3, 1, 2});
  SortCurve(c.get(), 0, 2, 1);
  EXPECT_EQ(c->Y, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(c->X, (std::vector<double>{20, 30, 10}));
  c = MakeCurve({10, 20, 30}, {3, 1, 2});
  SortCurve(c.get(), 0, 2, 0);
  EXPECT_EQ(c->Y, (std::vector<double>{3, 2, 1}));
  EXPECT_EQ(c->X, (std::vector<double>{10, 30, 20}));
  // Any order other than 1 is decreasing.
  c = MakeCurve({10, 20, 30}, {1, 3, 2});
  SortCurve(c.get(), 0, 2, 7);
  EXPECT_EQ(c->Y, (std::vector<double>{3, 2, 1}));
}

TEST(CurveSort, EqualKeysFollowThePartitionNotStability) {
  // Traced by hand: y 1 1 0 1 sorts to x 2 1 3 0 (a stable sort: 2 0 1 3).
  auto c = MakeCurve({0, 1, 2, 3}, {1, 1, 0, 1});
  SortCurve(c.get(), 0, 3, 1);
  EXPECT_EQ(c->X, (std::vector<double>{2, 1, 3, 0}));
  EXPECT_EQ(c->Y, (std::vector<double>{0, 1, 1, 1}));
}

TEST(CurveSort, PartitionReturnsThePivotIndex) {
  auto c = MakeCurve({10, 20, 30}, {3, 1, 2});
  EXPECT_EQ(PartCurve(c.get(), 0, 2, 1), 2);
  EXPECT_EQ(c->Y, (std::vector<double>{2, 1, 3}));
  EXPECT_EQ(c->X, (std::vector<double>{30, 20, 10}));
  EXPECT_EQ(PartCurve(c.get(), 1, 1, 1), 1);
}

TEST(CurveSort, MatchesTheRecursiveDefinitionOnSubranges) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; trial++) {
    int n = 1 + static_cast<int>(rng() % 40);
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; i++) {
      x[i] = i;
      y[i] = static_cast<double>(rng() % 6);  // many ties
    }
    int left = static_cast<int>(rng() % n), right = static_cast<int>(rng() % n);
    if (left > right) std::swap(left, right);
    int order = static_cast<int>(rng() % 2);
    auto c = MakeCurve(x, y);
    RefSort(x, y, left, right, order);
    SortCurve(c.get(), left, right, order);
    ASSERT_EQ(c->X, x) << "trial " << trial;
    ASSERT_EQ(c->Y, y) << "trial " << trial;
  }
}

TEST(CurveSort, LongReverseRunsDoNotExhaustTheStack) {
  // A reverse run nests one partition per point: deep enough to overflow a
  // recursive sort's stack under the sanitizers, short enough to stay quick.
  int n = 20001;
  auto c = CreateCurve(n);
  for (int i = 0; i < n; i++) c->Y[i] = n - i;
  SortCurve(c.get(), 0, n - 1, 1);
  for (int i = 0; i < n; i++) ASSERT_EQ(c->Y[i], i + 1);
}

TEST(CurveSort, RangesAreChecked) {
  auto c = MakeCurve({1, 2}, {2, 1});
  EXPECT_EQ(ErrorOf([&] { SortCurve(c.get(), 0, 2, 1); }),
            "Error:Index range 0..2 outside a curve of 2 points in SortCurve");
  EXPECT_EQ(ErrorOf([&] { SortCurve(c.get(), -1, 1, 1); }),
            "Error:Index range -1..1 outside a curve of 2 points in SortCurve");
  EXPECT_EQ(ErrorOf([&] { PartCurve(c.get(), 2, 2, 1); }),
            "Error:Index range 2..2 outside a curve of 2 points in PartCurve");
  EXPECT_EQ(ErrorOf([&] { PartCurve(c.get(), 1, 0, 1); }), "Error:Empty index range in PartCurve");
  // Empty ranges, including those of an empty curve, are nothing to do.
  auto empty = CreateCurve(0);
  EXPECT_EQ(ErrorOf([&] { SortCurve(empty.get(), 0, -1, 1); }), "");
  EXPECT_EQ(ErrorOf([&] { SortCurve(c.get(), 1, 1, 1); }), "");
  EXPECT_EQ(c->Y, (std::vector<double>{2, 1}));
}

TEST(CurveSort, NaNKeysNeitherHangNorOverrun) {
  double nan = std::nan("");
  auto c = MakeCurve({0, 1, 2, 3}, {nan, 2, nan, 1});
  SortCurve(c.get(), 0, 3, 1);
  SortCurve(c.get(), 0, 3, 0);
  EXPECT_EQ(c->n, 4);
}

TEST(Curve3DSort, OrdersByZMovingXAndY) {
  auto c = CreateCurve3D(3);
  c->X = {1, 2, 3};
  c->Y = {4, 5, 6};
  c->Z = {9, 7, 8};
  SortCurve3D(c.get(), 0, 2, 1);
  EXPECT_EQ(c->Z, (std::vector<double>{7, 8, 9}));
  EXPECT_EQ(c->X, (std::vector<double>{2, 3, 1}));
  EXPECT_EQ(c->Y, (std::vector<double>{5, 6, 4}));
  EXPECT_EQ(PartCurve3D(c.get(), 0, 2, 0), 2);
  EXPECT_EQ(c->Z, (std::vector<double>{9, 8, 7}));
  EXPECT_EQ(ErrorOf([&] { SortCurve3D(c.get(), 0, 3, 1); }),
            "Error:Index range 0..3 outside a curve of 3 points in SortCurve3D");
}

TEST(CurveInvert, SwapsCoordinates) {
  auto c = MakeCurve({1, 2}, {3, 4});
  InvertXY(c.get());
  EXPECT_EQ(c->X, (std::vector<double>{3, 4}));
  EXPECT_EQ(c->Y, (std::vector<double>{1, 2}));
}

TEST(CurveFill, InterpolatesAtUnitSteps) {
  auto c = MakeCurve({0, 4}, {0, 1});
  auto f = FillCurve(c.get(), 1.0);
  EXPECT_EQ(f->X, (std::vector<double>{0, 1, 2, 3, 4}));
  EXPECT_EQ(f->Y, (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
}

TEST(CurveFill, CloseSourcePointsAreTakenOneStepLate) {
  // (0.5, 1) is taken at x = 1, and the slope then runs from it to (3, 0).
  auto c = MakeCurve({0, 0.5, 3}, {0, 1, 0});
  auto f = FillCurve(c.get(), 1.0);
  ASSERT_EQ(f->n, 4);
  EXPECT_DOUBLE_EQ(f->Y[0], 0.0);
  EXPECT_DOUBLE_EQ(f->Y[1], 1.0);
  EXPECT_DOUBLE_EQ(f->Y[2], 0.6);
  EXPECT_DOUBLE_EQ(f->Y[3], 0.0);
}

TEST(CurveFill, HalfSteps) {
  auto c = MakeCurve({2, 3}, {10, 20});
  auto f = FillCurve(c.get(), 0.5);
  EXPECT_EQ(f->X, (std::vector<double>{2, 2.5, 3}));
  EXPECT_EQ(f->Y, (std::vector<double>{10, 15, 20}));
}

TEST(CurveFill, UnsortedInputCountsFromItsExtremes) {
  auto c = MakeCurve({4, 0}, {1, 0});
  auto f = FillCurve(c.get(), 1.0);
  EXPECT_EQ(f->X, (std::vector<double>{0, 1, 2, 3, 4}));
  EXPECT_EQ(f->Y, (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
  // The input is left sorted by x.
  EXPECT_EQ(c->X, (std::vector<double>{0, 4}));
  EXPECT_EQ(c->Y, (std::vector<double>{0, 1}));

  // First and last x equal before sorting, a span of 6 after.
  c = MakeCurve({3, 0, 6, 3}, {1, 0, 2, 1});
  f = FillCurve(c.get(), 1.0);
  EXPECT_EQ(f->n, 7);
  EXPECT_EQ(f->X.front(), 0.0);
  EXPECT_EQ(f->X.back(), 6.0);
}

TEST(CurveFill, EqualXNeverDividesByZero) {
  // Sorted by x the points become (0, 1), (0, 0), (2, 1); traced by hand.
  auto c = MakeCurve({0, 0, 2}, {0, 1, 1});
  auto f = FillCurve(c.get(), 1.0);
  EXPECT_EQ(f->X, (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(f->Y, (std::vector<double>{1, 0, 1}));

  c = MakeCurve({3, 3}, {5, 7});
  f = FillCurve(c.get(), 1.0);
  ASSERT_EQ(f->n, 1);
  EXPECT_EQ(f->X[0], 3.0);
  EXPECT_TRUE(std::isfinite(f->Y[0]));
  EXPECT_EQ(f->Y[0], 7.0);

  auto one = MakeCurve({5}, {2});
  f = FillCurve(one.get(), 0.25);
  EXPECT_EQ(f->n, 1);
  EXPECT_EQ(f->Y[0], 2.0);
}

TEST(CurveFill, BadStepsAndEmptyCurvesFail) {
  auto c = MakeCurve({0, 4}, {0, 1});
  EXPECT_EQ(ErrorOf([&] { FillCurve(c.get(), 0.0); }), "Error:Invalid step 0 in FillCurve");
  EXPECT_EQ(ErrorOf([&] { FillCurve(c.get(), -1.0); }), "Error:Invalid step -1 in FillCurve");
  EXPECT_EQ(ErrorOf([&] { FillCurve(c.get(), std::nan("")); }),
            "Error:Invalid step nan in FillCurve");
  auto empty = CreateCurve(0);
  EXPECT_EQ(ErrorOf([&] { FillCurve(empty.get(), 1.0); }),
            "Error:Cannot resample an empty curve in FillCurve");
  EXPECT_EQ(ErrorOf([&] { FillCurve(c.get(), 1e-12); }),
            "Error:Cannot resample x from 0 to 4 at step 1e-12 in FillCurve");
}

TEST(CurveJoin, MergesByXKeepingTheLargerY) {
  auto a = MakeCurve({0, 5}, {1, 2});
  auto b = MakeCurve({5, 9}, {7, 0});
  auto j = JoinCurve(a.get(), b.get());
  EXPECT_EQ(j->X, (std::vector<double>{0, 5, 9}));
  EXPECT_EQ(j->Y, (std::vector<double>{1, 7, 0}));
  // The inputs are untouched.
  EXPECT_EQ(a->X, (std::vector<double>{0, 5}));
  EXPECT_EQ(b->Y, (std::vector<double>{7, 0}));

  auto unsorted = MakeCurve({9, 1}, {3, 4});
  j = JoinCurve(unsorted.get(), a.get());
  EXPECT_EQ(j->X, (std::vector<double>{0, 1, 5, 9}));
  EXPECT_EQ(j->Y, (std::vector<double>{1, 4, 2, 3}));
}

TEST(CurveJoin, OfThreeEqualXTheFirstAndThirdRemain) {
  // Sorting by x leaves (1, 2), (1, 9), (1, 5) (traced by hand).
  auto a = MakeCurve({1, 1, 1}, {5, 2, 9});
  auto none = CreateCurve(0);
  auto j = JoinCurve(a.get(), none.get());
  EXPECT_EQ(j->X, (std::vector<double>{1, 1}));
  EXPECT_EQ(j->Y, (std::vector<double>{9, 5}));
  EXPECT_EQ(JoinCurve(none.get(), none.get())->n, 0);
}

TEST(CurveMaximumTest, StartsFromZero) {
  EXPECT_EQ(CurveMaximum(MakeCurve({0, 1}, {-2, -1}).get()), 0.0);
  EXPECT_EQ(CurveMaximum(MakeCurve({0, 1, 2}, {3, 7.5, -9}).get()), 7.5);
  EXPECT_EQ(CurveMaximum(CreateCurve(0).get()), 0.0);
}

TEST(LinePoints, StepsOfUnitLengthFromP) {
  auto line = GetLinePoints({1, 2, 3}, {4, 6, 3});  // length 5
  ASSERT_EQ(line->n, 5);
  for (int k = 0; k < 5; k++) {
    EXPECT_DOUBLE_EQ(line->X[k], 1 + 0.6 * k);
    EXPECT_DOUBLE_EQ(line->Y[k], 2 + 0.8 * k);
    EXPECT_EQ(line->Z[k], 3.0);
  }
  // sqrt(3) = 1.73 rounds to 2 points, sqrt(2) = 1.41 to 1.
  line = GetLinePoints({0, 0, 0}, {1, -1, 1});
  ASSERT_EQ(line->n, 2);
  EXPECT_DOUBLE_EQ(line->X[1], 1 / std::sqrt(3.0));
  EXPECT_DOUBLE_EQ(line->Y[1], -1 / std::sqrt(3.0));
  EXPECT_EQ(GetLinePoints({0, 0, 0}, {1, 1, 0})->n, 1);
  EXPECT_EQ(GetLinePoints({5, 5, 5}, {5, 5, 5})->n, 0);
  // q is not included.
  line = GetLinePoints({0, 0, 0}, {0, 0, 2});
  EXPECT_EQ(line->Z, (std::vector<double>{0, 1}));
}

TEST(LinePoints, PointsNeedThreeCoordinates) {
  EXPECT_EQ(ErrorOf([] { GetLinePoints({0, 0}, {1, 1, 1}); }),
            "Error:A point needs three integers in GetLinePoints");
  EXPECT_EQ(ErrorOf([] { GetLinePoints({0, 0, 0}, {1, 1, 1, 1}); }),
            "Error:A point needs three integers in GetLinePoints");
  EXPECT_NE(ErrorOf([] { GetLinePoints({0, 0, 0}, {2000000000, 2000000000, 0}); }), "");
}
