#include "engine/sizes.h"

#include <string>

namespace engine {

std::vector<PhotoSize> QuerySizes(net::HttpSession& http, const std::vector<Entry>& entries) {
  // Only entries with an address are asked; asked[k] is the query of entries[linked[k]].
  std::vector<net::FileQuery> asked;
  std::vector<std::size_t> linked;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    // An entry without an address (its conversion failed) has nothing on the server to ask.
    if (e.address.empty() || e.address == common::ByteString("NULL")) continue;
    asked.push_back(net::FileQuery{e.server.str(), e.address.str()});
    linked.push_back(i);
  }
  const std::vector<net::FileInfo> infos = http.QueryFileInfos(asked);
  std::vector<PhotoSize> sizes(entries.size());
  for (std::size_t k = 0; k < linked.size(); ++k) {
    const net::FileInfo& info = infos[k];
    PhotoSize& s = sizes[linked[k]];
    s.size = info.found ? info.size : 0;
    platform::FileTime converted;
    if (info.found && info.hasTime && platform::SystemTimeToFileTime(info.time, &converted))
      s.time = converted;
  }
  return sizes;
}

std::vector<Entry> WithSizes(std::vector<Entry> entries, const std::vector<PhotoSize>& sizes) {
  for (std::size_t i = 0; i < entries.size() && i < sizes.size(); ++i) {
    entries[i].size = sizes[i].size;
    entries[i].time = sizes[i].time;
  }
  return entries;
}

}  // namespace engine
