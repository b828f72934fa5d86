#include "commands/modules.h"

std::vector<CommandSpec> FilteringCommands() {
  return {
  };
}
