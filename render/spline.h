// Curves for sections of a scene: a smooth curve through 2D control points
// drawn on a cut plane, mapped onto the plane in volume coordinates, with
// its arc length measured in the scene's units (voxel sizes dx, dy, dz).
//
// Control points are in the plane's own coordinates, centred as the pixels
// of a slice are (SliceScene: pixel (a, b) lies at (a - ncols/2, b -
// nrows/2)); a point (u, v) of the plane is M (u, v, 0) + c in volume
// coordinates centred on the volume, M the plane's rotation (PlaneRotation)
// and c its position. Between control points the curve is a Catmull-Rom
// spline (the end segments use their end point twice), sampled densely
// into a polyline for lengths and positions.
#pragma once

#include <array>
#include <memory>
#include <vector>

struct Scene;
struct Plane;

constexpr int kSplineMaxPoints = 256;

struct Spline {
  std::vector<float> u, v;  // control points on the plane, at most kSplineMaxPoints
  float dx = 1.0f, dy = 1.0f, dz = 1.0f;  // the scene's voxel sizes
  // Set by Compute3DSpline: the dense polyline in volume coordinates
  // (centred) and the arc length (scene units) at each of its points.
  std::vector<std::array<double, 3>> curve;
  std::vector<double> arc;
};

// No control points, the scene's voxel sizes.
std::unique_ptr<Spline> CreateSpline(const Scene *scn);
void DestroySpline(std::unique_ptr<Spline> *spline);
// Appends a control point; Error when the spline is full or a coordinate is
// not a finite number.
void AddSplinePoint(Spline *spline, float u, float v);

// Maps the curve onto the plane (replacing the previous mapping). Error for
// fewer than two control points.
void Compute3DSpline(Spline *spline, const Plane *pl);
// The arc length of the mapped curve in scene units (0 before any mapping).
double LengthSpline(const Spline *spline);
// The point of the mapped curve at the fraction t of its length (t clamped
// to [0, 1]), in volume coordinates centred on the volume.
void CalculateVoxel(const Spline *spline, double t, float p[3]);
// A copy whose control points are moved by d across the curve, in the
// plane, along the left-hand normal of the control polygon at each point
// (the mean of the normals of the two segments that meet there); the copy
// is not mapped yet.
std::unique_ptr<Spline> TranslateSpline(const Spline *spline, float d);
// The plane through the point at t, its normal the curve's direction there
// (in volume coordinates); signs +1, rotation the identity, angles 0.
std::unique_ptr<Plane> NormalPlane(const Spline *spline, double t);
