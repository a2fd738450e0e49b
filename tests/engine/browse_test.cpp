// The browsing engine against hostile sites and scripts, through the real matching library
// and the fixture web server: every case ends in a correct listing or a clear report, in
// bounded time, with nothing written past a buffer (the native run has the sanitizers).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/listing.h"
#include "engine/pages.h"
#include "engine/request.h"
#include "engine/site_browser.h"
#include "net/http_session.h"
#include "platform/platform.h"
#include "report/error_page.h"
#include "report/messages.h"
#include "server_log.h"
#include "test_clock.h"
#include "test_files.h"

namespace {

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
    browser_.LoadRegexLibrary(testing_support::BesideTestProgram(FL_REGEX_FILE).c_str(),
                              dir_.File("scripts\\").c_str());
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
    listing_ = browser_.Browse(("http://www.hostile.test/" + path).c_str());
    return listing_ ? listing_->mode : 0;
  }
  // The steps the matching library's searches have taken so far in this process (the
  // library the browser loaded: loading it again finds the same one).
  std::uint64_t SearchSteps() {
    using StepsFn = unsigned long long(FL_STDCALL*)();
    void* library =
        platform::LoadDynamicLibrary(testing_support::BesideTestProgram(FL_REGEX_FILE).c_str());
    const auto steps =
        library ? reinterpret_cast<StepsFn>(platform::FindFunction(library, "searchsteps"))
                : nullptr;
    EXPECT_NE(steps, nullptr);
    return steps ? steps() : 0;
  }
  int count() const { return listing_ ? int(listing_->entries.size()) : 0; }
  const engine::Entry& entry(int i) const { return listing_->entries.at(std::size_t(i)); }
  const char* Name(int i) const { return entry(i).name.c_str(); }

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
  engine::ListingPtr listing_;
};

std::string Repeat(int n, const std::string& text) {
  return "_/repeat/" + std::to_string(n) + "?text=" + UrlEncode(text);
}

TEST_F(HostileSite, TenThousandEntriesOnOnePageAreListedInOrder) {
  ASSERT_EQ(Browse(Repeat(10000, "<a class=\"album\" href=\"/a/{i}/\">A{i}</a>\n")), 1);
  ASSERT_EQ(count(), 10000);
  EXPECT_STREQ(Name(0), "A0");
  EXPECT_STREQ(Name(9999), "A9999");
  EXPECT_EQ(entry(9999).address.str(), "/a/9999/");
  EXPECT_TRUE(history_.empty());
}

TEST_F(HostileSite, EntriesPastTheBoundAreLeftOutWithAReport) {
  ASSERT_EQ(
      Browse(Repeat(int(engine::kMaxEntries) + 5, "<a class=\"album\" href=\"/{i}\">{i}</a>")), 1);
  EXPECT_EQ(count(), int(engine::kMaxEntries));
  EXPECT_EQ(Reports(report::msg::kEntriesCut).size(), 1u);
}

TEST_F(HostileSite, ANextPageThatAlwaysMatchesStopsAtThePageBound) {
  // With time standing still, only the page bound ends the walk.
  testing_support::VirtualClock clock(0);
  ASSERT_EQ(Browse("loop/"), 1);
  EXPECT_EQ(count(), engine::kMaxPages);
  const auto cut = Reports(report::msg::kPagingCut);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].url, "/loop/");
  EXPECT_EQ(cut[0].host, "www.hostile.test");
}

TEST_F(HostileSite, AListingOutOfTimeOrCancelledKeepsWhatItFoundAndSaysWhy) {
  // Each pause between reads moves the clock ten times its length, as over a slow
  // network: endless paging runs into the listing's 30 seconds long before its page bound. The
  // host, asked at least once a second, may stop it sooner. Either way the albums found are listed
  // and the page says why.
  const struct {
    const char* title;
    int stopAtQuestion;  // the host's answer to this question is "abort" (0: never)
    const char* message;
  } rows[] = {
      {"time runs out", 0, report::msg::kListingTimeCut},
      {"the host cancels", 3, report::msg::kListingCancelled},
  };
  for (const auto& r : rows) {
    testing_support::VirtualClock clock(10);
    const std::uint64_t start = clock.Now();
    int questions = 0;
    std::uint64_t lastQuestion = start;
    std::uint64_t longestGap = 0;
    history_.clear();
    listing_ = browser_.Browse("http://www.hostile.test/loop/", [&](int percent) {
      EXPECT_GE(percent, 0);
      EXPECT_LE(percent, 100);
      longestGap = std::max(longestGap, clock.Now() - lastQuestion);
      lastQuestion = clock.Now();
      return ++questions != r.stopAtQuestion;
    });
    ASSERT_NE(listing_, nullptr) << r.title;
    EXPECT_GT(count(), 0) << r.title;
    EXPECT_LT(count(), int(engine::kMaxPages)) << r.title;
    const auto why = Reports(r.message);
    ASSERT_EQ(why.size(), 1u) << r.title;
    EXPECT_EQ(why[0].host, "www.hostile.test") << r.title;
    EXPECT_NE(why[0].expression.find(std::to_string(count())), std::string::npos)
        << r.title << ": " << why[0].expression;
    EXPECT_TRUE(Reports(report::msg::kPagingCut).empty()) << r.title;
    // Asked at least once a second of the listing's own clock (give or take one pause, here
    // ten times the module's), and never held past its bound by more than that.
    const std::uint64_t onePause = 10u * net::kReadPauseMs;
    EXPECT_LE(longestGap, 1000u + onePause) << r.title;
    EXPECT_LE(clock.Now() - start, 30000u + onePause) << r.title;
    if (r.stopAtQuestion) {
      EXPECT_EQ(questions, r.stopAtQuestion) << r.title;
    }
  }
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
  ASSERT_EQ(count(), 1);
  EXPECT_STREQ(Name(0), "before");
  EXPECT_EQ(Browse("_/bytes/4096?nul=1"), 0);  // a NUL first: an empty page
  EXPECT_EQ(Reports(report::msg::kReadE15).size(), 1u);
}

