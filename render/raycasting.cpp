#include "render/raycasting.h"

#include <immintrin.h>

#include <array>
#include <atomic>
#include <cmath>
#include <string>
#include <vector>

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


// ---- four rays at once ----
//
// The same walk as March for four rays side by side, lane by lane the same
// double additions, roundings and truncations (so the same voxels), with
// AVX2 where the processor has it. A lane whose ray left the clip box stays
// out: every coordinate of a ray moves monotonically. Lanes are the pixels
// u0 .. u0 + 3 of one row.

struct FourRays {
  double P[4][3];   // entry positions
  bool live[4];     // entered the box
  int hit[4][3];    // first hits: the voxel, or -1 in hit[i][0]
  int index[4];
  int best[4];      // maximum along the ray
  int skip[4];      // first hits: steps taken before the first sample
};

bool WideRaysAvailable() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

std::atomic<bool> wideRays{true};

// Four positions rounded half away from zero, as RoundHalfAwayFromZero.
__attribute__((target("avx2"))) inline __m128i RoundedLanes(__m256d p) {
  const __m256d offset = _mm256_blendv_pd(_mm256_set1_pd(-0.5), _mm256_set1_pd(0.5),
                                          _mm256_cmp_pd(p, _mm256_setzero_pd(), _CMP_GE_OQ));
  return _mm256_cvttpd_epi32(_mm256_add_pd(p, offset));
}

// One coordinate of four lanes' voxels: the position truncated (first-hit
// walks) or rounded, plus the volume's half size.
template <bool kTruncate>
__attribute__((target("avx2"))) inline __m128i LaneVoxel(__m256d p, __m128i half) {
  return _mm_add_epi32(kTruncate ? _mm256_cvttpd_epi32(p) : RoundedLanes(p), half);
}

