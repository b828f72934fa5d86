#include "render/normal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "core/adjacency3.h"
#include "core/common.h"
#include "core/geometry.h"
#include "core/progress.h"
#include "core/scene.h"
#include "render/shell.h"
#include "segment/analysis3.h"

// The value of pi the quantisation is defined with (slightly above pi, so
// that right angles truncate to 89 degrees).
static constexpr double kPi = 3.1415926536;

std::unique_ptr<NormalTable> CreateNormalTable() {
  std::unique_ptr<NormalTable> table;
  try {
    table = std::make_unique<NormalTable>();
    table->entry.assign(kNormalTableEntries, NormalVector{0.0f, 0.0f, 0.0f});
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreateNormalTable");
  }
  // The angles are rounded to single precision before the sine and cosine
  // are taken; the products are computed in double and stored as floats.
  int i = 1;
  for (int e = -90; e <= 90; e++) {
    double er = static_cast<float>(e * kPi / 180.0);
    double ce = cos(er), se = sin(er);
    for (int a = 0; a < 360; a++, i++) {
      double ar = static_cast<float>(a * kPi / 180.0);
      table->entry[i] = NormalVector{static_cast<float>(ce * cos(ar)),
                                     static_cast<float>(ce * sin(ar)), static_cast<float>(se)};
    }
  }
  return table;
}

void DestroyNormalTable(std::unique_ptr<NormalTable> *table) {
  if (table != nullptr) table->reset();
}

unsigned short GetNormalIndex(const float v[3]) {
  if (v[0] == 0.0f && v[1] == 0.0f && v[2] == 0.0f) return 0;
  if (std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2])) return 0;
  // A normalised component may exceed 1 by rounding; asin needs [-1, 1].
  double vz = v[2] > 1.0f ? 1.0 : (v[2] < -1.0f ? -1.0 : v[2]);
  int e = static_cast<int>(asin(vz) * 180.0 / kPi);
  int a = static_cast<int>(atan2(static_cast<double>(v[1]), static_cast<double>(v[0])) * 180.0 / kPi);
  if (a < 0) a += 360;
  return static_cast<unsigned short>((a + e * 360 + 32401) % 65536);
}

// ---- estimators ----

namespace {

// Whether every neighbour of (x, y, z) by A lies inside the scene: the
// interior takes the path without per-neighbour tests.
bool NeighboursInside(const Scene *scn, int x, int y, int z, int reach) {
  return x >= reach && y >= reach && z >= reach && x < scn->xsize - reach &&
         y < scn->ysize - reach && z < scn->zsize - reach;
}

// g += d / offset as a single-precision division and sum.
inline void AddTerm(float &g, float d, int offset) {
  if (offset != 0) g += d / static_cast<float>(offset);
}

inline void Accumulate(float g[3], float d, const AdjRel3 *A, int i) {
  AddTerm(g[0], d, A->dx[i]);
  AddTerm(g[1], d, A->dy[i]);
  AddTerm(g[2], d, A->dz[i]);
}

// Division by +-1 and +-2 is exact, so for relations that reach no farther
// a multiplication by these weights gives the same bits without a branch
// (adding d * 0 leaves a sum unchanged, and sums never become -0).
constexpr float kStepWeight[5] = {-0.5f, -1.0f, 0.0f, 1.0f, 0.5f};

inline void AccumulateNear(float g[3], float d, const AdjRel3 *A, int i) {
  g[0] += d * kStepWeight[A->dx[i] + 2];
  g[1] += d * kStepWeight[A->dy[i] + 2];
  g[2] += d * kStepWeight[A->dz[i] + 2];
}

double Magnitude(const float g[3], int n) {
  double m = sqrt(static_cast<double>(g[0]) * g[0] + static_cast<double>(g[1]) * g[1] +
                  static_cast<double>(g[2]) * g[2]);
  return static_cast<float>(m / n);
}

}  // namespace

// The estimators with the relation's reach (FrameSize3) given: the setters
// compute it once per call instead of once per voxel.
//
// With `exact`, the caller has found that every partial sum of the
// single-precision accumulation is a multiple of 0.5 below 2^23 (the
// relation reaches at most 2 and n times the largest difference stays below
// 2^23): those sums are exact in a float, so summing the doubled terms in
// integers and halving gives the same bits as the sequential float sums,
// without their chain of dependent additions.
constexpr long long kTwiceStepWeight[5] = {-1, -2, 0, 2, 1};

