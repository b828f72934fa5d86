// The filters, the labelling and the watershed against plain versions
// written pixel by pixel, on random images large enough to have an
// interior and every kind of border, with value ranges that take each of
// the library's paths (small levels, wide 32-bit values, a single outlier)
// and relations of odd shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "core/adjacency.h"
#include "core/kernel.h"
#include "core/queue.h"
#include "lib2d/filtering.h"
#include "lib2d/segmentation.h"
#include "segment/annimg.h"
#include "segment/voxelwise3.h"
#include "support/image2d.h"

namespace {

std::unique_ptr<AdjRel> RelationOf(std::vector<int> dx, std::vector<int> dy) {
  auto A = CreateAdjRel(static_cast<int>(dx.size()));
  A->dx = std::move(dx);
  A->dy = std::move(dy);
  return A;
}

// Relations of every shape the filters meet: disks, boxes listed in another
// order, lopsided ones without their origin or with a repeated entry.
std::vector<std::unique_ptr<AdjRel>> OddRelations() {
  std::vector<std::unique_ptr<AdjRel>> rels;
  rels.push_back(Circular(1.0f));
  rels.push_back(Circular(1.5f));
  rels.push_back(Circular(2.3f));
  rels.push_back(Box(3, 3));
  rels.push_back(Box(5, 3));
  rels.push_back(RelationOf({1, 0, -1, 1, 0, -1, 1, 0, -1}, {1, 1, 1, 0, 0, 0, -1, -1, -1}));
  rels.push_back(RelationOf({2, -1, 0, 3}, {1, 0, -3, -2}));
  rels.push_back(RelationOf({0, 1, 1, -1, 0}, {0, 0, 0, 1, 1}));
  // Ten entries, one repeated, no origin, rows of the relation with gaps
  // between them and between their entries.
  rels.push_back(RelationOf({1, 1, -2, 0, 3, -1, 2, 0, 1, -3}, {0, 0, 2, -2, 2, -2, 0, 2, -2, 0}));
  return rels;
}

// Images of the value ranges that choose different paths: levels that a
// single-precision sum holds exactly, wide ones that it does not, and a
// large value met only after many rows.
std::vector<std::unique_ptr<Image>> RangedImages(std::mt19937 &rng, int nc, int nr) {
  std::vector<std::unique_ptr<Image>> imgs;
  imgs.push_back(RandomImage(rng, nc, nr, 0, 255));
  imgs.push_back(RandomImage(rng, nc, nr, 0, 3));
  imgs.push_back(RandomImage(rng, nc, nr, -1000000000, 1000000000));
  auto extremes = RandomImage(rng, nc, nr, -5, 5);
  extremes->val.front() = INT_MIN;
  extremes->val.back() = INT_MAX;
  imgs.push_back(std::move(extremes));
  imgs.push_back(RandomImage(rng, nc, nr, -300, 40000));
  auto outlier = RandomImage(rng, nc, nr, 0, 255);
  outlier->val[outlier->val.size() / 2] = 70000;
  imgs.push_back(std::move(outlier));
  // Small values up to a row far down that holds a large one.
  auto late = RandomImage(rng, nc, nr, 0, 255);
  late->val[late->val.size() - 2] = 5000000;
  imgs.push_back(std::move(late));
  return imgs;
}

int PlainMedian(const Image *img, const AdjRel *A, int x, int y) {
  std::vector<int> v;
  for (int i = 0; i < A->n; i++)
    if (img->Valid(x + A->dx[i], y + A->dy[i])) v.push_back(img->at(x + A->dx[i], y + A->dy[i]));
  if (v.empty()) return img->at(x, y);
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The correlation of the text: a double sum in the kernel's order over the
// entries inside the image, truncated.
int PlainCorrelation(const Image *img, const Kernel *K, int x, int y) {
  const AdjRel *D = K->displacements.get();
  double s = 0.0;
  for (int i = 0; i < D->n; i++)
    if (img->Valid(x + D->dx[i], y + D->dy[i]))
      s += static_cast<double>(K->weights[i]) * img->at(x + D->dx[i], y + D->dy[i]);
  return TruncToInt(s);
}

std::unique_ptr<Kernel> KernelOf(const AdjRel *A, std::vector<float> w) {
  auto K = CreateKernel(const_cast<AdjRel *>(A));
  K->weights = std::move(w);
  return K;
}

}  // namespace

TEST(MedianFilter, EqualsASortOfTheValidNeighboursOnEveryPath) {
  std::mt19937 rng(5);
  for (auto [nc, nr] : {std::pair{37, 23}, {64, 9}, {8, 40}, {6, 6}, {1, 7}})
    for (const auto &img : RangedImages(rng, nc, nr))
      for (const auto &A : OddRelations()) {
        auto got = MedianFilter(img.get(), A.get());
        for (int y = 0; y < nr; y++)
          for (int x = 0; x < nc; x++)
            ASSERT_EQ(got->at(x, y), PlainMedian(img.get(), A.get(), x, y))
                << x << "," << y << " of " << nc << " x " << nr << ", " << A->n << " neighbours";
      }
}

TEST(LinearFilter2, EqualsTheDoubleSumInKernelOrderOnEveryPath) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> any(-3.0f, 3.0f);
  for (auto [nc, nr] : {std::pair{41, 19}, {70, 6}, {5, 33}, {7, 7}})
    for (const auto &img : RangedImages(rng, nc, nr))
      for (const auto &A : OddRelations()) {
        if (2 * FrameSize(A.get()) + 1 > std::min(nc, nr)) continue;
        std::vector<std::vector<float>> weights;
        std::vector<float> dyadic, tenths, random, wide, infinite;
        for (int i = 0; i < A->n; i++) {
          dyadic.push_back(static_cast<float>(1 << (i % 3)) / 16.0f);
          tenths.push_back(0.1f * static_cast<float>(i + 1) - 0.3f);
          random.push_back(any(rng));
          wide.push_back(i % 2 ? 1e-30f : 3e4f);
          infinite.push_back(i == 1 ? -INFINITY : 1.0f);
        }
        dyadic[0] = -dyadic[0];
        for (const auto &w : {dyadic, tenths, random, wide, infinite}) {
          auto K = KernelOf(A.get(), w);
          auto got = LinearFilter2(img.get(), K.get());
          for (int y = 0; y < nr; y++)
            for (int x = 0; x < nc; x++)
              ASSERT_EQ(got->at(x, y), PlainCorrelation(img.get(), K.get(), x, y))
                  << x << "," << y << " of " << nc << " x " << nr << ", " << A->n << " entries";
        }
      }
  // The full convolution is the correlation with the folded kernel over the
  // enlarged plane.
  auto img = RandomImage(rng, 23, 17, 0, 255);
  auto K = MakeKernel("3,5,0.1,0.2,0.3,0.4,0.5,0.6,0.7,0.8,0.9,1.0,1.1,1.2,1.3,1.4,1.5");
  auto full = LinearFilter(img.get(), K.get());
  auto F = FoldKernel(K.get());
  auto padded = CreateImage(23 + 4, 17 + 6);
  for (int y = 0; y < 17; y++)
    for (int x = 0; x < 23; x++) padded->at(x + 2, y + 4) = img->at(x, y);
  ASSERT_EQ(full->ncols, 25);
  ASSERT_EQ(full->nrows, 21);
  for (int y = 0; y < full->nrows; y++)
    for (int x = 0; x < full->ncols; x++)
      ASSERT_EQ(full->at(x, y), PlainCorrelation(padded.get(), F.get(), x + 1, y + 2)) << x << "," << y;
}

