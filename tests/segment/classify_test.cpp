// Classification on hand-made shells whose expected opacities and labels
// are worked out by hand (products truncated step by step), training and
// automatic labelling on chosen values, and the classifying builders on a
// labelled phantom against a brute-force band of each object's border.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "core/curve.h"
#include "core/scene.h"
#include "render/normal.h"
#include "render/shell.h"
#include "segment/classify.h"
#include "support/fatal.h"
#include "support/phantom.h"

namespace {

std::unique_ptr<Curve> MakeCurve(std::vector<double> xy) {
  auto c = CreateCurve(static_cast<int>(xy.size() / 2));
  for (int k = 0; k < c->n; k++) {
    c->X[k] = xy[2 * k];
    c->Y[k] = xy[2 * k + 1];
  }
  return c;
}

std::vector<double> Points(const Curve *c) {
  std::vector<double> xy;
  for (int k = 0; k < c->n; k++) {
    xy.push_back(c->X[k]);
    xy.push_back(c->Y[k]);
  }
  return xy;
}

std::unique_ptr<Curve3D> MakePoints(std::vector<double> xyz) {
  auto c = CreateCurve3D(static_cast<int>(xyz.size() / 3));
  for (int k = 0; k < c->n; k++) {
    c->X[k] = xyz[3 * k];
    c->Y[k] = xyz[3 * k + 1];
    c->Z[k] = xyz[3 * k + 2];
  }
  return c;
}

// A body shell of one row of n voxels (x = 0 .. n-1, y = z = 0) with the
// given values and gradients (0 when not given).
std::unique_ptr<Shell> BodyRow(std::vector<int> values, std::vector<int> gradients = {}) {
  const int n = static_cast<int>(values.size());
  auto scn = CreateScene(n, 1, 1);
  std::fill(scn->data.begin(), scn->data.end(), 1);
  auto shell = NewBodyShell(n, 1, 1, n);
  SetShellVoxels(shell.get(), scn.get());
  SetShellList(shell.get(), scn.get());
  for (int i = 0; i < n; i++) {
    shell->body[i].value = values[i];
    shell->body[i].gradient = static_cast<int16_t>(i < int(gradients.size()) ? gradients[i] : 0);
  }
  return shell;
}

// An object shell of every non-zero voxel of a label scene.
std::unique_ptr<Shell> ObjectShell(const Scene *labels) {
  int n = 0;
  for (int v : labels->data) n += v != 0;
  auto shell = NewShell(labels->xsize, labels->ysize, labels->zsize, n);
  SetShellVoxels(shell.get(), labels);
  SetShellList(shell.get(), labels);
  return shell;
}

std::vector<int> Opacities(const Shell *s) {
  std::vector<int> o;
  for (const Voxel &v : s->voxel) o.push_back(v.opacity);
  return o;
}

std::vector<int> Labels(const Shell *s) {
  std::vector<int> l;
  for (const Voxel &v : s->voxel) l.push_back(v.label);
  return l;
}

void SetOpacities(Shell *s, int value) {
  for (Voxel &v : s->voxel) v.opacity = static_cast<uint8_t>(value);
}

const char kNoBody[] =
    "Error:An object shell has no voxel values or gradients: a body shell is needed in ";

// ---- body-shell classification ----

TEST(ClassifyBodyShell, HalfTwiceWithoutResetGives127Then63) {
  auto shell = BodyRow({1, 2, 3});
  auto half = MakeCurve({0, 0.5, 3, 0.5});
  ClassifyBodyShell(shell.get(), half.get(), nullptr);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{127, 127, 127}));
  EXPECT_EQ(shell->nobjects, 1);
  ClassifyBodyShell(shell.get(), half.get(), nullptr);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{63, 63, 63}));
  // The command's form starts again from 255 each time.
  ReclassifyBodyShell(shell.get(), half.get(), nullptr);
  ReclassifyBodyShell(shell.get(), half.get(), nullptr);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{127, 127, 127}));
}

