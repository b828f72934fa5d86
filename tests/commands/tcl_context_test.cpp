// The plane, geometry and viewing-context commands: every usage text and
// argument count, the list results of the hand-made commands, picking, and
// the handles of the context's own z-buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/modules.h"
#include "commands/tcl_io.h"
#include "render/context.h"
#include "support/interp.h"
#include "support/usage_table.h"

namespace {

std::vector<CommandSpec> ViewCommands() {
  std::vector<CommandSpec> all;
  for (auto module : {PlaneCommands, GeometryCommands, ContextCommands, IoPlaneCommands,
                      IoContextCommands}) {
    for (CommandSpec &spec : module()) all.push_back(std::move(spec));
  }
  return all;
}

// Table order, as the command list gives it, module by module.
const UsageRow kUsages[] = {
    {"CreatePlane", "usage: %s <cxt>\n", 1, false},
    {"CopyPlane", "usage: %s <pl>\n", 1, false},
    {"DestroyPlane", "usage: %s <pl>\n", 1, false},
    {"RotatePlane", "usage: %s <pl> <thx> <thy>\n", 3, false},
    {"RotatePlaneAbs", "usage: %s <pl> <thx> <thy>\n", 3, false},
    {"TranslatePlane", "usage: %s <pl> <alpha>\n", 2, false},
    {"TranslatePlaneAbs", "usage: %s <pl> <alpha>\n", 2, false},
    {"TranslatePlaneAux", "usage: %s <pl> <alpha>\n", 2, false},
    {"FacePlane", "usage: %s <vert> <n>\n", 2, false},
    {"GetPlaneX", "usage: %s <pl>\n", 1, false},
    {"GetPlaneY", "usage: %s <pl>\n", 1, false},
    {"GetPlaneTilt", "usage: %s <pl>\n", 1, false},
    {"GetPlaneSpin", "usage: %s <pl>\n", 1, false},
    {"LockPlane", "usage: %s <cxt> <pl>\n", 2, false},
    {"SetPlaneZBuffer", "usage: %s <plane> <pl>\n", 2, false},
    {"SetPlaneShearZBuffer", "usage: %s <cxt> <zbuff> <pl>\n", 3, false},
    {"ClipPlane", "usage: %s <cxt> <axis>\n", 2, false},
    {"VectorNormalize", "usage: %s <v>\n", 1, false},
    {"VectorMagnitude", "usage: %s <v>\n", 1, false},
    {"SetPhong", "usage: %s <cxt> <oindex> <diff> <spec> <amb> <ns>\n", 6, false},
    {"SetClip", "usage: %s <cxt> <xmin> <xmax> <ymin> <ymax> <zmin> <zmax>\n", 7, false},
    {"CreateContext", "usage: %s <scn>\n", 1, false},
    {"NewContext", "usage: %s <xsize> <ysize> <zsize>\n", 3, false},
    {"DestroyContext", "usage: %s <cxt>\n", 1, false},
    {"SetAngles", "usage: %s <cxt> <theta_x> <theta_y>\n", 3, false},
    {"AddAngles", "usage: %s <cxt> <thx> <thy>\n", 3, false},
    {"SetObjectColor", "usage: %s <cxt> <oindex> <red> <green> <blue>\n", 5, false},
    {"SetObjectOpacity", "usage: %s <cxt> <oindex> <opac>\n", 3, false},
    {"SetAxisIndices", "usage: %s <cxt>\n", 1, false},
    {"CreateZBuffer", "usage: %s <usize> <vsize>\n", 2, false},
    {"DestroyZBuffer", "usage: %s <zbuff>\n", 1, false},
    {"InitZBuffer", "usage: %s <zbuff>\n", 1, false},
    {"InitZBufferObject", "usage: %s <zbuff> <obj>\n", 2, false},
    {"InitZBufferVoxel", "usage: %s <zbuff>\n", 1, false},
    {"CreateFBuffer", "usage: %s <usize> <vsize>\n", 2, false},
    {"DestroyFBuffer", "usage: %s <buff>\n", 1, false},
    {"InitFBuffer", "usage: %s <fbuff> <f>\n", 2, false},
    {"GetTilt", "usage: %s <cxt>\n", 1, false},
    {"GetSpin", "usage: %s <cxt>\n", 1, false},
    {"GetZBufferVoxel", "usage: %s <zbuff> <i>\n", 2, false},
    {"GetZBufferDist", "usage: %s <zbuff> <i>\n", 2, false},
    {"GetZBufferObject", "usage: %s <zbuff> <i>\n", 2, false},
    {"SetZBufferDist", "usage: %s <zbuff> <dist>\n", 2, false},
    {"c_GetPlanePosition", "usage: %s <plane>\n", 1, true},
    {"c_GetPlaneDirection", "usage: %s <plane>\n", 1, true},
    {"c_GetRelativePlaneDirection", "usage: %s <cxt> <plane>\n", 2, true},
    {"c_GetViewer", "usage: %s <cxt> \n", 1, true},
    {"c_SetPlanePosition", "usage: %s <plane> <x> <y> <z>\n", 4, true},
    {"c_FreePlane", "usage: %s <plane ref>\n", 1, false},
    {"c_FreeContext", "usage: %s <cxtref>\n", 1, false},
    {"c_GetZBuffer", "usage: %s <cxt>\n", 1, true},
    {"c_GetObject", "usage: %s <cxt> <x> <y>\n", 3, true},
};

class ViewCommandsTest : public ::testing::Test {
 protected:
  TestInterp t{ViewCommands()};
  std::string Var(const std::string &name, const std::string &script) {
    return t.Ok("set " + name + " [" + script + "]");
  }
};

}  // namespace

