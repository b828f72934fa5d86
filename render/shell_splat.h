// The compositing core of the splatting renderers, shared by the plain
// colour and grey renderers and the cut renderers.
//
// One voxel is placed in the sheared intermediate image, gated there,
// shaded from its normal, warped to the output image and spread over the
// context's kernel, front to back:
//
//   1. (u, v) := the voxel's sheared position, truncated; p := (u + ci,
//      v + cj) in the intermediate image.
//   2. Skip unless the intermediate transparency at p exceeds 0.05, the
//      label is non-zero and (if the mode tests it) the voxel is visible.
//   3. c := viewer . normal; skip unless c > 0 (back faces and voxels
//      without a normal change nothing).
//   4. Depth d (exact: r2 . centred position + isize / 2; truncated: the
//      dot product truncated first), dist := isize - d.
//   5. Plane test (cut-plane mode): skip unless dist is below the z-buffer
//      dist at the centre tap.
//   6. Shade s := (kd c + ks (2c^2 - 1)^ns) (1 - d / isize) + ka, the
//      specular term 0 where 2c^2 - 1 < 0.
//   7. Warp (u, v) with the upper-left block of the inverse shear matrix,
//      truncated, to the output centre q0.
//   8. Every kernel tap q around q0 inside the output whose transparency
//      exceeds 0.05 (and, in cut-plane mode, where dist is below the
//      z-buffer dist) receives w := g alpha A: colour through AccVoxelColor
//      with weight T(q) w, or grey trunc(T(q) g alpha A 255 s); T(q) :=
//      T(q) (1 - w); and the first voxel to reach q is recorded in the
//      z-buffer (dist only when nearer, or always, or not at all).
//   9. The intermediate transparency at p := T(q0).
//
// Positions outside a buffer: an intermediate pixel p outside the
// intermediate image gates nothing and is not written back (the voxel is
// still drawn); a centre q0 outside the output skips the centre plane test
// and the write-back, and only the taps inside the output are drawn.
// Nothing is read or written outside a buffer.
//
// Numbers are formed in double and rounded to float where a float is
// stored (transparencies, z-buffer dist) or passed (AccVoxelColor).
//
// The mode is a compile-time policy, a struct with these members:
//   static constexpr bool kColour;        // CImage output, else grey Image
//   static constexpr bool kTestVisible;   // step 2 tests the visible flag
//   static constexpr SplatDepth kDepth;   // step 4
//   static constexpr SplatFirstHit kFirstHit;  // step 8's z-buffer record
//   static constexpr bool kPlaneTest;     // steps 5 and 8
// and, optionally (SplatVoxelTestOf and SplatTwoSided give the defaults):
//   static constexpr SplatVoxelTest kVoxelTest;  // step 2's voxel test; kLabel
//   static constexpr bool kTwoSided;      // step 3: c := |c|, no voxel skipped; false
// SplatModeOf names them all at once; CSWMode and SWMode below are the
// renderers' own, and the cut and experimental renderers define theirs the
// same way.
//
// Use:
//   SplatSetup s = MakeSplatSetup(shell, cxt);        // per rendering
//   SplatTargets t{interT, outT, cxt->zbuffer.get(), cimg, nullptr};
//   CompositeShell<Mode>(s, t, shell, cxt, RunOfAxis(cxt, cxt->paxis), true);
// CompositeShell skips voxels behind closed intermediate pixels without
// visiting them (see TraverseOpenIntermediate), draws the others (in the
// colour modes with SplatVoxelShaded on a per-thread working copy of the
// output, SplatWork) and leaves every buffer as CompositeShellPlain, which
// visits every voxel and draws it with SplatVoxel, would.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "core/cimage.h"
#include "core/image.h"
#include "render/context.h"
#include "render/shading.h"
#include "render/shell.h"
#include "render/shell_drawable.h"
#include "render/shell_traverse.h"

// Transparency above which a pixel still takes voxels.
constexpr double kOpenTransparency = 0.05;

enum class SplatDepth { kExact, kTruncated };
enum class SplatFirstHit { kNone, kIfNearer, kAlways };
enum class ShearRounding { kTruncate, kNearest };
// Which voxels step 2 lets through (besides the gate and the visible flag):
// those with a non-zero label, with a non-zero opacity, or all.
enum class SplatVoxelTest { kLabel, kOpacity, kNone };

// A mode with every member given, e.g.
//   using CutMode = SplatModeOf<true, true, SplatDepth::kTruncated, SplatFirstHit::kIfNearer, false>;
template <bool Colour, bool TestVisible, SplatDepth Depth, SplatFirstHit FirstHit, bool PlaneTest,
          SplatVoxelTest VoxelTest = SplatVoxelTest::kLabel, bool TwoSided = false>
struct SplatModeOf {
  static constexpr bool kColour = Colour;
  static constexpr bool kTestVisible = TestVisible;
  static constexpr SplatDepth kDepth = Depth;
  static constexpr SplatFirstHit kFirstHit = FirstHit;
  static constexpr bool kPlaneTest = PlaneTest;
  static constexpr SplatVoxelTest kVoxelTest = VoxelTest;
  static constexpr bool kTwoSided = TwoSided;
};

// A mode's optional members, with their defaults.
template <class Mode, class = void>
struct SplatVoxelTestOf {
  static constexpr SplatVoxelTest value = SplatVoxelTest::kLabel;
};
template <class Mode>
struct SplatVoxelTestOf<Mode, std::void_t<decltype(Mode::kVoxelTest)>> {
  static constexpr SplatVoxelTest value = Mode::kVoxelTest;
};
template <class Mode, class = void>
struct SplatTwoSided {
  static constexpr bool value = false;
};
template <class Mode>
struct SplatTwoSided<Mode, std::void_t<decltype(Mode::kTwoSided)>> {
  static constexpr bool value = Mode::kTwoSided;
};

// A pixel still open to later voxels.
inline bool IsOpen(float t) { return t > kOpenTransparency; }

