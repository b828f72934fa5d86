// The viewing context: how a volume is looked at. Two angles and the
// matrices derived from them, the viewing octant and the front-to-back
// traversal order, the shear-warp factorisation of the view, the clip box,
// and the appearance of 256 objects. Also the depth buffer every renderer
// fills (ZBuffer) and a float image (FBuffer).
//
// Matrices are 4x4 floats, row-major, applied to column vectors. Matrix
// products and the other derived values are formed in double and rounded
// once, where they are stored.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "core/adjacency.h"
#include "core/frame.h"
#include "core/kernel.h"

struct Scene;

// Depth buffer. Pixel p = column + tbrow[row].
struct ZBuffer {
  std::vector<float> dist;            // depth of the nearest surface found
  std::vector<unsigned char> object;  // label of that surface
  std::vector<int> voxel;             // its index in the shell's voxel array, -1 for none
  int ncols = 0;
  int nrows = 0;
  std::vector<int> tbrow;             // tbrow[r] = r * ncols

  int PixelCount() const { return ncols * nrows; }
};

// A float image. Pixel p = column + tbrow[row].
struct FBuffer {
  std::vector<float> val;
  int ncols = 0;
  int nrows = 0;
  std::vector<int> tbrow;

  int PixelCount() const { return ncols * nrows; }
};

// The appearance of one object label. Colour is held in YCbCr, each
// component in [0, 1].
struct ObjectAppearance {
  float Y = 0.0f, Cb = 0.0f, Cr = 0.0f;
  float opac = 0.0f;                         // 0..1
  float diff = 0.0f, spec = 0.0f, amb = 0.0f;  // Phong coefficients
  int ns = 0;                                // specular exponent
  unsigned short reserved[3] = {0, 0, 0};    // read by no viewing operation
};

// r to the power ns (1 for ns <= 0), the specular term of the Phong
// shading. Small exponents multiply r in one factor at a time, as the
// shading has always done; from kRepeatedPowerLimit on the power is formed
// by squaring, so an exponent of 2147483647 costs 31 steps rather than
// minutes per voxel. The two orders round alike when every product is
// exact (r of 0, 1, a power of two, or few enough significant bits) and
// for ns up to 3, where squaring does the same multiplications; elsewhere
// squaring's value, which passes through fewer roundings, is the one used.
constexpr int kRepeatedPowerLimit = 16;
inline double SpecularPower(double r, int ns) {
  double p = 1.0;
  if (ns <= kRepeatedPowerLimit) {
    for (int n = 0; n < ns; n++) p *= r;
    return p;
  }
  for (unsigned e = static_cast<unsigned>(ns); e != 0; e >>= 1) {
    if (e & 1u) p *= r;
    r *= r;
  }
  return p;
}

struct Context {
  float tilt = 0.0f;  // first viewing angle in degrees, in [0, 360)
  float spin = 0.0f;  // second viewing angle in degrees, in [0, 360)
  int xsize = 0, ysize = 0, zsize = 0;
  std::unique_ptr<Frame> frame;  // wire-frame box; its vertices follow the clip box
  float inverseRotation[4][4] = {};  // transpose of the rotation
  float rotation[4][4] = {};         // Ry(spin) Rx(tilt)
  float shear[4][4] = {};            // S P inverseRotation
  float inverseShear[4][4] = {};     // rotation P^T S^-1
  std::unique_ptr<ZBuffer> zbuffer;  // isize x isize
  // Per slice k of the principal axis (nk entries, set along the traversal
  // of that axis): k Sx + Tx, k Sy + Ty, and their negatives.
  std::vector<float> uOffset, vOffset, negUOffset, negVOffset;
  char paxis = 'z';          // principal axis: 'x', 'y' or 'z'
  signed char octant = 1;    // viewing octant 1..8
  // Traversal per axis: first index, end index (exclusive), step (+1 or -1).
  int xi = 0, xf = 0, dx = 0, yi = 0, yf = 0, dy = 0, zi = 0, zf = 0, dz = 0;
  int xmin = 0, xmax = 0, ymin = 0, ymax = 0, zmin = 0, zmax = 0;  // clip box, inclusive
  // Traversal of the principal axis, copied from its axis when the angles change.
  int ki = 0, kf = 0, dk = 0;
  std::array<ObjectAppearance, 256> object{};  // by label
  float viewer[3] = {};           // unit vector from the volume towards the viewer
  float secondDirection[3] = {};  // (0, -1, 0); read by no viewing operation
  float matrix3[3][3] = {};       // the identity; read by no viewing operation
  // The side of the output image, floor(sqrt(xsize^2 + ysize^2 + zsize^2)),
  // held three times (one per image axis of the renderers).
  int isize = 0, jsize = 0, ksize = 0;
  float Sx = 0.0f, Sy = 0.0f;  // shear of the two in-slice axes
  float Tx = 0.0f, Ty = 0.0f;  // -Sx nk / 2, -Sy nk / 2
  float iwidth = 0.0f, iheight = 0.0f;  // intermediate (sheared) image size
  float nk = 0.0f;                      // slices along the principal axis
  // exp(-(dx^2 + dy^2) / 2) over the disc of radius 1.5, not normalised.
  std::unique_ptr<Kernel> kernel;
  std::unique_ptr<AdjPxl> adjacency;  // none is made here; released with the context
  std::vector<int> spare;             // none is made here; released with the context
};

