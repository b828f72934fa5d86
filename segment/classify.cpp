#include "segment/classify.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/adjacency3.h"
#include "core/common.h"
#include "core/curve.h"
#include "core/scene.h"
#include "render/shell.h"
#include "segment/analysis3.h"
#include "segment/segmentation3.h"
#include "segment/voxelwise3.h"

namespace {

// A feature function with the relation and offsets it is handed, built
// once for the scene it reads. Intensity3 is read directly.
class Feature {
 public:
  Feature(const Scene *scn, FeatureFunction f, float radius)
      : scn_(scn), f_(f), A_(Spheric(radius)), offsets_(AdjVoxels(scn, A_.get())) {}
  double At(int x, int y, int z) {
    if (f_ == Intensity3) return scn_->data[scn_->Address(x, y, z)];
    return f_(scn_, x, y, z, g_, A_.get(), offsets_.get());
  }

 private:
  const Scene *scn_;
  FeatureFunction f_;
  std::unique_ptr<AdjRel3> A_;
  std::unique_ptr<AdjVxl> offsets_;
  float g_[3] = {0.0f, 0.0f, 0.0f};
};

// The shell voxels labelled `object` (every voxel when all is set), row by
// row, scaled by the curve at the feature of scn.
void ClassifyVoxels(Shell *shell, const Scene *scn, Curve *curve, FeatureFunction feature,
                    int object, bool all, const char *func) {
  const ShellChange change(shell);
  CheckShellScene(shell, scn, func);
  UnitCurve factor(curve);
  Feature at(scn, feature, 1.8f);
  for (int z = 0; z < shell->zsize; z++) {
    for (int y = 0; y < shell->ysize; y++) {
      int first, end;
      ShellRow(shell, y, z, &first, &end);
      for (int i = first; i < end; i++) {
        Voxel &v = shell->voxel[i];
        if (!all && v.label != object) continue;
        v.opacity = static_cast<uint8_t>(ScaledOpacity(v.opacity, factor.At(at.At(v.x, y, z))));
      }
    }
  }
}

// Scene voxels: those where `select` holds get alpha scaled by the curve at
// the feature of scn. alpha must have scn's size.
template <class Select>
void ClassifySceneVoxels(const Scene *scn, Scene *alpha, Curve *curve, FeatureFunction feature,
                         Select &&select) {
  UnitCurve factor(curve);
  Feature at(scn, feature, 1.8f);
  for (int z = 0; z < scn->zsize; z++) {
    for (int y = 0; y < scn->ysize; y++) {
      for (int x = 0; x < scn->xsize; x++) {
        int p = scn->Address(x, y, z);
        if (!select(p)) continue;
        alpha->data[p] = ScaledOpacity(alpha->data[p], factor.At(at.At(x, y, z)));
      }
    }
  }
}

// The products of the body classification, voxel by voxel in storage
// order; with reset, every opacity starts again from 255.
void MultiplyBodyCurves(Shell *shell, Curve *density, Curve *gradient, bool reset,
                        const char *func) {
  const ShellChange change(shell);
  CheckBodyShell(shell, func);
  std::unique_ptr<UnitCurve> d, g;
  if (density != nullptr) d = std::make_unique<UnitCurve>(density);
  if (gradient != nullptr) g = std::make_unique<UnitCurve>(gradient);
  for (int i = 0; i < shell->nvoxels; i++) {
    Voxel &v = shell->voxel[i];
    const BodyEntry b = shell->body[i];
    int opacity = reset ? 255 : v.opacity;
    if (d) opacity = ScaledOpacity(opacity, d->At(std::llabs(b.value)));
    if (g) opacity = ScaledOpacity(opacity, g->At(std::abs(b.gradient)));
    v.opacity = static_cast<uint8_t>(opacity);
    if (opacity != 0) v.label = 1;
  }
}

// A training point truncated to a voxel position; false when a coordinate
// is beyond the integers (such a point holds no voxel).
bool PointPosition(const Curve3D *points, int i, int p[3]) {
  const double c[3] = {points->X[i], points->Y[i], points->Z[i]};
  for (int k = 0; k < 3; k++) {
    double t = std::trunc(c[k]);
    if (!(std::fabs(t) < 2.0e9)) return false;
    p[k] = static_cast<int>(t);
  }
  return true;
}

// The smallest and largest body value (or gradient) at the training
// points; 0 where a point holds no voxel.
template <class Read>
void TrainingRange(const Shell *shell, const Curve3D *points, Read &&read, long long *min,
                   long long *max) {
  *min = INT_MAX;
  *max = 0;
  for (int i = 0; i < points->n; i++) {
    int p[3];
    long long v = 0;
    if (PointPosition(points, i, p)) {
      int k = VoxelExist(shell, p[0], p[1], p[2]);
      if (k >= 0) v = read(shell->body[k]);
    }
    if (v > *max) *max = v;
    if (v < *min) *min = v;
  }
}

std::unique_ptr<Curve> CurveOf(std::initializer_list<std::pair<double, double>> points) {
  std::unique_ptr<Curve> c = CreateCurve(static_cast<int>(points.size()));
  int k = 0;
  for (const auto &p : points) {
    c->X[k] = p.first;
    c->Y[k] = p.second;
    k++;
  }
  return c;
}

// The squared border width as the distance transforms' limit (truncated)
// and the classifying builders' curve (0, 0.5), (round(w*w), 1.0).
struct BorderWidth {
  int limit;
  std::unique_ptr<Curve> curve;
  explicit BorderWidth(float w) {
    double w2 = static_cast<double>(w) * w;
    if (!(w2 >= 0.0)) w2 = 0.0;
    limit = w2 >= INT_MAX ? INT_MAX : static_cast<int>(w2);
    curve = CurveOf({{0.0, 0.5}, {std::round(w2), 1.0}});
  }
};

}  // namespace