// The sheared coordinate of a voxel: (centred coordinate) + slice offset,
// truncated toward zero or rounded half away from zero (-2.5 -> -3).
template <ShearRounding R>
inline int ShearedCoord(int centred, float offset) {
  const double a = static_cast<double>(centred) + static_cast<double>(offset);
  if (R == ShearRounding::kTruncate) return static_cast<int>(a);
  return static_cast<int>(a >= 0.0 ? a + 0.5 : a - 0.5);
}

// A double as an int, saturated (and 0 for a NaN): grey sums of absurd
// Phong settings must not be undefined.
inline int SaturatedInt(double a) {
  if (!(a == a)) return 0;
  if (a >= 2147483647.0) return 2147483647;
  if (a <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(a);
}

// A grey sum grown by one more term, saturated at the ends of the int range
// like the terms themselves.
inline int SaturatedSum(int sum, int term) {
  const long long s = static_cast<long long>(sum) + term;
  if (s > 2147483647LL) return 2147483647;
  if (s < -2147483648LL) return -2147483647 - 1;
  return static_cast<int>(s);
}

// The shear-warp geometry of one view: which shell coordinates are the
// intermediate image's axes and its slices, and the centres.
struct ShearFrame {
  char paxis = 'z';
  int ic = 0, jc = 0;   // volume centres of the in-slice axes i, j
  int ci = 0, cj = 0;   // intermediate centre: trunc(iwidth / 2), trunc(iheight / 2)
  int iw = 0, ih = 0;   // intermediate size: trunc(iwidth) x trunc(iheight)
  const float *uOffset = nullptr, *vOffset = nullptr;  // per slice k
};

// (i, j, k) of a position for the principal axis: 'z' (x, y, z), 'x'
// (y, z, x), 'y' (z, x, y).
inline void PermuteAxes(char paxis, int x, int y, int z, int *i, int *j, int *k) {
  switch (paxis) {
    case 'x':
      *i = y, *j = z, *k = x;
      return;
    case 'y':
      *i = z, *j = x, *k = y;
      return;
    default:
      *i = x, *j = y, *k = z;
  }
}

inline ShearFrame MakeShearFrame(const Context *cxt) {
  ShearFrame f;
  f.paxis = cxt->paxis;
  int kc;
  PermuteAxes(f.paxis, cxt->xsize / 2, cxt->ysize / 2, cxt->zsize / 2, &f.ic, &f.jc, &kc);
  f.ci = static_cast<int>(cxt->iwidth * 0.5);
  f.cj = static_cast<int>(cxt->iheight * 0.5);
  f.iw = static_cast<int>(cxt->iwidth);
  f.ih = static_cast<int>(cxt->iheight);
  f.uOffset = cxt->uOffset.data();
  f.vOffset = cxt->vOffset.data();
  return f;
}

struct SplatTap {
  int dx = 0, dy = 0;
  float weight = 0.0f;
};

// Everything a rendering fixes before its pass.
struct SplatSetup {
  ShearFrame shear;
  int xc = 0, yc = 0, zc = 0;  // volume centre (integer halves)
  int uc = 0, vc = 0;          // output centre isize / 2
  int isize = 0;
  double dc = 0.0;             // isize * 0.5
  double r2[3] = {};           // third row of the rotation
  double w00 = 0, w01 = 0, w10 = 0, w11 = 0;  // warp: inverse shear, upper-left block
  double view[3] = {};         // the context's viewer
  float opacity[256] = {};     // i / 255
  std::vector<SplatTap> taps;  // the context's kernel, in its order
  // Per tap, its displacement as an output offset dx + dy isize; and the
  // kernel's extent, so that a centre whose every tap lies inside the
  // output is told by four comparisons.
  std::vector<int> tapOffset;
  int tapMinDx = 0, tapMaxDx = 0, tapMinDy = 0, tapMaxDy = 0;
};

inline SplatSetup MakeSplatSetup(const Context *cxt) {
  SplatSetup s;
  s.shear = MakeShearFrame(cxt);
  s.xc = cxt->xsize / 2, s.yc = cxt->ysize / 2, s.zc = cxt->zsize / 2;
  s.isize = cxt->isize;
  s.uc = s.vc = cxt->isize / 2;
  s.dc = cxt->isize * 0.5;
  for (int a = 0; a < 3; a++) s.r2[a] = cxt->rotation[2][a], s.view[a] = cxt->viewer[a];
  s.w00 = cxt->inverseShear[0][0], s.w01 = cxt->inverseShear[0][1];
  s.w10 = cxt->inverseShear[1][0], s.w11 = cxt->inverseShear[1][1];
  for (int i = 0; i < 256; i++) s.opacity[i] = static_cast<float>(i / 255.0);
  const Kernel *k = cxt->kernel.get();
  for (size_t t = 0; t < k->weights.size(); t++) {
    const int dx = k->displacements->dx[t], dy = k->displacements->dy[t];
    s.taps.push_back({dx, dy, k->weights[t]});
    s.tapOffset.push_back(dx + dy * s.isize);
    s.tapMinDx = std::min(s.tapMinDx, dx), s.tapMaxDx = std::max(s.tapMaxDx, dx);
    s.tapMinDy = std::min(s.tapMinDy, dy), s.tapMaxDy = std::max(s.tapMaxDy, dy);
  }
  return s;
}

// The buffers one pass writes. interT is trunc(iwidth) x trunc(iheight),
// outT, zbuffer and the image isize x isize; zbuffer may be null when the
// mode records nothing; exactly one of colour and grey is set.
struct SplatTargets {
  FBuffer *interT = nullptr;
  FBuffer *outT = nullptr;
  ZBuffer *zbuffer = nullptr;
  CImage *colour = nullptr;
  Image *grey = nullptr;
};

// c = viewer . n of a voxel's normal.
inline double FacingOf(const double view[3], const NormalVector &n) {
  return view[0] * n.x + view[1] * n.y + view[2] * n.z;
}

// The Phong terms of a voxel facing the viewer by c, before the depth
// factor: kd c + ks (2c^2 - 1)^ns, the specular term 0 where 2c^2 - 1 < 0.
inline double PhongOf(const ObjectAppearance &o, double c) {
  const double r = 2.0 * c * c - 1.0;
  double spec = 0.0;
  if (r >= 0.0) {
    spec = o.spec * SpecularPower(r, o.ns);
  }
  return o.diff * c + spec;
}

// Phong shade of a voxel facing the viewer by c at depth d.
inline double ShadeOf(const ObjectAppearance &o, double c, double d, int isize) {
  return PhongOf(o, c) * (1.0 - d / isize) + o.amb;
}

// The colour of luminance Y and the object's chroma, each component
// clamped to [0, 255]: what AddVoxelColor weights.
inline void ClampedChromaColor(const ChromaTerms &chroma, float Y, double rgb[3]) {
  ChromaRGB(Y, chroma, rgb);
  for (int b = 0; b < 3; b++) rgb[b] = std::clamp(rgb[b], 0.0, 255.0);
}

inline void ClampedVoxelColor(const ObjectAppearance &o, float Y, double rgb[3]) {
  ClampedChromaColor(ChromaOf(o.Cb, o.Cr), Y, rgb);
}

// AddVoxelColor's sums for a colour ClampedVoxelColor gave.
inline void AddClampedColor(int *s0, int *s1, int *s2, const double rgb[3], float opac) {
  *s0 += LowByteOfTrunc(rgb[0] * opac);
  *s1 += LowByteOfTrunc(rgb[1] * opac);
  *s2 += LowByteOfTrunc(rgb[2] * opac);
}

// AccVoxelColor's sum, into three colour sums given by address (the
// planes of an image at one pixel, or an interleaved pixel): each
// component of the colour of luminance Y and the object's chroma, clamped
// to [0, 255], weighted by opac, grows its sum by the low 8 bits of its
// truncation.
inline void AddVoxelColor(int *s0, int *s1, int *s2, const ObjectAppearance &o, float Y,
                          float opac) {
  double rgb[3];
  ClampedVoxelColor(o, Y, rgb);
  AddClampedColor(s0, s1, s2, rgb, opac);
}

// Steps 1 and 2: *tp := the voxel's intermediate pixel (null outside the
// intermediate image); whether the voxel gets past the gate.
template <class Mode>
inline bool SplatPassesGate(const SplatSetup &s, const SplatTargets &t, const Voxel &vox, int u,
                            int v, float **tp) {
  const int pu = u + s.shear.ci, pv = v + s.shear.cj;
  const bool pIn = pu >= 0 && pu < s.shear.iw && pv >= 0 && pv < s.shear.ih;
  *tp = pIn ? &t.interT->val[pu + pv * s.shear.iw] : nullptr;
  if (pIn && !IsOpen(**tp)) return false;
  if (Mode::kTestVisible && vox.visible == 0) return false;
  constexpr SplatVoxelTest kTest = SplatVoxelTestOf<Mode>::value;
  if (kTest == SplatVoxelTest::kLabel && vox.label == 0) return false;
  if (kTest == SplatVoxelTest::kOpacity && vox.opacity == 0) return false;
  return true;
}

// Steps 4, 5 and 7: depth, dist and the output centre q0 = (q0c, q0r);
// false when the plane test turns the voxel away.
struct SplatPlace {
  double d, dist;
  int q0c, q0r, q0;
  bool q0In;
};

template <class Mode>
inline bool PlaceSplat(const SplatSetup &s, const SplatTargets &t, int x, int y, int z, int u,
                       int v, SplatPlace *at) {
  const double dot = s.r2[0] * (x - s.xc) + s.r2[1] * (y - s.yc) + s.r2[2] * (z - s.zc);
  at->d = Mode::kDepth == SplatDepth::kExact ? dot + s.dc : std::trunc(dot) + s.isize * 0.5;
  at->dist = s.isize - at->d;
  at->q0c = static_cast<int>(s.w00 * u + s.w01 * v) + s.uc;
  at->q0r = static_cast<int>(s.w10 * u + s.w11 * v) + s.vc;
  at->q0In = at->q0c >= 0 && at->q0c < s.isize && at->q0r >= 0 && at->q0r < s.isize;
  at->q0 = at->q0c + at->q0r * s.isize;
  return !(Mode::kPlaneTest && at->q0In && !(at->dist < t.zbuffer->dist[at->q0]));
}

// Steps 2 to 9 for the voxel `index` at (x, y, z), whose sheared position
// (u, v) the caller computed with ShearedCoord<kTruncate>.
//
// With origin, the z-buffer records origin[index] for the voxel: the
// shell is a gathering of another (DrawableVoxels) and index its own.
template <class Mode>
inline void SplatVoxel(const SplatSetup &s, const SplatTargets &t, const Shell *shell,
                       const Context *cxt, int index, int x, int y, int z, int u, int v,
                       const int *origin = nullptr) {
  const Voxel vox = shell->voxel[index];
  float *tp;
  if (!SplatPassesGate<Mode>(s, t, vox, u, v, &tp)) return;
  const bool pIn = tp != nullptr;
  double c = FacingOf(s.view, shell->normaltable->entry[vox.normal]);
  if (SplatTwoSided<Mode>::value) {
    c = std::fabs(c);
  } else if (!(c > 0.0)) {
    return;
  }
  SplatPlace at;
  if (!PlaceSplat<Mode>(s, t, x, y, z, u, v, &at)) return;
  const double d = at.d, dist = at.dist;
  const int q0c = at.q0c, q0r = at.q0r, q0 = at.q0;
  ZBuffer *zb = t.zbuffer;
  const ObjectAppearance &o = cxt->object[vox.label];
  const double shade = ShadeOf(o, c, d, s.isize);
  const double alpha = s.opacity[vox.opacity], A = o.opac;
  float *T = t.outT->val.data();
  int *red = nullptr, *green = nullptr, *blue = nullptr;
  if (Mode::kColour) {
    red = t.colour->C[0]->val.data();
    green = t.colour->C[1]->val.data();
    blue = t.colour->C[2]->val.data();
  }
  for (const SplatTap &tap : s.taps) {
    const int qc = q0c + tap.dx, qr = q0r + tap.dy;
    if (qc < 0 || qc >= s.isize || qr < 0 || qr >= s.isize) continue;
    const int q = qc + qr * s.isize;
    if (!IsOpen(T[q])) continue;
    if (Mode::kPlaneTest && !(dist < zb->dist[q])) continue;
    const double w = tap.weight * alpha * A;
    if (Mode::kColour) {
      AddVoxelColor(&red[q], &green[q], &blue[q], o, static_cast<float>(shade),
                    static_cast<float>(T[q] * w));
    } else {
      t.grey->val[q] = SaturatedSum(
          t.grey->val[q],
          SaturatedInt(static_cast<double>(T[q]) * tap.weight * alpha * A * 255.0 * shade));
    }
    T[q] = static_cast<float>(T[q] * (1.0 - w));
    if (Mode::kFirstHit != SplatFirstHit::kNone && zb->voxel[q] == -1) {
      zb->voxel[q] = origin != nullptr ? origin[index] : index;
      zb->object[q] = vox.label;
      if (Mode::kFirstHit == SplatFirstHit::kAlways || dist < zb->dist[q]) {
        zb->dist[q] = static_cast<float>(dist);
      }
    }
  }
  if (pIn && at.q0In) *tp = T[q0];
}

// The facing and Phong terms of the voxel last shaded, kept while the
// normal and the label repeat (neighbouring voxels of a surface share
// them); phong is known only where the facing lets the voxel through.
struct SplatShading {
  int normal = -1, label = -1;
  double c = 0.0, phong = 0.0;
};

// The output side of the colour pass while it runs: per pixel, the
// transparency and the colour sums side by side, so that a tap touches
// one place in memory rather than four planes; and two bits
// per pixel, so that a tap on a closed pixel, and the first-hit test of one
// already hit, are answered from a few kilobytes: closed == the
// transparency is at or below 0.05, unhit == the z-buffer voxel is -1.
// Start copies the targets in, Finish copies the pixels back; in between
// the bits follow every write.
class SplatWork {
 public:
  struct Pixel {
    float T;
    int sum[3];  // red, green, blue
  };
  void Start(const SplatTargets &t, bool hits) {
    const float *T = t.outT->val.data();
    const size_t n = t.outT->val.size(), words = (n + 63) / 64;
    pixel_.resize(n);
    closed_.resize(words);
    unhit_.resize(hits ? words : 0);
    Pixel *px = pixel_.data();
    const int *c0 = t.colour->C[0]->val.data(), *c1 = t.colour->C[1]->val.data(),
              *c2 = t.colour->C[2]->val.data();
    const int *voxel = hits ? t.zbuffer->voxel.data() : nullptr;
    // 64 pixels to a word of bits, in one pass over the buffers.
    for (size_t wd = 0; wd < words; wd++) {
      const size_t q0 = wd * 64, q1 = std::min(n, q0 + 64);
      uint64_t closed = 0, unhit = 0;
      for (size_t q = q0; q < q1; q++) {
        px[q].T = T[q];
        closed |= static_cast<uint64_t>(!IsOpen(T[q])) << (q - q0);
        px[q].sum[0] = c0[q], px[q].sum[1] = c1[q], px[q].sum[2] = c2[q];
        if (voxel != nullptr) unhit |= static_cast<uint64_t>(voxel[q] == -1) << (q - q0);
      }
      closed_[wd] = closed;
      if (voxel != nullptr) unhit_[wd] = unhit;
    }
  }
  void Finish(const SplatTargets &t) const {
    float *T = t.outT->val.data();
    const Pixel *px = pixel_.data();
    const size_t n = pixel_.size();
    int *c0 = t.colour->C[0]->val.data(), *c1 = t.colour->C[1]->val.data(),
        *c2 = t.colour->C[2]->val.data();
    for (size_t q = 0; q < n; q++) {
      T[q] = px[q].T, c0[q] = px[q].sum[0], c1[q] = px[q].sum[1], c2[q] = px[q].sum[2];
    }
  }
  Pixel &operator[](int q) { return pixel_[q]; }
  bool Closed(int q) const { return closed_[q >> 6] >> (q & 63) & 1; }
  void SetClosed(int q, bool closed) {
    const uint64_t bit = uint64_t{1} << (q & 63);
    closed_[q >> 6] = closed ? closed_[q >> 6] | bit : closed_[q >> 6] & ~bit;
  }
  bool Unhit(int q) const { return unhit_[q >> 6] >> (q & 63) & 1; }
  void Hit(int q) { unhit_[q >> 6] &= ~(uint64_t{1} << (q & 63)); }

 private:
  std::vector<Pixel> pixel_;
  std::vector<uint64_t> closed_, unhit_;
};

// One working copy per thread for every mode, its storage reused from one
// pass to the next: a pass never runs inside another's visitor.
inline SplatWork &ThreadSplatWork() {
  static thread_local SplatWork work;
  return work;
}

// SplatVoxel for the colour modes, on the working copy, with the shading
// kept in `shading` from one voxel to the next, the colour formed once per
// voxel rather than per tap, and the bounds tests
// of the taps left out where the whole kernel lies inside the output. The
// same numbers in the same order: every buffer ends as SplatVoxel leaves it.
template <class Mode>
inline void SplatVoxelShaded(const SplatSetup &s, const SplatTargets &t, const Shell *shell,
                             const Context *cxt, SplatShading &shading, SplatWork &work,
                             int index, int x, int y, int z, int u, int v,
                             const int *origin = nullptr) {
  static_assert(Mode::kColour, "the grey modes draw with SplatVoxel");
  const Voxel vox = shell->voxel[index];
  float *tp;
  if (!SplatPassesGate<Mode>(s, t, vox, u, v, &tp)) return;
  const bool pIn = tp != nullptr;
  const ObjectAppearance &o = cxt->object[vox.label];
  if (vox.normal != shading.normal || vox.label != shading.label) {
    shading.normal = vox.normal, shading.label = vox.label;
    shading.c = FacingOf(s.view, shell->normaltable->entry[vox.normal]);
    if (SplatTwoSided<Mode>::value) shading.c = std::fabs(shading.c);
    if (SplatTwoSided<Mode>::value || shading.c > 0.0) shading.phong = PhongOf(o, shading.c);
  }
  if (!SplatTwoSided<Mode>::value && !(shading.c > 0.0)) return;
  SplatPlace at;
  if (!PlaceSplat<Mode>(s, t, x, y, z, u, v, &at)) return;
  const double d = at.d, dist = at.dist;
  const int q0c = at.q0c, q0r = at.q0r, q0 = at.q0;
  ZBuffer *zb = t.zbuffer;
  // One loop for both cases, so that the tap's work is inlined once.
  const bool inside = q0c + s.tapMinDx >= 0 && q0c + s.tapMaxDx < s.isize &&
                      q0r + s.tapMinDy >= 0 && q0r + s.tapMaxDy < s.isize;
  const size_t ntaps = s.taps.size();
  // A centre inside whose taps are all closed changes only the
  // intermediate pixel (behind cut faces, say): no shade to form.
  if (inside && work.Closed(q0)) {
    size_t i = 0;
    while (i < ntaps && work.Closed(q0 + s.tapOffset[i])) i++;
    if (i == ntaps) {
      if (pIn) *tp = work[q0].T;
      return;
    }
  }
  const double shade = shading.phong * (1.0 - d / s.isize) + o.amb;
  const double alpha = s.opacity[vox.opacity], A = o.opac;
  double rgb[3];
  ClampedVoxelColor(o, static_cast<float>(shade), rgb);
  // Components in [0, 255] (not NaN) weighted by less than 2^23 in size
  // stay inside the int range, where AddClampedColor's sums are plain
  // truncations: the common case, tested once per tap instead of per
  // component.
  constexpr float kOpacBound = 8388608.0f;
  const bool rgbBounded = rgb[0] == rgb[0] && rgb[1] == rgb[1] && rgb[2] == rgb[2];
  for (size_t i = 0; i < ntaps; i++) {
    const SplatTap &tap = s.taps[i];
    int q;
    if (inside) {
      q = q0 + s.tapOffset[i];
    } else {
      const int qc = q0c + tap.dx, qr = q0r + tap.dy;
      if (qc < 0 || qc >= s.isize || qr < 0 || qr >= s.isize) continue;
      q = qc + qr * s.isize;
    }
    if (work.Closed(q)) continue;
    if (Mode::kPlaneTest && !(dist < zb->dist[q])) continue;
    SplatWork::Pixel &px = work[q];
    const double w = tap.weight * alpha * A;
    const float opac = static_cast<float>(px.T * w);
    if (rgbBounded && opac > -kOpacBound && opac < kOpacBound) {
      for (int b = 0; b < 3; b++) px.sum[b] += static_cast<int>(rgb[b] * opac) & 0xFF;
    } else {
      AddClampedColor(&px.sum[0], &px.sum[1], &px.sum[2], rgb, opac);
    }
    px.T = static_cast<float>(px.T * (1.0 - w));
    // A negative object opacity lets a transparency grow.
    work.SetClosed(q, !IsOpen(px.T));
    if (Mode::kFirstHit != SplatFirstHit::kNone && work.Unhit(q)) {
      work.Hit(q);
      zb->voxel[q] = origin != nullptr ? origin[index] : index;
      zb->object[q] = vox.label;
      if (Mode::kFirstHit == SplatFirstHit::kAlways || dist < zb->dist[q]) {
        zb->dist[q] = static_cast<float>(dist);
      }
    }
  }
  if (pIn && at.q0In) *tp = work[q0].T;
}

// ---- skipping what lies behind closed intermediate pixels ----

// Per line of the intermediate image (a row, or a column when the voxel
// rows run along v), the next position at or after a given one, in the
// traversal's direction, whose transparency is still open: one bit per
// position, set while it is open, and a last bit always set for the line's
// end, so a search always stops. A line of 512 positions is one cache line.
// Positions are stored mirrored for a decreasing traversal, so that
// "after" is always "greater".
class OpenLines {
 public:
  // lines x len positions; position a of line l is the intermediate pixel
  // base(l) + a * step. Every position starts open and the closed pixels of
  // the buffer are cleared; the storage is kept from one rendering to the
  // next.
  // Only the lines [lo, hi) take the buffer's closed pixels (the others
  // are left open, for a traversal that does not take their rows).
  void Reset(const FBuffer *T, bool alongRows, bool reversed, int lo = 0,
             int hi = 2147483647) {
    alongRows_ = alongRows;
    reversed_ = reversed;
    iw_ = T->ncols;
    lines_ = alongRows ? T->nrows : T->ncols;
    len_ = alongRows ? T->ncols : T->nrows;
    words_ = len_ / 64 + 1;
    bits_.assign(static_cast<size_t>(lines_) * words_, ~uint64_t{0});
    // Positions beyond the end are closed, the end itself open.
    const uint64_t last = (len_ % 64 == 63) ? ~uint64_t{0} : ((uint64_t{1} << (len_ % 64 + 1)) - 1);
    for (int l = 0; l < lines_; l++) bits_[static_cast<size_t>(l) * words_ + words_ - 1] = last;
    summarised_ = words_ <= 64;
    const uint64_t all = words_ == 64 ? ~uint64_t{0} : (uint64_t{1} << words_) - 1;
    summary_.assign(summarised_ ? lines_ : 0, all);
    const float *t = T->val.data();
    for (int r = 0; r < T->nrows; r++) {
      for (int c = 0; c < T->ncols; c++) {
        const int line = alongRows ? r : c;
        if (line < lo || line >= hi || IsOpen(t[c + r * iw_])) continue;
        Close(line, Mirror(alongRows ? c : r));
      }
    }
  }
  int lines() const { return lines_; }
  int len() const { return len_; }
  // Mirrored position of a real one (and back).
  int Mirror(int a) const { return reversed_ ? len_ - 1 - a : a; }
  int Unmirror(int m) const { return reversed_ ? len_ - 1 - m : m; }
  int Pixel(int line, int a) const { return alongRows_ ? a + line * iw_ : line + a * iw_; }
  // The first open mirrored position >= m (0 <= m <= len()) on the line;
  // len() when none. Past the word of m, the line's summary (a bit per
  // word with an open position) names the next such word at once.
  int FirstOpen(int line, int m) const {
    const uint64_t *b = &bits_[static_cast<size_t>(line) * words_];
    int w = m >> 6;
    uint64_t word = b[w] & (~uint64_t{0} << (m & 63));
    if (word != 0) return (w << 6) + __builtin_ctzll(word);
    if (summarised_) {
      // The end's word always has its bit, and it lies beyond w.
      w = __builtin_ctzll(summary_[line] & (~uint64_t{1} << w));
      return (w << 6) + __builtin_ctzll(b[w]);
    }
    while (word == 0) word = b[++w];
    return (w << 6) + __builtin_ctzll(word);
  }
  void Close(int line, int m) {
    uint64_t &word = bits_[static_cast<size_t>(line) * words_ + (m >> 6)];
    word &= ~(uint64_t{1} << (m & 63));
    if (word == 0 && summarised_) summary_[line] &= ~(uint64_t{1} << (m >> 6));
  }

 private:
  bool alongRows_ = true, reversed_ = false, summarised_ = true;
  int iw_ = 0, lines_ = 0, len_ = 0, words_ = 1;
  std::vector<uint64_t> bits_;     // lines x words, bit m of a line: position m open
  std::vector<uint64_t> summary_;  // per line (up to 64 words): bit w, word w has an open bit
};

// TraverseShell's order and clip, with the sheared position (u, v) of each
// voxel (rounded as R says), calling visit(index, x, y, z, u, v) only for
// voxels whose intermediate pixel is open in interT. Afterwards the pixel
// is closed when its transparency has fallen to 0.05 or below; the visitor
// must change no other intermediate pixel. A voxel whose intermediate pixel
// lies outside the image is visited when kVisitOutside, and skipped
// otherwise.
//
// Voxel rows map to runs of consecutive intermediate positions along one
// line ('z' and 'x': a row, u growing with the in-row coordinate; 'y': a
// column, v growing), so a row is entered at its first open pixel and
// jumps from there to the next one, never touching the voxels in between;
// a row whose reachable pixels are all closed is not read at all.
//
// With a share, only the rows on the share's lines [lo, hi) are taken
// (rows beside the image only when `beside`), so that takers of disjoint
// shares may run at once on one intermediate image.
struct LineShare {
  int lo = 0, hi = 2147483647;
  bool beside = true;
  bool Owns(int line, int lines) const {
    if (line < 0 || line >= lines) return beside;
    return line >= lo && line < hi;
  }
  // Part `part` of `parts` of `lines` lines, the rows beside the image to
  // part 0.
  static LineShare Part(int part, int parts, int lines) {
    return {static_cast<int>(static_cast<long long>(lines) * part / parts),
            static_cast<int>(static_cast<long long>(lines) * (part + 1) / parts), part == 0};
  }
};

template <ShearRounding R, bool kVisitOutside, class Visit>
void TraverseOpenIntermediate(const Shell *shell, const Context *cxt, const ShearFrame &f,
                              const AxisRun &outer, bool clipRow, const FBuffer *interT,
                              const LineShare &share, Visit &&visit) {
  if (f.iw <= 0 || f.ih <= 0) return;
  const char paxis = f.paxis;
  const bool alongU = paxis != 'y';  // the in-row coordinate is i (else j)
  const int inRowStep = paxis == 'x' ? cxt->dy : cxt->dx;
  // One set of links per thread, reused: a traversal never runs inside
  // another's visitor.
  static thread_local OpenLines links;
  links.Reset(interT, alongU, inRowStep < 0, share.lo, share.hi);
  const float *T = interT->val.data();
  const int inRowSize = paxis == 'x' ? shell->ysize : shell->xsize;
  const int inRowLo = clipRow ? (paxis == 'x' ? cxt->ymin : cxt->xmin) : 0;
  const int inRowHi = clipRow ? (paxis == 'x' ? cxt->ymax : cxt->xmax) : inRowSize - 1;
  const int varCentre = alongU ? f.ic : f.jc, varShift = alongU ? f.ci : f.cj;
  std::vector<int> varPos(inRowSize);  // per in-row coordinate: position on its line
  const Voxel *voxel = shell->voxel.data();
  const ListEntry *list = shell->list.data();
  const bool viaList = paxis == 'x';
  const int len = links.len();

  // One row: entries [first, end) of the voxel array (or the list), on the
  // line of the fixed sheared coordinate `fixedPos` (already shifted).
  auto row = [&](int first, int end, int a1, int a2, int fixedPos) {
    // a1, a2: the row's two fixed shell coordinates, in (x, y, z) order.
    auto storedCoord = [&](int e) { return viaList ? int(list[e].y) : int(voxel[e].x); };
    auto indexOf = [&](int e) { return viaList ? int(list[e].pointer) : e; };
    // Entries have distinct coordinates in increasing order, so a row whose
    // two ends lie as far apart as its entry count allows holds every
    // coordinate between them: its entries' coordinates follow from the
    // first, and the searches below read no voxel (a body shell's rows).
    const int row0 = first, coord0 = storedCoord(first);
    const bool dense = storedCoord(end - 1) - coord0 == end - 1 - first;
    auto coordOf = [&](int e) { return dense ? coord0 + (e - row0) : storedCoord(e); };
    // The in-row clip as an entry range (entries are sorted by coordinate);
    // nothing to search when both ends lie inside it.
    if (clipRow && (coordOf(first) < inRowLo || coordOf(end - 1) > inRowHi)) {
      int lo = first, hi = end;
      while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (coordOf(mid) < inRowLo) lo = mid + 1; else hi = mid;
      }
      first = lo;
      hi = end;
      while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (coordOf(mid) <= inRowHi) lo = mid + 1; else hi = mid;
      }
      end = lo;
    }
    const int n = end - first;
    if (n <= 0) return;
    const bool lineIn = fixedPos >= 0 && fixedPos < links.lines();
    if (!lineIn && !kVisitOutside) return;
    const bool rev = inRowStep < 0;
    auto entryAt = [&](int t) { return rev ? end - 1 - t : first + t; };
    auto call = [&](int e) {
      if (viaList) {
        // The list names voxels far apart: fetch the next one's record
        // while this one is drawn.
        const int next = rev ? e - 1 : e + 1;
        if (next >= first && next < end) __builtin_prefetch(&voxel[list[next].pointer]);
      }
      const int a = coordOf(e), var = varPos[a] - varShift;
      const int fixedSheared = fixedPos - (alongU ? f.cj : f.ci);
      const int u = alongU ? var : fixedSheared, v = alongU ? fixedSheared : var;
      if (viaList) visit(indexOf(e), a1, a, a2, u, v);
      else visit(indexOf(e), a, a1, a2, u, v);
    };
    if (!lineIn) {
      for (int t = 0; t < n; t++) call(entryAt(t));
      return;
    }
    // The row's own reach, from its two ends (entries are sorted by
    // coordinate): when every pixel of it is closed the row is done.
    {
      const int pa = varPos[coordOf(first)], pb = varPos[coordOf(end - 1)];
      const bool allIn = pa >= 0 && pb < len;
      if (!kVisitOutside && (pb < 0 || pa >= len)) return;
      if (allIn || !kVisitOutside) {
        const int lo = std::max(pa, 0), hi = std::min(pb, len - 1);
        const int mlo = links.Mirror(rev ? hi : lo), mhi = links.Mirror(rev ? lo : hi);
        if (links.FirstOpen(fixedPos, mlo) > mhi) return;
      }
    }
    // Mirrored line position of the t-th entry along the traversal; it does
    // not decrease with t.
    auto mposAt = [&](int t) { return links.Mirror(varPos[coordOf(entryAt(t))]); };
    int t = 0;
    while (t < n) {
      const int m = mposAt(t);
      if (m < 0 || m >= len) {
        if (kVisitOutside) call(entryAt(t));
        else if (m >= len) return;
        t++;
        continue;
      }
      const int open = links.FirstOpen(fixedPos, m);
      if (open != m) {
        if (open >= len && !kVisitOutside) return;
        // Jump to the first entry at or beyond the open position. Entries
        // have distinct coordinates and k coordinates on, a position has
        // grown by at least k - 1, so it lies within open - m + 1 entries.
        int lo = t + 1, hi = static_cast<int>(std::min<long>(n, static_cast<long>(t) + open - m + 2));
        while (lo < hi) {
          int mid = (lo + hi) / 2;
          if (mposAt(mid) < open) lo = mid + 1; else hi = mid;
        }
        t = lo;
        continue;
      }
      const int e = entryAt(t);
      call(e);
      const int p = links.Pixel(fixedPos, links.Unmirror(m));
      if (!IsOpen(T[p])) links.Close(fixedPos, m);
      t++;
    }
  };

  // The mirrored positions [reachLo, reachHi] that any voxel of a row of
  // the current slice can land on: the in-row clip range's two ends, as the
  // positions grow with the in-row coordinate. Whether a voxel lands
  // outside the line is known as well (reachOut).
  int reachLo = 0, reachHi = -1;
  bool reachOut = false;
  const int clipLo = std::max(inRowLo, 0), clipHi = std::min(inRowHi, inRowSize - 1);
  auto slice = [&](int k) {
    const float off = alongU ? f.uOffset[k] : f.vOffset[k];
    for (int a = 0; a < inRowSize; a++) {
      varPos[a] = ShearedCoord<R>(a - varCentre, off) + varShift;
    }
    if (clipLo > clipHi) {
      reachLo = 0, reachHi = -1, reachOut = false;
      return;
    }
    const int lo = varPos[clipLo], hi = varPos[clipHi];
    reachOut = lo < 0 || hi >= len;
    if (hi < 0 || lo >= len) {  // the whole row lands beside the line
      reachLo = 0, reachHi = -1;
      return;
    }
    reachLo = links.Mirror(std::min(std::max(inRowStep < 0 ? hi : lo, 0), len - 1));
    reachHi = links.Mirror(std::min(std::max(inRowStep < 0 ? lo : hi, 0), len - 1));
  };
  // A row on `line` can be passed over without reading its voxels when none
  // of them can change anything: a voxel's whole effect starts at its
  // intermediate pixel, and one that lands on a closed pixel is never
  // visited, so a row whose every reachable pixel on the line is closed
  // (FirstOpen beyond the reachable range) has no effect. Pixels never
  // reopen (transparencies only shrink, and only an open pixel's own voxel
  // writes it), and a link is closed only after its pixel closed, so the
  // test is exact. A row whose voxels may land outside the image is passed
  // over only when such voxels are skipped anyway (!kVisitOutside).
  auto rowIsClosed = [&](int line) {
    if (line < 0 || line >= links.lines()) return !kVisitOutside;
    if (kVisitOutside && reachOut) return false;
    if (reachLo > reachHi) return true;
    return links.FirstOpen(line, reachLo) > reachHi;
  };
  // A slice is taken in two sweeps: the first gathers the rows whose line
  // is still open in reach and asks the memory for the two ends of each,
  // all at once; the second draws them in order. Gathering early is exact:
  // a row found closed stays closed (pixels never reopen), and a gathered
  // row tests its own pixels when it is drawn.
  struct PendingRow {
    int a1, a2, line, first, end;
  };
  static thread_local std::vector<PendingRow> pending;
  const int *mzy = shell->Mzy->val.data(), *mxz = shell->Mxz->val.data();
  auto gather = [&](const int *m, int index, int a1, int a2, int line) {
    if (!share.Owns(line, links.lines()) || rowIsClosed(line)) return;
    const int start = m[index];
    if (start < 0) return;
    int j = index + 1;
    while (m[j] < 0) j++;
    const int stop = m[j];
    if (stop <= start) return;
    if (viaList) {
      __builtin_prefetch(&list[start]);
      __builtin_prefetch(&list[stop - 1]);
    } else {
      __builtin_prefetch(&voxel[start]);
      __builtin_prefetch(&voxel[stop - 1]);
    }
    pending.push_back({a1, a2, line, start, stop});
  };
  auto draw = [&]() {
    for (const PendingRow &r : pending) row(r.first, r.end, r.a1, r.a2, r.line);
    pending.clear();
  };
  pending.clear();
  const AxisRun zr = RunOfAxis(cxt, 'z'), yr = RunOfAxis(cxt, 'y');
  const int ysize = shell->ysize, zsize = shell->zsize;
  switch (paxis) {
    case 'z':
      for (int z = outer.first; z != outer.end; z += outer.step) {
        slice(z);
        for (int y = yr.first; y != yr.end; y += yr.step) {
          gather(mzy, y + z * ysize, y, z, ShearedCoord<R>(y - f.jc, f.vOffset[z]) + f.cj);
        }
        draw();
      }
      break;
    case 'y':
      for (int y = outer.first; y != outer.end; y += outer.step) {
        slice(y);
        for (int z = zr.first; z != zr.end; z += zr.step) {
          gather(mzy, y + z * ysize, y, z, ShearedCoord<R>(z - f.ic, f.uOffset[y]) + f.ci);
        }
        draw();
      }
      break;
    default:
      for (int x = outer.first; x != outer.end; x += outer.step) {
        slice(x);
        for (int z = zr.first; z != zr.end; z += zr.step) {
          gather(mxz, z + x * zsize, x, z, ShearedCoord<R>(z - f.jc, f.vOffset[x]) + f.cj);
        }
        draw();
      }
  }
}