TEST(ClassifyBodyShell, OpaqueDensityOrNoCurvesLabelsEveryVoxel) {
  auto shell = BodyRow({0, 4, 9});
  SetOpacities(shell.get(), 3);
  auto one = MakeCurve({0, 1.0, 9, 1.0});
  ReclassifyBodyShell(shell.get(), one.get(), nullptr);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(Labels(shell.get()), (std::vector<int>{1, 1, 1}));

  ResetShellLabel(shell.get());
  SetOpacities(shell.get(), 0);
  ReclassifyBodyShell(shell.get(), nullptr, nullptr);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(Labels(shell.get()), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(shell->nobjects, 0) << "only the library form sets the object count";
}

// 0.32 twice: 255 -> 81 -> 25, where one product of 0.1024 would give 26.
// A voxel made transparent keeps its label; |value| indexes the density.
TEST(ClassifyBodyShell, DensityThenGradientEachTruncated) {
  auto shell = BodyRow({2, -2, 5}, {1, 1, 0});
  shell->voxel[2].label = 7;
  auto density = MakeCurve({0, 0.32, 4, 0.32, 5, 0.0});
  auto gradient = MakeCurve({0, 1.0, 1, 0.32});
  ReclassifyBodyShell(shell.get(), density.get(), gradient.get());
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{25, 25, 0}));
  EXPECT_EQ(Labels(shell.get()), (std::vector<int>{1, 1, 7}));
}

// Factors above 1 or below 0 clamp instead of wrapping the low 8 bits
// (510 would store 254, -255 would store 1); values past the end of the
// resampled curve read its last entry (here 0.5 from x = 10 on).
TEST(ClassifyBodyShell, ProductsClampAndLookUpsPastTheEndUseTheLastEntry) {
  auto shell = BodyRow({1, 2, 10, 50, 2000000000});
  auto density = MakeCurve({0, 0.0, 1, 2.0, 2, -1.0, 3, 0.5, 10, 0.5});
  ReclassifyBodyShell(shell.get(), density.get(), nullptr);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{255, 0, 127, 127, 127}));
  auto big = BodyRow({1}, {30000});
  auto ramp = MakeCurve({0, 0.0, 4, 1.0});
  ReclassifyBodyShell(big.get(), nullptr, ramp.get());
  EXPECT_EQ(Opacities(big.get()), (std::vector<int>{255}));
}

TEST(ClassifyBodyShell, ObjectShellsAndEmptyCurvesFailUnchanged) {
  auto labels = CreateScene(2, 1, 1);
  labels->data = {3, 4};
  auto object = ObjectShell(labels.get());
  auto one = MakeCurve({0, 1.0, 4, 1.0});
  EXPECT_EQ(FatalText([&] { ReclassifyBodyShell(object.get(), one.get(), nullptr); }),
            std::string(kNoBody) + "ClassifyBodyShell");
  EXPECT_EQ(FatalText([&] { ClassifyBodyShell(object.get(), nullptr, nullptr); }),
            std::string(kNoBody) + "ClassifyBodyShell");
  EXPECT_EQ(FatalText([&] { ClassifyLabel(object.get(), one.get()); }),
            std::string(kNoBody) + "ClassifyLabel");
  EXPECT_EQ(Labels(object.get()), (std::vector<int>{3, 4}));
  EXPECT_EQ(object->nobjects, 0);

  auto body = BodyRow({1, 2});
  SetOpacities(body.get(), 9);
  auto empty = CreateCurve(0);
  EXPECT_NE(FatalText([&] { ReclassifyBodyShell(body.get(), empty.get(), nullptr); }), "");
  EXPECT_EQ(Opacities(body.get()), (std::vector<int>{9, 9}));
}

// ---- labels ----

// The point index is the value (x is ignored); past the end the last point;
// the 16-bit truncation then its low byte.
TEST(ClassifyLabel, PointIndexIsTheValueWithoutResampling) {
  auto shell = BodyRow({0, 1, -1, 2, 3, 9});
  auto curve = MakeCurve({100, 4.9, 7, 258.7, 0, -1.0, -5, 70000.0});
  ClassifyLabel(shell.get(), curve.get());
  EXPECT_EQ(Labels(shell.get()), (std::vector<int>{4, 2, 2, 255, 255, 255}));
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{255, 255, 255, 255, 255, 255}));
  auto empty = CreateCurve(0);
  EXPECT_EQ(FatalText([&] { ClassifyLabel(shell.get(), empty.get()); }),
            "Error:The label curve is empty in ClassifyLabel");
}

