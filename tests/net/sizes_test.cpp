// The size step of a listing: how each photo server is asked, and that the sizes and times
// are those of the entries, by entry index, whatever order the answers come in. Against the
// fixture web server, and against a batch layer that stands in for the platform's.
#include <atomic>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/sizes.h"
#include "platform/internet.h"
#include "server_log.h"

namespace {

// The sizes of entries asked without a deadline or a host to ask.
std::vector<engine::PhotoSize> SizesOf(net::HttpSession& http,
                                       const std::vector<engine::Entry>& entries) {
  engine::Budget budget;
  return engine::QuerySizes(http, budget, entries).sizes;
}

using testing_support::Field;

engine::Entry Photo(const std::string& server, const std::string& address) {
  engine::Entry e;
  e.name = common::ByteString(address.c_str());
  e.server = common::ByteString(server.c_str());
  e.address = common::ByteString(address.c_str());
  return e;
}

bool NoTime(platform::FileTime t) {
  return t.low == platform::kNoFileTime.low && t.high == platform::kNoFileTime.high;
}

// 2023-11-14 22:13:20 UTC as a FILETIME.
constexpr std::uint64_t kModifiedTicks = 133444736000000000ULL;

// The platform batch itself, on a fresh internet handle, to the fixture's photo host.
bool AskFixtureBatch(const std::vector<platform::HeaderQuery>& queries,
                     std::vector<platform::HeaderAnswer>* answers) {
  platform::InternetHandle internet = platform::NetOpen(net::kUserAgent);
  if (!internet) return false;
  platform::NetQueryHeaders(internet, "photos.example.test", 80, 0, net::kExtraHeaders, "*/*",
                            queries, answers);
  platform::NetCloseHandle(internet);
  return true;
}

class QuerySizesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("FL_HTTP_LOG")) GTEST_SKIP() << "no fixture server (FL_HTTP_LOG unset)";
  }
};

TEST_F(QuerySizesTest, EachPhotoGetsItsOwnSizeAndTimeOrNone) {
  const struct {
    const char* server;
    const char* address;
    std::uint32_t size;
    bool timed;  // the 2023-11-14 time; otherwise no time
  } rows[] = {
      {"photos.example.test", "/_/modified/1700000000", 1, true},
      {"photos.example.test", "/_/bytes/14", 14, false},   // no Last-Modified: not the one above
      {"photos.example.test", "/_/status/404", 0, false},  // the error page's length is not it
      {"photos.example.test", "/_/modified/1700000000", 1, true},
      {"photos.example.test", "/_/status/500", 0, false},
      {"photos.example.test", "/_/nolength/10", 0, false},
      {"photos.example.test", "/_/redirect?to=/_/modified/1700000000", 1, true},
      {"photos.example.test", "/_/redirect?to=http://elsewhere.test/_/bytes/5", 0, false},
      {"photos.example.test", "/_/nohead/20?status=501", 20, false},
      {"photos.example.test", "NULL", 0, false},  // not asked
      {"photos.example.test", "/_/bytes/3000000", 3000000, false},
      {"photos.example.test", "/_/modified/1700000000?x=a b", 1, true},  // sent encoded
  };
  std::vector<engine::Entry> entries;
  for (const auto& r : rows)
    entries.push_back(Photo(r.server, r.address));
  net::HttpSession http;
  const std::size_t from = testing_support::LoggedRequests().size();
  const std::vector<engine::Entry> listed = engine::WithSizes(entries, SizesOf(http, entries));
  ASSERT_EQ(listed.size(), entries.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].size, rows[i].size) << rows[i].address;
    if (rows[i].timed) {
      EXPECT_EQ(std::uint64_t(listed[i].time.high) << 32 | listed[i].time.low, kModifiedTicks)
          << rows[i].address;
    } else {
      EXPECT_TRUE(NoTime(listed[i].time)) << rows[i].address;
    }
  }
  // A GET goes only where HEAD told no length.
  for (const std::string& line : testing_support::LoggedSince(from)) {
    if (Field(line, "method") == "GET") {
      EXPECT_NE(Field(line, "url").find("/_/no"), std::string::npos) << line;
    }
  }
}

