// Shells built from tiny scenes, checked against indexes worked out by
// hand; file and section round trips; damaged files of every section.
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/curve.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/shell.h"
#include "segment/classify.h"
#include "support/fatal.h"
#include "support/files.h"

namespace {

// 4 x 3 x 2 with six non-zero voxels (x, y, z: value):
//   (1,0,0):5  (3,0,0):7  (0,2,0):2  (2,1,1):258  (1,2,1):5  (2,2,1):5
// Row order gives voxels 0..5 in that order.
std::unique_ptr<Scene> HandScene() {
  auto scn = CreateScene(4, 3, 2);
  auto set = [&](int x, int y, int z, int v) { scn->data[scn->Address(x, y, z)] = v; };
  set(1, 0, 0, 5);
  set(3, 0, 0, 7);
  set(0, 2, 0, 2);
  set(2, 1, 1, 258);
  set(1, 2, 1, 5);
  set(2, 2, 1, 5);
  return scn;
}

std::unique_ptr<Shell> HandShell(bool body = false) {
  auto scn = HandScene();
  auto shell = body ? NewBodyShell(4, 3, 2, 6) : NewShell(4, 3, 2, 6);
  SetShellVoxels(shell.get(), scn.get());
  SetShellList(shell.get(), scn.get());
  return shell;
}

std::vector<int> Values(const Image *img) { return img->val; }

TEST(ShellBuild, VoxelsRowsAndColumnsOfAHandScene) {
  auto shell = HandShell();
  ASSERT_EQ(shell->nvoxels, 6);
  const int xs[] = {1, 3, 0, 2, 1, 2};
  const int labels[] = {5, 7, 2, 2, 5, 5};
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(int(shell->voxel[i].x), xs[i]) << i;
    EXPECT_EQ(shell->voxel[i].label, labels[i]) << i;
    EXPECT_EQ(shell->voxel[i].opacity, 255);
    EXPECT_EQ(shell->voxel[i].visible, 1);
    EXPECT_EQ(int(shell->voxel[i].normal), 0);
  }
  // Mzy: 3 columns (y) by 3 rows (z = 0, 1, sentinel).
  EXPECT_EQ(Values(shell->Mzy.get()), (std::vector<int>{0, -1, 2, -1, 3, 4, 6, -1, -1}));
  // Mxz: 2 columns (z) by 5 rows (x = 0..3, sentinel).
  EXPECT_EQ(Values(shell->Mxz.get()), (std::vector<int>{0, -1, 1, 2, -1, 3, 5, -1, 6, -1}));
  const int ys[] = {2, 0, 2, 1, 2, 0};
  const int ptrs[] = {2, 0, 4, 3, 5, 1};
  for (int k = 0; k < 6; k++) {
    EXPECT_EQ(int(shell->list[k].y), ys[k]) << k;
    EXPECT_EQ(int(shell->list[k].pointer), ptrs[k]) << k;
  }
}

TEST(ShellBuild, RowRangeEndsAtTheNextNonEmptyRow) {
  auto shell = HandShell();
  int first, end;
  ShellRow(shell.get(), 2, 0, &first, &end);  // followed by the empty row (0, 1)
  EXPECT_EQ(first, 2);
  EXPECT_EQ(end, 3);
  ShellRow(shell.get(), 2, 1, &first, &end);  // the last row ends at the sentinel
  EXPECT_EQ(first, 4);
  EXPECT_EQ(end, 6);
  ShellRow(shell.get(), 1, 0, &first, &end);
  EXPECT_EQ(end - first, 0);
  ShellColumn(shell.get(), 2, 1, &first, &end);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(end, 5);
}

TEST(ShellBuild, BodyShellKeepsLabelsZeroAndTheValues) {
  auto scn = HandScene();
  auto shell = HandShell(true);
  EXPECT_TRUE(IsBodyShell(shell.get()));
  for (const Voxel &v : shell->voxel) EXPECT_EQ(v.label, 0);
  SetBodyShellValue(shell.get(), scn.get());
  EXPECT_EQ(int(shell->body[3].value), 258);
  EXPECT_EQ(GetShellMaximum(shell.get()), 258);
  EXPECT_EQ(shell->maximum, 258);
  EXPECT_FALSE(IsBodyShell(NewShell(2, 2, 2, 0).get()));
}

