// Wall time of the HTTP session against the fixture web server: one 10 MB body and 200
// small pages, split into the mandated pauses between reads and the session's own cost.
// Needs the server running and http_proxy pointing at it (scripts/bench.sh does both).
#include <chrono>
#include <cstdio>

#include "net/http_session.h"

int main() {
  net::HttpSession session;
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t bytes = 0;
  std::uint32_t n = 0;
  if (!session.Get("photos.example.test", "/_/bytes/10485760", nullptr) || !session.ReadAll(&n)) {
    std::printf("http bench: the 10 MB body failed (is the fixture server running?)\n");
    return 1;
  }
  bytes += n;
  const auto big = std::chrono::steady_clock::now();
  const std::uint64_t bigPauses = session.pauses();
  for (int i = 0; i < 200; ++i) {
    if (!session.Get("photos.example.test", "/index.html", nullptr) || !session.ReadAll(&n)) {
      std::printf("http bench: page %d failed\n", i);
      return 1;
    }
    bytes += n;
  }
  const auto end = std::chrono::steady_clock::now();
  auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
  const double pauseMs = double(session.pauses()) * net::kReadPauseMs;
  const double bigMs = ms(big - start), bigPauseMs = double(bigPauses) * net::kReadPauseMs;
  const double pagesMs = ms(end - big), pagesPauseMs = pauseMs - bigPauseMs;
  std::printf("%-22s %10s %12s %12s %8s\n", "http session", "wall ms", "pauses ms", "own ms",
              "reads");
  std::printf("%-22s %10.1f %12.1f %12.1f %8s\n", "10 MB body", bigMs, bigPauseMs,
              bigMs - bigPauseMs, "");
  std::printf("%-22s %10.1f %12.1f %12.1f %8s\n", "200 small pages", pagesMs, pagesPauseMs,
              pagesMs - pagesPauseMs, "");
  std::printf("%-22s %10.1f %12.1f %12.1f %8llu\n", "all", ms(end - start), pauseMs,
              ms(end - start) - pauseMs, static_cast<unsigned long long>(session.reads()));
  std::printf("(%llu bytes; every read of a body is followed by a %u ms pause)\n",
              static_cast<unsigned long long>(bytes), net::kReadPauseMs);
  return 0;
}
