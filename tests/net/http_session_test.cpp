// The HTTP session against the fixture web server (a real server on loopback, reached as
// a proxy). Runs natively over libcurl and under Wine over WinINet.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/http_session.h"
#include "server_log.h"

namespace {

// The JSON text of a header as the server received it: ["Name", "value"].
std::string HeaderEntry(const std::string& name, const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return "[\"" + name + "\", \"" + escaped + "\"]";
}

using testing_support::Field;
using testing_support::LoggedRequests;

class HttpSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("FL_HTTP_LOG")) GTEST_SKIP() << "no fixture server (FL_HTTP_LOG unset)";
    logged_ = LoggedRequests().size();
  }
  // Requests logged since the test began.
  std::vector<std::string> Since() const {
    std::vector<std::string> all = LoggedRequests();
    return std::vector<std::string>(all.begin() + long(logged_), all.end());
  }
  std::string Fetch(net::HttpSession& s, const char* host, const char* path) {
    if (!s.Get(host, path, nullptr)) return "<get failed>";
    std::uint32_t n = 0;
    const char* text = s.ReadAll(&n);
    return text ? std::string(text, n) : "<read failed>";
  }
  std::size_t logged_ = 0;
};

TEST_F(HttpSessionTest, SendsTheFixedAgentAndHeaderBlock) {
  net::HttpSession s;
  EXPECT_EQ(Fetch(s, "photos.example.test", "/index.html").substr(0, 6), "<html>");
  const std::vector<std::string> got = Since();
  ASSERT_EQ(got.size(), 1u);
  const std::string& r = got[0];
  EXPECT_EQ(Field(r, "request_line"), "GET http://photos.example.test/index.html HTTP/1.1");
  EXPECT_NE(r.find(HeaderEntry("User-Agent", net::kUserAgent)), std::string::npos) << r;
  const std::string block = net::kExtraHeaders;
  for (std::size_t at = 0; at < block.size();) {
    const std::size_t end = block.find("\r\n", at);
    const std::string line = block.substr(at, end - at);
    const std::size_t colon = line.find(": ");
    EXPECT_NE(r.find(HeaderEntry(line.substr(0, colon), line.substr(colon + 2))), std::string::npos)
        << line << "\n"
        << r;
    at = end + 2;
  }
  EXPECT_EQ(r.find("\"Accept\", \"*/*\""), std::string::npos) << "the block's Accept wins";
}

// The session keeps one connection handle per host; whether the library underneath reuses
// the TCP connection is the library's business, so the handles are what is counted.
TEST_F(HttpSessionTest, OneConnectionPerHostAndANewOneOnAHostChange) {
  net::HttpSession s;
  const struct {
    const char* host;
    std::uint64_t connects;
  } steps[] = {
      {"photos.example.test", 1}, {"photos.example.test", 1},
      {"Photos.example.test", 2},  // differs in case only: a new connection
      {"other.example.test", 3},  {"other.example.test", 3},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(Fetch(s, step.host, "/index.html").substr(0, 6), "<html>") << step.host;
    EXPECT_EQ(s.connects(), step.connects) << step.host;
  }
  const std::vector<std::string> got = Since();
  ASSERT_EQ(got.size(), 5u);
  const char* hosts[] = {"photos.example.test", "photos.example.test", "photos.example.test",
                         "other.example.test", "other.example.test"};
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(Field(got[i], "host"), hosts[i]) << got[i];
}

TEST_F(HttpSessionTest, APostGoesToTheServerItNamesNotTheOneAskedLast) {
  net::HttpSession s;
  EXPECT_EQ(Fetch(s, "photos.example.test", "/index.html").substr(0, 6), "<html>");
  ASSERT_TRUE(s.Post("other.example.test", "/_/login", "password=x", nullptr));
  std::uint32_t n = 0;
  ASSERT_NE(s.ReadAll(&n), nullptr);
  const std::vector<std::string> got = Since();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(Field(got[1], "method"), "POST");
  EXPECT_EQ(Field(got[1], "host"), "other.example.test");
  EXPECT_EQ(Field(got[1], "body"), "password=x");
}

