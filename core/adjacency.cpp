#include "core/adjacency.h"

#include <cmath>
#include <string>
#include <utility>

#include "core/common.h"

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

  // Selection sorts keep the first of equal keys, which fixes the order of
  // equal angles before the length pass looks at them.
  for (i = 1; i < n - 1; i++) {
    int k = i;
    for (int j = i + 1; j < n; j++)
      if (angle[j] < angle[k]) k = j;
    if (k != i) SwapDisplacements(adj.get(), &angle, &length, i, k);
  }
  for (i = 1; i < n - 1; i++) {
    int k = i;
    for (int j = i + 1; j < n && angle[j] == angle[i]; j++)
      if (length[j] < length[k]) k = j;
    if (k != i) SwapDisplacements(adj.get(), &angle, &length, i, k);
  }
  return adj;
}
