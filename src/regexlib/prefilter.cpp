#include "regexlib/prefilter.h"

#include <cstdint>
#include <cstring>

namespace regexlib {

namespace {

bool LeadAt(const Program& program, const unsigned char* at) {
  for (const auto& pair : program.lead) {
    if (*at != pair[0] && *at != pair[1]) return false;
    ++at;
  }
  return true;
}

// The first place at or after from where the program's lead stands in text[0, length), or
// length + 1 when there is none. memchr looks for the anchor byte; the lead is checked
// around each hit.
std::size_t FindLead(const Program& program, const unsigned char* text, std::size_t length,
                     std::size_t from) {
  const std::size_t n = program.lead.size();
  const std::size_t k = std::size_t(program.anchor);
  const unsigned char byte = program.lead[k][0];
  while (from + n <= length) {
    const void* hit = std::memchr(text + from + k, byte, length - n + 1 - from);
    if (!hit) break;
    const std::size_t at = std::size_t(static_cast<const unsigned char*>(hit) - text) - k;
    if (LeadAt(program, text + at)) return at;
    from = at + 1;
  }
  return length + 1;
}

// The same when every lead byte has two cases: the first pair is looked for byte by byte.
std::size_t FindCaselessLead(const Program& program, const unsigned char* text, std::size_t length,
                             std::size_t from) {
  const std::size_t n = program.lead.size();
  const unsigned char a = program.lead[0][0], b = program.lead[0][1];
  for (std::size_t at = from; at + n <= length; ++at) {
    if ((text[at] == a || text[at] == b) && LeadAt(program, text + at)) return at;
  }
  return length + 1;
}

// Whether any of the eight bytes of x lies strictly between m and n (0 <= m <= 127,
// n <= 128): the word-at-a-time range test for bytes.
inline bool HasBetween(std::uint64_t x, std::uint64_t m, std::uint64_t n) {
  const std::uint64_t ones = ~std::uint64_t(0) / 255;
  return ((ones * (127 + n) - (x & ones * 127)) & ~x & ((x & ones * 127) + ones * (127 - m)) &
          ones * 128) != 0;
}

// The first byte at or after pos that may start a match: eight bytes a round for an ASCII
// range, else four table lookups a round.
std::size_t FindFirstByte(const Program& program, const unsigned char* text, std::size_t length,
                          std::size_t pos) {
  const std::uint8_t* first = program.firstTable.data();
  if (program.firstLow > 0) {
    const std::uint64_t m = program.firstLow - 1u, n = program.firstHigh + 1u;
    for (; pos + 8 <= length; pos += 8) {
      std::uint64_t word;
      std::memcpy(&word, text + pos, 8);
      if (HasBetween(word, m, n)) break;
    }
  }
  for (; pos + 4 <= length; pos += 4) {
    if (first[text[pos]] | first[text[pos + 1]] | first[text[pos + 2]] | first[text[pos + 3]]) {
      while (!first[text[pos]])
        ++pos;
      return pos;
    }
  }
  for (; pos < length; ++pos) {
    if (first[text[pos]]) return pos;
  }
  return length + 1;
}

}  // namespace

std::size_t NextCandidate(const Program& program, const unsigned char* text, std::size_t length,
                          std::size_t pos) {
  if (program.anchoredStart && pos > 0) return length + 1;
  if (!program.lead.empty()) {
    return program.anchor >= 0 ? FindLead(program, text, length, pos)
                               : FindCaselessLead(program, text, length, pos);
  }
  if (program.canSkip) return FindFirstByte(program, text, length, pos);
  return pos;
}

}  // namespace regexlib
