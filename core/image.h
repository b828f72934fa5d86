// Grey-level images: 32-bit signed pixels, row after row.
#pragma once

#include <memory>
#include <vector>

struct Image {
  std::vector<int> val;    // ncols*nrows pixels; pixel (x, y) is val[x + tbrow[y]]
  int ncols = 0;
  int nrows = 0;
  std::vector<int> tbrow;  // tbrow[y] = y*ncols

  int &at(int x, int y) { return val[x + tbrow[y]]; }
  int at(int x, int y) const { return val[x + tbrow[y]]; }
  bool Valid(int x, int y) const { return x >= 0 && x < ncols && y >= 0 && y < nrows; }
};

// An all-zero image. Error for a non-positive or absurd size.
std::unique_ptr<Image> CreateImage(int ncols, int nrows);
void DestroyImage(std::unique_ptr<Image> *img);