TEST(ShellBuild, EmptySceneGivesAnEmptyShell) {
  auto scn = CreateScene(3, 2, 2);
  auto shell = NewShell(3, 2, 2, 0);
  SetShellVoxels(shell.get(), scn.get());
  SetShellList(shell.get(), scn.get());
  EXPECT_EQ(Values(shell->Mzy.get()), (std::vector<int>{-1, -1, -1, -1, 0, -1}));
  EXPECT_EQ(Values(shell->Mxz.get()), (std::vector<int>{-1, -1, -1, -1, -1, -1, 0, -1}));
  EXPECT_EQ(GetPointer(shell.get(), 0, 0, 0), -1);
}

TEST(ShellBuild, ImpossibleSizesAndCountsFail) {
  EXPECT_EQ(FatalText([] { NewShell(0, 2, 2, 0); }), "Error:Invalid size 0 x 2 x 2 in NewShell");
  EXPECT_EQ(FatalText([] { NewShell(2, 2, 2, 9); }),
            "Error:Voxel count 9 is impossible for a volume of 2 x 2 x 2 in NewShell");
  EXPECT_EQ(FatalText([] { NewBodyShell(2, 2, 2, -1); }),
            "Error:Voxel count -1 is impossible for a volume of 2 x 2 x 2 in NewBodyShell");
  EXPECT_EQ(FatalText([] { NewShell(65537, 1, 1, 0); }),
            "Error:Shell size 65537 x 1 x 1 exceeds 65536 in x or y in NewShell");
}

TEST(ShellBuild, ScenesThatDoNotFitTheShellFail) {
  auto scn = HandScene();
  auto other = CreateScene(4, 3, 3);
  auto shell = NewShell(4, 3, 2, 6);
  EXPECT_EQ(FatalText([&] { SetShellVoxels(shell.get(), other.get()); }),
            "Error:The scene is 4 x 3 x 3 but the shell 4 x 3 x 2 in SetShellVoxels");
  auto fewer = NewShell(4, 3, 2, 5);
  EXPECT_EQ(FatalText([&] { SetShellVoxels(fewer.get(), scn.get()); }),
            "Error:The scene has 6 non-zero voxels for a shell of 5 in SetShellVoxels");
  // The list of a scene whose voxels lie elsewhere would point nowhere.
  SetShellVoxels(shell.get(), scn.get());
  auto moved = HandScene();
  moved->data[moved->Address(2, 2, 1)] = 0;
  moved->data[moved->Address(0, 0, 0)] = 1;
  EXPECT_NE(FatalText([&] { SetShellList(shell.get(), moved.get()); }).find("another scene"),
            std::string::npos);
  for (auto op : {SetShellLabel, SetShellNormalIndex, SetShellOpacity, SetBodyShellValue}) {
    EXPECT_NE(FatalText([&] { op(shell.get(), other.get()); }), "");
  }
  EXPECT_EQ(FatalText([&] { SetBodyShellValue(shell.get(), scn.get()); }),
            "Error:The shell has no body in SetBodyShellValue");
}

TEST(ShellLookUp, PointerAndExistence) {
  auto shell = HandShell();
  EXPECT_EQ(GetPointer(shell.get(), 2, 2, 1), 5);
  EXPECT_EQ(GetPointer(shell.get(), 3, 0, 0), 1);
  EXPECT_EQ(GetPointer(shell.get(), 2, 0, 0), -1);   // between 1 and 3
  EXPECT_EQ(GetPointer(shell.get(), 0, 1, 0), -1);   // empty row
  EXPECT_EQ(GetPointer(shell.get(), 0, 3, 0), -1);   // outside
  EXPECT_EQ(VoxelExist(shell.get(), 1, 2, 1), 4);
  EXPECT_EQ(VoxelExist(shell.get(), 4, 0, 0), -1);   // x = xsize
  EXPECT_EQ(VoxelExist(shell.get(), -1, 0, 0), -1);
  EXPECT_EQ(VoxelExist(shell.get(), 0, 0, 1), -1);   // empty column (0, 1)
}

