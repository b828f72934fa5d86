#include "lib2d/filtering.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/stretch.h"
#include "lib2d/lanes.h"
#include "lib2d/mathematics.h"
#include "lib2d/segmentation.h"
#include "segment/voxelwise3.h"

// ---- kernels ----

std::unique_ptr<Kernel> MakeKernel(const char *coefs) {
  const char *s = coefs;
  auto nextField = [&s]() {
    while (*s == ' ' || *s == '\t' || *s == '\n') s++;
    if (*s == ',') s++;
  };
  char *end;
  long w = std::strtol(s, &end, 10);
  if (end == s) Error("The kernel text has no size", "MakeKernel");
  s = end;
  nextField();
  long h = std::strtol(s, &end, 10);
  if (end == s) Error("The kernel text has no size", "MakeKernel");
  s = end;
  if (w < 1 || h < 1 || w > 4097 || h > 4097)
    Error("Invalid kernel size " + std::to_string(w) + " x " + std::to_string(h), "MakeKernel");
  auto A = Box(static_cast<int>(w), static_cast<int>(h));
  auto K = CreateKernel(A.get());
  const int n = A->n;
  std::vector<float> text(n);
  for (int i = 0; i < n; i++) {
    nextField();
    double v = std::strtod(s, &end);
    if (end == s)
      Error("The kernel text holds " + std::to_string(i) + " weights, expected " +
                std::to_string(n),
            "MakeKernel");
    s = end;
    text[i] = static_cast<float>(v);
  }
  // The centre stands in the middle of the text but first among the
  // displacements: the weights before it shift up one place.
  K->weights[0] = text[n / 2];
  for (int i = 0; i < n / 2; i++) K->weights[i + 1] = text[i];
  for (int i = n / 2 + 1; i < n; i++) K->weights[i] = text[i];
  return K;
}

static double SquaredLength(const AdjRel *A, int i) {
  return static_cast<double>(A->dx[i]) * A->dx[i] + static_cast<double>(A->dy[i]) * A->dy[i];
}

std::unique_ptr<Kernel> LinearKernel(AdjRel *A) {
  auto K = CreateKernel(A);
  double dmax = 0.0;
  for (int i = 0; i < A->n; i++) dmax = std::max(dmax, std::sqrt(SquaredLength(A, i)));
  for (int i = 0; i < A->n; i++)
    K->weights[i] = static_cast<float>(1.0 - std::sqrt(SquaredLength(A, i)) / (dmax + 1.0));
  return K;
}

std::unique_ptr<Kernel> LaplacianKernel(AdjRel *A, float stddev) {
  const double s = static_cast<double>(stddev) * stddev;
  if (!(s > 0.0) || !std::isfinite(s))
    Error("Invalid standard deviation " + std::to_string(stddev), "LaplacianKernel");
  auto K = CreateKernel(A);
  for (int i = 0; i < A->n; i++) {
    double d2 = SquaredLength(A, i);
    K->weights[i] = static_cast<float>((s - d2) * std::exp(-d2 / (2.0 * s)) / (s * s));
  }
  return K;
}

static void CheckRadius(float R, const char *func) {
  if (!(R > 0.0f) || !std::isfinite(R)) Error("Invalid radius " + std::to_string(R), func);
}

std::unique_ptr<Kernel> CircularGaussianKernel(float R, float s, float f) {
  CheckRadius(R, "CircularGaussianKernel");
  auto A = Circular(R);
  auto K = CreateKernel(A.get());
  const double r2 = static_cast<double>(R) * R;
  for (int i = 0; i < A->n; i++)
    K->weights[i] = static_cast<float>(s * std::exp(-f * SquaredLength(A.get(), i) / r2));
  return K;
}