TEST_F(QuerySizesTest, AServerThatRefusesHeadIsAskedWithGetOnceItsFirstAnswersSaySo) {
  // Twelve photos on a server that refuses HEAD, four on one that takes it: the first
  // photos in flight learn the refusal, the rest of that server is asked with GET alone.
  std::vector<engine::Entry> entries;
  std::vector<std::uint32_t> want;
  for (int i = 0; i < 16; ++i) {
    const bool refuses = i % 4 != 3;
    const std::string n = std::to_string(100 + i);
    entries.push_back(refuses ? Photo("refuses.example.test", "/_/nohead/" + n + "?status=405")
                              : Photo("other.example.test", "/_/bytes/" + n));
    want.push_back(std::uint32_t(100 + i));
  }
  net::HttpSession http;
  const std::size_t from = testing_support::LoggedRequests().size();
  const std::vector<engine::PhotoSize> sizes = SizesOf(http, entries);
  ASSERT_EQ(sizes.size(), want.size());
  for (std::size_t i = 0; i < sizes.size(); ++i)
    EXPECT_EQ(sizes[i].size, want[i]) << i;
  std::map<std::string, int> seen;
  for (const std::string& line : testing_support::LoggedSince(from))
    ++seen[Field(line, "method") + " " + Field(line, "host")];
  const std::map<std::string, int> expected = {{"HEAD refuses.example.test", 8},
                                               {"GET refuses.example.test", 12},
                                               {"HEAD other.example.test", 4}};
  EXPECT_EQ(seen, expected);
  // A later listing asks that server with GET at once: what it taught holds for the
  // session's life. Another session starts from HEAD.
  const struct {
    bool sameSession;
    const char* method;
  } rows[] = {{true, "GET"}, {false, "HEAD"}};
  for (const auto& row : rows) {
    net::HttpSession fresh;
    const std::size_t before = testing_support::LoggedRequests().size();
    const auto sized =
        SizesOf(row.sameSession ? http : fresh, {Photo("refuses.example.test", "/_/bytes/15")});
    EXPECT_EQ(sized[0].size, 15u);
    const std::vector<std::string> last = testing_support::LoggedSince(before);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(Field(last[0], "method"), row.method);
  }
}

TEST_F(QuerySizesTest, ManyPhotosAreAskedWithHeadOnFewConnectionsAndTheUsualHeaders) {
  std::vector<engine::Entry> entries;
  for (int i = 1; i <= 60; ++i)
    entries.push_back(Photo("photos.example.test", "/_/bytes/" + std::to_string(i)));
  net::HttpSession http;
  const std::size_t from = testing_support::LoggedRequests().size();
  const std::vector<engine::PhotoSize> sizes = SizesOf(http, entries);
  for (std::size_t i = 0; i < sizes.size(); ++i)
    EXPECT_EQ(sizes[i].size, i + 1) << i;
  const std::vector<std::string> got = testing_support::LoggedSince(from);
  ASSERT_EQ(got.size(), 60u);
  std::set<std::string> peers, urls;
  for (const std::string& line : got) {
    EXPECT_EQ(Field(line, "method"), "HEAD") << line;
    EXPECT_NE(line.find(std::string("[\"User-Agent\", \"") + net::kUserAgent + "\"]"),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("[\"Accept-Language\", \"ru,ru-RU;q=0.9,en;q=0.8\"]"), std::string::npos)
        << line;
    peers.insert(Field(line, "peer"));
    urls.insert(Field(line, "url"));
  }
  EXPECT_EQ(urls.size(), 60u);  // each photo asked once
#ifndef _WIN32
  // (Under Wine, WinINet opens a socket per request made through a proxy.)
  EXPECT_LE(peers.size(), platform::kMaxQueriesInFlight);
#endif
}

