// The parts of a header batch (NetQueryHeaders) that do not depend on the internet library:
// the preamble every platform's batch starts with, the header block of one query, and the
// batch's watch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/internet.h"

namespace platform {

// The preamble of a batch: one answer for each query, none answered yet. False when there is
// nothing to ask (no query), and the batch is done.
bool StartHeaderBatch(const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers);

// How many queries of a batch of count are in flight at once.
std::size_t HeaderBatchWidth(std::size_t count);

// The header block a query sends: the batch's own (null: none), then a Cookie line when the
// query has a cookie.
std::string QueryHeaderBlock(const char* headers, const HeaderQuery& query);

// Whether the batch's watch (may be null) stops it now: its deadline has passed, or its
// proceed, told the answers done and the queries asked, says stop.
bool HeaderBatchStopped(const TransferWatch* watch, std::uint64_t done, std::int64_t total);

// Fails with kErrorCancelled every query that has neither an answer nor an error yet.
void CancelUnanswered(std::vector<HeaderAnswer>* answers);

}  // namespace platform