// Values 1, 2, 3, 3 and six 4s; the histogram runs to 6 with two empty top
// levels. 80 % of 10 is 8: 4s give 6, 3s 8 (not above 8), the 2 makes 9 > 8,
// so t = 1. With 0 %: the 4s alone exceed 0, t = 3.
TEST(ShellAutoLabel, TopLevelsWhoseCountExceedsTheTarget) {
  auto shell = BodyRow({4, 1, 4, 2, 3, 4, 3, 4, 4, 4});
  auto hist = MakeCurve({0, 0, 1, 1, 2, 1, 3, 2, 4, 6, 5, 0, 6, 0});
  SetOpacities(shell.get(), 17);
  ShellAutoLabel(shell.get(), hist.get(), 80.0);
  EXPECT_EQ(Labels(shell.get()), (std::vector<int>{1, 0, 1, 1, 1, 1, 1, 1, 1, 1}));
  ShellAutoLabel(shell.get(), hist.get(), 0.0);
  EXPECT_EQ(Labels(shell.get()), (std::vector<int>{1, 0, 1, 0, 0, 1, 0, 1, 1, 1}));
  EXPECT_EQ(Opacities(shell.get()), std::vector<int>(10, 17));
}

TEST(ShellAutoLabel, AllZeroValuesLabelEveryVoxel) {
  auto shell = BodyRow({0, 0, 0});
  auto hist = MakeCurve({0, 3});
  ShellAutoLabel(shell.get(), hist.get(), 80.0);
  EXPECT_EQ(Labels(shell.get()), (std::vector<int>{1, 1, 1}));
  // A negative value lies below t = -1 even then.
  auto neg = BodyRow({-4, 0});
  ShellAutoLabel(neg.get(), hist.get(), 0.0);
  EXPECT_EQ(Labels(neg.get()), (std::vector<int>{0, 1}));
}

TEST(RestoreLabels, PaintsTheNonZeroVoxelsOfTheSecondScene) {
  auto scn = CreateScene(3, 2, 1);
  scn->data = {1, 1, 2, 2, 0, 0};
  auto bin = CreateScene(3, 2, 1);
  bin->data = {0, 5, -1, 0, 1, 0};
  RestoreLabels(scn.get(), bin.get(), 9);
  EXPECT_EQ(std::vector<int>(scn->data.begin(), scn->data.end()),
            (std::vector<int>{1, 9, 9, 2, 9, 0}));
  auto other = CreateScene(3, 1, 2);
  EXPECT_EQ(FatalText([&] { RestoreLabels(scn.get(), other.get(), 9); }),
            "Error:Scenes have different sizes (3 x 2 x 1 and 3 x 1 x 2) in RestoreLabels");
}

// ---- training ----

TEST(ShellTraining, IntensityTrapezoidFromTwoPoints) {
  auto shell = BodyRow({100, 150, 200});
  // Coordinates truncate toward zero: -0.5 is voxel 0, 2.9 is voxel 2.
  auto pts = MakePoints({-0.5, 0, 0, 2.9, 0.7, 0.2});
  auto curve = ShellTrainingIntensity(shell.get(), pts.get());
  EXPECT_EQ(Points(curve.get()), (std::vector<double>{100, 0, 125, 1, 175, 1, 200, 0}));
}

TEST(ShellTraining, PointsMissingTheShellCountAsZero) {
  auto shell = BodyRow({100, 150, 200});
  auto pts = MakePoints({3, 0, 0, 0, 1, 0, -1.5, 0, 0, 1e12, 0, 0});
  auto curve = ShellTrainingIntensity(shell.get(), pts.get());
  EXPECT_EQ(Points(curve.get()), (std::vector<double>{0, 0, 0, 1, 0, 1, 0, 0}));
  // One hit and one miss: the miss brings min down to 0.
  auto mixed = MakePoints({1, 0, 0, 5, 0, 0});
  curve = ShellTrainingIntensity(shell.get(), mixed.get());
  EXPECT_EQ(Points(curve.get()), (std::vector<double>{0, 0, 37.5, 1, 112.5, 1, 150, 0}));
}

TEST(ShellTraining, GradientRampEndsAtTheShellMaximum) {
  auto shell = BodyRow({100, 150, 200, 900}, {3, 9, 6, 1});
  shell->voxel[3].visible = 0;  // its value is not the maximum
  auto pts = MakePoints({0, 0, 0, 1, 0, 0, 2, 0, 0});
  auto curve = ShellTrainingGradient(shell.get(), pts.get());
  EXPECT_EQ(Points(curve.get()), (std::vector<double>{3, 0, 9, 1, 200, 1}));
  EXPECT_EQ(shell->maximum, 200);
}

