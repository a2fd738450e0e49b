// The time bounds of the WinINet layer, against servers that never answer, stall after the
// headers or trickle: the fixture server (reached as the proxy) for answers that never
// come, and a server of the test's own, made the proxy for one internet handle, for bodies.
// Stall and deadline verdicts run on the test clock, moved by the watch's proceed; the
// real time each case took is printed, and bounded far below what the server would hold.
#include <winsock2.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/internet.h"
#include "test_clock.h"

namespace {

using platform::InternetHandle;
using testing_support::VirtualClock;

constexpr char kHost[] = "photos.example.test";
// Answers long after any bound here: the fixture server holds it 60 s.
constexpr char kNeverAnswers[] = "/_/slow/60000";
// A call that returned well before WinINet's own receive time-out gave up: the layer's
// bounds stopped it, not the library's.
constexpr double kPromptSeconds = limits::kStallMs / 1000.0 - 3;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// How the watch's proceed behaves: the test clock moves this much at each call, and it says
// stop at call stopAt (0: never). It records what it was told.
struct Proceed {
  std::uint64_t advanceMs = 0;
  int stopAt = 0;
  int calls = 0;
  std::uint64_t lastDone = 0;
  std::int64_t lastTotal = 0;
  static bool Call(void* context, std::uint64_t done, std::int64_t total) {
    auto* p = static_cast<Proceed*>(context);
    ++p->calls;
    p->lastDone = done;
    p->lastTotal = total;
    VirtualClock::now() += p->advanceMs;
    return p->stopAt == 0 || p->calls < p->stopAt;
  }
};

class InternetBounds : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("FL_HTTP_LOG")) GTEST_SKIP() << "no fixture server (FL_HTTP_LOG unset)";
  }
};

// One request's bounds against a server that accepts and never answers.
struct SilentCase {
  const char* name;
  std::uint64_t deadlineMs;  // from the test clock's now; 0: none
  std::uint64_t advanceMs;   // the test clock's move at each proceed
  int stopAt;                // proceed says stop at this call; 0: never
  std::uint32_t error;
};

TEST_F(InternetBounds, ARequestToAServerThatNeverAnswersStopsAtItsBound) {
  const SilentCase cases[] = {
      {"deadline", 2000, 1000, 0, platform::kErrorCancelled},
      {"stall", 0, 4000, 0, platform::kErrorTimeout},
      {"proceed says stop", 0, 0, 2, platform::kErrorCancelled},
  };
  for (const SilentCase& c : cases) {
    VirtualClock clock;
    InternetHandle net = platform::NetOpen("bounds-test");
    InternetHandle connection = platform::NetConnect(net, kHost, 80);
    InternetHandle request =
        platform::NetOpenRequest(connection, "GET", kNeverAnswers, nullptr, "*/*", 0);
    ASSERT_TRUE(request) << c.name;
    Proceed proceed{c.advanceMs, c.stopAt};
    platform::TransferWatch watch;
    watch.deadline = c.deadlineMs ? clock.Now() + c.deadlineMs : 0;
    watch.proceed = &Proceed::Call;
    watch.context = &proceed;
    platform::NetWatchRequest(request, watch);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::NetSendRequest(request, "", nullptr, 0)) << c.name;
    const std::uint32_t error = platform::LastError();
    const double took = SecondsSince(start);
    std::printf("never answers, %s: failed with %u after %.2f s\n", c.name, unsigned(error), took);
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_LT(took, kPromptSeconds) << c.name;
    // A stopped request stays failed, and closes once.
    std::uint32_t status = 0;
    EXPECT_FALSE(platform::NetQueryStatusCode(request, &status)) << c.name;
    std::uint32_t read = 0;
    char byte;
    EXPECT_FALSE(platform::NetReadFile(request, &byte, 1, &read)) << c.name;
    platform::NetCloseHandle(request);
    platform::NetCloseHandle(connection);
    platform::NetCloseHandle(net);
  }
}

// A server of the test's own: every request gets headers announcing kBodyLength bytes and
// kFirstBytes of them, then either nothing more (stall) or a byte every kTrickleMs.
constexpr int kBodyLength = 100000;
constexpr int kFirstBytes = 10;
constexpr DWORD kTrickleMs = 100;

