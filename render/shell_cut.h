// Cut rendering: the clip-box faces that face the viewer, and a cut plane,
// painted with the grey values found there (the shell's body values or the
// scene associated with an object shell), windowed with a grey-level
// curve, tinted with the object colours, and the rest of the shell
// composited over them.
//
// A face pixel is opaque: its output transparency becomes 0 and the
// context's z-buffer records the face voxel, its label and its distance.
// Every operation fails (Error) when the context was not made for the
// shell's size, when the curve has fewer than two points, or when a buffer
// given by the caller has the wrong size.
#pragma once

#include <memory>

#include "core/cimage.h"
#include "core/image.h"

struct Shell;
struct Context;
struct Curve;
struct FBuffer;
struct Plane;
struct Scene;

// ---- renderers ----

std::unique_ptr<CImage> CSWShellRenderingCut(const Shell *shell, Context *cxt, const Curve *cs);
std::unique_ptr<CImage> FastCSWShellRenderingCut(const Shell *shell, Context *cxt,
                                                 const Curve *cs);
std::unique_ptr<CImage> CSWShellRenderingCutPlane(const Shell *shell, Context *cxt,
                                                  const Curve *cs, const Plane *pl);
std::unique_ptr<Image> SWShellRenderingCut(const Shell *shell, Context *cxt, const Curve *cs);
// Three grey views at spin -5, 0 and +5 degrees in the bands of one colour
// image; the context ends at its starting orientation.
std::unique_ptr<CImage> CSWShellRenderingStereo(const Shell *shell, Context *cxt,
                                                const Curve *cs);

// ---- face drawers ----
// img is the grey face image (isize x isize); shear is the intermediate
// transparency (iwidth x iheight), warp and cumopac the output
// transparency (isize x isize); axis is 'x', 'y' or 'z'.

void SWShellRenderingDrawCut(Image *img, const Shell *shell, Context *cxt, FBuffer *shear,
                             FBuffer *warp, char axis);
void SWShellRenderingDrawSceneCut(Image *img, const Shell *shell, Context *cxt, FBuffer *shear,
                                  FBuffer *warp, char axis);
void ISWShellRenderingDrawSceneCut(Image *img, const Shell *shell, Context *cxt, FBuffer *shear,
                                   FBuffer *warp);
void ShellRenderingDrawCut(Image *img, const Shell *shell, Context *cxt, FBuffer *cumopac,
                           char axis);
void ShellRenderingDrawSceneCut(Image *img, const Shell *shell, Context *cxt, FBuffer *cumopac,
                                char axis);
void ShellRenderingDrawCutPlane(Image *img, const Shell *shell, Context *cxt, FBuffer *cumopac);
void ShellRenderingDrawSceneCutPlane(Image *img, const Shell *shell, Context *cxt,
                                     FBuffer *cumopac);
std::unique_ptr<Image> ShellRenderingDrawObjectCut(const Shell *shell, Context *cxt, char axis);
void RaycastSceneCut(Image *img, const Scene *scn, Context *cxt, FBuffer *cumopac);
