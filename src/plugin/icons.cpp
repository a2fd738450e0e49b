#include "plugin/icons.h"

#include "common/fixed_text.h"

namespace plugin {

int IconFor(const char* path, const settings::LanguageStrings& language) {
  using common::Contains;
  if (!path) return 0;
  if (Contains(path, "\\..\\")) return kIconParent;
  if (Contains(path, ".zip")) return 0;
  if (Contains(path, ".lng")) return kIconLanguageFile;
  if (Contains(path, ".jpg") || Contains(path, ".JPG")) return kIconPhoto;
  if (common::PathDepth(path) != 2) {
    if (Contains(path, language.Text(3))) return kIconSettings;
    if (Contains(path, "htm")) return 0;
    return kIconFolder;
  }
  if (Contains(path, language.BookmarkFolder().c_str())) return kIconBookmarkFolder;
  if (Contains(path, language.UrlFolder().c_str())) return kIconUrlFolder;
  if (Contains(path, language.LanguageFolder().c_str())) return kIconLanguageFolder;
  return kIconFolder;
}

}  // namespace plugin
