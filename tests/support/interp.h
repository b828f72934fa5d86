// A bare interpreter for unit tests of commands, with a helper that
// evaluates a script and returns its code and result.
#pragma once

#include <string>
#include <vector>

#include <tcl.h>

#include "commands/table.h"

class TestInterp {
 public:
  // The interpreter keeps pointers into the specs: they live as long as it.
  explicit TestInterp(std::vector<CommandSpec> specs)
      : specs_(std::move(specs)), interp_(Tcl_CreateInterp()) {
    RegisterCommands(interp_, specs_);
  }
  ~TestInterp() { Tcl_DeleteInterp(interp_); }
  TestInterp(const TestInterp &) = delete;
  TestInterp &operator=(const TestInterp &) = delete;

  // The result of a script; `code` receives the completion code.
  std::string Eval(const std::string &script, int *code = nullptr) {
    int c = Tcl_Eval(interp_, script.c_str());
    if (code) *code = c;
    return Tcl_GetStringResult(interp_);
  }
  // The result of a script that must succeed (an error text otherwise).
  std::string Ok(const std::string &script) {
    int c;
    std::string r = Eval(script, &c);
    return c == TCL_OK ? r : "ERROR: " + r;
  }
  // The message of a script that must fail (a marker otherwise).
  std::string Err(const std::string &script) {
    int c;
    std::string r = Eval(script, &c);
    return c == TCL_ERROR ? r : "OK: " + r;
  }
  Tcl_Interp *get() { return interp_; }

 private:
  std::vector<CommandSpec> specs_;
  Tcl_Interp *interp_;
};
