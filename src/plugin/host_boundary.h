// What crosses the export boundary, brought from the host's conventions to the core's and
// back. The core speaks one dialect everywhere (remote paths with backslashes, the root
// "\", "no time" as the Windows file manager shows a blank date); a host on another system
// speaks its own, and the translation happens here, once per export, and nowhere else.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace plugin {

// A remote path of the virtual tree as the core reads it. On Windows the host's path as
// given; on POSIX "/" separators become "\" and an empty path is the root. A folder to list
// loses a trailing separator (the host there lists "/Alpha/" during copies); other paths
// keep theirs, which can mean something ("\name\" deletes the bookmark name). A null path
// stays null.
class CorePath {
 public:
  enum Kind { kFile, kFolderToList };
  explicit CorePath(const char* hostPath, Kind kind = kFile);
  // Writable, as the core's functions take it; null when the host passed null.
  char* get() { return null_ ? nullptr : &text_[0]; }

 private:
  std::string text_;
  bool null_;
};

// The translation itself, the platform's part of the boundary.
std::string HostToCorePath(const char* hostPath, CorePath::Kind kind);

// Brings one listed entry into the host's conventions: on POSIX an entry without a time, or
// with one before 1970, carries the module file's time, since the host there hangs on copying
// such an entry. Windows keeps the "no time" value, which its file manager shows as blank.
void ToHostEntry(platform::FindData* record);

// FsFindFirst's answer as the host reads it. A listing with nothing in it (the core's 0, or
// a handle whose first entry has no name) is the invalid handle -1 with the system's "no
// more files" error, as the plug-in interface says; a 0 would be taken for a valid handle.
// A valid handle's first entry is brought into the host's conventions.
std::intptr_t ToHostListing(std::intptr_t handle, platform::FindData* record);

// Sets the system's "no more files" error where the host reads errors.
void SetNoMoreFilesError();

// Boolean results are read as one byte by some hosts: exactly 0 or 1.
inline int ToHostBool(int value) {
  return value != 0 ? 1 : 0;
}

}  // namespace plugin
