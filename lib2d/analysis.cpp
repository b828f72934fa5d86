#include "lib2d/analysis.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/heap.h"
#include "core/queue.h"
#include "lib2d/mathematics.h"
#include "lib2d/neighbours.h"
#include "lib2d/polynom.h"
#include "lib2d/segmentation.h"
#include "segment/distprop.h"

// ---- measures ----

namespace {

constexpr double kPi = 3.14159265358979323846;

// A coordinate of a curve point as a pixel coordinate (-1 for one that is
// not finite or lies beyond the int range, which no image holds).
int TruncCoord(double v) {
  if (!(v >= 0.0 && v < 2147483647.0)) return -1;
  return static_cast<int>(v);
}

std::unique_ptr<Image> Components8(Image *bin) {
  auto A = Circular(1.5f);
  return LabelBinComp(bin, A.get());
}

std::vector<long long> LabelCounts(const Image *label) {
  std::vector<long long> count(std::max(MaximumValue(label), 0) + 1, 0);
  for (int l : label->val)
    if (l >= 0) count[l]++;
  return count;
}

// Each pixel of a label above 0 gets its label's pixel count.
std::unique_ptr<Image> CountPerLabel(const Image *label) {
  std::vector<long long> count = LabelCounts(label);
  auto out = CreateImage(label->ncols, label->nrows);
  for (size_t p = 0; p < label->val.size(); p++) {
    int l = label->val[p];
    if (l > 0) out->val[p] = static_cast<int>(count[l]);
  }
  return out;
}

}  // namespace

std::unique_ptr<Image> Area(Image *bin) {
  auto label = Components8(bin);
  return CountPerLabel(label.get());
}

std::unique_ptr<Image> Perimeter(Image *bin) {
  auto label = LabelContour(bin);
  return CountPerLabel(label.get());
}

std::unique_ptr<Image> GeomCenter(Image *bin) {
  auto label = Components8(bin);
  const int nl = MaximumValue(label.get()) + 1;
  std::vector<double> sx(nl, 0.0), sy(nl, 0.0), count(nl, 0.0);
  for (int y = 0; y < bin->nrows; y++)
    for (int x = 0; x < bin->ncols; x++) {
      int l = label->at(x, y);
      sx[l] += x;
      sy[l] += y;
      count[l] += 1.0;
    }
  auto out = CreateImage(bin->ncols, bin->nrows);
  for (size_t p = 0; p < out->val.size(); p++) {
    int l = label->val[p];
    int cx = static_cast<int>(sx[l] / count[l]), cy = static_cast<int>(sy[l] / count[l]);
    out->val[p] = cx + bin->tbrow[cy];
  }
  return out;
}

// ---- Euclidean propagation on an annotated image ----

