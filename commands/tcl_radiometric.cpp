#include "commands/modules.h"
#include "core/stretch.h"

std::vector<CommandSpec> RadiometricCommands() {
  return {
      Wrap<&LinearStretch>("LinearStretch", {"img", "f1", "f2", "g1", "g2"}),
  };
}
