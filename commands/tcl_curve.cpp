#include "commands/modules.h"

std::vector<CommandSpec> CurveCommands() {
  return {
  };
}
