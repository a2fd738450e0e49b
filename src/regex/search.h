// The one way the engine runs a pattern. The matching library keeps a single current
// pattern and match for the whole process; every search here runs its pattern and copies
// out what its caller needs before it returns, so no caller ever reads a match that another
// search (a template expansion, say) has replaced in between.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/byte_string.h"
#include "extract/template.h"
#include "regex/regex_library.h"

namespace regex {

class Search {
 public:
  explicit Search(RegexLibrary& library) : library_(library) {}

  // True when pattern matches somewhere in text (up to its first NUL).
  bool Find(const char* pattern, const char* text);
  // As Find, copying group number group of the match into *out (empty text for a group the
  // pattern does not have).
  bool FindGroup(const char* pattern, const char* text, int group, common::ByteString* out);
  // As Find, copying groups 0 to the highest group of the match into slots 0 onwards; groups
  // above the last slot are ignored and slots above the match's highest group keep their
  // values.
  bool Capture(const char* pattern, const char* text, extract::MatchSlots* slots);
  // Appends every whole match of pattern in text to *out, at most limit of them; *more is
  // set when matches were left over. False when nothing matched.
  bool FindAll(const char* pattern, const char* text, std::size_t limit,
               std::vector<common::ByteString>* out, bool* more);

 private:
  RegexLibrary& library_;
  // The pattern the library holds: a search with the same pattern does not compile it
  // again. Nothing but this class hands the library a pattern.
  std::string current_;
  bool hasCurrent_ = false;
};

}  // namespace regex
