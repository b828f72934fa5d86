#include "core/cimage.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/fileio.h"

std::unique_ptr<CImage> CreateCImage(int ncols, int nrows) {
  CheckedVoxelCount(ncols, nrows, 3, "CreateCImage");
  auto cimg = std::make_unique<CImage>();
  for (auto &band : cimg->C) band = CreateImage(ncols, nrows);
  return cimg;
}

void DestroyCImage(std::unique_ptr<CImage> *cimg) {
  if (cimg != nullptr) cimg->reset();
}

// ---- one pixel ----

static constexpr double kLumaFloor = 16.0 / 255.0;

YCbCr RGBtoYCbCr(double r, double g, double b) {
  YCbCr c;
  c.y = 0.257 * r + 0.504 * g + 0.098 * b + kLumaFloor;
  c.cr = 0.439 * r - 0.368 * g - 0.071 * b;
  c.cb = -0.148 * r - 0.291 * g + 0.439 * b;
  return c;
}

void YCbCrtoRGB(const YCbCr &c, double *r, double *g, double *b) {
  double l = (c.y - kLumaFloor) * 296.82;
  *r = l + 406.98 * c.cr;
  *g = l - 207.315 * c.cr - 99.96 * c.cb;
  *b = l + 514.335 * c.cb;
}

static int ClampToByte(double v) { return static_cast<int>(std::clamp(v, 0.0, 255.0)); }

static constexpr float kMarkerSlope = 2147483648.0f;

LumaStretch MakeLumaStretch(int f1, int f2, int g1, int g2) {
  LumaStretch s;
  s.f1 = f1;
  s.f2 = f2;
  s.g1 = g1;
  s.g2 = g2;
  s.slope = f1 == f2 ? kMarkerSlope
                     : static_cast<float>((static_cast<double>(g2) - g1) /
                                          (static_cast<double>(f2) - f1));
  return s;
}

void StretchPixelLuma(const LumaStretch &s, int r, int g, int b, int *nr, int *ng, int *nb) {
  YCbCr c = RGBtoYCbCr(r / 255.0, g / 255.0, b / 255.0);
  const double lo = s.f1 / 255.0, hi = s.f2 / 255.0;
  if (c.y < lo) c.y = s.g1 / 255.0;
  else if (c.y > hi || s.slope == kMarkerSlope) c.y = s.g2 / 255.0;
  else c.y = (c.y - lo) * s.slope + s.g1 / 255.0;
  double rr, gg, bb;
  YCbCrtoRGB(c, &rr, &gg, &bb);
  *nr = ClampToByte(rr);
  *ng = ClampToByte(gg);
  *nb = ClampToByte(bb);
}

// ---- files ----

void WriteCImage(const CImage *cimg, const char *filename) {
  AtomicWriter out(filename, "WriteCImage", std::string("Cannot open ") + filename);
  const Image &r = *cimg->C[0], &g = *cimg->C[1], &b = *cimg->C[2];
  std::string header =
      "P6\n" + std::to_string(r.ncols) + " " + std::to_string(r.nrows) + "\n255\n";
  out.Write(header.data(), header.size());
  const size_t n = r.val.size();
  std::string bytes(3 * n, '\0');
  for (size_t p = 0; p < n; p++) {
    bytes[3 * p] = static_cast<char>(r.val[p] & 0xff);
    bytes[3 * p + 1] = static_cast<char>(g.val[p] & 0xff);
    bytes[3 * p + 2] = static_cast<char>(b.val[p] & 0xff);
  }
  out.Write(bytes.data(), bytes.size());
  out.Commit();
}

// ---- operations ----

std::unique_ptr<CImage> CopyCImage(const CImage *cimg) {
  auto out = std::make_unique<CImage>();
  for (int i = 0; i < 3; i++) out->C[i] = CopyImage(cimg->C[i].get());
  return out;
}

std::unique_ptr<CImage> Convert2CImage(const Image *img) {
  auto out = std::make_unique<CImage>();
  for (auto &band : out->C) band = CopyImage(img);
  return out;
}

