#include "regexlib/compiler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace regexlib {

namespace {

// A hole is an instruction field still waiting for its target: index * 2, plus 1 for y.
constexpr int kHoleX = 0;
constexpr int kHoleY = 1;

struct Task {
  explicit Task(int n) : node(n) {}
  int node;
  int stage = 0;
  int mark = -1;   // an instruction index the task comes back to
  int entry = -1;  // a loop's entry jump, patched once the loop is laid out
  std::vector<int> holes;
};

class Compiler {
 public:
  Compiler(const SyntaxTree& tree, Program* program) : t_(tree), p_(program) {
    // Children are made before their parents, so one pass in index order would do; the
    // passes repeat until nothing changes in case a tree is ever built otherwise.
    nullable_.assign(t_.nodes.size(), false);
    for (bool changed = true; changed;) {
      changed = false;
      for (std::size_t k = 0; k < t_.nodes.size(); ++k) {
        if (!nullable_[k] && ComputeNullable(t_.nodes[k])) {
          nullable_[k] = true;
          changed = true;
        }
      }
    }
  }

  bool Run(std::string* error) {
    Emit(Op::kSave, 0);
    std::vector<Task> stack;
    stack.push_back(Task(t_.root));
    while (!stack.empty()) {
      if (p_->code.size() > kMaxProgram) {
        *error = "pattern too large";
        return false;
      }
      const std::size_t ti = stack.size() - 1;
      const Node& n = t_.nodes[std::size_t(stack[ti].node)];
      int push = -1;
      bool done = false;
      switch (n.kind) {
        case NodeKind::kEmpty:
          done = true;
          break;
        case NodeKind::kByte:
          Emit(Op::kByte, n.value);
          done = true;
          break;
        case NodeKind::kSet:
          Emit(Op::kSet, n.value);
          done = true;
          break;
        case NodeKind::kAssert:
          Emit(Op::kAssert, n.value);
          done = true;
          break;
        case NodeKind::kConcat:
          if (stack[ti].stage < int(n.children.size())) {
            push = n.children[std::size_t(stack[ti].stage++)];
          } else {
            done = true;
          }
          break;
        case NodeKind::kCapture:
          if (stack[ti].stage++ == 0) {
            Emit(Op::kSave, 2 * n.value);
            push = n.children[0];
          } else {
            Emit(Op::kSave, 2 * n.value + 1);
            done = true;
          }
          break;
        case NodeKind::kAlternate:
          push = Alternate(n, &stack[ti], &done);
          break;
        case NodeKind::kRepeat:
          push = Repeat(n, &stack[ti], &done);
          break;
      }
      if (done) {
        stack.pop_back();
      } else if (push >= 0) {
        stack.push_back(Task(push));
      }
    }
    Emit(Op::kSave, 1);
    Emit(Op::kMatch);
    if (p_->code.size() > kMaxProgram) {
      *error = "pattern too large";
      return false;
    }
    return true;
  }

 private:
  int Pc() const { return int(p_->code.size()); }

  int Emit(Op op, int x = 0, int y = 0) {
    p_->code.push_back(Inst{op, x, y});
    return Pc() - 1;
  }

  void Patch(const std::vector<int>& holes, int target) {
    for (int h : holes) {
      Inst& inst = p_->code[std::size_t(h / 2)];
      (h % 2 == kHoleY ? inst.y : inst.x) = target;
    }
  }

  // Alternatives a|b|c: split to each in turn; each but the last jumps to the end.
  int Alternate(const Node& n, Task* t, bool* done) {
    const int k = int(n.children.size());
    const int s = t->stage;
    if (s > 0 && s <= k - 1) {
      t->holes.push_back(Emit(Op::kJmp, -1) * 2 + kHoleX);
      p_->code[std::size_t(t->mark)].y = Pc();
    }
    if (s == k) {
      Patch(t->holes, Pc());
      *done = true;
      return -1;
    }
    if (s < k - 1) t->mark = Emit(Op::kSplit, Pc() + 1, -1);
    ++t->stage;
    return n.children[std::size_t(s)];
  }

