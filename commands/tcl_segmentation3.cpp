#include "commands/modules.h"

std::vector<CommandSpec> Segmentation3Commands() {
  return {
  };
}
