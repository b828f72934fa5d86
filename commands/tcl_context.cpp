#include "commands/modules.h"
#include "core/scene.h"
#include "render/context.h"

std::vector<CommandSpec> ContextCommands() {
  return {
      Wrap<&SetPhong>("SetPhong", {"cxt", "oindex", "diff", "spec", "amb", "ns"}),
      Wrap<&SetClip>("SetClip", {"cxt", "xmin", "xmax", "ymin", "ymax", "zmin", "zmax"}),
      Wrap<&CreateContext>("CreateContext", {"scn"}),
      Wrap<&NewContext>("NewContext", {"xsize", "ysize", "zsize"}),
      Wrap<&DestroyContext>("DestroyContext", {"cxt"}),
      Wrap<&SetAngles>("SetAngles", {"cxt", "theta_x", "theta_y"}),
      Wrap<&AddAngles>("AddAngles", {"cxt", "thx", "thy"}),
      Wrap<&SetObjectColor>("SetObjectColor", {"cxt", "oindex", "red", "green", "blue"}),
      Wrap<&SetObjectOpacity>("SetObjectOpacity", {"cxt", "oindex", "opac"}),
      Wrap<&SetAxisIndices>("SetAxisIndices", {"cxt"}),
      Wrap<&CreateZBuffer>("CreateZBuffer", {"usize", "vsize"}),
      Wrap<&DestroyZBuffer>("DestroyZBuffer", {"zbuff"}),
      Wrap<&InitZBuffer>("InitZBuffer", {"zbuff"}),
      Wrap<&InitZBufferObject>("InitZBufferObject", {"zbuff", "obj"}),
      Wrap<&InitZBufferVoxel>("InitZBufferVoxel", {"zbuff"}),
      Wrap<&CreateFBuffer>("CreateFBuffer", {"usize", "vsize"}),
      Wrap<&DestroyFBuffer>("DestroyFBuffer", {"buff"}),
      Wrap<&InitFBuffer>("InitFBuffer", {"fbuff", "f"}),
      Wrap<&GetTilt>("GetTilt", {"cxt"}),
      Wrap<&GetSpin>("GetSpin", {"cxt"}),
      Wrap<&GetZBufferVoxel>("GetZBufferVoxel", {"zbuff", "i"}),
      Wrap<&GetZBufferDist>("GetZBufferDist", {"zbuff", "i"}),
      Wrap<&GetZBufferObject>("GetZBufferObject", {"zbuff", "i"}),
      Wrap<&SetZBufferDist>("SetZBufferDist", {"zbuff", "dist"}),
  };
}