  // x{min,max}: the required copies, then either a loop (no upper bound) or max - min
  // optional copies, each of which may skip to the end.
  int Repeat(const Node& n, Task* t, bool* done) {
    const int child = n.children[0];
    const bool unbounded = n.max < 0;
    const int required = unbounded && n.min > 0 ? n.min - 1 : n.min;
    const int s = t->stage;
    if (s < required) {
      ++t->stage;
      return child;
    }
    if (unbounded && nullable_[std::size_t(child)]) return NullableLoop(n, t, done);
    if (unbounded) {
      if (s == required) {
        t->mark = Pc();
        if (n.min == 0) {
          const int split =
              n.greedy ? Emit(Op::kSplit, Pc() + 1, -1) : Emit(Op::kSplit, -1, Pc() + 1);
          t->holes.push_back(split * 2 + (n.greedy ? kHoleY : kHoleX));
        }
        ++t->stage;
        return child;
      }
      if (n.min == 0) {
        Emit(Op::kJmp, t->mark);
        Patch(t->holes, Pc());
      } else if (n.greedy) {
        Emit(Op::kSplit, t->mark, Pc() + 1);
      } else {
        Emit(Op::kSplit, Pc() + 1, t->mark);
      }
      *done = true;
      return -1;
    }
    const int optional = n.max - n.min;
    if (s - required < optional) {
      const int split = n.greedy ? Emit(Op::kSplit, Pc() + 1, -1) : Emit(Op::kSplit, -1, Pc() + 1);
      t->holes.push_back(split * 2 + (n.greedy ? kHoleY : kHoleX));
      ++t->stage;
      return child;
    }
    Patch(t->holes, Pc());
    *done = true;
    return -1;
  }

  bool ComputeNullable(const Node& n) const {
    switch (n.kind) {
      case NodeKind::kEmpty:
      case NodeKind::kAssert:
        return true;
      case NodeKind::kByte:
      case NodeKind::kSet:
        return false;
      case NodeKind::kCapture:
        return nullable_[std::size_t(n.children[0])];
      case NodeKind::kRepeat:
        return n.min == 0 || nullable_[std::size_t(n.children[0])];
      case NodeKind::kConcat:
        for (int c : n.children) {
          if (!nullable_[std::size_t(c)]) return false;
        }
        return true;
      case NodeKind::kAlternate:
        for (int c : n.children) {
          if (nullable_[std::size_t(c)]) return true;
        }
        return false;
    }
    return false;
  }

  // The unbounded loop (x* or x+, greedy or lazy) of a body that can match empty. An
  // iteration that matches empty ends the loop and the match goes on after it: the body
  // runs as two copies. The first (E) runs while the iteration has consumed nothing; its
  // byte tests go on in the second (C), the ordinary body. E finishing leaves the loop, C
  // finishing comes back to the loop's choice. The state stays a program position, so
  // every engine keeps its guarantees.
  //     Jmp S (x*) or E (x+)
  //  C: body
  //  S: Split E, X (greedy) or Split X, E (lazy)
  //  E: the body's instructions reachable without consuming; a byte test is followed by
  //     a jump to the instruction after its original in C; reaching S means X
  //  X:
  int NullableLoop(const Node& n, Task* t, bool* done) {
    if (t->entry < 0) {
      t->entry = Emit(Op::kJmp, -1);
      t->mark = Pc();
      return n.children[0];
    }
    const int split = Pc();
    const int e = split + 1;
    if (n.greedy) {
      t->holes.push_back(Emit(Op::kSplit, e, -1) * 2 + kHoleY);
    } else {
      t->holes.push_back(Emit(Op::kSplit, -1, e) * 2 + kHoleX);
    }
    p_->code[std::size_t(t->entry)].x = n.min == 0 ? split : e;
    EmptyCopy(t->mark, split, &t->holes);
    Patch(t->holes, Pc());
    *done = true;
    return -1;
  }

