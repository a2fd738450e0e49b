// The start-up check against update hosts on the fixture web server, and the offered
// file's download: which requests go out, what the dialog shows, what the settings keep.
// The dialog is the real one on Windows (answered by clicking its buttons) and the test's
// own hook on POSIX.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_answerer.h"
#include "net/http_session.h"
#include "platform/platform.h"
#include "server_log.h"
#include "test_files.h"
#include "update/update_checker.h"

namespace {

using testing_support::DialogAnswer;
using testing_support::DialogSeen;

constexpr std::int64_t kNow = 1800000000;
constexpr std::int64_t kDay = 86400;
constexpr char kVersionPath[] = "/files/version/frameleaf/lastvetsion.txt";

std::string Settings(const char* extra, std::int64_t lastupdate) {
  return "[update]\r\nlastupdate=" + std::to_string(lastupdate) + "\r\n" + extra;
}

class UpdateCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("FL_HTTP_LOG")) GTEST_SKIP() << "no fixture server (FL_HTTP_LOG unset)";
  }
  // Runs the check with a settings file; the paths requested are collected per run.
  int Check(const std::string& settings, DialogAnswer answer, DialogSeen* seen,
            const std::string& screenshot = "") {
    dir_.Write("frameleaf.ini", settings);
    const std::size_t before = testing_support::LoggedRequests().size();
    testing_support::DialogAnswerer answerer(answer, screenshot);
    update::CheckContext c;
    const std::string file = dir_.File("frameleaf.ini");
    c.settingsFile = file.c_str();
    c.caption = "New version";
    c.accept = "download";
    c.decline = "cancel";
    const int result = checker_.Check(c, kNow);
    *seen = answerer.Seen();
    paths_.clear();
    for (const std::string& line : testing_support::LoggedSince(before))
      paths_.push_back(testing_support::Field(line, "host") + testing_support::Field(line, "path"));
    return result;
  }
  std::string LastUpdate() {
    char v[64];
    platform::ReadIniValue("update", "lastupdate", "", v, sizeof v,
                           dir_.File("frameleaf.ini").c_str());
    return v;
  }

  testing_support::ScratchFolder dir_;
  net::HttpSession session_;
  update::UpdateChecker checker_{&session_};
  std::vector<std::string> paths_;
};

