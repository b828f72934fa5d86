// Segmentation of 2D images: thresholds, connected components, regional
// extrema and h-domes, watersheds on the image foresting transform (the
// max-arc path cost), the differential watershed of an annotated image,
// live-wire paths, optimum-path trees and contour labels.
//
// Positions given by the caller (pixel addresses, paths, points) are
// checked: one outside the image fails with a message naming it, except
// where a point is documented to be skipped. Operations of two images fail
// unless the sizes agree; operations that file pixels in a bucket per value
// fail for negative values or more than 2^24 levels.
#pragma once

#include <memory>
#include <vector>

#include "core/adjacency.h"
#include "core/cimage.h"
#include "core/curve.h"
#include "core/image.h"
#include "segment/annimg.h"

// ---- thresholds and labels ----

// 1 where lower <= value <= higher, else 0.
std::unique_ptr<Image> Threshold(Image *img, int lower, int higher);
// The level where the histogram's slope drops most sharply (the first on
// ties), 0 when no level does.
int AutoThreshold(Image *img);
// A copy of bin with every pixel equal to 1 set to value.
std::unique_ptr<Image> Paint(Image *bin, int value);
// Components over A of the pixels whose neighbours differ by at most thres,
// labelled 1, 2, ... in raster order of their first pixel.
std::unique_ptr<Image> LabelComp(Image *img, AdjRel *A, int thres);
// The same for the pixels equal to 1; the others are 0.
std::unique_ptr<Image> LabelBinComp(Image *bin, AdjRel *A);
// A copy of img with value at every pixel whose label exceeds that of one
// of its 4-neighbours inside the image.
std::unique_ptr<Image> Highlight(Image *img, Image *label, int value);
std::unique_ptr<CImage> CHighlight(CImage *cimg, Image *label, int R, int G, int B);

// ---- extrema and domes ----

// 1 at the regional minima (maxima): the pixels never reached by a path
// that does not ascend (descend) from a lower (higher) level. On a plateau
// the first pixel the queue serves is marked, the rest are reached from it.
std::unique_ptr<Image> RegMin(Image *img, AdjRel *A);
std::unique_ptr<Image> RegMax(Image *img, AdjRel *A);
// 1 where img - InfRec(img, Sub(img, H)) >= 1 (domes of height H), and
// where SupRec(img, Add(img, H)) - img >= 1 (basins of depth H).
std::unique_ptr<Image> HDomes(Image *img, AdjRel *A, int H);
std::unique_ptr<Image> HBasins(Image *img, AdjRel *A, int H);
// The labels of seed spread over the domes (basins) reached from each
// seeded pixel at level I - H (I + H), held to 0 .. max(img).
std::unique_ptr<Image> SelectHDomes(Image *img, Image *seed, AdjRel *A, int H);
std::unique_ptr<Image> SelectHBasins(Image *img, Image *seed, AdjRel *A, int H);

// ---- watersheds ----

// iftBasins from aimg's seeds; a copy of its label map. IncWater is the
// same propagation of newly added seeds over an existing forest.
std::unique_ptr<Image> iftWatershed(AnnImg *aimg, AdjRel *A);
std::unique_ptr<Image> IncWater(AnnImg *aimg, AdjRel *A);
// Removes the trees of the seed set's pixels (each seed names a pixel of
// the tree to remove) and regrows the forest from the roots that remain,
// so that the labels are those a fresh watershed from the remaining seeds
// gives. An empty seed set leaves the maps as they are.
std::unique_ptr<Image> DecWater(AnnImg *aimg, AdjRel *A);
// From a label image of markers (labels > 0 are seeds of cost 0).
std::unique_ptr<Image> WaterLabel(Image *img, Image *label, AdjRel *A);
// From a binary marker image: each connected marker gets its own label,
// 1, 2, ... in the order the queue reaches them.
std::unique_ptr<Image> WaterBin(Image *img, Image *bin, AdjRel *A);
// From a grey marker: one label per regional minimum of the marker.
std::unique_ptr<Image> WaterGray(Image *img, Image *marker, AdjRel *A);
// WaterGray with the marker held to at most the image's maximum.
std::unique_ptr<Image> WaterMax(Image *img, Image *marker, AdjRel *A);

// ---- live wire ----

// The optimum path (additive cost, C(q) = C(p) + I(q)) from src to dst:
// [n, dst, pred(dst), ..., root]. The forest grows only as far as dst and
// the pixels still queued go back into the seed set, so the next call
// continues it; a dst already reached returns at once.
std::vector<int> iftFindEdge(AnnImg *aimg, AdjRel *A, int src, int dst);
// The same, a step admitted only when the orientation image is at least as
// large on the step's left side as on its right (orient > 0), at most as
// large (orient < 0), or always (orient = 0); sides outside the image do not
// restrict.
std::vector<int> iftFindOEdge(AnnImg *aimg, AdjRel *A, Image *oimg, int orient, int src,
                              int dst);
// Cuts the path of dst back to its pixel nearest to src (an address) and
// returns the path of that pixel; the cut pixels and every pixel left
// without a reached root are reset.
std::vector<int> CutPath(AnnImg *aimg, int src, int dst);
// Fixes the path edge ([n, p1, ..., pn]) as part of the contour and returns
// p1, the new source. Every other pixel is reset and the seed set emptied.
int AcceptEdge(AnnImg *aimg, const std::vector<int> &edge);

// ---- annotated images and trees ----

// 1 at the pixels that are their own predecessor.
std::unique_ptr<Image> GetRoot(AnnImg *aimg);
std::unique_ptr<Image> GetSKIZ(AnnImg *aimg);
// The roots labelled by 8-connected components, with the SKIZ painted one
// above the last label.
std::unique_ptr<Image> GetMarker(AnnImg *aimg);
// The predecessor map of the max-arc forest over the 4-neighbourhood from
// the points of pts (x, y truncated; points outside are skipped).
std::unique_ptr<Image> TreeComputing(Image *grad, Curve *pts);
// Every pixel's subtree size, itself included. Error for a predecessor
// outside the image or a cycle.
std::unique_ptr<Image> TreeCounting(Image *pred);
// nsons at every pixel whose path to its root meets a point of pts (the
// branches the points cut off), 0 elsewhere.
std::unique_ptr<Image> TreePruning(Image *nsons, Image *pred, Curve *pts);
// For every pixel i the file "nsons<i>.txt" with the subtree sizes along
// its path to the root, one a line.
void WriteNSons(Image *nsons, Image *pred);

// ---- contours ----

// 1 when p is an object pixel (value 1) with background or the outside on
// the right side (R) of one of the steps around it while the left side (L)
// is object, or, for a pixel with no object on any left side (a lone pixel,
// a line one pixel wide), background on some right side.
int ValidContPoint(Image *bin, AdjRel *L, AdjRel *R, int p);
// Contours of a binary image: its border pixels (value 1 with a
// 4-neighbour that is 0 or outside), walked depth first over the
// 8-neighbourhood from the first untraced one in raster order, preferring
// steps that keep the object on their left. LabelContour gives each contour
// one label, LabelContPixel numbers the pixels consecutively along the walk
// (contour after contour, from 1).
std::unique_ptr<Image> LabelContour(Image *bin);
std::unique_ptr<Image> LabelContPixel(Image *bin);

// Clusters of grey values: the modes of the histogram (levels that hold at
// least Co pixels and the most within Ao levels either side) grow over the
// levels by a max-arc watershed of the inverted histogram; pixels are then
// labelled by components over A of equal cluster.
std::unique_ptr<Image> Clustering(Image *img, AdjRel *A, int Co, int Ao);
