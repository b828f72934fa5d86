// The curve, kernel and stretch commands, and the hand-made curve and
// label-list commands, through an interpreter.
#include <gtest/gtest.h>

#include <string>

#include "commands/modules.h"
#include "commands/tcl_io.h"
#include "core/adjacency.h"
#include "core/curve.h"
#include "core/image.h"
#include "core/kernel.h"
#include "core/scene.h"
#include "support/interp.h"

namespace {

std::vector<CommandSpec> CurveTestCommands() {
  std::vector<CommandSpec> all;
  for (auto module : {CurveCommands, IoCurveCommands, FilteringCommands, RadiometricCommands})
    for (CommandSpec &spec : module()) all.push_back(std::move(spec));
  return all;
}

std::string HandleOf(Handle h) { return std::to_string(h); }

Handle AdoptScene(std::vector<int> values) {
  auto scn = std::make_unique<Scene>();
  scn->xsize = static_cast<int>(values.size());
  scn->ysize = scn->zsize = 1;
  scn->tby = {0};
  scn->tbz = {0};
  scn->data.assign(values.begin(), values.end());
  return Objects().Adopt(std::move(scn));
}

}  // namespace

class CurveCommandsTest : public ::testing::Test {
 protected:
  TestInterp t{CurveTestCommands()};
};

TEST_F(CurveCommandsTest, UsageMessages) {
  const std::vector<std::pair<const char *, const char *>> usage = {
      {"CreateCurve", "usage: CreateCurve <n>\n"},
      {"DestroyCurve", "usage: DestroyCurve <curve>\n"},
      {"ReadCurve", "usage: ReadCurve <filename>\n"},
      {"WriteCurve", "usage: WriteCurve <curve> <filename>\n"},
      {"CopyCurve", "usage: CopyCurve <curve>\n"},
      {"CreateCurve3D", "usage: CreateCurve3D <n>\n"},
      {"DestroyCurve3D", "usage: DestroyCurve3D <curve>\n"},
      {"WriteCurve3D", "usage: WriteCurve3D <curve> <filename>\n"},
      {"SortCurve3D", "usage: SortCurve3D <curve> <left> <right> <order>\n"},
      {"PartCurve3D", "usage: PartCurve3D <curve> <left> <right> <order>\n"},
      {"SortCurve", "usage: SortCurve <curve> <left> <right> <order>\n"},
      {"PartCurve", "usage: PartCurve <curve> <left> <right> <order>\n"},
      {"InvertXY", "usage: InvertXY <curve>\n"},
      {"FillCurve", "usage: FillCurve <c1> <dx>\n"},
      {"JoinCurve", "usage: JoinCurve <c1> <c2>\n"},
      {"CurveMaximum", "usage: CurveMaximum <c>\n"},
      {"GetLinePoints", "usage: GetLinePoints <p> <q>\n"},
      {"c_List2Curve", "usage: c_List2Curve <coords list>\n"},
      {"c_Curve2List", "usage: c_Curve2List <curve>\n"},
      {"c_List2Curve3D", "usage: c_List2Curve3D <3D coords list>\n"},
      {"c_Curve3D2List", "usage: c_Curve3D2List <curve3D>\n"},
      {"c_Label2Curve", "usage: c_Label2Curve <label list>\n"},
      {"c_Curve2Label", "usage: c_Curve2Label <curve> <label>\n"},
      {"c_SceneLabelList", "usage: c_SceneLabelList <scn>\n"},
      {"c_CurveMax", "usage: c_CurveMax <filledcurve1> <filledcurve2>\n"},
      {"c_SortCurve", "usage: c_SortCurve <curve>\n"},
      {"c_FreeCurve", "usage: c_FreeCurve <curveref>\n"},
      {"c_FreeCurve3D", "usage: c_FreeCurve3D <curveref>\n"},
  };
  // The kernel and stretch commands' usage is checked with the rest of
  // their modules (lib2d_commands_test).
  std::vector<CommandSpec> specs = CurveCommands();
  for (CommandSpec &spec : IoCurveCommands()) specs.push_back(std::move(spec));
  ASSERT_EQ(specs.size(), usage.size());
  for (size_t i = 0; i < usage.size(); i++) {
    EXPECT_STREQ(specs[i].name, usage[i].first) << "table order at " << i;
    // One argument too few, and one too many (for fixed counts).
    int count = specs[i].minArgs;
    std::string few = usage[i].first;
    for (int a = 0; a + 1 < count; a++) few += " 1";
    EXPECT_EQ(t.Err(few), usage[i].second);
    if (specs[i].maxArgs != kAnyCount) {
      std::string many = usage[i].first;
      for (int a = 0; a <= count; a++) many += " {}";
      EXPECT_EQ(t.Err(many), usage[i].second);
    }
  }
  // c_CurveMax takes at least two and ignores the rest.
  std::string a = t.Ok("c_List2Curve {0 1 1 5}"), b = t.Ok("c_List2Curve {0 2 1 3}");
  std::string m = t.Ok("c_CurveMax " + a + " " + b + " extra more");
  EXPECT_EQ(t.Ok("c_Curve2List " + m), "0.0 2.0 1.0 5.0");
}