namespace {

enum class Order { kFifo, kLifo, kHeap };

void EuclideanDilation(AnnImg *aimg, const AdjRel *A, Order order) {
  const Image *img = aimg->img;
  const int nc = img->ncols, nr = img->nrows, n = static_cast<int>(img->val.size());
  int *C = aimg->cost->val.data();
  int *L = aimg->label->val.data();
  int *P = aimg->pred->val.data();
  std::vector<int> Dx(n, 0), Dy(n, 0);
  const Neighbours N(img, A);
  const long long F = N.frame;
  const int nb = static_cast<int>(std::clamp<long long>(2 * F * (F + nc + nr), 1, kMaxLevels));
  std::unique_ptr<Queue> Q;
  std::unique_ptr<Heap> H;
  if (order == Order::kHeap) {
    H = CreateHeap(n, C);
  } else {
    Q = CreateQueue(nb, n);
    Q->tiebreak = order == Order::kLifo ? LIFO : FIFO;
  }
  auto state = [&](int q) { return H ? H->color[q] : Q->elem[q].color; };
  for (int s; (s = RemoveSet(&aimg->seeds)) != -1;) {
    CheckPixelIndex(img, s, "iftDilation");
    if (C[s] < 0 || C[s] == kImageInfinity || state(s) == GRAY) continue;
    if (H)
      InsertHeap(H.get(), s);
    else
      InsertQueue(Q.get(), C[s] % nb, s);
  }
  for (;;) {
    int p;
    if (H) {
      if (!RemoveHeap(H.get(), &p)) break;
    } else if ((p = RemoveQueue(Q.get())) == -1) {
      break;
    }
    const int px = p % nc, py = p / nc;
    N.ForEach(p, [&](int q) {
      if (state(q) == BLACK) return;
      const long long dx = std::abs(q % nc - px) + static_cast<long long>(Dx[p]);
      const long long dy = std::abs(q / nc - py) + static_cast<long long>(Dy[p]);
      const long long c = dx * dx + dy * dy;
      if (c >= C[q]) return;
      const bool queued = state(q) == GRAY;
      const int old = C[q];
      C[q] = static_cast<int>(c);
      P[q] = p;
      L[q] = L[p];
      Dx[q] = static_cast<int>(dx);
      Dy[q] = static_cast<int>(dy);
      if (H) {
        if (queued)
          GoUp(H.get(), H->pos[q]);
        else
          InsertHeap(H.get(), q);
      } else if (queued) {
        UpdateQueue(Q.get(), q, old % nb, C[q] % nb);
      } else {
        InsertQueue(Q.get(), C[q] % nb, q);
      }
    });
  }
}

}  // namespace

void iftDilation(AnnImg *aimg, AdjRel *A) { EuclideanDilation(aimg, A, Order::kFifo); }
void iftFastDilation(AnnImg *aimg, AdjRel *A) { EuclideanDilation(aimg, A, Order::kLifo); }
void iftDilationHeap(AnnImg *aimg, AdjRel *A) { EuclideanDilation(aimg, A, Order::kHeap); }

std::unique_ptr<Image> iftDistTrans(AnnImg *aimg, AdjRel *A, signed char side) {
  const Image *img = aimg->img;
  for (size_t p = 0; p < img->val.size(); p++) {
    int &c = aimg->cost->val[p];
    if (side == 0 && img->val[p] == 0) c = 0;
    if (side == 1 && img->val[p] != 0 && c == kImageInfinity) c = 0;
  }
  iftDilation(aimg, A);
  return GetCost(aimg);
}

// ---- distance transforms of binary images ----

namespace {

// The unsigned distances of DistTrans, by the displacement engine shared
// with the 3D transforms, on a single framed plane (every displacement has
// dz = 0). Pixels of other non-zero values count as object but never seed.
std::unique_ptr<Image> ContourDistances(const Image *bin, const AdjRel *A, signed char side,
                                        const char *func) {
  // Framed by the relation's reach, rows and columns padded further to
  // multiples of 4 so that the engine may keep the costs in 4 x 4 tiles.
  const int d = FrameSize(A);
  const long long fc = (bin->ncols + 2LL * d + 3) / 4 * 4, fr = (bin->nrows + 2LL * d + 3) / 4 * 4;
  const int nframed = CheckedVoxelCount(fc, fr, 1, func);
  const int fcols = static_cast<int>(fc);
  auto framed = [&](int x, int y) { return (x + d) + fcols * (y + d); };

  Propagation pr;
  LargeVector<int> cost(nframed, kBlocked);  // 4 bytes/framed pixel
  const int nc = bin->ncols, nr = bin->nrows;
  for (int y = 0; y < nr; y++) {
    const int *v = bin->val.data() + bin->tbrow[y];
    int *K = cost.data() + framed(0, y);
    for (int x = 0; x < nc; x++) {
      const int *p = v + x;
      bool seed = *p == 1 && (x == 0 || x == nc - 1 || y == 0 || y == nr - 1 || p[-1] == 0 ||
                              p[1] == 0 || p[-nc] == 0 || p[nc] == 0);
      if (seed) {
        K[x] = 0;
        pr.seeds.push_back(framed(x, y));
      } else if (side == 1) {
        K[x] = *p == 0 ? kUnreached : kBlocked;
      } else if (side == 0) {
        K[x] = *p == 0 ? kBlocked : kUnreached;
      } else {
        K[x] = kUnreached;
      }
    }
  }

  Image shape;  // only its width: the offsets are those of the framed plane
  shape.ncols = fcols;
  shape.nrows = static_cast<int>(fr);
  auto adj = AdjPixels(&shape, A);
  pr.offset = adj->dp;
  pr.ax.resize(A->n);
  pr.ay.resize(A->n);
  pr.az.assign(A->n, 0);
  for (int i = 0; i < A->n; i++) {
    pr.ax[i] = std::abs(A->dx[i]);
    pr.ay[i] = std::abs(A->dy[i]);
  }
  pr.cost = cost.data();
  pr.nvoxels = nframed;
  long long b = 2LL * d * (d + static_cast<long long>(nc) + nr);
  pr.nbuckets = static_cast<int>(std::min<long long>(std::max<long long>(b, 1), INT_MAX));
  pr.largestSide = std::max(nc, nr);
  pr.dx = A->dx;
  pr.fx = fcols;
  pr.fy = static_cast<int>(fr);
  PropagateDisplacements(pr);

  auto out = CreateImage(nc, nr);
  for (int y = 0; y < nr; y++) {
    const int *K = cost.data() + framed(0, y);
    int *o = out->val.data() + out->tbrow[y];
    for (int x = 0; x < nc; x++) o[x] = K[x] == kBlocked ? 0 : K[x];
  }
  return out;
}

}  // namespace

