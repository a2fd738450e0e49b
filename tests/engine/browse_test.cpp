// The browsing engine against hostile sites and scripts, through the real matching library
// and the fixture web server: every case ends in a correct listing or a clear report, in
// bounded time, with nothing written past a buffer (the native run has the sanitizers).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/listing.h"
#include "engine/request.h"
#include "engine/site_browser.h"
#include "net/http_session.h"
#include "platform/platform.h"
#include "report/error_page.h"
#include "report/messages.h"
#include "test_files.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string HereFile(const char* name) {
  char self[260];
  platform::ModulePath(nullptr, self, sizeof self);
  std::string dir(self);
  return dir.substr(0, dir.find_last_of("/\\") + 1) + name;
}

std::string UrlEncode(const std::string& s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.') {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// Asks the fixture server, reached as the proxy, to serve this suite's own sites.
void Control(const std::string& path) {
  net::HttpSession s;
  if (s.Get("fixture.control", path.c_str(), nullptr)) {
    std::uint32_t n = 0;
    s.ReadAll(&n);
  }
}

class Answers final : public engine::HostPrompts {
 public:
  bool AskPassword(char* buffer, int size) override {
    ++asked;
    if (password.empty()) return false;
    std::strncpy(buffer, password.c_str(), std::size_t(size) - 1);
    return true;
  }
  std::string password;
  int asked = 0;
};

const std::map<std::string, std::string> kScript = {
    {"FileExpression", "^http://[^/]+/(p/.*)$"},
    {"DirExpression", "^http://[^/]+/(.*)$"},
    {"AlbumExpression", "<a class=\"album\" href=\"([^\"]+)\">([^<]*)</a>"},
    {"FotoExpression", "<img src=\"[^\"]+\" alt=\"[^\"]*\">"},
    {"OrigExpression", "<img src=\"(/img/[^\"]+)\" alt=\"([^\"]*)\">"},
    {"UrlFoto", "%s`Match[1]"},
    {"UrlPrev", "%s`Match[1]"},
    {"UrlAlbum", "%s`Match[1]"},
    {"NameFoto", "%s`Match[2]"},
    {"NameAlbum", "%s`Match[2]"},
    {"IfNextPageAlbum", "<a class=\"next\" href=\"([^\"]+)\">"},
    {"NextPageAlbum", "%s`Match[1]"},
    {"IfNextPageFoto", "<a class=\"next\" href=\"([^\"]+)\">"},
    {"NextPageFoto", "%s`Match[1]"},
    {"User", "1"},
    {"Album", "1"},
    {"Utf", "0"},
    {"ServFoto", "www.hostile.test"},
};

class HostileSite : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("FL_HTTP_LOG")) GTEST_SKIP() << "no fixture server (FL_HTTP_LOG unset)";
    errors_.SetPath(dir_.File("frameleaf.htm").c_str());
    errors_.KeepHistory(&history_);
    dir_.MakeFolder("scripts");
    browser_.LoadRegexLibrary(HereFile(FL_REGEX_FILE).c_str(), dir_.File("scripts\\").c_str());
    ASSERT_TRUE(history_.empty()) << history_[0].message;
    Control("/_/mount?dir=" + UrlEncode(FL_ENGINE_SITES));
    WriteScript({});
  }
  void TearDown() override {
    Control("/_/unmount");
    if (HasFailure()) {
      for (const auto& r : history_)
        std::printf("report: %s | %s | %.200s | %.200s\n", r.message.c_str(), r.host.c_str(),
                    r.url.c_str(), r.expression.c_str());
    }
  }

  void WriteScript(const std::map<std::string, std::string>& changes,
                   const std::string& extra = "") {
    std::map<std::string, std::string> keys = kScript;
    for (const auto& kv : changes)
      keys[kv.first] = kv.second;
    std::string text = "[hostile.test]\n";
    for (const auto& kv : keys)
      if (kv.second != "<absent>") text += kv.first + "=" + kv.second + "\n";
    dir_.Write("scripts/hostile.test", text + extra);
  }

  int Browse(const std::string& path) {
    history_.clear();
    const auto start = Clock::now();
    const int result = browser_.Browse(("http://www.hostile.test/" + path).c_str());
    seconds_ = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
  }

  // The reports made by the last Browse whose message is message.
  std::vector<report::ReportRecord> Reports(const char* message) const {
    std::vector<report::ReportRecord> found;
    for (const auto& r : history_)
      if (r.message == message) found.push_back(r);
    return found;
  }

  testing_support::ScratchFolder dir_;
  report::ErrorReporter errors_;
  std::vector<report::ReportRecord> history_;
  Answers answers_;
  engine::SiteBrowser browser_{errors_, &answers_};
  double seconds_ = 0;
};

