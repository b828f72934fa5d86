// Shape analysis of binary 2D images: area, perimeter and centroids per
// object, Euclidean distance transforms by the image foresting transform,
// the skeleton by influence zones, multiscale skeletons, saliences,
// geodesic propagation and the multiscale fractal dimension.
//
// Distances are squared Euclidean distances in pixels. The border pixels of
// a binary image are its pixels of value 1 with a 4-neighbour that is 0 or
// outside the image (the pixels LabelContour labels).
#pragma once

#include <memory>
#include <vector>

#include "core/adjacency.h"
#include "core/curve.h"
#include "core/image.h"
#include "segment/annimg.h"

// ---- measures ----

// Each pixel of value 1 holds the pixel count of its 8-connected component.
std::unique_ptr<Image> Area(Image *bin);
// Each border pixel holds the pixel count of its contour (LabelContour).
std::unique_ptr<Image> Perimeter(Image *bin);
// Each pixel holds the address of the centroid (mean x, mean y, truncated)
// of its 8-connected component; the background counts as one component.
std::unique_ptr<Image> GeomCenter(Image *bin);

// ---- Euclidean propagation on an annotated image ----

// The exact-distance forest from aimg's seeds (the set is emptied): each
// pixel q reached from p takes cost dx^2 + dy^2 of its displacement to p's
// root, p's label and p as predecessor, when that is below its cost. The
// three variants differ only in the queue: a circular bucket queue served
// first in first out (iftDilation) or last in first out (iftFastDilation),
// and a binary heap (iftDilationHeap).
void iftDilation(AnnImg *aimg, AdjRel *A);
void iftFastDilation(AnnImg *aimg, AdjRel *A);
void iftDilationHeap(AnnImg *aimg, AdjRel *A);
// side 0 fixes the background (image 0) at cost 0, side 1 the object pixels
// still unreached, side 2 nothing; then iftDilation; a copy of the costs.
std::unique_ptr<Image> iftDistTrans(AnnImg *aimg, AdjRel *A, signed char side);

// ---- distance transforms of binary images ----

// Squared distance of every pixel to the nearest border pixel over A:
// side 0 inside the objects (background 0), 1 outside (objects 0), any
// other value both; a pixel never reached holds 2147483647.
std::unique_ptr<Image> DistTrans(const Image *bin, const AdjRel *A, signed char side);
// The same with the background negated (-2147483647 where never reached).
std::unique_ptr<Image> SignedDistTrans(const Image *bin, const AdjRel *A, signed char side);

// ---- zones and skeletons ----

// The SKIZ of the contours: side 1 fixes the objects, side 0 the
// background, side 2 neither; 1 on the borders between influence zones.
std::unique_ptr<Image> SKIZ(Image *bin, signed char side);
// Of an annotated image already propagated: 1 at every pixel that is not a
// root and has a 4-neighbour whose label exceeds its own.
std::unique_ptr<Image> CompSKIZ(AnnImg *aimg);
// The multiscale skeleton: at each pixel the (signed) length of contour
// between its root and the root of a 4-neighbour whose contour-pixel number
// is larger (the shorter way round, negative when that is backwards); each
// pair of zones is thus marked on one side only. Pixels between the zones
// of two contours get the largest value plus 1.
std::unique_ptr<Image> MSSkel(Image *bin, signed char side);
std::unique_ptr<Image> CompMSSkel(AnnImg *aimg);
// 1 where |msskel| >= trunc(perc * max|msskel| / 100), else 0.
std::unique_ptr<Image> Skeleton(Image *msskel, float perc);

// ---- saliences ----

// One point per contour pixel label l (index l - 1): its root's (x, y) and
// the salience of its zone's pixels within maxcost: a convex point's zone
// spreads mostly outside the object, s = +outside count; a concave point's
// mostly inside, s = -inside count; 0 on a tie.
std::unique_ptr<Curve3D> CompSaliences(AnnImg *aimg, int maxcost);
std::unique_ptr<Curve3D> Saliences(Image *bin, int maxdist);
// The points whose bend is at least angle degrees: the zone of a corner
// that turns the contour by b degrees is a wedge of b degrees beyond it, so
// a salience covering the fraction a of the disc of the radius bends by
// 360 a. Points of salience 0 go too.
std::unique_ptr<Curve3D> RemSaliencesByAngle(Curve3D *curve, float radius, float angle);
// The ends (s > 0, the branch length walked, up to maxdist pixels) and
// junctions (s = -branches) of a skeleton (pixels above 0); an end is kept
// only when its branch turns by at most angle degrees between its first
// and second halves.
std::unique_ptr<Curve3D> SkelSaliences(Image *skel, int maxdist, float angle);
// Contour saliences bending by at least angle; convex ones are kept only
// within 2 sqrt(maxdist) + 1 of the skeleton Skeleton(MSSkel(bin, 0),
// threshold).
std::unique_ptr<Curve3D> ContSaliences(Image *bin, int maxdist, float threshold, float angle);
// For each salience of ContSaliences (convex for side 0, concave for any
// other side) the nearest pixel of Skeleton(MSSkel(bin, side), threshold),
// with the salience as z.
std::unique_ptr<Curve3D> SkelCont(Image *bin, int maxdist, float threshold, float angle,
                                  signed char side);
// A copy of bin with a disc of radius 2 at each salience inside the image:
// 2 for convex points, 3 for concave ones.
std::unique_ptr<Image> PaintSaliences(Image *bin, Curve3D *curve);
// A copy of skel with discs at SkelSaliences(skel, 25, angle).
std::unique_ptr<Image> PaintSkelSaliences(Image *skel, float angle);
// The branches of a skeleton (pixels above 0 without its junctions, which
// have three or more 8-neighbours), labelled by 8-connected components;
// option 0 keeps every branch, any other option only those that hold or
// touch a point of curve (relabelled 1, 2, ...).
std::unique_ptr<Image> LabelSkel(Image *skel, Curve3D *curve, int option);

// ---- geodesic propagation ----

// Grows the seeds of aimg inside the object (image non-zero) with costs 10
// per axis step and 14 per diagonal step over the 8-neighbourhood, until a
// pixel leaving the queue touches a pixel of another label: returns that
// pixel, or -1 when the zones never meet.
int iftGeoDilation(AnnImg *aimg);
// The cost of iftGeoDilation's pixel, or 2147483647 for -1.
int iftGeoDist(AnnImg *aimg);
// The path of iftGeoDilation's pixel, empty for -1.
std::vector<int> iftGeoPath(AnnImg *aimg);

// ---- fractal dimension ----

// The contour dilated up to maxdist (a squared distance) by iftFastDilation;
// the experimental curve (log r, log area(r)) for r = 1 .. sqrt(maxdist);
// a polynomial of the degree fitted between lower and higher; 2 minus its
// derivative sampled at 100 points from `from` to `to`. When reg is not 0
// the experimental and fitted curves are written to "experimental" and
// "regression".
std::unique_ptr<Curve> MSFractal(Image *bin, int maxdist, int degree, double lower,
                                 double higher, int reg, double from, double to);
