// What the automata over a program tell apart in a text: classes of bytes that no
// instruction tells apart, and the side of a position (the text's edge, a line feed, a word
// byte or another byte) that assertions look at.
#pragma once

#include <cstdint>
#include <vector>

#include "regexlib/program.h"

namespace regexlib {

enum Side : int { kEdge = 0, kNewline = 1, kWord = 2, kOther = 3 };

// The side of a byte 0..255, or of the text's edge for -1.
int SideOf(int byte);

// Whether assertion kind holds between a position of side left and one of side right.
bool HoldsBetween(int kind, int left, int right);

struct ByteClasses {
  int count = 0;
  std::uint8_t classOf[256] = {};
  std::vector<int> byteOf;  // a byte of each class
  // The program has assertions: then every class also lies on one side.
  bool hasAsserts = false;
};

ByteClasses MakeByteClasses(const Program& program);

}  // namespace regexlib