std::unique_ptr<CImage> CLinearStretch(const CImage *cimg, int f1, int f2, int g1, int g2) {
  const LumaStretch s = MakeLumaStretch(f1, f2, g1, g2);
  auto out = CreateCImage(cimg->ncols(), cimg->nrows());
  const size_t n = cimg->C[0]->val.size();
  const int *r = cimg->C[0]->val.data(), *g = cimg->C[1]->val.data(), *b = cimg->C[2]->val.data();
  int *nr = out->C[0]->val.data(), *ng = out->C[1]->val.data(), *nb = out->C[2]->val.data();
  // A pixel's result depends on its colour alone, and renderings repeat
  // few colours (the background above all): results are kept in a small
  // table by colour and looked up before they are computed.
  struct Entry {
    int r = -1, g = 0, b = 0, nr = 0, ng = 0, nb = 0;
    bool valid = false;
  };
  constexpr unsigned kBits = 12;
  std::vector<Entry> seen(1u << kBits);
  for (size_t p = 0; p < n; p++) {
    const unsigned key = (static_cast<unsigned>(r[p]) * 2654435761u ^ static_cast<unsigned>(g[p]) * 40503u ^
                          static_cast<unsigned>(b[p])) & ((1u << kBits) - 1);
    Entry &e = seen[key];
    if (!e.valid || e.r != r[p] || e.g != g[p] || e.b != b[p]) {
      e.valid = true;
      e.r = r[p];
      e.g = g[p];
      e.b = b[p];
      StretchPixelLuma(s, r[p], g[p], b[p], &e.nr, &e.ng, &e.nb);
    }
    nr[p] = e.nr;
    ng[p] = e.ng;
    nb[p] = e.nb;
  }
  return out;
}

std::unique_ptr<CImage> CROI(const CImage *cimg, int xl, int yl, int xr, int yr) {
  auto out = std::make_unique<CImage>();
  for (int i = 0; i < 3; i++) {
    out->C[i] = ROI(cimg->C[i].get(), xl, yl, xr, yr);
    if (!out->C[i]) return nullptr;
  }
  return out;
}

std::unique_ptr<CImage> CScale(const CImage *cimg, float Sx, float Sy) {
  auto out = std::make_unique<CImage>();
  for (int i = 0; i < 3; i++) out->C[i] = Scale(cimg->C[i].get(), Sx, Sy);
  return out;
}

std::unique_ptr<CImage> COverlayAlphaImage(const CImage *cimg, const Image *alpha) {
  auto out = std::make_unique<CImage>();
  for (int i = 0; i < 3; i++) out->C[i] = OverlayAlphaImage(cimg->C[i].get(), alpha);
  return out;
}

std::unique_ptr<Image> GetBand(const CImage *cimg, int band) {
  if (band < 0 || band > 2) {
    Error("Band " + std::to_string(band) + " is not 0, 1 or 2", "GetBand");
  }
  return CopyImage(cimg->C[band].get());
}

std::unique_ptr<CImage> ColorizeImage(const Image *img, float R, float G, float B) {
  const YCbCr colour = RGBtoYCbCr(R, G, B);
  const int m = MaximumValue(img);
  const double norm = m < 2 ? 1.0 : m;
  auto out = CreateCImage(img->ncols, img->nrows);
  const size_t n = img->val.size();
  for (size_t p = 0; p < n; p++) {
    YCbCr c = colour;
    c.y = img->val[p] / norm;
    double r, g, b;
    YCbCrtoRGB(c, &r, &g, &b);
    out->C[0]->val[p] = ClampToByte(r);
    out->C[1]->val[p] = ClampToByte(g);
    out->C[2]->val[p] = ClampToByte(b);
  }
  return out;
}

std::unique_ptr<CImage> BlendImages(const CImage *cimg1, const CImage *cimg2, float alpha1,
                                    float alpha2) {
  CheckSameSize(cimg1->C[0].get(), cimg2->C[0].get(), "BlendImages");
  auto out = CreateCImage(cimg1->ncols(), cimg1->nrows());
  for (int i = 0; i < 3; i++) {
    const Image &a = *cimg1->C[i], &b = *cimg2->C[i];
    const size_t n = a.val.size();
    for (size_t p = 0; p < n; p++) {
      double v = static_cast<double>(alpha1) * a.val[p] + static_cast<double>(alpha2) * b.val[p];
      out->C[i]->val[p] = static_cast<int>(std::clamp(v, -2147483648.0, 2147483647.0));
    }
  }
  return out;
}

// trunc(num / 1000) of a non-negative numerator, clamped to [0, 255].
static int ThousandthsToByte(long long num) {
  return num < 0 ? 0 : static_cast<int>(std::min<long long>(num / 1000, 255));
}

std::unique_ptr<CImage> CImageRGBtoYCbCr(const CImage *cimg) {
  auto out = CreateCImage(cimg->ncols(), cimg->nrows());
  const size_t n = cimg->C[0]->val.size();
  // Integer thousandths keep the result exact: a grey pixel gets chroma 128,
  // not 127 through a rounding error just below it.
  for (size_t p = 0; p < n; p++) {
    long long r = cimg->C[0]->val[p], g = cimg->C[1]->val[p], b = cimg->C[2]->val[p];
    out->C[0]->val[p] = ThousandthsToByte(257 * r + 504 * g + 98 * b + 16000);
    out->C[1]->val[p] = ThousandthsToByte(-148 * r - 291 * g + 439 * b + 128000);
    out->C[2]->val[p] = ThousandthsToByte(439 * r - 368 * g - 71 * b + 128000);
  }
  return out;
}