// ---- curve look-ups ----

UnitCurve::UnitCurve(Curve *curve) : filled_(FillCurve(curve, 1.0)) {}

UnitCurve::~UnitCurve() = default;

double UnitCurve::At(double f) const {
  // A value that is not a number fails the comparison and reads the last
  // entry too.
  double k = std::fabs(std::trunc(f));
  return filled_->Y[k < filled_->n ? static_cast<int>(k) : filled_->n - 1];
}

int ScaledOpacity(double opacity, double factor) {
  double p = std::trunc(opacity * factor);
  if (!(p > 0.0)) return 0;
  return p < 255.0 ? static_cast<int>(p) : 255;
}

// ---- opacity from curves ----

void ClassifyObject(Shell *shell, const Scene *scn, Curve *curve, FeatureFunction feature,
                    int object) {
  ClassifyVoxels(shell, scn, curve, feature, object, false, "ClassifyObject");
}

void ClassifyShell(Shell *shell, const Scene *scn, Curve *curve, FeatureFunction feature) {
  ClassifyVoxels(shell, scn, curve, feature, 0, true, "ClassifyShell");
}

void ClassifyScene(const Scene *scn, Scene *alpha, Curve *curve, FeatureFunction feature) {
  CheckSameSize3(scn, alpha, "ClassifyScene");
  ClassifySceneVoxels(scn, alpha, curve, feature, [&](int p) { return scn->data[p] != 0; });
}

void ClassifyTDE(const Scene *dist, Scene *alpha, const Scene *labels, Curve *curve,
                 FeatureFunction feature, int object) {
  CheckSameSize3(dist, alpha, "ClassifyTDE");
  CheckSameSize3(dist, labels, "ClassifyTDE");
  ClassifySceneVoxels(dist, alpha, curve, feature,
                      [&](int p) { return labels->data[p] == object; });
}