TEST_F(HostileSite, NamesLongerThanTheHostShowsAreCutAndStillFound) {
  ASSERT_EQ(Browse("long/"), 1);
  ASSERT_EQ(count(), 2);
  const std::string name = Name(0);
  EXPECT_EQ(name, std::string(259, 'N'));
  // Opening the album by the name the host shows finds its address.
  history_.clear();
  // (the site has no such page: the report names the page asked for).
  EXPECT_EQ(browser_.BrowseAlbum(*listing_, name.c_str()), nullptr);
  ASSERT_FALSE(history_.empty());
  EXPECT_EQ(history_.back().url, "a/long/");
}

TEST_F(HostileSite, ExpressionsCatastrophicForABacktrackerTakeLinearWork) {
  // A backtracking search would try exponentially many ways through these loops over a
  // page of 200,000 "a" without a match. The library counts the steps its searches take;
  // each search may take 64 a byte (and a fixed 20 million more before it gives up and
  // reports no match), so a browse within 64 a byte of the page gave up nowhere.
  WriteScript({{"AlbumExpression", "(a*)*b|(x+x+)+y|(.*)(.*)(.*)(.*)c"}});
  const std::uint64_t before = SearchSteps();
  EXPECT_EQ(Browse(Repeat(200000, "a")), 0);
  EXPECT_EQ(Reports(report::msg::kNoAlbum).size(), 1u);
  EXPECT_LT(SearchSteps() - before, 64u * 200000u);
}

TEST_F(HostileSite, AResetInTheMiddleOfAPageFailsTheListing) {
  EXPECT_EQ(Browse("_/reset"), 0);
  EXPECT_EQ(Reports(report::msg::kReadE15).size() + Reports(report::msg::kRequestE14).size(), 1u);
}

TEST_F(HostileSite, APageThatStopsShortOfItsLengthFailsTheListingAsAFailedRead) {
  // The read stops before the promised length: never taken as the whole page, and a failed
  // read (its status line came), not a failed request, on every platform.
  for (const char* path : {"_/short/5000/100", "_/short/5000/0"}) {
    EXPECT_EQ(Browse(path), 0) << path;
    EXPECT_EQ(Reports(report::msg::kReadE15).size(), 1u) << path;
    EXPECT_TRUE(Reports(report::msg::kRequestE14).empty()) << path;
    EXPECT_TRUE(Reports(report::msg::kNoAlbum).empty()) << path;
  }
}

TEST_F(HostileSite, PhotoEntryThatCannotBeTakenApartIsReportedForAddressPreviewAndName) {
  ASSERT_EQ(Browse("p/e33/"), 2);
  ASSERT_EQ(count(), 2);
  EXPECT_STREQ(Name(0), "good.jpg");
  EXPECT_EQ(entry(0).size, 9u);
  EXPECT_STREQ(Name(1), "NULL.jpg");
  EXPECT_EQ(entry(1).address.str(), "NULL");
  EXPECT_EQ(entry(1).preview.str(), "NULL");
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

TEST_F(HostileSite, GroupsThatTakeNoPartInAnEntryAreEmptyNotTheEntryBefore) {
  // Photos with and without their optional parts, taken apart by expressions whose groups
  // may not take part: every entry's names come from its own match alone (and are safe
  // names: the addresses' slashes become "_").
  const struct {
    const char* orig;
    const char* name;
    std::vector<std::string> want;
  } rows[] = {
      {"<img src=\"(/img/[^\"]+)\"( alt=\"([^\"]*)\")?( data-q=\"([^\"]*)\")?>",
       "[%s][%s].jpg`Match[3]`Match[5]",
       {"[p][q].jpg", "[plain2][].jpg", "[][r].jpg", "[last][].jpg"}},
      {"<img src=\"(/img/[^\"]+)\"(?: alt=\"(p|plain2)\"| alt=\"(last)\")?",
       "%s-%s-%s.jpg`Match[2]`Match[3]`Match[1]",
       {"p--_img_a.jpg.jpg", "plain2--_img_b.jpg.jpg", "--_img_c.jpg.jpg", "-last-_img_d.jpg.jpg"}},
      // Match[n] past the expression's last group is no group at all: "NULL" as ever.
      {"<img src=\"(/img/[^\"]+)\"",
       "%s-%s.jpg`Match[1]`Match[13]",
       {"_img_a.jpg-NULL.jpg", "_img_b.jpg-NULL.jpg", "_img_c.jpg-NULL.jpg",
        "_img_d.jpg-NULL.jpg"}},
  };
  for (const auto& row : rows) {
    WriteScript({{"FotoExpression", "<img src=\"[^\"]+\"[^>]*>"},
                 {"OrigExpression", row.orig},
                 {"NameFoto", row.name}});
    // Twice: a second listing starts from nothing of the first either.
    for (int listing = 0; listing < 2; ++listing) {
      ASSERT_EQ(Browse("p/groups/"), 2) << row.orig;
      ASSERT_EQ(count(), 4) << row.orig;
      for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Name(i), row.want[std::size_t(i)]) << row.orig;
    }
  }
}

// Counts the writes of the error page.
int pageWrites = 0;
bool CountingWrite(const char*, const void*, std::size_t, bool* written) {
  ++pageWrites;
  *written = true;
  return true;
}

