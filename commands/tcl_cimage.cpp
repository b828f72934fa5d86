#include "commands/modules.h"

std::vector<CommandSpec> CImageCommands() {
  return {
  };
}