TEST(ShellSetters, LabelsOpacityNormalsAndExports) {
  auto shell = HandShell();
  auto labels = CreateScene(4, 3, 2);
  for (int &v : labels->data) v = 3;
  labels->data[labels->Address(1, 0, 0)] = 0x109;  // low byte 9
  SetShellLabel(shell.get(), labels.get());
  EXPECT_EQ(shell->voxel[0].label, 9);
  EXPECT_EQ(shell->nobjects, 2);
  auto alpha = CreateScene(4, 3, 2);
  for (int &v : alpha->data) v = 0x180;  // low byte 128
  SetShellOpacity(shell.get(), alpha.get());
  EXPECT_EQ(shell->voxel[2].opacity, 128);
  EXPECT_EQ(shell->voxel[2].label, 3);  // the label byte is left alone
  auto nscn = CreateScene(4, 3, 2);
  for (int &v : nscn->data) v = 0x10000 + 700;
  SetShellNormalIndex(shell.get(), nscn.get());
  EXPECT_EQ(int(shell->voxel[5].normal), 700);

  auto lab = LabelScene(shell.get());
  EXPECT_EQ(lab->data[lab->Address(1, 0, 0)], 9);
  EXPECT_EQ(lab->data[lab->Address(2, 2, 1)], 3);
  EXPECT_EQ(lab->data[lab->Address(0, 0, 0)], 0);
  auto obj = ObjectScene(shell.get(), 9);
  int count = 0;
  for (int v : obj->data) count += v != 0;
  EXPECT_EQ(count, 1);
  EXPECT_EQ(OpacityScene(shell.get())->data[lab->Address(0, 2, 0)], 128);
  EXPECT_EQ(NormalIndexScene(shell.get())->data[lab->Address(3, 0, 0)], 700);
  auto values = ValueScene(shell.get());
  for (int v : values->data) EXPECT_EQ(v, 0);
}

// Every writer of a shell's content gives it a new revision, even one
// that fails part way; new and moved shells never share one.
TEST(ShellSetters, EveryWriterRenewsTheRevision) {
  auto scn = CreateScene(4, 3, 2);
  for (size_t i = 0; i < scn->data.size(); i++) scn->data[i] = 1 + static_cast<int>(i % 5);
  auto shell = Scene2Shell(scn.get());
  auto other = Scene2Shell(scn.get());
  EXPECT_NE(shell->revision.value(), other->revision.value());
  auto cxt = NewContext(4, 3, 2);
  auto wrong = CreateScene(3, 3, 2);
  auto curve = CreateCurve(2);
  curve->X[1] = 10, curve->Y[1] = 1;
  const std::vector<std::pair<std::string, std::function<void()>>> writers = {
      {"SetShellLabel", [&] { SetShellLabel(shell.get(), scn.get()); }},
      {"SetBodyShellValue", [&] { SetBodyShellValue(shell.get(), scn.get()); }},
      {"SetShellOpacity", [&] { SetShellOpacity(shell.get(), scn.get()); }},
      {"SetShellNormalIndex", [&] { SetShellNormalIndex(shell.get(), scn.get()); }},
      {"SetShellVoxels", [&] { SetShellVoxels(shell.get(), scn.get()); }},
      {"SetShellList", [&] { SetShellList(shell.get(), scn.get()); }},
      {"SetObjectVisibility", [&] { SetObjectVisibility(shell.get(), cxt.get(), 0, 0); }},
      {"SetBodyShellNormal", [&] { SetBodyShellNormal(shell.get(), scn.get(), Gradient3); }},
      {"ResetShellLabel", [&] { ResetShellLabel(shell.get()); }},
      {"ResetShellOpacity", [&] { ResetShellOpacity(shell.get()); }},
      {"ClassifyLabel", [&] { ClassifyLabel(shell.get(), curve.get()); }},
      {"ClassifyBodyShell", [&] { ClassifyBodyShell(shell.get(), curve.get(), nullptr); }},
      {"SetShellLabel of a scene of another size",
       [&] { EXPECT_ANY_THROW(SetShellLabel(shell.get(), wrong.get())); }},
  };
  for (const auto &w : writers) {
    const uint64_t before = shell->revision.value();
    w.second();
    EXPECT_NE(shell->revision.value(), before) << w.first;
  }
  const uint64_t before = shell->revision.value();
  Shell moved = std::move(*shell);
  EXPECT_NE(moved.revision.value(), before);
}

