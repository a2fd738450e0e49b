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

TEST(ModulePaths, ShortOrOverlongPathsStayInsideTheBuffers) {
  plugin::ModulePaths p;
  plugin::DeriveModulePaths("x.wfx", &p);
  EXPECT_STREQ(p.settingsFile, "x.ini");
  EXPECT_STREQ(p.scriptsFolder, "scripts\\");
  const std::string deep = "C:\\" + std::string(250, 'd') + "\\frameleaf.wfx";
  plugin::DeriveModulePaths(deep.c_str(), &p);
  EXPECT_EQ(std::string(p.scriptsFolder).size(), 259u);
  EXPECT_EQ(std::string(p.settingsFile).size(), 259u);
}

}  // namespace
