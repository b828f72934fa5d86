#include "segment/distprop.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/progress.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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
    progress::Tick();
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

// For volumes whose sides are at most kCarriedSide the displacement of a
// queued voxel travels in its queue entry, packed 10 bits a component, and
// the cost map holds plain costs: serving a voxel reads its displacement
// from the list being served (in order, not scattered over the volume), and
// testing a neighbour is one load and one comparison. A voxel's displacement
// is needed only until it is served, and an entry is served only while its
// cost is the voxel's present cost (costs fall strictly, so at most one
// entry of a voxel has it), so no map of displacements is kept. A component
// that outgrows 10 bits abandons the run; the caller restores the costs and
// runs the general form.
constexpr int kCarriedSide = 1000;
constexpr uint32_t kComponentMask = 1023u;

struct Entry {
  int voxel;
  uint32_t disp;  // |dx| | |dy| << 10 | |dz| << 20
};

// The neighbourhood of a relation that lies in the 3x3x3 cube around the
// origin, met row by row: `rows` are the address steps to the centres of
// the rows it touches, increasing, and bit 4r + dx + 1 of `lanes` is set
// when the relation holds (dx, row r). In a framed volume (rows of at least
// 3 voxels) increasing address steps are the order z, y, x, so when the
// relation lists its elements in increasing steps, serving the set bits of
// a voxel's improvements from the lowest up offers in the relation's order.
// Rows past nrows repeat row 0 and hold no lanes, so that every voxel is
// tested with the same nine loads.
struct RowNeighbourhood {
  bool usable = false;
  int nrows = 0;
  int rows[9];
  int rowKind[9];       // |dy| | |dz| << 1 of the row
  uint64_t lanes = 0;
  int step[36];         // address step of bit b
  int kind[36];         // |dx| | |dy| << 1 | |dz| << 2 of bit b
  int lastRow = 0;      // steps past the row centre a 4-cell load reaches: the largest row + 2
};

RowNeighbourhood RowsOf(const Propagation &pr) {
  RowNeighbourhood rn;
  const size_t n = pr.offset.size();
  if (n < 2 || pr.dx.size() != n) return rn;
  for (size_t i = 1; i < n; i++) {
    if (pr.ax[i] > 1 || pr.ay[i] > 1 || pr.az[i] > 1 || pr.offset[i] == 0) return rn;
    if (i > 1 && pr.offset[i] <= pr.offset[i - 1]) return rn;
    if (pr.dx[i] < -1 || pr.dx[i] > 1 || (pr.dx[i] != 0) != (pr.ax[i] != 0)) return rn;
  }
  for (size_t i = 1; i < n; i++) {
    const int centre = pr.offset[i] - pr.dx[i];
    int r = 0;
    while (r < rn.nrows && rn.rows[r] != centre) r++;
    if (r == rn.nrows) {
      if (rn.nrows == 9) return rn;
      rn.rows[rn.nrows] = centre;
      rn.rowKind[rn.nrows] = pr.ay[i] | pr.az[i] << 1;
      rn.nrows++;
    }
    // Rows are met in increasing order (the steps increase), so a row is
    // never revisited after a later one.
    if (r != rn.nrows - 1) return rn;
    const int b = 4 * r + pr.dx[i] + 1;
    rn.lanes |= uint64_t{1} << b;
    rn.step[b] = pr.offset[i];
    rn.kind[b] = pr.ax[i] | pr.ay[i] << 1 | pr.az[i] << 2;
  }
  rn.lastRow = rn.rows[rn.nrows - 1] + 2;
  for (int r = rn.nrows; r < 9; r++) {
    rn.rows[r] = rn.rows[0];
    rn.rowKind[r] = rn.rowKind[0];
  }
  rn.usable = true;
  return rn;
}

