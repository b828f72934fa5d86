// Every shell renderer against fingerprints of its images and z-buffers
// taken from the one-thread renderers before they were made faster and
// split over threads: over a sweep of directions through every octant and
// along the three principal axes, with and without a clip box, on label
// and body shells, opaque and semi-transparent, with 1, 2 and 3 threads.
//
// ORVANE_IDENTITY_PRINT=1 prints the fingerprints of the renderers as they
// are (to store them again only after an intended change of the images).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/curve.h"
#include "core/plane.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/shell.h"
#include "render/shell_cut.h"
#include "render/scene_render.h"
#include "render/shell_render.h"
#include "support/hand_shell.h"
#include "support/phantom.h"

namespace {

// FNV-1a over the bytes of every value.
struct Fingerprint {
  uint64_t h = 1469598103934665603ULL;
  void Add(const void *data, size_t bytes) {
    const unsigned char *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < bytes; i++) h = (h ^ p[i]) * 1099511628211ULL;
  }
  void Add(const Image *img) {
    const int size[2] = {img->ncols, img->nrows};
    Add(size, sizeof(size));
    Add(img->val.data(), img->val.size() * sizeof(int));
  }
  void Add(const CImage *img) {
    for (int b = 0; b < 3; b++) Add(img->C[b].get());
  }
  void Add(const ZBuffer *zb) {
    Add(zb->voxel.data(), zb->voxel.size() * sizeof(int));
    Add(zb->object.data(), zb->object.size());
    Add(zb->dist.data(), zb->dist.size() * sizeof(float));
  }
};

struct Scenes {
  std::unique_ptr<Scene> labels, grey;
};

const Scenes &PhantomScenes() {
  static const Scenes s = [] {
    Scenes k;
    k.labels = phantom::LabelledPhantom(26, 24, 22);
    k.grey = phantom::GreyPhantom(26, 24, 22, 1.0f, 1.0f);
    return k;
  }();
  return s;
}

// The four shells: an opaque object shell; the same with an object hidden
// and one half transparent; a body shell of every voxel, opaque but for a
// few voxels of opacity 0 (which still record first hits) and a few
// hidden; and one whose opacities grow with the value, the background
// mostly transparent.
std::unique_ptr<Shell> MakeCase(int k) {
  const Scenes &s = PhantomScenes();
  if (k < 2) {
    auto shell = ObjectShell(s.labels.get());
    shell->scene = s.grey.get();
    if (k == 1) {
      for (Voxel &v : shell->voxel) {
        if (v.label == 3) v.visible = 0;
        if (v.label == 2) v.opacity = 120;
      }
    }
    return shell;
  }
  auto body = Scene2Shell(s.grey.get());
  for (int i = 0; i < body->nvoxels; i++) {
    const int value = body->body[i].value;
    Voxel &v = body->voxel[i];
    v.label = value >= 2000 ? 2 : 1;
    if (k == 2) {
      v.opacity = i % 61 == 0 ? 0 : 255;
      if (i % 89 == 0) v.visible = 0;
    } else {
      v.opacity = value >= 2000 ? 200 : value >= 1000 ? 60 : (i % 7 == 0 ? 25 : 0);
      if (v.opacity == 0 && i % 3 != 0) v.label = 0;
      if (i % 97 == 0) v.visible = 0;
    }
  }
  return body;
}

const char *const kCaseNames[] = {"labels", "labels semi", "body", "body semi"};

struct Renderer {
  const char *name;
  std::function<void(const Shell *, Context *, const Curve *, const Plane *, Fingerprint *)>
      render;
};

template <class F>
Renderer Colour(const char *name, F f) {
  return {name, [f](const Shell *s, Context *c, const Curve *cs, const Plane *pl,
                    Fingerprint *fp) { fp->Add(f(s, c, cs, pl).get()); }};
}

