#include "core/adjacency.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>

#include "core/common.h"
#include "core/image.h"

// Larger relations are refused: a neighbourhood scan over tens of millions
// of displacements per pixel is a mistyped size, not a request.
static const long long kMaxAdjEntries = 1LL << 26;

std::unique_ptr<AdjRel> CreateAdjRel(int n) {
  if (n < 0 || n > kMaxAdjEntries)
    Error("Invalid number of displacements " + std::to_string(n), "CreateAdjRel");
  auto adj = std::make_unique<AdjRel>();
  adj->dx.assign(n, 0);
  adj->dy.assign(n, 0);
  adj->n = n;
  return adj;
}

void DestroyAdjRel(std::unique_ptr<AdjRel> *adj) {
  if (adj != nullptr) adj->reset();
}

static int CheckedRadius(float r, const char *func) {
  if (!(r >= 0.0f) || r > 1.0e6f) Error("Invalid radius " + std::to_string(r), func);
  long long side = 2LL * static_cast<long long>(r) + 1;
  if (side * side > kMaxAdjEntries) Error("Radius " + std::to_string(r) + " is too large", func);
  return static_cast<int>(r);
}

static void SwapDisplacements(AdjRel *adj, std::vector<float> *angle, std::vector<float> *length,
                              int i, int j) {
  std::swap(adj->dx[i], adj->dx[j]);
  std::swap(adj->dy[i], adj->dy[j]);
  std::swap((*angle)[i], (*angle)[j]);
  std::swap((*length)[i], (*length)[j]);
}

std::unique_ptr<AdjRel> Circular(float r) {
  int R = CheckedRadius(r, "Circular");
  int r2 = static_cast<int>(r * r);
  int n = 0;
  for (int dy = -R; dy <= R; dy++)
    for (int dx = -R; dx <= R; dx++)
      if (dx * dx + dy * dy <= r2) n++;

  auto adj = CreateAdjRel(n);
  std::vector<float> angle(n), length(n);
  int i = 0, origin = 0;
  for (int dy = -R; dy <= R; dy++)
    for (int dx = -R; dx <= R; dx++)
      if (dx * dx + dy * dy <= r2) {
        adj->dx[i] = dx;
        adj->dy[i] = dy;
        if (dx == 0 && dy == 0) origin = i;
        i++;
      }
  for (i = 0; i < n; i++) {
    int dx = adj->dx[i], dy = adj->dy[i];
    if (dx == 0 && dy == 0) {
      angle[i] = 0.0f;
      length[i] = 0.0f;
      continue;
    }
    length[i] = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    double a = std::atan2(static_cast<double>(-dy), static_cast<double>(-dx)) * 180.0 / 3.1415926536;
    if (a < 0.0) a += 360.0;
    angle[i] = static_cast<float>(a);
  }
  if (n > 0) SwapDisplacements(adj.get(), &angle, &length, 0, origin);

  // By increasing angle, then by increasing length among equal angles. No
  // two displacements share both, so this is the order the two selection
  // passes of the definition give, found in n log n instead of n^2 (a
  // radius of a few hundred took minutes).
  std::vector<int> order(n > 0 ? n - 1 : 0);
  for (i = 1; i < n; i++) order[i - 1] = i;
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    if (angle[a] != angle[b]) return angle[a] < angle[b];
    if (length[a] != length[b]) return length[a] < length[b];
    return a < b;
  });
  std::vector<int> sdx(n), sdy(n);
  for (i = 0; i < n; i++) {
    int from = i == 0 ? 0 : order[i - 1];
    sdx[i] = adj->dx[from];
    sdy[i] = adj->dy[from];
  }
  adj->dx = std::move(sdx);
  adj->dy = std::move(sdy);
  return adj;
}