TEST_F(QuerySizesTest, ThePlatformBatchAnswersEachQueryByIndexAndFollowsNothing) {
  const struct {
    const char* verb;
    const char* object;
    bool answered;
    std::uint32_t status;
    bool hasLength;
    std::uint32_t length;
    bool hasTime;
    const char* location;
  } rows[] = {
      {"HEAD", "/_/bytes/1234", true, 200, true, 1234, false, ""},
      {"HEAD", "/_/modified/1700000000", true, 200, true, 1, true, ""},
      {"HEAD", "/_/status/404", true, 404, true, 10, false, ""},
      {"HEAD", "/_/redirect?to=/_/bytes/5", true, 302, true, 0, false, "/_/bytes/5"},
      {"HEAD", "/_/nohead/20?status=405", true, 405, true, 0, false, ""},
      {"GET", "/_/nohead/20?status=405", true, 200, true, 20, false, ""},
      {"GET", "/_/bytes/3000000", true, 200, true, 3000000, false, ""},
      {"HEAD", "/_/drop", false, 0, false, 0, false, ""},
      {"HEAD", "/_/bytes/77", true, 200, true, 77, false, ""},
  };
  std::vector<platform::HeaderQuery> queries;
  for (const auto& r : rows)
    queries.push_back(platform::HeaderQuery{r.verb, r.object, 0, {}});
  std::vector<platform::HeaderAnswer> answers;
  ASSERT_TRUE(AskFixtureBatch(queries, &answers));
  ASSERT_EQ(answers.size(), queries.size());
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const auto& r = rows[i];
    const platform::HeaderAnswer& a = answers[i];
    const std::string what = std::string(r.verb) + " " + r.object;
    EXPECT_EQ(a.answered, r.answered) << what;
    EXPECT_EQ(a.error != 0, !r.answered) << what;
    if (!r.answered) continue;
    EXPECT_EQ(a.status, r.status) << what;
    EXPECT_EQ(a.hasLength, r.hasLength) << what;
    EXPECT_EQ(a.length, r.length) << what;
    EXPECT_EQ(a.hasTime, r.hasTime) << what;
    if (r.hasTime) {
      EXPECT_EQ(a.time.year, 2023) << what;
      EXPECT_EQ(a.time.second, 20) << what;
    }
    EXPECT_EQ(a.location, r.location) << what;
  }
}

TEST_F(QuerySizesTest, ThePlatformBatchReadsAPageWholeOrNotAtAll) {
  const struct {
    const char* verb;
    const char* object;
    std::uint32_t cap;  // 0: the body is not wanted
    bool answered;
    std::uint32_t status;
    bool bodyRead;
    std::size_t bodySize;
    const char* location;
  } rows[] = {
      {"GET", "/_/bytes/1234", 100000, true, 200, true, 1234, ""},
      {"GET", "/_/status/404", 100000, true, 404, true, 10, ""},  // "status 404"
      {"GET", "/_/redirect?to=/_/bytes/5", 100000, true, 302, true, 0, "/_/bytes/5"},
      {"GET", "/_/bytes/5000", 1000, true, 200, false, 0, ""},  // past the cap: none of it
      {"GET", "/_/bytes/1000", 1000, true, 200, true, 1000, ""},
      {"GET", "/_/short/100/10", 100000, true, 200, false, 0, ""},
      {"GET", "/_/reset", 100000, true, 200, false, 0, ""},
      {"GET", "/_/nolength/10", 100000, true, 200, true, 10, ""},
      {"GET", "/_/drop", 100000, false, 0, false, 0, ""},
      {"HEAD", "/_/bytes/77", 0, true, 200, false, 0, ""},
      {"GET", "/_/bytes/3000000", 0, true, 200, false, 0, ""},  // headers alone
  };
  std::vector<platform::HeaderQuery> queries;
  for (const auto& r : rows)
    queries.push_back(platform::HeaderQuery{r.verb, r.object, r.cap, {}});
  std::vector<platform::HeaderAnswer> answers;
  ASSERT_TRUE(AskFixtureBatch(queries, &answers));
  ASSERT_EQ(answers.size(), queries.size());
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const auto& r = rows[i];
    const platform::HeaderAnswer& a = answers[i];
    const std::string what = std::string(r.verb) + " " + r.object;
    EXPECT_EQ(a.answered, r.answered) << what;
    if (!r.answered) continue;
    EXPECT_EQ(a.status, r.status) << what;
    EXPECT_EQ(a.bodyRead, r.bodyRead) << what;
    if (r.status != 302) {
      EXPECT_EQ(a.body.size(), r.bodySize) << what;
    }
    EXPECT_EQ(a.location, r.location) << what;
  }
  EXPECT_EQ(answers[1].body, "status 404");
}