template <ShearRounding R, bool kVisitOutside, class Visit>
void TraverseOpenIntermediate(const Shell *shell, const Context *cxt, const ShearFrame &f,
                              const AxisRun &outer, bool clipRow, const FBuffer *interT,
                              Visit &&visit) {
  TraverseOpenIntermediate<R, kVisitOutside>(shell, cxt, f, outer, clipRow, interT, LineShare{},
                                             visit);
}

// The sheared position of (x, y, z), rounded as R says.
template <ShearRounding R>
inline void ShearedPosition(const ShearFrame &f, int x, int y, int z, int *u, int *v) {
  int i, j, k;
  PermuteAxes(f.paxis, x, y, z, &i, &j, &k);
  *u = ShearedCoord<R>(i - f.ic, f.uOffset[k]);
  *v = ShearedCoord<R>(j - f.jc, f.vOffset[k]);
}

// Every voxel of the traversal through SplatVoxel, one by one: the
// reference that CompositeShell must match buffer for buffer.
template <class Mode>
void CompositeShellPlain(const SplatSetup &s, const SplatTargets &t, const Shell *shell,
                         const Context *cxt, const AxisRun &outer, bool clipRow) {
  TraverseShell(shell, cxt, outer, clipRow, [&](int index, int x, int y, int z) {
    int u, v;
    ShearedPosition<ShearRounding::kTruncate>(s.shear, x, y, z, &u, &v);
    SplatVoxel<Mode>(s, t, shell, cxt, index, x, y, z, u, v);
  });
}

