#include "commands/modules.h"
#include "core/adjacency.h"
#include "core/image.h"
#include "lib2d/analysis.h"

std::vector<CommandSpec> AnalysisCommands() {
  return {
      Wrap<&SignedDistTrans>("SignedDistTrans", {"bin", "A", "side"}),
  };
}
