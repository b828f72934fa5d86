#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "core/frame.h"
#include "support/fatal.h"

static void ExpectVertex(const Frame &f, int v, float x, float y, float z) {
  EXPECT_EQ(f.vert[v].x, x) << "vertex " << v;
  EXPECT_EQ(f.vert[v].y, y) << "vertex " << v;
  EXPECT_EQ(f.vert[v].z, z) << "vertex " << v;
}

TEST(Frame, CubeIsCentredOnTheOrigin) {
  auto f = CreateFrame(10, 10, 10);
  EXPECT_EQ(f->xsize, 10);
  ExpectVertex(*f, 0, -5, -5, -5);
  ExpectVertex(*f, 1, 4, -5, -5);
  ExpectVertex(*f, 2, -5, 4, -5);
  ExpectVertex(*f, 4, -5, -5, 4);
  ExpectVertex(*f, 6, -5, 4, 4);
  ExpectVertex(*f, 7, 4, 4, 4);
}

TEST(Frame, OddSizesUseIntegerHalves) {
  auto f = CreateFrame(11, 6, 3);
  ExpectVertex(*f, 0, -5, -3, -1);
  ExpectVertex(*f, 7, 5, 2, 1);
  ExpectVertex(*f, 3, 5, 2, -1);
}

TEST(Frame, FaceAndEdgeTables) {
  auto f = CreateFrame(2, 3, 4);
  const int faces[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                           {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
  const int edges[12][2] = {{0, 2}, {0, 1}, {1, 3}, {2, 3}, {0, 4}, {4, 6},
                            {2, 6}, {4, 5}, {5, 7}, {6, 7}, {3, 7}, {1, 5}};
  for (int i = 0; i < 6; i++)
    for (int k = 0; k < 4; k++) EXPECT_EQ(f->face[i][k], faces[i][k]);
  for (int i = 0; i < 12; i++)
    for (int k = 0; k < 2; k++) EXPECT_EQ(f->edge[i][k], edges[i][k]);

  // Geometry: the edges are exactly the twelve vertex pairs one bit apart,
  // and each face walks four such pairs around vertices sharing one bit.
  std::set<std::pair<int, int>> edgeSet, oneBit;
  for (auto &e : f->edge) edgeSet.insert({e[0], e[1]});
  for (int a = 0; a < 8; a++)
    for (int b = a + 1; b < 8; b++)
      if (__builtin_popcount(a ^ b) == 1) oneBit.insert({a, b});
  EXPECT_EQ(edgeSet, oneBit);
  for (auto &face : f->face) {
    int common = 7;
    for (int k = 0; k < 4; k++) {
      int a = face[k], b = face[(k + 1) % 4];
      EXPECT_EQ(__builtin_popcount(a ^ b), 1);
      common &= ~(a ^ face[0]);
    }
    EXPECT_EQ(__builtin_popcount(common), 1);
  }
}

TEST(Frame, SetFrameVertFollowsAClipBox) {
  auto f = CreateFrame(10, 10, 10);
  SetFrameVert(f.get(), 2, 5, 0, 9, 3, 3);
  ExpectVertex(*f, 0, -3, -5, -2);
  ExpectVertex(*f, 5, 0, -5, -2);
  ExpectVertex(*f, 7, 0, 4, -2);
  EXPECT_EQ(f->face[0][1], 4);  // tables untouched
}

TEST(Frame, BadSizesFailAndDestroyClears) {
  EXPECT_EQ(FatalText([] { CreateFrame(0, 1, 1); }), "Error:Invalid size 0 x 1 x 1 in CreateFrame");
  auto f = CreateFrame(1, 1, 1);
  ExpectVertex(*f, 7, 0, 0, 0);
  DestroyFrame(&f);
  EXPECT_EQ(f, nullptr);
  DestroyFrame(&f);
}
