// The results of the last album listing and of the last photo listing, as parallel lists.
// An album listing replaces the album lists only, a photo listing the photo lists only, so
// both stay readable side by side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/byte_string.h"
#include "platform/platform.h"

namespace engine {

enum Mode : int { kModeNone = 0, kModeAlbums = 1, kModePhotos = 2 };

struct EntryList {
  std::vector<common::ByteString> photoNames;
  std::vector<common::ByteString> albumNames;
  std::vector<common::ByteString> photoAddresses;
  std::vector<common::ByteString> previewAddresses;
  std::vector<common::ByteString> albumAddresses;
  std::vector<std::uint32_t> photoSizes;
  std::vector<platform::FileTime> photoTimes;
  // The server each photo's addresses refer to: in full-size mode every photo's own page
  // names its server, so sizes and downloads must not all go to the last one named.
  std::vector<common::ByteString> photoServers;

  void ClearAlbums() {
    albumNames.clear();
    albumAddresses.clear();
  }
  void ClearPhotos() {
    photoNames.clear();
    photoAddresses.clear();
    previewAddresses.clear();
    photoSizes.clear();
    photoTimes.clear();
    photoServers.clear();
  }
};

// Lookups by whole, case-sensitive name; the first equal entry wins. A name that has no
// address yet (a listing that failed half-way) counts as not found.
namespace lookup {

constexpr std::size_t kNotFound = std::size_t(-1);

inline std::size_t Find(const std::vector<common::ByteString>& names, std::size_t usable,
                        const char* name) {
  const common::ByteString wanted(name);
  for (std::size_t i = 0; i < names.size() && i < usable; ++i)
    if (names[i] == wanted) return i;
  return kNotFound;
}

inline std::size_t Album(const EntryList& e, const char* name) {
  return Find(e.albumNames, e.albumAddresses.size(), name);
}

inline std::size_t Photo(const EntryList& e, const char* name) {
  return Find(e.photoNames, e.photoAddresses.size(), name);
}

}  // namespace lookup

// The address of the album of that name, else of the photo of that name, else "NULL".
inline common::ByteString FindEntryUrl(const EntryList& e, const char* name) {
  std::size_t i = lookup::Album(e, name);
  if (i != lookup::kNotFound) return e.albumAddresses[i];
  i = lookup::Photo(e, name);
  if (i != lookup::kNotFound) return e.photoAddresses[i];
  return "NULL";
}

// The preview address of the photo of that name, else "NULL".
inline common::ByteString FindPreviewUrl(const EntryList& e, const char* name) {
  const std::size_t i = lookup::Photo(e, name);
  if (i == lookup::kNotFound || i >= e.previewAddresses.size()) return "NULL";
  return e.previewAddresses[i];
}

}  // namespace engine
