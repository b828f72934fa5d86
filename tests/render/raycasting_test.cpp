// The scene ray casters: small scenes whose hits, distances and pixels are
// worked out in the comments, the faults that must fail cleanly, the same
// images for any thread count, and regression images of the phantoms.
//
// Most cases view a 4^3 scene at angles (0, 0): isize 6, hw = hh = 3, the
// volume's halves h = 2, rays along +z from P0 = (u - 3, v - 3, -3), entry
// at z = -2 (voxel slice 0) for u, v in 1..4 (the box [-2, 1] per axis), so
// pixel (u, v) looks down the column x = u - 1, y = v - 1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/scene.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/raycasting.h"
#include "render/scene_render.h"
#include "support/fatal.h"
#include "support/phantom.h"
#include "support/regress.h"

namespace {

std::unique_ptr<Scene> Filled(int n, const std::vector<std::array<int, 4>> &voxels) {
  auto scn = CreateScene(n, n, n);
  for (const auto &v : voxels) scn->data[scn->Address(v[0], v[1], v[2])] = v[3];
  return scn;
}

// The normal table as the ray tracers take it, three floats per index.
std::vector<float> NormalTableList() {
  auto t = CreateNormalTable();
  std::vector<float> list;
  for (const NormalVector &v : t->entry) list.insert(list.end(), {v.x, v.y, v.z});
  return list;
}

// The n^3 phantoms and what the compositing casters take with them:
// opacities (`bright` over the box and ball, `faint` elsewhere), gradient
// normals and the normal table.
struct PhantomInputs {
  std::unique_ptr<Scene> labels, grey, alpha, normal;
  std::vector<float> table = NormalTableList();
  PhantomInputs(int n, int bright, int faint)
      : labels(phantom::LabelledPhantom(n, n, n)), grey(phantom::GreyPhantom(n, n, n, 1.0f, 1.0f)),
        alpha(CreateScene(n, n, n)), normal(NormalScene(grey.get(), Gradient3)) {
    for (int i = 0; i < alpha->VoxelCount(); i++) alpha->data[i] = grey->data[i] > 500 ? bright : faint;
  }
};

int Pixel(const Context *cxt, int u, int v) { return u + v * cxt->zbuffer->ncols; }

// Restores the default thread count when a test ends.
struct ThreadCount {
  explicit ThreadCount(int n) { SetRenderThreads(n); }
  ~ThreadCount() { SetRenderThreads(0); }
};

// ---- first hits ----

TEST(RaycastScene, AllZeroSceneLeavesTheZBufferClearAndTheImageBlack) {
  auto scn = CreateScene(4, 4, 4);
  auto cxt = NewContext(4, 4, 4);
  SetAngles(cxt.get(), 30, 40);
  for (auto render : {RaycastScene, BRaycastScene, SWRaycastScene}) {
    cxt->zbuffer->voxel.assign(36, 5);  // stale values must all go
    auto img = render(scn.get(), cxt.get());
    for (int p = 0; p < 36; p++) {
      EXPECT_EQ(cxt->zbuffer->voxel[p], -1);
      EXPECT_EQ(cxt->zbuffer->object[p], 0);
      EXPECT_EQ(cxt->zbuffer->dist[p], 6.0f);
      EXPECT_EQ(img->val[p], 0);
    }
  }
}

// Slice z = 0 filled: every pixel whose ray enters the volume hits at its
// entry, one voxel in front of P0 (dist 1), and keeps the value's low byte.
TEST(RaycastScene, RaysAlongZHitTheFilledFrontSlice) {
  auto scn = CreateScene(4, 4, 4);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) scn->data[scn->Address(x, y, 0)] = 256 + 7;
  auto cxt = NewContext(4, 4, 4);
  for (auto render : {RaycastScene, BRaycastScene}) {
    auto img = render(scn.get(), cxt.get());
    for (int v = 0; v < 6; v++)
      for (int u = 0; u < 6; u++) {
        const int p = Pixel(cxt.get(), u, v);
        const bool inside = u >= 1 && u <= 4 && v >= 1 && v <= 4;
        EXPECT_EQ(cxt->zbuffer->voxel[p], inside ? (u - 1) + 4 * (v - 1) : -1) << u << "," << v;
        EXPECT_EQ(cxt->zbuffer->object[p], inside ? 7 : 0);
        EXPECT_FLOAT_EQ(cxt->zbuffer->dist[p], inside ? 1.0f : 6.0f);
        // One depth everywhere: Phong shading gives 255 on the surface.
        EXPECT_EQ(img->val[p], inside ? 255 : 0);
      }
  }
}

