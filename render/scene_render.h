// What the renderers that look into a scene directly (ray casting,
// splatting, reslicing and scene drawing) share: the checks that a context
// and the scenes given with it fit together, the rounding rules, the
// projection of a voxel through the rotation, and the split of an image's
// rows between threads.
//
// Threads: the renderers whose output rows are independent hand them to
// ParallelRows, which runs up to RenderThreads() workers. The count is the
// machine's (std::thread::hardware_concurrency), or the value of the
// environment variable ORVANE_RENDER_THREADS when it is set to a positive
// number, or the last SetRenderThreads. Every row is computed by exactly
// the code a single thread would run, so images and z-buffers are the same
// for any count.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "render/context.h"

struct Scene;

// ---- checks (each fails with Error naming func) ----

// The context was made for the scene's size and holds a z-buffer of its
// image size.
void CheckSceneContext(const Scene *scn, const Context *cxt, const char *func);
// `other` (named `what` in the message) has the scene's size.
void CheckSameScene(const Scene *scn, const Scene *other, const char *what, const char *func);

// ---- numbers ----

// Rounding half away from zero (-2.5 -> -3), and truncation toward zero,
// both saturated at the ends of the int range (0 for a NaN) so that a
// far-off position never converts to an undefined value.
inline int SaturatedTrunc(double a) {
  if (!(a == a)) return 0;
  if (a >= 2147483647.0) return 2147483647;
  if (a <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(a);
}
inline int RoundHalfAwayFromZero(double a) { return SaturatedTrunc(a >= 0.0 ? a + 0.5 : a - 0.5); }

// The grey shift of a scene: the number of halvings that bring
// its stored maximum to 255 or less (0 when it already is).
int GreyShift(const Scene *scn);

// ---- projection through the rotation ----

// A voxel (x, y, z) centred on the volume, p = (x - xsize/2, y - ysize/2,
// z - zsize/2), goes to column trunc(R[0].p + R[0][3] + ccol), row
// trunc(R[1].p + R[1][3] + crow), at depth R[2].p + R[2][3] + ccol. Each
// row of R is summed in the order x, y, z, translation, offset, in double.
struct SceneProjection {
  double R[3][4];
  int hx, hy, hz;   // the volume's integer halves
  double ccol, crow;  // offsets added to the column and the row

  double Column(double px, double py, double pz) const {
    return R[0][0] * px + R[0][1] * py + R[0][2] * pz + R[0][3] + ccol;
  }
  double Row(double px, double py, double pz) const {
    return R[1][0] * px + R[1][1] * py + R[1][2] * pz + R[1][3] + crow;
  }
  double Depth(double px, double py, double pz) const {
    return R[2][0] * px + R[2][1] * py + R[2][2] * pz + R[2][3] + ccol;
  }
};

// The projection of the context's rotation onto an image of ncols x nrows:
// column offset ncols/2, row offset rowHalf (nrows/2, or ncols/2 where a
// drawing says so).
SceneProjection MakeProjection(const Context *cxt, int ncols, int rowHalf);

// ---- threads ----

// 0 (or less) goes back to the default count.
void SetRenderThreads(int n);
int RenderThreads();

// The bands a renderer splits one frame into: RenderThreads(), at most
// `most`, at least 1.
inline int RenderBands(int most) { return std::max(1, std::min(RenderThreads(), most)); }

// Calls work(band) for band = 0 .. bands - 1, band 0 on the calling thread
// and each other on a thread of its own; returns when all have finished.
// work must not throw.
template <class Work>
void ParallelBands(int bands, Work &&work) {
  if (bands <= 1) {
    work(0);
    return;
  }
  std::vector<std::thread> others;
  others.reserve(bands - 1);
  for (int b = 1; b < bands; b++) others.emplace_back([&work, b] { work(b); });
  work(0);
  for (std::thread &t : others) t.join();
}

// Calls rows(first, end) over [0, nrows) in chunks, on up to
// RenderThreads() threads (the caller's among them). rows must not throw.
template <class Rows>
void ParallelRows(int nrows, Rows &&rows) {
  const int threads = std::min(RenderThreads(), std::max(1, nrows / 4));
  if (threads <= 1) {
    if (nrows > 0) rows(0, nrows);
    return;
  }
  const int chunk = std::max(1, nrows / (threads * 8));
  std::atomic<int> next{0};
  auto work = [&] {
    for (;;) {
      const int first = next.fetch_add(chunk);
      if (first >= nrows) return;
      rows(first, std::min(nrows, first + chunk));
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(threads - 1);
  for (int i = 1; i < threads; i++) pool.emplace_back(work);
  work();
  for (std::thread &t : pool) t.join();
}
