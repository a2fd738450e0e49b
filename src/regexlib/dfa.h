// A lazily built DFA over a compiled program. A state is the ordered list of program
// positions the Pike VM would start the next text position with (before following jumps,
// choices and assertions), plus a few flags; a transition follows them exactly as the Pike
// VM does for one byte, dropping the captures. States and transitions are built on first
// use and kept in a cache of fixed size; a full cache is emptied and the search goes on.
// A search that empties it too often, making little progress between, gives up and lets
// the caller use the capturing engines.
//
// The forward DFA answers where the leftmost-first match ends; the same machine over the
// reversed program (ReverseProgram) walks back from that end to find where it starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "regexlib/program.h"
#include "regexlib/state_cache.h"

namespace regexlib {

// The program run backwards: it starts where the forward program matches and matches
// where the forward program starts, over the same bytes read from right to left.
// Assertions keep their kinds; the reverse DFA evaluates them at the same text positions.
// With startPc, it starts where a forward thread stands at instruction startPc instead, and
// matches where the forward program could start to reach it.
Program ReverseProgram(const Program& forward, int startPc = -1);

class Dfa {
 public:
  enum Result { kNoMatch, kMatch, kGaveUp };

  // Forward (leftmost-first: a match cuts threads of lower priority; new threads start at
  // every position until a match is seen) or reverse (anchored at the position it starts
  // from, longest: it goes on until no thread is left). program must outlive the searches.
  void Init(const Program* program, bool reverse, std::size_t budget);
  // Forward: the end of the leftmost-first match starting at or after start, into *end.
  // With rejectEmptyAtStart an empty match at start does not count.
  // Building a state costs a step for each instruction it follows, taken from *budget; a
  // search that runs out gives up (a large program over a text that keeps making new
  // states).
  // *earliest is where the match starts at the earliest: the last position before its end
  // where no thread was alive.
  // With anchored only a match starting at start counts.
  Result SearchForward(const unsigned char* text, std::size_t length, std::size_t start,
                       bool rejectEmptyAtStart, std::size_t* end, std::size_t* earliest,
                       std::uint64_t* budget, bool anchored = false);
  // Reverse: the smallest position in [start, end] from which the forward program matches
  // text up to end exactly, into *matchStart.
  Result SearchReverse(const unsigned char* text, std::size_t length, std::size_t start,
                       std::size_t end, std::size_t* matchStart, std::uint64_t* budget);

  // Bytes the cache may hold; the cache is emptied when a new state would pass it.
  void SetBudget(std::size_t bytes) { budget_ = bytes; }
  std::size_t resets() const { return resetRule_.resets(); }  // over the DFA's life
  // Where the last search stopped reading: one past the last byte read forwards, the last
  // byte read backwards.
  std::size_t stoppedAt() const { return stop_; }

 private:
  enum Flag : int {
    kSideMask = 3,
    kStarts = 4,        // a new thread starts at this position (lowest priority); once a match
                        // was seen, none does
    kMatchBefore = 8,   // the transition into this state saw a match at the position before
    kRejectEmpty = 16,  // a match at this position does not count
  };
  // Per state, for the inner loop: the state is dead, ends a match, or holds no thread but
  // the new one (no match starts before it; the prefilter may skip ahead).
  enum Special : std::uint8_t { kIsMatch = 1, kIsDead = 2, kIsStart = 4 };

  // The state for key (flags first, then the positions), made when new; -1 when it does not
  // fit the cache even when empty.
  int Intern(std::vector<int>* key);
  // The state after reading class cls (classes_ for the edge) from state s; -1 when the
  // search must give up. May empty the cache: s is then made again.
  int Step(int s, int cls, int byte);
  int StartState(int side, bool starts, bool rejectEmpty);
  void ClearCache();
  bool ResetCache(std::size_t progress);
  void BeginSearch();

  const Program* program_ = nullptr;
  bool reverse_ = false;
  bool hasAsserts_ = false;
  bool usePrefilter_ = false;
  std::size_t budget_ = std::size_t(2) << 20;
  std::size_t used_ = 0;
  int classes_ = 0;  // byte classes; one more column holds the text's edge
  std::uint8_t classOf_[256] = {};
  std::vector<int> classByte_;  // a byte of each class

  std::unordered_map<std::vector<int>, int, StateKeyHash> ids_;
  std::vector<std::vector<int>> keys_;
  // The transition table: a row of classes_ + 1 entries per state, state s at row s + 1
  // (row 0 is unused). An entry is the address of the next state's row, with its low bit
  // set when that state is special; 0 when not built yet. The inner loop follows entries
  // without the bit: one load a byte. When the table grows and moves, its entries are
  // moved with it.
  using Entry = std::uintptr_t;
  std::vector<Entry> next_;
  // Rows are a power of two long, so that a row's index turns into its state by a shift.
  int shift_ = 0;
  int stride_ = 1;
  std::size_t Row(int s) const { return std::size_t(s + 1) << shift_; }
  // The reverse DFA (longest match) passes match states in its inner loop, noting them by
  // bit 1; only its dead state stops the loop.
  Entry EntryFor(int s) const {
    const std::uint8_t special = special_[std::size_t(s)];
    const Entry bits = reverse_ ? ((special & kIsDead) ? 1 : 0) | ((special & kIsMatch) ? 2 : 0)
                                : (special ? 1 : 0);
    return reinterpret_cast<Entry>(next_.data() + Row(s)) | bits;
  }
  // The state an entry leads to; -1 when it is not built yet.
  int Target(Entry entry) const {
    if (entry == 0) return -1;
    const std::size_t index =
        std::size_t(reinterpret_cast<const Entry*>(entry & ~Entry(3)) - next_.data());
    return int(index >> shift_) - 1;
  }
  int StateAt(const Entry* row) const { return int(std::size_t(row - next_.data()) >> shift_) - 1; }
  std::vector<std::uint8_t> special_;
  // States that a long run of text may leave unchanged, read as a scan instead of a byte
  // at a time: the state goes back to itself on one byte alone (kStay: the run of that
  // byte is skipped eight bytes a round), on every byte but one (kExit: memchr finds the
  // end), or on every byte (kAll: the rest of the text). Such a state's transitions to
  // itself carry the special bit, so that the inner loops stop there and the scan takes
  // over. Worked out when a state first goes back to itself.
  enum Accel : std::uint8_t { kAccelUnknown, kAccelNone, kAccelStay, kAccelExit, kAccelAll };
  std::vector<std::uint8_t> accel_;
  std::vector<std::uint8_t> accelByte_;
  void WorkOutAccel(int s);
  // Where the run that leaves state s unchanged ends, reading forwards from p (up to
  // length) or backwards from p (down to start).
  std::size_t SkipForward(int s, const unsigned char* text, std::size_t p,
                          std::size_t length) const;
  std::size_t SkipBackward(int s, const unsigned char* text, std::size_t p,
                           std::size_t start) const;
  int startStates_[2][2][4] = {};  // [starts][rejectEmpty][side], -1 until made
  int plainStart_ = -1;            // the state with no thread but the new one, when not special

  // Scratch for Step: the closure's visit marks and stack, the next state's key.
  std::vector<std::uint32_t> seen_;
  std::uint32_t mark_ = 0;
  std::vector<int> stack_;
  std::vector<int> key_;

  ResetRule resetRule_;
  std::size_t searchPos_ = 0;  // bytes read by the search so far, for the give-up rule
  std::size_t stop_ = 0;
  std::uint64_t* work_ = nullptr;
};

}  // namespace regexlib