std::unique_ptr<Kernel> EllipticalGaussianKernel(const std::vector<float> &v, float E, float R,
                                                 float s, float f) {
  CheckRadius(R, "EllipticalGaussianKernel");
  if (v.size() < 2) Error("The direction needs two components", "EllipticalGaussianKernel");
  if (E == 0.0f || !std::isfinite(E))
    Error("Invalid elongation " + std::to_string(E), "EllipticalGaussianKernel");
  auto A = Circular(R);
  auto K = CreateKernel(A.get());
  const double r2 = static_cast<double>(R) * R;
  for (int i = 0; i < A->n; i++) {
    double along = static_cast<double>(v[0]) * -A->dx[i] + static_cast<double>(v[1]) * -A->dy[i];
    double p = along * along;
    double e = (SquaredLength(A.get(), i) - p) / E;
    K->weights[i] = static_cast<float>(s * std::exp(-f * (e * e + p) / r2));
  }
  return K;
}

std::unique_ptr<Kernel> FoldKernel(Kernel *K) {
  const AdjRel *D = K->displacements.get();
  auto folded = CreateAdjRel(D->n);
  for (int i = 0; i < D->n; i++) {
    folded->dx[i] = -D->dx[D->n - 1 - i];
    folded->dy[i] = -D->dy[D->n - 1 - i];
  }
  auto out = CreateKernel(folded.get());
  for (int i = 0; i < D->n; i++) out->weights[i] = K->weights[D->n - 1 - i];
  return out;
}

// ---- filters ----

