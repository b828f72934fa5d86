#include "segment/distprop.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

// Displacements are stored as narrow as the volume allows: 6 bytes a voxel
// instead of 12 when no side is long. A displacement component rarely grows
// beyond the longest side (it is the absolute distance to the seed along
// paths that keep their direction); one that outgrows 16 bits abandons the
// run, which is then redone with 32 bits.
constexpr int kNarrowSide = 8192;
constexpr int kNarrowStep = 1024;

// How many voxels ahead of the one being served the lines of its
// neighbourhood are requested from memory.
constexpr size_t kAhead = 8;

// The distinct offsets with dx = 0: one address in each row of a voxel's
// neighbourhood, for prefetching.
std::vector<int> RowOffsets(const Propagation &pr) {
  std::vector<int> rows;
  for (size_t i = 0; i < pr.offset.size(); i++) {
    if (pr.ax[i] != 0) continue;
    bool seen = false;
    for (int o : rows) seen = seen || o == pr.offset[i];
    if (!seen) rows.push_back(pr.offset[i]);
  }
  return rows;
}

// The ring list of cost c, served while cost v sits in list `slot`: steps
// shorter than the ring go by offset, longer ones (only with unusual
// relations) by the cost itself.
static inline int RingSlot(long long c, long long v, int slot, int nb) {
  const long long step = c - v;
  if (step >= nb) return static_cast<int>(c % nb);
  int s = slot + static_cast<int>(step);
  return s >= nb ? s - nb : s;
}

template <class D>
struct Displacement {
  D x, y, z;
  Displacement() {}  // left unset: a voxel's displacement is written before it is read
  Displacement(long long a, long long b, long long c)
      : x(static_cast<D>(a)), y(static_cast<D>(b)), z(static_cast<D>(c)) {}
};

// The queue is a ring of nbuckets lists, list c mod nbuckets holding the
// voxels of cost c. Since every step is below nbuckets, the live costs span
// less than one turn of the ring, so each list holds one cost at a time and
// serving the lists in ring order serves costs in increasing order. A voxel
// that improves is appended to its new cost's list and its old entry is left
// behind: it is recognised when met because the voxel's cost no longer
// matches the list being served. Appending at the tail of the new list is
// the first-in first-out order of a bucket queue that unlinks and re-links
// the voxel, and nothing is allocated per voxel (lists keep their capacity
// from turn to turn).
template <class D, bool kLabels>
bool Run(const Propagation &pr) {
  constexpr long long kLongest = std::numeric_limits<D>::max();
  int *K = pr.cost;
  const int *lab = pr.labels;
  const int n = static_cast<int>(pr.offset.size());
  const int *off = pr.offset.data();
  const int *ax = pr.ax.data();
  const int *ay = pr.ay.data();
  const int *az = pr.az.data();
  const long long limit = pr.limit;
  std::vector<long long> a2v(n);
  for (int i = 0; i < n; i++) a2v[i] = 1LL * ax[i] * ax[i] + 1LL * ay[i] * ay[i] + 1LL * az[i] * az[i];
  const long long *a2 = a2v.data();
  const int nb = pr.nbuckets < 1 ? 1 : pr.nbuckets;

  LargeVector<Displacement<D>> disp(pr.nvoxels);  // 6 or 12 bytes/voxel
  std::vector<std::vector<int>> ring(nb);
  for (int s : pr.seeds) disp[s] = Displacement<D>(0, 0, 0);
  ring[0] = pr.seeds;
  long long pending = static_cast<long long>(pr.seeds.size());

  std::vector<int> carried;
  const std::vector<int> rowOffsets = RowOffsets(pr);
  const int *rowOff = rowOffsets.data();
  const int nrows = static_cast<int>(rowOffsets.size());
  long long v = 0;  // the cost being served
  int slot = 0;     // v mod nb
  while (pending > 0) {
    std::vector<int> &bucket = ring[slot];
    const int kv = static_cast<int>(v);
    // Indexing, not iterators: only a cost step of nb or more (which the
    // callers' nbuckets rules out) could append to the list being served.
    const size_t nbk = bucket.size();
    for (size_t j = 0; j < nbk; j++) {
      if (j + kAhead < nbk) {
        const int a = bucket[j + kAhead];
        for (int r = 0; r < nrows; r++) __builtin_prefetch(K + a + rowOff[r]);
        __builtin_prefetch(&disp[a]);
      }
      const int p = bucket[j];
      const int kp = K[p];
      if (kp != kv) {
        if (kp > kv) carried.push_back(p);  // a later cost of this slot
        continue;                           // else left behind by an improvement
      }
      pending--;
      const Displacement<D> dp = disp[p];
      const long long tx = 2LL * dp.x, ty = 2LL * dp.y, tz = 2LL * dp.z;
      // A voxel's cost is the squared length of its displacement, so an
      // offer c is always above K(p): "K(p) < K(q)" is implied by c < K(q),
      // and blocked voxels (below every cost) never pass it. The offer is
      // computed for every neighbour without a branch; the one branch left
      // is taken only on an improvement.
      for (int i = 1; i < n; i++) {
        const int q = p + off[i];
        const int kq = K[q];
        const long long c = kp + a2[i] + ax[i] * tx + ay[i] * ty + az[i] * tz;
        if ((c < kq) & (c <= limit)) {
          if (kLabels && lab[q] != lab[p]) continue;
          const long long nx = ax[i] + static_cast<long long>(dp.x), ny = ay[i] + static_cast<long long>(dp.y),
                          nz = az[i] + static_cast<long long>(dp.z);
          // A component too long for D abandons the run, as in the compact
          // form: the caller redoes it with 32-bit components.
          if (nx > kLongest || ny > kLongest || nz > kLongest) return false;
          if (kq == kUnreached) pending++;
          ring[RingSlot(c, v, slot, nb)].push_back(q);
          K[q] = static_cast<int>(c);
          disp[q] = Displacement<D>(nx, ny, nz);
        }
      }
    }
    bucket.clear();
    if (!carried.empty()) {
      bucket.swap(carried);
      carried.clear();
    }
    v++;
    if (++slot == nb) slot = 0;
  }
  return true;
}

