#include "commands/modules.h"

std::vector<CommandSpec> AnalysisCommands() {
  return {
  };
}