TEST_F(HostileSite, AListingReadsAtMost64MegabytesOfPages) {
  // Pages of 19.2 MB, each with one album and a next page: after 64 MB of page text the
  // listing stops with what it found, and says so once.
  const std::string big = "_/repeat/800000?text=Axy0123456789abcdefghij";
  WriteScript({{"AlbumExpression", "^A(x)(y)"},
               {"UrlAlbum", "/a/%s/`Match[1]"},
               {"IfNextPageAlbum", "^A"},
               {"NextPageAlbum", "/" + big}});
  ASSERT_EQ(Browse(big), 1);
  EXPECT_EQ(count(), 3);
  EXPECT_EQ(Reports(report::msg::kPageTextCut).size(), 1u);

  // The same pages each behind a small warning page: the page behind the warning counts
  // against the same 64 MB.
  const std::string warning = "_/repeat/1?text=" + UrlEncode("warn:/" + big + ";");
  WriteScript({{"AlbumExpression", "^A(x)(y)"},
               {"UrlAlbum", "/a/%s/`Match[1]"},
               {"EroWarning", "/_/repeat/800000[^;]+"},
               {"IfNextPageAlbum", "^A"},
               {"NextPageAlbum", "/" + warning}});
  ASSERT_EQ(Browse(warning), 1);
  EXPECT_EQ(count(), 3);
  EXPECT_EQ(Reports(report::msg::kPageTextCut).size(), 1u);
}

TEST_F(HostileSite, EntriesAreCutAndThePasswordAskedOncePerListing) {
  // One entry of 216 KB is kept as its first 64 KB.
  WriteScript({{"AlbumExpression", "^A(x)(y).*"}, {"UrlAlbum", "/a/%s/`Match[1]"}});
  ASSERT_EQ(Browse("_/repeat/9000?text=Axy0123456789abcdefghij"), 1);
  ASSERT_EQ(count(), 1);
  EXPECT_EQ(Reports(report::msg::kEntryCut).size(), 1u);

  // A page that asks for the password on every page asks the user once per listing.
  WriteScript({{"PassRequest", "/unlock/[a-z]+"}, {"PassSendForm", "pw=%s`Match[1]"}});
  answers_.asked = 0;
  ASSERT_EQ(Browse("p/lockloop/"), 2);
  EXPECT_EQ(count(), 3);
  EXPECT_EQ(answers_.asked, 1);
}

TEST_F(HostileSite, RefusedAddressesAreReportedAndThePageWrittenOnce) {
  // 100,000 entries whose addresses are refused (on another host, or over 2 KB): each is
  // reported, and the error page is written once, with the last report.
  WriteScript({});
  const std::string longPath(3000, 'p');
  platform::FileCallOverrides counting{CountingWrite};
  platform::OverrideFileCalls(&counting);
  pageWrites = 0;
  const int mode =
      Browse(Repeat(100000, "<a class=\"album\" href=\"http://other.test/x{i}\">A{i}</a>"));
  platform::OverrideFileCalls(nullptr);
  ASSERT_EQ(mode, 1);
  EXPECT_EQ(count(), 100000);
  EXPECT_EQ(entry(0).address.str(), "NULL");
  EXPECT_EQ(Reports(report::msg::kAddressRefused).size(), 100000u);
  EXPECT_EQ(pageWrites, 1);
  ASSERT_EQ(Browse(Repeat(1, "<a class=\"album\" href=\"/" + longPath + "\">L</a>")), 1);
  ASSERT_EQ(Reports(report::msg::kAddressRefused).size(), 1u);
  EXPECT_EQ(history_.back().url.size(), 2048u);
}

TEST_F(HostileSite, PasswordSteps) {
  // Without PassRequest nothing of the password steps happens, even on a page that
  // PassExpression would call open: no prompt, the ordinary expressions.
  WriteScript({{"PassExpression", "<div class=\"open\">"}});
  ASSERT_EQ(Browse("p/open/"), 2);
  EXPECT_EQ(answers_.asked, 0);
  EXPECT_STREQ(Name(0), "shown.jpg");

  // With PassRequest, a page with the form asks; a cancelled prompt leaves the page as it
  // was, and its photo is listed with the ordinary expressions.
  WriteScript({{"PassRequest", "/unlock/[a-z]+"}, {"PassSendForm", "pw=%s`Match[1]"}});
  ASSERT_EQ(Browse("p/open/"), 2);
  EXPECT_EQ(answers_.asked, 1);
  EXPECT_STREQ(Name(0), "shown.jpg");
}

TEST_F(HostileSite, CookiesAPasswordBroughtBelongToTheirHost) {
  // The site answers the password form with a cookie: it is kept for this host only, and a
  // script of any other host reads no Cookie1.
  // The site's answer ("ok") is the open album; its photo's name reads Cookie1.
  WriteScript({{"PassRequest", "/_/login"},
               {"PassSendForm", "password=%s`Match[1]"},
               {"PassExpression", "(o)k"},
               {"PassFoto", "/img/a.jpg"},
               {"PassPrev", "/img/a.jpg"},
               {"NameFoto", "%s-%s`Match[1]`Cookie1"}},
              "Cookie1=session\n");
  answers_.password = "secret";
  ASSERT_EQ(Browse("p/login/"), 2);
  EXPECT_EQ(answers_.asked, 1);
  EXPECT_STREQ(Name(0), "o-secret.jpg");
  EXPECT_EQ(browser_.CookiesFor("www.hostile.test").str(), "session=secret");
  EXPECT_EQ(browser_.CookiesFor("www.other.test").str(), "");
}

TEST_F(HostileSite, ScriptsWithMissingEmptyLongAndBinaryValues) {
  WriteScript({{"DirExpression", "<absent>"}});
  EXPECT_EQ(Browse("long/"), 0);
  EXPECT_EQ(Reports(report::msg::kScript).size(), 1u);

  // An empty required key is present: the names come out empty.
  WriteScript({{"NameAlbum", ""}});
  // Both names are empty, shown as "_": the second is told apart by its number.
  ASSERT_EQ(Browse("long/"), 1);
  EXPECT_STREQ(Name(0), "_");
  EXPECT_STREQ(Name(1), "_ (2)");

  // A value longer than 259 characters is cut by the reader; the cut expression does not
  // compile and matches nothing.
  WriteScript({{"AlbumExpression", "(" + std::string(300, 'x') + ")"}});
  EXPECT_EQ(Browse("long/"), 0);
  const auto none = Reports(report::msg::kNoAlbum);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].expression.size(), 259u);

  // Bytes of every value from 1 to 255 (but line ends, and "#", which begins the fragment a
  // link leaves behind) in a template travel through.
  std::string binary;
  for (int b = 1; b < 256; ++b)
    if (b != '\n' && b != '\r' && b != '%' && b != '`' && b != ';' && b != '"' && b != '\'' &&
        b != '#')
      binary += char(b);
  binary = binary.substr(0, 240);
  WriteScript({{"UrlAlbum", "/" + binary.substr(20) + "%s`Match[1]"}});
  ASSERT_EQ(Browse("long/"), 1);
  const std::string address = entry(1).address.str();
  EXPECT_NE(address.find("/a/short/"), std::string::npos);
}

