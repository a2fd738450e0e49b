// Every path the plug-in uses, derived from the module's own path.
#pragma once

namespace plugin {

constexpr int kPathSize = 260;

struct ModulePaths {
  char settingsFile[kPathSize];    // frameleaf.ini
  char errorPage[kPathSize];       // frameleaf.htm
  char regexLibrary[kPathSize];    // frameleaf.dll
  char bookmarkFile[kPathSize];    // frameleaf.tab
  char scriptsFolder[kPathSize];   // <module folder>scripts\  (trailing backslash)
  char languageFolder[kPathSize];  // <module folder>language
};

// Fills paths from the module path: the extension is the last three characters, the module
// folder is the path less the 13 characters of the name "frameleaf.wfx". A path too short
// for that yields empty folder-based paths rather than reading before the buffer.
// The 64-bit module (a name ending in ".wfx64") uses the same files, its folder is the path
// up to its last backslash, and its matching library is "frameleaf64.dll".
void DeriveModulePaths(const char* modulePath, ModulePaths* paths);

}  // namespace plugin
