#include "lib2d/mathematics.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "core/common.h"

int SaturateToInt(long long v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

int CheckValueRange(const Image *img, int limit, const char *func) {
  const int lo = MinimumValue(img), hi = MaximumValue(img);
  if (lo < 0 || hi > limit)
    Error("Pixel values must lie in 0 to " + std::to_string(limit) + " (the image holds " +
              std::to_string(lo) + " to " + std::to_string(hi) + ")",
          func);
  return hi;
}

void CheckPixelIndex(const Image *img, int p, const char *func) {
  const long long n = static_cast<long long>(img->ncols) * img->nrows;
  if (p < 0 || p >= n)
    Error("Pixel " + std::to_string(p) + " is outside the image of " + std::to_string(img->ncols) +
              " x " + std::to_string(img->nrows),
          func);
}

namespace {

template <class F>
std::unique_ptr<Image> Pixelwise(const Image *a, const Image *b, const char *func, F f) {
  CheckSameSize(a, b, func);
  auto out = CreateImage(a->ncols, a->nrows);
  const int n = static_cast<int>(a->val.size());
  const int *pa = a->val.data(), *pb = b->val.data();
  int *po = out->val.data();
  for (int p = 0; p < n; p++) po[p] = f(pa[p], pb[p]);
  return out;
}

template <class F>
std::unique_ptr<Image> Pointwise(const Image *a, F f) {
  auto out = CreateImage(a->ncols, a->nrows);
  const int n = static_cast<int>(a->val.size());
  const int *pa = a->val.data();
  int *po = out->val.data();
  for (int p = 0; p < n; p++) po[p] = f(pa[p]);
  return out;
}

}  // namespace

std::unique_ptr<Image> Diff(const Image *img1, const Image *img2) {
  return Pixelwise(img1, img2, "Diff",
                   [](int a, int b) { return SaturateToInt(static_cast<long long>(a) - b); });
}

std::unique_ptr<Image> Sum(const Image *img1, const Image *img2) {
  return Pixelwise(img1, img2, "Sum",
                   [](int a, int b) { return SaturateToInt(static_cast<long long>(a) + b); });
}

std::unique_ptr<Image> Mult(const Image *img1, const Image *img2) {
  return Pixelwise(img1, img2, "Mult",
                   [](int a, int b) { return SaturateToInt(static_cast<long long>(a) * b); });
}

std::unique_ptr<Image> Div(const Image *img1, const Image *img2) {
  CheckSameSize(img1, img2, "Div");
  long long m = MinimumValue(img2);
  if (m == 0) m = 1;
  const int byZero = SaturateToInt(MaximumValue(img1) / m + 1);
  return Pixelwise(img1, img2, "Div", [byZero](int a, int b) {
    return b == 0 ? byZero : SaturateToInt(static_cast<long long>(a) / b);
  });
}

std::unique_ptr<Image> Average(const Image *img1, const Image *img2) {
  return Pixelwise(img1, img2, "Average", [](int a, int b) {
    return static_cast<int>((static_cast<long long>(a) + b) / 2);
  });
}

std::unique_ptr<Image> And(const Image *img1, const Image *img2) {
  return Pixelwise(img1, img2, "And", [](int a, int b) { return std::min(a, b); });
}

std::unique_ptr<Image> Or(const Image *img1, const Image *img2) {
  return Pixelwise(img1, img2, "Or", [](int a, int b) { return std::max(a, b); });
}

std::unique_ptr<Image> Add(const Image *img, int value) {
  const long long top = MaximumValue(img);
  return Pointwise(img, [=](int a) { return static_cast<int>(std::min<long long>(1LL * a + value, top)); });
}

std::unique_ptr<Image> Sub(const Image *img, int value) {
  return Pointwise(img, [=](int a) { return SaturateToInt(std::max<long long>(1LL * a - value, 0)); });
}

std::unique_ptr<Image> Complement(const Image *img) {
  const long long top = MaximumValue(img);
  return Pointwise(img, [=](int a) { return SaturateToInt(top - a); });
}

std::unique_ptr<Image> Abs(const Image *img) {
  return Pointwise(img, [](int a) { return SaturateToInt(std::llabs(static_cast<long long>(a))); });
}

std::unique_ptr<Image> SQRT(const Image *img) {
  return Pointwise(img, [](int a) { return a <= 0 ? 0 : static_cast<int>(std::sqrt(static_cast<double>(a))); });
}

std::unique_ptr<Image> Log(const Image *img) {
  return Pointwise(img, [](int a) { return a < 0 ? 0 : static_cast<int>(std::log(static_cast<double>(a) + 1.0)); });
}
