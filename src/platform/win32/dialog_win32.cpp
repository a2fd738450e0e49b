// The offer dialog: the module's dialog resource, its list filled with the message's lines
// (the list box sorts them), its caption and buttons set from the texts, centred on its
// owner or on the desktop.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr int kAcceptButton = 1;
constexpr int kDeclineButton = 2;
constexpr int kMessageList = 1001;

void Centre(HWND dialog) {
  HWND owner = ::GetWindow(dialog, GW_OWNER);
  RECT outer, own;
  ::GetWindowRect(owner ? owner : ::GetDesktopWindow(), &outer);
  ::GetWindowRect(dialog, &own);
  const long width = own.right - own.left, height = own.bottom - own.top;
  const long left = outer.left + ((outer.right - outer.left) - width) / 2;
  const long top = outer.top + ((outer.bottom - outer.top) - height) / 2;
  ::SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK OfferProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* texts = reinterpret_cast<const OfferDialogTexts*>(lParam);
      for (const std::string& line : *texts->lines) {
        ::SendDlgItemMessageA(dialog, kMessageList, LB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(line.c_str()));
      }
      ::SetDlgItemTextA(dialog, kAcceptButton, texts->accept);
      ::SetDlgItemTextA(dialog, kDeclineButton, texts->decline);
      ::SetWindowTextA(dialog, texts->caption);
      Centre(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      if (wParam == kAcceptButton) {
        ::EndDialog(dialog, 1);
      } else if (wParam == kDeclineButton) {
        ::EndDialog(dialog, 0);
      }
      return TRUE;
    case WM_CLOSE:
      ::EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int ShowOfferDialog(void* owner, void* module, const OfferDialogTexts& texts) {
  const INT_PTR result =
      ::DialogBoxParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(kOfferDialogId),
                        static_cast<HWND>(owner), OfferProc, reinterpret_cast<LPARAM>(&texts));
  return result == 1 ? 1 : 0;
}

}  // namespace platform
