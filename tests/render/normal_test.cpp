// The normal table against its formula, quantisation edge cases, gradient
// estimators on hand-worked neighbourhoods, and normals of a ball that must
// point outwards.
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>
#include <string>

#include <gtest/gtest.h>

#include "core/adjacency3.h"
#include "core/geometry.h"
#include "core/scene.h"
#include "render/normal.h"
#include "render/shell.h"
#include "support/fatal.h"

namespace {

int Index(int e, int a) { return 1 + (e + 90) * 360 + a; }

unsigned short IndexOf(float x, float y, float z) {
  float v[3] = {x, y, z};
  return GetNormalIndex(v);
}

TEST(NormalTable, EntriesFollowTheFormula) {
  auto table = CreateNormalTable();
  ASSERT_EQ(table->entry.size(), 65536u);
  EXPECT_EQ(table->entry[0].x, 0.0f);
  EXPECT_EQ(table->entry[0].z, 0.0f);
  // Independently: long double trigonometry of the single-precision angles.
  for (int e = -90; e <= 90; e++) {
    for (int a = 0; a < 360; a++) {
      long double er = static_cast<float>(e * 3.1415926536L / 180);
      long double ar = static_cast<float>(a * 3.1415926536L / 180);
      const NormalVector &n = table->entry[Index(e, a)];
      ASSERT_NEAR(n.x, cosl(er) * cosl(ar), 1.2e-7) << e << " " << a;
      ASSERT_NEAR(n.y, cosl(er) * sinl(ar), 1.2e-7) << e << " " << a;
      ASSERT_NEAR(n.z, sinl(er), 1.2e-7) << e << " " << a;
    }
  }
  EXPECT_EQ(table->entry[Index(0, 0)].x, 1.0f);
  EXPECT_EQ(table->entry[Index(0, 0)].y, 0.0f);
  // The padding past the directions is "no normal".
  for (int i = kNormalDirections; i < kNormalTableEntries; i++) {
    ASSERT_EQ(table->entry[i].x, 0.0f);
    ASSERT_EQ(table->entry[i].y, 0.0f);
    ASSERT_EQ(table->entry[i].z, 0.0f);
  }
}

TEST(NormalIndex, AxesTruncateBelowRightAngles) {
  EXPECT_EQ(IndexOf(0, 0, 0), 0);
  EXPECT_EQ(IndexOf(1, 0, 0), Index(0, 0));
  EXPECT_EQ(IndexOf(0, 0, 1), Index(89, 0));
  EXPECT_EQ(IndexOf(0, 0, -1), 361);
  EXPECT_EQ(IndexOf(0, 1, 0), Index(0, 89));
  EXPECT_EQ(IndexOf(0, -1, 0), Index(0, 271));
  EXPECT_EQ(IndexOf(-1, 0, 0), Index(0, 179));
  EXPECT_EQ(IndexOf(NAN, 0, 0), 0);
  // A component just above 1 from rounding still has an elevation.
  EXPECT_EQ(IndexOf(0, 0, 1.0000001f), Index(89, 0));
}

TEST(NormalIndex, EntriesComeBackToThemselvesOrANeighbour) {
  auto table = CreateNormalTable();
  for (int e = -89; e <= 89; e++) {
    for (int a = 0; a < 360; a++) {
      const NormalVector &n = table->entry[Index(e, a)];
      float v[3] = {n.x, n.y, n.z};
      int back = GetNormalIndex(v) - 1;
      int eb = back / 360 - 90, ab = back % 360;
      ASSERT_LE(std::abs(eb - e), 1) << e << " " << a;
      int da = std::abs(ab - a);
      ASSERT_LE(std::min(da, 360 - da), 1) << e << " " << a;
    }
  }
}

// ---- estimators ----

std::unique_ptr<Scene> RampX(int n) {
  auto scn = CreateScene(n, n, n);
  for (int z = 0; z < n; z++)
    for (int y = 0; y < n; y++)
      for (int x = 0; x < n; x++) scn->data[scn->Address(x, y, z)] = x;
  return scn;
}

struct Estimate {
  float g[3];
  double magnitude;
};

Estimate Estimator(GradientFunction f, const Scene *scn, int x, int y, int z, float radius) {
  auto A = Spheric(radius);
  auto offsets = AdjVoxels(scn, A.get());
  Estimate e;
  e.magnitude = f(scn, x, y, z, e.g, A.get(), offsets.get());
  return e;
}

TEST(Gradient, GreyDifferencesOverTheNeighbours) {
  auto ramp = RampX(5);
  Estimate c = Estimator(Gradient3, ramp.get(), 2, 2, 2, 1.0f);
  EXPECT_EQ(c.g[0], -2.0f);  // bright to dark: towards -x
  EXPECT_EQ(c.g[1], 0.0f);
  EXPECT_EQ(c.g[2], 0.0f);
  EXPECT_EQ(c.magnitude, static_cast<float>(2.0 / 7));
  // Outside the volume counts as 0: the +x neighbour of x = 4 adds 4.
  Estimate hi = Estimator(Gradient3, ramp.get(), 4, 2, 2, 1.0f);
  EXPECT_EQ(hi.g[0], 3.0f);
  Estimate lo = Estimator(Gradient3, ramp.get(), 0, 0, 0, 1.0f);
  EXPECT_EQ(lo.g[0], -1.0f);
  // 26 neighbours: nine on each side along x, diagonal parts cancel.
  Estimate full = Estimator(Gradient3, ramp.get(), 2, 2, 2, 1.8f);
  EXPECT_EQ(full.g[0], -18.0f);
  EXPECT_EQ(full.g[1], 0.0f);
  EXPECT_EQ(full.magnitude, static_cast<float>(18.0 / 27));
  EXPECT_EQ(Intensity3(ramp.get(), 3, 1, 1, nullptr, nullptr, nullptr), 3.0);
}

TEST(Gradient, DistancesAcrossTheSurfaceAndOutside) {
  auto dist = CreateScene(3, 3, 3);
  for (int &v : dist->data) v = 9;
  dist->data[dist->Address(1, 1, 1)] = 4;
  dist->data[dist->Address(2, 1, 1)] = 1;
  dist->data[dist->Address(0, 1, 1)] = -9;  // across the surface
  Estimate c = Estimator(DistGradient3, dist.get(), 1, 1, 1, 1.0f);
  // +x: 2 - 1 = 1; -x: 3 + 2 = 5 divided by -1; y and z: 2 - 3 each way.
  EXPECT_EQ(c.g[0], -4.0f);
  EXPECT_EQ(c.g[1], 0.0f);
  EXPECT_EQ(c.magnitude, static_cast<float>(4.0 / 7));
  // At the volume's face an outside neighbour counts as distance 0.
  dist->data[dist->Address(0, 1, 1)] = 9;
  Estimate edge = Estimator(DistGradient3, dist.get(), 0, 1, 1, 1.0f);
  // -x outside: 3 / -1; +x: 3 - 2 = 1.
  EXPECT_EQ(edge.g[0], -2.0f);
  EXPECT_EQ(edge.magnitude, static_cast<float>(2.0 / 7));
}

// ---- normals of a ball ----

constexpr int kSide = 21, kCentre = 10, kRadius2 = 36;

bool InBall(int x, int y, int z) {
  int dx = x - kCentre, dy = y - kCentre, dz = z - kCentre;
  return dx * dx + dy * dy + dz * dz <= kRadius2;
}

bool OnBallSurface(int x, int y, int z) {
  if (!InBall(x, y, z)) return false;
  return !InBall(x + 1, y, z) || !InBall(x - 1, y, z) || !InBall(x, y + 1, z) ||
         !InBall(x, y - 1, z) || !InBall(x, y, z + 1) || !InBall(x, y, z - 1);
}

std::unique_ptr<Scene> Ball(int value) {
  auto scn = CreateScene(kSide, kSide, kSide);
  for (int z = 0; z < kSide; z++)
    for (int y = 0; y < kSide; y++)
      for (int x = 0; x < kSide; x++)
        if (InBall(x, y, z)) scn->data[scn->Address(x, y, z)] = value;
  return scn;
}

// The worst cosine between a surface voxel's normal and its direction from
// the centre, over the shell's voxels that lie on the ball's surface.
double WorstOutwardCosine(const Shell *shell, int *surfaceVoxels) {
  double worst = 1.0;
  *surfaceVoxels = 0;
  for (int z = 0; z < shell->zsize; z++) {
    for (int y = 0; y < shell->ysize; y++) {
      int first, end;
      ShellRow(shell, y, z, &first, &end);
      for (int i = first; i < end; i++) {
        int x = shell->voxel[i].x;
        if (!OnBallSurface(x, y, z)) continue;
        ++*surfaceVoxels;
        const NormalVector &n = shell->normaltable->entry[shell->voxel[i].normal];
        double vx = x - kCentre, vy = y - kCentre, vz = z - kCentre;
        double c = (n.x * vx + n.y * vy + n.z * vz) / sqrt(vx * vx + vy * vy + vz * vz);
        worst = std::min(worst, c);
      }
    }
  }
  return worst;
}

TEST(BallNormals, GreyBallPointsOutward) {
  auto ball = Ball(100);
  auto shell = Scene2Shell(ball.get());
  int surface = 0;
  EXPECT_GT(WorstOutwardCosine(shell.get(), &surface), 0.9);
  EXPECT_GT(surface, 300);
  // The centre is flat: no normal, no gradient.
  int centre = GetPointer(shell.get(), kCentre, kCentre, kCentre);
  EXPECT_EQ(int(shell->voxel[centre].normal), 0);
  EXPECT_EQ(int(shell->body[centre].gradient), 0);
  int top = GetPointer(shell.get(), kCentre, kCentre, kCentre + 6);
  EXPECT_GT(int(shell->body[top].gradient), 0);
}

TEST(BallNormals, DistanceMapOfTheObjectPointsOutward) {
  // A squared distance map written here by brute force: inside, to the
  // nearest surface voxel; outside, negated, to the nearest ball voxel.
  std::vector<std::array<int, 3>> surface, inside;
  for (int z = 0; z < kSide; z++)
    for (int y = 0; y < kSide; y++)
      for (int x = 0; x < kSide; x++) {
        if (OnBallSurface(x, y, z)) surface.push_back({x, y, z});
        if (InBall(x, y, z)) inside.push_back({x, y, z});
      }
  auto dist = CreateScene(kSide, kSide, kSide);
  for (int z = 0; z < kSide; z++)
    for (int y = 0; y < kSide; y++)
      for (int x = 0; x < kSide; x++) {
        bool in = InBall(x, y, z);
        int best = INT32_MAX;
        for (const auto &q : in ? surface : inside) {
          int dx = q[0] - x, dy = q[1] - y, dz = q[2] - z;
          best = std::min(best, dx * dx + dy * dy + dz * dz);
        }
        dist->data[dist->Address(x, y, z)] = in ? best : -best;
      }
  auto ball = Ball(1);
  auto shell = NewShell(kSide, kSide, kSide, static_cast<int>(inside.size()));
  SetShellVoxels(shell.get(), ball.get());
  SetShellList(shell.get(), ball.get());
  auto labels = Ball(3);
  SetShellLabel(shell.get(), labels.get());
  SetObjectNormal(shell.get(), dist.get(), DistGradient3, 3);
  int count = 0;
  EXPECT_GT(WorstOutwardCosine(shell.get(), &count), 0.9);
  EXPECT_EQ(count, static_cast<int>(surface.size()));
  // Another label leaves every normal alone.
  for (Voxel &v : shell->voxel) v.normal = 0;
  SetObjectNormal(shell.get(), dist.get(), DistGradient3, 4);
  for (const Voxel &v : shell->voxel) ASSERT_EQ(int(v.normal), 0);
}

TEST(BallNormals, LabelShellFromItsBorderPointsOutward) {
  auto labels = Ball(1);
  auto alpha = CreateScene(kSide, kSide, kSide);
  for (int &v : alpha->data) v = 200;  // every object voxel stays
  auto shell = CreateShell(labels.get(), alpha.get(), 2.0f);
  EXPECT_EQ(shell->nobjects, 1);
  EXPECT_EQ(shell->maximum, 1);
  int surface = 0;
  EXPECT_GT(WorstOutwardCosine(shell.get(), &surface), 0.8);
  EXPECT_GT(surface, 300);
}

// The body setter sums grey differences in integers when that is exact;
// voxel by voxel, the estimator called on its own (single-precision sums in
// neighbour order) must give the same indices and magnitudes, on random
// 12-bit values and on values too large for the integer path.
TEST(ShellNormals, BodySetterAgreesWithTheEstimatorVoxelByVoxel) {
  for (int range : {4096, 1 << 30}) {
    auto scn = CreateScene(9, 8, 7);
    unsigned seed = 7;
    for (int &v : scn->data) {
      seed = seed * 1103515245u + 12345u;
      v = 1 + static_cast<int>((seed >> 1) % static_cast<unsigned>(range));
    }
    auto shell = NewBodyShell(9, 8, 7, 9 * 8 * 7);
    SetShellVoxels(shell.get(), scn.get());
    SetShellList(shell.get(), scn.get());
    SetBodyShellNormal(shell.get(), scn.get(), Gradient3);
    auto A = Spheric(2.5f);
    auto offsets = AdjVoxels(scn.get(), A.get());
    for (int z = 0; z < 7; z++)
      for (int y = 0; y < 8; y++)
        for (int x = 0; x < 9; x++) {
          float g[3];
          double m = Gradient3(scn.get(), x, y, z, g, A.get(), offsets.get());
          int i = GetPointer(shell.get(), x, y, z);
          ASSERT_EQ(int(shell->body[i].gradient), static_cast<int>(std::min(m, 32767.0))) << range;
          float u[3] = {g[0], g[1], g[2]};
          VectorNormalize(u);
          ASSERT_EQ(int(shell->voxel[i].normal), GetNormalIndex(u)) << range << " " << x << y << z;
        }
  }
}

TEST(ShellNormals, ShellsAndScenesMustAgree) {
  auto object = NewShell(3, 3, 3, 0);
  auto scn = CreateScene(3, 3, 3);
  EXPECT_EQ(FatalText([&] { SetBodyShellNormal(object.get(), scn.get(), Gradient3); }),
            "Error:The shell has no body in SetBodyShellNormal");
  auto other = CreateScene(3, 3, 4);
  EXPECT_EQ(FatalText([&] { SetShellNormal(object.get(), other.get(), Gradient3); }),
            "Error:The scene is 3 x 3 x 4 but the shell 3 x 3 x 3 in SetShellNormal");
  EXPECT_NE(FatalText([&] { SetObjectNormal(object.get(), other.get(), DistGradient3, 1); }), "");
  // nobjects with a low byte of 0 sets nothing.
  object->nobjects = 256;
  SetDistNormal(object.get());
}

TEST(ShellNormals, NormalSceneMarksNonZeroVoxels) {
  auto ramp = RampX(5);
  auto normals = NormalScene(ramp.get(), Gradient3);
  EXPECT_EQ(normals->data[ramp->Address(0, 2, 2)], 0);  // value 0: not visited
  EXPECT_EQ(normals->data[ramp->Address(2, 2, 2)], Index(0, 179));  // towards -x
}

}  // namespace
