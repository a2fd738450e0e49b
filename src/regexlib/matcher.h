// One pattern and one text with a current match: what the library's exports operate on.
#pragma once

#include <string>
#include <vector>

#include "regexlib/backtracker.h"
#include "regexlib/pike_vm.h"
#include "regexlib/program.h"

namespace regexlib {

class Matcher {
 public:
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

  bool hasMatch() const { return matched_; }
  // Byte offsets of group i in the text; -1 when it did not take part.
  int GroupStart(int i) const;
  int GroupEnd(int i) const;

 private:
  bool Search(std::size_t start, bool rejectEmptyAtStart);

  Program program_;
  bool compiled_ = false;
  bool pikeOnly_ = false;
  std::string error_;
  std::string text_;
  std::vector<int> slots_;
  bool matched_ = false;
  std::string group_;
  PikeVm vm_;
  Backtracker backtracker_;
};

}  // namespace regexlib
