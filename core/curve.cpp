#include "core/curve.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "core/common.h"
#include "core/fileio.h"

// Resampling or line sampling beyond this many points is a mistyped step or
// coordinate, not a request (it would take gigabytes).
static const long long kMaxSampledPoints = 1LL << 28;

static std::string Number(double v) {
  char buf[64];
  snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

template <class C>
static void ResizeCurve(C *curve, int n, const char *func) {
  if (n < 0) Error("Invalid number of points " + std::to_string(n), func);
  CheckArrayBytes(n, (std::is_same_v<C, Curve3D> ? 3 : 2) * sizeof(double), "A curve", func);
  try {
    curve->X.assign(n, 0.0);
    curve->Y.assign(n, 0.0);
    if constexpr (std::is_same_v<C, Curve3D>) curve->Z.assign(n, 0.0);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", func);
  }
  curve->n = n;
}

std::unique_ptr<Curve> CreateCurve(int n) {
  auto curve = std::make_unique<Curve>();
  ResizeCurve(curve.get(), n, "CreateCurve");
  return curve;
}

void DestroyCurve(std::unique_ptr<Curve> *curve) {
  if (curve != nullptr) curve->reset();
}

std::unique_ptr<Curve3D> CreateCurve3D(int n) {
  auto curve = std::make_unique<Curve3D>();
  ResizeCurve(curve.get(), n, "CreateCurve3D");
  return curve;
}

void DestroyCurve3D(std::unique_ptr<Curve3D> *curve) {
  if (curve != nullptr) curve->reset();
}

std::unique_ptr<Curve> CopyCurve(Curve *curve) {
  auto copy = CreateCurve(curve->n);
  copy->X = curve->X;
  copy->Y = curve->Y;
  return copy;
}

// ---- files ----

// The file is a stream of blank-separated numbers: the count, then x and
// y of each point. Numbers are read as "%d" and "%f" read them, so a file
// written by hand with other spacing still loads.
std::unique_ptr<Curve> ReadCurve(const char *filename) {
  const char *func = "ReadCurve";
  std::string text = ReadWholeFile(filename, func, std::string("Cannot open ") + filename);
  std::string where = std::string("Cannot read curve file ") + filename + ": ";
  const char *s = text.c_str();
  char *end = nullptr;
  errno = 0;
  long count = strtol(s, &end, 10);
  if (end == s) Error(where + "no point count", func);
  // The count ends at a blank: "0x10" or "16abc" is no count, not 0 or 16.
  const bool ended = *end == '\0' || isspace(static_cast<unsigned char>(*end));
  if (errno == ERANGE || count < 0 || count > kMaxSampledPoints || !ended) {
    const char *word = end;
    while (*word != '\0' && !isspace(static_cast<unsigned char>(*word))) ++word;
    Error(where + "invalid point count " + std::string(s, word - s), func);
  }
  s = end;

  // Read before allocating: a count the file cannot back must not cost
  // memory.
  std::vector<double> x, y;
  long found = 0;
  for (; found < count; ++found) {
    double v[2];
    for (double &value : v) {
      float f = strtof(s, &end);
      if (end == s) {
        while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\v' || *s == '\f')
          ++s;
        if (static_cast<size_t>(s - text.c_str()) >= text.size())
          Error(where + "expected " + std::to_string(count) + " points, found " +
                    std::to_string(found),
                func);
        Error(where + "malformed number in point " + std::to_string(found + 1), func);
      }
      value = f;
      s = end;
    }
    x.push_back(v[0]);
    y.push_back(v[1]);
  }
  auto curve = CreateCurve(static_cast<int>(count));
  curve->X = std::move(x);
  curve->Y = std::move(y);
  return curve;
}

void WriteCurve(Curve *curve, const char *filename) {
  AtomicWriter out(filename, "WriteCurve", std::string("Cannot open ") + filename);
  out.Printf("%d\n", curve->n);
  for (int i = 0; i < curve->n; i++) out.Printf("%f %f\n", curve->X[i], curve->Y[i]);
  out.Commit();
}

void WriteCurve3D(Curve3D *curve, const char *filename) {
  AtomicWriter out(filename, "WriteCurve3D", std::string("Cannot open ") + filename);
  for (int i = 0; i < curve->n; i++)
    out.Printf("%f %f %f\n", curve->X[i], curve->Y[i], curve->Z[i]);
  out.Commit();
}

// ---- sorting ----

// The key of a Curve is y, of a Curve3D z; a swap moves whole points.
static std::vector<double> &Keys(Curve *c) { return c->Y; }
static std::vector<double> &Keys(Curve3D *c) { return c->Z; }
static void SwapPoints(Curve *c, int i, int j) {
  std::swap(c->X[i], c->X[j]);
  std::swap(c->Y[i], c->Y[j]);
}
static void SwapPoints(Curve3D *c, int i, int j) {
  std::swap(c->X[i], c->X[j]);
  std::swap(c->Y[i], c->Y[j]);
  std::swap(c->Z[i], c->Z[j]);
}

template <class C>
static void CheckRange(const C *c, int left, int right, const char *func) {
  if (left < 0 || right >= c->n) {
    Error("Index range " + std::to_string(left) + ".." + std::to_string(right) +
              " outside a curve of " + std::to_string(c->n) + " points",
          func);
  }
}

// The partition keeps the pivot at `left` during the scan (i passes it
// first, and j stops there at the latest), then drops it between the two
// sides. Which of equal keys ends where follows
// from these exact comparisons.
template <class C>
static int Partition(C *c, int left, int right, int order) {
  std::vector<double> &key = Keys(c);
  double pivot = key[left];
  int i = left, j = right;
  bool increasing = order == 1;
  do {
    if (increasing) {
      while (i <= j && key[i] <= pivot) i++;
      while (j > left && key[j] > pivot) j--;
    } else {
      while (i <= j && key[i] >= pivot) i++;
      while (j > left && key[j] < pivot) j--;
    }
    // With ordinary numbers the scans leave i > j or i < j; i == j only
    // happens at a NaN key, which would otherwise scan forever.
    if (i >= j) break;
    SwapPoints(c, i, j);
    i++;
    j--;
  } while (i <= j);
  if (j != left) SwapPoints(c, left, j);
  return j;
}

// Quicksort on Partition. The two sides of a pivot are independent, so an
// explicit stack gives the same result as recursion without its depth
// (reverse-sorted input would otherwise nest once per point).
template <class C>
static void Quicksort(C *c, int left, int right, int order) {
  std::vector<std::pair<int, int>> pending{{left, right}};
  while (!pending.empty()) {
    auto [lo, hi] = pending.back();
    pending.pop_back();
    while (lo < hi) {
      int p = Partition(c, lo, hi, order);
      if (lo < p - 1) pending.emplace_back(lo, p - 1);
      lo = p + 1;
    }
  }
}

int PartCurve(Curve *curve, int left, int right, int order) {
  CheckRange(curve, left, right, "PartCurve");
  if (left > right) Error("Empty index range", "PartCurve");
  return Partition(curve, left, right, order);
}

int PartCurve3D(Curve3D *curve, int left, int right, int order) {
  CheckRange(curve, left, right, "PartCurve3D");
  if (left > right) Error("Empty index range", "PartCurve3D");
  return Partition(curve, left, right, order);
}

void SortCurve(Curve *curve, int left, int right, int order) {
  if (left >= right) return;
  CheckRange(curve, left, right, "SortCurve");
  Quicksort(curve, left, right, order);
}

void SortCurve3D(Curve3D *curve, int left, int right, int order) {
  if (left >= right) return;
  CheckRange(curve, left, right, "SortCurve3D");
  Quicksort(curve, left, right, order);
}

void InvertXY(Curve *curve) { curve->X.swap(curve->Y); }

static void SortByX(Curve *curve) {
  InvertXY(curve);
  SortCurve(curve, 0, curve->n - 1, 1);
  InvertXY(curve);
}

// ---- resampling and joining ----

// Output k sits at x0 + k dx (accumulated). At most one source point is
// taken per output step, so source points closer than dx are taken one step
// late; between them y grows by the slope of the segment that starts at the
// point last taken. A segment of zero width contributes no slope: its end
// point is taken at the next step anyway.
std::unique_ptr<Curve> FillCurve(Curve *curve, double dx) {
  const char *func = "FillCurve";
  if (!(dx > 0.0) || !std::isfinite(dx)) Error("Invalid step " + Number(dx), func);
  int n = curve->n;
  if (n <= 0) Error("Cannot resample an empty curve", func);
  SortByX(curve);
  const std::vector<double> &X = curve->X, &Y = curve->Y;

  double span = (X[n - 1] - X[0]) / dx;
  if (!(span >= 0.0) || span >= static_cast<double>(kMaxSampledPoints)) {
    Error("Cannot resample x from " + Number(X[0]) + " to " + Number(X[n - 1]) + " at step " +
              Number(dx),
          func);
  }
  int m = static_cast<int>(span) + 1;
  auto out = CreateCurve(m);

  double x = X[0], y = Y[0], slope = 0.0;
  int j = 0;
  for (int k = 0; k < m; k++) {
    if (j < n && X[j] <= x) {
      y = Y[j];
      j++;
      if (j < n) {
        double run = X[j] - X[j - 1];
        slope = run != 0.0 ? (Y[j] - Y[j - 1]) / run * dx : 0.0;
      }
    }
    out->X[k] = x;
    out->Y[k] = y;
    x += dx;
    y += slope;
  }
  return out;
}

std::unique_ptr<Curve> JoinCurve(Curve *c1, Curve *c2) {
  long long total = static_cast<long long>(c1->n) + c2->n;
  if (total > kMaxSampledPoints) Error("Joined curve is too large", "JoinCurve");
  auto all = CreateCurve(static_cast<int>(total));
  std::copy(c1->X.begin(), c1->X.end(), all->X.begin());
  std::copy(c1->Y.begin(), c1->Y.end(), all->Y.begin());
  std::copy(c2->X.begin(), c2->X.end(), all->X.begin() + c1->n);
  std::copy(c2->Y.begin(), c2->Y.end(), all->Y.begin() + c1->n);
  SortByX(all.get());

  // A dropped point is not compared with its successor: of three equal x
  // the first and the third stay.
  std::vector<char> dropped(all->n, 0);
  int kept = all->n;
  for (int i = 0; i + 1 < all->n; i++) {
    if (dropped[i] || all->X[i] != all->X[i + 1]) continue;
    if (all->Y[i + 1] > all->Y[i]) all->Y[i] = all->Y[i + 1];
    dropped[i + 1] = 1;
    kept--;
  }
  auto joined = CreateCurve(kept);
  for (int i = 0, k = 0; i < all->n; i++) {
    if (dropped[i]) continue;
    joined->X[k] = all->X[i];
    joined->Y[k] = all->Y[i];
    k++;
  }
  return joined;
}

double CurveMaximum(Curve *curve) {
  double max = 0.0;
  for (int i = 0; i < curve->n; i++)
    if (curve->Y[i] > max) max = curve->Y[i];
  return max;
}

std::unique_ptr<Curve3D> GetLinePoints(std::vector<int> p, std::vector<int> q) {
  const char *func = "GetLinePoints";
  if (p.size() != 3 || q.size() != 3) Error("A point needs three integers", func);
  double d[3];
  for (int c = 0; c < 3; c++) d[c] = static_cast<double>(q[c]) - p[c];
  double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  double rounded = std::round(len);
  if (rounded > static_cast<double>(kMaxSampledPoints))
    Error("Line of length " + Number(len) + " is too long", func);
  int n = static_cast<int>(rounded);
  auto line = CreateCurve3D(n);
  std::vector<double> *axis[3] = {&line->X, &line->Y, &line->Z};
  for (int k = 0; k < n; k++)
    for (int c = 0; c < 3; c++) (*axis[c])[k] = p[c] + k * d[c] / len;
  return line;
}
