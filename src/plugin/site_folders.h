// The site folders of the drive: a bookmark or the address prompt at the root lists an
// address; a folder below a listing lists the album of that name in its parent's listing.
// Every listing made is kept by its folder (plugin/listing_cache.h).
#pragma once

#include "engine/listing.h"

namespace plugin {

// Lists folder from url (a folder of the root) and keeps the listing; null after a report.
engine::ListingPtr ListAddressFolder(const char* folder, const char* url);
// Lists folder, an album below a site folder, and keeps the listing; null after a report.
// Its last component is the album's name as side shows it.
engine::ListingPtr ListAlbumFolder(const char* folder,
                                   engine::NameSide side = engine::NameSide::kAnsi);
// The listing of folder as kept; one that was dropped, or never made, is listed again from
// what is known of the folder: its remembered address, its bookmark, or its parent's
// listing. Null when it cannot be listed (after a report where a listing was tried).
engine::ListingPtr ListingOf(const char* folder, engine::NameSide side = engine::NameSide::kAnsi);

}  // namespace plugin
