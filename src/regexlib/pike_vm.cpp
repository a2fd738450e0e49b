#include "regexlib/pike_vm.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "regexlib/prefilter.h"

namespace regexlib {

int PikeVm::NewCaps() {
  int id;
  if (!free_.empty()) {
    id = free_.back();
    free_.pop_back();
  } else {
    id = int(refs_.size());
    refs_.push_back(0);
    pool_.resize(pool_.size() + width_);
  }
  refs_[std::size_t(id)] = 1;
  return id;
}

int PikeVm::CopyCaps(int from) {
  const int id = NewCaps();
  std::memcpy(Caps(id), Caps(from), width_ * sizeof(int));
  return id;
}

void PikeVm::Release(int caps) {
  if (--refs_[std::size_t(caps)] == 0) free_.push_back(caps);
}

void PikeVm::AddThread(ThreadList* list, int pc0, int caps0, std::size_t pos) {
  const std::vector<Inst>& code = program_->code;
  stack_.push_back(Thread{pc0, caps0});
  while (!stack_.empty()) {
    Thread t = stack_.back();
    stack_.pop_back();
    if (list->Contains(t.pc)) {
      Release(t.caps);  // reached before by a thread of higher priority
      continue;
    }
    const Inst& in = code[std::size_t(t.pc)];
    switch (in.op) {
      case Op::kJmp:
        list->Mark(t.pc, -1);
        stack_.push_back(Thread{in.x, t.caps});
        break;
      case Op::kSplit:
        list->Mark(t.pc, -1);
        ++refs_[std::size_t(t.caps)];
        stack_.push_back(Thread{in.y, t.caps});
        stack_.push_back(Thread{in.x, t.caps});
        break;
      case Op::kSave: {
        list->Mark(t.pc, -1);
        int caps = t.caps;
        if (refs_[std::size_t(caps)] > 1) {
          const int copy = CopyCaps(caps);
          Release(caps);
          caps = copy;
        }
        Caps(caps)[in.x] = int(pos);
        stack_.push_back(Thread{t.pc + 1, caps});
        break;
      }
      case Op::kAssert:
        list->Mark(t.pc, -1);
        if (AssertionHolds(in.x, text_, length_, pos)) {
          stack_.push_back(Thread{t.pc + 1, t.caps});
        } else {
          Release(t.caps);
        }
        break;
      case Op::kByte:
      case Op::kSet:
      case Op::kMatch:
        list->Mark(t.pc, t.caps);  // the list keeps the reference
        break;
    }
  }
}

bool PikeVm::Search(const Program& program, const unsigned char* text, std::size_t length,
                    std::size_t start, std::size_t from, bool rejectEmptyAtStart,
                    std::vector<int>* slots, std::uint64_t* budget, std::size_t limit,
                    bool anchored) {
  program_ = &program;
  gaveUp_ = false;
  text_ = text;
  length_ = length;
  width_ = std::size_t(2 * (program.groups + 1));
  pool_.clear();
  refs_.clear();
  free_.clear();
  const std::size_t size = program.code.size();
  ThreadList* clist = &lists_[0];
  ThreadList* nlist = &lists_[1];
  clist->Reset(size);
  nlist->Reset(size);
  bool matched = false;
  const std::vector<Inst>& code = program.code;

  limit = std::min(limit, length);
  for (std::size_t pos = from; pos <= limit; ++pos) {
    if (!matched) {
      if (anchored && pos > from) {
        if (clist->dense.empty()) break;
      } else if (clist->dense.empty()) {
        // No thread alive: jump to the next place a match can start.
        pos = NextCandidate(program, text, limit, pos);
        if (pos > limit) break;
      }
      const bool mayStart = !program.canSkip || (pos < length && program.firstBytes[text[pos]]);
      // A new thread that would reach a program position an earlier (higher priority) one
      // holds already would end there: it is not started.
      const bool taken = program.entry >= 0 && clist->Contains(program.entry);
      if (mayStart && !taken && !(program.anchoredStart && pos > 0) && !(anchored && pos > from)) {
        const int caps = NewCaps();
        std::fill(Caps(caps), Caps(caps) + width_, -1);
        AddThread(clist, 0, caps, pos);
      }
    } else if (clist->dense.empty()) {
      break;
    }
    // Each position costs about as many steps as threads are alive.
    const std::uint64_t cost = clist->dense.size() + 1;
    if (*budget < cost) {
      gaveUp_ = true;
      matched = false;
      break;
    }
    *budget -= cost;
    nlist->Reset(size);
    const int byte = pos < limit ? text[pos] : -1;
    std::vector<Thread>& threads = clist->dense;
    for (std::size_t i = 0; i < threads.size(); ++i) {
      const Thread t = threads[i];
      if (t.caps < 0) continue;
      const Inst& in = code[std::size_t(t.pc)];
      if (in.op == Op::kMatch) {
        if (rejectEmptyAtStart && pos == start && Caps(t.caps)[0] == int(start)) {
          Release(t.caps);
          continue;
        }
        slots->assign(Caps(t.caps), Caps(t.caps) + width_);
        matched = true;
        Release(t.caps);
        // Threads of lower priority can only give a less preferred match.
        for (std::size_t j = i + 1; j < threads.size(); ++j) {
          if (threads[j].caps >= 0) Release(threads[j].caps);
        }
        break;
      }
      const bool takes =
          byte >= 0 &&
          (in.op == Op::kByte ? in.x == byte : program.sets[std::size_t(in.x)][std::size_t(byte)]);
      if (takes) {
        AddThread(nlist, t.pc + 1, t.caps, pos + 1);
      } else {
        Release(t.caps);
      }
    }
    clist->dense.clear();
    std::swap(clist, nlist);
  }
  for (const Thread& t : clist->dense) {
    if (t.caps >= 0) Release(t.caps);
  }
  clist->dense.clear();
  return matched;
}

}  // namespace regexlib
