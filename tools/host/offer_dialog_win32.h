// Reading the plug-in's offer dialog from outside it, through its window: the host program
// answers the dialog this way, and the tests of the real dialog read it the same way.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct OfferDialogView {
  std::string caption, accept, decline;
  std::vector<std::string> lines;  // in the order the list shows them
};

// The calling process's visible dialog window; null when none is up.
HWND FindOwnDialog();
// The dialog's caption, its two buttons' texts and its list's lines.
OfferDialogView ReadOfferDialog(HWND dialog);
