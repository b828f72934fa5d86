// The threshold, forest, histogram and arithmetic commands through an
// interpreter: usage texts, handles, and a differential forest run end to
// end with only commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/modules.h"
#include "core/adjacency3.h"
#include "core/curve.h"
#include "core/scene.h"
#include "support/interp.h"

namespace {

std::vector<CommandSpec> SegmentTestCommands() {
  std::vector<CommandSpec> all;
  for (auto module : {Segmentation3Commands, Radiometric3Commands, Mathematics3Commands})
    for (CommandSpec &spec : module()) all.push_back(std::move(spec));
  return all;
}

std::string AdoptRow(std::vector<int> values, int ny = 1) {
  auto scn = CreateScene(static_cast<int>(values.size()) / ny, ny, 1);
  scn->data.assign(values.begin(), values.end());
  return std::to_string(Objects().Adopt(std::move(scn)));
}

std::string AdoptRelation(float r) { return std::to_string(Objects().Adopt(Spheric(r))); }

const Scene &SceneAt(const std::string &handle) {
  return *Objects().Get<Scene>(std::stoll(handle));
}

}  // namespace

class Segment3CommandsTest : public ::testing::Test {
 protected:
  TestInterp t{SegmentTestCommands()};
};

TEST_F(Segment3CommandsTest, UsageMessages) {
  const std::vector<std::pair<const char *, const char *>> usage = {
      {"TreeRemoval", "usage: TreeRemoval <ascn> <A>\n"},
      {"DIFT", "usage: DIFT <ascn> <A>\n"},
      {"BTreeRemoval", "usage: BTreeRemoval <ascn> <A> <border> <bordermap>\n"},
      {"BDIFT", "usage: BDIFT <ascn> <A> <isobj> <bordermap> <border>\n"},
      {"Threshold3", "usage: Threshold3 <scn> <lower> <higher>\n"},
      {"AutoThreshold3", "usage: AutoThreshold3 <scn>\n"},
      {"ThresholdMask3", "usage: ThresholdMask3 <scn> <mask> <lower> <higher>\n"},
      {"Highlight3", "usage: Highlight3 <scn> <label> <value>\n"},
      {"Annotate3", "usage: Annotate3 <scn>\n"},
      {"AddSeed3", "usage: AddSeed3 <ascn> <x> <y> <z> <cost> <label> <pred>\n"},
      {"AddMark3", "usage: AddMark3 <ascn> <x> <y> <z>\n"},
      {"GetCost3", "usage: GetCost3 <ascn>\n"},
      {"GetLabel3", "usage: GetLabel3 <ascn>\n"},
      {"GetPred3", "usage: GetPred3 <ascn>\n"},
      {"DeAnnotate3", "usage: DeAnnotate3 <ascn>\n"},
      {"DestroySet", "usage: DestroySet <set>\n"},
      {"BMapNew", "usage: BMapNew <n>\n"},
      {"BMapGet", "usage: BMapGet <b> <n>\n"},
      {"BMapSet", "usage: BMapSet <b> <n> <v>\n"},
      {"BMapDestroy", "usage: BMapDestroy <b>\n"},
      {"CreateBorder", "usage: CreateBorder <n>\n"},
      {"DestroyBorder", "usage: DestroyBorder <B>\n"},
      {"Histogram3", "usage: Histogram3 <scn>\n"},
      {"NormHistogram3", "usage: NormHistogram3 <scn>\n"},
      {"AccHistogram3", "usage: AccHistogram3 <scn>\n"},
      {"NormAccHistogram3", "usage: NormAccHistogram3 <scn>\n"},
      {"SceneLabels", "usage: SceneLabels <scn>\n"},
      {"GaussStretch3", "usage: GaussStretch3 <scn> <mean> <stdev>\n"},
      {"LinearStretch3", "usage: LinearStretch3 <scn> <f1> <f2> <g1> <g2>\n"},
      {"Diff3", "usage: Diff3 <scn1> <scn2>\n"},
      {"Sum3", "usage: Sum3 <scn1> <scn2>\n"},
      {"Max3", "usage: Max3 <scn1> <scn2>\n"},
      {"Complement3", "usage: Complement3 <scn>\n"},
      {"SQRT3", "usage: SQRT3 <scn>\n"},
      {"Add3", "usage: Add3 <scn1> <value>\n"},
      {"Mult3", "usage: Mult3 <scn1> <scn2>\n"},
  };
  for (const auto &[name, text] : usage) {
    EXPECT_EQ(t.Err(name), text) << name;
    EXPECT_EQ(t.Err(std::string(name) + " 1 2 3 4 5 6 7 8"), text) << name;
  }
}

