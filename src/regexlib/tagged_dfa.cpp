#include "regexlib/tagged_dfa.h"

#include <algorithm>
#include <cstring>

namespace regexlib {

namespace {
// A search may empty the cache this often before the give-up rule applies ...
constexpr std::size_t kFreeResets = 3;
// ... which then asks for this many bytes read per state the cache held.
constexpr std::size_t kBytesPerState = 10;
// What a state and a transition cost besides their positions and slots: the map's node,
// the key, the transition record.
constexpr std::size_t kStateOverhead = 96;
constexpr std::size_t kTransitionOverhead = sizeof(int) * 4;
// The rows of two states of the most threads the program allows may not pass this many
// slots (16 MB); a program that could need more is left to the Pike VM, which shares rows
// between threads.
constexpr std::size_t kMostSlots = std::size_t(2) << 20;
}  // namespace

void TaggedDfa::Init(const Program* program, std::size_t budget) {
  program_ = program;
  budget_ = budget;
  classes_ = MakeByteClasses(*program);
  width_ = 2 * (program->groups + 1);
  most_ = 0;
  for (const Inst& in : program->code) {
    if (in.op == Op::kByte || in.op == Op::kSet) ++most_;
  }
  seen_.assign(program->code.size(), 0);
  mark_ = 0;
  resets_ = 0;
  for (std::vector<int>& rows : rows_)
    std::vector<int>().swap(rows);
  ClearCache();
}

void TaggedDfa::ClearCache() {
  ids_.clear();
  keys_.clear();
  threads_.clear();
  next_.clear();
  transitions_.clear();
  ops_.clear();
  used_ = 0;
}

bool TaggedDfa::ResetCache(std::size_t progress) {
  // As for the other DFAs: emptying the cache now and then is fine; emptying it again and
  // again while reading only a few bytes per state built is slower than the Pike VM.
  const std::size_t states = keys_.size();
  ++resets_;
  ++searchResets_;
  const bool slow = progress - std::min(progress, lastResetAt_) < kBytesPerState * states;
  lastResetAt_ = progress;
  ClearCache();
  return searchResets_ <= kFreeResets || !slow;
}

int TaggedDfa::Intern(const std::vector<int>& key) {
  auto it = ids_.find(key);
  if (it != ids_.end()) return it->second;
  const std::size_t classes = std::size_t(classes_.count);
  const std::size_t cost = kStateOverhead + 2 * sizeof(int) * key.size() + sizeof(int) * classes;
  if (used_ + cost > budget_) return -1;
  used_ += cost;
  const int id = int(keys_.size());
  keys_.push_back(key);
  ids_.emplace(key, id);
  threads_.push_back(int(key.size()) - 1);
  next_.resize(next_.size() + classes, -1);
  // The rows must hold every thread of any state a transition leads to.
  const std::size_t slots = (key.size() - 1) * Stride();
  for (std::vector<int>& rows : rows_) {
    if (rows.size() < slots) rows.resize(slots);
  }
  return id;
}

std::uint64_t TaggedDfa::Close(const std::vector<int>& key, int right, Reached* match) {
  const std::vector<Inst>& code = program_->code;
  bool holds[kNotWordBoundary + 1];
  for (int k = 0; k <= kNotWordBoundary; ++k)
    holds[k] = HoldsBetween(k, key[0], right);
  if (++mark_ == 0) {  // the marks wrapped: start them over
    std::fill(seen_.begin(), seen_.end(), 0);
    mark_ = 1;
  }
  consumers_.clear();
  saves_.clear();
  match->pc = -1;
  std::uint64_t steps = 0;
  // Each thread in priority order, followed depth first as the Pike VM adds threads: a
  // position reached before is taken by a thread of higher priority.
  for (std::size_t r = 1; r < key.size(); ++r) {
    stack_.assign(1, Reached{key[r], int(r) - 1, 0, 0});
    while (!stack_.empty()) {
      const Reached t = stack_.back();
      stack_.pop_back();
      if (seen_[std::size_t(t.pc)] == mark_) continue;
      seen_[std::size_t(t.pc)] = mark_;
      ++steps;
      const Inst& in = code[std::size_t(t.pc)];
      switch (in.op) {
        case Op::kJmp:
          stack_.push_back(Reached{in.x, t.from, t.saves, t.count});
          break;
        case Op::kSplit:
          stack_.push_back(Reached{in.y, t.from, t.saves, t.count});
          stack_.push_back(Reached{in.x, t.from, t.saves, t.count});
          break;
        case Op::kSave: {
          // The slots this path set, and this one: a range of its own, since other paths
          // share the earlier part.
          const int at = int(saves_.size());
          for (int i = 0; i < t.count; ++i) {
            const int slot = saves_[std::size_t(t.saves + i)];
            if (slot != in.x) saves_.push_back(slot);
          }
          saves_.push_back(in.x);
          stack_.push_back(Reached{t.pc + 1, t.from, at, int(saves_.size()) - at});
          break;
        }
        case Op::kAssert:
          if (holds[in.x]) stack_.push_back(Reached{t.pc + 1, t.from, t.saves, t.count});
          break;
        case Op::kByte:
        case Op::kSet:
          consumers_.push_back(t);
          break;
        case Op::kMatch:
          // Leftmost-first: threads of lower priority can only give a less preferred match.
          *match = t;
          stack_.clear();
          return steps;
      }
    }
  }
  return steps;
}

int TaggedDfa::Build(int* s, int cls, std::uint64_t* budget, std::size_t progress) {
  const int byte = classes_.byteOf[std::size_t(cls)];
  const int side = classes_.hasAsserts ? SideOf(byte) : kEdge;
  Reached match;
  const std::uint64_t steps = Close(keys_[std::size_t(*s)], side, &match);
  if (*budget < steps) {
    *budget = 0;
    return -2;
  }
  *budget -= steps;
  key_.assign(1, side);
  std::vector<Reached> taken;
  for (const Reached& c : consumers_) {
    const Inst& in = program_->code[std::size_t(c.pc)];
    const bool takes =
        in.op == Op::kByte ? in.x == byte : program_->sets[std::size_t(in.x)][std::size_t(byte)];
    if (takes) {
      key_.push_back(c.pc + 1);
      taken.push_back(c);
    }
  }
  if (key_.size() == 1) key_[0] = kEdge;  // no thread: the side is moot
  int target = Intern(key_);
  if (target < 0) {
    // The cache is full: empty it and make the state we came from again. Its threads keep
    // their order, so the rows stay theirs.
    const std::vector<int> source = keys_[std::size_t(*s)];
    if (!ResetCache(progress)) return -1;
    *s = Intern(source);
    target = Intern(key_);
    if (*s < 0 || target < 0) return -1;
  }
  const std::size_t stride = Stride();
  const std::size_t before = ops_.size();
  Transition t{target, -1, int(ops_.size()), 0, 0, 0, target == *s && match.pc < 0};
  for (std::size_t j = 0; j < taken.size(); ++j) {
    if (taken[j].from != int(j) || taken[j].count != 0) t.keeps = false;
    for (std::size_t k = 0; k < stride; k += kBlock) {
      ops_.push_back(std::uint32_t(j * stride + k));
      ops_.push_back(std::uint32_t(std::size_t(taken[j].from) * stride + k));
    }
  }
  t.copyCount = (int(ops_.size()) - t.copies) / 2;
  t.sets = int(ops_.size());
  for (std::size_t j = 0; j < taken.size(); ++j) {
    for (int i = 0; i < taken[j].count; ++i)
      ops_.push_back(std::uint32_t(j * stride) +
                     std::uint32_t(saves_[std::size_t(taken[j].saves + i)]));
  }
  t.setCount = int(ops_.size()) - t.sets;
  if (match.pc >= 0) {
    t.match = int(ops_.size());
    ops_.push_back(std::uint32_t(std::size_t(match.from) * stride));
    ops_.push_back(std::uint32_t(match.count));
    for (int i = 0; i < match.count; ++i)
      ops_.push_back(std::uint32_t(saves_[std::size_t(match.saves + i)]));
  }
  used_ += kTransitionOverhead + sizeof(std::uint32_t) * (ops_.size() - before);
  const int id = int(transitions_.size());
  transitions_.push_back(t);
  next_[std::size_t(*s) * std::size_t(classes_.count) + std::size_t(cls)] = id;
  return id;
}

TaggedDfa::Result TaggedDfa::Search(const unsigned char* text, std::size_t length,
                                    std::size_t begin, std::size_t limit, std::vector<int>* slots,
                                    std::uint64_t* budget) {
  const std::size_t width = std::size_t(width_);
  const std::size_t stride = Stride();
  if (2 * most_ * stride > kMostSlots) return kGaveUp;
  searchResets_ = 0;
  lastResetAt_ = 0;
  limit = std::min(limit, length);
  const int startSide = !classes_.hasAsserts ? kEdge : begin > 0 ? SideOf(text[begin - 1]) : kEdge;
  const std::vector<int> startKey{startSide, 0};
  int s = Intern(startKey);
  if (s < 0) {
    if (!ResetCache(0)) return kGaveUp;
    s = Intern(startKey);
    if (s < 0) return kGaveUp;
  }
  int current = 0;  // which of rows_ holds the current state's rows
  std::fill(rows_[0].begin(), rows_[0].begin() + std::ptrdiff_t(width), -1);
  bool matched = false;
  std::uint64_t left = *budget;
  const std::size_t classes = std::size_t(classes_.count);
  const std::uint8_t* classOf = classes_.classOf;
  std::size_t pos = begin;
  while (pos < limit) {
    // The tables as they stand: building a transition may move them.
    const int* next = next_.data();
    const Transition* transitions = transitions_.data();
    const int* threads = threads_.data();
    const std::uint32_t* ops = ops_.data();
    int* cur = rows_[current].data();
    int* other = rows_[1 - current].data();
    int cls = 0;
    for (; pos < limit; ++pos) {
      const std::uint64_t cost = std::uint64_t(threads[s]) + 1;
      if (left < cost) {
        *budget = 0;
        return kOutOfSteps;
      }
      cls = classOf[text[pos]];
      const int t = next[std::size_t(s) * classes + std::size_t(cls)];
      if (t < 0) break;
      left -= cost;
      const Transition tr = transitions[t];
      if (tr.match >= 0) {
        const std::uint32_t* op = ops + tr.match;
        const int* row = cur + op[0];
        slots->assign(row, row + width);
        for (std::uint32_t k = 0; k < op[1]; ++k)
          (*slots)[op[2 + k]] = int(pos);
        matched = true;
      }
      if (!tr.keeps) {
        const std::uint32_t* copy = ops + tr.copies;
        for (int i = 0; i < tr.copyCount; ++i, copy += 2)
          std::memcpy(other + copy[0], cur + copy[1], kBlock * sizeof(int));
        const std::uint32_t* set = ops + tr.sets;
        for (int i = 0; i < tr.setCount; ++i)
          other[set[i]] = int(pos);
        std::swap(cur, other);
        current = 1 - current;
      }
      s = tr.target;
      if (threads[s] == 0) {
        *budget = left;
        return matched ? kMatch : kNoMatch;
      }
    }
    if (pos < limit) {
      const int built = Build(&s, cls, &left, pos - begin);
      if (built == -2) {
        *budget = 0;
        return kOutOfSteps;
      }
      if (built < 0) {
        *budget = left;
        return kGaveUp;
      }
    }
  }
  *budget = left;
  const int* cur = rows_[current].data();
  // At the limit no thread consumes: only a match there is left to see.
  Reached match;
  const std::uint64_t steps =
      Close(keys_[std::size_t(s)], limit < length ? SideOf(text[limit]) : kEdge, &match);
  if (*budget < steps) return kOutOfSteps;
  *budget -= steps;
  if (match.pc >= 0) {
    const int* row = cur + std::size_t(match.from) * stride;
    slots->assign(row, row + width);
    for (int k = 0; k < match.count; ++k)
      (*slots)[std::size_t(saves_[std::size_t(match.saves + k)])] = int(pos);
    matched = true;
  }
  return matched ? kMatch : kNoMatch;
}

}  // namespace regexlib
