// Shape analysis of binary 2D images.
#pragma once

#include <memory>

struct Image;
struct AdjRel;

// Squared Euclidean distance of every pixel to the nearest border pixel of
// the objects (pixels of value 1 with a 4-neighbour that is 0 or outside the
// image), found by spreading displacement vectors over A: positive on object
// pixels, negated on background pixels, 0 on border pixels and on the side
// not asked for (side 0 inside, 1 outside, anything else both). A pixel
// never reached holds 2147483647 (-2147483647 in the background).
std::unique_ptr<Image> SignedDistTrans(const Image *bin, const AdjRel *A, signed char side);
