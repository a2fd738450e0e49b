// The export boundary on Windows: the host speaks the core's own dialect.
#include "plugin/host_boundary.h"

namespace plugin {

std::string HostToCorePath(const char* hostPath, CorePath::Kind) {
  return hostPath;
}

void ToHostEntry(platform::FindData*) {}

void SetNoMoreFilesError() {
  platform::SetLastError(18);  // ERROR_NO_MORE_FILES
}

}  // namespace plugin
