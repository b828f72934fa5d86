// Et_DoInit's error path: an error in the main script reaches Et_Bgerror,
// which hands it to bgerror when Tk works; a second initialisation does not
// index the stored files again.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <tcl.h>

#include "app/startup.h"
#include "app/store.h"

namespace {

// Replaces the stored main script for one test and puts the original back.
class ShadowedMainScript {
 public:
  explicit ShadowedMainScript(const char *script)
      : original_((Et_IndexBuiltinFiles(), Et_FindFile("orvane.tcl"))) {
    Et_NewBuiltinFile("orvane.tcl", const_cast<char *>(script), static_cast<int>(strlen(script)));
  }
  ~ShadowedMainScript() {
    Et_NewBuiltinFile("orvane.tcl", const_cast<char *>(original_->data), original_->size);
  }

 private:
  const Et_File *original_;
};

std::string Var(Tcl_Interp *interp, const char *name) {
  const char *v = Tcl_GetVar(interp, name, TCL_GLOBAL_ONLY);
  return v ? v : "<unset>";
}

// A fresh interpreter whose bgerror records what it is given.
Tcl_Interp *RecordingInterp() {
  Tcl_Interp *interp = Tcl_CreateInterp();
  Tcl_Eval(interp, "proc bgerror {msg} {lappend ::reported $msg}");
  return interp;
}

}  // namespace

TEST(StartUp, MainScriptErrorReachesBgerrorAsPlainText) {
  if (getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
  ShadowedMainScript shadow("set ::before 1\nerror {boom [x] $y \\ \"q\"}");

  Tcl_Interp *interp = RecordingInterp();
  EXPECT_EQ(Et_DoInit(interp), TCL_ERROR);
  EXPECT_EQ(Var(interp, "before"), "1");
  // The message arrives unchanged: no substitution of the brackets,
  // dollars, backslashes or quotes in it.
  EXPECT_EQ(Var(interp, "reported"), "{boom [x] $y \\ \"q\"}");
  EXPECT_EQ(Var(interp, "et_version"), "3.11");
  EXPECT_EQ(Et_Interp, interp);
  Tcl_DeleteInterp(interp);
}

TEST(StartUp, SecondInitialisationKeepsTheIndexAndItsShadows) {
  if (getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
  ShadowedMainScript shadow("set ::mainScript shadow");
  // Indexing again would put the built-in entries back in front of the
  // one added above.
  for (int round = 0; round < 2; ++round) {
    Tcl_Interp *interp = RecordingInterp();
    EXPECT_EQ(Et_DoInit(interp), TCL_OK) << Tcl_GetStringResult(interp);
    EXPECT_EQ(Var(interp, "mainScript"), "shadow");
    EXPECT_EQ(Var(interp, "reported"), "<unset>");
    Tcl_DeleteInterp(interp);
  }
}

TEST(StartUp, PublishedArgumentsAreAProperList) {
  Tcl_Interp *interp = Tcl_CreateInterp();
  const char *args[] = {"orvane", "two words", "a{b", "", nullptr};
  Et_PublishArguments(interp, 4, const_cast<char **>(args));
  EXPECT_EQ(Var(interp, "argc"), "3");
  EXPECT_EQ(Var(interp, "argv0"), "orvane");
  EXPECT_EQ(Var(interp, "tcl_interactive"), "0");
  ASSERT_EQ(Tcl_Eval(interp, "list [llength $argv] [lindex $argv 1]"), TCL_OK);
  EXPECT_EQ(std::string(Tcl_GetStringResult(interp)), "3 a\\{b");
  Et_PublishArguments(interp, 1, const_cast<char **>(args));
  EXPECT_EQ(Var(interp, "argv"), "");
  EXPECT_EQ(Var(interp, "argc"), "0");
  Tcl_DeleteInterp(interp);
}
