#include "plugin/module_paths.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace plugin {

namespace {

constexpr std::size_t kModuleNameLength = 13;  // strlen("frameleaf.wfx")

void Store(char (&out)[kPathSize], const std::string& value) {
  std::snprintf(out, kPathSize, "%s", value.c_str());
}

}  // namespace

void DeriveModulePaths(const char* modulePath, ModulePaths* paths) {
  const std::string module = modulePath ? modulePath : "";
  const std::string stem = module.substr(0, module.size() >= 3 ? module.size() - 3 : 0);
  const std::string folder = module.size() >= kModuleNameLength
                                 ? module.substr(0, module.size() - kModuleNameLength)
                                 : std::string();
  Store(paths->settingsFile, stem + "ini");
  Store(paths->errorPage, stem + "htm");
  Store(paths->regexLibrary, stem + "dll");
  Store(paths->bookmarkFile, stem + "tab");
  Store(paths->scriptsFolder, folder + "scripts\\");
  Store(paths->languageFolder, folder + "language");
}

}  // namespace plugin
