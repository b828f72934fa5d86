#include "render/raycasting.h"

#include <cmath>
#include <string>

#include "core/common.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/scene_render.h"
#include "render/shading.h"

namespace {

// Beyond this distance from the centre a position is no voxel of any
// volume the context can hold; the ray has missed.
constexpr double kFarAway = 1e8;

// Everything a ray of this context needs, formed once per rendering.
struct RayCaster {
  const int *data;
  int xsize, xysize;
  double IR[3][3];
  double d[3];  // direction, away from the viewer
  double s[3];  // d scaled to one voxel along the principal axis
  int pa;       // principal axis 0, 1, 2
  int h[3];     // the volume's integer halves
  int lo[3], hi[3];  // clip box, inclusive
  int ncols, nrows, hw, hh;

  int Index(const int q[3]) const { return q[0] + q[1] * xsize + q[2] * xysize; }
  bool InClip(const int q[3]) const {
    return q[0] >= lo[0] && q[0] <= hi[0] && q[1] >= lo[1] && q[1] <= hi[1] && q[2] >= lo[2] &&
           q[2] <= hi[2];
  }
};

int AxisIndex(char axis) { return axis == 'x' ? 0 : axis == 'y' ? 1 : 2; }

RayCaster MakeCaster(const Scene *scn, const Context *cxt) {
  RayCaster c;
  c.data = scn->data.data();
  c.xsize = scn->xsize;
  c.xysize = scn->xsize * scn->ysize;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) c.IR[i][j] = cxt->inverseRotation[i][j];
  for (int a = 0; a < 3; a++) c.d[a] = c.IR[a][2];
  c.pa = AxisIndex(cxt->paxis);
  const double scale = std::fabs(c.d[c.pa]);
  for (int a = 0; a < 3; a++) c.s[a] = scale > 0.0 ? c.d[a] / scale : 0.0;
  c.h[0] = scn->xsize / 2, c.h[1] = scn->ysize / 2, c.h[2] = scn->zsize / 2;
  c.lo[0] = cxt->xmin, c.lo[1] = cxt->ymin, c.lo[2] = cxt->zmin;
  c.hi[0] = cxt->xmax, c.hi[1] = cxt->ymax, c.hi[2] = cxt->zmax;
  c.ncols = cxt->zbuffer->ncols;
  c.nrows = cxt->zbuffer->nrows;
  c.hw = c.ncols / 2;
  c.hh = c.nrows / 2;
  return c;
}

void RayOrigin(const RayCaster &c, int u, int v, double P0[3]) {
  const double sx = static_cast<float>(u - c.hw), sy = static_cast<float>(v - c.hh),
               sz = static_cast<float>(-c.hw);
  for (int a = 0; a < 3; a++) P0[a] = c.IR[a][0] * sx + c.IR[a][1] * sy + c.IR[a][2] * sz;
}

// P := P0 + t d at the entry into the box [-h, h - 1]; false when the ray
// misses (only when parallelMisses: an axis the ray runs parallel to and
// lies outside of).
bool Enter(const RayCaster &c, const double P0[3], bool parallelMisses, double P[3]) {
  double t = 0.0;
  for (int a = 0; a < 3; a++) {
    const double lo = -c.h[a], hi = c.h[a] - 1;
    double ta = 0.0;
    if (std::fabs(c.d[a]) > 0.00001) {
      if (P0[a] < lo) ta = (lo - P0[a]) / c.d[a];
      else if (P0[a] > hi) ta = (hi - P0[a]) / c.d[a];
    } else if (parallelMisses && (P0[a] < lo || P0[a] > hi)) {
      return false;
    }
    t = a == 0 ? ta : std::max(t, ta);
  }
  for (int a = 0; a < 3; a++) {
    P[a] = P0[a] + t * c.d[a];
    if (!(std::fabs(P[a]) < kFarAway)) return false;
  }
  return true;
}

void RoundedVoxel(const RayCaster &c, const double P[3], int q[3]) {
  for (int a = 0; a < 3; a++) q[a] = RoundHalfAwayFromZero(P[a]) + c.h[a];
}

// Walks the ray from its entry; visit(q, index) is called for every voxel
// inside the clip box until it returns false or the ray leaves the box.
// Rounded: every step rounds half away from zero; otherwise the first
// rounds and the others truncate. Returns true when visit stopped it.
template <bool kRoundEveryStep, class Visit>
bool March(const RayCaster &c, double P[3], Visit &&visit) {
  int q[3];
  RoundedVoxel(c, P, q);
  for (;;) {
    if (!c.InClip(q)) return false;
    if (!visit(q, c.Index(q))) return true;
    for (int a = 0; a < 3; a++) P[a] += c.s[a];
    if (kRoundEveryStep) {
      RoundedVoxel(c, P, q);
    } else {
      for (int a = 0; a < 3; a++) q[a] = SaturatedTrunc(P[a]) + c.h[a];
    }
  }
}

