// Renders the two phantom shells with every renderer of this tree from a
// sweep of viewing directions (the eight octant diagonals and both ends of
// the three principal axes) and writes each frame as a PPM file, so that
// anyone can look at them; prints the files with the time each took.
//
//   build/bench/sweep_bench <directory> [size]
//
// size is the phantoms' side (default 128). Files are named
// <method>_<shell>_<direction>.ppm, shell "objects" (the label phantom's
// object shell) or "body" (the grey phantom's body shell, classified with
// the box and ball translucent and the rest invisible); grey renderings
// are written as three equal bands. The scene renderers (ray casting,
// splatting, oblique slices, scene drawing) render the phantoms' scenes
// themselves: shell "labels" (the label phantom) or "grey" (the grey
// phantom, with the same classification as opacities).
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/cimage.h"
#include "core/curve.h"
#include "core/plane.h"
#include "render/context.h"
#include "render/shell_cut.h"
#include "render/graphics.h"
#include "render/normal.h"
#include "render/raycasting.h"
#include "render/reslicing.h"
#include "render/shell_render.h"
#include "render/splatting.h"
#include "segment/annscn.h"


namespace {

struct Direction {
  std::string name;
  float tilt, spin;
};

// The (tilt, spin) whose viewer, (sin s, -cos s sin t, -cos s cos t), points
// along w.
Direction Towards(const std::string &name, double wx, double wy, double wz) {
  const double deg = 180.0 / 3.1415926536;
  double tilt = std::atan2(-wy, -wz) * deg;
  double spin = std::atan2(wx, std::sqrt(wy * wy + wz * wz)) * deg;
  return {name, static_cast<float>(tilt), static_cast<float>(spin)};
}

std::vector<Direction> SweepDirections() {
  std::vector<Direction> d;
  for (int o = 0; o < 8; o++) {
    int sx = o & 1 ? 1 : -1, sy = o & 2 ? 1 : -1, sz = o & 4 ? 1 : -1;
    std::string name = std::string("octant") + (sx > 0 ? "+" : "-") + (sy > 0 ? "+" : "-") +
                       (sz > 0 ? "+" : "-");
    d.push_back(Towards(name, sx, sy, sz));
  }
  d.push_back(Towards("axis+x", 1, 0, 0));
  d.push_back(Towards("axis-x", -1, 0, 0));
  d.push_back(Towards("axis+y", 0, 1, 0));
  d.push_back(Towards("axis-y", 0, -1, 0));
  d.push_back(Towards("axis+z", 0, 0, 1));
  d.push_back(Towards("axis-z", 0, 0, -1));
  return d;
}

struct Method {
  const char *name;
  std::function<std::unique_ptr<CImage>(const Shell *, Context *)> render;
};

std::unique_ptr<CImage> AsColour(std::unique_ptr<Image> img) {
  return img ? Convert2CImage(img.get()) : nullptr;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s <directory> [size]\n", argv[0]);
    return 1;
  }
  const std::string dir = argv[1];
  const int n = argc > 2 ? atoi(argv[2]) : 128;
  if (n < 8) {
    fprintf(stderr, "sweep_bench: size must be at least 8\n");
    return 1;
  }
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    perror(dir.c_str());
    return 1;
  }

  auto labels = bench::LabelVolume(n);
  auto objects = bench::LabelShell(labels.get(), 10);
  auto grey = bench::GreyVolume(n);
  auto body = bench::BodyShell(grey.get());
  const bench::RampPoint semi[] = {{0, 0.0}, {150, 0.0}, {1000, 0.2}, {2000, 0.6}};
  bench::ClassifyByRamp(body.get(), semi, 4);
  objects->scene = grey.get();
  body->scene = grey.get();

  auto cxt = NewContext(n, n, n);
  for (int label = 1; label <= 10; label++)  // ten distinguishable hues
    SetObjectColor(cxt.get(), label, 0.3f + 0.07f * label, 1.0f - 0.08f * label,
                   label % 2 ? 0.4f : 0.9f);
  auto window = CreateCurve(2);  // grey window 0..2000 onto 0..255
  window->X[1] = 2000;
  window->Y[1] = 255;
  const Curve *cs = window.get();
  (void)cs;  // only the mip and cut renderers read it

  std::vector<Method> methods = {
      {"ICSWShellRendering", [](const Shell *s, Context *c) { return ICSWShellRendering(s, c); }},
      {"CSWShellRendering", [](const Shell *s, Context *c) { return CSWShellRendering(s, c); }},
      {"SWShellRendering",
       [](const Shell *s, Context *c) { return AsColour(SWShellRendering(s, c)); }},
      {"ShellRendering", [](const Shell *s, Context *c) { return AsColour(ShellRendering(s, c)); }},
      {"MIPShell", [cs](const Shell *s, Context *c) { return AsColour(MIPShell(s, c, cs)); }},
      {"CMIPShell", [cs](const Shell *s, Context *c) { return CMIPShell(s, c, cs); }},
      {"GMIPShell", [cs](const Shell *s, Context *c) { return GMIPShell(s, c, cs); }},
      {"DirectVolumeRendering",
       [](const Shell *s, Context *c) { return AsColour(DirectVolumeRendering(s, c)); }},
      {"EWASWShellRendering",
       [](const Shell *s, Context *c) { return AsColour(EWASWShellRendering(s, c)); }},
      {"CSWShellRenderingCut",
       [cs](const Shell *s, Context *c) { return CSWShellRenderingCut(s, c, cs); }},
      {"FastCSWShellRenderingCut",
       [cs](const Shell *s, Context *c) { return FastCSWShellRenderingCut(s, c, cs); }},
      {"CSWShellRenderingCutPlane",
       [cs](const Shell *s, Context *c) {
         auto plane = CreatePlane(c);  // through the volume's centre, facing +z
         plane->px = c->xsize / 2.0f;
         plane->py = c->ysize / 2.0f;
         plane->pz = c->zsize / 2.0f;
         return CSWShellRenderingCutPlane(s, c, cs, plane.get());
       }},
      {"SWShellRenderingCut",
       [cs](const Shell *s, Context *c) { return AsColour(SWShellRenderingCut(s, c, cs)); }},
      {"CSWShellRenderingStereo",
       [cs](const Shell *s, Context *c) { return CSWShellRenderingStereo(s, c, cs); }},
  };

  // The scene renderers' inputs: opacities of the grey phantom by the same
  // ramp, its gradient normals and the normal table as a list.
  auto alpha = CreateScene(n, n, n);
  for (int i = 0; i < alpha->VoxelCount(); i++)
    alpha->data[i] = static_cast<int>(255.0 * bench::RampAt(semi, 4, grey->data[i]));
  auto normals = NormalScene(grey.get(), Gradient3);
  std::vector<float> table;
  {
    auto t = CreateNormalTable();
    for (const NormalVector &v : t->entry) table.insert(table.end(), {v.x, v.y, v.z});
  }
  auto annotated = AnnotateCopy3(grey.get());
  annotated->label->data = labels->data;
  auto cut = CreatePlane(cxt.get());  // through the centre, tilted
  RotatePlaneAbs(cut.get(), 20, 60);
  struct SceneMethod {
    const char *name;
    const char *scene;
    std::function<std::unique_ptr<CImage>(Context *)> render;
  };
  const Scene *L = labels.get(), *G = grey.get();
  std::vector<SceneMethod> sceneMethods = {
      {"RaycastScene", "labels", [&](Context *c) { return AsColour(RaycastScene(L, c)); }},
      {"RaycastGrayScene", "labels", [&](Context *c) { return AsColour(RaycastGrayScene(L, c, G)); }},
      {"BRaycastScene", "labels", [&](Context *c) { return AsColour(BRaycastScene(L, c)); }},
      {"SWRaycastScene", "labels", [&](Context *c) { return AsColour(SWRaycastScene(L, c)); }},
      {"MIPScene", "grey",
       [&](Context *c) {
         auto img = MIPScene(G, c);
         for (int &v : img->val) v /= 8;  // 2000 at most
         return AsColour(std::move(img));
       }},
      {"RaytracingScene", "grey",
       [&](Context *c) {
         auto img = RaytracingScene(G, alpha.get(), normals.get(), table, c);
         for (int &v : img->val) v /= 8;
         return AsColour(std::move(img));
       }},
      {"CRaytracingScene", "grey",
       [&](Context *c) { return CRaytracingScene(G, alpha.get(), normals.get(), table, c); }},
      {"SplatScene", "labels", [&](Context *c) { return AsColour(SplatScene(L, c)); }},
      {"SWSplatScene", "labels", [&](Context *c) { return AsColour(SWSplatScene(L, c)); }},
      {"SliceScene", "grey",
       [&](Context *c) {
         auto img = SliceScene(G, c, cut.get());
         for (int &v : img->val) v /= 8;
         return AsColour(std::move(img));
       }},
      {"DrawScene", "grey", [&](Context *c) { return AsColour(DrawScene(G, c)); }},
      {"DrawCutScene", "grey", [&](Context *c) { return AsColour(DrawCutScene(G, c, cut.get())); }},
      {"DrawCutObjects", "labels",
       [&](Context *c) { return AsColour(DrawCutObjects(annotated.get(), c, cut.get())); }},
      {"DrawCutObjectsAux", "labels",
       [&](Context *c) { return DrawCutObjectsAux(G, L, c, cut.get()); }},
  };

  const auto directions = SweepDirections();
  printf("sweep of %zu directions, %d^3 phantoms, isize %d, into %s\n", directions.size(), n,
         cxt->isize, dir.c_str());
  int files = 0;
  for (const Method &m : methods)
    for (int k = 0; k < 2; k++) {
      const Shell *shell = k == 0 ? objects.get() : body.get();
      const char *shellName = k == 0 ? "objects" : "body";
      for (const Direction &d : directions) {
        SetAngles(cxt.get(), d.tilt, d.spin);
        double t0 = bench::WallNow();
        auto img = m.render(shell, cxt.get());
        double ms = (bench::WallNow() - t0) * 1e3;
        if (!img) {
          printf("  %s %s %s: no image\n", m.name, shellName, d.name.c_str());
          continue;
        }
        std::string path = dir + "/" + m.name + "_" + shellName + "_" + d.name + ".ppm";
        WriteCImage(img.get(), path.c_str());
        printf("  %-70s %8.2f ms\n", path.c_str(), ms);
        files++;
      }
    }
  for (const SceneMethod &m : sceneMethods)
    for (const Direction &d : directions) {
      SetAngles(cxt.get(), d.tilt, d.spin);
      double t0 = bench::WallNow();
      auto img = m.render(cxt.get());
      double ms = (bench::WallNow() - t0) * 1e3;
      std::string path = dir + "/" + m.name + "_" + m.scene + "_" + d.name + ".ppm";
      WriteCImage(img.get(), path.c_str());
      printf("  %-70s %8.2f ms\n", path.c_str(), ms);
      files++;
    }
  printf("%d files\n", files);
  return 0;
}