// The same pass, skipping the voxels whose intermediate pixel is closed.
// The grey modes draw with SplatVoxel on the buffers themselves: a grey tap
// costs too little for the working copy to pay for its two passes. Modes
// that turn away hidden and unlabelled voxels traverse only the drawable
// ones (DrawableVoxels).
template <class Mode>
void CompositeShell(const SplatSetup &s, const SplatTargets &t, const Shell *shell,
                    const Context *cxt, const AxisRun &outer, bool clipRow) {
  constexpr bool kGathered =
      Mode::kTestVisible && SplatVoxelTestOf<Mode>::value == SplatVoxelTest::kLabel;
  DrawableWalk drawable;
  const Shell *walk = shell;
  const int *origin = nullptr;
  if (kGathered) {
    drawable = DrawableVoxels(shell, cxt->paxis);
    walk = drawable.shell;
    origin = drawable.origin;
  }
  if constexpr (!Mode::kColour) {
    TraverseOpenIntermediate<ShearRounding::kTruncate, true>(
        walk, cxt, s.shear, outer, clipRow, t.interT,
        [&](int index, int x, int y, int z, int u, int v) {
          SplatVoxel<Mode>(s, t, walk, cxt, index, x, y, z, u, v, origin);
        });
  } else {
    SplatShading shading;
    SplatWork &work = ThreadSplatWork();
    work.Start(t, Mode::kFirstHit != SplatFirstHit::kNone);
    TraverseOpenIntermediate<ShearRounding::kTruncate, true>(
        walk, cxt, s.shear, outer, clipRow, t.interT,
        [&](int index, int x, int y, int z, int u, int v) {
          SplatVoxelShaded<Mode>(s, t, walk, cxt, shading, work, index, x, y, z, u, v, origin);
        });
    work.Finish(t);
  }
}

// The colour renderer's mode and the grey one's.
using CSWMode = SplatModeOf<true, true, SplatDepth::kExact, SplatFirstHit::kIfNearer, false>;
using SWMode = SplatModeOf<false, false, SplatDepth::kExact, SplatFirstHit::kNone, false>;

// The colour renderers without the skipping, for measuring what it saves:
// the same images and z-buffer as CSWShellRendering and ICSWShellRendering,
// every voxel visited.
std::unique_ptr<CImage> CSWShellRenderingPlain(const Shell *shell, Context *cxt);
std::unique_ptr<CImage> ICSWShellRenderingPlain(const Shell *shell, Context *cxt);
