// Grey-level images: 32-bit signed pixels, row after row.
//
// Operations that take pixel positions from their caller (PaintCircle,
// DrawPath, ROI ...) check them: an address outside the image fails with a
// message naming it, never an access outside the pixels. Operations of two
// images require equal sizes and fail when they differ.
#pragma once

#include <climits>
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

// Pixel values that mark "no value" (below everything) and "infinite".
constexpr int kImageMinusInfinity = INT_MIN;
constexpr int kImageInfinity = INT_MAX;

// ---- construction ----

// Sinusoidal test images: value trunc(127.5 * (1 + f(t))) with f = sin or
// cos and t = 2*pi*(wx*x/ncols + phix) + 2*pi*(wy*y/nrows + phiy), so wx, wy
// count periods across the image and phix, phiy are phases in periods.
std::unique_ptr<Image> CreateSine(int ncols, int nrows, float wx, float wy, float phix,
                                  float phiy);
std::unique_ptr<Image> CreateCos(int ncols, int nrows, float wx, float wy, float phix,
                                 float phiy);
// An image of max(xf-xo+1, ncols) x max(yf-yo+1, nrows) that holds val at
// xo <= x < xf, yo <= y < yf and 0 elsewhere.
std::unique_ptr<Image> CreateSquare(int xo, int yo, int xf, int yf, int ncols, int nrows, int val);
// An all-zero image. Error for a non-positive or absurd size.
std::unique_ptr<Image> CreateImage(int ncols, int nrows);
void DestroyImage(std::unique_ptr<Image> *img);

// ---- files ----

// PGM, plain (P2) or raw (P5). A raw image whose maximum exceeds 255 holds
// two bytes per pixel, most significant first. Error for an unopenable
// file, a bad magic word, a malformed header and a file shorter than its
// header promises.
std::unique_ptr<Image> ReadImage(const char *filename);
// Plain PGM (P2), 17 values a line. Infinite pixels are written as one
// above the largest finite value. The write is atomic: a failure leaves an
// existing file untouched.
void WriteImage(const Image *img, const char *filename);

// ---- values ----

// Values mapped linearly from [min, max] of the finite pixels onto
// [0, 2^N - 1] (truncated); -infinity pixels become 0, +infinity ones
// 2^N - 1. All zero when min = max. Error unless 1 <= N <= 31.
std::unique_ptr<Image> ConvertToNbits(const Image *img, int N);
int MinimumValue(const Image *img);
int MaximumValue(const Image *img);
void SetImage(Image *img, int value);
bool ValidPixel(const Image *img, int x, int y);
std::unique_ptr<Image> CopyImage(const Image *img);

// ---- frames and rectangles ----

// The image grown by sz pixels on every side, the border set to value.
std::unique_ptr<Image> AddFrame(const Image *img, int sz, int value);
// The interior of fimg without a border of sz pixels.
std::unique_ptr<Image> RemFrame(const Image *fimg, int sz);
// The rectangle between two valid corners with xl <= xr and yl <= yr, or
// null for any other corners.
std::unique_ptr<Image> ROI(const Image *img, int xl, int yl, int xr, int yr);
// The bounding rectangle of the pixels above 0, or null when there are none.
std::unique_ptr<Image> MBB(const Image *img);
// A zero image whose outermost rows and columns hold value.
std::unique_ptr<Image> MakeFrame(int ncols, int nrows, int value);

// ---- drawing (in place) ----

// Sets every pixel with dx*dx + dy*dy <= trunc(radius*radius) from the
// pixel at address center; pixels beyond the image are skipped. Error when
// center is not an address of the image.
void PaintCircle(Image *img, int center, float radius, int value);
// Follows the predecessor map pred (one entry per pixel, -1 or the pixel
// itself at a root) from address dst to its root and sets every pixel met,
// the root included. Error for a map of the wrong size, an address outside
// the image, or a chain that does not end at a root.
void DrawPath(Image *img, const std::vector<int> &pred, int dst, int value);
// An ncols x nrows image from "n, x1, y1, v1, ..., xn, yn, vn" (commas or
// blanks between the integers): pixel (xi, yi) := vi, skipped when outside.
std::unique_ptr<Image> InputSeeds(int ncols, int nrows, const char *seeds);
// An image from "ncols, nrows, v0, v1, ..." with the values in memory order.
std::unique_ptr<Image> CreateIntArray(const char *data);

// ---- geometry ----

// Rotation by theta degrees, counter-clockwise as seen on the screen (rows
// growing downwards), about the image centre, into the smallest image that
// holds the whole rotated picture. Each pixel samples the input bilinearly
// at the inversely rotated position; positions outside the input give 0.
std::unique_ptr<Image> Rotate(const Image *img, float theta);
// An image of round(Sx*ncols) x round(Sy*nrows) (at least 1 x 1) whose
// pixel X samples the input bilinearly at cx + (X - cx')/Sx (cx, cx' the
// centres of the two images; positions beyond the border are clamped onto
// it), and the same for y. Error for a factor that is not positive.
std::unique_ptr<Image> Scale(const Image *img, float Sx, float Sy);

// ---- two images ----

// Per pixel x*x + y*y (no square root), saturated at the largest int.
std::unique_ptr<Image> ImageMagnitude(const Image *imgx, const Image *imgy);
// Per pixel trunc(img * alpha / m), m the maximum of alpha (1 when it is
// below 2).
std::unique_ptr<Image> OverlayAlphaImage(const Image *img, const Image *alpha);

// Error (naming func) unless the two images have the same size.
void CheckSameSize(const Image *a, const Image *b, const char *func);