float DistanceToVoxel(const RayCaster &c, const double P0[3], const int q[3]) {
  double sum = 0.0;
  for (int a = 0; a < 3; a++) {
    const double e = (q[a] - c.h[a]) - P0[a];
    sum += e * e;
  }
  return static_cast<float>(std::sqrt(sum));
}

void ClearPixel(ZBuffer *zb, int p) {
  zb->object[p] = 0;
  zb->voxel[p] = -1;
  zb->dist[p] = static_cast<float>(zb->ncols);
}

void RecordHit(ZBuffer *zb, int p, const RayCaster &c, int index, float dist) {
  zb->dist[p] = dist;
  zb->voxel[p] = index;
  zb->object[p] = static_cast<unsigned char>(c.data[index] & 0xFF);
}

// Fills the context's z-buffer with the first non-zero voxel of every ray.
void FirstHits(const Scene *scn, Context *cxt) {
  const RayCaster c = MakeCaster(scn, cxt);
  ZBuffer *zb = cxt->zbuffer.get();
  ParallelRows(c.nrows, [&](int first, int end) {
    for (int v = first; v < end; v++) {
      for (int u = 0; u < c.ncols; u++) {
        const int p = u + zb->tbrow[v];
        ClearPixel(zb, p);
        double P0[3], P[3];
        RayOrigin(c, u, v, P0);
        if (!Enter(c, P0, true, P)) continue;
        int hit[3], index = -1;
        const bool found = March<false>(c, P, [&](const int q[3], int i) {
          if (c.data[i] == 0) return true;
          hit[0] = q[0], hit[1] = q[1], hit[2] = q[2];
          index = i;
          return false;
        });
        if (found) RecordHit(zb, p, c, index, DistanceToVoxel(c, P0, hit));
      }
    }
  });
}

void CheckNormalScene(const Scene *scn, const Scene *nscn, const char *func) {
  CheckSameScene(scn, nscn, "normal scene", func);
}

}  // namespace

std::unique_ptr<Image> RaycastScene(const Scene *scn, Context *cxt) {
  CheckSceneContext(scn, cxt, "RaycastScene");
  FirstHits(scn, cxt);
  return PhongShading(cxt);
}

std::unique_ptr<Image> RaycastGrayScene(const Scene *scn, Context *cxt, const Scene *nscn) {
  CheckSceneContext(scn, cxt, "RaycastGrayScene");
  CheckNormalScene(scn, nscn, "RaycastGrayScene");
  FirstHits(scn, cxt);
  return PhongShadingScene(cxt, nscn);
}

std::unique_ptr<Image> BRaycastScene(const Scene *scn, Context *cxt) {
  CheckSceneContext(scn, cxt, "BRaycastScene");
  const RayCaster c = MakeCaster(scn, cxt);
  ZBuffer *zb = cxt->zbuffer.get();
  // The integer line: per axis the slope numerator and the step sign.
  long long D[3];
  int sign[3];
  for (int a = 0; a < 3; a++) {
    D[a] = std::llround(std::clamp(10.0 * c.ncols * c.d[a], -1e15, 1e15));
    sign[a] = c.d[a] < 0.0 ? -1 : 1;
  }
  const long long Dp = std::llabs(D[c.pa]);
  ParallelRows(c.nrows, [&](int first, int end) {
    for (int v = first; v < end; v++) {
      for (int u = 0; u < c.ncols; u++) {
        const int p = u + zb->tbrow[v];
        ClearPixel(zb, p);
        double P0[3], P[3];
        RayOrigin(c, u, v, P0);
        if (!Enter(c, P0, false, P)) continue;
        int q[3];
        RoundedVoxel(c, P, q);
        long long e[3] = {-Dp, -Dp, -Dp};
        for (;;) {
          for (int a = 0; a < 3; a++)
            if (a != c.pa) e[a] += 2 * std::llabs(D[a]);
          if (!c.InClip(q)) break;
          const int index = c.Index(q);
          if (c.data[index] != 0) {
            RecordHit(zb, p, c, index, DistanceToVoxel(c, P0, q));
            break;
          }
          q[c.pa] += sign[c.pa];
          for (int a = 0; a < 3; a++) {
            if (a != c.pa && e[a] > 0) {
              q[a] += sign[a];
              e[a] -= 2 * Dp;
            }
          }
        }
      }
    }
  });
  return PhongShading(cxt);
}

