// Names compared as the file manager compares them: letter case aside, for ASCII letters and
// for the Cyrillic letters of Windows-1251 (the code page of the system's own texts).
#pragma once

#include <string>

#include "common/case_folding.h"

namespace common {

// The byte with its letter case folded to lower case.
inline unsigned char FoldCase(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + ('a' - 'A'));
  if (c >= 0xC0 && c <= 0xDF) return static_cast<unsigned char>(c + 0x20);
  if (c == 0xA8) return 0xB8;
  return c;
}

inline bool EqualIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char x = FoldCase(static_cast<unsigned char>(*a));
    const unsigned char y = FoldCase(static_cast<unsigned char>(*b));
    if (x != y) return false;
    if (x == 0) return true;
  }
}

// The text with every byte folded: a key under which equal names meet.
inline std::string FoldedKey(const char* text) {
  std::string key;
  for (; *text; ++text)
    key += static_cast<char>(FoldCase(static_cast<unsigned char>(*text)));
  return key;
}

// UTF-8 names, as the wide calls show them: letter case aside by Unicode's simple case
// folding, as a case-insensitive disk compares them ("Čech.jpg" and "čech.jpg" are one file
// there). Bytes that are not well-formed UTF-8 are compared as they are.
inline std::string FoldedUtf8Key(const char* text) {
  return FoldUtf8(text);
}

inline bool EqualIgnoringCaseUtf8(const char* a, const char* b) {
  return FoldedUtf8Key(a) == FoldedUtf8Key(b);
}

}  // namespace common