static double GradientWithReach(const Scene *scn, int x, int y, int z, float g[3],
                                const AdjRel3 *A, const AdjVxl *offsets, int reach,
                                bool exact = false) {
  g[0] = g[1] = g[2] = 0.0f;
  const int p = scn->Address(x, y, z);
  const int *data = scn->data.data();
  const long long vp = data[p];
  const int n = offsets->n;
  const bool inside = NeighboursInside(scn, x, y, z, reach);
  if (exact) {
    const int *ax = A->dx.data(), *ay = A->dy.data(), *az = A->dz.data();
    const int *dp = offsets->dp.data();
    const int *q = data + p;
    long long s0 = 0, s1 = 0, s2 = 0;
    if (inside) {
      for (int i = 0; i < n; i++) {
        long long d = vp - q[dp[i]];
        s0 += d * kTwiceStepWeight[ax[i] + 2];
        s1 += d * kTwiceStepWeight[ay[i] + 2];
        s2 += d * kTwiceStepWeight[az[i] + 2];
      }
    } else {
      for (int i = 0; i < n; i++) {
        long long d = vp;
        if (scn->Valid(x + ax[i], y + ay[i], z + az[i])) d -= q[dp[i]];
        s0 += d * kTwiceStepWeight[ax[i] + 2];
        s1 += d * kTwiceStepWeight[ay[i] + 2];
        s2 += d * kTwiceStepWeight[az[i] + 2];
      }
    }
    g[0] = static_cast<float>(s0 * 0.5);
    g[1] = static_cast<float>(s1 * 0.5);
    g[2] = static_cast<float>(s2 * 0.5);
  } else if (reach <= 2 && inside) {
    for (int i = 0; i < n; i++) {
      AccumulateNear(g, static_cast<float>(vp - data[p + offsets->dp[i]]), A, i);
    }
  } else {
    for (int i = 0; i < n; i++) {
      long long d = vp;
      if (inside || scn->Valid(x + A->dx[i], y + A->dy[i], z + A->dz[i])) {
        d -= data[p + offsets->dp[i]];
      }
      Accumulate(g, static_cast<float>(d), A, i);
    }
  }
  return Magnitude(g, n);
}

static double DistGradientWithReach(const Scene *dist, int x, int y, int z, float g[3],
                                    const AdjRel3 *A, const AdjVxl *offsets, int reach) {
  g[0] = g[1] = g[2] = 0.0f;
  const int p = dist->Address(x, y, z);
  const double sp = sqrt(static_cast<double>(dist->data[p]));
  const int n = offsets->n;
  const bool inside = NeighboursInside(dist, x, y, z, reach);
  for (int i = 0; i < n; i++) {
    double d = sp;
    if (inside || dist->Valid(x + A->dx[i], y + A->dy[i], z + A->dz[i])) {
      const int dq = dist->data[p + offsets->dp[i]];
      // A neighbour across the surface stores its distance negated.
      d = dq >= 0 ? sp - sqrt(static_cast<double>(dq)) : sqrt(-static_cast<double>(dq)) + sp;
    }
    if (reach <= 2) {
      AccumulateNear(g, static_cast<float>(d), A, i);
    } else {
      Accumulate(g, static_cast<float>(d), A, i);
    }
  }
  return Magnitude(g, n);
}

double Gradient3(const Scene *scn, int x, int y, int z, float g[3], const AdjRel3 *A,
                 const AdjVxl *offsets) {
  return GradientWithReach(scn, x, y, z, g, A, offsets, FrameSize3(A));
}

double DistGradient3(const Scene *dist, int x, int y, int z, float g[3], const AdjRel3 *A,
                     const AdjVxl *offsets) {
  return DistGradientWithReach(dist, x, y, z, g, A, offsets, FrameSize3(A));
}

double Intensity3(const Scene *scn, int x, int y, int z, float *, const AdjRel3 *,
                  const AdjVxl *) {
  return scn->data[scn->Address(x, y, z)];
}

// ---- normal assignment ----

