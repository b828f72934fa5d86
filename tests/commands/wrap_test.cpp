// The generated wrappers, proved on a toy module that covers every
// parameter and result type the table knows.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "commands/table.h"
#include "core/common.h"
#include "support/interp.h"

struct Toy {
  int value = 0;
  Toy *inner = nullptr;   // a view handed out by ToyInner
  std::unique_ptr<Toy> owned;
};
template <>
struct HandleName<Toy> {
  static constexpr const char *value = "Toy";
};
struct Other {};
template <>
struct HandleName<Other> {
  static constexpr const char *value = "Other";
};

static int destroyed = 0;

namespace {
int AddInts(int a, long b) { return a + static_cast<int>(b); }
unsigned char LowByte(unsigned char c) { return c; }
char NextChar(char c) { return static_cast<char>(c + 1); }
float HalfOf(float f) { return f / 2; }
double Third(double d) { return d / 3; }
bool IsPositive(short s) { return s > 0; }
std::string Echo(const char *s) { return std::string("[") + s + "]"; }
int SumList(const std::vector<int> &v) {
  int s = 0;
  for (int x : v) s += x;
  return s;
}
double FirstFloat(std::vector<float> v) { return v.empty() ? -1 : v[0]; }

std::unique_ptr<Toy> NewToy(int v) {
  auto t = std::make_unique<Toy>();
  t->value = v;
  t->owned = std::make_unique<Toy>();
  t->owned->value = v * 10;
  t->inner = t->owned.get();
  return t;
}
std::unique_ptr<Toy> NoToy() { return nullptr; }
int ToyValue(const Toy *t) { return t->value; }
void SetToyValue(Toy *t, int v) { t->value = v; }
Toy *ToyInner(Toy *t) { return t->inner; }
int ValueOrMinus(Toy *t) { return t ? t->value : -1; }
void DestroyToy(std::unique_ptr<Toy> *t) {
  if (*t) ++destroyed;
  t->reset();
}
void DestroyTwoThings(std::unique_ptr<Toy> *t, Other *) { t->reset(); }
std::unique_ptr<Other> NewOther() { return std::make_unique<Other>(); }
void Fail(int) { Error("Cannot open file", "Fail"); }
void Throw(int) { throw std::bad_alloc(); }

int c_ToyCount(Tcl_Interp *interp, int argc, const char *argv[]) {
  Toy *t = ArgObject<Toy>(argv[1]);
  Tcl_SetObjResult(interp, Tcl_NewIntObj(t->value + argc));
  return TCL_OK;
}

std::vector<CommandSpec> ToyCommands() {
  return {
      Wrap<&AddInts>("AddInts", {"a", "b"}),
      Wrap<&LowByte>("LowByte", {"c"}),
      Wrap<&NextChar>("NextChar", {"c"}),
      Wrap<&HalfOf>("HalfOf", {"f"}),
      Wrap<&Third>("Third", {"d"}),
      Wrap<&IsPositive>("IsPositive", {"s"}),
      Wrap<&Echo>("Echo", {"text"}),
      Wrap<&SumList>("SumList", {"values"}),
      Wrap<&FirstFloat>("FirstFloat", {"values"}),
      Wrap<&NewToy>("NewToy", {"value"}),
      Wrap<&NoToy>("NoToy", {}),
      Wrap<&ToyValue>("ToyValue", {"toy"}),
      Wrap<&SetToyValue>("SetToyValue", {"toy", "value"}),
      Wrap<&ToyInner>("ToyInner", {"toy"}),
      Wrap<&ValueOrMinus>("ValueOrMinus", {"toy"}).NullOk("toy"),
      Wrap<&DestroyToy>("DestroyToy", {"toy"}),
      Wrap<&DestroyTwoThings>("DestroyTwoThings", {"toy", "other"}),
      Wrap<&NewOther>("NewOther", {}),
      Wrap<&Fail>("Fail", {"x"}),
      Wrap<&Throw>("Throw", {"x"}),
      Hand("c_ToyCount", c_ToyCount, "usage: %s <toy> ?more?\n", 1, 2),
      Hand("c_FreeToy", FreeObjectCommand<Toy>, "usage: %s <toyref>\n", 1, 1),
  };
}
}  // namespace

