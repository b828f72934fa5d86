// Maximum-intensity projections of a body shell (grey, tinted by the
// objects seen, grey in three bands) and the two experimental grey
// splatting renderers: two-sided lighting of every non-transparent voxel,
// and footprints shaped by each voxel's normal.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

#include "core/common.h"
#include "core/curve.h"
#include "core/stretch.h"
#include "render/context.h"
#include "render/scene_render.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_render.h"
#include "render/shell_splat.h"
#include "render/shell_traverse.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

// ---- maximum-intensity projection ----

// Coordinate products of the projection, one table per axis and image
// row of the rotation: along[a][r][c] = rotation[r][a] * (c - centre of a).
// Each product of a float and a small integer is exact in double, so
// summing three table entries in x, y, z order rounds exactly as the dot
// product written out does.
struct ProjectionTables {
  std::vector<double> along[3][3];

  explicit ProjectionTables(const Context *cxt) {
    const int size[3] = {cxt->xsize, cxt->ysize, cxt->zsize};
    for (int a = 0; a < 3; a++)
      for (int r = 0; r < 3; r++) {
        along[a][r].resize(size[a]);
        for (int c = 0; c < size[a]; c++) {
          along[a][r][c] = static_cast<double>(cxt->rotation[r][a]) * (c - size[a] / 2);
        }
      }
  }
};

// The buffers one projection writes, and what it fixes before its pass.
struct MIPTargets {
  int n = 0;  // isize
  int *pix = nullptr;
  int *voxel = nullptr;
  unsigned char *object = nullptr;
  float *dist = nullptr;
  int r0 = 0, r1 = 0;  // the rows written: [r0, r1)
};

struct MIPTap {
  int dx, dy;
  double weight;
};

// One tap of a voxel: m := trunc(g * value), written with the voxel's
// index, label and (when smaller) distance where it exceeds the pixel.
inline void MaxTap(const MIPTargets &t, int q, int m, int index, unsigned char label,
                   double dist) {
  if (m <= t.pix[q]) return;
  t.pix[q] = m;
  t.voxel[q] = index;
  t.object[q] = label;
  if (dist < t.dist[q]) t.dist[q] = static_cast<float>(dist);
}

// Every tap bounds-checked: the border of the image, and kernels of any
// shape.
inline void MaxTapsChecked(const MIPTargets &t, const std::vector<MIPTap> &taps, int qc, int qr,
                           int value, int index, unsigned char label, double dist) {
  for (const MIPTap &tap : taps) {
    const int c = qc + tap.dx, r = qr + tap.dy;
    if (c < 0 || c >= t.n || r < t.r0 || r >= t.r1) continue;
    MaxTap(t, c + r * t.n, SaturatedInt(tap.weight * value), index, label, dist);
  }
}

// The context's kernel as three rows of (dx = -1, 0, +1) weights and a
// fourth 0, when its taps are the 3 x 3 block, each once, with weights in
// [0, 1]: then trunc(g * value) of a positive value fits an int, and the
// fourth lane (m = 0) never exceeds a pixel.
struct RowKernel {
  bool usable = false;
  double w[3][4] = {};
};

RowKernel MakeRowKernel(const std::vector<MIPTap> &taps) {
  RowKernel k;
  bool seen[3][3] = {};
  if (taps.size() != 9) return k;
  for (const MIPTap &tap : taps) {
    if (tap.dx < -1 || tap.dx > 1 || tap.dy < -1 || tap.dy > 1) return k;
    if (seen[tap.dy + 1][tap.dx + 1] || !(tap.weight >= 0.0 && tap.weight <= 1.0)) return k;
    seen[tap.dy + 1][tap.dx + 1] = true;
    k.w[tap.dy + 1][tap.dx + 1] = tap.weight;
  }
  k.usable = true;
  return k;
}

#if defined(__SSE2__)
// Three pixels of one image row at once (a fourth lane rides along
// unchanged): m := trunc(g * value) per lane; lanes where m exceeds the
// pixel take m, the voxel's index and label, and the smaller of the two
// distances (min of floats: the same as comparing the double and storing
// it rounded). The taps of one voxel touch distinct pixels, so doing a
// row at once keeps the order of the writes that matter.
struct MIPLanes {
  __m128d value;
  __m128i index;
  __m128 dist;
  uint32_t label4;  // the label in each byte
};

