// Curves: point lists (x, y), and (x, y, z) for Curve3D.
//
// A Curve carries every function of one variable the program keeps:
// histograms, opacity and grey-level transfer curves, label lists. The
// sorts below follow one fixed partition scheme, so the order in which
// equal keys come out is part of their contract.
#pragma once

#include <memory>
#include <vector>

struct Curve {
  std::vector<double> X;
  std::vector<double> Y;
  int n = 0;
};

struct Curve3D {
  std::vector<double> X;
  std::vector<double> Y;
  std::vector<double> Z;
  int n = 0;
};

// n points at (0, 0). Error for a negative n or when memory runs out.
std::unique_ptr<Curve> CreateCurve(int n);
void DestroyCurve(std::unique_ptr<Curve> *curve);

// Text file: "n\n" then n lines "x y" with six decimals. Reading stores the
// values as single-precision numbers widened to double, and fails with a
// message naming the file when the count is missing or invalid, or when
// the file holds fewer points than its count promises.
std::unique_ptr<Curve> ReadCurve(const char *filename);
void WriteCurve(Curve *curve, const char *filename);
std::unique_ptr<Curve> CopyCurve(Curve *curve);

std::unique_ptr<Curve3D> CreateCurve3D(int n);
void DestroyCurve3D(std::unique_ptr<Curve3D> *curve);
// n lines "x y z" with six decimals; no count line.
void WriteCurve3D(Curve3D *curve, const char *filename);

// Sorts the points left..right by y (by z for Curve3D), moving the other
// coordinates along: increasing for order 1, decreasing for any other
// order. An empty range (left >= right) is left alone; a range reaching
// outside the curve is an Error.
void SortCurve(Curve *curve, int left, int right, int order);
void SortCurve3D(Curve3D *curve, int left, int right, int order);
// One partition step of those sorts on left..right (pivot y[left], or
// z[left]); returns the pivot's final index. Needs 0 <= left <= right < n.
int PartCurve(Curve *curve, int left, int right, int order);
int PartCurve3D(Curve3D *curve, int left, int right, int order);

// Swaps x and y of every point.
void InvertXY(Curve *curve);

// Resamples a curve at the fixed x step dx, from its smallest to its
// largest x, interpolating y linearly; sorts the input by x in place.
// Error for dx <= 0, an empty curve, or a range that would need an absurd
// number of samples.
std::unique_ptr<Curve> FillCurve(Curve *curve, double dx);

// The points of both curves sorted by x; of two neighbours with equal x
// the first stays with the larger y and the second goes.
std::unique_ptr<Curve> JoinCurve(Curve *c1, Curve *c2);

// The largest y, never below 0.0.
double CurveMaximum(Curve *curve);

// The round(|q - p|) points p + k (q - p) / |q - p|, k = 0, 1, ...; p and
// q are three integers each (Error otherwise).
std::unique_ptr<Curve3D> GetLinePoints(std::vector<int> p, std::vector<int> q);