TEST_F(HostileSite, CookieKeysBeyondTheFifthAreReadButNeverReached) {
  std::string extra;
  for (int n = 1; n <= 50; ++n)
    extra += "Cookie" + std::to_string(n) + "=c" + std::to_string(n) + "\n";
  WriteScript({{"NameAlbum", "%s|%s|%s`Cookie1`Cookie2`Cookie6"}}, extra);
  ASSERT_EQ(Browse("long/"), 1);
  EXPECT_STREQ(Name(0), "_c2_NULL");  // "|" is no file-name character
}

TEST_F(HostileSite, LinksResolveAgainstTheirPageAndRepeatsAreOneEntry) {
  ASSERT_EQ(Browse("g/"), 1);
  const struct {
    const char* name;
    const char* address;
  } want[] = {
      // The picture's link comes first, nameless: the title's link gives the entry its name.
      {"Harbour", "/g/harbour/"},
      {"Mountains & Lakes", "/g/Mountains%20%26%20Lakes/"},
      // References decoded into the code page; an unknown one, a NUL and one without its
      // ";" stay as written.
      {"\xC3\xEE\xF0\xEE\xE4 'n' ____ \xA9 &bogus; &#0; &amp",
       "/g/%D0%93%D0%BE%D1%80%D0%BE%D0%B4/"},
      {"Absolute", "/g/abs/"},
      {"Absolute 2", "/g/abs2/"},
      {"Elsewhere", "NULL"},  // another host: refused
      // Page 2 (more/page2.html): the same address on another page is another entry.
      {"Harbour again, on its own page", "/g/harbour/"},
      {"X", "/g/more/x/"},
  };
  ASSERT_EQ(count(), int(sizeof want / sizeof want[0]));
  for (int i = 0; i < count(); ++i) {
    EXPECT_STREQ(Name(i), want[i].name) << i;
    EXPECT_EQ(entry(i).address.str(), want[i].address) << i;
  }
  const auto refused = Reports(report::msg::kAddressRefused);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].url, "http://other.test/g/elsewhere/");
  // In UTF-8 the same references give the letters themselves.
  WriteScript({{"Utf", "1"}});
  ASSERT_EQ(Browse("g/"), 1);
  EXPECT_EQ(entry(2).utf8Name.str(),
            "\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4 'n' \"<>\" \xC2\xA9 &bogus; &#0; &amp");
}

TEST_F(HostileSite, NamesFromAddressesArePercentDecodedWhenTheScriptSaysSo) {
  const struct {
    const char* decode;
    const char* name;  // of the second album
  } rows[] = {
      {"0", "Mountains%20%26%20Lakes"},
      {"1", "Mountains & Lakes"},
      {"<absent>", "Mountains%20%26%20Lakes"},
  };
  for (const auto& row : rows) {
    WriteScript({{"AlbumExpression", "<a class=\"album\" href=\"([^\"]+)/\">([^<]*)</a>"},
                 {"NameAlbum", "%s`Match[1]"},
                 {"DecodeNames", row.decode}});
    ASSERT_EQ(Browse("g/"), 1) << row.decode;
    EXPECT_STREQ(Name(1), row.name) << row.decode;
  }
}

TEST_F(HostileSite, PagingKeysOfMinusOneMeanOnePage) {
  const struct {
    const char* ifNext;
    const char* next;
    int entries;
  } rows[] = {
      {"-1", "-1", 6},
      {"-1", "%s`Match[1]", 6},
      {"<a class=\"next\" href=\"([^\"]+)\">", "-1", 6},
      {"<a class=\"next\" href=\"([^\"]+)\">", "%s`Match[1]", 8},
  };
  for (const auto& row : rows) {
    WriteScript({{"IfNextPageAlbum", row.ifNext}, {"NextPageAlbum", row.next}});
    ASSERT_EQ(Browse("g/"), 1) << row.ifNext << " " << row.next;
    EXPECT_EQ(count(), row.entries) << row.ifNext << " " << row.next;
    EXPECT_TRUE(Reports(report::msg::kScript).empty());
  }
  // The photo pair likewise.
  WriteScript({{"IfNextPageFoto", "-1"}, {"NextPageFoto", "-1"}});
  ASSERT_EQ(Browse("p/next404/"), 2);
  EXPECT_EQ(count(), 1);
  EXPECT_TRUE(history_.empty());
}

TEST_F(HostileSite, AnErrorStatusIsAFailedRequestNamingThePageThatFailed) {
  const struct {
    const char* path;
    int mode;
    int entries;
    const char* message;
    const char* url;
  } rows[] = {
      {"nosuch/", 0, 0, report::msg::kRequestE14, "nosuch/"},
      {"p/nosuch/", 0, 0, report::msg::kRequestE17, "p/nosuch/"},
      // A later page: paging stops, the listing keeps page 1.
      {"g404/", 1, 1, report::msg::kRequestE24, "/g404/missing.html"},
      {"p/next404/", 2, 1, report::msg::kRequestE23, "/p/next404/missing/"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Browse(row.path), row.mode) << row.path;
    EXPECT_EQ(count(), row.entries) << row.path;
    const auto failed = Reports(row.message);
    ASSERT_EQ(failed.size(), 1u) << row.path;
    EXPECT_EQ(failed[0].url, row.url) << row.path;
    EXPECT_EQ(failed[0].expression, "HTTP 404") << row.path;
    EXPECT_TRUE(Reports(report::msg::kNoAlbum).empty()) << row.path;
    EXPECT_TRUE(Reports(report::msg::kNoPhoto).empty()) << row.path;
  }
}

