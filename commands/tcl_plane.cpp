#include "commands/modules.h"
#include "core/plane.h"
#include "render/context.h"

// ClipPlane's axis is an 8-bit parameter: like every such parameter it
// takes the low byte of an integer, so scripts name the axis by its
// character code (120 for 'x').
std::vector<CommandSpec> PlaneCommands() {
  return {
      Wrap<&CreatePlane>("CreatePlane", {"cxt"}),
      Wrap<&CopyPlane>("CopyPlane", {"pl"}),
      Wrap<&DestroyPlane>("DestroyPlane", {"pl"}),
      Wrap<&RotatePlane>("RotatePlane", {"pl", "thx", "thy"}),
      Wrap<&RotatePlaneAbs>("RotatePlaneAbs", {"pl", "thx", "thy"}),
      Wrap<&TranslatePlane>("TranslatePlane", {"pl", "alpha"}),
      Wrap<&TranslatePlaneAbs>("TranslatePlaneAbs", {"pl", "alpha"}),
      Wrap<&TranslatePlaneAux>("TranslatePlaneAux", {"pl", "alpha"}),
      Wrap<&FacePlane>("FacePlane", {"vert", "n"}),
      Wrap<&GetPlaneX>("GetPlaneX", {"pl"}),
      Wrap<&GetPlaneY>("GetPlaneY", {"pl"}),
      Wrap<&GetPlaneTilt>("GetPlaneTilt", {"pl"}),
      Wrap<&GetPlaneSpin>("GetPlaneSpin", {"pl"}),
      Wrap<&LockPlane>("LockPlane", {"cxt", "pl"}),
      Wrap<&SetPlaneZBuffer>("SetPlaneZBuffer", {"plane", "pl"}),
      Wrap<&SetPlaneShearZBuffer>("SetPlaneShearZBuffer", {"cxt", "zbuff", "pl"}),
      Wrap<&ClipPlane>("ClipPlane", {"cxt", "axis"}),
  };
}