// Bit b of the result is set when the offer to the neighbour of bit b is
// below its cost. offer[k] is the offer to a neighbour of kind k (INT_MAX
// where nothing may be offered), so an unreached neighbour (INT_MAX) takes
// any real offer and a blocked one (INT_MIN) none.
#if defined(__SSE2__)
// lo and hi hold the offers of kinds 0-3 and 4-7.
inline uint64_t ImprovableLanes(const int *K, int p, const RowNeighbourhood &rn, __m128i lo, __m128i hi) {
  // Row kind t compares (x-1, x, x+1, x+2) with (side, centre, side,
  // INT_MAX): offers are never negative, so or-ing INT_MAX into the last
  // lane makes it INT_MAX, which no cost exceeds.
  const __m128i top = _mm_set_epi32(INT_MAX, 0, 0, 0);
  __m128i rowOffer[4];
  rowOffer[0] = _mm_or_si128(_mm_shuffle_epi32(lo, _MM_SHUFFLE(1, 1, 0, 1)), top);
  rowOffer[1] = _mm_or_si128(_mm_shuffle_epi32(lo, _MM_SHUFFLE(3, 3, 2, 3)), top);
  rowOffer[2] = _mm_or_si128(_mm_shuffle_epi32(hi, _MM_SHUFFLE(1, 1, 0, 1)), top);
  rowOffer[3] = _mm_or_si128(_mm_shuffle_epi32(hi, _MM_SHUFFLE(3, 3, 2, 3)), top);
  __m128i better[9];
  for (int r = 0; r < 9; r++) {
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i *>(K + p + rn.rows[r] - 1));
    better[r] = _mm_cmpgt_epi32(k, rowOffer[rn.rowKind[r]]);
  }
  // Four rows a byte mask: the comparisons are all-ones or zero, which
  // saturating packs keep.
  const __m128i r0123 = _mm_packs_epi16(_mm_packs_epi32(better[0], better[1]), _mm_packs_epi32(better[2], better[3]));
  const __m128i r4567 = _mm_packs_epi16(_mm_packs_epi32(better[4], better[5]), _mm_packs_epi32(better[6], better[7]));
  const uint64_t mask = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(r0123))) |
                        static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(r4567))) << 16 |
                        static_cast<uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(better[8]))) << 32;
  return mask & rn.lanes;
}
#endif

// The same, one neighbour at a time: for the voxels whose last row ends at
// the end of the cost map, where a 4-cell load would read past it (and
// where SSE2 is missing).
inline uint64_t ImprovableLanesOneByOne(const int *K, int p, const RowNeighbourhood &rn, const int offer[8]) {
  uint64_t mask = 0;
  for (uint64_t bits = rn.lanes; bits != 0; bits &= bits - 1) {
    const int b = __builtin_ctzll(bits);
    mask |= static_cast<uint64_t>(offer[rn.kind[b]] < K[p + rn.step[b]]) << b;
  }
  return mask;
}

// The tiled cost map: each 64-byte line holds a 4x4 patch of one plane
// (x fastest within the patch, patches in row order, planes in order), so
// a line is finished with in a few steps of the wavefront whichever way it
// moves, where a line of 16 voxels along x stays in use for as many steps
// when the wavefront moves along x. Four framed rows of a plane occupy the
// same addresses in both layouts, so converting is a pass over the map with
// one band of four rows of scratch.
void RowsToTiles(int *K, int fx, int fy, int fz, bool toTiles) {
  std::vector<int> band(4 * static_cast<size_t>(fx));
  for (long long b = 0; b < static_cast<long long>(fy / 4) * fz; b++) {
    progress::Tick();
    int *base = K + b * 4 * fx;
    std::copy(base, base + 4 * fx, band.begin());
    for (int r = 0; r < 4; r++)
      for (int x = 0; x < fx; x++) {
        const int tiled = (x >> 2) * 16 + r * 4 + (x & 3);
        if (toTiles)
          base[tiled] = band[r * fx + x];
        else
          base[r * fx + x] = band[tiled];
      }
  }
}

inline int TiledAddress(int p, int fx, int fy) {
  const int x = p % fx, y = (p / fx) % fy, band = p / (fx * 4);
  return band * 4 * fx + (x >> 2) * 16 + (y & 3) * 4 + (x & 3);
}

// For a relation within the 3x3x3 cube: the address steps to the neighbours
// from a voxel at in-tile position c = (y & 3) * 4 + (x & 3) (the low four
// bits of its tiled address), and the steps from the start of its line to
// the distinct lines they fall in.
struct TileNeighbourhood {
  bool usable = false;
  bool gather = false;  // test eight neighbours a load (AVX2)
  int n = 0;            // elements past the origin, at most 26
  uint32_t all = 0;     // bits 0 .. n - 1
  // Past n: kind 0 and step 0, the voxel itself, whose cost equals its
  // offer of kind 0 and so never tests improvable.
  alignas(32) int kind[32];
  alignas(32) int off[16][32];
  int nlines[16];
  int lines[16][27];
};