class BodyServer {
 public:
  explicit BodyServer(bool trickle) : trickle_(trickle) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
    listen(listener_, 8);
    int size = sizeof at;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
    port_ = ntohs(at.sin_port);
    thread_ = CreateThread(nullptr, 0, &BodyServer::Serve, this, 0, nullptr);
  }
  ~BodyServer() {
    SetEvent(stop_);
    closesocket(listener_);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(stop_);
  }
  int port() const { return port_; }

 private:
  static DWORD WINAPI Serve(void* self) {
    auto* s = static_cast<BodyServer*>(self);
    for (;;) {
      SOCKET c = accept(s->listener_, nullptr, nullptr);
      if (c == INVALID_SOCKET) return 0;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const int n = recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, std::size_t(n));
      }
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBodyLength) +
                               "\r\n\r\n" + std::string(kFirstBytes, 'x');
      send(c, head.data(), int(head.size()), 0);
      // One connection at a time: the case's own; the next waits until it is let go.
      while (WaitForSingleObject(s->stop_, s->trickle_ ? kTrickleMs : INFINITE) == WAIT_TIMEOUT) {
        if (send(c, "y", 1, 0) != 1) break;
      }
      closesocket(c);
      if (WaitForSingleObject(s->stop_, 0) == WAIT_OBJECT_0) return 0;
    }
  }

  bool trickle_;
  HANDLE stop_ = nullptr;
  HANDLE thread_ = nullptr;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
};

// An internet handle whose proxy is the server on port: the user's Internet settings are
// read when the handle opens, so they point there for that moment only.
InternetHandle OpenThroughProxy(int port) {
  const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  HKEY settings = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ | KEY_WRITE, &settings) != ERROR_SUCCESS)
    return nullptr;
  char old[256] = {};
  DWORD oldSize = sizeof old - 1;
  const bool hadOld = RegQueryValueExA(settings, "ProxyServer", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(old), &oldSize) == ERROR_SUCCESS;
  const std::string proxy = "127.0.0.1:" + std::to_string(port);
  RegSetValueExA(settings, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(proxy.c_str()),
                 DWORD(proxy.size() + 1));
  InternetHandle net = platform::NetOpen("bounds-test");
  if (hadOld) {
    RegSetValueExA(settings, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(old),
                   DWORD(std::strlen(old) + 1));
  }
  RegCloseKey(settings);
  return net;
}

// One body's bounds: the headers come, the body stalls or trickles.
struct BodyCase {
  const char* name;
  bool trickle;
  bool virtualClock;         // the test clock (stall) or the real one (a trickle's deadline)
  std::uint64_t deadlineMs;  // from now; 0: none
  std::uint64_t advanceMs;   // the test clock's move at each proceed
  int stopAt;                // proceed says stop at this call; 0: never
  std::uint32_t error;
};

