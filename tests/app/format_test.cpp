// Expected texts are worked out by hand from the engine's digit and padding
// rules; where those differ from the C library's printf they win.
#include "app/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace {

struct Formatted {
  std::string text;
  int result;
};

void AppendToString(void *arg, const char *text, int n) {
  static_cast<std::string *>(arg)->append(text, n);
}

Formatted FormatCounted(const char *format, ...) {
  Formatted out;
  va_list ap;
  va_start(ap, format);
  out.result = vxprintf(AppendToString, &out.text, format, ap);
  va_end(ap);
  return out;
}

std::string F(const char *format, ...) {
  std::string text;
  va_list ap;
  va_start(ap, format);
  vxprintf(AppendToString, &text, format, ap);
  va_end(ap);
  return text;
}

std::string Repeat(const std::string &s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const char *const kNull = nullptr;

TEST(Vxprintf, EscapesTextForDoubleQuotedWords) {
  EXPECT_EQ(F("%q", "a$b[c]\\d{e}"), "a\\$b\\[c\\]\\\\d\\173e\\175");
  EXPECT_EQ(F("%q", "say \"hi\""), "say \\\"hi\\\"");
  EXPECT_EQ(F("%q", "\n\t"), "\\n\\t");
  EXPECT_EQ(F("%q", "\b\f\r\x0b\x01\x7f #;"), "\\b\\f\\r\\013\\001\\177 #;");
  EXPECT_EQ(F("%q", "\xE9"), "\\351");
  EXPECT_EQ(F("%q", kNull), "(NULL)");
  EXPECT_EQ(F("%.3q", "a$b"), "a\\$");
  EXPECT_EQ(F("%.1q", "$"), "\\");
  EXPECT_EQ(F("%6q|", "$"), "    \\$|");
}

TEST(Vxprintf, EscapesLongTextOnTheHeap) {
  const std::string fits(999, 'a'), spills(1000, 'a');
  EXPECT_EQ(F("%q", fits.c_str()), fits);
  EXPECT_EQ(F("%q", spills.c_str()), spills);
  const std::string dollars(600, '$'), controls(300, '\x01');
  EXPECT_EQ(F("%q", dollars.c_str()), Repeat("\\$", 600));
  EXPECT_EQ(F("%q", controls.c_str()), Repeat("\\001", 300));
  EXPECT_EQ(F("%.5q", dollars.c_str()), "\\$\\$\\");
}

TEST(Vxprintf, PadsCentresAndClampsFields) {
  EXPECT_EQ(F("%5.2f", 3.14159), " 3.14");
  EXPECT_EQ(F("%-6d|", 42), "42    |");
  EXPECT_EQ(F("%=7s|", "ab"), "  ab   |");
  EXPECT_EQ(F("%=6d|", 42), "  42  |");
  EXPECT_EQ(F("%=-4s|", "a"), " a  |");
  EXPECT_EQ(F("%5d", 42), "   42");
  EXPECT_EQ(F("%*d", 4, 7), "   7");
  EXPECT_EQ(F("%*d|", -4, 7), "7   |");
  EXPECT_EQ(F("%05s", "ab"), "   ab");
  EXPECT_EQ(F("%3s", "abcdef"), "abcdef");
  EXPECT_EQ(FormatCounted("%5d", 1).result, 5);
  const std::string wide = F("%1000d", 1);
  EXPECT_EQ(wide, std::string(989, ' ') + "1");
  EXPECT_EQ(F("%*s", 5000, "x").size(), 990u);
}

TEST(Vxprintf, WritesStringsWithinTheirPrecision) {
  EXPECT_EQ(F("%.3s", "abcdef"), "abc");
  EXPECT_EQ(F("%s", kNull), "(null)");
  EXPECT_EQ(F("%.*s", 2, "abcdef"), "ab");
  EXPECT_EQ(F("%.*s", -2, "abcdef"), "ab");
  EXPECT_EQ(F("%5.1s", "abc"), "    a");
  EXPECT_EQ(F("[%.0s]", "abc"), "[]");
  const char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(F("%.3s", unterminated), "abc");
  const std::string big(5000, 'x');
  EXPECT_EQ(F("%s", big.c_str()), big);
  EXPECT_EQ(F("%.2000s", big.c_str()).size(), 960u);

  char *owned = Tcl_Alloc(6);
  std::strcpy(owned, "hello");
  EXPECT_EQ(F("<%.2z>", owned), "<he>");
  EXPECT_EQ(F("%z", static_cast<char *>(nullptr)), "(null)");
}

TEST(Vxprintf, RepeatsCharacters) {
  EXPECT_EQ(F("%c", 'A'), "A");
  EXPECT_EQ(F("%.3c", 'x'), "xxx");
  EXPECT_EQ(F("[%.0c]", 'x'), "[]");
  EXPECT_EQ(F("%3c", 'A'), "  A");
  EXPECT_EQ(F("%-3.2c|", 'x'), "xx |");
  Formatted nul = FormatCounted("%c", 0);
  EXPECT_EQ(nul.text, std::string(1, '\0'));
  EXPECT_EQ(nul.result, 1);
  EXPECT_EQ(F("%'x"), "x");
  EXPECT_EQ(F("%.3'-"), "---");
  EXPECT_EQ(F("%4'*|"), "   *|");
  EXPECT_EQ(F("%'%%d", 5), "%5");
}

TEST(Vxprintf, FormatsIntegers) {
  EXPECT_EQ(F("%d %i %+d % d % d %+d", 0, -7, 42, 42, -42, 0), "0 -7 +42  42 -42 +0");
  EXPECT_EQ(F("%+u % x", 5, 255), "5 ff");
  EXPECT_EQ(F("%ld %lu", 42, 3000000000u), "42 3000000000");
  EXPECT_EQ(F("%.5d", 42), "00042");
  EXPECT_EQ(F("%d", INT_MIN), "-2147483648");
  EXPECT_EQ(F("%u %x %o %p", -1, -1, -1, -1), "4294967295 ffffffff 37777777777 4294967295");
  EXPECT_EQ(F("%b", -1), std::string(32, '1'));
  EXPECT_EQ(F("%b %b %X", 5, 0, 48879), "101 0 BEEF");
  EXPECT_EQ(F("%.2000d", 1), std::string(959, '0') + "1");
}

TEST(Vxprintf, AlternateFormsAndZeroPadding) {
  EXPECT_EQ(F("%#x %#X %#x", 255, 255, 0), "0xff 0XFF 0");
  EXPECT_EQ(F("%#o %#o %#b %#d", 0, 8, 5, 5), "0 010 0b101 5");
  EXPECT_EQ(F("%#08x", 255), "000000ff");
  EXPECT_EQ(F("%05d", -42), "-0042");
  EXPECT_EQ(F("%+05d % 05d", 42, 42), "+0042  0042");
  EXPECT_EQ(F("%08.3d", 42), "00000042");
  EXPECT_EQ(F("%-05d|", 42), "00042|");
  EXPECT_EQ(F("%05d", 123456), "123456");
  EXPECT_EQ(F("%01000d", 5), std::string(989, '0') + "5");
}

TEST(Vxprintf, WritesOrdinals) {
  EXPECT_EQ(F("%r %r %r %r %r %r %r %r %r", 1, 2, 3, 4, 11, 12, 13, 21, 112),
            "1st 2nd 3rd 4th 11th 12th 13th 21st 112th");
  EXPECT_EQ(F("%r %r %r %r", 0, 101, 111, -1), "0th 101st 111th 4294967295th");
  EXPECT_EQ(F("%6r", 2), "   2nd");
}

TEST(Vxprintf, FormatsFixedPoint) {
  EXPECT_EQ(F("%f %f %f", 1.5, -0.25, 0.0), "1.500000 -0.250000 0.000000");
  EXPECT_EQ(F("%.2f", 9.999), "10.00");
  EXPECT_EQ(F("%.0f %.0f %.0f %#.0f", 0.5, 2.5, 3.0, 3.0), "1 3 3 3.");
  EXPECT_EQ(F("%.3f", 0.001234), "0.001");
  EXPECT_EQ(F("%f", 1e20), "100000000000000000000.000000");
  EXPECT_EQ(F("%.20f", 1.1), "1.10000000000000000000");
  EXPECT_EQ(F("%08.2f %+08.2f", -3.14159, 3.14159), "-0003.14 +0003.14");
  EXPECT_EQ(F("%-08.2f|", 3.14159), "3.14    |");
  const std::string clamped = F("%01000.2f", -1.5);
  EXPECT_EQ(clamped, "-" + std::string(985, '0') + "1.50");

  // Beyond 16 significant digits every digit is a zero.
  const std::string huge = F("%f", 5e300);
  ASSERT_EQ(huge.size(), 308u);
  EXPECT_EQ(huge.substr(16, 285), std::string(285, '0'));
  EXPECT_EQ(huge.substr(301), ".000000");
  const std::string tooLong = F("%.700f", 5e300);
  ASSERT_EQ(tooLong.size(), 707u);
  EXPECT_EQ(tooLong.substr(702), "e+300");
  EXPECT_EQ(F("%.2000f", 1.0), "1." + std::string(960, '0'));
}

TEST(Vxprintf, FormatsExponents) {
  EXPECT_EQ(F("%e", 1234.5678), "1.234568e+03");
  EXPECT_EQ(F("%E", 0.000123), "1.230000E-04");
  EXPECT_EQ(F("%e %+e", 0.0, 1.0), "0.000000e+00 +1.000000e+00");
  EXPECT_EQ(F("%e %e", 1e100, -1e-100), "1.000000e+100 -1.000000e-100");
  EXPECT_EQ(F("%.2e", 9.999), "1.00e+01");
  EXPECT_EQ(F("%.0e %.0e %#.0e", 5.0, 25.0, 3.0), "5e+00 3e+01 3.e+00");
  EXPECT_EQ(F("%012.3e", -1.5), "-001.500e+00");
}

TEST(Vxprintf, ChoosesGenericForm) {
  EXPECT_EQ(F("%g %g %g %g", 100000.0, 1000000.0, 0.0001, 0.00001),
            "100000 1e+06 0.0001 1e-05");
  EXPECT_EQ(F("%#g %#g", 1.5, 100000.0), "1.50000 100000.");
  EXPECT_EQ(F("%g %g %g %g", 0.0, 100.0, 1.5, -0.5), "0 100 1.5 -0.5");
  EXPECT_EQ(F("%g %G %g", 123456789.0, 0.00001234, 9999999.0), "1.23457e+08 1.234E-05 1e+07");
  EXPECT_EQ(F("%.3g %g", 0.0001234, 1e100), "0.000123 1e+100");
}

TEST(Vxprintf, WritesNaNForValuesThatDoNotSettle) {
  const double inf = HUGE_VAL;
  EXPECT_EQ(F("%f %e %g", inf, -inf, inf), "NaN NaN NaN");
  EXPECT_EQ(F("%5f|%-5g|", inf, -inf), "  NaN|NaN  |");
  EXPECT_EQ(F("%05f %+f", -inf, std::nan("")), "  NaN NaN");
}

TEST(Vxprintf, HandlesCountsPercentsAndUnknownLetters) {
  int n = -1;
  Formatted out = FormatCounted("ab%ncd", &n);
  EXPECT_EQ(out.text, "abcd");
  EXPECT_EQ(out.result, 4);
  EXPECT_EQ(n, 2);
  FormatCounted("%5d%n", 1, &n);
  EXPECT_EQ(n, 5);

  Formatted lone = FormatCounted("abc%");
  EXPECT_EQ(lone.text, "abc%");
  EXPECT_EQ(lone.result, -1);
  EXPECT_EQ(FormatCounted("%").result, -1);
  EXPECT_EQ(F("100%%"), "100%");
  EXPECT_EQ(F("%y%d", 5), "%y5");
  EXPECT_EQ(F("%5y"), "%y");

  // A format that stops inside a conversion must not be read past its end.
  Formatted cut = FormatCounted("ab%5");
  EXPECT_EQ(cut.text, "ab%");
  EXPECT_EQ(cut.result, 3);
  EXPECT_EQ(FormatCounted("ab%'").text, "ab");
}

TEST(Mprintf, ReturnsOwnedStringsOfAnyLength) {
  char *s = mprintf("%d-%s", 7, "x");
  EXPECT_STREQ(s, "7-x");
  Tcl_Free(s);
  s = mprintf("");
  EXPECT_STREQ(s, "");
  Tcl_Free(s);
  const std::string half(150, 'h'), tail(300, 't');
  s = mprintf("%s%s", half.c_str(), half.c_str());
  EXPECT_EQ(std::string(s), half + half);
  Tcl_Free(s);
  s = mprintf("%.250c%.250c|%s", 'a', 'b', tail.c_str());
  EXPECT_EQ(std::string(s), std::string(250, 'a') + std::string(250, 'b') + "|" + tail);
  Tcl_Free(s);
}

class TclFrontEnds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Tcl_FindExecutable(nullptr); }
  void SetUp() override { interp = Tcl_CreateInterp(); }
  void TearDown() override { Tcl_DeleteInterp(interp); }
  std::string Result() const { return Tcl_GetStringResult(interp); }
  Tcl_Interp *interp = nullptr;
};