namespace {

void CheckKernelFits(const Image *img, const Kernel *K, const char *func) {
  if (K->width > img->ncols || K->height > img->nrows)
    Error("A kernel of " + std::to_string(K->width) + " x " + std::to_string(K->height) +
              " is larger than the image of " + std::to_string(img->ncols) + " x " +
              std::to_string(img->nrows),
          func);
}

// ---- the correlation where single precision is exact ----
//
// With every weight w(i) = M(i) 2^e for integers M(i) and one exponent e,
// and every pixel within v, each partial sum of the correlation is an
// integer multiple of 2^e below v sum |M(i)| 2^e in magnitude. When that
// bound is below 2^24 2^e every partial sum is exact in single precision,
// in whatever order it is formed, and so equals the double sum in the
// kernel's order; pixels outside the image then add an exact 0 as well. The
// weights give the largest v for which this holds (0 when none does).
int ExactInSingleLimit(const Kernel *K) {
  int lsb = INT_MAX;
  double sumW = 0.0;
  for (float w : K->weights) {
    if (!std::isfinite(w)) return 0;
    if (w == 0.0f) continue;
    int e;
    const double m = std::frexp(std::fabs(static_cast<double>(w)), &e);
    long long mant = static_cast<long long>(std::ldexp(m, 24));
    lsb = std::min(lsb, e - 24 + __builtin_ctzll(mant));
    sumW += std::fabs(static_cast<double>(w));
  }
  if (lsb == INT_MAX) return INT_MAX;  // all zero
  const double sumM = std::ldexp(sumW, -lsb) * (1.0 + 1e-12);
  const double limit = std::min((16777216.0 - 1.0) / sumM, 2147483647.0 / (sumW * (1.0 + 1e-12)));
  return limit >= 1.0 ? static_cast<int>(std::min(limit, 1073741824.0)) : 0;
}

// out[x] = trunc(sum over i of w[i] src[i][x]) for x < W, summed in T
// (float or double) in the order of i, 4 L pixels a step while they last.
// Single-precision sums are only formed where they are exact, so a cast
// converts them; double ones are truncated as TruncToInt does.
template <int L, class T>
ORVANE_LANE_INLINE void RowSums(int W, int n, const T *w, const T *const *src, int *out) {
  typedef typename Lanes<T, L>::type F;
  typedef typename Lanes<int, L>::type I;
  auto put = [&](int *o, F a) __attribute__((always_inline)) {
    if constexpr (std::is_same_v<T, float>) {
      StoreLanes(o, ConvertLanes<I>(a));
    } else {
      // TruncToInt lane by lane: clamped to the integers, NaN to 0.
      const F lo = F{} + static_cast<double>(INT_MIN), hi = F{} + static_cast<double>(INT_MAX);
      F c = MinLanes(MaxLanes(a, lo), hi);
      c = a == a ? c : F{} + 0.0;
      StoreLanes(o, ConvertLanes<I>(c));
    }
  };
  int x = 0;
  for (; x + 4 * L <= W; x += 4 * L) {
    F a0 = F{} + T(0), a1 = a0, a2 = a0, a3 = a0;
    for (int i = 0; i < n; i++) {
      const F wi = F{} + w[i];
      const T *s = src[i] + x;
      a0 += wi * LoadLanes<F>(s);
      a1 += wi * LoadLanes<F>(s + L);
      a2 += wi * LoadLanes<F>(s + 2 * L);
      a3 += wi * LoadLanes<F>(s + 3 * L);
    }
    put(out + x, a0);
    put(out + x + L, a1);
    put(out + x + 2 * L, a2);
    put(out + x + 3 * L, a3);
  }
  for (; x < W; x++) {
    T a = 0;
    for (int i = 0; i < n; i++) a += w[i] * src[i][x];
    out[x] = std::is_same_v<T, float> ? static_cast<int>(a) : TruncToInt(a);
  }
}
template <int L>
ORVANE_LANE_INLINE void RowSumsSingle(int W, int n, const float *w, const float *const *src,
                                      int *out) {
  RowSums<L, float>(W, n, w, src, out);
}
template <int L>
ORVANE_LANE_INLINE void RowSumsDouble(int W, int n, const double *w, const double *const *src,
                                      int *out) {
  RowSums<L / 2, double>(W, n, w, src, out);  // as many bytes a lane group
}
ORVANE_LANE_VARIANTS(void, RowSumsSingle,
                     (int W, int n, const float *w, const float *const *src, int *out),
                     (W, n, w, src, out))
ORVANE_LANE_VARIANTS(void, RowSumsDouble,
                     (int W, int n, const double *w, const double *const *src, int *out),
                     (W, n, w, src, out))

// dst[x] = src[x] converted to T; false when a value lies beyond +-limit.
template <int L, class T>
ORVANE_LANE_INLINE bool RowConverted(const int *src, int n, int limit, T *dst) {
  typedef typename Lanes<T, L>::type F;
  typedef typename Lanes<int, L>::type I;
  I lo = I{} + 0, hi = lo;
  int x = 0;
  for (; x + L <= n; x += L) {
    const I v = LoadLanes<I>(src + x);
    lo = MinLanes(lo, v);
    hi = MaxLanes(hi, v);
    StoreLanes(dst + x, ConvertLanes<F>(v));
  }
  bool inside = true;
  for (int k = 0; k < L; k++) inside &= lo[k] >= -limit && hi[k] <= limit;
  for (; x < n; x++) {
    inside &= src[x] <= limit && src[x] >= -limit;
    dst[x] = static_cast<T>(src[x]);
  }
  return inside;
}
template <int L>
ORVANE_LANE_INLINE bool RowToSingle(const int *src, int n, int limit, float *dst) {
  return RowConverted<L, float>(src, n, limit, dst);
}
template <int L>
ORVANE_LANE_INLINE bool RowToDouble(const int *src, int n, int limit, double *dst) {
  return RowConverted<L / 2, double>(src, n, limit, dst);
}
ORVANE_LANE_VARIANTS(bool, RowToSingle, (const int *src, int n, int limit, float *dst),
                     (src, n, limit, dst))
ORVANE_LANE_VARIANTS(bool, RowToDouble, (const int *src, int n, int limit, double *dst),
                     (src, n, limit, dst))

// Correlate (below) over rows padded with zeros, summed in T, or false,
// leaving out partly written, when a pixel lies beyond limit. In single
// precision the limit keeps every sum exact (ExactInSingleLimit); in double
// the sums are those of the kernel's order, with a 0 added for an entry
// outside the image or of weight 0, which changes no sum but a zero's sign
// (and so no truncated result) while the weights are finite.
template <class T>
bool CorrelateRows(const Image *img, const Kernel *K, Image *out, int ox, int oy, int limit) {
  const AdjRel *D = K->displacements.get();
  const int nc = img->ncols, nr = img->nrows, W = out->ncols, H = out->nrows;
  std::vector<int> dx, dy;
  std::vector<T> w;
  for (int i = 0; i < D->n; i++)
    if (K->weights[i] != 0.0f) {
      dx.push_back(D->dx[i] - ox);
      dy.push_back(D->dy[i] - oy);
      w.push_back(K->weights[i]);
    }
  const int n = static_cast<int>(w.size());
  int padL = 0, padR = 0, lo = 0, hi = 0;
  for (int i = 0; i < n; i++) {
    padL = std::max(padL, -dx[i]);
    padR = std::max(padR, W - 1 + dx[i] - (nc - 1));
    lo = std::min(lo, dy[i]);
    hi = std::max(hi, dy[i]);
  }
  const int len = padL + nc + padR, span = hi - lo + 1;
  // Input rows converted once each and kept in a ring while the kernel
  // spans them.
  std::vector<std::vector<T>> ring(span, std::vector<T>(len, T(0)));
  std::vector<int> held(span, -1);
  bool inside = true;
  auto rowOf = [&](int sy) -> const T * {
    std::vector<T> &r = ring[sy % span];
    if (held[sy % span] != sy) {
      const int *src = img->val.data() + img->tbrow[sy];
      if constexpr (std::is_same_v<T, float>)
        inside &= RowToSingleBest(src, nc, limit, r.data() + padL);
      else
        inside &= RowToDoubleBest(src, nc, limit, r.data() + padL);
      held[sy % span] = sy;
    }
    return r.data() + padL;
  };
  std::vector<const T *> src(std::max(n, 1));
  std::vector<T> wy(std::max(n, 1));
  for (int y = 0; y < H && inside; y++) {
    int m = 0;
    for (int i = 0; i < n; i++) {
      const int sy = y + dy[i];
      if (sy < 0 || sy >= nr) continue;  // a row of zeros
      src[m] = rowOf(sy) + dx[i];
      wy[m++] = w[i];
    }
    int *o = out->val.data() + out->tbrow[y];
    if constexpr (std::is_same_v<T, float>)
      RowSumsSingleBest(W, m, wy.data(), src.data(), o);
    else
      RowSumsDoubleBest(W, m, wy.data(), src.data(), o);
  }
  return inside;
}


// out(x, y) = trunc(sum w(i) img(x + dx(i) - ox, y + dy(i) - oy)) over the
// entries whose pixel is inside, for an output of W x H. Runs a row at a
// time, one kernel entry after another, so the inner loop is a plain
// multiply-add over a stretch of the row without bounds tests.
std::unique_ptr<Image> Correlate(const Image *img, const Kernel *K, int W, int H, int ox, int oy) {
  auto out = CreateImage(W, H);
  const int limit = ExactInSingleLimit(K);
  if (limit > 0 && CorrelateRows<float>(img, K, out.get(), ox, oy, limit)) return out;
  bool finite = true;
  for (float w : K->weights) finite &= std::isfinite(w);
  if (finite && CorrelateRows<double>(img, K, out.get(), ox, oy, INT_MAX)) return out;
  const AdjRel *D = K->displacements.get();
  const int nc = img->ncols, nr = img->nrows;
  // The input rows a kernel spans, converted to double once each and kept
  // in a ring while output rows need them: the inner loop is then a plain
  // double multiply-add the compiler runs several pixels at a time.
  int lo = 0, hi = 0;
  for (int i = 0; i < D->n; i++) {
    lo = std::min(lo, D->dy[i]);
    hi = std::max(hi, D->dy[i]);
  }
  const int span = hi - lo + 1;
  std::vector<std::vector<double>> ring(span, std::vector<double>(nc));
  std::vector<int> held(span, -1);
  auto rowOf = [&](int sy) -> const double * {
    const int slot = sy % span;
    if (held[slot] != sy) {
      const int *src = img->val.data() + img->tbrow[sy];
      double *dst = ring[slot].data();
      for (int x = 0; x < nc; x++) dst[x] = src[x];
      held[slot] = sy;
    }
    return ring[slot].data();
  };
  std::vector<double> acc(W);
  for (int y = 0; y < H; y++) {
    std::fill(acc.begin(), acc.end(), 0.0);
    for (int i = 0; i < D->n; i++) {
      const int sy = y + D->dy[i] - oy;
      if (sy < 0 || sy >= nr) continue;
      const int shift = D->dx[i] - ox;
      const int x0 = std::max(0, -shift), x1 = std::min(W, nc - shift);
      const double w = K->weights[i];
      const double *row = rowOf(sy);
      double *a = acc.data();
      int x = x0;
      // Four at a time, written out, so that the compiler packs them.
      for (; x + 4 <= x1; x += 4) {
        a[x] += w * row[x + shift];
        a[x + 1] += w * row[x + 1 + shift];
        a[x + 2] += w * row[x + 2 + shift];
        a[x + 3] += w * row[x + 3 + shift];
      }
      for (; x < x1; x++) a[x] += w * row[x + shift];
    }
    int *o = out->val.data() + out->tbrow[y];
    for (int x = 0; x < W; x++) o[x] = TruncToInt(acc[x]);
  }
  return out;
}

int LargestDx(const AdjRel *A) {
  int m = 0;
  for (int i = 0; i < A->n; i++) m = std::max(m, A->dx[i]);
  return m;
}
int LargestDy(const AdjRel *A) {
  int m = 0;
  for (int i = 0; i < A->n; i++) m = std::max(m, A->dy[i]);
  return m;
}

// The values of p's neighbours under A that lie inside the image.
struct NeighbourValues {
  const Image *img;
  const AdjRel *A;
  std::vector<int> dp;  // offsets for img's width
  int frame;