TEST_F(Segment3CommandsTest, VoxelWiseOperandsMustHaveOneSize) {
  std::string a = AdoptRow({1, 2, 3, 4}), b = AdoptRow({1, 2, 3, 4}, 2);
  for (const char *op : {"Diff3", "Sum3", "Max3", "Mult3"})
    EXPECT_EQ(t.Err(std::string(op) + " " + a + " " + b),
              std::string("Error:Scenes have different sizes (4 x 1 x 1 and 2 x 2 x 1) in ") + op);
  EXPECT_EQ(t.Err("ThresholdMask3 " + a + " " + b + " 0 9"),
            "Error:Scenes have different sizes (4 x 1 x 1 and 2 x 2 x 1) in ThresholdMask3");
  EXPECT_EQ(t.Err("Highlight3 " + a + " " + b + " 9"),
            "Error:Scenes have different sizes (4 x 1 x 1 and 2 x 2 x 1) in Highlight3");
}

TEST_F(Segment3CommandsTest, ResultsAndHandleTypes) {
  std::string a = AdoptRow({0, 3, 7, 3});
  std::string labels = t.Ok("SceneLabels " + a);
  const Curve &c = *Objects().Get<Curve>(std::stoll(labels));
  EXPECT_EQ(c.X, (std::vector<double>{3, 7}));
  // h = 1 0 0 2 0 0 0 1: second differences -1 1 2 -4 2 0 1.
  EXPECT_EQ(t.Ok("AutoThreshold3 " + a), "4");
  // 7 exp(-(v - 3)^2 / 8): 2.27, 7, 0.95, 7.
  std::string stretched = t.Ok("GaussStretch3 " + a + " 3.0 2e0");
  EXPECT_EQ(SceneAt(stretched).data, (std::vector<int>{2, 7, 0, 7}));
  // A curve where a scene belongs is refused by type.
  EXPECT_EQ(t.Err("Complement3 " + labels), "invalid Scene handle " + labels);
  EXPECT_EQ(t.Err("DIFT " + a + " " + AdoptRelation(1.0f)), "invalid AnnScn handle " + a);
}