inline void MaxRow(const MIPTargets &t, int q, const double *w, const MIPLanes &v) {
  const __m128i m = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_mul_pd(_mm_loadu_pd(w), v.value)),
                                       _mm_cvttpd_epi32(_mm_mul_pd(_mm_loadu_pd(w + 2), v.value)));
  __m128i *pp = reinterpret_cast<__m128i *>(t.pix + q);
  const __m128i p = _mm_loadu_si128(pp);
  const __m128i gt = _mm_cmpgt_epi32(m, p);
  if (_mm_movemask_epi8(gt) == 0) return;
  _mm_storeu_si128(pp, _mm_or_si128(_mm_and_si128(gt, m), _mm_andnot_si128(gt, p)));
  __m128i *pv = reinterpret_cast<__m128i *>(t.voxel + q);
  const __m128i old = _mm_loadu_si128(pv);
  _mm_storeu_si128(pv, _mm_or_si128(_mm_and_si128(gt, v.index), _mm_andnot_si128(gt, old)));
  const __m128 gf = _mm_castsi128_ps(gt);
  const __m128 d = _mm_loadu_ps(t.dist + q);
  _mm_storeu_ps(t.dist + q, _mm_or_ps(_mm_and_ps(gf, _mm_min_ps(d, v.dist)), _mm_andnot_ps(gf, d)));
  const __m128i g16 = _mm_packs_epi32(gt, gt);
  const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packs_epi16(g16, g16)));
  uint32_t o;
  memcpy(&o, t.object + q, 4);
  o = (o & ~bytes) | (v.label4 & bytes);
  memcpy(t.object + q, &o, 4);
}
#endif

#if defined(__SSE2__)
inline __m128i Min32(__m128i a, __m128i b) {
  const __m128i gt = _mm_cmpgt_epi32(a, b);
  return _mm_or_si128(_mm_and_si128(gt, b), _mm_andnot_si128(gt, a));
}

// The least of the 3 x 3 pixels whose top left is q (pixels are never
// negative: they only rise from 0).
inline int Least9(const int *q, int n) {
  __m128i m = Min32(Min32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + n))),
                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 2 * n)));
  m = _mm_or_si128(m, _mm_set_epi32(std::numeric_limits<int>::max(), 0, 0, 0));
  m = Min32(m, _mm_shuffle_epi32(m, 0x4E));
  m = Min32(m, _mm_shuffle_epi32(m, 0xB1));
  return _mm_cvtsi128_si32(m);
}
#endif

// The search for the next voxel of a line that its block's floor does not
// pass over (see MaximaProjector), eight voxels at a time. The block of a
// voxel is computed exactly as the projection does it, term by term in
// double and truncated; the caller has made sure every block of the line
// is inside the image.
struct LineScan {
  double a0, b0, a1, b1, half;
  int n;
  const int *floor;
};

inline int BlockOf(const LineScan &s, double c0, double c1) {
  const int qc = static_cast<int>(((s.a0 + c0) + s.b0) + s.half);
  const int qr = static_cast<int>(((s.a1 + c1) + s.b1) + s.half);
  return qc - 1 + (qr - 1) * s.n;
}

#if defined(__x86_64__) && defined(__GNUC__)
// trunc(((a + c[i]) + b) + half), as BlockOf forms it, for i = 0 .. 3
// (Coord4) and 0 .. 7 (Coord8).
__attribute__((target("avx2"))) inline __m128i Coord4(const double *c, double a, double b,
                                                     double half) {
  return _mm256_cvttpd_epi32(_mm256_add_pd(
      _mm256_add_pd(_mm256_add_pd(_mm256_set1_pd(a), _mm256_loadu_pd(c)), _mm256_set1_pd(b)),
      _mm256_set1_pd(half)));
}

__attribute__((target("avx2"))) inline __m256i Coord8(const double *c, double a, double b,
                                                     double half) {
  return _mm256_set_m128i(Coord4(c + 4, a, b, half), Coord4(c, a, b, half));
}

// Lane i is set where voxel base + i lies above its floor.
__attribute__((target("avx2"))) inline int AboveFloor8(const LineScan &s, const uint16_t *v,
                                                       const double *c0, const double *c1,
                                                       int base) {
  const __m256i qc = Coord8(c0 + base, s.a0, s.b0, s.half);
  const __m256i qr = Coord8(c1 + base, s.a1, s.b1, s.half);
  const __m256i at = _mm256_add_epi32(
      _mm256_add_epi32(qc, _mm256_mullo_epi32(qr, _mm256_set1_epi32(s.n))),
      _mm256_set1_epi32(-1 - s.n));
  const __m256i floor = _mm256_i32gather_epi32(s.floor, at, 4);
  const __m256i value =
      _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(v + base)));
  return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(value, floor)));
}

// The first k >= from (len when none) whose value exceeds its floor.
__attribute__((target("avx2"))) int NextRaisingForward(const LineScan &s, const uint16_t *v,
                                                       const double *c0, const double *c1,
                                                       int from, int len) {
  int k = from;
  for (; k + 8 <= len; k += 8) {
    const int above = AboveFloor8(s, v, c0, c1, k);
    if (above != 0) return k + __builtin_ctz(above);
  }
  for (; k < len; k++)
    if (v[k] > s.floor[BlockOf(s, c0[k], c1[k])]) return k;
  return len;
}

