// The module's load routine on POSIX: runs once when the shared object is loaded.
#include "plugin/plugin_state.h"

namespace {
__attribute__((constructor)) void LoadModule() {
  try {
    plugin::OnModuleLoad(nullptr);
  } catch (...) {
  }
}
}  // namespace
