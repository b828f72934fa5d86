// Maximum-intensity projection of the body shell of a grey phantom with no
// zero voxel (every voxel is visited), at the context's own image size over
// a sweep of viewing directions. Prints thread-CPU milliseconds per frame
// (each direction's fastest of several runs, averaged over the directions,
// and per principal axis), nanoseconds per voxel and per kernel tap, the
// cost of one streaming pass over the voxel and body arrays, and the cost
// of the first frame after a change of the shell (which gathers afresh
// what the projection keeps of it between frames). Then the
// same sweep with every value made equal: after the first voxels no pixel
// rises, so that figure is the cost of visiting and testing every voxel,
// and the difference to the first is the cost of the pixels that rise.
// A direction index times that one direction of the sweep alone (for
// profiling).
//
//   build/bench/mip_bench [n [runs [directions [index]]]]   defaults 256, 3, 36
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/curve.h"
#include "core/image.h"
#include "render/context.h"
#include "render/shell.h"
#include "render/shell_render.h"

namespace {

double ThreadCpuNow() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Milliseconds of the fastest of five streaming reads of n bytes.
double StreamPassMs(const void *data, size_t bytes) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  double best = 1e30;
  volatile uint64_t sink = 0;
  for (int r = 0; r < 5; r++) {
    double t0 = ThreadCpuNow();
    uint64_t sum = 0;
    for (size_t i = 0; i + 8 <= bytes; i += 8) {
      uint64_t w;
      memcpy(&w, p + i, 8);
      sum += w;
    }
    sink = sink + sum;
    best = std::min(best, (ThreadCpuNow() - t0) * 1e3);
  }
  return best;
}

struct SweepFigures {
  double ms = 0.0, worst = 0.0;
  std::map<char, std::pair<double, int>> byAxis;
  long checksum = 0;
};

// Each direction's fastest of runs frames, averaged over the directions.
SweepFigures TimeSweep(const Shell *body, Context *cxt, const Curve *window,
                       const std::vector<bench::ViewAngle> &views, int runs) {
  SweepFigures f;
  double sum = 0.0;
  for (const auto &view : views) {
    SetAngles(cxt, view.tilt, view.spin);
    double best = 1e30;
    for (int r = 0; r < runs; r++) {
      double c0 = ThreadCpuNow();
      auto img = MIPShell(body, cxt, window);
      best = std::min(best, (ThreadCpuNow() - c0) * 1e3);
      if (r == 0) f.checksum += img->val[img->val.size() / 2] + cxt->zbuffer->voxel[img->val.size() / 3];
    }
    sum += best;
    f.worst = std::max(f.worst, best);
    f.byAxis[cxt->paxis].first += best;
    f.byAxis[cxt->paxis].second++;
  }
  f.ms = sum / views.size();
  return f;
}

std::string AxisText(const SweepFigures &f) {
  std::string s;
  char item[64];
  for (const auto &a : f.byAxis) {
    snprintf(item, sizeof(item), "  %c %.2f (%d)", a.first, a.second.first / a.second.second,
             a.second.second);
    s += item;
  }
  return s;
}

}  // namespace

int main(int argc, char **argv) {
  const int n = argc > 1 ? atoi(argv[1]) : 256;
  const int runs = argc > 2 ? atoi(argv[2]) : 3;
  const int count = argc > 3 ? atoi(argv[3]) : 36;
  const int only = argc > 4 ? atoi(argv[4]) : -1;
  if (n < 8 || runs < 1 || count < 1 || only >= count) {
    fprintf(stderr, "usage: %s [n >= 8 [runs [directions [index < directions]]]]\n", argv[0]);
    return 1;
  }
  double t0 = bench::CpuNow();
  auto grey = bench::GreyVolume(n);
  auto body = bench::BodyShell(grey.get());
  grey.reset();
  for (Voxel &v : body->voxel) v.label = 1;
  printf("MIPShell, body shell of a %d^3 grey phantom: %d voxels (built in %.1f s)\n", n,
         body->nvoxels, bench::CpuNow() - t0);

  auto cxt = NewContext(n, n, n);
  auto window = CreateCurve(2);  // 0..2000 onto 0..255
  window->X[1] = 2000;
  window->Y[1] = 255;
  const int taps = static_cast<int>(cxt->kernel->weights.size());

  std::vector<bench::ViewAngle> views = bench::SweepAngles(count);
  if (only >= 0) views = {views[only]};
  const SweepFigures f = TimeSweep(body.get(), cxt.get(), window.get(), views, runs);
  if (only >= 0) {
    printf("direction %d of %d (%g, %g), axis %c, fastest of %d runs (thread CPU)\n", only, count,
           views[0].tilt, views[0].spin, f.byAxis.begin()->first, runs);
  } else {
    printf("isize %d, %d taps, %zu directions, fastest of %d runs each (thread CPU)\n", cxt->isize,
           taps, views.size(), runs);
  }
  const double ms = f.ms;
  printf("  MIPShell      %8.2f ms/frame  (worst direction %.2f)  %6.2f ns/voxel  %5.3f ns/tap\n",
         ms, f.worst, ms * 1e6 / body->nvoxels, ms * 1e6 / body->nvoxels / taps);
  for (const auto &a : f.byAxis)
    printf("    axis %c      %8.2f ms/frame over %d directions\n", a.first,
           a.second.first / a.second.second, a.second.second);
  const double pass = StreamPassMs(body->voxel.data(), body->voxel.size() * sizeof(Voxel)) +
                      StreamPassMs(body->body.data(), body->body.size() * sizeof(BodyEntry));
  printf("  one pass over the voxel and body arrays %.2f ms (%.2f ns/voxel): MIPShell %.1fx\n",
         pass, pass * 1e6 / body->nvoxels, ms / pass);
  // What a projection keeps of the shell is gathered afresh by the first
  // frame after any change: that frame's cost, seen along z (row order
  // only) and along x (row and list order).
  bool seen[2] = {false, false};
  for (const bench::ViewAngle &view : bench::SweepAngles(36)) {
    SetAngles(cxt.get(), view.tilt, view.spin);
    const int which = cxt->paxis == 'x' ? 1 : cxt->paxis == 'z' ? 0 : -1;
    if (which < 0 || seen[which]) continue;
    seen[which] = true;
    body->revision.Renew();
    const double c0 = ThreadCpuNow();
    MIPShell(body.get(), cxt.get(), window.get());
    const double first = (ThreadCpuNow() - c0) * 1e3;
    const double c1 = ThreadCpuNow();
    MIPShell(body.get(), cxt.get(), window.get());
    printf("  first frame after a change of the shell, axis %c: %.2f ms (then %.2f)\n", cxt->paxis,
           first, (ThreadCpuNow() - c1) * 1e3);
  }
  {
    const ShellChange change(body.get());
    for (int i = 0; i < body->nvoxels; i++) body->body[i].value = 149;
  }
  const SweepFigures flat = TimeSweep(body.get(), cxt.get(), window.get(), views, runs);
  printf("  every value 149 %6.2f ms/frame  (by axis:%s): the rising pixels cost %.1f%%\n", flat.ms,
         AxisText(flat).c_str(), 100.0 * (ms - flat.ms) / ms);
  printf("  (checksum %ld)\n", f.checksum);
  return 0;
}