namespace {

// The growth of the text: a breadth-first fill over A from each unlabelled
// pixel equal to 1, in raster order.
std::vector<int> PlainLabelling(const Image *bin, const AdjRel *A) {
  std::vector<int> label(bin->val.size(), 0);
  int next = 0;
  for (int s = 0; s < static_cast<int>(bin->val.size()); s++) {
    if (label[s] || bin->val[s] != 1) continue;
    label[s] = ++next;
    std::vector<int> fifo{s};
    for (size_t k = 0; k < fifo.size(); k++) {
      const int x = fifo[k] % bin->ncols, y = fifo[k] / bin->ncols;
      for (int i = 0; i < A->n; i++) {
        const int qx = x + A->dx[i], qy = y + A->dy[i];
        if (!bin->Valid(qx, qy)) continue;
        const int q = qx + qy * bin->ncols;
        if (!label[q] && bin->val[q] == 1) {
          label[q] = next;
          fifo.push_back(q);
        }
      }
    }
  }
  return label;
}

}  // namespace

TEST(LabelBinComp, EqualsABreadthFirstGrowthForEveryDensityAndRelation) {
  std::mt19937 rng(9);
  std::vector<std::unique_ptr<AdjRel>> rels;
  rels.push_back(Circular(1.0f));
  rels.push_back(Circular(1.5f));
  rels.push_back(Circular(2.0f));
  rels.push_back(RelationOf({0, 1, 0, -1, 0, 1, -1}, {0, 0, 1, 0, -1, 1, -1}));
  rels.push_back(RelationOf({0, 2, 0}, {0, 1, 1}));  // one-way steps
  for (auto [nc, nr] : {std::pair{53, 31}, {1, 20}, {20, 1}, {2, 2}})
    for (double density : {0.2, 0.5, 0.6, 0.85}) {
      std::bernoulli_distribution one(density);
      std::uniform_int_distribution<int> other(0, 5);
      auto bin = CreateImage(nc, nr);
      // Mostly 0 and 1, with a few other values that are not members.
      for (int &v : bin->val) v = one(rng) ? 1 : (other(rng) == 5 ? 2 : 0);
      for (const auto &A : rels)
        ASSERT_EQ(LabelBinComp(bin.get(), A.get())->val, PlainLabelling(bin.get(), A.get()))
            << nc << " x " << nr << " density " << density << ", " << A->n << " entries";
    }
}