void ClassifyBodyShell(Shell *shell, Curve *density, Curve *gradient) {
  MultiplyBodyCurves(shell, density, gradient, false, "ClassifyBodyShell");
  shell->nobjects = 1;
}

void ReclassifyBodyShell(Shell *shell, Curve *density, Curve *gradient) {
  MultiplyBodyCurves(shell, density, gradient, true, "ClassifyBodyShell");
}

void ResetShellOpacity(Shell *shell) {
  const ShellChange change(shell);
  for (Voxel &v : shell->voxel) v.opacity = 255;
}

void ResetShellLabel(Shell *shell) {
  const ShellChange change(shell);
  for (Voxel &v : shell->voxel) v.label = 0;
}

// ---- labels ----

void ClassifyLabel(Shell *shell, const Curve *curve) {
  const ShellChange change(shell);
  CheckBodyShell(shell, "ClassifyLabel");
  if (curve->n <= 0) Error("The label curve is empty", "ClassifyLabel");
  for (int i = 0; i < shell->nvoxels; i++) {
    long long k = std::llabs(shell->body[i].value);
    double t = std::trunc(curve->Y[k < curve->n ? k : curve->n - 1]);
    int label = 0;
    if (t >= 32767.0) {
      label = 32767;
    } else if (t <= -32768.0) {
      label = -32768;
    } else if (t == t) {
      label = static_cast<int>(t);
    }
    shell->voxel[i].label = static_cast<uint8_t>(label & 0xFF);
  }
}

// Counts are summed as doubles: exact for whole counts below 2^53.
void ShellAutoLabel(Shell *shell, const Curve *hist, double percent) {
  const ShellChange change(shell);
  CheckBodyShell(shell, "ShellAutoLabel");
  const double target = std::trunc(percent / 100.0 * shell->nvoxels);
  double sum = 0.0;
  long long t = -1;
  for (int k = hist->n - 1; k >= 1; k--) {
    if (sum > target) {
      t = k;
      break;
    }
    sum += std::trunc(hist->Y[k]);
  }
  for (int i = 0; i < shell->nvoxels; i++) {
    shell->voxel[i].label = shell->body[i].value > t ? 1 : 0;
  }
}

void RestoreLabels(Scene *scn, const Scene *lscn, int label) {
  CheckSameSize3(scn, lscn, "RestoreLabels");
  const int n = lscn->VoxelCount();
  for (int p = 0; p < n; p++) {
    if (lscn->data[p] != 0) scn->data[p] = label;
  }
}

// ---- training ----

std::unique_ptr<Curve> ShellTrainingIntensity(const Shell *shell, const Curve3D *points) {
  CheckBodyShell(shell, "ShellTrainingIntensity");
  long long min, max;
  TrainingRange(shell, points, [](const BodyEntry &b) { return b.value; }, &min, &max);
  const double d = static_cast<double>(max - min) * 0.25;
  const double lo = static_cast<double>(min), hi = static_cast<double>(max);
  return CurveOf({{lo, 0.0}, {lo + d, 1.0}, {hi - d, 1.0}, {hi, 0.0}});
}

std::unique_ptr<Curve> ShellTrainingGradient(Shell *shell, const Curve3D *points) {
  CheckBodyShell(shell, "ShellTrainingGradient");
  long long min, max;
  TrainingRange(shell, points, [](const BodyEntry &b) { return b.gradient; }, &min, &max);
  const double m = GetShellMaximum(shell);
  return CurveOf({{static_cast<double>(min), 0.0}, {static_cast<double>(max), 1.0}, {m, 1.0}});
}

std::unique_ptr<Curve> SceneTraining(const Scene *scn, const Curve3D *points,
                                     FeatureFunction feature) {
  Feature at(scn, feature, 2.5f);
  double max = 0.0, min = scn->maxval;
  for (int i = 0; i < points->n; i++) {
    int p[3];
    double f = 0.0;
    if (PointPosition(points, i, p) && scn->Valid(p[0], p[1], p[2])) f = at.At(p[0], p[1], p[2]);
    if (f > max) max = f;
    if (f < min) min = f;
  }
  return CurveOf({{min, 0.0}, {max, 1.0}});
}

