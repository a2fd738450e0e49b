// What the web, the update server or a damaged file hands the plug-in, and failures the
// system will not give on demand, provoked through the platform's table of calls.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/names.h"
#include "net/http_session.h"
#include "platform/file_writer.h"
#include "platform/platform.h"
#include "plugin/bookmarks.h"
#include "plugin/host_api.h"
#include "plugin/plugin_state.h"
#include "test_files.h"
#include "update/sha256.h"

namespace {

TEST(SafeName, EveryNameStaysOneFileInsideTheTargetFolder) {
  const std::string longName(300, 'n');
  const struct {
    std::string web, shown;
  } rows[] = {
      {"holiday.jpg", "holiday.jpg"},
      {"..\\..\\evil.jpg", ".._.._evil.jpg"},
      {"a/b.jpg", "a_b.jpg"},
      {"x:y.jpg", "x_y.jpg"},  // no NTFS stream
      {"q?*<>|\".jpg", "q______.jpg"},
      {std::string("tab\tnl\nnul") + '\0' + "del\x7F.jpg", "tab_nl_nul_del_.jpg"},
      {"trailing. . ", "trailing"},
      {"", "_"},
      {".", "_"},
      {"..", "_"},
      {" . ", "_"},
      {"CON.jpg", "_CON.jpg"},
      {"con", "_con"},
      {"com1.jpg", "_com1.jpg"},
      {"LpT9.tar.gz", "_LpT9.tar.gz"},
      {"NUL.", "_NUL"},
      {"aux.", "_aux"},
      {"prn.x", "_prn.x"},
      {"COM0.jpg", "COM0.jpg"},    // not a device
      {"COM10.jpg", "COM10.jpg"},  // nor this
      {"CONSOLE.jpg", "CONSOLE.jpg"},
      {"my CON.jpg", "my CON.jpg"},  // a device only before the first dot
      {"\xCF\xF0\xE8\xE2\xE5\xF2.jpg", "\xCF\xF0\xE8\xE2\xE5\xF2.jpg"},  // code-page letters
      {longName, std::string(extract::kMaxNameLength, 'n')},
      {std::string(258, 'n') + ". x", std::string(258, 'n')},  // the cut ends in a dot
  };
  for (const auto& r : rows) {
    const std::string shown = extract::SafeName(common::ByteString(r.web)).str();
    EXPECT_EQ(shown, r.shown) << r.web;
    // Applying the rule again changes nothing: a listed name is already safe.
    EXPECT_EQ(extract::SafeName(common::ByteString(shown)).str(), shown) << r.web;
  }
}

TEST(Utf8ToAnsi, OverlongAndInvalidSequencesBecomeQuestionMarks) {
  // Never a "/", "\\" or NUL from a sequence that is no character: only "?" (how many per
  // sequence is the decoder's choice: one for its longest valid start on Windows, and Wine
  // takes one more continuation byte into it).
  const char* invalid[] = {
      "\xC0\xAF",  // overlong "/"
      "\xC1\x9C",  // overlong "\\"
      "\xC0\x80",  // overlong NUL
      "\xE0\x80\xAF",
      "\xE0\x81\x9C",
      "\xF0\x80\x80\xAF",
      "\xED\xA0\x80",      // a surrogate
      "\xF4\x90\x80\x80",  // past U+10FFFF
      "\xF8\x88\x80\x80\x80",
      "\xD0",
  };
  for (const char* text : invalid) {
    const std::string got = platform::Utf8ToAnsi(text);
    EXPECT_FALSE(got.empty()) << text;
    EXPECT_EQ(got.find_first_not_of('?'), std::string::npos) << got;
  }
  const struct {
    const char* utf8;
    const char* ansi;
  } rows[] = {
      {"a\xC0\xAF"
       "b",
       "a??b"},
      {"\xD0\x9F\xE2\x84", "\xCF?"},  // cut short at the end
      {"\xE2\x84\x96", "\xB9"},       // a valid three-byte character stays one
  };
  for (const auto& r : rows)
    EXPECT_EQ(platform::Utf8ToAnsi(r.utf8), r.ansi) << r.utf8;
}

TEST(Sha256, KnownDigestsAcrossTheBlockBoundaries) {
  const struct {
    std::size_t size;
    const char* digest;
  } rows[] = {
      {0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {3, "b361d0f9a938a2bb4fbdc9c21dc5a859788041b0040919d8a811c1888184f4df"},
      {55, "576a1bf8d4478657e6dc4af9398544765c2a92cde28478b019235cfed315fc09"},
      {56, "9b20501dfd1d99161c257950f3444f3e49230c351c5c8e0943ef369f85f5205d"},
      {63, "30b345906b493f06f69444b6521113511c242f30e29840462950035043682f1e"},
      {64, "d8bc63b4fc1156e5e7d95a418b9bf54cd3174bedbc2db40f74895349b229b3c0"},
      {65, "1ee23b0fbcaecc1aff4a9e8f1645f35ab2c8e13609cd73b68df8b5e3f63ce073"},
      {1000, "89f4ff56a25dd1db06a4ce6033603775d705fb96f30f8693733fef602a1ca532"},
  };
  for (const auto& r : rows) {
    std::string data;
    for (std::size_t i = 0; i < r.size; ++i)
      data += char((i * 7) & 255);
    EXPECT_EQ(update::Sha256Hex(data.data(), data.size()), r.digest) << r.size;
  }
  EXPECT_EQ(update::Sha256Hex("abc", 3),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string upper = " BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD ";
  EXPECT_EQ(update::NormaliseDigest(upper), update::Sha256Hex("abc", 3));
  EXPECT_EQ(update::NormaliseDigest("ba7816bf"), "");  // too short
  EXPECT_EQ(update::NormaliseDigest(std::string(64, 'g')), "");
}

// ---- The safe writer against failures at each step ------------------------------------------

// Which step fails; the real call runs for every other.
enum class Step { kNone, kCreate, kWriteHalfWay, kFlush, kClose, kMove };
Step failing = Step::kNone;
const platform::FileCallOverrides* table = nullptr;

// Runs the real call with the stand-ins out of the way.
template <typename F>
auto Real(F&& call) {
  platform::OverrideFileCalls(nullptr);
  auto result = call();
  platform::OverrideFileCalls(table);
  return result;
}

platform::OpenFile* Create(const char* path) {
  if (failing == Step::kCreate) {
    platform::SetLastError(platform::kErrorAccessDenied);
    return nullptr;
  }
  return Real([&] { return platform::CreateNewFile(path); });
}
bool Write(platform::OpenFile* f, const void* data, std::size_t size) {
  if (failing == Step::kWriteHalfWay) {
    Real([&] { return platform::WriteToFile(f, data, size / 2); });
    return false;  // the disk is full
  }
  return Real([&] { return platform::WriteToFile(f, data, size); });
}
bool Flush(platform::OpenFile* f) {
  return failing != Step::kFlush && Real([&] { return platform::FlushFile(f); });
}
bool Close(platform::OpenFile* f) {
  const bool ok = Real([&] { return platform::CloseFile(f); });
  return ok && failing != Step::kClose;
}
bool Move(const char* from, const char* to, bool replace) {
  if (failing == Step::kMove) {
    platform::SetLastError(platform::kErrorAccessDenied);
    return false;
  }
  return Real([&] { return platform::MoveFileTo(from, to, replace); });
}

class SafeWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    calls_.createNewFile = Create;
    calls_.writeToFile = Write;
    calls_.flushFile = Flush;
    calls_.closeFile = Close;
    calls_.moveFileTo = Move;
    table = &calls_;
    platform::OverrideFileCalls(table);
  }
  void TearDown() override {
    platform::OverrideFileCalls(nullptr);
    failing = Step::kNone;
  }
  // The folder's names, "." and ".." aside.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    platform::FindData d;
    platform::DirectorySearch* s = platform::FindFirstEntry((dir_.path() + "*.*").c_str(), &d);
    for (bool more = s != nullptr; more; more = platform::FindNextEntry(s, &d)) {
      const std::string n = d.fileName;
      if (n != "." && n != "..") names.push_back(n);
    }
    platform::FindClose(s);
    return names;
  }
  platform::FileCallOverrides calls_{};
  testing_support::ScratchFolder dir_;
};

