#include "commands/table.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

#include "app/format.h"
#include "commands/modules.h"

const std::vector<CommandSpec> &AllCommands() {
  static const std::vector<CommandSpec> table = [] {
    std::vector<CommandSpec> all;
    for (auto module : {IoCommands, SceneCommands, ImageCommands, CImageCommands, CurveCommands,
                        FilteringCommands, RadiometricCommands, PlaneCommands, GeometryCommands,
                        ContextCommands, Segmentation3Commands, Radiometric3Commands,
                        Mathematics3Commands, Analysis3Commands, SegmentationCommands,
                        AnalysisCommands, ShellCommands, ShadingCommands,
                        RaycastingCommands, SplattingCommands, GraphicsCommands, MovieCommands,
                        VolumeIoCommands}) {
      for (CommandSpec &spec : module()) all.push_back(std::move(spec));
    }
    return all;
  }();
  return table;
}

CommandSpec &CommandSpec::NullOk(const char *param) {
  for (size_t i = 0; i < params.size(); ++i) {
    if (params[i] == param) {
      nullOk |= 1u << i;
      return *this;
    }
  }
  throw std::logic_error(std::string(name) + ": no parameter " + param);
}

std::string UsageFormat(std::initializer_list<const char *> params) {
  std::string usage = "usage: %s";
  for (const char *p : params) usage += std::string(" <") + p + ">";
  return usage + "\n";
}

CommandSpec wrap::MakeSpec(const char *name, std::initializer_list<const char *> params,
                           size_t arity, CommandInvoker invoke,
                           std::vector<std::string> kinds) {
  if (params.size() != arity) {
    throw std::logic_error(std::string(name) + ": " + std::to_string(params.size()) +
                           " parameter names for " + std::to_string(arity) + " parameters");
  }
  CommandSpec spec;
  spec.name = name;
  spec.usage = UsageFormat(params);
  spec.minArgs = spec.maxArgs = static_cast<int>(arity);
  spec.invoke = invoke;
  spec.params.assign(params.begin(), params.end());
  spec.kinds = std::move(kinds);
  return spec;
}

static int InvokeHandMade(const CommandSpec &spec, Tcl_Interp *interp, int argc,
                          const char *argv[]) {
  return spec.handMade(interp, argc, argv);
}

CommandSpec Hand(const char *name, HandMadeFn fn, const char *usage, int minArgs, int maxArgs) {
  CommandSpec spec;
  spec.name = name;
  spec.usage = usage;
  spec.minArgs = minArgs;
  spec.maxArgs = maxArgs;
  spec.invoke = InvokeHandMade;
  spec.handMade = fn;
  return spec;
}

// Every command enters here: the count check and the one place where a C++
// exception from the core or a conversion becomes TCL_ERROR.
static int Dispatch(ClientData data, Tcl_Interp *interp, int argc, const char *argv[]) {
  const CommandSpec &spec = *static_cast<const CommandSpec *>(data);
  int n = argc - 1;
  if (n < spec.minArgs || (spec.maxArgs != kAnyCount && n > spec.maxArgs)) {
    Et_ResultF(interp, spec.usage.c_str(), argv[0]);
    return TCL_ERROR;
  }
  try {
    return spec.invoke(spec, interp, argc, argv);
  } catch (const std::bad_alloc &) {
    std::string text = std::string("Error:Cannot allocate memory space in ") + argv[0];
    fprintf(stderr, "%s\n", text.c_str());
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
  } catch (const std::exception &e) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(e.what(), -1));
  }
  return TCL_ERROR;
}

void RegisterCommands(Tcl_Interp *interp, const std::vector<CommandSpec> &specs) {
  for (const CommandSpec &spec : specs) {
    Tcl_CreateCommand(interp, spec.name, Dispatch,
                      const_cast<CommandSpec *>(&spec), nullptr);
  }
}

// Numbers beyond the int range saturate at its ends, so that 4294967297
// is never taken for 1: a size that large then fails as too large.
long ArgInt(const char *s) {
  long v = strtol(s, nullptr, 10);
  return std::clamp<long>(v, INT_MIN, INT_MAX);
}

double ArgDouble(const char *s) { return strtod(s, nullptr); }

Handle ArgHandle(const char *s) { return strtoll(s, nullptr, 10); }

std::vector<double> ArgNumberList(const char *s) {
  int count = 0;
  const char **items = nullptr;
  if (Tcl_SplitList(nullptr, s, &count, &items) != TCL_OK) {
    throw CommandError(std::string("expected a list of numbers but got \"") + s + "\"");
  }
  std::vector<double> values(count);
  for (int i = 0; i < count; ++i) values[i] = strtod(items[i], nullptr);
  Tcl_Free(reinterpret_cast<char *>(items));
  return values;
}

std::vector<std::string> ArgStringList(const char *s) {
  int count = 0;
  const char **items = nullptr;
  if (Tcl_SplitList(nullptr, s, &count, &items) != TCL_OK) {
    throw CommandError(std::string("expected a list but got \"") + s + "\"");
  }
  std::vector<std::string> values(items, items + count);
  Tcl_Free(reinterpret_cast<char *>(items));
  return values;
}

void SetHandleResult(Tcl_Interp *interp, Handle h) {
  Tcl_SetObjResult(interp, Tcl_NewWideIntObj(h));
}

void wrap::SetIntResult(Tcl_Interp *interp, long long v) {
  Tcl_SetObjResult(interp, Tcl_NewWideIntObj(v));
}

void wrap::SetDoubleResult(Tcl_Interp *interp, double v) { Et_ResultF(interp, "%f", v); }

void wrap::SetCharResult(Tcl_Interp *interp, int c) { Et_ResultF(interp, "%c", c); }

void wrap::SetStringResult(Tcl_Interp *interp, const std::string &s) {
  Tcl_SetObjResult(interp, Tcl_NewStringObj(s.c_str(), static_cast<int>(s.size())));
}

void wrap::SetIntListResult(Tcl_Interp *interp, const std::vector<int> &v) {
  Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
  for (int x : v) Tcl_ListObjAppendElement(interp, list, Tcl_NewIntObj(x));
  Tcl_SetObjResult(interp, list);
}
