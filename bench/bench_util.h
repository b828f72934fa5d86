// What the shell and rendering benchmarks share: clocks, the two phantoms
// and the import wizard's two shell builders, run step by step as the
// interface runs them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/adjacency3.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/shell.h"
#include "segment/analysis3.h"
#include "segment/segmentation3.h"
#include "tests/support/hand_shell.h"

namespace bench {

// CPU seconds of this (single-threaded) process: on a machine shared with
// other jobs the wall clock measures the neighbours too.
inline double CpuNow() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

inline double WallNow() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// The fewest wall-clock seconds of `reps` runs of f.
template <class F>
double BestSeconds(int reps, F &&f) {
  double best = 1e30;
  for (int i = 0; i < reps; i++) {
    double t0 = WallNow();
    f();
    best = std::min(best, WallNow() - t0);
  }
  return best;
}

// Bytes of a file, 0 when it cannot be opened.
inline long FileBytes(const std::string &path) {
  FILE *fp = fopen(path.c_str(), "rb");
  if (!fp) return 0;
  fseek(fp, 0, SEEK_END);
  long n = ftell(fp);
  fclose(fp);
  return n;
}

inline double Seconds(const std::function<void()> &step) {
  double start = CpuNow();
  step();
  return CpuNow() - start;
}

// A grey phantom whose voxels are all non-zero: a smooth background ramp
// (100..149), a bright box (1000) and a brighter ball (2000).
inline std::unique_ptr<Scene> GreyVolume(int n) {
  auto scn = CreateScene(n, n, n);
  for (int z = 0; z < n; z++)
    for (int y = 0; y < n; y++)
      for (int x = 0; x < n; x++) {
        int v = 100 + (x + y + z) % 50;
        if (x > n / 8 && x < n / 2 && y > n / 8 && y < n / 2 && z > n / 8 && z < n / 2) v = 1000;
        int dx = x - 5 * n / 8, dy = y - 5 * n / 8, dz = z - 5 * n / 8;
        if (dx * dx + dy * dy + dz * dz < n * n / 25) v = 2000;
        scn->data[scn->Address(x, y, z)] = v;
      }
  return scn;
}

// Ten labelled objects: boxes on a 5 x 2 grid, the first eight pairs
// touching, filling about a third of the volume.
inline std::unique_ptr<Scene> LabelVolume(int n) {
  auto scn = CreateScene(n, n, n);
  const int bx = n / 5, by = n / 2;
  for (int z = n / 4; z < 3 * n / 4; z++)
    for (int y = 2; y < n - 2; y++)
      for (int x = 2; x < n - 2; x++) {
        int label = 1 + std::min(x / bx, 4) + 5 * std::min(y / by, 1);
        scn->data[scn->Address(x, y, z)] = label;
      }
  return scn;
}

// The object shell of a label volume with objects 1..nobjects: its border
// of width 2, normals from each object's truncated distance map. The
// opacities stay at 255 (the wizard's opacity curve (0, 1), (16, 1) keeps
// them).
inline std::unique_ptr<Shell> LabelShell(const Scene *labels, int nobjects) {
  auto shell = ObjectShell(labels, nobjects);
  ShellNObjects(shell.get());
  return shell;
}

// The body shell of every voxel of a grey volume with no zero voxel, with
// gradient normals and the grey values; labels 0 and opacities 255 until
// it is classified.
inline std::unique_ptr<Shell> BodyShell(const Scene *scn) {
  auto shell = NewBodyShell(scn->xsize, scn->ysize, scn->zsize, scn->VoxelCount());
  SetShellVoxels(shell.get(), scn);
  SetShellList(shell.get(), scn);
  SetBodyShellNormal(shell.get(), scn, Gradient3);
  SetBodyShellValue(shell.get(), scn);
  return shell;
}

// Opacity o at grey value v, linear between points sorted by v, constant
// beyond the ends.
struct RampPoint {
  double value;
  double opacity;
};

inline double RampAt(const RampPoint *ramp, int n, double v) {
  if (v <= ramp[0].value) return ramp[0].opacity;
  for (int i = 1; i < n; i++)
    if (v <= ramp[i].value) {
      double t = (v - ramp[i - 1].value) / (ramp[i].value - ramp[i - 1].value);
      return ramp[i - 1].opacity + t * (ramp[i].opacity - ramp[i - 1].opacity);
    }
  return ramp[n - 1].opacity;
}

// "v0:o0,v1:o1,..." as the peer renderers read a ramp.
inline std::string RampText(const RampPoint *ramp, int n) {
  std::string s;
  char item[64];
  for (int i = 0; i < n; i++) {
    snprintf(item, sizeof(item), "%s%g:%g", i ? "," : "", ramp[i].value, ramp[i].opacity);
    s += item;
  }
  return s;
}

// Classifies a body shell by its grey values as the body classification
// does with a density curve and no gradient curve: opacity :=
// trunc(255 * ramp(|value|)), and label 1 where the opacity is non-zero
// (0 elsewhere).
inline void ClassifyByRamp(Shell *shell, const RampPoint *ramp, int n) {
  const ShellChange change(shell);
  for (int i = 0; i < shell->nvoxels; i++) {
    int value = shell->body[i].value;
    double o = std::clamp(RampAt(ramp, n, std::abs(value)), 0.0, 1.0);
    int opacity = static_cast<int>(255.0 * o);
    shell->voxel[i].opacity = static_cast<uint8_t>(opacity);
    shell->voxel[i].label = opacity > 0 ? 1 : 0;
  }
  shell->nobjects = 1;
}

// A sweep of viewing directions as (tilt, spin) in degrees: the spin runs
// once round in count steps while the tilt cycles through 25, 115, 205 and
// 295 degrees, which puts the viewer in every octant (the signs of the
// viewer's y and z follow the tilt's quadrant, that of x the spin's) and
// makes each of x, y and z the principal axis somewhere.
struct ViewAngle {
  float tilt;
  float spin;
};

inline std::vector<ViewAngle> SweepAngles(int count) {
  std::vector<ViewAngle> views;
  for (int i = 0; i < count; i++)
    views.push_back({25.0f + 90.0f * (i % 4), 360.0f * i / count});
  return views;
}

// "t0:s0,t1:s1,..." as the peer renderers read directions.
inline std::string AnglesText(const std::vector<ViewAngle> &views) {
  std::string s;
  char item[64];
  for (size_t i = 0; i < views.size(); i++) {
    snprintf(item, sizeof(item), "%s%g:%g", i ? "," : "", views[i].tilt, views[i].spin);
    s += item;
  }
  return s;
}

// CPU seconds of the calling thread.
inline double ThreadCpuNow() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

struct Timing {
  double minMs = 0.0;   // mean over directions of the fastest repeat
  double meanMs = 0.0;  // mean over every frame
  double cpuMs = 0.0;   // thread CPU per frame
};

// Renders every direction `repeats` times; the image of each frame is
// released after its time is taken.
template <typename Render>
inline Timing TimeFrames(Context *cxt, const std::vector<ViewAngle> &views, int repeats,
                  Render render) {
  std::vector<double> best(views.size(), 1e30);
  double total = 0.0, cpu = 0.0;
  for (int r = 0; r < repeats; r++)
    for (size_t v = 0; v < views.size(); v++) {
      SetAngles(cxt, views[v].tilt, views[v].spin);
      double c0 = ThreadCpuNow(), t0 = bench::WallNow();
      auto image = render();
      double ms = (bench::WallNow() - t0) * 1e3;
      cpu += (ThreadCpuNow() - c0) * 1e3;
      image.reset();
      best[v] = std::min(best[v], ms);
      total += ms;
    }
  Timing t;
  for (double b : best) t.minMs += b;
  t.minMs /= views.size();
  t.meanMs = total / (views.size() * repeats);
  t.cpuMs = cpu / (views.size() * repeats);
  return t;
}

// Milliseconds of one streaming read of n bytes (the fastest of five), the
// words summed so that nothing can be skipped.
inline double StreamPassMs(const void *data, size_t bytes) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  double best = 1e30;
  volatile uint64_t sink = 0;
  for (int r = 0; r < 5; r++) {
    double t0 = bench::WallNow();
    uint64_t sum = 0;
    size_t words = bytes / 8;
    for (size_t i = 0; i < words; i++) {
      uint64_t w;
      memcpy(&w, p + 8 * i, 8);
      sum += w;
    }
    for (size_t i = words * 8; i < bytes; i++) sum += p[i];
    sink = sink + sum;
    best = std::min(best, (bench::WallNow() - t0) * 1e3);
  }
  return best;
}

// The arguments of the rendering benchmarks, [size] [quick] [nopeers];
// false (after the usage line) for anything else.
inline bool ParseRenderBenchArgs(int argc, char **argv, int *n, bool *quick, bool *peers) {
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "quick") == 0)
      *quick = true;
    else if (strcmp(argv[i], "nopeers") == 0)
      *peers = false;
    else if (atoi(argv[i]) >= 8)
      *n = atoi(argv[i]);
    else {
      fprintf(stderr, "usage: %s [size] [quick] [nopeers]\n", argv[0]);
      return false;
    }
  }
  return true;
}

}  // namespace bench
