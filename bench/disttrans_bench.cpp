// Squared Euclidean distance transforms of a blob phantom: DistTrans3 (side
// 2), TDistTrans3 (side 2, limit 16) and Label2Border (side 2, limit 16, ten
// touching labels), on cubes of side 64, 128 and 256 (or the sides given on
// the command line), one thread. For each: seconds and the peak resident
// memory the call added. The peer, in the same run, is the exact transform of
// Debian's python3-scipy on the same mask (one-sided, and signed as the
// transform of the mask plus that of its complement), when a python3 with
// scipy is present.
//   disttrans_bench [side ...]
// With --sides, only DistTrans3 of one cube for sides 0, 1 and 2: the least
// processor time of `runs` runs each, and a hash of each result (equal hashes
// mean identical output across builds).
//   disttrans_bench --sides side [runs]
#include <sys/resource.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/adjacency3.h"
#include "core/fileio.h"
#include "core/scene.h"
#include "segment/analysis3.h"

namespace {

struct Ball {
  double x, y, z, r;  // in units of the side
};
// Ten overlapping balls: overlaps give touching labels (the later ball wins).
const Ball kBalls[] = {
    {0.50, 0.50, 0.50, 0.30}, {0.25, 0.30, 0.35, 0.18}, {0.72, 0.28, 0.40, 0.16},
    {0.30, 0.72, 0.60, 0.17}, {0.70, 0.70, 0.65, 0.19}, {0.50, 0.20, 0.75, 0.14},
    {0.20, 0.50, 0.80, 0.12}, {0.80, 0.50, 0.20, 0.13}, {0.50, 0.85, 0.30, 0.11},
    {0.50, 0.50, 0.10, 0.09},
};

std::unique_ptr<Scene> LabelPhantom(int n) {
  auto scn = CreateScene(n, n, n);
  for (int z = 0; z < n; z++)
    for (int y = 0; y < n; y++)
      for (int x = 0; x < n; x++) {
        int label = 0;
        for (int b = 0; b < 10; b++) {
          double dx = x - kBalls[b].x * n, dy = y - kBalls[b].y * n, dz = z - kBalls[b].z * n;
          double r = kBalls[b].r * n;
          if (dx * dx + dy * dy + dz * dz <= r * r) label = b + 1;
        }
        scn->data[scn->Address(x, y, z)] = label;
      }
  return scn;
}

std::unique_ptr<Scene> Binary(const Scene *labels) {
  auto bin = CreateScene(labels->xsize, labels->ysize, labels->zsize);
  for (size_t i = 0; i < labels->data.size(); i++) bin->data[i] = labels->data[i] != 0;
  return bin;
}

long PeakKiB() {
  FILE *fp = fopen("/proc/self/status", "r");
  if (!fp) return -1;
  char line[256];
  long kib = -1;
  while (fgets(line, sizeof line, fp))
    if (strncmp(line, "VmHWM:", 6) == 0) kib = strtol(line + 6, nullptr, 10);
  fclose(fp);
  return kib;
}
long RssKiB() {
  FILE *fp = fopen("/proc/self/status", "r");
  if (!fp) return -1;
  char line[256];
  long kib = -1;
  while (fgets(line, sizeof line, fp))
    if (strncmp(line, "VmRSS:", 6) == 0) kib = strtol(line + 6, nullptr, 10);
  fclose(fp);
  return kib;
}
// Resets the peak to the present resident size (Linux 4.0 and later).
void ResetPeak() {
  FILE *fp = fopen("/proc/self/clear_refs", "w");
  if (fp) {
    fputs("5", fp);
    fclose(fp);
  }
}

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + 1e-9 * ts.tv_nsec;
}

struct Figure {
  double seconds;
  double cpu;  // processor time of this process: what the wall clock shows on an idle machine
  double peakMiB;  // added to the resident size by the call
};

template <class F>
Figure Measure(F f) {
  ResetPeak();
  long before = RssKiB();
  double c0 = CpuSeconds();
  auto t0 = std::chrono::steady_clock::now();
  auto result = f();
  auto t1 = std::chrono::steady_clock::now();
  double c1 = CpuSeconds();
  long peak = PeakKiB();
  result.reset();
  return {std::chrono::duration<double>(t1 - t0).count(), c1 - c0, (peak - before) / 1024.0};
}

// A python3 that has scipy: the system's first (a user's own interpreter
// earlier in PATH may lack it).
std::string FindPython() {
  for (const char *cand : {"/usr/bin/python3", "python3"}) {
    std::string cmd = std::string(cand) + " -c 'import scipy.ndimage' >/dev/null 2>&1";
    if (system(cmd.c_str()) == 0) return cand;
  }
  return "";
}

struct ScipyFigures {
  double oneWall = 0, oneCpu = 0, bothWall = 0, bothCpu = 0;
};

