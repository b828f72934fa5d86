// Classification of shell voxels: opacities multiplied by transfer curves
// looked up at a per-voxel feature, labels from those opacities or from the
// brightest share of the values, starting curves trained from points drawn
// on slices, and the shell builders that classify their objects as they go.
//
// Curve look-ups. Every transfer curve is first resampled at unit steps
// (FillCurve, step 1.0); a feature value f then reads entry |trunc(f)|,
// whatever the curve's first x. Two rules keep every look-up and every
// store defined, whatever the curve or the feature:
//   - an index past the last entry (or a feature that is not a number)
//     reads the last entry;
//   - a product opacity * factor is computed in double, truncated toward
//     zero and clamped to [0, 255]: a negative (or not-a-number) product
//     stores 0, one above 255 stores 255.
// Curves whose y stays in [0, 1] and that span the features that occur,
// as the interface builds them, never meet either rule.
//
// The operations that read body values or gradients fail (Error) on an
// object shell; those that pair a shell or a scene with another scene fail
// when the sizes differ. Nothing is changed when they fail.
#pragma once

#include <memory>

#include "render/normal.h"

struct Curve;
struct Curve3D;
struct Scene;
struct Shell;

// A feature of a voxel: Intensity3, Gradient3 or DistGradient3. Operations
// that take one pass it the ball of radius 1.8 (2.5 for SceneTraining) and
// its offsets for the scene it reads.
using FeatureFunction = GradientFunction;

// ---- curve look-ups (the two rules above) ----

// A transfer curve resampled at unit steps (FillCurve sorts the source by
// x in place), read at entry |trunc(f)|, the last entry past the end.
class UnitCurve {
 public:
  explicit UnitCurve(Curve *curve);
  ~UnitCurve();
  double At(double f) const;

 private:
  std::unique_ptr<Curve> filled_;
};

// opacity * factor in double, truncated toward zero and clamped to
// [0, 255]; not-a-number gives 0.
int ScaledOpacity(double opacity, double factor);

// ---- opacity from curves ----

// For each voxel labelled `object`, in row order:
// opacity := opacity * curve[|trunc(feature(scn, voxel))|]. Other voxels
// are untouched. The scene must have the shell's size.
void ClassifyObject(Shell *shell, const Scene *scn, Curve *curve, FeatureFunction feature,
                    int object);
// The same for every voxel, whatever its label.
void ClassifyShell(Shell *shell, const Scene *scn, Curve *curve, FeatureFunction feature);
// For every voxel whose scene value is non-zero: alpha := alpha * curve at
// the feature, stored in the 32-bit alpha scene. Sizes must agree.
void ClassifyScene(const Scene *scn, Scene *alpha, Curve *curve, FeatureFunction feature);
// For every voxel whose label-scene value equals `object`: alpha := alpha *
// curve at the feature of the distance scene. The alpha and label scenes
// must have the distance scene's size.
void ClassifyTDE(const Scene *dist, Scene *alpha, const Scene *labels, Curve *curve,
                 FeatureFunction feature, int object);

// Body shells. The density curve is read at |value|, the gradient curve at
// the gradient magnitude (its absolute value, should one read from a file
// be negative); a null curve is skipped. The density product comes first
// and the gradient product starts from its truncated result. A voxel whose
// opacity ends non-zero gets label 1; the others keep theirs.
//
// ClassifyBodyShell multiplies the current opacities and then sets the
// shell's object count to 1.
void ClassifyBodyShell(Shell *shell, Curve *density, Curve *gradient);
// What the classify command does: every opacity back to 255 first, then
// the same products and labels; the object count is left alone.
void ReclassifyBodyShell(Shell *shell, Curve *density, Curve *gradient);

// Every opacity := 255.
void ResetShellOpacity(Shell *shell);
// Every label := 0.
void ResetShellLabel(Shell *shell);

// ---- labels ----

// Body shells: label := the low 8 bits of trunc(curve.y[|value|]), that
// truncation held to the 16-bit range first. The curve is not resampled:
// its point index is the value (past the last point, the last point).
// Error for an empty curve.
void ClassifyLabel(Shell *shell, const Curve *curve);
// Body shells: labels the highest value levels of the histogram `hist`
// (point k counting the voxels of value k, as ShellHistogram gives it)
// whose summed counts first exceed trunc(percent / 100 * voxel count):
// label := 1 where the value lies above the level found, else 0. Level 0 is
// never summed; when no level reaches the target, every voxel of value 0 or
// more gets 1. Opacities are untouched.
void ShellAutoLabel(Shell *shell, const Curve *hist, double percent);
// Every voxel that is non-zero in lscn gets `label` in scn, at the same
// address. Error when the sizes differ.
void RestoreLabels(Scene *scn, const Scene *lscn, int label);

// ---- training ----
//
// Training points are truncated toward zero to voxel positions; a point
// that holds no shell voxel (or lies outside the scene) contributes 0.

// Body shells: with min and max of the values at the points (min from
// 2147483647, max from 0) and d = (max - min) / 4, the trapezoid
// (min, 0), (min + d, 1), (max - d, 1), (max, 0).
std::unique_ptr<Curve> ShellTrainingIntensity(const Shell *shell, const Curve3D *points);
// Body shells: the same scan of the gradient magnitudes, giving the ramp
// (min, 0), (max, 1), (m, 1), m = GetShellMaximum(shell).
std::unique_ptr<Curve> ShellTrainingGradient(Shell *shell, const Curve3D *points);
// The feature at every point (ball of radius 2.5): (min, 0), (max, 1), with
// max from 0 and min from the scene's stored maximum.
std::unique_ptr<Curve> SceneTraining(const Scene *scn, const Curve3D *points,
                                     FeatureFunction feature);

// ---- shell builders that classify ----

// An object shell of the label band of squared width w*w (truncated) along
// every object's border. For each label 1..255 the shell holds, ascending:
// normals from Gradient3 on the object's truncated distance map, and
// opacities from DistGradient3 on that map through the curve (0, 0.5),
// (round(w*w), 1.0). Voxel sizes and maximum from the labels, object count
// from the shell.
std::unique_ptr<Shell> Object2Shell(Scene *labels, float w);
// Object2Shell of the two shells' label scenes merged (the second's labels
// shifted above the first's), with width 5. Error when the sizes differ.
std::unique_ptr<Shell> MergeShell(const Shell *shell1, const Shell *shell2);
// An opacity scene of the labels' size, 255 to start. For each label l
// from 1 to the largest: inner := the voxels of l within squared distance
// w*w (truncated) of its border; the voxels of l then get 255 times the
// curve (0, 0.5), (round(w*w), 1.0) at their squared distance from the
// border of inner, truncated at w*w (a voxel beyond reads the last entry).
// Reports each stage of each label on standard error.
std::unique_ptr<Scene> ObjectAlpha(Scene *labels, float w);
