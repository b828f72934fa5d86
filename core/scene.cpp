#include "core/scene.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "core/adjacency3.h"
#include "core/common.h"
#include "core/fileio.h"
#include "core/progress.h"

namespace {

constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// A scene for an operation whose size comes from arithmetic on another's:
// sizes are checked (and reported) under the operation's own name.
std::unique_ptr<Scene> NewScene(long long x, long long y, long long z, const char *func) {
  CheckedVoxelCount(x, y, z, func);
  return CreateScene(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z));
}

std::string SizeText(const Scene *scn) {
  return std::to_string(scn->xsize) + " x " + std::to_string(scn->ysize) + " x " +
         std::to_string(scn->zsize);
}

void CheckSlice(int index, int n, char axis, const char *func) {
  if (index < 0 || index >= n) {
    Error("Slice " + std::to_string(index) + " is outside the scene (" + axis + " from 0 to " +
              std::to_string(n - 1) + ")",
          func);
  }
}

void CheckSliceImage(const Image *img, int ncols, int nrows, char axis, const char *func) {
  if (img->ncols != ncols || img->nrows != nrows) {
    Error("Image of " + std::to_string(img->ncols) + " x " + std::to_string(img->nrows) +
              " pixels does not match the " + std::to_string(ncols) + " x " +
              std::to_string(nrows) + " " + axis + " slices of the scene",
          func);
  }
}

void CheckAddress(const Scene *scn, int voxel, const char *func) {
  if (voxel < 0 || voxel >= scn->VoxelCount()) {
    Error("Voxel " + std::to_string(voxel) + " is outside the scene (addresses 0 to " +
              std::to_string(scn->VoxelCount() - 1) + ")",
          func);
  }
}

void CheckSameSize(const Scene *a, const Scene *b, const char *func) {
  if (a->xsize != b->xsize || a->ysize != b->ysize || a->zsize != b->zsize) {
    Error("Scenes have different sizes (" + SizeText(a) + " and " + SizeText(b) + ")", func);
  }
}

// The largest of 0 and v[0..n).
int MaximumFromZero(const int *v, int n) {
  int m = 0;
  for (int i = 0; i < n; i++) m = std::max(m, v[i]);
  return m;
}
int MaximumFromZero(const LargeVector<int> &data) {
  return MaximumFromZero(data.data(), static_cast<int>(data.size()));
}

}  // namespace

// ---- records ----

std::unique_ptr<Scene> CreateScene(int xsize, int ysize, int zsize) {
  int n = CheckedVoxelCount(xsize, ysize, zsize, "CreateScene");
  auto scn = std::make_unique<Scene>();
  try {
    progress::Fill(&scn->data, n, 0);
    scn->tby.resize(ysize);
    scn->tbz.resize(zsize);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreateScene");
  }
  scn->xsize = xsize;
  scn->ysize = ysize;
  scn->zsize = zsize;
  for (int y = 0; y < ysize; y++) scn->tby[y] = y * xsize;
  for (int z = 0; z < zsize; z++) scn->tbz[z] = z * xsize * ysize;
  return scn;
}

void DestroyScene(std::unique_ptr<Scene> *scn) {
  if (scn != nullptr) scn->reset();
}

std::unique_ptr<Scene> CopyScene(const Scene *scn) {
  auto copy = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  copy->data = scn->data;
  copy->dx = scn->dx;
  copy->dy = scn->dy;
  copy->dz = scn->dz;
  copy->maxval = scn->maxval;
  CopySceneGeometry(scn, copy.get());
  copy->value_scale = scn->value_scale;
  copy->value_offset = scn->value_offset;
  return copy;
}

