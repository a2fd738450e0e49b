#include "regexlib/backtracker.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace regexlib {

namespace {
// States one window may hold; the window length follows from the program size.
constexpr std::size_t kStateBudget = std::size_t(1) << 25;
constexpr std::size_t kMinWindow = 64;

}  // namespace

bool Backtracker::Begin(const Program& program, const unsigned char* text, std::size_t length,
                        std::size_t start, bool rejectEmptyAtStart, std::uint64_t* budget,
                        std::size_t limit, std::size_t maxWindow, std::size_t maxJobs) {
  ClearVisited();
  program_ = &program;
  programSize_ = program.code.size();
  budget_ = budget;
  gaveUp_ = false;
  text_ = text;
  length_ = length;
  limit_ = std::min(limit, length);
  start_ = start;
  rejectEmpty_ = rejectEmptyAtStart;
  windowOpen_ = false;
  maxJobs_ = std::min(maxJobs, kMaxJobs);
  windowBytes_ = std::min(kStateBudget / program.code.size(), std::max(maxWindow, kMinWindow));
  rowWords_ = (std::min(windowBytes_, limit_ - std::min(start, limit_)) + 1 + 63) / 64;
  if (visited_.size() < programSize_ * rowWords_) visited_.resize(programSize_ * rowWords_, 0);
  caps_.assign(std::size_t(2 * (program.groups + 1)), -1);
  // Jobs keep positions in 32 bits; captures are ints anyway.
  return kStateBudget / program.code.size() >= kMinWindow && length < std::size_t(INT32_MAX);
}

bool Backtracker::ExitAt(const ByteLoop& loop, std::size_t pos) const {
  return !loop.outNeedsByte || (pos < limit_ && loop.outFirst[text_[pos]]);
}

std::size_t Backtracker::FirstVisited(int pc, std::size_t from, std::size_t to) const {
  const std::uint64_t* row = &visited_[std::size_t(pc) * rowWords_];
  const std::size_t a = from - windowStart_, b = to - windowStart_;
  for (std::size_t w = a >> 6; w <= (b >> 6) && w < dirtyWords_; ++w) {
    std::uint64_t bits = row[w];
    if (w == (a >> 6)) bits &= ~std::uint64_t(0) << (a & 63);
    if (w == (b >> 6) && (b & 63) != 63) bits &= (std::uint64_t(1) << ((b & 63) + 1)) - 1;
    if (bits) return windowStart_ + (w << 6) + std::size_t(__builtin_ctzll(bits));
  }
  return to + 1;
}

void Backtracker::MarkRange(int pc, std::size_t from, std::size_t to) {
  std::uint64_t* row = &visited_[std::size_t(pc) * rowWords_];
  const std::size_t a = from - windowStart_, b = to - windowStart_;
  for (std::size_t w = a >> 6; w <= (b >> 6); ++w) {
    std::uint64_t bits = ~std::uint64_t(0);
    if (w == (a >> 6)) bits &= ~std::uint64_t(0) << (a & 63);
    if (w == (b >> 6) && (b & 63) != 63) bits &= (std::uint64_t(1) << ((b & 63) + 1)) - 1;
    if (row[w] == 0) dirty_.push_back(std::uint32_t(&row[w] - visited_.data()));
    row[w] |= bits;
  }
  if ((b >> 6) >= dirtyWords_) dirtyWords_ = (b >> 6) + 1;
}

std::size_t Backtracker::RunEnd(const ByteLoop& loop, std::size_t pos, std::size_t limit) const {
  if (loop.allBytes) return limit;
  if (loop.stopByte >= 0) {
    const void* hit = std::memchr(text_ + pos, loop.stopByte, limit - pos);
    return hit ? std::size_t(static_cast<const unsigned char*>(hit) - text_) : limit;
  }
  while (pos < limit && loop.bodyBytes[text_[pos]])
    ++pos;
  return pos;
}

bool Backtracker::LongestExit(const ByteLoop& loop, std::size_t lo, std::size_t* hi) const {
  if (loop.outByte >= 0) {
    // The exit needs outByte at the position it starts from.
    const std::size_t top = std::min(*hi, limit_ - (limit_ > 0 ? 1 : 0));
    if (limit_ == 0 || top < lo) return false;
    const unsigned char byte = static_cast<unsigned char>(loop.outByte);
    for (std::size_t at = top;; --at) {
      if (text_[at] == byte) {
        *hi = at;
        return true;
      }
      if (at == lo) return false;
    }
  }
  for (std::size_t at = *hi;; --at) {
    if (ExitAt(loop, at)) {
      *hi = at;
      return true;
    }
    if (at == lo) return false;
  }
}

