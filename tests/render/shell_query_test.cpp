// Shell queries: label and value slices of small hand-made shells worked
// out in the comments and, on the labelled phantom, against slices of the
// source scene; filled label scenes; displayable slices and previews;
// highlighted and outlined objects; and the faults that must fail cleanly
// (slices outside the shell, images of another size, object shells
// previewed, window curves of one point).
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/curve.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/shell.h"
#include "render/shell_query.h"
#include "support/fatal.h"
#include "support/hand_shell.h"
#include "support/phantom.h"

namespace {

struct HandVoxel {
  int x, y, z, label;
  int opacity = 255;
  int visible = 1;
  int value = 0;     // body shells
  int gradient = 0;  // body shells
};

// A shell of exactly the listed voxels.
std::unique_ptr<Shell> MakeShell(int xs, int ys, int zs, const std::vector<HandVoxel> &vs,
                                 bool body = false) {
  std::vector<std::array<int, 3>> at;
  for (const HandVoxel &v : vs) at.push_back({v.x, v.y, v.z});
  auto shell = ShellAt(xs, ys, zs, at, body);
  for (const HandVoxel &v : vs) {
    int i = GetPointer(shell.get(), v.x, v.y, v.z);
    Voxel &r = shell->voxel[i];
    r.label = static_cast<uint8_t>(v.label);
    r.opacity = static_cast<uint8_t>(v.opacity);
    r.visible = static_cast<uint8_t>(v.visible);
    if (body) {
      shell->body[i].value = v.value;
      shell->body[i].gradient = static_cast<int16_t>(v.gradient);
    }
  }
  return shell;
}

// 3 x 2 x 2 (x, y, z: label):
//   (0,0,0):1  (2,0,0):2 hidden  (1,1,0):3  (1,0,1):4
std::unique_ptr<Shell> SmallShell() {
  return MakeShell(3, 2, 2,
                   {{0, 0, 0, 1}, {2, 0, 0, 2, 255, 0}, {1, 1, 0, 3}, {1, 0, 1, 4}});
}

// A ring of label `label` around (2, 2) in plane z of a 5 x 5 x zs shell.
std::vector<HandVoxel> Ring(int z, int label) {
  std::vector<HandVoxel> vs;
  for (int y = 1; y <= 3; y++)
    for (int x = 1; x <= 3; x++)
      if (x != 2 || y != 2) vs.push_back({x, y, z, label});
  return vs;
}

std::vector<int> Band(const CImage *c, int b) { return c->C[b]->val; }

void ExpectGrey(const CImage *c, const std::vector<int> &v) {
  for (int b = 0; b < 3; b++) EXPECT_EQ(Band(c, b), v) << "band " << b;
}

Curve MakeCurve(std::vector<double> xy) {
  Curve c;
  for (size_t i = 0; i + 1 < xy.size(); i += 2) {
    c.X.push_back(xy[i]);
    c.Y.push_back(xy[i + 1]);
  }
  c.n = static_cast<int>(c.X.size());
  return c;
}

}  // namespace

// ---- label and value slices ----

TEST(ShellSlices, LabelSlicesAcrossEachAxis) {
  auto shell = SmallShell();
  // x = 1: ysize 2 columns (y) by zsize 2 rows (z): (y1,z0):3, (y0,z1):4.
  EXPECT_EQ(GetShellXSlice(shell.get(), 1)->val, (std::vector<int>{0, 3, 4, 0}));
  // x = 2: the hidden voxel reads 256.
  EXPECT_EQ(GetShellXSlice(shell.get(), 2)->val, (std::vector<int>{256, 0, 0, 0}));
  // y = 0: 3 columns (x) by 2 rows (z).
  EXPECT_EQ(GetShellYSlice(shell.get(), 0)->val, (std::vector<int>{1, 0, 256, 0, 4, 0}));
  // z = 0: 3 columns (x) by 2 rows (y).
  EXPECT_EQ(GetShellZSlice(shell.get(), 0)->val, (std::vector<int>{1, 0, 256, 0, 3, 0}));
  auto z1 = GetShellZSlice(shell.get(), 1);
  EXPECT_EQ(z1->ncols, 3);
  EXPECT_EQ(z1->nrows, 2);
  EXPECT_EQ(z1->val, (std::vector<int>{0, 4, 0, 0, 0, 0}));
}