class WrapTest : public ::testing::Test {
 protected:
  TestInterp t{ToyCommands()};
};

TEST_F(WrapTest, CountsAndUsageMessages) {
  EXPECT_EQ(t.Err("AddInts 1"), "usage: AddInts <a> <b>\n");
  EXPECT_EQ(t.Err("AddInts 1 2 3"), "usage: AddInts <a> <b>\n");
  // An extra empty argument still counts.
  EXPECT_EQ(t.Err("AddInts 1 2 {}"), "usage: AddInts <a> <b>\n");
  EXPECT_EQ(t.Err("NoToy x"), "usage: NoToy\n");
  EXPECT_EQ(t.Err("c_ToyCount"), "usage: c_ToyCount <toy> ?more?\n");
  EXPECT_EQ(t.Err("c_ToyCount 1 2 3"), "usage: c_ToyCount <toy> ?more?\n");
  // The name as invoked, not as registered.
  Tcl_Eval(t.get(), "rename AddInts plus");
  EXPECT_EQ(t.Err("plus"), "usage: plus <a> <b>\n");
}

TEST_F(WrapTest, IntegerConversionTakesTheLeadingNumber) {
  EXPECT_EQ(t.Ok("AddInts 12abc 0"), "12");
  EXPECT_EQ(t.Ok("AddInts abc 5"), "5");
  EXPECT_EQ(t.Ok("AddInts {  -7} +3"), "-4");
  EXPECT_EQ(t.Ok("AddInts 3.9 0"), "3");
  EXPECT_EQ(t.Ok("AddInts 0x10 0"), "0");
  EXPECT_EQ(t.Ok("IsPositive 5"), "1");
  EXPECT_EQ(t.Ok("IsPositive -5"), "0");
}

TEST_F(WrapTest, EightBitParametersKeepTheLowByte) {
  EXPECT_EQ(t.Ok("LowByte 65"), "A");
  EXPECT_EQ(t.Ok("LowByte 321"), "A");  // 321 = 256 + 65
  EXPECT_EQ(t.Ok("NextChar 64"), "A");
}

TEST_F(WrapTest, FloatingConversionAndFormatting) {
  EXPECT_EQ(t.Ok("HalfOf 1"), "0.500000");
  EXPECT_EQ(t.Ok("HalfOf xyz"), "0.000000");
  EXPECT_EQ(t.Ok("Third 1"), "0.333333");
  EXPECT_EQ(t.Ok("Third 2.5e1"), "8.333333");
  // Narrowed to single precision on the way in.
  EXPECT_EQ(t.Ok("HalfOf 0.2000000001"), "0.100000");
}

TEST_F(WrapTest, StringsAndLists) {
  EXPECT_EQ(t.Ok("Echo {a b}"), "[a b]");
  EXPECT_EQ(t.Ok("SumList {1 2 3 x 4.7}"), "10");
  EXPECT_EQ(t.Ok("SumList {}"), "0");
  EXPECT_EQ(t.Ok("FirstFloat {2.5 1}"), "2.500000");
  EXPECT_EQ(t.Err("SumList \"{a\""), "expected a list of numbers but got \"{a\"");
}

TEST_F(WrapTest, HandlesAreCheckedForLifeAndType) {
  std::string a = t.Ok("NewToy 7");
  std::string b = t.Ok("NewToy 8");
  EXPECT_NE(a, b);
  EXPECT_EQ(t.Ok("ToyValue " + a), "7");
  EXPECT_EQ(t.Ok("SetToyValue " + a + " 9; ToyValue " + a), "9");
  // Leading numeric part applies to handles too.
  EXPECT_EQ(t.Ok("ToyValue " + a + "abc"), "9");
  EXPECT_EQ(t.Err("ToyValue 0"), "invalid Toy handle 0");
  EXPECT_EQ(t.Err("ToyValue 999999"), "invalid Toy handle 999999");
  std::string o = t.Ok("NewOther");
  EXPECT_EQ(t.Err("ToyValue " + o), "invalid Toy handle " + o);
  EXPECT_EQ(t.Ok("NoToy"), "0");
  EXPECT_EQ(t.Ok("ValueOrMinus 0"), "-1");
  EXPECT_EQ(t.Ok("ValueOrMinus " + a), "9");
}

