// Small 2D images for the tests of the 2D library: literal ones, random
// ones, and a few brute-force references written independently of it.
#pragma once

#include <memory>
#include <random>
#include <vector>

#include "core/image.h"

inline std::unique_ptr<Image> ImageOf(int ncols, int nrows, std::vector<int> values) {
  auto img = CreateImage(ncols, nrows);
  img->val = std::move(values);
  return img;
}

// Values uniformly in lo .. hi.
inline std::unique_ptr<Image> RandomImage(std::mt19937 &rng, int ncols, int nrows, int lo,
                                          int hi) {
  std::uniform_int_distribution<int> value(lo, hi);
  auto img = CreateImage(ncols, nrows);
  for (int &v : img->val) v = value(rng);
  return img;
}

// A random binary image whose objects come in blobs: each pixel is 1 where
// a sum of a few random discs covers it.
inline std::unique_ptr<Image> RandomBlobs(std::mt19937 &rng, int ncols, int nrows, int discs) {
  auto img = CreateImage(ncols, nrows);
  std::uniform_int_distribution<int> x(0, ncols - 1), y(0, nrows - 1), r(1, 4);
  for (int k = 0; k < discs; k++) {
    int cx = x(rng), cy = y(rng), rr = r(rng);
    for (int py = 0; py < nrows; py++)
      for (int px = 0; px < ncols; px++)
        if ((px - cx) * (px - cx) + (py - cy) * (py - cy) <= rr * rr) img->at(px, py) = 1;
  }
  return img;
}

// The 4- or 8-connected components of the pixels where same(p, q) holds
// between neighbours, by a plain flood fill from each pixel in raster
// order.
template <class Same>
std::vector<int> FloodComponents(const Image *img, bool eight, Same same) {
  const int nc = img->ncols, nr = img->nrows;
  std::vector<int> label(img->val.size(), 0);
  int next = 0;
  for (int s = 0; s < nc * nr; s++) {
    if (label[s] != 0) continue;
    label[s] = ++next;
    std::vector<int> stack{s};
    while (!stack.empty()) {
      int p = stack.back();
      stack.pop_back();
      for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++) {
          if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
          int qx = p % nc + dx, qy = p / nc + dy;
          if (qx < 0 || qy < 0 || qx >= nc || qy >= nr) continue;
          int q = qx + qy * nc;
          if (label[q] == 0 && same(p, q)) {
            label[q] = next;
            stack.push_back(q);
          }
        }
    }
  }
  return label;
}
