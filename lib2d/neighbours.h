// What the 2D library's propagation loops share: the neighbours of a pixel
// under a relation, and the filing of a pixel under a new cost.
//
// Pixels at least FrameSize(A) from every border reach all their
// neighbours by fixed address offsets; the others test each neighbour
// against the image. The choice is made once per pixel, so the offsets of
// an interior pixel cost one add each.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <vector>

#include "core/adjacency.h"
#include "core/common.h"
#include "core/image.h"
#include "core/queue.h"

struct Neighbours {
  int ncols = 0, nrows = 0, frame = 0, n = 0;
  std::vector<int> dx, dy, dp;  // the relation without its origin

  Neighbours(const Image *img, const AdjRel *A) : ncols(img->ncols), nrows(img->nrows) {
    frame = FrameSize(A);
    for (int i = 0; i < A->n; i++) {
      if (A->dx[i] == 0 && A->dy[i] == 0) continue;
      dx.push_back(A->dx[i]);
      dy.push_back(A->dy[i]);
      dp.push_back(A->dx[i] + ncols * A->dy[i]);
    }
    n = static_cast<int>(dp.size());
  }

  // The neighbours a raster scan meets before the pixel (before = true) or
  // after it.
  Neighbours Scanned(bool before) const {
    Neighbours part = *this;
    part.dx.clear();
    part.dy.clear();
    part.dp.clear();
    for (int i = 0; i < n; i++)
      if ((dy[i] < 0 || (dy[i] == 0 && dx[i] < 0)) == before) {
        part.dx.push_back(dx[i]);
        part.dy.push_back(dy[i]);
        part.dp.push_back(dp[i]);
      }
    part.n = static_cast<int>(part.dp.size());
    return part;
  }

  // f(q) for every neighbour q of p inside the image.
  template <class F>
  void ForEach(int p, F &&f) const {
    const int y = p / ncols, x = p - y * ncols;
    if (x >= frame && y >= frame && x < ncols - frame && y < nrows - frame) {
      for (int i = 0; i < n; i++) f(p + dp[i]);
    } else {
      for (int i = 0; i < n; i++) {
        const int qx = x + dx[i], qy = y + dy[i];
        if (qx >= 0 && qy >= 0 && qx < ncols && qy < nrows) f(p + dp[i]);
      }
    }
  }
};

// Whether every displacement's opposite is in the relation too.
inline bool IsSymmetric(const AdjRel *A) {
  for (int i = 0; i < A->n; i++) {
    bool found = false;
    for (int j = 0; j < A->n && !found; j++) found = A->dx[j] == -A->dx[i] && A->dy[j] == -A->dy[i];
    if (!found) return false;
  }
  return true;
}

// Files e in bucket `to`: moved there from bucket `from` when it is queued,
// inserted when it is not.
inline void FileInQueue(Queue *Q, int e, int from, int to) {
  if (Q->elem[e].color == GRAY)
    UpdateQueue(Q, e, from, to);
  else
    InsertQueue(Q, to, e);
}

// An array of trivially copyable elements. One of 16 MiB or more is left
// uninitialised, in large pages where the system grants them: an array of
// many megabytes made for one call then takes a few page faults instead of
// one per 4 KiB (on some virtual machines these cost more than the work
// done in the array), and scattered reads miss the address cache less.
// Smaller ones come from the heap, which reuses what it frees.
template <class T>
class LargeArray {
 public:
  explicit LargeArray(size_t n) : bytes_(std::max<size_t>(n, 1) * sizeof(T)) {
    constexpr size_t kLarge = size_t(2) << 20;
    if (bytes_ < 8 * kLarge) {
      small_.resize(bytes_ / sizeof(T) + 1);
      data_ = small_.data();
      return;
    }
    bytes_ = (bytes_ + kLarge - 1) / kLarge * kLarge;
    void *m = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) Error("Cannot allocate memory space", "LargeArray");
#ifdef MADV_HUGEPAGE
    madvise(m, bytes_, MADV_HUGEPAGE);
#endif
    data_ = static_cast<T *>(m);
    mapped_ = true;
  }
  ~LargeArray() {
    if (mapped_) munmap(data_, bytes_);
  }
  LargeArray(const LargeArray &) = delete;
  LargeArray &operator=(const LargeArray &) = delete;
  T &operator[](size_t i) { return data_[i]; }
  const T &operator[](size_t i) const { return data_[i]; }

 private:
  T *data_ = nullptr;
  size_t bytes_;
  bool mapped_ = false;
  std::vector<T> small_;
};

// A first-in first-out bucket queue kept as one array per bucket, for
// costs filed at or above the bucket being served (or where `current` is
// set back by the caller): filing an element (new, moved, or back after its
// removal) appends it to its bucket and leaves any older entry behind,
// skipped when met because it is not the element's latest. Elements come
// out in the order the linked bucket queue gives them (a move goes to the
// tail of its new bucket in both), with sequential reads instead of linked
// ones.
//
// Each element's queue state lives in the caller's record of it (a member
// `unsigned state`, 0 at the start), beside the fields the propagation
// reads, so that one place in memory serves both: 0 never filed, odd
// queued, even and above 0 served; filing and serving both advance it, and
// an entry records the state its filing set.
template <class Node>
struct NodeBuckets {
  struct Entry {
    int e;
    unsigned state;
  };
  std::vector<std::vector<Entry>> bucket;
  std::vector<size_t> head;
  int current = 0;

  explicit NodeBuckets(int nbuckets) : bucket(nbuckets), head(nbuckets, 0) {}

  static bool Queued(const Node &n) { return n.state & 1u; }
  static bool Served(const Node &n) { return n.state && !(n.state & 1u); }

  void Push(Node *node, int b, int e) {
    unsigned &st = node[e].state;
    st += (st & 1u) ? 2u : 1u;
    bucket[b].push_back({e, st});
  }
  // The next element, now served, or -1 when none is left.
  int Pop(Node *node) {
    for (const int nb = static_cast<int>(bucket.size()); current < nb; current++) {
      std::vector<Entry> &b = bucket[current];
      size_t &h = head[current];
      while (h < b.size()) {
        const Entry en = b[h++];
        if (node[en.e].state == en.state) {
          node[en.e].state++;
          return en.e;
        }
      }
    }
    return -1;
  }
};