  NeighbourValues(const Image *img_, const AdjRel *A_) : img(img_), A(A_), frame(FrameSize(A_)) {
    dp.resize(A->n);
    for (int i = 0; i < A->n; i++) dp[i] = A->dx[i] + img->ncols * A->dy[i];
  }
  int Gather(int x, int y, int *v) const {
    const int p = x + img->tbrow[y];
    const int *val = img->val.data();
    int k = 0;
    if (x >= frame && y >= frame && x < img->ncols - frame && y < img->nrows - frame) {
      for (int i = 0; i < A->n; i++) v[k++] = val[p + dp[i]];
    } else {
      for (int i = 0; i < A->n; i++)
        if (img->Valid(x + A->dx[i], y + A->dy[i])) v[k++] = val[p + dp[i]];
    }
    return k;
  }
};

// A 3 x 3 square in any order: the median of nine values is then found
// from the sorted columns, each column sorted once per row.
bool IsSquare3(const AdjRel *A) {
  if (A->n != 9) return false;
  int seen = 0;
  for (int i = 0; i < 9; i++) {
    if (std::abs(A->dx[i]) > 1 || std::abs(A->dy[i]) > 1) return false;
    seen |= 1 << ((A->dy[i] + 1) * 3 + A->dx[i] + 1);
  }
  return seen == 0x1ff;
}

// Median of the interior of a 3 x 3 filter: columns sorted (lo, mid, hi),
// then the median is med(max of los, med of mids, min of his), L pixels a
// step while they last.
template <class V>
ORVANE_LANE_INLINE void SortColumns(const int *a, const int *b, const int *c, int *lo, int *mid,
                                    int *hi) {
  V u = LoadLanes<V>(a), v = LoadLanes<V>(b), w = LoadLanes<V>(c);
  SortLanes(u, v);
  SortLanes(v, w);
  SortLanes(u, v);
  StoreLanes(lo, u);
  StoreLanes(mid, v);
  StoreLanes(hi, w);
}
template <class V>
ORVANE_LANE_INLINE V MedianOfColumns(const int *lo, const int *mid, const int *hi) {
  const V l = MaxLanes(MaxLanes(LoadLanes<V>(lo - 1), LoadLanes<V>(lo)), LoadLanes<V>(lo + 1));
  const V h = MinLanes(MinLanes(LoadLanes<V>(hi - 1), LoadLanes<V>(hi)), LoadLanes<V>(hi + 1));
  V m0 = LoadLanes<V>(mid - 1), m1 = LoadLanes<V>(mid);
  SortLanes(m0, m1);
  const V m = MaxLanes(m0, MinLanes(m1, LoadLanes<V>(mid + 1)));
  return MaxLanes(MinLanes(l, m), MinLanes(MaxLanes(l, m), h));
}

// Row y of the interior; lo, mid and hi hold a row's width each.
template <int L>
ORVANE_LANE_INLINE void MedianRow3(const Image *img, Image *out, int y, int *lo, int *mid, int *hi) {
  typedef typename Lanes<int, L>::type V;
  const int nc = img->ncols;
  const int *a = img->val.data() + img->tbrow[y - 1];
  const int *b = a + nc, *c = b + nc;
  int x = 0;
  for (; x + L <= nc; x += L) SortColumns<V>(a + x, b + x, c + x, lo + x, mid + x, hi + x);
  for (; x < nc; x++) SortColumns<int>(a + x, b + x, c + x, lo + x, mid + x, hi + x);
  int *o = out->val.data() + out->tbrow[y];
  for (x = 1; x + L + 1 <= nc; x += L) StoreLanes(o + x, MedianOfColumns<V>(lo + x, mid + x, hi + x));
  for (; x + 1 < nc; x++) o[x] = MedianOfColumns<int>(lo + x, mid + x, hi + x);
}
ORVANE_LANE_VARIANTS(void, MedianRow3,
                     (const Image *img, Image *out, int y, int *lo, int *mid, int *hi),
                     (img, out, y, lo, mid, hi))

// The median of the pixels whose every neighbour under A lies inside the
// image, by a histogram of the window slid along each row: a step to the
// right changes, on each row of the relation, the counts at the positions
// where the relation's multiplicity changes, and the median moves from
// where it was by the counts it passes. Values are taken from lo, with
// `levels` levels. Returns the box of pixels done: x0 .. x1, y0 .. y1 (empty
// when x0 > x1 or y0 > y1).
struct Box2 {
  int x0, x1, y0, y1;
};
Box2 MedianBySlidingHistogram(const Image *img, const AdjRel *A, int lo, int levels, Image *out) {
  const int nc = img->ncols, nr = img->nrows, n = A->n;
  int minDx = 0, maxDx = 0, minDy = 0, maxDy = 0;
  for (int i = 0; i < n; i++) {
    minDx = std::min(minDx, A->dx[i]);
    maxDx = std::max(maxDx, A->dx[i]);
    minDy = std::min(minDy, A->dy[i]);
    maxDy = std::max(maxDy, A->dy[i]);
  }
  const Box2 box{-minDx, nc - 1 - maxDx, -minDy, nr - 1 - maxDy};
  if (box.x0 > box.x1 || box.y0 > box.y1) return box;
  // Per row of the relation, the change of multiplicity at each position
  // (relative to the pixel) when the window steps right.
  struct Change {
    int offset, delta;  // the position as an address offset
  };
  std::vector<Change> step;
  const int w = maxDx - minDx + 1;
  for (int dy = minDy; dy <= maxDy; dy++) {
    std::vector<int> mult(w + 2, 0);  // mult[dx - minDx + 1]
    for (int i = 0; i < n; i++)
      if (A->dy[i] == dy) mult[A->dx[i] - minDx + 1]++;
    for (int r = minDx; r <= maxDx + 1; r++) {
      const int delta = mult[r - minDx] - mult[r - minDx + 1];  // mult(r - 1) - mult(r)
      if (delta != 0) step.push_back({r + dy * nc, delta});
    }
  }
  const int t = n / 2;  // the median is the value of rank t (from 0)
  std::vector<int> hist(levels);
  const int *val = img->val.data();
  for (int y = box.y0; y <= box.y1; y++) {
    std::fill(hist.begin(), hist.end(), 0);
    const int p0 = box.x0 + img->tbrow[y];
    for (int i = 0; i < n; i++) hist[val[p0 + A->dx[i] + A->dy[i] * nc] - lo]++;
    int m = 0, below = 0;  // below: how many values are under m
    int *o = out->val.data() + out->tbrow[y];
    for (int x = box.x0;; x++) {
      while (below > t) below -= hist[--m];
      while (below + hist[m] <= t) below += hist[m++];
      o[x] = m + lo;
      if (x == box.x1) break;
      const int *v0 = val + x + img->tbrow[y];
      for (const Change &c : step) {
        const int v = v0[c.offset] - lo;
        hist[v] += c.delta;
        if (v < m) below += c.delta;
      }
    }
  }
  return box;
}

}  // namespace

