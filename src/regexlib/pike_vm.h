// The Pike VM: runs a program over a text in one pass, keeping every live thread (one per
// program position) with its capture slots. Time is linear in the text for a given
// program, whatever the pattern; memory is bounded by the program size.
#pragma once

#include <cstddef>
#include <vector>

#include "regexlib/program.h"

namespace regexlib {

class PikeVm {
 public:
  // Searches text[0, length) for the leftmost-first match starting at or after start. The
  // whole text is visible to assertions. With rejectEmptyAtStart an empty match at start
  // does not count. On success fills slots (2 per group, whole match first; -1 for a group
  // that did not take part) and returns true.
  // from (at or after start) is where threads begin; earlier positions are known to start
  // no match.
  // *budget is the number of thread steps the search may still take; when it runs out the
  // search ends without a match and gaveUp() says so.
  // Threads consume no byte at or past limit (at most length), though assertions see the
  // whole text: a caller that knows where the match ends stops the search there. With
  // anchored only a match starting at from counts.
  bool Search(const Program& program, const unsigned char* text, std::size_t length,
              std::size_t start, std::size_t from, bool rejectEmptyAtStart, std::vector<int>* slots,
              std::uint64_t* budget, std::size_t limit, bool anchored = false);
  bool gaveUp() const { return gaveUp_; }

 private:
  struct Thread {
    int pc;
    int caps;  // index of a capture array in the pool
  };
  // Threads of one text position, in priority order; a program position appears once.
  struct ThreadList {
    std::vector<int> sparse;
    std::vector<Thread> dense;
    void Reset(std::size_t programSize) {
      if (sparse.size() < programSize) sparse.resize(programSize);
      dense.clear();
    }
    bool Contains(int pc) const {
      const int i = sparse[std::size_t(pc)];
      return i >= 0 && std::size_t(i) < dense.size() && dense[std::size_t(i)].pc == pc;
    }
    void Mark(int pc, int caps) {
      sparse[std::size_t(pc)] = int(dense.size());
      dense.push_back(Thread{pc, caps});
    }
  };

  // Capture arrays shared between threads until one of them writes (copy on write).
  int NewCaps();
  int CopyCaps(int from);
  void Release(int caps);
  int* Caps(int caps) { return &pool_[std::size_t(caps) * width_]; }

  // Adds the thread at pc and everything reachable from it without consuming a byte.
  void AddThread(ThreadList* list, int pc, int caps, std::size_t pos);

  const Program* program_ = nullptr;
  const unsigned char* text_ = nullptr;
  std::size_t length_ = 0;
  std::size_t width_ = 0;
  std::vector<int> pool_;
  std::vector<int> refs_;
  std::vector<int> free_;
  std::vector<Thread> stack_;
  ThreadList lists_[2];
  bool gaveUp_ = false;
};

}  // namespace regexlib