TEST(ShellSetters, RemoveVoxelsThresholdIsOneOnlyForLowByte255) {
  auto shell = HandShell();
  shell->voxel[0].opacity = 1;
  shell->voxel[1].opacity = 0;
  auto at = [&](const Scene *s, int x, int y, int z) { return s->data[s->Address(x, y, z)]; };
  auto keep0 = RemoveVoxels(shell.get(), 254.9f, 0.0f);  // threshold 0
  EXPECT_EQ(at(keep0.get(), 1, 0, 0), 5);
  EXPECT_EQ(at(keep0.get(), 3, 0, 0), 0);
  auto keep1 = RemoveVoxels(shell.get(), 511.0f, 0.0f);  // low byte 255: threshold 1
  EXPECT_EQ(at(keep1.get(), 1, 0, 0), 0);
  EXPECT_EQ(at(keep1.get(), 0, 2, 0), 2);
}

TEST(ShellCounts, MaximumMinimumObjectsAndHistograms) {
  auto scn = HandScene();
  auto body = HandShell(true);
  SetBodyShellValue(body.get(), scn.get());
  body->voxel[3].visible = 0;  // hides 258
  EXPECT_EQ(GetShellMaximum(body.get()), 7);
  EXPECT_EQ(GetShellMinimum(body.get()), 2);
  for (Voxel &v : body->voxel) v.visible = 0;
  EXPECT_EQ(GetShellMinimum(body.get()), INT_MAX);
  EXPECT_EQ(GetShellMaximum(body.get()), 0);
  for (Voxel &v : body->voxel) v.visible = 1;
  auto hist = ShellHistogram(body.get());
  ASSERT_EQ(hist->n, 259);
  EXPECT_EQ(hist->Y[5], 3.0);
  EXPECT_EQ(hist->Y[258], 1.0);
  auto norm = ShellNormHistogram(body.get());
  EXPECT_DOUBLE_EQ(norm->Y[5], 3.0 / 6.0);
  body->body[0].gradient = 4;
  body->body[1].gradient = 4;
  body->body[2].gradient = -3;  // outside the curve: not counted
  auto grad = ShellGradientHistogram(body.get());
  ASSERT_EQ(grad->n, 259);
  EXPECT_EQ(grad->Y[4], 2.0);
  EXPECT_EQ(grad->Y[0], 3.0);

  auto obj = HandShell();
  EXPECT_EQ(GetShellMaximum(obj.get()), 0);
  EXPECT_EQ(GetShellMinimum(obj.get()), 0);
  EXPECT_EQ(ShellNObjects(obj.get()), 3);  // 5, 7, 2
  auto labels = ShellObjHistogram(obj.get());
  ASSERT_EQ(labels->n, 256);
  EXPECT_EQ(labels->Y[5], 3.0);
  EXPECT_EQ(labels->Y[2], 2.0);
  EXPECT_EQ(labels->X[255], 255.0);
  EXPECT_DOUBLE_EQ(ShellNormHistogram(obj.get())->Y[5], 1.0);  // 3 voxels / 3 objects
  SetObjectVisibility(obj.get(), nullptr, 5, 0x100);
  EXPECT_EQ(obj->voxel[0].visible, 0);
  EXPECT_EQ(obj->voxel[1].visible, 1);
  // With an associated scene the scene answers.
  obj->scene = scn.get();
  EXPECT_EQ(GetShellMaximum(obj.get()), 258);
}