TEST_F(SafeWriter, AFailureAtAnyStepKeepsTheUsersFileAndLeavesNothingElse) {
  const std::string news(100000, 'n');
  const struct {
    Step step;
    platform::WriteOutcome outcome;
  } rows[] = {
      {Step::kCreate, platform::WriteOutcome::kNotCreated},
      {Step::kWriteHalfWay, platform::WriteOutcome::kNotWritten},
      {Step::kFlush, platform::WriteOutcome::kNotWritten},
      {Step::kClose, platform::WriteOutcome::kNotWritten},
      {Step::kMove, platform::WriteOutcome::kNotMoved},
  };
  for (const auto& r : rows) {
    for (bool replace : {true, false}) {
      dir_.Write("photo.jpg", "the user's own photo");
      failing = r.step;
      EXPECT_EQ(platform::WriteFileSafely(dir_.File("photo.jpg").c_str(), news.data(), news.size(),
                                          replace),
                r.outcome)
          << int(r.step);
      EXPECT_EQ(dir_.Read("photo.jpg"), "the user's own photo") << int(r.step);
      EXPECT_EQ(Names(), std::vector<std::string>{"photo.jpg"}) << int(r.step);
    }
  }
  // A write stopped half-way tells the host so.
  failing = Step::kWriteHalfWay;
  platform::WriteFileSafely(dir_.File("photo.jpg").c_str(), news.data(), news.size(), true);
  EXPECT_EQ(platform::LastError(), platform::kErrorWriteFault);
}