TEST_F(QuerySizesTest, PagesAskedTogetherComeByIndexOnFewConnections) {
  std::vector<std::string> paths;
  for (int i = 1; i <= 40; ++i)
    paths.push_back(i % 10 == 0 ? "/_/redirect?to=/_/bytes/" + std::to_string(i)
                                : "/_/bytes/" + std::to_string(i));
  paths.push_back("/_/status/404");
  paths.push_back("/_/redirect?to=http://elsewhere.test/_/bytes/5");
  net::HttpSession http;
  const std::size_t from = testing_support::LoggedRequests().size();
  const std::vector<net::PageAnswer> pages = http.GetPages("photos.example.test", paths);
  ASSERT_EQ(pages.size(), paths.size());
  for (std::size_t i = 0; i < 40; ++i) {
    const net::PageAnswer& p = pages[i];
    EXPECT_TRUE(p.sent) << paths[i];
    EXPECT_EQ(p.status, 200u) << paths[i];
    EXPECT_TRUE(p.bodyRead) << paths[i];
    EXPECT_EQ(p.body.size(), i + 1) << paths[i];
    EXPECT_EQ(p.answeredPath, "/_/bytes/" + std::to_string(i + 1)) << paths[i];
  }
  EXPECT_TRUE(pages[40].sent);
  EXPECT_EQ(pages[40].status, 404u);
  EXPECT_FALSE(pages[41].sent);
  EXPECT_EQ(pages[41].failure, net::Failure::kRedirectRefused);
  EXPECT_EQ(pages[41].refusedLocation, "http://elsewhere.test/_/bytes/5");
  std::set<std::string> peers;
  for (const std::string& line : testing_support::LoggedSince(from)) {
    EXPECT_EQ(Field(line, "method"), "GET") << line;
    EXPECT_EQ(Field(line, "host"), "photos.example.test") << line;
    peers.insert(Field(line, "peer"));
  }
#ifndef _WIN32
  // (Under Wine, WinINet opens a socket per request made through a proxy.)
  EXPECT_LE(peers.size(), platform::kMaxQueriesInFlight);
#endif
  // A page that gets no answer fails alone, as a request that could not be made.
  const std::vector<net::PageAnswer> dropped =
      http.GetPages("photos.example.test", {"/_/bytes/3", "/_/drop"});
  ASSERT_EQ(dropped.size(), 2u);
  EXPECT_TRUE(dropped[0].sent && dropped[0].bodyRead);
  EXPECT_FALSE(dropped[1].sent);
  EXPECT_EQ(dropped[1].failure, net::Failure::kConnection);
  EXPECT_NE(dropped[1].error, 0u);
}

// ---- The batch layer stood in for: what the session makes of each kind of answer --------

struct Asked {
  std::string server;
  std::string verb;
  std::string object;
};
std::vector<std::vector<Asked>> batches;

