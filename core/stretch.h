// The grey-level stretch behind every window/level mapping of the program:
// values below f1 become g1, values above f2 become g2, and [f1, f2] maps
// linearly onto [g1, g2], truncated toward zero. A window with f1 = f2 is a
// threshold: f1 itself and everything above become g2.
#pragma once

#include <memory>

#include "core/image.h"

struct Curve;

// One window, its slope computed once, for loops that map many values.
// The slope stays in double: single precision would map 0..1000 onto
// 0..255 with 1000 landing on 254.
struct LinearWindow {
  int f1, f2, g1, g2;
  double slope;

  LinearWindow(int f1_, int f2_, int g1_, int g2_)
      : f1(f1_), f2(f2_), g1(g1_), g2(g2_),
        slope(f1_ == f2_ ? 0.0
                         : (static_cast<double>(g2_) - g1_) / (static_cast<double>(f2_) - f1_)) {}

  int operator()(int v) const {
    if (v < f1) return g1;
    if (v > f2) return g2;
    if (f1 == f2) return g2;
    double g = slope * (static_cast<double>(v) - f1) + g1;
    // Only windows spanning the whole int range can round outside it.
    if (g >= 2147483647.0) return 2147483647;
    if (g <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(g);
  }
};

// The stretch of one value.
inline int LinearStretchValue(int v, int f1, int f2, int g1, int g2) {
  return LinearWindow(f1, f2, g1, g2)(v);
}

// A new image of the same size with every pixel stretched.
std::unique_ptr<Image> LinearStretch(Image *img, int f1, int f2, int g1, int g2);

// The window of a curve's first two points, (x0, x1) onto (y0, y1), each
// coordinate truncated toward zero and held to the int range (NaN gives
// 0), so that no curve point makes the conversion undefined. Error (naming
// func) for a curve of fewer than two points.
LinearWindow CurveWindow(const Curve *cs, const char *func);