TEST_F(ViewCommandsTest, TableOrderUsageTextsAndCounts) {
  std::vector<CommandSpec> specs = ViewCommands();
  ASSERT_EQ(specs.size(), std::size(kUsages));
  ExpectUsageTable(t, specs, kUsages, std::size(kUsages));
}

TEST_F(ViewCommandsTest, HandlesOfTheWrongKindFail) {
  std::string cxt = Var("c", "NewContext 4 4 4");
  std::string pl = Var("p", "CreatePlane $c");
  EXPECT_EQ(t.Err("CreatePlane 0"), "invalid Context handle 0");
  EXPECT_EQ(t.Err("GetPlaneX $c"), "invalid Plane handle " + cxt);
  EXPECT_EQ(t.Err("GetTilt $p"), "invalid Context handle " + pl);
  EXPECT_EQ(t.Err("c_GetPlanePosition $c"), "invalid Plane handle " + cxt);
  EXPECT_EQ(t.Err("c_GetViewer 999999"), "invalid Context handle 999999");
  EXPECT_EQ(t.Err("GetZBufferDist $c 0"), "invalid ZBuffer handle " + cxt);
  EXPECT_EQ(t.Ok("c_FreePlane $p"), "");
  EXPECT_EQ(t.Err("c_FreePlane $p"), "invalid Plane handle " + pl);
  EXPECT_EQ(t.Ok("DestroyContext $c"), "");
  EXPECT_EQ(t.Err("GetSpin $c"), "invalid Context handle " + cxt);
}

TEST_F(ViewCommandsTest, TheContextsZBufferIsAViewThatDiesWithIt) {
  std::string cxt = Var("c", "NewContext 100 100 100");
  std::string zb = Var("z", "c_GetZBuffer $c ignored extra");
  EXPECT_EQ(t.Ok("c_GetZBuffer $c"), zb);  // the same view again
  EXPECT_EQ(t.Ok("GetZBufferDist $z 0"), "173.000000");
  EXPECT_EQ(t.Ok("GetZBufferDist $z [expr {173 * 173 - 1}]"), "173.000000");
  EXPECT_EQ(t.Err("GetZBufferDist $z [expr {173 * 173}]"),
            "Error:Pixel 29929 is outside the 173 x 173 z-buffer in GetZBufferDist");
  EXPECT_EQ(t.Err("DestroyZBuffer $z"),
            "ZBuffer handle " + zb + " belongs to another object and cannot be freed on its own");
  EXPECT_EQ(t.Ok("c_FreeContext $c"), "");
  EXPECT_EQ(t.Err("GetZBufferVoxel $z 0"), "invalid ZBuffer handle " + zb);
}

TEST_F(ViewCommandsTest, PickingReadsTheTruncatedPixel) {
  auto owned = NewContext(3, 4, 12);  // isize 13
  Context *cxt = owned.get();
  Handle h = Objects().Adopt(std::move(owned));
  std::string c = std::to_string(h);
  ZBuffer &zb = *cxt->zbuffer;
  zb.object[2 + zb.tbrow[3]] = 9;
  zb.object[12 + zb.tbrow[12]] = 4;
  EXPECT_EQ(t.Ok("c_GetObject " + c + " 2.9 3.2"), "9");
  EXPECT_EQ(t.Ok("c_GetObject " + c + " 2 3 extra"), "9");
  EXPECT_EQ(t.Ok("c_GetObject " + c + " 3.0 3.2"), "0");
  EXPECT_EQ(t.Ok("c_GetObject " + c + " -0.5 3"), "0");  // truncation would give column 0
  EXPECT_EQ(t.Ok("c_GetObject " + c + " 12.99 12.5"), "4");
  EXPECT_EQ(t.Ok("c_GetObject " + c + " 13 12"), "0");
  EXPECT_EQ(t.Ok("c_GetObject " + c + " 12 13"), "0");
  EXPECT_EQ(t.Ok("c_GetObject " + c + " nan 1"), "0");
  EXPECT_EQ(t.Ok("c_GetObject " + c + " 1e300 1"), "0");
  Objects().Take<Context>(h);
}