TEST_F(HostileSite, ALaterPageWithoutEntriesEndsPagingWithoutAReport) {
  // Galleries page albums and photos as one sequence: the last page may hold only the other
  // kind. Only a first page without entries is a listing with nothing to show.
  const struct {
    const char* path;
    int mode;
    int entries;
    const char* report;  // null: no report at all
  } rows[] = {
      {"gempty/", 1, 1, nullptr},
      {"p/empty2/", 2, 1, nullptr},
      {"nothing/", 0, 0, report::msg::kNoAlbum},
      {"p/empty2/page2.html", 0, 0, report::msg::kNoPhoto},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Browse(row.path), row.mode) << row.path;
    EXPECT_EQ(count(), row.entries) << row.path;
    if (row.report) {
      EXPECT_EQ(Reports(row.report).size(), 1u) << row.path;
    } else {
      EXPECT_TRUE(history_.empty()) << row.path << ": " << history_[0].message;
    }
  }
}

TEST_F(HostileSite, AScriptWithoutUsersListsWithoutAReport) {
  // A gallery's addresses name no user: User missing, 0 or -1 all mean none, and nothing is
  // reported for it.
  for (const char* user : {"<absent>", "0", "-1", "1"}) {
    WriteScript({{"User", user}, {"DirExpression", "^http://[^/]+/(gempty)/$"}});
    EXPECT_EQ(Browse("gempty/"), 1) << user;
    EXPECT_EQ(count(), 1) << user;
    EXPECT_TRUE(history_.empty()) << user << ": " << history_[0].message;
  }
}

// The entries of a listing as "name" for a photo and "name/" for an album, in order.
std::vector<std::string> Shown(const engine::ListingPtr& listing) {
  std::vector<std::string> shown;
  if (!listing) return shown;
  for (const engine::Entry& e : listing->entries)
    shown.push_back(e.name.str() + (e.album ? "/" : ""));
  return shown;
}

TEST_F(HostileSite, AnAlbumListsItsAlbumsBesideItsPhotosToAnyDepth) {
  using Names = std::vector<std::string>;
  // Without the nesting keys an album lists its photos only, as it always did.
  ASSERT_EQ(Browse("p/nest/"), 2);
  EXPECT_EQ(Shown(listing_), (Names{"first.jpg", "first (2).jpg"}));
  EXPECT_TRUE(history_.empty());

  WriteScript({{"SubAlbumExpression", "<a class=\"sub\" href=\"([^\"]+)\">([^<]*)</a>"}});
  ASSERT_EQ(Browse("p/nest/"), 2);
  // Albums first, each once, none leading back to a page of the trail; a photo named like
  // an album gets the next free name. Both pages of the album are read for both kinds.
  EXPECT_EQ(Shown(listing_), (Names{"Island/", "first.jpg/", "first (2).jpg", "first (3).jpg"}));
  EXPECT_TRUE(history_.empty()) << history_[0].message;
  EXPECT_EQ(entry(0).size, 0u);
  EXPECT_GT(entry(2).size, 0u);
  const engine::ListingPtr trip = listing_;

  const struct {
    const engine::ListingPtr* parent;
    const char* album;
    Names shown;
  } levels[] = {
      // Links up to the album itself and to the trip are not albums of the island.
      {&trip, "Island", {"Beach/", "shore.jpg"}},
      // An album holding only albums (a link across to a sibling is an album).
      {&trip, "first.jpg", {"Island, again/"}},
  };
  engine::ListingPtr island;
  for (const auto& level : levels) {
    history_.clear();
    const engine::ListingPtr listed = browser_.BrowseAlbum(**level.parent, level.album);
    ASSERT_NE(listed, nullptr) << level.album;
    EXPECT_EQ(Shown(listed), level.shown) << level.album;
    EXPECT_TRUE(history_.empty()) << level.album;
    if (!island) island = listed;
  }
  // Three levels down, every link up is left out.
  const engine::ListingPtr beach = browser_.BrowseAlbum(*island, "Beach");
  EXPECT_EQ(Shown(beach), (Names{"sand.jpg"}));
  // A photo is no album to open.
  EXPECT_EQ(browser_.BrowseAlbum(*trip, "first (2).jpg"), nullptr);
}

TEST_F(HostileSite, RequestPathsAreSentEncodedAndAddressesKeepTheirBytes) {
  // Utf=0: names are in the code page, addresses are still never converted.
  ASSERT_EQ(Browse("enc/"), 1);
  ASSERT_EQ(count(), 3);
  const struct {
    const char* address;  // as listed
    const char* sent;     // the path on the request line
  } rows[] = {
      {"/enc/a b/", "/enc/a%20b/"},
      {"/enc/\xD0\xB3\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4/", "/enc/%D0%B3%D0%BE%D1%80%D0%BE%D0%B4/"},
      {"/enc/x%20y/", "/enc/x%20y/"},
  };
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(entry(i).address.str(), rows[i].address);
    const std::size_t before = testing_support::LoggedRequests().size();
    EXPECT_EQ(browser_.BrowseAlbum(*listing_, Name(i)), nullptr);  // the site has no such page
    const auto sent = testing_support::LoggedSince(before);
    ASSERT_EQ(sent.size(), 1u) << rows[i].address;
    EXPECT_EQ(testing_support::Field(sent[0], "path"), rows[i].sent);
  }
}