// kFirstHit: stop each lane at its first non-zero voxel, every sample
// truncated (the lanes start past the rounded entry sample, which
// FirstHitPrefix took); otherwise the maximum along every ray with every
// sample rounded.
template <bool kFirstHit>
__attribute__((target("avx2"))) void MarchFour(const RayCaster &c, FourRays *r) {
  __m256d px = _mm256_setr_pd(r->P[0][0], r->P[1][0], r->P[2][0], r->P[3][0]);
  __m256d py = _mm256_setr_pd(r->P[0][1], r->P[1][1], r->P[2][1], r->P[3][1]);
  __m256d pz = _mm256_setr_pd(r->P[0][2], r->P[1][2], r->P[2][2], r->P[3][2]);
  const __m256d sx = _mm256_set1_pd(c.s[0]), sy = _mm256_set1_pd(c.s[1]), sz = _mm256_set1_pd(c.s[2]);
  const __m128i hx = _mm_set1_epi32(c.h[0]), hy = _mm_set1_epi32(c.h[1]), hz = _mm_set1_epi32(c.h[2]);
  const __m128i lox = _mm_set1_epi32(c.lo[0] - 1), loy = _mm_set1_epi32(c.lo[1] - 1),
                loz = _mm_set1_epi32(c.lo[2] - 1);
  const __m128i hix = _mm_set1_epi32(c.hi[0] + 1), hiy = _mm_set1_epi32(c.hi[1] + 1),
                hiz = _mm_set1_epi32(c.hi[2] + 1);
  const __m128i xs = _mm_set1_epi32(c.xsize), xys = _mm_set1_epi32(c.xysize);
  const __m128i izero = _mm_setzero_si128();
  __m128i active = _mm_setr_epi32(r->live[0] ? -1 : 0, r->live[1] ? -1 : 0, r->live[2] ? -1 : 0,
                                  r->live[3] ? -1 : 0);
  __m128i best = izero;
  __m128i hitx = _mm_set1_epi32(-1), hity = hitx, hitz = hitx, hitIndex = hitx;
  if (kFirstHit) {
    // The passed-over steps, each lane its own count: the same additions.
    const int most = std::max(std::max(r->skip[0], r->skip[1]), std::max(r->skip[2], r->skip[3]));
    const __m256i counts = _mm256_setr_epi64x(r->skip[0], r->skip[1], r->skip[2], r->skip[3]);
    for (int k = 0; k < most; k++) {
      const __m256d more = _mm256_castsi256_pd(_mm256_cmpgt_epi64(counts, _mm256_set1_epi64x(k)));
      px = _mm256_add_pd(px, _mm256_and_pd(sx, more));
      py = _mm256_add_pd(py, _mm256_and_pd(sy, more));
      pz = _mm256_add_pd(pz, _mm256_and_pd(sz, more));
    }
  }
  __m128i qx = LaneVoxel<kFirstHit>(px, hx), qy = LaneVoxel<kFirstHit>(py, hy),
          qz = LaneVoxel<kFirstHit>(pz, hz);
  for (;;) {
    const __m128i inx = _mm_and_si128(_mm_cmpgt_epi32(qx, lox), _mm_cmplt_epi32(qx, hix));
    const __m128i iny = _mm_and_si128(_mm_cmpgt_epi32(qy, loy), _mm_cmplt_epi32(qy, hiy));
    const __m128i inz = _mm_and_si128(_mm_cmpgt_epi32(qz, loz), _mm_cmplt_epi32(qz, hiz));
    active = _mm_and_si128(active, _mm_and_si128(inx, _mm_and_si128(iny, inz)));
    if (_mm_testz_si128(active, active)) break;
    const __m128i idx =
        _mm_add_epi32(qx, _mm_add_epi32(_mm_mullo_epi32(qy, xs), _mm_mullo_epi32(qz, xys)));
    const __m128i v = _mm_mask_i32gather_epi32(izero, c.data, idx, active, 4);
    if (kFirstHit) {
      const __m128i found = _mm_andnot_si128(_mm_cmpeq_epi32(v, izero), active);
      hitx = _mm_blendv_epi8(hitx, qx, found);
      hity = _mm_blendv_epi8(hity, qy, found);
      hitz = _mm_blendv_epi8(hitz, qz, found);
      hitIndex = _mm_blendv_epi8(hitIndex, idx, found);
      active = _mm_andnot_si128(found, active);
      if (_mm_testz_si128(active, active)) break;
    } else {
      best = _mm_max_epi32(best, v);
    }
    px = _mm256_add_pd(px, sx);
    py = _mm256_add_pd(py, sy);
    pz = _mm256_add_pd(pz, sz);
    qx = LaneVoxel<kFirstHit>(px, hx);
    qy = LaneVoxel<kFirstHit>(py, hy);
    qz = LaneVoxel<kFirstHit>(pz, hz);
  }
  alignas(16) int out[4][4];
  _mm_store_si128(reinterpret_cast<__m128i *>(out[0]), hitx);
  _mm_store_si128(reinterpret_cast<__m128i *>(out[1]), hity);
  _mm_store_si128(reinterpret_cast<__m128i *>(out[2]), hitz);
  _mm_store_si128(reinterpret_cast<__m128i *>(out[3]), hitIndex);
  _mm_storeu_si128(reinterpret_cast<__m128i *>(r->best), best);
  for (int i = 0; i < 4; i++) {
    r->hit[i][0] = out[0][i], r->hit[i][1] = out[1][i], r->hit[i][2] = out[2][i];
    r->index[i] = out[3][i];
  }
}

// The plain walk, ray by ray from the entry: what the four-ray walk and
// its start (FirstHitPrefix) must reproduce.
template <bool kFirstHit>
void MarchFourScalar(const RayCaster &c, FourRays *r) {
  for (int i = 0; i < 4; i++) {
    r->hit[i][0] = -1;
    r->index[i] = -1;
    r->best[i] = 0;
    if (!r->live[i]) continue;
    double P[3] = {r->P[i][0], r->P[i][1], r->P[i][2]};
    if (kFirstHit) {
      March<false>(c, P, [&](const int q[3], int index) {
        if (c.data[index] == 0) return true;
        r->hit[i][0] = q[0], r->hit[i][1] = q[1], r->hit[i][2] = q[2];
        r->index[i] = index;
        return false;
      });
    } else {
      int best = 0;
      March<true>(c, P, [&](const int *, int index) {
        best = std::max(best, c.data[index]);
        return true;
      });
      r->best[i] = best;
    }
  }
}

