// A table of expected usage texts and argument counts, walked against the
// registered specs of a command group: names in table order, the usage
// message for one argument too few, and for one too many either the usage
// message (exact counts) or getting past the count check (minimum counts).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/interp.h"

struct UsageRow {
  const char *name;
  const char *text;  // with %s for the name
  int args;          // the count the text asks for
  bool atLeast;      // more arguments accepted
};

inline void ExpectUsageTable(TestInterp &t, const std::vector<CommandSpec> &specs,
                             const UsageRow *rows, size_t count) {
  ASSERT_GE(specs.size(), count);
  for (size_t i = 0; i < count; i++) {
    const UsageRow &u = rows[i];
    EXPECT_STREQ(specs[i].name, u.name);
    std::string usage = u.text;
    usage.replace(usage.find("%s"), 2, u.name);
    std::string few = u.name;
    for (int a = 0; a + 1 < u.args; a++) few += " 0";
    EXPECT_EQ(t.Err(few), usage) << few;
    std::string many = u.name;
    for (int a = 0; a <= u.args; a++) many += " {}";
    int code;
    std::string r = t.Eval(many, &code);
    if (u.atLeast) {
      EXPECT_NE(r, usage) << many << " should get past the count check";
    } else {
      EXPECT_EQ(code, TCL_ERROR);
      EXPECT_EQ(r, usage) << many;
    }
  }
}