TEST_F(HttpSessionTest, GetAfterAPostThatCameFirstGoesToItsOwnHost) {
  net::HttpSession s;
  ASSERT_TRUE(s.Post("localhost", "/_/login", "password=x", nullptr));
  std::uint32_t n = 0;
  ASSERT_NE(s.ReadAll(&n), nullptr);
  EXPECT_EQ(Fetch(s, "photos.example.test", "/index.html").substr(0, 6), "<html>");
  const std::vector<std::string> got = Since();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(Field(got[0], "host"), "localhost");
  EXPECT_EQ(Field(got[1], "request_line"), "GET http://photos.example.test/index.html HTTP/1.1");
}

TEST_F(HttpSessionTest, BodiesComeWholeWhateverTheStatus) {
  net::HttpSession s;
  const struct {
    const char* path;
    std::string body;
  } rows[] = {
      {"/_/status/404", "status 404"},
      {"/_/status/500", "status 500"},
      {"/_/redirect?to=/index.html", Fetch(s, "photos.example.test", "/index.html")},
      {"/missing.html", "<html>not found</html>"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(Fetch(s, "photos.example.test", r.path), r.body) << r.path;
}

TEST_F(HttpSessionTest, StatusOfTheLastAnswer) {
  net::HttpSession s;
  EXPECT_EQ(s.Status(), 0u);  // no request yet
  const struct {
    const char* path;
    std::uint32_t status;
  } rows[] = {{"/index.html", 200},   {"/_/status/404", 404},
              {"/_/status/500", 500}, {"/_/redirect?to=/index.html", 200},
              {"/missing.html", 404}, {"/_/empty", 200}};
  for (const auto& r : rows) {
    ASSERT_TRUE(s.Get("photos.example.test", r.path, nullptr)) << r.path;
    EXPECT_EQ(s.Status(), r.status) << r.path;
  }
}

TEST_F(HttpSessionTest, EmptyBodyIsAnEmptyTextAfterTwoReadsAndOnePause) {
  net::HttpSession s;
  ASSERT_TRUE(s.Get("photos.example.test", "/_/empty", nullptr));
  std::uint32_t n = 99;
  const char* text = s.ReadAll(&n);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(n, 0u);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(s.reads(), 2u);
  EXPECT_EQ(s.pauses(), 1u);
}

TEST_F(HttpSessionTest, ThreeMegabytesWithNulBytesArriveIntact) {
  net::HttpSession s;
  ASSERT_TRUE(s.Get("photos.example.test", "/_/bytes/3000000?nul=1", nullptr));
  std::uint32_t n = 0;
  const char* text = s.ReadAll(&n);
  ASSERT_NE(text, nullptr);
  ASSERT_EQ(n, 3000000u);
  std::string want;
  while (want.size() < n) {
    for (int b = 0; b < 256 && want.size() < n; ++b)
      want += char(b);
  }
  EXPECT_TRUE(std::string(text, n) == want);
  EXPECT_EQ(text[n], '\0');
}

TEST_F(HttpSessionTest, BodyOverTheLimitFailsWhole) {
  net::HttpSession s;
  const bool sent = s.Get("photos.example.test", "/_/bytes/20000001", nullptr);
  std::uint32_t n = 7;
  EXPECT_EQ(sent ? s.ReadAll(&n) : nullptr, nullptr);
  if (sent) {
    EXPECT_EQ(n, 0u);
  }
  // The limit itself is fine.
  ASSERT_TRUE(s.Get("photos.example.test", "/_/bytes/20000000", nullptr));
  ASSERT_NE(s.ReadAll(&n), nullptr);
  EXPECT_EQ(n, 20000000u);
}

TEST_F(HttpSessionTest, FileInfoGivesLengthAndDateOrLeavesTheDate) {
  net::HttpSession s;
  platform::SystemTime t{};
  EXPECT_EQ(s.QueryFileInfo("photos.example.test", "/_/modified/1700000000", nullptr, &t), 1u);
  EXPECT_EQ(t.year, 2023);
  EXPECT_EQ(t.month, 11);
  EXPECT_EQ(t.day, 14);
  EXPECT_EQ(t.hour, 22);
  EXPECT_EQ(t.minute, 13);
  EXPECT_EQ(t.second, 20);
  platform::SystemTime kept{1999, 1, 0, 2, 3, 4, 5, 6};
  EXPECT_EQ(s.QueryFileInfo("photos.example.test", "/_/bytes/1234", nullptr, &kept), 1234u);
  EXPECT_EQ(kept.year, 1999);
  EXPECT_EQ(kept.second, 5);
  EXPECT_EQ(s.QueryFileInfo("photos.example.test", "/_/nolength/10", nullptr, &kept), 0u);
}

TEST_F(HttpSessionTest, SizeQueryAsksWithHeadAndFallsBackToAGetOnlyWhereHeadFails) {
  using net::SizeMethod;
  const struct {
    const char* path;
    SizeMethod before;
    std::uint32_t size;
    const char* methods;  // the requests the server saw, in order
    SizeMethod after;
  } rows[] = {
      {"/_/bytes/1234", SizeMethod::kHead, 1234, "HEAD", SizeMethod::kHead},
      {"/_/status/404", SizeMethod::kHead, 0, "HEAD", SizeMethod::kHead},  // not the photo
      {"/_/nohead/20?status=405", SizeMethod::kHead, 20, "HEAD GET", SizeMethod::kGet},
      {"/_/nohead/20?status=501", SizeMethod::kHead, 20, "HEAD GET", SizeMethod::kGet},
      {"/_/nohead/20", SizeMethod::kHead, 20, "HEAD GET", SizeMethod::kGet},
      // Neither tells a length: HEAD is not blamed for it.
      {"/_/nolength/10", SizeMethod::kHead, 0, "HEAD GET", SizeMethod::kHead},
      {"/_/bytes/3000000", SizeMethod::kGet, 3000000, "GET", SizeMethod::kGet},
  };
  for (const auto& r : rows) {
    net::HttpSession s;
    const std::size_t from = LoggedRequests().size();
    platform::SystemTime t{};
    SizeMethod method = r.before;
    EXPECT_EQ(s.QueryFileInfo("photos.example.test", r.path, nullptr, &t, &method), r.size)
        << r.path;
    EXPECT_EQ(int(method), int(r.after)) << r.path;
    std::string methods;
    for (const std::string& line : testing_support::LoggedSince(from))
      methods += (methods.empty() ? "" : " ") + Field(line, "method");
    EXPECT_EQ(methods, r.methods) << r.path;
  }
}

TEST_F(HttpSessionTest, PagesAndSizeQueriesShareOneKeptConnection) {
  net::HttpSession s;
  EXPECT_EQ(Fetch(s, "photos.example.test", "/index.html").substr(0, 6), "<html>");
  platform::SystemTime t{};
  for (const char* path : {"/_/bytes/5", "/_/modified/1700000000", "/_/bytes/7"})
    EXPECT_NE(s.QueryFileInfo("photos.example.test", path, nullptr, &t), 0u) << path;
  EXPECT_EQ(Fetch(s, "photos.example.test", "/_/bytes/4"), "0123");
  EXPECT_EQ(s.connects(), 1u);
  const std::vector<std::string> got = Since();
  ASSERT_EQ(got.size(), 5u);
#ifndef _WIN32
  // One socket carried them all. (Under Wine, WinINet opens a socket per request made
  // through a proxy, whatever the request asks; the session still keeps its handle.)
  for (const std::string& line : got)
    EXPECT_EQ(Field(line, "peer"), Field(got[0], "peer")) << line;
#endif
  for (std::size_t i = 1; i < 4; ++i)
    EXPECT_EQ(Field(got[i], "method"), "HEAD") << got[i];
}

TEST_F(HttpSessionTest, KeptConnectionTheServerClosedIsReopenedWithoutAFailure) {
  net::HttpSession s;
  platform::SystemTime t{};
  EXPECT_EQ(Fetch(s, "photos.example.test", "/_/hangup"), "hangup");
  EXPECT_EQ(s.QueryFileInfo("photos.example.test", "/_/bytes/5", nullptr, &t), 5u);
  EXPECT_EQ(s.failure(), net::Failure::kNone);
  EXPECT_EQ(s.QueryFileInfo("photos.example.test", "/_/hangup", nullptr, &t), 6u);
  EXPECT_EQ(Fetch(s, "photos.example.test", "/_/bytes/4"), "0123");
  EXPECT_EQ(s.failure(), net::Failure::kNone);
  // Each request reached the server once.
  EXPECT_EQ(Since().size(), 4u);
}

TEST_F(HttpSessionTest, CookieSetByAFormAnswerIsStoredSentAndRead) {
  net::HttpSession s;
  EXPECT_EQ(Fetch(s, "photos.example.test", "/_/private"), "login required");
  ASSERT_TRUE(s.Post("photos.example.test", "/_/login", "password=secret", nullptr));
  std::uint32_t n = 0;
  ASSERT_NE(s.ReadAll(&n), nullptr);
  char cookie[net::kCookieBufferSize];
  EXPECT_TRUE(s.ReadCookie("http://photos.example.test/", cookie));
  EXPECT_STREQ(cookie, "session=secret");
  EXPECT_EQ(Fetch(s, "photos.example.test", "/_/private"), "welcome");
  std::memset(cookie, 'x', sizeof cookie);
  EXPECT_FALSE(s.ReadCookie("http://nocookies.example.test/", cookie));
  EXPECT_STREQ(cookie, "");
}

TEST_F(HttpSessionTest, CookieLongerThanTheBufferIsRefused) {
  net::HttpSession s;
  const std::string body = "password=" + std::string(300, 'v');
  ASSERT_TRUE(s.Get("long.example.test", "/index.html", nullptr));
  ASSERT_TRUE(s.Post("long.example.test", "/_/login", body.c_str(), nullptr));
  std::uint32_t n = 0;
  s.ReadAll(&n);
  char cookie[net::kCookieBufferSize + 8];
  std::memset(cookie, '#', sizeof cookie);
  EXPECT_FALSE(s.ReadCookie("http://long.example.test/", cookie));
  EXPECT_STREQ(cookie, "");
  EXPECT_EQ(cookie[net::kCookieBufferSize], '#');
}

TEST_F(HttpSessionTest, BodyShortOfItsLengthIsAFailedReadAndNoAnswerAFailedRequest) {
  // The request of each succeeds (its status line and headers came) and the read fails: the
  // server closes the connection short of the length it announced. Without a status line
  // the request itself fails. The same on every platform.
  const struct {
    const char* path;
    const char* got;
  } rows[] = {
      {"/_/short/1000/10", "<read failed>"},
      {"/_/short/5000000/4999999", "<read failed>"},
      {"/_/short/1000/0", "<read failed>"},
      {"/_/drop", "<get failed>"},
      {"/_/empty", ""},
  };
  for (const auto& r : rows) {
    net::HttpSession s;
    EXPECT_EQ(Fetch(s, "photos.example.test", r.path), r.got) << r.path;
    EXPECT_EQ(s.failure(), std::string(r.got) == "<get failed>" ? net::Failure::kConnection
                                                                : net::Failure::kNone)
        << r.path;
    // The session is still usable after it.
    EXPECT_EQ(Fetch(s, "photos.example.test", "/_/bytes/16"), "0123456789abcdef") << r.path;
  }
}

TEST_F(HttpSessionTest, HttpsFetchesThroughTheTrustedCertificateInAnyLetterCase) {
  net::HttpSession s;
  const std::string plain = Fetch(s, "photos.example.test", "/index.html");
  for (const char* server : {"https://photos.example.test", "HTTPS://photos.example.test",
                             "https://photos.example.test:443"}) {
    EXPECT_EQ(Fetch(s, server, "/index.html"), plain) << server;
    EXPECT_EQ(s.failure(), net::Failure::kNone) << server;
  }
  platform::SystemTime t{};
  EXPECT_EQ(s.QueryFileInfo("https://photos.example.test", "/_/modified/1700000000", nullptr, &t),
            1u);
  EXPECT_EQ(t.year, 2023);
  const std::vector<std::string> got = Since();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(Field(got[0], "request_line"), "GET http://photos.example.test/index.html HTTP/1.1");
  for (std::size_t i = 1; i < 4; ++i)
    EXPECT_EQ(Field(got[i], "request_line"), "GET https://photos.example.test/index.html HTTP/1.1");
  EXPECT_EQ(Field(got[4], "url"), "https://photos.example.test/_/modified/1700000000");
}

TEST_F(HttpSessionTest, CertificateThatFailsItsCheckFailsTheRequestAndSaysWhy) {
  const struct {
    const char* server;
    net::Failure failure;
  } rows[] = {
      {"https://wrongname.example.test", net::Failure::kCertificateName},
      {"https://unknownca.example.test", net::Failure::kCertificateIssuer},
      {"https://expired.example.test", net::Failure::kCertificateDate},
  };
  for (const auto& r : rows) {
    net::HttpSession s;
    EXPECT_FALSE(s.Get(r.server, "/index.html", nullptr)) << r.server;
    EXPECT_EQ(int(s.failure()), int(r.failure)) << r.server << " error " << s.error();
    EXPECT_TRUE(net::IsCertificateFailure(s.failure())) << r.server;
    std::uint32_t n = 3;
    EXPECT_EQ(s.ReadAll(&n), nullptr) << r.server;
    platform::SystemTime t{};
    EXPECT_EQ(s.QueryFileInfo(r.server, "/_/bytes/10", nullptr, &t), 0u) << r.server;
    EXPECT_EQ(int(s.failure()), int(r.failure)) << r.server;
    // The same session still reaches a sound server afterwards.
    EXPECT_EQ(Fetch(s, "https://photos.example.test", "/_/bytes/4"), "0123") << r.server;
  }
  // An unknown issuer that the server does not even send: libcurl says unknown issuer;
  // Wine's WinINet says the revocation check failed (12057), as the chain ends nowhere.
  net::HttpSession s;
  EXPECT_FALSE(s.Get("https://leafonly.example.test", "/index.html", nullptr));
  EXPECT_TRUE(net::IsCertificateFailure(s.failure())) << s.error();
  EXPECT_TRUE(s.error() == platform::kErrorCertificateIssuer ||
              s.error() == platform::kErrorCertificateRevocation)
      << s.error();
  // Nothing was ever asked of the refused servers: only the sound fetches came through.
  for (const std::string& line : Since())
    EXPECT_EQ(Field(line, "host"), "photos.example.test") << line;
}

// A redirect chain of n hops on the fixture server ending at final.
std::string Chain(int n, const std::string& final) {
  std::string to = final;
  for (int i = 0; i < n; ++i) {
    std::string encoded;
    for (char c : to) {
      if (std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '.' || c == '_') {
        encoded += c;
      } else {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
        encoded += hex;
      }
    }
    to = "/_/redirect?to=" + encoded;
  }
  return to;
}

TEST_F(HttpSessionTest, RedirectsFollowTheRules) {
  using net::Failure;
  using net::Fetch;
  const struct {
    const char* server;
    std::string path;
    Fetch kind;
    Failure failure;
    const char* last;  // the last request the server received
  } rows[] = {
      {"photos.example.test", Chain(1, "https://photos.example.test/_/bytes/3"), Fetch::kPage,
       Failure::kNone, "GET https://photos.example.test/_/bytes/3 HTTP/1.1"},
      {"img.example.test", Chain(1, "https://img.example.test/_/bytes/3"), Fetch::kPhoto,
       Failure::kNone, "GET https://img.example.test/_/bytes/3 HTTP/1.1"},
      {"photos.example.test", Chain(1, "https://other.example.test/_/bytes/3"), Fetch::kPage,
       Failure::kRedirectRefused, nullptr},
      {"photos.example.test", Chain(1, "http://other.example.test/_/bytes/3"), Fetch::kPage,
       Failure::kRedirectRefused, nullptr},
      {"img.example.test", Chain(1, "https://cdn.example.test/_/bytes/3"), Fetch::kPhoto,
       Failure::kNone, "GET https://cdn.example.test/_/bytes/3 HTTP/1.1"},
      {"img.example.test", Chain(1, "https://img.elsewhere.test/_/bytes/3"), Fetch::kPhoto,
       Failure::kRedirectRefused, nullptr},
      {"https://photos.example.test", Chain(1, "http://photos.example.test/_/bytes/3"),
       Fetch::kPage, Failure::kRedirectRefused, nullptr},
      {"photos.example.test", Chain(5, "/_/bytes/3"), Fetch::kPage, Failure::kNone,
       "GET http://photos.example.test/_/bytes/3 HTTP/1.1"},
      {"photos.example.test", Chain(6, "/_/bytes/3"), Fetch::kPage, Failure::kTooManyRedirects,
       nullptr},
      // A redirect to a server whose certificate fails is that failure.
      {"img.example.test", Chain(1, "https://wrongname.example.test/_/bytes/3"), Fetch::kPhoto,
       Failure::kCertificateName, nullptr},
  };
  for (const auto& r : rows) {
    net::HttpSession s;
    const std::size_t before = LoggedRequests().size();
    const bool sent = s.Get(r.server, r.path.c_str(), nullptr, r.kind);
    EXPECT_EQ(sent, r.failure == Failure::kNone) << r.server << r.path;
    EXPECT_EQ(int(s.failure()), int(r.failure)) << r.server << r.path;
    if (r.failure == Failure::kRedirectRefused) {
      EXPECT_EQ(s.refusedLocation().substr(0, 4), "http") << r.path;
    } else {
      EXPECT_EQ(s.refusedLocation(), "") << r.path;
    }
    const std::vector<std::string> got = testing_support::LoggedSince(before);
    ASSERT_FALSE(got.empty()) << r.path;
    if (r.last) {
      EXPECT_EQ(Field(got.back(), "request_line"), r.last) << r.path;
      std::uint32_t n = 0;
      const char* body = s.ReadAll(&n);
      EXPECT_EQ(body ? std::string(body, n) : "<none>", "012") << r.path;
    } else {
      // The refused target was never asked for.
      for (const std::string& line : got)
        EXPECT_NE(Field(line, "path"), "/_/bytes/3") << line;
    }
  }
}

TEST_F(HttpSessionTest, AfterARedirectTheNextRequestGoesToTheServerItNames) {
  net::HttpSession s;
  ASSERT_TRUE(s.Get("photos.example.test",
                    Chain(1, "https://photos.example.test/_/bytes/1").c_str(), nullptr));
  EXPECT_EQ(Fetch(s, "photos.example.test", "/_/bytes/2"), "01");
  const std::vector<std::string> got = Since();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(Field(got[1], "request_line"), "GET https://photos.example.test/_/bytes/1 HTTP/1.1");
  EXPECT_EQ(Field(got[2], "request_line"), "GET http://photos.example.test/_/bytes/2 HTTP/1.1");
}

TEST_F(HttpSessionTest, AFormAnsweredWithARedirectIsFollowedWithAGet) {
  net::HttpSession s;
  ASSERT_TRUE(s.Get("https://photos.example.test", "/index.html", nullptr));
  ASSERT_TRUE(
      s.Post("https://photos.example.test", Chain(1, "/_/bytes/2").c_str(), "a=1", nullptr));
  const std::vector<std::string> got = Since();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(Field(got[1], "method"), "POST");
  EXPECT_EQ(Field(got[2], "request_line"), "GET https://photos.example.test/_/bytes/2 HTTP/1.1");
}

// Run with the system's proxy pointing at a port where nothing listens (the test's own
// CTest entry sets that up the way the platform reads it).
TEST(HttpSessionDown, UnreachableServerFailsCleanly) {
  if (!std::getenv("FL_HTTP_UNREACHABLE")) GTEST_SKIP() << "the proxy is not set unreachable";
  net::HttpSession s;
  std::uint32_t n = 5;
  EXPECT_EQ(s.ReadAll(&n), nullptr);  // no request yet
  EXPECT_FALSE(s.Get("photos.example.test", "/index.html", nullptr));
  EXPECT_EQ(s.ReadAll(&n), nullptr);
  EXPECT_EQ(n, 0u);
}

}  // namespace