// The smallest box holding every non-zero voxel of the scene (empty: lo >
// hi), found slice by slice on the render threads.
struct Occupied {
  int lo[3] = {0, 0, 0}, hi[3] = {-1, -1, -1};
  bool Empty() const { return lo[0] > hi[0]; }
  bool Contains(const int q[3]) const {
    return q[0] >= lo[0] && q[0] <= hi[0] && q[1] >= lo[1] && q[1] <= hi[1] && q[2] >= lo[2] &&
           q[2] <= hi[2];
  }
};

// The first non-zero of n values (n when none), sixteen at a time.
int FirstNonZero(const int *row, int n) {
  int x = 0;
  for (; x + 16 <= n; x += 16) {
    int any = 0;
    for (int k = 0; k < 16; k++) any |= row[x + k];
    if (any != 0) break;
  }
  while (x < n && row[x] == 0) x++;
  return x;
}

Occupied OccupiedBox(const Scene *scn) {
  const int nz = scn->zsize;
  std::vector<std::array<int, 4>> slice(nz, {scn->xsize, -1, scn->ysize, -1});
  ParallelRows(nz, [&](int first, int end) {
    for (int z = first; z < end; z++) {
      auto &b = slice[z];
      for (int y = 0; y < scn->ysize; y++) {
        const int *row = scn->data.data() + scn->tbz[z] + scn->tby[y];
        const int x0 = FirstNonZero(row, scn->xsize);
        if (x0 == scn->xsize) continue;
        int x1 = scn->xsize - 1;
        while (row[x1] == 0) x1--;
        b[0] = std::min(b[0], x0), b[1] = std::max(b[1], x1);
        b[2] = std::min(b[2], y), b[3] = std::max(b[3], y);
      }
    }
  });
  Occupied o;
  o.lo[0] = scn->xsize, o.lo[1] = scn->ysize, o.lo[2] = nz;
  for (int z = 0; z < nz; z++) {
    const auto &b = slice[z];
    if (b[1] < 0) continue;
    o.lo[0] = std::min(o.lo[0], b[0]), o.hi[0] = std::max(o.hi[0], b[1]);
    o.lo[1] = std::min(o.lo[1], b[2]), o.hi[1] = std::max(o.hi[1], b[3]);
    o.lo[2] = std::min(o.lo[2], z), o.hi[2] = std::max(o.hi[2], z);
  }
  if (o.hi[2] < 0) o = Occupied();
  return o;
}

// The start of a first-hit walk, up to where the four-ray walk takes
// over: the entry sample (rounded) and the next (truncated) are tested as
// the walk tests them; then *skip counts the steps after which the ray
// still cannot be inside the occupied box (widened by two voxels on every
// side), which the walk takes without looking. That leaves the voxels it
// meets unchanged: every coordinate of a ray moves monotonically from its
// second sample on, so a ray inside the clip box at both ends of the
// passed-over run was inside it all along, and no voxel outside the
// occupied box is non-zero. Returns true when the ray is decided (hit or
// missed, hit[0] left -1 for a miss); otherwise P is the second sample's
// position.
bool FirstHitPrefix(const RayCaster &c, const Occupied &o, double P[3], int hit[3], int *index,
                    int *skip) {
  *skip = 0;
  // A voxel outside the occupied box is 0 without a look (a load at the
  // ray's entry is a cache miss, the box test is not).
  auto decides = [&](const int q[3]) {
    if (!c.InClip(q)) return true;
    if (!o.Contains(q)) return false;
    const int i = c.Index(q);
    if (c.data[i] == 0) return false;
    hit[0] = q[0], hit[1] = q[1], hit[2] = q[2];
    *index = i;
    return true;
  };
  int q[3];
  RoundedVoxel(c, P, q);
  if (decides(q)) return true;
  for (int a = 0; a < 3; a++) P[a] += c.s[a];
  for (int a = 0; a < 3; a++) q[a] = SaturatedTrunc(P[a]) + c.h[a];
  if (decides(q)) return true;
  // No ray lasts longer than it takes its principal coordinate (one voxel
  // a step) to leave the clip box; two more steps put it out for sure.
  const int pa = c.pa;
  const double left = c.s[pa] > 0.0 ? c.hi[pa] - c.h[pa] + 1 - P[pa] : P[pa] - (c.lo[pa] - c.h[pa]);
  const long long cap = std::max(0LL, static_cast<long long>(left) + 2);
  long long steps = o.Empty() ? cap : 0;
  for (int a = 0; a < 3 && !o.Empty(); a++) {
    const double lo = o.lo[a] - c.h[a] - 2.0, hi = o.hi[a] - c.h[a] + 2.0;
    // In double, clamped before converting: a nearly parallel axis gives a
    // quotient far beyond any integer.
    double m = 0.0;
    if (P[a] <= lo) m = c.s[a] > 0.0 ? std::trunc((lo - P[a]) / c.s[a]) - 1.0 : cap;
    else if (P[a] >= hi) m = c.s[a] < 0.0 ? std::trunc((hi - P[a]) / c.s[a]) - 1.0 : cap;
    steps = std::max(steps, static_cast<long long>(std::clamp(m, 0.0, static_cast<double>(cap))));
  }
  // A ray that cannot reach the occupied box before it leaves the clip box
  // meets only zeros: it misses.
  if (steps >= cap) return true;
  *skip = static_cast<int>(std::max<long long>(steps, 0));
  return false;
}

