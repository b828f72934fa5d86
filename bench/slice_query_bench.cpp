// Shell slices as the slice views cut them while the user drags a slider:
// the displayable slice of an object shell (label slice, fill, object
// colours), the same over the grey levels of its associated scene, the
// classification preview of a body shell, and FilledLabelScene, on the
// 256^3 phantoms of the other benchmarks. Each step of the object shell's
// slice is timed on its own, beside a plain copy of the scene's slice (the
// least any slice can cost) as the yardstick.
//
//   build/bench/slice_query_bench [side]
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bench/bench_util.h"
#include "core/cimage.h"
#include "core/curve.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_query.h"
#include "segment/analysis3.h"

namespace {

// A body shell of every voxel of a grey volume with its values, without
// normals.
std::unique_ptr<Shell> ValueShell(const Scene *grey) {
  auto shell = NewBodyShell(grey->xsize, grey->ysize, grey->zsize, grey->VoxelCount());
  SetShellVoxels(shell.get(), grey);
  SetShellList(shell.get(), grey);
  SetBodyShellValue(shell.get(), grey);
  GetShellMaximum(shell.get());
  return shell;
}

// Milliseconds per slice of `step` over every slice of an axis, once round.
template <class Step>
double MsPerSlice(int slices, Step &&step) {
  double start = bench::CpuNow();
  for (int n = 0; n < slices; n++) step(n);
  return (bench::CpuNow() - start) * 1e3 / slices;
}

}  // namespace

int main(int argc, char **argv) {
  const int side = argc > 1 ? atoi(argv[1]) : 256;
  printf("slice_query_bench: %d^3 phantoms, one thread, CPU time\n", side);

  auto labels = bench::LabelVolume(side);
  double t0 = bench::CpuNow();
  auto shell = bench::LabelShell(labels.get(), 10);
  printf("label shell: %d voxels (built in %.2f s)\n", shell->nvoxels, bench::CpuNow() - t0);
  auto cxt = NewContext(side, side, side);
  for (int o = 1; o <= 10; o++) {
    SetObjectColor(cxt.get(), o, 0.1f * o, 1.0f - 0.1f * o, 0.5f);
  }

  printf("\nobject shell, per slice (ms)          x        y        z\n");
  const char axes[3] = {'x', 'y', 'z'};
  double copy[3], lab[3], fill[3], colour[3], whole[3], overlay[3];
  for (int a = 0; a < 3; a++) {
    const char axis = axes[a];
    copy[a] = MsPerSlice(side, [&](int n) {
      auto img = axis == 'x' ? GetXSlice(labels.get(), n)
                 : axis == 'y' ? GetYSlice(labels.get(), n)
                               : GetSlice(labels.get(), n);
    });
    lab[a] = MsPerSlice(side, [&](int n) { auto img = GetShellSlice(shell.get(), axis, n); });
    // FillSlice and ColorizeSlice of a slice through the middle, repeated.
    auto mid = GetShellSlice(shell.get(), axis, side / 2);
    fill[a] = MsPerSlice(side, [&](int) { auto f = FillSlice(mid.get()); });
    auto filled = FillSlice(mid.get());
    colour[a] = MsPerSlice(side, [&](int) { auto c = ColorizeSlice(cxt.get(), filled.get()); });
    whole[a] = MsPerSlice(side, [&](int n) {
      auto c = ShellSliceImage(shell.get(), cxt.get(), axis, n, nullptr);
    });
  }
  shell->scene = labels.get();  // the scene the shell came from, as the interface associates it
  labels->maxval = MaximumValue3(labels.get());
  for (int a = 0; a < 3; a++) {
    overlay[a] = MsPerSlice(side, [&](int n) {
      auto c = ShellSliceImage(shell.get(), cxt.get(), axes[a], n, nullptr);
    });
  }
  shell->scene = nullptr;
  auto row = [](const char *name, const double v[3]) {
    printf("  %-34s %8.3f %8.3f %8.3f\n", name, v[0], v[1], v[2]);
  };
  row("scene slice copy (yardstick)", copy);
  row("label slice", lab);
  row("FillSlice (middle slice)", fill);
  row("ColorizeSlice (middle slice)", colour);
  row("displayable slice (all steps)", whole);
  row("displayable slice over the scene", overlay);
  double ratio[3];
  for (int a = 0; a < 3; a++) ratio[a] = whole[a] / copy[a];
  row("displayable / copy", ratio);

  t0 = bench::CpuNow();
  auto filledScene = FilledLabelScene(shell.get());
  double tf = bench::CpuNow() - t0;
  printf("\nFilledLabelScene: %.3f s (%.3f ms per z-slice, %.1f ns per voxel)\n", tf,
         tf * 1e3 / side, tf * 1e9 / filledScene->VoxelCount());

  auto grey = bench::GreyVolume(side);
  t0 = bench::CpuNow();
  auto body = ValueShell(grey.get());
  printf("\nbody shell: %d voxels (built in %.2f s)\n", body->nvoxels, bench::CpuNow() - t0);
  auto size = CreateCImage(side, side);
  Curve density;
  density.X = {0.0, 500.0, 1500.0, 2000.0};
  density.Y = {0.0, 0.2, 0.8, 1.0};
  density.n = 4;
  Curve gradient;
  gradient.X = {0.0, 100.0};
  gradient.Y = {1.0, 1.0};
  gradient.n = 2;
  double preview[3], greyShown[3];
  for (int a = 0; a < 3; a++) {
    preview[a] = MsPerSlice(side, [&](int n) {
      auto c = PreviewShellSlice(body.get(), size.get(), axes[a], n, &density, &gradient);
    });
    greyShown[a] = MsPerSlice(side, [&](int n) {
      auto c = ShellSliceImage(body.get(), cxt.get(), axes[a], n, nullptr);
    });
  }
  printf("body shell, per slice (ms)            x        y        z\n");
  row("preview (two curves)", preview);
  row("displayable slice", greyShown);
  return 0;
}
