// The matcher: one compiled pattern searched over a text by whichever engine suits the
// place. Sections, in order: the budgets (steps, windows, DFA caches, the inner-run
// heuristics' thresholds) and the pattern's set-up; Search, which finds a match's span with
// the DFAs and has the capturing engines fill its groups; the inner-run scans (ZeroBytes,
// FindInnerPair, FindInnerRun, InnerSearch); the capturing engines over a span (FillGroups,
// QuickTry, SearchEngines); and the calls the exports make (Exec, ExecNext, the groups,
// MatchCount, Reset).
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
// Pending jobs the backtracker may hold while filling groups before it hands the span to
// the tagged DFA (256 KB).
constexpr std::size_t kFillJobs = std::size_t(1) << 14;
// The forward DFA's cache; the two reverse DFAs have three eighths of it each and the
// tagged DFA a quarter: together they are the expression's fixed budget, twice this.
constexpr std::size_t kDfaBudget = std::size_t(1) << 20;
// The search by the inner run gives way to the plain one where, after a few places, the
// run stands every kInnerSpacing bytes or closer ...
constexpr std::size_t kInnerTrial = 16;
constexpr std::size_t kInnerSpacing = 32;
// ... or where its walks read more than twice the text they passed, and this much more.
constexpr std::size_t kInnerSlack = 4096;
// memchr for the run's rarest byte gives way to a scan for two of its bytes where, after a
// few hits, the byte stands every kInnerMissSpacing bytes or closer without the run.
constexpr std::size_t kInnerMisses = 8;
constexpr std::size_t kInnerMissSpacing = 64;
}  // namespace

Matcher::Matcher()
    : dfaBudget_(kDfaBudget), quickSteps_(kQuickSteps), taggedBudget_(kDfaBudget / 4) {}

void Matcher::SetDfaBudget(std::size_t bytes) {
  dfaBudget_ = bytes;
  forward_.SetBudget(bytes);
  reverse_.SetBudget(bytes / 8 * 3);
  headReverse_.SetBudget(bytes / 8 * 3);
  SetTaggedDfaBudget(bytes / 4);
}

void Matcher::SetTaggedDfaBudget(std::size_t bytes) {
  taggedBudget_ = bytes;
  tagged_.SetBudget(bytes);
}

bool Matcher::SetPattern(const std::string& pattern) {
  matched_ = false;
  error_.clear();
  compiled_ = Compile(pattern, &program_, &error_);
  reversed_ = compiled_ ? ReverseProgram(program_) : Program{};
  headReversed_ =
      compiled_ && !program_.inner.empty() ? ReverseProgram(program_, program_.innerPc) : Program{};
  forward_.Init(&program_, false, dfaBudget_);
  reverse_.Init(&reversed_, true, dfaBudget_ / 8 * 3);
  headReverse_.Init(&headReversed_, true, dfaBudget_ / 8 * 3);
  tagged_.Init(&program_, taggedBudget_);
  return compiled_;
}

bool Matcher::Search(std::size_t start, bool rejectEmptyAtStart) {
  matched_ = false;
  if (!compiled_ || start > text_.size()) return false;
  // Work is linear in program size times text length; a hostile pair of the two may still
  // ask for billions of steps. Past the budget the search ends with no match and an error.
  // The DFAs build states from at most half of it: where they give up (a large program
  // whose every state costs a long walk), the capturing engines still have the other half.
  const std::uint64_t granted = kStepBudget + kStepsPerByte * std::uint64_t(text_.size() - start);
  std::uint64_t dfaBudget = granted / 2;
  std::uint64_t budget = granted - dfaBudget;
  handedBack_ = 0;
  const bool found = Find(start, rejectEmptyAtStart, &budget, &dfaBudget);
  work_ += granted - budget - dfaBudget + handedBack_;
  return found;
}

