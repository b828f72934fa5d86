#include "segment/mathematics3.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "segment/voxelwise3.h"

namespace {

// Two's-complement wrap-around without signed overflow.
int WrapAdd(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int WrapSub(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
int WrapMul(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// out(p) = op(a(p), b(p)) into a fresh scene of unit voxel sizes.
template <class Op>
std::unique_ptr<Scene> Combine(const Scene *a, const Scene *b, const char *func, Op op) {
  CheckSameSize3(a, b, func);
  std::unique_ptr<Scene> out = CreateScene(a->xsize, a->ysize, a->zsize);
  const int n = a->VoxelCount();
  for (int p = 0; p < n; p++) out->data[p] = op(a->data[p], b->data[p]);
  return out;
}

}  // namespace

std::unique_ptr<Scene> Diff3(const Scene *scn1, const Scene *scn2) {
  return Combine(scn1, scn2, "Diff3", [](int a, int b) { return std::max(WrapSub(a, b), 0); });
}

std::unique_ptr<Scene> Sum3(const Scene *scn1, const Scene *scn2) {
  return Combine(scn1, scn2, "Sum3", WrapAdd);
}

std::unique_ptr<Scene> Max3(const Scene *scn1, const Scene *scn2) {
  return Combine(scn1, scn2, "Max3", [](int a, int b) { return std::max(a, b); });
}

std::unique_ptr<Scene> Mult3(const Scene *scn1, const Scene *scn2) {
  CheckSameSize3(scn1, scn2, "Mult3");
  std::unique_ptr<Scene> out = CopyScene(scn1);
  const int n = out->VoxelCount();
  for (int p = 0; p < n; p++) out->data[p] = WrapMul(out->data[p], scn2->data[p]);
  return out;
}

std::unique_ptr<Scene> Complement3(Scene *scn) {
  const int m = MaximumValue3(scn);
  std::unique_ptr<Scene> out = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  const int n = scn->VoxelCount();
  for (int p = 0; p < n; p++) out->data[p] = WrapSub(m, scn->data[p]);
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
  for (int p = 0; p < n; p++) out->data[p] = WrapAdd(scn->data[p], value);
  return out;
}
