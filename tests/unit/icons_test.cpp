#include <gtest/gtest.h>

#include "plugin/icons.h"

namespace {

TEST(IconFor, EntriesGetTheirIcons) {
  settings::LanguageStrings lang;  // built-in texts
  const struct {
    const char* path;
    int icon;
  } cases[] = {
      {"\\settings", plugin::kIconSettings},
      {"\\[add bookmark]\\", plugin::kIconBookmarkFolder},
      {"\\[connection]\\", plugin::kIconUrlFolder},
      {"\\[choose language]\\", plugin::kIconLanguageFolder},
      {"\\[choose language]\\english.lng", plugin::kIconLanguageFile},
      {"\\Holiday\\", plugin::kIconFolder},
      {"\\Holiday\\Album\\p1.JPG", plugin::kIconPhoto},
      {"\\Holiday\\Album\\p1.jpg", plugin::kIconPhoto},
      {"\\a\\..\\b", plugin::kIconParent},
      {"\\Holiday\\pack.zip", 0},
      {"\\x\\pack.zip.jpg", 0},
      {"\\[connection]\\error.htm", plugin::kIconUrlFolder},
      {"\\Holiday\\error.htm", plugin::kIconFolder},
      {"\\Holiday\\Album\\error.htm", 0},
      {"\\Holiday\\Album\\settings.png", plugin::kIconSettings},
  };
  for (const auto& c : cases)
    EXPECT_EQ(plugin::IconFor(c.path, lang), c.icon) << c.path;
}

}  // namespace