std::vector<Renderer> Renderers() {
  return {
      Colour("ICSWShellRendering",
             [](const Shell *s, Context *c, const Curve *, const Plane *) {
               return ICSWShellRendering(s, c);
             }),
      Colour("CSWShellRendering",
             [](const Shell *s, Context *c, const Curve *, const Plane *) {
               return CSWShellRendering(s, c);
             }),
      Colour("SWShellRendering",
             [](const Shell *s, Context *c, const Curve *, const Plane *) {
               return SWShellRendering(s, c);
             }),
      Colour("ShellRendering",
             [](const Shell *s, Context *c, const Curve *, const Plane *) {
               return ShellRendering(s, c);
             }),
      Colour("MIPShell",
             [](const Shell *s, Context *c, const Curve *cs, const Plane *) {
               return MIPShell(s, c, cs);
             }),
      Colour("CMIPShell",
             [](const Shell *s, Context *c, const Curve *cs, const Plane *) {
               return CMIPShell(s, c, cs);
             }),
      Colour("DirectVolumeRendering",
             [](const Shell *s, Context *c, const Curve *, const Plane *) {
               return DirectVolumeRendering(s, c);
             }),
      Colour("CSWShellRenderingCut",
             [](const Shell *s, Context *c, const Curve *cs, const Plane *) {
               return CSWShellRenderingCut(s, c, cs);
             }),
      Colour("FastCSWShellRenderingCut",
             [](const Shell *s, Context *c, const Curve *cs, const Plane *) {
               return FastCSWShellRenderingCut(s, c, cs);
             }),
      Colour("CSWShellRenderingCutPlane",
             [](const Shell *s, Context *c, const Curve *cs, const Plane *pl) {
               return CSWShellRenderingCutPlane(s, c, cs, pl);
             }),
      Colour("SWShellRenderingCut",
             [](const Shell *s, Context *c, const Curve *cs, const Plane *) {
               return SWShellRenderingCut(s, c, cs);
             }),
  };
}

// The fingerprint of one renderer on one shell over the sweep: 36
// directions through every octant (each axis principal somewhere) and the
// six axis views, every other one with a clip box, the z-buffer reset
// before and taken after each image.
uint64_t Sweep(const Renderer &r, const Shell *shell) {
  auto cxt = NewContext(shell->xsize, shell->ysize, shell->zsize);
  SetObjectColor(cxt.get(), 1, 1.0f, 0.3f, 0.3f);
  SetObjectColor(cxt.get(), 2, 0.3f, 1.0f, 0.3f);
  SetObjectColor(cxt.get(), 3, 0.3f, 0.3f, 1.0f);
  SetObjectColor(cxt.get(), 4, 1.0f, 1.0f, 0.3f);
  cxt->object[4].opac = 0.5f;
  auto cs = CreateCurve(2);
  cs->X[0] = 0, cs->Y[0] = 0, cs->X[1] = 2100, cs->Y[1] = 255;
  std::vector<std::pair<float, float>> views;
  for (int i = 0; i < 36; i++) views.push_back({25.0f + 90.0f * (i % 4), 10.0f * i});
  for (auto v : {std::pair<float, float>{0, 0}, {180, 0}, {90, 0}, {270, 0}, {0, 90}, {0, 270}})
    views.push_back(v);
  Fingerprint fp;
  for (size_t i = 0; i < views.size(); i++) {
    if (i % 2 == 1) {
      SetClip(cxt.get(), 2, shell->xsize - 3, 5, shell->ysize - 1, 0, shell->zsize - 6);
    } else {
      SetClip(cxt.get(), 0, shell->xsize - 1, 0, shell->ysize - 1, 0, shell->zsize - 1);
    }
    SetAngles(cxt.get(), views[i].first, views[i].second);
    auto pl = CreatePlane(cxt.get());
    RotatePlaneAbs(pl.get(), 20, 60);
    TranslatePlane(pl.get(), 2);
    InitZBuffer(cxt->zbuffer.get());
    r.render(shell, cxt.get(), cs.get(), pl.get(), &fp);
    fp.Add(cxt->zbuffer.get());
  }
  return fp.h;
}

