// The module's load routine on Windows. It runs for every reason code and does the same
// work each time: find the host window, derive the paths.
#include "plugin/plugin_state.h"

extern "C" int __attribute__((stdcall))
DllMain(void* module, unsigned long /*reason*/, void* /*reserved*/) {
  try {
    plugin::OnModuleLoad(module);
  } catch (...) {
  }
  return 1;
}
