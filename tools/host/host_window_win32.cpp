// A real, visible top-level window on the host's thread, so that the plug-in finds it when
// it loads and can send it the panel command.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "tools/host/host_window.h"

namespace {
HWND window = nullptr;

LRESULT CALLBACK WindowProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 51) {
    PrintHostMessage(message, wParam, lParam);
    return 0;
  }
  return DefWindowProcA(w, message, wParam, lParam);
}
}  // namespace

void PrepareConsole() {
  _setmode(_fileno(stdout), _O_BINARY);
}

void CreateHostWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "FrameleafHostWindow";
  RegisterClassA(&wc);
  window = CreateWindowA(wc.lpszClassName, "fl-host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr,
                         nullptr, wc.hInstance, nullptr);
  if (window) ShowWindow(window, SW_SHOWNOACTIVATE);
}

void* HostWindow() {
  return window;
}
