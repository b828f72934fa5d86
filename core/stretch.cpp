#include "core/stretch.h"

#include <cstddef>

std::unique_ptr<Image> LinearStretch(Image *img, int f1, int f2, int g1, int g2) {
  auto out = CreateImage(img->ncols, img->nrows);
  const LinearWindow window(f1, f2, g1, g2);
  const int *in = img->val.data();
  int *res = out->val.data();
  size_t n = img->val.size();
  for (size_t p = 0; p < n; p++) res[p] = window(in[p]);
  return out;
}
