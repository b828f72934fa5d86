// The text of the FatalError a core call raises ("Error:<msg> in <func>"),
// or "" when it returns normally.
#pragma once

#include <string>

#include "core/common.h"

template <class F>
std::string FatalText(F &&call) {
  try {
    call();
  } catch (const FatalError &e) {
    return e.what();
  }
  return "";
}