std::unique_ptr<Image> DistTrans(const Image *bin, const AdjRel *A, signed char side) {
  return ContourDistances(bin, A, side, "DistTrans");
}

std::unique_ptr<Image> SignedDistTrans(const Image *bin, const AdjRel *A, signed char side) {
  auto out = ContourDistances(bin, A, side, "SignedDistTrans");
  for (size_t p = 0; p < out->val.size(); p++)
    if (bin->val[p] == 0) out->val[p] = -out->val[p];
  return out;
}

// ---- zones and skeletons ----

namespace {

// The contour labels as seeds of cost 0, one side fixed, propagated over
// the 8-neighbourhood.
std::unique_ptr<AnnImg> PropagatedContours(Image *bin, const Image *labels, signed char side) {
  auto aimg = Annotate(bin, nullptr, labels);
  for (size_t p = 0; p < bin->val.size(); p++) {
    if (labels->val[p] > 0) continue;
    const bool object = bin->val[p] != 0;
    if ((side == 1 && object) || (side == 0 && !object)) aimg->cost->val[p] = 0;
  }
  auto A = Circular(1.5f);
  iftDilation(aimg.get(), A.get());
  return aimg;
}

}  // namespace

std::unique_ptr<Image> SKIZ(Image *bin, signed char side) {
  auto labels = LabelContour(bin);
  auto aimg = PropagatedContours(bin, labels.get(), side);
  return CompSKIZ(aimg.get());
}

std::unique_ptr<Image> CompSKIZ(AnnImg *aimg) {
  const Image *label = aimg->label.get();
  const int nc = label->ncols, nr = label->nrows;
  auto out = CreateImage(nc, nr);
  for (int y = 0; y < nr; y++)
    for (int x = 0; x < nc; x++) {
      const int p = x + label->tbrow[y];
      if (aimg->pred->val[p] == p) continue;
      const long long l = label->val[p];
      out->val[p] = (x > 0 && label->at(x - 1, y) >= l + 1) ||
                    (y > 0 && label->at(x, y - 1) >= l + 1) ||
                    (x + 1 < nc && label->at(x + 1, y) >= l + 1) ||
                    (y + 1 < nr && label->at(x, y + 1) >= l + 1);
    }
  return out;
}

std::unique_ptr<Image> MSSkel(Image *bin, signed char side) {
  auto labels = LabelContPixel(bin);
  auto aimg = PropagatedContours(bin, labels.get(), side);
  return CompMSSkel(aimg.get());
}

