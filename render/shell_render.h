// Object-order renderers of a shell: one front-to-back pass over its
// voxels in the context's traversal order, each voxel placed through the
// shear-warp factorisation of the view (or projected directly), shaded
// from its quantised normal and composited under what lies in front.
//
// Every renderer fails (Error) when the context was not made for the
// shell's size. Images are isize x isize and belong to the caller. The
// colour renderers reset and fill the context's z-buffer; nothing is ever
// read or written outside a buffer.
#pragma once

#include <memory>

#include "core/cimage.h"
#include "core/image.h"

struct Shell;
struct Context;
struct Curve;

// Splatting colour renderer ("3D"): intermediate-image gating, Gaussian
// splat of every voxel into the output, z-buffer of first hits.
std::unique_ptr<CImage> CSWShellRendering(const Shell *shell, Context *cxt);
// Grey member of the same family: hidden objects drawn, no in-row clip,
// z-buffer untouched.
std::unique_ptr<Image> SWShellRendering(const Shell *shell, Context *cxt);
// Grey renderer by direct projection with the rotation (no shear).
std::unique_ptr<Image> ShellRendering(const Shell *shell, Context *cxt);

// Compositing at the resolution of the sheared intermediate image, warped
// afterwards by nearest neighbour: the interactive default.
std::unique_ptr<CImage> ICSWShellRendering(const Shell *shell, Context *cxt);
// What the last ICSWShellRendering on the calling thread went through:
// the shell's voxels, those it can draw (visible, labelled), those the
// traversal visited (their intermediate pixel still open) and those it
// composited.
struct ShellPassCounts {
  long long voxels = 0, drawable = 0, visited = 0, drawn = 0;
};
ShellPassCounts LastICSWCounts();
// Kept for the command table: renders nothing and returns no image.
std::unique_ptr<Image> ISWShellRendering(const Shell *shell, Context *cxt);

// Maximum-intensity projections of a body shell; cs is the grey-level
// curve whose first two points stretch a result above 255.
std::unique_ptr<Image> MIPShell(const Shell *shell, Context *cxt, const Curve *cs);
std::unique_ptr<CImage> CMIPShell(const Shell *shell, Context *cxt, const Curve *cs);
std::unique_ptr<CImage> GMIPShell(const Shell *shell, Context *cxt, const Curve *cs);

// Experimental grey renderers: two-sided lighting of every non-transparent
// voxel, and normal-shaped splat footprints.
std::unique_ptr<Image> DirectVolumeRendering(const Shell *shell, Context *cxt);
std::unique_ptr<Image> EWASWShellRendering(const Shell *shell, Context *cxt);
