#include "regex/search.h"

namespace regex {

bool Search::Find(const char* pattern, const char* text) {
  if (!pattern) pattern = "";
  if (!hasCurrent_ || current_ != pattern) {
    library_.Expression(pattern);
    current_ = pattern;
    hasCurrent_ = true;
  }
  return library_.Exec(text);
}

bool Search::FindGroup(const char* pattern, const char* text, int group, common::ByteString* out) {
  if (!Find(pattern, text)) return false;
  *out = library_.Match(group);
  return true;
}

bool Search::Capture(const char* pattern, const char* text, extract::MatchSlots* slots) {
  if (!Find(pattern, text)) return false;
  const int count = library_.MatchCount();
  for (int i = 0; i <= count && i < extract::kMatchSlotCount; ++i)
    (*slots)[std::size_t(i)] = library_.Match(i);
  return true;
}

bool Search::FindAll(const char* pattern, const char* text, std::size_t limit,
                     std::vector<common::ByteString>* out, bool* more) {
  *more = false;
  if (!Find(pattern, text)) return false;
  std::size_t taken = 0;
  do {
    if (taken == limit) {
      *more = true;
      break;
    }
    out->push_back(library_.Match(0));
    ++taken;
  } while (library_.ExecNext());
  return true;
}

}  // namespace regex