// The last k <= from (-1 when none) whose value exceeds its floor.
__attribute__((target("avx2"))) int NextRaisingBackward(const LineScan &s, const uint16_t *v,
                                                        const double *c0, const double *c1,
                                                        int from) {
  int k = from;
  for (; k - 7 >= 0; k -= 8) {
    const int above = AboveFloor8(s, v, c0, c1, k - 7);
    if (above != 0) return k - 7 + (31 - __builtin_clz(above));
  }
  for (; k >= 0; k--)
    if (v[k] > s.floor[BlockOf(s, c0[k], c1[k])]) return k;
  return -1;
}
#endif

// What projections keep of a shell from one frame to the next: every
// voxel's body value and label in row order and, once a view along x needs
// them, in list order, the values as 16 bits with 0 for a hidden voxel and
// for a value of 0 or below (neither can raise a pixel while the weights
// are not negative). It is made from one revision of one shell and used
// only while the shell has that revision; a shell with a visible value
// above 65535 is read directly instead.
struct MIPValues {
  uint64_t revision = 0;  // revisions start at 1
  bool fits = false;
  bool listReady = false;
  std::vector<uint16_t> row, list;
  std::vector<unsigned char> rowLabel, listLabel;
  // Per row (y + z * ysize) and per column (z + x * zsize): the first
  // coordinate when the line has a voxel at every coordinate between its
  // ends, else -1.
  std::vector<int> rowStart, columnStart;
};

// The first coordinate of each line when its entries run without a gap,
// else -1 (empty lines too).
template <class Range, class CoordOf>
void LineStarts(int lines, const Range &range, const CoordOf &coord, std::vector<int> *start) {
  start->resize(lines);
  for (int l = 0; l < lines; l++) {
    int first, end;
    range(l, &first, &end);
    const bool full = end > first && coord(end - 1) - coord(first) == end - 1 - first;
    (*start)[l] = full ? coord(first) : -1;
  }
}

// The kept values and labels put into list order, one z slice at a time:
// the slice's rows are read in memory order into a slice-sized buffer
// grouped by x (each x's cursor advancing as its voxels come by, y
// ascending), then every x's run is copied to its column of the list.
// Written straight into the list, the slice's voxels would land in xsize
// streams a column of the list apart, whose cache sets collide; read
// through the list's pointers, every voxel is a jump in memory. The runs in
// the buffer are a cache line apart for the same reason.
void GatherListOrder(const Shell *shell, MIPValues *m) {
  const int nv = shell->nvoxels, xs = shell->xsize, ys = shell->ysize, zs = shell->zsize;
  m->list.resize(nv);
  m->listLabel.resize(nv);
  constexpr int kPad = 32;  // entries: one cache line of values
  std::vector<int> start(xs), offset(xs), cursor(xs);
  std::vector<uint16_t> slice;
  std::vector<unsigned char> sliceLabel;
  const Voxel *voxel = shell->voxel.data();
  for (int z = 0; z < zs; z++) {
    int total = 0;
    for (int x = 0; x < xs; x++) {
      int first, end;
      ShellColumn(shell, x, z, &first, &end);
      start[x] = first;
      offset[x] = cursor[x] = total + kPad * x;
      total += std::max(0, end - first);
    }
    slice.resize(static_cast<size_t>(total) + static_cast<size_t>(kPad) * xs);
    sliceLabel.resize(slice.size());
    for (int y = 0; y < ys; y++) {
      int first, end;
      ShellRow(shell, y, z, &first, &end);
      const int x0 = m->rowStart[y + z * ys];
      for (int i = first; i < end; i++) {
        const int x = x0 >= 0 ? x0 + (i - first) : voxel[i].x;
        sliceLabel[cursor[x]] = m->rowLabel[i];
        slice[cursor[x]++] = m->row[i];
      }
    }
    for (int x = 0; x < xs; x++) {
      const int n = cursor[x] - offset[x];
      std::copy_n(slice.data() + offset[x], n, m->list.data() + start[x]);
      std::copy_n(sliceLabel.data() + offset[x], n, m->listLabel.data() + start[x]);
    }
  }
  LineStarts(xs * zs,
             [&](int l, int *first, int *end) { ShellColumn(shell, l / zs, l % zs, first, end); },
             [&](int e) { return static_cast<int>(shell->list[e].y); }, &m->columnStart);
  m->listReady = true;
}