  // Emits the E copy of the body code[begin, end) at the current end of the program (see
  // NullableLoop); its ways out to the loop's exit are added to holes.
  void EmptyCopy(int begin, int end, std::vector<int>* holes) {
    std::vector<int> at(std::size_t(end - begin), -1);  // position of each copied instruction
    std::vector<int> order;
    std::vector<int> work{begin};
    while (!work.empty()) {
      const int pc = work.back();
      work.pop_back();
      if (pc == end || at[std::size_t(pc - begin)] >= 0) continue;
      at[std::size_t(pc - begin)] = 0;
      order.push_back(pc);
      const Inst& in = p_->code[std::size_t(pc)];
      switch (in.op) {
        case Op::kSplit:
          work.push_back(in.y);
          work.push_back(in.x);
          break;
        case Op::kJmp:
          work.push_back(in.x);
          break;
        case Op::kSave:
        case Op::kAssert:
          work.push_back(pc + 1);
          break;
        default:
          break;
      }
    }
    // Lay the copies out in the original order so that a fall-through stays one.
    std::sort(order.begin(), order.end());
    int next = Pc();
    if (order.empty() || order[0] != begin) ++next;  // a jump to the exit comes first
    for (int pc : order) {
      at[std::size_t(pc - begin)] = next;
      const Op op = p_->code[std::size_t(pc)].op;
      const bool consumes = op == Op::kByte || op == Op::kSet;
      const bool fallsOut = (op == Op::kSave || op == Op::kAssert) && pc + 1 == end;
      next += consumes || fallsOut ? 2 : 1;
    }
    if (order.empty() || order[0] != begin) holes->push_back(Emit(Op::kJmp, -1) * 2 + kHoleX);
    // Targets: a copied instruction, or the loop's exit (a hole).
    auto target = [&](int pc, int copy, int hole) {
      if (pc == end) {
        holes->push_back(copy * 2 + hole);
        return -1;
      }
      return at[std::size_t(pc - begin)];
    };
    for (int pc : order) {
      const Inst in = p_->code[std::size_t(pc)];
      const int copy = Pc();
      switch (in.op) {
        case Op::kByte:
        case Op::kSet:
          Emit(in.op, in.x);
          Emit(Op::kJmp, pc + 1);
          break;
        case Op::kSplit:
          Emit(Op::kSplit, target(in.x, copy, kHoleX), target(in.y, copy, kHoleY));
          break;
        case Op::kJmp:
          Emit(Op::kJmp, target(in.x, copy, kHoleX));
          break;
        default:  // Save, Assert: fall through to the next copy, or leave at the end
          Emit(in.op, in.x);
          if (pc + 1 == end) holes->push_back(Emit(Op::kJmp, -1) * 2 + kHoleX);
          break;
      }
    }
  }