TEST_F(UpdateCheck, WhenTheCheckAsksAndWhatItKeeps) {
  const std::string now = std::to_string(kNow);
  const struct {
    const char* title;
    const char* extra;
    std::int64_t lastupdate;
    DialogAnswer answer;
    int result;
    std::vector<std::string> requests;  // host and path
    bool dialog;
    bool lastupdateIsNow;
  } rows[] = {
      {"switched off",
       "enable=0\r\nhost=same.update.test\r\n",
       0,
       DialogAnswer::kAccept,
       0,
       {},
       false,
       false},
      {"empty switch",
       "enable=\r\nhost=same.update.test\r\n",
       0,
       DialogAnswer::kAccept,
       0,
       {},
       false,
       false},
      // Stored times at the ends of the 64-bit range: no overflow in the day arithmetic.
      {"a last check at the earliest time there is",
       "period=10\r\nhost=same.update.test\r\n",
       std::numeric_limits<std::int64_t>::min(),
       DialogAnswer::kAccept,
       0,
       {std::string("same.update.test") + kVersionPath},
       false,
       true},
      {"a last check at the latest time there is",
       "period=10\r\nhost=same.update.test\r\n",
       std::numeric_limits<std::int64_t>::max(),
       DialogAnswer::kAccept,
       0,
       {},
       false,
       false},
      {"nine days of ten",
       "period=10\r\nhost=same.update.test\r\n",
       kNow - 9 * kDay - kDay / 2,
       DialogAnswer::kAccept,
       0,
       {},
       false,
       false},
      {"a second short of ten days",
       "period=10\r\nhost=same.update.test\r\n",
       kNow - 10 * kDay + 1,
       DialogAnswer::kAccept,
       0,
       {},
       false,
       false},
      {"ten days of ten",
       "period=10\r\nhost=same.update.test\r\n",
       kNow - 10 * kDay,
       DialogAnswer::kAccept,
       0,
       {std::string("same.update.test") + kVersionPath},
       false,
       true},
      {"a check in the future",
       "period=10\r\nhost=same.update.test\r\n",
       kNow + kDay,
       DialogAnswer::kAccept,
       0,
       {},
       false,
       false},
      {"period zero checks every start",
       "period=0\r\nhost=same.update.test\r\n",
       kNow,
       DialogAnswer::kAccept,
       0,
       {std::string("same.update.test") + kVersionPath},
       false,
       true},
      {"an older number is new too, declined",
       "host=old.update.test\r\n",
       0,
       DialogAnswer::kDecline,
       0,
       {std::string("old.update.test") + kVersionPath,
        "old.update.test/files/version/frameleaf/2.5.9.txt"},
       true,
       false},
      {"closed",
       "host=new.update.test\r\n",
       0,
       DialogAnswer::kClose,
       0,
       {std::string("new.update.test") + kVersionPath,
        "new.update.test/files/version/frameleaf/2.7.0.txt"},
       true,
       false},
      {"no description on the server",
       "host=nodesc.update.test\r\n",
       0,
       DialogAnswer::kAccept,
       0,
       {std::string("nodesc.update.test") + kVersionPath,
        "nodesc.update.test/files/version/frameleaf/3.0.txt"},
       false,
       false},
      {"an empty key ends the check",
       "host=emptykey.update.test\r\n",
       0,
       DialogAnswer::kAccept,
       0,
       {std::string("emptykey.update.test") + kVersionPath},
       false,
       false},
      {"a file name too long to fetch",
       "host=longname.update.test\r\n",
       0,
       DialogAnswer::kAccept,
       0,
       {std::string("longname.update.test") + kVersionPath},
       false,
       false},
      {"no version file on the server",
       "host=nobody.update.test\r\n",
       0,
       DialogAnswer::kAccept,
       0,
       {std::string("nobody.update.test") + kVersionPath},
       false,
       false},
  };
  for (const auto& r : rows) {
    DialogSeen seen;
    EXPECT_EQ(Check(Settings(r.extra, r.lastupdate), r.answer, &seen), r.result) << r.title;
    EXPECT_EQ(paths_, r.requests) << r.title;
    EXPECT_EQ(seen.shown, r.dialog) << r.title;
    EXPECT_EQ(LastUpdate() == now, r.lastupdateIsNow) << r.title;
  }
}

TEST_F(UpdateCheck, AcceptedOfferShowsTheDescriptionAndDownloadsTheFile) {
  DialogSeen seen;
  // A picture of the real dialog for a person to look at (Windows only).
  const char* shots = std::getenv("FL_SCREENSHOT_DIR");
  const std::string picture = shots ? std::string(shots) + "\\offer-dialog.png" : "";
  ASSERT_EQ(Check(Settings("host=new.update.test\r\n", 0), DialogAnswer::kAccept, &seen, picture),
            1);
  EXPECT_EQ(LastUpdate(), std::to_string(kNow));
  EXPECT_EQ(seen.caption, "New version");
  EXPECT_EQ(seen.accept, "download");
  EXPECT_EQ(seen.decline, "cancel");
  // The list box sorts the description's lines.
  EXPECT_EQ(seen.items, (std::vector<std::string>{"a third", "line one", "line two"}));
  EXPECT_STREQ(checker_.offer().fileName, "frameleaf-2.7.0.zip");
  EXPECT_EQ(checker_.offer().size, 4242);
  // The version file stays beside the settings.
  EXPECT_NE(dir_.Read("frameleaf.ini.tmp").find("number=2.7.0"), std::string::npos);

  checker_.offer().pending = 1;
  int after = 0;
  const std::size_t before = testing_support::LoggedRequests().size();
  EXPECT_EQ(checker_.Download(dir_.File("got.zip").c_str(), [&] { ++after; }), 0);
  EXPECT_EQ(after, 1);
  EXPECT_EQ(checker_.offer().pending, 0);
  std::string want;
  for (int i = 0; i < 16; ++i)
    for (int b = 0; b < 256; ++b)
      want += char(b);
  want += std::string("\0zip-end", 8);
  EXPECT_TRUE(dir_.Read("got.zip") == want);
  const std::vector<std::string> got = testing_support::LoggedSince(before);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(testing_support::Field(got[0], "path"), "/files/frameleaf-2.7.0.zip");
}