TEST(ShellBuild, NonTransparentVoxelsKeepsTheVisibleSkin) {
  // A 3 x 3 x 3 block, all non-zero; opaque except the corner voxel.
  auto scn = CreateScene(3, 3, 3);
  auto alpha = CreateScene(3, 3, 3);
  for (int &v : scn->data) v = 4;
  for (int &v : alpha->data) v = 255;
  alpha->data[scn->Address(0, 0, 0)] = 100;  // kept by itself
  alpha->data[scn->Address(2, 2, 2)] = 12;   // too transparent
  auto kept = NonTransparentVoxels(scn.get(), alpha.get());
  auto at = [&](int x, int y, int z) { return kept->data[kept->Address(x, y, z)]; };
  EXPECT_EQ(at(0, 0, 0), 4);
  EXPECT_EQ(at(2, 2, 2), 0);
  EXPECT_EQ(at(1, 1, 0), 4);  // on the volume's face
  EXPECT_EQ(at(1, 1, 1), 0);  // opaque inside, opaque neighbours
  alpha->data[scn->Address(1, 2, 1)] = 241;
  EXPECT_EQ(NonTransparentVoxels(scn.get(), alpha.get())->data[scn->Address(1, 1, 1)], 4);
  auto small = CreateScene(3, 3, 2);
  EXPECT_NE(FatalText([&] { NonTransparentVoxels(scn.get(), small.get()); }), "");
  auto full = CreateAlpha(small.get());
  for (int v : full->data) EXPECT_EQ(v, 255);
}

// ---- files ----

class ShellFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("s.sh");

  static void ExpectSameShell(const Shell *a, const Shell *b) {
    ASSERT_EQ(a->nvoxels, b->nvoxels);
    EXPECT_EQ(a->xsize, b->xsize);
    EXPECT_EQ(a->zsize, b->zsize);
    EXPECT_EQ(0, memcmp(a->voxel.data(), b->voxel.data(), a->voxel.size() * sizeof(Voxel)));
    EXPECT_EQ(0, memcmp(a->list.data(), b->list.data(), a->list.size() * sizeof(ListEntry)));
    EXPECT_EQ(a->Mzy->val, b->Mzy->val);
    EXPECT_EQ(a->Mxz->val, b->Mxz->val);
  }

  // The written hand shell with the bytes at `offset` past the header
  // replaced.
  void Patch(long offset, const void *bytes, size_t n) {
    std::string file = ReadTestFile(path);
    size_t header = 0;
    for (int lines = 0; lines < 4; header++) lines += file[header] == '\n';
    memcpy(&file[header + offset], bytes, n);
    WriteTestFile(path, file);
  }
  void PatchInt(long offset, int v) { Patch(offset, &v, 4); }
  void PatchShort(long offset, uint16_t v) { Patch(offset, &v, 2); }
  std::string ReadFault() { return FatalText([&] { ReadShell(path.c_str()); }); }
};

TEST_F(ShellFile, ObjectShellRoundTrip) {
  auto shell = HandShell();
  shell->dx = 0.5f;
  shell->dy = 1.25f;
  shell->dz = 2.0f;
  shell->voxel[2].normal = 1234;
  shell->voxel[3].visible = 0;
  WriteShell(shell.get(), path.c_str());
  EXPECT_EQ(ReadTestFile(path).substr(0, 30), "SH\n4 3 2\n0.500000 1.250000 2.0");
  auto back = ReadShell(path.c_str());
  ExpectSameShell(shell.get(), back.get());
  EXPECT_FALSE(IsBodyShell(back.get()));
  EXPECT_EQ(back->dy, 1.25f);
  EXPECT_EQ(back->maximum, 0);
  EXPECT_EQ(back->nobjects, 0);
  // A header of 38 bytes and 6 * 13 + 4 * (9 + 10) section bytes.
  EXPECT_EQ(ReadTestFile(path).size(), 38u + 78 + 76);
}

