#include "common/case_folding.h"

#include <algorithm>
#include <iterator>

namespace common {

namespace {

struct Folding {
  std::uint32_t from;
  std::uint32_t to;
};

constexpr Folding kFoldings[] = {
#include "common/case_folding_table.inc"
};

void AppendUtf8(std::uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += char(cp);
  } else if (cp < 0x800) {
    *out += char(0xC0 | cp >> 6);
    *out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += char(0xE0 | cp >> 12);
    *out += char(0x80 | (cp >> 6 & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  } else {
    *out += char(0xF0 | cp >> 18);
    *out += char(0x80 | (cp >> 12 & 0x3F));
    *out += char(0x80 | (cp >> 6 & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  }
}

// The well-formed character at s (no overlong form, no surrogate, nothing past U+10FFFF):
// its code point and length; length 0 when s holds none.
std::uint32_t Decode(const unsigned char* s, int* length) {
  *length = 0;
  int n = 0;
  std::uint32_t cp = 0, least = 0;
  if (s[0] >= 0xC2 && s[0] <= 0xDF) {
    n = 2, cp = s[0] & 0x1Fu, least = 0x80;
  } else if (s[0] >= 0xE0 && s[0] <= 0xEF) {
    n = 3, cp = s[0] & 0x0Fu, least = 0x800;
  } else if (s[0] >= 0xF0 && s[0] <= 0xF4) {
    n = 4, cp = s[0] & 0x07u, least = 0x10000;
  } else {
    return 0;
  }
  for (int i = 1; i < n; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;  // also stops at the terminating NUL
    cp = cp << 6 | (s[i] & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *length = n;
  return cp;
}

}  // namespace

std::uint32_t FoldCodePoint(std::uint32_t cp) {
  if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 0x20 : cp;
  const auto at = std::lower_bound(std::begin(kFoldings), std::end(kFoldings), cp,
                                   [](const Folding& f, std::uint32_t c) { return f.from < c; });
  return at != std::end(kFoldings) && at->from == cp ? at->to : cp;
}

std::string FoldUtf8(const char* text) {
  std::string out;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  while (*s) {
    if (*s < 0x80) {
      out += char(FoldCodePoint(*s++));
      continue;
    }
    int length = 0;
    const std::uint32_t cp = Decode(s, &length);
    if (length == 0) {
      out += char(*s++);
      continue;
    }
    AppendUtf8(FoldCodePoint(cp), &out);
    s += length;
  }
  return out;
}

}  // namespace common
