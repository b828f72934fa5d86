#include "lib2d/morphology.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/queue.h"
#include "lib2d/mathematics.h"
#include "lib2d/neighbours.h"

namespace {

// Levels lo .. hi of the marker as a bucket count, or Error.
int LevelCount(const Image *marker, const char *func) {
  const long long span = 1LL * MaximumValue(marker) - MinimumValue(marker);
  if (span >= kMaxLevels)
    Error("The marker spans " + std::to_string(span) + " levels, more than a queue holds", func);
  return static_cast<int>(span) + 1;
}

}  // namespace

namespace {

// The reconstruction of the marker under (dilate) or above (erode) img:
// values spread from higher to lower pixels (dilate, served from the top
// level down) or from lower to higher ones (erode, from the bottom up),
// each capped by img.
std::unique_ptr<Image> Reconstruct(const Image *img, const Image *marker, const AdjRel *A,
                                   bool dilate, const char *func) {
  CheckSameSize(img, marker, func);
  const int nb = LevelCount(marker, func);
  const int M = MaximumValue(marker), m = MinimumValue(marker);
  auto key = [=](int v) { return dilate ? M - v : v - m; };
  auto R = CopyImage(marker);
  const int n = static_cast<int>(R->val.size());
  int *r = R->val.data();
  const int *I = img->val.data();
  auto Q = CreateQueue(nb, n);
  for (int p = 0; p < n; p++) InsertQueue(Q.get(), key(r[p]), p);
  Neighbours N(img, A);
  for (int p; (p = RemoveQueue(Q.get())) != -1;) {
    const int rp = r[p];
    N.ForEach(p, [&](int q) {
      if (dilate ? rp <= r[q] : rp >= r[q]) return;
      const int c = dilate ? std::min(I[q], rp) : std::max(I[q], rp);
      if (dilate ? c > r[q] : c < r[q]) {
        UpdateQueue(Q.get(), q, key(r[q]), key(c));
        r[q] = c;
      }
    });
  }
  return R;
}

// The same reconstruction by a raster scan, an anti-raster scan and a
// first-in first-out wave from the pixels the scans left able to spread.
// The reconstruction is unique, so this gives what the queue gives; it
// needs a symmetric relation and a marker on the right side of img, and
// visits the pixels in memory order instead of by level.
template <bool kDilate>
std::unique_ptr<Image> ReconstructByScans(const Image *img, const Image *marker,
                                          const AdjRel *A) {
  auto better = [](int a, int b) { return kDilate ? std::max(a, b) : std::min(a, b); };
  auto cap = [](int mask, int v) { return kDilate ? std::min(mask, v) : std::max(mask, v); };
  auto below = [](int a, int b) { return kDilate ? a < b : a > b; };  // a can still grow to b
  auto R = CopyImage(marker);
  int *r = R->val.data();
  const int *I = img->val.data();
  const int n = static_cast<int>(R->val.size());
  const Neighbours N(img, A), before = N.Scanned(true), after = N.Scanned(false);
  for (int p = 0; p < n; p++) {
    int v = r[p];
    before.ForEach(p, [&](int q) { v = better(v, r[q]); });
    r[p] = cap(I[p], v);
  }
  std::vector<int> fifo;
  for (int p = n - 1; p >= 0; p--) {
    int v = r[p];
    after.ForEach(p, [&](int q) { v = better(v, r[q]); });
    r[p] = cap(I[p], v);
    bool spreads = false;
    after.ForEach(p, [&](int q) { spreads |= below(r[q], r[p]) && below(r[q], I[q]); });
    if (spreads) fifo.push_back(p);
  }
  for (size_t k = 0; k < fifo.size(); k++) {
    const int p = fifo[k];
    N.ForEach(p, [&](int q) {
      if (below(r[q], r[p]) && I[q] != r[q]) {
        r[q] = cap(I[q], r[p]);
        fifo.push_back(q);
      }
    });
  }
  return R;
}

// Whether every pixel of a lies at or below (at or above) b.
bool Bounded(const Image *a, const Image *b, bool below) {
  for (size_t p = 0; p < a->val.size(); p++)
    if (below ? a->val[p] > b->val[p] : a->val[p] < b->val[p]) return false;
  return true;
}

}  // namespace

std::unique_ptr<Image> InfRec(const Image *img, const Image *marker, const AdjRel *A) {
  CheckSameSize(img, marker, "InfRec");
  if (IsSymmetric(A) && Bounded(marker, img, true)) return ReconstructByScans<true>(img, marker, A);
  return Reconstruct(img, marker, A, true, "InfRec");
}

std::unique_ptr<Image> SupRec(const Image *img, const Image *marker, const AdjRel *A) {
  CheckSameSize(img, marker, "SupRec");
  if (IsSymmetric(A) && Bounded(marker, img, false)) return ReconstructByScans<false>(img, marker, A);
  return Reconstruct(img, marker, A, false, "SupRec");
}

void iftBasins(AnnImg *aimg, const AdjRel *A) {
  const Image *img = aimg->img;
  CheckSameSize(img, aimg->cost.get(), "iftBasins");
  int top = CheckValueRange(img, kMaxLevels - 1, "iftBasins");
  int *C = aimg->cost->val.data();
  int *L = aimg->label->val.data();
  int *P = aimg->pred->val.data();
  const int *I = img->val.data();
  const int n = static_cast<int>(img->val.size());
  for (int p = 0; p < n; p++) {
    if (C[p] == kImageInfinity) continue;
    if (C[p] < 0 || C[p] >= kMaxLevels)
      Error("Pixel " + std::to_string(p) + " has the cost " + std::to_string(C[p]) +
                ", outside 0 to " + std::to_string(kMaxLevels - 1),
            "iftBasins");
    top = std::max(top, C[p]);
  }
  // The three maps and the image interleaved, with each pixel's queue
  // state beside them, so that examining a neighbour reads one place in
  // memory.
  struct Node {
    int cost, label, pred, value;
    unsigned state;
  };
  LargeArray<Node> node(n);
  for (int p = 0; p < n; p++) node[p] = {C[p], L[p], P[p], I[p], 0u};
  NodeBuckets<Node> Q(top + 1);
  for (int s; (s = RemoveSet(&aimg->seeds)) != -1;) {
    CheckPixelIndex(img, s, "iftBasins");
    if (node[s].cost != kImageInfinity && !Q.Queued(node[s])) Q.Push(&node[0], node[s].cost, s);
  }
  const Neighbours N(img, A);
  for (int p; (p = Q.Pop(&node[0])) != -1;) {
    const int cp = node[p].cost, lp = node[p].label;
    N.ForEach(p, [&](int q) {
      Node &nq = node[q];
      const bool child = nq.pred == p;
      if (cp >= nq.cost && !child) return;
      const int c = std::max(nq.value, cp);
      if (c >= nq.cost && !child) return;
      if (child && c == nq.cost && nq.label == lp) return;
      Q.Push(&node[0], c, q);
      nq.cost = c;
      nq.label = lp;
      nq.pred = p;
    });
  }
  for (int p = 0; p < n; p++) {
    C[p] = node[p].cost;
    L[p] = node[p].label;
    P[p] = node[p].pred;
  }
}