std::unique_ptr<AdjRel> Box(int ncols, int nrows) {
  if (ncols < 0 || nrows < 0 || ncols > 1000000 || nrows > 1000000)
    Error("Invalid box size " + std::to_string(ncols) + " x " + std::to_string(nrows), "Box");
  if (ncols % 2 == 0) ncols++;
  if (nrows % 2 == 0) nrows++;
  long long n = static_cast<long long>(ncols) * nrows;
  if (n > kMaxAdjEntries)
    Error("Box of " + std::to_string(ncols) + " x " + std::to_string(nrows) + " is too large", "Box");
  auto adj = CreateAdjRel(static_cast<int>(n));
  int i = 1;  // entry 0 stays the origin
  for (int dy = -nrows / 2; dy <= nrows / 2; dy++)
    for (int dx = -ncols / 2; dx <= ncols / 2; dx++)
      if (dx != 0 || dy != 0) {
        adj->dx[i] = dx;
        adj->dy[i] = dy;
        i++;
      }
  return adj;
}

static void RequireRelation(const AdjRel *A, const char *func) {
  if (A == nullptr) Error("No adjacency relation", func);
}

// side = +1 for the right side, -1 for the left side.
static std::unique_ptr<AdjRel> SideRelation(const AdjRel *A, int side, const char *func) {
  RequireRelation(A, func);
  auto S = CreateAdjRel(A->n);
  for (int i = 0; i < A->n; i++) {
    double dx = A->dx[i], dy = A->dy[i];
    double d = std::sqrt(dx * dx + dy * dy);
    if (d > 0.0) {
      S->dx[i] = static_cast<int>(dx / 2.0 - side * dy / d);
      S->dy[i] = static_cast<int>(dy / 2.0 + side * dx / d);
    }
  }
  return S;
}

std::unique_ptr<AdjRel> RightSide(const AdjRel *A) { return SideRelation(A, +1, "RightSide"); }

std::unique_ptr<AdjRel> LeftSide(const AdjRel *A) { return SideRelation(A, -1, "LeftSide"); }

std::unique_ptr<AdjRel> ComplAdj(const AdjRel *A, const AdjRel *B) {
  RequireRelation(A, "ComplAdj");
  RequireRelation(B, "ComplAdj");
  const AdjRel *small = A, *large = B;
  if (A->n > B->n) std::swap(small, large);

  // Sorted displacements of the smaller relation, searched per entry of the
  // larger one: n log n even for large boxes.
  std::vector<std::pair<int, int>> known(small->n);
  for (int i = 0; i < small->n; i++) known[i] = {small->dx[i], small->dy[i]};
  std::sort(known.begin(), known.end());

  std::vector<int> kept;
  for (int i = 0; i < large->n; i++)
    if (!std::binary_search(known.begin(), known.end(), std::make_pair(large->dx[i], large->dy[i])))
      kept.push_back(i);
  if (kept.empty()) return nullptr;

  auto C = CreateAdjRel(static_cast<int>(kept.size()));
  for (int i = 0; i < C->n; i++) {
    C->dx[i] = large->dx[kept[i]];
    C->dy[i] = large->dy[kept[i]];
  }
  return C;
}

int FrameSize(const AdjRel *A) {
  RequireRelation(A, "FrameSize");
  int d = 0;
  for (int i = 0; i < A->n; i++) {
    d = std::max(d, std::abs(A->dx[i]));
    d = std::max(d, std::abs(A->dy[i]));
  }
  return d;
}

std::unique_ptr<AdjPxl> AdjPixels(const Image *img, const AdjRel *A) {
  RequireRelation(A, "AdjPixels");
  if (img == nullptr) Error("No image", "AdjPixels");
  auto adjpxl = std::make_unique<AdjPxl>();
  try {
    adjpxl->dp.resize(A->n);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "AdjPixels");
  }
  adjpxl->n = A->n;
  for (int i = 0; i < A->n; i++) {
    long long dp = A->dx[i] + static_cast<long long>(img->ncols) * A->dy[i];
    if (dp < INT_MIN || dp > INT_MAX) Error("Displacement offset out of range", "AdjPixels");
    adjpxl->dp[i] = static_cast<int>(dp);
  }
  return adjpxl;
}

void DestroyAdjPxl(std::unique_ptr<AdjPxl> *adjpxl) {
  if (adjpxl != nullptr) adjpxl->reset();
}
