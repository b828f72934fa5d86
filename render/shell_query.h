// What the slice views and the 3D view ask of a shell besides its
// rendering: the value under the pointer, displayable slices (labels in
// the objects' colours, over the grey levels where there are any), a
// preview of a classification, and the object under the pointer drawn
// highlighted or outlined in a copy of the last rendering.
//
// Slices are numbered across axis 'x', 'y' or 'z' and have the sizes of
// the label slices of render/shell.h; a slice number outside the shell
// fails. Operations that read the shell's associated scene read it as they
// find it: the caller makes sure it still lives.
#pragma once

#include <memory>

#include "core/cimage.h"
#include "core/image.h"

struct Context;
struct Curve;
struct Shell;

// ---- values at a voxel (-1 where there is none) ----

// Body shell: the body value of the voxel at (x, y, z). Object shell: the
// associated scene's value there, -1 without a scene or outside it.
int ShellValue(const Shell *shell, int x, int y, int z);
// Body shell: the voxel's gradient magnitude. Object shell: -1.
int ShellGradient(const Shell *shell, int x, int y, int z);

// ---- displayable slices ----
//
// The label slice, and:
//   object shell, no scene: without a context the labels as grey, with
//     one the filled labels (FillSlice) in the objects' colours;
//   object shell with a scene: the scene's slice through the window, as
//     grey without a context, with the filled labels blended over it
//     (OverlaySlice) with one;
//   body shell: the opacity-weighted value slice through the window, with
//     the (unfilled) labels blended over it when there is a context.
// The window is (f1, f2) -> (g1, g2) from the truncated x and y of the
// curve's first two points (Error for a curve of fewer), or without a
// curve 0 .. maximum -> 0 .. 255, the maximum being the scene's stored
// maxval or the shell's maximum field. cxt and window may be null.
std::unique_ptr<CImage> ShellSliceImage(const Shell *shell, const Context *cxt, char axis, int n,
                                        const Curve *window);

// ---- classification preview ----
//
// Body shells only (Error for an object shell). An image of cimg's size,
// black but at the voxels of the slice, which are grey: 255 times the
// density curve at |value| times the gradient curve at the gradient
// magnitude, each product truncated and held to [0, 255]. A curve is
// resampled at unit steps (which sorts it by x) and read at entry |f|, its
// last entry past its end; a null curve is skipped. Voxels whose pixel
// lies outside cimg are left out.
std::unique_ptr<CImage> PreviewShellSlice(const Shell *shell, const CImage *cimg, char axis, int n,
                                          Curve *density, Curve *gradient);

// ---- the object under the pointer ----
//
// Both take obj modulo 256 and return null for object 0 (before looking at
// anything else); otherwise a copy of img, which must have the size of the
// context's z-buffer (Error otherwise), changed where the z-buffer's
// object is obj.

// Each band b there := trunc(3b / 4) + 64.
std::unique_ptr<CImage> HighlightObject(const Context *cxt, const CImage *img, int obj);
// White (255, 255, 255) at the pixels of obj that have a 4-neighbour in the
// image whose object differs.
std::unique_ptr<CImage> ContourObject(const Context *cxt, const CImage *img, int obj);
