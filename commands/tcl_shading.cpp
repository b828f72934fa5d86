#include <cstdio>
#include <string>

#include "commands/modules.h"
#include "core/common.h"
#include "core/scene.h"
#include "render/shading.h"

namespace {

// The core AccVoxelColor trusts its pixel (renderers call it per voxel); a
// pixel from a script is checked first.
void AccVoxelColorChecked(CImage *cimg, const Context *cxt, int i, float Y, float opac,
                          int obj) {
  const int n = cimg->ncols() * cimg->nrows();
  if (i < 0 || i >= n)
    Error("Pixel " + std::to_string(i) + " is outside the " + std::to_string(cimg->ncols()) +
              " x " + std::to_string(cimg->nrows()) + " image",
          "AccVoxelColor");
  AccVoxelColor(cimg, cxt, i, Y, opac, obj);
}

// A script has no three-float array to receive a normal, so the normal
// commands return it as the list "%f %f %f"; their <normal> argument is
// accepted and not read.
std::string NormalList(const float n[3]) {
  char text[128];
  snprintf(text, sizeof text, "%f %f %f", n[0], n[1], n[2]);
  return text;
}

std::string ObjectNormalList(int Pind, const Context *cxt, const char *) {
  float n[3];
  ObjectNormal(Pind, cxt, n);
  return NormalList(n);
}

std::string SceneNormalList(int Vind, const Scene *scn, const char *) {
  float n[3];
  SceneNormal(Vind, scn, n);
  return NormalList(n);
}

}  // namespace

std::vector<CommandSpec> ShadingCommands() {
  return {
      Wrap<&AccVoxelColorChecked>("AccVoxelColor", {"cimg", "cxt", "i", "Y", "opac", "obj"}),
      Wrap<&DepthShading>("DepthShading", {"cxt"}),
      Wrap<&PhongShading>("PhongShading", {"cxt"}),
      Wrap<&PhongShadingScene>("PhongShadingScene", {"cxt", "nscn"}),
      Wrap<&ObjectNormalList>("ObjectNormal", {"Pind", "cxt", "normal"}),
      Wrap<&SceneNormalList>("SceneNormal", {"Vind", "scn", "normal"}),
      Wrap<&Colorize>("Colorize", {"cxt", "img"}),
      Wrap<&ColorizeSlice>("ColorizeSlice", {"cxt", "img"}),
      Wrap<&OverlaySlice>("OverlaySlice", {"cxt", "obj", "img"}).NullOk("img"),
      Wrap<&ColorizeCut>("ColorizeCut", {"cxt", "cimg", "img"}),
      Wrap<&GetXCSlice>("GetXCSlice", {"scn", "x"}),
      Wrap<&GetYCSlice>("GetYCSlice", {"scn", "y"}),
      Wrap<&GetZCSlice>("GetZCSlice", {"scn", "z"}),
      Wrap<&FillSlice>("FillSlice", {"img"}),
      Wrap<&FillCutPlane>("FillCutPlane", {"zbuff", "img"}).NullOk("zbuff"),
      Wrap<&FillPlane>("FillPlane", {"img", "cxt"}),
  };
}