std::string Repeat(int n, const std::string& text) {
  return "_/repeat/" + std::to_string(n) + "?text=" + UrlEncode(text);
}

TEST_F(HostileSite, TenThousandEntriesOnOnePageAreListedInOrder) {
  ASSERT_EQ(Browse(Repeat(10000, "<a class=\"album\" href=\"/a/{i}/\">A{i}</a>\n")), 1);
  ASSERT_EQ(browser_.count(), 10000);
  EXPECT_STREQ(browser_.albumName(0), "A0");
  EXPECT_STREQ(browser_.albumName(9999), "A9999");
  EXPECT_EQ(browser_.entries().albumAddresses[9999].str(), "/a/9999/");
  EXPECT_TRUE(history_.empty());
}

TEST_F(HostileSite, EntriesPastTheBoundAreLeftOutWithAReport) {
  ASSERT_EQ(
      Browse(Repeat(int(engine::kMaxEntries) + 5, "<a class=\"album\" href=\"/{i}\">{i}</a>")), 1);
  EXPECT_EQ(browser_.count(), int(engine::kMaxEntries));
  EXPECT_EQ(Reports(report::msg::kEntriesCut).size(), 1u);
}

TEST_F(HostileSite, ANextPageThatAlwaysMatchesStopsAtThePageBound) {
  ASSERT_EQ(Browse("loop/"), 1);
  EXPECT_EQ(browser_.count(), engine::kMaxPages);
  const auto cut = Reports(report::msg::kPagingCut);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].url, "/loop/");
  EXPECT_EQ(cut[0].host, "www.hostile.test");
}

TEST_F(HostileSite, TwentyMegabytePages) {
  // The largest page the session reads: searched whole, nothing found.
  EXPECT_EQ(Browse("_/bytes/20000000"), 0);
  EXPECT_EQ(Reports(report::msg::kNoAlbum).size(), 1u);
  // One byte more is refused whole rather than cut: the page reads as empty.
  EXPECT_EQ(Browse("_/bytes/20000001"), 0);
  EXPECT_EQ(Reports(report::msg::kReadE15).size(), 1u);
}

TEST_F(HostileSite, PageEndsAtItsFirstNulByte) {
  ASSERT_EQ(Browse("nul.html"), 1);
  ASSERT_EQ(browser_.count(), 1);
  EXPECT_STREQ(browser_.albumName(0), "before");
  EXPECT_EQ(Browse("_/bytes/4096?nul=1"), 0);  // a NUL first: an empty page
  EXPECT_EQ(Reports(report::msg::kReadE15).size(), 1u);
}

TEST_F(HostileSite, NamesLongerThanTheHostShowsAreCutAndStillFound) {
  ASSERT_EQ(Browse("long/"), 1);
  ASSERT_EQ(browser_.count(), 2);
  const std::string name = browser_.albumName(0);
  EXPECT_EQ(name, std::string(259, 'N'));
  // Opening the album by the name the host shows finds its address.
  history_.clear();
  browser_.Browse(name.c_str());
  EXPECT_EQ(browser_.state().requestUrl.str(), "http://www.hostile.test/a/long/");
}

TEST_F(HostileSite, ExpressionsCatastrophicForABacktrackerFinishQuickly) {
  WriteScript({{"AlbumExpression", "(a*)*b|(x+x+)+y|(.*)(.*)(.*)(.*)c"}});
  EXPECT_EQ(Browse(Repeat(200000, "a")), 0);
  EXPECT_EQ(Reports(report::msg::kNoAlbum).size(), 1u);
  EXPECT_LT(seconds_, 20.0);
}

TEST_F(HostileSite, AResetInTheMiddleOfAPageFailsTheListing) {
  EXPECT_EQ(Browse("_/reset"), 0);
  EXPECT_EQ(Reports(report::msg::kReadE15).size() + Reports(report::msg::kRequestE14).size(), 1u);
}

TEST_F(HostileSite, APageThatStopsShortOfItsLengthFailsTheListing) {
  // The read stops before the promised length: never taken as the whole page.
  EXPECT_EQ(Browse("_/short/5000/100"), 0);
  EXPECT_EQ(Reports(report::msg::kReadE15).size() + Reports(report::msg::kRequestE14).size(), 1u);
  EXPECT_TRUE(Reports(report::msg::kNoAlbum).empty());
}

