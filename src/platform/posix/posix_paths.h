// Maps the Windows paths the core builds onto POSIX paths.
#pragma once

#include <string>

namespace platform {

// Backslashes become slashes; nothing else changes.
inline std::string PosixPath(const char* windowsPath) {
  std::string p = windowsPath ? windowsPath : "";
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

}  // namespace platform
