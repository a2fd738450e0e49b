#include "regexlib/backtracker.h"

#include <algorithm>
#include <cctype>

namespace regexlib {

namespace {
// States one window may hold; the window length follows from the program size.
constexpr std::size_t kStateBudget = std::size_t(1) << 25;
constexpr std::size_t kMinWindow = 64;

}  // namespace

bool Backtracker::Begin(const Program& program, const unsigned char* text, std::size_t length,
                        std::size_t start, bool rejectEmptyAtStart, std::uint64_t* budget) {
  program_ = &program;
  programSize_ = program.code.size();
  budget_ = budget;
  gaveUp_ = false;
  text_ = text;
  length_ = length;
  start_ = start;
  rejectEmpty_ = rejectEmptyAtStart;
  windowOpen_ = false;
  windowBytes_ = kStateBudget / program.code.size();
  caps_.assign(std::size_t(2 * (program.groups + 1)), -1);
  // Jobs keep positions in 32 bits; captures are ints anyway.
  return windowBytes_ >= kMinWindow && length < std::size_t(INT32_MAX);
}

bool Backtracker::ExitAt(const ByteLoop& loop, std::size_t pos) const {
  return !loop.outNeedsByte || (pos < length_ && loop.outFirst[text_[pos]]);
}

// Greedy: consume the longest run of body bytes, then leave the loop at the longest first.
// Positions whose loop state was tried before are not tried again.
bool Backtracker::GreedyLoop(int k, std::size_t pos, int* nextPc, std::size_t* nextPos) {
  const ByteLoop& loop = program_->loops[std::size_t(program_->loopAt[std::size_t(k)])];
  std::size_t q = pos;
  bool seenBefore = false;
  while (q < length_ && loop.bodyBytes[text_[q]]) {
    if (q + 1 > windowEnd_) return false;
    ++q;
    if (!Visit(k, q)) {
      seenBefore = true;
      break;
    }
  }
  std::size_t hi = q;
  if (seenBefore) {
    if (q == pos) {
      *nextPc = -1;
      return true;
    }
    hi = q - 1;
  }
  for (;; --hi) {
    if (ExitAt(loop, hi)) {
      if (hi > pos) Push(kGreedyExit, k, pos, hi - 1);
      *nextPc = loop.out;
      *nextPos = hi;
      return true;
    }
    if (hi == pos) break;
  }
  *nextPc = -1;
  return true;
}

// Lazy: leave the loop at the first position the exit can go on from, keeping the rest
// of the loop for later.
bool Backtracker::LazyLoop(int k, std::size_t pos, int* nextPc, std::size_t* nextPos) {
  const ByteLoop& loop = program_->loops[std::size_t(program_->loopAt[std::size_t(k)])];
  for (std::size_t p = pos;;) {
    const bool more = p < length_ && loop.bodyBytes[text_[p]];
    if (ExitAt(loop, p)) {
      if (more) Push(kLazyMore, k, p, 0);
      *nextPc = loop.out;
      *nextPos = p;
      return true;
    }
    if (!more) break;
    if (p + 1 > windowEnd_) return false;
    ++p;
    if (!Visit(k, p)) break;
  }
  *nextPc = -1;
  return true;
}

void Backtracker::OpenWindow(std::size_t at) {
  std::fill(visited_.begin(), visited_.begin() + std::ptrdiff_t(dirtyWords_), 0);
  dirtyWords_ = 0;
  windowStart_ = at;
  windowEnd_ = std::min(length_, at + windowBytes_);
  const std::size_t words = ((windowEnd_ - windowStart_ + 1) * programSize_ + 63) / 64;
  if (visited_.size() < words) visited_.resize(words, 0);
  windowOpen_ = true;
}

Backtracker::Result Backtracker::TryAt(std::size_t candidate, std::vector<int>* slots) {
  // States tried from earlier candidates of this search failed then and would fail again,
  // so a window is kept for as long as the candidates stay inside it.
  // The search found the literal prefix at the candidate already: start after it. The
  // window must hold that start (a prefix is at most as long as the shortest window).
  const std::size_t skip = std::size_t(program_->leadingBytes);
  if (!windowOpen_ || candidate + skip > windowEnd_) OpenWindow(candidate);
  const std::vector<Inst>& code = program_->code;
  std::fill(caps_.begin(), caps_.end(), -1);
  jobs_.clear();
  caps_[0] = int(candidate);
  Push(kRun, int(1 + skip), candidate + skip, 0);
  while (!jobs_.empty()) {
    const Job job = jobs_.back();
    jobs_.pop_back();
    int pc = job.pc;
    std::size_t pos = job.pos;
    switch (job.kind) {
      case kRun:
        break;
      case kRestore:
        caps_[std::size_t(job.pc)] = int(std::int32_t(job.pos));
        continue;
      case kGreedyExit: {
        const ByteLoop& loop = program_->loops[std::size_t(program_->loopAt[std::size_t(pc)])];
        std::size_t hi = job.hi;
        while (!ExitAt(loop, hi) && hi > job.pos)
          --hi;
        if (!ExitAt(loop, hi)) continue;
        if (hi > job.pos) Push(kGreedyExit, pc, job.pos, hi - 1);
        pc = loop.out;
        pos = hi;
        break;
      }
      case kLazyMore:
        if (pos + 1 > windowEnd_) return kOutOfWindow;
        if (!Visit(pc, pos + 1)) continue;
        if (!LazyLoop(pc, pos + 1, &pc, &pos)) return kOutOfWindow;
        if (pc < 0) continue;
        break;
    }
    for (;;) {
      if (!Visit(pc, pos)) break;
      const Inst& in = code[std::size_t(pc)];
      bool next = false;
      switch (in.op) {
        case Op::kByte:
        case Op::kSet:
          if (pos < length_ &&
              (in.op == Op::kByte ? text_[pos] == in.x
                                  : program_->sets[std::size_t(in.x)][text_[pos]])) {
            if (pos + 1 > windowEnd_) return kOutOfWindow;
            ++pos;
            ++pc;
            next = true;
          }
          break;
        case Op::kSplit: {
          if (jobs_.size() >= kMaxJobs) {
            ReleaseJobs();
            return kOutOfWindow;
          }
          const int loop = program_->loopAt[std::size_t(pc)];
          if (loop >= 0) {
            const bool ok = program_->loops[std::size_t(loop)].greedy
                                ? GreedyLoop(pc, pos, &pc, &pos)
                                : LazyLoop(pc, pos, &pc, &pos);
            if (!ok) return kOutOfWindow;
            next = pc >= 0;
            break;
          }
          Push(kRun, in.y, pos, 0);
          pc = in.x;
          next = true;
          break;
        }
        case Op::kJmp:
          pc = in.x;
          next = true;
          break;
        case Op::kSave:
          Push(kRestore, in.x, std::uint32_t(caps_[std::size_t(in.x)]), 0);
          caps_[std::size_t(in.x)] = int(pos);
          ++pc;
          next = true;
          break;
        case Op::kAssert:
          if (AssertionHolds(in.x, text_, length_, pos)) {
            ++pc;
            next = true;
          }
          break;
        case Op::kMatch:
          if (rejectEmpty_ && pos == start_ && caps_[0] == int(start_)) break;
          *slots = caps_;
          ReleaseJobs();
          return kMatch;
      }
      if (!next) break;
    }
  }
  ReleaseJobs();
  return gaveUp_ ? kGaveUp : kNoMatch;
}

void Backtracker::ReleaseJobs() {
  // A try over a long stretch may have grown the job stack to many megabytes: give them
  // back rather than keep them for the life of the process.
  if (jobs_.capacity() > (std::size_t(1) << 20)) std::vector<Job>().swap(jobs_);
}

}  // namespace regexlib
