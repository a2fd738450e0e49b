#include "regexlib/tagged_dfa.h"

#include <algorithm>
#include <cstdint>

namespace regexlib {

namespace {
// What a state and a transition cost besides their positions and records: the map's node,
// the key, the transition itself.
constexpr std::size_t kStateOverhead = 96;
constexpr std::size_t kTransitionOverhead = sizeof(int) * 4;
// Times the walk back may run one chunk again because the cache was emptied while it ran.
constexpr int kChunkTries = 3;
// The states kept for the walk back may hold this many positions (256 KB): past it, every
// other one is dropped and the chunks are twice as long ...
constexpr std::size_t kMostChunkKeys = std::size_t(64) << 10;
// ... up to this long (the walk back notes a chunk's transitions, 4 MB); a search that
// would need longer ones gives up.
constexpr std::size_t kLongestChunk = std::size_t(1) << 20;
}  // namespace

void TaggedDfa::Init(const Program* program, std::size_t budget) {
  program_ = program;
  budget_ = budget;
  classes_ = MakeByteClasses(*program);
  width_ = 2 * (program->groups + 1);
  seen_.assign(program->code.size(), 0);
  mark_ = 0;
  resetRule_ = ResetRule();
  ClearCache();
}

void TaggedDfa::ClearCache() {
  ids_.clear();
  keys_.clear();
  threads_.clear();
  next_.clear();
  fast_.clear();
  transitions_.clear();
  ops_.clear();
  used_ = 0;
}

bool TaggedDfa::ResetCache(std::size_t progress) {
  const bool go = resetRule_.Allow(progress, keys_.size());
  ClearCache();
  return go;
}

int TaggedDfa::Intern(const std::vector<int>& key) {
  auto it = ids_.find(key);
  if (it != ids_.end()) return it->second;
  const std::size_t classes = std::size_t(classes_.count);
  const std::size_t cost =
      kStateOverhead + 2 * sizeof(int) * key.size() + 2 * sizeof(int) * classes;
  if (used_ + cost > budget_) return -1;
  used_ += cost;
  const int id = int(keys_.size());
  keys_.push_back(key);
  ids_.emplace(key, id);
  threads_.push_back(int(key.size()) - 1);
  next_.resize(next_.size() + classes, -1);
  fast_.resize(fast_.size() + classes, -1);
  return id;
}

int TaggedDfa::InternOrReset(const std::vector<int>& key, std::size_t progress) {
  const int id = Intern(key);
  if (id >= 0) return id;
  if (!ResetCache(progress)) return -1;
  return Intern(key);
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
          // share the earlier part. Copying them is paid for too.
          steps += std::uint64_t(t.count);
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

void TaggedDfa::AppendRecord(const Reached& r) {
  ops_.push_back(r.from);
  ops_.push_back(r.count);
  for (int i = 0; i < r.count; ++i)
    ops_.push_back(saves_[std::size_t(r.saves + i)]);
}

int TaggedDfa::Build(int* s, int cls, std::uint64_t* budget, std::size_t progress) {
  const int byte = classes_.byteOf[std::size_t(cls)];
  const int side = classes_.hasAsserts ? SideOf(byte) : kEdge;
  Reached match;
  const std::uint64_t steps = Close(keys_[std::size_t(*s)], side, &match);
  if (*budget < steps) {
    *budget = 0;
    return kBuildOutOfSteps;
  }
  *budget -= steps;
  key_.assign(1, side);
  taken_.clear();
  std::size_t records = match.pc >= 0 ? 2 + std::size_t(match.count) : 0;
  for (const Reached& c : consumers_) {
    const Inst& in = program_->code[std::size_t(c.pc)];
    const bool takes =
        in.op == Op::kByte ? in.x == byte : program_->sets[std::size_t(in.x)][std::size_t(byte)];
    if (takes) {
      key_.push_back(c.pc + 1);
      taken_.push_back(c);
      records += 3 + std::size_t(c.count);
    }
  }
  if (key_.size() == 1) key_[0] = kEdge;  // no thread: the side is moot
  const std::size_t cost = kTransitionOverhead + sizeof(int) * records;
  int target = Intern(key_);
  if (target < 0 || used_ + cost > budget_) {
    // The cache is full: empty it and make the state we came from again. Its threads keep
    // their order, so what the search noted of them still holds.
    const std::vector<int> source = keys_[std::size_t(*s)];
    if (!ResetCache(progress)) return kBuildGaveUp;
    *s = Intern(source);
    target = Intern(key_);
    if (*s < 0 || target < 0 || used_ + cost > budget_) return kBuildGaveUp;
  }
  used_ += cost;
  Transition t{target, -1, 0};
  const std::size_t first = ops_.size();
  for (const Reached& r : taken_)
    AppendRecord(r);
  t.threads = int(ops_.size());
  for (std::size_t j = 0, at = first; j < taken_.size(); ++j) {
    ops_.push_back(int(at));
    at += 2 + std::size_t(taken_[j].count);
  }
  if (match.pc >= 0) {
    t.match = int(ops_.size());
    AppendRecord(match);
  }
  const int id = int(transitions_.size());
  transitions_.push_back(t);
  const std::size_t entry = std::size_t(*s) * std::size_t(classes_.count) + std::size_t(cls);
  next_[entry] = id;
  fast_[entry] = t.match >= 0 || taken_.empty() ? kSlow : target * classes_.count;
  return id;
}

bool TaggedDfa::KeepChunkState(const std::vector<int>& key) {
  chunkAt_.push_back(chunkKeys_.size());
  chunkKeys_.insert(chunkKeys_.end(), key.begin(), key.end());
  while (chunkKeys_.size() > kMostChunkKeys) {
    // Every other state goes, and the chunks between those kept are twice as long.
    if (2 * stride_ > kLongestChunk) return false;
    std::size_t kept = 0, to = 0;
    for (std::size_t k = 0; k < chunkAt_.size(); k += 2) {
      const std::size_t from = chunkAt_[k];
      const std::size_t end = k + 1 < chunkAt_.size() ? chunkAt_[k + 1] : chunkKeys_.size();
      std::copy(chunkKeys_.begin() + std::ptrdiff_t(from), chunkKeys_.begin() + std::ptrdiff_t(end),
                chunkKeys_.begin() + std::ptrdiff_t(to));
      chunkAt_[kept++] = to;
      to += end - from;
    }
    chunkAt_.resize(kept);
    chunkKeys_.resize(to);
    stride_ *= 2;
  }
  return true;
}

TaggedDfa::Result TaggedDfa::Search(const unsigned char* text, std::size_t length,
                                    std::size_t begin, std::size_t limit, std::vector<int>* slots,
                                    std::uint64_t* budget) {
  if (length >= std::size_t(INT32_MAX)) return kGaveUp;  // slots hold positions as ints
  limit = std::min(limit, length);
  if (begin > limit) return kNoMatch;
  resetRule_.BeginSearch();
  chunkKeys_.clear();
  chunkAt_.clear();
  stride_ = chunk_;
  const int startSide = !classes_.hasAsserts ? kEdge : begin > 0 ? SideOf(text[begin - 1]) : kEdge;
  int s = InternOrReset({startSide, 0}, 0);
  if (s < 0) return kGaveUp;
  // The last match seen: where, which thread of the state there, and the slots it set.
  bool found = false;
  std::size_t matchAt = 0;
  int matchFrom = 0;
  std::vector<int> matchSaves;
  std::uint64_t left = *budget;
  const std::size_t classes = std::size_t(classes_.count);
  const std::uint8_t* classOf = classes_.classOf;
  bool alive = true;
  std::size_t pos = begin;
  while (alive && pos < limit) {
    // A chunk starts here: its state is kept for the walk back.
    if ((pos - begin) % stride_ == 0 && !KeepChunkState(keys_[std::size_t(s)])) {
      *budget = left;
      return kGaveUp;
    }
    const std::size_t chunkEnd = std::min(limit, begin + ((pos - begin) / stride_ + 1) * stride_);
    while (alive && pos < chunkEnd) {
      // One table load a byte while the transitions are built and plain.
      const int* fast = fast_.data();
      std::size_t row = std::size_t(s) * classes;
      for (; pos < chunkEnd; ++pos) {
        const int entry = fast[row + classOf[text[pos]]];
        if (entry < 0) break;
        row = std::size_t(entry);
      }
      s = int(row / classes);
      if (pos == chunkEnd) break;
      // A transition not built yet, or one that matches or leaves no thread.
      const int cls = classOf[text[pos]];
      int t = next_[row + std::size_t(cls)];
      if (t < 0) {
        t = Build(&s, cls, &left, pos - begin);
        if (t == kBuildOutOfSteps) {
          *budget = 0;
          return kOutOfSteps;
        }
        if (t < 0) {
          *budget = left;
          return kGaveUp;
        }
      }
      const Transition& tr = transitions_[std::size_t(t)];
      if (tr.match >= 0) {
        const int* record = ops_.data() + tr.match;
        found = true;
        matchAt = pos;
        matchFrom = record[0];
        matchSaves.assign(record + 2, record + 2 + record[1]);
      }
      s = tr.target;
      alive = threads_[std::size_t(s)] > 0;
      ++pos;
    }
  }
  if (alive) {
    // At the limit no thread consumes: only a match there is left to see.
    Reached match;
    const std::uint64_t steps =
        Close(keys_[std::size_t(s)], limit < length ? SideOf(text[limit]) : kEdge, &match);
    if (left < steps) {
      *budget = 0;
      return kOutOfSteps;
    }
    left -= steps;
    if (match.pc >= 0) {
      found = true;
      matchAt = limit;
      matchFrom = match.from;
      matchSaves.assign(saves_.begin() + match.saves, saves_.begin() + match.saves + match.count);
    }
  }
  *budget = left;
  if (!found) return kNoMatch;
  read_ = pos - begin;
  return WalkBack(text, begin, matchAt, matchFrom, matchSaves, slots, budget);
}

TaggedDfa::Result TaggedDfa::WalkBack(const unsigned char* text, std::size_t begin, std::size_t at,
                                      int from, const std::vector<int>& saves,
                                      std::vector<int>* slots, std::uint64_t* budget) {
  std::vector<int>& out = *slots;
  out.assign(std::size_t(width_), -1);
  std::vector<char> known(std::size_t(width_), 0);
  int unknown = width_;
  auto found = [&](int slot, std::size_t p) {
    if (known[std::size_t(slot)]) return;  // set again later, which counts
    known[std::size_t(slot)] = 1;
    out[std::size_t(slot)] = int(p);
    --unknown;
  };
  // The one thread started at begin, saving the match's start there.
  found(0, begin);
  for (int slot : saves)
    found(slot, at);
  int thread = from;
  const std::size_t classes = std::size_t(classes_.count);
  std::size_t p = at;
  while (unknown > 0 && p > begin) {
    const std::size_t k = (p - 1 - begin) / stride_;
    const std::size_t a = begin + k * stride_;
    const std::size_t keyEnd = k + 1 < chunkAt_.size() ? chunkAt_[k + 1] : chunkKeys_.size();
    const std::vector<int> key(chunkKeys_.begin() + std::ptrdiff_t(chunkAt_[k]),
                               chunkKeys_.begin() + std::ptrdiff_t(keyEnd));
    // The chunk again from its state, noting each transition; a cache emptied on the way
    // leaves the notes before it pointing nowhere, so the chunk is run once more.
    trace_.resize(p - a);
    for (int tries = 0;; ++tries) {
      if (tries == kChunkTries) return kGaveUp;
      int s = InternOrReset(key, read_);
      if (s < 0) return kGaveUp;
      const std::size_t resetsBefore = resetRule_.resets();
      if (*budget < p - a) {
        *budget = 0;
        return kOutOfSteps;
      }
      *budget -= p - a;
      for (std::size_t q = a; q < p; ++q) {
        const int cls = classes_.classOf[text[q]];
        int t = next_[std::size_t(s) * classes + std::size_t(cls)];
        if (t < 0) {
          t = Build(&s, cls, budget, read_ + (q - a));
          if (t == kBuildOutOfSteps) return kOutOfSteps;
          if (t < 0) return kGaveUp;
        }
        trace_[q - a] = t;
        s = transitions_[std::size_t(t)].target;
      }
      read_ += p - a;
      if (resetRule_.resets() == resetsBefore) break;
    }
    // Back along the thread: at each position, the thread it came from and what it set.
    for (std::size_t q = p; q > a && unknown > 0;) {
      --q;
      const Transition& tr = transitions_[std::size_t(trace_[q - a])];
      const int* record = ops_.data() + ops_[std::size_t(tr.threads + thread)];
      for (int i = 0; i < record[1]; ++i)
        found(record[2 + i], q);
      thread = record[0];
    }
    p = a;
  }
  return kMatch;
}

}  // namespace regexlib
