// Copying a listed photo out of the drive: the entry of the photo's own folder names its
// address, its preview and its server.
#pragma once

#include "engine/listing.h"
#include "engine/tools.h"

namespace engine {

// How a copy ended, as the host is told.
enum class CopyResult {
  kCopied,       // the file holds the photo, whole
  kCancelled,    // the user stopped it
  kNotFound,     // the photo has no address, or the server has no such photo
  kReadFailed,   // the photo could not be fetched whole
  kWriteFailed,  // the local file could not be created, written or put in place
  kExists,       // the target appeared meanwhile and replacing it was not allowed
};

// Downloads photo (an entry of listing) into localPath: its preview when preview is set,
// else the full photo. A short first answer (under 2000 bytes) is asked for again with the
// path ending in "JPG". The local file is made before anything is requested: a target that
// cannot be written costs no download. Anything but kCopied leaves no local file created or
// half-written, and its reason on the error page (a failed request and a cancel excepted).
CopyResult DownloadPhoto(Tools& tools, const Listing& listing, const Entry& photo, bool preview,
                         const char* localPath);

}  // namespace engine