TEST(ShellSlices, APlaneWithoutVoxelsIsAllZero) {
  auto shell = MakeShell(4, 3, 3, {{1, 1, 0, 7}, {2, 1, 2, 7}});
  EXPECT_EQ(GetShellZSlice(shell.get(), 1)->val, std::vector<int>(12, 0));
  EXPECT_EQ(GetShellXSlice(shell.get(), 0)->val, std::vector<int>(9, 0));
  EXPECT_EQ(GetShellYSlice(shell.get(), 2)->val, std::vector<int>(12, 0));
  EXPECT_EQ(GetBodyShellZSlice(shell.get(), 0)->val, std::vector<int>(12, 0));  // no body
}

// Slices of the phantom's shell against the source scene itself, with one
// object hidden: the list-based x-slice and the row-based ones must agree
// with the volume everywhere.
TEST(ShellSlices, PhantomSlicesMatchTheSourceScene) {
  auto labels = phantom::LabelledPhantom(16, 12, 10);
  int n = 0;
  for (int v : labels->data) n += v != 0;
  auto shell = NewShell(16, 12, 10, n);
  SetShellVoxels(shell.get(), labels.get());
  SetShellList(shell.get(), labels.get());
  SetObjectVisibility(shell.get(), nullptr, 3, 0);
  auto expect = [&](int x, int y, int z) {
    int v = labels->data[labels->Address(x, y, z)];
    return v == 3 ? 256 : v;
  };
  for (int x = 0; x < 16; x++) {
    auto img = GetShellXSlice(shell.get(), x);
    for (int z = 0; z < 10; z++)
      for (int y = 0; y < 12; y++) ASSERT_EQ(img->at(y, z), expect(x, y, z)) << x << y << z;
  }
  for (int y = 0; y < 12; y++) {
    auto img = GetShellYSlice(shell.get(), y);
    for (int z = 0; z < 10; z++)
      for (int x = 0; x < 16; x++) ASSERT_EQ(img->at(x, z), expect(x, y, z)) << x << y << z;
  }
  for (int z = 0; z < 10; z++) {
    auto img = GetShellZSlice(shell.get(), z);
    for (int y = 0; y < 12; y++)
      for (int x = 0; x < 16; x++) ASSERT_EQ(img->at(x, y), expect(x, y, z)) << x << y << z;
  }
}

TEST(ShellSlices, BodySlicesWeighValuesByOpacityTruncatingTowardZero) {
  // 128 * 100 / 255 = 50.19 -> 50; 128 * -100 / 255 -> -50; 255 * 7 -> 7;
  // opacity 0 -> 0.
  auto shell = MakeShell(2, 2, 1,
                         {{0, 0, 0, 0, 128, 1, 100},
                          {1, 0, 0, 0, 128, 1, -100},
                          {0, 1, 0, 0, 255, 1, 7},
                          {1, 1, 0, 0, 0, 1, 9}},
                         true);
  EXPECT_EQ(GetBodyShellZSlice(shell.get(), 0)->val, (std::vector<int>{50, -50, 7, 0}));
  EXPECT_EQ(GetBodyShellXSlice(shell.get(), 1)->val, (std::vector<int>{-50, 0}));
  EXPECT_EQ(GetBodyShellYSlice(shell.get(), 1)->val, (std::vector<int>{7, 0}));
}

TEST(ShellSlices, SliceNumbersOutsideTheShellFail) {
  auto shell = SmallShell();
  EXPECT_EQ(FatalText([&] { GetShellZSlice(shell.get(), 2); }),
            "Error:Slice z = 2 is outside the shell (z from 0 to 1) in GetShellZSlice");
  EXPECT_EQ(FatalText([&] { GetShellXSlice(shell.get(), -1); }),
            "Error:Slice x = -1 is outside the shell (x from 0 to 2) in GetShellXSlice");
  EXPECT_EQ(FatalText([&] { GetBodyShellYSlice(shell.get(), 2); }),
            "Error:Slice y = 2 is outside the shell (y from 0 to 1) in GetBodyShellYSlice");
  EXPECT_EQ(FatalText([&] { ShellSliceImage(shell.get(), nullptr, 'x', 3, nullptr); }),
            "Error:Slice x = 3 is outside the shell (x from 0 to 2) in ShellSliceImage");
  auto body = MakeShell(3, 2, 2, {{0, 0, 0, 1}}, true);
  auto cimg = CreateCImage(3, 2);
  EXPECT_EQ(FatalText([&] {
              PreviewShellSlice(body.get(), cimg.get(), 'z', INT_MIN, nullptr, nullptr);
            }),
            "Error:Slice z = -2147483648 is outside the shell (z from 0 to 1) in "
            "PreviewShellSlice");
}

