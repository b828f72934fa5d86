// Histograms, label lists and grey-level stretches of scenes.
//
// A histogram has one point per value k = 0 .. m, m = MaximumValue3(scn)
// (which stores m in the scene), with x = k. Negative voxels fall outside
// every level and are counted nowhere; the normalised forms still divide by
// the whole voxel count. A histogram of more than 2^24 levels fails.
#pragma once

#include <memory>

#include "core/curve.h"
#include "core/scene.h"

// y(k) = number of voxels of value k.
std::unique_ptr<Curve> Histogram3(Scene *scn);
// y(k) = count(k) / voxel count.
std::unique_ptr<Curve> NormHistogram3(Scene *scn);
// y(k) = number of voxels of value 0 .. k.
std::unique_ptr<Curve> AccHistogram3(Scene *scn);
// y(k) = AccHistogram3 / voxel count.
std::unique_ptr<Curve> NormAccHistogram3(Scene *scn);

// One point per value k = 1 .. m present in the scene, increasing, with
// x = k and y = its count; 0 is never listed.
std::unique_ptr<Curve> SceneLabels(Scene *scn);

// T(v) = exp(-(v - mean)^2 / (2 stdev^2)) * m, the exponent formed in single
// precision and T kept in single precision; each voxel becomes trunc(T(v)).
std::unique_ptr<Scene> GaussStretch3(Scene *scn, float mean, float stdev);

// g1 below f1, g2 above f2 (and everywhere from f1 on when f1 = f2),
// trunc(a (v - f1) + g1) between, a = (g2 - g1) / (f2 - f1).
std::unique_ptr<Scene> LinearStretch3(const Scene *scn, int f1, int f2, int g1, int g2);
