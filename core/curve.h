// Curves: point lists (x, y), and (x, y, z) for Curve3D.
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

std::unique_ptr<Curve> CreateCurve(int n);
void DestroyCurve(std::unique_ptr<Curve> *curve);
std::unique_ptr<Curve3D> CreateCurve3D(int n);
void DestroyCurve3D(std::unique_ptr<Curve3D> *curve);