TEST_F(InternetBounds, ABodyThatStallsOrTricklesStopsAtItsBound) {
  const BodyCase cases[] = {
      {"stall after the headers", false, true, 0, 4000, 0, platform::kErrorTimeout},
      {"trickle to the deadline", true, false, 2000, 0, 0, platform::kErrorCancelled},
      {"trickle, proceed says stop", true, false, 0, 0, 2, platform::kErrorCancelled},
  };
  for (const BodyCase& c : cases) {
    BodyServer server(c.trickle);
    std::unique_ptr<VirtualClock> clock;
    if (c.virtualClock) clock.reset(new VirtualClock);
    InternetHandle net = OpenThroughProxy(server.port());
    ASSERT_TRUE(net) << c.name;
    InternetHandle connection = platform::NetConnect(net, kHost, 80);
    InternetHandle request =
        platform::NetOpenRequest(connection, "GET", "/body", nullptr, "*/*", 0);
    ASSERT_TRUE(request) << c.name;
    Proceed proceed{c.advanceMs, c.stopAt};
    platform::TransferWatch watch;
    watch.deadline = c.deadlineMs ? platform::NowMilliseconds() + c.deadlineMs : 0;
    watch.proceed = &Proceed::Call;
    watch.context = &proceed;
    platform::NetWatchRequest(request, watch);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(platform::NetSendRequest(request, "", nullptr, 0)) << c.name;
    std::uint64_t length = 0;
    EXPECT_TRUE(platform::NetQueryContentLength64(request, &length));
    EXPECT_EQ(length, std::uint64_t(kBodyLength)) << c.name;
    std::vector<char> buffer(kBodyLength);
    std::uint32_t read = 0, total = 0;
    bool ok = true;
    while (
        (ok = platform::NetReadFile(request, buffer.data(), std::uint32_t(buffer.size()), &read)) &&
        read > 0) {
      total += read;
    }
    const std::uint32_t error = platform::LastError();
    const double took = SecondsSince(start);
    std::printf("%s: read failed with %u after %.2f s, %u bytes in earlier reads\n", c.name,
                unsigned(error), took, unsigned(total));
    EXPECT_FALSE(ok) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_LT(took, kPromptSeconds) << c.name;
    EXPECT_GE(proceed.calls, 1) << c.name;
    EXPECT_EQ(proceed.lastTotal, kBodyLength) << c.name;  // the announced length, as told
    // Two seconds of a byte every 100 ms: the trickle was counted as it came. (A stop at the
    // second question may come before the next byte does: no verdict on that.)
    if (c.trickle && c.deadlineMs) {
      EXPECT_GT(proceed.lastDone, std::uint64_t(kFirstBytes)) << c.name;
    }
    platform::NetCloseHandle(request);
    platform::NetCloseHandle(connection);
    platform::NetCloseHandle(net);
  }
}

// A batch to a server that never answers: it returns at its bound, every query that got no
// answer failed, the one that was answered kept.
struct BatchCase {
  const char* name;
  std::uint64_t deadlineMs;
  std::uint64_t advanceMs;
  int stopAt;
  std::size_t silent;   // queries that never answer (after one that answers at once)
  std::uint32_t error;  // of every one of them
};

TEST_F(InternetBounds, ABatchToAServerThatNeverAnswersReturnsAtItsBound) {
  const BatchCase cases[] = {
      {"deadline", 2000, 1000, 0, platform::kMaxQueriesInFlight + 3, platform::kErrorCancelled},
      {"proceed says stop", 0, 0, 3, platform::kMaxQueriesInFlight + 3, platform::kErrorCancelled},
      // Each query's own stall rule, no watch bound: the slots free up, the rest run late.
      {"stall", 0, 4000, 0, platform::kMaxQueriesInFlight - 1, platform::kErrorTimeout},
  };
  for (const BatchCase& c : cases) {
    VirtualClock clock;
    InternetHandle net = platform::NetOpen("bounds-test");
    std::vector<platform::HeaderQuery> queries{{"HEAD", "/_/bytes/7", 0, {}}};
    for (std::size_t i = 0; i < c.silent; ++i)
      queries.push_back(platform::HeaderQuery{
          "HEAD", std::string(kNeverAnswers) + "?" + std::to_string(i), 0, {}});
    Proceed proceed{c.advanceMs, c.stopAt};
    platform::TransferWatch watch;
    watch.deadline = c.deadlineMs ? clock.Now() + c.deadlineMs : 0;
    watch.proceed = &Proceed::Call;
    watch.context = &proceed;
    std::vector<platform::HeaderAnswer> answers;
    const auto start = std::chrono::steady_clock::now();
    platform::NetQueryHeaders(net, kHost, 80, 0, "", "*/*", queries, &answers, &watch);
    const double took = SecondsSince(start);
    std::printf("batch of %u, %s: returned after %.2f s\n", unsigned(queries.size()), c.name, took);
    ASSERT_EQ(answers.size(), queries.size()) << c.name;
    EXPECT_TRUE(answers[0].answered) << c.name;
    EXPECT_EQ(answers[0].length, 7u) << c.name;
    for (std::size_t i = 1; i < answers.size(); ++i) {
      EXPECT_FALSE(answers[i].answered) << c.name << " " << i;
      EXPECT_EQ(answers[i].error, c.error) << c.name << " " << i;
    }
    EXPECT_LT(took, kPromptSeconds) << c.name;
    platform::NetCloseHandle(net);
  }
}

}  // namespace