TEST(ShellTraining, ObjectShellsFail) {
  auto labels = CreateScene(2, 1, 1);
  labels->data = {1, 1};
  auto object = ObjectShell(labels.get());
  auto pts = MakePoints({0, 0, 0});
  EXPECT_EQ(FatalText([&] { ShellTrainingIntensity(object.get(), pts.get()); }),
            std::string(kNoBody) + "ShellTrainingIntensity");
  EXPECT_EQ(FatalText([&] { ShellTrainingGradient(object.get(), pts.get()); }),
            std::string(kNoBody) + "ShellTrainingGradient");
  EXPECT_EQ(FatalText([&] { ShellAutoLabel(object.get(), CreateCurve(1).get(), 80.0); }),
            std::string(kNoBody) + "ShellAutoLabel");
}

// min starts at the stored maximum (not recomputed), max at 0.
TEST(SceneTraining, RangeOfTheFeatureAtThePoints) {
  auto scn = CreateScene(3, 1, 1);
  scn->data = {40, 70, 90};
  scn->maxval = 60;
  auto pts = MakePoints({1, 0, 0, 2, 0, 0});
  EXPECT_EQ(Points(SceneTraining(scn.get(), pts.get(), Intensity3).get()),
            (std::vector<double>{60, 0, 90, 1}));
  auto one = MakePoints({0, 0, 0, 7, 0, 0});
  EXPECT_EQ(Points(SceneTraining(scn.get(), one.get(), Intensity3).get()),
            (std::vector<double>{0, 0, 40, 1}));
}

// ---- features on scenes ----

// Intensity3 of a scene as the feature: only the object's voxels change,
// |value| indexes the resampled curve, a feature past the end reads the last
// entry.
TEST(ClassifyObject, OneLabelByTheFeatureOfTheScene) {
  auto labels = CreateScene(5, 1, 1);
  labels->data = {2, 2, 2, 3, 2};
  auto shell = ObjectShell(labels.get());
  auto feature = CreateScene(5, 1, 1);
  feature->data = {0, 5, -5, 5, 40};
  auto ramp = MakeCurve({0, 0.0, 10, 1.0});  // entry k = k / 10
  ClassifyObject(shell.get(), feature.get(), ramp.get(), Intensity3, 2);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{0, 127, 127, 255, 255}));
  // The import wizard's curve leaves every opacity as it is.
  auto flat = MakeCurve({0, 1.0, 16, 1.0});
  ClassifyObject(shell.get(), feature.get(), flat.get(), Intensity3, 2);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{0, 127, 127, 255, 255}));
  ClassifyShell(shell.get(), feature.get(), ramp.get(), Intensity3);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{0, 63, 63, 127, 255}));
  ClassifyObject(shell.get(), feature.get(), ramp.get(), Intensity3, 258);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{0, 63, 63, 127, 255}));
}

TEST(ClassifyObject, AFeatureThatIsNotANumberReadsTheLastEntry) {
  // DistGradient3 at a negative distance takes the root of a negative number.
  auto labels = CreateScene(3, 1, 1);
  labels->data = {1, 1, 1};
  auto shell = ObjectShell(labels.get());
  auto dist = CreateScene(3, 1, 1);
  dist->data = {-4, -4, -4};
  auto curve = MakeCurve({0, 1.0, 3, 0.5});
  ClassifyObject(shell.get(), dist.get(), curve.get(), DistGradient3, 1);
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{127, 127, 127}));
}

TEST(ClassifyObject, ScenesOfAnotherSizeFail) {
  auto labels = CreateScene(2, 2, 1);
  labels->data = {1, 1, 1, 1};
  auto shell = ObjectShell(labels.get());
  auto wrong = CreateScene(2, 1, 2);
  auto curve = MakeCurve({0, 0.0, 1, 0.0});
  EXPECT_EQ(FatalText([&] { ClassifyObject(shell.get(), wrong.get(), curve.get(), Intensity3, 1); }),
            "Error:The scene is 2 x 1 x 2 but the shell 2 x 2 x 1 in ClassifyObject");
  EXPECT_EQ(FatalText([&] { ClassifyShell(shell.get(), wrong.get(), curve.get(), Intensity3); }),
            "Error:The scene is 2 x 1 x 2 but the shell 2 x 2 x 1 in ClassifyShell");
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{255, 255, 255, 255}));
}