void CopySceneGeometry(const Scene *from, Scene *to) {
  if (from->xsize != to->xsize || from->ysize != to->ysize || from->zsize != to->zsize) {
    Error("Scenes have different sizes", "CopySceneGeometry");
  }
  to->dx = from->dx;
  to->dy = from->dy;
  to->dz = from->dz;
  std::copy(std::begin(from->origin), std::end(from->origin), std::begin(to->origin));
  std::copy(std::begin(from->axes), std::end(from->axes), std::begin(to->axes));
}

// ---- files ----

// Voxels of 8 and 16 bits pass through a small buffer that stays in the
// cache: a block is read (or written) with one call and widened (or
// narrowed) in one pass. A whole-file staging buffer would cost more in
// fresh pages than the copy itself.
static const int kBlockVoxels = 1 << 18;

// The header is parsed with stdio and the file's length checked before
// anything is allocated, so a header promising gigabytes on a short file
// fails at once.
std::unique_ptr<Scene> ReadScene(const char *filename) {
  const char *func = "ReadScene";
  FILE *fp = fopen(filename, "rb");
  if (fp == nullptr) Error(std::string("Cannot open file ") + filename, func);
  struct Closer {
    FILE *fp;
    ~Closer() { fclose(fp); }
  } closer{fp};

  char word[64] = "";
  if (fscanf(fp, "%63s", word) != 1 || strcmp(word, "SCN") != 0)
    Error("Input scene must be SCN", func);
  std::string file(filename);
  long long nx, ny, nz;
  if (fscanf(fp, "%lld %lld %lld", &nx, &ny, &nz) != 3)
    Error(file + ": malformed SCN header (expected three sizes)", func);
  if (nx <= 0 || ny <= 0 || nz <= 0) {
    Error(file + ": invalid scene size " + std::to_string(nx) + " x " + std::to_string(ny) +
              " x " + std::to_string(nz),
          func);
  }
  int n = CheckedVoxelCount(nx, ny, nz, func);
  float dx, dy, dz;
  if (fscanf(fp, "%f %f %f", &dx, &dy, &dz) != 3)
    Error(file + ": malformed SCN header (expected three voxel sizes)", func);
  for (float d : {dx, dy, dz}) {
    if (!(d > 0.0f) || !std::isfinite(d)) {
      Error(file + ": invalid voxel size " + std::to_string(dx) + " x " + std::to_string(dy) +
                " x " + std::to_string(dz),
            func);
    }
  }
  int bits;
  if (fscanf(fp, "%d", &bits) != 1) Error(file + ": malformed SCN header (expected the bit count)", func);
  fgetc(fp);  // the one newline that ends the header

  int bytesPerVoxel = bits == 8 ? 1 : bits == 16 ? 2 : 4;
  if (bytesPerVoxel == 4) Warning("32-bit data. Values may be wrong (little/big endian byte ordering)", func);
  long long expected = static_cast<long long>(n) * bytesPerVoxel;
  auto truncated = [&](long long found) {
    Error(file + ": expected " + std::to_string(expected) + " bytes of voxel data, found " +
              std::to_string(found),
          func);
  };
  struct stat st;
  long offset = ftell(fp);
  const bool regular = fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode) && offset >= 0;
  if (regular && st.st_size - offset < expected) {
    truncated(std::max<long long>(0, st.st_size - offset));
  }
  // A stream (a pipe) has no length to check: its voxel data is read in
  // chunks first, so a header promising gigabytes costs only what the
  // stream really sends.
  std::vector<unsigned char> staged;
  if (!regular) {
    const size_t chunk = 1 << 20;
    while (static_cast<long long>(staged.size()) < expected) {
      const size_t old = staged.size();
      const size_t want = std::min<size_t>(chunk, static_cast<size_t>(expected) - old);
      staged.resize(old + want);
      const size_t got = fread(staged.data() + old, 1, want, fp);
      staged.resize(old + got);
      if (got != want) truncated(static_cast<long long>(staged.size()));
    }
    FILE *memory = fmemopen(staged.data(), staged.size(), "rb");
    if (memory == nullptr) Error("Cannot allocate memory space", func);
    fclose(closer.fp);
    closer.fp = fp = memory;
  }

  auto scn = CreateScene(static_cast<int>(nx), static_cast<int>(ny), static_cast<int>(nz));
  scn->dx = dx;
  scn->dy = dy;
  scn->dz = dz;
  int *out = scn->data.data();
  if (bytesPerVoxel == 4) {
    size_t got = fread(out, 1, static_cast<size_t>(expected), fp);
    if (static_cast<long long>(got) != expected) truncated(static_cast<long long>(got));
    if (!kLittleEndianHost) {
      for (int i = 0; i < n; i++) out[i] = static_cast<int>(__builtin_bswap32(static_cast<uint32_t>(out[i])));
    }
    scn->maxval = MaximumFromZero(scn->data);
    return scn;
  }
  // 16-bit samples are little-endian, so on this host widening a block is
  // a plain element copy.
  std::vector<uint16_t> block(static_cast<size_t>(kBlockVoxels));
  long long done = 0;
  int max = 0;
  for (int first = 0; first < n; first += kBlockVoxels) {
    int count = std::min(kBlockVoxels, n - first);
    size_t want = static_cast<size_t>(count) * bytesPerVoxel;
    size_t got = fread(block.data(), 1, want, fp);
    done += static_cast<long long>(got);
    if (got != want) truncated(done);
    int *o = out + first;
    if (bytesPerVoxel == 1) {
      const unsigned char *b = reinterpret_cast<const unsigned char *>(block.data());
      for (int i = 0; i < count; i++) o[i] = b[i];
    } else {
      const uint16_t *b = block.data();
      if (kLittleEndianHost) {
        for (int i = 0; i < count; i++) o[i] = b[i];
      } else {
        for (int i = 0; i < count; i++) o[i] = __builtin_bswap16(b[i]);
      }
    }
    max = std::max(max, MaximumFromZero(o, count));
  }
  scn->maxval = max;
  return scn;
}