// Every pixel of row v in groups of four: origins, entries, the walk, and
// done(u, P0, rays, lane) for each pixel u. First hits start with
// FirstHitPrefix over the occupied box o.
template <bool kFirstHit, class Done>
void MarchRow(const RayCaster &c, const Occupied &o, int v, Done &&done) {
  const bool wide = wideRays && WideRaysAvailable();
  for (int u0 = 0; u0 < c.ncols; u0 += 4) {
    FourRays r;
    double P0[4][3];
    int prefixHit[4][3], prefixIndex[4] = {-1, -1, -1, -1};
    bool decided[4] = {false, false, false, false};
    for (int i = 0; i < 4; i++) {
      const int u = u0 + i;
      r.live[i] = false;
      r.skip[i] = 0;
      prefixHit[i][0] = -1;
      if (u >= c.ncols) continue;
      RayOrigin(c, u, v, P0[i]);
      r.live[i] = Enter(c, P0[i], true, r.P[i]);
      if (kFirstHit && wide && r.live[i]) {
        decided[i] = FirstHitPrefix(c, o, r.P[i], prefixHit[i], &prefixIndex[i], &r.skip[i]);
        r.live[i] = !decided[i];
      }
    }
    if (!(r.live[0] || r.live[1] || r.live[2] || r.live[3])) {
      for (int i = 0; i < 4; i++) r.hit[i][0] = -1, r.index[i] = -1, r.best[i] = 0;
    } else if (wide) {
      MarchFour<kFirstHit>(c, &r);
    } else {
      MarchFourScalar<kFirstHit>(c, &r);
    }
    for (int i = 0; i < 4; i++) {
      if (!decided[i]) continue;
      for (int a = 0; a < 3; a++) r.hit[i][a] = prefixHit[i][a];
      r.index[i] = prefixIndex[i];
    }
    for (int i = 0; i < 4 && u0 + i < c.ncols; i++) done(u0 + i, P0[i], r, i);
  }
}

// Fills the context's z-buffer with the first non-zero voxel of every ray.
void FirstHits(const Scene *scn, Context *cxt) {
  const RayCaster c = MakeCaster(scn, cxt);
  const Occupied o = wideRays && WideRaysAvailable() ? OccupiedBox(scn) : Occupied();
  ZBuffer *zb = cxt->zbuffer.get();
  ParallelRows(c.nrows, [&](int first, int end) {
    for (int v = first; v < end; v++) {
      MarchRow<true>(c, o, v, [&](int u, const double P0[3], const FourRays &r, int i) {
        const int p = u + zb->tbrow[v];
        ClearPixel(zb, p);
        if (r.hit[i][0] >= 0) RecordHit(zb, p, c, r.index[i], DistanceToVoxel(c, P0, r.hit[i]));
      });
    }
  });
}

void CheckNormalScene(const Scene *scn, const Scene *nscn, const char *func) {
  CheckSameScene(scn, nscn, "normal scene", func);
}

}  // namespace

void SetWideRays(bool on) { wideRays = on; }

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
      MarchRow<false>(c, Occupied(), v, [&](int u, const double *, const FourRays &r, int i) { out[u] = r.best[i]; });
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
