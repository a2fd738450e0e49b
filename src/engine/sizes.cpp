#include "engine/sizes.h"

#include <string>

namespace engine {

SizeAnswers QuerySizes(net::HttpSession& http, Budget& budget, const std::vector<Entry>& entries) {
  // Only entries with an address are asked; asked[k] is the query of entries[linked[k]].
  std::vector<net::FileQuery> asked;
  std::vector<std::size_t> linked;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    // An entry without an address (its conversion failed) has nothing on the server to ask.
    // An album beside the photos is a folder: it has no size.
    if (e.album || !HasAddress(e.address)) continue;
    asked.push_back(net::FileQuery{e.server.str(), e.address.str()});
    linked.push_back(i);
  }
  SizeAnswers out;
  out.sizes.resize(entries.size());
  std::vector<net::FileInfo> infos(asked.size());
  if (budget.Proceed()) {
    budget.SetPercent(50);
    const WatchScope watched(http, budget);
    infos = http.QueryFileInfos(asked);
    out.givenUp = http.givenUpServers();
    for (const net::FileInfo& info : infos)
      if (info.error == platform::kErrorCancelled) budget.NoteStopped();
  } else {
    for (net::FileInfo& info : infos)
      info.asked = false;
  }
  for (std::size_t k = 0; k < linked.size(); ++k) {
    const net::FileInfo& info = infos[k];
    if (!info.asked) ++out.notAsked;
    PhotoSize& s = out.sizes[linked[k]];
    s.size = info.found ? info.size : 0;
    platform::FileTime converted;
    if (info.found && info.hasTime && platform::SystemTimeToFileTime(info.time, &converted))
      s.time = converted;
  }
  return out;
}

std::vector<Entry> WithSizes(std::vector<Entry> entries, const std::vector<PhotoSize>& sizes) {
  for (std::size_t i = 0; i < entries.size() && i < sizes.size(); ++i) {
    entries[i].size = sizes[i].size;
    entries[i].time = sizes[i].time;
  }
  return entries;
}

}  // namespace engine
