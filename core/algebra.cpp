#include "core/algebra.h"

#include <cmath>

Matrix4d Identity4d() {
  Matrix4d I{};
  for (int i = 0; i < 4; i++) I.m[i][i] = 1.0;
  return I;
}

Matrix4d ToMatrix4d(const float A[4][4]) {
  Matrix4d D;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) D.m[i][j] = A[i][j];
  return D;
}

void StoreMatrix(const Matrix4d &A, float out[4][4]) {
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) out[i][j] = static_cast<float>(A.m[i][j]);
}

Matrix4d operator*(const Matrix4d &A, const Matrix4d &B) {
  Matrix4d C{};
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      double s = 0.0;
      for (int k = 0; k < 4; k++) s += A.m[i][k] * B.m[k][j];
      C.m[i][j] = s;
    }
  return C;
}

Matrix4d Transpose(const Matrix4d &A) {
  Matrix4d T;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) T.m[i][j] = A.m[j][i];
  return T;
}

void MultMatrices(const float A[4][4], const float B[4][4], float C[4][4]) {
  StoreMatrix(ToMatrix4d(A) * ToMatrix4d(B), C);
}

void TransMatrix(const float A[4][4], float B[4][4]) {
  StoreMatrix(Transpose(ToMatrix4d(A)), B);
}

void IdentityMatrix(float A[4][4]) { StoreMatrix(Identity4d(), A); }

Matrix4d RotationX(double degrees) {
  double t = degrees * kViewPi / 180.0;
  Matrix4d R = Identity4d();
  R.m[1][1] = cos(t);
  R.m[1][2] = -sin(t);
  R.m[2][1] = sin(t);
  R.m[2][2] = cos(t);
  return R;
}

Matrix4d RotationY(double degrees) {
  double s = degrees * kViewPi / 180.0;
  Matrix4d R = Identity4d();
  R.m[0][0] = cos(s);
  R.m[0][2] = sin(s);
  R.m[2][0] = -sin(s);
  R.m[2][2] = cos(s);
  return R;
}

float NormalizeAngle(double degrees) {
  double whole;
  double a = 360.0 * modf(degrees / 360.0, &whole);
  if (a < 0.0) a += 360.0;
  float f = static_cast<float>(a) + 0.0f;  // + 0.0f turns -0 into 0
  if (f >= 360.0f) f = 0.0f;
  return f;
}