// Fingerprints of the renderers before the change, per shell case in the
// order of kCaseNames.
const std::map<std::string, std::vector<uint64_t>> &Reference() {
  static const std::map<std::string, std::vector<uint64_t>> ref = {
      {"ICSWShellRendering", {0xcc3806dfb73de2fcULL, 0xcb474837c2f161e7ULL, 0x04d9a4638df0e23cULL, 0x1a9e16bee547ed97ULL}},
      {"CSWShellRendering", {0x7f7b8d2c3a61e284ULL, 0x9769bff34da1e09fULL, 0x66dab63512d55cb9ULL, 0x34efa4df94c8e15cULL}},
      {"SWShellRendering", {0x4cc282089051dcd0ULL, 0xe63eeef9b970f0c8ULL, 0xe06e6f609968f635ULL, 0x03d8c2ee6325f51eULL}},
      {"ShellRendering", {0x9387b34ec38b3961ULL, 0xcaaa559bd364ac87ULL, 0xae5821174625bc25ULL, 0x3baf3db7796dfe35ULL}},
      {"MIPShell", {0xbde80ca7a32cb443ULL, 0xbde80ca7a32cb443ULL, 0x005f1ba02c4fee3fULL, 0x25447f856c0efbd1ULL}},
      {"CMIPShell", {0x55c28f04b2cf6543ULL, 0x55c28f04b2cf6543ULL, 0xf1df4cdaa2ddc6f3ULL, 0x4a5f12af3cd2cf17ULL}},
      {"DirectVolumeRendering", {0xb47d2774d9f5a79dULL, 0x52baa0f4c15781a6ULL, 0x76d6542a11593edcULL, 0x42d99276b3d76551ULL}},
      {"CSWShellRenderingCut", {0x7f3c39259427a24cULL, 0x24d22cc1bee01090ULL, 0xf93ece1866ea4792ULL, 0x23b3f6675d162b70ULL}},
      {"FastCSWShellRenderingCut", {0x6c09120e74385505ULL, 0xa56824745e7fcd22ULL, 0xf93ece1866ea4792ULL, 0x23b3f6675d162b70ULL}},
      {"CSWShellRenderingCutPlane", {0x3aa79590411c7550ULL, 0xeacd69f1ed09f95aULL, 0x5e19788b165c2b67ULL, 0xb405ca1197fa2b4aULL}},
      {"SWShellRenderingCut", {0x3cfc196b279e4a75ULL, 0x5d3fd42d02b4749cULL, 0xef9cd4f74bc1aac0ULL, 0xac27e88ef4c56939ULL}},
  };
  return ref;
}

class ThreadCount : public ::testing::Test {
 protected:
  void TearDown() override { SetRenderThreads(0); }
};

TEST_F(ThreadCount, EveryRendererMatchesTheOneThreadImagesAndZBuffers) {
  std::vector<std::unique_ptr<Shell>> shells;
  for (int k = 0; k < 4; k++) shells.push_back(MakeCase(k));
  const bool print = std::getenv("ORVANE_IDENTITY_PRINT") != nullptr;
  for (const Renderer &r : Renderers()) {
    if (print) {
      SetRenderThreads(1);
      printf("      {\"%s\", {", r.name);
      for (int k = 0; k < 4; k++)
        printf("%s0x%016llxULL", k ? ", " : "",
               static_cast<unsigned long long>(Sweep(r, shells[k].get())));
      printf("}},\n");
      continue;
    }
    const auto found = Reference().find(r.name);
    ASSERT_NE(found, Reference().end()) << r.name;
    for (int threads : {1, 2, 3}) {
      SetRenderThreads(threads);
      for (int k = 0; k < 4; k++) {
        EXPECT_EQ(Sweep(r, shells[k].get()), found->second[k])
            << r.name << " on " << kCaseNames[k] << " with " << threads << " threads";
      }
    }
  }
}

// Frames of one shell after its content changed between them draw the new
// content, whatever the thread count: what a renderer keeps from one frame
// to the next follows the shell's revision.
TEST_F(ThreadCount, AChangeOfTheShellBetweenFramesIsDrawn) {
  auto shell = MakeCase(1);
  auto fresh = MakeCase(1);
  for (int threads : {1, 2}) {
    SetRenderThreads(threads);
    auto cxt = NewContext(shell->xsize, shell->ysize, shell->zsize);
    SetAngles(cxt.get(), 30, 40);
    auto before = ICSWShellRendering(shell.get(), cxt.get());
    {
      const ShellChange change(shell.get());
      for (Voxel &v : shell->voxel) {
        if (v.label == 1) v.visible = 0;
        if (v.label == 2) v.opacity = 255;
      }
    }
    {
      const ShellChange change(fresh.get());
      fresh->voxel = shell->voxel;
    }
    auto after = ICSWShellRendering(shell.get(), cxt.get());
    auto expected = ICSWShellRendering(fresh.get(), cxt.get());
    for (int b = 0; b < 3; b++) {
      EXPECT_TRUE(after->C[b]->val == expected->C[b]->val) << threads;
      EXPECT_FALSE(after->C[b]->val == before->C[b]->val && b == 0) << threads;
    }
    // Back as it was, for the next thread count.
    shell = MakeCase(1);
    fresh = MakeCase(1);
  }
}

}  // namespace
