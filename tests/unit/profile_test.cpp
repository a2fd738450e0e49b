// One table of ini files and reads. The same table runs against the POSIX reader natively
// and against the system's own reader under Windows, so both must agree byte for byte.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_files.h"

namespace {

struct ReadCase {
  const char* title;
  const char* file;  // contents; nullptr: no file at all
  const char* section;
  const char* key;
  const char* fallback;
  std::size_t size;
  const char* expected;
};

const ReadCase kReads[] = {
    {"plain value", "[s]\r\nk=v\r\n", "s", "k", "d", 260, "v"},
    {"missing file gives default", nullptr, "s", "k", "-1", 260, "-1"},
    {"missing key gives default", "[s]\r\na=1\r\n", "s", "k", "-1", 260, "-1"},
    {"missing section gives default", "[t]\r\nk=1\r\n", "s", "k", "-1", 260, "-1"},
    {"section name ignores case", "[Tabs]\r\nCount=3\r\n", "TABS", "count", "0", 260, "3"},
    {"blanks around key and value", "[s]\r\n  k  =   v w  \r\n", "s", "k", "", 260, "v w"},
    {"blanks around the asked names", "[s]\r\nk=v\r\n", " s ", " k ", "", 260, "v"},
    {"value after the first equals", "[s]\r\nk=a=b\r\n", "s", "k", "", 260, "a=b"},
    {"empty value is present", "[s]\r\nk=\r\n", "s", "k", "-1", 260, ""},
    {"double quotes removed", "[s]\r\nk=\" a b \"\r\n", "s", "k", "", 260, " a b "},
    {"single quotes removed", "[s]\r\nk='x'\r\n", "s", "k", "", 260, "x"},
    {"mismatched quotes kept", "[s]\r\nk=\"x'\r\n", "s", "k", "", 260, "\"x'"},
    {"lone quote kept", "[s]\r\nk=\"\r\n", "s", "k", "", 260, "\""},
    {"inner quotes kept", "[s]\r\nk=a\"b\"\r\n", "s", "k", "", 260, "a\"b\""},
    {"cut to the buffer", "[s]\r\nk=abcdefgh\r\n", "s", "k", "", 5, "abcd"},
    {"default cut to the buffer", nullptr, "s", "k", "abcdefgh", 4, "abc"},
    {"trailing blanks of the default dropped", nullptr, "s", "k", "dd  ", 260, "dd"},
    {"first of two equal keys", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "", 260, "1"},
    {"line endings without CR", "[s]\nk=v\n[t]\nk=w\n", "t", "k", "", 260, "w"},
    {"key in a later section", "[a]\r\nx=1\r\n[b]\r\nx=2\r\n", "b", "x", "", 260, "2"},
    {"key line without equals", "[s]\r\nk\r\n", "s", "k", "dflt", 260, "dflt"},
    {"blank lines skipped", "[s]\r\n\r\n\r\nk=v\r\n", "s", "k", "", 260, "v"},
    {"indented section", "  [s]\r\nk=v\r\n", "s", "k", "", 260, "v"},
    {"key of another section not seen", "[a]\r\nk=1\r\n[b]\r\n", "b", "k", "-1", 260, "-1"},
    {"minus one literal", "[s]\r\nk=-1\r\n", "s", "k", "x", 260, "-1"},
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, AgreesWithTheSystemReader) {
  const ReadCase& c = GetParam();
  testing_support::ScratchFolder dir;
  if (c.file) dir.Write("t.ini", c.file);
  char buffer[300];
  std::memset(buffer, '#', sizeof buffer);
  const std::size_t n = platform::ReadIniValue(c.section, c.key, c.fallback, buffer, c.size,
                                               dir.File("t.ini").c_str());
  EXPECT_EQ(std::string(buffer), c.expected) << c.title;
  EXPECT_EQ(n, std::strlen(c.expected)) << c.title;
  EXPECT_EQ(buffer[c.size], '#') << c.title << ": wrote past the buffer";
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileRead, ::testing::ValuesIn(kReads));

TEST(ProfileWrite, FirstWriteCreatesTheFileAndLaterWritesReplace) {
  testing_support::ScratchFolder dir;
  const std::string file = dir.File("w.ini");
  ASSERT_TRUE(platform::WriteIniValue("tabs", "count", "1", file.c_str()));
  ASSERT_TRUE(platform::WriteIniValue("tabs", "1", "Holiday", file.c_str()));
  ASSERT_TRUE(platform::WriteIniValue("Holiday", "url", "http://a/b", file.c_str()));
  ASSERT_TRUE(platform::WriteIniValue("TABS", "Count", "2", file.c_str()));
  ASSERT_TRUE(platform::WriteIniValue("tabs", "2", "", file.c_str()));
  char v[260];
  const struct {
    const char *section, *key, *expected;
  } reads[] = {{"tabs", "count", "2"},
               {"tabs", "1", "Holiday"},
               {"tabs", "2", ""},
               {"holiday", "URL", "http://a/b"}};
  for (const auto& r : reads) {
    platform::ReadIniValue(r.section, r.key, "-1", v, sizeof v, file.c_str());
    EXPECT_STREQ(v, r.expected) << r.section << "/" << r.key;
  }
}

TEST(ProfileWrite, LongValuesReadBackCutTo259) {
  testing_support::ScratchFolder dir;
  const std::string file = dir.File("long.ini");
  const std::string value(400, 'x');
  ASSERT_TRUE(platform::WriteIniValue("s", "k", value.c_str(), file.c_str()));
  char v[260];
  EXPECT_EQ(platform::ReadIniValue("s", "k", "", v, sizeof v, file.c_str()), 259u);
  EXPECT_EQ(std::string(v), value.substr(0, 259));
}

}  // namespace