// Answers as a server would: by path, HEAD and GET alike unless said otherwise.
void FakeBatch(void*, const char* server, int, std::uint32_t, const char*, const char*,
               const std::vector<platform::HeaderQuery>& queries,
               std::vector<platform::HeaderAnswer>* answers, const platform::TransferWatch*) {
  answers->assign(queries.size(), platform::HeaderAnswer{});
  batches.emplace_back();
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const platform::HeaderQuery& q = queries[i];
    batches.back().push_back(Asked{server, q.verb, q.object});
    platform::HeaderAnswer& a = (*answers)[i];
    if (q.object == "/off") {
      a.error = platform::kErrorCannotConnect;
      continue;
    }
    a.answered = true;
    a.status = 200;
    if (q.object == "/moved") {
      a.status = 301;
      a.location = "/there";
    } else if (q.object == "/away") {
      a.status = 302;
      a.location = "http://other.test/there";
    } else if (q.object == "/loop") {
      a.status = 302;
      a.location = "/loop";
    } else if (q.object == "/there") {
      a.hasLength = true;
      a.length = 7;
    } else if (q.object == "/gone") {
      a.status = 404;
      a.hasLength = true;
      a.length = 39;
      a.hasTime = true;
      a.time = platform::SystemTime{2024, 1, 1, 1, 0, 0, 0, 0};
    } else if (q.object == "/nohead") {
      a.status = q.verb == "HEAD" ? 405 : 200;
      a.hasLength = q.verb != "HEAD";
      a.length = 9;
    } else if (q.object == "/getonly") {
      a.hasLength = q.verb != "HEAD";  // HEAD answers without the length
      a.length = 11;
    } else {
      a.hasLength = true;
      a.length = std::uint32_t(q.object.size());
      a.hasTime = true;
      a.time = platform::SystemTime{2024, 5, 3, 1, 10, 20, 30, 0};
    }
  }
}

TEST(QuerySizesBatch, AnswersAreTakenByIndexAsOneQueryAfterAnotherWouldTakeThem) {
  platform::FileCallOverrides calls{};
  calls.netQueryHeaders = FakeBatch;
  const struct {
    const char* address;
    std::uint32_t size;
    bool timed;
  } rows[] = {
      {"/a", 2, true},       {"/moved", 7, false},  {"/gone", 0, false},     {"/off", 0, false},
      {"/nohead", 9, false}, {"/loop", 0, false},   {"/getonly", 11, false}, {"/away", 0, false},
      {"/abc", 4, true},     {"/nohead", 9, false},
  };
  std::vector<engine::Entry> entries;
  for (const auto& r : rows)
    entries.push_back(Photo("img.example.test", r.address));
  batches.clear();
  net::HttpSession http;
  platform::OverrideFileCalls(&calls);
  const std::vector<engine::PhotoSize> sizes = SizesOf(http, entries);
  platform::OverrideFileCalls(nullptr);
  ASSERT_EQ(sizes.size(), entries.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_EQ(sizes[i].size, rows[i].size) << rows[i].address;
    EXPECT_EQ(NoTime(sizes[i].time), !rows[i].timed) << rows[i].address;
  }
  // The first round asks the first eight with HEAD together; the two after them go
  // together once the first round has told that the server refuses HEAD.
  ASSERT_FALSE(batches.empty());
  EXPECT_EQ(batches[0].size(), 8u);
  for (const Asked& a : batches[0])
    EXPECT_EQ(a.verb, "HEAD") << a.object;
  std::map<std::string, int> verbs;
  int loops = 0;
  for (const auto& batch : batches) {
    for (const Asked& a : batch) {
      EXPECT_EQ(a.server, "img.example.test") << a.object;  // never to another host
      ++verbs[a.object + " " + a.verb];
      loops += a.object == "/loop";
    }
  }
  EXPECT_EQ(loops, 1 + net::kMaxRedirects);
  EXPECT_EQ(verbs["/nohead HEAD"], 1);  // the second /nohead went straight to GET
  EXPECT_EQ(verbs["/nohead GET"], 2);
  EXPECT_EQ(verbs["/there HEAD"], 1);
  EXPECT_EQ(verbs["/off HEAD"], 1);  // a failed query is not asked again
}