// ---- filled label scenes ----

TEST(FilledLabelScene, RingsAreFilledPlaneByPlaneAndHiddenOnesVanish) {
  std::vector<HandVoxel> vs = Ring(0, 3);
  std::vector<HandVoxel> hidden = Ring(1, 5);
  for (HandVoxel &v : hidden) v.visible = 0;
  vs.insert(vs.end(), hidden.begin(), hidden.end());
  vs.push_back({0, 0, 2, 9});  // a lone voxel on the border of plane 2
  auto shell = MakeShell(5, 5, 3, vs);
  shell->dx = 0.5f;
  shell->dy = 0.5f;
  shell->dz = 2.0f;
  auto scn = FilledLabelScene(shell.get());
  ASSERT_EQ(scn->xsize, 5);
  ASSERT_EQ(scn->zsize, 3);
  EXPECT_EQ(scn->dz, 2.0f);
  for (int z = 0; z < 3; z++)
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 5; x++) {
        bool square = x >= 1 && x <= 3 && y >= 1 && y <= 3;
        int expected = z == 0 && square ? 3 : (z == 2 && x == 0 && y == 0 ? 9 : 0);
        EXPECT_EQ(scn->data[scn->Address(x, y, z)], expected) << x << y << z;
      }
}

// ---- values at a voxel ----

TEST(ShellValues, BodyValuesGradientsAndTheirAbsence) {
  auto body = MakeShell(3, 2, 2, {{0, 0, 0, 0, 255, 1, 41, 6}, {2, 1, 1, 0, 255, 0, -7, 3}}, true);
  EXPECT_EQ(int(body->voxel[0].x), 0);
  EXPECT_EQ(ShellValue(body.get(), 0, 0, 0), 41);  // voxel index 0
  EXPECT_EQ(ShellGradient(body.get(), 0, 0, 0), 6);
  EXPECT_EQ(ShellValue(body.get(), 2, 1, 1), -7);  // hidden voxels still answer
  EXPECT_EQ(ShellValue(body.get(), 1, 0, 0), -1);  // no voxel there
  EXPECT_EQ(ShellValue(body.get(), 3, 0, 0), -1);  // outside
  EXPECT_EQ(ShellValue(body.get(), -1, 0, 0), -1);
  EXPECT_EQ(ShellGradient(body.get(), 0, 0, 2), -1);
}

TEST(ShellValues, ObjectShellsAnswerFromTheirSceneOnly) {
  auto shell = SmallShell();
  EXPECT_EQ(ShellValue(shell.get(), 0, 0, 0), -1);  // no scene
  auto scn = CreateScene(3, 2, 2);
  scn->data[scn->Address(1, 0, 0)] = 77;
  shell->scene = scn.get();
  EXPECT_EQ(ShellValue(shell.get(), 1, 0, 0), 77);  // a scene voxel that is no shell voxel
  EXPECT_EQ(ShellValue(shell.get(), 0, 0, 0), 0);
  EXPECT_EQ(ShellValue(shell.get(), 0, 2, 0), -1);
  EXPECT_EQ(ShellGradient(shell.get(), 0, 0, 0), -1);
}

// ---- displayable slices ----

TEST(ShellSliceImage, ObjectShellWithoutSceneGreyLabelsOrFilledColours) {
  auto shell = MakeShell(5, 5, 1, Ring(0, 3));
  // Without a context: the unfilled labels as grey.
  auto grey = ShellSliceImage(shell.get(), nullptr, 'z', 0, nullptr);
  ExpectGrey(grey.get(), GetShellZSlice(shell.get(), 0)->val);
  EXPECT_EQ(grey->C[0]->at(2, 2), 0);
  // With the default context labels paint 254; the hole is filled.
  auto cxt = NewContext(5, 5, 1);
  auto colour = ShellSliceImage(shell.get(), cxt.get(), 'z', 0, nullptr);
  std::vector<int> expected(25, 0);
  for (int y = 1; y <= 3; y++)
    for (int x = 1; x <= 3; x++) expected[x + 5 * y] = 254;
  ExpectGrey(colour.get(), expected);
}