// A 3^3 cube [1, 3]^3 of label 4 in a 6^3 scene (isize 10, hw 5, h 3):
// rays from P0 = (u - 5, v - 5, -5) enter at z = -3 and meet the cube's
// front face z = 1 two voxels in, dist 3, for u, v in 3..5; the first-hit
// casters agree, and the maximum along each ray is the cube's label.
TEST(RaycastScene, CubeShowsItsFrontFace) {
  auto scn = CreateScene(6, 6, 6);
  for (int z = 1; z <= 3; z++)
    for (int y = 1; y <= 3; y++)
      for (int x = 1; x <= 3; x++) scn->data[scn->Address(x, y, z)] = 4;
  auto cxt = NewContext(6, 6, 6);
  ASSERT_EQ(cxt->isize, 10);
  auto mip = MIPScene(scn.get(), cxt.get());
  for (auto render : {RaycastScene, BRaycastScene}) {
    render(scn.get(), cxt.get());
    for (int v = 0; v < 10; v++)
      for (int u = 0; u < 10; u++) {
        const int p = u + 10 * v;
        const bool hit = u >= 3 && u <= 5 && v >= 3 && v <= 5;
        EXPECT_EQ(cxt->zbuffer->voxel[p], hit ? (u - 2) + 6 * (v - 2) + 36 : -1) << u << "," << v;
        EXPECT_FLOAT_EQ(cxt->zbuffer->dist[p], hit ? 3.0f : 10.0f);
        EXPECT_EQ(mip->val[p], hit ? 4 : 0);
      }
  }
}

// Label 3 at z = 1 over x < 2, label 5 filling z = 2: the nearer label
// wins where both lie on a ray, at its own distance.
TEST(RaycastScene, TwoLabelsAtTwoDepths) {
  std::vector<std::array<int, 4>> vs;
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) {
      if (x < 2) vs.push_back({x, y, 1, 3});
      vs.push_back({x, y, 2, 5});
    }
  auto scn = Filled(4, vs);
  auto cxt = NewContext(4, 4, 4);
  RaycastScene(scn.get(), cxt.get());
  for (int v = 1; v <= 4; v++)
    for (int u = 1; u <= 4; u++) {
      const int p = Pixel(cxt.get(), u, v);
      const bool near = u - 1 < 2;
      EXPECT_EQ(cxt->zbuffer->object[p], near ? 3 : 5);
      EXPECT_FLOAT_EQ(cxt->zbuffer->dist[p], near ? 2.0f : 3.0f);
      EXPECT_EQ(cxt->zbuffer->voxel[p], (u - 1) + 4 * (v - 1) + 16 * (near ? 1 : 2));
    }
}

// A clip box of the one voxel (1, 2, 0) on the front face: only the ray
// through it hits, although every voxel is non-zero.
TEST(RaycastScene, OneVoxelClipBoxIsAllThatIsHit) {
  auto scn = CreateScene(4, 4, 4);
  for (int i = 0; i < 64; i++) scn->data[i] = 1 + i;
  auto cxt = NewContext(4, 4, 4);
  SetClip(cxt.get(), 1, 1, 2, 2, 0, 0);
  for (auto render : {RaycastScene, BRaycastScene}) {
    render(scn.get(), cxt.get());
    for (int p = 0; p < 36; p++)
      EXPECT_EQ(cxt->zbuffer->voxel[p], p == Pixel(cxt.get(), 2, 3) ? 1 + 2 * 4 : -1) << p;
  }
}