TEST_F(TclFrontEnds, AppendToDStringsAndObjects) {
  Tcl_DString ds;
  Tcl_DStringInit(&ds);
  Tcl_DStringAppend(&ds, "ab", -1);
  const char *value = Et_DStringAppendF(&ds, "%d%s", 5, "c");
  EXPECT_STREQ(value, "ab5c");
  EXPECT_EQ(value, Tcl_DStringValue(&ds));
  Tcl_DStringFree(&ds);

  Tcl_Obj *obj = Tcl_NewStringObj("x", -1);
  Tcl_IncrRefCount(obj);
  EXPECT_EQ(Et_AppendObjF(obj, "%d-%s", 5, "y"), 3);
  EXPECT_STREQ(Tcl_GetString(obj), "x5-y");
  Tcl_DecrRefCount(obj);
}

TEST_F(TclFrontEnds, ResultReplacesThePreviousResult) {
  Tcl_SetObjResult(interp, Tcl_NewStringObj("old", -1));
  Et_ResultF(interp, "wrong # args: should be \"%s %s\"", "ReadScene", "filename");
  EXPECT_EQ(Result(), "wrong # args: should be \"ReadScene filename\"");
}

TEST_F(TclFrontEnds, EscapedTextSurvivesEvaluation) {
  const char *text = "a$b[c]\\d{e} \"q\"\n\t;#}{";
  ASSERT_EQ(Et_EvalF(interp, "set v \"%q\"", text), TCL_OK);
  EXPECT_EQ(Result(), text);
  EXPECT_EQ(Et_EvalF(interp, "error %s", "boom"), TCL_ERROR);
  EXPECT_EQ(Result(), "boom");
}