#ifdef _WIN32
// ---- The Windows batch: a pool of workers over the single-request calls -------------------

// Stand-in handles for the single-request calls, counted as the workers open and close them
// from their own threads.
struct FakeHandle {
  bool connection;
  std::string object;
};
std::atomic<int> liveHandles{0}, connectionsOpened{0}, requestsOpened{0};
int internetStandIn;

void* FakeConnect(void* internet, const char*, int) {
  if (internet != &internetStandIn) return nullptr;
  ++connectionsOpened;
  ++liveHandles;
  return new FakeHandle{true, ""};
}
void* FakeOpenRequest(void* connection, const char*, const char* object, const char*, const char*,
                      std::uint32_t) {
  if (!connection || !static_cast<FakeHandle*>(connection)->connection) return nullptr;
  ++requestsOpened;
  ++liveHandles;
  return new FakeHandle{false, object};
}
int Number(void* request) {
  return std::atoi(static_cast<FakeHandle*>(request)->object.c_str() + 3);  // "/n/N"
}
bool FakeSend(void* request, const char*, const void*, std::uint32_t) {
  if (Number(request) % 11 == 0) {
    platform::SetLastError(platform::kErrorCannotConnect);
    return false;
  }
  return true;
}
bool FakeStatus(void* request, std::uint32_t* status) {
  *status = Number(request) % 7 == 0 ? 404 : 200;
  return true;
}
bool FakeLength(void* request, std::uint32_t* length) {
  *length = std::uint32_t(Number(request));
  return true;
}
bool FakeLength64(void* request, std::uint64_t* length) {
  *length = std::uint64_t(Number(request));
  return true;
}
bool FakeModified(void*, platform::SystemTime*) {
  return false;
}
bool FakeLocation(void*, std::string*) {
  return false;
}
void FakeClose(void* handle) {
  --liveHandles;
  delete static_cast<FakeHandle*>(handle);
}

TEST(HeaderBatchPool, EveryQueryIsAnsweredByIndexAndNoHandleOutlivesTheCall) {
  platform::FileCallOverrides calls{};
  calls.netConnect = FakeConnect;
  calls.netOpenRequest = FakeOpenRequest;
  calls.netSendRequest = FakeSend;
  calls.netQueryStatusCode = FakeStatus;
  calls.netQueryContentLength = FakeLength;
  calls.netQueryContentLength64 = FakeLength64;
  calls.netQueryLastModified = FakeModified;
  calls.netQueryLocation = FakeLocation;
  calls.netCloseHandle = FakeClose;
  std::vector<platform::HeaderQuery> queries;
  for (int i = 1; i <= 50; ++i)
    queries.push_back(platform::HeaderQuery{"HEAD", "/n/" + std::to_string(i), 0, {}});
  std::vector<platform::HeaderAnswer> answers;
  platform::OverrideFileCalls(&calls);
  platform::NetQueryHeaders(&internetStandIn, "img.example.test", 80, 0, net::kExtraHeaders, "*/*",
                            queries, &answers);
  platform::OverrideFileCalls(nullptr);
  ASSERT_EQ(answers.size(), queries.size());
  for (int i = 1; i <= 50; ++i) {
    const platform::HeaderAnswer& a = answers[std::size_t(i - 1)];
    EXPECT_EQ(a.answered, i % 11 != 0) << i;
    if (!a.answered) {
      EXPECT_EQ(a.error, platform::kErrorCannotConnect) << i;
      continue;
    }
    EXPECT_EQ(a.status, i % 7 == 0 ? 404u : 200u) << i;
    EXPECT_EQ(a.length, std::uint32_t(i)) << i;
    EXPECT_FALSE(a.hasTime) << i;
  }
  EXPECT_EQ(requestsOpened, 50);
  EXPECT_LE(connectionsOpened, int(platform::kMaxQueriesInFlight));
  EXPECT_EQ(liveHandles, 0);  // every request and connection closed before the call returned
}
#endif

}  // namespace
