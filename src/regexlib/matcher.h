// One pattern and one text with a current match: what the library's exports operate on.
#pragma once

#include <string>
#include <vector>

#include "regexlib/backtracker.h"
#include "regexlib/dfa.h"
#include "regexlib/pike_vm.h"
#include "regexlib/program.h"
#include "regexlib/tagged_dfa.h"

namespace regexlib {

class Matcher {
 public:
  Matcher();
  // Makes pattern current; false when it does not compile (Error() says why). Either way
  // there is no current match afterwards.
  bool SetPattern(const std::string& pattern);
  // Copies text (up to its first NUL) and finds the first match.
  bool Exec(const char* text);
  // Finds the next match after the current one. After an empty match the next may not be
  // empty at the same position. Without a current match there is no next one.
  bool ExecNext();
  // Group i of the current match; empty when it did not take part or does not exist.
  const std::string& Group(int i);
  // The highest group that took part in the current match; -1 without a current match.
  int MatchCount() const;
  const std::string& Error() const { return error_; }
  void Reset();
  // Runs every search on the Pike VM alone (for checking the engines against each other).
  void UsePikeVmOnly(bool only) { pikeOnly_ = only; }
  // Whether the DFAs find each match before the capturing engines fill its groups (on by
  // default); off, the capturing engines search on their own.
  void UseDfa(bool use) { useDfa_ = use; }
  // Bytes each of the two DFA caches may hold (for tests: a tiny cache is emptied
  // constantly and its searches give up to the capturing engines).
  void SetDfaBudget(std::size_t bytes);
  // Bytes the tagged DFA's cache may hold (a quarter of the above unless set here; for
  // tests: a cache of a handful of states is emptied while its searches still succeed).
  void SetTaggedDfaBudget(std::size_t bytes);
  // Steps the backtracker may take at the prefilter's candidates (for a pattern with a
  // literal lead) before the search goes to the DFAs; 0 sends every search to them.
  void SetQuickSteps(std::uint64_t steps) { quickSteps_ = steps; }
  std::size_t dfaResets() const {
    return forward_.resets() + reverse_.resets() + headReverse_.resets() + tagged_.resets();
  }
  // Whether a pattern with a run of bytes inside every match (Program::inner) is searched
  // for that run first: kInnerAuto where it pays, kInnerAlways for every search (for tests:
  // a single byte, and where the run is common), kInnerNever not at all.
  enum InnerUse { kInnerAuto, kInnerAlways, kInnerNever };
  void UseInner(InnerUse use) { innerUse_ = use; }
  // How the groups of a match the DFAs found are filled: kTaggedAuto by the backtracker on
  // a short span and by the tagged DFA on a long one, kTaggedAlways by the tagged DFA on
  // every span (for tests), kTaggedNever by the backtracker and the Pike VM. The Pike VM
  // takes over wherever the tagged DFA gives up.
  enum TaggedUse { kTaggedAuto, kTaggedAlways, kTaggedNever };
  void UseTaggedDfa(TaggedUse use) { taggedUse_ = use; }
  // Steps every search so far took (engine steps, instructions followed to build DFA
  // states): what the step budget counts. Linear in the text for any pattern.
  std::uint64_t work() const { return work_; }

  bool hasMatch() const { return matched_; }
  // Byte offsets of group i in the text; -1 when it did not take part.
  int GroupStart(int i) const;
  int GroupEnd(int i) const;

 private:
  bool Search(std::size_t start, bool rejectEmptyAtStart);
  // The search with its budgets: *budget for the capturing engines, *dfaBudget for the
  // DFAs' states.
  bool Find(std::size_t start, bool rejectEmptyAtStart, std::uint64_t* budget,
            std::uint64_t* dfaBudget);
  // The search by the inner run: the run is looked for, the head run backwards from it
  // and the forward DFA anchored where the head starts. kInnerFound: [*begin, *end) is
  // the leftmost-first match. kInnerPlain: no match starts before *from, and the rest is
  // left to the plain search (the run is too common here, or a DFA gave up).
  enum Inner { kInnerFound, kInnerNone, kInnerPlain };
  Inner InnerSearch(std::size_t* from, std::size_t* begin, std::size_t* end,
                    std::uint64_t* dfaBudget);
  // The capturing engines on their own: the leftmost-first match starting at or after
  // start that consumes no byte at or past limit.
  bool SearchEngines(std::size_t start, bool rejectEmptyAtStart, std::size_t limit,
                     std::uint64_t* budget);
  // A pattern with a literal lead is first tried by the backtracker at the prefilter's
  // candidates, within quickSteps_; when that does not settle the search, *from is the first
  // candidate not settled.
  enum Quick { kQuickMatch, kQuickNone, kQuickUndecided };
  Quick QuickTry(std::size_t start, bool rejectEmptyAtStart, std::size_t* from,
                 std::uint64_t* budget);
  // The groups of the match [begin, end) the DFAs found: filled, no match starts at
  // begin, or the step budget ran out.
  enum Filled { kFilled, kNotHere, kGaveUpHere };
  Filled FillGroups(std::size_t start, bool rejectEmptyAtStart, std::size_t begin, std::size_t end,
                    std::uint64_t* budget);

  Program program_;
  bool compiled_ = false;
  bool pikeOnly_ = false;
  bool useDfa_ = true;
  std::size_t dfaBudget_;
  std::uint64_t quickSteps_;
  Program reversed_;
  Program headReversed_;  // the head of a match before the inner run, backwards
  Dfa forward_;
  Dfa reverse_;
  Dfa headReverse_;
  InnerUse innerUse_ = kInnerAuto;
  TaggedDfa tagged_;  // fills the groups of a match too long for the backtracker
  std::size_t taggedBudget_;
  TaggedUse taggedUse_ = kTaggedAuto;
  std::uint64_t work_ = 0;
  std::uint64_t handedBack_ = 0;  // steps the search gave back after a tagged DFA's failed try
  std::string error_;
  std::string text_;
  std::vector<int> slots_;
  bool matched_ = false;
  std::string group_;
  PikeVm vm_;
  Backtracker backtracker_;
};

}  // namespace regexlib