std::unique_ptr<Image> CompMSSkel(AnnImg *aimg) {
  Image *img = aimg->img;
  const Image *label = aimg->label.get();
  const int nc = img->ncols, nr = img->nrows, n = static_cast<int>(img->val.size());
  auto root = CompPaths(aimg->pred.get());
  auto contour = LabelContour(img);
  std::vector<long long> length = LabelCounts(contour.get());
  auto out = CreateImage(nc, nr);
  std::vector<char> between(n, 0);
  long long largest = 0;
  const int dx[4] = {-1, 0, 1, 0}, dy[4] = {0, -1, 0, 1};
  for (int y = 0; y < nr; y++)
    for (int x = 0; x < nc; x++) {
      const int p = x + img->tbrow[y];
      const int rp = root->val[p];
      if (rp == p) continue;
      const int cp = contour->val[rp];
      long long best = LLONG_MIN;
      for (int k = 0; k < 4; k++) {
        const int qx = x + dx[k], qy = y + dy[k];
        if (!img->Valid(qx, qy)) continue;
        const int q = qx + img->tbrow[qy];
        const int cq = contour->val[root->val[q]];
        if (cp > 0 && cq == cp) {
          const long long d = 1LL * label->val[q] - label->val[p];
          if (d <= 0) continue;  // the pair counts once, on the side of the smaller number
          const long long d2 = length[cp] - d;
          const long long candidate = d <= d2 ? d : -d2;
          if (best == LLONG_MIN || std::llabs(candidate) > std::llabs(best)) best = candidate;
        } else if (cq > cp) {
          between[p] = 1;
        }
      }
      if (!between[p] && best != LLONG_MIN) {
        out->val[p] = SaturateToInt(best);
        largest = std::max(largest, std::llabs(best));
      }
    }
  const int top = SaturateToInt(largest + 1);
  for (int p = 0; p < n; p++)
    if (between[p]) out->val[p] = top;
  return out;
}

std::unique_ptr<Image> Skeleton(Image *msskel, float perc) {
  long long m = 0;
  for (int v : msskel->val) m = std::max(m, std::llabs(static_cast<long long>(v)));
  const double limit = static_cast<double>(perc) * static_cast<double>(m) / 100.0;
  const long long t = std::isfinite(limit) ? static_cast<long long>(limit) : LLONG_MAX;
  auto out = CreateImage(msskel->ncols, msskel->nrows);
  for (size_t p = 0; p < out->val.size(); p++)
    out->val[p] = std::llabs(static_cast<long long>(msskel->val[p])) >= t;
  return out;
}

// ---- saliences ----

std::unique_ptr<Curve3D> CompSaliences(AnnImg *aimg, int maxcost) {
  const Image *img = aimg->img;
  const int nc = img->ncols, n = static_cast<int>(img->val.size());
  const int nl = std::max(MaximumValue(aimg->label.get()), 0);
  std::vector<long long> inside(nl + 1, 0), outside(nl + 1, 0);
  for (int p = 0; p < n; p++) {
    const int l = aimg->label->val[p];
    if (l <= 0 || aimg->cost->val[p] > maxcost) continue;
    (img->val[p] != 0 ? inside : outside)[l]++;
  }
  auto curve = CreateCurve3D(nl);
  for (int p = 0; p < n; p++) {
    const int l = aimg->label->val[p];
    if (l <= 0 || aimg->pred->val[p] != p) continue;
    curve->X[l - 1] = p % nc;
    curve->Y[l - 1] = p / nc;
    curve->Z[l - 1] = outside[l] > inside[l]   ? static_cast<double>(outside[l])
                      : inside[l] > outside[l] ? -static_cast<double>(inside[l])
                                               : 0.0;
  }
  return curve;
}

std::unique_ptr<Curve3D> Saliences(Image *bin, int maxdist) {
  auto labels = LabelContPixel(bin);
  auto aimg = PropagatedContours(bin, labels.get(), 2);
  return CompSaliences(aimg.get(), maxdist);
}

