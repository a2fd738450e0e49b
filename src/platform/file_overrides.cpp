#include "platform/file_overrides.h"

namespace platform {

namespace {
const FileCallOverrides* active = nullptr;
}  // namespace

void OverrideFileCalls(const FileCallOverrides* overrides) {
  active = overrides;
}

const FileCallOverrides* ActiveFileOverrides() {
  return active;
}

}  // namespace platform