TEST(ClassifyScene, NonZeroVoxelsScaledAndClamped) {
  auto scn = CreateScene(4, 1, 1);
  scn->data = {0, 3, -3, 8};
  auto alpha = CreateScene(4, 1, 1);
  alpha->data = {200, 200, 1000, 100};
  auto curve = MakeCurve({0, 0.0, 4, 1.0});  // entry k = k / 4, last 1.0
  ClassifyScene(scn.get(), alpha.get(), curve.get(), Intensity3);
  EXPECT_EQ(std::vector<int>(alpha->data.begin(), alpha->data.end()),
            (std::vector<int>{200, 150, 255, 100}));
  auto wrong = CreateScene(2, 2, 1);
  EXPECT_EQ(FatalText([&] { ClassifyScene(scn.get(), wrong.get(), curve.get(), Intensity3); }),
            "Error:Scenes have different sizes (4 x 1 x 1 and 2 x 2 x 1) in ClassifyScene");
}

TEST(ClassifyTDE, VoxelsOfOneLabelByTheDistanceScene) {
  auto dist = CreateScene(4, 1, 1);
  dist->data = {1, 2, 3, 2};
  auto labels = CreateScene(4, 1, 1);
  labels->data = {5, 5, 6, 0};
  auto alpha = CreateScene(4, 1, 1);
  alpha->data = {255, 255, 255, 255};
  auto curve = MakeCurve({0, 0.0, 4, 1.0});
  ClassifyTDE(dist.get(), alpha.get(), labels.get(), curve.get(), Intensity3, 5);
  EXPECT_EQ(std::vector<int>(alpha->data.begin(), alpha->data.end()),
            (std::vector<int>{63, 127, 255, 255}));
  auto wrong = CreateScene(4, 1, 2);
  EXPECT_EQ(FatalText([&] {
              ClassifyTDE(dist.get(), alpha.get(), wrong.get(), curve.get(), Intensity3, 5);
            }),
            "Error:Scenes have different sizes (4 x 1 x 1 and 4 x 1 x 2) in ClassifyTDE");
  EXPECT_EQ(FatalText([&] {
              ClassifyTDE(dist.get(), wrong.get(), labels.get(), curve.get(), Intensity3, 5);
            }),
            "Error:Scenes have different sizes (4 x 1 x 1 and 4 x 1 x 2) in ClassifyTDE");
}

// ---- builders ----

