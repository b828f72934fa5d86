// Cut rendering against the interactive renderer, step by step: the label
// shell of the label phantom with the grey phantom as its scene (a) and the
// opaque body shell of the grey phantom (b), the whole volume and a
// narrowed clip box, over a sweep of directions. Thread CPU time per frame
// (the machine is shared), with the cut renderer's ratio to
// ICSWShellRendering and the share of its face steps.
//
//   cut_bench [size] [directions]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/curve.h"
#include "core/plane.h"
#include "core/stretch.h"
#include "render/context.h"
#include "render/shading.h"
#include "render/shell_cut.h"
#include "render/shell_render.h"

namespace {

double ThreadCpuNow() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Mean thread-CPU milliseconds of step over the views.
double MeanMs(Context *cxt, const std::vector<bench::ViewAngle> &views,
              const std::function<void()> &step) {
  double total = 0.0;
  for (const bench::ViewAngle &v : views) {
    SetAngles(cxt, v.tilt, v.spin);
    const double t0 = ThreadCpuNow();
    step();
    total += ThreadCpuNow() - t0;
  }
  return total * 1e3 / views.size();
}

}  // namespace

int main(int argc, char **argv) {
  const int n = argc > 1 ? std::max(16, atoi(argv[1])) : 256;
  const int count = argc > 2 ? std::max(1, atoi(argv[2])) : 12;
  const auto views = bench::SweepAngles(count);
  auto labels = bench::LabelVolume(n);
  auto objects = bench::LabelShell(labels.get(), 10);
  labels.reset();
  auto grey = bench::GreyVolume(n);
  auto body = bench::BodyShell(grey.get());
  const bench::RampPoint opaque[] = {{0, 1.0}, {2000, 1.0}};
  bench::ClassifyByRamp(body.get(), opaque, 2);
  objects->scene = grey.get();
  auto cs = CreateCurve(2);
  cs->X[0] = 0, cs->Y[0] = 0, cs->X[1] = 2000, cs->Y[1] = 255;
  auto cxt = NewContext(n, n, n);
  Context *c = cxt.get();
  const int isize = c->isize;
  printf("cut rendering, %d^3, isize %d, %d directions, thread CPU ms per frame\n", n, isize,
         count);
  struct Clip {
    const char *name;
    int lo, hi;
  } clips[] = {{"whole volume", 0, n - 1}, {"clip box n/4..3n/4", n / 4, 3 * n / 4}};
  for (const Clip &clip : clips) {
    SetClip(c, clip.lo, clip.hi, clip.lo, clip.hi, clip.lo, clip.hi);
    printf("\n%s\n", clip.name);
    printf("  %-3s %-34s %9s %9s\n", "", "step", "ms", "/ICSW");
    for (int k = 0; k < 2; k++) {
      const Shell *s = k == 0 ? objects.get() : body.get();
      const char *name = k == 0 ? "(a)" : "(b)";
      const double icsw = MeanMs(c, views, [&] { ICSWShellRendering(s, c); });
      auto row = [&](const char *what, double ms) {
        printf("  %-3s %-34s %9.3f %9.2f\n", name, what, ms, ms / icsw);
      };
      row("ICSWShellRendering", icsw);
      row("CSWShellRendering", MeanMs(c, views, [&] { CSWShellRendering(s, c); }));
      row("CSWShellRenderingCut", MeanMs(c, views, [&] { CSWShellRenderingCut(s, c, cs.get()); }));
      row("FastCSWShellRenderingCut",
          MeanMs(c, views, [&] { FastCSWShellRenderingCut(s, c, cs.get()); }));
      auto pl = CreatePlane(c);
      row("CSWShellRenderingCutPlane",
          MeanMs(c, views, [&] { CSWShellRenderingCutPlane(s, c, cs.get(), pl.get()); }));
      row("SWShellRenderingCut", MeanMs(c, views, [&] { SWShellRenderingCut(s, c, cs.get()); }));
      // The steps of CSWShellRenderingCut before its composite.
      auto face = CreateImage(isize, isize);
      std::unique_ptr<FBuffer> interT, outT;
      auto fresh = [&] {
        interT = CreateFBuffer(static_cast<int>(c->iwidth), static_cast<int>(c->iheight));
        InitFBuffer(interT.get(), 1.0f);
        outT = CreateFBuffer(isize, isize);
        InitFBuffer(outT.get(), 1.0f);
        InitZBuffer(c->zbuffer.get());
      };
      if (k == 0) {
        row("  3 x ShellRenderingDrawObjectCut", MeanMs(c, views, [&] {
              InitZBuffer(c->zbuffer.get());
              for (char a : {'x', 'y', 'z'}) ShellRenderingDrawObjectCut(s, c, a);
            }));
        row("  ISWShellRenderingDrawSceneCut", MeanMs(c, views, [&] {
              fresh();
              ISWShellRenderingDrawSceneCut(face.get(), s, c, interT.get(), outT.get());
            }));
      } else {
        row("  body faces", MeanMs(c, views, [&] {
              fresh();
              SWShellRenderingDrawCut(face.get(), s, c, interT.get(), outT.get(), c->paxis);
              ShellRenderingDrawCut(face.get(), s, c, outT.get(), 'x');
              ShellRenderingDrawCut(face.get(), s, c, outT.get(), 'y');
            }));
      }
      row("  stretch and colorize", MeanMs(c, views, [&] {
            auto st = LinearStretch(face.get(), 0, 2000, 0, 255);
            Colorize(c, st.get());
          }));
    }
  }
  return 0;
}
