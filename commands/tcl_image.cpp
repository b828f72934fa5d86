#include "commands/modules.h"
#include "core/image.h"

std::vector<CommandSpec> ImageCommands() {
  return {
      Wrap<&CreateSine>("CreateSine", {"ncols", "nrows", "wx", "wy", "phix", "phiy"}),
      Wrap<&CreateCos>("CreateCos", {"ncols", "nrows", "wx", "wy", "phix", "phiy"}),
      Wrap<&CreateSquare>("CreateSquare", {"xo", "yo", "xf", "yf", "ncols", "nrows", "val"}),
      Wrap<&CreateImage>("CreateImage", {"ncols", "nrows"}),
      Wrap<&DestroyImage>("DestroyImage", {"img"}),
      Wrap<&ReadImage>("ReadImage", {"filename"}),
      Wrap<&WriteImage>("WriteImage", {"img", "filename"}),
      Wrap<&ConvertToNbits>("ConvertToNbits", {"img", "N"}),
      Wrap<&MinimumValue>("MinimumValue", {"img"}),
      Wrap<&MaximumValue>("MaximumValue", {"img"}),
      Wrap<&SetImage>("SetImage", {"img", "value"}),
      Wrap<&ValidPixel>("ValidPixel", {"img", "x", "y"}),
      Wrap<&CopyImage>("CopyImage", {"img"}),
      Wrap<&AddFrame>("AddFrame", {"img", "sz", "value"}),
      Wrap<&RemFrame>("RemFrame", {"fimg", "sz"}),
      Wrap<&ROI>("ROI", {"img", "xl", "yl", "xr", "yr"}),
      Wrap<&MBB>("MBB", {"img"}),
      Wrap<&MakeFrame>("MakeFrame", {"ncols", "nrows", "value"}),
      Wrap<&PaintCircle>("PaintCircle", {"img", "center", "radius", "value"}),
      Wrap<&DrawPath>("DrawPath", {"img", "pred", "dst", "value"}),
      Wrap<&InputSeeds>("InputSeeds", {"ncols", "nrows", "seeds"}),
      Wrap<&Rotate>("Rotate", {"img", "theta"}),
      Wrap<&Scale>("Scale", {"img", "Sx", "Sy"}),
      Wrap<&ImageMagnitude>("ImageMagnitude", {"imgx", "imgy"}),
      Wrap<&CreateIntArray>("CreateIntArray", {"data"}),
      Wrap<&OverlayAlphaImage>("OverlayAlphaImage", {"img", "alpha"}),
  };
}
