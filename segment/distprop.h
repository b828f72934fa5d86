// The engine shared by the squared Euclidean distance transforms of scenes
// and images: displacement vectors spread from seed voxels over an
// adjacency, in order of squared distance.
//
// The caller frames its volume by the relation's reach and fills the cost
// map K (framed, x fastest):
//   kUnreached  free, not reached yet
//   kBlocked    never processed and never changed: the frame, and the voxels
//               whose cost is fixed at 0 on the side that was not asked for
//   0           a seed (listed in `seeds`, in the order it was found)
// Because no cost is ever below a blocked one, the rule "improve q from p only
// when K(p) < K(q)" skips both kinds of blocked voxel without a test of its
// own, and no neighbour address ever leaves the framed volume.
//
// Service order: voxels leave in increasing cost; among equal costs, first
// in first out by the time the voxel entered its present cost (an improved
// voxel goes to the back of its new cost's list). Only a strictly smaller
// cost replaces a stored one, so ties keep the first offer, and a voxel
// keeps the displacement (as absolute components) of the neighbour that last
// improved it. That order is what a bucket queue with keys cost mod nbuckets
// gives when every step is smaller than nbuckets; the results depend on it
// wherever the propagation is not the exact Euclidean distance.
#pragma once

#include <sys/mman.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// Storage for the large working arrays, backed by 2 MiB pages where the
// system offers them. The propagation reads 27 voxels spread over 3 slices
// for every voxel it serves, in an order that wanders over the whole
// volume: with 4 KiB pages nearly every step misses the address
// translation cache, and that costs more than the arithmetic.
template <class T>
struct LargePageAllocator {
  using value_type = T;
  static constexpr size_t kLargePage = size_t{1} << 21;
  static constexpr size_t kThreshold = size_t{1} << 22;  // smaller arrays use the heap

  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U> &) {}

  T *allocate(size_t n) {
    size_t bytes = n * sizeof(T);
    if (bytes < kThreshold) return std::allocator<T>().allocate(n);
    size_t rounded = (bytes + kLargePage - 1) & ~(kLargePage - 1);
    void *raw = mmap(nullptr, rounded + kLargePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (start + kLargePage - 1) & ~(uintptr_t{kLargePage} - 1);
    if (aligned > start) munmap(raw, aligned - start);
    uintptr_t end = start + rounded + kLargePage;
    if (end > aligned + rounded) munmap(reinterpret_cast<void *>(aligned + rounded), end - aligned - rounded);
    madvise(reinterpret_cast<void *>(aligned), rounded, MADV_HUGEPAGE);
    return reinterpret_cast<T *>(aligned);
  }
  void deallocate(T *p, size_t n) {
    size_t bytes = n * sizeof(T);
    if (bytes < kThreshold) {
      std::allocator<T>().deallocate(p, n);
      return;
    }
    munmap(p, (bytes + kLargePage - 1) & ~(kLargePage - 1));
  }
  template <class U>
  bool operator==(const LargePageAllocator<U> &) const { return true; }
  template <class U>
  bool operator!=(const LargePageAllocator<U> &) const { return false; }
};

template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

constexpr int kUnreached = INT_MAX;
constexpr int kBlocked = INT_MIN;

struct Propagation {
  int *cost = nullptr;           // K, framed
  int nvoxels = 0;               // framed voxel count
  const int *labels = nullptr;   // framed labels: when set, q is improved only from p of q's label
  std::vector<int> seeds;        // framed addresses of the cost-0 voxels to serve first
  std::vector<int> offset;       // framed address offsets of the relation, origin first
  std::vector<int> ax, ay, az;   // absolute displacement components, origin first
  int nbuckets = 1;              // larger than the largest cost step of one move
  int limit = INT_MAX;           // costs above it are never stored
  int largestSide = 0;           // largest unframed side: chooses the displacement width
};

// Runs the propagation to the end, updating p.cost in place.
void PropagateDisplacements(const Propagation &p);