TEST_F(ViewCommandsTest, PlaneListsAndTheirFormats) {
  Var("c", "NewContext 10 20 30");
  Var("p", "CreatePlane $c");
  EXPECT_EQ(t.Ok("c_SetPlanePosition $p 3.7 -2.2 0.5 extra"), "");
  EXPECT_EQ(t.Ok("c_GetPlanePosition $p"), "3 -2 0");
  EXPECT_EQ(t.Ok("c_SetPlanePosition $p -0.7 junk 1e9"), "");
  EXPECT_EQ(t.Ok("c_GetPlanePosition $p"), "0 0 1000000000");  // no "-0"
  EXPECT_EQ(t.Ok("c_GetPlaneDirection $p"), "0.000000 0.000000 1.000000");
  EXPECT_EQ(t.Ok("c_GetViewer $c"), "0.000000 0.000000 -1.000000");
  // Identity plane, viewer (0, 0, -1): w = viewer - (0, 0, -1) = 0.
  EXPECT_EQ(t.Ok("c_GetRelativePlaneDirection $c $p"), "0.000000 0.000000 0.000000");
  // Plane turned by Ry(90): u = M^T (0, 0, -1) = (1, 0, 0), w = (-1, 0, -1),
  // M w = (-1, 0, 1).
  t.Ok("RotatePlaneAbs $p 0 90");
  EXPECT_EQ(t.Ok("c_GetRelativePlaneDirection $c $p"), "-1.000000 0.000000 1.000000");
  EXPECT_EQ(t.Ok("GetPlaneX $p"), "1.000000");
  EXPECT_EQ(t.Ok("GetPlaneSpin $p"), "90.000000");
  t.Ok("c_FreePlane $p; c_FreeContext $c");
}

TEST_F(ViewCommandsTest, VectorsAreLists) {
  EXPECT_EQ(t.Ok("VectorNormalize {3 4 12}"), "0.230769 0.307692 0.923077");
  EXPECT_EQ(t.Ok("VectorNormalize {0 0 0}"), "0.000000 0.000000 0.000000");
  EXPECT_EQ(t.Ok("VectorNormalize {-2 x 0}"), "-1.000000 0.000000 0.000000");
  EXPECT_EQ(t.Ok("VectorMagnitude {3 4 12}"), "13.000000");
  EXPECT_EQ(t.Ok("llength [VectorNormalize {1 1 1}]"), "3");
  EXPECT_EQ(t.Err("VectorMagnitude {1 2}"), "expected a vector of three numbers but got 2");
  EXPECT_EQ(t.Err("VectorNormalize {1 2 3 4}"), "expected a vector of three numbers but got 4");
  EXPECT_EQ(t.Err("VectorNormalize \"{1 2\""), "expected a list of numbers but got \"{1 2\"");
}

TEST_F(ViewCommandsTest, ClipPlaneTakesTheAxisAsACharacterCode) {
  Var("c", "NewContext 10 20 30");
  Var("x", "ClipPlane $c 120");  // 'x'
  EXPECT_EQ(t.Ok("c_GetPlanePosition $x"), "5 0 0");
  EXPECT_EQ(t.Ok("c_GetPlaneDirection $x"), "1.000000 0.000000 0.000000");
  Var("z", "ClipPlane $c [expr {122 + 256}]");  // the low byte: 'z'
  EXPECT_EQ(t.Ok("c_GetPlanePosition $z"), "0 0 15");
  Var("q", "ClipPlane $c 113");  // 'q'
  EXPECT_EQ(t.Ok("c_GetPlanePosition $q"), "0 0 0");
  EXPECT_EQ(t.Ok("c_GetPlaneDirection $q"), "0.000000 0.000000 1.000000");
  Var("n", "ClipPlane $c x");  // not a number: 0, no axis
  EXPECT_EQ(t.Ok("c_GetPlanePosition $n"), "0 0 0");
  EXPECT_EQ(t.Ok("foreach h [list $x $z $q $n] {c_FreePlane $h}; c_FreeContext $c"), "");
}