void WriteScene(Scene *scn, const char *filename) {
  AtomicWriter out(filename, "WriteScene", std::string("Cannot open file ") + filename);
  out.Printf("SCN\n%d %d %d\n%f %f %f\n", scn->xsize, scn->ysize, scn->zsize, scn->dx, scn->dy,
             scn->dz);
  int n = scn->VoxelCount();
  const int *v = scn->data.data();
  scn->maxval = MaximumFromZero(scn->data);
  int bytesPerVoxel = scn->maxval <= 255 ? 1 : scn->maxval <= 65535 ? 2 : 4;
  out.Printf("%d\n", 8 * bytesPerVoxel);
  if (bytesPerVoxel == 4 && kLittleEndianHost) {
    out.Write(v, 4 * static_cast<size_t>(n));
    out.Commit();
    return;
  }
  // Negative values go out as their low bytes when the maximum is small.
  std::vector<uint32_t> block(static_cast<size_t>(kBlockVoxels));
  void *b = block.data();
  for (int first = 0; first < n; first += kBlockVoxels) {
    int count = std::min(kBlockVoxels, n - first);
    const int *s = v + first;
    if (bytesPerVoxel == 1) {
      auto *o = static_cast<uint8_t *>(b);
      for (int i = 0; i < count; i++) o[i] = static_cast<uint8_t>(s[i]);
    } else if (bytesPerVoxel == 2) {
      auto *o = static_cast<uint16_t *>(b);
      if (kLittleEndianHost) {
        for (int i = 0; i < count; i++) o[i] = static_cast<uint16_t>(s[i]);
      } else {
        for (int i = 0; i < count; i++) o[i] = __builtin_bswap16(static_cast<uint16_t>(s[i]));
      }
    } else {
      auto *o = static_cast<uint32_t *>(b);
      for (int i = 0; i < count; i++) o[i] = __builtin_bswap32(static_cast<uint32_t>(s[i]));
    }
    out.Write(b, static_cast<size_t>(count) * bytesPerVoxel);
  }
  out.Commit();
}

