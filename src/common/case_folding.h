// Unicode's simple case folding: the one code point a letter folds to (its lower case for
// almost every letter), so that names a case-insensitive disk takes for one meet here too.
#pragma once

#include <cstdint>
#include <string>

namespace common {

// The code point folded; a code point without a folding is itself.
std::uint32_t FoldCodePoint(std::uint32_t cp);

// UTF-8 text with every well-formed character folded; every byte that is not part of one
// is kept as it is, so two names that differ in any other way stay two names.
std::string FoldUtf8(const char* text);

}  // namespace common
