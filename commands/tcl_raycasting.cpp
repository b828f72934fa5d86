#include "commands/modules.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/raycasting.h"

// The normal table crosses as a list of numbers, three per normal index.
std::vector<CommandSpec> RaycastingCommands() {
  return {
      Wrap<&SWRaycastScene>("SWRaycastScene", {"scn", "cxt"}),
      Wrap<&RaycastScene>("RaycastScene", {"scn", "cxt"}),
      Wrap<&RaycastGrayScene>("RaycastGrayScene", {"scn", "cxt", "nscn"}),
      Wrap<&BRaycastScene>("BRaycastScene", {"scn", "cxt"}),
      Wrap<&RaytracingScene>("RaytracingScene",
                             {"scn", "alpha", "normal", "normaltable", "cxt"}),
      Wrap<&CRaytracingScene>("CRaytracingScene",
                              {"scn", "alpha", "normal", "normaltable", "cxt"}),
      Wrap<&MIPScene>("MIPScene", {"scn", "cxt"}),
  };
}
