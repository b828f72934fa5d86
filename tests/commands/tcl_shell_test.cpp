// The shell commands: every usage text and argument count in table order,
// and the associated scene that must never outlive its handle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/modules.h"
#include "commands/tcl_io.h"
#include "core/scene.h"
#include "support/interp.h"
#include "support/usage_table.h"

namespace {

std::vector<CommandSpec> ShellAndSceneCommands() {
  std::vector<CommandSpec> all;
  for (auto module : {ShellCommands, IoShellCommands, IoShellFieldCommands, SceneCommands}) {
    for (CommandSpec &spec : module()) all.push_back(std::move(spec));
  }
  return all;
}

const UsageRow kUsages[] = {
    {"SWShellRenderingDrawCut", "usage: %s <img> <shell> <cxt> <shear> <warp> <axis>\n", 6, false},
    {"SWShellRenderingDrawSceneCut", "usage: %s <img> <shell> <cxt> <shear> <warp> <axis>\n", 6, false},
    {"ISWShellRenderingDrawSceneCut", "usage: %s <img> <shell> <cxt> <shear> <warp> <axis>\n", 6, false},
    {"CreateShell", "usage: %s <scn> <alpha> <w>\n", 3, false},
    {"CreateBodyShell", "usage: %s <scn> <alpha>\n", 2, false},
    {"NonTransparentVoxels", "usage: %s <scn> <alpha>\n", 2, false},
    {"ReadShell", "usage: %s <filename>\n", 1, false},
    {"ReadBodyShell", "usage: %s <filename>\n", 1, false},
    {"ReadVoxels", "usage: %s <fp> <n>\n", 2, false},
    {"ReadList", "usage: %s <fp> <n>\n", 2, false},
    {"ReadBody", "usage: %s <fp> <n>\n", 2, false},
    {"ReadM", "usage: %s <fp> <ncols> <nrows>\n", 3, false},
    {"DestroyVoxelArray", "usage: %s <voxel>\n", 1, false},
    {"DestroyListArray", "usage: %s <list>\n", 1, false},
    {"DestroyBodyArray", "usage: %s <body>\n", 1, false},
    {"WriteShell", "usage: %s <shell> <filename>\n", 2, false},
    {"WriteBodyShell", "usage: %s <shell> <filename>\n", 2, false},
    {"WriteVoxels", "usage: %s <fp> <voxel> <n>\n", 3, false},
    {"WriteList", "usage: %s <fp> <list> <n>\n", 3, false},
    {"WriteBody", "usage: %s <fp> <list> <n>\n", 3, false},
    {"WriteM", "usage: %s <fp> <img>\n", 2, false},
    {"NewShell", "usage: %s <xsize> <ysize> <zsize> <nvoxels>\n", 4, false},
    {"NewBodyShell", "usage: %s <xsize> <ysize> <zsize> <nvoxels>\n", 4, false},
    {"Object2Shell", "usage: %s <scn> <w>\n", 2, false},
    {"Scene2Shell", "usage: %s <scn>\n", 1, false},
    {"MergeShell", "usage: %s <shell1> <shell2>\n", 2, false},
    {"CreateAlpha", "usage: %s <scn>\n", 1, false},
    {"InnerBorder", "usage: %s <bin> <w>\n", 2, false},
    {"ObjectAlpha", "usage: %s <scn> <w>\n", 2, false},
    {"OpacityScene", "usage: %s <shell>\n", 1, false},
    {"NormalIndexScene", "usage: %s <shell>\n", 1, false},
    {"LabelScene", "usage: %s <shell>\n", 1, false},
    {"FilledLabelScene", "usage: %s <shell>\n", 1, false},
    {"ObjectScene", "usage: %s <shell> <obj>\n", 2, false},
    {"ValueScene", "usage: %s <shell>\n", 1, false},
    {"RemoveVoxels", "usage: %s <shell> <low> <hi>\n", 3, false},
    {"SetShellVoxels", "usage: %s <shell> <scn>\n", 2, false},
    {"SetShellNormalIndex", "usage: %s <shell> <nscn>\n", 2, false},
    {"SetShellList", "usage: %s <shell> <scn>\n", 2, false},
    {"SetBodyShellValue", "usage: %s <shell> <scn>\n", 2, false},
    {"SetShellLabel", "usage: %s <shell> <scn>\n", 2, false},
    {"SetShellOpacity", "usage: %s <shell> <alpha>\n", 2, false},
    {"DestroyShell", "usage: %s <shell>\n", 1, false},
    {"ShellRenderingDrawCut", "usage: %s <img> <shell> <cxt> <cumopac> <axis>\n", 5, false},
    {"ShellRenderingDrawSceneCut", "usage: %s <img> <shell> <cxt> <cumopac> <axis>\n", 5, false},
    {"ShellRenderingDrawCutPlane", "usage: %s <img> <shell> <cxt> <cumopac>\n", 4, false},
    {"ShellRenderingDrawSceneCutPlane", "usage: %s <img> <shell> <cxt> <cumopac>\n", 4, false},
    {"RaycastSceneCut", "usage: %s <img> <scn> <cxt> <cumopac>\n", 4, false},
    {"GetPointer", "usage: %s <shell> <v>\n", 2, false},
    {"VoxelExist", "usage: %s <shell> <v>\n", 2, false},
    {"SWShellRendering", "usage: %s <shell> <cxt>\n", 2, false},
    {"ShellRendering", "usage: %s <shell> <cxt>\n", 2, false},
    {"ISWShellRendering", "usage: %s <shell> <cxt>\n", 2, false},
    {"DirectVolumeRendering", "usage: %s <shell> <cxt>\n", 2, false},
    {"EWASWShellRendering", "usage: %s <shell> <cxt>\n", 2, false},
    {"MIPShell", "usage: %s <shell> <cxt> <cs>\n", 3, false},
    {"SWShellRenderingCut", "usage: %s <shell> <cxt> <cs>\n", 3, false},
    {"ShellRenderingDrawObjectCut", "usage: %s <shell> <cxt> <axis>\n", 3, false},
    {"CMIPShell", "usage: %s <shell> <cxt> <cs>\n", 3, false},
    {"GMIPShell", "usage: %s <shell> <cxt> <cs>\n", 3, false},
    {"CSWShellRendering", "usage: %s <shell> <cxt>\n", 2, false},
    {"ICSWShellRendering", "usage: %s <shell> <cxt>\n", 2, false},
    {"CSWShellRenderingCut", "usage: %s <shell> <cxt> <cs>\n", 3, false},
    {"FastCSWShellRenderingCut", "usage: %s <shell> <cxt> <cs>\n", 3, false},
    {"CSWShellRenderingCutPlane", "usage: %s <shell> <cxt> <cs> <pl>\n", 4, false},
    {"CSWShellRenderingStereo", "usage: %s <shell> <cxt> <cs>\n", 3, false},
    {"GetShellXSize", "usage: %s <shell>\n", 1, false},
    {"GetShellYSize", "usage: %s <shell>\n", 1, false},
    {"GetShellZSize", "usage: %s <shell>\n", 1, false},
    {"GetShellMaximum", "usage: %s <shell>\n", 1, false},
    {"GetShellMinimum", "usage: %s <shell>\n", 1, false},
    {"ShellNObjects", "usage: %s <shell>\n", 1, false},
    {"ShellObjHistogram", "usage: %s <shell>\n", 1, false},
    {"ShellHistogram", "usage: %s <shell>\n", 1, false},
    {"ShellNormHistogram", "usage: %s <shell>\n", 1, false},
    {"ShellGradientHistogram", "usage: %s <shell>\n", 1, false},
    {"GetShellXSlice", "usage: %s <shell> <x>\n", 2, false},
    {"GetShellYSlice", "usage: %s <shell> <y>\n", 2, false},
    {"GetShellZSlice", "usage: %s <shell> <z>\n", 2, false},
    {"GetBodyShellXSlice", "usage: %s <shell> <x>\n", 2, false},
    {"GetBodyShellYSlice", "usage: %s <shell> <y>\n", 2, false},
    {"GetBodyShellZSlice", "usage: %s <shell> <z>\n", 2, false},
    {"SetObjectVisibility", "usage: %s <shell> <cxt> <obj> <visible>\n", 4, false},
    {"c_GetShellValue", "usage: %s <shell> <x> <y> <z>\n", 4, true},
    {"c_GetShellGradient", "usage: %s <shell> <x> <y> <z>\n", 4, true},
    {"c_HighlightObject", "usage: %s <cxt> <img> <obj> \n", 3, true},
    {"c_ContourObject", "usage: %s <cxt> <img> <obj> \n", 3, true},
    {"c_GetShellXSlice", "usage: %s <x> <cxt> <shell> ?curve?\n", 3, true},
    {"c_GetShellYSlice", "usage: %s <y> <cxt> <shell> ?curve?\n", 3, true},
    {"c_GetShellZSlice", "usage: %s <z> <cxt> <shell> ?curve?\n", 3, true},
    {"c_PreviewXSlice", "usage: %s <shell> <cimg> <x> <curve> <curve>\n", 5, true},
    {"c_PreviewYSlice", "usage: %s <shell> <cimg> <y> <curve> <curve>\n", 5, true},
    {"c_PreviewZSlice", "usage: %s <shell> <cimg> <z> <curve> <curve>\n", 5, true},
    {"c_FreeShell", "usage: %s <shellref>\n", 1, false},
    {"c_GetShellMaximum", "usage: %s <shell>\n", 1, true},
    {"c_GetShellNObjects", "usage: %s <shell>\n", 1, true},
    {"c_CountShellVoxels", "usage: %s <shell>\n", 1, true},
    {"c_SetObjectNormal", "usage: %s <shell> <dist scene> <obj>\n", 3, true},
    {"c_IsBodyShell", "usage: %s <shell>\n", 1, true},
    {"c_ShellHasScene", "usage: %s <shell>\n", 1, true},
    {"c_GetShellScene", "usage: %s <shell>\n", 1, true},
    {"c_SetDistNormal", "usage: %s <shell>\n", 1, true},
    {"c_SetShellNormal", "usage: %s <shell> <scn>\n", 2, true},
    {"c_SetShellScene", "usage: %s <shell> <scn>\n", 2, false},
    {"c_SetShellResolution", "usage: %s <shell> <dx> <dy> <dz>\n", 4, false},
};

class ShellCommandsTest : public ::testing::Test {
 protected:
  TestInterp t{ShellAndSceneCommands()};
  std::string Var(const std::string &name, const std::string &script) {
    return t.Ok("set " + name + " [" + script + "]");
  }
};

}  // namespace

