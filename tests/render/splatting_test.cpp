// Splatting of scenes and border lists, and oblique slices: one- and
// two-voxel scenes whose pixels are worked out in the comments, the faults
// that must fail cleanly, and regression images.
//
// A 4^3 scene at angles (0, 0): isize 6, the voxel (x, y, z) projects to
// column x - 2 + 3, row y - 2 + 3, dist z - 2 + 3.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/plane.h"
#include "core/scene.h"
#include "core/set.h"
#include "render/context.h"
#include "render/reslicing.h"
#include "render/splatting.h"
#include "support/fatal.h"
#include "support/phantom.h"
#include "support/regress.h"

namespace {

std::unique_ptr<Scene> Filled(int n, const std::vector<std::array<int, 4>> &voxels) {
  auto scn = CreateScene(n, n, n);
  for (const auto &v : voxels) scn->data[scn->Address(v[0], v[1], v[2])] = v[3];
  return scn;
}

int Pixel(int u, int v) { return u + 6 * v; }

TEST(SplatScene, AllZeroSceneGivesAClearZBufferAndABlackImage) {
  auto scn = CreateScene(4, 4, 4);
  auto cxt = NewContext(4, 4, 4);
  SetAngles(cxt.get(), 20, 70);
  for (auto splat : {SplatScene, SWSplatScene}) {
    cxt->zbuffer->voxel.assign(36, 3);
    auto img = splat(scn.get(), cxt.get());
    for (int p = 0; p < 36; p++) {
      EXPECT_EQ(cxt->zbuffer->voxel[p], -1);
      EXPECT_EQ(cxt->zbuffer->dist[p], 6.0f);
      EXPECT_EQ(img->val[p], 0);
    }
  }
}

// Voxel (1, 2, 3) lands on pixel (2, 3) at dist 4 and spreads to its eight
// neighbours; the sheared splat at (0, 0) has no shear and agrees.
TEST(SplatScene, OneVoxelCoversItsPixelAndItsEightNeighbours) {
  auto scn = Filled(4, {{1, 2, 3, 256 + 9}});
  const int index = 1 + 2 * 4 + 3 * 16;
  auto cxt = NewContext(4, 4, 4);
  for (auto splat : {SplatScene, SWSplatScene}) {
    auto img = splat(scn.get(), cxt.get());
    for (int v = 0; v < 6; v++)
      for (int u = 0; u < 6; u++) {
        const int p = Pixel(u, v);
        const bool covered = u >= 1 && u <= 3 && v >= 2 && v <= 4;
        EXPECT_EQ(cxt->zbuffer->voxel[p], covered ? index : -1) << u << "," << v;
        EXPECT_EQ(cxt->zbuffer->object[p], covered ? 9 : 0);
        EXPECT_FLOAT_EQ(cxt->zbuffer->dist[p], covered ? 4.0f : 6.0f);
        EXPECT_EQ(img->val[p] > 0, covered);
      }
  }
}

// Two voxels on one pixel: the scene splat keeps the first in visiting
// order (z from 0 at octant 1), the border splat the smaller dist whatever
// the list order.
TEST(SplatScene, NearestVoxelWinsByOrderOrByDepth) {
  auto scn = Filled(4, {{2, 2, 3, 5}, {2, 2, 1, 6}});
  auto cxt = NewContext(4, 4, 4);
  SplatScene(scn.get(), cxt.get());
  EXPECT_EQ(cxt->zbuffer->object[Pixel(3, 3)], 6);
  auto border = CreateBorder(64);
  InsertBorder(border.get(), 2 + 2 * 4 + 3 * 16);  // the far one first
  InsertBorder(border.get(), 2 + 2 * 4 + 1 * 16);
  SplatBorder(scn.get(), cxt.get(), border.get());
  EXPECT_EQ(cxt->zbuffer->object[Pixel(3, 3)], 6);
  EXPECT_FLOAT_EQ(cxt->zbuffer->dist[Pixel(3, 3)], 2.0f);
  // A border voxel is splatted whatever its value.
  auto zero = CreateBorder(64);
  InsertBorder(zero.get(), 0);
  SplatBorder(scn.get(), cxt.get(), zero.get());
  EXPECT_EQ(cxt->zbuffer->voxel[Pixel(1, 1)], 0);
}

TEST(SplatScene, BadContextsAndBorderListsFail) {
  auto scn = CreateScene(4, 4, 4);
  auto other = NewContext(4, 4, 5);
  EXPECT_EQ(FatalText([&] { SplatScene(scn.get(), other.get()); }),
            "Error:The context was made for a volume of 4 x 4 x 5 but the scene is 4 x 4 x 4 in "
            "SplatScene");
  EXPECT_NE(FatalText([&] { SWSplatScene(scn.get(), other.get()); }), "");
  auto cxt = NewContext(4, 4, 4);
  auto big = CreateBorder(100);
  InsertBorder(big.get(), 70);
  EXPECT_EQ(FatalText([&] { SplatBorder(scn.get(), cxt.get(), big.get()); }),
            "Error:Border element 70 is outside the scene of 64 voxels in SplatBorder");
}

// Every octant and axis, on a full scene of odd sizes: every projected
// pixel and every widened neighbour stays inside the buffers (the
// sanitizer build checks), and something is always drawn.
TEST(SplatScene, EveryDirectionStaysInsideTheBuffers) {
  auto scn = CreateScene(5, 7, 3);
  for (int &v : scn->data) v = 2;
  auto border = CreateBorder(scn->VoxelCount());
  for (int i = 0; i < scn->VoxelCount(); i += 3) InsertBorder(border.get(), i);
  auto cxt = NewContext(5, 7, 3);
  for (float tilt : {0.f, 45.f, 90.f, 135.f, 180.f, 270.f})
    for (float spin : {0.f, 45.f, 90.f, 225.f, 270.f}) {
      SetAngles(cxt.get(), tilt, spin);
      for (auto splat : {SplatScene, SWSplatScene}) {
        splat(scn.get(), cxt.get());
        int seen = 0;
        for (int v : cxt->zbuffer->voxel) seen += v >= 0;
        EXPECT_GT(seen, 0) << tilt << " " << spin;
      }
      SplatBorder(scn.get(), cxt.get(), border.get());
    }
}

// ---- oblique slices ----

// Normal (0, 0, 1) at the origin: M is the identity, pixel (a, b) samples
// (a - 4, b - 4, 0) centred on an 8^3 scene (isize 13, halves 6 and 4):
// the middle slice z = 4, and the z-buffer takes dist 13 + 0 where empty.
TEST(SliceScene, NormalAlongZThroughTheCentreIsTheMiddleSlice) {
  auto scn = CreateScene(8, 8, 8);
  for (int i = 0; i < scn->VoxelCount(); i++) scn->data[i] = i;
  auto cxt = NewContext(8, 8, 8);
  auto pl = CreatePlane(cxt.get());
  cxt->zbuffer->voxel[0] = 77;  // a voxel already seen stays
  auto img = SliceScene(scn.get(), cxt.get(), pl.get());
  ASSERT_EQ(img->ncols, 13);
  for (int b = 0; b < 13; b++)
    for (int a = 0; a < 13; a++) {
      const int x = a - 6 + 4, y = b - 6 + 4, p = a + 13 * b;
      const bool inside = x >= 0 && x < 8 && y >= 0 && y < 8;
      EXPECT_EQ(img->val[p], inside ? scn->Address(x, y, 4) : 0) << a << "," << b;
      if (p == 0) continue;
      EXPECT_EQ(cxt->zbuffer->voxel[p], inside ? scn->Address(x, y, 4) : -1);
      EXPECT_FLOAT_EQ(cxt->zbuffer->dist[p], 13.0f);
    }
  EXPECT_EQ(cxt->zbuffer->voxel[0], 77);
}

// Three slices 2 apart: z = 4, 6, and 8 (outside: all 0); the plane ends 6
// further along its normal, and the z-buffer is left alone.
TEST(SliceScene, ResliceMovesThePlaneByTheStack) {
  auto scn = CreateScene(8, 8, 8);
  for (int i = 0; i < scn->VoxelCount(); i++) scn->data[i] = 1 + i;
  auto cxt = NewContext(8, 8, 8);
  auto pl = CreatePlane(cxt.get());
  auto stack = ResliceScene(scn.get(), cxt.get(), pl.get(), 2.0f, 3);
  EXPECT_FLOAT_EQ(pl->pz, 6.0f);
  ASSERT_EQ(stack->zsize, 3);
  EXPECT_FLOAT_EQ(stack->dz, 2.0f);
  const int centre = 6 + 13 * 6;  // samples (4, 4, z)
  EXPECT_EQ(stack->data[stack->tbz[0] + centre], 1 + scn->Address(4, 4, 4));
  EXPECT_EQ(stack->data[stack->tbz[1] + centre], 1 + scn->Address(4, 4, 6));
  EXPECT_EQ(stack->data[stack->tbz[2] + centre], 0);
  for (int v : cxt->zbuffer->voxel) EXPECT_EQ(v, -1);
  EXPECT_EQ(FatalText([&] { ResliceScene(scn.get(), cxt.get(), pl.get(), 1.0f, 0); }),
            "Error:The number of slices must be positive, not 0 in ResliceScene");
}

// A tilted plane stays inside the scene wherever it is moved.
TEST(SliceScene, TiltedPlanesReadOnlyInsideTheClipBox) {
  auto scn = CreateScene(6, 5, 7);
  for (int &v : scn->data) v = 4;
  auto cxt = NewContext(6, 5, 7);
  SetClip(cxt.get(), 1, 4, 1, 3, 2, 5);
  auto pl = CreatePlane(cxt.get());
  RotatePlaneAbs(pl.get(), 35, 70);
  for (float move : {-20.f, -2.f, 0.f, 3.f, 30.f}) {
    TranslatePlaneAbs(pl.get(), move);
    auto img = SliceScene(scn.get(), cxt.get(), pl.get());
    for (int v : img->val) EXPECT_TRUE(v == 0 || v == 4);
  }
}

// ---- regression images ----

TEST(SplatScene, RegressionImagesOfThePhantoms) {
  auto labels = phantom::LabelledPhantom(24, 24, 24);
  auto grey = phantom::GreyPhantom(24, 24, 24, 1.0f, 1.0f);
  auto cxt = NewContext(24, 24, 24);
  SetAngles(cxt.get(), 30, 40);
  ExpectRegression("SplatScene_labels.pgm", {SplatScene(labels.get(), cxt.get()).get()});
  ExpectRegression("SWSplatScene_labels.pgm", {SWSplatScene(labels.get(), cxt.get()).get()});
  auto border = CreateBorder(labels->VoxelCount());
  for (int i = 0; i < labels->VoxelCount(); i++)
    if (labels->data[i] == 4) InsertBorder(border.get(), i);
  ExpectRegression("SplatBorder_labels.pgm",
                   {SplatBorder(labels.get(), cxt.get(), border.get()).get()});
  auto pl = CreatePlane(cxt.get());
  RotatePlaneAbs(pl.get(), 20, 60);
  auto slice = SliceScene(grey.get(), cxt.get(), pl.get());
  for (int &v : slice->val) v /= 8;
  ExpectRegression("SliceScene_grey.pgm", {slice.get()});
}

}  // namespace
