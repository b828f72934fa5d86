// Scenes: SCN files, slices, resampling, boxes, labels and the checks on
// positions and sizes that commands rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "commands/modules.h"
#include "core/adjacency3.h"
#include "core/common.h"
#include "core/scene.h"
#include "support/interp.h"
#include "support/phantom.h"

namespace {

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/orvane_scene_XXXXXX";
    path_ = mkdtemp(name);
  }
  ~TempDir() {
    chmod(path_.c_str(), 0755);
    std::string cmd = "rm -rf '" + path_ + "'";
    if (system(cmd.c_str()) != 0) perror("rm");
  }
  std::string File(const std::string &name) const { return path_ + "/" + name; }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteBytes(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// The message of a core call that must fail.
template <class F>
std::string FailureOf(F &&f) {
  try {
    f();
  } catch (const FatalError &e) {
    return e.what();
  }
  return "no failure";
}

std::unique_ptr<Scene> SceneOf(int x, int y, int z, std::vector<int> values) {
  auto scn = CreateScene(x, y, z);
  scn->data.assign(values.begin(), values.end());
  return scn;
}

}  // namespace

// ---- SCN files ----

TEST(SceneFile, WidthFollowsTheMaximum) {
  TempDir dir;
  struct Case {
    std::vector<int> values;
    std::string bits;
    std::string payload;
  };
  // 2 x 1 x 2 scenes; the large value sits in the last voxel.
  std::vector<Case> cases = {
      {{0, 7, 1, 255}, "8", std::string("\x00\x07\x01\xff", 4)},
      {{0, 7, 1, 256}, "16", std::string("\x00\x00\x07\x00\x01\x00\x00\x01", 8)},
      {{0, 7, 1, 65535}, "16", std::string("\x00\x00\x07\x00\x01\x00\xff\xff", 8)},
      {{0, -2, 1, 65536},
       "32",
       std::string("\x00\x00\x00\x00\xfe\xff\xff\xff\x01\x00\x00\x00\x00\x00\x01\x00", 16)},
      // A negative value goes out as its low byte when the maximum is small.
      {{-1, 0, 3, 4}, "8", std::string("\xff\x00\x03\x04", 4)},
  };
  for (const Case &c : cases) {
    auto scn = SceneOf(2, 1, 2, c.values);
    scn->dx = 0.5f;
    scn->dz = 2.25f;
    std::string path = dir.File("s.scn");
    WriteScene(scn.get(), path.c_str());
    std::string expected = "SCN\n2 1 2\n0.500000 1.000000 2.250000\n" + c.bits + "\n" + c.payload;
    EXPECT_EQ(ReadBytes(path), expected) << c.bits;
    int max = 0;
    for (int v : c.values) max = std::max(max, v);
    EXPECT_EQ(scn->maxval, max);
  }
}

TEST(SceneFile, RoundTripOfEveryWidth) {
  TempDir dir;
  std::string path = dir.File("r.scn");
  // The grey phantom reaches 2000 (16 bits); a large last voxel forces 32.
  for (int top : {60000, 3000000}) {
    auto scn = phantom::GreyPhantom(9, 10, 11, 0.75f, 2.5f);
    scn->data[scn->VoxelCount() - 1] = top;
    scn->data[0] = -70000;  // survives only in 32 bits
    WriteScene(scn.get(), path.c_str());
    std::string header = "SCN\n9 10 11\n0.750000 0.750000 2.500000\n" +
                         std::string(top > 65535 ? "32" : "16") + "\n";
    EXPECT_EQ(ReadBytes(path).substr(0, header.size()), header);
    auto back = ReadScene(path.c_str());
    if (top <= 65535) scn->data[0] = -70000 & 0xffff;
    EXPECT_EQ(back->data, scn->data) << top;
    EXPECT_EQ(back->maxval, *std::max_element(scn->data.begin(), scn->data.end()));
    EXPECT_EQ(back->xsize, 9);
    EXPECT_EQ(back->ysize, 10);
    EXPECT_EQ(back->zsize, 11);
    EXPECT_EQ(back->dx, 0.75f);
    EXPECT_EQ(back->dy, 0.75f);
    EXPECT_EQ(back->dz, 2.5f);
  }
  auto labels = phantom::LabelledPhantom(12, 10, 9);
  WriteScene(labels.get(), path.c_str());
  std::string header = "SCN\n12 10 9\n1.000000 1.000000 1.000000\n8\n";
  EXPECT_EQ(ReadBytes(path).size(), header.size() + 12 * 10 * 9);
  auto back = ReadScene(path.c_str());
  EXPECT_EQ(back->data, labels->data);
  EXPECT_EQ(back->maxval, 5);
}

TEST(SceneFile, OtherBitCountsReadAsThirtyTwo) {
  TempDir dir;
  std::string path = dir.File("w.scn");
  WriteBytes(path, "SCN\n2 1 1\n1.0 1.0 1.0\n12\n" + std::string("\x01\x00\x00\x00\xff\xff\xff\xff", 8));
  testing::internal::CaptureStdout();
  auto scn = ReadScene(path.c_str());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Warning:32-bit data. Values may be wrong (little/big endian byte ordering) in ReadScene\n");
  EXPECT_EQ(scn->data, (std::vector<int>{1, -1}));
  EXPECT_EQ(scn->maxval, 1);
}

