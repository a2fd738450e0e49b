// The compiler's analyses of a program. Sections, in order:
//   - the steps of the empty-match copy of a loop body, emitted while compiling;
//   - walks over a finished program that the analyses share (FirstBytes, LeadPair,
//     Commonness, ReachAvoiding, OnLoop);
//   - the analyses, each filling its own fields of Program: byte loops, entry, joins, lead
//     and prefix, leading bytes, anchor, first bytes, leading run, inner run, required bytes;
//   - the two entry points: EmitEmptyCopy, and Analyse, which runs the analyses in the order
//     their inputs need.
#include "regexlib/analysis.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace regexlib {

namespace {

int Emit(Program* p, Op op, int x = 0, int y = 0) {
  p->code.push_back(Inst{op, x, y});
  return int(p->code.size()) - 1;
}

// ---- The empty-match copy of a loop body ---------------------------------------------------

// The instructions of the body code[begin, end) that a thread reaches from begin without
// consuming (byte tests included, not gone past), in program order.
std::vector<int> ReachedWithoutConsuming(const Program& p, int begin, int end) {
  std::vector<bool> seen(std::size_t(end - begin), false);
  std::vector<int> order;
  std::vector<int> work{begin};
  while (!work.empty()) {
    const int pc = work.back();
    work.pop_back();
    if (pc == end || seen[std::size_t(pc - begin)]) continue;
    seen[std::size_t(pc - begin)] = true;
    order.push_back(pc);
    const Inst& in = p.code[std::size_t(pc)];
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
  // Laid out in the original order, a fall-through stays one.
  std::sort(order.begin(), order.end());
  return order;
}

// Where the copy of each instruction of order goes, the first at next; -1 for an instruction
// of code[begin, end) that is not copied. A byte test's copy is followed by its jump back
// into the body, and a Save or Assert that falls out of the body by a jump to the exit.
std::vector<int> CopyPositions(const Program& p, const std::vector<int>& order, int begin, int end,
                               int next) {
  std::vector<int> at(std::size_t(end - begin), -1);
  for (int pc : order) {
    at[std::size_t(pc - begin)] = next;
    const Op op = p.code[std::size_t(pc)].op;
    const bool consumes = op == Op::kByte || op == Op::kSet;
    const bool fallsOut = (op == Op::kSave || op == Op::kAssert) && pc + 1 == end;
    next += consumes || fallsOut ? 2 : 1;
  }
  return at;
}

// Emits the copy of the instruction at pc; at holds where each copy goes (CopyPositions).
void EmitCopyOf(Program* p, int pc, const std::vector<int>& at, int begin, int end,
                std::vector<int>* holes) {
  const Inst in = p->code[std::size_t(pc)];  // a copy: emitting may move the code
  const int copy = int(p->code.size());
  // Targets: a copied instruction, or the loop's exit (a hole).
  auto target = [&](int to, int hole) {
    if (to == end) {
      holes->push_back(copy * 2 + hole);
      return -1;
    }
    return at[std::size_t(to - begin)];
  };
  switch (in.op) {
    case Op::kByte:
    case Op::kSet:
      Emit(p, in.op, in.x);
      Emit(p, Op::kJmp, pc + 1);
      break;
    case Op::kSplit:
      Emit(p, Op::kSplit, target(in.x, kHoleX), target(in.y, kHoleY));
      break;
    case Op::kJmp:
      Emit(p, Op::kJmp, target(in.x, kHoleX));
      break;
    default:  // Save, Assert: fall through to the next copy, or leave at the end
      Emit(p, in.op, in.x);
      if (pc + 1 == end) holes->push_back(Emit(p, Op::kJmp, -1) * 2 + kHoleX);
      break;
  }
}

// ---- Walks over the finished program -------------------------------------------------------

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

// ---- The analyses ---------------------------------------------------------------------------

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

// The first instruction past the leading saves and jumps (Program::entry), unless it is
// Match.
void FindEntry(Program* p) {
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
}

// The instructions a jump or a split lands on (Program::join).
void MarkJoins(Program* p) {
  p->join.assign(p->code.size(), 0);
  for (const Inst& in : p->code) {
    if (in.op == Op::kJmp || in.op == Op::kSplit) p->join[std::size_t(in.x)] = 1;
    if (in.op == Op::kSplit) p->join[std::size_t(in.y)] = 1;
  }
}

// The bytes every match starts with (the lead, and its exact part, the prefix), and
// whether the text start anchors every match.
void FindLead(Program* p) {
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
}

// How many of the lead's byte tests follow Save 0 directly (Program::leadingBytes).
void CountLeadingBytes(Program* p) {
  while (std::size_t(p->leadingBytes) < p->lead.size() &&
         (p->code[std::size_t(1 + p->leadingBytes)].op == Op::kByte ||
          p->code[std::size_t(1 + p->leadingBytes)].op == Op::kSet)) {
    ++p->leadingBytes;
  }
}

// The lead's rarest exact byte (Program::anchor), which the prefilter looks for first.
void ChooseAnchor(Program* p) {
  for (std::size_t i = 0; i < p->lead.size(); ++i) {
    const unsigned char b = p->lead[i][0];
    if (b == p->lead[i][1] &&
        (p->anchor < 0 || Commonness(b) < Commonness(p->lead[std::size_t(p->anchor)][0]))) {
      p->anchor = int(i);
    }
  }
}

// The bytes a match can start with, and whether a search may skip to them: a reachable
// Match or assertion means any position may start one. With them the table a search reads,
// and the range they make when they are one run of ASCII bytes.
void FindFirstBytes(Program* p) {
  p->canSkip = FirstBytes(*p, 0, &p->firstBytes);
  if (p->firstBytes.all()) p->canSkip = false;
  for (std::size_t b = 0; b < 256; ++b)
    p->firstTable[b] = p->firstBytes[b] ? 1 : 0;
  if (!p->canSkip || p->firstBytes.count() < 2) return;
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

// Save 0, then a byte test at 1 that the Split at 2 loops back to: x+ or x+? leads every
// match (Program::leadingRun). Needs the byte loops.
void FindLeadingRun(Program* p) {
  if (p->code.size() <= 3 || p->code[2].op != Op::kSplit || p->loopAt[2] < 0 ||
      p->loops[std::size_t(p->loopAt[2])].body != 1) {
    return;
  }
  const Inst& body = p->code[1];
  if (body.op == Op::kByte) {
    p->leadingRun[std::size_t(body.x)] = true;
  } else {
    p->leadingRun = p->sets[std::size_t(body.x)];
  }
  p->hasLeadingRun = true;
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
// One round of the required-bytes equations for the instruction at k: the bytes every path
// from k to Match consumes, given req for the instructions after it.
ByteSet RequiredAt(const Program& p, std::size_t k, const std::vector<ByteSet>& req) {
  const Inst& in = p.code[k];
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
      if (p.sets[std::size_t(in.x)].count() == 1) r |= p.sets[std::size_t(in.x)];
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
  return r;
}

// Bytes that every path from the start to a match consumes (Program::required, at most
// four, the prefix's left out): the greatest solution of the path equations, reached by
// iterating down from "every byte". A text without one of them holds no match, which a
// memchr tells at once. Claims nothing when the rounds do not settle.
void FindRequired(Program* p) {
  const std::size_t n = p->code.size();
  std::vector<ByteSet> req(n, ByteSet().set());
  bool changed = true;
  for (int rounds = 0; changed && rounds < 64; ++rounds) {
    changed = false;
    for (std::size_t k = n; k-- > 0;) {
      const ByteSet r = RequiredAt(*p, k, req);
      if (r != req[k]) {
        req[k] = r;
        changed = true;
      }
    }
  }
  if (changed) return;
  for (unsigned char c : p->prefix)
    req[0][c] = false;
  for (std::size_t b = 0; b < 256 && p->required.size() < 4; ++b) {
    if (req[0][b]) p->required += char(b);
  }
}

}  // namespace

void EmitEmptyCopy(Program* program, int begin, int end, std::vector<int>* holes) {
  const std::vector<int> order = ReachedWithoutConsuming(*program, begin, end);
  // Unless the copy starts with the body's first instruction, a jump to the exit comes first.
  const bool exitFirst = order.empty() || order[0] != begin;
  const int first = int(program->code.size()) + (exitFirst ? 1 : 0);
  const std::vector<int> at = CopyPositions(*program, order, begin, end, first);
  if (exitFirst) holes->push_back(Emit(program, Op::kJmp, -1) * 2 + kHoleX);
  for (int pc : order)
    EmitCopyOf(program, pc, at, begin, end, holes);
}

// Works out what a search may skip to while it has no thread alive.
void Analyse(Program* program) {
  FindByteLoops(program);
  FindEntry(program);
  MarkJoins(program);
  FindLead(program);
  CountLeadingBytes(program);
  ChooseAnchor(program);
  FindFirstBytes(program);
  FindLeadingRun(program);
  FindInner(program);
  FindRequired(program);
}

}  // namespace regexlib