// The band of squared width w2 inside each object, by brute force: a voxel
// belongs when some border voxel of its own object (one with a face
// neighbour outside the scene or of another label) lies within w2.
std::vector<int> BruteForceBand(const Scene *labels, int w2) {
  const int xs = labels->xsize, ys = labels->ysize, zs = labels->zsize;
  auto at = [&](int x, int y, int z) {
    return labels->Valid(x, y, z) ? labels->data[labels->Address(x, y, z)] : 0;
  };
  struct P {
    int x, y, z, l;
  };
  std::vector<P> border;
  const int face[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (int z = 0; z < zs; z++)
    for (int y = 0; y < ys; y++)
      for (int x = 0; x < xs; x++) {
        int l = at(x, y, z);
        if (l == 0) continue;
        for (const auto &f : face) {
          int qx = x + f[0], qy = y + f[1], qz = z + f[2];
          if (!labels->Valid(qx, qy, qz) || at(qx, qy, qz) != l) {
            border.push_back({x, y, z, l});
            break;
          }
        }
      }
  std::vector<int> band(labels->VoxelCount(), 0);
  for (int z = 0; z < zs; z++)
    for (int y = 0; y < ys; y++)
      for (int x = 0; x < xs; x++) {
        int l = at(x, y, z);
        if (l == 0) continue;
        for (const P &b : border) {
          int d = (x - b.x) * (x - b.x) + (y - b.y) * (y - b.y) + (z - b.z) * (z - b.z);
          if (b.l == l && d <= w2) {
            band[labels->Address(x, y, z)] = l;
            break;
          }
        }
      }
  return band;
}

TEST(Object2Shell, VoxelsAndLabelsAreTheBandOfEachObject) {
  auto labels = phantom::LabelledPhantom(16, 14, 12);
  labels->dx = 0.5f;
  labels->dz = 2.0f;
  auto shell = Object2Shell(labels.get(), 1.5f);  // squared width 2.25 -> 2
  std::vector<int> band = BruteForceBand(labels.get(), 2);
  auto got = LabelScene(shell.get());
  int expected = 0;
  for (int v : band) expected += v != 0;
  EXPECT_EQ(shell->nvoxels, expected);
  EXPECT_EQ(std::vector<int>(got->data.begin(), got->data.end()), band);
  EXPECT_EQ(shell->maximum, 5);
  EXPECT_EQ(shell->nobjects, 5);
  EXPECT_FLOAT_EQ(shell->dx, 0.5f);
  EXPECT_FLOAT_EQ(shell->dz, 2.0f);
  EXPECT_FALSE(IsBodyShell(shell.get()));
  // Opacities come from the curve (0, 0.5), (2, 1.0): never below 127.
  for (int i = 0; i < shell->nvoxels; i++) EXPECT_GE(shell->voxel[i].opacity, 127) << i;
  // Object 1 is the box [1, 8) x [1, 7) x [1, 6): the middle of its face
  // x = 1 has an outward normal.
  int i = VoxelExist(shell.get(), 1, 3, 3);
  ASSERT_GE(i, 0);
  EXPECT_LT(shell->normaltable->entry[shell->voxel[i].normal].x, -0.9f);
}

// Two shells of the halves of a box: the second's label is shifted above the
// first's maximum, and the merged shell is the width-5 band of each half.
TEST(MergeShell, LabelsOfTheSecondShiftedAboveTheFirst) {
  auto left = CreateScene(8, 3, 3), right = CreateScene(8, 3, 3), whole = CreateScene(8, 3, 3);
  for (int z = 0; z < 3; z++)
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 8; x++) {
        (x < 4 ? left : right)->data[left->Address(x, y, z)] = 1;
        whole->data[left->Address(x, y, z)] = x < 4 ? 1 : 2;
      }
  auto s1 = ObjectShell(left.get()), s2 = ObjectShell(right.get());
  auto merged = MergeShell(s1.get(), s2.get());
  auto got = LabelScene(merged.get());
  EXPECT_EQ(std::vector<int>(got->data.begin(), got->data.end()),
            std::vector<int>(whole->data.begin(), whole->data.end()));
  EXPECT_EQ(merged->nobjects, 2);
  auto other = ObjectShell(CreateScene(8, 3, 4).get());
  EXPECT_NE(FatalText([&] { MergeShell(s1.get(), other.get()); }), "");
}

// A 7^3 box in a 9^3 scene, w = 1: its inner band is the outer two layers.
// The border of that band (distance 0, curve 0.5 -> 127) is the outer layer
// and those voxels of the second layer that touch the core by a face; the
// second layer's edges and corners lie at squared distance 1 from it
// (curve 1.0 -> 255), and so does the core's outer layer, on the other
// side; the deeper core lies beyond the limit (the last entry, 1.0).
TEST(ObjectAlpha, InnerBandHalfOpaqueTheRestOpaque) {
  auto labels = CreateScene(9, 9, 9);
  for (int z = 1; z < 8; z++)
    for (int y = 1; y < 8; y++)
      for (int x = 1; x < 8; x++) labels->data[labels->Address(x, y, z)] = 2;
  testing::internal::CaptureStderr();
  auto alpha = ObjectAlpha(labels.get(), 1.0f);
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(log,
            "Object 1: threshold...\nObject 1: border...\nObject 1: edt...\n"
            "Object 1: classification...\nObject 2: threshold...\nObject 2: border...\n"
            "Object 2: edt...\nObject 2: classification...\n");
  for (int z = 0; z < 9; z++)
    for (int y = 0; y < 9; y++)
      for (int x = 0; x < 9; x++) {
        int depth = std::min({x, y, z, 8 - x, 8 - y, 8 - z});  // 1 = the box's face
        int onSecond = (x == 2 || x == 6) + (y == 2 || y == 6) + (z == 2 || z == 6);
        int expect = depth == 1 || (depth == 2 && onSecond == 1) ? 127 : 255;
        EXPECT_EQ(alpha->data[alpha->Address(x, y, z)], expect) << x << " " << y << " " << z;
      }
}

TEST(ResetShell, OpacityAndLabel) {
  auto shell = BodyRow({1, 2});
  shell->voxel[0].opacity = 3;
  shell->voxel[1].label = 9;
  ResetShellOpacity(shell.get());
  EXPECT_EQ(Opacities(shell.get()), (std::vector<int>{255, 255}));
  ResetShellLabel(shell.get());
  EXPECT_EQ(Labels(shell.get()), (std::vector<int>{0, 0}));
}

}  // namespace