TEST_F(ShellFile, BodyShellRoundTripAndReaderKinds) {
  auto scn = HandScene();
  auto shell = HandShell(true);
  SetBodyShellValue(shell.get(), scn.get());
  shell->body[4].gradient = -7;
  shell->voxel[3].visible = 0;
  WriteBodyShell(shell.get(), path.c_str());
  auto back = ReadBodyShell(path.c_str());
  ExpectSameShell(shell.get(), back.get());
  ASSERT_TRUE(IsBodyShell(back.get()));
  EXPECT_EQ(int(back->body[3].value), 258);
  EXPECT_EQ(int(back->body[4].gradient), -7);
  EXPECT_EQ(back->maximum, 7);  // the largest visible value
  // The object reader takes a body file and leaves the body out.
  EXPECT_FALSE(IsBodyShell(ReadShell(path.c_str()).get()));
  // The body reader refuses an object file: it is short of the body.
  WriteShell(shell.get(), path.c_str());
  EXPECT_NE(FatalText([&] { ReadBodyShell(path.c_str()); }).find("shorter than its sections"),
            std::string::npos);
  auto object = HandShell();
  EXPECT_EQ(FatalText([&] { WriteBodyShell(object.get(), path.c_str()); }),
            "Error:The shell has no body in WriteBodyShell");
}

TEST_F(ShellFile, TruncatedFilesFailBeforeReading) {
  WriteShell(HandShell().get(), path.c_str());
  std::string whole = ReadTestFile(path);
  for (size_t cut : {whole.size() - 1, whole.size() - 40, size_t{40}, size_t{12}, size_t{3}}) {
    WriteTestFile(path, whole.substr(0, cut));
    EXPECT_NE(ReadFault(), "") << cut;
  }
  WriteTestFile(path, whole.substr(0, whole.size() - 1));
  EXPECT_NE(ReadFault().find("shorter than its sections"), std::string::npos);
  EXPECT_EQ(FatalText([&] { ReadShell(dir.File("none.sh").c_str()); }),
            "Error:Cannot open file " + dir.File("none.sh") + " in ReadShell");
}

TEST_F(ShellFile, ImpossibleHeadersFail) {
  // Each header in front of the sections of a sound 4 x 3 x 2 shell.
  WriteShell(HandShell().get(), path.c_str());
  std::string sections = ReadTestFile(path).substr(38);
  const char *headers[] = {
      "SH\n0 3 2\n1 1 1\n6\n",        "SH\n70000 1 1\n1 1 1\n6\n",
      "SH\n4 3 2\n1 1 1\n-1\n",       "SH\n4 3 2\n1 1 1\n25\n",
      "SH\n2000 2000 2000\n1 1 1\n6\n", "SH\n4 3\n1 1 1\n6\n",
      "SH\n4 3 2\n1 1 1\n6 junk\n",  "SH\n4 3 2\n1 nan 1\n6\n",
      "SH\n4 3 2\n1 -1 1\n6\n",
  };
  for (const char *h : headers) {
    WriteTestFile(path, std::string(h) + sections);
    std::string fault = ReadFault();
    EXPECT_TRUE(fault.find("impossible") != std::string::npos ||
                fault.find("malformed") != std::string::npos)
        << h << fault;
  }
  WriteTestFile(path, std::string("SH\n4 3 2\n1 1 1\n6\n") + sections);
  EXPECT_EQ(ReadFault(), "");
}

// Sections of the 6-voxel hand shell, as offsets past the header.
constexpr long kX = 18, kListY = 42, kPointer = 54, kMzy = 78, kMxz = 114;