bool gGathersAllowed = true;

TileNeighbourhood TilesOf(const Propagation &pr) {
  TileNeighbourhood tn;
  std::fill(tn.kind, tn.kind + 32, 0);
  for (auto &o : tn.off) std::fill(o, o + 32, 0);
  const int n = static_cast<int>(pr.offset.size()) - 1;
  if (pr.fx < 4 || pr.fy < 4 || pr.fx % 4 || pr.fy % 4 || n < 1 || n > 26 || pr.dx.size() != pr.offset.size())
    return tn;
  if (pr.nvoxels % (pr.fx * pr.fy) != 0) return tn;
  const int plane = pr.fx * pr.fy;
  for (int i = 1; i <= n; i++) {
    if (pr.ax[i] > 1 || pr.ay[i] > 1 || pr.az[i] > 1) return tn;
    // The row-major step says the signs of dy and dz.
    const int dx = pr.dx[i];
    const int rest = pr.offset[i] - dx;  // dy * fx + dz * plane
    const int dz = rest > plane / 2 ? 1 : rest < -plane / 2 ? -1 : 0;
    const int dy = (rest - dz * plane) / pr.fx;
    if (dy * pr.fx + dz * plane != rest || std::abs(dy) != pr.ay[i] || std::abs(dz) != pr.az[i]) return tn;
    tn.kind[i - 1] = pr.ax[i] | pr.ay[i] << 1 | pr.az[i] << 2;
    for (int c = 0; c < 16; c++) {
      const int lx = c & 3, ly = c >> 2;
      const int nx = lx + dx, ny = ly + dy;
      const int tdx = nx < 0 ? -1 : nx > 3 ? 1 : 0, tdy = ny < 0 ? -1 : ny > 3 ? 1 : 0;
      tn.off[c][i - 1] = 16 * tdx + (nx - 4 * tdx - lx) + 4 * (ny - 4 * tdy - ly) + 4 * pr.fx * tdy + plane * dz;
    }
  }
  for (int c = 0; c < 16; c++) {
    tn.nlines[c] = 0;
    for (int i = 0; i <= n; i++) {
      const int step = i == 0 ? 0 : tn.off[c][i - 1];
      const int line = ((c + step) >> 4) * 16;  // floor: steps may be negative
      bool seen = false;
      for (int l = 0; l < tn.nlines[c]; l++) seen = seen || tn.lines[c][l] == line;
      if (!seen) tn.lines[c][tn.nlines[c]++] = line;
    }
  }
  tn.n = n;
  tn.all = n == 32 ? ~0u : (1u << n) - 1;
#if defined(__x86_64__) && defined(__GNUC__)
  tn.gather = gGathersAllowed && __builtin_cpu_supports("avx2");
#endif
  tn.usable = true;
  return tn;
}

#if defined(__x86_64__) && defined(__GNUC__)
// Bit i of the result is set when element i + 1 improves its neighbour;
// lo and hi are the offers of kinds 0-3 and 4-7.
__attribute__((target("avx2"))) uint32_t ImprovableByGather(const int *K, int p, const TileNeighbourhood &tn,
                                                            __m128i lo, __m128i hi) {
  const __m256i offers = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
  const int *o = tn.off[p & 15];
  uint32_t m = 0;
  for (int g = 0; g < 32; g += 8) {
    const __m256i k = _mm256_i32gather_epi32(K + p, _mm256_load_si256(reinterpret_cast<const __m256i *>(o + g)), 4);
    const __m256i of =
        _mm256_permutevar8x32_epi32(offers, _mm256_load_si256(reinterpret_cast<const __m256i *>(tn.kind + g)));
    m |= static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(k, of)))) << g;
  }
  return m & tn.all;
}
#endif

// The ring of lists of the carried form, in blocks of kBlockEntries
// entries drawn from a shared pool: a list that has been served gives its
// blocks back, and the next appends reuse them while they are still in the
// cache. The pool grows a chunk at a time (pointers into it stay valid), so
// neither appends nor the hand-over of a list copy entries, and the memory
// held is the largest number of queued entries, not the sum of every list's
// largest length.
class EntryRing {
 public:
  static constexpr int kBlockEntries = 512;  // 4 KiB
  struct List {
    Entry *cur = nullptr;  // next free entry of the last block
    Entry *end = nullptr;  // end of the last block
    int first = -1, last = -1;
  };