std::unique_ptr<Image> LinearFilter(Image *img, Kernel *K) {
  CheckKernelFits(img, K, "LinearFilter");
  auto F = FoldKernel(K);
  const AdjRel *D = F->displacements.get();
  return Correlate(img, F.get(), img->ncols + K->width - 1, img->nrows + K->height - 1,
                   LargestDx(D), LargestDy(D));
}

std::unique_ptr<Image> LinearFilter2(Image *img, Kernel *K) {
  CheckKernelFits(img, K, "LinearFilter2");
  return Correlate(img, K, img->ncols, img->nrows, 0, 0);
}

std::unique_ptr<Image> LaplacianBorder(Image *img, Kernel *K) {
  CheckKernelFits(img, K, "LaplacianBorder");
  long long L = MaximumValue(img);
  while (L > 255) L /= 2;
  L = std::max(L, 0LL);
  // The full convolution without its frame is the correlation with the
  // folded kernel.
  auto F = FoldKernel(K);
  auto f = Correlate(img, F.get(), img->ncols, img->nrows, 0, 0);
  auto border = CreateImage(img->ncols, img->nrows);
  const AdjRel *D = K->displacements.get();
  for (int y = 0; y < img->nrows; y++)
    for (int x = 0; x < img->ncols; x++) {
      if (f->at(x, y) < 0) continue;
      for (int i = 0; i < D->n; i++) {
        int qx = x + D->dx[i], qy = y + D->dy[i];
        if (f->Valid(qx, qy) && f->at(qx, qy) < 0) {
          border->at(x, y) = 1;
          break;
        }
      }
    }
  const int top = MaximumValue(border.get());
  if (top == 0) return border;
  return LinearStretch(border.get(), 0, top, 0, static_cast<int>(L));
}

