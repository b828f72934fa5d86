#include "lib2d/radiometric.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/stretch.h"
#include "lib2d/mathematics.h"
#include "segment/voxelwise3.h"

namespace {

// Counts per level 0 .. max(img, 0).
std::vector<double> Counts(const Image *img, const char *func) {
  const int m = MaximumValue(img);
  if (m > kMaxLevels)
    Error("An image of maximum " + std::to_string(m) + " has too many levels for a histogram",
          func);
  std::vector<long long> h(std::max(m, 0) + 1, 0);
  for (int v : img->val)
    if (v >= 0) h[v]++;
  return std::vector<double>(h.begin(), h.end());
}

std::unique_ptr<Curve> ToCurve(const std::vector<double> &y) {
  auto c = CreateCurve(static_cast<int>(y.size()));
  for (size_t i = 0; i < y.size(); i++) {
    c->X[i] = static_cast<double>(i);
    c->Y[i] = y[i];
  }
  return c;
}

void Accumulate(std::vector<double> *h) {
  for (size_t i = 1; i < h->size(); i++) (*h)[i] += (*h)[i - 1];
}

void Normalise(std::vector<double> *h, const Image *img) {
  const double n = static_cast<double>(img->val.size());
  for (double &v : *h) v /= n;
}

std::vector<double> NormAccCounts(const Image *img, const char *func) {
  std::vector<double> h = Counts(img, func);
  Accumulate(&h);
  Normalise(&h, img);
  return h;
}

}  // namespace

std::unique_ptr<Curve> Histogram(const Image *img) { return ToCurve(Counts(img, "Histogram")); }

std::unique_ptr<Curve> NormHistogram(const Image *img) {
  std::vector<double> h = Counts(img, "NormHistogram");
  Normalise(&h, img);
  return ToCurve(h);
}

std::unique_ptr<Curve> AccHistogram(const Image *img) {
  std::vector<double> h = Counts(img, "AccHistogram");
  Accumulate(&h);
  return ToCurve(h);
}

std::unique_ptr<Curve> NormAccHistogram(const Image *img) {
  return ToCurve(NormAccCounts(img, "NormAccHistogram"));
}

std::unique_ptr<Image> Probability(const Image *img) {
  std::vector<double> h = Counts(img, "Probability");
  Normalise(&h, img);
  auto out = CreateImage(img->ncols, img->nrows);
  for (size_t p = 0; p < img->val.size(); p++) {
    int v = img->val[p];
    out->val[p] = v < 0 ? 0 : static_cast<int>(100.0 * h[v]);
  }
  return out;
}

std::unique_ptr<Image> Equalize(const Image *img) {
  std::vector<double> c = NormAccCounts(img, "Equalize");
  const int m = MaximumValue(img);
  const double L = m < 255 ? 255.0 : (m < 65535 ? 65535.0 : static_cast<double>(m));
  auto out = CreateImage(img->ncols, img->nrows);
  for (size_t p = 0; p < img->val.size(); p++) {
    int v = img->val[p];
    out->val[p] = v < 0 ? 0 : TruncToInt(L * c[v]);
  }
  return out;
}

std::unique_ptr<Image> MatchHistogram(const Image *img, const Image *des) {
  const int mi = MaximumValue(img), md = MaximumValue(des);
  if (md < 0) Error("The desired image has no value of 0 or more", "MatchHistogram");
  std::unique_ptr<Image> e;
  if (mi == md) {
    e = Equalize(img);
  } else {
    auto stretched = LinearStretch(const_cast<Image *>(img), 0, std::max(mi, 0), 0, md);
    e = Equalize(stretched.get());
  }
  std::vector<double> c = NormAccCounts(des, "MatchHistogram");
  // Inverse table of md + 1 entries; gaps filled linearly.
  std::vector<int> T(md + 1, 0);
  for (int i = 0; i <= md; i++) {
    int k = std::clamp(static_cast<int>(md * c[i]), 0, md);
    T[k] = i;
  }
  for (int i = 1; i <= md; i++) {
    if (T[i] != 0) continue;
    int j = i + 1;
    while (j <= md && T[j] == 0) j++;
    if (j > md) {
      for (int k = i; k <= md; k++) T[k] = T[i - 1];
      break;
    }
    const double from = T[i - 1], to = T[j];
    for (int k = i; k < j; k++)
      T[k] = static_cast<int>(from + (to - from) * (k - (i - 1)) / (j - (i - 1)));
    i = j;
  }
  auto out = CreateImage(img->ncols, img->nrows);
  for (size_t p = 0; p < e->val.size(); p++) out->val[p] = T[std::clamp(e->val[p], 0, md)];
  return out;
}

std::unique_ptr<Image> GaussStretch(const Image *img, float mean, float stdev) {
  const float twoVar = 2.0f * stdev * stdev;
  if (!(twoVar > 0.0f) || !std::isfinite(twoVar))
    Error("Invalid standard deviation " + std::to_string(stdev), "GaussStretch");
  const int m = MaximumValue(img);
  auto T = [&](int v) -> float {
    double d = static_cast<double>(v) - mean;
    return static_cast<float>(static_cast<double>(m) * std::exp(-(d * d) / twoVar));
  };
  const int tableSize = std::clamp(m, -1, kMaxLevels) + 1;
  std::vector<float> table(tableSize);
  for (int i = 0; i < tableSize; i++) table[i] = T(i);
  auto out = CreateImage(img->ncols, img->nrows);
  for (size_t p = 0; p < img->val.size(); p++) {
    int v = img->val[p];
    out->val[p] = TruncToInt(v >= 0 && v < tableSize ? table[v] : T(v));
  }
  return out;
}