TEST_F(SafeWriter, ReplacesOnlyWhenAllowedAndOnlyWhenWhole) {
  const std::string target = dir_.File("photo.jpg");
  // Nothing there: written, with or without leave to replace.
  EXPECT_EQ(platform::WriteFileSafely(target.c_str(), "one", 3, false),
            platform::WriteOutcome::kWritten);
  EXPECT_EQ(dir_.Read("photo.jpg"), "one");
  EXPECT_EQ(platform::WriteFileSafely(target.c_str(), "two", 3, true),
            platform::WriteOutcome::kWritten);
  EXPECT_EQ(dir_.Read("photo.jpg"), "two");
  // A target that appears while the bytes are written is kept without leave to replace.
  platform::SafeFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_.File("late.jpg").c_str()));
  EXPECT_EQ(writer.temporaryPath(), dir_.File(".late.jpg.part"));
  EXPECT_TRUE(writer.Write("downloaded", 10));
  dir_.Write("late.jpg", "appeared meanwhile");
  EXPECT_EQ(writer.Commit(false), platform::WriteOutcome::kTargetExists);
  EXPECT_EQ(platform::LastError(), platform::kErrorFileExists);
  EXPECT_EQ(dir_.Read("late.jpg"), "appeared meanwhile");
  EXPECT_FALSE(dir_.Exists(".late.jpg.part"));
  // An abandoned write (the user aborted) removes only its own file.
  {
    platform::SafeFileWriter aborted;
    ASSERT_TRUE(aborted.Open(target.c_str()));
    aborted.Write("part", 4);
  }
  EXPECT_EQ(dir_.Read("photo.jpg"), "two");
  EXPECT_EQ(Names(), (std::vector<std::string>{"late.jpg", "photo.jpg"}));
}