std::unique_ptr<Image> MedianFilter(Image *img, AdjRel *A) {
  auto out = CreateImage(img->ncols, img->nrows);
  NeighbourValues nv(img, A);
  std::vector<int> v(std::max(A->n, 1));
  auto sorted = [&](int x, int y) {
    const int k = nv.Gather(x, y, v.data());
    if (k == 0) {
      out->at(x, y) = img->at(x, y);
      return;
    }
    std::nth_element(v.begin(), v.begin() + k / 2, v.begin() + k);
    out->at(x, y) = v[k / 2];
  };
  const int nc = img->ncols, nr = img->nrows;
  if (IsSquare3(A) && nc >= 3 && nr >= 3) {
    // The interior by sorted columns, the outermost rows and columns by
    // sorting what lies inside, each row's ends while the row is at hand.
    std::vector<int> lo(nc), mid(nc), hi(nc);
    for (int x = 0; x < nc; x++) sorted(x, 0);
    for (int y = 1; y + 1 < nr; y++) {
      MedianRow3Best(img, out.get(), y, lo.data(), mid.data(), hi.data());
      sorted(0, y);
      sorted(nc - 1, y);
    }
    for (int x = 0; x < nc; x++) sorted(x, nr - 1);
    return out;
  }
  // Relations of four entries or more over images of few levels by a
  // sliding histogram, the pixels near the border by sorting.
  Box2 done{0, -1, 0, -1};
  if (A->n >= 4 && !img->val.empty()) {
    const long long lo = MinimumValue(img), levels = MaximumValue(img) - lo + 1;
    if (levels <= 4096 && levels <= 4LL * static_cast<long long>(img->val.size()))
      done = MedianBySlidingHistogram(img, A, static_cast<int>(lo), static_cast<int>(levels),
                                      out.get());
  }
  for (int y = 0; y < nr; y++)
    for (int x = 0; x < nc; x++) {
      if (x == done.x0 && y >= done.y0 && y <= done.y1) x = done.x1 + 1;
      if (x < nc) sorted(x, y);
    }
  return out;
}

