// Polynomials for curve fitting: least-squares regression, derivative and
// sampling.
#pragma once

#include <memory>
#include <vector>

#include "core/curve.h"

struct Polynom {
  std::vector<double> coef;  // coef[i] multiplies x^i
  int n = 0;                 // degree
};

// The polynomial of the given degree (0 .. 16) fitted by least squares to
// the points of c with lower <= x <= higher. Error for another degree, or
// when fewer distinct points than coefficients lie in the range.
std::unique_ptr<Polynom> Regression(const Curve *c, int degree, double lower, double higher);
std::unique_ptr<Polynom> DerivPolynom(const Polynom *P);
double EvaluatePolynom(const Polynom *P, double x);
// n points (x, P(x)) evenly from `from` to `to` (one point at `from` for n = 1).
std::unique_ptr<Curve> SamplePolynom(const Polynom *P, double from, double to, int n);
