#include "commands/modules.h"

std::vector<CommandSpec> PlaneCommands() {
  return {
  };
}
