#include "commands/modules.h"

std::vector<CommandSpec> GeometryCommands() {
  return {
  };
}
