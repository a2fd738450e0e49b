#include "regexlib/byte_classes.h"

#include <bitset>

namespace regexlib {

int SideOf(int byte) {
  if (byte < 0) return kEdge;
  if (byte == '\n') return kNewline;
  const bool word = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                    (byte >= 'a' && byte <= 'z') || byte == '_';
  return word ? kWord : kOther;
}

bool HoldsBetween(int kind, int left, int right) {
  switch (kind) {
    case kTextStart:
      return left == kEdge;
    case kTextEnd:
      return right == kEdge;
    case kLineStart:  // a line feed that ends the text starts no line
      return left == kEdge || (left == kNewline && right != kEdge);
    case kLineEnd:
      return right == kEdge || right == kNewline;
    case kWordBoundary:
      return (left == kWord) != (right == kWord);
    case kNotWordBoundary:
      return (left == kWord) == (right == kWord);
    default:
      return false;
  }
}

ByteClasses MakeByteClasses(const Program& program) {
  ByteClasses classes;
  std::bitset<257> cut;
  auto cutSet = [&cut](const ByteSet& set) {
    for (std::size_t b = 1; b < 256; ++b) {
      if (set[b] != set[b - 1]) cut[b] = true;
    }
  };
  for (const Inst& in : program.code) {
    if (in.op == Op::kByte) {
      cut[std::size_t(in.x)] = true;
      cut[std::size_t(in.x) + 1] = true;
    } else if (in.op == Op::kSet) {
      cutSet(program.sets[std::size_t(in.x)]);
    } else if (in.op == Op::kAssert) {
      classes.hasAsserts = true;
    }
  }
  if (classes.hasAsserts) {  // assertions tell line feeds and word bytes from the rest
    for (int b : {int('\n'), '\n' + 1, int('0'), '9' + 1, int('A'), 'Z' + 1, int('_'), '_' + 1,
                  int('a'), 'z' + 1}) {
      cut[std::size_t(b)] = true;
    }
  }
  int cls = -1;
  for (std::size_t b = 0; b < 256; ++b) {
    if (b == 0 || cut[b]) {
      ++cls;
      classes.byteOf.push_back(int(b));
    }
    classes.classOf[b] = std::uint8_t(cls);
  }
  classes.count = cls + 1;
  return classes;
}

}  // namespace regexlib
