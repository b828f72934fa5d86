// Colour images: three grey images of one size (red, green, blue, or Y, Cb,
// Cr after conversion).
#pragma once

#include <memory>

#include "core/image.h"

struct CImage {
  std::unique_ptr<Image> C[3];

  int ncols() const { return C[0]->ncols; }
  int nrows() const { return C[0]->nrows; }
};

std::unique_ptr<CImage> CreateCImage(int ncols, int nrows);
void DestroyCImage(std::unique_ptr<CImage> *cimg);
