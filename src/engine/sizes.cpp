#include "engine/sizes.h"

namespace engine {

void QuerySizes(net::HttpSession& http, std::vector<Entry>* entries) {
  platform::SystemTime modified = {};
  platform::FileTime last = {0, 0};
  for (Entry& e : *entries) {
    // An entry without an address (its conversion failed) has nothing on the server to ask.
    const bool linked = !e.address.empty() && e.address != common::ByteString("NULL");
    e.size =
        linked ? http.QueryFileInfo(e.server.c_str(), e.address.c_str(), nullptr, &modified) : 0;
    platform::FileTime converted;
    if (platform::SystemTimeToFileTime(modified, &converted)) last = converted;
    e.time = last;
  }
}

}  // namespace engine
