// The size and time of every photo of a listing, from its photo server.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/listing.h"
#include "net/http_session.h"

namespace engine {

struct PhotoSize {
  std::uint32_t size = 0;
  platform::FileTime time = platform::kNoFileTime;
};

// The size and time of every entry, by entry index, asked of the entries' photo servers
// together. A photo whose server names no time, or whose query failed or was answered with
// an error status, has no time (the host shows a blank date); a failed query gives size 0.
// An entry without an address is not asked for: size 0, no time.
std::vector<PhotoSize> QuerySizes(net::HttpSession& http, const std::vector<Entry>& entries);

// The entries with their sizes and times, entry i with sizes[i].
std::vector<Entry> WithSizes(std::vector<Entry> entries, const std::vector<PhotoSize>& sizes);

}  // namespace engine