TEST_F(ShellFile, DamagedIndexSectionsFail) {
  struct Damage {
    long offset;
    int value;
    const char *expect;
  };
  const Damage damages[] = {
      {kMzy + 4 * 2, 7, "outside the 6 records"},             // row start past the end
      {kMzy + 4 * 2, -5, "outside the 6 records"},
      {kMzy + 4 * 4, 1, "does not follow"},                  // starts decrease
      {kMzy + 4 * 0, 1, "must start at 0"},
      {kMzy + 4 * 6, 5, "instead of the count 6"},           // sentinel
      {kMzy + 4 * 7, 0, "stray entry"},
      {kMxz + 4 * 3, 9, "outside the 6 records"},
      {kMxz + 4 * 8, 7, "instead of the count 6"},
      {kMxz + 4 * 5, 2, "does not follow"},
      {kPointer + 4 * 1, 6, "points to 6"},                  // pointer past the end
      {kPointer + 4 * 1, -1, "points to -1"},
      {kPointer + 4 * 1, 1, "points to 1"},                  // the wrong voxel
  };
  for (const Damage &d : damages) {
    WriteShell(HandShell().get(), path.c_str());
    PatchInt(d.offset, d.value);
    std::string fault = ReadFault();
    EXPECT_NE(fault.find(d.expect), std::string::npos) << d.offset << " " << fault;
  }
  struct ShortDamage {
    long offset;
    uint16_t value;
    const char *expect;
  };
  const ShortDamage shorts[] = {
      {kX + 2 * 1, 4, "beyond the size 4"},        // x = xsize
      {kX + 2 * 5, 1, "out of order"},             // row (2, 1) holds x = 1, 1
      {kListY + 2 * 0, 3, "beyond the size 3"},
      {kListY + 2 * 4, 0, "out of order"},          // column (2, 1) holds y = 1, 0
  };
  for (const ShortDamage &d : shorts) {
    WriteShell(HandShell().get(), path.c_str());
    PatchShort(d.offset, d.value);
    std::string fault = ReadFault();
    EXPECT_NE(fault.find(d.expect), std::string::npos) << d.offset << " " << fault;
  }
}

// ---- sections ----

class StringSink : public ByteSink {
 public:
  std::string bytes;
  void Write(const void *b, size_t n) override { bytes.append(static_cast<const char *>(b), n); }
};

class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string s) : bytes_(std::move(s)) {}
  size_t Read(void *b, size_t n) override {
    size_t m = std::min(n, bytes_.size() - pos_);
    memcpy(b, bytes_.data() + pos_, m);
    pos_ += m;
    return m;
  }

 private:
  std::string bytes_;
  size_t pos_ = 0;
};

TEST(ShellSections, SectionsMatchTheFileLayout) {
  auto shell = HandShell();
  TempDir dir;
  std::string path = dir.File("s.sh");
  WriteShell(shell.get(), path.c_str());
  std::string file = ReadTestFile(path);
  std::string body = file.substr(file.size() - 78 - 76);

  StringSource in(body);
  auto voxels = ReadVoxels(&in, 6);
  auto list = ReadList(&in, 6);
  auto mzy = ReadM(&in, 3, 2);
  auto mxz = ReadM(&in, 2, 4);
  EXPECT_EQ(int(voxels->item[5].x), 2);
  EXPECT_EQ(int(list->item[2].pointer), 4);
  EXPECT_EQ(mzy->val, shell->Mzy->val);
  EXPECT_EQ(mxz->val, shell->Mxz->val);

  StringSink out;
  WriteVoxels(&out, voxels.get(), 6);
  WriteList(&out, list.get(), 6);
  WriteM(&out, mzy.get());
  WriteM(&out, mxz.get());
  EXPECT_EQ(out.bytes, body);

  BodyArray b;
  b.item = {BodyEntry{-2, 70000}, BodyEntry{3, -1}};
  StringSink bout;
  WriteBody(&bout, &b, 2);
  ASSERT_EQ(bout.bytes.size(), 12u);
  StringSource bin(bout.bytes);
  auto back = ReadBody(&bin, 2);
  EXPECT_EQ(int(back->item[0].value), 70000);
  EXPECT_EQ(int(back->item[1].gradient), 3);
}

TEST(ShellSections, ShortStreamsAndBadCountsFail) {
  StringSource tiny(std::string(10, '\0'));
  EXPECT_EQ(FatalText([&] { ReadVoxels(&tiny, 2000000000); }),
            "Error:The data ends inside a section in ReadVoxels");
  StringSource none("");
  EXPECT_EQ(FatalText([&] { ReadList(&none, -1); }), "Error:Invalid record count -1 in ReadList");
  StringSource three(std::string(3, '\0'));
  EXPECT_NE(FatalText([&] { ReadM(&three, 1, 1); }), "");
  VoxelArray two;
  two.item.resize(2);
  StringSink out;
  EXPECT_EQ(FatalText([&] { WriteVoxels(&out, &two, 3); }),
            "Error:The array holds 2 records, not 3 in WriteVoxels");
}

}  // namespace
