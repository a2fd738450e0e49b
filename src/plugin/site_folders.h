// The site folders of the drive. A site root lists an address: a bookmark of the root
// ("\Name") or the folder of an address typed at the prompt ("\[connection]\Name"). A folder
// below a site root, at any depth down to limits::kMaxAlbumDepth, lists the album of that
// name in its parent's listing. Every listing made is kept by its folder
// (plugin/listing_cache.h).
#pragma once

#include "common/byte_string.h"
#include "engine/listing.h"

namespace plugin {

// What a folder of the drive is, as far as site listings go.
enum class SiteFolderKind {
  kNone,   // not a site folder (the root, the module's own folders, too deep)
  kRoot,   // lists an address
  kAlbum,  // lists an album of its parent (an album list's, or an album's own)
};
SiteFolderKind KindOfFolder(const char* folder);

// The address a site root lists: its bookmark's, or the address typed for its folder. Empty
// for any other folder, and for a root that names no bookmark or typed address.
common::ByteString RootAddress(const char* folder);

// Whether folder is an album below an album of a site root that names no bookmark or typed
// address (one deleted, or typed before the module was loaded): such a folder lists
// nothing, as its root does, without a listing tried above it.
bool BelowLostRoot(const char* folder);

// Lists folder from url (a site root) and keeps the listing; null after a report.
engine::ListingPtr ListAddressFolder(const char* folder, const char* url);
// Lists folder, an album below a site root, and keeps the listing; null after a report.
// Its last component is the album's name as side shows it.
engine::ListingPtr ListAlbumFolder(const char* folder,
                                   engine::NameSide side = engine::NameSide::kAnsi);
// The listing of folder as kept; one that was dropped, or never made, is listed again from
// what is known of the folder: its remembered address, its root's address, or its parent's
// listing. Null when it cannot be listed (after a report where a listing was tried).
engine::ListingPtr ListingOf(const char* folder, engine::NameSide side = engine::NameSide::kAnsi);

}  // namespace plugin