TEST(SceneFile, MalformedHeadersFail) {
  TempDir dir;
  std::string path = dir.File("m.scn");
  auto failure = [&](const std::string &bytes) {
    WriteBytes(path, bytes);
    return FailureOf([&] { ReadScene(path.c_str()); });
  };
  EXPECT_EQ(failure("SCNX\n1 1 1\n1 1 1\n8\n\x01"), "Error:Input scene must be SCN in ReadScene");
  EXPECT_EQ(failure("P5\n1 1\n255\n\x01"), "Error:Input scene must be SCN in ReadScene");
  EXPECT_EQ(failure(""), "Error:Input scene must be SCN in ReadScene");
  EXPECT_EQ(failure("SCN\n4 0 4\n1 1 1\n8\n"),
            "Error:" + path + ": invalid scene size 4 x 0 x 4 in ReadScene");
  EXPECT_EQ(failure("SCN\n-3 4 4\n1 1 1\n8\n"),
            "Error:" + path + ": invalid scene size -3 x 4 x 4 in ReadScene");
  EXPECT_EQ(failure("SCN\n100000 100000 100000\n1 1 1\n8\n"),
            "Error:Size 100000 x 100000 x 100000 is too large in ReadScene");
  EXPECT_EQ(failure("SCN\n4 4\n"),
            "Error:" + path + ": malformed SCN header (expected three sizes) in ReadScene");
  EXPECT_EQ(failure("SCN\n1 1 1\n1.0 x\n"),
            "Error:" + path + ": malformed SCN header (expected three voxel sizes) in ReadScene");
  EXPECT_EQ(failure("SCN\n1 1 1\n1 1 1\n"),
            "Error:" + path + ": malformed SCN header (expected the bit count) in ReadScene");
  EXPECT_EQ(FailureOf([&] { ReadScene(dir.File("missing.scn").c_str()); }),
            "Error:Cannot open file " + dir.File("missing.scn") + " in ReadScene");
}

TEST(SceneFile, TruncatedVoxelDataFails) {
  TempDir dir;
  std::string path = dir.File("t.scn");
  auto failure = [&](const std::string &bytes) {
    WriteBytes(path, bytes);
    return FailureOf([&] { ReadScene(path.c_str()); });
  };
  // 3 x 2 x 2 = 12 voxels.
  EXPECT_EQ(failure("SCN\n3 2 2\n1 1 1\n8\n" + std::string(11, '\x01')),
            "Error:" + path + ": expected 12 bytes of voxel data, found 11 in ReadScene");
  EXPECT_EQ(failure("SCN\n3 2 2\n1 1 1\n16\n" + std::string(20, '\x01')),
            "Error:" + path + ": expected 24 bytes of voxel data, found 20 in ReadScene");
  testing::internal::CaptureStdout();
  EXPECT_EQ(failure("SCN\n3 2 2\n1 1 1\n32\n"),
            "Error:" + path + ": expected 48 bytes of voxel data, found 0 in ReadScene");
  testing::internal::GetCapturedStdout();
  // A header promising far more than the file holds fails before allocating.
  EXPECT_EQ(failure("SCN\n1000 1000 500\n1 1 1\n16\n\x01\x02"),
            "Error:" + path + ": expected 1000000000 bytes of voxel data, found 2 in ReadScene");
  // Exactly enough is fine, and bytes after the voxels are ignored.
  WriteBytes(path, "SCN\n3 2 2\n1 1 1\n8\n" + std::string(12, '\x02') + "tail");
  EXPECT_EQ(ReadScene(path.c_str())->data, std::vector<int>(12, 2));
}

// A write that fails half way (here: the file size limit, which binds even
// root) fails the call and leaves the old file as it was.
TEST(SceneFile, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  std::string path = dir.File("keep.scn");
  WriteBytes(path, "old contents");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &lim);
    int code = 1;
    try {
      auto scn = CreateScene(64, 64, 4);  // 16 KiB of 8-bit voxels
      WriteScene(scn.get(), path.c_str());
    } catch (const FatalError &e) {
      std::string msg = e.what();
      code = msg.rfind("Error:Cannot write " + path + ": ", 0) == 0 &&
                     msg.size() > 14 && msg.compare(msg.size() - 14, 14, " in WriteScene") == 0
                 ? 0
                 : 2;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(path), "old contents");
  // No temporary file is left behind.
  std::string listing;
  FILE *ls = popen(("ls -A '" + dir.path() + "'").c_str(), "r");
  char buf[256];
  while (fgets(buf, sizeof buf, ls)) listing += buf;
  pclose(ls);
  EXPECT_EQ(listing, "keep.scn\n");
}

