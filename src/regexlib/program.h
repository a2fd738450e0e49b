// The compiled form of a pattern: a small program for the Pike VM. Matching works on bytes.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

namespace regexlib {

using ByteSet = std::bitset<256>;

enum class Op : std::uint8_t {
  kByte,    // consume byte x
  kSet,     // consume a byte of sets[x]
  kSplit,   // go on at x and, with lower priority, at y
  kJmp,     // go on at x
  kSave,    // record the position in capture slot x
  kAssert,  // go on only where assertion x holds
  kMatch,
};

enum Assertion : int {
  kTextStart,  // \A, and ^ without (?m)
  kTextEnd,    // \z, and $ without (?m)
  kLineStart,  // ^ with (?m)
  kLineEnd,    // $ with (?m)
  kWordBoundary,
  kNotWordBoundary,
};

// Whether assertion kind holds at pos of text[0, length).
inline bool AssertionHolds(int kind, const unsigned char* text, std::size_t length,
                           std::size_t pos) {
  auto word = [](unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  const bool before = pos > 0 && word(text[pos - 1]);
  const bool after = pos < length && word(text[pos]);
  switch (kind) {
    case kTextStart:
      return pos == 0;
    case kTextEnd:
      return pos == length;
    case kLineStart:  // a line feed that ends the text starts no line
      return pos == 0 || (text[pos - 1] == '\n' && pos < length);
    case kLineEnd:
      return pos == length || text[pos] == '\n';
    case kWordBoundary:
      return before != after;
    case kNotWordBoundary:
      return before == after;
    default:
      return false;
  }
}

struct Inst {
  Op op;
  int x;
  int y;
};

// A loop whose body is one byte test: x*, x+, x*?, x+? over a byte or a class. The
// backtracker runs such a loop as a scan instead of instruction by instruction.
struct ByteLoop {
  bool greedy = true;
  int body = -1;              // the consuming instruction
  ByteSet bodyBytes;          // the bytes it takes
  int out = -1;               // where the loop exits to
  ByteSet outFirst;           // bytes the exit can go on with ...
  bool outNeedsByte = false;  // ... when it must consume one before it can match
  // Shapes that let a run be found without testing byte by byte: the body takes every
  // byte, or every byte but stopByte (memchr finds the end); the exit goes on only with
  // outByte (memrchr finds the longest way out).
  bool allBytes = false;
  int stopByte = -1;
  int outByte = -1;
};

struct Program {
  std::vector<Inst> code;
  std::vector<ByteSet> sets;
  int groups = 0;  // capture groups, not counting the whole match
  // What the search may skip to while no thread is alive.
  std::string prefix;  // every match starts with these bytes
  // Every match starts with this run of bytes, each one of a pair (a letter and its other
  // case under (?i), or the same byte twice). It extends the prefix through caseless
  // letters and two-byte classes.
  std::vector<std::array<unsigned char, 2>> lead;
  // The prefilter looks for lead[anchor] first: a byte the same in both cases, chosen as
  // the one least likely to occur in a page; -1 when every byte has two cases.
  int anchor = -1;
  // The first lead bytes stand right after Save 0 at pc 1..leadingBytes: a search that
  // found the lead may start after them.
  int leadingBytes = 0;
  ByteSet firstBytes;                          // every match starts with one of these bytes
  std::array<std::uint8_t, 256> firstTable{};  // the same as a table, for fast scans
  // When firstBytes is one range of ASCII bytes from 1 up (such as [0-9]), its ends: the
  // prefilter then tests eight bytes at a time. firstLow 0 means no such range.
  unsigned char firstLow = 0, firstHigh = 0;
  bool canSkip = false;        // firstBytes is meaningful: no empty match, no assertion first
  bool anchoredStart = false;  // every match starts at the start of the text
  // The first instruction past Save 0 that is not a Save or Jmp, when only those lead to
  // it (a thread starting a match passes there at its own position); -1 otherwise.
  int entry = -1;
  std::string required;  // bytes every match holds, beyond the prefix (at most 4)
  // Every match starts with a run of leadingRun bytes (x+ or x+? first). A start that
  // failed fails from anywhere else in the same run too, so the search skips the run.
  bool hasLeadingRun = false;
  ByteSet leadingRun;
  // 1 for an instruction that a jump or a choice leads to: only there can two paths meet,
  // so only there must the backtracker remember that a state was tried. Elsewhere a state
  // follows from the one before it, which was tried at most once.
  std::vector<std::uint8_t> join;
  std::vector<int> loopAt;  // index into loops for a loop's Split instruction, else -1
  std::vector<ByteLoop> loops;
  // A run of exact bytes inside every match (not at its start), read once by every path to
  // a match: the instructions innerPc.. are its bytes, and innerPc lies on no loop. The
  // part of a match before it (the head) consumes no byte equal to inner[innerStop], so a
  // head never reaches across another place where the run stands. The search may look for
  // the run first, find the head's start by running the head backwards from it, and read
  // forwards from there. Empty when there is no such run.
  std::string inner;
  int innerPc = -1;
  int innerStop = 0;
  int innerAnchor = 0;   // the run's rarest byte, looked for first
  int innerSecond = -1;  // the next rarest, at another offset; -1 for a run of one byte
};

// Limits that keep hostile patterns from exhausting memory or time.
constexpr int kMaxRepeat = 1000;
constexpr std::size_t kMaxProgram = 200000;
constexpr int kMaxGroups = 255;
constexpr std::size_t kMaxNesting = 1000;

}  // namespace regexlib