  explicit EntryRing(int nb) : lists_(nb) {}

  List &operator[](int slot) { return lists_[slot]; }
  __attribute__((always_inline)) static void Append(EntryRing *r, List *l, Entry e) {
    if (l->cur == l->end) r->AddBlock(l);
    *l->cur++ = e;
  }
  Entry *Block(int b) { return chunks_[b >> kChunkShift].data() + static_cast<size_t>(b & kChunkMask) * kBlockEntries; }
  int Next(int b) const { return next_[b]; }
  // Gives the blocks of l back and leaves l empty.
  void Release(List *l) {
    for (int b = l->first; b != -1;) {
      const int n = next_[b];
      next_[b] = free_;
      free_ = b;
      b = n;
    }
    *l = List();
  }

 private:
  static constexpr int kChunkShift = 6;  // 64 blocks (256 KiB) a chunk
  static constexpr int kChunkMask = (1 << kChunkShift) - 1;
  void AddBlock(List *l) {
    if (free_ == -1) {
      const int b0 = static_cast<int>(next_.size());
      chunks_.emplace_back(static_cast<size_t>(kBlockEntries) << kChunkShift);
      for (int k = 0; k <= kChunkMask; k++) next_.push_back(k < kChunkMask ? b0 + k + 1 : -1);
      free_ = b0;
    }
    const int b = free_;
    free_ = next_[b];
    next_[b] = -1;
    if (l->last == -1)
      l->first = b;
    else
      next_[l->last] = b;
    l->last = b;
    l->cur = Block(b);
    l->end = l->cur + kBlockEntries;
  }
  std::vector<List> lists_;
  std::vector<std::vector<Entry>> chunks_;
  std::vector<int> next_;  // next block of a list, or of the free list
  int free_ = -1;
};

// How many entries ahead the cost of a queued voxel is requested, and how
// many ahead (once that cost has arrived and shows the entry is live) the
// rows of its neighbourhood are.
constexpr int kCostAhead = 16;
constexpr int kRowsAhead = 8;

// How the neighbourhood of a served voxel is tested: one neighbour at a
// time in the relation's order, a row at a time, or through the tables of
// the tiled cost map.
enum Mode { kOneByOne, kByRows, kByTiles };

