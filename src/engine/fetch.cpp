#include "engine/fetch.h"

#include <string>

#include "common/limits.h"
#include "platform/platform.h"

namespace engine {

Budget::Budget(std::uint64_t deadline, std::uint32_t intervalMs, Progress progress)
    : deadline_(deadline),
      intervalMs_(intervalMs),
      nextAsk_(platform::NowMilliseconds() + intervalMs),
      progress_(std::move(progress)) {}

bool Budget::Proceed() {
  if (stop_ != Stop::kNone) return false;
  const std::uint64_t now = platform::NowMilliseconds();
  if (deadline_ != 0 && now >= deadline_) {
    stop_ = Stop::kTime;
    return false;
  }
  if (progress_ && now >= nextAsk_) {
    nextAsk_ = now + intervalMs_;
    if (!progress_(percent_)) {
      stop_ = Stop::kCancelled;
      return false;
    }
  }
  return true;
}

void Budget::NoteStopped() {
  if (stop_ == Stop::kNone && deadline_ != 0 && platform::NowMilliseconds() >= deadline_)
    stop_ = Stop::kTime;
}

bool Budget::TextSpent() const {
  return textRead_ > limits::kMaxPageText;
}

platform::TransferWatch Budget::Watch() {
  platform::TransferWatch watch;
  watch.deadline = deadline_;
  watch.proceed = &Budget::OnTransfer;
  watch.context = this;
  return watch;
}

bool Budget::OnTransfer(void* context, std::uint64_t done, std::int64_t total) {
  auto* budget = static_cast<Budget*>(context);
  if (budget->download_) {
    // Percent of the announced length; without one, a figure that rises ever more slowly
    // towards 99 (half of it at one megabyte), so the user sees bytes arrive.
    const double part =
        total > 0 ? double(done) / double(total) : double(done) / (double(done) + double(1 << 20));
    budget->SetPercent(int(part * 99.0));
  }
  return budget->Proceed();
}

PageFetch FetchPage(net::HttpSession& http, Budget& budget, const char* server,
                    const common::ByteString& path, const char* postBody, const char* referrer) {
  PageFetch out;
  if (!budget.Proceed()) {
    out.failure = net::Failure::kStopped;
    return out;
  }
  const WatchScope watched(http, budget);
  out.sent = postBody ? http.Post(server, path.c_str(), postBody, referrer)
                      : http.Get(server, path.c_str(), referrer);
  out.answeredPath = common::ByteString(http.answeredPath());
  if (!out.sent) {
    out.failure = http.failure();
    if (out.failure == net::Failure::kStopped) budget.NoteStopped();
    return out;
  }
  out.status = http.Status();
  std::uint32_t length = 0;
  const char* text = http.ReadAll(&length);
  out.readFailure = http.readFailure();
  if (out.readFailure == net::ReadFailure::kStopped) budget.NoteStopped();
  out.body = common::ByteString(text ? text : "");
  budget.CountText(text ? length : http.bytesArrived());
  return out;
}

}  // namespace engine
