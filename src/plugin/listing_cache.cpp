#include "plugin/listing_cache.h"

#include "common/name_case.h"

namespace plugin {

engine::ListingPtr ListingCache::Find(const char* folder) {
  const auto it = byFolder_.find(common::FoldedKey(folder));
  if (it == byFolder_.end()) return nullptr;
  order_.splice(order_.begin(), order_, it->second);  // used now: dropped last
  return it->second->listing;
}

void ListingCache::Keep(const char* folder, engine::ListingPtr listing) {
  if (!listing) return;
  const std::string key = common::FoldedKey(folder);
  Remember(key, listing->url);
  const auto it = byFolder_.find(key);
  if (it != byFolder_.end()) {
    bytes_ -= it->second->bytes;
    order_.erase(it->second);
    byFolder_.erase(it);
  }
  const std::size_t bytes = listing->Footprint();
  order_.push_front(Kept{key, std::move(listing), bytes});
  byFolder_[key] = order_.begin();
  bytes_ += bytes;
  while (order_.size() > 1 && (order_.size() > kMaxKeptListings || bytes_ > kMaxKeptBytes))
    DropOldest();
}

common::ByteString ListingCache::AddressOf(const char* folder) const {
  const auto it = addresses_.find(common::FoldedKey(folder));
  return it == addresses_.end() ? common::ByteString() : it->second;
}

void ListingCache::DropOldest() {
  bytes_ -= order_.back().bytes;
  byFolder_.erase(order_.back().key);
  order_.pop_back();
}

void ListingCache::Remember(const std::string& key, const common::ByteString& url) {
  const auto it = addresses_.find(key);
  if (it != addresses_.end()) {
    it->second = url;
    return;
  }
  if (addresses_.size() == kMaxKeptAddresses) {
    addresses_.erase(addressOrder_.front());
    addressOrder_.pop_front();
  }
  addresses_.emplace(key, url);
  addressOrder_.push_back(key);
}

}  // namespace plugin
