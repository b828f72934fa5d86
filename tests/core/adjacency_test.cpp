#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <utility>
#include <vector>

#include "core/adjacency.h"
#include "core/adjacency3.h"
#include "core/image.h"
#include "core/scene.h"
#include "support/fatal.h"

using Pairs = std::vector<std::pair<int, int>>;
struct Triple {
  int x, y, z;
  bool operator==(const Triple &o) const { return x == o.x && y == o.y && z == o.z; }
};
using Triples = std::vector<Triple>;

static Pairs Displacements(const AdjRel &A) {
  Pairs p;
  for (int i = 0; i < A.n; i++) p.push_back({A.dx[i], A.dy[i]});
  EXPECT_EQ(A.dx.size(), static_cast<size_t>(A.n));
  return p;
}

static Triples Displacements3(const AdjRel3 &A) {
  Triples t;
  for (int i = 0; i < A.n; i++) t.push_back({A.dx[i], A.dy[i], A.dz[i]});
  return t;
}

// ---- relations built from a radius ----

TEST(Spheric, SizesAndOrder) {
  auto A = Spheric(1.8f);
  ASSERT_EQ(A->n, 27);
  Triples t = Displacements3(*A);
  EXPECT_EQ(t[0], (Triple{0, 0, 0}));
  EXPECT_EQ(t[1], (Triple{-1, -1, -1}));
  EXPECT_EQ(t[26], (Triple{1, 1, 1}));
  EXPECT_EQ(Spheric(0.5f)->n, 1);
  EXPECT_EQ(Spheric(1.0f)->n, 7);
  EXPECT_EQ(Spheric(1.5f)->n, 19);
  // The six face neighbours keep scan order behind the origin.
  EXPECT_EQ(Displacements3(*Spheric(1.0f)),
            (Triples{{0, 0, 0}, {0, 0, -1}, {0, -1, 0}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
}

// The two selection passes of the definition, written out, against the
// relation for radii where many displacements share an angle.
TEST(Circular, LargeRadiiKeepTheSelectionOrderAndComeQuickly) {
  for (float r : {2.9f, 7.5f, 20.0f}) {
    auto A = Circular(r);
    std::vector<int> dx(A->dx), dy(A->dy);
    std::vector<float> angle(A->n), length(A->n);
    for (int i = 0; i < A->n; i++) {
      length[i] = i == 0 ? 0.0f : static_cast<float>(std::sqrt(static_cast<double>(dx[i] * dx[i] + dy[i] * dy[i])));
      double a = std::atan2(static_cast<double>(-dy[i]), static_cast<double>(-dx[i])) * 180.0 / 3.1415926536;
      angle[i] = i == 0 ? 0.0f : static_cast<float>(a < 0.0 ? a + 360.0 : a);
    }
    for (int i = 2; i < A->n; i++) {
      ASSERT_LE(angle[i - 1], angle[i]) << "r " << r << " at " << i;
      if (angle[i - 1] == angle[i]) {
        ASSERT_LT(length[i - 1], length[i]);
      }
    }
    EXPECT_EQ(dx[0], 0);
    EXPECT_EQ(dy[0], 0);
  }
  EXPECT_GT(Circular(400.0f)->n, 500000);  // n^2 sorting would take minutes here
}

TEST(Circular, AngleThenLengthOrder) {
  EXPECT_EQ(Displacements(*Circular(1.0f)), (Pairs{{0, 0}, {-1, 0}, {0, -1}, {1, 0}, {0, 1}}));
  EXPECT_EQ(Displacements(*Circular(1.5f)),
            (Pairs{{0, 0}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}}));
  // Radius 2: (-1,0) and (-2,0) share angle 0; the shorter comes first.
  Pairs r2 = Displacements(*Circular(2.0f));
  ASSERT_EQ(r2.size(), 13u);
  EXPECT_EQ(r2[1], (std::pair<int, int>{-1, 0}));
  EXPECT_EQ(r2[2], (std::pair<int, int>{-2, 0}));
}

// ---- boxes ----

TEST(Box, EvenSizesGrowAndOriginComesFirst) {
  auto A = Box(4, 3);
  ASSERT_EQ(A->n, 15);
  Pairs expected{{0, 0}};
  for (int dy = -1; dy <= 1; dy++)
    for (int dx = -2; dx <= 2; dx++)
      if (dx != 0 || dy != 0) expected.push_back({dx, dy});
  EXPECT_EQ(Displacements(*A), expected);
  EXPECT_EQ(Displacements(*Box(0, 1)), (Pairs{{0, 0}}));
  EXPECT_EQ(Displacements(*Box(1, 2)), (Pairs{{0, 0}, {0, -1}, {0, 1}}));
  EXPECT_EQ(FatalText([] { Box(-1, 3); }), "Error:Invalid box size -1 x 3 in Box");
}

TEST(Cube, MatchesTheFullBallAndGrowsEvenSizes) {
  // The 3 x 3 x 3 box and the ball of radius 1.8 hold the same 27
  // displacements in the same order.
  EXPECT_EQ(Displacements3(*Cube(3, 3, 3)), Displacements3(*Spheric(1.8f)));
  EXPECT_EQ(Displacements3(*Cube(2, 1, 1)), (Triples{{0, 0, 0}, {-1, 0, 0}, {1, 0, 0}}));
  auto C = Cube(1, 1, 4);
  EXPECT_EQ(Displacements3(*C),
            (Triples{{0, 0, 0}, {0, 0, -2}, {0, 0, -1}, {0, 0, 1}, {0, 0, 2}}));
  EXPECT_EQ(FatalText([] { Cube(3, -2, 3); }), "Error:Invalid box size 3 x -2 x 3 in Cube");
}

// ---- derived relations ----

TEST(SideRelations, EightNeighbourhoodByHand) {
  auto A = Circular(1.5f);
  // Rows grow downwards: facing left, the right hand points up.
  EXPECT_EQ(Displacements(*RightSide(A.get())),
            (Pairs{{0, 0}, {0, -1}, {0, -1}, {1, 0}, {1, 0}, {0, 1}, {0, 1}, {-1, 0}, {-1, 0}}));
  EXPECT_EQ(Displacements(*LeftSide(A.get())),
            (Pairs{{0, 0}, {0, 1}, {-1, 0}, {-1, 0}, {0, -1}, {0, -1}, {1, 0}, {1, 0}, {0, 1}}));
}

TEST(SideRelations, LongerStepsMoveTheMidpoint) {
  auto A = CreateAdjRel(3);
  A->dx[1] = 2;   // (2, 0), d = 2
  A->dy[2] = -2;  // (0, -2), d = 2
  EXPECT_EQ(Displacements(*RightSide(A.get())), (Pairs{{0, 0}, {1, 1}, {1, -1}}));
  EXPECT_EQ(Displacements(*LeftSide(A.get())), (Pairs{{0, 0}, {1, -1}, {-1, -1}}));
}

TEST(ComplAdj, LargerMinusSmallerInTheLargerOrder) {
  auto four = Circular(1.0f), eight = Circular(1.5f);
  Pairs diagonals{{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  EXPECT_EQ(Displacements(*ComplAdj(four.get(), eight.get())), diagonals);
  EXPECT_EQ(Displacements(*ComplAdj(eight.get(), four.get())), diagonals);
  EXPECT_EQ(ComplAdj(eight.get(), eight.get()), nullptr);

  // Equal sizes: the second relation counts as the larger.
  auto horizontal = Box(3, 1), vertical = Box(1, 3);
  EXPECT_EQ(Displacements(*ComplAdj(horizontal.get(), vertical.get())), (Pairs{{0, -1}, {0, 1}}));
  EXPECT_EQ(Displacements(*ComplAdj(vertical.get(), horizontal.get())), (Pairs{{-1, 0}, {1, 0}}));
}

TEST(FrameSize, LargestComponent) {
  EXPECT_EQ(FrameSize(Circular(1.5f).get()), 1);
  EXPECT_EQ(FrameSize(Circular(2.5f).get()), 2);
  EXPECT_EQ(FrameSize(Box(5, 7).get()), 3);
  EXPECT_EQ(FrameSize(CreateAdjRel(0).get()), 0);
  auto A = CreateAdjRel(2);
  A->dy[1] = -4;
  EXPECT_EQ(FrameSize(A.get()), 4);
  EXPECT_EQ(FrameSize3(Spheric(1.8f).get()), 1);
  EXPECT_EQ(FrameSize3(Cube(1, 3, 7).get()), 3);
  EXPECT_EQ(FrameSize3(Spheric(0.5f).get()), 0);
}

// ---- offsets ----

TEST(AdjPixels, OffsetsReachTheNeighbours) {
  auto img = CreateImage(10, 7);
  auto A = Circular(1.5f);
  auto off = AdjPixels(img.get(), A.get());
  ASSERT_EQ(off->n, 9);
  EXPECT_EQ(off->dp, (std::vector<int>{0, -1, -11, -10, -9, 1, 11, 10, 9}));
  // Against the image's own addressing, for an interior pixel.
  int p = 3 + img->tbrow[4];
  for (int i = 0; i < A->n; i++) EXPECT_EQ(p + off->dp[i], (3 + A->dx[i]) + img->tbrow[4 + A->dy[i]]);
  DestroyAdjPxl(&off);
  EXPECT_EQ(off, nullptr);
  DestroyAdjPxl(&off);  // null is ignored
}

TEST(AdjPixels, OffsetBeyondThirtyTwoBitsFails) {
  Image wide;  // only the width matters to the offsets
  wide.ncols = 1 << 30;
  auto A = Box(1, 5);
  EXPECT_EQ(FatalText([&] { AdjPixels(&wide, A.get()); }),
            "Error:Displacement offset out of range in AdjPixels");
}

TEST(AdjVoxels, OffsetsReachTheNeighbours) {
  Scene scn;
  scn.xsize = 4;
  scn.ysize = 3;
  scn.zsize = 2;
  auto off = AdjVoxels(&scn, Spheric(1.0f).get());
  EXPECT_EQ(off->dp, (std::vector<int>{0, -12, -4, -1, 1, 4, 12}));
  auto A = Spheric(1.8f);
  off = AdjVoxels(&scn, A.get());
  for (int i = 0; i < A->n; i++) EXPECT_EQ(off->dp[i], A->dx[i] + 4 * A->dy[i] + 12 * A->dz[i]);
  DestroyAdjVxl(&off);
  EXPECT_EQ(off, nullptr);

  scn.xsize = scn.ysize = 1 << 16;
  EXPECT_EQ(FatalText([&] { AdjVoxels(&scn, A.get()); }),
            "Error:Displacement offset out of range in AdjVoxels");
}

TEST(AdjRelations, MissingInputsFail) {
  EXPECT_EQ(FatalText([] { FrameSize(nullptr); }), "Error:No adjacency relation in FrameSize");
  EXPECT_EQ(FatalText([] { RightSide(nullptr); }), "Error:No adjacency relation in RightSide");
  auto A = Circular(1.0f);
  EXPECT_EQ(FatalText([&] { AdjPixels(nullptr, A.get()); }), "Error:No image in AdjPixels");
}
