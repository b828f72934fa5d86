#include "lib2d/polynom.h"

#include <cmath>
#include <string>
#include <utility>

#include "core/common.h"

std::unique_ptr<Polynom> Regression(const Curve *c, int degree, double lower, double higher) {
  if (degree < 0 || degree > 16) Error("Invalid degree " + std::to_string(degree), "Regression");
  const int m = degree + 1;
  // Normal equations, solved by elimination with partial pivoting.
  std::vector<std::vector<double>> a(m, std::vector<double>(m + 1, 0.0));
  int used = 0;
  for (int k = 0; k < c->n; k++) {
    const double x = c->X[k], y = c->Y[k];
    if (!(x >= lower && x <= higher) || !std::isfinite(y)) continue;
    used++;
    std::vector<double> pw(2 * m, 1.0);
    for (int i = 1; i < 2 * m; i++) pw[i] = pw[i - 1] * x;
    for (int i = 0; i < m; i++) {
      for (int j = 0; j < m; j++) a[i][j] += pw[i + j];
      a[i][m] += pw[i] * y;
    }
  }
  if (used < m)
    Error(std::to_string(used) + " points lie in the range, a polynomial of degree " +
              std::to_string(degree) + " needs " + std::to_string(m),
          "Regression");
  for (int col = 0; col < m; col++) {
    int pivot = col;
    for (int r = col + 1; r < m; r++)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (std::fabs(a[pivot][col]) < 1e-300) Error("The points do not determine the polynomial", "Regression");
    std::swap(a[col], a[pivot]);
    for (int r = 0; r < m; r++) {
      if (r == col) continue;
      const double f = a[r][col] / a[col][col];
      for (int j = col; j <= m; j++) a[r][j] -= f * a[col][j];
    }
  }
  auto P = std::make_unique<Polynom>();
  P->n = degree;
  P->coef.resize(m);
  for (int i = 0; i < m; i++) P->coef[i] = a[i][m] / a[i][i];
  return P;
}

std::unique_ptr<Polynom> DerivPolynom(const Polynom *P) {
  auto D = std::make_unique<Polynom>();
  D->n = P->n > 0 ? P->n - 1 : 0;
  D->coef.assign(D->n + 1, 0.0);
  for (int i = 1; i <= P->n; i++) D->coef[i - 1] = i * P->coef[i];
  return D;
}

double EvaluatePolynom(const Polynom *P, double x) {
  double v = 0.0;
  for (int i = P->n; i >= 0; i--) v = v * x + P->coef[i];
  return v;
}

std::unique_ptr<Curve> SamplePolynom(const Polynom *P, double from, double to, int n) {
  if (n < 1 || n > 1 << 20) Error("Invalid number of samples " + std::to_string(n), "SamplePolynom");
  auto c = CreateCurve(n);
  for (int i = 0; i < n; i++) {
    const double x = n == 1 ? from : from + (to - from) * i / (n - 1);
    c->X[i] = x;
    c->Y[i] = EvaluatePolynom(P, x);
  }
  return c;
}