#ifndef _WIN32
// A disk without hard links (FAT, exFAT, many FUSE mounts), and one that cannot rename
// without replacing either: the copy still lands, and never over a file already there.
int NoLinks(const char*, const char*) {
  errno = EPERM;
  return -1;
}
int NoRenameWithoutReplacing(const char*, const char*) {
  errno = EINVAL;
  return -1;
}

TEST(SafeWriterWithoutHardLinks, CopiesLandAndKeepWhatIsThere) {
  testing_support::ScratchFolder dir;
  platform::FileCallOverrides noLinks{}, neither{};
  noLinks.posixLink = NoLinks;
  neither.posixLink = NoLinks;
  neither.posixRenameNoReplace = NoRenameWithoutReplacing;
  for (const platform::FileCallOverrides* calls : {&noLinks, &neither}) {
    const std::string target = dir.File("photo.jpg");
    std::remove(dir.File("photo.jpg").c_str());
    platform::OverrideFileCalls(calls);
    const platform::WriteOutcome first = platform::WriteFileSafely(target.c_str(), "one", 3, false);
    dir.Write("kept.jpg", "the user's");
    const platform::WriteOutcome second =
        platform::WriteFileSafely(dir.File("kept.jpg").c_str(), "two", 3, false);
    platform::OverrideFileCalls(nullptr);
    EXPECT_EQ(first, platform::WriteOutcome::kWritten);
    EXPECT_EQ(dir.Read("photo.jpg"), "one");
    EXPECT_EQ(second, platform::WriteOutcome::kTargetExists);
    EXPECT_EQ(dir.Read("kept.jpg"), "the user's");
    EXPECT_FALSE(dir.Exists(".photo.jpg.part"));
    EXPECT_FALSE(dir.Exists(".kept.jpg.part"));
  }
}
#endif

TEST_F(SafeWriter, TemporaryNamesStayBesideTheTargetAndAvoidLeftovers) {
  // A leftover of a killed process is neither reused nor removed.
  dir_.Write(".photo.jpg.part", "leftover");
  platform::SafeFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_.File("photo.jpg").c_str()));
  EXPECT_EQ(writer.temporaryPath(), dir_.File(".photo.jpg.1.part"));
  writer.Write("new", 3);
  EXPECT_EQ(writer.Commit(false), platform::WriteOutcome::kWritten);
  EXPECT_EQ(dir_.Read(".photo.jpg.part"), "leftover");
  EXPECT_EQ(dir_.Read("photo.jpg"), "new");
  // A name near the limit of a Windows path gets the short name instead.
  const std::string folder = "C:\\d\\";
  const std::string longTarget = folder + std::string(259 - folder.size(), 'x');
  EXPECT_EQ(platform::TemporaryPathFor(longTarget, 0), folder + ".frameleaf.part");
  EXPECT_EQ(platform::TemporaryPathFor("C:\\d\\a.jpg", 2), "C:\\d\\.a.jpg.2.part");
  EXPECT_EQ(platform::TemporaryPathFor("a.jpg", 0), ".a.jpg.part");
}

TEST_F(SafeWriter, CopiesOfTheModulesFilesFollowTheSameRules) {
  dir_.Write("source.ini", "settings");
  dir_.Write("copy.ini", "the user's copy");
  const std::string source = dir_.File("source.ini"), target = dir_.File("copy.ini");
  EXPECT_EQ(platform::CopyFileSafely(source.c_str(), target.c_str(), false),
            platform::WriteOutcome::kTargetExists);
  EXPECT_EQ(dir_.Read("copy.ini"), "the user's copy");
  failing = Step::kMove;
  EXPECT_EQ(platform::CopyFileSafely(source.c_str(), target.c_str(), true),
            platform::WriteOutcome::kNotMoved);
  EXPECT_EQ(dir_.Read("copy.ini"), "the user's copy");
  failing = Step::kNone;
  EXPECT_EQ(platform::CopyFileSafely(source.c_str(), target.c_str(), true),
            platform::WriteOutcome::kWritten);
  EXPECT_EQ(dir_.Read("copy.ini"), "settings");
  EXPECT_EQ(platform::CopyFileSafely(dir_.File("none.ini").c_str(), target.c_str(), true),
            platform::WriteOutcome::kNotCreated);
  EXPECT_EQ(Names(), (std::vector<std::string>{"copy.ini", "source.ini"}));
}

