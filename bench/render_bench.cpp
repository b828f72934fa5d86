// The interactive renderers on the phantom shells, beside two peers run in
// the same process tree on the same grey volume, image size and viewing
// directions: VTK's CPU ray caster (bench/peers/vtk_render.py) and the
// shear-warp library VolPack (bench/peers/volpack_render.c).
//
//   (a) the object shell of a label phantom with 10 objects
//   (b) the body shell of a grey phantom with no zero voxel, every voxel
//       opaque, so that only its outer surface shows
//   (c) the same body shell classified semi-transparent: the background
//       ramp of opacity 0 (labelled 0, as the body classification labels
//       it), the box and the ball translucent
//
// For each renderer and shell: milliseconds per frame with one thread (the
// mean over the directions of each direction's fastest repeat, and the
// plain mean, and the CPU time of the calling thread, which a machine busy
// with other work inflates less), frames per second, nanoseconds per shell
// voxel, that cost
// against one streaming pass over the shell's voxel array (a
// memory-bandwidth bound measured here), and the milliseconds with every
// core and the speed-up. Then the classification both sides use, compared
// value by value, the voxels each side visits, the peers' figures with the
// ratio peer / ours (above 1: ours is faster; every peer and ours on one
// thread, but VTK, which takes every core), and the targets.
//
//   build/bench/render_bench [size] [quick] [nopeers]
//   build/bench/render_bench growth [quick]
//
// size is the phantoms' side (default 256); quick renders 6 directions once
// instead of 36 three times; nopeers skips the peers. growth renders (c)
// at 128, 256 and 384 with one thread and prints the cost per drawn voxel.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/peer_util.h"
#include "core/curve.h"
#include "core/fileio.h"
#include "render/context.h"
#include "render/shell_cut.h"
#include "render/shell_render.h"

#include "render/scene_render.h"
#include "render/shell_drawable.h"