TEST_F(HostileSite, PhotoEntryThatCannotBeTakenApartIsReportedForAddressPreviewAndName) {
  ASSERT_EQ(Browse("p/e33/"), 2);
  ASSERT_EQ(browser_.count(), 2);
  EXPECT_STREQ(browser_.photoName(0), "good.jpg");
  EXPECT_EQ(browser_.photoSize(0), 9u);
  EXPECT_STREQ(browser_.photoName(1), "NULL.jpg");
  EXPECT_EQ(browser_.entries().photoAddresses[1].str(), "NULL");
  EXPECT_EQ(browser_.entries().previewAddresses[1].str(), "NULL");
  const std::string orig = kScript.at("OrigExpression");
  for (const char* message :
       {report::msg::kUrlE33, report::msg::kUrlE34, report::msg::kConvertE31}) {
    const auto found = Reports(message);
    ASSERT_EQ(found.size(), 1u) << message;
    EXPECT_EQ(found[0].url, "<img src=\"/other/x\" alt=\"bad\">");
    EXPECT_EQ(found[0].expression, orig);
  }
  // In report order: address, preview, name.
  ASSERT_EQ(history_.size(), 3u);
  EXPECT_EQ(history_[0].message, report::msg::kUrlE33);
  EXPECT_EQ(history_[2].message, report::msg::kConvertE31);
}

TEST_F(HostileSite, PasswordSteps) {
  // Without PassRequest nothing of the password steps happens, even on a page that
  // PassExpression would call open: no prompt, the ordinary expressions.
  WriteScript({{"PassExpression", "<div class=\"open\">"}});
  ASSERT_EQ(Browse("p/open/"), 2);
  EXPECT_EQ(answers_.asked, 0);
  EXPECT_EQ(browser_.state().albumUnlocked, 0);
  EXPECT_STREQ(browser_.photoName(0), "shown.jpg");

  // With PassRequest, a page with the form asks; a cancelled prompt leaves the page as it
  // was, and its photo is listed with the ordinary expressions.
  WriteScript({{"PassRequest", "/unlock/[a-z]+"}, {"PassSendForm", "pw=%s`Match[1]"}});
  ASSERT_EQ(Browse("p/open/"), 2);
  EXPECT_EQ(answers_.asked, 1);
  EXPECT_EQ(browser_.state().albumUnlocked, 0);
  EXPECT_STREQ(browser_.photoName(0), "shown.jpg");
}

TEST_F(HostileSite, ScriptsWithMissingEmptyLongAndBinaryValues) {
  WriteScript({{"DirExpression", "<absent>"}});
  EXPECT_EQ(Browse("long/"), 0);
  EXPECT_EQ(Reports(report::msg::kScript).size(), 1u);

  // An empty required key is present: the names come out empty.
  WriteScript({{"NameAlbum", ""}});
  ASSERT_EQ(Browse("long/"), 1);
  EXPECT_STREQ(browser_.albumName(1), "");

  // A value longer than 259 characters is cut by the reader; the cut expression does not
  // compile and matches nothing.
  WriteScript({{"AlbumExpression", "(" + std::string(300, 'x') + ")"}});
  EXPECT_EQ(Browse("long/"), 0);
  const auto none = Reports(report::msg::kNoAlbum);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].expression.size(), 259u);

  // Bytes of every value from 1 to 255 (but line ends) in a template travel through.
  std::string binary;
  for (int b = 1; b < 256; ++b)
    if (b != '\n' && b != '\r' && b != '%' && b != '`' && b != ';' && b != '"' && b != '\'')
      binary += char(b);
  binary = binary.substr(0, 240);
  WriteScript({{"UrlAlbum", binary.substr(20) + "%s`Match[1]"}});
  ASSERT_EQ(Browse("long/"), 1);
  const std::string address = browser_.entries().albumAddresses[1].str();
  EXPECT_NE(address.find("/a/short/"), std::string::npos);
}

TEST_F(HostileSite, CookieKeysBeyondTheFifthAreReadButNeverReached) {
  std::string extra;
  for (int n = 1; n <= 50; ++n)
    extra += "Cookie" + std::to_string(n) + "=c" + std::to_string(n) + "\n";
  WriteScript({{"NameAlbum", "%s|%s|%s`Cookie1`Cookie2`Cookie6"}}, extra);
  ASSERT_EQ(Browse("long/"), 1);
  EXPECT_EQ(browser_.script().cookieNames.size(), 50u);
  EXPECT_STREQ(browser_.albumName(1), "|c2|NULL");
}

}  // namespace

