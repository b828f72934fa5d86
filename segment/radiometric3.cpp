#include "segment/radiometric3.h"

#include <cmath>
#include <string>
#include <vector>

#include "core/common.h"
#include "segment/voxelwise3.h"

namespace {

const int kMaxHistogramLevels = 1 << 24;

// Counts of the values 0 .. MaximumValue3(scn).
std::vector<long long> CountLevels(Scene *scn, const char *func) {
  int m = MaximumValue3(scn);
  if (m >= kMaxHistogramLevels)
    Error("A histogram of " + std::to_string(static_cast<long long>(m) + 1) +
              " levels is too large",
          func);
  std::vector<long long> count(static_cast<size_t>(m) + 1, 0);
  for (int v : scn->data)
    if (v >= 0) count[v]++;
  return count;
}

// The curve x = k, y = values[k] / divisor.
std::unique_ptr<Curve> LevelCurve(const std::vector<long long> &values, double divisor) {
  std::unique_ptr<Curve> curve = CreateCurve(static_cast<int>(values.size()));
  for (size_t k = 0; k < values.size(); k++) {
    curve->X[k] = static_cast<double>(k);
    curve->Y[k] = static_cast<double>(values[k]) / divisor;
  }
  return curve;
}

std::vector<long long> Accumulate(std::vector<long long> count) {
  for (size_t k = 1; k < count.size(); k++) count[k] += count[k - 1];
  return count;
}

}  // namespace

std::unique_ptr<Curve> Histogram3(Scene *scn) {
  return LevelCurve(CountLevels(scn, "Histogram3"), 1.0);
}

std::unique_ptr<Curve> NormHistogram3(Scene *scn) {
  return LevelCurve(CountLevels(scn, "NormHistogram3"), scn->VoxelCount());
}

std::unique_ptr<Curve> AccHistogram3(Scene *scn) {
  return LevelCurve(Accumulate(CountLevels(scn, "AccHistogram3")), 1.0);
}

std::unique_ptr<Curve> NormAccHistogram3(Scene *scn) {
  return LevelCurve(Accumulate(CountLevels(scn, "NormAccHistogram3")), scn->VoxelCount());
}

std::unique_ptr<Curve> SceneLabels(Scene *scn) {
  std::vector<long long> count = CountLevels(scn, "SceneLabels");
  int present = 0;
  for (size_t k = 1; k < count.size(); k++)
    if (count[k] > 0) present++;
  std::unique_ptr<Curve> labels = CreateCurve(present);
  int i = 0;
  for (size_t k = 1; k < count.size(); k++) {
    if (count[k] == 0) continue;
    labels->X[i] = static_cast<double>(k);
    labels->Y[i] = static_cast<double>(count[k]);
    i++;
  }
  return labels;
}

// The table of T covers the values 0 .. m up to the histogram bound; other
// values (negative ones, or beyond a huge m) get the same expression
// evaluated on the spot, so the result does not depend on the table.
std::unique_ptr<Scene> GaussStretch3(Scene *scn, float mean, float stdev) {
  const int m = MaximumValue3(scn);
  const float twoVar = 2.0f * stdev * stdev;
  auto T = [&](int v) -> float {
    float d = static_cast<float>(v) - mean;
    float exponent = -(d * d) / twoVar;  // single precision, as the table is defined
    return static_cast<float>(std::exp(static_cast<double>(exponent)) * m);
  };
  const int tableSize = m < kMaxHistogramLevels ? m + 1 : kMaxHistogramLevels;
  std::vector<float> table(tableSize);
  for (int i = 0; i < tableSize; i++) table[i] = T(i);
  std::unique_ptr<Scene> out = CreateSceneLike3(scn);
  const int n = scn->VoxelCount();
  for (int p = 0; p < n; p++) {
    int v = scn->data[p];
    float t = (v >= 0 && v < tableSize) ? table[v] : T(v);
    out->data[p] = TruncToInt(t);
  }
  return out;
}

std::unique_ptr<Scene> LinearStretch3(const Scene *scn, int f1, int f2, int g1, int g2) {
  // f1 = f2 is marked by a slope of exactly 2^31, and any slope equal to
  // the marker (g2 - g1 = 2^31 over one level) is read as the step too.
  // The slope is formed in double.
  const double kStep = 2147483648.0;
  const double a =
      f1 == f2 ? kStep : (static_cast<double>(g2) - g1) / (static_cast<double>(f2) - f1);
  const bool step = (a == kStep);
  std::unique_ptr<Scene> out = CreateSceneLike3(scn);
  const int n = scn->VoxelCount();
  for (int p = 0; p < n; p++) {
    int v = scn->data[p];
    if (v < f1)
      out->data[p] = g1;
    else if (v > f2 || step)
      out->data[p] = g2;
    else
      out->data[p] = TruncToInt(a * (static_cast<double>(v) - f1) + g1);
  }
  return out;
}
