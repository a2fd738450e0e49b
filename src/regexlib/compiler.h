// Syntax tree to program. The tree is walked with an explicit stack of tasks, never by
// recursion, so nesting depth costs heap, not call stack.
#pragma once

#include <string>

#include "regexlib/parser.h"
#include "regexlib/program.h"

namespace regexlib {

// Compiles pattern into program: Save 0, the pattern, Save 1, Match. False, with the
// reason in error, when the pattern is malformed, unsupported or too large.
bool Compile(const std::string& pattern, Program* program, std::string* error);

}  // namespace regexlib