TEST_F(HostileSite, ThePhotoServerIsTheListingsOwn) {
  // ServFoto is expanded with the user and album of the address being listed, also when
  // another album was listed just before.
  WriteScript({{"FileExpression", "^http://[^/]+/p/([^/]+)/$"}, {"ServFoto", "%s.img.test`Album"}});
  for (const char* album : {"open", "dl", "open"}) {
    ASSERT_EQ(Browse(std::string("p/") + album + "/"), 2) << album;
    ASSERT_GE(count(), 1) << album;
    EXPECT_EQ(entry(0).server.str(), std::string(album) + ".img.test") << album;
  }
}

TEST_F(HostileSite, PhotoNamesLoseTrailingDotsAndBlanksAndComeFromUtf8) {
  WriteScript({{"Utf", "1"}});
  ASSERT_EQ(Browse("p/names/"), 2);
  ASSERT_EQ(count(), 3);  // the second link to /img/1.jpg is the first photo
  EXPECT_STREQ(Name(0), "Sunset.jpg");
  EXPECT_STREQ(Name(1), "\xC3\xEE\xF0\xEE\xE4.jpg");
  EXPECT_EQ(entry(1).wideName.str(), "\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4.jpg");
  EXPECT_STREQ(Name(2), "Dots.jpg");
}

TEST_F(HostileSite, AShortPhotoIsReplacedOnlyByAnImage) {
  ASSERT_EQ(Browse("p/small/"), 2);
  ASSERT_EQ(count(), 4);
  // The served photos: a JPEG's first and last bytes around one repeated byte.
  auto jpeg = [](std::size_t size, char fill) {
    return "\xFF\xD8\xFF\xE0" + std::string(size - 6, fill) + "\xFF\xD9";
  };
  const struct {
    const char* name;
    std::string bytes;  // what the copy must hold
  } rows[] = {
      {"html.jpg", jpeg(1500, 'h')},     // NAME.JPG is a 200 "no such page" in HTML
      {"missing.jpg", jpeg(1500, 'm')},  // NAME.JPG answers 404
      {"text.jpg", jpeg(1500, 't')},     // NAME.JPG is text
      {"real.jpg", jpeg(3000, 'R')},     // NAME.JPG is the photo
  };
  for (int i = 0; i < 4; ++i) {
    ASSERT_STREQ(Name(i), rows[i].name);
    const std::string local = dir_.File(rows[i].name);
    ASSERT_EQ(browser_.DownloadPhoto(*listing_, entry(i), false, local.c_str()),
              engine::CopyResult::kCopied)
        << rows[i].name;
    EXPECT_EQ(dir_.Read(rows[i].name), rows[i].bytes) << rows[i].name;
  }
}

TEST_F(HostileSite, SitesInTheSettingsBindAHostToAScript) {
  const std::string settings = dir_.File("frameleaf.ini");
  auto bind = [&](const std::string& line) {
    dir_.Write("frameleaf.ini", "[sites]\n" + line + "\n");
    browser_.LoadRegexLibrary(testing_support::BesideTestProgram(FL_REGEX_FILE).c_str(),
                              dir_.File("scripts\\").c_str(), settings.c_str());
  };
  std::string bound = "[bound]\n";
  for (const auto& kv : kScript)
    bound += kv.first + "=" + (kv.first == "NameAlbum" ? "bound-%s`Match[2]" : kv.second) + "\n";
  dir_.Write("scripts/bound", bound);
  const struct {
    const char* line;
    const char* name;  // of the second album; null: E9
  } rows[] = {
      {"WWW.Hostile.TEST=bound", "bound-short"},
      {"www.hostile.test = \"bound\"", "bound-short"},
      {"www.hostile.test=nosuch", nullptr},
      {"www.hostile.test=../scripts/bound", nullptr},
      {"www.hostile.test=", nullptr},
      {"other.test=bound", "short"},  // another host: the domain's script
      {"", "short"},
  };
  for (const auto& row : rows) {
    bind(row.line);
    EXPECT_EQ(Browse("long/"), row.name ? 1 : 0) << row.line;
    if (row.name) {
      EXPECT_STREQ(Name(1), row.name) << row.line;
    } else {
      EXPECT_EQ(Reports(report::msg::kScript).size(), 1u) << row.line;
    }
  }
}

}  // namespace

namespace {

// The analysis of an address on its own: the built-in host expressions run through the
// real matching library, with no site to ask.
class Analysis : public ::testing::Test {
 protected:
  void SetUp() override {
    errors_.KeepHistory(&history_);
    ASSERT_EQ(library_.Load(testing_support::BesideTestProgram(FL_REGEX_FILE).c_str()), 1);
  }
  net::HttpSession http_;
  regex::RegexLibrary library_;
  regex::Search search_{library_};
  report::ErrorReporter errors_;
  std::vector<report::ReportRecord> history_;
  engine::Budget budget_;
  engine::Tools tools_{http_, search_, errors_, nullptr, budget_};
  engine::Request request_;
  engine::SiteScript& script_ = request_.script;
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
      {"http://ab.cd/x", 1, "ab.cd", "ab.cd"},  // two labels: the whole host
      {"http://ab.c/", 1, "ab.c", "ab.c"},
      {"http://example.com/", 1, "example.com", "example.com"},
      {"http://llgal.test/", 1, "llgal.test", "llgal.test"},
      {"http://Photos.Example.TEST/x", 1, "Photos.Example.TEST", "Example.TEST"},  // as written
      {"http://localhost/x", 1, "localhost", "localhost"},
      {"http://ab", 1, "ab", "ab"},
      {"http://www.x.test:8080/u/", 1, "www.x.test:8080", "x.test"},  // scripts: no port
      {"http://x.test:8080/u/", 1, "x.test:8080", "x.test"},
      {"http://127.0.0.1:8000/", 1, "127.0.0.1:8000", "127.0.0.1"},  // digits: no domain
      {"http://gallery-1.home.arpa/x", 1, "gallery-1.home.arpa", "home.arpa"},
      {"http:///x", 0, "", ""},
      {"http://", 0, "", ""},
      {"http://a..b/", 0, "", ""},
      {"http://.ab.test/", 0, "", ""},
      {"http://ab.test./", 0, "", ""},
      {"http://a b.test/", 0, "", ""},
      {"x http://", 0, "", ""},
  };
  for (const auto& c : cases) {
    request_ = engine::Request();
    request_.url = c.url;
    history_.clear();
    EXPECT_EQ(engine::DetermineHost(tools_, &request_), bool(c.ok)) << c.url;
    EXPECT_EQ(request_.host.str(), c.host) << c.url;
    EXPECT_EQ(request_.scriptName.str(), c.scriptName) << c.url;
    EXPECT_EQ(history_.size(), c.ok ? 0u : 1u) << c.url;
  }
}

