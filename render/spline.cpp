#include "render/spline.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/algebra.h"
#include "core/common.h"
#include "core/plane.h"
#include "core/scene.h"
#include "render/reslicing.h"

// Dense samples per segment between two control points.
static constexpr int kSamplesPerSegment = 32;

std::unique_ptr<Spline> CreateSpline(const Scene *scn) {
  auto s = std::make_unique<Spline>();
  s->dx = scn->dx, s->dy = scn->dy, s->dz = scn->dz;
  return s;
}

void DestroySpline(std::unique_ptr<Spline> *spline) { spline->reset(); }

void AddSplinePoint(Spline *spline, float u, float v) {
  if (static_cast<int>(spline->u.size()) >= kSplineMaxPoints)
    Error("A spline holds at most " + std::to_string(kSplineMaxPoints) + " control points",
          "AddSplinePoint");
  if (!std::isfinite(u) || !std::isfinite(v))
    Error("A control point must have finite coordinates", "AddSplinePoint");
  spline->u.push_back(u);
  spline->v.push_back(v);
}

// Catmull-Rom between p1 and p2 with neighbours p0 and p3, at s in [0, 1].
static double CatmullRom(double p0, double p1, double p2, double p3, double s) {
  return 0.5 * (2.0 * p1 + (p2 - p0) * s + (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3) * s * s +
                (3.0 * p1 - p0 - 3.0 * p2 + p3) * s * s * s);
}

void Compute3DSpline(Spline *spline, const Plane *pl) {
  const int n = static_cast<int>(spline->u.size());
  if (n < 2) Error("A spline needs at least two control points", "Compute3DSpline");
  float M[4][4];
  PlaneRotation(pl, M);
  const double c[3] = {pl->px, pl->py, pl->pz};
  auto at = [&](int i) {
    const int k = std::clamp(i, 0, n - 1);
    return std::array<double, 2>{spline->u[k], spline->v[k]};
  };
  spline->curve.clear();
  spline->arc.clear();
  for (int seg = 0; seg + 1 < n; seg++) {
    const auto p0 = at(seg - 1), p1 = at(seg), p2 = at(seg + 1), p3 = at(seg + 2);
    for (int k = seg == 0 ? 0 : 1; k <= kSamplesPerSegment; k++) {
      const double s = static_cast<double>(k) / kSamplesPerSegment;
      const double a = CatmullRom(p0[0], p1[0], p2[0], p3[0], s);
      const double b = CatmullRom(p0[1], p1[1], p2[1], p3[1], s);
      std::array<double, 3> q;
      for (int r = 0; r < 3; r++) q[r] = M[r][0] * a + M[r][1] * b + c[r];
      double length = 0.0;
      if (!spline->curve.empty()) {
        const auto &prev = spline->curve.back();
        const double ex = (q[0] - prev[0]) * spline->dx, ey = (q[1] - prev[1]) * spline->dy,
                     ez = (q[2] - prev[2]) * spline->dz;
        length = spline->arc.back() + std::sqrt(ex * ex + ey * ey + ez * ez);
      }
      spline->curve.push_back(q);
      spline->arc.push_back(length);
    }
  }
}

double LengthSpline(const Spline *spline) { return spline->arc.empty() ? 0.0 : spline->arc.back(); }

// The dense segment holding the fraction t of the length, and the position
// along it.
static void Locate(const Spline *spline, double t, size_t *i, double *f) {
  const double target = std::clamp(t, 0.0, 1.0) * LengthSpline(spline);
  const auto it = std::lower_bound(spline->arc.begin(), spline->arc.end(), target);
  size_t k = static_cast<size_t>(it - spline->arc.begin());
  k = std::clamp<size_t>(k, 1, spline->arc.size() - 1);
  const double span = spline->arc[k] - spline->arc[k - 1];
  *i = k - 1;
  *f = span > 0.0 ? std::clamp((target - spline->arc[k - 1]) / span, 0.0, 1.0) : 0.0;
}

void CalculateVoxel(const Spline *spline, double t, float p[3]) {
  if (spline->curve.size() < 2) Error("The spline is not mapped onto a plane", "CalculateVoxel");
  size_t i;
  double f;
  Locate(spline, t, &i, &f);
  for (int r = 0; r < 3; r++)
    p[r] = static_cast<float>(spline->curve[i][r] + f * (spline->curve[i + 1][r] - spline->curve[i][r]));
}

std::unique_ptr<Spline> TranslateSpline(const Spline *spline, float d) {
  auto copy = std::make_unique<Spline>();
  copy->dx = spline->dx, copy->dy = spline->dy, copy->dz = spline->dz;
  const int n = static_cast<int>(spline->u.size());
  for (int i = 0; i < n; i++) {
    double nu = 0.0, nv = 0.0;
    for (int j : {i - 1, i}) {  // the segments (j, j + 1) that meet at i
      if (j < 0 || j + 1 >= n) continue;
      const double tu = spline->u[j + 1] - spline->u[j], tv = spline->v[j + 1] - spline->v[j];
      const double len = std::sqrt(tu * tu + tv * tv);
      if (len > 0.0) nu += -tv / len, nv += tu / len;
    }
    const double len = std::sqrt(nu * nu + nv * nv);
    const double mu = len > 0.0 ? nu / len : 0.0, mv = len > 0.0 ? nv / len : 0.0;
    copy->u.push_back(static_cast<float>(spline->u[i] + d * mu));
    copy->v.push_back(static_cast<float>(spline->v[i] + d * mv));
  }
  return copy;
}

std::unique_ptr<Plane> NormalPlane(const Spline *spline, double t) {
  if (spline->curve.size() < 2) Error("The spline is not mapped onto a plane", "NormalPlane");
  size_t i;
  double f;
  Locate(spline, t, &i, &f);
  (void)f;
  auto pl = std::make_unique<Plane>();
  float p[3];
  CalculateVoxel(spline, t, p);
  pl->px = p[0], pl->py = p[1], pl->pz = p[2];
  // The direction of the dense segment at t, widened around it while its
  // ends coincide.
  const size_t last = spline->curve.size() - 1;
  double dir[3] = {0, 0, 0}, len = 0.0;
  for (size_t r = 0; len == 0.0; r++) {
    const size_t a = i >= r ? i - r : 0, b = std::min(i + 1 + r, last);
    for (int k = 0; k < 3; k++) dir[k] = spline->curve[b][k] - spline->curve[a][k];
    len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    if (a == 0 && b == last) break;
  }
  if (len == 0.0) Error("The spline has no direction (all its points coincide)", "NormalPlane");
  pl->nx = static_cast<float>(dir[0] / len);
  pl->ny = static_cast<float>(dir[1] / len);
  pl->nz = static_cast<float>(dir[2] / len);
  pl->sx = pl->sy = pl->sz = 1.0f;
  IdentityMatrix(pl->rotation);
  return pl;
}