// ---- slices ----

std::unique_ptr<Image> GetSlice(const Scene *scn, int z) {
  CheckSlice(z, scn->zsize, 'z', "GetSlice");
  auto img = CreateImage(scn->xsize, scn->ysize);
  const int *src = scn->data.data() + scn->tbz[z];
  std::copy(src, src + img->val.size(), img->val.begin());
  return img;
}

std::unique_ptr<Image> GetXSlice(const Scene *scn, int x) {
  CheckSlice(x, scn->xsize, 'x', "GetXSlice");
  auto img = CreateImage(scn->ysize, scn->zsize);
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++) img->val[y + img->tbrow[z]] = scn->data[scn->Address(x, y, z)];
  return img;
}

std::unique_ptr<Image> GetYSlice(const Scene *scn, int y) {
  CheckSlice(y, scn->ysize, 'y', "GetYSlice");
  auto img = CreateImage(scn->xsize, scn->zsize);
  for (int z = 0; z < scn->zsize; z++) {
    const int *src = scn->data.data() + scn->tbz[z] + scn->tby[y];
    std::copy(src, src + scn->xsize, img->val.begin() + img->tbrow[z]);
  }
  return img;
}

void PutSlice(const Image *img, Scene *scn, int z) {
  CheckSlice(z, scn->zsize, 'z', "PutSlice");
  CheckSliceImage(img, scn->xsize, scn->ysize, 'z', "PutSlice");
  std::copy(img->val.begin(), img->val.end(), scn->data.begin() + scn->tbz[z]);
}

void PutXSlice(const Image *img, Scene *scn, int x) {
  CheckSlice(x, scn->xsize, 'x', "PutXSlice");
  CheckSliceImage(img, scn->ysize, scn->zsize, 'x', "PutXSlice");
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++) scn->data[scn->Address(x, y, z)] = img->val[y + img->tbrow[z]];
}

void PutYSlice(const Image *img, Scene *scn, int y) {
  CheckSlice(y, scn->ysize, 'y', "PutYSlice");
  CheckSliceImage(img, scn->xsize, scn->zsize, 'y', "PutYSlice");
  for (int z = 0; z < scn->zsize; z++) {
    const int *src = img->val.data() + img->tbrow[z];
    std::copy(src, src + scn->xsize, scn->data.begin() + scn->tbz[z] + scn->tby[y]);
  }
}

// ---- resampling ----

