// Without windows, the host exports a function the plug-in's platform layer finds and sends
// its messages to.
#include <unistd.h>

#include <climits>

#include "tools/host/host_window.h"

extern "C" __attribute__((visibility("default"))) void frameleaf_host_message_sink(
    std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  PrintHostMessage(message, wParam, lParam);
}

void PrepareConsole() {}
void CreateHostWindow() {}
void* HostWindow() {
  return nullptr;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char folder[PATH_MAX];
  if (!::getcwd(folder, sizeof folder)) return path;
  return std::string(folder) + "/" + path;
}

int IconResourceId(void*, void*) {
  return 0;  // no icon resources here
}