namespace {

std::unique_ptr<Curve3D> KeepPoints(const Curve3D *c, const std::vector<char> &keep) {
  int n = 0;
  for (char k : keep) n += k;
  auto out = CreateCurve3D(n);
  for (int i = 0, j = 0; i < c->n; i++)
    if (keep[i]) {
      out->X[j] = c->X[i];
      out->Y[j] = c->Y[i];
      out->Z[j] = c->Z[i];
      j++;
    }
  return out;
}

double RootOfCost(int maxdist) { return std::sqrt(std::max(0.0, static_cast<double>(maxdist))); }

}  // namespace

std::unique_ptr<Curve3D> RemSaliencesByAngle(Curve3D *curve, float radius, float angle) {
  const double disc = kPi * static_cast<double>(radius) * radius;
  std::vector<char> keep(curve->n, 0);
  for (int i = 0; i < curve->n; i++) {
    const double z = curve->Z[i];
    if (z == 0.0 || !(disc > 0.0)) continue;
    const double a = std::min(std::fabs(z) / disc, 1.0);
    keep[i] = 360.0 * a >= angle;
  }
  return KeepPoints(curve, keep);
}

std::unique_ptr<Curve3D> SkelSaliences(Image *skel, int maxdist, float angle) {
  const int nc = skel->ncols, nr = skel->nrows;
  auto on = [&](int x, int y) { return skel->Valid(x, y) && skel->at(x, y) > 0; };
  auto count = [&](int x, int y) {
    int k = 0;
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++) k += (dx || dy) && on(x + dx, y + dy);
    return k;
  };
  std::vector<double> X, Y, Z;
  const int steps = std::clamp(maxdist, 1, nc + nr);
  std::vector<int> walked;
  for (int y = 0; y < nr; y++)
    for (int x = 0; x < nc; x++) {
      if (!on(x, y)) continue;
      const int k = count(x, y);
      if (k >= 3) {
        X.push_back(x), Y.push_back(y), Z.push_back(-k);
        continue;
      }
      if (k != 1) continue;
      // Walk the branch from its end while it stays a simple line.
      walked.assign(1, x + skel->tbrow[y]);
      int cx = x, cy = y;
      for (int s = 0; s < steps; s++) {
        int next = -1;
        for (int dy = -1; dy <= 1 && next < 0; dy++)
          for (int dx = -1; dx <= 1 && next < 0; dx++) {
            const int qx = cx + dx, qy = cy + dy;
            if ((dx || dy) && on(qx, qy) &&
                std::find(walked.begin(), walked.end(), qx + skel->tbrow[qy]) == walked.end())
              next = qx + skel->tbrow[qy];
          }
        if (next < 0) break;
        cx = next % nc;
        cy = next / nc;
        walked.push_back(next);
        if (count(cx, cy) >= 3) break;
      }
      const size_t m = walked.size();
      if (m >= 3) {
        const int e = walked[0], h = walked[m / 2], b = walked[m - 1];
        const double ux = h % nc - e % nc, uy = h / nc - e / nc;
        const double vx = b % nc - h % nc, vy = b / nc - h / nc;
        const double turn =
            std::fabs(std::atan2(ux * vy - uy * vx, ux * vx + uy * vy)) * 180.0 / kPi;
        if (turn > angle) continue;
      }
      X.push_back(x), Y.push_back(y), Z.push_back(static_cast<double>(m));
    }
  auto out = CreateCurve3D(static_cast<int>(X.size()));
  out->X = X;
  out->Y = Y;
  out->Z = Z;
  return out;
}

namespace {

std::vector<int> PixelsOf(const Image *bin) {
  std::vector<int> on;
  for (size_t p = 0; p < bin->val.size(); p++)
    if (bin->val[p] > 0) on.push_back(static_cast<int>(p));
  return on;
}

// The pixel of `pixels` nearest to (x, y) and its squared distance, or -1.
int Nearest(const std::vector<int> &pixels, int nc, double x, double y, double *d2) {
  int best = -1;
  *d2 = INFINITY;
  for (int p : pixels) {
    const double dx = p % nc - x, dy = p / nc - y, d = dx * dx + dy * dy;
    if (d < *d2) {
      *d2 = d;
      best = p;
    }
  }
  return best;
}

}  // namespace

