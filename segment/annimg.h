// Annotated images: the 2D counterpart of AnnScn on which the 2D library
// builds its forest operators.
//
// Note the field order: label before pred. Pixel index p = x + tbrow[y].
// The root of a pixel is found by following pred until a pixel points to
// itself.
#pragma once

#include <memory>
#include <vector>

#include "core/adjacency.h"
#include "core/image.h"
#include "core/set.h"

struct AnnImg {
  Image *img = nullptr;          // borrowed
  std::unique_ptr<Image> cost;   // 2147483647 = not reached
  std::unique_ptr<Image> label;
  std::unique_ptr<Image> pred;   // a root points to itself
  std::unique_ptr<Set> seeds;
  // Set only when the annotation keeps its own copy of the image (the
  // script command does, so that freeing the image's handle cannot leave
  // `img` dangling); `img` then points to it.
  std::unique_ptr<Image> ownImage;
};

// pred is every pixel's own index in all modes; cost and label, when given,
// must have img's size (else Error):
//   neither: cost 2147483647, label 0, no seeds;
//   label only: where label > 0 cost 0, the label copied, the pixel a seed;
//     elsewhere cost 2147483647, label 0;
//   cost only: every pixel a seed with its cost copied, labelled by its index;
//   both: labels copied everywhere; where label > 0 the cost copied and the
//     pixel a seed, elsewhere cost 2147483647.
// Seeds are pushed in pixel order, so they leave the set last pixel first.
std::unique_ptr<AnnImg> Annotate(Image *img, const Image *cost, const Image *label);
// The same over a copy of img that the annotation owns.
std::unique_ptr<AnnImg> AnnotateCopy(const Image *img, const Image *cost, const Image *label);
void DeAnnotate(std::unique_ptr<AnnImg> *aimg);

// Pushes p as a seed and stores its cost, label and pred (no comparison).
// Error for a pixel or a predecessor outside the image.
void AddSeed(AnnImg *aimg, int p, int cost, int label, int pred);

// 0 unless p is a root. Otherwise every pixel of p's tree is reset (cost
// 2147483647, label 0, its own predecessor) and every neighbour of those
// pixels (all elements of A, the centre included) inside the image that
// belongs to another tree is pushed as a seed, once; returns 1.
int RemSeed(AnnImg *aimg, const AdjRel *A, int p);

// The root of every pixel.
std::unique_ptr<Image> CompPaths(const Image *pred);
// The root of p.
int Seed(const Image *pred, int p);
// The root of p, with every pixel on the way set to it (path compression).
int SeedComp(Image *img, int p);
// [k, p, pred(p), ..., root], k the number of pixels from p to its root.
std::vector<int> Path(const Image *pred, int p);

// Copies of the maps.
std::unique_ptr<Image> GetCost(const AnnImg *aimg);
std::unique_ptr<Image> GetLabel(const AnnImg *aimg);
std::unique_ptr<Image> GetPred(const AnnImg *aimg);

// Each pixel's own index where label > 0, else -1.
std::unique_ptr<Image> Label2Root(const Image *label);
// label(root(p)) where root(p) is not -1, else 0. Error for a root outside
// the image or sizes that differ.
std::unique_ptr<Image> Root2Label(const Image *root, const Image *label);
