#include <string>

#include <gtest/gtest.h>

#include "settings/language_strings.h"
#include "test_files.h"

namespace {

struct Install {
  testing_support::ScratchFolder dir;
  std::string settings() const { return dir.File("frameleaf.ini"); }
  std::string folder() const { return dir.File("language"); }
};

TEST(LanguageStrings, DefaultsWithoutSettingsOrLanguageFolder) {
  Install s;
  settings::LanguageStrings l;
  EXPECT_EQ(l.Load(s.settings().c_str(), s.folder().c_str()), 1);
  EXPECT_EQ(l.UrlFolder(), "[connection]");
  EXPECT_EQ(l.BookmarkFolder(), "[add bookmark]");
  EXPECT_EQ(l.LanguageFolder(), "[choose language]");
  EXPECT_EQ(l.SettingsEntry(), "settings");
  EXPECT_EQ(l.ErrorEntry(), "error.htm");
  EXPECT_EQ(l.UrlFolderPath(), "\\[connection]");
  EXPECT_EQ(l.LanguageFolderPath(), "\\[choose language]");
}

TEST(LanguageStrings, FileValuesReplaceDefaultsUnlessTheyHoldMinusOne) {
  Install s;
  s.dir.MakeFolder("language");
  s.dir.Write("frameleaf.ini", "[language]\r\nfile=de.lng\r\n");
  s.dir.Write("language/de.lng",
              "[language]\r\n1=verbindung\r\n5=Update-1 found\r\n8=fehler\r\n10=-1\r\n");
  settings::LanguageStrings l;
  ASSERT_EQ(l.Load(s.settings().c_str(), s.folder().c_str()), 1);
  EXPECT_EQ(l.UrlFolder(), "[verbindung]");
  EXPECT_STREQ(l.Text(5), settings::LanguageStrings::Default(5));
  EXPECT_EQ(l.ErrorEntry(), "fehler.htm");
  EXPECT_STREQ(l.Text(10), "cancel");
  EXPECT_STREQ(l.Text(2), "add bookmark");
}

TEST(LanguageStrings, EmptyTextsKeepTheirDefaults) {
  Install s;
  s.dir.MakeFolder("language");
  s.dir.Write("frameleaf.ini", "[language]\r\nfile=e.lng\r\n");
  s.dir.Write("language/e.lng", "[language]\r\n1=eins\r\n3=\r\n8=\r\n9=  \r\n");
  settings::LanguageStrings l;
  ASSERT_EQ(l.Load(s.settings().c_str(), s.folder().c_str()), 1);
  EXPECT_STREQ(l.Text(1), "eins");
  EXPECT_EQ(l.SettingsEntry(), "settings");
  EXPECT_EQ(l.ErrorEntry(), "error.htm");
  EXPECT_STREQ(l.Text(9), "download");
}

TEST(LanguageStrings, EmptyFileSettingKeepsTheCurrentTexts) {
  Install s;
  s.dir.MakeFolder("language");
  s.dir.Write("frameleaf.ini", "[language]\r\nfile=x.lng\r\n");
  s.dir.Write("language/x.lng", "[language]\r\n1=eins\r\n");
  settings::LanguageStrings l;
  ASSERT_EQ(l.Load(s.settings().c_str(), s.folder().c_str()), 1);
  s.dir.Write("frameleaf.ini", "[language]\r\nfile=\r\n");
  EXPECT_EQ(l.Reload(), 0);
  EXPECT_STREQ(l.Text(1), "eins");
}

TEST(LanguageStrings, LongTextsNeverOverflowTheDerivedNames) {
  Install s;
  s.dir.MakeFolder("language");
  s.dir.Write("frameleaf.ini", "[language]\r\nfile=long.lng\r\n");
  s.dir.Write("language/long.lng", "[language]\r\n1=" + std::string(300, 'a') +
                                       "\r\n8=" + std::string(300, 'e') + "\r\n");
  settings::LanguageStrings l;
  ASSERT_EQ(l.Load(s.settings().c_str(), s.folder().c_str()), 1);
  EXPECT_EQ(std::string(l.Text(1)).size(), 259u);
  EXPECT_EQ(l.UrlFolder().size(), 259u);
  EXPECT_EQ(l.UrlFolderPath().size(), 259u);
  EXPECT_EQ(l.ErrorEntry().size(), 259u);
}

}  // namespace
