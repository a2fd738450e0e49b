// The one way the engine reads the web. A Budget is what one listing (or one copy) may spend:
// its deadline, its page text, and the host's word to go on or stop, asked at least once a
// second. FetchPage is the only caller of the session's page requests: every page, next
// page, warning page and password answer goes through it, is bounded by the budget's
// deadline and cancel, and counts against its page text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "common/byte_string.h"
#include "net/failure.h"
#include "net/http_session.h"
#include "platform/internet.h"

namespace engine {

// Why a budget stopped the work it bounds.
enum class Stop { kNone, kTime, kCancelled };

class Budget {
 public:
  // Asked with how far the work is (0-100); false when the user asked to stop.
  using Progress = std::function<bool(int percent)>;

  // Unbounded: no deadline, the whole page-text bound, never asks anyone.
  Budget() = default;
  // deadline: platform::NowMilliseconds() value at which the work stops (0: none);
  // progress is asked at most once per intervalMs, the first time intervalMs after now.
  Budget(std::uint64_t deadline, std::uint32_t intervalMs, Progress progress);
  Budget(const Budget&) = delete;
  Budget& operator=(const Budget&) = delete;

  // Checks the deadline and, when the interval has passed, asks the host; false once the
  // work is to stop (for good: a stopped budget stays stopped).
  bool Proceed();
  // After a transfer that the watch stopped: the transfer layer checks the deadline on its
  // own, so the budget notes here that its time has run out (when it has). Without this a
  // listing cut by its time would end as if it were whole, and say nothing.
  void NoteStopped();
  // How far the work is, for the next question to the host.
  void SetPercent(int percent) { percent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent; }
  int percent() const { return percent_; }
  Stop stop() const { return stop_; }
  bool stopped() const { return stop_ != Stop::kNone; }
  std::uint64_t deadline() const { return deadline_; }

  // Page text read so far, and whether it has passed limits::kMaxPageText.
  void CountText(std::size_t bytes) { textRead_ += bytes; }
  std::size_t textRead() const { return textRead_; }
  bool TextSpent() const;

  // The transfer watch for the session: the budget's deadline, and Proceed as its proceed.
  // A copy's watch also sets the percent from the bytes of the body (see ForDownload).
  platform::TransferWatch Watch();
  // Makes Watch() report a download's progress: percent of the announced length, or a
  // slowly rising figure when there is none.
  void ForDownload() { download_ = true; }

 private:
  static bool OnTransfer(void* context, std::uint64_t done, std::int64_t total);

  std::uint64_t deadline_ = 0;
  std::uint32_t intervalMs_ = 0;
  std::uint64_t nextAsk_ = 0;
  Progress progress_;
  int percent_ = 0;
  Stop stop_ = Stop::kNone;
  std::size_t textRead_ = 0;
  bool download_ = false;
};

// Bounds the session by the budget for as long as it lives.
class WatchScope {
 public:
  WatchScope(net::HttpSession& http, Budget& budget) : http_(http) { http.Watch(budget.Watch()); }
  ~WatchScope() { http_.Watch(platform::TransferWatch{}); }
  WatchScope(const WatchScope&) = delete;
  WatchScope& operator=(const WatchScope&) = delete;

 private:
  net::HttpSession& http_;
};

// One page as FetchPage brought it.
struct PageFetch {
  bool sent = false;  // an answer with a status came (failure says why not)
  net::Failure failure = net::Failure::kNone;
  std::uint32_t status = 0;
  common::ByteString answeredPath;  // where the answer came from, after redirects
  common::ByteString body;          // up to its first NUL; empty when it could not be read
  net::ReadFailure readFailure = net::ReadFailure::kNone;
};

// GETs path from server (POSTs postBody there when given), bounded by the budget and
// counted against its page text. The session is left on the answer (its Status, its
// cookies) as after a Get or Post.
PageFetch FetchPage(net::HttpSession& http, Budget& budget, const char* server,
                    const common::ByteString& path, const char* postBody = nullptr,
                    const char* referrer = nullptr);

}  // namespace engine
