// Copying a listed photo out of the drive: the entry of the photo's own folder names its
// address, its preview and its server.
#pragma once

#include "engine/listing.h"
#include "engine/tools.h"

namespace engine {

// Downloads photo (an entry of listing) into localPath: its preview when preview is set,
// else the full photo. A short first answer (under 2000 bytes) is asked for again with the
// path ending in "JPG". True when the file was written whole; on false the reason is on the
// error page (a failed request excepted) and no local file was created or left half-written.
bool DownloadPhoto(Tools& tools, const Listing& listing, const Entry& photo, bool preview,
                   const char* localPath);

}  // namespace engine