template <bool kLabels, int kMode>
bool RunCarried(const Propagation &pr, const RowNeighbourhood &rn, const TileNeighbourhood &tn,
                const std::vector<int> &seeds) {
  constexpr bool kRows = kMode == kByRows;
  constexpr bool kTiles = kMode == kByTiles;
  int *K = pr.cost;
  const int *lab = pr.labels;
  const int n = static_cast<int>(pr.offset.size());
  const int *off = pr.offset.data();
  const int *ax = pr.ax.data();
  const int *ay = pr.ay.data();
  const int *az = pr.az.data();
  const long long limit = pr.limit;
  std::vector<long long> a2v(n);
  std::vector<uint32_t> incv(n);
  for (int i = 0; i < n; i++) {
    a2v[i] = 1LL * ax[i] * ax[i] + 1LL * ay[i] * ay[i] + 1LL * az[i] * az[i];
    incv[i] = static_cast<uint32_t>(ax[i]) | static_cast<uint32_t>(ay[i]) << 10 | static_cast<uint32_t>(az[i]) << 20;
  }
  uint32_t incOfKind[8];
  for (int k = 0; k < 8; k++)
    incOfKind[k] = static_cast<uint32_t>(k & 1) | static_cast<uint32_t>(k >> 1 & 1) << 10 |
                   static_cast<uint32_t>(k >> 2) << 20;
  const long long *a2 = a2v.data();
  const int nb = pr.nbuckets < 1 ? 1 : pr.nbuckets;
  EntryRing ring(nb);
  EntryRing::List carried;  // entries of the slot being served that belong to a later turn
  for (int s : seeds) EntryRing::Append(&ring, &ring[0], {s, 0u});
  long long pending = static_cast<long long>(seeds.size());
  const std::vector<int> rowOffsets = RowOffsets(pr);
  const int *rowOff = rowOffsets.data();
  const int nrows = static_cast<int>(rowOffsets.size());
  const int safeEnd = pr.nvoxels - (kRows ? rn.lastRow : 0);
#if defined(__SSE2__)
  const __m128i vlimit = _mm_set1_epi32(static_cast<int>(limit)), vmax = _mm_set1_epi32(INT_MAX);
#endif

  long long v = 0;
  int slot = 0;
  while (pending > 0) {
    EntryRing::List *list = &ring[slot];
    for (int blk = list->first; blk != -1; blk = ring.Next(blk)) {
      progress::Tick();
      const Entry *block = ring.Block(blk);
      // The last block of the list is full up to list->cur; appends to the
      // list being served go to `carried`, so the bound does not move.
      const int nbk = blk == list->last ? static_cast<int>(list->cur - block) : EntryRing::kBlockEntries;
      // Look-ahead runs on into the next block of the list.
      const int nextBlk = ring.Next(blk);
      const Entry *next = nextBlk == -1 ? block : ring.Block(nextBlk);
      const int nnext = nextBlk == -1 ? 0 : nextBlk == list->last ? static_cast<int>(list->cur - next)
                                                                  : EntryRing::kBlockEntries;
      auto ahead = [&](int i) -> const Entry * {
        return i < nbk ? block + i : i - nbk < nnext ? next + (i - nbk) : nullptr;
      };
      for (int j = 0; j < nbk; j++) {
        if (const Entry *f = ahead(j + kCostAhead)) __builtin_prefetch(K + f->voxel);
        if (const Entry *f = ahead(j + kRowsAhead)) {
          const int a = f->voxel;
          if (K[a] == v) {
            if (kTiles) {
              const int *ln = tn.lines[a & 15];
              const int *base = K + (a & ~15);
              for (int l = 0; l < tn.nlines[a & 15]; l++) __builtin_prefetch(base + ln[l]);
            } else {
              for (int r = 0; r < nrows; r++) __builtin_prefetch(K + a + rowOff[r]);
            }
          }
        }
        const Entry e = block[j];
        const int p = e.voxel;
        const long long kp = K[p];
        if (kp != v) {
          if (kp > v) EntryRing::Append(&ring, &carried, e);  // a later cost of this slot
          continue;                                          // else left behind by an improvement
        }
        pending--;
        const uint32_t dp = e.disp;
        const long long px = dp & kComponentMask, py = (dp >> 10) & kComponentMask, pz = dp >> 20;
        // A voxel's cost is the squared length of its displacement, so an
        // offer is always above K(p): "K(p) < K(q)" is implied by offer <
        // K(q), and blocked voxels (below every cost) never pass it.
        auto improve = [&](int q, long long c, uint32_t inc) {
          if (K[q] == kUnreached) pending++;
          const int s = RingSlot(c, v, slot, nb);
          EntryRing::Append(&ring, s == slot ? &carried : &ring[s], {q, dp + inc});
          K[q] = static_cast<int>(c);
        };
        if (kRows || kTiles) {
          // Every step adds at most 1 to a component: a voxel whose
          // component has reached the 10-bit maximum abandons the run
          // before it could offer a displacement that does not fit.
          if (px == kComponentMask || py == kComponentMask || pz == kComponentMask) return false;
          // Offers by kind |dx| | |dy| << 1 | |dz| << 2: |D + a|^2, at most
          // 3 * 1023^2 + 3 * 2047, and INT_MAX above the limit.
          int offer[8];
          const int ex = static_cast<int>(2 * px + 1), ey = static_cast<int>(2 * py + 1),
                    ez = static_cast<int>(2 * pz + 1);
#if defined(__SSE2__)
          __m128i lo = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(kp)), _mm_set_epi32(ex + ey, ey, ex, 0));
          __m128i hi = _mm_add_epi32(lo, _mm_set1_epi32(ez));
          const __m128i over = _mm_cmpgt_epi32(lo, vlimit), overHi = _mm_cmpgt_epi32(hi, vlimit);
          lo = _mm_or_si128(_mm_andnot_si128(over, lo), _mm_and_si128(over, vmax));
          hi = _mm_or_si128(_mm_andnot_si128(overHi, hi), _mm_and_si128(overHi, vmax));
          _mm_storeu_si128(reinterpret_cast<__m128i *>(offer), lo);
          _mm_storeu_si128(reinterpret_cast<__m128i *>(offer + 4), hi);
          if (kTiles) {
            // The neighbours in the relation's order, bit i - 1 for element i.
            const int *o = tn.off[p & 15];
            uint32_t m = 0;
#if defined(__x86_64__) && defined(__GNUC__)
            if (tn.gather)
              m = ImprovableByGather(K, p, tn, lo, hi);
            else
#endif
              for (int i = 0; i < tn.n; i++) m |= static_cast<uint32_t>(offer[tn.kind[i]] < K[p + o[i]]) << i;
            for (; m != 0; m &= m - 1) {
              const int i = __builtin_ctz(m);
              const int k = tn.kind[i];
              improve(p + o[i], offer[k], incOfKind[k]);
            }
            continue;
          }
          uint64_t mask = p < safeEnd ? ImprovableLanes(K, p, rn, lo, hi) : ImprovableLanesOneByOne(K, p, rn, offer);
#else
          for (int k = 0; k < 8; k++) {
            const long long c = kp + (k & 1 ? ex : 0) + (k & 2 ? ey : 0) + (k & 4 ? ez : 0);
            offer[k] = c <= limit ? static_cast<int>(c) : INT_MAX;
          }
          if (kTiles) {
            const int *o = tn.off[p & 15];
            for (int i = 0; i < tn.n; i++)
              if (offer[tn.kind[i]] < K[p + o[i]]) improve(p + o[i], offer[tn.kind[i]], incOfKind[tn.kind[i]]);
            continue;
          }
          uint64_t mask = ImprovableLanesOneByOne(K, p, rn, offer);
#endif
          for (; mask != 0; mask &= mask - 1) {
            const int b = __builtin_ctzll(mask);
            const int q = p + rn.step[b];
            if (kLabels && lab[q] != lab[p]) continue;
            const int k = rn.kind[b];
            improve(q, offer[k], incOfKind[k]);
          }
        } else {
          const long long tx = 2 * px, ty = 2 * py, tz = 2 * pz;
          for (int i = 1; i < n; i++) {
            const int q = p + off[i];
            const long long c = kp + a2[i] + ax[i] * tx + ay[i] * ty + az[i] * tz;
            if ((c < K[q]) & (c <= limit)) {
              if (kLabels && lab[q] != lab[p]) continue;
              // Each component grows by at most the relation's reach
              // (< 1024), so one that outgrows 10 bits shows in the bits
              // above it.
              const uint32_t inc = incv[i];
              if ((px + (inc & kComponentMask)) > kComponentMask ||
                  (py + ((inc >> 10) & kComponentMask)) > kComponentMask || (pz + (inc >> 20)) > kComponentMask)
                return false;
              improve(q, c, inc);
            }
          }
        }
      }
    }
    ring.Release(list);
    *list = carried;
    carried = EntryRing::List();
    v++;
    if (++slot == nb) slot = 0;
  }
  return true;
}

