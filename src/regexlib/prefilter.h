// Where a match may start: the part of a search that needs no engine, shared by the
// backtracker's candidate loop and the Pike VM while it has no thread alive.
#pragma once

#include <cstddef>

#include "regexlib/program.h"

namespace regexlib {

// The first position at or after pos where a match may start, judged by the program's
// prefix or first bytes; length + 1 when there is none.
std::size_t NextCandidate(const Program& program, const unsigned char* text, std::size_t length,
                          std::size_t pos);

}  // namespace regexlib