std::unique_ptr<Image> SWRaycastScene(const Scene *scn, Context *cxt) {
  const char *func = "SWRaycastScene";
  CheckSceneContext(scn, cxt, func);
  const RayCaster c = MakeCaster(scn, cxt);
  // The in-slice axes (i, j) of each principal axis.
  const int ia = c.pa == 2 ? 0 : c.pa == 0 ? 1 : 2;
  const int ja = c.pa == 2 ? 1 : c.pa == 0 ? 2 : 0;
  const int size[3] = {scn->xsize, scn->ysize, scn->zsize};
  const int nk = size[c.pa];
  if (static_cast<int>(cxt->uOffset.size()) != nk || static_cast<int>(cxt->vOffset.size()) != nk ||
      static_cast<int>(cxt->negUOffset.size()) != nk ||
      static_cast<int>(cxt->negVOffset.size()) != nk) {
    Error("The context's slice offsets do not match its principal axis", func);
  }
  const bool runOk = (cxt->dk == 1 && cxt->ki >= 0 && cxt->kf <= nk && cxt->ki <= cxt->kf) ||
                     (cxt->dk == -1 && cxt->ki < nk && cxt->kf >= -1 && cxt->ki >= cxt->kf);
  if (!runOk) Error("The context's slice traversal leaves the volume", func);
  const double SH[2][2] = {{cxt->shear[0][0], cxt->shear[0][1]},
                           {cxt->shear[1][0], cxt->shear[1][1]}};
  const double au = nk > 0 ? std::fabs(cxt->negUOffset[0]) : 0.0;
  const double av = nk > 0 ? std::fabs(cxt->negVOffset[0]) : 0.0;
  const SceneProjection proj = MakeProjection(cxt, c.ncols, c.nrows / 2);
  ZBuffer *zb = cxt->zbuffer.get();
  ParallelRows(c.nrows, [&](int first, int end) {
    for (int v = first; v < end; v++) {
      for (int u = 0; u < c.ncols; u++) {
        const int p = u + zb->tbrow[v];
        ClearPixel(zb, p);
        const double du = u - c.hw, dv = v - c.hh;
        const double i0 = du * SH[0][0] + dv * SH[0][1] + c.h[ia];
        const double j0 = du * SH[1][0] + dv * SH[1][1] + c.h[ja];
        // [min, max) of the clip box on both in-slice axes.
        if (i0 + au < c.lo[ia] || i0 - au >= c.hi[ia] || j0 + av < c.lo[ja] ||
            j0 - av >= c.hi[ja])
          continue;
        for (int k = cxt->ki; k != cxt->kf; k += cxt->dk) {
          const int i = RoundHalfAwayFromZero(i0 - cxt->uOffset[k]);
          const int j = RoundHalfAwayFromZero(j0 - cxt->vOffset[k]);
          if (i < c.lo[ia] || i >= c.hi[ia] || j < c.lo[ja] || j >= c.hi[ja]) continue;
          int q[3];
          q[ia] = i, q[ja] = j, q[c.pa] = k;
          const int index = c.Index(q);
          if (c.data[index] == 0) continue;
          const double depth = proj.Depth(q[0] - c.h[0], q[1] - c.h[1], q[2] - c.h[2]);
          RecordHit(zb, p, c, index, static_cast<float>(depth));
          break;
        }
      }
    }
  });
  return PhongShading(cxt);
}

std::unique_ptr<Image> MIPScene(const Scene *scn, Context *cxt) {
  CheckSceneContext(scn, cxt, "MIPScene");
  const RayCaster c = MakeCaster(scn, cxt);
  auto img = CreateImage(c.ncols, c.nrows);
  ParallelRows(c.nrows, [&](int first, int end) {
    for (int v = first; v < end; v++) {
      int *out = img->val.data() + img->tbrow[v];
      for (int u = 0; u < c.ncols; u++) {
        double P0[3], P[3];
        RayOrigin(c, u, v, P0);
        if (!Enter(c, P0, true, P)) continue;
        int best = 0;
        March<true>(c, P, [&](const int *, int i) {
          best = std::max(best, c.data[i]);
          return true;
        });
        out[u] = best;
      }
    }
  });
  return img;
}