std::unique_ptr<Image> ModeFilter(Image *img, AdjRel *A) {
  auto out = CreateImage(img->ncols, img->nrows);
  NeighbourValues nv(img, A);
  std::vector<int> v(std::max(A->n, 1));
  for (int y = 0; y < img->nrows; y++)
    for (int x = 0; x < img->ncols; x++) {
      const int own = img->at(x, y);
      int k = nv.Gather(x, y, v.data());
      std::sort(v.begin(), v.begin() + k);
      int mode = own, modeRun = 0, ownRun = 0;
      for (int i = 0; i < k;) {
        int j = i;
        while (j < k && v[j] == v[i]) j++;
        if (j - i >= modeRun) {
          modeRun = j - i;
          mode = v[i];
        }
        if (v[i] == own) ownRun = j - i;
        i = j;
      }
      out->at(x, y) = ownRun == modeRun ? own : mode;
    }
  return out;
}

std::unique_ptr<Image> SobelFilter(Image *img) {
  auto Kx = MakeKernel("3,3,-1.0,-2.0,-1.0,0.0,0.0,0.0,1.0,2.0,1.0");
  auto Ky = MakeKernel("3,3,-1.0,0.0,1.0,-2.0,0.0,2.0,-1.0,0.0,1.0");
  CheckKernelFits(img, Kx.get(), "SobelFilter");
  auto gx = LinearFilter2(img, Kx.get());
  auto gy = LinearFilter2(img, Ky.get());
  return ImageMagnitude(gx.get(), gy.get());
}

