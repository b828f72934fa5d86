// Histograms and radiometric transforms of 2D images.
//
// A histogram has one point per value v = 0 .. max(img) (one point when
// the maximum is below 0), x = v. Negative pixels fall outside every level
// and are counted nowhere; the normalised forms still divide by the whole
// pixel count. An image whose maximum exceeds 2^24 has no histogram (Error).
#pragma once

#include <memory>

#include "core/curve.h"
#include "core/image.h"

std::unique_ptr<Curve> Histogram(const Image *img);         // y(v) = count of v
std::unique_ptr<Curve> NormHistogram(const Image *img);     // count / pixel count
std::unique_ptr<Curve> AccHistogram(const Image *img);      // counts of 0 .. v
std::unique_ptr<Curve> NormAccHistogram(const Image *img);  // AccHistogram / pixel count

// Each pixel becomes trunc(100 * NormHistogram(v)): the percentage of the
// pixels that share its value (0 for a negative pixel).
std::unique_ptr<Image> Probability(const Image *img);

// Each pixel v becomes trunc(L * NormAccHistogram(v)), L = 255 when the
// maximum is below 255, 65535 from 255 to 65534, and the maximum itself
// from 65535 on. Negative pixels become 0.
std::unique_ptr<Image> Equalize(const Image *img);

// img mapped so that its histogram follows that of des: the equalised image
// (img first stretched onto des's range when the maxima differ) through
// the inverse of des's scaled cumulative histogram. Equalised values past
// the end of the inverse table take its last entry.
std::unique_ptr<Image> MatchHistogram(const Image *img, const Image *des);

// T(i) = M exp(-(i - mean)^2 / (2 stdev^2)), M the maximum, kept in single
// precision; each pixel v becomes trunc(T(v)). Error for stdev 0.
std::unique_ptr<Image> GaussStretch(const Image *img, float mean, float stdev);
