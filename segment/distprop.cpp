#include "segment/distprop.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Displacements are stored as narrow as the volume allows: 6 bytes a voxel
// instead of 12 when no side is long. A displacement component never grows
// much beyond the longest side (it is the absolute distance to the seed along
// paths that keep their direction), so 16 bits leave a factor four to spare.
constexpr int kNarrowSide = 8192;
constexpr int kNarrowStep = 1024;

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
void Run(const Propagation &pr) {
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
  // Neighbour rows to prefetch: distinct offsets with dx = 0.
  std::vector<int> rowOffsets;
  for (int i = 0; i < n; i++) {
    if (ax[i] != 0) continue;
    bool seen = false;
    for (int o : rowOffsets) seen = seen || o == off[i];
    if (!seen) rowOffsets.push_back(off[i]);
  }
  const int *rowOff = rowOffsets.data();
  const int nrows = static_cast<int>(rowOffsets.size());
  constexpr size_t kAhead = 8;
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
          if (kq == kUnreached) pending++;
          const long long step = c - v;
          int s;
          if (step < nb) {
            s = slot + static_cast<int>(step);
            if (s >= nb) s -= nb;
          } else {
            s = static_cast<int>(c % nb);
          }
          ring[s].push_back(q);
          K[q] = static_cast<int>(c);
          disp[q] = Displacement<D>(ax[i] + dp.x, ay[i] + dp.y, az[i] + dp.z);
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
}

}  // namespace

void PropagateDisplacements(const Propagation &pr) {
  int reach = 0;
  for (size_t i = 0; i < pr.ax.size(); i++) {
    reach = pr.ax[i] > reach ? pr.ax[i] : reach;
    reach = pr.ay[i] > reach ? pr.ay[i] : reach;
    reach = pr.az[i] > reach ? pr.az[i] : reach;
  }
  bool narrow = pr.largestSide <= kNarrowSide && reach <= kNarrowStep;
  if (pr.labels != nullptr) {
    if (narrow)
      Run<int16_t, true>(pr);
    else
      Run<int32_t, true>(pr);
  } else {
    if (narrow)
      Run<int16_t, false>(pr);
    else
      Run<int32_t, false>(pr);
  }
}
