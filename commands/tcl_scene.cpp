#include "commands/modules.h"

std::vector<CommandSpec> SceneCommands() {
  return {
  };
}
