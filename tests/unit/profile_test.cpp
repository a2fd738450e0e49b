// One table of ini files and reads. The same table runs against the POSIX reader natively
// and against the system's own reader under Windows, so both must agree byte for byte.
#include <cctype>
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
    // Section names run to the last "]" of the line, blanks inside the brackets dropped.
    {"bracket inside a section name", "[Trip [2019]]\r\nurl=u\r\n", "Trip [2019]", "url", "-1", 260,
     "u"},
    {"text after the last bracket", "[s] ; note\r\nk=v\r\n", "s", "k", "", 260, "v"},
    {"blanks inside the brackets", "[ s ]\r\nk=v\r\n", "s", "k", "", 260, "v"},
    {"tab inside the brackets", "[\ts]\r\nk=v\r\n", "s", "k", "", 260, "v"},
    {"open bracket alone is a key line", "[s]\r\n[t\r\nk=v\r\n", "s", "k", "", 260, "v"},
    // The lines above any header form the first section named "", so a later "[]" is the
    // second section of that name and is not searched.
    {"empty section name", "[]\r\nk=v\r\n", "", "k", "-1", 260, "-1"},
    {"keys above the first header", "k=top\r\n[s]\r\nk=v\r\n", "", "k", "-1", 260, "top"},
    {"second section of the same name", "[s]\r\na=1\r\n[t]\r\n[S]\r\nk=2\r\n", "s", "k", "-1", 260,
     "-1"},
    // Byte-order marks: the file is decoded, values come out in the ANSI code page.
    {"UTF-8 byte-order mark", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "", 260, "v"},
    {"UTF-8 text after a mark", "\xEF\xBB\xBF[s]\r\nk=\xD0\x9F\xD1\x80\xD0\xB8\r\n", "s", "k", "",
     260, "\xCF\xF0\xE8"},
    {"UTF-16 byte-order mark", "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0\0", "s", "k", "", 260,
     "v"},
    // Line ends and blanks.
    {"lone CR ends a line", "[s]\rk=v\r[t]\rk=w\r", "t", "k", "", 260, "w"},
    {"Ctrl-Z is a blank", "[s]\r\nk=v\x1A\r\n\x1A", "s", "k", "", 260, "v"},
    {"blank-only default keeps one blank", nullptr, "s", "k", "   ", 260, " "},
    {"quoted default of a missing file", nullptr, "s", "k", "\"q\"", 260, "q"},
};

// The length of a file's text in the table: UTF-16 rows hold NUL bytes, and end at a
// double NUL.
std::size_t FileLength(const char* file) {
  if (static_cast<unsigned char>(file[0]) != 0xFF) return std::strlen(file);
  std::size_t n = 2;
  while (file[n] != '\0' || file[n + 1] != '\0')
    n += 2;
  return n;
}

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, AgreesWithTheSystemReader) {
  const ReadCase& c = GetParam();
  testing_support::ScratchFolder dir;
  if (c.file) dir.Write("t.ini", std::string(c.file, FileLength(c.file)));
  char buffer[300];
  std::memset(buffer, '#', sizeof buffer);
  const std::size_t n = platform::ReadIniValue(c.section, c.key, c.fallback, buffer, c.size,
                                               dir.File("t.ini").c_str());
  EXPECT_EQ(std::string(buffer), c.expected) << c.title;
  EXPECT_EQ(n, std::strlen(c.expected)) << c.title;
  EXPECT_EQ(buffer[c.size], '#') << c.title << ": wrote past the buffer";
}

// Each row is named after its title, so a failure says which rule broke.
std::string RowName(const ::testing::TestParamInfo<ReadCase>& info) {
  std::string name;
  for (const char* p = info.param.title; *p; ++p)
    name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileRead, ::testing::ValuesIn(kReads), RowName);

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

// What a user could see of a write, on both platforms: the file after it.
TEST(ProfileWrite, WhatTheFileHoldsAfterAWrite) {
  const struct {
    const char* title;
    const char* before;
    const char *section, *key, *value;
    const char* holds;  // nullptr: the file is byte for byte what it was
    const char* lacks;
  } rows[] = {
      {"unchanged value leaves the file alone", "[s]\r\n k =  v \r\n\r\n", "s", "k", "v", nullptr,
       nullptr},
      {"an existing key keeps its spelling", "[s]\r\nCount=1\r\n", "s", "count", "2", "Count=2",
       "count=2"},
      {"leading blanks of the value dropped", "[s]\r\nk=1\r\n", "s", "k", "  v", "k=v", "k= "},
      {"a new key joins its section", "[s]\r\na=1\r\n[t]\r\n", "s", "b", "2", "a=1\r\nb=2\r\n",
       nullptr},
  };
  for (const auto& r : rows) {
    testing_support::ScratchFolder dir;
    dir.Write("w.ini", r.before);
    const std::string file = dir.File("w.ini");
    ASSERT_TRUE(platform::WriteIniValue(r.section, r.key, r.value, file.c_str())) << r.title;
    const std::string after = dir.Read("w.ini");
    if (!r.holds) {
      EXPECT_EQ(after, r.before) << r.title;
      continue;
    }
    EXPECT_NE(after.find(r.holds), std::string::npos) << r.title << ": " << after;
    if (r.lacks) {
      EXPECT_EQ(after.find(r.lacks), std::string::npos) << r.title << ": " << after;
    }
  }
}

// A bookmark whose name holds brackets is written as "[Trip [2019]]" and must read back.
TEST(ProfileWrite, SectionNamesWithBracketsReadBack) {
  testing_support::ScratchFolder dir;
  const std::string file = dir.File("tabs.ini");
  for (const char* name : {"Trip [2019]", "[x]", "a]b", "Holiday"}) {
    ASSERT_TRUE(platform::WriteIniValue(name, "url", name, file.c_str())) << name;
  }
  char v[260];
  for (const char* name : {"Trip [2019]", "[x]", "a]b", "Holiday"}) {
    platform::ReadIniValue(name, "url", "-1", v, sizeof v, file.c_str());
    EXPECT_STREQ(v, name);
  }
}

TEST(ProfileDefault, QuotedDefaultKeepsItsQuotesWhenTheFolderIsMissing) {
  testing_support::ScratchFolder dir;
  char v[260];
  platform::ReadIniValue("s", "k", "\"q\"", v, sizeof v, dir.File("nowhere\\t.ini").c_str());
  EXPECT_STREQ(v, "\"q\"");
  platform::ReadIniValue("s", "k", "\"q\"", v, sizeof v, dir.File("t.ini").c_str());
  EXPECT_STREQ(v, "q");
}

}  // namespace
