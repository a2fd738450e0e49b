#include "plugin/listing_cache.h"

#include <string>

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
  DropListing(key);
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

void ListingCache::DropUnder(const char* folder) {
  const std::string key = common::FoldedKey(folder);
  const auto under = [&key](const std::string& other) {
    return other.compare(0, key.size(), key) == 0 &&
           (other.size() == key.size() || other[key.size()] == '\\');
  };
  for (auto it = order_.begin(); it != order_.end();) {
    const std::string kept = (it++)->key;
    if (under(kept)) DropListing(kept);
  }
  for (auto it = addressOrder_.begin(); it != addressOrder_.end();) {
    if (!under(*it)) {
      ++it;
      continue;
    }
    const auto found = addresses_.find(*it);
    addressBytes_ -= it->size() + found->second.size();
    addresses_.erase(found);
    it = addressOrder_.erase(it);
  }
}

void ListingCache::DropListing(const std::string& key) {
  const auto it = byFolder_.find(key);
  if (it == byFolder_.end()) return;
  bytes_ -= it->second->bytes;
  order_.erase(it->second);
  byFolder_.erase(it);
}

void ListingCache::DropOldest() {
  bytes_ -= order_.back().bytes;
  byFolder_.erase(order_.back().key);
  order_.pop_back();
}

void ListingCache::Remember(const std::string& key, const common::ByteString& url) {
  const auto it = addresses_.find(key);
  if (it != addresses_.end()) {
    addressBytes_ = addressBytes_ - it->second.size() + url.size();
    it->second = url;
    addressOrder_.remove(key);  // now the newest
    addressOrder_.push_back(key);
  } else {
    addresses_.emplace(key, url);
    addressOrder_.push_back(key);
    addressBytes_ += key.size() + url.size();
  }
  // The newest address is kept whatever its size.
  while (addressOrder_.size() > 1 &&
         (addresses_.size() > kMaxKeptAddresses || addressBytes_ > kMaxKeptAddressBytes))
    ForgetOldestAddress();
}

void ListingCache::ForgetOldestAddress() {
  const auto oldest = addresses_.find(addressOrder_.front());
  addressBytes_ -= oldest->first.size() + oldest->second.size();
  addresses_.erase(oldest);
  addressOrder_.pop_front();
}

}  // namespace plugin