// Greedy: consume the longest run of body bytes, then leave the loop at the longest first.
// Positions whose loop state was tried before are not tried again.
bool Backtracker::GreedyLoop(int k, std::size_t pos, int* nextPc, std::size_t* nextPos) {
  const ByteLoop& loop = program_->loops[std::size_t(program_->loopAt[std::size_t(k)])];
  // Body bytes stand at [pos, runEnd): the loop may reach positions pos + 1 .. runEnd, up
  // to the first one tried before. A run that goes on past the window needs a new one.
  const std::size_t runEnd = RunEnd(loop, pos, std::min(limit_, windowEnd_ + 1));
  std::size_t q = runEnd;
  std::size_t hi = runEnd;
  if (runEnd > pos) {
    const std::size_t inWindow = std::min(runEnd, windowEnd_);
    const std::size_t seen = pos < inWindow ? FirstVisited(k, pos + 1, inWindow) : inWindow + 1;
    if (seen <= inWindow) {
      q = seen;
      hi = seen - 1;
    } else if (runEnd > windowEnd_) {
      return false;
    }
    const std::size_t last = seen <= inWindow ? seen - 1 : q;
    if (last > pos && !MarkTried(k, pos + 1, last)) {
      *nextPc = -1;
      return true;
    }
  }
  if (!LongestExit(loop, pos, &hi)) {
    *nextPc = -1;
    return true;
  }
  if (hi > pos) Push(kGreedyExit, k, pos, hi - 1);
  *nextPc = loop.out;
  *nextPos = hi;
  return true;
}

// Lazy: leave the loop at the first position the exit can go on from, keeping the rest
// of the loop for later. Positions whose loop state was tried before end this path.
bool Backtracker::LazyLoop(int k, std::size_t pos, int* nextPc, std::size_t* nextPos) {
  const ByteLoop& loop = program_->loops[std::size_t(program_->loopAt[std::size_t(k)])];
  // Body bytes stand at [pos, runEnd), so the loop reaches pos .. runEnd; it stops at the
  // first of them the exit can go on from.
  const std::size_t runEnd = RunEnd(loop, pos, std::min(limit_, windowEnd_ + 1));
  std::size_t exit = pos;
  bool found = FirstExit(loop, runEnd, &exit);
  const std::size_t stop = found ? exit : runEnd;
  if (stop > pos) {
    const std::size_t inWindow = std::min(stop, windowEnd_);
    const std::size_t seen = pos < inWindow ? FirstVisited(k, pos + 1, inWindow) : inWindow + 1;
    std::size_t last = stop;
    if (seen <= inWindow) {
      last = seen - 1;
      found = false;
    } else if (stop > windowEnd_) {
      return false;
    }
    if (last > pos && !MarkTried(k, pos + 1, last)) found = false;
  }
  if (!found) {
    *nextPc = -1;
    return true;
  }
  if (exit < runEnd) Push(kLazyMore, k, exit, 0);
  *nextPc = loop.out;
  *nextPos = exit;
  return true;
}

bool Backtracker::FirstExit(const ByteLoop& loop, std::size_t to, std::size_t* at) const {
  if (!loop.outNeedsByte) return true;
  const std::size_t end = std::min(to + 1, limit_);  // the exit needs a byte at *at
  if (*at >= end) return false;
  if (loop.outByte >= 0) {
    const void* hit = std::memchr(text_ + *at, loop.outByte, end - *at);
    if (!hit) return false;
    *at = std::size_t(static_cast<const unsigned char*>(hit) - text_);
    return true;
  }
  for (std::size_t p = *at; p < end; ++p) {
    if (loop.outFirst[text_[p]]) {
      *at = p;
      return true;
    }
  }
  return false;
}

bool Backtracker::MarkTried(int pc, std::size_t from, std::size_t to) {
  const std::uint64_t count = to - from + 1;
  if (*budget_ < count) {  // out of work: TryAt gives up
    *budget_ = 0;
    gaveUp_ = true;
    return false;
  }
  *budget_ -= count;
  MarkRange(pc, from, to);
  return true;
}

