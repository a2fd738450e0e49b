// The size and time of every photo of a listing, from its photo server.
#pragma once

#include <vector>

#include "engine/listing.h"
#include "net/http_session.h"

namespace engine {

// Fills size and time of every entry, in entry order. A photo whose server names no time
// gets the time of the photo before it in the listing. An entry without an address is not
// asked for: its size is 0.
void QuerySizes(net::HttpSession& http, std::vector<Entry>* entries);

}  // namespace engine
