// The two shell builders of the import wizard, step by step, on phantoms of
// 64^3, 128^3 and 256^3: seconds per step and bytes of shell per voxel,
// beside the targets (each builder under 10 s at 256^3, a body shell under
// 24 bytes per voxel) and the growth from one size to the next (8x the
// voxels each time; linear cost means about 8x the time).
//
//   build/bench/shell_bench            both builders, all sizes
//   build/bench/shell_bench body       the body builder only
//   build/bench/shell_bench label      the label builder only
#include <ctime>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/adjacency3.h"
#include "core/curve.h"
#include "core/scene.h"
#include "render/normal.h"
#include "render/shell.h"
#include "segment/analysis3.h"
#include "segment/classify.h"
#include "segment/segmentation3.h"

namespace {

using bench::CpuNow;
using bench::GreyVolume;
using bench::LabelVolume;
using bench::Seconds;

size_t ShellBytes(const Shell *s) {
  return s->voxel.capacity() * sizeof(Voxel) + s->list.capacity() * sizeof(ListEntry) +
         s->body.capacity() * sizeof(BodyEntry) + (s->Mzy->val.size() + s->Mxz->val.size()) * 4 +
         (s->Mzy->tbrow.size() + s->Mxz->tbrow.size()) * 4 +
         s->normaltable->entry.size() * sizeof(NormalVector);
}

struct Row {
  std::string step;
  std::vector<double> seconds;
};

void Print(const char *title, const std::vector<int> &sizes, const std::vector<Row> &rows,
           const std::vector<double> &bytes) {
  printf("%s\n  %-28s", title, "step");
  for (int n : sizes) printf("  %7d^3", n);
  printf("   growth per size step\n");
  std::vector<double> total(sizes.size(), 0.0);
  for (const Row &r : rows) {
    printf("  %-28s", r.step.c_str());
    for (size_t i = 0; i < r.seconds.size(); i++) {
      printf("  %8.3fs", r.seconds[i]);
      total[i] += r.seconds[i];
    }
    printf("  ");
    for (size_t i = 1; i < r.seconds.size(); i++) printf(" x%.1f", r.seconds[i] / r.seconds[i - 1]);
    printf("\n");
  }
  printf("  %-28s", "total (target < 10 s at 256^3)");
  for (double t : total) printf("  %8.3fs", t);
  printf("\n  %-28s", "shell bytes per voxel");
  for (double b : bytes) printf("  %9.2f", b);
  printf("\n\n");
}

void BodyBuilder(const std::vector<int> &sizes) {
  std::vector<Row> rows = {{"NewBodyShell", {}}, {"SetShellVoxels", {}}, {"SetShellList", {}},
                           {"c_SetShellNormal", {}}, {"SetBodyShellValue", {}}};
  std::vector<double> bytes;
  for (int n : sizes) {
    auto scn = GreyVolume(n);
    std::unique_ptr<Shell> shell;
    rows[0].seconds.push_back(Seconds([&] { shell = NewBodyShell(n, n, n, n * n * n); }));
    rows[1].seconds.push_back(Seconds([&] { SetShellVoxels(shell.get(), scn.get()); }));
    rows[2].seconds.push_back(Seconds([&] { SetShellList(shell.get(), scn.get()); }));
    rows[3].seconds.push_back(
        Seconds([&] { SetBodyShellNormal(shell.get(), scn.get(), Gradient3); }));
    rows[4].seconds.push_back(Seconds([&] { SetBodyShellValue(shell.get(), scn.get()); }));
    bytes.push_back(static_cast<double>(ShellBytes(shell.get())) / shell->nvoxels);
  }
  Print("body-shell builder, grey phantom with every voxel non-zero (target < 24 B/voxel)",
        sizes, rows, bytes);
}

void LabelBuilder(const std::vector<int> &sizes) {
  std::vector<Row> rows = {{"Label2Border", {}},
                           {"NewShell", {}},
                           {"SetShellVoxels", {}},
                           {"SetShellList", {}},
                           {"10 x Threshold3", {}},
                           {"10 x TDistTrans3", {}},
                           {"10 x c_SetObjectNormal", {}},
                           {"10 x c_ClassifyObject", {}}};
  std::vector<double> bytes;
  for (int n : sizes) {
    auto labels = LabelVolume(n);
    auto A = Spheric(1.8f);
    std::unique_ptr<Scene> border;
    std::unique_ptr<Shell> shell;
    rows[0].seconds.push_back(Seconds([&] { border = Label2Border(labels.get(), A.get(), 2, 16); }));
    int k = 0;
    for (int v : border->data) k += v != 0;
    rows[1].seconds.push_back(Seconds([&] { shell = NewShell(n, n, n, k); }));
    rows[2].seconds.push_back(Seconds([&] { SetShellVoxels(shell.get(), border.get()); }));
    rows[3].seconds.push_back(Seconds([&] { SetShellList(shell.get(), border.get()); }));
    // The wizard's opacity curve, which leaves every opacity as it is.
    auto flat = CreateCurve(2);
    flat->X = {0.0, 16.0};
    flat->Y = {1.0, 1.0};
    double threshold = 0, dist = 0, normals = 0, opacity = 0;
    for (int i = 1; i <= 10; i++) {
      std::unique_ptr<Scene> bin, d;
      threshold += Seconds([&] { bin = Threshold3(border.get(), i, i); });
      dist += Seconds([&] { d = TDistTrans3(bin.get(), A.get(), 2, 16); });
      normals += Seconds([&] { SetObjectNormal(shell.get(), d.get(), DistGradient3, i); });
      opacity += Seconds([&] { ClassifyObject(shell.get(), d.get(), flat.get(), Intensity3, i); });
    }
    rows[4].seconds.push_back(threshold);
    rows[5].seconds.push_back(dist);
    rows[6].seconds.push_back(normals);
    rows[7].seconds.push_back(opacity);
    bytes.push_back(static_cast<double>(ShellBytes(shell.get())) / shell->nvoxels);
  }
  Print("label-shell builder, 10 boxes", sizes, rows, bytes);
}

}  // namespace

int main(int argc, char **argv) {
  const std::vector<int> sizes = {64, 128, 256};
  bool bodyOnly = argc > 1 && strcmp(argv[1], "body") == 0;
  bool labelOnly = argc > 1 && strcmp(argv[1], "label") == 0;
  printf("shell builders, one thread, CPU seconds per step\n\n");
  if (!labelOnly) BodyBuilder(sizes);
  if (!bodyOnly) LabelBuilder(sizes);
  return 0;
}