TEST(SceneFile, UnwritableDirectoryKeepsTheOldFile) {
  TempDir dir;
  std::string path = dir.File("keep.scn");
  WriteBytes(path, "old contents");
  auto scn = CreateScene(2, 2, 2);
  EXPECT_EQ(FailureOf([&] { WriteScene(scn.get(), dir.File("none/x.scn").c_str()); }),
            "Error:Cannot open file " + dir.File("none/x.scn") + " in WriteScene");
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  chmod(dir.path().c_str(), 0555);
  EXPECT_EQ(FailureOf([&] { WriteScene(scn.get(), path.c_str()); }),
            "Error:Cannot open file " + path + " in WriteScene");
  EXPECT_EQ(ReadBytes(path), "old contents");
}

// ---- slices ----

TEST(SceneSlices, CutAndPutAlongEveryAxis) {
  // voxel (x, y, z) = 100 z + 10 y + x in a 4 x 3 x 2 scene
  auto scn = CreateScene(4, 3, 2);
  for (int z = 0; z < 2; z++)
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 4; x++) scn->data[x + 4 * y + 12 * z] = 100 * z + 10 * y + x;

  auto zs = GetSlice(scn.get(), 1);
  EXPECT_EQ(zs->ncols, 4);
  EXPECT_EQ(zs->nrows, 3);
  EXPECT_EQ(zs->at(3, 2), 123);
  auto xs = GetXSlice(scn.get(), 2);
  EXPECT_EQ(xs->ncols, 3);
  EXPECT_EQ(xs->nrows, 2);
  EXPECT_EQ(xs->val, (std::vector<int>{2, 12, 22, 102, 112, 122}));
  auto ys = GetYSlice(scn.get(), 1);
  EXPECT_EQ(ys->ncols, 4);
  EXPECT_EQ(ys->nrows, 2);
  EXPECT_EQ(ys->val, (std::vector<int>{10, 11, 12, 13, 110, 111, 112, 113}));

  auto out = CreateScene(4, 3, 2);
  PutSlice(GetSlice(scn.get(), 0).get(), out.get(), 0);
  PutXSlice(xs.get(), out.get(), 2);
  PutYSlice(ys.get(), out.get(), 1);
  // Slice 0 entire, plus column x = 2 and row y = 1 of slice 1.
  for (int z = 0; z < 2; z++)
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 4; x++) {
        bool copied = z == 0 || x == 2 || y == 1;
        EXPECT_EQ(out->data[x + 4 * y + 12 * z], copied ? 100 * z + 10 * y + x : 0);
      }
}

TEST(SceneSlices, PositionsOutsideTheSceneFail) {
  auto scn = CreateScene(4, 3, 2);
  EXPECT_EQ(FailureOf([&] { GetSlice(scn.get(), 2); }),
            "Error:Slice 2 is outside the scene (z from 0 to 1) in GetSlice");
  EXPECT_EQ(FailureOf([&] { GetSlice(scn.get(), -1); }),
            "Error:Slice -1 is outside the scene (z from 0 to 1) in GetSlice");
  EXPECT_EQ(FailureOf([&] { GetXSlice(scn.get(), 4); }),
            "Error:Slice 4 is outside the scene (x from 0 to 3) in GetXSlice");
  EXPECT_EQ(FailureOf([&] { GetYSlice(scn.get(), 3); }),
            "Error:Slice 3 is outside the scene (y from 0 to 2) in GetYSlice");
  auto img = CreateImage(4, 3);
  EXPECT_EQ(FailureOf([&] { PutSlice(img.get(), scn.get(), 5); }),
            "Error:Slice 5 is outside the scene (z from 0 to 1) in PutSlice");
  EXPECT_EQ(FailureOf([&] { PutXSlice(img.get(), scn.get(), -4); }),
            "Error:Slice -4 is outside the scene (x from 0 to 3) in PutXSlice");
  EXPECT_EQ(FailureOf([&] { PutYSlice(img.get(), scn.get(), 3); }),
            "Error:Slice 3 is outside the scene (y from 0 to 2) in PutYSlice");
  // Images of the wrong size.
  auto wide = CreateImage(5, 3);
  EXPECT_EQ(FailureOf([&] { PutSlice(wide.get(), scn.get(), 0); }),
            "Error:Image of 5 x 3 pixels does not match the 4 x 3 z slices of the scene in PutSlice");
  EXPECT_EQ(FailureOf([&] { PutXSlice(img.get(), scn.get(), 0); }),
            "Error:Image of 4 x 3 pixels does not match the 3 x 2 x slices of the scene in PutXSlice");
  EXPECT_EQ(FailureOf([&] { PutYSlice(img.get(), scn.get(), 0); }),
            "Error:Image of 4 x 3 pixels does not match the 4 x 2 y slices of the scene in PutYSlice");
  EXPECT_EQ(scn->data, std::vector<int>(24, 0));
}

// ---- resampling ----

