// Grey-scale reconstructions and the watershed propagation of an annotated
// image, by the image foresting transform over a bucket queue.
#pragma once

#include <memory>

#include "core/adjacency.h"
#include "core/image.h"
#include "segment/annimg.h"

// Reconstruction by dilation of marker under img (marker <= img): the
// marker's values spread from higher to lower pixels over A, each capped by
// img. Error for sizes that differ or a value range beyond 2^24 levels.
std::unique_ptr<Image> InfRec(const Image *img, const Image *marker, const AdjRel *A);
// Reconstruction by erosion of marker above img (marker >= img): the dual.
std::unique_ptr<Image> SupRec(const Image *img, const Image *marker, const AdjRel *A);

// The max-arc forest from the seeds of aimg (the seed set is emptied): a
// pixel q is offered max(I(q), C(p)) by each neighbour p leaving the queue
// and takes it, with p's label and p as predecessor, when it is lower than
// its cost, or when p already is its predecessor and the offer changes its
// cost or label (so a change spreads down an existing tree; an offer that
// changes nothing is not queued again, which keeps plateaus finite).
// Error for negative pixel values or seed costs, or more than 2^24 levels.
void iftBasins(AnnImg *aimg, const AdjRel *A);
