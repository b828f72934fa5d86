#include "core/stretch.h"

#include <cmath>
#include <cstddef>

#include "core/common.h"
#include "core/curve.h"

std::unique_ptr<Image> LinearStretch(Image *img, int f1, int f2, int g1, int g2) {
  auto out = CreateImage(img->ncols, img->nrows);
  const LinearWindow window(f1, f2, g1, g2);
  const int *in = img->val.data();
  int *res = out->val.data();
  size_t n = img->val.size();
  for (size_t p = 0; p < n; p++) res[p] = window(in[p]);
  return out;
}

static int TruncatedInt(double v) {
  if (!(v == v)) return 0;
  const double t = std::trunc(v);
  if (t >= 2147483647.0) return 2147483647;
  if (t <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(t);
}

LinearWindow CurveWindow(const Curve *cs, const char *func) {
  if (cs->n < 2 || cs->X.size() < 2 || cs->Y.size() < 2)
    Error("The grey-level curve needs at least two points", func);
  return LinearWindow(TruncatedInt(cs->X[0]), TruncatedInt(cs->X[1]), TruncatedInt(cs->Y[0]),
                      TruncatedInt(cs->Y[1]));
}