namespace {

// The checks and tables of the two compositing ray tracers.
struct Compositing {
  const int *alpha, *normal;
  const float *table;
  int entries;
  float opacity[256];  // i / 255 in single precision
  double viewer[3];
  double diff, spec, amb;
  int ns;
  double isize;
};

Compositing PrepareCompositing(const Scene *scn, const Scene *alpha, const Scene *normal,
                               const std::vector<float> &table, const Context *cxt,
                               const char *func) {
  CheckSceneContext(scn, cxt, func);
  CheckSameScene(scn, alpha, "opacity scene", func);
  CheckSameScene(scn, normal, "normal scene", func);
  if (table.size() % 3 != 0 || table.empty())
    Error("The normal table holds " + std::to_string(table.size()) +
              " numbers, not three per normal index",
          func);
  Compositing k;
  k.alpha = alpha->data.data();
  k.normal = normal->data.data();
  k.table = table.data();
  k.entries = static_cast<int>(table.size() / 3);
  const int n = scn->VoxelCount();
  for (int i = 0; i < n; i++) {
    if (k.alpha[i] == 0 || scn->data[i] == 0) continue;
    if (k.normal[i] < 0 || k.normal[i] >= k.entries)
      Error("Normal index " + std::to_string(k.normal[i]) + " of voxel " + std::to_string(i) +
                " is outside the table of " + std::to_string(k.entries) + " normals",
            func);
  }
  for (int i = 0; i < 256; i++) k.opacity[i] = static_cast<float>(i / 255.0);
  for (int a = 0; a < 3; a++) k.viewer[a] = cxt->viewer[a];
  const ObjectAppearance &o = cxt->object[0];
  k.diff = o.diff, k.spec = o.spec, k.amb = o.amb, k.ns = o.ns;
  k.isize = cxt->isize;
  return k;
}

// Walks every ray of the context front to back; at each voxel that counts
// (alpha and value non-zero, c > 0) calls add(p, shade, value, T,
// opacity) and then lowers the transparency T of the pixel. absCosine: c =
// |N . viewer| instead of N . viewer.
template <class Add>
void Composite(const Scene *scn, const Context *cxt, const Compositing &k, bool absCosine,
               Add &&add) {
  const RayCaster c = MakeCaster(scn, cxt);
  ParallelRows(c.nrows, [&](int first, int end) {
    for (int v = first; v < end; v++) {
      for (int u = 0; u < c.ncols; u++) {
        const int p = u + v * c.ncols;
        double P0[3], P[3];
        RayOrigin(c, u, v, P0);
        if (!Enter(c, P0, true, P)) continue;
        float T = 1.0f;
        March<true>(c, P, [&](const int q[3], int i) {
          const int a = c.data[i] == 0 ? 0 : std::clamp(k.alpha[i], 0, 255);
          if (a == 0) return true;
          const float *N = k.table + 3 * k.normal[i];
          double cosine = N[0] * k.viewer[0] + N[1] * k.viewer[1] + N[2] * k.viewer[2];
          if (absCosine) cosine = std::fabs(cosine);
          if (cosine > 0.0) {
            const double f = 1.0 - DistanceToVoxel(c, P0, q) / k.isize;
            const double s = 2.0 * cosine * cosine - 1.0;
            const double spec = s >= 0.0 ? k.spec * SpecularPower(s, k.ns) : 0.0;
            const double shade = f * (spec + k.diff * cosine) + k.amb;
            add(p, shade, c.data[i], T, k.opacity[a]);
            T = static_cast<float>(T * (1.0 - k.opacity[a]));
          }
          return true;
        });
      }
    }
  });
}

}  // namespace

std::unique_ptr<Image> RaytracingScene(const Scene *scn, const Scene *alpha, const Scene *normal,
                                       const std::vector<float> &normaltable, Context *cxt) {
  const Compositing k =
      PrepareCompositing(scn, alpha, normal, normaltable, cxt, "RaytracingScene");
  auto img = CreateImage(cxt->zbuffer->ncols, cxt->zbuffer->nrows);
  int *I = img->val.data();
  Composite(scn, cxt, k, true, [I](int p, double shade, int value, float T, float) {
    const long long sum = static_cast<long long>(I[p]) + SaturatedTrunc(shade * value * T);
    I[p] = static_cast<int>(std::clamp<long long>(sum, -2147483647LL - 1, 2147483647LL));
  });
  return img;
}

std::unique_ptr<CImage> CRaytracingScene(const Scene *scn, const Scene *alpha,
                                         const Scene *normal,
                                         const std::vector<float> &normaltable, Context *cxt) {
  const Compositing k =
      PrepareCompositing(scn, alpha, normal, normaltable, cxt, "CRaytracingScene");
  auto img = CreateCImage(cxt->zbuffer->ncols, cxt->zbuffer->nrows);
  CImage *out = img.get();
  Composite(scn, cxt, k, false, [out, cxt](int p, double shade, int, float T, float opacity) {
    AccVoxelColor(out, cxt, p, static_cast<float>(shade), static_cast<float>(T * opacity), 0);
  });
  return img;
}
