// Full-size listings: the photos' own pages are asked together in batches, and what each
// entry becomes (and what the error page is told, in which order) is what reading the pages
// one after another gives. The batch layer is stood in for with a site that answers by path.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/entries.h"
#include "engine/pages.h"
#include "engine/request.h"
#include "net/http_session.h"
#include "platform/internet.h"
#include "platform/platform.h"
#include "regex/regex_library.h"
#include "regex/search.h"
#include "report/error_page.h"
#include "report/messages.h"
#include "test_files.h"

namespace {

struct Batch {
  std::string server;
  std::vector<std::string> objects;
};
std::vector<Batch> batches;

std::string Photo(const char* src, const char* alt) {
  return std::string("<img src=\"") + src + "\" alt=\"" + alt + "\">";
}

// The photo pages of the site, by path: each kind of answer a page can get.
void SitePages(void*, const char* server, int, std::uint32_t, const char*, const char*,
               const std::vector<platform::HeaderQuery>& queries,
               std::vector<platform::HeaderAnswer>* answers, const platform::TransferWatch*) {
  answers->assign(queries.size(), platform::HeaderAnswer{});
  batches.push_back(Batch{server, {}});
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const std::string& path = queries[i].object;
    batches.back().objects.push_back(path);
    platform::HeaderAnswer& a = (*answers)[i];
    if (path == "/p/off") {
      a.error = platform::kErrorCannotConnect;
      continue;
    }
    a.answered = true;
    a.status = 200;
    a.bodyRead = true;
    if (path == "/p/gone") {
      a.status = 404;
      a.body = "not here";
    } else if (path == "/p/moved") {
      a.status = 301;
      a.location = "/q/there";
    } else if (path == "/q/there") {
      a.body = Photo("big/3.jpg", "three");  // relative to where the page was answered from
    } else if (path == "/p/away") {
      a.status = 302;
      a.location = "http://elsewhere.test/p/1";
    } else if (path == "/p/cut") {
      a.bodyRead = false;  // broken off short of its length
    } else if (path == "/p/plain") {
      a.body = "no photo on this page";
    } else if (path.compare(0, 6, "/p/big") == 0) {
      a.body = std::string(40, 'x') + Photo("/img/big.jpg", "big");
    } else {
      a.body = Photo(("/img/" + path.substr(3) + ".jpg").c_str(), ("n" + path.substr(3)).c_str());
    }
  }
}

class FullSize : public ::testing::Test {
 protected:
  void SetUp() override {
    errors_.KeepHistory(&history_);
    ASSERT_EQ(library_.Load(testing_support::BesideTestProgram(FL_REGEX_FILE).c_str()), 1);
    request_.mode = engine::kModePhotos;
    request_.host = "www.site.test";
    request_.pagePath = "/album/";
    request_.photoServer = "www.site.test";
    engine::SiteScript& s = request_.script;
    s.fullSize = 1;
    s.fotoExpression = "<a class=\"p\" href=\"([^\"]+)\">";
    s.urlOrig = "%s`Match[1]";
    s.origExpression = "<img src=\"([^\"]+)\" alt=\"([^\"]*)\">";
    s.urlFoto = "%s`Match[1]";
    s.urlPrev = "%s`Match[1]";
    s.nameFoto = "%s`Match[2]";
    s.servFoto = "www.site.test";
    calls_.netQueryHeaders = SitePages;
    batches.clear();
  }

  std::vector<engine::Entry> Convert(const std::vector<std::string>& links,
                                     std::size_t textRead = 0) {
    engine::PageWalk walk;
    for (const std::string& link : links) {
      walk.raw.push_back(common::ByteString(
          link.empty() ? "<a class=\"x\">" : ("<a class=\"p\" href=\"" + link + "\">").c_str()));
      walk.pageOf.push_back(0);
    }
    walk.pagePaths = {"/album/"};
    walk.page = 2;
    budget_.CountText(textRead);  // the page text the walk read before
    std::vector<engine::Entry> entries;
    platform::OverrideFileCalls(&calls_);
    engine::ConvertEntries(tools_, request_, walk, &entries);
    platform::OverrideFileCalls(nullptr);
    return entries;
  }