namespace {

// The analysis of an address on its own: the built-in host expressions run through the
// real matching library, with no site to ask.
class Analysis : public ::testing::Test {
 protected:
  void SetUp() override {
    errors_.KeepHistory(&history_);
    ASSERT_EQ(library_.Load(HereFile(FL_REGEX_FILE).c_str()), 1);
  }
  engine::Engine View() {
    return engine::Engine{http_, search_, errors_, nullptr, script_, state_, slots_, entries_};
  }
  net::HttpSession http_;
  regex::RegexLibrary library_;
  regex::Search search_{library_};
  report::ErrorReporter errors_;
  std::vector<report::ReportRecord> history_;
  engine::SiteScript script_;
  engine::RequestState state_;
  extract::MatchSlots slots_;
  engine::EntryList entries_;
};

TEST_F(Analysis, HostAndScriptName) {
  const struct {
    const char* url;
    int ok;
    const char* host;
    const char* scriptName;
  } cases[] = {
      {"http://photos.example.test/users/x/", 1, "photos.example.test", "example.test"},
      {"http://a.b.c.d/x", 1, "a.b.c.d", "b.c.d"},
      {"http://ab.cd/x", 1, "ab.cd", "ab.cd"},  // a short last label: the whole host
      {"http://ab.c/", 1, "ab.c", "ab.c"},
      {"http://example.com/", 1, "example.c.m", "c.m"},  // the "." of the expression: any byte
      // One label: the first expression's "." takes the "/" and the path joins the host.
      {"http://localhost/x", 1, "localhost.x", "localhost.x"},
      {"http://ab", 0, "", ""},
      {"x http://", 0, "", ""},
  };
  for (const auto& c : cases) {
    engine::Engine e = View();
    state_.requestUrl = c.url;
    history_.clear();
    EXPECT_EQ(engine::DetermineHost(e), c.ok) << c.url;
    EXPECT_EQ(state_.host.str(), c.host) << c.url;
    EXPECT_EQ(state_.scriptName.str(), c.scriptName) << c.url;
    EXPECT_EQ(history_.size(), c.ok ? 0u : 1u) << c.url;
  }
}

TEST_F(Analysis, ModeAndPagePath) {
  script_.fileExpression = "/album/";
  script_.dirExpression = "/user/";
  const struct {
    const char* url;
    int mode;
  } modes[] = {
      {"http://h.example.test/user/a/album/b/", engine::kModePhotos},  // both: photos
      {"http://h.example.test/user/a/", engine::kModeAlbums},
      {"http://h.example.test/pics/x.jpg", engine::kModePhotos},
      {"http://h.example.test/pics/x.JPG", engine::kModeNone},
  };
  for (const auto& m : modes) {
    engine::Engine e = View();
    state_.requestUrl = m.url;
    engine::DetermineMode(e);
    EXPECT_EQ(state_.mode, m.mode) << m.url;
  }
  engine::Engine e = View();
  state_.requestUrl = "http://h.example.test/users/x/";
  EXPECT_EQ(engine::DeterminePagePath(e), 1);
  EXPECT_EQ(state_.pagePath.str(), "users/x/");
  // Nothing after the host's "/": reported with the path as it stood, then emptied.
  history_.clear();
  state_.requestUrl = "http://h.example.test/";
  EXPECT_EQ(engine::DeterminePagePath(e), 1);
  EXPECT_EQ(state_.pagePath.str(), "");
  ASSERT_EQ(history_.size(), 1u);
  EXPECT_EQ(history_[0].message, report::msg::kPagePath);
  EXPECT_EQ(history_[0].url, "users/x/");
}

TEST_F(Analysis, UserAndAlbumFromTheModesAddressExpression) {
  script_.fileExpression = "/u/([^/]+)/a/([^/]+)/";
  script_.dirExpression = "/u/([^/]+)/$";
  script_.userGroup = 1;
  script_.albumGroup = 2;
  engine::Engine e = View();
  state_.requestUrl = "http://h.example.test/u/anna/a/sea/";
  state_.mode = engine::kModePhotos;
  EXPECT_EQ(engine::DetermineUser(e), 1);
  EXPECT_EQ(engine::DetermineAlbum(e), 1);
  EXPECT_EQ(state_.user.str(), "anna");
  EXPECT_EQ(state_.album.str(), "sea");
  // Album mode: the album group does not exist in DirExpression and gives empty text; a
  // group number far past the last slot is no harm either.
  state_.requestUrl = "http://h.example.test/u/bob/";
  state_.mode = engine::kModeAlbums;
  script_.albumGroup = 1000000;
  EXPECT_EQ(engine::DetermineUser(e), 1);
  EXPECT_EQ(engine::DetermineAlbum(e), 1);
  EXPECT_EQ(state_.user.str(), "bob");
  EXPECT_EQ(state_.album.str(), "");
  // The ".jpg" rule chose photo mode, but FileExpression does not match: E11.
  state_.requestUrl = "http://h.example.test/x.jpg";
  state_.mode = engine::kModePhotos;
  EXPECT_EQ(engine::DetermineUser(e), 0);
  EXPECT_EQ(history_.back().message, report::msg::kAuthor);
}

TEST_F(Analysis, EntryLookupsPreferAlbumsAndSkipNamesWithoutAddresses) {
  entries_.albumNames = {"Sea", "Same"};
  entries_.albumAddresses = {"/a/sea/", "/a/same/"};
  entries_.photoNames = {"Same", "p.jpg", "p.jpg", "raw"};
  entries_.photoAddresses = {"/p/same", "/p/1", "/p/2"};
  entries_.previewAddresses = {"/v/same", "/v/1", "/v/2"};
  EXPECT_EQ(engine::FindEntryUrl(entries_, "Same").str(), "/a/same/");
  EXPECT_EQ(engine::FindEntryUrl(entries_, "p.jpg").str(), "/p/1");
  EXPECT_EQ(engine::FindEntryUrl(entries_, "raw").str(), "NULL");  // no address yet
  EXPECT_EQ(engine::FindEntryUrl(entries_, "sea").str(), "NULL");  // case counts
  EXPECT_EQ(engine::FindPreviewUrl(entries_, "p.jpg").str(), "/v/1");
  EXPECT_EQ(engine::FindPreviewUrl(entries_, "Sea").str(), "NULL");
}

// Failures of the local file that the system will not give on demand, provoked by standing
// in for its file call: each is reported and leaves no file under the photo's name.
platform::OpenFile* CannotCreate(const char*) {
  platform::SetLastError(platform::kErrorAccessDenied);
  return nullptr;
}

// Half of the bytes reach the file, then the disk is full.
const platform::FileCallOverrides* halfWayTable = nullptr;
bool StopsHalfWay(platform::OpenFile* file, const void* data, std::size_t size) {
  platform::OverrideFileCalls(nullptr);
  platform::WriteToFile(file, data, size / 2);
  platform::OverrideFileCalls(halfWayTable);
  platform::SetLastError(platform::kErrorWriteFault);
  return false;
}

TEST_F(HostileSite, LocalFileFailuresAreReportedAndLeaveNoFile) {
  ASSERT_EQ(Browse("p/dl/"), 2);
  ASSERT_STREQ(browser_.photoName(0), "five.jpg");
  const std::string local = dir_.File("five.jpg");
  platform::FileCallOverrides cannotCreate{};
  cannotCreate.createNewFile = CannotCreate;
  platform::FileCallOverrides halfWay{};
  halfWay.writeToFile = StopsHalfWay;
  halfWayTable = &halfWay;
  const struct {
    const char* title;
    const platform::FileCallOverrides* calls;
    const char* message;
  } rows[] = {
      {"cannot be created", &cannotCreate, report::msg::kCreateFile},
      {"stops half-way", &halfWay, report::msg::kWriteFile},
  };
  for (const auto& r : rows) {
    history_.clear();
    platform::OverrideFileCalls(r.calls);
    const bool ok = browser_.DownloadPhoto("a\\five.jpg", local.c_str());
    platform::OverrideFileCalls(nullptr);
    EXPECT_FALSE(ok) << r.title;
    EXPECT_FALSE(dir_.Exists("five.jpg")) << r.title;
    EXPECT_FALSE(dir_.Exists(".five.jpg.part")) << r.title;
    const auto reports = Reports(r.message);
    ASSERT_EQ(reports.size(), 1u) << r.title;
    EXPECT_EQ(reports[0].url, "/img/five.jpg") << r.title;
    EXPECT_EQ(reports[0].expression, local) << r.title;
  }
  // The host learns why the file could not be created.
  platform::OverrideFileCalls(&cannotCreate);
  browser_.DownloadPhoto("a\\five.jpg", local.c_str());
  platform::OverrideFileCalls(nullptr);
  EXPECT_EQ(platform::LastError(), platform::kErrorAccessDenied);
  // With the real call the photo arrives whole.
  EXPECT_TRUE(browser_.DownloadPhoto("a\\five.jpg", local.c_str()));
  EXPECT_EQ(dir_.Read("five.jpg").size(), 5000u);
}

}  // namespace