// ---- shell builders that classify ----

std::unique_ptr<Shell> Object2Shell(Scene *labels, float w) {
  const BorderWidth width(w);
  std::unique_ptr<AdjRel3> A = Spheric(1.8f);
  std::unique_ptr<Scene> border = Label2Border(labels, A.get(), 2, width.limit);
  int n = 0;
  for (int v : border->data) n += v != 0;
  std::unique_ptr<Shell> shell = NewShell(border->xsize, border->ysize, border->zsize, n);
  SetShellVoxels(shell.get(), border.get());
  SetShellList(shell.get(), border.get());
  // Label 0 in the shell comes only from labels that are multiples of 256,
  // which no 8-bit object number can name: it is left unclassified.
  std::unique_ptr<Curve> hist = ShellObjHistogram(shell.get());
  for (int l = 1; l < hist->n; l++) {
    if (hist->Y[l] == 0.0) continue;
    std::unique_ptr<Scene> bin = Threshold3(border.get(), l, l);
    std::unique_ptr<Scene> dist = TDistTrans3(bin.get(), A.get(), 2, width.limit);
    bin.reset();
    SetObjectNormal(shell.get(), dist.get(), Gradient3, l);
    ClassifyObject(shell.get(), dist.get(), width.curve.get(), DistGradient3, l);
  }
  shell->dx = labels->dx;
  shell->dy = labels->dy;
  shell->dz = labels->dz;
  shell->maximum = MaximumValue3(labels);
  ShellNObjects(shell.get());
  return shell;
}

std::unique_ptr<Shell> MergeShell(const Shell *shell1, const Shell *shell2) {
  std::unique_ptr<Scene> labels1 = LabelScene(shell1);
  std::unique_ptr<Scene> labels2 = LabelScene(shell2);
  std::unique_ptr<Scene> merged = MergeLabels(labels1.get(), labels2.get());
  // The merged shell keeps the first shell's voxel size.
  merged->dx = labels1->dx;
  merged->dy = labels1->dy;
  merged->dz = labels1->dz;
  return Object2Shell(merged.get(), 5.0f);
}

std::unique_ptr<Scene> ObjectAlpha(Scene *labels, float w) {
  std::unique_ptr<Scene> alpha = CreateAlpha(labels);
  const BorderWidth width(w);
  std::unique_ptr<AdjRel3> A = Spheric(1.8f);
  const int maxLabel = MaximumValue3(labels);
  // The stages of a label that no voxel carries change nothing: they are
  // reported but not run.
  std::vector<bool> present(static_cast<size_t>(maxLabel) + 1, false);
  for (int v : labels->data) {
    if (v > 0) present[v] = true;
  }
  for (int l = 1; l <= maxLabel; l++) {
    fprintf(stderr, "Object %d: threshold...\n", l);
    std::unique_ptr<Scene> bin;
    if (present[l]) bin = Threshold3(labels, l, l);
    fprintf(stderr, "Object %d: border...\n", l);
    std::unique_ptr<Scene> inner;
    if (bin) {
      std::unique_ptr<Scene> d = TDistTrans3(bin.get(), A.get(), 2, width.limit);
      bin.reset();
      inner = Threshold3(d.get(), 0, width.limit);
    }
    fprintf(stderr, "Object %d: edt...\n", l);
    std::unique_ptr<Scene> edt;
    if (inner) {
      edt = TDistTrans3(inner.get(), A.get(), 2, width.limit);
      inner.reset();
    }
    fprintf(stderr, "Object %d: classification...\n", l);
    if (edt) ClassifyTDE(edt.get(), alpha.get(), labels, width.curve.get(), Intensity3, l);
  }
  return alpha;
}
