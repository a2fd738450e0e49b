#include "engine/listing.h"

#include "common/name_case.h"

namespace engine {

const Entry* Listing::Find(const char* name, NameSide side) const {
  if (side == NameSide::kWide) {
    const std::string key = common::FoldedUtf8Key(name);
    for (const Entry& e : entries)
      if (common::FoldedUtf8Key(e.wideName.c_str()) == key) return &e;
    return nullptr;
  }
  for (const Entry& e : entries)
    if (common::EqualIgnoringCase(e.name.c_str(), name)) return &e;
  return nullptr;
}

std::size_t Listing::Footprint() const {
  std::size_t bytes = sizeof *this + url.size() + host.size();
  for (const Entry& e : entries)
    bytes += sizeof e + e.utf8Name.size() + e.name.size() + e.wideName.size() + e.address.size() +
             e.preview.size() + e.server.size();
  for (const common::ByteString& page : trail)
    bytes += sizeof page + page.size();
  return bytes;
}

bool SameName(const char* a, const char* b) {
  return common::EqualIgnoringCase(a, b);
}

}  // namespace engine