namespace {

// An independent integer-only version of the resampling rule for spacings
// that are multiples of 1/4: in quarter units D = 4d, ND = 4nd, position
// P = ND i, k = P div D, T = P - D k, and the weighted sum (D - T) a + T b
// is four times the real one.
struct Vol {
  int n[3];
  std::vector<long long> v;
  long long &at(int x, int y, int z) { return v[x + n[0] * (y + n[1] * z)]; }
};

Vol RefPass(Vol in, int axis, int D, int ND) {
  int n = in.n[axis];
  int nn = D * (n - 1) / ND + 1;
  Vol out = in;
  out.n[axis] = nn;
  out.v.assign(static_cast<size_t>(out.n[0]) * out.n[1] * out.n[2], 0);
  for (int z = 0; z < out.n[2]; z++)
    for (int y = 0; y < out.n[1]; y++)
      for (int x = 0; x < out.n[0]; x++) {
        int c[3] = {x, y, z};
        int i = c[axis];
        int P = ND * i, k = P / D, T = P - D * k;
        auto value = [&](int j) -> long long {
          if (j < 0 || j >= n) return 0;
          int q[3] = {x, y, z};
          q[axis] = j;
          return in.at(q[0], q[1], q[2]);
        };
        long long W4 = (D - T) * value(k) + T * value(k + 1);
        long long w = W4 / 4;  // C++ division truncates toward zero
        out.at(x, y, z) = 4 * w / D;
      }
  return out;
}

}  // namespace

TEST(SceneInterp, AxisOfTenVoxels) {
  auto scn = SceneOf(10, 1, 1, {0, 10, 20, 30, 40, 50, 60, 70, 80, 91});
  auto half = LinearInterp(scn.get(), 2.0f, 1.0f, 1.0f);
  EXPECT_EQ(half->xsize, 5);
  EXPECT_EQ(half->data, (std::vector<int>{0, 20, 40, 60, 80}));
  EXPECT_EQ(half->dx, 2.0f);
  auto twice = LinearInterp(scn.get(), 0.5f, 1.0f, 1.0f);
  EXPECT_EQ(twice->xsize, 19);
  EXPECT_EQ(twice->data, (std::vector<int>{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65,
                                            70, 75, 80, 85, 91}));
  // The odd ones are truncated means: (80 + 91)/2 = 85.5 -> 85; (-3 + 0)/2 -> -1.
  auto neg = SceneOf(2, 1, 1, {-3, 0});
  EXPECT_EQ(LinearInterp(neg.get(), 0.5f, 1.0f, 1.0f)->data, (std::vector<int>{-3, -1, 0}));
}

TEST(SceneInterp, AgreesWithAnIntegerReference) {
  struct Case {
    float d[3], nd[3];
  };
  std::vector<Case> cases = {
      {{1.0f, 1.0f, 2.0f}, {1.0f, 1.0f, 1.0f}},
      {{0.75f, 1.25f, 2.5f}, {1.0f, 1.0f, 1.0f}},
      {{1.0f, 1.0f, 1.0f}, {0.75f, 1.5f, 0.5f}},
      {{2.0f, 0.5f, 1.75f}, {0.25f, 3.0f, 1.25f}},
  };
  auto grey = phantom::GreyPhantom(9, 8, 10, 1.0f, 1.0f);
  grey->data[3] = -777;  // truncation toward zero of negative sums
  for (const Case &c : cases) {
    grey->dx = c.d[0], grey->dy = c.d[1], grey->dz = c.d[2];
    grey->maxval = 4242;
    auto got = LinearInterp(grey.get(), c.nd[0], c.nd[1], c.nd[2]);

    Vol ref{{grey->xsize, grey->ysize, grey->zsize}, {}};
    ref.v.assign(grey->data.begin(), grey->data.end());
    for (int axis = 0; axis < 3; axis++)
      if (c.d[axis] != c.nd[axis])
        ref = RefPass(ref, axis, static_cast<int>(4 * c.d[axis]), static_cast<int>(4 * c.nd[axis]));
    ASSERT_EQ(got->xsize, ref.n[0]);
    ASSERT_EQ(got->ysize, ref.n[1]);
    ASSERT_EQ(got->zsize, ref.n[2]);
    std::vector<int> expected(ref.v.begin(), ref.v.end());
    EXPECT_EQ(got->data, expected) << c.nd[0] << " " << c.nd[1] << " " << c.nd[2];
    EXPECT_EQ(got->dx, c.nd[0]);
    EXPECT_EQ(got->dy, c.nd[1]);
    EXPECT_EQ(got->dz, c.nd[2]);
    EXPECT_EQ(got->maxval, 4242);
  }
}