// The values of the shell in row order (and in list order when asked), or
// null when they do not fit 16 bits. The values of the shell last
// projected are kept, for every thread; an entry being read is never
// changed (the list order is added to a copy).
std::shared_ptr<const MIPValues> PreparedValues(const Shell *shell, bool listOrder) {
  static std::mutex mutex;
  static std::shared_ptr<MIPValues> last;
  std::lock_guard<std::mutex> lock(mutex);
  const int nv = shell->nvoxels;
  if (last == nullptr || last->revision != shell->revision.value()) {
    last.reset();  // the memory back before the new values are made
    auto m = std::make_shared<MIPValues>();
    m->revision = shell->revision.value();
    m->row.resize(nv);
    const Voxel *voxel = shell->voxel.data();
    const BodyEntry *body = shell->body.data();
    m->rowLabel.resize(nv);
    int largest = 0;
    for (int i = 0; i < nv; i++) {
      const int stored = body[i].value;  // a packed field: read by value
      const int value = voxel[i].visible && stored > 0 ? stored : 0;
      largest = std::max(largest, value);
      m->row[i] = static_cast<uint16_t>(value);
      m->rowLabel[i] = voxel[i].label;
    }
    m->fits = largest <= 0xFFFF;
    const int ys = shell->ysize;
    if (m->fits) {
      LineStarts(ys * shell->zsize,
                 [&](int l, int *first, int *end) { ShellRow(shell, l % ys, l / ys, first, end); },
                 [&](int i) { return static_cast<int>(voxel[i].x); }, &m->rowStart);
    }
    last = m;
  }
  if (!last->fits) return nullptr;
  if (listOrder && !last->listReady) {
    if (last.use_count() > 1) last = std::make_shared<MIPValues>(*last);
    GatherListOrder(shell, last.get());
  }
  return last;
}

// The voxel-by-voxel projection. Every visible voxel of the traversal is
// projected with the rotation to q0 := (trunc(r0 . c + isize / 2),
// trunc(r1 . c + isize / 2)), c its centred position, and each kernel tap
// q around q0 inside the image takes m := trunc(g * value) when m exceeds
// it, recording the voxel, its label and the smaller distance isize -
// (r2 . c + isize / 2) in the z-buffer. Ties keep the voxel met first, so
// the z-buffer depends on the front-to-back order.
//
// Most voxels raise nothing. A floor image keeps, for each 3 x 3 block of
// pixels (a 3 x 3 kernel of weights in [0, 1]), a value up to which no
// voxel centred there can raise a pixel: the least of its nine pixels when
// it was last looked at (no m exceeds the value), or the value of the last
// voxel drawn there (each tap holds at least that voxel's m, and m grows
// with the value). Pixels only rise, so a floor stays true, and a voxel at
// or below its block's floor is passed over after one load.
//
// The pixels only grow from 0, so the largest value written is the largest
// pixel of the result: the caller finds it afterwards.
class MaximaProjector {
 public:
  // Only the image rows [r0, r1) are written: projectors of disjoint
  // bands may run at once, each taking the voxels in the traversal order.
  // kept: the prepared values, or null to read the shell.
  MaximaProjector(const Shell *shell, const Context *cxt, Image *out, ZBuffer *zb,
                  const MIPValues *kept, int r0, int r1)
      : shell_(shell), cxt_(cxt), proj_(cxt), n_(cxt->isize), half_(cxt->isize / 2),
        depthCentre_(cxt->isize * 0.5),
        t_{cxt->isize, out->val.data(), zb->voxel.data(), zb->object.data(), zb->dist.data(),
           r0, r1},
        kept_(kept) {
    const Kernel *k = cxt->kernel.get();
    for (size_t i = 0; i < k->weights.size(); i++) {
      taps_.push_back({k->displacements->dx[i], k->displacements->dy[i], k->weights[i]});
      negativeWeight_ = negativeWeight_ || k->weights[i] < 0.0f;
      tapMinDy_ = std::min(tapMinDy_, k->displacements->dy[i]);
      tapMaxDy_ = std::max(tapMaxDy_, k->displacements->dy[i]);
    }
    rows_ = MakeRowKernel(taps_);
#if defined(__SSE2__)
    lanes_ = rows_.usable && n_ >= 4;
    if (lanes_) floor_.assign(static_cast<size_t>(n_) * n_, 0);
#if defined(__x86_64__) && defined(__GNUC__)
    wide_ = lanes_ && __builtin_cpu_supports("avx2");
#endif
#endif
  }

  // The traversal of the shell-rendering order, without the in-row clip.
  void Run() {
    const AxisRun outer = RunOfAxis(cxt_, cxt_->paxis);
    const AxisRun yr = RunOfAxis(cxt_, 'y'), zr = RunOfAxis(cxt_, 'z');
    const MIPValues *kept = negativeWeight_ ? nullptr : kept_;
    switch (cxt_->paxis) {
      // Each line's kept values are fetched ahead while the one before is
      // projected: lines a slice apart, or read against the direction of
      // memory, are too short for the processor to see a stream.
      case 'z':
        for (int z = outer.first; z != outer.end; z += outer.step)
          for (int y = yr.first; y != yr.end; y += yr.step) {
            if (kept != nullptr && y + yr.step != yr.end) FetchRow(kept, y + yr.step, z);
            Row(kept, y, z);
          }
        break;
      case 'y':
        for (int y = outer.first; y != outer.end; y += outer.step)
          for (int z = zr.first; z != zr.end; z += zr.step) {
            if (kept != nullptr && z + zr.step != zr.end) FetchRow(kept, y, z + zr.step);
            Row(kept, y, z);
          }
        break;
      default:
        Columns(kept, outer, zr);
    }
  }