  const SyntaxTree& t_;
  Program* p_;
  std::vector<bool> nullable_;
};

// The bytes a thread at pc can consume first, without consuming before; false when it can
// reach a match or an assertion first (then any position may do).
bool FirstBytes(const Program& p, std::size_t pc, ByteSet* out) {
  std::vector<bool> seen(p.code.size());
  std::vector<std::size_t> work{pc};
  while (!work.empty()) {
    const std::size_t at = work.back();
    work.pop_back();
    if (seen[at]) continue;
    seen[at] = true;
    const Inst& in = p.code[at];
    switch (in.op) {
      case Op::kByte:
        (*out)[std::size_t(in.x)] = true;
        break;
      case Op::kSet:
        *out |= p.sets[std::size_t(in.x)];
        break;
      case Op::kSplit:
        work.push_back(std::size_t(in.y));
        work.push_back(std::size_t(in.x));
        break;
      case Op::kJmp:
        work.push_back(std::size_t(in.x));
        break;
      case Op::kSave:
        work.push_back(at + 1);
        break;
      case Op::kAssert:
      case Op::kMatch:
        return false;
    }
  }
  return true;
}

// The bytes a consuming instruction takes as a pair: one byte, or a set of two.
bool LeadPair(const Program& p, const Inst& in, std::array<unsigned char, 2>* pair) {
  if (in.op == Op::kByte) {
    (*pair)[0] = (*pair)[1] = static_cast<unsigned char>(in.x);
    return true;
  }
  if (in.op != Op::kSet) return false;
  const ByteSet& set = p.sets[std::size_t(in.x)];
  if (set.count() > 2 || set.none()) return false;
  int k = 0;
  for (int b = 0; b < 256; ++b) {
    if (set[std::size_t(b)]) (*pair)[std::size_t(k++)] = static_cast<unsigned char>(b);
  }
  if (k == 1) (*pair)[1] = (*pair)[0];
  return true;
}

// How often a byte turns up in web pages, roughly (higher is more common): the prefilter
// looks first for the rarest byte of a match's lead.
int Commonness(unsigned char c) {
  static const char kLetters[] = "etaoinshrdlcumwfgypbvkjxqz";  // most common first
  if (c == ' ') return 255;
  if (c >= 'a' && c <= 'z') return 230 - 4 * int(std::strchr(kLetters, c) - kLetters);
  if (c >= 0xC0) return 200;  // Cyrillic letters of Windows-1251 pages
  if (c == '<' || c == '>' || c == '/' || c == '\n') return 150;
  if (c >= '0' && c <= '9') return 120;
  if (c == '.' || c == ',' || c == '\t' || c == '\r') return 110;
  if (c == '"' || c == '=' || c == '-' || c == ':' || c == ';') return 100;
  if (c >= 'A' && c <= 'Z') return 60;
  if (c < 0x20) return 10;
  return 40;
}

// Finds the loops whose body is a single byte test (see ByteLoop).
void FindByteLoops(Program* p) {
  p->loopAt.assign(p->code.size(), -1);
  for (std::size_t k = 0; k < p->code.size(); ++k) {
    const Inst& in = p->code[k];
    if (in.op != Op::kSplit) continue;
    for (int greedy = 1; greedy >= 0; --greedy) {
      const int body = greedy ? in.x : in.y;
      const int out = greedy ? in.y : in.x;
      const Op op = p->code[std::size_t(body)].op;
      if (op != Op::kByte && op != Op::kSet) continue;
      const std::size_t after = std::size_t(body) + 1;
      const bool backToSplit =
          after == k || (p->code[after].op == Op::kJmp && p->code[after].x == int(k));
      if (!backToSplit) continue;
      ByteLoop loop;
      loop.greedy = greedy != 0;
      loop.body = body;
      const Inst& test = p->code[std::size_t(body)];
      if (test.op == Op::kByte) {
        loop.bodyBytes[std::size_t(test.x)] = true;
      } else {
        loop.bodyBytes = p->sets[std::size_t(test.x)];
      }
      loop.out = out;
      loop.outNeedsByte = FirstBytes(*p, std::size_t(out), &loop.outFirst);
      loop.allBytes = loop.bodyBytes.all();
      if (loop.bodyBytes.count() == 255) {
        for (int b = 0; b < 256; ++b) {
          if (!loop.bodyBytes[std::size_t(b)]) loop.stopByte = b;
        }
      }
      if (loop.outNeedsByte && loop.outFirst.count() == 1) {
        for (int b = 0; b < 256; ++b) {
          if (loop.outFirst[std::size_t(b)]) loop.outByte = b;
        }
      }
      p->loopAt[k] = int(p->loops.size());
      p->loops.push_back(loop);
      break;
    }
  }
}

// Every instruction reachable from pc 0 without passing avoid; *bytes gets the bytes they
// consume. True when Match is among them.
bool ReachAvoiding(const Program& p, std::size_t avoid, ByteSet* bytes) {
  std::vector<bool> seen(p.code.size());
  std::vector<std::size_t> work{0};
  bool match = false;
  while (!work.empty()) {
    const std::size_t at = work.back();
    work.pop_back();
    if (at == avoid || seen[at]) continue;
    seen[at] = true;
    const Inst& in = p.code[at];
    switch (in.op) {
      case Op::kByte:
        (*bytes)[std::size_t(in.x)] = true;
        work.push_back(at + 1);
        break;
      case Op::kSet:
        *bytes |= p.sets[std::size_t(in.x)];
        work.push_back(at + 1);
        break;
      case Op::kSplit:
        work.push_back(std::size_t(in.y));
        work.push_back(std::size_t(in.x));
        break;
      case Op::kJmp:
        work.push_back(std::size_t(in.x));
        break;
      case Op::kSave:
      case Op::kAssert:
        work.push_back(at + 1);
        break;
      case Op::kMatch:
        match = true;
        break;
    }
  }
  return match;
}

// Whether a thread leaving pc (a byte test) can come back to it.
bool OnLoop(const Program& p, std::size_t pc) {
  std::vector<bool> seen(p.code.size());
  std::vector<std::size_t> work{pc + 1};
  while (!work.empty()) {
    const std::size_t at = work.back();
    work.pop_back();
    if (at == pc) return true;
    if (seen[at]) continue;
    seen[at] = true;
    const Inst& in = p.code[at];
    if (in.op == Op::kSplit) {
      work.push_back(std::size_t(in.y));
      work.push_back(std::size_t(in.x));
    } else if (in.op == Op::kJmp) {
      work.push_back(std::size_t(in.x));
    } else if (in.op != Op::kMatch) {
      work.push_back(at + 1);
    }
  }
  return false;
}

// Programs larger than this are not searched for an inner run (each candidate costs two
// walks over the program).
constexpr std::size_t kInnerProgramLimit = 20000;
constexpr std::size_t kInnerCandidates = 8;

// Finds Program::inner: runs of byte tests that nothing jumps into the middle of, the
// longest first; the first that every path to Match passes, off every loop, with a byte
// the head cannot consume.
void FindInner(Program* p) {
  if (!p->lead.empty() || p->anchoredStart || p->code.size() > kInnerProgramLimit) return;
  struct Run {
    std::size_t pc, length;
  };
  std::vector<Run> runs;
  const std::size_t n = p->code.size();
  for (std::size_t k = 0; k < n;) {
    if (p->code[k].op != Op::kByte) {
      ++k;
      continue;
    }
    std::size_t e = k + 1;
    while (e < n && p->code[e].op == Op::kByte && !p->join[e])
      ++e;
    runs.push_back(Run{k, e - k});
    k = e;
  }
  std::stable_sort(runs.begin(), runs.end(),
                   [](const Run& a, const Run& b) { return a.length > b.length; });
  if (runs.size() > kInnerCandidates) runs.resize(kInnerCandidates);
  for (const Run& run : runs) {
    ByteSet head;
    if (ReachAvoiding(*p, run.pc, &head) || OnLoop(*p, run.pc)) continue;
    std::size_t stop = 0;
    while (stop < run.length && head[std::size_t(p->code[run.pc + stop].x)])
      ++stop;
    if (stop == run.length) continue;
    for (std::size_t i = 0; i < run.length; ++i) {
      const unsigned char c = static_cast<unsigned char>(p->code[run.pc + i].x);
      p->inner += char(c);
      if (Commonness(c) <
          Commonness(static_cast<unsigned char>(p->inner[std::size_t(p->innerAnchor)]))) {
        p->innerAnchor = int(i);
      }
    }
    for (std::size_t i = 0; i < run.length; ++i) {
      const unsigned char c = static_cast<unsigned char>(p->inner[i]);
      if (int(i) != p->innerAnchor &&
          (p->innerSecond < 0 || Commonness(c) < Commonness(static_cast<unsigned char>(
                                                     p->inner[std::size_t(p->innerSecond)])))) {
        p->innerSecond = int(i);
      }
    }
    p->innerPc = int(run.pc);
    p->innerStop = int(stop);
    return;
  }
}

// Works out what a search may skip to while it has no thread alive.
void Analyse(Program* p) {
  FindByteLoops(p);
  for (std::size_t at = 0, steps = 0; steps < p->code.size(); ++steps) {
    const Inst& in = p->code[at];
    if (in.op == Op::kSave) {
      ++at;
    } else if (in.op == Op::kJmp) {
      at = std::size_t(in.x);
    } else {
      if (in.op != Op::kMatch) p->entry = int(at);
      break;
    }
  }
  p->join.assign(p->code.size(), 0);
  for (const Inst& in : p->code) {
    if (in.op == Op::kJmp || in.op == Op::kSplit) p->join[std::size_t(in.x)] = 1;
    if (in.op == Op::kSplit) p->join[std::size_t(in.y)] = 1;
  }
  // The bytes every match starts with (the lead, and its exact part, the prefix), and
  // whether the text start anchors every match.
  std::size_t pc = 0;
  bool exact = true;
  for (std::size_t steps = 0; steps < p->code.size(); ++steps) {
    const Inst& in = p->code[pc];
    std::array<unsigned char, 2> pair{};
    if (in.op == Op::kSave) {
      ++pc;
      continue;
    }
    if (in.op == Op::kJmp) {
      pc = std::size_t(in.x);
      continue;
    }
    if (p->lead.size() >= 64 || !LeadPair(*p, in, &pair)) {
      if (p->lead.empty() && in.op == Op::kAssert && in.x == kTextStart) {
        p->anchoredStart = true;
      }
      break;
    }
    p->lead.push_back(pair);
    exact = exact && pair[0] == pair[1];
    if (exact) p->prefix += char(pair[0]);
    ++pc;
  }
  while (std::size_t(p->leadingBytes) < p->lead.size() &&
         (p->code[std::size_t(1 + p->leadingBytes)].op == Op::kByte ||
          p->code[std::size_t(1 + p->leadingBytes)].op == Op::kSet)) {
    ++p->leadingBytes;
  }
  for (std::size_t i = 0; i < p->lead.size(); ++i) {
    const unsigned char b = p->lead[i][0];
    if (b == p->lead[i][1] &&
        (p->anchor < 0 || Commonness(b) < Commonness(p->lead[std::size_t(p->anchor)][0]))) {
      p->anchor = int(i);
    }
  }
  // The bytes a match can start with. A reachable Match or assertion means any position
  // may start one.
  p->canSkip = FirstBytes(*p, 0, &p->firstBytes);
  // Save 0, then a byte test at 1 that the Split at 2 loops back to: x+ or x+?.
  if (p->code.size() > 3 && p->code[2].op == Op::kSplit && p->loopAt[2] >= 0 &&
      p->loops[std::size_t(p->loopAt[2])].body == 1) {
    const Inst& body = p->code[1];
    if (body.op == Op::kByte) {
      p->leadingRun[std::size_t(body.x)] = true;
    } else {
      p->leadingRun = p->sets[std::size_t(body.x)];
    }
    p->hasLeadingRun = true;
  }
  if (p->firstBytes.all()) p->canSkip = false;
  FindInner(p);
  for (std::size_t b = 0; b < 256; ++b)
    p->firstTable[b] = p->firstBytes[b] ? 1 : 0;
  if (p->canSkip && p->firstBytes.count() >= 2) {
    std::size_t low = 1;
    while (low < 128 && !p->firstBytes[low])
      ++low;
    std::size_t high = low;
    while (high + 1 < 128 && p->firstBytes[high + 1])
      ++high;
    if (low < 128 && p->firstBytes.count() == high - low + 1 && !p->firstBytes[0]) {
      p->firstLow = static_cast<unsigned char>(low);
      p->firstHigh = static_cast<unsigned char>(high);
    }
  }

  // Bytes that every path from the start to a match consumes: the greatest solution of
  // the path equations, reached by iterating down from "every byte". A text without one of
  // them holds no match, which a memchr tells at once.
  const std::size_t n = p->code.size();
  std::vector<ByteSet> req(n, ByteSet().set());
  bool changed = true;
  int rounds = 0;
  for (; changed && rounds < 64; ++rounds) {
    changed = false;
    for (std::size_t k = n; k-- > 0;) {
      const Inst& in = p->code[k];
      ByteSet r;
      switch (in.op) {
        case Op::kMatch:
          break;
        case Op::kByte:
          r = req[k + 1];
          r[std::size_t(in.x)] = true;
          break;
        case Op::kSet:
          r = req[k + 1];
          if (p->sets[std::size_t(in.x)].count() == 1) r |= p->sets[std::size_t(in.x)];
          break;
        case Op::kSplit:
          r = req[std::size_t(in.x)] & req[std::size_t(in.y)];
          break;
        case Op::kJmp:
          r = req[std::size_t(in.x)];
          break;
        case Op::kSave:
        case Op::kAssert:
          r = req[k + 1];
          break;
      }
      if (r != req[k]) {
        req[k] = r;
        changed = true;
      }
    }
  }
  if (changed) return;  // not settled: claim nothing
  for (unsigned char c : p->prefix)
    req[0][c] = false;
  for (std::size_t b = 0; b < 256 && p->required.size() < 4; ++b) {
    if (req[0][b]) p->required += char(b);
  }
}

}  // namespace

bool Compile(const std::string& pattern, Program* program, std::string* error) {
  *program = Program{};
  SyntaxTree tree;
  if (!Parse(pattern, &tree, error)) return false;
  program->sets = tree.sets;
  program->groups = tree.groups;
  Compiler compiler(tree, program);
  if (!compiler.Run(error)) {
    *program = Program{};
    return false;
  }
  Analyse(program);
  return true;
}

}  // namespace regexlib