TEST(ShellSliceImage, ObjectShellWithSceneOverlaysFilledLabelsOnTheWindow) {
  auto shell = MakeShell(3, 1, 1, {{0, 0, 0, 1}});
  auto scn = CreateScene(3, 1, 1);
  scn->data = {500, 1000, 1300};
  scn->maxval = 1000;  // the stored maximum sets the default window
  shell->scene = scn.get();
  // 0..1000 -> 0..255 (slope 0.255 in double): 500 -> 127, 1000 -> 255,
  // 1300 -> 255.
  auto grey = ShellSliceImage(shell.get(), nullptr, 'z', 0, nullptr);
  ExpectGrey(grey.get(), {127, 255, 255});
  // Under the label trunc(254 * 0.5 + trunc(127 * 0.5)) = 127 + 63 = 190.
  auto cxt = NewContext(3, 1, 1);
  auto over = ShellSliceImage(shell.get(), cxt.get(), 'z', 0, nullptr);
  ExpectGrey(over.get(), {190, 255, 255});
  // A window from the curve's first two points, truncated: 500.9 -> 500,
  // 1500 -> 1500, 0.7 -> 0, 200 -> 200; the third point is ignored.
  Curve window = MakeCurve({500.9, 0.7, 1500, 200, 5, 5});
  auto win = ShellSliceImage(shell.get(), nullptr, 'x', 1, &window);
  ExpectGrey(win.get(), {100});  // x = 1 is 1 x 1: voxel (1, 0, 0) = 1000
  // The scene of another size is refused.
  auto other = CreateScene(3, 2, 1);
  shell->scene = other.get();
  EXPECT_EQ(FatalText([&] { ShellSliceImage(shell.get(), nullptr, 'z', 0, nullptr); }),
            "Error:The scene is 3 x 2 x 1 but the shell 3 x 1 x 1 in ShellSliceImage");
}

TEST(ShellSliceImage, BodyShellOverlaysUnfilledLabelsOnWeightedValues) {
  // A body ring of value 1000 at opacity 255 with label 1; the shell's
  // maximum field (1000) sets the window, so the ring reads 255.
  std::vector<HandVoxel> vs = Ring(0, 1);
  for (HandVoxel &v : vs) v.value = 1000;
  auto shell = MakeShell(5, 5, 1, vs, true);
  shell->maximum = 1000;
  auto grey = ShellSliceImage(shell.get(), nullptr, 'z', 0, nullptr);
  auto cxt = NewContext(5, 5, 1);
  auto over = ShellSliceImage(shell.get(), cxt.get(), 'z', 0, nullptr);
  std::vector<int> g(25, 0), o(25, 0);
  for (const HandVoxel &v : vs) {
    g[v.x + 5 * v.y] = 255;
    o[v.x + 5 * v.y] = 254;  // trunc(254 * 0.5 + trunc(255 * 0.5)) = 127 + 127
  }
  ExpectGrey(grey.get(), g);
  ExpectGrey(over.get(), o);  // the centre stays 0: labels are not filled
}

TEST(ShellSliceImage, AWindowCurveOfOnePointFails) {
  auto shell = SmallShell();
  Curve one = MakeCurve({0, 0});
  auto scn = CreateScene(3, 2, 2);
  shell->scene = scn.get();
  EXPECT_EQ(FatalText([&] { ShellSliceImage(shell.get(), nullptr, 'y', 0, &one); }),
            "Error:The grey-level curve needs at least two points in ShellSliceImage");
}

// ---- classification preview ----

TEST(PreviewShellSlice, CurvesMultiplyTheirEntriesAndClamp) {
  auto shell = MakeShell(4, 1, 1,
                         {{0, 0, 0, 0, 255, 1, 5, 2},
                          {1, 0, 0, 0, 255, 1, 20, 0},
                          {2, 0, 0, 0, 255, 1, -5, 9},
                          {3, 0, 0, 0, 255, 1, 1, 1}},
                         true);
  auto cimg = CreateCImage(4, 1);
  // Both curves absent: every voxel of the slice white.
  ExpectGrey(PreviewShellSlice(shell.get(), cimg.get(), 'z', 0, nullptr, nullptr).get(),
             {255, 255, 255, 255});
  // Density (0, 0) .. (10, 1): value 5 -> 0.5 -> 127; 20 past the end reads
  // the last entry (1.0) -> 255; |-5| -> 127; 1 -> 0.1 -> 25.
  Curve density = MakeCurve({10, 1, 0, 0});  // sorted by x on use
  ExpectGrey(PreviewShellSlice(shell.get(), cimg.get(), 'z', 0, &density, nullptr).get(),
             {127, 255, 127, 25});
  // Gradient (0, 2) .. (4, -2): gradient 2 -> 0.0, 0 -> 2.0 (clamped to 255),
  // 9 -> last entry -2 (clamped to 0), 1 -> 1.0. The density product comes
  // first and is truncated: 25 * 1.0 = 25.
  Curve gradient = MakeCurve({0, 2, 4, -2});
  ExpectGrey(PreviewShellSlice(shell.get(), cimg.get(), 'z', 0, &density, &gradient).get(),
             {0, 255, 0, 25});
}