 private:
  // The parts of the three dot products fixed along a row: the terms of
  // the row's two fixed axes a and b (coordinates ca and cb).
  struct RowParts {
    double a[3], b[3];
  };

  struct Seen {
    int index;
    unsigned char label;
  };

  static void Fetch(const uint16_t *from, const uint16_t *to) {
    for (const char *p = reinterpret_cast<const char *>(from);
         p < reinterpret_cast<const char *>(to); p += 64)
      __builtin_prefetch(p);
  }

  void FetchRow(const MIPValues *kept, int y, int z) const {
    int first, end;
    ShellRow(shell_, y, z, &first, &end);
    Fetch(kept->row.data() + first, kept->row.data() + end);
  }

  // Row (y, z) of the voxel array, in the order of dx; values in row
  // order when kept, else read from the shell.
  void Row(const MIPValues *kept, int y, int z) {
    int first, end;
    ShellRow(shell_, y, z, &first, &end);
    if (end <= first) return;
    const RowParts parts = PartsOf(1, y, 2, z);
    const Voxel *voxel = shell_->voxel.data();
    const double *const c[3] = {proj_.along[0][0].data(), proj_.along[0][1].data(),
                                proj_.along[0][2].data()};
    if (!Reaches(parts, c, voxel[first].x, voxel[end - 1].x)) return;
    if (kept == nullptr) {
      const BodyEntry *body = shell_->body.data();
      Line(end - first, cxt_->dx > 0, [&](int k, int *value, int *x) {
        const Voxel vox = voxel[first + k];
        if (vox.visible == 0) return false;
        *value = body[first + k].value;
        *x = vox.x;
        return *value > 0 || negativeWeight_;  // m <= 0 never exceeds a pixel
      }, [&](int k) { return Seen{first + k, voxel[first + k].label}; }, parts, c);
      return;
    }
    const uint16_t *v = kept->row.data() + first;
    const unsigned char *label = kept->rowLabel.data() + first;
    const int x0 = kept->rowStart[y + z * shell_->ysize];
    auto seen = [&](int k) { return Seen{first + k, label[k]}; };
    if (x0 >= 0) {
      FullLine(end - first, cxt_->dx > 0, v, x0, seen, parts, c);
    } else {
      Line(end - first, cxt_->dx > 0, [&](int k, int *value, int *x) {
        *value = v[k];
        if (*value == 0) return false;
        *x = voxel[first + k].x;
        return true;
      }, seen, parts, c);
    }
  }

  // 'x': column (x, z) of the list array for x outer, z inner, in the
  // order of dy; values and labels in list order when kept, else read
  // through the list's pointers.
  void Columns(const MIPValues *kept, const AxisRun &outer, const AxisRun &zr) {
    const uint16_t *values = kept ? kept->list.data() : nullptr;
    const unsigned char *labels = kept ? kept->listLabel.data() : nullptr;
    const ListEntry *list = shell_->list.data();
    const Voxel *voxel = shell_->voxel.data();
    const BodyEntry *body = shell_->body.data();
    const int ys = shell_->ysize;
    const double *const c[3] = {proj_.along[1][0].data(), proj_.along[1][1].data(),
                                proj_.along[1][2].data()};
    for (int x = outer.first; x != outer.end; x += outer.step) {
      for (int z = zr.first; z != zr.end; z += zr.step) {
        int first, end;
        if (kept != nullptr && z + zr.step != zr.end) {
          ShellColumn(shell_, x, z + zr.step, &first, &end);
          Fetch(values + first, values + end);
        }
        ShellColumn(shell_, x, z, &first, &end);
        if (end <= first) continue;
        const RowParts parts = PartsOf(0, x, 2, z);
        const ListEntry *col = list + first;
        if (!Reaches(parts, c, col[0].y, col[end - first - 1].y)) continue;
        const bool forward = cxt_->dy > 0;
        if (values == nullptr) {
          Line(end - first, forward, [&](int k, int *value, int *y) {
            const int index = col[k].pointer;
            if (voxel[index].visible == 0) return false;
            *value = body[index].value;
            *y = col[k].y;
            return *value > 0 || negativeWeight_;
          }, [&](int k) {
            const int index = col[k].pointer;
            return Seen{index, voxel[index].label};
          }, parts, c);
          continue;
        }
        const uint16_t *v = values + first;
        const unsigned char *label = labels + first;
        auto seen = [&](int k) { return Seen{col[k].pointer, label[k]}; };
        const int y0 = kept->columnStart[z + x * shell_->zsize];
        if (y0 >= 0) {
          // The voxel (x, y, z) of a row without gaps is found from the
          // row's start, without reading the list.
          const int *rowFirst = shell_->Mzy->val.data() + z * ys + y0;
          const int *rowStart = kept->rowStart.data() + z * ys + y0;
          FullLine(end - first, forward, v, y0, [&](int k) {
            const int index = rowStart[k] >= 0 ? rowFirst[k] + x - rowStart[k] : col[k].pointer;
            return Seen{index, label[k]};
          }, parts, c);
        } else {
          Line(end - first, forward, [&](int k, int *value, int *y) {
            *value = v[k];
            if (*value == 0) return false;
            *y = col[k].y;
            return true;
          }, seen, parts, c);
        }
      }
    }
  }