TEST(SceneInterp, ZeroSizesAndSpecialCases) {
  auto scn = phantom::GreyPhantom(8, 8, 8, 2.0f, 1.0f);
  // A 0 makes every axis the smallest input size: x and y double.
  auto iso = LinearInterp(scn.get(), 0.0f, 5.0f, 5.0f);
  EXPECT_EQ(iso->xsize, 15);
  EXPECT_EQ(iso->ysize, 15);
  EXPECT_EQ(iso->zsize, 8);
  EXPECT_EQ(iso->dx, 1.0f);
  EXPECT_EQ(iso->dz, 1.0f);
  // Unchanged sizes give a copy.
  scn->maxval = 17;
  auto same = LinearInterp(scn.get(), 2.0f, 2.0f, 1.0f);
  EXPECT_EQ(same->data, scn->data);
  EXPECT_EQ(same->maxval, 17);
  // All-zero voxel sizes become 1.0 in the input.
  scn->dx = scn->dy = scn->dz = 0.0f;
  auto unit = LinearInterp(scn.get(), 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(scn->dx, 1.0f);
  EXPECT_EQ(unit->data, scn->data);
  // Non-positive sizes fail.
  EXPECT_EQ(FailureOf([&] { LinearInterp(scn.get(), -1.0f, 1.0f, 1.0f); }),
            "Error:Voxel distance can not be negative. in LinearInterp");
  scn->dx = -2.0f;
  EXPECT_EQ(FailureOf([&] { LinearInterp(scn.get(), 0.0f, 1.0f, 1.0f); }),
            "Error:Voxel distance can not be negative. in LinearInterp");
}

// ---- values, boxes and frames ----

TEST(SceneValues, MaximumMinimumAndFill) {
  auto scn = SceneOf(2, 2, 1, {-5, -1, -9, -2});
  EXPECT_EQ(MaximumValue3(scn.get()), 0);
  EXPECT_EQ(MinimumValue3(scn.get()), -9);
  SetScene(scn.get(), 70000);
  EXPECT_EQ(scn->maxval, 70000);
  EXPECT_EQ(MinimumValue3(scn.get()), 65535);
  scn->data = {3, 7, 3, 1};
  scn->maxval = 99;
  EXPECT_EQ(SceneImax(scn.get()), 99);
  SetLabelScene(scn.get(), 7, 2);
  EXPECT_EQ(scn->data, (std::vector<int>{3, 2, 3, 1}));
  EXPECT_EQ(scn->maxval, 3);
  EXPECT_EQ(MaximumValue3(scn.get()), 3);
}

TEST(SceneBoxes, RoiMbbAndFrames) {
  auto scn = phantom::LabelledPhantom(10, 10, 10);
  scn->dx = 0.5f;
  auto roi = ROI3(scn.get(), 1, 2, 3, 4, 4, 3);
  ASSERT_NE(roi, nullptr);
  EXPECT_EQ(roi->xsize, 4);
  EXPECT_EQ(roi->ysize, 3);
  EXPECT_EQ(roi->zsize, 1);
  EXPECT_EQ(roi->dx, 0.5f);
  EXPECT_EQ(roi->maxval, 0);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 4; x++)
      EXPECT_EQ(roi->data[roi->Address(x, y, 0)], scn->data[scn->Address(x + 1, y + 2, 3)]);
  EXPECT_EQ(ROI3(scn.get(), 0, 0, 0, 10, 9, 9), nullptr);
  EXPECT_EQ(ROI3(scn.get(), -1, 0, 0, 9, 9, 9), nullptr);
  EXPECT_EQ(ROI3(scn.get(), 5, 0, 0, 4, 9, 9), nullptr);

  auto few = CreateScene(6, 5, 4);
  few->data[few->Address(4, 1, 2)] = 3;
  few->data[few->Address(1, 3, 1)] = 1;
  few->data[few->Address(0, 0, 0)] = -4;  // not positive: outside the box
  auto box = MBB3(few.get());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->xsize, 4);
  EXPECT_EQ(box->ysize, 3);
  EXPECT_EQ(box->zsize, 2);
  EXPECT_EQ(box->data[box->Address(3, 0, 1)], 3);
  EXPECT_EQ(box->data[box->Address(0, 2, 0)], 1);
  EXPECT_EQ(MBB3(CreateScene(3, 3, 3).get()), nullptr);

  auto framed = AddFrame3(scn.get(), 2, 9);
  EXPECT_EQ(framed->xsize, 14);
  EXPECT_EQ(framed->zsize, 14);
  EXPECT_EQ(framed->maxval, 9);
  EXPECT_EQ(framed->dx, 1.0f);
  EXPECT_EQ(framed->data[framed->Address(0, 7, 7)], 9);
  EXPECT_EQ(framed->data[framed->Address(13, 13, 13)], 9);
  EXPECT_EQ(framed->data[framed->Address(3, 3, 3)], scn->data[scn->Address(1, 1, 1)]);
  auto back = RemFrame3(framed.get(), 2);
  EXPECT_EQ(back->data, scn->data);
  EXPECT_EQ(back->dx, 1.0f);
  EXPECT_EQ(FailureOf([&] { RemFrame3(scn.get(), 5); }),
            "Error:Invalid frame size 5 for a scene of 10 x 10 x 10 in RemFrame3");
  EXPECT_EQ(FailureOf([&] { RemFrame3(scn.get(), -1); }),
            "Error:Invalid frame size -1 for a scene of 10 x 10 x 10 in RemFrame3");
  EXPECT_EQ(FailureOf([&] { AddFrame3(scn.get(), -1, 0); }),
            "Error:Invalid frame size -1 in AddFrame3");
}

TEST(SceneBoxes, ImageSurfaceStacksColumns) {
  auto img = CreateImage(3, 1);
  img->val = {2, -1, 0};
  auto surf = ImageSurface(img.get());
  EXPECT_EQ(surf->xsize, 3);
  EXPECT_EQ(surf->ysize, 1);
  EXPECT_EQ(surf->zsize, 3);
  // z-major: (x0 x1 x2) per slice.
  EXPECT_EQ(surf->data, (std::vector<int>{1, 0, 1, 1, 0, 0, 1, 0, 0}));
}