// For volumes whose sides are at most kPackedSide, a voxel's whole state
// fits the 32 bits of its cost cell: the three displacement components in
// 10 bits each, or one of two marks. Its cost is the squared length of its
// displacement, computed when needed. That quarters the memory the
// propagation wanders over (the cost of a voxel is never stored beside its
// displacement), which is what its speed depends on. A component that
// outgrows 10 bits abandons the run; the caller restores the cells and runs
// the general form.
constexpr int kPackedSide = 1000;
constexpr uint32_t kWordUnreached = 0x40000000u;
constexpr uint32_t kWordBlocked = 0x80000000u;  // the bits of kBlocked
static_assert(static_cast<uint32_t>(kBlocked) == kWordBlocked, "blocked cells keep their bits");
constexpr uint32_t kComponentMask = 1023u;

inline long long WordCost(uint32_t w) {
  const long long x = w & kComponentMask, y = (w >> 10) & kComponentMask, z = (w >> 20) & kComponentMask;
  long long c = x * x + y * y + z * z;
  c = w == kWordUnreached ? INT_MAX : c;
  c = w == kWordBlocked ? INT_MIN : c;
  return c;
}

template <bool kLabels>
bool RunPacked(const Propagation &pr) {
  uint32_t *W = reinterpret_cast<uint32_t *>(pr.cost);
  for (int i = 0; i < pr.nvoxels; i++) {
    const int k = pr.cost[i];
    W[i] = k == kUnreached ? kWordUnreached : k == kBlocked ? kWordBlocked : 0u;
  }
  const int *lab = pr.labels;
  const int n = static_cast<int>(pr.offset.size());
  const int *off = pr.offset.data();
  const int *ax = pr.ax.data();
  const int *ay = pr.ay.data();
  const int *az = pr.az.data();
  const long long limit = pr.limit;
  std::vector<long long> a2v(n);
  for (int i = 0; i < n; i++) {
    a2v[i] = 1LL * ax[i] * ax[i] + 1LL * ay[i] * ay[i] + 1LL * az[i] * az[i];
  }
  const long long *a2 = a2v.data();
  const int nb = pr.nbuckets < 1 ? 1 : pr.nbuckets;
  std::vector<std::vector<int>> ring(nb);
  ring[0] = pr.seeds;
  long long pending = static_cast<long long>(pr.seeds.size());
  const std::vector<int> rowOffsets = RowOffsets(pr);
  const int *rowOff = rowOffsets.data();
  const int nrows = static_cast<int>(rowOffsets.size());

  std::vector<int> carried;
  long long v = 0;
  int slot = 0;
  while (pending > 0) {
    std::vector<int> &bucket = ring[slot];
    const size_t nbk = bucket.size();
    for (size_t j = 0; j < nbk; j++) {
      if (j + kAhead < nbk) {
        const int a = bucket[j + kAhead];
        for (int r = 0; r < nrows; r++) __builtin_prefetch(W + a + rowOff[r]);
      }
      const int p = bucket[j];
      const uint32_t wp = W[p];
      const long long kp = WordCost(wp);
      if (kp != v) {
        if (kp > v) carried.push_back(p);
        continue;
      }
      pending--;
      const long long tx = 2LL * (wp & kComponentMask), ty = 2LL * ((wp >> 10) & kComponentMask),
                      tz = 2LL * ((wp >> 20) & kComponentMask);
      for (int i = 1; i < n; i++) {
        const int q = p + off[i];
        const uint32_t wq = W[q];
        const long long kq = WordCost(wq);
        const long long c = kp + a2[i] + ax[i] * tx + ay[i] * ty + az[i] * tz;
        if ((c < kq) & (c <= limit)) {
          if (kLabels && lab[q] != lab[p]) continue;
          const uint32_t nx = (wp & kComponentMask) + ax[i], ny = ((wp >> 10) & kComponentMask) + ay[i],
                         nz = ((wp >> 20) & kComponentMask) + az[i];
          if ((nx | ny | nz) > kComponentMask) return false;
          if (wq == kWordUnreached) pending++;
          ring[RingSlot(c, v, slot, nb)].push_back(q);
          W[q] = nx | ny << 10 | nz << 20;
        }
      }
    }
    bucket.clear();
    if (!carried.empty()) {
      bucket.swap(carried);
      carried.clear();
    }
    v++;
    if (++slot == nb) slot = 0;
  }
  for (int i = 0; i < pr.nvoxels; i++) pr.cost[i] = static_cast<int>(WordCost(W[i]));
  return true;
}

