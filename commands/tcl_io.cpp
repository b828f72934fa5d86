#include "commands/tcl_io.h"

#include "commands/modules.h"

namespace {

// One entry per registered command, in table order:
//   {name minArgs maxArgs usage {param ...} {kind ...}}
// maxArgs is -1 for no upper bound; hand-made commands have empty parameter
// and kind lists (their usage text names the parameters). Tools that walk
// the table (the hostile-argument sweep) read it from here, so a command
// added to any module is covered without being listed anywhere else.
int CommandTableCmd(Tcl_Interp *interp, int, const char *[]) {
  Tcl_Obj *all = Tcl_NewListObj(0, nullptr);
  auto strings = [](const std::vector<std::string> &items) {
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const std::string &s : items) {
      Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(s.c_str(), -1));
    }
    return list;
  };
  for (const CommandSpec &spec : AllCommands()) {
    Tcl_Obj *entry[] = {Tcl_NewStringObj(spec.name, -1), Tcl_NewIntObj(spec.minArgs),
                        Tcl_NewIntObj(spec.maxArgs), Tcl_NewStringObj(spec.usage.c_str(), -1),
                        strings(spec.params), strings(spec.kinds)};
    Tcl_ListObjAppendElement(nullptr, all, Tcl_NewListObj(6, entry));
  }
  Tcl_SetObjResult(interp, all);
  return TCL_OK;
}

}  // namespace

std::vector<CommandSpec> IoCommands() {
  std::vector<CommandSpec> all;
  // The context's commands sit between the two shell groups in the table.
  for (auto group : {IoPhotoCommands, IoCurveCommands, IoPlaneCommands, IoShellCommands,
                     IoContextCommands, IoShellFieldCommands, IoProgressCommands}) {
    for (CommandSpec &spec : group()) all.push_back(std::move(spec));
  }
  all.push_back(Hand("c_CommandTable", CommandTableCmd, "usage: %s\n", 0, 0));
  return all;
}
