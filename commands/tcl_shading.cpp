#include "commands/modules.h"

std::vector<CommandSpec> ShadingCommands() {
  return {
  };
}