// After an abandoned run: every cell that was not blocked was free or a
// seed, and the seeds are listed. A blocked cell has the same bits in both
// forms (kWordBlocked is kBlocked's pattern), so this serves after either.
void RestoreCosts(const Propagation &pr) {
  uint32_t *W = reinterpret_cast<uint32_t *>(pr.cost);
  for (int i = 0; i < pr.nvoxels; i++) pr.cost[i] = W[i] == kWordBlocked ? kBlocked : kUnreached;
  for (int s : pr.seeds) pr.cost[s] = 0;
}

}  // namespace

void PropagateDisplacements(const Propagation &pr) {
  int reach = 0;
  for (size_t i = 0; i < pr.ax.size(); i++) {
    reach = pr.ax[i] > reach ? pr.ax[i] : reach;
    reach = pr.ay[i] > reach ? pr.ay[i] : reach;
    reach = pr.az[i] > reach ? pr.az[i] : reach;
  }
  if (pr.largestSide <= kPackedSide) {
    if (pr.labels != nullptr ? RunPacked<true>(pr) : RunPacked<false>(pr)) return;
    RestoreCosts(pr);
  }
  if (pr.largestSide <= kNarrowSide && reach <= kNarrowStep) {
    if (pr.labels != nullptr ? Run<int16_t, true>(pr) : Run<int16_t, false>(pr)) return;
    RestoreCosts(pr);
  }
  if (pr.labels != nullptr)
    Run<int32_t, true>(pr);
  else
    Run<int32_t, false>(pr);
}