// After an abandoned run: every cell that was not blocked was free or a
// seed, and the seeds are listed.
void RestoreCosts(const Propagation &pr) {
  for (int i = 0; i < pr.nvoxels; i++) pr.cost[i] = pr.cost[i] == kBlocked ? kBlocked : kUnreached;
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
  if (pr.largestSide <= kCarriedSide && reach <= static_cast<int>(kComponentMask)) {
    const RowNeighbourhood rn = RowsOf(pr);
    const TileNeighbourhood tn = pr.labels == nullptr ? TilesOf(pr) : TileNeighbourhood();
    bool done;
    if (tn.usable) {
      const int fz = pr.nvoxels / (pr.fx * pr.fy);
      std::vector<int> seeds(pr.seeds.size());
      for (size_t i = 0; i < seeds.size(); i++) seeds[i] = TiledAddress(pr.seeds[i], pr.fx, pr.fy);
      RowsToTiles(pr.cost, pr.fx, pr.fy, fz, true);
      done = RunCarried<false, kByTiles>(pr, rn, tn, seeds);
      RowsToTiles(pr.cost, pr.fx, pr.fy, fz, false);
    } else if (rn.usable) {
      done = pr.labels != nullptr ? RunCarried<true, kByRows>(pr, rn, tn, pr.seeds)
                                  : RunCarried<false, kByRows>(pr, rn, tn, pr.seeds);
    } else {
      done = pr.labels != nullptr ? RunCarried<true, kOneByOne>(pr, rn, tn, pr.seeds)
                                  : RunCarried<false, kOneByOne>(pr, rn, tn, pr.seeds);
    }
    if (done) return;
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

void AllowVectorGathers(bool allow) { gGathersAllowed = allow; }
