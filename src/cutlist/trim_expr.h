// The integer expressions in the arguments of AviSynth Trim calls.
#pragma once

#include <string>

#include "util/log.h"

namespace mendra {

// Rewrites `text` (digits, + - * / % and parentheses) in place into the
// decimal text of its value; the caller reads the value with atoi rules.
// Groups are reduced innermost first, each group and then the whole text
// applying at most one operator, left to right, with no precedence. Traces
// the steps at the debug level.
void eval_trim_expr(std::string& text, const Log& log);

}  // namespace mendra
