#include "commands/modules.h"
#include "core/adjacency3.h"
#include "core/scene.h"
#include "segment/analysis3.h"

// Positions and operand sizes are checked inside the core operations, so a
// bad slice number or voxel address fails the command with the core's
// message.
std::vector<CommandSpec> SceneCommands() {
  return {
      Wrap<&ROI3>("ROI3", {"scn", "xl", "yl", "zl", "xh", "yh", "zh"}),
      Wrap<&CreateScene>("CreateScene", {"xsize", "ysize", "zsize"}),
      Wrap<&DestroyScene>("DestroyScene", {"scn"}),
      Wrap<&CopyScene>("CopyScene", {"scn"}),
      Wrap<&ValidVoxel>("ValidVoxel", {"scn", "vx", "vy", "vz"}),
      Wrap<&MaximumValue3>("MaximumValue3", {"scn"}),
      Wrap<&MinimumValue3>("MinimumValue3", {"scn"}),
      Wrap<&MBB3>("MBB3", {"scn"}),
      Wrap<&ReadScene>("ReadScene", {"filename"}),
      Wrap<&WriteScene>("WriteScene", {"scn", "filename"}),
      Wrap<&GetSlice>("GetSlice", {"scn", "z"}),
      Wrap<&GetXSlice>("GetXSlice", {"scn", "x"}),
      Wrap<&GetYSlice>("GetYSlice", {"scn", "y"}),
      Wrap<&PutXSlice>("PutXSlice", {"img", "scn", "z"}),
      Wrap<&PutYSlice>("PutYSlice", {"img", "scn", "z"}),
      Wrap<&PutSlice>("PutSlice", {"img", "scn", "z"}),
      Wrap<&LinearInterp>("LinearInterp", {"scn", "dx", "dy", "dz"}),
      Wrap<&ImageSurface>("ImageSurface", {"img"}),
      Wrap<&AddFrame3>("AddFrame3", {"scn", "sz", "value"}),
      Wrap<&RemFrame3>("RemFrame3", {"fscn", "sz"}),
      Wrap<&MergeLabels>("MergeLabels", {"scn1", "scn2"}),
      Wrap<&SceneImax>("SceneImax", {"scn"}),
      Wrap<&EdgeVoxel>("EdgeVoxel", {"scn", "v", "s"}),
      Wrap<&GetNSlices>("GetNSlices", {"scn"}),
      Wrap<&GetXSize>("GetXSize", {"scn"}),
      Wrap<&GetYSize>("GetYSize", {"scn"}),
      Wrap<&GetZSize>("GetZSize", {"scn"}),
      Wrap<&GetDx>("GetDx", {"scn"}),
      Wrap<&GetDy>("GetDy", {"scn"}),
      Wrap<&GetDz>("GetDz", {"scn"}),
      Wrap<&SetDx>("SetDx", {"scn", "dx"}),
      Wrap<&SetDy>("SetDy", {"scn", "dy"}),
      Wrap<&SetDz>("SetDz", {"scn", "dz"}),
      Wrap<&Coord2Voxel>("Coord2Voxel", {"scn", "x", "y", "z"}),
      Wrap<&GetVoxelValue>("GetVoxelValue", {"scn", "voxel"}),
      Wrap<&DrawBorder3>("DrawBorder3", {"scn", "label", "value"}),
      Wrap<&ScenesAreEqual>("ScenesAreEqual", {"scn1", "scn2"}),
      Wrap<&CompareScenes>("CompareScenes", {"scn1", "scn2"}),
      Wrap<&SetScene>("SetScene", {"scn", "value"}),
      Wrap<&SetLabelScene>("SetLabelScene", {"scn", "label", "value"}),
      Wrap<&ShapeBasedInterp>("ShapeBasedInterp", {"scn", "dx", "dy", "dz"}),
      Wrap<&GetBorder3>("GetBorder3", {"scn", "A"}),
      Wrap<&DrawAdj3>("DrawAdj3", {"scn", "A", "center", "value"}),
  };
}
