#include "commands/modules.h"
#include "core/plane.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/graphics.h"
#include "segment/annscn.h"

std::vector<CommandSpec> GraphicsCommands() {
  return {
      Wrap<&IntensifyPixel>("IntensifyPixel", {"img", "x", "y", "w", "d", "zbuff"}),
      Wrap<&DrawFrame>("DrawFrame", {"img", "cxt"}),
      Wrap<&DrawAAFrame>("DrawAAFrame", {"img", "cxt"}),
      Wrap<&DrawCutFrame>("DrawCutFrame", {"img", "cxt", "pl"}),
      Wrap<&DrawPlane>("DrawPlane", {"scn", "cxt", "pl", "img"}),
      Wrap<&DrawScene>("DrawScene", {"scn", "cxt"}),
      Wrap<&DrawCutScene>("DrawCutScene", {"scn", "cxt", "pl"}),
      Wrap<&DrawCutObjects>("DrawCutObjects", {"ascn", "cxt", "pl"}),
      Wrap<&DrawCutObjectsAux>("DrawCutObjectsAux", {"scn", "label", "cxt", "pl"}),
  };
}
