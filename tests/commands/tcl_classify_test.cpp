// The classification commands: usage texts and count rules in table order,
// the two ways their arguments are read, handles of the wrong kind, and the
// body-shell commands refusing object shells.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "commands/modules.h"
#include "commands/tcl_io.h"
#include "support/interp.h"
#include "support/usage_table.h"

namespace {

// The field group from c_ClassifyBodyShell on.
std::vector<CommandSpec> ClassifyCommands() {
  std::vector<CommandSpec> all = IoShellFieldCommands(), out;
  bool on = false;
  for (CommandSpec &spec : all) {
    on = on || std::strcmp(spec.name, "c_ClassifyBodyShell") == 0;
    if (on) out.push_back(std::move(spec));
  }
  return out;
}

std::vector<CommandSpec> Everything() {
  std::vector<CommandSpec> all;
  for (auto module : {ShellCommands, SceneCommands, IoShellCommands, IoShellFieldCommands,
                      IoCurveCommands, IoPhotoCommands}) {
    for (CommandSpec &spec : module()) all.push_back(std::move(spec));
  }
  return all;
}

const UsageRow kUsages[] = {
    {"c_ClassifyBodyShell", "usage: %s <shell> <curve1> curve2>\n", 3, true},
    {"c_ShellAutoLabel", "usage: %s <shell> <curve> <percent>\n", 3, false},
    {"c_ClassifyLabel", "usage: %s <shell> <curve1>\n", 2, true},
    {"c_ShellTrainingIntensity", "usage: %s <shell> <curve>\n", 2, false},
    {"c_ShellTrainingGradient", "usage: %s <shell> <curve>\n", 2, false},
    {"c_ClassifyObject", "usage: %s <shell> <dist scene> <curve> <obj>\n", 4, true},
    {"c_RestoreLabels", "usage: %s <scn> <lscn> <label>\n", 3, true},
    {"c_ResetShellOpacity", "usage: %s <shell>\n", 1, true},
    {"c_ResetShellLabel", "usage: %s <shell>\n", 1, true},
};

class ClassifyCommandsTest : public ::testing::Test {
 protected:
  TestInterp t{Everything()};
  std::string Var(const std::string &name, const std::string &script) {
    return t.Ok("set " + name + " [" + script + "]");
  }
};

}  // namespace

TEST_F(ClassifyCommandsTest, UsageTextsAndCountsInTableOrder) {
  std::vector<CommandSpec> specs = ClassifyCommands();
  EXPECT_EQ(specs.size(), std::size(kUsages));
  ExpectUsageTable(t, specs, kUsages, std::size(kUsages));
}

// The interpreter's integer parser rejects what the base-10 reading takes
// as 0 (and so as the invalid handle 0).
TEST_F(ClassifyCommandsTest, TwoWaysOfReadingArguments) {
  std::string shell = Var("b", "NewBodyShell 2 1 1 0");
  Var("c", "c_List2Curve {0 1 4 1}");
  EXPECT_EQ(t.Err("c_ClassifyBodyShell x 0 0"), "expected integer but got \"x\"");
  EXPECT_EQ(t.Err("c_ClassifyBodyShell $b 0 1.5"), "expected integer but got \"1.5\"");
  EXPECT_EQ(t.Err("c_ShellAutoLabel $b $c 8o"), "expected floating-point number but got \"8o\"");
  EXPECT_EQ(t.Err("c_ShellTrainingIntensity { 0x} 0"), "expected integer but got \" 0x\"");
  EXPECT_EQ(t.Err("c_ResetShellOpacity x"), "invalid Shell handle 0");
  EXPECT_EQ(t.Ok("c_ResetShellOpacity ${b}xyz"), "");
  EXPECT_EQ(t.Ok("c_ResetShellLabel $b extra"), "");
  EXPECT_EQ(t.Ok("c_ClassifyBodyShell \" $b\" 0 0 extra"), "");
  EXPECT_EQ(t.Ok("c_ShellAutoLabel $b $c 1e1"), t.Ok("set c"));
}

TEST_F(ClassifyCommandsTest, HandlesOfTheWrongKindFail) {
  std::string scn = Var("s", "CreateScene 2 1 1");
  std::string shell = Var("b", "NewBodyShell 2 1 1 0");
  std::string curve = Var("c", "c_List2Curve {0 1 4 1}");
  EXPECT_EQ(t.Err("c_ClassifyBodyShell $b $s 0"), "invalid Curve handle " + scn);
  EXPECT_EQ(t.Err("c_ClassifyBodyShell $b 0 $b"), "invalid Curve handle " + shell);
  EXPECT_EQ(t.Err("c_ShellTrainingIntensity $b $c"), "invalid Curve3D handle " + curve);
  EXPECT_EQ(t.Err("c_ClassifyObject $b $b $c 1"), "invalid Scene handle " + shell);
  EXPECT_EQ(t.Err("c_ClassifyLabel $s $c"), "invalid Shell handle " + scn);
  EXPECT_EQ(t.Err("c_RestoreLabels $s $c 1"), "invalid Scene handle " + curve);
  EXPECT_EQ(t.Err("c_ShellAutoLabel $b 0 80"), "invalid Curve handle 0");
}

TEST_F(ClassifyCommandsTest, BodyShellCommandsRefuseObjectShells) {
  Var("o", "NewShell 2 1 1 0");
  Var("c", "c_List2Curve {0 1 4 1}");
  Var("p", "c_List2Curve3D {0 0 0}");
  const std::string msg =
      "Error:An object shell has no voxel values or gradients: a body shell is needed in ";
  EXPECT_EQ(t.Err("c_ClassifyBodyShell $o 0 0"), msg + "ClassifyBodyShell");
  EXPECT_EQ(t.Err("c_ShellAutoLabel $o $c 80"), msg + "ShellAutoLabel");
  EXPECT_EQ(t.Err("c_ShellTrainingIntensity $o $p"), msg + "ShellTrainingIntensity");
  EXPECT_EQ(t.Err("c_ShellTrainingGradient $o $p"), msg + "ShellTrainingGradient");
  EXPECT_EQ(t.Err("c_ClassifyLabel $o $c"), msg + "ClassifyLabel");
}

TEST_F(ClassifyCommandsTest, ScenesOfAnotherSizeFail) {
  Var("s", "CreateScene 2 1 1");
  Var("l", "CreateScene 1 2 1");
  Var("h", "NewShell 2 1 1 0");
  Var("c", "c_List2Curve {0 1 4 1}");
  EXPECT_EQ(t.Err("c_RestoreLabels $s $l 3"),
            "Error:Scenes have different sizes (2 x 1 x 1 and 1 x 2 x 1) in RestoreLabels");
  EXPECT_EQ(t.Err("c_ClassifyObject $h $l $c 1"),
            "Error:The scene is 1 x 2 x 1 but the shell 2 x 1 x 1 in ClassifyObject");
}