TEST(PreviewShellSlice, TheImageHasTheGivenSizeAndKeepsOnlyItsPixels) {
  auto shell = MakeShell(3, 3, 1, {{0, 0, 0, 0}, {2, 0, 0, 0}, {1, 2, 0, 0}}, true);
  auto small = CreateCImage(2, 2);
  auto p = PreviewShellSlice(shell.get(), small.get(), 'z', 0, nullptr, nullptr);
  EXPECT_EQ(p->ncols(), 2);
  ExpectGrey(p.get(), {255, 0, 0, 0});
  // x = 1: columns y, rows z; (1, 2, 0) lands at column 2.
  auto wide = CreateCImage(3, 1);
  ExpectGrey(PreviewShellSlice(shell.get(), wide.get(), 'x', 1, nullptr, nullptr).get(),
             {0, 0, 255});
}

TEST(PreviewShellSlice, ObjectShellsAreRefused) {
  auto shell = SmallShell();
  auto cimg = CreateCImage(3, 2);
  EXPECT_EQ(FatalText([&] {
              PreviewShellSlice(shell.get(), cimg.get(), 'z', 0, nullptr, nullptr);
            }),
            "Error:An object shell has no voxel values or gradients: a body shell is needed in "
            "PreviewShellSlice");
}

// ---- the object under the pointer ----

namespace {

// A context whose 6 x 6 z-buffer holds the object map `objects` (row by
// row), and an image of the same size whose three bands hold `value`.
struct Picked {
  std::unique_ptr<Context> cxt;
  std::unique_ptr<CImage> img;
};

Picked PickedView(const std::vector<int> &objects, int value) {
  Picked p;
  p.cxt = NewContext(4, 3, 2);  // isize floor(sqrt(29)) = 5 ...
  p.cxt->zbuffer = CreateZBuffer(6, 6);  // ... replaced by a 6 x 6 buffer
  for (int i = 0; i < 36; i++) p.cxt->zbuffer->object[i] = static_cast<unsigned char>(objects[i]);
  p.img = CreateCImage(6, 6);
  for (int b = 0; b < 3; b++)
    for (int i = 0; i < 36; i++) p.img->C[b]->val[i] = value + b;
  return p;
}

// Object 2 in a 3 x 3 block at columns 1..3, rows 1..3, object 7 in the
// column x = 5 (on the image's edge), object 0 elsewhere.
std::vector<int> BlockMap() {
  std::vector<int> m(36, 0);
  for (int y = 1; y <= 3; y++)
    for (int x = 1; x <= 3; x++) m[x + 6 * y] = 2;
  for (int y = 0; y < 6; y++) m[5 + 6 * y] = 7;
  return m;
}

}  // namespace

TEST(HighlightObject, BandsOfTheObjectBecomeThreeQuartersPlus64) {
  Picked p = PickedView(BlockMap(), 200);
  auto h = HighlightObject(p.cxt.get(), p.img.get(), 2);
  ASSERT_NE(h, nullptr);
  std::vector<int> m = BlockMap();
  for (int i = 0; i < 36; i++) {
    // 200 -> 214, 201 -> 214 (trunc(603 / 4) = 150), 202 -> 215.
    const int want[3] = {214, 214, 215};
    for (int b = 0; b < 3; b++) EXPECT_EQ(h->C[b]->val[i], m[i] == 2 ? want[b] : 200 + b);
  }
  // Object 258 is object 2; negative bands truncate toward zero: 3 * -5 / 4
  // = -3, + 64 = 61.
  Picked n = PickedView(BlockMap(), -5);
  auto h2 = HighlightObject(n.cxt.get(), n.img.get(), 258);
  EXPECT_EQ(h2->C[0]->val[1 + 6], 61);
  EXPECT_EQ(h2->C[0]->val[0], -5);
}

