#include "lib2d/segmentation.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <immintrin.h>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/queue.h"
#include "lib2d/analysis.h"
#include "lib2d/mathematics.h"
#include "lib2d/morphology.h"
#include "lib2d/neighbours.h"
#include "lib2d/radiometric.h"

// ---- thresholds and labels ----

#define ORVANE_AVX2_FN __attribute__((target("avx2")))

std::unique_ptr<Image> Threshold(Image *img, int lower, int higher) {
  auto out = CreateImage(img->ncols, img->nrows);
  for (size_t p = 0; p < img->val.size(); p++)
    out->val[p] = lower <= img->val[p] && img->val[p] <= higher;
  return out;
}

int AutoThreshold(Image *img) {
  auto h = Histogram(img);
  long long prev = 0, best = 0;
  int t = 0;
  for (int i = 1; i < h->n; i++) {
    long long d = static_cast<long long>(h->Y[i] - h->Y[i - 1]);
    if (d - prev < best) {
      best = d - prev;
      t = i;
    }
    prev = d;
  }
  return t;
}

std::unique_ptr<Image> Paint(Image *bin, int value) {
  auto out = CopyImage(bin);
  for (int &v : out->val)
    if (v == 1) v = value;
  return out;
}

namespace {

int FindRoot(std::vector<int> &parent, int p) {
  while (parent[p] != p) {
    parent[p] = parent[parent[p]];
    p = parent[p];
  }
  return p;
}

// Joins q's tree to the one a pixel has joined so far (*root, -1 for none),
// the smaller root winning; *root becomes the joined tree's root.
void JoinTree(std::vector<int> &parent, int q, int *root) {
  const int r = FindRoot(parent, q);
  if (*root < 0) {
    *root = r;
  } else if (r != *root) {
    parent[std::max(r, *root)] = std::min(r, *root);
    *root = std::min(r, *root);
  }
}

// Components of the pixels where member(p) holds, joined over A where
// joins(p, q) holds, labelled 1, 2, ... in raster order of their first
// pixel. For a symmetric relation (the usual case) the components are the
// same whichever pixel a growth starts from, so they are found by union of
// each pixel with its neighbours already scanned; otherwise a growth from
// each unlabelled pixel in raster order follows A as given.
template <class Member, class Joins>
std::unique_ptr<Image> LabelComponents(const Image *img, const AdjRel *A, Member member,
                                       Joins joins) {
  const int n = static_cast<int>(img->val.size());
  auto out = CreateImage(img->ncols, img->nrows);
  int *label = out->val.data();
  Neighbours N(img, A);
  if (IsSymmetric(A)) {
    const Neighbours back = N.Scanned(true);
    std::vector<int> parent(n);
    const int nc = img->ncols, nr = img->nrows, f = N.frame;
    for (int y = 0; y < nr; y++)
      for (int x = 0; x < nc; x++) {
        const int p = x + y * nc;
        parent[p] = p;
        if (!member(p)) continue;
        // p joins the tree of its first scanned neighbour; later ones are
        // linked to it, the smaller root winning.
        int root = -1;
        auto join = [&](int q) {
          if (member(q) && joins(p, q)) JoinTree(parent, q, &root);
        };
        if (y >= f && x >= f && x < nc - f) {
          for (int i = 0; i < back.n; i++) join(p + back.dp[i]);
        } else {
          for (int i = 0; i < back.n; i++) {
            const int qx = x + back.dx[i], qy = y + back.dy[i];
            if (qx >= 0 && qy >= 0 && qx < nc && qy < nr) join(p + back.dp[i]);
          }
        }
        if (root >= 0) parent[p] = root;
      }
    int next = 0;
    for (int p = 0; p < n; p++) {
      if (!member(p)) continue;
      int r = FindRoot(parent, p);
      label[p] = r == p ? ++next : label[r];
    }
    return out;
  }
  std::vector<int> fifo;
  int next = 0;
  for (int s = 0; s < n; s++) {
    if (label[s] != 0 || !member(s)) continue;
    label[s] = ++next;
    fifo.assign(1, s);
    for (size_t k = 0; k < fifo.size(); k++) {
      const int p = fifo[k];
      N.ForEach(p, [&](int q) {
        if (label[q] == 0 && member(q) && joins(p, q)) {
          label[q] = next;
          fifo.push_back(q);
        }
      });
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<Image> LabelComp(Image *img, AdjRel *A, int thres) {
  const int *v = img->val.data();
  return LabelComponents(
      img, A, [](int) { return true; },
      [v, thres](int p, int q) { return std::llabs(1LL * v[q] - v[p]) <= thres; });
}

namespace {

// Whether A is the 8-neighbourhood (in any order).
bool IsEightNeighbourhood(const AdjRel *A) {
  int seen = 0, count = 0;
  for (int i = 0; i < A->n; i++) {
    if (std::abs(A->dx[i]) > 1 || std::abs(A->dy[i]) > 1) return false;
    const int bit = 1 << ((A->dy[i] + 1) * 3 + A->dx[i] + 1);
    if (!(seen & bit)) count++;
    seen |= bit;
  }
  return (seen | 1 << 4) == 0x1ff && count >= 8;
}

// Whether A is the 4-neighbourhood (in any order, with or without its
// origin, entries repeated or not).
bool IsFourNeighbourhood(const AdjRel *A) {
  int seen = 0;
  for (int i = 0; i < A->n; i++) {
    if (std::abs(A->dx[i]) + std::abs(A->dy[i]) > 1) return false;
    seen |= 1 << ((A->dy[i] + 1) * 3 + A->dx[i] + 1);
  }
  return (seen | 1 << 4) == 0xba;
}

// The pixels equal to 1 of a row as a bit mask, 64 pixels a word.
void OnesMask(const int *v, int nc, std::vector<uint64_t> &bits) {
  std::fill(bits.begin(), bits.end(), 0);
  for (int x = 0; x < nc; x++) bits[x >> 6] |= static_cast<uint64_t>(v[x] == 1) << (x & 63);
}

ORVANE_AVX2_FN void OnesMaskWide(const int *v, int nc, std::vector<uint64_t> &bits) {
  const __m256i one = _mm256_set1_epi32(1);
  int x = 0;
  for (; x + 64 <= nc; x += 64) {
    uint64_t word = 0;
    for (int k = 0; k < 8; k++) {
      const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(v + x + 8 * k));
      const int m = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(q, one)));
      word |= static_cast<uint64_t>(m) << (8 * k);
    }
    bits[x >> 6] = word;
  }
  if (x < nc) {
    bits[x >> 6] = 0;
    for (; x < nc; x++) bits[x >> 6] |= static_cast<uint64_t>(v[x] == 1) << (x & 63);
  }
}

// The components of the pixels equal to 1 over the 4- or 8-neighbourhood,
// found on runs: each row's runs of ones are joined to the runs of the row
// above that touch them (overlap, or meet at a corner too for eight), the
// tree of smaller index winning, so that each component's root is its
// first run in raster order and labels follow the order of first pixels.
std::unique_ptr<Image> LabelOnesByRuns(const Image *bin, bool eight) {
  const int nc = bin->ncols, nr = bin->nrows;
  std::vector<int> start, end, parent;  // runs [start, end) of pixel indices in a row
  std::vector<int> rowRuns(nr + 1, 0);
  std::vector<uint64_t> bits((nc + 63) / 64 + 1, 0);
  const bool wide = __builtin_cpu_supports("avx2");
  auto find = [&](int r) {
    while (parent[r] != r) {
      parent[r] = parent[parent[r]];
      r = parent[r];
    }
    return r;
  };
  const int reach = eight ? 1 : 0;
  for (int y = 0; y < nr; y++) {
    const int *v = bin->val.data() + bin->tbrow[y];
    if (wide)
      OnesMaskWide(v, nc, bits);
    else
      OnesMask(v, nc, bits);
    rowRuns[y] = static_cast<int>(start.size());
    // Runs from the bit mask: the next set bit starts one, the next clear
    // bit after it ends it.
    const int nw = (nc + 63) / 64;
    int x = 0;
    while (x < nc) {
      int w = x >> 6;
      uint64_t word = bits[w] & (~0ULL << (x & 63));
      while (!word && ++w < nw) word = bits[w];
      if (!word) break;
      const int s = w * 64 + __builtin_ctzll(word);
      word = ~bits[w] & (~0ULL << (s & 63));
      while (!word && ++w < nw) word = ~bits[w];
      const int e = word ? std::min(nc, w * 64 + __builtin_ctzll(word)) : nc;
      start.push_back(s);
      end.push_back(e);
      parent.push_back(static_cast<int>(parent.size()));
      x = e;
    }
    if (y == 0) continue;
    // Two fingers over this row's runs and the row above's.
    int a = rowRuns[y - 1];
    const int aEnd = rowRuns[y];
    for (int r = rowRuns[y]; r < static_cast<int>(start.size()); r++) {
      while (a < aEnd && end[a] + reach <= start[r]) a++;
      for (int b = a; b < aEnd && start[b] < end[r] + reach; b++) {
        const int rb = find(b), rr = find(r);
        if (rb != rr) parent[std::max(rb, rr)] = std::min(rb, rr);
      }
    }
  }
  rowRuns[nr] = static_cast<int>(start.size());
  auto out = CreateImage(nc, nr);
  // Labels replace the links in run order: a run's link points to an
  // earlier run, which already holds its label (negative meanwhile).
  int next = 0;
  for (int r = 0; r < static_cast<int>(parent.size()); r++) {
    const int q = parent[r];
    parent[r] = q == r ? -(++next) : parent[q];
  }
  for (int y = 0; y < nr; y++) {
    int *o = out->val.data() + out->tbrow[y];
    for (int r = rowRuns[y]; r < rowRuns[y + 1]; r++) std::fill(o + start[r], o + end[r], -parent[r]);
  }
  return out;
}

}  // namespace

std::unique_ptr<Image> LabelBinComp(Image *bin, AdjRel *A) {
  if (IsEightNeighbourhood(A)) return LabelOnesByRuns(bin, true);
  if (IsFourNeighbourhood(A)) return LabelOnesByRuns(bin, false);
  const int *v = bin->val.data();
  return LabelComponents(
      bin, A, [v](int p) { return v[p] == 1; }, [](int, int) { return true; });
}

namespace {

// Calls mark(p) for every pixel whose label exceeds a 4-neighbour's.
template <class Mark>
void ForEachLabelBorder(const Image *label, Mark mark) {
  const int nc = label->ncols, nr = label->nrows;
  for (int y = 0; y < nr; y++)
    for (int x = 0; x < nc; x++) {
      const int l = label->at(x, y);
      if ((x > 0 && l > label->at(x - 1, y)) || (y > 0 && l > label->at(x, y - 1)) ||
          (x + 1 < nc && l > label->at(x + 1, y)) || (y + 1 < nr && l > label->at(x, y + 1)))
        mark(x + label->tbrow[y]);
    }
}

}  // namespace

std::unique_ptr<Image> Highlight(Image *img, Image *label, int value) {
  CheckSameSize(img, label, "Highlight");
  auto out = CopyImage(img);
  ForEachLabelBorder(label, [&](int p) { out->val[p] = value; });
  return out;
}

std::unique_ptr<CImage> CHighlight(CImage *cimg, Image *label, int R, int G, int B) {
  CheckSameSize(cimg->C[0].get(), label, "CHighlight");
  auto out = CopyCImage(cimg);
  ForEachLabelBorder(label, [&](int p) {
    out->C[0]->val[p] = R;
    out->C[1]->val[p] = G;
    out->C[2]->val[p] = B;
  });
  return out;
}

// ---- extrema and domes ----

namespace {

// Regional minima of the cost copy C (C = I for minima, max - I for maxima).
std::unique_ptr<Image> RegionalMinima(const Image *img, std::vector<int> C, const AdjRel *A,
                                      const char *func) {
  int lo = INT_MAX, hi = INT_MIN;
  for (int c : C) {
    lo = std::min(lo, c);
    hi = std::max(hi, c);
  }
  if (1LL * hi - lo >= kMaxLevels)
    Error("The image spans more than " + std::to_string(kMaxLevels) + " levels", func);
  const int n = static_cast<int>(C.size());
  std::vector<int> P(n);
  auto Q = CreateQueue(hi - lo + 1, n);
  for (int p = 0; p < n; p++) {
    P[p] = p;
    InsertQueue(Q.get(), C[p] - lo, p);
  }
  auto out = CreateImage(img->ncols, img->nrows);
  const Neighbours N(img, A);
  std::vector<int> I(C);  // the levels themselves
  std::vector<int> plateau;
  for (int p; (p = RemoveQueue(Q.get())) != -1;) {
    out->val[p] = P[p] == p;
    N.ForEach(p, [&](int q) {
      if (Q->elem[q].color == BLACK || I[p] > I[q]) return;
      if (C[p] < C[q]) {
        UpdateQueue(Q.get(), q, C[q] - lo, C[p] - lo);
        C[q] = C[p];
        P[q] = p;
      } else if (C[p] == C[q] && P[q] == q) {
        P[q] = p;
        plateau.push_back(q);
      }
    });
    // A pixel reached at its own cost passes that on at once over its
    // plateau: the queue serves a plateau in raster order, which would
    // otherwise reach a pixel of it before the plateau's first pixel does.
    while (!plateau.empty()) {
      const int r = plateau.back();
      plateau.pop_back();
      N.ForEach(r, [&](int q) {
        if (Q->elem[q].color == BLACK || P[q] != q || C[q] != C[r] || I[r] > I[q]) return;
        P[q] = r;
        plateau.push_back(q);
      });
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<Image> RegMin(Image *img, AdjRel *A) {
  return RegionalMinima(img, img->val, A, "RegMin");
}

std::unique_ptr<Image> RegMax(Image *img, AdjRel *A) {
  const long long top = MaximumValue(img);
  std::vector<int> C(img->val.size());
  for (size_t p = 0; p < C.size(); p++) C[p] = SaturateToInt(top - img->val[p]);
  return RegionalMinima(img, std::move(C), A, "RegMax");
}

namespace {

// 1 where the reconstruction stands at least 1 away from the image.
std::unique_ptr<Image> AwayFrom(const Image *img, const Image *rec) {
  auto out = CreateImage(img->ncols, img->nrows);
  for (size_t p = 0; p < out->val.size(); p++)
    out->val[p] = std::llabs(1LL * img->val[p] - rec->val[p]) >= 1;
  return out;
}

}  // namespace

std::unique_ptr<Image> HDomes(Image *img, AdjRel *A, int H) {
  auto marker = Sub(img, H);
  return AwayFrom(img, InfRec(img, marker.get(), A).get());
}

std::unique_ptr<Image> HBasins(Image *img, AdjRel *A, int H) {
  auto marker = Add(img, H);
  return AwayFrom(img, SupRec(img, marker.get(), A).get());
}

namespace {

// Seeds at level(I) spread to every neighbour past which the order lets
// them: domes spread downwards from high levels (key m - cost), basins
// upwards from low ones (key cost).
std::unique_ptr<Image> SelectDomes(Image *img, Image *seed, AdjRel *A, int H, bool domes,
                                   const char *func) {
  CheckSameSize(img, seed, func);
  const int m = CheckValueRange(img, kMaxLevels - 1, func);
  std::vector<int> cost(img->val);
  auto label = CopyImage(seed);
  const int n = static_cast<int>(cost.size());
  auto Q = CreateQueue(m + 1, n);
  auto key = [&](int c) { return domes ? m - c : c; };
  for (int p = 0; p < n; p++) {
    if (label->val[p] <= 0) continue;
    long long c = domes ? 1LL * img->val[p] - H : 1LL * img->val[p] + H;
    cost[p] = static_cast<int>(std::clamp<long long>(c, 0, m));
    InsertQueue(Q.get(), key(cost[p]), p);
  }
  const Neighbours N(img, A);
  for (int p; (p = RemoveQueue(Q.get())) != -1;) {
    N.ForEach(p, [&](int q) {
      if (Q->elem[q].color == BLACK) return;
      if (domes ? cost[p] < cost[q] : cost[p] > cost[q]) {
        FileInQueue(Q.get(), q, key(cost[q]), key(cost[p]));
        cost[q] = cost[p];
        label->val[q] = label->val[p];
      }
    });
  }
  return label;
}

}  // namespace

std::unique_ptr<Image> SelectHDomes(Image *img, Image *seed, AdjRel *A, int H) {
  return SelectDomes(img, seed, A, H, true, "SelectHDomes");
}

std::unique_ptr<Image> SelectHBasins(Image *img, Image *seed, AdjRel *A, int H) {
  return SelectDomes(img, seed, A, H, false, "SelectHBasins");
}

// ---- watersheds ----

std::unique_ptr<Image> iftWatershed(AnnImg *aimg, AdjRel *A) {
  iftBasins(aimg, A);
  return GetLabel(aimg);
}

std::unique_ptr<Image> IncWater(AnnImg *aimg, AdjRel *A) { return iftWatershed(aimg, A); }

std::unique_ptr<Image> DecWater(AnnImg *aimg, AdjRel *A) {
  const Image *img = aimg->img;
  if (!aimg->seeds) return GetLabel(aimg);
  int *C = aimg->cost->val.data();
  int *L = aimg->label->val.data();
  int *P = aimg->pred->val.data();
  const int n = static_cast<int>(img->val.size());
  // The roots whose trees go.
  std::vector<char> removed(n, 0);
  for (int s; (s = RemoveSet(&aimg->seeds)) != -1;) {
    CheckPixelIndex(img, s, "DecWater");
    int r = Seed(aimg->pred.get(), s);
    if (C[r] != kImageInfinity) removed[r] = 1;
  }
  // Every pixel is reset but the surviving roots, which become the seeds in
  // pixel order, as an annotation from a label image makes them: the forest
  // regrown from them is the one a fresh watershed gives. (Regrowing only
  // the removed trees from their frontier finds the same costs, but breaks
  // ties on plateaus in another order.)
  for (int p = 0; p < n; p++) {
    bool keep = P[p] == p && C[p] != kImageInfinity && !removed[p];
    if (keep) {
      InsertSet(&aimg->seeds, p);
      continue;
    }
    C[p] = kImageInfinity;
    L[p] = 0;
    P[p] = p;
  }
  return iftWatershed(aimg, A);
}

namespace {

// The max-arc propagation of the marker watersheds. A pixel that leaves the
// queue without a label opens the next one; its cost drops to base[p] (0
// without a base) and the queue's current bucket to that cost, so it conquers
// its own marker's plateau before anything else.
// A pixel of the marker watersheds: its cost, label and weight, and its
// queue state, in one place.
struct WaterNode {
  int cost, label, value;
  unsigned state;
};

void MaxArcLabels(const Image *img, WaterNode *node, NodeBuckets<WaterNode> *Q, const int *base,
                  const AdjRel *A, Image *out) {
  const Neighbours N(img, A);
  int next = 0;
  for (int p; (p = Q->Pop(node)) != -1;) {
    WaterNode &np = node[p];
    if (np.label == 0) {
      np.label = ++next;
      np.cost = base ? base[p] : 0;
      Q->current = np.cost;
    }
    const int cp = np.cost, lp = np.label;
    N.ForEach(p, [&](int q) {
      WaterNode &nq = node[q];
      const int c = std::max(cp, nq.value);
      if (c >= nq.cost || Q->Served(nq)) return;
      nq.cost = c;
      nq.label = lp;
      Q->Push(node, c, q);
    });
  }
  int *o = out->val.data();
  for (size_t p = 0; p < out->val.size(); p++) o[p] = node[p].label;
}

std::unique_ptr<Image> WaterFromMarker(Image *img, Image *marker, AdjRel *A, bool capped,
                                       const char *func) {
  CheckSameSize(img, marker, func);
  const int top = CheckValueRange(img, kMaxLevels - 2, func);
  std::vector<int> base(marker->val);
  if (capped)
    for (int &b : base) b = std::min(b, top);
  int mtop = 0;
  for (int b : base) {
    if (b < 0 || b > kMaxLevels - 2)
      Error("Marker values must lie in 0 to " + std::to_string(kMaxLevels - 2), func);
    mtop = std::max(mtop, b);
  }
  const int n = static_cast<int>(base.size());
  LargeArray<WaterNode> node(n);
  NodeBuckets<WaterNode> Q(mtop + 2);
  for (int p = 0; p < n; p++) {
    node[p] = {base[p] + 1, 0, img->val[p], 0u};
    Q.Push(&node[0], base[p] + 1, p);
  }
  auto label = CreateImage(img->ncols, img->nrows);
  MaxArcLabels(img, &node[0], &Q, base.data(), A, label.get());
  return label;
}

}  // namespace

std::unique_ptr<Image> WaterLabel(Image *img, Image *label, AdjRel *A) {
  CheckSameSize(img, label, "WaterLabel");
  const int top = CheckValueRange(img, kMaxLevels - 1, "WaterLabel");
  const int n = static_cast<int>(img->val.size());
  LargeArray<WaterNode> node(n);
  NodeBuckets<WaterNode> Q(top + 1);
  for (int p = 0; p < n; p++) {
    const bool seed = label->val[p] > 0;
    node[p] = {seed ? 0 : kImageInfinity, seed ? label->val[p] : 0, img->val[p], 0u};
    if (seed) Q.Push(&node[0], 0, p);
  }
  auto out = CreateImage(img->ncols, img->nrows);
  MaxArcLabels(img, &node[0], &Q, nullptr, A, out.get());
  return out;
}

std::unique_ptr<Image> WaterBin(Image *img, Image *bin, AdjRel *A) {
  CheckSameSize(img, bin, "WaterBin");
  const int top = CheckValueRange(img, kMaxLevels - 1, "WaterBin");
  const int n = static_cast<int>(img->val.size());
  // Markers cost 1 and weigh 0, so a marker pixel is conquered at 0 by the
  // first pixel of its marker to leave the queue; everything else weighs at
  // least 1.
  LargeArray<WaterNode> node(n);
  NodeBuckets<WaterNode> Q(std::max(top, 1) + 1);
  for (int p = 0; p < n; p++) {
    if (bin->val[p] > 0) {
      node[p] = {1, 0, 0, 0u};
      Q.Push(&node[0], 1, p);
    } else {
      node[p] = {kImageInfinity, 0, std::max(img->val[p], 1), 0u};
    }
  }
  auto label = CreateImage(img->ncols, img->nrows);
  MaxArcLabels(img, &node[0], &Q, nullptr, A, label.get());
  return label;
}

std::unique_ptr<Image> WaterGray(Image *img, Image *marker, AdjRel *A) {
  return WaterFromMarker(img, marker, A, false, "WaterGray");
}

std::unique_ptr<Image> WaterMax(Image *img, Image *marker, AdjRel *A) {
  return WaterFromMarker(img, marker, A, true, "WaterMax");
}

// ---- live wire ----

namespace {

constexpr int kFixed = INT_MIN;  // a pixel of an accepted path

// Grows the additive-cost forest until dst leaves the queue. The queue is
// circular (costs modulo max(img) + 1, more than any one step), and the
// pixels still queued when dst is reached go back into the seed set.
template <class Admit>
std::vector<int> LiveWire(AnnImg *aimg, AdjRel *A, int src, int dst, Admit admit,
                          const char *func) {
  Image *img = aimg->img;
  CheckPixelIndex(img, src, func);
  CheckPixelIndex(img, dst, func);
  const int top = CheckValueRange(img, kMaxLevels - 1, func);
  int *C = aimg->cost->val.data();
  int *L = aimg->label->val.data();
  int *P = aimg->pred->val.data();
  const int n = static_cast<int>(img->val.size());
  if (C[dst] == kFixed) {
    C[dst] = 0;
    P[dst] = dst;
    return Path(aimg->pred.get(), dst);
  }
  std::vector<char> pending(n, 0);
  for (const Set *s = aimg->seeds.get(); s != nullptr; s = s->next.get()) {
    CheckPixelIndex(img, s->elem, func);
    pending[s->elem] = 1;
  }
  if (C[dst] != kImageInfinity && !pending[dst]) return Path(aimg->pred.get(), dst);
  if (!aimg->seeds) {
    C[src] = 0;
    L[src] = 1;
    P[src] = src;
    InsertSet(&aimg->seeds, src);
  }
  const int nb = top + 1;
  auto Q = CreateQueue(nb, n);
  int least = INT_MAX;
  for (int s; (s = RemoveSet(&aimg->seeds)) != -1;) {
    if (C[s] == kImageInfinity || C[s] < 0 || Q->elem[s].color == GRAY) continue;
    InsertQueue(Q.get(), C[s] % nb, s);
    least = std::min(least, C[s]);
  }
  if (least != INT_MAX) Q->current = least % nb;
  const Neighbours N(img, A);
  const int *I = img->val.data();
  for (int p; (p = RemoveQueue(Q.get())) != -1;) {
    if (p == dst) break;
    const int cp = C[p];
    N.ForEach(p, [&](int q) {
      if (cp >= C[q] || !admit(p, q)) return;
      const int c = static_cast<int>(std::min<long long>(1LL * cp + I[q], INT_MAX - 1));
      if (c >= C[q]) return;
      FileInQueue(Q.get(), q, C[q] % nb, c % nb);
      C[q] = c;
      L[q] = L[p];
      P[q] = p;
    });
  }
  for (int p = 0; p < n; p++)
    if (Q->elem[p].color == GRAY) InsertSet(&aimg->seeds, p);
  return Path(aimg->pred.get(), dst);
}

}  // namespace

std::vector<int> iftFindEdge(AnnImg *aimg, AdjRel *A, int src, int dst) {
  return LiveWire(aimg, A, src, dst, [](int, int) { return true; }, "iftFindEdge");
}

std::vector<int> iftFindOEdge(AnnImg *aimg, AdjRel *A, Image *oimg, int orient, int src,
                              int dst) {
  CheckSameSize(aimg->img, oimg, "iftFindOEdge");
  auto left = LeftSide(A), right = RightSide(A);
  const int nc = oimg->ncols;
  // The side pixels of the step p -> q, found from its displacement.
  auto admit = [&](int p, int q) {
    if (orient == 0) return true;
    const int py = p / nc, px = p - py * nc, qy = q / nc, qx = q - qy * nc;
    const int ddx = qx - px, ddy = qy - py;
    for (int i = 0; i < A->n; i++) {
      if (A->dx[i] != ddx || A->dy[i] != ddy) continue;
      int lx = px + left->dx[i], ly = py + left->dy[i];
      int rx = px + right->dx[i], ry = py + right->dy[i];
      if (!oimg->Valid(lx, ly) || !oimg->Valid(rx, ry)) return true;
      int l = oimg->at(lx, ly), r = oimg->at(rx, ry);
      return orient > 0 ? l >= r : l <= r;
    }
    return true;
  };
  return LiveWire(aimg, A, src, dst, admit, "iftFindOEdge");
}

std::vector<int> CutPath(AnnImg *aimg, int src, int dst) {
  Image *img = aimg->img;
  CheckPixelIndex(img, src, "CutPath");
  CheckPixelIndex(img, dst, "CutPath");
  int *C = aimg->cost->val.data();
  int *L = aimg->label->val.data();
  int *P = aimg->pred->val.data();
  const int nc = img->ncols, n = static_cast<int>(img->val.size());
  std::vector<int> path = Path(aimg->pred.get(), dst);
  const int sx = src % nc, sy = src / nc;
  int kept = dst;
  long long best = LLONG_MAX;
  for (size_t k = 1; k < path.size(); k++) {
    const int p = path[k];
    const long long dx = p % nc - sx, dy = p / nc - sy, d = dx * dx + dy * dy;
    if (d < best) {
      best = d;
      kept = p;
    }
  }
  auto reset = [&](int p) {
    C[p] = kImageInfinity;
    L[p] = 0;
    P[p] = p;
  };
  for (size_t k = 1; k < path.size() && path[k] != kept; k++) reset(path[k]);
  auto root = CompPaths(aimg->pred.get());
  for (int p = 0; p < n; p++)
    if (C[root->val[p]] == kImageInfinity) reset(p);
  // The pixels that still hold a cost and border a reset one carry the
  // growth on at the next call.
  auto A = Circular(1.5f);
  const Neighbours N(img, A.get());
  DestroySet(&aimg->seeds);
  for (int p = 0; p < n; p++) {
    if (C[p] == kImageInfinity || C[p] == kFixed) continue;
    bool front = false;
    N.ForEach(p, [&](int q) { front |= C[q] == kImageInfinity; });
    if (front) InsertSet(&aimg->seeds, p);
  }
  return Path(aimg->pred.get(), kept);
}

int AcceptEdge(AnnImg *aimg, const std::vector<int> &edge) {
  Image *img = aimg->img;
  if (edge.empty() || edge[0] < 1 || static_cast<size_t>(edge[0]) + 1 != edge.size())
    Error("A path is its length followed by that many pixels", "AcceptEdge");
  for (size_t k = 1; k < edge.size(); k++) CheckPixelIndex(img, edge[k], "AcceptEdge");
  DestroySet(&aimg->seeds);
  const int n = static_cast<int>(img->val.size());
  for (int p = 0; p < n; p++) {
    aimg->cost->val[p] = kImageInfinity;
    aimg->label->val[p] = 0;
    aimg->pred->val[p] = p;
  }
  for (size_t k = 1; k < edge.size(); k++) {
    const int p = edge[k];
    aimg->cost->val[p] = kFixed;
    aimg->pred->val[p] = k + 1 < edge.size() ? edge[k + 1] : p;
  }
  aimg->cost->val[edge.back()] = 0;
  return edge[1];
}

// ---- annotated images and trees ----

std::unique_ptr<Image> GetRoot(AnnImg *aimg) {
  const Image *pred = aimg->pred.get();
  auto out = CreateImage(pred->ncols, pred->nrows);
  for (size_t p = 0; p < pred->val.size(); p++) out->val[p] = pred->val[p] == static_cast<int>(p);
  return out;
}

std::unique_ptr<Image> GetSKIZ(AnnImg *aimg) { return CompSKIZ(aimg); }

std::unique_ptr<Image> GetMarker(AnnImg *aimg) {
  auto roots = GetRoot(aimg);
  auto A = Circular(1.5f);
  auto comps = LabelBinComp(roots.get(), A.get());
  auto skiz = CompSKIZ(aimg);
  auto painted = Paint(skiz.get(), MaximumValue(comps.get()) + 1);
  return Or(comps.get(), painted.get());
}

std::unique_ptr<Image> TreeComputing(Image *grad, Curve *pts) {
  auto aimg = Annotate(grad, nullptr, nullptr);
  for (int i = 0; i < pts->n; i++) {
    const double x = pts->X[i], y = pts->Y[i];
    if (!(x >= 0.0 && y >= 0.0 && x < grad->ncols && y < grad->nrows)) continue;
    const int p = static_cast<int>(x) + grad->tbrow[static_cast<int>(y)];
    AddSeed(aimg.get(), p, 0, 1, p);
  }
  auto A = Circular(1.0f);
  iftBasins(aimg.get(), A.get());
  return GetPred(aimg.get());
}

namespace {

void CheckPredMap(const Image *pred, const char *func) {
  for (size_t p = 0; p < pred->val.size(); p++) CheckPixelIndex(pred, pred->val[p], func);
}

}  // namespace

std::unique_ptr<Image> TreeCounting(Image *pred) {
  CheckPredMap(pred, "TreeCounting");
  const int n = static_cast<int>(pred->val.size());
  const int *P = pred->val.data();
  // Leaves first: a pixel passes its count to its predecessor once all its
  // own successors have passed theirs.
  std::vector<int> waiting(n, 0);
  for (int p = 0; p < n; p++)
    if (P[p] != p) waiting[P[p]]++;
  auto out = CreateImage(pred->ncols, pred->nrows);
  int *size = out->val.data();
  std::vector<int> ready;
  for (int p = 0; p < n; p++) {
    size[p] = 1;
    if (waiting[p] == 0) ready.push_back(p);
  }
  int done = 0;
  while (!ready.empty()) {
    const int p = ready.back();
    ready.pop_back();
    done++;
    if (P[p] == p) continue;
    size[P[p]] += size[p];
    if (--waiting[P[p]] == 0) ready.push_back(P[p]);
  }
  if (done != n) Error("The predecessor map has a cycle", "TreeCounting");
  return out;
}

std::unique_ptr<Image> TreePruning(Image *nsons, Image *pred, Curve *pts) {
  CheckSameSize(nsons, pred, "TreePruning");
  CheckPredMap(pred, "TreePruning");
  const int n = static_cast<int>(pred->val.size());
  // 0 unknown, 1 the path meets a point, 2 it does not.
  std::vector<unsigned char> meets(n, 0);
  for (int i = 0; i < pts->n; i++) {
    const double x = pts->X[i], y = pts->Y[i];
    if (x >= 0.0 && y >= 0.0 && x < pred->ncols && y < pred->nrows)
      meets[static_cast<int>(x) + pred->tbrow[static_cast<int>(y)]] = 1;
  }
  std::vector<int> chain;
  for (int p = 0; p < n; p++) {
    chain.clear();
    int q = p;
    while (meets[q] == 0) {
      chain.push_back(q);
      if (static_cast<int>(chain.size()) > n) Error("The predecessor map has a cycle", "TreePruning");
      if (pred->val[q] == q) break;
      q = pred->val[q];
    }
    const unsigned char v = meets[q] == 1 ? 1 : 2;
    for (int c : chain) meets[c] = v;
  }
  auto out = CreateImage(pred->ncols, pred->nrows);
  for (int p = 0; p < n; p++) out->val[p] = meets[p] == 1 ? nsons->val[p] : 0;
  return out;
}

void WriteNSons(Image *nsons, Image *pred) {
  CheckSameSize(nsons, pred, "WriteNSons");
  CheckPredMap(pred, "WriteNSons");
  const int n = static_cast<int>(pred->val.size());
  for (int i = 0; i < n; i++) {
    std::vector<int> path = Path(pred, i);
    const std::string name = "nsons" + std::to_string(i) + ".txt";
    FILE *f = std::fopen(name.c_str(), "w");
    if (f == nullptr) Error("Cannot open " + name, "WriteNSons");
    for (size_t k = 1; k < path.size(); k++) std::fprintf(f, "%d\n", nsons->val[path[k]]);
    if (std::fclose(f) != 0) Error("Cannot write " + name, "WriteNSons");
  }
}

// ---- contours ----

namespace {

bool IsObject(const Image *bin, int x, int y) { return bin->Valid(x, y) && bin->at(x, y) != 0; }

bool IsBorder(const Image *bin, int x, int y) {
  return bin->Valid(x, y) && bin->at(x, y) == 1 &&
         (!IsObject(bin, x - 1, y) || !IsObject(bin, x + 1, y) || !IsObject(bin, x, y - 1) ||
          !IsObject(bin, x, y + 1));
}

// The step i from (x, y) has background or the outside on its right and
// object on its left.
bool KeepsObjectLeft(const Image *bin, const AdjRel *L, const AdjRel *R, int i, int x, int y) {
  return !IsObject(bin, x + R->dx[i], y + R->dy[i]) && IsObject(bin, x + L->dx[i], y + L->dy[i]);
}

// Numbers the border pixels contour by contour (see LabelContour): pixel
// gets its number along the walk, contour its contour's.
void TraceContours(const Image *bin, Image *pixel, Image *contour) {
  auto A = Circular(1.5f);
  auto L = LeftSide(A.get()), R = RightSide(A.get());
  const int nc = bin->ncols, nr = bin->nrows;
  int number = 0, count = 0;
  std::vector<int> stack;
  // Starts that pass ValidContPoint first; then any border pixel no walk
  // has reached, so that every border pixel belongs to a contour.
  for (int pass = 0; pass < 2; pass++)
  for (int sy = 0; sy < nr; sy++)
    for (int sx = 0; sx < nc; sx++) {
      const int s = sx + bin->tbrow[sy];
      if (contour->val[s] != 0 || !IsBorder(bin, sx, sy)) continue;
      if (pass == 0 && !ValidContPoint(const_cast<Image *>(bin), L.get(), R.get(), s)) continue;
      ++count;
      contour->val[s] = count;
      pixel->val[s] = ++number;
      stack.assign(1, s);
      while (!stack.empty()) {
        const int p = stack.back(), x = p % nc, y = p / nc;
        int next = -1, fallback = -1;
        for (int i = 1; i < A->n && next < 0; i++) {
          const int qx = x + A->dx[i], qy = y + A->dy[i];
          if (!IsBorder(bin, qx, qy)) continue;
          const int q = qx + bin->tbrow[qy];
          if (contour->val[q] != 0) continue;
          if (KeepsObjectLeft(bin, L.get(), R.get(), i, x, y))
            next = q;
          else if (fallback < 0)
            fallback = q;
        }
        if (next < 0) next = fallback;
        if (next < 0) {
          stack.pop_back();
          continue;
        }
        contour->val[next] = count;
        pixel->val[next] = ++number;
        stack.push_back(next);
      }
    }
}

}  // namespace

int ValidContPoint(Image *bin, AdjRel *L, AdjRel *R, int p) {
  CheckPixelIndex(bin, p, "ValidContPoint");
  if (L->n != R->n) Error("The side relations differ in size", "ValidContPoint");
  const int x = p % bin->ncols, y = p / bin->ncols;
  if (bin->val[p] != 1) return 0;
  bool anyLeft = false, anyRight = false;
  for (int i = 0; i < L->n; i++) {
    if ((L->dx[i] == 0 && L->dy[i] == 0) || (R->dx[i] == 0 && R->dy[i] == 0)) continue;
    const bool right = !IsObject(bin, x + R->dx[i], y + R->dy[i]);
    const bool left = IsObject(bin, x + L->dx[i], y + L->dy[i]);
    if (right && left) return 1;
    anyLeft |= left;
    anyRight |= right;
  }
  return !anyLeft && anyRight;
}

std::unique_ptr<Image> LabelContour(Image *bin) {
  auto pixel = CreateImage(bin->ncols, bin->nrows);
  auto contour = CreateImage(bin->ncols, bin->nrows);
  TraceContours(bin, pixel.get(), contour.get());
  return contour;
}

std::unique_ptr<Image> LabelContPixel(Image *bin) {
  auto pixel = CreateImage(bin->ncols, bin->nrows);
  auto contour = CreateImage(bin->ncols, bin->nrows);
  TraceContours(bin, pixel.get(), contour.get());
  return pixel;
}

std::unique_ptr<Image> Clustering(Image *img, AdjRel *A, int Co, int Ao) {
  auto h = Histogram(img);
  const int nv = h->n;
  const int reach = std::clamp(Ao, 1, std::max(nv, 1));
  // Modes: levels holding at least Co pixels and the most within reach.
  std::vector<int> cluster(nv, 0);
  int hmax = 0;
  for (int v = 0; v < nv; v++) hmax = std::max(hmax, static_cast<int>(h->Y[v]));
  if (hmax >= kMaxLevels) hmax = kMaxLevels - 1;
  std::vector<int> weight(nv), cost(nv, kImageInfinity);
  for (int v = 0; v < nv; v++) weight[v] = hmax - std::min(static_cast<int>(h->Y[v]), hmax);
  auto Q = CreateQueue(hmax + 1, nv);
  int modes = 0;
  for (int v = 0; v < nv; v++) {
    if (h->Y[v] < std::max(Co, 1)) continue;
    bool mode = true;
    for (int u = std::max(0, v - reach); u <= std::min(nv - 1, v + reach) && mode; u++)
      mode = h->Y[u] < h->Y[v] || (h->Y[u] == h->Y[v] && u >= v);
    if (!mode) continue;
    cluster[v] = ++modes;
    cost[v] = weight[v];
    InsertQueue(Q.get(), cost[v], v);
  }
  // The watershed of the inverted histogram over the levels.
  for (int v; (v = RemoveQueue(Q.get())) != -1;) {
    for (int u = std::max(0, v - 1); u <= std::min(nv - 1, v + 1); u++) {
      if (Q->elem[u].color == BLACK) continue;
      const int c = std::max(cost[v], weight[u]);
      if (c >= cost[u]) continue;
      FileInQueue(Q.get(), u, cost[u], c);
      cost[u] = c;
      cluster[u] = cluster[v];
    }
  }
  auto byValue = CreateImage(img->ncols, img->nrows);
  for (size_t p = 0; p < img->val.size(); p++) {
    const int v = img->val[p];
    byValue->val[p] = v >= 0 && v < nv ? cluster[v] : 0;
  }
  return LabelComp(byValue.get(), A, 0);
}
