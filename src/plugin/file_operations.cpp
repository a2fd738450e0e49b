#include "plugin/file_operations.h"

#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "plugin/host_api.h"
#include "plugin/icons.h"
#include "plugin/plugin_state.h"

namespace plugin {

namespace {
// The language choice keeps the file name in a buffer of this size.
constexpr std::size_t kLanguageNameSize = 20;
}  // namespace

int ExecuteFile(const char* remotePath) {
  if (!remotePath) return 1;
  PluginState& s = State();
  const settings::LanguageStrings& lang = s.language;
  if (common::Contains(remotePath, lang.Text(3))) {
    platform::ShellOpen(s.paths.settingsFile);
    return 0;
  }
  if (common::Contains(remotePath, lang.Text(8))) {
    platform::ShellOpen(s.paths.errorPage);
    return 0;
  }
  const std::string entry = lang.LanguageFolder();
  if (common::Contains(remotePath, entry.c_str())) {
    const std::size_t skip = entry.size() + 2;
    const char* name = std::strlen(remotePath) >= skip ? remotePath + skip : "";
    // A name cut to the buffer would name another file: refuse it instead.
    if (std::strlen(name) >= kLanguageNameSize) return 1;
    platform::WriteIniValue("language", "file", name, s.paths.settingsFile);
    s.language.Reload();
    return 0;
  }
  return 1;
}

int GetFile(const char* remotePath, const char* localPath, int copyFlags) {
  if (!remotePath || !localPath) return kFileNotFound;
  update::UpdateChecker& updater = State().updater;
  if (updater.offer().pending) {
    // An existing file is replaced only when the host says so: it asks the user first.
    if ((copyFlags & kCopyOverwrite) == 0 && platform::PathExists(localPath)) return kFileExists;
    return updater.Download(localPath, [&] {
      Progress(remotePath, localPath, 100);
      RereadPanel();
    });
  }
  if (copyFlags & kCopyResume) return kFileNotSupported;
  if (std::strlen(remotePath) < 3) return kFileNotFound;
  if (Progress(remotePath, localPath, 0)) return kFileUserAbort;
  PluginState& s = State();
  const bool failIfExists = (copyFlags & kCopyOverwrite) == 0;
  bool ok;
  if (common::Contains(remotePath, s.language.Text(8))) {
    ok = platform::CopyFileTo(s.paths.errorPage, localPath, failIfExists);
  } else if (common::Contains(remotePath, s.language.Text(3))) {
    ok = platform::CopyFileTo(s.paths.settingsFile, localPath, failIfExists);
  } else {
    // Photos are fetched by the retrieval subsystem; until a listing holds one, there is
    // nothing behind any other name.
    platform::SetLastError(platform::kErrorFileNotFound);
    ok = false;
  }
  if (ok) {
    Progress(remotePath, localPath, 100);
    return kFileOk;
  }
  const std::uint32_t error = platform::LastError();
  if (error >= platform::kErrorFileNotFound && error <= platform::kErrorAccessDenied) {
    return kFileNotFound;
  }
  return error == platform::kErrorFileExists ? kFileExists : kFileReadError;
}

int ExtractIcon(const char* remotePath, void** icon) {
  const int id = IconFor(remotePath, State().language);
  if (id == 0) return 0;
  void* handle = platform::LoadModuleIcon(State().module, id);
  if (!handle) return 0;
  *icon = handle;
  return 1;
}

}  // namespace plugin