std::unique_ptr<Image> ColorGradient(CImage *cimg) {
  auto ycbcr = CImageRGBtoYCbCr(cimg);
  auto gcb = SobelFilter(ycbcr->C[1].get());
  auto gcr = SobelFilter(ycbcr->C[2].get());
  auto larger = Or(gcb.get(), gcr.get());
  return SQRT(larger.get());
}

std::unique_ptr<Image> ShapeFilter(Image *bin, float perc) {
  auto objects = CreateImage(bin->ncols, bin->nrows);
  for (size_t p = 0; p < bin->val.size(); p++) objects->val[p] = bin->val[p] > 0;
  auto A = Circular(1.5f);
  auto label = LabelBinComp(objects.get(), A.get());
  std::vector<long long> area(MaximumValue(label.get()) + 1, 0);
  for (int l : label->val) area[l]++;
  long long largest = 0;
  for (size_t l = 1; l < area.size(); l++) largest = std::max(largest, area[l]);
  const double least = static_cast<double>(perc) * static_cast<double>(largest) / 100.0;
  auto out = CreateImage(bin->ncols, bin->nrows);
  for (size_t p = 0; p < bin->val.size(); p++) {
    int l = label->val[p];
    out->val[p] = l > 0 && static_cast<double>(area[l]) >= least;
  }
  return out;
}
