#include "commands/modules.h"
#include "core/stretch.h"
#include "lib2d/radiometric.h"

std::vector<CommandSpec> RadiometricCommands() {
  return {
      Wrap<&Histogram>("Histogram", {"img"}),
      Wrap<&NormHistogram>("NormHistogram", {"img"}),
      Wrap<&AccHistogram>("AccHistogram", {"img"}),
      Wrap<&NormAccHistogram>("NormAccHistogram", {"img"}),
      Wrap<&Probability>("Probability", {"img"}),
      Wrap<&Equalize>("Equalize", {"img"}),
      Wrap<&MatchHistogram>("MatchHistogram", {"img", "des"}),
      Wrap<&LinearStretch>("LinearStretch", {"img", "f1", "f2", "g1", "g2"}),
      Wrap<&GaussStretch>("GaussStretch", {"img", "mean", "stdev"}),
  };
}