// ---- labels and borders ----

TEST(SceneLabels, MergeShiftsTheSecondScene) {
  auto a = SceneOf(3, 1, 1, {1, 2, 0});
  auto b = SceneOf(3, 1, 1, {0, 1, 1});
  auto m = MergeLabels(a.get(), b.get());
  EXPECT_EQ(m->data, (std::vector<int>{1, 3, 3}));
  EXPECT_EQ(a->maxval, 2);
  EXPECT_EQ(m->maxval, 0);
  auto c = CreateScene(3, 1, 2);
  EXPECT_EQ(FailureOf([&] { MergeLabels(a.get(), c.get()); }),
            "Error:Scenes have different sizes (3 x 1 x 1 and 3 x 1 x 2) in MergeLabels");
  EXPECT_EQ(FailureOf([&] { DrawBorder3(a.get(), c.get(), 1); }),
            "Error:Scenes have different sizes (3 x 1 x 1 and 3 x 1 x 2) in DrawBorder3");
}

TEST(SceneLabels, BordersOfThePhantom) {
  const int X = 12, Y = 10, Z = 9;
  auto labels = phantom::LabelledPhantom(X, Y, Z);
  auto shapes = phantom::LabelledShapes(X, Y, Z);
  auto label = [&](int x, int y, int z) {
    if (x < 0 || y < 0 || z < 0 || x >= X || y >= Y || z >= Z) return -1;
    int l = 0;
    for (auto &s : shapes)
      if (s.Contains(x, y, z)) l = s.value;
    return l;
  };
  auto A = Spheric(1.0f);
  auto border = GetBorder3(labels.get(), A.get());
  auto drawn = DrawBorder3(labels.get(), labels.get(), 99);
  int borderCount = 0;
  for (int z = 0; z < Z; z++)
    for (int y = 0; y < Y; y++)
      for (int x = 0; x < X; x++) {
        int l = label(x, y, z);
        ASSERT_EQ(labels->data[labels->Address(x, y, z)], l);
        int n6[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
        bool onBorder = false, belowNeighbour = false;
        for (auto &d : n6) {
          int q = label(x + d[0], y + d[1], z + d[2]);
          if (q != l) onBorder = true;
          if (q >= 0 && l < q) belowNeighbour = true;
        }
        int expected = l != 0 && onBorder ? l : 0;
        borderCount += expected != 0;
        EXPECT_EQ(border->data[border->Address(x, y, z)], expected) << x << " " << y << " " << z;
        EXPECT_EQ(drawn->data[drawn->Address(x, y, z)], belowNeighbour ? 99 : l);
      }
  EXPECT_GT(borderCount, 0);
  auto obj = GetObject(labels.get(), 2);
  for (int p = 0; p < labels->VoxelCount(); p++)
    EXPECT_EQ(obj->data[p], labels->data[p] == 2 ? 2 : 0);
}

TEST(SceneLabels, DrawAdjSkipsVoxelsOutside) {
  auto scn = CreateScene(5, 4, 3);
  auto A = Spheric(1.0f);
  DrawAdj3(scn.get(), A.get(), {0}, 7);  // the middle (2, 2, 1)
  int count = 0;
  for (int v : scn->data) count += v == 7;
  EXPECT_EQ(count, 7);
  EXPECT_EQ(scn->data[scn->Address(2, 2, 1)], 7);
  EXPECT_EQ(scn->data[scn->Address(2, 3, 1)], 7);
  SetScene(scn.get(), 0);
  DrawAdj3(scn.get(), A.get(), {0, 0, 0}, 5);  // a corner: 4 of 7 inside
  count = 0;
  for (int v : scn->data) count += v == 5;
  EXPECT_EQ(count, 4);
  DrawAdj3(scn.get(), A.get(), {-50, 900, 3}, 5);
  EXPECT_EQ(FailureOf([&] { DrawAdj3(scn.get(), A.get(), {1, 2}, 5); }),
            "Error:The centre must be a list of three integers or 0 in DrawAdj3");
}

// ---- voxels and comparison ----

TEST(SceneVoxels, AddressesAndEdges) {
  auto scn = CreateScene(4, 3, 2);
  scn->data[23] = 8;
  EXPECT_TRUE(ValidVoxel(scn.get(), 3, 2, 1));
  EXPECT_FALSE(ValidVoxel(scn.get(), 4, 0, 0));
  EXPECT_FALSE(ValidVoxel(scn.get(), 0, -1, 0));
  EXPECT_EQ(VoxelValue(scn.get(), 3, 2, 1), 8);
  EXPECT_EQ(VoxelValue(scn.get(), 3, 2, 2), 0);
  EXPECT_EQ(Coord2Voxel(scn.get(), 3, 2, 1), 23);
  EXPECT_EQ(GetVoxelValue(scn.get(), 23), 8);
  EXPECT_EQ(FailureOf([&] { Coord2Voxel(scn.get(), 0, 3, 0); }),
            "Error:Voxel (0, 3, 0) is outside the scene of 4 x 3 x 2 voxels in Coord2Voxel");
  EXPECT_EQ(FailureOf([&] { GetVoxelValue(scn.get(), 24); }),
            "Error:Voxel 24 is outside the scene (addresses 0 to 23) in GetVoxelValue");
  EXPECT_EQ(FailureOf([&] { GetVoxelValue(scn.get(), -1); }),
            "Error:Voxel -1 is outside the scene (addresses 0 to 23) in GetVoxelValue");
  // Slice 1 of 12: (1, 1) is interior, everything else of a 4 x 3 slice is edge.
  EXPECT_FALSE(EdgeVoxel(scn.get(), 12 + 5, 12));
  EXPECT_FALSE(EdgeVoxel(scn.get(), 6, 12));
  EXPECT_TRUE(EdgeVoxel(scn.get(), 12 + 4, 12));
  EXPECT_TRUE(EdgeVoxel(scn.get(), 7, 12));
  EXPECT_TRUE(EdgeVoxel(scn.get(), 9, 12));
  EXPECT_EQ(FailureOf([&] { EdgeVoxel(scn.get(), 24, 12); }),
            "Error:Voxel 24 is outside the scene (addresses 0 to 23) in EdgeVoxel");
  EXPECT_EQ(FailureOf([&] { EdgeVoxel(scn.get(), 3, 0); }),
            "Error:Invalid slice size 0 in EdgeVoxel");
}

TEST(SceneVoxels, Comparisons) {
  auto a = SceneOf(2, 2, 1, {1, 2, 3, 4});
  auto b = SceneOf(2, 2, 1, {1, 2, 0, 0});
  auto c = SceneOf(4, 1, 1, {1, 2, 3, 4});
  testing::internal::CaptureStderr();
  EXPECT_TRUE(ScenesAreEqual(a.get(), CopyScene(a.get()).get()));
  EXPECT_FALSE(ScenesAreEqual(a.get(), b.get()));
  EXPECT_FALSE(ScenesAreEqual(a.get(), c.get()));
  CompareScenes(a.get(), c.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Scenes have different values (in voxel 2 for example)\n"
            "Scenes have different sizes\n"
            "Scenes have different sizes\n");
  testing::internal::CaptureStdout();
  CompareScenes(a.get(), b.get());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "2 voxels are different in a scene of 4 voxels\n");
}

