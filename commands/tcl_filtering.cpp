#include "commands/modules.h"
#include "core/kernel.h"
#include "lib2d/filtering.h"

std::vector<CommandSpec> FilteringCommands() {
  return {
      Wrap<&MakeKernel>("MakeKernel", {"coefs"}),
      Wrap<&CreateKernel>("CreateKernel", {"A"}),
      Wrap<&LinearKernel>("LinearKernel", {"A"}),
      Wrap<&GaussianKernel>("GaussianKernel", {"A", "mean", "stddev"}),
      Wrap<&LaplacianKernel>("LaplacianKernel", {"A", "stddev"}),
      Wrap<&CircularGaussianKernel>("CircularGaussianKernel", {"R", "s", "f"}),
      Wrap<&EllipticalGaussianKernel>("EllipticalGaussianKernel", {"v", "E", "R", "s", "f"}),
      Wrap<&DestroyKernel>("DestroyKernel", {"K"}),
      Wrap<&LinearFilter>("LinearFilter", {"img", "K"}),
      Wrap<&LinearFilter2>("LinearFilter2", {"img", "K"}),
      Wrap<&LaplacianBorder>("LaplacianBorder", {"img", "K"}),
      Wrap<&MedianFilter>("MedianFilter", {"img", "A"}),
      Wrap<&ModeFilter>("ModeFilter", {"img", "A"}),
      Wrap<&FoldKernel>("FoldKernel", {"K"}),
      Wrap<&SobelFilter>("SobelFilter", {"img"}),
      Wrap<&ShapeFilter>("ShapeFilter", {"bin", "perc"}),
  };
}
