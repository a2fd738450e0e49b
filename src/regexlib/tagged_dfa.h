// A lazily built DFA that fills capture groups: the Pike VM's step for one byte, worked out
// once per state and byte class and then replayed. A state is the ordered list of program
// positions the Pike VM would start the next text position with (before following jumps,
// choices and assertions) and the side of the byte before; each of its threads owns a row
// of capture slots. A transition says, for each thread of the next state, whose row it
// takes and which of its slots are set to the current position, and which row (if any)
// matched here. Replaying it costs a copy of each row, not a walk of the program, so a
// match whose groups change all along its span (a group inside a loop, say) is filled at
// a steady rate whatever the pattern.
//
// The transitions are exactly the Pike VM's, so the groups are the leftmost-first ones the
// Pike VM would give. States and transitions are kept in a cache of fixed size; a full
// cache is emptied and the search goes on, and a search that empties it too often gives
// up so that the caller can use the Pike VM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "regexlib/byte_classes.h"
#include "regexlib/program.h"

namespace regexlib {

class TaggedDfa {
 public:
  // kOutOfSteps: the step budget ran out. kGaveUp: the cache was emptied too often, or
  // the rows would take too much memory; nothing is known.
  enum Result { kNoMatch, kMatch, kGaveUp, kOutOfSteps };

  // program must outlive the searches.
  void Init(const Program* program, std::size_t budget);
  void SetBudget(std::size_t bytes) { budget_ = bytes; }
  // The leftmost-first match starting at begin that consumes no byte at or past limit, as
  // the Pike VM anchored at begin finds it; assertions see the whole of text[0, length).
  // On a match fills *slots (2 per group, whole match first; -1 for a group that did not
  // take part). Each position costs a step for each thread alive, and building a
  // transition a step for each instruction followed, taken from *budget.
  Result Search(const unsigned char* text, std::size_t length, std::size_t begin, std::size_t limit,
                std::vector<int>* slots, std::uint64_t* budget);
  std::size_t resets() const { return resets_; }  // cache resets over the DFA's life

 private:
  // A thread as the closure leaves it: the position it stands at, the thread of the state
  // it came from, and the slots set on its way (a range of saves_).
  struct Reached {
    int pc;
    int from;
    int saves;
    int count;
  };
  // What a transition does to the rows, in ops_: copies (a block of the next rows from
  // one of the current rows, as the two offsets) and then sets (an offset in the next
  // rows set to the position).
  struct Transition {
    int target;
    int match;  // offset in ops_ of the matching row's (row offset, count, slots...); -1: none
    int copies;
    int copyCount;
    int sets;
    int setCount;
    bool keeps;  // back to the same state with every row as it was: nothing to copy
  };
  struct KeyHash {
    std::size_t operator()(const std::vector<int>& key) const {
      std::uint64_t h = 1469598103934665603ull;
      for (int v : key) {
        h ^= std::uint32_t(v);
        h *= 1099511628211ull;
      }
      return std::size_t(h ^ (h >> 29));
    }
  };

  // Follows the threads of state s (each from its position) through jumps, choices, saves
  // and assertions in priority order, between a position of side left and one of side
  // right: consumers_ gets the consuming instructions reached, in order, up to the first
  // match, which goes to *match (pc -1 when none). Returns the instructions followed.
  std::uint64_t Close(const std::vector<int>& key, int right, Reached* match);
  // The transition of state s on class cls, built now; -1 when the search must give up.
  // May empty the cache: *s is then made again.
  int Build(int* s, int cls, std::uint64_t* budget, std::size_t progress);
  // The state for key (the side first, then the positions), made when new; -1 when the
  // cache has no room for it.
  int Intern(const std::vector<int>& key);
  void ClearCache();
  bool ResetCache(std::size_t progress);

  const Program* program_ = nullptr;
  ByteClasses classes_;
  int width_ = 0;  // slots per row
  // Rows stand a whole number of blocks apart, so that a row is copied in a few whole
  // moves rather than by a call.
  static constexpr std::size_t kBlock = 4;
  std::size_t Stride() const { return (std::size_t(width_) + kBlock - 1) / kBlock * kBlock; }
  std::size_t most_ = 0;  // threads a state may hold at most
  std::size_t budget_ = std::size_t(256) << 10;
  std::size_t used_ = 0;

  std::unordered_map<std::vector<int>, int, KeyHash> ids_;
  std::vector<std::vector<int>> keys_;
  std::vector<int> threads_;  // per state
  std::vector<int> next_;     // per state a row of classes: the transition, -1 until built
  std::vector<Transition> transitions_;
  std::vector<std::uint32_t> ops_;

  // Scratch for Close and Build.
  std::vector<std::uint32_t> seen_;
  std::uint32_t mark_ = 0;
  std::vector<Reached> stack_;
  std::vector<int> saves_;
  std::vector<Reached> consumers_;
  std::vector<int> key_;
  // The rows of the current state's threads and of the next one's.
  std::vector<int> rows_[2];

  std::size_t resets_ = 0;
  std::size_t searchResets_ = 0;
  std::size_t lastResetAt_ = 0;
};

}  // namespace regexlib
