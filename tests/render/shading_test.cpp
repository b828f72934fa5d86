// Slice colouring and z-buffer shading. The fill is checked three ways on
// label images: small cases worked by hand, nested rings against a plain
// flood fill of the enclosed background, and random images against a
// step-by-step replay of the propagation on ordinary containers, plus the
// property that no pixel could still be lowered. Shading and normals use
// tiny hand-made z-buffers whose values are worked out in the comments.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <deque>
#include <map>
#include <random>
#include <vector>

#include "core/scene.h"
#include "render/context.h"
#include "render/shading.h"
#include "support/fatal.h"

namespace {

std::unique_ptr<Image> MakeImage(int ncols, int nrows, const std::vector<int> &values) {
  auto img = CreateImage(ncols, nrows);
  img->val = values;
  return img;
}

std::unique_ptr<Scene> MakeScene(int xs, int ys, int zs) { return CreateScene(xs, ys, zs); }

// Draws the outline of the rectangle [x0, x1] x [y0, y1].
void DrawRing(Image *img, int x0, int y0, int x1, int y1, int label) {
  for (int x = x0; x <= x1; x++) img->at(x, y0) = img->at(x, y1) = label;
  for (int y = y0; y <= y1; y++) img->at(x0, y) = img->at(x1, y) = label;
}

const int kDx4[4] = {-1, 0, 1, 0};
const int kDy4[4] = {0, -1, 0, 1};

// ---- FillSlice by hand ----

TEST(FillSlice, RingIsFilledAndOutsideStaysZero) {
  auto img = CreateImage(7, 7);
  DrawRing(img.get(), 1, 1, 5, 5, 3);
  auto out = FillSlice(img.get());
  for (int y = 0; y < 7; y++)
    for (int x = 0; x < 7; x++) {
      bool inside = x >= 1 && x <= 5 && y >= 1 && y <= 5;
      EXPECT_EQ(out->at(x, y), inside ? 3 : 0) << x << "," << y;
    }
}

TEST(FillSlice, NestedRingsFillWithTheirOwnLabels) {
  auto img = CreateImage(11, 11);
  DrawRing(img.get(), 1, 1, 9, 9, 2);
  DrawRing(img.get(), 3, 3, 7, 7, 5);
  auto out = FillSlice(img.get());
  EXPECT_EQ(out->at(0, 0), 0);
  EXPECT_EQ(out->at(2, 2), 2);  // between the rings
  EXPECT_EQ(out->at(8, 5), 2);
  EXPECT_EQ(out->at(3, 5), 5);  // the inner ring keeps its label
  EXPECT_EQ(out->at(5, 5), 5);  // inside the inner ring
}

TEST(FillSlice, AllZeroAndLabelsAbove255) {
  auto zero = CreateImage(4, 3);
  auto out = FillSlice(zero.get());
  EXPECT_EQ(std::count(out->val.begin(), out->val.end(), 0), 12);

  // A ring of 300 encloses 300; FillSlice clears both, FillCutPlane keeps them.
  auto img = CreateImage(5, 5);
  DrawRing(img.get(), 0, 0, 4, 4, 300);
  out = FillSlice(img.get());
  EXPECT_EQ(std::count(out->val.begin(), out->val.end(), 0), 25);
  auto cut = FillCutPlane(nullptr, img.get());
  EXPECT_EQ(std::count(cut->val.begin(), cut->val.end(), 300), 25);
}

TEST(FillSlice, IsolatedPixelInAHoleTakesTheLargerValue) {
  auto img = CreateImage(7, 7);
  DrawRing(img.get(), 0, 0, 6, 6, 3);
  img->at(3, 3) = 7;
  auto out = FillSlice(img.get());
  EXPECT_EQ(out->at(3, 3), 7);
  EXPECT_EQ(out->at(2, 2), 3);

  img->at(3, 3) = 1;
  out = FillSlice(img.get());
  EXPECT_EQ(out->at(3, 3), 3);  // max(1, 3)
}

// A smaller label touching the ring from inside drops below the bucket
// being served (4 -> 1) and then lowers the pixels of the hole already
// filled with 4: the whole hole becomes 1.
TEST(FillSlice, LowerLabelInsideLowersTheHole) {
  auto img = CreateImage(7, 7);
  DrawRing(img.get(), 0, 0, 6, 6, 4);
  img->at(1, 3) = 1;
  img->at(2, 3) = 1;
  auto out = FillSlice(img.get());
  for (int y = 1; y <= 5; y++)
    for (int x = 1; x <= 5; x++) EXPECT_EQ(out->at(x, y), 1) << x << "," << y;
  EXPECT_EQ(out->at(0, 3), 4);
}

TEST(FillSlice, RefusesNegativeAndHugeLabels) {
  auto img = MakeImage(2, 2, {0, 1, -3, 0});
  EXPECT_EQ(FatalText([&] { FillSlice(img.get()); }),
            "Error:Negative label -3 in a label image in FillSlice");
  img->val[2] = INT_MAX;
  EXPECT_NE(FatalText([&] { FillSlice(img.get()); }).find("too large to fill"),
            std::string::npos);
}

// ---- FillSlice against independent computations ----

// Background 4-connected to the border through background stays 0; every
// other background component takes the smallest label next to it; labels
// stay. Values above 255 become 0.
std::vector<int> FloodFillOfRings(const Image &img) {
  const int nc = img.ncols, nr = img.nrows, n = nc * nr;
  std::vector<int> comp(n, -1), out = img.val;
  int ncomp = 0;
  for (int s = 0; s < n; s++) {
    if (img.val[s] != 0 || comp[s] != -1) continue;
    std::vector<int> stack{s}, members;
    comp[s] = ncomp;
    bool border = false;
    int smallest = INT_MAX;
    while (!stack.empty()) {
      int p = stack.back();
      stack.pop_back();
      members.push_back(p);
      int x = p % nc, y = p / nc;
      if (x == 0 || y == 0 || x == nc - 1 || y == nr - 1) border = true;
      for (int k = 0; k < 4; k++) {
        int qx = x + kDx4[k], qy = y + kDy4[k];
        if (qx < 0 || qy < 0 || qx >= nc || qy >= nr) continue;
        int q = qx + qy * nc;
        if (img.val[q] != 0) {
          smallest = std::min(smallest, img.val[q]);
        } else if (comp[q] == -1) {
          comp[q] = ncomp;
          stack.push_back(q);
        }
      }
    }
    for (int p : members) out[p] = border ? 0 : smallest;
    ncomp++;
  }
  for (int &v : out)
    if (v > 255) v = 0;
  return out;
}

// Random nested rectangular rings, one zero pixel apart, whose labels do
// not decrease inwards.
void AddRings(Image *img, std::mt19937 &rng, int x0, int y0, int x1, int y1, int minLabel,
              int depth) {
  if (x1 - x0 < 2 || y1 - y0 < 2 || depth > 4) return;
  std::uniform_int_distribution<int> coin(0, 3);
  if (coin(rng) == 0) return;
  int label = std::uniform_int_distribution<int>(minLabel, minLabel + 120)(rng);
  DrawRing(img, x0, y0, x1, y1, label);
  // Inside: one ring, or two side by side.
  int ix0 = x0 + 2, iy0 = y0 + 2, ix1 = x1 - 2, iy1 = y1 - 2;
  if (ix1 - ix0 >= 6 && coin(rng) < 2) {
    int mid = (ix0 + ix1) / 2;
    AddRings(img, rng, ix0, iy0, mid - 1, iy1, label, depth + 1);
    AddRings(img, rng, mid + 1, iy0, ix1, iy1, label, depth + 1);
  } else {
    AddRings(img, rng, ix0, iy0, ix1, iy1, label, depth + 1);
  }
}

TEST(FillSlice, NestedRandomRingsMatchAPlainFloodFill) {
  for (unsigned seed = 1; seed <= 60; seed++) {
    std::mt19937 rng(seed);
    int nc = std::uniform_int_distribution<int>(5, 40)(rng);
    int nr = std::uniform_int_distribution<int>(5, 40)(rng);
    auto img = CreateImage(nc, nr);
    // Two rings side by side at the top level, some touching the border.
    int mid = nc / 2;
    AddRings(img.get(), rng, 0, 1, mid - 1, nr - 1, 1, 0);
    AddRings(img.get(), rng, mid + 1, 0, nc - 2, nr - 2, 1, 0);
    auto out = FillSlice(img.get());
    EXPECT_EQ(out->val, FloodFillOfRings(*img)) << "seed " << seed;
  }
}

// The propagation replayed on a map of FIFO lists: served from the lowest
// key; a pixel that changes key is appended to its new list (stale entries
// are skipped), also when it had been served already. No frame: neighbours
// outside the image are simply absent.
std::vector<int> ReplayFill(const Image &img) {
  const int nc = img.ncols, nr = img.nrows, n = nc * nr;
  int m = *std::max_element(img.val.begin(), img.val.end());
  std::vector<int> M(n, m + 1);
  for (int p = 0; p < n; p++) {
    int x = p % nc, y = p / nc;
    if (x == 0 || y == 0 || x == nc - 1 || y == nr - 1) M[p] = img.val[p];
  }
  std::map<int, std::deque<int>> lists;
  std::vector<bool> queued(n, true);
  for (int p = 0; p < n; p++) lists[M[p]].push_back(p);
  while (!lists.empty()) {
    auto it = lists.begin();
    int key = it->first, p = it->second.front();
    it->second.pop_front();
    if (it->second.empty()) lists.erase(it);
    if (!queued[p] || M[p] != key) continue;  // stale entry
    queued[p] = false;
    int x = p % nc, y = p / nc;
    // The neighbour order of the fill: left, up, right, down.
    for (int k = 0; k < 4; k++) {
      int qx = x + kDx4[k], qy = y + kDy4[k];
      if (qx < 0 || qy < 0 || qx >= nc || qy >= nr) continue;
      int q = qx + qy * nc;
      if (!(M[p] < M[q])) continue;
      int c = img.val[p] != 0 && img.val[q] != 0 ? img.val[q] : std::max(img.val[q], M[p]);
      if (c < M[q]) {
        M[q] = c;
        queued[q] = true;
        lists[c].push_back(q);
      }
    }
  }
  return M;
}

TEST(FillSlice, RandomLabelImagesMatchAReplayAndAreStable) {
  for (unsigned seed = 100; seed < 160; seed++) {
    std::mt19937 rng(seed);
    int nc = std::uniform_int_distribution<int>(1, 30)(rng);
    int nr = std::uniform_int_distribution<int>(1, 30)(rng);
    int maxLabel = std::uniform_int_distribution<int>(1, 300)(rng);
    int zeroPercent = std::uniform_int_distribution<int>(20, 80)(rng);
    auto img = CreateImage(nc, nr);
    for (int &v : img->val)
      v = std::uniform_int_distribution<int>(0, 99)(rng) < zeroPercent
              ? 0
              : std::uniform_int_distribution<int>(1, maxLabel)(rng);
    std::unique_ptr<Image> out;
    ASSERT_EQ(FatalText([&] { out = FillCutPlane(nullptr, img.get()); }), "") << seed;
    ASSERT_EQ(out->val, ReplayFill(*img)) << "seed " << seed;

    for (int p = 0; p < nc * nr; p++) {
      int x = p % nc, y = p / nc;
      EXPECT_GE(out->val[p], img->val[p]);
      if (x == 0 || y == 0 || x == nc - 1 || y == nr - 1) {
        EXPECT_EQ(out->val[p], img->val[p]);
      }
      for (int k = 0; k < 4; k++) {
        int qx = x + kDx4[k], qy = y + kDy4[k];
        if (qx < 0 || qy < 0 || qx >= nc || qy >= nr) continue;
        int q = qx + qy * nc;
        if (out->val[p] >= out->val[q]) continue;
        int c = img->val[p] != 0 && img->val[q] != 0 ? img->val[q]
                                                     : std::max(img->val[q], out->val[p]);
        EXPECT_GE(c, out->val[q]) << "seed " << seed << ": pixel " << q << " could still drop";
      }
    }
    auto cleared = FillSlice(img.get());
    for (int &v : out->val)
      if (v > 255) v = 0;
    EXPECT_EQ(cleared->val, out->val) << "seed " << seed;
  }
}

// ---- colouring label images ----

TEST(ColorizeSlice, DefaultContextGives254ForLabelsAndBlackOtherwise) {
  auto cxt = NewContext(4, 4, 4);
  std::vector<int> labels;
  for (int v = -1; v <= 257; v++) labels.push_back(v);
  auto img = MakeImage(static_cast<int>(labels.size()), 1, labels);
  auto c = ColorizeSlice(cxt.get(), img.get());
  for (size_t p = 0; p < labels.size(); p++) {
    int expected = labels[p] >= 1 && labels[p] <= 255 ? 254 : 0;  // 256+ paints as label 0
    for (int b = 0; b < 3; b++) EXPECT_EQ(c->C[b]->val[p], expected) << labels[p];
  }
}

TEST(ColorizeSlice, ColouredLabel) {
  auto cxt = NewContext(4, 4, 4);
  SetObjectColor(cxt.get(), 7, 1.0f, 0.0f, 0.0f);
  auto img = MakeImage(1, 1, {7});
  auto c = ColorizeSlice(cxt.get(), img.get());
  // Y = 0.257 + 16/255, Cr - 128/255 = 0.439, Cb - 128/255 = -0.148:
  // R = 0.257 * 296.82 + 406.98 * 0.439 = 254.95, G = 76.28 - 91.01 + 14.79
  // = 0.07, B = 76.28 - 76.12 = 0.16.
  EXPECT_EQ(c->C[0]->val[0], 254);
  EXPECT_EQ(c->C[1]->val[0], 0);
  EXPECT_EQ(c->C[2]->val[0], 0);
}

TEST(OverlaySlice, HalfAndHalfOverGrey) {
  auto cxt = NewContext(4, 4, 4);
  auto obj = MakeImage(3, 1, {1, 0, 2});
  auto grey = MakeImage(3, 1, {100, 37, 51});
  auto c = OverlaySlice(cxt.get(), obj.get(), grey.get());
  for (int b = 0; b < 3; b++) {
    EXPECT_EQ(c->C[b]->val[0], 177);  // trunc(254 * 0.5 + 50)
    EXPECT_EQ(c->C[b]->val[1], 37);   // no label: the grey value
    EXPECT_EQ(c->C[b]->val[2], 152);  // trunc(127 + trunc(25.5))
  }
  auto alone = OverlaySlice(cxt.get(), obj.get(), nullptr);
  EXPECT_EQ(alone->C[0]->val, (std::vector<int>{254, 0, 254}));

  auto small = MakeImage(2, 1, {1, 2});
  EXPECT_EQ(FatalText([&] { OverlaySlice(cxt.get(), obj.get(), small.get()); }),
            "Error:Label and grey images differ in size (3x1 and 2x1) in OverlaySlice");
}

TEST(ColorizeCut, PaintsOnlyLabelledPixels) {
  auto cxt = NewContext(4, 4, 4);
  auto cimg = CreateCImage(3, 1);
  for (auto &band : cimg->C) band->val = {9, 9, 9};
  auto img = MakeImage(3, 1, {0, 5, -2});
  ColorizeCut(cxt.get(), cimg.get(), img.get());
  for (int b = 0; b < 3; b++) EXPECT_EQ(cimg->C[b]->val, (std::vector<int>{9, 254, 9}));
  auto wrong = MakeImage(1, 3, {0, 5, -2});
  EXPECT_NE(FatalText([&] { ColorizeCut(cxt.get(), cimg.get(), wrong.get()); }), "");
}

// NewContext(2, 2, 2) has a 3 x 3 z-buffer (isize = trunc(sqrt(12))).
TEST(Colorize, LuminanceFromTheImageChromaFromTheObject) {
  auto cxt = NewContext(2, 2, 2);
  ZBuffer &zb = *cxt->zbuffer;
  SetObjectColor(cxt.get(), 3, 1.0f, 0.0f, 0.0f);
  auto img = MakeImage(3, 3, {255, 100, 0, 200, 100, 50, 0, 0, 0});
  // The image maximum is 255.
  zb.voxel[3] = 0;
  zb.object[3] = 1;  // white object, luminance 200/255
  zb.voxel[4] = 0;
  zb.object[4] = 3;  // red object, luminance 100/255
  zb.voxel[5] = 0;
  zb.object[5] = 1;  // white object, luminance 50/255
  auto c = Colorize(cxt.get(), img.get());
  EXPECT_EQ(c->C[0]->val[0], 255);  // nothing seen, grey 255: white
  EXPECT_EQ(c->C[2]->val[0], 255);
  EXPECT_EQ(c->C[0]->val[1], 0);    // nothing seen otherwise: black
  // (0.7843 - 0.0627) * 296.82 = 214.2
  for (int b = 0; b < 3; b++) EXPECT_EQ(c->C[b]->val[3], 214);
  // Red chroma at luminance 0.3922: L = (0.3922 - 0.0627) * 296.82 = 97.79;
  // R = L + 406.98 * 0.439, G = L - 207.315 * 0.439 + 99.96 * 0.148 = 21.57,
  // B = L - 514.335 * 0.148 = 21.67.
  EXPECT_EQ(c->C[0]->val[4], 255);
  EXPECT_EQ(c->C[1]->val[4], 21);
  EXPECT_EQ(c->C[2]->val[4], 21);
  for (int b = 0; b < 3; b++) EXPECT_EQ(c->C[b]->val[5], 39);  // (0.1961 - 0.0627) * 296.82

  auto wrong = CreateImage(2, 2);
  EXPECT_NE(FatalText([&] { Colorize(cxt.get(), wrong.get()); }), "");
}

TEST(AccVoxelColor, AddsTheLowByteOfTheWeightedColour) {
  auto cxt = NewContext(2, 2, 2);
  auto cimg = CreateCImage(2, 1);
  // White chroma at luminance 0.5: 129.79 per plane; * 0.5 -> 64.
  AccVoxelColor(cimg.get(), cxt.get(), 1, 0.5f, 0.5f, 1);
  AccVoxelColor(cimg.get(), cxt.get(), 1, 0.5f, 0.5f, 257);  // 257 mod 256 = 1
  for (int b = 0; b < 3; b++) EXPECT_EQ(cimg->C[b]->val[1], 128);
  // Clamped to 255, times 2 = 510, low byte 254.
  AccVoxelColor(cimg.get(), cxt.get(), 0, 1.0f, 2.0f, 1);
  for (int b = 0; b < 3; b++) EXPECT_EQ(cimg->C[b]->val[0], 254);
  // 255 * 1e9 is beyond int: its low byte, 255e9 mod 256 = 0.
  AccVoxelColor(cimg.get(), cxt.get(), 0, 1.0f, 1e9f, 1);
  const int beyond = 254 + static_cast<int>(std::fmod(std::trunc(255.0 * 1e9), 256.0));
  EXPECT_EQ(cimg->C[0]->val[0], beyond);
  // An infinite weight (a transparency grown without bound) has no low
  // byte and adds nothing; neither does one that is not a number.
  for (const float opac : {INFINITY, -INFINITY, NAN}) {
    AccVoxelColor(cimg.get(), cxt.get(), 0, 1.0f, opac, 1);
    for (int b = 0; b < 3; b++) EXPECT_EQ(cimg->C[b]->val[0], beyond);
  }
}

// ---- depth and Phong shading ----

TEST(DepthShading, NearerIsBrighter) {
  auto cxt = NewContext(2, 2, 2);
  ZBuffer &zb = *cxt->zbuffer;
  const int pix[3] = {0, 4, 8};
  const float dist[3] = {1.0f, 2.0f, 5.0f};
  for (int i = 0; i < 3; i++) {
    zb.voxel[pix[i]] = 0;
    zb.dist[pix[i]] = dist[i];
  }
  zb.dist[1] = -100.0f;  // no voxel: not part of the range
  auto img = DepthShading(cxt.get());
  // (5 - d) * 255 / 4: 255, 191.25, 0.
  EXPECT_EQ(img->val, (std::vector<int>{255, 0, 0, 0, 191, 0, 0, 0, 0}));

  zb.dist[8] = zb.dist[4] = 1.0f;  // one depth: all black
  img = DepthShading(cxt.get());
  EXPECT_EQ(std::count(img->val.begin(), img->val.end(), 0), 9);
}

TEST(PhongShading, OneDepthGives255OnTheSurface) {
  auto cxt = NewContext(2, 2, 2);
  cxt->zbuffer->voxel[2] = 3;
  cxt->zbuffer->voxel[7] = 1;
  auto img = PhongShading(cxt.get());
  EXPECT_EQ(img->val, (std::vector<int>{0, 0, 255, 0, 0, 0, 0, 255, 0}));
  InitZBuffer(cxt->zbuffer.get());
  img = PhongShading(cxt.get());
  EXPECT_EQ(std::count(img->val.begin(), img->val.end(), 0), 9);
}

// A 5 x 5 patch of a flat surface facing the viewer: pixel (col, row)
// sees voxel (4 - col, row, 0), so the clockwise ring turns about -z and
// the normal is (0, 0, -1) = the viewer. c = 1, s = 1, spec = 1; depth =
// col, dmin 0, dmax 4, k = 63.75; I = (4 - col) * 63.75 * 0.9 + 25.5.
TEST(PhongShading, FlatSurfaceFacingTheViewer) {
  auto cxt = NewContext(5, 5, 1);  // 7 x 7 z-buffer
  ZBuffer &zb = *cxt->zbuffer;
  for (int row = 0; row < 5; row++)
    for (int col = 0; col < 5; col++) {
      int p = col + zb.tbrow[row];
      zb.voxel[p] = (4 - col) + 5 * row;
      zb.dist[p] = static_cast<float>(col);
      zb.object[p] = 1;
    }
  auto img = PhongShading(cxt.get());
  const int expected[5] = {255, 198, 140, 83, 26};  // 255, 197.625, 140.25, 82.875, 25.5
  for (int row = 0; row < 5; row++)
    for (int col = 0; col < 5; col++) EXPECT_EQ(img->at(col, row), expected[col]) << col;
  EXPECT_EQ(img->at(6, 6), 0);

  // Facing away (voxel (col, row, 0)): c = -1 -> 0, s = -1, only the
  // ambient 25.5 -> 26 is left.
  for (int row = 0; row < 5; row++)
    for (int col = 0; col < 5; col++) zb.voxel[col + zb.tbrow[row]] = col + 5 * row;
  img = PhongShading(cxt.get());
  EXPECT_EQ(img->at(2, 2), 26);
  EXPECT_EQ(img->at(0, 4), 26);
}

TEST(PhongShadingScene, NormalFromTheSceneGradient) {
  // s = z: at the centre voxel 13 of 3 x 3 x 3 the gradient is
  // (0, 0, 0 - 2) -> (0, 0, -1), the viewer.
  auto scn = MakeScene(3, 3, 3);
  for (int v = 0; v < 27; v++) scn->data[v] = v / 9;
  auto cxt = NewContext(3, 3, 3);  // 5 x 5 z-buffer
  ZBuffer &zb = *cxt->zbuffer;
  zb.voxel[0] = zb.voxel[6] = 13;
  zb.dist[0] = 0.0f;
  zb.dist[6] = 4.0f;
  auto img = PhongShadingScene(cxt.get(), scn.get());
  EXPECT_EQ(img->val[0], 255);
  EXPECT_EQ(img->val[6], 26);
  EXPECT_EQ(img->val[1], 0);

  zb.voxel[6] = 27;  // beyond the scene
  EXPECT_NE(FatalText([&] { PhongShadingScene(cxt.get(), scn.get()); }).find("Voxel 27 outside"),
            std::string::npos);
  auto other = MakeScene(3, 3, 2);
  EXPECT_EQ(FatalText([&] { PhongShadingScene(cxt.get(), other.get()); }),
            "Error:Scene of 3x3x2 voxels for a context of 3x3x3 in PhongShadingScene");
}

// ---- normals ----

void ExpectVector(const float n[3], double x, double y, double z) {
  EXPECT_NEAR(n[0], x, 1e-6);
  EXPECT_NEAR(n[1], y, 1e-6);
  EXPECT_NEAR(n[2], z, 1e-6);
}

TEST(ObjectNormal, TiltedPlaneInsideAndOnTheBorder) {
  // Pixel (col, row) sees (4 - col, row, col): the plane spanned by
  // (-1, 0, 1) and (0, 1, 0), normal (-1, 0, -1) / sqrt 2 for the
  // clockwise ring.
  auto cxt = NewContext(5, 5, 5);  // 8 x 8 z-buffer
  ZBuffer &zb = *cxt->zbuffer;
  for (int row = 0; row < 5; row++)
    for (int col = 0; col < 5; col++) zb.voxel[col + zb.tbrow[row]] = (4 - col) + 5 * row + 25 * col;
  const double h = 1.0 / std::sqrt(2.0);
  float n[3];
  const int pixels[] = {2 + zb.tbrow[2], 0, 2, 0 + zb.tbrow[2], 4 + zb.tbrow[4]};
  for (int p : pixels) {
    ObjectNormal(p, cxt.get(), n);
    ExpectVector(n, -h, 0.0, -h);
  }
  ObjectNormal(7 + zb.tbrow[7], cxt.get(), n);  // nothing seen there
  ExpectVector(n, 0, 0, 0);
  EXPECT_EQ(FatalText([&] { ObjectNormal(64, cxt.get(), n); }),
            "Error:Pixel 64 outside the z-buffer of 64 pixels in ObjectNormal");
  EXPECT_NE(FatalText([&] { ObjectNormal(-1, cxt.get(), n); }), "");
}

TEST(ObjectNormal, CornerArcHasNoClosingPair) {
  // Pixel 0 (first row and column) has the ring E, SE, S. Relative to p:
  // E (1, 0, 0), SE (1, 1, 1), S (0, 1, 0). E x SE = (0, -1, 1), SE x S =
  // (-1, 0, 1); the sum of their unit vectors normalised is
  // (-1, -1, 2) / sqrt 6. A closing pair S x E = (0, 0, -1) would change it.
  auto cxt = NewContext(5, 5, 5);
  ZBuffer &zb = *cxt->zbuffer;
  auto vox = [](int x, int y, int z) { return x + 5 * y + 25 * z; };
  zb.voxel[0] = vox(1, 1, 1);
  zb.voxel[1] = vox(2, 1, 1);
  zb.voxel[1 + zb.tbrow[1]] = vox(2, 2, 2);
  zb.voxel[zb.tbrow[1]] = vox(1, 2, 1);
  float n[3];
  ObjectNormal(0, cxt.get(), n);
  const double s6 = std::sqrt(6.0);
  ExpectVector(n, -1 / s6, -1 / s6, 2 / s6);
}

TEST(SceneNormal, GradientWithZeroBeyondTheFaces) {
  auto scn = MakeScene(3, 3, 3);
  std::fill(scn->data.begin(), scn->data.end(), 5);
  float n[3];
  SceneNormal(13, scn.get(), n);  // flat inside
  ExpectVector(n, 0, 0, 0);
  SceneNormal(0, scn.get(), n);   // (0 - 5, 0 - 5, 0 - 5)
  const double r = 1.0 / std::sqrt(3.0);
  ExpectVector(n, -r, -r, -r);
  SceneNormal(26, scn.get(), n);  // (5 - 0, 5 - 0, 5 - 0)
  ExpectVector(n, r, r, r);
  EXPECT_EQ(FatalText([&] { SceneNormal(27, scn.get(), n); }),
            "Error:Voxel 27 outside the scene of 27 voxels in SceneNormal");
}

// ---- scene slices and the depth code ----

TEST(SceneSlices, TurnedBy180DegreesExceptZ) {
  auto scn = MakeScene(2, 3, 4);
  for (int v = 0; v < 24; v++) scn->data[v] = v;
  auto x = GetXCSlice(scn.get(), 1);
  ASSERT_EQ(x->ncols(), 3);
  ASSERT_EQ(x->nrows(), 4);
  EXPECT_EQ(x->C[1]->at(2, 3), scn->Address(1, 0, 0));  // bottom right
  EXPECT_EQ(x->C[2]->at(0, 0), scn->Address(1, 2, 3));
  auto y = GetYCSlice(scn.get(), 2);
  ASSERT_EQ(y->ncols(), 2);
  ASSERT_EQ(y->nrows(), 4);
  EXPECT_EQ(y->C[0]->at(1, 3), scn->Address(0, 2, 0));
  EXPECT_EQ(y->C[0]->at(0, 1), scn->Address(1, 2, 2));
  auto z = GetZCSlice(scn.get(), 3);
  ASSERT_EQ(z->ncols(), 2);
  ASSERT_EQ(z->nrows(), 3);
  EXPECT_EQ(z->C[2]->at(1, 2), scn->Address(1, 2, 3));
  EXPECT_EQ(FatalText([&] { GetXCSlice(scn.get(), 2); }), "Error:Slice x=2 outside 0..1 in GetXCSlice");
  EXPECT_NE(FatalText([&] { GetZCSlice(scn.get(), -1); }), "");
}

TEST(FillPlane, AddsTheDepthCodeToBlue) {
  auto cxt = NewContext(2, 2, 2);  // isize 3: k = 85
  auto cimg = CreateCImage(3, 3);
  std::fill(cimg->C[2]->val.begin(), cimg->C[2]->val.end(), 1);
  InitZBuffer(cxt->zbuffer.get());  // dist 3 everywhere -> 255
  cxt->zbuffer->dist[0] = 0.5f;     // 42.5 -> 42
  FillPlane(cimg.get(), cxt.get());
  EXPECT_EQ(cimg->C[2]->val[0], 43);
  EXPECT_EQ(cimg->C[2]->val[8], 256);
  EXPECT_EQ(cimg->C[0]->val[8], 0);
  auto wrong = CreateCImage(3, 2);
  EXPECT_NE(FatalText([&] { FillPlane(wrong.get(), cxt.get()); }), "");
}

}  // namespace

