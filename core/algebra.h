// 4x4 matrices, row-major, applied to column vectors.
//
// Stored matrices (a context's rotation and shear, a plane's rotation) are
// single precision. Products that combine several factors are formed in
// double with Matrix4d and rounded once, where the result is stored.
#pragma once

// C := A * B. Sums are formed in double and rounded when stored; C may be
// the same matrix as A or B.
void MultMatrices(const float A[4][4], const float B[4][4], float C[4][4]);

// B := transpose of A (B may be A).
void TransMatrix(const float A[4][4], float B[4][4]);

// Sets A to the identity.
void IdentityMatrix(float A[4][4]);

// A double-precision 4x4 matrix for intermediate products.
struct Matrix4d {
  double m[4][4];
};

Matrix4d Identity4d();
Matrix4d ToMatrix4d(const float A[4][4]);
// Rounds every entry to single precision.
void StoreMatrix(const Matrix4d &A, float out[4][4]);
Matrix4d operator*(const Matrix4d &A, const Matrix4d &B);
Matrix4d Transpose(const Matrix4d &A);

// Angles are in degrees; the radians use the viewing code's own value of
// pi, 3.1415926536, so that rotations agree with those stored before.
constexpr double kViewPi = 3.1415926536;
// Rows (1 0 0 0), (0 cos -sin 0), (0 sin cos 0), (0 0 0 1).
Matrix4d RotationX(double degrees);
// Rows (cos 0 sin 0), (0 1 0 0), (-sin 0 cos 0), (0 0 0 1).
Matrix4d RotationY(double degrees);

// 360 * frac(a / 360) with the sign of a (as modf keeps it), plus 360 when
// negative: the result lies in [0, 360) once stored as a float. A negative
// zero becomes 0, and a tiny negative angle whose sum with 360 rounds to
// 360 in single precision becomes 0.
float NormalizeAngle(double degrees);