TEST_F(WrapTest, DestroyingKillsTheHandleAndItsViews) {
  destroyed = 0;
  std::string a = t.Ok("NewToy 3");
  std::string inner = t.Ok("ToyInner " + a);
  EXPECT_EQ(t.Ok("ToyInner " + a), inner);  // the same view, not a new handle
  EXPECT_EQ(t.Ok("ToyValue " + inner), "30");
  // A view cannot be freed on its own.
  EXPECT_EQ(t.Err("c_FreeToy " + inner),
            "Toy handle " + inner + " belongs to another object and cannot be freed on its own");
  EXPECT_EQ(t.Ok("DestroyToy " + a), "");
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(t.Err("ToyValue " + a), "invalid Toy handle " + a);
  EXPECT_EQ(t.Err("ToyValue " + inner), "invalid Toy handle " + inner);
  EXPECT_EQ(t.Err("DestroyToy " + a), "invalid Toy handle " + a);
  // Handles are never reused.
  std::string c = t.Ok("NewToy 4");
  EXPECT_GT(std::stoll(c), std::stoll(inner));
}

TEST_F(WrapTest, AConsumedHandleSurvivesALaterBadArgument) {
  std::string a = t.Ok("NewToy 5");
  EXPECT_EQ(t.Err("DestroyTwoThings " + a + " 424242"), "invalid Other handle 424242");
  EXPECT_EQ(t.Ok("ToyValue " + a), "5");
}

TEST_F(WrapTest, FreeCommandsAcceptOnlyTheirType) {
  std::string o = t.Ok("NewOther");
  EXPECT_EQ(t.Err("c_FreeToy " + o), "invalid Toy handle " + o);
  std::string a = t.Ok("NewToy 1");
  EXPECT_EQ(t.Ok("c_FreeToy " + a), "");
  EXPECT_EQ(t.Err("c_FreeToy " + a), "invalid Toy handle " + a);
}

TEST_F(WrapTest, CoreFailuresFailTheCommandOnly) {
  EXPECT_EQ(t.Err("Fail 1"), "Error:Cannot open file in Fail");
  EXPECT_EQ(t.Err("Throw 1"), "Error:Cannot allocate memory space in Throw");
  EXPECT_EQ(t.Ok("AddInts 1 1"), "2");
}

TEST_F(WrapTest, HandMadeCommandsSeeAllArguments) {
  std::string a = t.Ok("NewToy 10");
  EXPECT_EQ(t.Ok("c_ToyCount " + a), "12");
  EXPECT_EQ(t.Ok("c_ToyCount " + a + " x"), "13");
  EXPECT_EQ(t.Err("c_ToyCount 77777"), "invalid Toy handle 77777");
}

TEST(CommandTable, NamesAreUniqueAndUsagesWellFormed) {
  std::set<std::string> names;
  for (const CommandSpec &spec : AllCommands()) {
    EXPECT_TRUE(names.insert(spec.name).second) << spec.name;
    EXPECT_EQ(spec.usage.rfind("usage: %s", 0), 0u) << spec.name;
    EXPECT_EQ(spec.usage.back(), '\n') << spec.name;
  }
}

TEST(CommandTable, ParameterNamesMustMatchTheSignature) {
  EXPECT_THROW(Wrap<&AddInts>("AddInts", {"a"}), std::logic_error);
  EXPECT_THROW(Wrap<&AddInts>("AddInts", {"a", "b"}).NullOk("c"), std::logic_error);
}

// Every registered command, given one argument too many (or one too few
// when it takes any number), fails with exactly its usage message.
TEST(CommandTable, EveryCommandAnswersAWrongCountWithItsUsage) {
  TestInterp t{AllCommands()};
  for (const CommandSpec &spec : AllCommands()) {
    int count = spec.maxArgs == kAnyCount ? spec.minArgs - 1 : spec.maxArgs + 1;
    if (count < 0) continue;
    std::string script = spec.name;
    for (int i = 0; i < count; ++i) script += " 0";
    std::string expected = spec.usage;
    expected.replace(expected.find("%s"), 2, spec.name);
    EXPECT_EQ(t.Err(script), expected) << spec.name;
  }
}