TEST_F(Analysis, SettingsBindHostsWithOrWithoutTheirPort) {
  testing_support::ScratchFolder dir;
  dir.Write("frameleaf.ini",
            "[sites]\nx.test:8080=withport\nX.TEST=noport\n127.0.0.1:8000=local\n"
            "[other]\ny.test=elsewhere\n");
  const std::string settings = dir.File("frameleaf.ini");
  const struct {
    const char* host;
    const char* script;  // null: not bound
  } rows[] = {
      {"x.test:8080", "withport"}, {"x.test:9090", "noport"}, {"x.Test", "noport"},
      {"127.0.0.1:8000", "local"}, {"127.0.0.1", nullptr},    {"y.test", nullptr},
      {"www.x.test", nullptr},
  };
  for (const auto& r : rows) {
    common::ByteString script;
    EXPECT_EQ(engine::BoundScript(settings, r.host, &script), r.script != nullptr) << r.host;
    if (r.script) {
      EXPECT_EQ(script.str(), r.script) << r.host;
    }
  }
  common::ByteString none;
  EXPECT_FALSE(engine::BoundScript("", "x.test:8080", &none));
  EXPECT_FALSE(engine::BoundScript(dir.File("missing.ini"), "x.test:8080", &none));
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
    request_.url = m.url;
    request_.mode = engine::kModeNone;
    engine::DetermineMode(tools_, &request_);
    EXPECT_EQ(request_.mode, m.mode) << m.url;
  }
  request_.url = "http://h.example.test/users/x/";
  engine::DeterminePagePath(tools_, &request_);
  EXPECT_EQ(request_.pagePath.str(), "users/x/");
  // Nothing after the host's "/": reported with the address (for a site with users), and
  // the path emptied.
  history_.clear();
  script_.userGroup = 1;
  request_.url = "http://h.example.test/";
  engine::DeterminePagePath(tools_, &request_);
  EXPECT_EQ(request_.pagePath.str(), "");
  ASSERT_EQ(history_.size(), 1u);
  EXPECT_EQ(history_[0].message, report::msg::kPagePath);
  EXPECT_EQ(history_[0].url, "http://h.example.test/");
  // A site without users: the bare host is the gallery's top, nothing to report.
  history_.clear();
  script_.userGroup = 0;
  for (const char* top : {"http://h.example.test/", "http://h.example.test"}) {
    request_.url = top;
    engine::DeterminePagePath(tools_, &request_);
    EXPECT_EQ(request_.pagePath.str(), "") << top;
  }
  EXPECT_TRUE(history_.empty());
}

TEST_F(Analysis, UserAndAlbumFromTheModesAddressExpression) {
  script_.fileExpression = "/u/([^/]+)/a/([^/]+)/";
  script_.dirExpression = "/u/([^/]+)/$";
  script_.userGroup = 1;
  script_.albumGroup = 2;
  request_.url = "http://h.example.test/u/anna/a/sea/";
  request_.mode = engine::kModePhotos;
  EXPECT_TRUE(engine::DetermineUserAndAlbum(tools_, &request_));
  EXPECT_EQ(request_.user.str(), "anna");
  EXPECT_EQ(request_.album.str(), "sea");
  // Album mode: the album group does not exist in DirExpression and gives empty text; a
  // group number far past the last slot is no harm either.
  request_.url = "http://h.example.test/u/bob/";
  request_.mode = engine::kModeAlbums;
  script_.albumGroup = 1000000;
  EXPECT_TRUE(engine::DetermineUserAndAlbum(tools_, &request_));
  EXPECT_EQ(request_.user.str(), "bob");
  EXPECT_EQ(request_.album.str(), "");
  // The ".jpg" rule chose photo mode, but FileExpression does not match: E11.
  request_.url = "http://h.example.test/x.jpg";
  request_.mode = engine::kModePhotos;
  EXPECT_FALSE(engine::DetermineUserAndAlbum(tools_, &request_));
  EXPECT_EQ(history_.back().message, report::msg::kAuthor);
}