namespace {

using bench::RampPoint;
using bench::ViewAngle;
using bench::Timing;
using bench::TimeFrames;
using bench::StreamPassMs;
using bench::PeerResult;
using bench::RunPeer;
using bench::Quote;
using bench::Exists;
using bench::PrintPeer;
using bench::Target;

// Opaque: every voxel. Semi-transparent: the background ramp invisible,
// the box and the ball translucent.
const RampPoint kOpaqueRamp[] = {{0, 1.0}, {2000, 1.0}};
const RampPoint kSemiRamp[] = {{0, 0.0}, {150, 0.0}, {1000, 0.2}, {2000, 0.6}};
constexpr int kOpaquePoints = 2;
constexpr int kSemiPoints = 4;

struct ShellCase {
  const char *name;
  Shell *shell;
  double passMs;  // one pass over its voxel array
};

// One renderer on one shell: one thread, then every core.
struct Row {
  std::string method;
  const ShellCase *shell;
  Timing one, all;
  double Speedup() const { return one.minMs / all.minMs; }
};

template <class Render>
Row Measure(const std::string &method, const ShellCase *sc, Context *c,
            const std::vector<ViewAngle> &views, int repeats, Render render) {
  Row r{method, sc, {}, {}};
  SetRenderThreads(1);
  r.one = TimeFrames(c, views, repeats, render);
  SetRenderThreads(0);
  r.all = TimeFrames(c, views, repeats, render);
  return r;
}

void PrintHeader() {
  printf("  %-24s %-3s %9s %9s %9s %8s %9s %8s  %10s %8s\n", "method", "", "1t min ms", "mean ms",
         "cpu ms", "frames/s", "ns/voxel", "x pass", "%dt min ms", "speed-up");
}

void PrintRow(const Row &r) {
  double nsVoxel = r.one.minMs * 1e6 / r.shell->shell->nvoxels;
  double passNs = r.shell->passMs * 1e6 / r.shell->shell->nvoxels;
  printf("  %-24s %-3s %9.3f %9.3f %9.3f %8.1f %9.3f %7.2fx  %10.3f %7.2fx\n", r.method.c_str(),
         r.shell->name, r.one.minMs, r.one.meanMs, r.one.cpuMs, 1000.0 / r.one.minMs, nsVoxel,
         nsVoxel / passNs, r.all.minMs, r.Speedup());
}

// Takes the lines starting with `key` out of a peer's note; the last one's
// rest.
std::string TakeLine(PeerResult *p, const std::string &key) {
  std::string kept, found;
  size_t at = 0;
  while (at < p->note.size()) {
    size_t end = p->note.find('\n', at);
    if (end == std::string::npos) end = p->note.size();
    const std::string line = p->note.substr(at, end - at);
    if (line.compare(0, key.size(), key) == 0) {
      found = line.substr(key.size());
    } else {
      kept += (kept.empty() ? "" : "\n") + line;
    }
    at = end + 1;
  }
  p->note = kept;
  return found;
}

// The semi-transparent classification on both sides, value by value: ours
// is the opacity byte the ramp gave the body shell's voxels of that value,
// the peer's what its ramp gives the value's 8-bit scalar.
void CompareClassification(const Shell *body, const std::string &classes,
                           const std::string &peerVoxels) {
  std::vector<int> ours(65536, -1);
  long long zero = 0;
  for (int i = 0; i < body->nvoxels; i++) {
    const int value = body->body[i].value, opacity = body->voxel[i].opacity;
    if (value >= 0 && value < 65536) ours[value] = opacity;
    zero += opacity == 0;
  }
  printf("\nclassification of (c), ours (density curve) against VolPack's opacity ramp:\n");
  printf("  ours: %.1f%% of the voxels of opacity 0\n", 100.0 * zero / body->nvoxels);
  if (classes.empty()) {
    printf("  (peer classification not available)\n");
    return;
  }
  double worst = 0.0;
  long long peerZero = 0, total = 0;
  size_t at = 0;
  printf("  %8s %10s %10s %12s\n", "value", "ours", "VolPack", "voxels");
  int shown = 0;
  while (at < classes.size()) {
    int v, n;
    double o;
    if (sscanf(classes.c_str() + at, "%d:%lf:%d", &v, &o, &n) != 3) break;
    const double mine = v < 65536 && ours[v] >= 0 ? ours[v] / 255.0 : 0.0;
    worst = std::max(worst, std::abs(mine - o));
    total += n;
    if (o < 0.01) peerZero += n;
    if (v == 100 || v == 149 || v >= 1000) {
      printf("  %8d %10.4f %10.4f %12d\n", v, mine, o, n);
      shown++;
    }
    size_t comma = classes.find(',', at);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  printf("  largest difference over every value present: %.4f (opacity bytes are 1/255 = "
         "0.0039 apart)\n",
         worst);
  printf("  VolPack: %.1f%% of the voxels below its least opacity 0.01 (not stored)\n",
         100.0 * peerZero / std::max<long long>(1, total));
  long long peerAll = 0, peerKept = 0;
  if (sscanf(peerVoxels.c_str(), "%lld %lld", &peerAll, &peerKept) == 2)
    printf("  VolPack keeps %lld of %lld voxels in its classified volume\n", peerKept, peerAll);
}

// One size of the growth series: the semi-transparent body shell, one
// thread.
void GrowthAt(int n, bool quick) {
  auto grey = bench::GreyVolume(n);
  auto body = bench::BodyShell(grey.get());
  grey.reset();
  bench::ClassifyByRamp(body.get(), kSemiRamp, kSemiPoints);
  auto cxt = NewContext(n, n, n);
  const auto views = bench::SweepAngles(quick ? 6 : 36);
  SetRenderThreads(1);
  for (char axis : {'x', 'z'}) DrawableVoxels(body.get(), axis);  // once per revision
  const Shell *b = body.get();
  Context *c = cxt.get();
  long long visited = 0, drawn = 0;
  Timing t = TimeFrames(c, views, quick ? 1 : 3, [&] {
    auto img = ICSWShellRendering(b, c);
    visited += LastICSWCounts().visited;
    drawn += LastICSWCounts().drawn;
    return img;
  });
  const double frames = static_cast<double>(views.size()) * (quick ? 1 : 3);
  const ShellPassCounts k = LastICSWCounts();
  printf("  %4d^3 %10d %10lld %10.0f %10.0f %9.3f %9.2f %9.3f %9.2f\n", n, body->nvoxels,
         k.drawable, visited / frames, drawn / frames, t.minMs, t.minMs * 1e6 / (drawn / frames),
         t.cpuMs, t.cpuMs * 1e6 / (drawn / frames));
  SetRenderThreads(0);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && strcmp(argv[1], "growth") == 0) {
    const bool quick = argc >= 3 && strcmp(argv[2], "quick") == 0;
    printf("growth: ICSWShellRendering of the semi-transparent body shell (c), one thread, %d "
           "directions\n",
           quick ? 6 : 36);
    printf("  %6s %10s %10s %10s %10s %9s %9s %9s %9s\n", "size", "voxels", "drawable",
           "visited", "drawn", "ms/frame", "ns/drawn", "cpu ms", "cpu ns/d");
    printf("  (ms/frame: the mean of each direction's fastest; cpu: the mean CPU time)\n");
    for (int n : {128, 256, 384}) GrowthAt(n, quick);
    return 0;
  }
  int n = 256;
  bool quick = false, peers = true;
  if (!bench::ParseRenderBenchArgs(argc, argv, &n, &quick, &peers)) return 1;
  const int repeats = quick ? 1 : 3;
  const auto views = bench::SweepAngles(quick ? 6 : 36);
  const int cores = RenderThreads();

  printf("shell rendering, %d^3 phantoms, %zu directions x %d repeats, one thread and %d\n", n,
         views.size(), repeats, cores);
  double t0 = bench::WallNow();
  auto labels = bench::LabelVolume(n);
  auto objects = bench::LabelShell(labels.get(), 10);
  labels.reset();
  double tLabel = bench::WallNow() - t0;
  t0 = bench::WallNow();
  auto grey = bench::GreyVolume(n);
  auto body = bench::BodyShell(grey.get());
  bench::ClassifyByRamp(body.get(), kOpaqueRamp, kOpaquePoints);
  double tBody = bench::WallNow() - t0;
  // Cut faces of an object shell show the grey scene associated with it.
  objects->scene = grey.get();
  body->scene = grey.get();
  printf("  (a) object shell: %d voxels, built in %.1f s\n", objects->nvoxels, tLabel);
  printf("  (b) body shell:   %d voxels, built and classified opaque in %.1f s\n\n",
         body->nvoxels, tBody);

  auto cxt = NewContext(n, n, n);
  const int isize = cxt->isize;
  auto window = CreateCurve(2);  // grey-level window of the cut faces: 0..2000 onto 0..255
  window->X[0] = 0;
  window->Y[0] = 0;
  window->X[1] = 2000;
  window->Y[1] = 255;

  ShellCase a = {"(a)", objects.get(),
                 StreamPassMs(objects->voxel.data(), objects->voxel.size() * sizeof(Voxel))};
  ShellCase b = {"(b)", body.get(),
                 StreamPassMs(body->voxel.data(), body->voxel.size() * sizeof(Voxel))};
  ShellCase semiCase = {"(c)", body.get(), b.passMs};
  printf("one streaming pass over the voxel array (%zu bytes/voxel):\n", sizeof(Voxel));
  for (const ShellCase *c : {&a, &b})
    printf("  %s %8.3f ms  %6.3f ns/voxel  %5.1f GB/s\n", c->name, c->passMs,
           c->passMs * 1e6 / c->shell->nvoxels,
           c->shell->nvoxels * sizeof(Voxel) / (c->passMs * 1e-3) * 1e-9);

  printf("\nrenderers at isize %d (ms per frame: min = mean of each direction's fastest)\n",
         isize);
  printf("  %%dt: with every core (%d threads)\n", cores);
  PrintHeader();
  Context *c = cxt.get();
  const Curve *cs = window.get();
  std::vector<Row> icsw, csw, cut;
  for (const ShellCase *sc : {&a, &b}) {
    const Shell *s = sc->shell;
    for (char axis : {'x', 'z'}) DrawableVoxels(s, axis);  // once per revision
    icsw.push_back(Measure("ICSWShellRendering", sc, c, views, repeats,
                           [&] { return ICSWShellRendering(s, c); }));
    PrintRow(icsw.back());
    csw.push_back(Measure("CSWShellRendering", sc, c, views, repeats,
                          [&] { return CSWShellRendering(s, c); }));
    PrintRow(csw.back());
    cut.push_back(Measure("CSWShellRenderingCut", sc, c, views, repeats,
                          [&] { return CSWShellRenderingCut(s, c, cs); }));
    PrintRow(cut.back());
  }
  const Row mip = Measure("MIPShell", &b, c, views, repeats,
                          [&] { return MIPShell(body.get(), c, cs); });
  PrintRow(mip);

  // The same body shell classified semi-transparent (c).
  bench::ClassifyByRamp(body.get(), kSemiRamp, kSemiPoints);
  for (char axis : {'x', 'z'}) DrawableVoxels(body.get(), axis);
  const Shell *bs = body.get();
  const Row semi = Measure("ICSWShellRendering", &semiCase, c, views, repeats,
                           [&] { return ICSWShellRendering(bs, c); });
  PrintRow(semi);
  SetRenderThreads(1);
  ICSWShellRendering(bs, c);
  const ShellPassCounts counts = LastICSWCounts();
  SetRenderThreads(0);
  const Row semiCsw = Measure("CSWShellRendering", &semiCase, c, views, repeats,
                              [&] { return CSWShellRendering(bs, c); });
  PrintRow(semiCsw);
  const Row semiCut = Measure("CSWShellRenderingCut", &semiCase, c, views, repeats,
                              [&] { return CSWShellRenderingCut(bs, c, cs); });
  PrintRow(semiCut);
  printf("\nvoxels of (c) in ICSWShellRendering from the last direction: %lld in the shell, "
         "%lld drawable (visible, label non-zero), %lld visited (open intermediate pixel), %lld "
         "composited\n",
         counts.voxels, counts.drawable, counts.visited, counts.drawn);

  PeerResult vpOpaque, vpSemi, vtkOpaque, vtkSemi, vtkMip;
  if (peers) {
    const std::string raw = "/tmp/orvane_render_bench_" + std::to_string(getpid()) + ".raw";
    bench::WriteRawVolume(grey.get(), raw.c_str());
    grey.reset();
    objects->scene = nullptr;
    body->scene = nullptr;
    const std::string exeDir = bench::ExecutableDir();
    const std::string common = " " + Quote(raw) + " " + std::to_string(n) + " 2 " +
                               std::to_string(isize) + " ";
    const std::string angles = Quote(bench::AnglesText(views));
    const std::string reps = " " + std::to_string(repeats);
    const std::string opaque = Quote(bench::RampText(kOpaqueRamp, kOpaquePoints));
    const std::string semiRamp = Quote(bench::RampText(kSemiRamp, kSemiPoints));

    const std::string volpack = exeDir + "/volpack_render";
    std::string classes, peerVoxels;
    if (Exists(volpack)) {
      vpOpaque = RunPeer(volpack + common + opaque + " " + angles + reps);
      vpSemi = RunPeer(volpack + common + semiRamp + " " + angles + reps);
      TakeLine(&vpOpaque, "CLASSES ");
      TakeLine(&vpOpaque, "PEERVOXELS ");
      classes = TakeLine(&vpSemi, "CLASSES ");
      peerVoxels = TakeLine(&vpSemi, "PEERVOXELS ");
    } else {
      vpOpaque.note = vpSemi.note = "volpack_render not built (libvolpack1-dev missing)";
    }
    CompareClassification(body.get(), classes, peerVoxels);
    const std::string script = bench::VtkScript(__FILE__);
    const std::string python = Exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    if (Exists(script)) {
      const std::string vtk = python + " " + Quote(script) + common;
      vtkOpaque = RunPeer(vtk + opaque + " " + angles + reps);
      vtkSemi = RunPeer(vtk + semiRamp + " " + angles + reps);
      vtkMip = RunPeer(vtk + opaque + " " + angles + reps + " --mip");
    } else {
      vtkOpaque.note = vtkSemi.note = vtkMip.note = "vtk_render.py not found";
    }
    unlink(raw.c_str());

    printf("\npeers on the grey phantom at %d^2 (ms per frame: min, mean); ours one thread\n",
           isize);
    for (const PeerResult *p : {&vpOpaque, &vtkOpaque})
      if (p->ok) printf("  %s\n", p->note.c_str());
    PrintPeer("VolPack opaque", vpOpaque, icsw[1].one.minMs, "ICSW (b)");
    PrintPeer("VolPack opaque", vpOpaque, icsw[0].one.minMs, "ICSW (a)");
    PrintPeer("VolPack semi-transparent", vpSemi, semi.one.minMs, "ICSW (c)");
    PrintPeer("VTK opaque", vtkOpaque, icsw[1].one.minMs, "ICSW (b)");
    PrintPeer("VTK opaque", vtkOpaque, icsw[0].one.minMs, "ICSW (a)");
    PrintPeer("VTK opaque", vtkOpaque, csw[1].one.minMs, "CSW (b)");
    PrintPeer("VTK semi-transparent", vtkSemi, semi.one.minMs, "ICSW (c)");
    PrintPeer("VTK maximum intensity", vtkMip, mip.one.minMs, "MIPShell (b)");
  }

  printf("\ntargets (ours one thread unless a speed-up)\n");
  if (vpOpaque.ok)
    Target("ICSWShellRendering (b) >= 1.5x VolPack opaque",
           vpOpaque.minMs >= 1.5 * icsw[1].one.minMs);
  if (vpSemi.ok)
    Target("ICSWShellRendering (c) as fast as VolPack semi-transparent",
           semi.one.minMs <= vpSemi.minMs);
  if (vtkOpaque.ok) {
    Target("ICSWShellRendering (a) >= 25x faster than VTK opaque",
           vtkOpaque.minMs >= 25.0 * icsw[0].one.minMs);
    Target("ICSWShellRendering (b) >= 25x faster than VTK opaque",
           vtkOpaque.minMs >= 25.0 * icsw[1].one.minMs);
  }
  if (vtkMip.ok)
    Target("MIPShell (b) >= 2x faster than VTK MIP", vtkMip.minMs >= 2.0 * mip.one.minMs);
  Target("ICSWShellRendering (a) <= 4 ms", icsw[0].one.minMs <= 4.0);
  Target("ICSWShellRendering (b) <= 4 ms", icsw[1].one.minMs <= 4.0);
  Target("CSWShellRendering within 4x of ICSWShellRendering, (a) and (b)",
         csw[0].one.minMs <= 4.0 * icsw[0].one.minMs && csw[1].one.minMs <= 4.0 * icsw[1].one.minMs);
  Target("CSWShellRenderingCut within 4x of ICSWShellRendering, (a) and (b)",
         cut[0].one.minMs <= 4.0 * icsw[0].one.minMs && cut[1].one.minMs <= 4.0 * icsw[1].one.minMs);
  Target("CSWShellRendering (c) within 4x of ICSWShellRendering (c)",
         semiCsw.one.minMs <= 4.0 * semi.one.minMs);
  Target("CSWShellRenderingCut (c) within 4x of ICSWShellRendering (c)",
         semiCut.one.minMs <= 4.0 * semi.one.minMs);
  char what[128];
  for (const Row *r : std::vector<const Row *>{&icsw[0], &icsw[1], &semi, &csw[0], &csw[1], &semiCsw, &mip}) {
    snprintf(what, sizeof(what), "%s %s >= 1.8x with %d threads (%.2fx)", r->method.c_str(),
             r->shell->name, cores, r->Speedup());
    Target(what, r->Speedup() >= 1.8);
  }
  return 0;
}