namespace {

// f(q) for every neighbour q of pixel p under A inside the image, the
// origin left out.
template <class F>
void ForNeighbours(const Image *img, const AdjRel *A, int p, F f) {
  const int x = p % img->ncols, y = p / img->ncols;
  for (int i = 0; i < A->n; i++) {
    if (A->dx[i] == 0 && A->dy[i] == 0) continue;
    if (img->Valid(x + A->dx[i], y + A->dy[i])) f(x + A->dx[i] + (y + A->dy[i]) * img->ncols);
  }
}

// Files q in bucket c of the linked queue: moved from bucket `from` when
// it is queued, inserted when it is not.
void File(Queue *Q, int q, int from, int c) {
  if (Q->elem[q].color == GRAY)
    UpdateQueue(Q, q, from, c);
  else
    InsertQueue(Q, c, q);
}

// The propagation of iftBasins over the linked bucket queue, step by step
// as the text has it, refreshing a child only when something changes.
std::vector<int> PlainBasins(Image *img, const Image *seeds, const AdjRel *A) {
  auto aimg = Annotate(img, nullptr, seeds);
  int *C = aimg->cost->val.data(), *L = aimg->label->val.data(), *P = aimg->pred->val.data();
  const int n = static_cast<int>(img->val.size());
  int top = 0;
  for (int v : img->val) top = std::max(top, v);
  auto Q = CreateQueue(top + 1, n);
  for (int s; (s = RemoveSet(&aimg->seeds)) != -1;)
    if (Q->elem[s].color != GRAY) InsertQueue(Q.get(), C[s], s);
  for (int p; (p = RemoveQueue(Q.get())) != -1;) {
    ForNeighbours(img, A, p, [&](int q) {
      const bool child = P[q] == p;
      if (C[p] >= C[q] && !child) return;
      const int c = std::max(img->val[q], C[p]);
      if (c >= C[q] && !child) return;
      if (child && c == C[q] && L[q] == L[p]) return;
      File(Q.get(), q, C[q], c);
      C[q] = c;
      L[q] = L[p];
      P[q] = p;
    });
  }
  return aimg->label->val;
}

}  // namespace

namespace {

// The marker watersheds over the linked bucket queue as the text has them:
// every queued pixel in pixel order at its starting cost; a pixel leaving
// the queue unlabelled opens the next label, drops to its marker level and
// sets the queue's current bucket there; the max-arc rule conquers any
// neighbour not yet served.
std::vector<int> PlainMarkerWatershed(const Image *img, const Image *marker, bool fromLabels,
                                      const AdjRel *A) {
  const int n = static_cast<int>(img->val.size());
  int top = 0;
  for (int v : img->val) top = std::max(top, v);
  for (int v : marker->val) top = std::max(top, v + 1);
  std::vector<int> C(n, kImageInfinity), L(n, 0);
  auto Q = CreateQueue(top + 2, n);
  for (int p = 0; p < n; p++) {
    if (fromLabels && marker->val[p] > 0) {
      C[p] = 0;
      L[p] = marker->val[p];
    } else if (!fromLabels) {
      C[p] = marker->val[p] + 1;
    } else {
      continue;
    }
    InsertQueue(Q.get(), C[p], p);
  }
  int next = 0;
  for (int p; (p = RemoveQueue(Q.get())) != -1;) {
    if (L[p] == 0) {
      L[p] = ++next;
      C[p] = marker->val[p];
      Q->current = C[p];
    }
    ForNeighbours(img, A, p, [&](int q) {
      const int c = std::max(C[p], img->val[q]);
      if (c >= C[q] || Q->elem[q].color == BLACK) return;
      File(Q.get(), q, C[q], c);
      C[q] = c;
      L[q] = L[p];
    });
  }
  return L;
}

}  // namespace

TEST(Watersheds, EqualThePropagationOverTheLinkedQueue) {
  std::mt19937 rng(17);
  for (int trial = 0; trial < 12; trial++) {
    const int nc = 29 + trial, nr = 21;
    // Few levels make wide plateaus, where the order of service decides.
    auto img = RandomImage(rng, nc, nr, 0, trial % 2 ? 3 : 60);
    auto seeds = CreateImage(nc, nr);
    std::uniform_int_distribution<int> pixel(0, nc * nr - 1);
    for (int k = 1; k <= 2 + trial; k++) seeds->val[pixel(rng)] = 1 + k % 4;
    auto marker = RandomImage(rng, nc, nr, 0, trial % 2 ? 2 : 30);
    for (float r : {1.0f, 1.5f}) {
      auto A = Circular(r);
      auto aimg = Annotate(img.get(), nullptr, seeds.get());
      ASSERT_EQ(iftWatershed(aimg.get(), A.get())->val, PlainBasins(img.get(), seeds.get(), A.get()))
          << "trial " << trial << " radius " << r;
      ASSERT_EQ(WaterLabel(img.get(), seeds.get(), A.get())->val,
                PlainMarkerWatershed(img.get(), seeds.get(), true, A.get()))
          << "trial " << trial << " radius " << r;
      ASSERT_EQ(WaterGray(img.get(), marker.get(), A.get())->val,
                PlainMarkerWatershed(img.get(), marker.get(), false, A.get()))
          << "trial " << trial << " radius " << r;
    }
  }
}