bool Matcher::Find(std::size_t start, bool rejectEmptyAtStart, std::uint64_t* budget,
                   std::uint64_t* dfaBudget) {
  const auto* text = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t length = text_.size();
  for (char c : program_.required) {
    if (!std::memchr(text + start, c, length - start)) return false;
  }
  if (pikeOnly_ || !useDfa_) {
    *budget += *dfaBudget;
    *dfaBudget = 0;
    return SearchEngines(start, rejectEmptyAtStart, length, budget);
  }
  std::size_t from = start;
  if (!program_.lead.empty() && quickSteps_ > 0) {
    switch (QuickTry(start, rejectEmptyAtStart, &from, budget)) {
      case kQuickMatch:
        return true;
      case kQuickNone:
        return false;
      case kQuickUndecided:
        break;
    }
  }
  if (!program_.inner.empty() && innerUse_ != kInnerNever) {
    std::size_t begin = 0, end = 0;
    switch (InnerSearch(&from, &begin, &end, dfaBudget)) {
      case kInnerNone:
        return false;
      case kInnerFound:
        if (program_.groups == 0) {
          slots_.assign({int(begin), int(end)});
          matched_ = true;
          return true;
        }
        switch (FillGroups(start, rejectEmptyAtStart, begin, end, budget)) {
          case kFilled:
            return true;
          case kGaveUpHere:
            return false;
          case kNotHere:
            break;
        }
        return SearchEngines(start, rejectEmptyAtStart, length, budget);
      case kInnerPlain:
        break;
    }
  }
  // The forward DFA finds where the match ends, the reverse DFA where it starts; only then
  // do the capturing engines run, on that span alone. A DFA that gives up hands the search
  // to the capturing engines.
  const bool rejectEmpty = rejectEmptyAtStart && from == start;
  std::size_t end = 0, earliest = from;
  const Dfa::Result found =
      forward_.SearchForward(text, length, from, rejectEmpty, &end, &earliest, dfaBudget);
  switch (found) {
    case Dfa::kNoMatch:
      return false;
    case Dfa::kGaveUp:
      return SearchEngines(start, rejectEmptyAtStart, length, budget);
    case Dfa::kMatch:
      break;
  }
  // Most matches start where the forward DFA last held no thread (the prefilter's
  // candidate, say): the groups are tried there first, and only where there is no match
  // from there does the reverse DFA look for the start, reading no further back than that.
  if (program_.groups > 0) {
    const Filled tried = FillGroups(start, rejectEmptyAtStart, earliest, end, budget);
    if (tried != kNotHere) return tried == kFilled;
  }
  std::size_t begin = 0;
  const Dfa::Result reversed =
      reverse_.SearchReverse(text, length, earliest, end, &begin, dfaBudget);
  *budget += *dfaBudget;
  *dfaBudget = 0;
  if (reversed == Dfa::kMatch) {
    if (program_.groups == 0) {
      slots_.assign({int(begin), int(end)});
      matched_ = true;
      return true;
    }
    const Filled filled = FillGroups(start, rejectEmptyAtStart, begin, end, budget);
    if (filled != kNotHere) return filled == kFilled;
  }
  return SearchEngines(start, rejectEmptyAtStart, end, budget);
}

namespace {

// The high bit of each byte of x that is zero, and no other bit.
inline std::uint64_t ZeroBytes(std::uint64_t x) {
  const std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
  return ~(((x & low7) + low7) | x | low7);
}

// The first place at or after pos where the inner run stands, looking at eight places a
// round for the run's two rarest bytes together.
std::size_t FindInnerPair(const Program& program, const unsigned char* text, std::size_t length,
                          std::size_t pos) {
  const std::size_t n = program.inner.size();
  const std::size_t a = std::size_t(program.innerAnchor), b = std::size_t(program.innerSecond);
  const std::uint64_t ones = ~std::uint64_t(0) / 255;
  const std::uint64_t wantA = ones * static_cast<unsigned char>(program.inner[a]);
  const std::uint64_t wantB = ones * static_cast<unsigned char>(program.inner[b]);
  for (; pos + n + 7 <= length; pos += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, text + pos + a, 8);
    std::memcpy(&y, text + pos + b, 8);
    if (ZeroBytes(x ^ wantA) & ZeroBytes(y ^ wantB)) {
      for (std::size_t at = pos; at < pos + 8; ++at) {
        if (std::memcmp(text + at, program.inner.data(), n) == 0) return at;
      }
    }
  }
  for (; pos + n <= length; ++pos) {
    if (std::memcmp(text + pos, program.inner.data(), n) == 0) return pos;
  }
  return length + 1;
}

// The first place at or after pos where the program's inner run stands in text[0, length);
// length + 1 when there is none. memchr looks for the run's rarest byte; where that byte
// turns out common in this text (many places where the rest of the run is not), the
// search goes on looking for two bytes at once.
std::size_t FindInnerRun(const Program& program, const unsigned char* text, std::size_t length,
                         std::size_t pos) {
  const std::size_t n = program.inner.size();
  const std::size_t k = std::size_t(program.innerAnchor);
  const int byte = static_cast<unsigned char>(program.inner[k]);
  const std::size_t begin = pos;
  std::size_t misses = 0;
  while (pos + n <= length) {
    if (misses >= kInnerMisses && program.innerSecond >= 0 &&
        pos - begin < kInnerMissSpacing * misses) {
      return FindInnerPair(program, text, length, pos);
    }
    const void* hit = std::memchr(text + pos + k, byte, length - n + 1 - pos);
    if (!hit) break;
    const std::size_t at = std::size_t(static_cast<const unsigned char*>(hit) - text) - k;
    if (std::memcmp(text + at, program.inner.data(), n) == 0) return at;
    pos = at + 1;
    ++misses;
  }
  return length + 1;
}

}  // namespace

