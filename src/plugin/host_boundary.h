// What crosses the export boundary, brought from the host's conventions to the core's and
// back. The core speaks one dialect everywhere (remote paths with backslashes, the root
// "\", "no time" as the Windows file manager shows a blank date); a host on another system
// speaks its own, and the translation happens here, once per export, and nowhere else.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/listing.h"
#include "platform/platform.h"
#include "plugin/find_records.h"
#include "plugin/host_api.h"

namespace plugin {

// A remote path of the virtual tree as the core reads it. On Windows the host's path as
// given; on POSIX "/" separators become "\" and an empty path is the root. A folder to list
// loses a trailing separator (the host there lists "/Alpha/" during copies); other paths
// keep theirs, which can mean something ("\name\" deletes the bookmark name). A null path
// stays null.
//
// A path of the wide calls becomes the same path with each name in the form the core finds
// it by: the names of the root (bookmarks and the module's own entries), the files of the
// language folder, the folders of typed addresses and the error entry in the code page, the names
// of site listings in UTF-8 (as Entry::wideName holds them).
class CorePath {
 public:
  enum Kind { kFile, kFolderToList };
  explicit CorePath(const char* hostPath, Kind kind = kFile);
  explicit CorePath(const WideChar* hostPath, Kind kind = kFile);
  // Writable, as the core's functions take it; null when the host passed null.
  char* get() { return null_ ? nullptr : &text_[0]; }

 private:
  std::string text_;
  bool null_;
};

// The translation itself, the platform's part of the boundary.
std::string HostToCorePath(const char* hostPath, CorePath::Kind kind);

// A wide path (already in UTF-8 and in the core's dialect) with each name in the form the
// core finds it by, as CorePath describes.
std::string WideNamesToCore(const std::string& utf8Path);

// A core record of a wide listing (its name in UTF-8) becomes the wide calls' record through
// ToWideRecord (plugin/find_records.h).

// Runs body for an export: an exception becomes onFailure, and a call that arrives while
// another export runs is refused at once with onFailure. The host keeps handling messages
// while a prompt of the plug-in is open, and a call that arrives then would replace the
// page, the lists and the connection that the running call is in the middle of.
std::atomic<bool>& ExportRunning();
template <typename R, typename F>
R Guarded(R onFailure, F&& body) {
  if (ExportRunning().exchange(true)) return onFailure;
  struct Done {
    ~Done() { ExportRunning() = false; }
  } done;
  try {
    return body();
  } catch (...) {
    return onFailure;
  }
}

// Runs body for an export that only reads a listing handle the host holds (find-next,
// find-close): an exception becomes onFailure, but a call that arrives while another
// export runs is served. The handle's listing is a value no other call changes, and a
// host that redraws a panel while a copy reports progress must neither see its listing
// end early nor leak the handle it closes.
template <typename R, typename F>
R Shielded(R onFailure, F&& body) {
  try {
    return body();
  } catch (...) {
    return onFailure;
  }
}

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