// The sheared rays at (0, 0): no shear, (i0, j0) = (u - 1, v - 1), the
// clip box's upper bounds excluded (x and y in [0, 3)), dist from the third
// row of the rotation, z - 2 + 0 + 3.
TEST(SWRaycastScene, ShearedRaysExcludeTheUpperClipBounds) {
  std::vector<std::array<int, 4>> vs;
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) vs.push_back({x, y, 1, 9});
  auto scn = Filled(4, vs);
  auto cxt = NewContext(4, 4, 4);
  SWRaycastScene(scn.get(), cxt.get());
  for (int v = 0; v < 6; v++)
    for (int u = 0; u < 6; u++) {
      const int p = Pixel(cxt.get(), u, v);
      const bool hit = u >= 1 && u <= 3 && v >= 1 && v <= 3;
      EXPECT_EQ(cxt->zbuffer->voxel[p], hit ? (u - 1) + 4 * (v - 1) + 16 : -1) << u << "," << v;
      EXPECT_FLOAT_EQ(cxt->zbuffer->dist[p], hit ? 2.0f : 6.0f);
    }
}

// ---- maximum intensity ----

// One bright voxel (1, 2, 3) with a dimmer one in front on the same ray
// and one elsewhere: the bright one's pixel (2, 3) shows 50, and the
// z-buffer is left as it was.
TEST(MIPScene, OneBrightVoxelShowsAtItsPixel) {
  auto scn = Filled(4, {{1, 2, 3, 50}, {1, 2, 0, 20}, {3, 0, 1, -40}});
  auto cxt = NewContext(4, 4, 4);
  cxt->zbuffer->voxel.assign(36, 11);
  auto img = MIPScene(scn.get(), cxt.get());
  for (int p = 0; p < 36; p++) {
    EXPECT_EQ(img->val[p], p == Pixel(cxt.get(), 2, 3) ? 50 : 0) << p;  // negatives never win
    EXPECT_EQ(cxt->zbuffer->voxel[p], 11);
  }
}

// Viewed from +x (spin 90): rays run along -x from x = +hw, and pixel (u,
// v) looks along the row z = u - 3 + 2, y = v - 3 + 2. (The voxel is kept
// off the box's upper face z = 1: cos 90 degrees is not quite 0, and a ray
// along that face starts a hair outside the box.)
TEST(MIPScene, ViewAlongXFindsTheVoxelAtItsRow) {
  auto scn = Filled(4, {{1, 2, 2, 50}});
  auto cxt = NewContext(4, 4, 4);
  SetAngles(cxt.get(), 0, 90);
  ASSERT_EQ(cxt->paxis, 'x');
  auto img = MIPScene(scn.get(), cxt.get());
  for (int p = 0; p < 36; p++) EXPECT_EQ(img->val[p], p == Pixel(cxt.get(), 3, 3) ? 50 : 0) << p;
}

// ---- compositing ----

// Object 0's Phong set to exact binary fractions (diffuse 0.5, specular
// 0.25, ambient 0.125, ns 2). Voxel (1, 1, 1) = 100 with opacity 51
// (0.2) and (1, 1, 2) = 100 with opacity 255 behind it, both with a normal
// facing the viewer (c = 1, spec = 0.25): on pixel (2, 2), P0 = (-1, -1,
// -3), so f = 1 - 2/6 and 1 - 3/6, shades 0.625 and 0.5.
struct Compositing : ::testing::Test {
  std::unique_ptr<Scene> scn = Filled(4, {{1, 1, 1, 100}, {1, 1, 2, 100}});
  std::unique_ptr<Scene> alpha = Filled(4, {{1, 1, 1, 51}, {1, 1, 2, 255}});
  std::unique_ptr<Scene> normal = Filled(4, {{1, 1, 1, 1}, {1, 1, 2, 1}});
  std::vector<float> table = {0, 0, 0, 0, 0, -1};  // index 1 faces (0, 0, -1)
  std::unique_ptr<Context> cxt = NewContext(4, 4, 4);
  void SetUp() override { SetPhong(cxt.get(), 0, 0.5f, 0.25f, 0.125f, 2); }
};

