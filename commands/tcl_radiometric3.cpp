#include "commands/modules.h"

std::vector<CommandSpec> Radiometric3Commands() {
  return {
  };
}