TEST(HighlightObject, ObjectZeroGivesNothingAndAnObjectOffScreenAnUnchangedCopy) {
  Picked p = PickedView(BlockMap(), 50);
  EXPECT_EQ(HighlightObject(p.cxt.get(), p.img.get(), 0), nullptr);
  EXPECT_EQ(HighlightObject(p.cxt.get(), p.img.get(), 256), nullptr);
  EXPECT_EQ(ContourObject(p.cxt.get(), p.img.get(), 512), nullptr);
  auto copy = HighlightObject(p.cxt.get(), p.img.get(), 9);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy.get(), p.img.get());
  for (int b = 0; b < 3; b++) EXPECT_EQ(Band(copy.get(), b), Band(p.img.get(), b));
  auto outline = ContourObject(p.cxt.get(), p.img.get(), 9);
  for (int b = 0; b < 3; b++) EXPECT_EQ(Band(outline.get(), b), Band(p.img.get(), b));
}

TEST(ContourObject, WhiteOnlyOnTheFourBoundaryOfTheObject) {
  Picked p = PickedView(BlockMap(), 10);
  auto c = ContourObject(p.cxt.get(), p.img.get(), 2);
  // The block's centre (2, 2) has four neighbours of object 2: unchanged;
  // its eight other pixels touch a different object: white.
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 6; x++) {
      bool ring = x >= 1 && x <= 3 && y >= 1 && y <= 3 && !(x == 2 && y == 2);
      EXPECT_EQ(c->C[0]->val[x + 6 * y], ring ? 255 : 10) << x << "," << y;
      EXPECT_EQ(c->C[2]->val[x + 6 * y], ring ? 255 : 12) << x << "," << y;
    }
  // The edge column of object 7: its right neighbours lie outside the
  // image and do not count; every pixel has a left neighbour of object 0.
  auto e = ContourObject(p.cxt.get(), p.img.get(), 7);
  for (int y = 0; y < 6; y++) EXPECT_EQ(e->C[1]->val[5 + 6 * y], 255);
  // An object filling the whole image has no boundary.
  Picked all = PickedView(std::vector<int>(36, 4), 10);
  auto none = ContourObject(all.cxt.get(), all.img.get(), 4);
  EXPECT_EQ(Band(none.get(), 0), Band(all.img.get(), 0));
}

// Random object maps against a direct reading of the rule with the
// diagonal neighbours excluded.
TEST(ContourObject, RandomMapsAgreeWithTheRule) {
  srand(7);
  for (int trial = 0; trial < 20; trial++) {
    std::vector<int> m(36);
    for (int &v : m) v = rand() % 3;
    Picked p = PickedView(m, 0);
    auto c = ContourObject(p.cxt.get(), p.img.get(), 1);
    for (int y = 0; y < 6; y++)
      for (int x = 0; x < 6; x++) {
        bool edge = false;
        for (int dy = -1; dy <= 1; dy++)
          for (int dx = -1; dx <= 1; dx++) {
            if ((dx == 0) == (dy == 0)) continue;  // the centre and the diagonals
            int nx = x + dx, ny = y + dy;
            if (nx >= 0 && nx < 6 && ny >= 0 && ny < 6 && m[nx + 6 * ny] != 1) edge = true;
          }
        int want = m[x + 6 * y] == 1 && edge ? 255 : 0;
        ASSERT_EQ(c->C[0]->val[x + 6 * y], want) << trial << ": " << x << "," << y;
      }
  }
}

TEST(HighlightObject, AnImageOfAnotherSizeFails) {
  Picked p = PickedView(BlockMap(), 0);
  auto wrong = CreateCImage(6, 5);
  EXPECT_EQ(FatalText([&] { HighlightObject(p.cxt.get(), wrong.get(), 2); }),
            "Error:The image is 6 x 5 but the context's z-buffer 6 x 6 in HighlightObject");
  EXPECT_EQ(FatalText([&] { ContourObject(p.cxt.get(), wrong.get(), 2); }),
            "Error:The image is 6 x 5 but the context's z-buffer 6 x 6 in ContourObject");
  EXPECT_EQ(HighlightObject(p.cxt.get(), wrong.get(), 0), nullptr);  // object 0 looks at nothing
}
