// The virtual drive's listings: the root with its fixed entries and bookmarks, the address
// prompt, the language folder, site listings and the single error entry.
#pragma once

#include <cstdint>

#include "engine/listing.h"
#include "platform/platform.h"

namespace plugin {

// The album address that pre-fills the address prompt.
const char* ExampleAlbumAddress();

// Starts a listing of path: the first entry goes into record. Returns a handle, 0 for an
// empty listing, or -1 when the listing failed. On the wide side every name handed out is
// UTF-8 (site names as the wide calls show them, the module's own texts converted from the
// code page); the handle keeps its side for the entries after the first.
std::intptr_t FindFirst(const char* path, platform::FindData* record,
                        engine::NameSide side = engine::NameSide::kAnsi);
// The next entry: 1, or 0 when there are no more.
int FindNext(std::intptr_t handle, platform::FindData* record);
int FindClose(std::intptr_t handle);

}  // namespace plugin
