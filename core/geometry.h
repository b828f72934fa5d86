// Vectors of three floats, and the two classifications of a viewing
// direction that the viewing context is built on.
#pragma once

// x1 x2 + y1 y2 + z1 z2, in double.
double ScalarProd(double x1, double y1, double z1, double x2, double y2, double z2);

// out := (y1 z2 - z1 y2, z1 x2 - x1 z2, x1 y2 - y1 x2), rounded to float.
void VectorProd(float out[3], double x1, double y1, double z1, double x2, double y2, double z2);

// out := M (x, y, z) with the upper 3x3 part of M, rounded to float.
void VectorRotate(float out[3], double x, double y, double z, const float M[4][4]);

// v := v / |v| in place; a zero vector is left unchanged.
void VectorNormalize(float v[3]);

// |v| rounded to single precision.
float VectorMagnitude(const float v[3]);

// The principal axis of a direction: 'x' when |vx| is at least |vy| and
// |vz|, else 'y' when |vy| is at least |vx| and |vz|, else 'z' (ties favour
// x, then y).
char PAxis(const float v[3]);

// The viewing octant of a direction, 1..8: the first of the corners
// (-,-,-), (+,-,-), (-,+,-), (+,+,-), (-,-,+), (+,-,+), (-,+,+), (+,+,+)
// (bit 0 of octant - 1 is the sign of x, bit 1 of y, bit 2 of z) whose dot
// product with v is strictly the largest. Four corners tie for an axis
// direction and two for a diagonal of a face; the first one wins.
signed char Octant(const float v[3]);

// The sign of axis 0 (x), 1 (y) or 2 (z) in an octant: +1 or -1.
int OctantSign(int octant, int axis);

// The volume axes (0 x, 1 y, 2 z) that a principal axis makes the two
// in-slice axes i, j and the slice axis k: 'x' gives (y, z, x), 'y' gives
// (z, x, y), 'z' (and anything else) gives (x, y, z).
void PermutedAxes(char paxis, int *i, int *j, int *k);
