// Which of the module's icons an entry of the virtual drive gets.
#pragma once

#include "settings/language_strings.h"

namespace plugin {

enum IconId {
  kIconBookmarkFolder = 105,
  kIconParent = 106,
  kIconSettings = 107,
  kIconPhoto = 108,
  kIconFolder = 109,
  kIconUrlFolder = 110,
  kIconLanguageFolder = 111,
  kIconLanguageFile = 113,
};

// The icon resource for a path, or 0 for the host's default icon.
int IconFor(const char* path, const settings::LanguageStrings& language);

}  // namespace plugin