  platform::FileCallOverrides calls_{};
  net::HttpSession http_;
  regex::RegexLibrary library_;
  regex::Search search_{library_};
  report::ErrorReporter errors_;
  std::vector<report::ReportRecord> history_;
  engine::Budget budget_;
  engine::Tools tools_{http_, search_, errors_, nullptr, budget_};
  engine::Request request_;
};

TEST_F(FullSize, EachEntryAndEachReportIsWhatTheWalkOnePageAfterAnotherGives) {
  const struct {
    const char* link;     // "": an entry that links no photo page
    const char* address;  // the entry's photo address ("NULL": none)
    const char* name;
  } rows[] = {
      {"/p/1", "/img/1.jpg", "n1"},
      {"/p/off", "NULL", "NULL"},  // no answer
      {"/p/gone", "NULL", "NULL"},
      {"/p/moved", "/q/big/3.jpg", "three"},  // links resolved where the page was answered
      {"/p/away", "NULL", "NULL"},            // a redirect off the site
      {"/p/cut", "NULL", "NULL"},
      {"", "NULL", "NULL"},  // nothing asked, nothing reported
      {"http://other.test/p/9", "NULL", "NULL"},
      {"/p/plain", "NULL", "NULL"},
      {"/p/10", "/img/10.jpg", "n10"},
      {"/p/11", "/img/11.jpg", "n11"},
  };
  std::vector<std::string> links;
  for (const auto& r : rows)
    links.push_back(r.link);
  const std::vector<engine::Entry> entries = Convert(links);
  ASSERT_EQ(entries.size(), links.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].address.str(), rows[i].address) << rows[i].link;
    EXPECT_EQ(entries[i].name.str(), rows[i].name) << rows[i].link;
    EXPECT_EQ(entries[i].server.str(), "www.site.test") << rows[i].link;
  }
  // The reports in entry order, whatever order the pages were answered in.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {report::msg::kRequestE32, "/p/off"},
      {report::msg::kRequestE32, "/p/gone"},
      {report::msg::kRedirectRefused, "/p/away"},
      {report::msg::kReadE33, "/album/"},
      {report::msg::kAddressRefused, "http://other.test/p/9"},
      {report::msg::kConvertE31, "/p/plain"},
  };
  std::vector<std::pair<std::string, std::string>> got;
  for (const report::ReportRecord& r : history_)
    got.emplace_back(r.message, r.url);
  EXPECT_EQ(got, expected);
  ASSERT_EQ(history_.size(), expected.size());
  EXPECT_EQ(history_[1].expression, "HTTP 404");
  EXPECT_NE(history_[2].expression.find("elsewhere.test"), std::string::npos);
  // Pages asked together, never more than are in flight at once, every one of the site's
  // server; a redirect is asked in a later round, and a link off the site never.
  std::map<std::string, int> asked;
  for (const Batch& b : batches) {
    EXPECT_LE(b.objects.size(), platform::kMaxQueriesInFlight);
    EXPECT_EQ(b.server, "www.site.test");
    for (const std::string& o : b.objects)
      ++asked[o];
  }
  EXPECT_EQ(asked.size(), 10u);  // nine linked pages and the page /p/moved leads to
  for (const auto& kv : asked)
    EXPECT_EQ(kv.second, 1) << kv.first;
  EXPECT_EQ(asked.count("/p/9"), 0u);
  ASSERT_FALSE(batches.empty());
  EXPECT_EQ(batches[0].objects.size(), 6u);  // the first eight entries, two linking no page
}

TEST_F(FullSize, PastThePageTextBudgetNoFurtherPagesAreAsked) {
  std::vector<std::string> links;
  for (int i = 0; i < 30; ++i)
    links.push_back("/p/big" + std::to_string(i));
  const std::vector<engine::Entry> entries = Convert(links, engine::kMaxPageText - 10);
  ASSERT_EQ(entries.size(), links.size());
  // The first page takes the listing past its budget: it is listed, the rest are not.
  EXPECT_EQ(entries[0].name.str(), "big");
  for (std::size_t i = 1; i < entries.size(); ++i)
    EXPECT_EQ(entries[i].address.str(), "NULL") << i;
  ASSERT_EQ(history_.size(), 1u);
  EXPECT_EQ(history_[0].message, report::msg::kPageTextCut);
  // Only the batch already in flight was asked.
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].objects.size(), platform::kMaxQueriesInFlight);
}

}  // namespace