void Backtracker::ClearVisited() {
  for (std::uint32_t w : dirty_)
    visited_[w] = 0;
  dirty_.clear();
  dirtyWords_ = 0;
}

void Backtracker::OpenWindow(std::size_t at) {
  ClearVisited();
  windowStart_ = at;
  // A row holds the positions of one window: rowWords_ * 64 of them.
  windowEnd_ = std::min({limit_, at + windowBytes_, at + rowWords_ * 64 - 1});
  windowOpen_ = true;
}

Backtracker::Result Backtracker::TryAt(std::size_t candidate, std::vector<int>* slots) {
  // States tried from earlier candidates of this search failed then and would fail again,
  // so a window is kept for as long as the candidates stay inside it.
  // The search found the literal prefix at the candidate already: start after it. The
  // window must hold that start (a prefix is at most as long as the shortest window).
  const std::size_t skip = std::size_t(program_->leadingBytes);
  if (!windowOpen_ || candidate + skip > windowEnd_) OpenWindow(candidate);
  std::fill(caps_.begin(), caps_.end(), -1);
  jobs_.clear();
  caps_[0] = int(candidate);
  Push(kRun, int(1 + skip), candidate + skip, 0);
  while (!jobs_.empty()) {
    const Job job = jobs_.back();
    jobs_.pop_back();
    int pc = job.pc;
    std::size_t pos = job.pos;
    const JobStep step = ResumeJob(job, &pc, &pos);
    if (step == kJobOutOfWindow) return kOutOfWindow;
    if (step == kJobDone) continue;
    const Result result = RunThread(pc, pos, slots);
    if (result != kNoMatch) return result;
  }
  ReleaseJobs();
  return gaveUp_ ? kGaveUp : kNoMatch;
}

Backtracker::JobStep Backtracker::ResumeJob(const Job& job, int* pc, std::size_t* pos) {
  switch (job.kind) {
    case kRun:
      break;
    case kRestore:
      caps_[std::size_t(job.pc)] = int(std::int32_t(job.pos));
      return kJobDone;
    case kGreedyExit: {
      const ByteLoop& loop = program_->loops[std::size_t(program_->loopAt[std::size_t(*pc)])];
      std::size_t hi = job.hi;
      if (!LongestExit(loop, job.pos, &hi)) return kJobDone;
      if (hi > job.pos) Push(kGreedyExit, *pc, job.pos, hi - 1);
      *pc = loop.out;
      *pos = hi;
      break;
    }
    case kLazyMore:
      if (*pos + 1 > windowEnd_) return kJobOutOfWindow;
      if (!Visit(*pc, *pos + 1)) return kJobDone;
      if (!LazyLoop(*pc, *pos + 1, pc, pos)) return kJobOutOfWindow;
      if (*pc < 0) return kJobDone;
      break;
  }
  return kThread;
}

Backtracker::Result Backtracker::RunThread(int pc, std::size_t pos, std::vector<int>* slots) {
  const std::vector<Inst>& code = program_->code;
  const std::uint8_t* join = program_->join.data();
  for (;;) {
    if (join[pc] ? !Visit(pc, pos) : !Step()) break;
    const Inst& in = code[std::size_t(pc)];
    bool next = false;
    switch (in.op) {
      case Op::kByte:
      case Op::kSet:
        if (pos < limit_ && (in.op == Op::kByte ? text_[pos] == in.x
                                                : program_->sets[std::size_t(in.x)][text_[pos]])) {
          if (pos + 1 > windowEnd_) return kOutOfWindow;
          ++pos;
          ++pc;
          next = true;
        }
        break;
      case Op::kSplit: {
        if (jobs_.size() >= maxJobs_) {
          ReleaseJobs();
          return kOutOfWindow;
        }
        const int loop = program_->loopAt[std::size_t(pc)];
        if (loop >= 0) {
          const bool ok = program_->loops[std::size_t(loop)].greedy ? GreedyLoop(pc, pos, &pc, &pos)
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
  return kNoMatch;
}

void Backtracker::ReleaseJobs() {
  // A try over a long stretch may have grown the job stack to many megabytes: give them
  // back rather than keep them for the life of the process.
  if (jobs_.capacity() > (std::size_t(1) << 16)) std::vector<Job>().swap(jobs_);
}

}  // namespace regexlib
