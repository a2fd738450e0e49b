// The site listings the panels show, kept by folder path (letter case aside, as the host
// treats paths), and the address of every folder listed so far. A copy or an opened album
// reads the listing of its own folder; a folder whose listing was dropped is listed again
// from its remembered address, so the user is never asked for it twice.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>

#include "common/byte_string.h"
#include "common/limits.h"
#include "engine/listing.h"

namespace plugin {

// Bounds on what is kept: common/limits.h.
using limits::kMaxKeptAddressBytes;
using limits::kMaxKeptAddresses;
using limits::kMaxKeptBytes;
using limits::kMaxKeptListings;

class ListingCache {
 public:
  // The listing kept for folder; null when there is none.
  engine::ListingPtr Find(const char* folder);
  // Keeps listing as folder's, in place of what was kept; remembers its address.
  void Keep(const char* folder, engine::ListingPtr listing);
  // The address folder was last listed from; empty when it was never listed.
  common::ByteString AddressOf(const char* folder) const;
  // Forgets folder and every folder below it, listings and addresses alike: after a bookmark
  // is renamed or deleted nothing may be listed again from what it pointed at.
  void DropUnder(const char* folder);
  std::size_t size() const { return order_.size(); }
  std::size_t addressCount() const { return addresses_.size(); }
  std::size_t addressBytes() const { return addressBytes_; }

 private:
  struct Kept {
    std::string key;
    engine::ListingPtr listing;
    std::size_t bytes;
  };
  void DropOldest();
  void DropListing(const std::string& key);
  void Remember(const std::string& key, const common::ByteString& url);
  void ForgetOldestAddress();

  std::list<Kept> order_;  // most recently used first
  std::unordered_map<std::string, std::list<Kept>::iterator> byFolder_;
  std::size_t bytes_ = 0;
  std::unordered_map<std::string, common::ByteString> addresses_;
  std::list<std::string> addressOrder_;  // oldest first
  std::size_t addressBytes_ = 0;
};

}  // namespace plugin