// ---- creation ----

// A context for a volume of that size: angles 0 and 0 (identity rotation,
// viewer (0, 0, -1), octant 1, principal axis 'z'), clip box the whole
// volume, object 0 black, transparent, objects 1..255 white and opaque, all
// with Phong (0.7, 0.2, 0.1, 2). Error for a non-positive or absurd size.
std::unique_ptr<Context> NewContext(int xsize, int ysize, int zsize);
// NewContext with the scene's sizes.
std::unique_ptr<Context> CreateContext(const Scene *scn);
void DestroyContext(std::unique_ptr<Context> *cxt);

// ---- the view ----

// tilt := normalise(theta_x), spin := normalise(theta_y), rotation :=
// Ry(spin) Rx(tilt); then everything that follows from the rotation: the
// inverse rotation, the viewer, octant and traversal, principal axis, shear
// coefficients and offsets, intermediate size, shear matrices. Error for an
// angle that is not a finite number.
void SetAngles(Context *cxt, float theta_x, float theta_y);
// Turns the view by two increments in the viewer's frame: rotation :=
// Ry(thy) Rx(thx) rotation, with tilt and spin the running sums of the
// (normalised) increments; then the same derived values as SetAngles.
void AddAngles(Context *cxt, float thx, float thy);
// The same as AddAngles (cut renderers call it by this name).
void AddAnglesCut(Context *cxt, float thx, float thy);

// The nine traversal fields from the octant and the clip box: an axis on
// whose low side the viewer sits runs from min to max, the others from max
// down to min.
void SetAxisIndices(Context *cxt);

// Clamps each bound to [0, size - 1], raises a maximum below its minimum to
// the minimum, stores the box, recomputes the traversal and moves the
// frame's vertices to the box. The principal-axis traversal and the shear
// offsets wait for the next angle change.
void SetClip(Context *cxt, int xmin, int xmax, int ymin, int ymax, int zmin, int zmax);

float GetTilt(const Context *cxt);
float GetSpin(const Context *cxt);

// ---- objects (labels are taken modulo 256) ----

void SetPhong(Context *cxt, int label, float diff, float spec, float amb, int ns);
// Stores (r, g, b), each in [0, 1], as studio-range YCbCr in [0, 1].
void SetObjectColor(Context *cxt, int label, float r, float g, float b);
void SetObjectOpacity(Context *cxt, int label, float opacity);

// ---- z-buffers ----

// A z-buffer initialised as by InitZBuffer. Error for a non-positive or
// absurd size.
std::unique_ptr<ZBuffer> CreateZBuffer(int ncols, int nrows);
void DestroyZBuffer(std::unique_ptr<ZBuffer> *zbuffer);
// Every pixel: dist = ncols, object 0, voxel -1.
void InitZBuffer(ZBuffer *zbuffer);
// Every object byte := label (its low 8 bits).
void InitZBufferObject(ZBuffer *zbuffer, int label);
// Every voxel := -1.
void InitZBufferVoxel(ZBuffer *zbuffer);
// The values at pixel p. Error for a pixel outside the buffer.
int GetZBufferVoxel(const ZBuffer *zbuffer, int p);
float GetZBufferDist(const ZBuffer *zbuffer, int p);
int GetZBufferObject(const ZBuffer *zbuffer, int p);
// Copies every value of an f-buffer of the same size into dist. Error when
// the sizes differ.
void SetZBufferDist(ZBuffer *zbuffer, const FBuffer *fbuffer);

// ---- f-buffers ----

// All values 0. Error for a non-positive or absurd size.
std::unique_ptr<FBuffer> CreateFBuffer(int ncols, int nrows);
void DestroyFBuffer(std::unique_ptr<FBuffer> *fbuffer);
void InitFBuffer(FBuffer *fbuffer, float value);