std::unique_ptr<Curve3D> ContSaliences(Image *bin, int maxdist, float threshold, float angle) {
  auto all = Saliences(bin, maxdist);
  const double r = RootOfCost(maxdist);
  auto bent = RemSaliencesByAngle(all.get(), static_cast<float>(r), angle);
  auto ms = MSSkel(bin, 0);
  auto skel = Skeleton(ms.get(), threshold);
  const std::vector<int> on = PixelsOf(skel.get());
  const double reach = 2.0 * r + 1.0;
  std::vector<char> keep(bent->n, 1);
  for (int i = 0; i < bent->n; i++) {
    if (bent->Z[i] <= 0.0) continue;
    double d2;
    Nearest(on, bin->ncols, bent->X[i], bent->Y[i], &d2);
    keep[i] = d2 <= reach * reach;
  }
  return KeepPoints(bent.get(), keep);
}

std::unique_ptr<Curve3D> SkelCont(Image *bin, int maxdist, float threshold, float angle,
                                  signed char side) {
  auto sal = ContSaliences(bin, maxdist, threshold, angle);
  auto ms = MSSkel(bin, side == 0 ? 0 : 1);
  auto skel = Skeleton(ms.get(), threshold);
  const std::vector<int> on = PixelsOf(skel.get());
  std::vector<double> X, Y, Z;
  for (int i = 0; i < sal->n; i++) {
    if (side == 0 ? sal->Z[i] <= 0.0 : sal->Z[i] >= 0.0) continue;
    double d2;
    const int p = Nearest(on, bin->ncols, sal->X[i], sal->Y[i], &d2);
    if (p < 0) continue;
    X.push_back(p % bin->ncols), Y.push_back(p / bin->ncols), Z.push_back(sal->Z[i]);
  }
  auto out = CreateCurve3D(static_cast<int>(X.size()));
  out->X = X;
  out->Y = Y;
  out->Z = Z;
  return out;
}

std::unique_ptr<Image> PaintSaliences(Image *bin, Curve3D *curve) {
  auto out = CopyImage(bin);
  for (int i = 0; i < curve->n; i++) {
    const double x = curve->X[i], y = curve->Y[i], z = curve->Z[i];
    if (z == 0.0 || !(x >= 0.0 && y >= 0.0 && x < bin->ncols && y < bin->nrows)) continue;
    PaintCircle(out.get(), static_cast<int>(x) + bin->tbrow[static_cast<int>(y)], 2.0f,
                z > 0.0 ? 2 : 3);
  }
  return out;
}

std::unique_ptr<Image> PaintSkelSaliences(Image *skel, float angle) {
  auto sal = SkelSaliences(skel, 25, angle);
  return PaintSaliences(skel, sal.get());
}

std::unique_ptr<Image> LabelSkel(Image *skel, Curve3D *curve, int option) {
  const int nc = skel->ncols, nr = skel->nrows;
  auto branches = CreateImage(nc, nr);
  for (int y = 0; y < nr; y++)
    for (int x = 0; x < nc; x++) {
      if (skel->at(x, y) <= 0) continue;
      int k = 0;
      for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
          k += (dx || dy) && skel->Valid(x + dx, y + dy) && skel->at(x + dx, y + dy) > 0;
      branches->at(x, y) = k < 3;
    }
  auto label = Components8(branches.get());
  if (option == 0) return label;
  std::vector<int> kept(MaximumValue(label.get()) + 1, 0);
  for (int i = 0; i < curve->n; i++) {
    const int x = TruncCoord(curve->X[i]), y = TruncCoord(curve->Y[i]);
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++)
        if (label->Valid(x + dx, y + dy)) kept[label->at(x + dx, y + dy)] = 1;
  }
  kept[0] = 0;
  int next = 0;
  for (size_t l = 1; l < kept.size(); l++)
    if (kept[l]) kept[l] = ++next;
  for (int &l : label->val) l = kept[l];
  return label;
}