namespace {

// Where new position i along an axis reads: the two old positions and their
// weights d - t and t. A position outside the scene contributes 0, which a
// zero weight on any valid position gives as well, so the inner loops need
// no bounds tests.
struct AxisSample {
  int ka, kb;
  double wa, wb;
};

std::vector<AxisSample> AxisSamples(int n, int nn, double d, double nd) {
  std::vector<AxisSample> s(nn);
  for (int i = 0; i < nn; i++) {
    double p = nd * i;
    long long k = static_cast<long long>(p / d);
    double t = p - d * static_cast<double>(k);
    AxisSample &si = s[i];
    si.wa = d - t;
    si.wb = t;
    si.ka = static_cast<int>(k);
    si.kb = static_cast<int>(k + 1);
    if (k < 0 || k >= n) si.ka = 0, si.wa = 0.0;
    if (k + 1 < 0 || k + 1 >= n) si.kb = 0, si.wb = 0.0;
  }
  return s;
}

// trunc(trunc((d - t) a + t b) / d), in double.
inline int Blend(int a, int b, const AxisSample &s, double d) {
  double w = std::trunc(s.wa * a + s.wb * b);
  return static_cast<int>(w / d);
}

// One pass along axis 0 (x), 1 (y) or 2 (z) from spacing d to nd.
std::unique_ptr<Scene> InterpAxis(const Scene *in, int axis, double d, double nd) {
  int n = axis == 0 ? in->xsize : axis == 1 ? in->ysize : in->zsize;
  double newSize = std::trunc(d * (n - 1) / nd) + 1.0;
  long long nn = newSize > static_cast<double>(INT_MAX) ? static_cast<long long>(INT_MAX) + 1
                                                        : static_cast<long long>(newSize);
  auto out = NewScene(axis == 0 ? nn : in->xsize, axis == 1 ? nn : in->ysize,
                      axis == 2 ? nn : in->zsize, "LinearInterp");
  out->dx = in->dx;
  out->dy = in->dy;
  out->dz = in->dz;
  std::vector<AxisSample> s = AxisSamples(n, static_cast<int>(nn), d, nd);
  const int *src = in->data.data();
  int *dst = out->data.data();
  int xs = in->xsize;

  if (axis == 0) {
    out->dx = static_cast<float>(nd);
    for (int z = 0; z < in->zsize; z++) {
      progress::Tick();
      for (int y = 0; y < in->ysize; y++) {
        const int *row = src + in->tbz[z] + in->tby[y];
        int *orow = dst + out->tbz[z] + out->tby[y];
        for (int i = 0; i < nn; i++) orow[i] = Blend(row[s[i].ka], row[s[i].kb], s[i], d);
      }
    }
  } else if (axis == 1) {
    out->dy = static_cast<float>(nd);
    for (int z = 0; z < in->zsize; z++) {
      progress::Tick();
      for (int i = 0; i < nn; i++) {
        const int *ra = src + in->tbz[z] + in->tby[s[i].ka];
        const int *rb = src + in->tbz[z] + in->tby[s[i].kb];
        int *orow = dst + out->tbz[z] + out->tby[i];
        for (int x = 0; x < xs; x++) orow[x] = Blend(ra[x], rb[x], s[i], d);
      }
    }
  } else {
    out->dz = static_cast<float>(nd);
    int slice = in->xsize * in->ysize;
    for (int i = 0; i < nn; i++) {
      progress::Tick();
      const int *sa = src + in->tbz[s[i].ka];
      const int *sb = src + in->tbz[s[i].kb];
      int *os = dst + out->tbz[i];
      for (int p = 0; p < slice; p++) os[p] = Blend(sa[p], sb[p], s[i], d);
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<Scene> LinearInterp(Scene *scn, float ndx, float ndy, float ndz) {
  const char *negative = "Voxel distance can not be negative.";
  if (scn->dx == 0.0f && scn->dy == 0.0f && scn->dz == 0.0f) scn->dx = scn->dy = scn->dz = 1.0f;
  if (ndx == 0.0f || ndy == 0.0f || ndz == 0.0f) {
    float smallest = 2147483648.0f;
    smallest = std::min({smallest, scn->dx, scn->dy, scn->dz});
    if (!(smallest > 0.0f)) Error(negative, "LinearInterp");
    ndx = ndy = ndz = smallest;
  }
  if (ndx == scn->dx && ndy == scn->dy && ndz == scn->dz) return CopyScene(scn);
  // Every pass divides by both spacings of its axis.
  float spacing[3][2] = {{scn->dx, ndx}, {scn->dy, ndy}, {scn->dz, ndz}};
  for (auto &axis : spacing)
    if (axis[0] != axis[1] && !(axis[0] > 0.0f && axis[1] > 0.0f)) Error(negative, "LinearInterp");

  // Every pass's scene lies within the larger of the old and the new size
  // on each axis: that box is checked before the first pass allocates.
  const int sizes[3] = {scn->xsize, scn->ysize, scn->zsize};
  long long box[3];
  for (int axis = 0; axis < 3; axis++) {
    box[axis] = sizes[axis];
    if (spacing[axis][0] == spacing[axis][1]) continue;
    const double grown = std::trunc(static_cast<double>(spacing[axis][0]) * (sizes[axis] - 1) /
                                    spacing[axis][1]) + 1.0;
    box[axis] = std::max<long long>(
        box[axis], grown > 4.0e18 ? static_cast<long long>(4e18) : static_cast<long long>(grown));
  }
  CheckedVoxelCount(box[0], box[1], box[2], "LinearInterp");

  std::unique_ptr<Scene> result;
  const Scene *current = scn;
  for (int axis = 0; axis < 3; axis++) {
    if (spacing[axis][0] == spacing[axis][1]) continue;
    auto next = InterpAxis(current, axis, spacing[axis][0], spacing[axis][1]);
    result = std::move(next);  // the previous intermediate goes here
    current = result.get();
  }
  result->dx = ndx;
  result->dy = ndy;
  result->dz = ndz;
  result->maxval = scn->maxval;
  return result;
}

std::unique_ptr<Scene> MergeLabels(Scene *scn1, Scene *scn2) {
  CheckSameSize(scn1, scn2, "MergeLabels");
  long long m = MaximumValue3(scn1);
  auto out = CreateScene(scn1->xsize, scn1->ysize, scn1->zsize);
  int n = out->VoxelCount();
  for (int p = 0; p < n; p++) {
    int v2 = scn2->data[p];
    long long shifted = v2 != 0 ? std::min<long long>(v2 + m, INT_MAX) : 0;
    out->data[p] = static_cast<int>(std::max<long long>(scn1->data[p], shifted));
  }
  return out;
}

// ---- values ----

int MaximumValue3(Scene *scn) {
  scn->maxval = MaximumFromZero(scn->data);
  return scn->maxval;
}

int MinimumValue3(const Scene *scn) {
  int m = 65535;
  for (int v : scn->data) m = std::min(m, v);
  return m;
}

int SceneImax(const Scene *scn) { return scn->maxval; }

void SetScene(Scene *scn, int value) {
  std::fill(scn->data.begin(), scn->data.end(), value);
  scn->maxval = value;
}

void SetLabelScene(Scene *scn, int label, int value) {
  std::replace(scn->data.begin(), scn->data.end(), label, value);
  scn->maxval = MaximumFromZero(scn->data);
}

// ---- boxes and frames ----

namespace {

// Copies the box of `out`'s size starting at (x0, y0, z0) of `in`.
void CopyBox(const Scene *in, int x0, int y0, int z0, Scene *out) {
  for (int z = 0; z < out->zsize; z++)
    for (int y = 0; y < out->ysize; y++) {
      const int *src = in->data.data() + in->Address(x0, y0 + y, z0 + z);
      std::copy(src, src + out->xsize, out->data.begin() + out->tbz[z] + out->tby[y]);
    }
}

}  // namespace

std::unique_ptr<Scene> ROI3(const Scene *scn, int xl, int yl, int zl, int xh, int yh, int zh) {
  if (!scn->Valid(xl, yl, zl) || !scn->Valid(xh, yh, zh) || xl > xh || yl > yh || zl > zh)
    return nullptr;
  auto roi = CreateScene(xh - xl + 1, yh - yl + 1, zh - zl + 1);
  CopyBox(scn, xl, yl, zl, roi.get());
  roi->dx = scn->dx;
  roi->dy = scn->dy;
  roi->dz = scn->dz;
  return roi;
}

std::unique_ptr<Scene> MBB3(const Scene *scn) {
  int xl = INT_MAX, yl = INT_MAX, zl = INT_MAX, xh = -1, yh = -1, zh = -1;
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++) {
      const int *row = scn->data.data() + scn->Address(0, y, z);
      for (int x = 0; x < scn->xsize; x++)
        if (row[x] > 0) {
          xl = std::min(xl, x), xh = std::max(xh, x);
          yl = std::min(yl, y), yh = std::max(yh, y);
          zl = std::min(zl, z), zh = std::max(zh, z);
        }
    }
  if (xh < 0) return nullptr;
  return ROI3(scn, xl, yl, zl, xh, yh, zh);
}

std::unique_ptr<Scene> AddFrame3(const Scene *scn, int sz, int value) {
  if (sz < 0) Error("Invalid frame size " + std::to_string(sz), "AddFrame3");
  long long f = 2LL * sz;
  auto out = NewScene(scn->xsize + f, scn->ysize + f, scn->zsize + f, "AddFrame3");
  SetScene(out.get(), value);
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++) {
      const int *src = scn->data.data() + scn->Address(0, y, z);
      std::copy(src, src + scn->xsize, out->data.begin() + out->Address(sz, y + sz, z + sz));
    }
  return out;
}

std::unique_ptr<Scene> RemFrame3(const Scene *scn, int sz) {
  long long f = 2LL * sz;
  if (sz < 0 || scn->xsize - f <= 0 || scn->ysize - f <= 0 || scn->zsize - f <= 0) {
    Error("Invalid frame size " + std::to_string(sz) + " for a scene of " + SizeText(scn),
          "RemFrame3");
  }
  auto out = CreateScene(static_cast<int>(scn->xsize - f), static_cast<int>(scn->ysize - f),
                         static_cast<int>(scn->zsize - f));
  CopyBox(scn, sz, sz, sz, out.get());
  return out;
}

std::unique_ptr<Scene> ImageSurface(const Image *img) {
  int top = img->val.empty() ? 0 : img->val[0];
  for (int v : img->val) top = std::max(top, v);
  auto out = NewScene(img->ncols, img->nrows, static_cast<long long>(top) + 1, "ImageSurface");
  for (int y = 0; y < img->nrows; y++)
    for (int x = 0; x < img->ncols; x++) {
      int v = img->at(x, y);
      for (int z = 0; z <= v; z++) out->data[out->Address(x, y, z)] = 1;
    }
  return out;
}

// ---- labels and borders ----

std::unique_ptr<Scene> GetObject(const Scene *scn, int label) {
  auto out = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  int n = scn->VoxelCount();
  for (int p = 0; p < n; p++) out->data[p] = scn->data[p] == label ? label : 0;
  return out;
}

std::unique_ptr<Scene> GetBorder3(const Scene *labels, const AdjRel3 *A) {
  auto out = CreateScene(labels->xsize, labels->ysize, labels->zsize);
  for (int z = 0; z < labels->zsize; z++)
    for (int y = 0; y < labels->ysize; y++)
      for (int x = 0; x < labels->xsize; x++) {
        int p = labels->Address(x, y, z);
        int l = labels->data[p];
        if (l == 0) continue;
        for (int i = 1; i < A->n; i++) {
          int qx = x + A->dx[i], qy = y + A->dy[i], qz = z + A->dz[i];
          if (!labels->Valid(qx, qy, qz) || labels->data[labels->Address(qx, qy, qz)] != l) {
            out->data[p] = l;
            break;
          }
        }
      }
  return out;
}

std::unique_ptr<Scene> DrawBorder3(const Scene *scn, const Scene *labels, int value) {
  CheckSameSize(scn, labels, "DrawBorder3");
  auto out = CopyScene(scn);
  auto A = Spheric(1.0f);
  for (int z = 0; z < labels->zsize; z++)
    for (int y = 0; y < labels->ysize; y++)
      for (int x = 0; x < labels->xsize; x++) {
        int p = labels->Address(x, y, z);
        for (int i = 1; i < A->n; i++) {
          int qx = x + A->dx[i], qy = y + A->dy[i], qz = z + A->dz[i];
          if (labels->Valid(qx, qy, qz) && labels->data[p] < labels->data[labels->Address(qx, qy, qz)]) {
            out->data[p] = value;
            break;
          }
        }
      }
  return out;
}

void DrawAdj3(Scene *scn, const AdjRel3 *A, std::vector<int> center, int value) {
  int cx, cy, cz;
  if (center.empty() || (center.size() == 1 && center[0] == 0)) {
    cx = scn->xsize / 2, cy = scn->ysize / 2, cz = scn->zsize / 2;
  } else if (center.size() == 3) {
    cx = center[0], cy = center[1], cz = center[2];
  } else {
    Error("The centre must be a list of three integers or 0", "DrawAdj3");
  }
  for (int i = 0; i < A->n; i++) {
    long long x = static_cast<long long>(cx) + A->dx[i];
    long long y = static_cast<long long>(cy) + A->dy[i];
    long long z = static_cast<long long>(cz) + A->dz[i];
    if (x >= 0 && x < scn->xsize && y >= 0 && y < scn->ysize && z >= 0 && z < scn->zsize)
      scn->data[scn->Address(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z))] = value;
  }
}

// ---- voxels ----

bool ValidVoxel(const Scene *scn, int x, int y, int z) { return scn->Valid(x, y, z); }

int VoxelValue(const Scene *scn, int x, int y, int z) {
  return scn->Valid(x, y, z) ? scn->data[scn->Address(x, y, z)] : 0;
}

int Coord2Voxel(const Scene *scn, int x, int y, int z) {
  if (!scn->Valid(x, y, z)) {
    Error("Voxel (" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) +
              ") is outside the scene of " + SizeText(scn) + " voxels",
          "Coord2Voxel");
  }
  return scn->Address(x, y, z);
}

