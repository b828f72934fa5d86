// Slice colouring and z-buffer shading: label images filled and painted in
// the objects' colours, grey slices of scenes as colour images, and the
// pictures made from a context's z-buffer after a rendering (depth cue and
// Phong shading with normals from the z-buffer or from a scene).
//
// Object colours are held in the context as YCbCr in [0, 1]; they become
// RGB on the 0..255 scale with ObjectRGB below. A label of 256 or more is
// painted with the record of label 0.
//
// The z-buffer's voxel field is read as a voxel index of the context's
// volume, x + y*xsize + z*xsize*ysize (-1: nothing seen).
//
// Operations of several images check that the sizes agree and fail with
// Error when they do not; pixel and voxel indices given from outside are
// checked the same way, except in the inline AccVoxelColor that renderers
// call per voxel.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/cimage.h"
#include "core/image.h"
#include "render/context.h"

struct Scene;

// ---- object colours ----

// The chroma terms of a colour's RGB, which renderers form once per
// object: 406.98 cr, 207.315 cr, 99.96 cb and 514.335 cb, with the chroma
// centred on 128/255.
struct ChromaTerms {
  double r, gFromCr, gFromCb, b;
};

inline ChromaTerms ChromaOf(double Cb, double Cr) {
  const double cb = Cb - 0.50196078431, cr = Cr - 0.50196078431;
  return {406.98 * cr, 207.315 * cr, 99.96 * cb, 514.335 * cb};
}

// RGB (0..255 scale, neither clamped nor truncated) of luminance Y in
// [0, 1] with the given chroma terms.
inline void ChromaRGB(double Y, const ChromaTerms &c, double rgb[3]) {
  const double yn = (Y - 0.062745098039) * 296.82;
  rgb[0] = yn + c.r;
  rgb[1] = yn - c.gFromCr - c.gFromCb;
  rgb[2] = yn + c.b;
}

// RGB (0..255 scale, neither clamped nor truncated) of a colour given as
// Y, Cb, Cr in [0, 1], with the chroma centred on 128/255.
inline void ObjectRGB(double Y, double Cb, double Cr, double rgb[3]) {
  ChromaRGB(Y, ChromaOf(Cb, Cr), rgb);
}

// The record that paints label o: o itself for 0..255, label 0 otherwise.
inline const ObjectAppearance &LabelAppearance(const Context *cxt, int o) {
  return cxt->object[o >= 0 && o < 256 ? o : 0];
}

// The colour of label o: ObjectRGB of its record, each component clamped
// to [0, 255] and truncated.
void LabelColor(const Context *cxt, int o, int rgb[3]);

// ---- label images ----

// Fills every closed outline of a label image with a label: a min-max
// propagation from the image border, in which background reaching the
// border stays 0, an enclosed zero pixel takes the smallest label through
// which it is reached, and a labelled region of two or more pixels keeps
// its own label. Pixels that end above 255 become 0. Error for a negative
// pixel or a largest value too big for a bucket per value.
std::unique_ptr<Image> FillSlice(const Image *img);
// The same fill without clearing the values above 255. zbuff is not read.
std::unique_ptr<Image> FillCutPlane(const ZBuffer *zbuff, const Image *img);

// Each pixel of label v > 0 in the colour of label v, the others black.
std::unique_ptr<CImage> ColorizeSlice(const Context *cxt, const Image *img);
// The object colours of obj blended half and half over the grey image img:
// trunc(colour * 0.5 + trunc(img * 0.5)) under a label, img itself where
// obj is 0. With no img (null) the colouring of obj alone. Error when obj
// and img differ in size.
std::unique_ptr<CImage> OverlaySlice(const Context *cxt, const Image *obj, const Image *img);
// ColorizeSlice written into cimg; pixels with v <= 0 keep their colour.
// Error when the sizes differ.
void ColorizeCut(const Context *cxt, CImage *cimg, const Image *img);
// A grey rendering tinted with the chroma of the object the z-buffer saw
// at each pixel: luminance img(p) / max(img), chroma of that object.
// Where nothing was seen the pixel is white if img(p) is 255 and black
// otherwise. Error when img and the z-buffer differ in size.
std::unique_ptr<CImage> Colorize(const Context *cxt, const Image *img);

