#include "tools/host/offer_dialog_win32.h"

namespace {

constexpr int kMessageList = 1001;

std::string WindowText(HWND w) {
  char text[1024] = {};
  GetWindowTextA(w, text, sizeof text);
  return text;
}

BOOL CALLBACK TakeOwnDialog(HWND w, LPARAM data) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(w) || std::string(cls) != "#32770")
    return TRUE;
  *reinterpret_cast<HWND*>(data) = w;
  return FALSE;
}

}  // namespace

HWND FindOwnDialog() {
  HWND found = nullptr;
  EnumWindows(TakeOwnDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

OfferDialogView ReadOfferDialog(HWND dialog) {
  OfferDialogView view;
  view.caption = WindowText(dialog);
  view.accept = WindowText(GetDlgItem(dialog, IDOK));
  view.decline = WindowText(GetDlgItem(dialog, IDCANCEL));
  HWND list = GetDlgItem(dialog, kMessageList);
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char item[1024] = {};
    if (SendMessageA(list, LB_GETTEXTLEN, WPARAM(i), 0) < LRESULT(sizeof item))
      SendMessageA(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(item));
    view.lines.push_back(item);
  }
  return view;
}