// The peer's seconds for the one-sided and the signed transform, or false.
bool ScipyTimes(const std::string &python, const Scene *bin, ScipyFigures *f) {
  const char *path = "/tmp/orvane_disttrans_bench.mask";
  {
    std::vector<unsigned char> bytes(bin->data.size());
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<unsigned char>(bin->data[i]);
    AtomicWriter w(path, "disttrans_bench", std::string("Cannot open ") + path);
    w.Write(bytes.data(), bytes.size());
    w.Commit();
  }
  std::string script =
      "import sys, time, numpy as np\n"
      "from scipy import ndimage\n"
      "n = " + std::to_string(bin->xsize) + "\n"
      "m = np.fromfile('" + path + "', dtype=np.uint8).reshape(n, n, n).astype(bool)\n"
      "w, c = time.perf_counter(), time.process_time()\n"
      "a = ndimage.distance_transform_edt(m)\n"
      "w1, c1 = time.perf_counter() - w, time.process_time() - c\n"
      "del a\n"
      "w, c = time.perf_counter(), time.process_time()\n"
      "a = ndimage.distance_transform_edt(m); b = ndimage.distance_transform_edt(~m)\n"
      "w2, c2 = time.perf_counter() - w, time.process_time() - c\n"
      "print(w1, c1, w2, c2)\n";
  std::string cmd = python + " -c \"" + script + "\"";
  FILE *p = popen(cmd.c_str(), "r");
  bool ok = p && fscanf(p, "%lf %lf %lf %lf", &f->oneWall, &f->oneCpu, &f->bothWall, &f->bothCpu) == 4;
  if (p) pclose(p);
  remove(path);
  return ok;
}

// FNV-1a over the voxel values.
unsigned long long Hash(const Scene *scn) {
  unsigned long long h = 1469598103934665603ULL;
  for (int v : scn->data) {
    h ^= static_cast<unsigned>(v);
    h *= 1099511628211ULL;
  }
  return h;
}

int SideRuns(int n, int runs) {
  auto A = Spheric(1.8f);
  auto bin = Binary(LabelPhantom(n).get());
  for (int side : {0, 1, 2}) {
    double best = 1e30;
    unsigned long long h = 0;
    for (int r = 0; r < runs; r++) {
      double c0 = CpuSeconds();
      auto out = DistTrans3(bin.get(), A.get(), static_cast<signed char>(side));
      double c1 = CpuSeconds();
      best = std::min(best, c1 - c0);
      h = Hash(out.get());
    }
    printf("%-5d DistTrans3 side %d  cpu s %8.3f (least of %d)  hash %016llx\n", n, side, best, runs, h);
    fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 3 && strcmp(argv[1], "--sides") == 0)
    return SideRuns(atoi(argv[2]), argc >= 4 ? std::max(1, atoi(argv[3])) : 3);
  std::vector<int> sides;
  for (int i = 1; i < argc; i++) sides.push_back(atoi(argv[i]));
  if (sides.empty()) sides = {64, 128, 256};
  auto A = Spheric(1.8f);
  std::string python = FindPython();
  if (python.empty()) printf("scipy not available\n");

  printf("%-5s %-28s %8s %8s %9s %9s %8s\n", "side", "operation", "wall s", "cpu s", "ns/voxel",
         "peak MiB", "B/voxel");
  for (int n : sides) {
    auto labels = LabelPhantom(n);
    auto bin = Binary(labels.get());
    double voxels = static_cast<double>(n) * n * n;
    size_t inside = 0;
    for (int v : bin->data) inside += v;

    Figure dt = Measure([&] { return DistTrans3(bin.get(), A.get(), 2); });
    Figure tdt = Measure([&] { return TDistTrans3(bin.get(), A.get(), 2, 16); });
    Figure l2b = Measure([&] { return Label2Border(labels.get(), A.get(), 2, 16); });
    auto row = [&](const char *name, const Figure &f) {
      printf("%-5d %-28s %8.3f %8.3f %9.1f %9.1f %8.1f\n", n, name, f.seconds, f.cpu,
             1e9 * f.cpu / voxels, f.peakMiB, f.peakMiB * 1048576.0 / voxels);
    };
    printf("%-5d (object voxels: %.1f%%)\n", n, 100.0 * inside / voxels);
    row("DistTrans3 side 2", dt);
    row("TDistTrans3 side 2 limit 16", tdt);
    row("Label2Border side 2 limit 16", l2b);

    ScipyFigures sp;
    if (!python.empty() && ScipyTimes(python, bin.get(), &sp)) {
      printf("%-5d %-28s %8.3f %8.3f %9.1f\n", n, "scipy edt one-sided", sp.oneWall, sp.oneCpu,
             1e9 * sp.oneCpu / voxels);
      printf("%-5d %-28s %8.3f %8.3f %9.1f\n", n, "scipy edt signed", sp.bothWall, sp.bothCpu,
             1e9 * sp.bothCpu / voxels);
      printf("%-5d ratio (cpu) scipy signed / DistTrans3 %.2f, one-sided / DistTrans3 %.2f, "
             "signed / TDistTrans3 %.2f, signed / Label2Border %.2f\n",
             n, sp.bothCpu / dt.cpu, sp.oneCpu / dt.cpu, sp.bothCpu / tdt.cpu, sp.bothCpu / l2b.cpu);
    }
    fflush(stdout);
  }
  return 0;
}
