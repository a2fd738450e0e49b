// The results of the last album listing and of the last photo listing, as parallel lists.
// An album listing replaces the album lists only, a photo listing the photo lists only, so
// both stay readable side by side.
#pragma once

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
};

}  // namespace engine
