// The platform calls whose results the core maps: file copies and their error codes,
// folder searches, time conversion and code-page conversion.
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_files.h"

namespace {

TEST(CopyFileTo, FailIfExistsAndMissingSourceGiveTheWindowsCodes) {
  testing_support::ScratchFolder dir;
  dir.Write("a.txt", std::string("one\0two", 7));
  dir.Write("b.txt", "old");
  const std::string a = dir.File("a.txt"), b = dir.File("b.txt"), c = dir.File("c.txt");

  EXPECT_FALSE(platform::CopyFileTo(a.c_str(), b.c_str(), true));
  EXPECT_EQ(platform::LastError(), platform::kErrorFileExists);
  EXPECT_EQ(dir.Read("b.txt"), "old");

  EXPECT_TRUE(platform::CopyFileTo(a.c_str(), b.c_str(), false));
  EXPECT_EQ(dir.Read("b.txt"), std::string("one\0two", 7));

  EXPECT_FALSE(platform::CopyFileTo(dir.File("none.txt").c_str(), c.c_str(), true));
  EXPECT_EQ(platform::LastError(), platform::kErrorFileNotFound);
  EXPECT_FALSE(dir.Exists("c.txt"));
}

TEST(WriteWholeFile, TruncatesAnEarlierFile) {
  testing_support::ScratchFolder dir;
  dir.Write("p.htm", std::string(1000, 'x'));
  bool written = false;
  ASSERT_TRUE(platform::WriteWholeFile(dir.File("p.htm").c_str(), "abc", 3, &written));
  EXPECT_TRUE(written);
  EXPECT_EQ(dir.Read("p.htm"), "abc");
  EXPECT_FALSE(
      platform::WriteWholeFile(dir.File("missing-folder\\p.htm").c_str(), "abc", 3, &written));
}

TEST(DirectorySearch, ListsEveryEntryWithDotEntriesAndKinds) {
  testing_support::ScratchFolder dir;
  dir.Write("english.lng", "[language]\r\n");
  dir.Write("noext", "");
  dir.MakeFolder("sub");
  platform::FindData d;
  platform::DirectorySearch* s = platform::FindFirstEntry((dir.path() + "*.*").c_str(), &d);
  ASSERT_NE(s, nullptr);
  std::set<std::string> names;
  std::set<std::string> folders;
  do {
    names.insert(d.fileName);
    if (d.attributes & platform::kAttributeDirectory) folders.insert(d.fileName);
  } while (platform::FindNextEntry(s, &d));
  platform::FindClose(s);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "english.lng", "noext", "sub"}));
  EXPECT_EQ(folders, (std::set<std::string>{".", "..", "sub"}));
  EXPECT_EQ(platform::FindFirstEntry((dir.path() + "nowhere\\*.*").c_str(), &d), nullptr);
}

TEST(SystemTimeToFileTime, KnownInstantsAndInvalidDates) {
  const struct {
    platform::SystemTime in;
    bool ok;
    std::uint64_t ticks;
  } cases[] = {
      {{1601, 1, 0, 1, 0, 0, 0, 0}, true, 0},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, true, 116444736000000000ULL},
      {{2024, 2, 4, 29, 12, 30, 15, 250}, true, 133536834152500000ULL},
      {{2023, 2, 0, 29, 0, 0, 0, 0}, false, 0},
      {{2000, 2, 2, 29, 0, 0, 0, 0}, true, 125962560000000000ULL},
      {{1900, 2, 0, 29, 0, 0, 0, 0}, false, 0},  // a century that is no leap year
      {{2023, 4, 0, 31, 0, 0, 0, 0}, false, 0},
      {{2023, 4, 0, 0, 0, 0, 0, 0}, false, 0},
      {{1600, 12, 0, 31, 0, 0, 0, 0}, false, 0},
      {{2024, 1, 0, 1, 0, 0, 60, 0}, false, 0},
      {{2024, 1, 0, 1, 0, 0, 0, 1000}, false, 0},
      {{2024, 13, 0, 1, 0, 0, 0, 0}, false, 0},
      {{2024, 1, 0, 1, 24, 0, 0, 0}, false, 0},
  };
  for (const auto& c : cases) {
    platform::FileTime ft{1, 1};
    EXPECT_EQ(platform::SystemTimeToFileTime(c.in, &ft), c.ok) << c.in.year << "-" << c.in.month;
    if (c.ok) {
      EXPECT_EQ((std::uint64_t(ft.high) << 32) | ft.low, c.ticks) << c.in.year;
    }
  }
}

TEST(Utf8ToAnsi, CyrillicToWindows1251AndUnmappableToQuestionMarks) {
  const struct {
    const char* utf8;
    const char* ansi;
  } cases[] = {
      {"plain ascii", "plain ascii"},
      {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xCF\xF0\xE8\xE2\xE5\xF2"},  // Привет
      {"\xD0\x81\xD1\x91", "\xA8\xB8"},                                                  // Ёё
      {"\xE2\x84\x96 \xE2\x80\x94", "\xB9 \x97"},                                        // № —
      {"\xE4\xB8\xAD", "?"},       // a character 1251 lacks
      {"\xF0\x9F\x93\xB7", "??"},  // past U+FFFF: one for each UTF-16 half, as on Windows
      {"a\xFF"
       "b",
       "a?b"},        // not UTF-8 at all
      {"\xD0", "?"},  // cut short
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
}

TEST(CurrentUnixTime, IsAfter2020) {
  EXPECT_GT(platform::CurrentUnixTime(), 1577836800);
}

TEST(LoadDynamicLibrary, MissingFileGivesNull) {
  EXPECT_EQ(platform::LoadDynamicLibrary("no-such-library-anywhere.dll"), nullptr);
}

}  // namespace
