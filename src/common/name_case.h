// Names compared as the file manager compares them: letter case aside, for ASCII letters and
// for the Cyrillic letters of Windows-1251 (the code page of the system's own texts).
#pragma once

#include <string>

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

// UTF-8 names, as the wide calls show them: letter case aside for ASCII, Latin-1, Greek and
// Cyrillic letters. Every other byte sequence is compared as it is, so two names that differ
// in any other way stay two names.
inline std::string FoldedUtf8Key(const char* text) {
  std::string key;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  while (*s) {
    if (s[0] < 0x80) {
      key += static_cast<char>(s[0] >= 'A' && s[0] <= 'Z' ? s[0] + 0x20 : s[0]);
      ++s;
      continue;
    }
    if (s[0] >= 0xC2 && s[0] <= 0xDF && (s[1] & 0xC0) == 0x80) {
      unsigned cp = (s[0] & 0x1Fu) << 6 | (s[1] & 0x3Fu);
      if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) ||
          (cp >= 0x410 && cp <= 0x42F)) {
        cp += 0x20;
      } else if (cp >= 0x400 && cp <= 0x40F) {
        cp += 0x50;
      } else if (cp == 0x386) {
        cp = 0x3AC;  // the Greek capitals with tonos
      } else if (cp >= 0x388 && cp <= 0x38A) {
        cp += 0x25;
      } else if (cp == 0x38C || cp == 0x38E || cp == 0x38F) {
        cp += 0x40 - (cp == 0x38C ? 0 : 1);
      }
      key += static_cast<char>(0xC0 | cp >> 6);
      key += static_cast<char>(0x80 | (cp & 0x3F));
      s += 2;
      continue;
    }
    key += static_cast<char>(*s++);
  }
  return key;
}

inline bool EqualIgnoringCaseUtf8(const char* a, const char* b) {
  return FoldedUtf8Key(a) == FoldedUtf8Key(b);
}

}  // namespace common
