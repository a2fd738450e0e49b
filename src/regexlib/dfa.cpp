// The lazily built DFA that finds where matches end (forward) and start (reverse).
// Sections, in order: the reversed program a reverse DFA runs (ReverseProgram); the state
// cache (Init, ClearCache, BeginSearch, ResetCache, Intern); the states and their
// transitions (StartState, Step); the skips a state allows (WorkOutAccel, SkipForward,
// SkipBackward); and the two searches (SearchForward, SearchReverse).
#include "regexlib/dfa.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "regexlib/byte_classes.h"
#include "regexlib/prefilter.h"

namespace regexlib {

namespace {
constexpr std::size_t kNoPos = std::numeric_limits<std::size_t>::max();
// What a state costs besides its positions and transitions: the map's node and the key.
constexpr std::size_t kStateOverhead = 96;
}  // namespace

Program ReverseProgram(const Program& forward, int startPc) {
  const std::vector<Inst>& code = forward.code;
  const std::size_t n = code.size();
  std::vector<std::vector<int>> preds(n);
  int matchPc = -1;
  for (std::size_t q = 0; q < n; ++q) {
    const Inst& in = code[q];
    switch (in.op) {
      case Op::kJmp:
        preds[std::size_t(in.x)].push_back(int(q));
        break;
      case Op::kSplit:
        preds[std::size_t(in.x)].push_back(int(q));
        if (in.y != in.x) preds[std::size_t(in.y)].push_back(int(q));
        break;
      case Op::kMatch:
        matchPc = int(q);
        break;
      default:
        if (q + 1 < n) preds[q + 1].push_back(int(q));
        break;
    }
  }
  Program r;
  r.sets = forward.sets;
  const int never = int(r.sets.size());  // a test no byte passes: a position nothing reaches
  r.sets.push_back(ByteSet());
  auto emit = [&r](Op op, int x = 0, int y = 0) {
    r.code.push_back(Inst{op, x, y});
    return int(r.code.size()) - 1;
  };
  std::vector<int> block(n, -1);
  std::vector<std::pair<int, int>> jumps;  // (reverse jump, forward position it goes to)
  emit(Op::kJmp, -1);                      // start where the forward program matches
  // Position p of the forward program becomes a choice between the ways into p, each
  // taken backwards; position 0 is where the reverse program matches.
  for (std::size_t p = 0; p < n; ++p) {
    block[p] = int(r.code.size());
    const std::vector<int>& in = preds[p];
    const std::size_t ways = in.size() + (p == 0 ? 1 : 0);
    if (ways == 0) emit(Op::kSet, never);
    for (std::size_t i = 0; i < ways; ++i) {
      const bool last = i + 1 == ways;
      const int split = last ? -1 : emit(Op::kSplit, int(r.code.size()) + 1, -1);
      if (i == in.size()) {
        emit(Op::kMatch);
      } else {
        const Inst& from = code[std::size_t(in[i])];
        if (from.op == Op::kAssert || from.op == Op::kByte || from.op == Op::kSet) {
          emit(from.op, from.x);
        }
        jumps.emplace_back(emit(Op::kJmp, -1), in[i]);
      }
      if (!last) r.code[std::size_t(split)].y = int(r.code.size());
    }
  }
  for (const auto& j : jumps)
    r.code[std::size_t(j.first)].x = block[std::size_t(j.second)];
  if (startPc >= 0) matchPc = startPc;
  r.code[0].x = matchPc >= 0 ? block[std::size_t(matchPc)] : 1;
  if (matchPc < 0) r.code[0] = Inst{Op::kSet, never, 0};
  return r;
}

void Dfa::Init(const Program* program, bool reverse, std::size_t budget) {
  program_ = program;
  reverse_ = reverse;
  budget_ = budget;
  // Byte classes: bytes no instruction tells apart share a column of the transition table.
  const ByteClasses classes = MakeByteClasses(*program);
  hasAsserts_ = classes.hasAsserts;
  std::copy(std::begin(classes.classOf), std::end(classes.classOf), classOf_);
  classByte_ = classes.byteOf;
  classes_ = classes.count;
  for (shift_ = 0; (1 << shift_) < classes_ + 1; ++shift_) {
  }
  stride_ = 1 << shift_;
  // The prefilter pays where it skips far: a lead, or a few first bytes. Where the first
  // bytes are common (a class such as [\w.]), stopping at every state without a thread
  // to ask it costs more than the table walk.
  usePrefilter_ = !reverse && (!program->lead.empty() ||
                               (program->canSkip && program->firstBytes.count() <= 16));
  seen_.assign(program->code.size(), 0);
  mark_ = 0;
  resetRule_ = ResetRule();
  ClearCache();
}

void Dfa::ClearCache() {
  ids_.clear();
  keys_.clear();
  next_.assign(std::size_t(stride_), 0);
  special_.clear();
  accel_.clear();
  accelByte_.clear();
  used_ = 0;
  plainStart_ = -1;
  for (auto& a : startStates_) {
    for (auto& b : a) {
      for (int& s : b)
        s = -1;
    }
  }
}

void Dfa::BeginSearch() {
  resetRule_.BeginSearch();
  searchPos_ = 0;
}

bool Dfa::ResetCache(std::size_t progress) {
  const bool go = resetRule_.Allow(progress, keys_.size());
  ClearCache();
  return go;
}

int Dfa::Intern(std::vector<int>* key) {
  auto it = ids_.find(*key);
  if (it != ids_.end()) return it->second;
  const std::size_t stride = std::size_t(stride_);
  const std::size_t cost = kStateOverhead + 2 * sizeof(int) * key->size() + sizeof(Entry) * stride;
  if (used_ + cost > budget_) return -1;
  used_ += cost;
  const int id = int(keys_.size());
  const int flags = (*key)[0];
  const bool empty = key->size() == 1;
  std::uint8_t special = 0;
  if (flags & kMatchBefore) special |= kIsMatch;
  if (empty && !(flags & kStarts)) special |= kIsDead;
  // Without a prefilter and without assertions there is one such state (besides the first
  // one of a search that rejects an empty match): the inner loop notes it by its row.
  const bool plain = !usePrefilter_ && !hasAsserts_ && !(flags & kRejectEmpty);
  if (empty && (flags & kStarts)) {
    if (plain) {
      plainStart_ = id;
    } else {
      special |= kIsStart;
    }
  }
  keys_.push_back(*key);
  ids_.emplace(*key, id);
  if (next_.size() + stride > next_.capacity()) {
    // The table moves: entries hold addresses, so they move with it.
    const Entry oldBase = reinterpret_cast<Entry>(next_.data());
    next_.reserve(std::max(2 * next_.capacity(), next_.size() + stride));
    const Entry newBase = reinterpret_cast<Entry>(next_.data());
    for (Entry& e : next_) {
      if (e != 0) e = e - oldBase + newBase;
    }
  }
  next_.resize(next_.size() + stride, 0);
  special_.push_back(special);
  accel_.push_back(kAccelUnknown);
  accelByte_.push_back(0);
  return id;
}

int Dfa::StartState(int side, bool starts, bool rejectEmpty) {
  if (!hasAsserts_) side = 0;
  int& cached = startStates_[starts ? 1 : 0][rejectEmpty ? 1 : 0][side];
  if (cached >= 0) return cached;
  // Without new threads (an anchored search) the one thread starts at pc 0 here.
  std::vector<int> key{side | (starts ? kStarts : 0) | (rejectEmpty ? kRejectEmpty : 0)};
  if (!starts) key.push_back(0);
  int id = Intern(&key);
  if (id < 0) {
    if (!ResetCache(searchPos_)) return -1;
    id = Intern(&key);
    if (id < 0) return -1;
  }
  startStates_[starts ? 1 : 0][rejectEmpty ? 1 : 0][side] = id;
  return id;
}

int Dfa::Step(int s, int cls, int byte) {
  const std::vector<Inst>& code = program_->code;
  const std::vector<int>& from = keys_[std::size_t(s)];
  const int flags = from[0];
  const int side = SideOf(byte);
  const int left = reverse_ ? side : (flags & kSideMask);
  const int right = reverse_ ? (flags & kSideMask) : side;
  bool holds[kNotWordBoundary + 1];
  for (int k = 0; k <= kNotWordBoundary; ++k)
    holds[k] = HoldsBetween(k, left, right);
  if (++mark_ == 0) {  // the marks wrapped: start them over
    std::fill(seen_.begin(), seen_.end(), 0);
    mark_ = 1;
  }
  key_.assign(1, 0);
  bool matchHere = false;
  bool cut = false;
  // Every position of the state, then a new thread: each followed through jumps, choices
  // and assertions in priority order, as the Pike VM adds threads. A consuming instruction
  // that takes the byte leaves a position of the next state; none is reached twice, so
  // neither is a next position.
  const std::size_t roots = from.size() - 1 + ((flags & kStarts) ? 1 : 0);
  std::uint64_t steps = 0;
  for (std::size_t r = 0; r < roots && !cut; ++r) {
    stack_.assign(1, r + 1 < from.size() ? from[r + 1] : 0);
    while (!stack_.empty()) {
      const int pc = stack_.back();
      stack_.pop_back();
      if (seen_[std::size_t(pc)] == mark_) continue;
      seen_[std::size_t(pc)] = mark_;
      ++steps;
      const Inst& in = code[std::size_t(pc)];
      switch (in.op) {
        case Op::kJmp:
          stack_.push_back(in.x);
          break;
        case Op::kSplit:
          stack_.push_back(in.y);
          stack_.push_back(in.x);
          break;
        case Op::kSave:
          stack_.push_back(pc + 1);
          break;
        case Op::kAssert:
          if (holds[in.x]) stack_.push_back(pc + 1);
          break;
        case Op::kByte:
        case Op::kSet:
          if (byte >= 0 &&
              (in.op == Op::kByte ? in.x == byte
                                  : program_->sets[std::size_t(in.x)][std::size_t(byte)])) {
            key_.push_back(pc + 1);
          }
          break;
        case Op::kMatch:
          if (flags & kRejectEmpty) break;
          matchHere = true;
          // Leftmost-first: threads of lower priority can only give a less preferred match.
          if (!reverse_) {
            cut = true;
            stack_.clear();
          }
          break;
      }
    }
  }
  if (*work_ < steps) {
    *work_ = 0;
    return -1;
  }
  *work_ -= steps;
  int next = hasAsserts_ ? side : 0;
  if (!reverse_ && (flags & kStarts) && !matchHere) next |= kStarts;
  if (matchHere) next |= kMatchBefore;
  if (key_.size() == 1 && !(next & kStarts)) next &= ~kSideMask;  // dead: the side is moot
  key_[0] = next;
  int id = Intern(&key_);
  if (id < 0) {
    // The cache is full: empty it and make the state we came from again.
    std::vector<int> source = keys_[std::size_t(s)];
    if (!ResetCache(searchPos_)) return -1;
    s = Intern(&source);
    id = Intern(&key_);
    if (s < 0 || id < 0) return -1;
  }
  next_[Row(s) + std::size_t(cls)] = EntryFor(id);
  if (id == s && accel_[std::size_t(s)] == kAccelUnknown) WorkOutAccel(s);
  return id;
}

void Dfa::WorkOutAccel(int s) {
  accel_[std::size_t(s)] = kAccelNone;
  if (special_[std::size_t(s)] & (kIsStart | kIsDead)) return;
  // Every transition of the state, built now, where the cache has room for them all: a
  // cache emptied here would take s and the state the caller is making with it.
  std::size_t missing = 0;
  for (int c = 0; c < classes_; ++c)
    missing += next_[Row(s) + std::size_t(c)] == 0 ? 1 : 0;
  const std::size_t most = kStateOverhead + 2 * sizeof(int) * (program_->code.size() + 1) +
                           sizeof(Entry) * std::size_t(stride_);
  if (used_ + missing * most > budget_) return;
  for (int c = 0; c < classes_; ++c) {
    if (next_[Row(s) + std::size_t(c)] == 0 && Step(s, c, classByte_[std::size_t(c)]) < 0) return;
  }
  ByteSet stay;
  for (std::size_t b = 0; b < 256; ++b)
    stay[b] = Target(next_[Row(s) + classOf_[b]]) == s;
  const std::size_t count = stay.count();
  if (count != 1 && count != 255 && count != 256) return;
  for (std::size_t b = 0; b < 256; ++b) {
    if (stay[b] == (count == 1)) accelByte_[std::size_t(s)] = std::uint8_t(b);
  }
  accel_[std::size_t(s)] = count == 1 ? kAccelStay : count == 255 ? kAccelExit : kAccelAll;
  for (int c = 0; c < classes_; ++c) {
    Entry& e = next_[Row(s) + std::size_t(c)];
    if (Target(e) == s) e |= 1;
  }
}

std::size_t Dfa::SkipForward(int s, const unsigned char* text, std::size_t p,
                             std::size_t length) const {
  const unsigned char byte = accelByte_[std::size_t(s)];
  if (accel_[std::size_t(s)] == kAccelAll) return length;
  if (accel_[std::size_t(s)] == kAccelExit) {
    const void* hit = std::memchr(text + p, byte, length - p);
    return hit ? std::size_t(static_cast<const unsigned char*>(hit) - text) : length;
  }
  const std::uint64_t all = (~std::uint64_t(0) / 255) * byte;
  for (; p + 8 <= length; p += 8) {
    std::uint64_t x;
    std::memcpy(&x, text + p, 8);
    if (x != all) break;
  }
  while (p < length && text[p] == byte)
    ++p;
  return p;
}

std::size_t Dfa::SkipBackward(int s, const unsigned char* text, std::size_t p,
                              std::size_t start) const {
  if (accel_[std::size_t(s)] == kAccelAll) return start;
  const unsigned char byte = accelByte_[std::size_t(s)];
  const bool exit = accel_[std::size_t(s)] == kAccelExit;
  const std::uint64_t ones = ~std::uint64_t(0) / 255;
  const std::uint64_t all = ones * byte;
  const std::uint64_t low7 = ones * 0x7F;
  for (; p >= start + 8; p -= 8) {
    std::uint64_t x;
    std::memcpy(&x, text + p - 8, 8);
    if (exit) {
      const std::uint64_t y = x ^ all;  // a zero byte where the exit byte stands
      if (~(((y & low7) + low7) | y | low7)) break;
    } else if (x != all) {
      break;
    }
  }
  while (p > start && (text[p - 1] == byte) != exit)
    --p;
  return p;
}

Dfa::Result Dfa::SearchForward(const unsigned char* text, std::size_t length, std::size_t start,
                               bool rejectEmptyAtStart, std::size_t* end, std::size_t* earliest,
                               std::uint64_t* budget, bool anchored) {
  BeginSearch();
  work_ = budget;
  stop_ = start;
  int s = StartState(start > 0 ? SideOf(text[start - 1]) : kEdge, !anchored, rejectEmptyAtStart);
  if (s < 0) return kGaveUp;
  std::size_t lastMatch = kNoPos;
  std::size_t lastEmpty = start;  // where the state last held no thread but the new one
  std::size_t p = start;
  // s is the state at p, before text[p] is read.
  for (;;) {
    if (const std::uint8_t special = special_[std::size_t(s)]) {
      if (special & kIsMatch) lastMatch = p - 1;
      if (special & kIsDead) break;
      if (special & kIsStart) {
        // No thread alive and no match yet: skip to where a match may start.
        lastEmpty = p;
        const std::size_t q = usePrefilter_ ? NextCandidate(*program_, text, length, p) : p;
        if (q > length) break;
        if (q != p) {
          lastEmpty = q;
          p = q;
          searchPos_ = p - start;
          s = StartState(SideOf(text[q - 1]), true, false);
          if (s < 0) return kGaveUp;
        }
      }
    }
    if (accel_[std::size_t(s)] >= kAccelStay && p < length) {
      p = SkipForward(s, text, p, length);
      if (special_[std::size_t(s)] & kIsMatch) lastMatch = p - 1;
      if (s == plainStart_) lastEmpty = p;
    }
    if (p == length) {
      // The text's edge: threads may still match at its end.
      int n = Target(next_[Row(s) + std::size_t(classes_)]);
      if (n < 0) n = Step(s, classes_, -1);
      if (n < 0) return kGaveUp;
      if (special_[std::size_t(n)] & kIsMatch) lastMatch = length;
      break;
    }
    const int cls = classOf_[text[p]];
    int n = Target(next_[Row(s) + std::size_t(cls)]);
    if (n < 0) {
      searchPos_ = p - start;
      n = Step(s, cls, text[p]);
      if (n < 0) return kGaveUp;
    }
    s = n;
    ++p;
    if (s == plainStart_) lastEmpty = p;
    // The common case: states with nothing special, read as fast as the table allows,
    // one load a byte on the chain from state to state.
    if (!special_[std::size_t(s)]) {
      const Entry* startRow = plainStart_ >= 0 ? next_.data() + Row(plainStart_) : nullptr;
      const Entry* row = next_.data() + Row(s);
      while (p < length) {
        const Entry entry = row[classOf_[text[p]]];
        if (entry == 0 || (entry & 1)) break;
        row = reinterpret_cast<const Entry*>(entry);
        ++p;
        lastEmpty = row == startRow ? p : lastEmpty;
      }
      s = StateAt(row);
    }
  }
  stop_ = p;
  if (lastMatch == kNoPos) return kNoMatch;
  *end = lastMatch;
  *earliest = lastEmpty;
  return kMatch;
}

Dfa::Result Dfa::SearchReverse(const unsigned char* text, std::size_t length, std::size_t start,
                               std::size_t end, std::size_t* matchStart, std::uint64_t* budget) {
  BeginSearch();
  work_ = budget;
  stop_ = end;
  int s = StartState(end < length ? SideOf(text[end]) : kEdge, true, false);
  if (s < 0) return kGaveUp;
  std::size_t lastMatch = kNoPos;
  std::size_t p = end;
  // s is the state at p, before text[p - 1] is read.
  for (;;) {
    if (const std::uint8_t special = special_[std::size_t(s)]) {
      if (special & kIsMatch) lastMatch = p + 1;
      if (special & kIsDead) break;
    }
    if (accel_[std::size_t(s)] >= kAccelStay && p > start) {
      p = SkipBackward(s, text, p, start);
      if (special_[std::size_t(s)] & kIsMatch) lastMatch = p + 1;
    }
    if (p == start) {
      // Matches at start are settled by the byte before it, which is not read past.
      const int byte = start > 0 ? text[start - 1] : -1;
      const int cls = byte >= 0 ? classOf_[byte] : classes_;
      int n = Target(next_[Row(s) + std::size_t(cls)]);
      if (n < 0) n = Step(s, cls, byte);
      if (n < 0) return kGaveUp;
      if (special_[std::size_t(n)] & kIsMatch) lastMatch = start;
      break;
    }
    const int cls = classOf_[text[p - 1]];
    int n = Target(next_[Row(s) + std::size_t(cls)]);
    if (n < 0) {
      searchPos_ = end - p;
      n = Step(s, cls, text[p - 1]);
      if (n < 0) return kGaveUp;
    }
    s = n;
    --p;
    // The inner loop notes only the match states it passes into.
    if (special_[std::size_t(s)] & kIsMatch) lastMatch = p + 1;
    if (!(special_[std::size_t(s)] & kIsDead)) {
      const Entry* row = next_.data() + Row(s);
      while (p > start) {
        const Entry entry = row[classOf_[text[p - 1]]];
        if (entry == 0 || (entry & 1)) break;
        row = reinterpret_cast<const Entry*>(entry & ~Entry(2));
        --p;
        lastMatch = (entry & 2) ? p + 1 : lastMatch;
      }
      s = StateAt(row);
    }
  }
  stop_ = p;
  if (lastMatch == kNoPos) return kNoMatch;
  *matchStart = lastMatch;
  return kMatch;
}

}  // namespace regexlib
