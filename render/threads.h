// The worker threads the renderers split a frame over.
//
// A renderer cuts its work into bands (of the intermediate image or of the
// output) that touch disjoint pixels and each keep the voxel order of the
// one-thread pass, so that images and z-buffers are the same whatever the
// count.
//
// The count in force is the one SetRenderThreads last gave; by default the
// environment variable ORVANE_THREADS (read once), else the machine's
// hardware concurrency, at least 1 and at most 64.
#pragma once

#include <thread>
#include <vector>

int RenderThreads();
// n >= 1 fixes the count; n <= 0 goes back to the default.
void SetRenderThreads(int n);

// Calls work(band) for band = 0 .. bands - 1, band 0 on the calling thread
// and each other on a thread of its own; returns when all have finished.
template <class Work>
void RunBands(int bands, Work &&work) {
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