  // The entries 0 .. len - 1 of a row or column, forward or backward:
  // take(k, &value, &coordinate) says whether entry k counts, seen(k) gives
  // its voxel index and label when it raises a pixel.
  template <class Take, class WhoIs>
  void Line(int len, bool forward, const Take &take, const WhoIs &seen, const RowParts &parts,
            const double *const c[3]) {
    const int step = forward ? 1 : -1;
    for (int k = forward ? 0 : len - 1; k >= 0 && k < len; k += step) {
      int value, co;
      if (!take(k, &value, &co)) continue;
      Project(parts, c[0][co], c[1][co], c[2][co], value, [&] { return seen(k); });
    }
  }

  RowParts PartsOf(int axisA, int ca, int axisB, int cb) const {
    RowParts p;
    for (int r = 0; r < 3; r++) {
      p.a[r] = proj_.along[axisA][r][ca];
      p.b[r] = proj_.along[axisB][r][cb];
    }
    return p;
  }

  // A line of kept values whose coordinates run from co0 without a gap.
  // When the whole line lands where every block is inside the image (the
  // projected position moves monotonically along a line, so its two ends
  // tell), the voxels that cannot raise their block are found eight at a
  // time where the processor can, and only the others are projected.
  template <class WhoIs>
  void FullLine(int len, bool forward, const uint16_t *v, int co0, const WhoIs &seen,
                const RowParts &parts, const double *const c[3]) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (wide_ && len >= 8 && Inside(parts, c, co0) && Inside(parts, c, co0 + len - 1)) {
      const double *c0 = c[0] + co0, *c1 = c[1] + co0;
      const LineScan scan{parts.a[0], parts.b[0], parts.a[1], parts.b[1], half_, n_,
                          floor_.data()};
      for (int k = forward ? 0 : len - 1;;) {
        k = forward ? NextRaisingForward(scan, v, c0, c1, k, len)
                    : NextRaisingBackward(scan, v, c0, c1, k);
        if (k < 0 || k >= len) return;
        // Voxels above their floors come in runs: the ones after one are
        // tested one by one until four in a row are passed over.
        for (int passed = 0; passed < 4 && k >= 0 && k < len; k += forward ? 1 : -1) {
          const bool above = v[k] != 0 && Project(parts, c[0][co0 + k], c[1][co0 + k],
                                                  c[2][co0 + k], v[k], [&] { return seen(k); });
          passed = above ? 0 : passed + 1;
        }
        if (k < 0 || k >= len) return;
      }
    }
#endif
    Line(len, forward, [&](int k, int *value, int *co) {
      *value = v[k];
      *co = co0 + k;
      return *value != 0;
    }, seen, parts, c);
  }

  // The output centre q0 of a voxel whose varying-axis products are v0, v1.
  void Centre(const RowParts &p, double v0, double v1, int *qc, int *qr) const {
    *qc = static_cast<int>(Sum(p, 0, v0) + half_);
    *qr = static_cast<int>(Sum(p, 1, v1) + half_);
  }

  // Whether the 3 x 3 block around centre (qc, qr) lies inside the image,
  // its rows read four pixels wide.
  bool BlockInside(int qc, int qr) const {
    return qc >= 1 && qc <= n_ - 3 && qr >= t_.r0 + 1 && qr <= t_.r1 - 2;
  }

  // Whether a line whose coordinates run from co0 to co1 can reach the
  // band's rows: its centres' rows move monotonically along it.
  bool Reaches(const RowParts &p, const double *const c[3], int co0, int co1) const {
    if (t_.r0 == 0 && t_.r1 == n_) return true;
    int qc, qa, qb;
    Centre(p, c[0][co0], c[1][co0], &qc, &qa);
    Centre(p, c[0][co1], c[1][co1], &qc, &qb);
    return std::max(qa, qb) + tapMaxDy_ >= t_.r0 && std::min(qa, qb) + tapMinDy_ < t_.r1;
  }

  // Whether the block of coordinate co lies inside the image.
  bool Inside(const RowParts &p, const double *const c[3], int co) const {
    int qc, qr;
    Centre(p, c[0][co], c[1][co], &qc, &qr);
    return BlockInside(qc, qr);
  }

  // The three dot products summed in x, y, z order. The varying axis is x
  // or y, and b the z term: the first two terms commute exactly, so one
  // form serves both.
  static double Sum(const RowParts &p, int r, double varying) {
    return (p.a[r] + varying) + p.b[r];
  }

  // Whether the voxel was more than its block's floor passes over.
  template <class WhoIs>
  bool Project(const RowParts &p, double v0, double v1, double v2, int value,
               const WhoIs &seen) {
    int qc, qr;
    Centre(p, v0, v1, &qc, &qr);
    // A voxel whose taps all fall beside the band's rows changes nothing
    // here (another band draws it).
    if (qr + tapMaxDy_ < t_.r0 || qr + tapMinDy_ >= t_.r1) return false;
#if defined(__SSE2__)
    if (lanes_ && BlockInside(qc, qr)) {
      const int at = qc - 1 + (qr - 1) * n_;
      if (value <= floor_[at]) return false;
      int *q = t_.pix + at;
      // With weights in [0, 1] no m exceeds the value: nothing to do when
      // the nine pixels hold it already (told by comparing, the least of
      // them is needed only for the floor).
      const __m128i vv = _mm_set1_epi32(value);
      const __m128i below = _mm_or_si128(
          _mm_or_si128(_mm_cmpgt_epi32(vv, _mm_loadu_si128(reinterpret_cast<__m128i *>(q))),
                       _mm_cmpgt_epi32(vv, _mm_loadu_si128(reinterpret_cast<__m128i *>(q + n_)))),
          _mm_cmpgt_epi32(vv, _mm_loadu_si128(reinterpret_cast<__m128i *>(q + 2 * n_))));
      if ((_mm_movemask_epi8(below) & 0x0FFF) == 0) {
        floor_[at] = Least9(q, n_);
        return true;
      }
      const double dist = n_ - (Sum(p, 2, v2) + depthCentre_);
      const Seen who = seen();
      const MIPLanes lanes{_mm_set1_pd(value), _mm_set1_epi32(who.index),
                           _mm_set1_ps(static_cast<float>(dist)),
                           who.label * 0x01010101u};
      MaxRow(t_, at, rows_.w[0], lanes);
      MaxRow(t_, at + n_, rows_.w[1], lanes);
      MaxRow(t_, at + 2 * n_, rows_.w[2], lanes);
      // Each tap now holds at least its m of this value, and m grows with
      // the value: no value up to this one can raise the block.
      floor_[at] = value;
      return true;
    }
#endif
    const double dist = n_ - (Sum(p, 2, v2) + depthCentre_);
    const Seen who = seen();
    MaxTapsChecked(t_, taps_, qc, qr, value, who.index, who.label, dist);
    return true;
  }

  const Shell *shell_;
  const Context *cxt_;
  const ProjectionTables proj_;
  const int n_;
  const double half_, depthCentre_;
  const MIPTargets t_;
  const MIPValues *kept_;
  int tapMinDy_ = 0, tapMaxDy_ = 0;
  std::vector<MIPTap> taps_;
  bool negativeWeight_ = false;
  RowKernel rows_;
  bool lanes_ = false;
  bool wide_ = false;
  std::vector<int> floor_;
};