// ---- geodesic propagation ----

int iftGeoDilation(AnnImg *aimg) {
  const Image *img = aimg->img;
  const int nc = img->ncols, n = static_cast<int>(img->val.size());
  int *C = aimg->cost->val.data();
  int *L = aimg->label->val.data();
  int *P = aimg->pred->val.data();
  auto A = Circular(1.5f);
  const Neighbours N(img, A.get());
  // Costs grow by at most 14 a step: a circular queue of 15 buckets.
  const int nb = 15;
  auto Q = CreateQueue(nb, n);
  for (int s; (s = RemoveSet(&aimg->seeds)) != -1;) {
    CheckPixelIndex(img, s, "iftGeoDilation");
    if (C[s] < 0 || C[s] == kImageInfinity || Q->elem[s].color == GRAY) continue;
    InsertQueue(Q.get(), C[s] % nb, s);
  }
  const int *I = img->val.data();
  for (int p; (p = RemoveQueue(Q.get())) != -1;) {
    bool meets = false;
    N.ForEach(p, [&](int q) { meets |= Q->elem[q].color == BLACK && L[q] != L[p]; });
    if (meets) return p;
    const int px = p % nc, py = p / nc;
    N.ForEach(p, [&](int q) {
      if (Q->elem[q].color == BLACK || I[q] == 0) return;
      const int step = (q % nc != px && q / nc != py) ? 14 : 10;
      const long long c = 1LL * C[p] + step;
      if (c >= C[q]) return;
      FileInQueue(Q.get(), q, C[q] % nb, static_cast<int>(c % nb));
      C[q] = static_cast<int>(c);
      L[q] = L[p];
      P[q] = p;
    });
  }
  return -1;
}

int iftGeoDist(AnnImg *aimg) {
  const int p = iftGeoDilation(aimg);
  return p < 0 ? kImageInfinity : aimg->cost->val[p];
}

std::vector<int> iftGeoPath(AnnImg *aimg) {
  const int p = iftGeoDilation(aimg);
  if (p < 0) return {};
  return Path(aimg->pred.get(), p);
}

// ---- fractal dimension ----

std::unique_ptr<Curve> MSFractal(Image *bin, int maxdist, int degree, double lower,
                                 double higher, int reg, double from, double to) {
  if (maxdist < 1) Error("Invalid distance " + std::to_string(maxdist), "MSFractal");
  auto labels = LabelContour(bin);
  auto aimg = Annotate(bin, nullptr, labels.get());
  auto A = Circular(1.5f);
  iftFastDilation(aimg.get(), A.get());
  const int rmax = static_cast<int>(RootOfCost(maxdist));
  std::vector<long long> area(rmax + 1, 0);
  for (int c : aimg->cost->val) {
    if (c == kImageInfinity || c > maxdist) continue;
    const int r = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(c))));
    if (r <= rmax) area[std::max(r, 1)]++;
  }
  for (int r = 2; r <= rmax; r++) area[r] += area[r - 1];
  auto experimental = CreateCurve(rmax);
  for (int r = 1; r <= rmax; r++) {
    experimental->X[r - 1] = std::log(static_cast<double>(r));
    experimental->Y[r - 1] = std::log(static_cast<double>(std::max(area[r], 1LL)));
  }
  auto P = Regression(experimental.get(), degree, lower, higher);
  auto D = DerivPolynom(P.get());
  auto dimension = SamplePolynom(D.get(), from, to, 100);
  for (int i = 0; i < dimension->n; i++) dimension->Y[i] = 2.0 - dimension->Y[i];
  if (reg != 0) {
    auto fitted = CopyCurve(experimental.get());
    for (int i = 0; i < fitted->n; i++) fitted->Y[i] = EvaluatePolynom(P.get(), fitted->X[i]);
    WriteCurve(experimental.get(), "experimental");
    WriteCurve(fitted.get(), "regression");
  }
  return dimension;
}
