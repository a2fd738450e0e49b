#include "plugin/module_paths.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace plugin {

namespace {

constexpr std::size_t kModuleNameLength = 13;  // strlen("frameleaf.wfx")
constexpr char kWideExtension[] = ".wfx64";    // the 64-bit file manager's module

void Store(char (&out)[kPathSize], const std::string& value) {
  std::snprintf(out, kPathSize, "%s", value.c_str());
}

bool EndsWithNoCase(const std::string& text, const char* tail) {
  const std::size_t n = std::strlen(tail);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char a = static_cast<unsigned char>(text[text.size() - n + i]);
    const unsigned char b = static_cast<unsigned char>(tail[i]);
    if ((a >= 'A' && a <= 'Z' ? a + 32 : a) != b) return false;
  }
  return true;
}

}  // namespace

void DeriveModulePaths(const char* modulePath, ModulePaths* paths) {
  const std::string module = modulePath ? modulePath : "";
  if (EndsWithNoCase(module, kWideExtension)) {
    // The 64-bit module shares every file a user keeps with the 32-bit one beside it and
    // binds its own 64-bit matching library. Its folder ends at the last backslash.
    const std::size_t slash = module.find_last_of('\\');
    const std::string folder = slash == std::string::npos ? "" : module.substr(0, slash + 1);
    const std::string stem = module.substr(0, module.size() - 5);  // "...frameleaf."
    Store(paths->settingsFile, stem + "ini");
    Store(paths->errorPage, stem + "htm");
    Store(paths->regexLibrary, stem.substr(0, stem.size() - 1) + "64.dll");
    Store(paths->bookmarkFile, stem + "tab");
    Store(paths->scriptsFolder, folder + "scripts\\");
    Store(paths->languageFolder, folder + "language");
    return;
  }
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
