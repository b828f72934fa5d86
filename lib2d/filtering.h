// Kernels and the linear, median, mode, Laplacian-border and Sobel filters
// of 2D images. CreateKernel, GaussianKernel and DestroyKernel are in
// core/kernel.h.
//
// Filters that take a kernel fail when the kernel is wider or taller than
// the image; filters that take a relation visit only the neighbours that lie
// inside the image.
#pragma once

#include <memory>
#include <vector>

#include "core/adjacency.h"
#include "core/cimage.h"
#include "core/image.h"
#include "core/kernel.h"

// ---- kernels ----

// "w,h,c0,c1,...": the displacements of Box(w, h) (centre first) and one
// weight per displacement, read in row-by-row order of the box; the centre's
// weight, found in the middle of the text, moves to the front. Error for a
// text without a size or with fewer weights than the box has displacements.
std::unique_ptr<Kernel> MakeKernel(const char *coefs);
// Weights 1 - d / (dmax + 1), d the displacement's length, dmax the largest.
std::unique_ptr<Kernel> LinearKernel(AdjRel *A);
// With s = stddev^2: (s - d2) exp(-d2 / (2 s)) / s^2. Error for stddev 0.
std::unique_ptr<Kernel> LaplacianKernel(AdjRel *A, float stddev);
// Over Circular(R): s exp(-f d2 / R^2). Error for R <= 0.
std::unique_ptr<Kernel> CircularGaussianKernel(float R, float s, float f);
// Over Circular(R), v = (vx, vy): p = (vx (-dx) + vy (-dy))^2,
// e = (d2 - p) / E, weight s exp(-f (e^2 + p) / R^2). Error for R <= 0,
// E = 0 or a v of fewer than two numbers.
std::unique_ptr<Kernel> EllipticalGaussianKernel(const std::vector<float> &v, float E, float R,
                                                 float s, float f);
// The kernel mirrored: displacements negated, their order reversed.
std::unique_ptr<Kernel> FoldKernel(Kernel *K);

// ---- filters ----

// Full convolution: an image (ncols + width - 1) x (nrows + height - 1),
// out(x, y) = trunc(sum w(i) img(x + dx(i) - mx, y + dy(i) - my)) over the
// folded kernel (mx, my its largest displacements) and the pixels inside.
std::unique_ptr<Image> LinearFilter(Image *img, Kernel *K);
// Same-size correlation: out(p) = trunc(sum w(i) img(p + d(i))) over the
// pixels inside.
std::unique_ptr<Image> LinearFilter2(Image *img, Kernel *K);
// Zero crossings of the same-size convolution f by K: 1 where f >= 0 and a
// neighbour under K has f < 0, stretched onto 0 .. L (L the maximum halved
// until it is at most 255); an image without crossings stays 0.
std::unique_ptr<Image> LaplacianBorder(Image *img, Kernel *K);
// The middle value (index n / 2 of the sorted values) of the neighbours
// under A inside the image.
std::unique_ptr<Image> MedianFilter(Image *img, AdjRel *A);
// The value of the longest run among the sorted neighbour values (the
// larger value on ties); a pixel whose own value runs as long keeps it.
std::unique_ptr<Image> ModeFilter(Image *img, AdjRel *A);
// gx^2 + gy^2 of the two Sobel kernels (no square root).
std::unique_ptr<Image> SobelFilter(Image *img);
// sqrt of the larger SobelFilter of the Cb and Cr bands.
std::unique_ptr<Image> ColorGradient(CImage *cimg);
// The objects (pixels above 0) whose 8-connected component holds at least
// perc percent of the pixels of the largest one, as 1; the rest 0.
std::unique_ptr<Image> ShapeFilter(Image *bin, float perc);
