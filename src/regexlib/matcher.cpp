#include "regexlib/matcher.h"

#include <cstring>

#include "regexlib/compiler.h"

namespace regexlib {

bool Matcher::SetPattern(const std::string& pattern) {
  matched_ = false;
  error_.clear();
  compiled_ = Compile(pattern, &program_, &error_);
  return compiled_;
}

bool Matcher::Search(std::size_t start, bool rejectEmptyAtStart) {
  matched_ = compiled_ && start <= text_.size() &&
             vm_.Search(program_, reinterpret_cast<const unsigned char*>(text_.data()),
                        text_.size(), start, rejectEmptyAtStart, &slots_);
  return matched_;
}

bool Matcher::Exec(const char* text) {
  text_.assign(text ? text : "");
  return Search(0, false);
}

bool Matcher::ExecNext() {
  if (!matched_) return false;
  const std::size_t end = std::size_t(slots_[1]);
  return Search(end, slots_[0] == slots_[1]);
}

int Matcher::GroupStart(int i) const {
  if (!matched_ || i < 0 || i > program_.groups) return -1;
  return slots_[std::size_t(2 * i)];
}

int Matcher::GroupEnd(int i) const {
  if (!matched_ || i < 0 || i > program_.groups) return -1;
  return slots_[std::size_t(2 * i + 1)];
}

const std::string& Matcher::Group(int i) {
  const int b = GroupStart(i), e = GroupEnd(i);
  if (b < 0 || e < b) {
    group_.clear();
  } else {
    group_.assign(text_, std::size_t(b), std::size_t(e - b));
  }
  return group_;
}

int Matcher::MatchCount() const {
  if (!matched_) return -1;
  for (int g = program_.groups; g > 0; --g) {
    if (GroupStart(g) >= 0) return g;
  }
  return 0;
}

void Matcher::Reset() {
  program_ = Program{};
  compiled_ = false;
  error_.clear();
  text_.clear();
  slots_.clear();
  matched_ = false;
  group_.clear();
}

}  // namespace regexlib
