#include "core/cimage.h"

#include "core/common.h"

std::unique_ptr<CImage> CreateCImage(int ncols, int nrows) {
  CheckedVoxelCount(ncols, nrows, 3, "CreateCImage");
  auto cimg = std::make_unique<CImage>();
  for (auto &band : cimg->C) band = CreateImage(ncols, nrows);
  return cimg;
}

void DestroyCImage(std::unique_ptr<CImage> *cimg) {
  if (cimg != nullptr) cimg->reset();
}
