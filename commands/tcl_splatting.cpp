#include "commands/modules.h"
#include "core/scene.h"
#include "core/set.h"
#include "render/context.h"
#include "render/splatting.h"

std::vector<CommandSpec> SplattingCommands() {
  return {
      Wrap<&SplatScene>("SplatScene", {"scn", "cxt"}),
      Wrap<&SWSplatScene>("SWSplatScene", {"scn", "cxt"}),
      Wrap<&SplatBorder>("SplatBorder", {"scn", "cxt", "border"}),
  };
}