// ---- commands ----

TEST(SceneCommands, UsageMessages) {
  const std::map<std::string, std::string> usage = {
      {"ROI3", "<scn> <xl> <yl> <zl> <xh> <yh> <zh>"},
      {"CreateScene", "<xsize> <ysize> <zsize>"},
      {"DestroyScene", "<scn>"},
      {"CopyScene", "<scn>"},
      {"ValidVoxel", "<scn> <vx> <vy> <vz>"},
      {"MaximumValue3", "<scn>"},
      {"MinimumValue3", "<scn>"},
      {"MBB3", "<scn>"},
      {"ReadScene", "<filename>"},
      {"WriteScene", "<scn> <filename>"},
      {"GetSlice", "<scn> <z>"},
      {"GetXSlice", "<scn> <x>"},
      {"GetYSlice", "<scn> <y>"},
      {"PutXSlice", "<img> <scn> <z>"},
      {"PutYSlice", "<img> <scn> <z>"},
      {"PutSlice", "<img> <scn> <z>"},
      {"LinearInterp", "<scn> <dx> <dy> <dz>"},
      {"ImageSurface", "<img>"},
      {"AddFrame3", "<scn> <sz> <value>"},
      {"RemFrame3", "<fscn> <sz>"},
      {"MergeLabels", "<scn1> <scn2>"},
      {"SceneImax", "<scn>"},
      {"EdgeVoxel", "<scn> <v> <s>"},
      {"GetNSlices", "<scn>"},
      {"GetXSize", "<scn>"},
      {"GetYSize", "<scn>"},
      {"GetZSize", "<scn>"},
      {"GetDx", "<scn>"},
      {"GetDy", "<scn>"},
      {"GetDz", "<scn>"},
      {"SetDx", "<scn> <dx>"},
      {"SetDy", "<scn> <dy>"},
      {"SetDz", "<scn> <dz>"},
      {"Coord2Voxel", "<scn> <x> <y> <z>"},
      {"GetVoxelValue", "<scn> <voxel>"},
      {"DrawBorder3", "<scn> <label> <value>"},
      {"ScenesAreEqual", "<scn1> <scn2>"},
      {"CompareScenes", "<scn1> <scn2>"},
      {"SetScene", "<scn> <value>"},
      {"SetLabelScene", "<scn> <label> <value>"},
      {"ShapeBasedInterp", "<scn> <dx> <dy> <dz>"},
      {"GetBorder3", "<scn> <A>"},
      {"DrawAdj3", "<scn> <A> <center> <value>"},
  };
  auto specs = SceneCommands();
  ASSERT_EQ(specs.size(), 43u);
  EXPECT_EQ(std::string(specs.front().name), "ROI3");
  EXPECT_EQ(std::string(specs.back().name), "DrawAdj3");
  TestInterp t(specs);
  for (const auto &[name, params] : usage) {
    std::string expected = "usage: " + name + " " + params + "\n";
    EXPECT_EQ(t.Err(name), expected);
    // One argument too many, even an empty one.
    std::string full = name;
    int count = static_cast<int>(std::count(params.begin(), params.end(), '<'));
    for (int i = 0; i <= count; i++) full += " {}";
    EXPECT_EQ(t.Err(full), expected);
  }
}