// ---- The cookie read: a string longer than the template buffer is refused, never cut ----------

TEST(ReadCookie, TheTemplateBufferTakesAWholeStringOrNone) {
  const struct {
    std::size_t valueLength;
    bool read;
  } rows[] = {
      {1, true},
      {net::kCookieBufferSize - 1 - 2, true},  // "s=" and the value fill the buffer but its NUL
      {net::kCookieBufferSize - 2, false},
      {3000, false},
  };
  for (const auto& r : rows) {
    net::HttpSession session;
    const std::string value(r.valueLength, 'v');
    ASSERT_TRUE(session.cookies().Take("s=" + value, {"photos.example.test", "/", false}));
    char buffer[net::kCookieBufferSize];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(session.ReadCookie("http://photos.example.test/", buffer), r.read) << r.valueLength;
    EXPECT_EQ(std::string(buffer), r.read ? "s=" + value : "") << r.valueLength;
  }
}

// ---- The bookmark walk: bounded whatever "count" says ---------------------------------------

// A bookmark file that claims two billion bookmarks and holds two, served from memory.
std::string claimedCount;
long profileReads = 0;
std::size_t Profile(const char* section, const char* key, const char* fallback, char* buffer,
                    std::size_t size, const char*) {
  ++profileReads;
  std::string value = fallback ? fallback : "";
  const std::string s = section, k = key;
  if (s == "tabs" && k == "count") value = claimedCount;
  if (s == "tabs" && k == "1") value = "Holiday";
  if (s == "tabs" && k == "2") value = "Family";
  if (s == "tabs" && k != "count" && k != "1" && k != "2") value = "";
  std::snprintf(buffer, size, "%s", value.c_str());
  return std::strlen(buffer);
}
bool ProfileWrite(const char*, const char*, const char*, const char*) {
  return true;
}

TEST(Bookmarks, NoWalkGoesPastTheFirstEmptyKey) {
  platform::FileCallOverrides calls{};
  calls.readIniValue = Profile;
  calls.writeIniValue = ProfileWrite;
  plugin::OperationStatus& status = plugin::State().status;
  for (const char* count : {"2000000000", "9223372036854775807", "-5", "2"}) {
    claimedCount = count;
    platform::OverrideFileCalls(&calls);
    profileReads = 0;
    plugin::MakeDirectory("\\New");  // no host to ask for the address: nothing is added
    const long makeReads = profileReads;
    status.phase = 0;
    status.operation = plugin::kOperationRenameSingleFile;
    profileReads = 0;
    const int renamed = plugin::RenameBookmark("\\Family", "\\Kin");
    const long renameReads = profileReads;
    status.operation = plugin::kOperationDelete;
    profileReads = 0;
    const int deleted = plugin::DeleteBookmark("\\Holiday\\");
    const long deleteReads = profileReads;
    status.phase = 1;
    platform::OverrideFileCalls(nullptr);
    EXPECT_LE(makeReads, 5) << count;
    EXPECT_LE(renameReads, 10) << count;
    EXPECT_LE(deleteReads, 10) << count;
    // A negative count holds no bookmarks; the others find theirs.
    const bool found = std::string(count) != "-5";
    EXPECT_EQ(renamed, found ? plugin::kFileOk : plugin::kFileWriteError) << count;
    EXPECT_EQ(deleted, found ? 1 : 0) << count;
  }
}

}  // namespace
