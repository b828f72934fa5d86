// The registered table against the list of commands the program promises:
// every registered name is a promised one or a documented addition, and
// modules register their commands in the promised order.
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/table.h"

namespace {

struct Promised {
  std::vector<std::string> order;              // all names, table order
  std::map<std::string, std::string> module;   // name -> module
};

Promised ReadPromised() {
  std::string path = __FILE__;
  path = path.substr(0, path.rfind('/')) + "/command_names.txt";
  std::ifstream in(path);
  Promised p;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string module, name;
    fields >> module >> name;
    p.order.push_back(name);
    p.module[name] = module;
  }
  return p;
}

// Commands added beyond the promised table (listed in the README).
const std::set<std::string> kAdditions = {
    "Annotate3", "AddSeed3", "AddMark3", "GetCost3", "GetLabel3", "GetPred3", "DeAnnotate3",
    "DestroySet", "BMapNew", "BMapGet", "BMapSet", "BMapDestroy", "CreateBorder", "DestroyBorder",
    "Circular", "DestroyAdjRel", "Annotate", "AddSeed", "GetCost", "GetLabel", "GetPred",
    "DeAnnotate",
    "c_CommandTable", "c_ProgressHook", "c_LiveObjects", "DestroyVoxelArray", "DestroyListArray",
    "DestroyBodyArray",
    "WriteMovie",
    // Volume files of other tools (tcl_volume_io).
    "ReadVolume", "ReadDicomSeries", "ListDicomSeries", "WriteVolume", "WriteCImagePng",
    "IsVolumeFile", "SceneValueRule", "SceneOriginalValue", "SceneOrientation",
    "CopySceneGeometry",
};

}  // namespace

TEST(CommandNames, TheListHoldsTheWholeTable) {
  Promised p = ReadPromised();
  EXPECT_EQ(p.order.size(), 439u);
  EXPECT_EQ(p.module.size(), 439u);
}

TEST(CommandNames, EveryRegisteredCommandIsPromisedOrDocumented) {
  Promised p = ReadPromised();
  for (const CommandSpec &spec : AllCommands()) {
    const std::string name = spec.name;
    EXPECT_TRUE(p.module.count(name) || kAdditions.count(name))
        << name << " is neither in the table nor a documented addition";
  }
}

TEST(CommandNames, ModulesKeepThePromisedOrder) {
  Promised p = ReadPromised();
  std::map<std::string, int> rank;
  for (size_t i = 0; i < p.order.size(); ++i) rank[p.order[i]] = static_cast<int>(i);
  std::map<std::string, int> lastRankOfModule;
  for (const CommandSpec &spec : AllCommands()) {
    auto it = rank.find(spec.name);
    if (it == rank.end()) continue;
    const std::string &module = p.module[spec.name];
    auto last = lastRankOfModule.find(module);
    if (last != lastRankOfModule.end()) {
      EXPECT_GT(it->second, last->second) << spec.name << " is out of order in " << module;
    }
    lastRankOfModule[module] = it->second;
  }
}

// The kinds the sweep reads from the table follow each parameter's C++ type.
TEST(CommandTable, ParameterKindsFollowTheSignature) {
  std::map<std::string, std::vector<std::string>> kinds;
  for (const CommandSpec &spec : AllCommands()) kinds[spec.name] = spec.kinds;
  EXPECT_EQ(kinds["LinearInterp"], (std::vector<std::string>{"Scene", "real", "real", "real"}));
  EXPECT_EQ(kinds["DestroyScene"], (std::vector<std::string>{"Scene!"}));
  EXPECT_EQ(kinds["ClipPlane"], (std::vector<std::string>{"Context", "byte"}));
  EXPECT_EQ(kinds["GetLinePoints"], (std::vector<std::string>{"list", "list"}));
  EXPECT_EQ(kinds["WriteScene"], (std::vector<std::string>{"Scene", "string"}));
  EXPECT_EQ(kinds["SetPhong"],
            (std::vector<std::string>{"Context", "int", "real", "real", "real", "int"}));
  EXPECT_TRUE(kinds["c_GetSceneValue"].empty());  // hand-made: named by the usage text
}
