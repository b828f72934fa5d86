// Pixel arithmetic on 2D images. Every operation returns a new image and
// leaves its operands alone; two-image operations fail unless the sizes
// agree. Results that leave the 32-bit range saturate at its ends instead
// of wrapping.
#pragma once

#include <memory>

#include "core/image.h"

// ---- two images ----

std::unique_ptr<Image> Diff(const Image *img1, const Image *img2);     // a - b
std::unique_ptr<Image> Sum(const Image *img1, const Image *img2);      // a + b
std::unique_ptr<Image> Mult(const Image *img1, const Image *img2);     // a * b
// a / b, truncated; where b = 0 the value max(img1) / m + 1, m the minimum
// of img2 (1 when that minimum is 0).
std::unique_ptr<Image> Div(const Image *img1, const Image *img2);
std::unique_ptr<Image> Average(const Image *img1, const Image *img2);  // (a + b) / 2
std::unique_ptr<Image> And(const Image *img1, const Image *img2);      // min(a, b)
std::unique_ptr<Image> Or(const Image *img1, const Image *img2);       // max(a, b)

// ---- one image ----

std::unique_ptr<Image> Add(const Image *img, int value);  // min(a + value, max(img))
std::unique_ptr<Image> Sub(const Image *img, int value);  // max(a - value, 0)
std::unique_ptr<Image> Complement(const Image *img);      // max(img) - a
std::unique_ptr<Image> Abs(const Image *img);             // |a|
std::unique_ptr<Image> SQRT(const Image *img);            // trunc(sqrt(a)), 0 for a < 0
std::unique_ptr<Image> Log(const Image *img);             // trunc(ln(a + 1)), 0 for a < 0

// ---- helpers the rest of the 2D library shares ----

// v held to the int range.
int SaturateToInt(long long v);

// Error naming func unless every pixel lies in 0 .. limit: the operations
// that file pixels in a bucket per value need a small non-negative range.
// Returns the maximum.
int CheckValueRange(const Image *img, int limit, const char *func);

// The largest number of buckets a 2D operation will allocate.
constexpr int kMaxLevels = 1 << 24;

// Error naming func unless 0 <= p < ncols*nrows.
void CheckPixelIndex(const Image *img, int p, const char *func);