// ---- compositing ----

// The low 8 bits of trunc(v): by conversion within the int range, by
// arithmetic beyond it; 0 for a v that is infinite or not a number, which
// has no low byte.
inline int LowByteOfTrunc(double v) {
  if (v > -2147483648.0 && v < 2147483648.0) return static_cast<int>(v) & 0xFF;
  if (!std::isfinite(v)) return 0;
  const double r = std::fmod(std::trunc(v), 256.0);
  return static_cast<int>(r < 0.0 ? r + 256.0 : r);
}

// Adds the colour of luminance Y and the chroma of label obj mod 256,
// weighted by opac, to pixel i of cimg: each plane grows by the low 8 bits
// of trunc(component * opac), the component clamped to [0, 255]; a product
// that is infinite or not a number adds nothing. Called per voxel by
// renderers: i is not checked.
inline void AccVoxelColor(CImage *cimg, const Context *cxt, int i, float Y, float opac,
                          int obj) {
  const ObjectAppearance &o = cxt->object[obj & 0xFF];
  double rgb[3];
  ObjectRGB(Y, o.Cb, o.Cr, rgb);
  for (int c = 0; c < 3; c++) {
    cimg->C[c]->val[i] += LowByteOfTrunc(std::clamp(rgb[c], 0.0, 255.0) * opac);
  }
}

// ---- z-buffer shading ----

// Grey depth cue of the context's z-buffer: over the pixels that saw a
// voxel, trunc((dmax - dist) * 255 / (dmax - dmin)); nearer is brighter.
// All 0 when nothing was seen or every surface lies at one depth.
std::unique_ptr<Image> DepthShading(const Context *cxt);
// Phong shading of the context's z-buffer, light at the viewer, normals
// from the z-buffer itself (PhongShading) or from the gradient of nscn
// (PhongShadingScene). Surface pixels are 255 when all lie at one depth.
// PhongShadingScene fails unless nscn has the context's volume size.
std::unique_ptr<Image> PhongShading(const Context *cxt);
std::unique_ptr<Image> PhongShadingScene(const Context *cxt, const Scene *nscn);

// The surface normal at z-buffer pixel p, from the voxels seen on the ring
// of its neighbour pixels; (0, 0, 0) where it cannot be told (no voxel at
// p, no usable neighbours). Error for a pixel outside the z-buffer.
void ObjectNormal(int p, const Context *cxt, float n[3]);
// The normalised gradient (s(x-1) - s(x+1), s(y-1) - s(y+1), s(z-1) -
// s(z+1)) of scn at voxel v, with 0 beyond the faces; (0, 0, 0) when it is
// shorter than 0.00001. Error for a voxel outside the scene.
void SceneNormal(int v, const Scene *scn, float n[3]);

// ---- scene slices as colour images ----

// Slice x (ysize x zsize), turned by 180 degrees: voxel (x, y, z) goes to
// pixel (ysize - 1 - y, zsize - 1 - z) of all three planes.
std::unique_ptr<CImage> GetXCSlice(const Scene *scn, int x);
// Slice y (xsize x zsize), turned by 180 degrees.
std::unique_ptr<CImage> GetYCSlice(const Scene *scn, int y);
// Slice z (xsize x ysize) as stored. Each fails for a slice outside the scene.
std::unique_ptr<CImage> GetZCSlice(const Scene *scn, int z);

// Adds the depth code trunc(255 / isize * dist(p)) of the context's
// z-buffer to the blue plane of cimg. Error when the sizes differ.
void FillPlane(CImage *cimg, const Context *cxt);
