#include "commands/modules.h"
#include "segment/mathematics3.h"

std::vector<CommandSpec> Mathematics3Commands() {
  return {
      Wrap<&Diff3>("Diff3", {"scn1", "scn2"}),
      Wrap<&Sum3>("Sum3", {"scn1", "scn2"}),
      Wrap<&Max3>("Max3", {"scn1", "scn2"}),
      Wrap<&Complement3>("Complement3", {"scn"}),
      Wrap<&SQRT3>("SQRT3", {"scn"}),
      Wrap<&Add3>("Add3", {"scn1", "value"}),
      Wrap<&Mult3>("Mult3", {"scn1", "scn2"}),
  };
}
