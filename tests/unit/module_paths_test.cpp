#include <string>

#include <gtest/gtest.h>

#include "plugin/module_paths.h"

namespace {

TEST(ModulePaths, DerivedFromTheModulePath) {
  plugin::ModulePaths p;
  plugin::DeriveModulePaths("C:\\Tools\\plugins\\frameleaf.wfx", &p);
  EXPECT_STREQ(p.settingsFile, "C:\\Tools\\plugins\\frameleaf.ini");
  EXPECT_STREQ(p.bookmarkFile, "C:\\Tools\\plugins\\frameleaf.tab");
  EXPECT_STREQ(p.errorPage, "C:\\Tools\\plugins\\frameleaf.htm");
  EXPECT_STREQ(p.regexLibrary, "C:\\Tools\\plugins\\frameleaf.dll");
  EXPECT_STREQ(p.scriptsFolder, "C:\\Tools\\plugins\\scripts\\");
  EXPECT_STREQ(p.languageFolder, "C:\\Tools\\plugins\\language");
}

TEST(ModulePaths, TheSixtyFourBitModuleSharesTheFilesAndBindsItsOwnLibrary) {
  struct Case {
    const char* module;
    const char* settings;
    const char* library;
    const char* scripts;
    const char* language;
  };
  const Case cases[] = {
      {"C:\\Tools\\plugins\\frameleaf.wfx64", "C:\\Tools\\plugins\\frameleaf.ini",
       "C:\\Tools\\plugins\\frameleaf64.dll", "C:\\Tools\\plugins\\scripts\\",
       "C:\\Tools\\plugins\\language"},
      // Renamed or upper-case: the folder still ends at the last backslash.
      {"D:\\tc\\FL.WFX64", "D:\\tc\\FL.ini", "D:\\tc\\FL64.dll", "D:\\tc\\scripts\\",
       "D:\\tc\\language"},
      {"frameleaf.wfx64", "frameleaf.ini", "frameleaf64.dll", "scripts\\", "language"},
  };
  for (const Case& c : cases) {
    plugin::ModulePaths p;
    plugin::DeriveModulePaths(c.module, &p);
    EXPECT_STREQ(p.settingsFile, c.settings) << c.module;
    EXPECT_STREQ(p.regexLibrary, c.library) << c.module;
    EXPECT_STREQ(p.scriptsFolder, c.scripts) << c.module;
    EXPECT_STREQ(p.languageFolder, c.language) << c.module;
  }
}

TEST(ModulePaths, ShortOrOverlongPathsStayInsideTheBuffers) {
  plugin::ModulePaths p;
  plugin::DeriveModulePaths("x.wfx", &p);
  EXPECT_STREQ(p.settingsFile, "x.ini");
  EXPECT_STREQ(p.scriptsFolder, "scripts\\");
  const std::string deep = "C:\\" + std::string(250, 'd') + "\\frameleaf.wfx";
  plugin::DeriveModulePaths(deep.c_str(), &p);
  EXPECT_EQ(std::string(p.scriptsFolder).size(), 259u);
  EXPECT_EQ(std::string(p.settingsFile).size(), 259u);
  const std::string deep64 = "C:\\" + std::string(250, 'd') + "\\frameleaf.wfx64";
  plugin::DeriveModulePaths(deep64.c_str(), &p);
  EXPECT_EQ(std::string(p.regexLibrary).size(), 259u);
  EXPECT_EQ(std::string(p.languageFolder).size(), 259u);
}

}  // namespace