TEST(Listing, EntriesAreFoundByTheirWholeNameLetterCaseAside) {
  engine::Listing listing;
  listing.mode = engine::kModePhotos;
  for (const char* name : {"Sea.jpg", "p.jpg", "p (2).jpg", "\xCC\xEE\xF0\xE5.jpg"}) {
    engine::Entry e;
    e.name = name;
    e.address = std::string("/p/") + name;
    listing.entries.push_back(e);
  }
  const struct {
    const char* name;
    const char* address;  // null: not found
  } cases[] = {
      {"Sea.jpg", "/p/Sea.jpg"},
      {"SEA.JPG", "/p/Sea.jpg"},
      {"p (2).jpg", "/p/p (2).jpg"},
      {"\xEC\xEE\xD0\xC5.jpg", "/p/\xCC\xEE\xF0\xE5.jpg"},  // Windows-1251 letters
      {"Sea", nullptr},                                     // a part of a name is not the name
      {"Sea.jpg ", nullptr},                                // nor is more than it
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const engine::Entry* found = listing.Find(c.name);
    if (!c.address) {
      EXPECT_EQ(found, nullptr) << c.name;
    } else {
      ASSERT_NE(found, nullptr) << c.name;
      EXPECT_EQ(found->address.str(), c.address) << c.name;
    }
  }
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

TEST_F(HostileSite, AnEntryWithoutAnAddressIsNeverFetched) {
  // A photo whose address could not be made is listed, but copying it fails at once:
  // asking for "NULL" would save whatever page the server answers as the photo.
  ASSERT_EQ(Browse("p/noaddr/"), 2);
  ASSERT_EQ(count(), 2);
  EXPECT_EQ(entry(1).address.str(), "NULL");
  history_.clear();
  std::size_t before = testing_support::LoggedRequests().size();
  const std::string local = dir_.File("lost.jpg");
  EXPECT_EQ(browser_.DownloadPhoto(*listing_, entry(1), false, local.c_str()),
            engine::CopyResult::kNotFound);
  EXPECT_EQ(Reports(report::msg::kPhotoWithoutAddress).size(), 1u);
  EXPECT_EQ(testing_support::LoggedRequests().size(), before);
  EXPECT_FALSE(dir_.Exists("lost.jpg"));

  // An album listed without an address, and a name the listing does not hold: nothing is
  // asked for and the page says so (never "no script for the host").
  ASSERT_EQ(Browse(Repeat(1, "<a class=\"album\" href=\"http://other.test/x\">Away</a>")), 1);
  for (const char* name : {"Away", "Missing"}) {
    history_.clear();
    before = testing_support::LoggedRequests().size();
    EXPECT_EQ(browser_.BrowseAlbum(*listing_, name), nullptr) << name;
    EXPECT_EQ(Reports(report::msg::kAlbumWithoutAddress).size(), 1u) << name;
    EXPECT_TRUE(Reports(report::msg::kScript).empty()) << name;
    EXPECT_EQ(testing_support::LoggedRequests().size(), before) << name;
  }
}

TEST_F(HostileSite, AWarningLinkAndAFormActionFollowTheRulesOfEveryLink) {
  // A warning page's link and a password form's action on another host, or over 2 KB, are
  // refused as any link is (E44): nothing is fetched or posted there, no password asked.
  const std::string longPath = "/" + std::string(3000, 'w');
  const struct {
    const char* title;
    std::map<std::string, std::string> keys;
    std::string link;
  } rows[] = {
      {"warning to another host",
       {{"EroWarning", "http://other[.]test/enter/"}},
       "http://other.test/enter/"},
      {"warning over 2 KB", {{"EroWarning", "/www+"}}, longPath},
      {"form to another host",
       {{"PassRequest", "http://other[.]test/unlock"}, {"PassSendForm", "pw=%s`Match[1]"}},
       "http://other.test/unlock"},
  };
  for (const auto& r : rows) {
    WriteScript(r.keys);
    answers_.asked = 0;
    const std::size_t before = testing_support::LoggedRequests().size();
    ASSERT_EQ(Browse(Repeat(1, r.link + " <a class=\"album\" href=\"/a/1\">One</a>")), 1)
        << r.title;
    EXPECT_EQ(count(), 1) << r.title;
    EXPECT_EQ(Reports(report::msg::kAddressRefused).size(), 1u) << r.title;
    EXPECT_EQ(answers_.asked, 0) << r.title;
    EXPECT_EQ(testing_support::LoggedRequests().size(), before + 1) << r.title;  // the page
  }
}

TEST_F(HostileSite, LocalFileFailuresAreWriteFailuresAndLeaveNoFile) {
  ASSERT_EQ(Browse("p/dl/"), 2);
  ASSERT_STREQ(Name(0), "five.jpg");
  platform::FileCallOverrides cannotCreate{};
  cannotCreate.createNewFile = CannotCreate;
  platform::FileCallOverrides halfWay{};
  halfWay.writeToFile = StopsHalfWay;
  halfWayTable = &halfWay;
  const platform::FileCallOverrides real{};
  dir_.MakeFolder("folder.jpg");
  // A target that cannot be made is found out before the photo is asked for; one that
  // fails while it is written is found out after.
  const struct {
    const char* title;
    const char* target;
    const platform::FileCallOverrides* calls;
    const char* message;
    std::size_t requests;
  } rows[] = {
      {"cannot be created", "five.jpg", &cannotCreate, report::msg::kCreateFile, 0},
      {"the target is a folder", "folder.jpg", &real, report::msg::kCreateFile, 0},
      {"stops half-way", "five.jpg", &halfWay, report::msg::kWriteFile, 1},
  };
  for (const auto& r : rows) {
    history_.clear();
    const std::string local = dir_.File(r.target);
    const std::size_t before = testing_support::LoggedRequests().size();
    platform::OverrideFileCalls(r.calls);
    const engine::CopyResult result =
        browser_.DownloadPhoto(*listing_, entry(0), false, local.c_str());
    platform::OverrideFileCalls(nullptr);
    EXPECT_EQ(result, engine::CopyResult::kWriteFailed) << r.title;
    EXPECT_EQ(testing_support::LoggedRequests().size(), before + r.requests) << r.title;
    EXPECT_FALSE(dir_.Exists("five.jpg")) << r.title;
    EXPECT_FALSE(dir_.Exists(std::string(".") + r.target + ".part")) << r.title;
    const auto reports = Reports(r.message);
    ASSERT_EQ(reports.size(), 1u) << r.title;
    EXPECT_EQ(reports[0].url, "/img/five.jpg") << r.title;
    EXPECT_EQ(reports[0].expression, local) << r.title;
  }
  EXPECT_TRUE(dir_.Exists("folder.jpg"));
  // With the real calls the photo arrives whole.
  EXPECT_EQ(browser_.DownloadPhoto(*listing_, entry(0), false, dir_.File("five.jpg").c_str()),
            engine::CopyResult::kCopied);
  EXPECT_EQ(dir_.Read("five.jpg").size(), 5000u);
}

}  // namespace
