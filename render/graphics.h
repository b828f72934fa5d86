// Scene drawing: lines with a depth test, the wire frame of the clip box,
// the faces of the volume that face the viewer as grey texture, the same
// cut by a plane, and the objects of a label map cut by a plane.
//
// Projection of a point p given centred on the volume (x - xsize/2, y -
// ysize/2, z - zsize/2): column trunc(R[0].p + R[0][3] + ncols/2), row
// trunc(R[1].p + R[1][3] + nrows/2), depth R[2].p + R[2][3] + ncols/2. The
// frame's lines use ncols/2 for the row too, and lie 5.0 nearer than the
// surfaces at their place.
//
// Grey values are drawn shifted right by the scene's grey shift (the
// halvings that bring its stored maximum to 255 or less). A voxel is on the
// kept side of a plane when (p - c).n >= 0, on its cut face when it is 0.
//
// Nothing is ever drawn outside an image or a z-buffer; an image must have
// the z-buffer's size (Error otherwise), and a context must have been made
// for the scene's size.
#pragma once

#include <memory>

#include "core/cimage.h"
#include "core/image.h"

struct Scene;
struct Context;
struct Plane;
struct ZBuffer;
struct AnnScn;

// ---- lines ----

// Bresenham from (x1, y1) to (x2, y2) along the longer axis (walked in
// increasing order of it), the depth interpolated from d1 to d2. A pixel
// inside the image is drawn when its depth is strictly smaller than the
// z-buffer's: image 255, dist the depth, voxel -1.
void DrawLine(Image *img, int x1, int y1, int x2, int y2, float d1, float d2, ZBuffer *zbuffer);
// The same walk, writing at every step the line pixel and its two
// neighbours across the minor axis, each weighted by its distance a from
// the ideal line (in pixels): intensity trunc(255 (1 - |a| / 1.5)).
void DrawAALine(Image *img, int x1, int y1, int x2, int y2, float d1, float d2,
                ZBuffer *zbuffer);
// One pixel of an antialiased line: w is the pixel's distance from the
// ideal line (in pixels), d its depth. Drawn where d is smaller than the
// z-buffer's dist, with the intensity of DrawAALine. Outside the image
// nothing happens.
void IntensifyPixel(Image *img, int x, int y, float w, float d, ZBuffer *zbuffer);

// ---- frames ----

// The twelve edges of the clip box's frame, value 255, with depth test.
void DrawFrame(Image *img, Context *cxt);
// The same with antialiased lines.
void DrawAAFrame(Image *img, Context *cxt);
// The outline where the plane cuts the frame (segments between the cut
// points that lie on one face), then the whole frame.
void DrawCutFrame(Image *img, Context *cxt, const Plane *pl);

// ---- scenes ----

// The scene sampled on the plane, drawn into img with depth test and
// widened over the kernel's adjacency.
void DrawPlane(const Scene *scn, Context *cxt, const Plane *pl, Image *img);
// The three clip-box faces that face the viewer, then the frame.
std::unique_ptr<Image> DrawScene(const Scene *scn, Context *cxt);
// The plane's section, the cut frame, and the faces on the kept side.
std::unique_ptr<Image> DrawCutScene(const Scene *scn, Context *cxt, const Plane *pl);
// The objects of an annotated scene's label map (non-zero) on the kept
// side of the plane, depth shaded, their cut face in grey, and the frame.
std::unique_ptr<Image> DrawCutObjects(const AnnScn *ascn, Context *cxt, const Plane *pl);
// The objects of a label scene cut by the plane, Phong shaded and tinted
// with the object colours; the cut face in grey (values from scn) and the
// cut frame in all three planes.
std::unique_ptr<CImage> DrawCutObjectsAux(const Scene *scn, const Scene *label, Context *cxt,
                                          const Plane *pl);
