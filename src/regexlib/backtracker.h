// A bounded backtracker: depth-first over the program in priority order, remembering every
// (instruction, position) state it has tried, in one bit each, so that no state is tried
// twice. Within one window of text its work is bounded by program size times window
// length, so it stays linear; it is much faster than the Pike VM. Windows hold 32 million
// states (4 MB of bits), a megabyte of text for a pattern of 32 instructions. A search
// that needs text past the window, or more pending jobs than kMaxJobs, is handed back to
// the caller, which finishes it with the Pike VM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "regexlib/program.h"

namespace regexlib {

class Backtracker {
 public:
  enum Result { kNoMatch, kMatch, kOutOfWindow, kGaveUp };
  // Pending jobs one try may hold (16 MB) before it hands the search back: enough for a
  // loop with groups over a quarter of a megabyte. A try that runs out has done that much
  // work for nothing, so the cap is kept well below what the window would allow.
  static constexpr std::size_t kMaxJobs = std::size_t(1) << 20;

  // Prepares a search of text[0, length) that begins at start. False when the program is
  // too large for a useful window.
  // *budget is the number of states the search may still try; TryAt answers kGaveUp when
  // it runs out. No byte at or past limit (at most length) is consumed, though assertions
  // see the whole text. A window holds at most maxWindow bytes of text (a short try needs
  // no more, and its bits then take less memory). A try holds at most maxJobs pending jobs
  // (at most kMaxJobs): a caller with a faster way for a try that would need more hands
  // it over early.
  bool Begin(const Program& program, const unsigned char* text, std::size_t length,
             std::size_t start, bool rejectEmptyAtStart, std::uint64_t* budget, std::size_t limit,
             std::size_t maxWindow = SIZE_MAX, std::size_t maxJobs = kMaxJobs);
  // Tries a match that starts exactly at candidate (candidates must come in increasing
  // order, and hold the program's literal prefix). On kMatch fills slots.
  Result TryAt(std::size_t candidate, std::vector<int>* slots);

 private:
  enum JobKind : std::uint8_t {
    kRun,         // go on at (pc, pos)
    kRestore,     // set capture slot `pc` back to `pos`
    kGreedyExit,  // leave byte loop `pc` at position hi, later hi - 1, ... down to pos
    kLazyMore,    // byte loop `pc` consumes the byte at pos and goes on
  };
  struct Job {
    JobKind kind;
    int pc;
    std::uint32_t pos;
    std::uint32_t hi;
  };
  void Push(JobKind kind, int pc, std::size_t pos, std::size_t hi) {
    jobs_.push_back(Job{kind, pc, std::uint32_t(pos), std::uint32_t(hi)});
  }

  // Runs byte loop k from pos. Returns false when the window is too small; otherwise sets
  // *pc, *pos to where the search goes on, or *pc to -1 when this path failed.
  bool GreedyLoop(int k, std::size_t pos, int* nextPc, std::size_t* nextPos);
  bool LazyLoop(int k, std::size_t pos, int* nextPc, std::size_t* nextPos);
  bool ExitAt(const ByteLoop& loop, std::size_t pos) const;

  // Marks state (pc, pos) tried; false when it was tried before or the budget is spent.
  bool Visit(int pc, std::size_t pos) {
    const std::size_t off = pos - windowStart_;
    std::uint64_t& word = visited_[std::size_t(pc) * rowWords_ + (off >> 6)];
    const std::uint64_t bit = std::uint64_t(1) << (off & 63);
    if (word & bit) return false;
    if (*budget_ == 0) {  // out of work: treat the state as tried; TryAt then gives up
      gaveUp_ = true;
      return false;
    }
    --*budget_;
    if (word == 0) dirty_.push_back(std::uint32_t(&word - visited_.data()));
    word |= bit;
    if ((off >> 6) >= dirtyWords_) dirtyWords_ = (off >> 6) + 1;
    return true;
  }
  // Counts one step of work that needs no record; false when the budget is spent.
  bool Step() {
    if (*budget_ == 0) {
      gaveUp_ = true;
      return false;
    }
    --*budget_;
    return true;
  }
  // The first position in [from, to] whose state at pc was tried; to + 1 when none was.
  std::size_t FirstVisited(int pc, std::size_t from, std::size_t to) const;
  // Marks the states of pc at positions [from, to] tried (none of them was).
  void MarkRange(int pc, std::size_t from, std::size_t to);
  // MarkRange within the budget; false (and the try gives up) when it is spent.
  bool MarkTried(int pc, std::size_t from, std::size_t to);
  // The first position in [*at, to] the loop's exit can go on from, into *at.
  bool FirstExit(const ByteLoop& loop, std::size_t to, std::size_t* at) const;
  // The end of the run of body bytes from pos, looked at up to limit.
  std::size_t RunEnd(const ByteLoop& loop, std::size_t pos, std::size_t limit) const;
  // The longest way out of a greedy loop at or below hi and at or above lo; false if none.
  bool LongestExit(const ByteLoop& loop, std::size_t lo, std::size_t* hi) const;
  void OpenWindow(std::size_t at);
  void ClearVisited();
  void ReleaseJobs();

  // What a job taken from the stack leaves: a thread to run from (*pc, *pos), nothing more
  // to do (a restore, or a loop with no way left), or a window too small for it.
  enum JobStep { kThread, kJobDone, kJobOutOfWindow };
  JobStep ResumeJob(const Job& job, int* pc, std::size_t* pos);
  // Runs one thread from (pc, pos) until it dies (kNoMatch: the next job goes on), matches
  // (kMatch, slots filled) or leaves the window (kOutOfWindow).
  Result RunThread(int pc, std::size_t pos, std::vector<int>* slots);

  const Program* program_ = nullptr;
  const unsigned char* text_ = nullptr;
  std::size_t length_ = 0;
  std::size_t limit_ = 0;  // bytes at or past it are not consumed
  std::size_t start_ = 0;
  bool rejectEmpty_ = false;
  std::size_t programSize_ = 0;
  std::size_t windowStart_ = 0;
  std::size_t windowEnd_ = 0;  // last position the window holds
  std::size_t windowBytes_ = 0;
  std::size_t maxJobs_ = kMaxJobs;
  bool windowOpen_ = false;
  std::uint64_t* budget_ = nullptr;
  bool gaveUp_ = false;
  // One bit per (pc, position in window), set when the state was tried: a row of
  // rowWords_ words for each pc, so that a loop's run of positions is a run of bits. Only
  // the first dirtyWords_ words of each row can hold set bits, and dirty_ lists every
  // word that does: a new window clears just those.
  std::vector<std::uint64_t> visited_;
  std::vector<std::uint32_t> dirty_;
  std::size_t rowWords_ = 0;
  std::size_t dirtyWords_ = 0;
  std::vector<Job> jobs_;
  std::vector<int> caps_;
};

}  // namespace regexlib