std::unique_ptr<Image> RenderMIP(const Shell *shell, Context *cxt, const Curve *cs,
                                 const char *func) {
  CheckShellContext(shell, cxt, func);
  const int n = cxt->isize;
  auto out = CreateImage(n, n);
  if (!IsBodyShell(shell)) return out;
  InitZBuffer(cxt->zbuffer.get());
  // Bands of image rows taken by the threads as they come free (a thread
  // the machine starts late takes fewer), a projector each.
  const std::shared_ptr<const MIPValues> kept = PreparedValues(shell, cxt->paxis == 'x');
  const int threads = RenderBands(n / 16);
  const int bands = threads == 1 ? 1 : std::min(2 * threads, n / 8);
  std::atomic<int> next{0};
  ParallelBands(threads, [&](int) {
    for (int band = next++; band < bands; band = next++) {
      MaximaProjector(shell, cxt, out.get(), cxt->zbuffer.get(), kept.get(), band * n / bands,
                      (band + 1) * n / bands)
          .Run();
    }
  });
  if (MaximumValue(out.get()) <= 255) return out;
  const LinearWindow w = CurveWindow(cs, func);
  return LinearStretch(out.get(), w.f1, w.f2, w.g1, w.g2);
}

// ---- the experimental grey splatting renderers ----

