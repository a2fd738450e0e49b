#include "plugin/host_boundary.h"

#include "plugin/host_api.h"
#include "plugin/virtual_tree.h"

namespace plugin {

CorePath::CorePath(const char* hostPath, Kind kind)
    : text_(hostPath ? HostToCorePath(hostPath, kind) : std::string()),
      null_(hostPath == nullptr) {}

std::intptr_t ToHostListing(std::intptr_t handle, platform::FindData* record) {
  if (handle == kInvalidHandle) return kInvalidHandle;
  if (handle == 0 || record->fileName[0] == '\0') {
    if (handle != 0) FindClose(handle);
    SetNoMoreFilesError();
    return kInvalidHandle;
  }
  ToHostEntry(record);
  return handle;
}

}  // namespace plugin
