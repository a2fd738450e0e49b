// A real, visible top-level window on the host's thread, so that the plug-in finds it when
// it loads and can send it the panel command.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/host/host_window.h"
#include "tools/host/offer_dialog_win32.h"

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

namespace {
std::thread offerWatcher;
std::atomic<bool> offerDone{false};

}  // namespace

void BeginOfferAnswers(OfferAnswer answer) {
  offerDone = false;
  if (answer == OfferAnswer::kLeave) return;  // the user answers the dialog
  const bool accept = answer == OfferAnswer::kAccept;
  offerWatcher = std::thread([accept] {
    while (!offerDone) {
      HWND dialog = FindOwnDialog();
      if (!dialog) {
        Sleep(20);
        continue;
      }
      const OfferDialogView view = ReadOfferDialog(dialog);
      PrintOfferDialog(view.caption, view.lines, view.accept, view.decline, accept);
      PostMessageA(GetDlgItem(dialog, accept ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
      return;
    }
  });
}

void EndOfferAnswers() {
  offerDone = true;
  if (offerWatcher.joinable()) offerWatcher.join();
}

// Bytes as written, unbuffered: a write tells exactly what reached the pipe, so each line
// can be finished.
void PrepareConsole() {
  _setmode(_fileno(stdout), _O_BINARY);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
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

std::string AbsolutePath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return n > 0 && n < sizeof full ? std::string(full, n) : path;
}

namespace {
// The pixels of one of an icon's two bitmaps as 32-bit rows; empty when it has none.
std::vector<unsigned char> Pixels(HBITMAP bitmap) {
  std::vector<unsigned char> out;
  BITMAP b;
  if (!bitmap || !GetObjectA(bitmap, sizeof b, &b)) return out;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = b.bmWidth;
  info.bmiHeader.biHeight = b.bmHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  out.resize(std::size_t(b.bmWidth) * std::size_t(b.bmHeight) * 4);
  HDC dc = GetDC(nullptr);
  const int rows = GetDIBits(dc, bitmap, 0, UINT(b.bmHeight), out.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  if (rows != b.bmHeight) out.clear();
  return out;
}

// An icon's image: its colour and mask pixels one after the other.
std::vector<unsigned char> Image(HICON icon) {
  std::vector<unsigned char> out;
  ICONINFO info;
  if (!icon || !GetIconInfo(icon, &info)) return out;
  out = Pixels(info.hbmColor);
  const std::vector<unsigned char> mask = Pixels(info.hbmMask);
  out.insert(out.end(), mask.begin(), mask.end());
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return out;
}
}  // namespace

int IconResourceId(void* module, void* icon) {
  const std::vector<unsigned char> got = Image(static_cast<HICON>(icon));
  if (got.empty()) return 0;
  for (int id = 104; id <= 113; ++id) {
    // Loaded as the plug-in loads its icons: 16 by 16, default colours.
    HICON own = static_cast<HICON>(LoadImageA(static_cast<HMODULE>(module), MAKEINTRESOURCEA(id),
                                              IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    const bool same = own && Image(own) == got;
    if (own) DestroyIcon(own);
    if (same) return id;
  }
  return 0;
}

void ClearSystemError() {
  SetLastError(0);
}

bool NoMoreFilesError() {
  return GetLastError() == ERROR_NO_MORE_FILES;
}

std::uint64_t ModuleTimeStandIn(const std::string&) {
  return 0;
}
