// Pattern text to a syntax tree. The parser keeps its open groups on an explicit stack, so
// deeply nested patterns cannot exhaust the call stack.
#pragma once

#include <string>
#include <vector>

#include "regexlib/program.h"

namespace regexlib {

enum class NodeKind { kEmpty, kByte, kSet, kAssert, kConcat, kAlternate, kRepeat, kCapture };

struct Node {
  NodeKind kind = NodeKind::kEmpty;
  int value = 0;  // byte, set index, assertion, or capture group number
  int min = 0;    // repeat bounds; max -1 means no upper bound
  int max = 0;
  bool greedy = true;
  std::vector<int> children;
};

struct SyntaxTree {
  std::vector<Node> nodes;
  std::vector<ByteSet> sets;
  int root = -1;
  int groups = 0;
};

// Parses pattern (a NUL-free byte string). On failure returns false and says why in error.
bool Parse(const std::string& pattern, SyntaxTree* tree, std::string* error);

// ASCII letters and the Cyrillic letters of Windows-1251 pair up for case-insensitive
// matching; other bytes fold to themselves.
unsigned char OtherCase(unsigned char c);

}  // namespace regexlib
