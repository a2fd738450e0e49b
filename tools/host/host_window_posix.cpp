// Without windows, the host exports a function the plug-in's platform layer finds and sends
// its messages to.
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
