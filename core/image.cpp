#include "core/image.h"

#include <new>

#include "core/common.h"

std::unique_ptr<Image> CreateImage(int ncols, int nrows) {
  int n = CheckedVoxelCount(ncols, nrows, 1, "CreateImage");
  auto img = std::make_unique<Image>();
  try {
    img->val.assign(n, 0);
    img->tbrow.resize(nrows);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreateImage");
  }
  img->ncols = ncols;
  img->nrows = nrows;
  for (int y = 0; y < nrows; y++) img->tbrow[y] = y * ncols;
  return img;
}

void DestroyImage(std::unique_ptr<Image> *img) {
  if (img != nullptr) img->reset();
}
