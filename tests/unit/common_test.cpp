#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/byte_string.h"
#include "common/fixed_text.h"

namespace {

TEST(ByteString, CopiesShareUntilOneChanges) {
  common::ByteString a("page");
  common::ByteString b = a;
  EXPECT_EQ(a.c_str(), b.c_str());  // one buffer
  b += " two";
  EXPECT_STREQ(a.c_str(), "page");
  EXPECT_STREQ(b.c_str(), "page two");
  common::ByteString empty;
  EXPECT_STREQ(empty.c_str(), "");
  empty += a;
  EXPECT_EQ(empty, a);
}

TEST(ByteString, HoldsNulBytes) {
  common::ByteString s("a\0b", 3);
  EXPECT_EQ(s.size(), 3u);
  s.Append("\0c", 2);
  EXPECT_EQ(s.str(), std::string("a\0b\0c", 5));
}

TEST(CopyCut, NeverWritesPastTheBuffer) {
  const struct {
    const char* src;
    std::size_t size;
    const char* expected;
  } cases[] = {{"frameleaf", 260, "frameleaf"},
               {"frameleaf", 5, "fram"},
               {"abc", 4, "abc"},
               {"abc", 3, "ab"},
               {"abc", 1, ""},
               {nullptr, 4, ""}};
  for (const auto& c : cases) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    common::CopyCut(buffer, c.size, c.src);
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(buffer[c.size], '#');
  }
  char untouched = '#';
  EXPECT_EQ(common::CopyCut(&untouched, 0, "x"), 0u);
  EXPECT_EQ(untouched, '#');
}

TEST(PathDepth, CountsBackslashes) {
  EXPECT_EQ(common::PathDepth("\\"), 1);
  EXPECT_EQ(common::PathDepth("\\Holiday\\Album"), 2);
  EXPECT_EQ(common::PathDepth("\\a\\b\\c"), 3);
  EXPECT_EQ(common::PathDepth(""), 0);
}

}  // namespace