int ProbeCmd(ClientData, Tcl_Interp *interp, int, Tcl_Obj *const[]) {
  if (Et_EvalF(interp, "set local %d", 1) != TCL_OK) return TCL_ERROR;
  return Et_GlobalEvalF(interp, "set global %d", 2);
}

TEST_F(TclFrontEnds, GlobalEvaluationLeavesTheCallersFrame) {
  Tcl_CreateObjCommand(interp, "probe", ProbeCmd, nullptr, nullptr);
  ASSERT_EQ(Tcl_Eval(interp, "proc p {} {probe; info exists local}; p"), TCL_OK);
  EXPECT_EQ(Result(), "1");
  ASSERT_EQ(Tcl_Eval(interp, "list [info exists ::local] $::global"), TCL_OK);
  EXPECT_EQ(Result(), "0 2");
}

TEST_F(TclFrontEnds, TracePrintsScriptAndOutcome) {
  Et_EvalTrace = 1;
  testing::internal::CaptureStdout();
  int code = Et_EvalF(interp, "set x %d", 5);
  int failed = Et_GlobalEvalF(interp, "error %s", "no");
  std::string printed = testing::internal::GetCapturedStdout();
  Et_EvalTrace = 0;
  EXPECT_EQ(code, TCL_OK);
  EXPECT_EQ(failed, TCL_ERROR);
  EXPECT_EQ(printed, "set x 5\n0 5\nerror no\n1 no\n");
}

}  // namespace