// Grey: 0.625 * 100 * 1 = 62, then T = 0.8: 0.5 * 100 * 0.8 = 40.
TEST_F(Compositing, GreyRaysAddShadeTimesValueTimesTransparency) {
  auto img = RaytracingScene(scn.get(), alpha.get(), normal.get(), table, cxt.get());
  for (int p = 0; p < 36; p++) EXPECT_EQ(img->val[p], p == Pixel(cxt.get(), 2, 2) ? 102 : 0);
  // A normal facing away counts the same in grey (|N . viewer|).
  table[5] = 1;
  img = RaytracingScene(scn.get(), alpha.get(), normal.get(), table, cxt.get());
  EXPECT_EQ(img->val[Pixel(cxt.get(), 2, 2)], 102);
}

// Colour: the weight is the remaining transparency times the opacity, so
// each plane gets trunc(166.89 * 1 * 0.2) = 33 and trunc(129.79 * 0.8 * 1)
// = 103 (Y 0.625 and 0.5 on object 0's neutral chroma). The raw opacity
// 0..255 as weight would add the low byte of a product far above 255.
TEST_F(Compositing, ColourWeightIsTransparencyTimesOpacity) {
  auto img = CRaytracingScene(scn.get(), alpha.get(), normal.get(), table, cxt.get());
  for (int c = 0; c < 3; c++)
    for (int p = 0; p < 36; p++)
      EXPECT_EQ(img->C[c]->val[p], p == Pixel(cxt.get(), 2, 2) ? 136 : 0) << c << " " << p;
  // Facing away (N . viewer = -1) adds nothing in colour.
  table[5] = 1;
  img = CRaytracingScene(scn.get(), alpha.get(), normal.get(), table, cxt.get());
  EXPECT_EQ(img->C[0]->val[Pixel(cxt.get(), 2, 2)], 0);
}

TEST_F(Compositing, ArgumentsOfTheWrongSizeFailBeforeAnyRay) {
  auto small = CreateScene(3, 4, 4);
  EXPECT_EQ(FatalText([&] { RaytracingScene(scn.get(), small.get(), normal.get(), table, cxt.get()); }),
            "Error:The opacity scene is 3 x 4 x 4 but the scene is 4 x 4 x 4 in RaytracingScene");
  EXPECT_EQ(FatalText([&] { CRaytracingScene(scn.get(), alpha.get(), small.get(), table, cxt.get()); }),
            "Error:The normal scene is 3 x 4 x 4 but the scene is 4 x 4 x 4 in CRaytracingScene");
  EXPECT_EQ(FatalText([&] { RaytracingScene(scn.get(), alpha.get(), normal.get(), {0, 0}, cxt.get()); }),
            "Error:The normal table holds 2 numbers, not three per normal index in RaytracingScene");
  normal->data[normal->Address(1, 1, 2)] = 2;  // past the two entries of the table
  EXPECT_EQ(FatalText([&] { CRaytracingScene(scn.get(), alpha.get(), normal.get(), table, cxt.get()); }),
            "Error:Normal index 2 of voxel 37 is outside the table of 2 normals in CRaytracingScene");
  EXPECT_EQ(FatalText([&] { RaycastGrayScene(scn.get(), cxt.get(), small.get()); }),
            "Error:The normal scene is 3 x 4 x 4 but the scene is 4 x 4 x 4 in RaycastGrayScene");
}

TEST(SceneRayCasters, ContextOfAnotherSizeFailsEveryRenderer) {
  auto scn = CreateScene(4, 4, 4);
  auto cxt = NewContext(4, 5, 4);
  const std::string tail = " was made for a volume of 4 x 5 x 4 but the scene is 4 x 4 x 4 in ";
  EXPECT_EQ(FatalText([&] { RaycastScene(scn.get(), cxt.get()); }),
            "Error:The context" + tail + "RaycastScene");
  EXPECT_EQ(FatalText([&] { MIPScene(scn.get(), cxt.get()); }), "Error:The context" + tail + "MIPScene");
  EXPECT_EQ(FatalText([&] { SWRaycastScene(scn.get(), cxt.get()); }),
            "Error:The context" + tail + "SWRaycastScene");
  EXPECT_EQ(FatalText([&] { BRaycastScene(scn.get(), cxt.get()); }),
            "Error:The context" + tail + "BRaycastScene");
}

