// The size and time of every photo of a listing, from its photo server.
#pragma once

#include <cstdint>
#include <vector>

#include <string>

#include "engine/fetch.h"
#include "engine/listing.h"
#include "net/http_session.h"

namespace engine {

struct PhotoSize {
  std::uint64_t size = 0;
  platform::FileTime time = platform::kNoFileTime;
};

// What the size queries of a listing brought.
struct SizeAnswers {
  std::vector<PhotoSize> sizes;      // by entry index
  std::size_t notAsked = 0;          // photos not asked: out of time, or server given up
  std::vector<std::string> givenUp;  // servers given up after repeated failures
};

// The size and time of every entry, by entry index, asked of the entries' photo servers
// together within the budget. A photo whose server names no time, or whose query failed or
// was answered with an error status, has no time (the host shows a blank date); a failed
// query gives size 0. An entry without an address, or an album, is not asked for: size 0,
// no time. Past
// the budget's deadline, or once the user stopped it, the photos not yet asked keep size 0.
SizeAnswers QuerySizes(net::HttpSession& http, Budget& budget, const std::vector<Entry>& entries);

// The entries with their sizes and times, entry i with sizes[i].
std::vector<Entry> WithSizes(std::vector<Entry> entries, const std::vector<PhotoSize>& sizes);

}  // namespace engine
