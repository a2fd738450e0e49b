// What the compiler works out about a program besides emitting it: the empty-match copy of
// a loop body that can match empty, and, once the program is whole, the facts a search uses
// to skip ahead while no thread is alive (Program's lead, prefix, first bytes, byte loops,
// inner run and required bytes).
#pragma once

#include <vector>

#include "regexlib/program.h"

namespace regexlib {

// A hole is an instruction field still waiting for its target: index * 2, plus 1 for y.
constexpr int kHoleX = 0;
constexpr int kHoleY = 1;

// Emits at the end of program the copy of the loop body code[begin, end) that runs while an
// iteration has consumed nothing: the body's instructions reachable without consuming, each
// byte test followed by a jump to the instruction after its original. Its ways out to the
// loop's exit (reaching end) are added to holes.
void EmitEmptyCopy(Program* program, int begin, int end, std::vector<int>* holes);

// Fills the program's analysis fields from its code. Run once, after compiling.
void Analyse(Program* program);

}  // namespace regexlib
