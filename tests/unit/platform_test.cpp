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

TEST(CurrentUnixTime, IsAfter2020) {
  EXPECT_GT(platform::CurrentUnixTime(), 1577836800);
}

TEST(LoadDynamicLibrary, MissingFileGivesNull) {
  EXPECT_EQ(platform::LoadDynamicLibrary("no-such-library-anywhere.dll"), nullptr);
}

}  // namespace