// Rays from every octant and along every axis stay inside the scene (the
// sanitizer build checks every read) and reach the volume: on a full
// scene every caster sees something from every direction, with the clip
// box open or narrowed to one face voxel.
TEST(SceneRayCasters, EveryDirectionStaysInsideTheScene) {
  for (int n : {1, 5, 8}) {
    auto scn = CreateScene(n, n + 1, n);
    for (int &v : scn->data) v = 3;
    auto alpha = CopyScene(scn.get());
    auto normal = CreateScene(n, n + 1, n);
    const std::vector<float> table(3 * 4, 0.5f);
    auto cxt = NewContext(n, n + 1, n);
    for (float tilt : {0.f, 45.f, 90.f, 135.f, 180.f, 225.f, 270.f, 315.f})
      for (float spin : {0.f, 45.f, 90.f, 180.f, 270.f, 315.f}) {
        SetAngles(cxt.get(), tilt, spin);
        for (bool narrow : {false, true}) {
          SetClip(cxt.get(), 0, narrow ? 0 : n - 1, 0, n, 0, n - 1);
          int seen = 0;
          RaycastScene(scn.get(), cxt.get());
          for (int v : cxt->zbuffer->voxel) seen += v >= 0;
          BRaycastScene(scn.get(), cxt.get());
          SWRaycastScene(scn.get(), cxt.get());
          MIPScene(scn.get(), cxt.get());
          RaytracingScene(scn.get(), alpha.get(), normal.get(), table, cxt.get());
          CRaytracingScene(scn.get(), alpha.get(), normal.get(), table, cxt.get());
          if (!narrow && n > 1) {
            EXPECT_GT(seen, 0) << n << " " << tilt << " " << spin;
          }
        }
      }
  }
}

// ---- threads ----

TEST(SceneRayCasters, ImagesAndZBuffersDoNotDependOnTheThreadCount) {
  const PhantomInputs in(16, 90, 10);
  const auto &labels = in.labels, &grey = in.grey, &alpha = in.alpha, &normal = in.normal;
  const std::vector<float> &table = in.table;
  struct Frame {
    std::vector<int> pixels;
    std::vector<int> voxel;
    std::vector<float> dist;
  };
  auto renderAll = [&](Context *cxt) {
    std::vector<Frame> frames;
    auto keep = [&](const Image *img) { frames.push_back({img->val, cxt->zbuffer->voxel, cxt->zbuffer->dist}); };
    keep(RaycastScene(labels.get(), cxt).get());
    keep(RaycastGrayScene(labels.get(), cxt, grey.get()).get());
    keep(BRaycastScene(labels.get(), cxt).get());
    keep(SWRaycastScene(labels.get(), cxt).get());
    keep(MIPScene(grey.get(), cxt).get());
    keep(RaytracingScene(grey.get(), alpha.get(), normal.get(), table, cxt).get());
    keep(CRaytracingScene(grey.get(), alpha.get(), normal.get(), table, cxt)->C[1].get());
    return frames;
  };
  auto cxt = NewContext(16, 16, 16);
  SetAngles(cxt.get(), 30, 40);
  std::vector<Frame> one, many;
  {
    ThreadCount t(1);
    one = renderAll(cxt.get());
  }
  {
    ThreadCount t(5);
    many = renderAll(cxt.get());
  }
  ASSERT_EQ(one.size(), many.size());
  for (size_t i = 0; i < one.size(); i++) {
    EXPECT_EQ(one[i].pixels, many[i].pixels) << "renderer " << i;
    EXPECT_EQ(one[i].voxel, many[i].voxel) << "renderer " << i;
    EXPECT_EQ(one[i].dist, many[i].dist) << "renderer " << i;
  }
}