// Why the search by the inner run finds the leftmost match. Let q be the first place at or
// after *from where the run stands, and j = innerStop, the first byte of the run that the
// head cannot consume. A match whose run stands elsewhere stands later, at q' > q, and its
// head [s', q') holds no byte at q + j, so it starts after q + j (its run cannot overlap
// the one at q that closely: the run would repeat with a period of at most j, making
// byte j equal to an earlier one, which the head can consume). A match whose run stands
// at q starts where the head backwards from q matches; the smallest such place s is what
// the reverse DFA finds. So no match starts before s; one starts at s exactly when the
// forward DFA anchored there matches (the head reaches q from s, and a match from any
// later start would go on from q as well); and when none does, none starts before
// q + j + 1.
Matcher::Inner Matcher::InnerSearch(std::size_t* from, std::size_t* begin, std::size_t* end,
                                    std::uint64_t* dfaBudget) {
  const auto* text = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t length = text_.size();
  const std::size_t first = *from;
  const std::size_t skip = std::size_t(program_.innerStop) + 1;
  std::size_t read = 0, places = 0;
  for (;;) {
    const std::size_t q = FindInnerRun(program_, text, length, *from);
    if (q > length) return kInnerNone;
    ++places;
    // Where the run stands every few bytes, one table walk over the text is faster than a
    // pair of short walks at each place; where anchored tries read far past their places,
    // the walks would read the text again and again.
    if (innerUse_ == kInnerAuto && places > kInnerTrial && q - first < kInnerSpacing * places) {
      return kInnerPlain;
    }
    if (read > 2 * (q - first) + kInnerSlack) return kInnerPlain;
    std::size_t s = 0;
    const Dfa::Result head = headReverse_.SearchReverse(text, length, *from, q, &s, dfaBudget);
    if (head == Dfa::kGaveUp) return kInnerPlain;
    read += q - headReverse_.stoppedAt();
    if (head == Dfa::kMatch) {
      *from = s;
      std::size_t e = 0, earliest = 0;
      const Dfa::Result r =
          forward_.SearchForward(text, length, s, false, &e, &earliest, dfaBudget, true);
      if (r == Dfa::kGaveUp) return kInnerPlain;
      read += forward_.stoppedAt() - s;
      if (r == Dfa::kMatch) {
        *begin = s;
        *end = e;
        return kInnerFound;
      }
    }
    *from = q + skip;
  }
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
  // The backtracker is fastest where it needs few saved choices (a short span, or loops
  // it runs as scans); where it would need many (a group inside a loop over a long span),
  // it hands the span to the tagged DFA early.
  const bool tagged = taggedUse_ != kTaggedNever && !rejectEmpty;
  if (taggedUse_ != kTaggedAlways &&
      backtracker_.Begin(program_, text, length, begin, rejectEmpty, budget, end, SIZE_MAX,
                         tagged ? kFillJobs : Backtracker::kMaxJobs)) {
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
  // The tagged DFA does not know of an empty match to reject: that rare case is the Pike
  // VM's.
  if (tagged) {
    const std::uint64_t before = *budget;
    switch (tagged_.Search(text, length, begin, end, &slots_, budget)) {
      case TaggedDfa::kMatch:
        matched_ = true;
        return kFilled;
      case TaggedDfa::kNoMatch:
        return kNotHere;
      case TaggedDfa::kOutOfSteps:
      case TaggedDfa::kGaveUp:
        // The Pike VM gets the steps it would have had without the try, so that no search
        // the Pike VM alone finishes ends as given up; the try's own steps still count.
        handedBack_ += before - *budget;
        *budget = before;
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
  headReversed_ = Program{};
  forward_.Init(&program_, false, dfaBudget_);
  reverse_.Init(&reversed_, true, dfaBudget_ / 8 * 3);
  headReverse_.Init(&headReversed_, true, dfaBudget_ / 8 * 3);
  tagged_.Init(&program_, taggedBudget_);
  compiled_ = false;
  error_.clear();
  text_.clear();
  slots_.clear();
  matched_ = false;
  group_.clear();
}

}  // namespace regexlib
