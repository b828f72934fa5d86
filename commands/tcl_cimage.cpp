#include "commands/modules.h"
#include "core/cimage.h"
#include "lib2d/filtering.h"

// ColorGradient joins this table with the 2D filters it is built on.
std::vector<CommandSpec> CImageCommands() {
  return {
      Wrap<&CreateCImage>("CreateCImage", {"ncols", "nrows"}),
      Wrap<&DestroyCImage>("DestroyCImage", {"cimg"}),
      Wrap<&WriteCImage>("WriteCImage", {"cimg", "filename"}),
      Wrap<&CopyCImage>("CopyCImage", {"cimg"}),
      Wrap<&Convert2CImage>("Convert2CImage", {"img"}),
      Wrap<&CLinearStretch>("CLinearStretch", {"cimg", "f1", "f2", "g1", "g2"}),
      Wrap<&CROI>("CROI", {"cimg", "xl", "yl", "xr", "yr"}),
      Wrap<&CScale>("CScale", {"cimg", "Sx", "Sy"}),
      Wrap<&COverlayAlphaImage>("COverlayAlphaImage", {"cimg", "alpha"}),
      Wrap<&GetBand>("GetBand", {"cimg", "band"}),
      Wrap<&ColorizeImage>("ColorizeImage", {"img", "R", "G", "B"}),
      Wrap<&BlendImages>("BlendImages", {"cimg1", "cimg2", "alpha1", "alpha2"}),
      Wrap<&ColorGradient>("ColorGradient", {"cimg"}),
      Wrap<&CImageRGBtoYCbCr>("CImageRGBtoYCbCr", {"cimg"}),
  };
}
