// The interactive renderers on the two phantom shells, beside two peers
// run in the same process tree on the same grey volume, image size and
// viewing directions: VTK's CPU ray caster (bench/peers/vtk_render.py) and
// the shear-warp library VolPack (bench/peers/volpack_render.c).
//
//   (a) the object shell of a label phantom with 10 objects
//   (b) the body shell of a grey phantom with no zero voxel, every voxel
//       opaque, so that only its outer surface shows
//
// For each renderer and shell: milliseconds per frame (the mean over the
// directions of each direction's fastest repeat, and the plain mean), frames
// per second, nanoseconds per shell voxel, and that cost against one
// streaming pass over the shell's voxel array (a memory-bandwidth bound
// measured here); then the peers' figures with the ratio peer / ours (above
// 1: ours is faster), and the targets.
//
//   build/bench/render_bench [size] [quick] [nopeers]
//
// size is the phantoms' side (default 256); quick renders 6 directions once
// instead of 36 three times; nopeers skips the peers.
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

struct Row {
  std::string method;
  const ShellCase *shell;
  Timing t;
};

void PrintRow(const Row &r) {
  double nsVoxel = r.t.minMs * 1e6 / r.shell->shell->nvoxels;
  double passNs = r.shell->passMs * 1e6 / r.shell->shell->nvoxels;
  printf("  %-22s %-3s %9.3f %9.3f %9.3f %8.1f %9.3f %8.2fx\n", r.method.c_str(), r.shell->name,
         r.t.minMs, r.t.meanMs, r.t.cpuMs, 1000.0 / r.t.minMs, nsVoxel, nsVoxel / passNs);
}

}  // namespace

int main(int argc, char **argv) {
  int n = 256;
  bool quick = false, peers = true;
  if (!bench::ParseRenderBenchArgs(argc, argv, &n, &quick, &peers)) return 1;
  const int repeats = quick ? 1 : 3;
  const auto views = bench::SweepAngles(quick ? 6 : 36);

  printf("shell rendering, %d^3 phantoms, %zu directions x %d repeats, one thread\n", n,
         views.size(), repeats);
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
  printf("one streaming pass over the voxel array (%zu bytes/voxel):\n", sizeof(Voxel));
  for (const ShellCase *c : {&a, &b})
    printf("  %s %8.3f ms  %6.3f ns/voxel  %5.1f GB/s\n", c->name, c->passMs,
           c->passMs * 1e6 / c->shell->nvoxels,
           c->shell->nvoxels * sizeof(Voxel) / (c->passMs * 1e-3) * 1e-9);

  printf("\nrenderers at isize %d (ms per frame: min = mean of each direction's fastest)\n", isize);
  printf("  %-22s %-3s %9s %9s %9s %8s %9s %9s\n", "method", "", "min ms", "mean ms", "cpu ms",
         "frames/s", "ns/voxel", "x pass");
  std::vector<Row> rows;
  Context *c = cxt.get();
  const Curve *cs = window.get();
  Timing icsw[2], csw[2], cut[2], mip;
  for (int k = 0; k < 2; k++) {
    const ShellCase *sc = k == 0 ? &a : &b;
    const Shell *s = sc->shell;
    rows.push_back({"ICSWShellRendering", sc,
                    TimeFrames(c, views, repeats, [&] { return ICSWShellRendering(s, c); })});
    PrintRow(rows.back());
    icsw[k] = rows.back().t;
    rows.push_back({"CSWShellRendering", sc,
                    TimeFrames(c, views, repeats, [&] { return CSWShellRendering(s, c); })});
    PrintRow(rows.back());
    csw[k] = rows.back().t;
    rows.push_back({"CSWShellRenderingCut", sc, TimeFrames(c, views, repeats, [&] {
                      return CSWShellRenderingCut(s, c, cs);
                    })});
    PrintRow(rows.back());
    cut[k] = rows.back().t;
  }
  rows.push_back({"MIPShell", &b,
                  TimeFrames(c, views, repeats, [&] { return MIPShell(body.get(), c, cs); })});
  PrintRow(rows.back());
  mip = rows.back().t;
  const Timing &icswA = icsw[0], &cswA = csw[0], &cutA = cut[0];
  const Timing &icswB = icsw[1], &cswB = csw[1], &cutB = cut[1], &mipB = mip;

  // The same body shell classified semi-transparent, for the peers' second
  // classification.
  bench::ClassifyByRamp(body.get(), kSemiRamp, kSemiPoints);
  Row semi = {"ICSW semi-transparent", &b,
              TimeFrames(c, views, repeats, [&] { return ICSWShellRendering(body.get(), c); })};
  PrintRow(semi);

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

    PeerResult vpOpaque, vpSemi, vtkOpaque, vtkSemi, vtkMip;
    const std::string volpack = exeDir + "/volpack_render";
    if (Exists(volpack)) {
      vpOpaque = RunPeer(volpack + common + opaque + " " + angles + reps);
      vpSemi = RunPeer(volpack + common + semiRamp + " " + angles + reps);
    } else {
      vpOpaque.note = vpSemi.note = "volpack_render not built (libvolpack1-dev missing)";
    }
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

    printf("\npeers on the grey phantom at %d^2 (ms per frame: min, mean)\n", isize);
    for (const PeerResult *p : {&vpOpaque, &vtkOpaque})
      if (p->ok) printf("  %s\n", p->note.c_str());
    PrintPeer("VolPack opaque", vpOpaque, icswB.minMs, "ICSW (b)");
    PrintPeer("VolPack opaque", vpOpaque, icswA.minMs, "ICSW (a)");
    PrintPeer("VolPack semi-transparent", vpSemi, semi.t.minMs, "ICSW semi-transparent");
    PrintPeer("VTK opaque", vtkOpaque, icswB.minMs, "ICSW (b)");
    PrintPeer("VTK opaque", vtkOpaque, icswA.minMs, "ICSW (a)");
    PrintPeer("VTK opaque", vtkOpaque, cswB.minMs, "CSW (b)");
    PrintPeer("VTK semi-transparent", vtkSemi, semi.t.minMs, "ICSW semi-transparent");
    PrintPeer("VTK maximum intensity", vtkMip, mipB.minMs, "MIPShell (b)");

    printf("\ntargets (one thread)\n");
    if (vpOpaque.ok)
      Target("ICSWShellRendering (b) as fast as VolPack opaque", icswB.minMs <= vpOpaque.minMs);
    if (vtkOpaque.ok) {
      Target("ICSWShellRendering (a) >= 25x faster than VTK opaque",
             vtkOpaque.minMs >= 25.0 * icswA.minMs);
      Target("ICSWShellRendering (b) >= 25x faster than VTK opaque",
             vtkOpaque.minMs >= 25.0 * icswB.minMs);
    }
    if (vtkMip.ok) Target("MIPShell (b) >= 2x faster than VTK MIP", vtkMip.minMs >= 2.0 * mipB.minMs);
  } else {
    printf("\ntargets (one thread)\n");
  }
  Target("ICSWShellRendering (a) <= 4 ms", icswA.minMs <= 4.0);
  Target("ICSWShellRendering (b) <= 4 ms", icswB.minMs <= 4.0);
  Target("CSWShellRendering within 4x of ICSWShellRendering, (a) and (b)",
         cswA.minMs <= 4.0 * icswA.minMs && cswB.minMs <= 4.0 * icswB.minMs);
  Target("CSWShellRenderingCut within 4x of ICSWShellRendering, (a) and (b)",
         cutA.minMs <= 4.0 * icswA.minMs && cutB.minMs <= 4.0 * icswB.minMs);
  return 0;
}