TEST_F(ShellCommandsTest, TableOrderUsageTextsAndCounts) {
  ExpectUsageTable(t, ShellAndSceneCommands(), kUsages, std::size(kUsages));
}

TEST_F(ShellCommandsTest, HandlesOfTheWrongKindFail) {
  std::string scn = Var("s", "CreateScene 2 2 2");
  std::string shell = Var("h", "NewShell 2 2 2 0");
  EXPECT_EQ(t.Err("GetShellXSize $s"), "invalid Shell handle " + scn);
  EXPECT_EQ(t.Err("SetShellVoxels $h $h"), "invalid Scene handle " + shell);
  EXPECT_EQ(t.Err("c_FreeShell $s"), "invalid Shell handle " + scn);
  EXPECT_EQ(t.Err("WriteM stdout $h"), "channel \"stdout\" is not in binary mode "
                                         "(fconfigure -translation binary)");
  EXPECT_EQ(t.Ok("SetObjectVisibility $h 0 1 0"), "");  // the context is not used
  EXPECT_EQ(t.Ok("DestroyShell $h"), "");
  EXPECT_EQ(t.Err("c_IsBodyShell $h"), "invalid Shell handle " + shell);
}

TEST_F(ShellCommandsTest, TheAssociatedSceneDiesWithItsHandle) {
  std::string scn = Var("s", "CreateScene 2 2 2");
  Var("h", "NewBodyShell 2 2 2 0");
  EXPECT_EQ(t.Ok("c_SetShellScene $h $s"), "");
  EXPECT_EQ(t.Ok("c_GetShellScene $h"), scn);
  EXPECT_EQ(t.Ok("c_ShellHasScene $h"), "1");
  EXPECT_EQ(t.Ok("DestroyScene $s"), "");
  EXPECT_EQ(t.Ok("c_ShellHasScene $h"), "0");
  EXPECT_EQ(t.Ok("GetShellMinimum $h"), "2147483647");  // back to the (empty) body
  EXPECT_EQ(t.Ok("c_SetShellScene $h 0"), "");
  EXPECT_EQ(t.Ok("c_GetShellScene $h"), "0");
  EXPECT_EQ(t.Ok("c_SetShellResolution $h 1.0 1.5 2.0"), "");
  EXPECT_EQ(t.Ok("c_FreeShell $h"), "");
}