namespace {

// Visits the voxels in row order; `label` < 0 visits all of them. With a
// body, the truncated magnitude becomes the voxel's gradient; it is kept
// within 0..32767, the range of the stored field.
void AssignNormals(Shell *shell, const Scene *scn, GradientFunction gradient, float radius,
                   int label, bool storeMagnitude) {
  const ShellChange change(shell);
  std::unique_ptr<AdjRel3> A = Spheric(radius);
  std::unique_ptr<AdjVxl> offsets = AdjVoxels(scn, A.get());
  const int reach = FrameSize3(A.get());
  bool exact = false;
  if (gradient == Gradient3 && reach <= 2 && !scn->data.empty()) {
    auto [lo, hi] = std::minmax_element(scn->data.begin(), scn->data.end());
    long long largest = std::max({static_cast<long long>(*hi) - *lo, std::llabs(*hi), std::llabs(*lo)});
    exact = largest * A->n < (1LL << 23);
  }
  // The estimators of this module skip recomputing the reach per voxel.
  auto estimate = [&](int x, int y, int z, float *g) {
    if (gradient == Gradient3) {
      return GradientWithReach(scn, x, y, z, g, A.get(), offsets.get(), reach, exact);
    }
    if (gradient == DistGradient3) {
      return DistGradientWithReach(scn, x, y, z, g, A.get(), offsets.get(), reach);
    }
    return gradient(scn, x, y, z, g, A.get(), offsets.get());
  };
  float g[3];
  for (int z = 0; z < shell->zsize; z++) {
    progress::Tick();
    for (int y = 0; y < shell->ysize; y++) {
      int first, end;
      ShellRow(shell, y, z, &first, &end);
      for (int i = first; i < end; i++) {
        Voxel &v = shell->voxel[i];
        if (label >= 0 && v.label != label) continue;
        double m = estimate(v.x, y, z, g);
        VectorNormalize(g);
        v.normal = GetNormalIndex(g);
        if (storeMagnitude) {
          double t = m >= 32767.0 ? 32767.0 : (m > 0.0 ? m : 0.0);
          shell->body[i].gradient = static_cast<int16_t>(t);
        }
      }
    }
  }
}

}  // namespace

void SetShellNormal(Shell *shell, const Scene *scn, GradientFunction gradient) {
  if (IsBodyShell(shell)) {
    SetBodyShellNormal(shell, scn, gradient);
    return;
  }
  CheckShellScene(shell, scn, "SetShellNormal");
  AssignNormals(shell, scn, gradient, 2.5f, -1, false);
}

void SetBodyShellNormal(Shell *shell, const Scene *scn, GradientFunction gradient) {
  if (!IsBodyShell(shell)) Error("The shell has no body", "SetBodyShellNormal");
  CheckShellScene(shell, scn, "SetBodyShellNormal");
  AssignNormals(shell, scn, gradient, 2.5f, -1, true);
}

void SetObjectNormal(Shell *shell, const Scene *dist, GradientFunction gradient, int label) {
  CheckShellScene(shell, dist, "SetObjectNormal");
  // A label outside 0..255 matches no voxel.
  if (label < 0 || label > 255) return;
  AssignNormals(shell, dist, gradient, 2.5f, label, false);
}

void SetDistNormal(Shell *shell) {
  if ((shell->nobjects & 0xFF) == 0) return;
  std::unique_ptr<AdjRel3> A = Spheric(1.8f);
  for (int l = 1; l <= shell->nobjects && l <= 255; l++) {
    std::unique_ptr<Scene> obj = ObjectScene(shell, l);
    std::unique_ptr<Scene> dist = DistTrans3(obj.get(), A.get(), 2);
    SetObjectNormal(shell, dist.get(), DistGradient3, l);
  }
}

std::unique_ptr<Scene> NormalScene(const Scene *scn, GradientFunction gradient) {
  std::unique_ptr<Scene> out = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  std::unique_ptr<AdjRel3> A = Spheric(1.8f);
  std::unique_ptr<AdjVxl> offsets = AdjVoxels(scn, A.get());
  float g[3];
  for (int z = 0; z < scn->zsize; z++) {
    for (int y = 0; y < scn->ysize; y++) {
      for (int x = 0; x < scn->xsize; x++) {
        int p = scn->Address(x, y, z);
        if (scn->data[p] == 0) continue;
        g[0] = g[1] = g[2] = 0.0f;
        gradient(scn, x, y, z, g, A.get(), offsets.get());
        VectorNormalize(g);
        out->data[p] = GetNormalIndex(g);
      }
    }
  }
  return out;
}
