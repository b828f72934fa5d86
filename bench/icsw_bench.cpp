// The interactive renderers on the two shells of the speed targets, at the
// context's own image size over a sweep of 36 viewing directions: (a) the
// label shell of a 256^3 phantom of ten boxes, (b) the body shell of every
// voxel of a 256^3 grey phantom, all opaque. Prints CPU milliseconds per
// frame (the minimum over several sweeps) and nanoseconds per shell voxel
// for ICSWShellRendering, CSWShellRendering and CSWShellRenderingCut (whole
// clip box, grey stretch 0..2000 to 0..255; the label shell takes the grey
// phantom as its scene, so both draw their faces), with and without the
// skipping of voxels behind closed intermediate pixels.
//
//   build/bench/icsw_bench [n [sweeps [cases [plain]]]]
// n = 256, sweeps = 3, cases "ab" (either phantom alone with "a" or "b"),
// plain 1 (0 leaves out the renderers without skipping) by default.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/adjacency3.h"
#include "core/cimage.h"
#include "core/curve.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/shell.h"
#include "render/shell_cut.h"
#include "render/shell_render.h"
#include "render/shell_splat.h"
#include "segment/analysis3.h"
#include "segment/segmentation3.h"

namespace {

using bench::CpuNow;
using bench::GreyVolume;
using bench::LabelVolume;

// The import wizard's label path: border of width 4, normals from each
// object's distance map; opacities stay 255 (the curve through (0, 1.0) and
// (16, 1.0)).
std::unique_ptr<Shell> LabelShell(int n) {
  auto labels = LabelVolume(n);
  auto A = Spheric(1.8f);
  auto border = Label2Border(labels.get(), A.get(), 2, 16);
  int k = 0;
  for (int v : border->data) k += v != 0;
  auto shell = NewShell(n, n, n, k);
  SetShellVoxels(shell.get(), border.get());
  SetShellList(shell.get(), border.get());
  for (int i = 1; i <= 10; i++) {
    auto bin = Threshold3(border.get(), i, i);
    auto d = TDistTrans3(bin.get(), A.get(), 2, 16);
    SetObjectNormal(shell.get(), d.get(), DistGradient3, i);
  }
  ShellNObjects(shell.get());
  return shell;
}

// Every voxel of the grey phantom, labelled 1 and opaque.
std::unique_ptr<Shell> BodyShell(int n) {
  auto scn = GreyVolume(n);
  auto shell = NewBodyShell(n, n, n, n * n * n);
  SetShellVoxels(shell.get(), scn.get());
  SetShellList(shell.get(), scn.get());
  SetBodyShellNormal(shell.get(), scn.get(), Gradient3);
  SetBodyShellValue(shell.get(), scn.get());
  for (Voxel &v : shell->voxel) v.label = 1;
  return shell;
}

using Renderer = std::unique_ptr<CImage> (*)(const Shell *, Context *);

// CSWShellRenderingCut with the stretch of grey 0..2000 to 0..255.
std::unique_ptr<CImage> CutRendering(const Shell *shell, Context *cxt) {
  static const std::unique_ptr<Curve> cs = [] {
    auto c = CreateCurve(2);
    c->X[0] = 0, c->Y[0] = 0, c->X[1] = 2000, c->Y[1] = 255;
    return c;
  }();
  return CSWShellRenderingCut(shell, cxt, cs.get());
}

// Milliseconds per frame over the sweep, the best of `sweeps` runs.
double MsPerFrame(const Shell *shell, Context *cxt, Renderer render, int sweeps) {
  double best = 1e30;
  for (int r = 0; r < sweeps; r++) {
    double total = 0;
    for (int i = 0; i < 36; i++) {
      SetAngles(cxt, 20.0f + 40.0f * (i % 9), 10.0f * i + 5.0f);
      double t0 = CpuNow();
      auto img = render(shell, cxt);
      total += CpuNow() - t0;
    }
    best = std::min(best, total / 36 * 1e3);
  }
  return best;
}

// One pass over the shell's voxel and list arrays: a bound on how fast any
// renderer that reads every voxel once could be.
double PassMs(const Shell *shell, int sweeps) {
  double best = 1e30;
  volatile long sink = 0;
  for (int r = 0; r < sweeps; r++) {
    double t0 = CpuNow();
    long s = 0;
    for (const Voxel &v : shell->voxel) s += v.label + v.normal;
    for (const ListEntry &e : shell->list) s += e.pointer;
    sink = sink + s;
    best = std::min(best, (CpuNow() - t0) * 1e3);
  }
  return best;
}

void Measure(const char *title, const Shell *shell, int sweeps, bool plain) {
  auto cxt = NewContext(shell->xsize, shell->ysize, shell->zsize);
  std::set<int> octants;
  std::set<char> axes;
  for (int i = 0; i < 36; i++) {
    SetAngles(cxt.get(), 20.0f + 40.0f * (i % 9), 10.0f * i + 5.0f);
    octants.insert(cxt->octant);
    axes.insert(cxt->paxis);
  }
  printf("%s: %d voxels, isize %d, %zu octants and %zu principal axes in the sweep\n", title,
         shell->nvoxels, cxt->isize, octants.size(), axes.size());
  printf("  one pass over the voxel and list arrays: %8.2f ms (%.2f ns/voxel)\n",
         PassMs(shell, sweeps), PassMs(shell, 1) * 1e6 / shell->nvoxels);
  struct Row {
    const char *name;
    Renderer render;
  } rows[] = {{"ICSWShellRendering", ICSWShellRendering},
              {"ICSWShellRendering, plain", ICSWShellRenderingPlain},
              {"CSWShellRendering", CSWShellRendering},
              {"CSWShellRendering, plain", CSWShellRenderingPlain},
              {"CSWShellRenderingCut", CutRendering}};
  double icsw = 0;
  for (const Row &r : rows) {
    if (!plain && (r.render == ICSWShellRenderingPlain || r.render == CSWShellRenderingPlain)) {
      continue;
    }
    const double ms = MsPerFrame(shell, cxt.get(), r.render, sweeps);
    if (r.render == ICSWShellRendering) icsw = ms;
    printf("  %-28s %8.2f ms/frame %7.1f fps %8.3f ns/voxel  x%.1f of ICSW\n", r.name, ms,
           1e3 / ms, ms * 1e6 / shell->nvoxels, ms / icsw);
  }
  printf("  target: ICSW <= 4 ms/frame, CSW and CSW Cut within 4x of ICSW\n\n");
}

}  // namespace

int main(int argc, char **argv) {
  const int n = argc > 1 ? atoi(argv[1]) : 256;
  const int sweeps = argc > 2 ? atoi(argv[2]) : 3;
  const std::string cases = argc > 3 ? argv[3] : "ab";
  const bool plain = argc > 4 ? atoi(argv[4]) != 0 : true;
  printf("interactive renderers, one thread, CPU time, %d^3, best of %d sweeps of 36 views\n\n", n,
         sweeps);
  if (cases.find('a') != std::string::npos) {
    auto scene = GreyVolume(n);
    auto shell = LabelShell(n);
    shell->scene = scene.get();
    Measure("(a) label shell, 10 objects", shell.get(), sweeps, plain);
  }
  if (cases.find('b') != std::string::npos) {
    auto shell = BodyShell(n);
    Measure("(b) body shell, every voxel, opaque", shell.get(), sweeps, plain);
  }
  return 0;
}
