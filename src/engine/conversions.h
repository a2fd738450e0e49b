// Raw entries (the whole matches a listing kept) into addresses and names, and the page
// steps that run before a page is searched: the warning page and the photo's own page.
#pragma once

#include "engine/engine.h"

namespace engine {

// The entry's address (album: on host; photo: on the photo server), or "NULL".
common::ByteString MakeEntryUrl(Engine& e, const common::ByteString& raw);
// A photo's preview address, or "NULL".
common::ByteString MakePreviewUrl(Engine& e, const common::ByteString& raw);
// The directory or file name of the entry, or "NULL". Album names are converted from UTF-8
// when the script says so and lose trailing spaces and dots; photo names are kept as made.
common::ByteString MakeEntryName(Engine& e, const common::ByteString& raw);
// Full-size mode: the photo's entry on its own page, or "NULL"; sets the photo server anew
// (and *server to it) from that page's match.
common::ByteString FetchPhotoPageItem(Engine& e, const common::ByteString& raw,
                                      common::ByteString* server);
// Passes a warning page: when the script's EroWarning matches the page, the page behind its
// link replaces it. 1 when the page was replaced.
int FollowEroWarning(Engine& e);

}  // namespace engine
