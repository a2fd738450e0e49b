// A listing: what one folder of the drive shows, built whole from a site's pages and never
// changed afterwards. Every find handle, every copy and every lookup of an album below it
// reads the listing of its own folder, so listing another folder changes nothing it sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/byte_string.h"
#include "platform/platform.h"

namespace engine {

enum Mode : int { kModeNone = 0, kModeAlbums = 1, kModePhotos = 2 };

// The two sets of calls a host may use: the ANSI ones show names in the system's code page,
// the wide ones in UTF-16 (kept here as UTF-8, converted at the export boundary).
enum class NameSide { kAnsi, kWide };

// An entry's three names. ConvertEntries leaves the name as the site gave it in `name`;
// SettleNames (site_browser.cpp) then makes all three, and MakeListing makes the two the
// host sees unique within the listing:
// - utf8Name: the site's name in UTF-8 (converted from the code page when the site does not
//   speak UTF-8), not made safe: the source the other two are made from, never shown.
// - name: what the ANSI calls show, in the system's code page. From a UTF-8 site it is made
//   safe (SafeUtf8Name) before the conversion to the code page and again (SafeName) after
//   it, since the conversion can bring back what the first pass took out (a full-width
//   "．．／" becomes "../") and a letter the code page lacks comes out as "?", which the
//   second pass turns into "_". From a code-page site it is made safe once, in its own
//   bytes. Then it is cut to extract::kMaxNameLength bytes and made unique; the host gets it
//   as it is, and finds an entry by it without regard to letter case.
// - wideName: what the wide calls show, kept in UTF-8: utf8Name made safe (SafeUtf8Name,
//   which also bounds it to kMaxNameLength UTF-16 units) and unique, all before the one
//   conversion it still has: to UTF-16 at the export boundary (plugin::ToWideRecord), which
//   therefore never has to cut it. A wide path coming in goes the other way, UTF-16 to
//   UTF-8 (plugin::CorePath), and its site names are matched against wideName as they are;
//   only the module's own names in it (the root's, the language files', the typed
//   addresses' folders, the error entry) are converted to the code page.
// Album names also lose trailing blanks and dots (TrimNameEnd): the ANSI name after it is
// made safe, the wide name before. On POSIX the boundary changes only the separators of
// paths ("/" to "\"), never a name.
struct Entry {
  // The name as the site gives it, UTF-8 whatever the site's own encoding; made by
  // ConvertEntries (in the site's encoding) and settled by the listing.
  common::ByteString utf8Name;
  common::ByteString name;      // as the ANSI calls show it: unique within the listing
  common::ByteString wideName;  // as the wide calls show it, in UTF-8: unique as well
  common::ByteString address;   // albums: a path on the listing's host; photos: on server
  common::ByteString preview;   // photos: the preview's path on server, or "NULL"
  common::ByteString server;    // photos: the photo server the addresses refer to
  std::uint64_t size = 0;
  platform::FileTime time = {0, 0};
  bool album = false;  // a folder: an album of an album list, or a sub-album beside photos
};

// Whether an entry's address (or preview) was made: a conversion that failed leaves "NULL",
// an address that can never be asked for.
inline bool HasAddress(const common::ByteString& address) {
  return !address.empty() && !(address == common::ByteString("NULL"));
}

struct Listing {
  int mode = kModeNone;     // albums or photos
  common::ByteString url;   // the address that was listed, "http://host/path"
  common::ByteString host;  // the host album addresses are on
  bool secure = false;      // its requests, and its albums', use https
  std::vector<Entry> entries;
  // The paths on host of this listing's pages and of the albums above it, top first: an
  // album links back up to none of them.
  std::vector<common::ByteString> trail;

  // The entry called name (the whole name, letter case aside) on the given side; null when
  // there is none.
  const Entry* Find(const char* name, NameSide side = NameSide::kAnsi) const;
  // Bytes the listing holds, for the bound on what is kept.
  std::size_t Footprint() const;
};

using ListingPtr = std::shared_ptr<const Listing>;

// Equality of names as the host treats them: letter case ignored for ASCII and for the
// Cyrillic letters of Windows-1251.
bool SameName(const char* a, const char* b);

}  // namespace engine