TEST_F(Segment3CommandsTest, DifferentialForestEndToEnd) {
  std::string scn = AdoptRow({1, 2, 3, 2, 1});
  std::string A = AdoptRelation(1.0f);
  std::string ascn = t.Ok("Annotate3 " + scn);
  // The annotation keeps its own copy: the scene's handle can go.
  Objects().Take<Scene>(std::stoll(scn));
  EXPECT_EQ(t.Ok("AddSeed3 " + ascn + " 0 0 0 2147483646 0 0"), "");
  EXPECT_EQ(t.Ok("AddSeed3 " + ascn + " 4 0 0 2147483646 4 4"), "");
  EXPECT_EQ(t.Ok("DIFT " + ascn + " " + A), "");
  std::string cost = t.Ok("GetCost3 " + ascn), label = t.Ok("GetLabel3 " + ascn),
              pred = t.Ok("GetPred3 " + ascn);
  EXPECT_EQ(SceneAt(cost).data, (std::vector<int>{1, 2, 3, 2, 1}));
  EXPECT_EQ(SceneAt(label).data, (std::vector<int>{0, 0, 0, 4, 4}));
  EXPECT_EQ(t.Ok("GetCost3 " + ascn), cost);  // the same map, the same handle

  EXPECT_EQ(t.Ok("TreeRemoval " + ascn + " " + A), "0");  // nothing marked: empty frontier
  EXPECT_EQ(t.Ok("DestroySet 0"), "");
  EXPECT_EQ(t.Ok("AddMark3 " + ascn + " 4 0 0"), "");
  EXPECT_EQ(t.Ok("DIFT " + ascn + " " + A), "");
  EXPECT_EQ(SceneAt(cost).data, (std::vector<int>{1, 2, 3, 3, 3}));
  EXPECT_EQ(SceneAt(pred).data, (std::vector<int>{0, 0, 1, 2, 3}));

  EXPECT_EQ(t.Ok("AddMark3 " + ascn + " 1 0 0"), "");
  std::string frontier = t.Ok("TreeRemoval " + ascn + " " + A);
  EXPECT_EQ(frontier, "0");  // the only tree is gone: no frontier
  EXPECT_EQ(SceneAt(cost).data, (std::vector<int>(5, 2147483647)));

  EXPECT_EQ(t.Ok("DeAnnotate3 " + ascn), "");
  EXPECT_EQ(t.Err("GetCost3 " + ascn), "invalid AnnScn handle " + ascn);
  EXPECT_EQ(t.Err("Histogram3 " + cost), "invalid Scene handle " + cost);
}

TEST_F(Segment3CommandsTest, BorderForestEndToEnd) {
  // Object seed at 0, background seed at 4, a ridge at 2.
  std::string scn = AdoptRow({1, 1, 5, 1, 1});
  std::string A = AdoptRelation(1.0f);
  std::string ascn = t.Ok("Annotate3 " + scn);
  std::string isobj = t.Ok("BMapNew 5"), bordermap = t.Ok("BMapNew 5"),
              border = t.Ok("CreateBorder 5");
  EXPECT_EQ(t.Ok("AddSeed3 " + ascn + " 0 0 0 1 0 0"), "");
  EXPECT_EQ(t.Ok("AddSeed3 " + ascn + " 4 0 0 1 4 4"), "");
  EXPECT_EQ(t.Ok("BMapSet " + isobj + " 0 1"), "");
  EXPECT_EQ(t.Ok("BDIFT " + ascn + " " + A + " " + isobj + " " + bordermap + " " + border), "");
  std::string in, edge;
  for (int v = 0; v < 5; v++) {
    in += t.Ok("BMapGet " + isobj + " " + std::to_string(v));
    edge += t.Ok("BMapGet " + bordermap + " " + std::to_string(v));
  }
  // Voxel 2 ties at 5 and goes to the root served first, the object's.
  EXPECT_EQ(in, "11100");
  EXPECT_EQ(edge, "00100");

  EXPECT_EQ(t.Ok("AddMark3 " + ascn + " 0 0 0"), "");
  std::string F = t.Ok("BTreeRemoval " + ascn + " " + A + " " + border + " " + bordermap);
  EXPECT_NE(F, "0");  // voxel 3 borders the removed tree
  EXPECT_EQ(t.Ok("DestroySet " + F), "");
  EXPECT_EQ(t.Err("DestroySet " + F), "invalid Set handle " + F);
  EXPECT_EQ(t.Ok("BMapGet " + bordermap + " 2"), "0");
  EXPECT_EQ(t.Err("BMapGet " + isobj + " 5"), "Error:Bit 5 out of range 0..4 in BMapGet");
  for (const std::string &h : {isobj, bordermap}) EXPECT_EQ(t.Ok("BMapDestroy " + h), "");
  EXPECT_EQ(t.Ok("DestroyBorder " + border), "");
  EXPECT_EQ(t.Ok("DeAnnotate3 " + ascn), "");
}