// The specular power: by repeated multiplication up to kRepeatedPowerLimit
// (bit for bit the shading's results), by squaring beyond. Where every
// product is exact the two agree; elsewhere both stay within n roundings
// of the power.
TEST(SpecularPower, SquaringAgreesWhereProductsAreExact) {
  auto repeated = [](double r, int n) {
    double p = 1.0;
    for (int i = 0; i < n; i++) p *= r;
    return p;
  };
  for (double r : {0.0, 1.0, 0.5, 0.25}) {
    for (int n : {0, 1, 2, 3, 16, 17, 40, 1000}) {
      EXPECT_EQ(SpecularPower(r, n), repeated(r, n)) << r << "^" << n;
    }
  }
  for (double r : {0.75, 0.9, 0.3}) {
    for (int n = 0; n <= kRepeatedPowerLimit; n++) EXPECT_EQ(SpecularPower(r, n), repeated(r, n));
  }
  EXPECT_EQ(SpecularPower(0.9, -5), 1.0);
  EXPECT_EQ(SpecularPower(1.0, 2147483647), 1.0);
  EXPECT_EQ(SpecularPower(0.5, 2147483647), 0.0);
  EXPECT_EQ(SpecularPower(0.0, 2147483647), 0.0);
  for (int n : {17, 100, 1001}) {
    const double exact = std::pow(0.9, n);
    // Each order is within n roundings of the power.
    EXPECT_NEAR(SpecularPower(0.9, n), exact, exact * n * 2.3e-16) << n;
    EXPECT_NEAR(repeated(0.9, n), exact, exact * n * 2.3e-16) << n;
  }
}
