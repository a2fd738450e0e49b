#include "regexlib/prefilter.h"

#include <cstring>
#include <string>

namespace regexlib {

namespace {

// The first occurrence of needle in text[from, length), or length + 1 when there is none.
std::size_t FindLiteral(const unsigned char* text, std::size_t length, std::size_t from,
                        const std::string& needle) {
  const std::size_t n = needle.size();
  const unsigned char first = static_cast<unsigned char>(needle[0]);
  while (from + n <= length) {
    const void* hit = std::memchr(text + from, first, length - n + 1 - from);
    if (!hit) break;
    const std::size_t at = std::size_t(static_cast<const unsigned char*>(hit) - text);
    // The second byte rules most false starts out without a call.
    if (n == 1 || (text[at + 1] == static_cast<unsigned char>(needle[1]) &&
                   std::memcmp(text + at + 2, needle.data() + 2, n - 2) == 0)) {
      return at;
    }
    from = at + 1;
  }
  return length + 1;
}

}  // namespace

std::size_t NextCandidate(const Program& program, const unsigned char* text, std::size_t length,
                          std::size_t pos) {
  if (program.anchoredStart && pos > 0) return length + 1;
  if (!program.prefix.empty()) return FindLiteral(text, length, pos, program.prefix);
  if (program.canSkip) {
    while (pos < length && !program.firstBytes[text[pos]]) {
      ++pos;
    }
    return pos < length ? pos : length + 1;
  }
  return pos;
}

}  // namespace regexlib
