#include "regexlib/matcher.h"

#include <cstring>

#include "regexlib/compiler.h"
#include "regexlib/prefilter.h"

namespace regexlib {

namespace {
constexpr std::uint64_t kStepBudget = 20000000;
constexpr std::uint64_t kStepsPerByte = 64;
constexpr char kGaveUpMessage[] = "search gave up: the pattern is too costly for this text";
// Steps the backtracker may take from the prefilter's candidates before a search is handed
// to the DFA.
constexpr std::uint64_t kQuickSteps = 4096;
// Each of the two DFA caches; together they are the expression's fixed budget.
constexpr std::size_t kDfaBudget = std::size_t(1) << 20;
}  // namespace

Matcher::Matcher() : dfaBudget_(kDfaBudget), quickSteps_(kQuickSteps) {}

void Matcher::SetDfaBudget(std::size_t bytes) {
  dfaBudget_ = bytes;
  forward_.SetBudget(bytes);
  reverse_.SetBudget(bytes);
}

bool Matcher::SetPattern(const std::string& pattern) {
  matched_ = false;
  error_.clear();
  compiled_ = Compile(pattern, &program_, &error_);
  reversed_ = compiled_ ? ReverseProgram(program_) : Program{};
  forward_.Init(&program_, false, dfaBudget_);
  reverse_.Init(&reversed_, true, dfaBudget_);
  return compiled_;
}

bool Matcher::Search(std::size_t start, bool rejectEmptyAtStart) {
  matched_ = false;
  if (!compiled_ || start > text_.size()) return false;
  const auto* text = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t length = text_.size();
  for (char c : program_.required) {
    if (!std::memchr(text + start, c, length - start)) return false;
  }
  // Work is linear in program size times text length; a hostile pair of the two may still
  // ask for billions of steps. Past the budget the search ends with no match and an error.
  std::uint64_t budget = kStepBudget + kStepsPerByte * std::uint64_t(length - start);
  if (pikeOnly_ || !useDfa_) return SearchEngines(start, rejectEmptyAtStart, length, &budget);
  std::size_t from = start;
  if (!program_.lead.empty() && quickSteps_ > 0) {
    switch (QuickTry(start, rejectEmptyAtStart, &from, &budget)) {
      case kQuickMatch:
        return true;
      case kQuickNone:
        return false;
      case kQuickUndecided:
        break;
    }
  }
  // The forward DFA finds where the match ends, the reverse DFA where it starts; only then
  // do the capturing engines run, on that span alone. A DFA that gives up hands the search
  // to the capturing engines.
  const bool rejectEmpty = rejectEmptyAtStart && from == start;
  std::size_t end = 0, earliest = from;
  // The DFAs build states from at most half the budget: where they give up (a large
  // program whose every state costs a long walk), the capturing engines still have the
  // other half.
  std::uint64_t dfaBudget = budget / 2;
  budget -= dfaBudget;
  const Dfa::Result found =
      forward_.SearchForward(text, length, from, rejectEmpty, &end, &earliest, &dfaBudget);
  switch (found) {
    case Dfa::kNoMatch:
      return false;
    case Dfa::kGaveUp:
      return SearchEngines(start, rejectEmptyAtStart, length, &budget);
    case Dfa::kMatch:
      break;
  }
  // Most matches start where the forward DFA last held no thread (the prefilter's
  // candidate, say): the groups are tried there first, and only where there is no match
  // from there does the reverse DFA look for the start, reading no further back than that.
  if (program_.groups > 0) {
    const Filled tried = FillGroups(start, rejectEmptyAtStart, earliest, end, &budget);
    if (tried != kNotHere) return tried == kFilled;
  }
  std::size_t begin = 0;
  const Dfa::Result reversed =
      reverse_.SearchReverse(text, length, earliest, end, &begin, &dfaBudget);
  budget += dfaBudget;
  if (reversed == Dfa::kMatch) {
    if (program_.groups == 0) {
      slots_.assign({int(begin), int(end)});
      matched_ = true;
      return true;
    }
    const Filled filled = FillGroups(start, rejectEmptyAtStart, begin, end, &budget);
    if (filled != kNotHere) return filled == kFilled;
  }
  return SearchEngines(start, rejectEmptyAtStart, end, &budget);
}

Matcher::Filled Matcher::FillGroups(std::size_t start, bool rejectEmptyAtStart, std::size_t begin,
                                    std::size_t end, std::uint64_t* budget) {
  const auto* text = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t length = text_.size();
  // The capturing engines may only start where the prefilter would let a match start (the
  // backtracker takes the lead there as read).
  if (NextCandidate(program_, text, end, begin) != begin) return kNotHere;
  // A match starting at begin is the leftmost-first one, and it ends at end: no engine
  // needs a byte past it.
  const bool rejectEmpty = rejectEmptyAtStart && begin == start;
  if (backtracker_.Begin(program_, text, length, begin, rejectEmpty, budget, end)) {
    switch (backtracker_.TryAt(begin, &slots_)) {
      case Backtracker::kMatch:
        matched_ = true;
        return kFilled;
      case Backtracker::kGaveUp:
        error_ = kGaveUpMessage;
        return kGaveUpHere;
      case Backtracker::kNoMatch:
        return kNotHere;
      case Backtracker::kOutOfWindow:
        break;
    }
  }
  matched_ =
      vm_.Search(program_, text, length, begin, begin, rejectEmpty, &slots_, budget, end, true);
  if (vm_.gaveUp()) {
    error_ = kGaveUpMessage;
    return kGaveUpHere;
  }
  return matched_ ? kFilled : kNotHere;
}

Matcher::Quick Matcher::QuickTry(std::size_t start, bool rejectEmptyAtStart, std::size_t* from,
                                 std::uint64_t* budget) {
  const auto* text = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t length = text_.size();
  std::uint64_t quick = std::min<std::uint64_t>(*budget, quickSteps_);
  const std::uint64_t granted = quick;
  // Within its steps a try reaches a few thousand bytes at most: a short window will do.
  if (!backtracker_.Begin(program_, text, length, start, rejectEmptyAtStart, &quick, length,
                          std::size_t(4 * quickSteps_))) {
    return kQuickUndecided;
  }
  Quick result = kQuickUndecided;
  for (std::size_t pos = start;;) {
    const std::size_t candidate = NextCandidate(program_, text, length, pos);
    if (candidate > length) {
      result = kQuickNone;
      break;
    }
    const Backtracker::Result tried = backtracker_.TryAt(candidate, &slots_);
    if (tried == Backtracker::kMatch) {
      matched_ = true;
      result = kQuickMatch;
      break;
    }
    if (tried != Backtracker::kNoMatch) {
      *from = candidate;  // no match starts before it
      break;
    }
    pos = candidate + 1;
  }
  *budget -= granted - quick;
  return result;
}

bool Matcher::SearchEngines(std::size_t start, bool rejectEmptyAtStart, std::size_t limit,
                            std::uint64_t* budget) {
  const auto* text = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t length = text_.size();
  if (pikeOnly_ ||
      !backtracker_.Begin(program_, text, length, start, rejectEmptyAtStart, budget, limit)) {
    matched_ = vm_.Search(program_, text, length, start, start, rejectEmptyAtStart, &slots_, budget,
                          limit);
    if (vm_.gaveUp()) error_ = kGaveUpMessage;
    return matched_;
  }
  // Each place a match may start is tried by the backtracker; a try that runs past its
  // window of text is finished by the Pike VM from that place on.
  for (std::size_t pos = start;;) {
    const std::size_t candidate = NextCandidate(program_, text, limit, pos);
    if (candidate > limit) return false;
    switch (backtracker_.TryAt(candidate, &slots_)) {
      case Backtracker::kMatch:
        matched_ = true;
        return true;
      case Backtracker::kOutOfWindow:
        matched_ = vm_.Search(program_, text, length, start, candidate, rejectEmptyAtStart, &slots_,
                              budget, limit);
        if (vm_.gaveUp()) error_ = kGaveUpMessage;
        return matched_;
      case Backtracker::kGaveUp:
        error_ = kGaveUpMessage;
        return false;
      case Backtracker::kNoMatch:
        pos = candidate + 1;
        if (program_.hasLeadingRun) {
          while (pos < limit && program_.leadingRun[text[pos]]) {
            ++pos;
          }
        }
        break;
    }
  }
}

bool Matcher::Exec(const char* text) {
  text_.assign(text ? text : "");
  if (compiled_) error_.clear();
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
  reversed_ = Program{};
  forward_.Init(&program_, false, dfaBudget_);
  reverse_.Init(&reversed_, true, dfaBudget_);
  compiled_ = false;
  error_.clear();
  text_.clear();
  slots_.clear();
  matched_ = false;
  group_.clear();
}

}  // namespace regexlib
