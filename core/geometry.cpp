#include "core/geometry.h"

#include <cmath>

double ScalarProd(double x1, double y1, double z1, double x2, double y2, double z2) {
  return x1 * x2 + y1 * y2 + z1 * z2;
}

void VectorProd(float out[3], double x1, double y1, double z1, double x2, double y2, double z2) {
  out[0] = static_cast<float>(y1 * z2 - z1 * y2);
  out[1] = static_cast<float>(z1 * x2 - x1 * z2);
  out[2] = static_cast<float>(x1 * y2 - y1 * x2);
}

void VectorRotate(float out[3], double x, double y, double z, const float M[4][4]) {
  double r[3];
  for (int i = 0; i < 3; i++) r[i] = M[i][0] * x + M[i][1] * y + M[i][2] * z;
  for (int i = 0; i < 3; i++) out[i] = static_cast<float>(r[i]);
}

static double Magnitude(const float v[3]) {
  return sqrt(ScalarProd(v[0], v[1], v[2], v[0], v[1], v[2]));
}

void VectorNormalize(float v[3]) {
  double m = Magnitude(v);
  if (m == 0.0) return;
  for (int i = 0; i < 3; i++) v[i] = static_cast<float>(v[i] / m);
}

float VectorMagnitude(const float v[3]) { return static_cast<float>(Magnitude(v)); }

char PAxis(const float v[3]) {
  double ax = fabs(v[0]), ay = fabs(v[1]), az = fabs(v[2]);
  if (ax >= ay && ax >= az) return 'x';
  if (ay >= ax && ay >= az) return 'y';
  return 'z';
}

int OctantSign(int octant, int axis) { return ((octant - 1) >> axis & 1) ? 1 : -1; }

signed char Octant(const float v[3]) {
  // A best value below any dot product of a unit vector: the first corner
  // always wins over it, so an undefined direction still gets octant 1.
  double best = -2.0;
  signed char octant = 1;
  for (int o = 1; o <= 8; o++) {
    double p = ScalarProd(OctantSign(o, 0), OctantSign(o, 1), OctantSign(o, 2), v[0], v[1], v[2]);
    if (p > best) {
      best = p;
      octant = static_cast<signed char>(o);
    }
  }
  return octant;
}

void PermutedAxes(char paxis, int *i, int *j, int *k) {
  switch (paxis) {
    case 'x': *i = 1; *j = 2; *k = 0; break;
    case 'y': *i = 2; *j = 0; *k = 1; break;
    default:  *i = 0; *j = 1; *k = 2; break;
  }
}
