// Cut planes: a unit normal, a point, per-axis signs taken from a viewing
// context, and the rotation that produced the normal.
//
// Positions are in volume coordinates centred on the volume. Angles are in
// degrees, normalised to [0, 360). After every rotation the normal is the
// third column of the rotation.
#pragma once

#include <memory>
#include <vector>

struct Context;
struct ZBuffer;

struct Plane {
  float nx = 0.0f, ny = 0.0f, nz = 0.0f;  // unit normal
  float px = 0.0f, py = 0.0f, pz = 0.0f;  // a point of the plane
  float sx = 0.0f, sy = 0.0f, sz = 0.0f;  // the context's traversal steps, +1 or -1
  float rotation[4][4] = {};
  float tilt = 0.0f, spin = 0.0f;         // the last angles given to a rotation
};

// Normal (0, 0, 1) at the origin, the context's traversal steps as signs,
// the identity rotation, angles 0.
std::unique_ptr<Plane> CreatePlane(const Context *cxt);

// The same normal, position and signs; rotation, tilt and spin all zero
// (not the identity).
std::unique_ptr<Plane> CopyPlane(const Plane *pl);

void DestroyPlane(std::unique_ptr<Plane> *pl);

// rotation := Ry(thy) Rx(thx) rotation, with both increments normalised
// and stored as tilt and spin (the increments, not running sums).
void RotatePlane(Plane *pl, float thx, float thy);
// rotation := Ry(spin) Rx(tilt), the previous rotation discarded.
void RotatePlaneAbs(Plane *pl, float thx, float thy);

// p := p + alpha (n * s), component by component.
void TranslatePlane(Plane *pl, float alpha);
// p := alpha (n * s): the same move from the origin. The two names are
// kept because scripts use both.
void TranslatePlaneAbs(Plane *pl, float alpha);
void TranslatePlaneAux(Plane *pl, float alpha);

// The plane of a polygon's face: vert holds n points as 3n floats (x, y, z
// each); with P0, P1, P2 the first three, the normal is (P2 - P1) x (P0 - P1)
// normalised, the position the mean of the n points; signs, rotation and
// angles zero. Error when n < 3 or vert holds fewer than 3n numbers.
std::unique_ptr<Plane> FacePlane(const std::vector<float> &vert, int n);

float GetPlaneX(const Plane *pl);
float GetPlaneY(const Plane *pl);
float GetPlaneTilt(const Plane *pl);
float GetPlaneSpin(const Plane *pl);

// Copies the context's rotation into the plane; the normal stays.
void LockPlane(const Context *cxt, Plane *pl);

// Draws the plane into an output-image z-buffer as a surface: with
// cx = ncols/2, cy = nrows/2 (integer halves), a = nz/nx and b = nz/ny (0
// where the divisor is 0), every pixel's dist becomes
// min(dist, cx - (a (x - cx) + b (y - cy) + pz)) and its voxel -1.
void SetPlaneZBuffer(ZBuffer *zbuffer, const Plane *pl);

// Draws the plane into a z-buffer laid out as the context's sheared
// intermediate image: each pixel's sheared ray is met with the plane, and
// the meeting point's distance (isize minus its depth along the third row of
// the rotation, plus half isize) lowers the pixel's dist. Every pixel's voxel
// becomes -1; rays parallel to the plane leave dist alone.
void SetPlaneShearZBuffer(const Context *cxt, ZBuffer *zbuffer, const Plane *pl);

// A plane through the middle of the volume, facing along one of the
// context's rotated axes: axis 'x' takes the first column of the rotation as
// normal and moves xsize/2 (integer half) along it, 'y' and 'z' likewise;
// any other letter gives normal (0, 0, 1) at the origin. The signs are the
// context's, the rotation the identity.
std::unique_ptr<Plane> ClipPlane(const Context *cxt, char axis);
