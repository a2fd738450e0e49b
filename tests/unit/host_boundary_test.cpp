// The export boundary: remote paths from the host's dialect to the core's, entry times the
// host can take, the answer to a listing with nothing in it, and (on POSIX) the locale's
// character set as the code page.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "plugin/host_api.h"
#include "plugin/host_boundary.h"

#ifndef _WIN32
#include <sys/stat.h>

#include "platform/posix/charset.h"
#endif

namespace {

using plugin::CorePath;

platform::FileTime Time(std::uint64_t ticks) {
  return platform::FileTime{std::uint32_t(ticks), std::uint32_t(ticks >> 32)};
}
std::uint64_t Ticks(platform::FileTime t) {
  return std::uint64_t(t.high) << 32 | t.low;
}
constexpr std::uint64_t kEpoch = 116444736000000000ULL;  // 1970-01-01
constexpr std::uint64_t kNoTime = 0xFFFFFFFFFFFFFFFEULL;

TEST(CorePath, HostPathsBecomeTheCoresPaths) {
  struct Case {
    const char* host;
    CorePath::Kind kind;
    const char* posix;  // what the POSIX boundary hands the core; Windows passes host as is
  };
  const Case cases[] = {
      {"/", CorePath::kFolderToList, "\\"},
      {"", CorePath::kFolderToList, "\\"},
      {"/Alpha", CorePath::kFolderToList, "\\Alpha"},
      {"/Alpha/", CorePath::kFolderToList, "\\Alpha"},  // listed during copies
      {"//", CorePath::kFolderToList, "\\"},
      {"/[connection]/Harbour at dawn/", CorePath::kFolderToList,
       "\\[connection]\\Harbour at dawn"},
      {"\\Alpha\\", CorePath::kFolderToList, "\\Alpha"},  // the core's own form still works
      {"/settings", CorePath::kFile, "\\settings"},
      {"/ab/", CorePath::kFile, "\\ab\\"},  // a bookmark to delete keeps its separator
      {"/Alpha/boats.jpg", CorePath::kFile, "\\Alpha\\boats.jpg"},
  };
  for (const Case& c : cases) {
#ifdef _WIN32
    const std::string want = c.host;
#else
    const std::string want = c.posix;
#endif
    EXPECT_EQ(std::string(CorePath(c.host, c.kind).get()), want) << c.host;
  }
  EXPECT_EQ(CorePath(static_cast<const char*>(nullptr)).get(), nullptr);
}

TEST(ToHostEntry, TimesBefore1970AndNoTimeBecomeTheModulesTimeOnPosix) {
#ifdef _WIN32
  const std::uint64_t standIn = 0;
#else
  char module[4096];
  platform::ModulePath(nullptr, module, sizeof module);
  struct stat st;
  ASSERT_EQ(::stat(module, &st), 0) << module;
  const std::uint64_t standIn = kEpoch + std::uint64_t(st.st_mtim.tv_sec) * 10000000ULL;
#endif
  struct Case {
    std::uint64_t listed;
    bool replaced;  // on POSIX
  };
  const Case cases[] = {
      {kNoTime, true},
      {0, true},                                      // the error entry's time: 1601
      {kEpoch - 10000000ULL, true},                   // 1969-12-31T23:59:59
      {kEpoch, false},                                // 1970-01-01 itself
      {kEpoch + 1707614100ULL * 10000000ULL, false},  // a photo's date in 2024
  };
  for (const Case& c : cases) {
    platform::FindData d{};
    d.lastWriteTime = Time(c.listed);
    plugin::ToHostEntry(&d);
#ifdef _WIN32
    EXPECT_EQ(Ticks(d.lastWriteTime), c.listed) << c.listed;
    (void)standIn;
#else
    EXPECT_EQ(Ticks(d.lastWriteTime), c.replaced ? standIn : c.listed) << c.listed;
#endif
  }
}

TEST(ToHostListing, NothingToListIsTheInvalidHandleWithNoMoreFiles) {
  platform::FindData d{};
  platform::SetLastError(0);
  errno = 0;
  EXPECT_EQ(plugin::ToHostListing(0, &d), plugin::kInvalidHandle);
  EXPECT_EQ(platform::LastError(), 18u);  // ERROR_NO_MORE_FILES
#ifndef _WIN32
  EXPECT_EQ(errno, ENOENT);  // where the host reads it here
#endif

  // A failure stays a failure; a listing with a first entry keeps its handle.
  EXPECT_EQ(plugin::ToHostListing(plugin::kInvalidHandle, &d), plugin::kInvalidHandle);
  d.fileName[0] = 'a';
  d.lastWriteTime = Time(kEpoch + 10000000ULL);
  EXPECT_EQ(plugin::ToHostListing(0x1234, &d), 0x1234);
  EXPECT_EQ(Ticks(d.lastWriteTime), kEpoch + 10000000ULL);
}

TEST(ToHostBool, AnyTrueValueIsOne) {
  EXPECT_EQ(plugin::ToHostBool(0), 0);
  EXPECT_EQ(plugin::ToHostBool(1), 1);
  EXPECT_EQ(plugin::ToHostBool(256), 1);  // read as one byte, this would be "false"
  EXPECT_EQ(plugin::ToHostBool(-1), 1);
}

#ifndef _WIN32
TEST(Utf8ToCharset, TheLocalesSetWithQuestionMarksForWhatItLacks) {
  const std::string city = "\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4";  // "Город" in UTF-8
  struct Case {
    const char* text;
    const char* charset;
    std::string want;
  };
  const Case cases[] = {
      {city.c_str(), "UTF-8", city},
      {city.c_str(), "utf8", city},
      {city.c_str(), "CP1251", "\xC3\xEE\xF0\xEE\xE4"},
      {city.c_str(), "KOI8-R", "\xE7\xCF\xD2\xCF\xC4"},  // through iconv
      {"caf\xC3\xA9", "ISO-8859-1", "caf\xE9"},
      {"\xE4\xB8\xAD", "CP1251", "?"},  // a character the set lacks
      {"\xE4\xB8\xAD", "ISO-8859-1", "?"},
      {"a\xD0"
       "b",
       "UTF-8", "a?b"},          // a sequence cut short
      {"\x80x", "UTF-8", "?x"},  // a stray continuation byte
      {"plain/ascii", "KOI8-R", "plain/ascii"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::Utf8ToCharset(c.text, c.charset), c.want) << c.text << " " << c.charset;
  }
}

TEST(LocaleCharset, ReadFromTheEnvironmentAndAsciiCountsAsUtf8) {
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  struct Case {
    const char* locale;
    const char* want;
  };
  const Case cases[] = {
      {"ru_RU.CP1251", "CP1251"},  // scripts/setup.sh makes it
      {"C.UTF-8", "UTF-8"},       {"C", "UTF-8"},
      {"POSIX", "UTF-8"},         {"xx_NOWHERE.KOI8-R", "UTF-8"},  // not installed
  };
  for (const Case& c : cases) {
    ::setenv("LC_ALL", c.locale, 1);
    EXPECT_EQ(platform::LocaleCharset(), c.want) << c.locale;
  }
  if (saved) {
    ::setenv("LC_ALL", keep.c_str(), 1);
  } else {
    ::unsetenv("LC_ALL");
  }
}
#endif

}  // namespace
