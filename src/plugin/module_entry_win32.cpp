// The module's load routine on Windows: on process attach it finds the host window and
// derives the paths. It does nothing for threads (the host's threads come and go with every
// background copy) and nothing at detach: the state is left to the process's end.
#include <windows.h>

#include "plugin/plugin_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  ::DisableThreadLibraryCalls(module);
  try {
    plugin::OnModuleLoad(module);
  } catch (...) {
  }
  return TRUE;
}
