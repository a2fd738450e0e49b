#include "engine/sizes.h"

#include <map>
#include <string>

namespace engine {

void QuerySizes(net::HttpSession& http, std::vector<Entry>* entries) {
  platform::SystemTime modified = {};
  platform::FileTime last = {0, 0};
  // How each server is asked: HEAD until it refuses it, then GET for the rest of the listing.
  std::map<std::string, net::SizeMethod> methods;
  for (Entry& e : *entries) {
    // An entry without an address (its conversion failed) has nothing on the server to ask.
    const bool linked = !e.address.empty() && e.address != common::ByteString("NULL");
    if (linked) {
      net::SizeMethod& method =
          methods.emplace(e.server.c_str(), net::SizeMethod::kHead).first->second;
      e.size = http.QueryFileInfo(e.server.c_str(), e.address.c_str(), nullptr, &modified, &method);
    } else {
      e.size = 0;
    }
    platform::FileTime converted;
    if (platform::SystemTimeToFileTime(modified, &converted)) last = converted;
    e.time = last;
  }
}

}  // namespace engine
