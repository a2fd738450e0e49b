// A lazily built DFA that fills capture groups: the Pike VM's step for one byte, worked out
// once per state and byte class and then replayed. A state is the ordered list of program
// positions the Pike VM would start the next text position with (before following jumps,
// choices and assertions) and the side of the byte before. A transition says, for each
// thread of the next state, which thread of this state it came from and which capture
// slots it set at this position, and which thread (if any) matched here.
//
// The search runs forwards at table speed, noting only where the last match was seen and,
// every chunk of text, the state it was in. The groups are then read backwards along the
// one thread that matched: each earlier chunk is run again from its state to learn the
// transitions taken, and the walk goes back through them to the latest place each slot
// was set. A group set near the end of the match (the last round of a loop, say) is found
// after a few bytes of the walk, so a match over a megabyte costs little more than one pass.
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
#include "regexlib/state_cache.h"

namespace regexlib {

class TaggedDfa {
 public:
  // kOutOfSteps: the step budget ran out. kGaveUp: the cache was emptied too often;
  // nothing is known.
  enum Result { kNoMatch, kMatch, kGaveUp, kOutOfSteps };

  // program must outlive the searches.
  void Init(const Program* program, std::size_t budget);
  void SetBudget(std::size_t bytes) { budget_ = bytes; }
  // Bytes of text between the states kept for the walk back (for tests: a small chunk
  // makes the walk cross many).
  void SetChunk(std::size_t bytes) { chunk_ = bytes > 0 ? bytes : 1; }
  // The leftmost-first match starting at begin that consumes no byte at or past limit, as
  // the Pike VM anchored at begin finds it; assertions see the whole of text[0, length).
  // On a match fills *slots (2 per group, whole match first; -1 for a group that did not
  // take part). Building a transition costs a step for each instruction followed, and the
  // walk back a step for each byte it runs again, taken from *budget.
  Result Search(const unsigned char* text, std::size_t length, std::size_t begin, std::size_t limit,
                std::vector<int>* slots, std::uint64_t* budget);
  std::size_t resets() const { return resetRule_.resets(); }  // over the DFA's life

 private:
  // A thread as the closure leaves it: the position it stands at, the thread of the state
  // it came from, and the slots set on its way (a range of saves_).
  struct Reached {
    int pc;
    int from;
    int saves;
    int count;
  };
  // In ops_, a thread's record is (from, count, slots...): the thread it came from and the
  // slots it set.
  struct Transition {
    int target;
    int match;    // offset in ops_ of the matching thread's record; -1: none
    int threads;  // offset in ops_ of the offsets of each next thread's record
  };
  enum Built : int { kBuildGaveUp = -1, kBuildOutOfSteps = -2 };

  // Follows the threads of the state with key (each from its position) through jumps,
  // choices, saves and assertions in priority order, up to a position of side right:
  // consumers_ gets the consuming instructions reached, in order, up to the first match,
  // which goes to *match (pc -1 when none). Returns the instructions followed.
  std::uint64_t Close(const std::vector<int>& key, int right, Reached* match);
  // The transition of state *s on class cls, built now; a Built code when the search must
  // stop. May empty the cache: *s is then made again.
  int Build(int* s, int cls, std::uint64_t* budget, std::size_t progress);
  // The state for key (the side first, then the positions), made when new; -1 when the
  // cache has no room for it.
  int Intern(const std::vector<int>& key);
  // Intern, emptying the cache first when it is full; -1 when the search must give up.
  int InternOrReset(const std::vector<int>& key, std::size_t progress);
  void ClearCache();
  bool ResetCache(std::size_t progress);
  void AppendRecord(const Reached& r);
  // Keeps the state a chunk starts with; false when the states kept would take too much
  // memory even with chunks of the longest length.
  bool KeepChunkState(const std::vector<int>& key);
  // The slots of the match seen at position at, where the thread from of the state there
  // matched setting the slots saves: read back from there to begin.
  Result WalkBack(const unsigned char* text, std::size_t begin, std::size_t at, int from,
                  const std::vector<int>& saves, std::vector<int>* slots, std::uint64_t* budget);

  const Program* program_ = nullptr;
  ByteClasses classes_;
  int width_ = 0;  // slots per match
  std::size_t budget_ = std::size_t(256) << 10;
  std::size_t chunk_ = std::size_t(16) << 10;
  std::size_t used_ = 0;

  std::unordered_map<std::vector<int>, int, StateKeyHash> ids_;
  std::vector<std::vector<int>> keys_;
  std::vector<int> threads_;  // per state
  std::vector<int> next_;     // per state a row of classes: the transition, -1 until built
  // The same rows for the forward pass: the next state's row (its index times the
  // classes), -1 until built, or kSlow where the transition matches or leads to the state
  // with no thread, which the pass then takes through next_.
  static constexpr int kSlow = -2;
  std::vector<int> fast_;
  std::vector<Transition> transitions_;
  std::vector<int> ops_;

  // Scratch for Close and Build.
  std::vector<std::uint32_t> seen_;
  std::uint32_t mark_ = 0;
  std::vector<Reached> stack_;
  std::vector<int> saves_;
  std::vector<Reached> consumers_;
  std::vector<Reached> taken_;
  std::vector<int> key_;
  // The search's chunk states (their keys one after another, each from an offset), and
  // the transitions of the chunk the walk is in.
  std::vector<int> chunkKeys_;
  std::vector<std::size_t> chunkAt_;
  std::size_t stride_ = 0;  // the search's chunk length: chunk_, doubled where keys are long
  std::vector<int> trace_;
  // Bytes the search has read, forwards and in the walk back: the progress the cache's
  // give-up rule weighs.
  std::size_t read_ = 0;

  ResetRule resetRule_;
};

}  // namespace regexlib
