// What the 2D library's propagation loops share: the neighbours of a pixel
// under a relation, and the filing of a pixel under a new cost.
//
// Pixels at least FrameSize(A) from every border reach all their
// neighbours by fixed address offsets; the others test each neighbour
// against the image. The choice is made once per pixel, so the offsets of
// an interior pixel cost one add each.
#pragma once

#include <vector>

#include "core/adjacency.h"
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

// A first-in first-out bucket queue kept as one array per bucket, for
// costs filed at or above the bucket being served: filing an element (new,
// moved, or back after its removal) appends it to its bucket and leaves any
// older entry behind, skipped when met because it is not the element's
// latest. Elements come out in the order the linked bucket queue gives
// them (a move goes to the tail of its new bucket in both), with
// sequential reads instead of linked ones.
struct LazyBuckets {
  std::vector<std::vector<int>> bucket;
  std::vector<size_t> head;
  std::vector<unsigned char> color;  // WHITE, GRAY, BLACK per element
  std::vector<unsigned> filing;      // per element: the count of its latest filing
  std::vector<std::vector<unsigned>> stamp;  // per entry: the filing it was
  int current = 0;

  LazyBuckets(int nbuckets, int nelems)
      : bucket(nbuckets), head(nbuckets, 0), color(nelems, WHITE), filing(nelems, 0),
        stamp(nbuckets) {}

  void Push(int b, int e) {
    bucket[b].push_back(e);
    stamp[b].push_back(++filing[e]);
    color[e] = GRAY;
  }
  // The next element (BLACK), or -1 when none is left.
  int Pop() {
    for (const int nb = static_cast<int>(bucket.size()); current < nb; current++) {
      const std::vector<int> &b = bucket[current];
      const std::vector<unsigned> &s = stamp[current];
      size_t &h = head[current];
      while (h < b.size()) {
        const int e = b[h];
        const unsigned f = s[h++];
        if (color[e] == GRAY && filing[e] == f) {
          color[e] = BLACK;
          return e;
        }
      }
    }
    return -1;
  }
};
