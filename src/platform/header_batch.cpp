#include "platform/header_batch.h"

#include "platform/platform.h"

namespace platform {

bool StartHeaderBatch(const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers) {
  answers->assign(queries.size(), HeaderAnswer{});
  return !queries.empty();
}

std::size_t HeaderBatchWidth(std::size_t count) {
  return count < kMaxQueriesInFlight ? count : kMaxQueriesInFlight;
}

std::string QueryHeaderBlock(const char* headers, const HeaderQuery& query) {
  std::string block = headers ? headers : "";
  if (!query.cookie.empty()) block += "Cookie: " + query.cookie + "\r\n";
  return block;
}

bool HeaderBatchStopped(const TransferWatch* watch, std::uint64_t done, std::int64_t total) {
  if (!watch) return false;
  if (watch->deadline != 0 && NowMilliseconds() >= watch->deadline) return true;
  return watch->proceed && !watch->proceed(watch->context, done, total);
}

void CancelUnanswered(std::vector<HeaderAnswer>* answers) {
  for (HeaderAnswer& a : *answers)
    if (!a.answered && a.error == 0) a.error = kErrorCancelled;
}

}  // namespace platform