int GetVoxelValue(const Scene *scn, int voxel) {
  CheckAddress(scn, voxel, "GetVoxelValue");
  return scn->data[voxel];
}

bool EdgeVoxel(const Scene *scn, int v, int s) {
  CheckAddress(scn, v, "EdgeVoxel");
  if (s <= 0) Error("Invalid slice size " + std::to_string(s), "EdgeVoxel");
  int r = v % s;
  int x = r % scn->xsize, y = r / scn->xsize;
  return x == 0 || y == 0 || x == scn->xsize - 1 || y == scn->ysize - 1;
}

// ---- fields ----

int GetXSize(const Scene *scn) { return scn->xsize; }
int GetYSize(const Scene *scn) { return scn->ysize; }
int GetZSize(const Scene *scn) { return scn->zsize; }
int GetNSlices(const Scene *scn) { return scn->zsize; }
float GetDx(const Scene *scn) { return scn->dx; }
float GetDy(const Scene *scn) { return scn->dy; }
float GetDz(const Scene *scn) { return scn->dz; }
void SetDx(Scene *scn, float dx) { scn->dx = dx; }
void SetDy(Scene *scn, float dy) { scn->dy = dy; }
void SetDz(Scene *scn, float dz) { scn->dz = dz; }

// ---- comparison ----

static bool SameSize(const Scene *a, const Scene *b) {
  return a->xsize == b->xsize && a->ysize == b->ysize && a->zsize == b->zsize;
}

bool ScenesAreEqual(const Scene *a, const Scene *b) {
  if (!SameSize(a, b)) {
    fprintf(stderr, "Scenes have different sizes\n");
    return false;
  }
  auto diff = std::mismatch(a->data.begin(), a->data.end(), b->data.begin());
  if (diff.first != a->data.end()) {
    fprintf(stderr, "Scenes have different values (in voxel %d for example)\n",
            static_cast<int>(diff.first - a->data.begin()));
    return false;
  }
  return true;
}

void CompareScenes(const Scene *a, const Scene *b) {
  if (!SameSize(a, b)) {
    fprintf(stderr, "Scenes have different sizes\n");
    return;
  }
  int n = a->VoxelCount(), count = 0;
  for (int p = 0; p < n; p++) count += a->data[p] != b->data[p];
  printf("%d voxels are different in a scene of %d voxels\n", count, n);
  fflush(stdout);
}