// The four-ray walk and its passed-over steps against the plain walk, ray
// by ray: the same z-buffers and images from every octant and axis, with
// the clip box open and narrowed, on the phantoms and on a scene whose only
// non-zero voxels sit near two opposite corners (a wide occupied box with
// empty space inside, and rays grazing its faces).
TEST(SceneRayCasters, WideWalksMatchThePlainWalk) {
  struct WideRays {
    explicit WideRays(bool on) { SetWideRays(on); }
    ~WideRays() { SetWideRays(true); }
  };
  auto labels = phantom::LabelledPhantom(20, 18, 22);
  auto grey = phantom::GreyPhantom(20, 18, 22, 1.0f, 1.0f);
  auto corners = CreateScene(20, 18, 22);
  corners->data[corners->Address(3, 2, 4)] = 6;
  corners->data[corners->Address(16, 15, 18)] = 7;
  auto cxt = NewContext(20, 18, 22);
  int compared = 0;
  for (float tilt : {0.f, 25.f, 90.f, 115.f, 180.f, 205.f, 270.f, 295.f})
    for (float spin : {0.f, 40.f, 90.f, 150.f, 270.f, 333.f})
      for (bool narrow : {false, true}) {
        SetAngles(cxt.get(), tilt, spin);
        if (narrow) SetClip(cxt.get(), 3, 15, 2, 12, 5, 19);
        else SetClip(cxt.get(), 0, 19, 0, 17, 0, 21);
        for (const Scene *scn : {labels.get(), corners.get()}) {
          std::vector<int> voxel[2];
          std::vector<float> dist[2];
          for (int wide = 0; wide < 2; wide++) {
            WideRays mode(wide == 1);
            RaycastScene(scn, cxt.get());
            voxel[wide] = cxt->zbuffer->voxel;
            dist[wide] = cxt->zbuffer->dist;
          }
          EXPECT_EQ(voxel[0], voxel[1]) << tilt << " " << spin << " " << narrow;
          EXPECT_EQ(dist[0], dist[1]) << tilt << " " << spin << " " << narrow;
          compared++;
        }
        std::vector<int> mip[2];
        for (int wide = 0; wide < 2; wide++) {
          WideRays mode(wide == 1);
          mip[wide] = MIPScene(grey.get(), cxt.get())->val;
        }
        EXPECT_EQ(mip[0], mip[1]) << tilt << " " << spin << " " << narrow;
      }
  EXPECT_EQ(compared, 8 * 6 * 2 * 2);
}

// ---- regression images ----
//
// Each caster on the 24^3 phantoms from (30, 40), stored once after a look
// by eye under tests/data/regress. ORVANE_REGRESS_WRITE=1 rewrites them.

TEST(SceneRayCasters, RegressionImagesOfThePhantoms) {
  const PhantomInputs in(24, 120, 4);
  const auto &labels = in.labels, &grey = in.grey, &alpha = in.alpha, &normal = in.normal;
  const std::vector<float> &table = in.table;
  auto cxt = NewContext(24, 24, 24);
  SetAngles(cxt.get(), 30, 40);
  ExpectRegression("RaycastScene_labels.pgm", {RaycastScene(labels.get(), cxt.get()).get()});
  ExpectRegression("RaycastGrayScene_labels.pgm",
                   {RaycastGrayScene(labels.get(), cxt.get(), grey.get()).get()});
  ExpectRegression("BRaycastScene_labels.pgm", {BRaycastScene(labels.get(), cxt.get()).get()});
  ExpectRegression("SWRaycastScene_labels.pgm", {SWRaycastScene(labels.get(), cxt.get()).get()});
  auto mip = MIPScene(grey.get(), cxt.get());
  for (int &v : mip->val) v /= 8;  // 2000 at most: onto 0..255
  ExpectRegression("MIPScene_grey.pgm", {mip.get()});
  auto traced = RaytracingScene(grey.get(), alpha.get(), normal.get(), table, cxt.get());
  for (int &v : traced->val) v /= 8;
  ExpectRegression("RaytracingScene_grey.pgm", {traced.get()});
  auto colour = CRaytracingScene(grey.get(), alpha.get(), normal.get(), table, cxt.get());
  ExpectRegression("CRaytracingScene_grey.ppm",
                   {colour->C[0].get(), colour->C[1].get(), colour->C[2].get()});
}

}  // namespace