TEST_F(CurveCommandsTest, InvalidHandlesFailCleanly) {
  EXPECT_EQ(t.Err("CopyCurve 987654321"), "invalid Curve handle 987654321");
  EXPECT_EQ(t.Err("c_Curve2List 0"), "invalid Curve handle 0");
  EXPECT_EQ(t.Err("c_Curve3D2List abc"), "invalid Curve3D handle 0");
  EXPECT_EQ(t.Err("c_FreeCurve 987654321"), "invalid Curve handle 987654321");

  std::string c3 = t.Ok("c_List2Curve3D {1 2 3}");
  EXPECT_EQ(t.Err("c_FreeCurve " + c3), "invalid Curve handle " + c3);
  EXPECT_EQ(t.Err("FillCurve " + c3 + " 1"), "invalid Curve handle " + c3);
  // The Curve3D survives the mistaken free and is freed by its own command.
  EXPECT_EQ(t.Ok("c_Curve3D2List " + c3), "1.0 2.0 3.0");
  EXPECT_EQ(t.Ok("c_FreeCurve3D " + c3), "");
  EXPECT_EQ(t.Err("c_Curve3D2List " + c3), "invalid Curve3D handle " + c3);

  std::string c = t.Ok("CreateCurve 2");
  EXPECT_EQ(t.Ok("DestroyCurve " + c), "");
  EXPECT_EQ(t.Err("CurveMaximum " + c), "invalid Curve handle " + c);
  EXPECT_EQ(t.Err("c_SceneLabelList " + c), "invalid Scene handle " + c);
}

TEST_F(CurveCommandsTest, CurveMaxNeedsEqualCounts) {
  std::string a = t.Ok("c_List2Curve {0 1 1 5}"), b = t.Ok("c_List2Curve {0 2}");
  EXPECT_EQ(t.Err("c_CurveMax " + a + " " + b), "");
  std::string e = t.Ok("c_List2Curve {}");
  EXPECT_EQ(t.Ok("c_Curve2List [c_CurveMax " + e + " " + e + "]"), "");
}

TEST_F(CurveCommandsTest, SceneLabelList) {
  EXPECT_EQ(t.Ok("c_SceneLabelList " + HandleOf(AdoptScene({0, 3, 3, 9}))), "3 9");
  EXPECT_EQ(t.Ok("c_SceneLabelList " + HandleOf(AdoptScene({0, 0}))), "");
  EXPECT_EQ(t.Ok("c_SceneLabelList " + HandleOf(AdoptScene({7, 1, 255, 1, 7}))), "1 7 255");
  // A maximum far above the voxel count takes the sorting path.
  EXPECT_EQ(t.Ok("c_SceneLabelList " + HandleOf(AdoptScene({2000000000, 0, 5, 2000000000}))),
            "5 2000000000");
  EXPECT_EQ(t.Err("c_SceneLabelList " + HandleOf(AdoptScene({1, -4, 2}))),
            "scene holds the negative value -4; labels must not be negative");
}

TEST_F(CurveCommandsTest, KernelCommands) {
  auto A = CreateAdjRel(3);
  A->dx = {0, 1, -1};
  A->dy = {0, 1, 0};
  std::string a = HandleOf(Objects().Adopt(std::move(A)));
  std::string k = t.Ok("GaussianKernel " + a + " 0 1");
  Kernel *K = Objects().Get<Kernel>(std::stoll(k));
  EXPECT_EQ(K->weights, (std::vector<float>{1.0f, 0.36787944f, 0.60653066f}));
  EXPECT_EQ(K->width, 3);
  EXPECT_EQ(K->height, 2);
  EXPECT_EQ(t.Ok("DestroyKernel " + k), "");
  EXPECT_EQ(t.Err("DestroyKernel " + k), "invalid Kernel handle " + k);
  EXPECT_EQ(t.Err("GaussianKernel " + a + " 0 0"),
            "Error:Invalid standard deviation 0.000000 in GaussianKernel");
  k = t.Ok("CreateKernel " + a);
  EXPECT_EQ(Objects().Get<Kernel>(std::stoll(k))->weights, std::vector<float>(3, 0.0f));
  EXPECT_EQ(t.Err("CreateKernel " + k), "invalid AdjRel handle " + k);
}

TEST_F(CurveCommandsTest, LinearStretchCommand) {
  auto img = CreateImage(3, 1);
  img->val = {0, 500, 1000};
  std::string h = HandleOf(Objects().Adopt(std::move(img)));
  std::string out = t.Ok("LinearStretch " + h + " 0 1000 0 255");
  EXPECT_EQ(Objects().Get<Image>(std::stoll(out))->val, (std::vector<int>{0, 127, 255}));
  EXPECT_NE(out, h);
  EXPECT_EQ(t.Err("LinearStretch 0 0 1000 0 255"), "invalid Image handle 0");
}
