// The demo phantom, written by the generator and read back with the core.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/scene.h"
#include "support/files.h"

namespace {

int RunPhantom(const std::string &args, const std::string &errFile) {
  return std::system((std::string(ORVANE_MAKE_PHANTOM) + " " + args + " 2>'" + errFile + "'").c_str());
}

// The voxel whose centre lies nearest the head coordinates (x right, y up,
// z to the crown, the shortest side spanning -1 to 1) of a scene that is
// as long on every side, as the ones below are.
int VoxelAt(const Scene *s, double x, double y, double z) {
  const int vx = static_cast<int>((x + 1) / 2 * s->xsize);
  const int vy = static_cast<int>((1 - y) / 2 * s->ysize);
  const int vz = static_cast<int>((z + 1) / 2 * s->zsize);
  return s->data[s->Address(vx, vy, vz)];
}

void ExpectGrid(const Scene *s, int nx, int ny, int nz, float dz) {
  EXPECT_EQ(s->xsize, nx);
  EXPECT_EQ(s->ysize, ny);
  EXPECT_EQ(s->zsize, nz);
  EXPECT_FLOAT_EQ(s->dx, 1.0f);
  EXPECT_FLOAT_EQ(s->dy, 1.0f);
  EXPECT_FLOAT_EQ(s->dz, dz);
}

}  // namespace

TEST(DemoPhantom, RegionsHoldTheirValuesAndLabels) {
  TempDir dir;
  ASSERT_EQ(RunPhantom("'" + dir.path() + "/out' 64 64 32 2.0", dir.File("err")), 0);
  auto grey = ReadScene(dir.File("out/phantom.scn").c_str());
  auto labels = ReadScene(dir.File("out/phantom_labels.scn").c_str());
  for (const Scene *s : {grey.get(), labels.get()}) ExpectGrid(s, 64, 64, 32, 2.0f);
  // Densities by hand from the ellipsoid table: air 0; skull 1 (3500);
  // brain 1 - 0.8 (1500); a ventricle 0.2 - 0.2 (1000); the structure
  // above them 0.2 + 0.1 (1750).
  struct Probe {
    double x, y, z;
    int grey, label;
  } probes[] = {
      {0.0, 0.0, 0.0, 1500, 2},     {0.0, 0.0, 0.95, 0, 0},     {0.0, 0.90, 0.0, 3500, 1},
      {0.22, 0.0, 0.0, 1000, 3},    {-0.22, 0.0, 0.0, 1000, 4}, {0.0, 0.35, -0.15, 1750, 5},
      {-0.95, -0.95, -0.95, 0, 0},  {0.0, -0.45, 0.0, 1500, 2},
  };
  for (const Probe &p : probes) {
    EXPECT_EQ(VoxelAt(grey.get(), p.x, p.y, p.z), p.grey) << p.x << " " << p.y << " " << p.z;
    EXPECT_EQ(VoxelAt(labels.get(), p.x, p.y, p.z), p.label) << p.x << " " << p.y << " " << p.z;
  }
  EXPECT_EQ(MaximumValue3(grey.get()), 3500);
}

TEST(DemoPhantom, TheBuildWritesTheDefaultSize) {
  auto grey = ReadScene(ORVANE_DEMO_DIR "/phantom.scn");
  auto labels = ReadScene(ORVANE_DEMO_DIR "/phantom_labels.scn");
  for (const Scene *s : {grey.get(), labels.get()}) ExpectGrid(s, 128, 128, 64, 2.0f);
  // The middle voxel of the brain.
  EXPECT_EQ(grey->data[grey->Address(64, 64, 32)], 1500);
  EXPECT_EQ(labels->data[labels->Address(64, 64, 32)], 2);
  // Every ellipsoid, down to the smallest, holds some voxels.
  std::vector<int> count(11, 0);
  for (int v : labels->data) count.at(v)++;
  for (int label = 1; label <= 10; ++label) EXPECT_GT(count[label], 0) << label;
}

TEST(DemoPhantom, BadArgumentsFailWithAMessageAndWriteNothing) {
  TempDir dir;
  const std::string out = "'" + dir.path() + "/out'";
  for (const char *args : {" 0 64 32 2", " 64 64 abc 2", " 64 64 32 0", " 64 64 32 nan", " 5000 64 32 2",
                           " 64 64", " 64 64 32 2 extra"}) {
    EXPECT_NE(RunPhantom(out + args, dir.File("err")), 0) << args;
    EXPECT_FALSE(ReadTestFile(dir.File("err")).empty()) << args;
  }
  EXPECT_TRUE(ReadTestFile(dir.File("out/phantom.scn")).empty());
}
