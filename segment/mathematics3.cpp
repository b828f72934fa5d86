#include "segment/mathematics3.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "core/common.h"

#include "segment/voxelwise3.h"

namespace {

// The arithmetic is in 32 bits and wraps on overflow, as it always has;
// each operation counts the voxels whose exact value did not fit, and a
// scene with any is reported (Warning), so that a wrap is never silent.
// The exact values come from 64-bit arithmetic, where no two ints overflow.
struct Wrapping {
  long long overflows = 0;
  int Fit(long long exact) {
    const int wrapped = static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(exact)));
    overflows += wrapped != exact;
    return wrapped;
  }
  void Report(const char *func) const {
    if (overflows == 0) return;
    Warning((std::to_string(overflows) + " voxels overflow 32 bits and wrap").c_str(), func);
  }
};

// out(p) = op(a(p), b(p)) into a fresh scene of unit voxel sizes.
template <class Op>
std::unique_ptr<Scene> Combine(const Scene *a, const Scene *b, const char *func, Op op) {
  CheckSameSize3(a, b, func);
  std::unique_ptr<Scene> out = CreateScene(a->xsize, a->ysize, a->zsize);
  const int n = a->VoxelCount();
  Wrapping w;
  for (int p = 0; p < n; p++) out->data[p] = op(w, a->data[p], b->data[p]);
  w.Report(func);
  return out;
}

}  // namespace

std::unique_ptr<Scene> Diff3(const Scene *scn1, const Scene *scn2) {
  return Combine(scn1, scn2, "Diff3", [](Wrapping &w, int a, int b) {
    return std::max(w.Fit(static_cast<long long>(a) - b), 0);
  });
}

std::unique_ptr<Scene> Sum3(const Scene *scn1, const Scene *scn2) {
  return Combine(scn1, scn2, "Sum3",
                 [](Wrapping &w, int a, int b) { return w.Fit(static_cast<long long>(a) + b); });
}

std::unique_ptr<Scene> Max3(const Scene *scn1, const Scene *scn2) {
  return Combine(scn1, scn2, "Max3", [](Wrapping &, int a, int b) { return std::max(a, b); });
}

std::unique_ptr<Scene> Mult3(const Scene *scn1, const Scene *scn2) {
  CheckSameSize3(scn1, scn2, "Mult3");
  std::unique_ptr<Scene> out = CopyScene(scn1);
  const int n = out->VoxelCount();
  Wrapping w;
  for (int p = 0; p < n; p++) out->data[p] = w.Fit(static_cast<long long>(out->data[p]) * scn2->data[p]);
  w.Report("Mult3");
  return out;
}

std::unique_ptr<Scene> Complement3(Scene *scn) {
  const int m = MaximumValue3(scn);
  std::unique_ptr<Scene> out = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  const int n = scn->VoxelCount();
  Wrapping w;
  for (int p = 0; p < n; p++) out->data[p] = w.Fit(static_cast<long long>(m) - scn->data[p]);
  w.Report("Complement3");
  return out;
}

std::unique_ptr<Scene> SQRT3(const Scene *scn) {
  std::unique_ptr<Scene> out = CopyScene(scn);
  for (int &v : out->data) v = v > 0 ? static_cast<int>(std::sqrt(static_cast<double>(v))) : 0;
  return out;
}

std::unique_ptr<Scene> Add3(const Scene *scn, int value) {
  std::unique_ptr<Scene> out = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  const int n = scn->VoxelCount();
  Wrapping w;
  for (int p = 0; p < n; p++) out->data[p] = w.Fit(static_cast<long long>(scn->data[p]) + value);
  w.Report("Add3");
  return out;
}