TEST(SceneCommands, ScriptsSeeCheckedPositions) {
  TestInterp t(SceneCommands());
  std::string s = t.Ok("CreateScene 4 3 2");
  EXPECT_EQ(t.Ok("GetNSlices " + s), "2");
  EXPECT_EQ(t.Ok("GetXSize " + s + "abc"), "4");
  EXPECT_EQ(t.Ok("GetDx " + s), "1.000000");
  EXPECT_EQ(t.Ok("SetDz " + s + " 2.5; GetDz " + s), "2.500000");
  EXPECT_EQ(t.Ok("SetDy " + s + " abc; GetDy " + s), "0.000000");
  EXPECT_EQ(t.Err("GetSlice " + s + " 2"), "Error:Slice 2 is outside the scene (z from 0 to 1) in GetSlice");
  EXPECT_EQ(t.Err("GetVoxelValue " + s + " 24"),
            "Error:Voxel 24 is outside the scene (addresses 0 to 23) in GetVoxelValue");
  EXPECT_EQ(t.Err("Coord2Voxel " + s + " 1 1 5"),
            "Error:Voxel (1, 1, 5) is outside the scene of 4 x 3 x 2 voxels in Coord2Voxel");
  EXPECT_EQ(t.Ok("Coord2Voxel " + s + " 3 2 1"), "23");
  EXPECT_EQ(t.Ok("ValidVoxel " + s + " 3 2 1"), "1");
  EXPECT_EQ(t.Ok("ValidVoxel " + s + " 3 2 2"), "0");
  EXPECT_EQ(t.Ok("ROI3 " + s + " 0 0 0 4 0 0"), "0");
  EXPECT_EQ(t.Ok("MBB3 " + s), "0");

  std::string img = t.Ok("GetYSlice " + s + " 1");
  EXPECT_EQ(t.Err("PutSlice " + img + " " + s + " 0"),
            "Error:Image of 4 x 2 pixels does not match the 4 x 3 z slices of the scene in PutSlice");
  EXPECT_EQ(t.Ok("PutYSlice " + img + " " + s + " 2"), "");
  EXPECT_EQ(t.Err("GetSlice " + img + " 0"), "invalid Scene handle " + img);

  // The centre of DrawAdj3 is a list; 0 is the middle.
  auto *A = Spheric(1.0f).release();
  Handle a = Objects().Adopt(std::unique_ptr<AdjRel3>(A));
  std::string as = std::to_string(a);
  EXPECT_EQ(t.Ok("DrawAdj3 " + s + " " + as + " 0 6; GetVoxelValue " + s + " 18"), "6");
  EXPECT_EQ(t.Ok("DrawAdj3 " + s + " " + as + " {0 0 0} 4; GetVoxelValue " + s + " 1"), "4");
  EXPECT_EQ(t.Ok("MaximumValue3 " + s + "; SceneImax " + s), "6");
  EXPECT_EQ(t.Err("DrawAdj3 " + s + " " + as + " {1 2} 4"),
            "Error:The centre must be a list of three integers or 0 in DrawAdj3");
  EXPECT_EQ(t.Ok("DestroyScene " + s), "");
  EXPECT_EQ(t.Err("GetXSize " + s), "invalid Scene handle " + s);
  Objects().Take<AdjRel3>(a);
}

// ---- the phantoms themselves ----

TEST(Phantom, LabelledObjectsTouch) {
  auto scn = phantom::LabelledPhantom(16, 16, 16);
  int count[6] = {0};
  for (int v : scn->data) count[v]++;
  // Hand counts for 16^3: boxes 7x7x7, 7x7x7, 7x7x7, ball r = 2 (33 voxels),
  // box 4x4x8.
  EXPECT_EQ(count[1], 343);
  EXPECT_EQ(count[2], 343);
  EXPECT_EQ(count[3], 343);
  EXPECT_EQ(count[4], 33);
  EXPECT_EQ(count[5], 128);
  EXPECT_EQ(scn->data[scn->Address(7, 3, 3)], 1);
  EXPECT_EQ(scn->data[scn->Address(8, 3, 3)], 2);
  EXPECT_EQ(scn->data[scn->Address(3, 8, 3)], 3);
  EXPECT_EQ(scn->data[scn->Address(0, 0, 15)], 5);
  auto grey = phantom::GreyPhantom(16, 16, 8, 0.5f, 2.0f);
  EXPECT_EQ(grey->dx, 0.5f);
  EXPECT_EQ(grey->dz, 2.0f);
  EXPECT_EQ(grey->data[grey->Address(0, 0, 7)], 107);
  EXPECT_EQ(grey->data[grey->Address(3, 3, 2)], 1000);
  EXPECT_EQ(grey->data[grey->Address(10, 10, 5)], 2000);
  EXPECT_EQ(grey->maxval, 2000);
}
