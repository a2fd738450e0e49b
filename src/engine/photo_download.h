// Copying a listed photo out of the drive: the photo's address is looked up by its name
// among the last photo listing's entries and fetched from the photo's own server.
#pragma once

#include "engine/engine.h"

namespace engine {

// Downloads the photo that remotePath names (its last component, "….jpg" or "….JPG") into
// localPath: the preview when localPath holds "_tc", else the full photo. A short first
// answer (under 2000 bytes) is asked for again with the path ending in "JPG". True when the
// file was written whole; on false the reason is on the error page (a failed request
// excepted) and no local file was created or left half-written.
bool DownloadPhotoInto(Engine& e, const char* remotePath, const char* localPath);

}  // namespace engine
