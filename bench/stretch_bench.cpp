// The grey-level window over a 512 x 512 slice of 12-bit values, as the
// slice commands apply it per pixel: prints ms per slice.
#include <chrono>
#include <cstdio>

#include "core/image.h"
#include "core/stretch.h"

int main() {
  auto img = CreateImage(512, 512);
  for (size_t p = 0; p < img->val.size(); p++) img->val[p] = static_cast<int>((p * 2654435761u) % 4096);
  const int reps = 200;
  long long checksum = 0;
  auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < reps; r++) {
    auto out = LinearStretch(img.get(), 100 + r, 3000, 0, 255);
    checksum += out->val[r];
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  printf("LinearStretch 512x512: %.3f ms per slice (checksum %lld)\n", ms / reps, checksum);
  return 0;
}