// Two-sided lighting: every voxel with a non-zero opacity, whatever its
// label, visibility or facing, shaded with c = |viewer . normal|.
using DVRMode = SplatModeOf<false, false, SplatDepth::kExact, SplatFirstHit::kNone, false,
                            SplatVoxelTest::kOpacity, true>;

// Normal-shaped footprints: every voxel facing the viewer, whatever its
// label or visibility; the tap weights are the voxel's own.
using EWAMode = SplatModeOf<false, false, SplatDepth::kExact, SplatFirstHit::kNone, false,
                            SplatVoxelTest::kNone>;

std::unique_ptr<FBuffer> OpenFBuffer(int ncols, int nrows) {
  auto f = CreateFBuffer(ncols, nrows);
  InitFBuffer(f.get(), 1.0f);
  return f;
}

// The footprint of a voxel with normal (nx, ny, nz): for each kernel
// offset (dx, dy), t := nz (-dy) + ny (-dx), s := ((dx^2 + dy^2) - t^2) /
// nx and weight exp(-(s^2 + t^2) / 6.25). A normal with nx = 0 (only
// entries without a direction have one) takes the footprint of the
// smallest non-zero |nx| a stored component can hold, the positive
// single-precision denormal 2^-149: every tap whose numerator is not
// exactly zero gets weight 0, the others exp(-t^2 / 6.25).
void NormalFootprint(const NormalVector &normal, const std::vector<SplatTap> &kernel,
                     float *weights) {
  double nx = normal.x;
  if (nx == 0.0) nx = std::numeric_limits<float>::denorm_min();
  const double ny = normal.y, nz = normal.z;
  for (size_t i = 0; i < kernel.size(); i++) {
    const double dx = kernel[i].dx, dy = kernel[i].dy;
    const double t = nz * -dy + ny * -dx;
    const double s = ((dx * dx + dy * dy) - t * t) / nx;
    weights[i] = static_cast<float>(std::exp(-(s * s + t * t) / 6.25));
  }
}

template <class Mode>
std::unique_ptr<Image> RenderGreySplats(const Shell *shell, Context *cxt, const char *func) {
  CheckShellContext(shell, cxt, func);
  SplatSetup s = MakeSplatSetup(cxt);
  auto interT = OpenFBuffer(s.shear.iw, s.shear.ih);
  auto outT = OpenFBuffer(s.isize, s.isize);
  auto out = CreateImage(s.isize, s.isize);
  const SplatTargets t{interT.get(), outT.get(), nullptr, nullptr, out.get()};
  const AxisRun outer = RunOfAxis(cxt, cxt->paxis);
  if (std::is_same<Mode, EWAMode>::value) {
    // The footprints live in this call's copy of the kernel taps, filled
    // per voxel from a table by normal index; the context's kernel is left
    // as it was.
    const size_t ntaps = s.taps.size();
    std::vector<float> footprint(kNormalTableEntries * ntaps);
    std::vector<unsigned char> known(kNormalTableEntries, 0);
    const std::vector<SplatTap> kernel = s.taps;
    TraverseOpenIntermediate<ShearRounding::kTruncate, true>(
        shell, cxt, s.shear, outer, false, t.interT,
        [&](int index, int x, int y, int z, int u, int v) {
          const int normal = shell->voxel[index].normal;
          float *w = &footprint[normal * ntaps];
          if (!known[normal]) {
            NormalFootprint(shell->normaltable->entry[normal], kernel, w);
            known[normal] = 1;
          }
          for (size_t i = 0; i < ntaps; i++) s.taps[i].weight = w[i];
          SplatVoxel<Mode>(s, t, shell, cxt, index, x, y, z, u, v);
        });
  } else {
    CompositeShell<Mode>(s, t, shell, cxt, outer, false);
  }
  return out;
}

}  // namespace

std::unique_ptr<Image> MIPShell(const Shell *shell, Context *cxt, const Curve *cs) {
  return RenderMIP(shell, cxt, cs, "MIPShell");
}

std::unique_ptr<CImage> CMIPShell(const Shell *shell, Context *cxt, const Curve *cs) {
  auto grey = RenderMIP(shell, cxt, cs, "CMIPShell");
  return Colorize(cxt, grey.get());
}

std::unique_ptr<CImage> GMIPShell(const Shell *shell, Context *cxt, const Curve *cs) {
  auto grey = RenderMIP(shell, cxt, cs, "GMIPShell");
  auto out = CreateCImage(grey->ncols, grey->nrows);
  for (int b = 0; b < 3; b++) out->C[b]->val = grey->val;
  return out;
}

std::unique_ptr<Image> DirectVolumeRendering(const Shell *shell, Context *cxt) {
  return RenderGreySplats<DVRMode>(shell, cxt, "DirectVolumeRendering");
}

std::unique_ptr<Image> EWASWShellRendering(const Shell *shell, Context *cxt) {
  return RenderGreySplats<EWAMode>(shell, cxt, "EWASWShellRendering");
}