TEST_F(UpdateCheck, AnHttpsHostIsAskedOverHttpsAndOneWithABadCertificateNotAtAll) {
  DialogSeen seen;
  std::size_t before = testing_support::LoggedRequests().size();
  ASSERT_EQ(Check(Settings("host=https://new.update.test\r\n", 0), DialogAnswer::kAccept, &seen),
            1);
  checker_.offer().pending = 1;
  EXPECT_EQ(checker_.Download(dir_.File("got.zip").c_str(), [] {}), 0);
  std::vector<std::string> urls;
  for (const std::string& line : testing_support::LoggedSince(before))
    urls.push_back(testing_support::Field(line, "url"));
  EXPECT_EQ(urls,
            (std::vector<std::string>{std::string("https://new.update.test") + kVersionPath,
                                      "https://new.update.test/files/version/frameleaf/2.7.0.txt",
                                      "https://new.update.test/files/frameleaf-2.7.0.zip"}));
  // A certificate for another name, from an unknown issuer or expired ends the check
  // silently: nothing is asked of the server and no dialog shows.
  for (const char* host : {"https://wrongname.update.test", "https://unknownca.update.test",
                           "https://expired.update.test"}) {
    before = testing_support::LoggedRequests().size();
    EXPECT_EQ(Check(Settings((std::string("host=") + host + "\r\n").c_str(), 0),
                    DialogAnswer::kAccept, &seen),
              0)
        << host;
    EXPECT_FALSE(seen.shown) << host;
    EXPECT_TRUE(testing_support::LoggedSince(before).empty()) << host;
  }
}

TEST_F(UpdateCheck, FailedDownloadsLeaveNoFileAndUseTheOffer) {
  DialogSeen seen;
  ASSERT_EQ(Check(Settings("host=nofile.update.test\r\n", 0), DialogAnswer::kAccept, &seen), 1);
  checker_.offer().pending = 1;
  int after = 0;
  // The server's "not found" page is no update file.
  EXPECT_EQ(checker_.Download(dir_.File("got.zip").c_str(), [&] { ++after; }), 2);
  EXPECT_FALSE(dir_.Exists("got.zip"));
  EXPECT_EQ(checker_.offer().pending, 0);
  // A folder that does not exist cannot take the file.
  ASSERT_EQ(Check(Settings("host=new.update.test\r\n", 0), DialogAnswer::kAccept, &seen), 1);
  checker_.offer().pending = 1;
  EXPECT_EQ(checker_.Download(dir_.File("nowhere\\got.zip").c_str(), [&] { ++after; }), 4);
  EXPECT_EQ(after, 0);
}

TEST_F(UpdateCheck, SettingsPathTooLongForTheCheckAsksNothing) {
  const std::string folder(std::size_t(std::max<long>(1, 124 - long(dir_.path().size()))), 'f');
  dir_.MakeFolder(folder);
  testing_support::ScratchFolder& dir = dir_;
  dir.Write(folder + "\\frameleaf.ini", Settings("host=new.update.test\r\n", 0));
  const std::string file = dir.File(folder + "\\frameleaf.ini");
  ASSERT_GT(file.size(), 123u);
  const std::size_t before = testing_support::LoggedRequests().size();
  update::CheckContext c;
  c.settingsFile = file.c_str();
  c.caption = c.accept = c.decline = "";
  EXPECT_EQ(checker_.Check(c, kNow), 0);
  EXPECT_TRUE(testing_support::LoggedSince(before).empty());
}

TEST(MessageLines, SplitFromTheEndAtLineFeeds) {
  const struct {
    const char* message;
    std::vector<std::string> lines;
  } rows[] = {
      {"line one\r\nline two\r\na third", {"a third", "line two", "line one"}},
      {"one\ntwo", {"two", "one"}},  // a bare line feed keeps the letter before it
      {"", {""}},
      {"end\r\n", {"", "end"}},
      {"\r\n\r\n", {"", "", ""}},
      {"a\r\rb", {"a\r\rb"}},
  };
  for (const auto& r : rows)
    EXPECT_EQ(update::MessageLines(r.message), r.lines) << r.message;
  // The dialog holds 999 characters of the message.
  const std::string longText = std::string(995, 'x') + "\r\nabcdef";
  EXPECT_EQ(update::MessageLines(longText.c_str()),
            (std::vector<std::string>{"ab", std::string(995, 'x')}));
}

}  // namespace
