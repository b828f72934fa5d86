// Colour images: three grey images of one size (red, green, blue, or Y, Cb,
// Cr after conversion).
//
// Colour arithmetic uses the studio-range YCbCr coefficients of ITU-R
// BT.601. On the unit scale (R, G, B in [0, 1]):
//   Y  = 0.257 R + 0.504 G + 0.098 B + 16/255
//   Cb = -0.148 R - 0.291 G + 0.439 B        (centred on 0)
//   Cr =  0.439 R - 0.368 G - 0.071 B        (centred on 0)
// and back to the 0..255 scale, with L = (Y - 16/255) * 296.82:
//   R = L + 406.98 Cr,  G = L - 207.315 Cr - 99.96 Cb,  B = L + 514.335 Cb.
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

// ---- one pixel ----

struct YCbCr {
  double y, cb, cr;  // unit scale, chroma centred on 0
};
// r, g, b on the unit scale.
YCbCr RGBtoYCbCr(double r, double g, double b);
// R, G, B on the 0..255 scale, neither clamped nor truncated.
void YCbCrtoRGB(const YCbCr &c, double *r, double *g, double *b);

// The brightness/contrast stretch of the luma (f1, f2, g1, g2 on the 0..255
// scale): luma below f1 becomes g1, above f2 (or any luma when f1 = f2,
// marked by a slope of 2147483648) g2, and in between
// (Y - f1/255) * slope + g1/255, with slope = (g2 - g1)/(f2 - f1) held as a
// float. The chroma is kept.
struct LumaStretch {
  int f1 = 0, f2 = 0, g1 = 0, g2 = 0;
  float slope = 0.0f;
};
LumaStretch MakeLumaStretch(int f1, int f2, int g1, int g2);
// One pixel through the stretch: r, g, b are 0..255 values, the results are
// clamped to [0, 255] and truncated.
void StretchPixelLuma(const LumaStretch &s, int r, int g, int b, int *nr, int *ng, int *nb);

// ---- files ----

// Raw PPM (P6) with maximum 255; each band value is written as its low byte.
// The write is atomic: a failure leaves an existing file untouched.
void WriteCImage(const CImage *cimg, const char *filename);

// ---- operations (each returns a new image) ----

std::unique_ptr<CImage> CopyCImage(const CImage *cimg);
// Three copies of a grey image.
std::unique_ptr<CImage> Convert2CImage(const Image *img);
// StretchPixelLuma applied to every pixel.
std::unique_ptr<CImage> CLinearStretch(const CImage *cimg, int f1, int f2, int g1, int g2);
// ROI, Scale and OverlayAlphaImage of each band.
std::unique_ptr<CImage> CROI(const CImage *cimg, int xl, int yl, int xr, int yr);
std::unique_ptr<CImage> CScale(const CImage *cimg, float Sx, float Sy);
std::unique_ptr<CImage> COverlayAlphaImage(const CImage *cimg, const Image *alpha);
// A copy of band 0, 1 or 2; Error for any other band.
std::unique_ptr<Image> GetBand(const CImage *cimg, int band);
// A colour image whose luma is the grey value divided by the image maximum
// (by 1 when that is below 2) and whose chroma is that of the colour
// (R, G, B), given on the unit scale; clamped to [0, 255] and truncated.
std::unique_ptr<CImage> ColorizeImage(const Image *img, float R, float G, float B);
// Per band trunc(alpha1 * a + alpha2 * b). Error for images of different sizes.
std::unique_ptr<CImage> BlendImages(const CImage *cimg1, const CImage *cimg2, float alpha1,
                                    float alpha2);
// Per pixel Y, Cb, Cr on the 0..255 scale (Y = 0.257 R + 0.504 G + 0.098 B
// + 16, Cb and Cr centred on 128), truncated from the exact value and
// clamped to [0, 255].
std::unique_ptr<CImage> CImageRGBtoYCbCr(const CImage *cimg);
