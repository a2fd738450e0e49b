#include "plugin/file_operations.h"

#include <cstring>
#include <string>

#include "platform/file_writer.h"
#include "platform/internet.h"
#include "plugin/host_api.h"
#include "plugin/icons.h"
#include "plugin/plugin_state.h"
#include "plugin/site_folders.h"

namespace plugin {

namespace {
// The language choice keeps the file name in a buffer of this size.
constexpr std::size_t kLanguageNameSize = 20;

// A download replaces a local file only when the host says so: without the overwrite flag
// an existing file is reported before anything is fetched, and the host asks the user. A
// folder is no file to replace: the copy fails as a write (no question the user could
// answer would let it succeed).
bool KeepsExistingFile(const char* localPath, int copyFlags) {
  return (copyFlags & kCopyOverwrite) == 0 && platform::PathExists(localPath) &&
         !platform::IsFolder(localPath);
}

// Copies one of the module's own files out; the last error tells why it failed.
bool CopyOut(const char* source, const char* target, bool replace) {
  return platform::CopyFileSafely(source, target, replace) == platform::WriteOutcome::kWritten;
}

// The last component of a path: what follows its last backslash.
const char* LastComponent(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

// The settings entry is listed in the root only, so its one path is "\" and text 3. Any
// other path that merely holds the text (a photo called "settings.jpg") is not it.
bool IsSettingsEntry(const char* path, const settings::LanguageStrings& lang) {
  return path[0] == '\\' && lang.SettingsEntry() == path + 1;
}

// The error entry is the single entry of a listing that failed, at whatever depth: its
// name, text 8 and ".htm", is the whole last component of the path.
bool IsErrorEntry(const char* path, const settings::LanguageStrings& lang) {
  return lang.ErrorEntry() == LastComponent(path);
}

// The file name of a language file entry: path is the language folder's root path, a
// backslash and the name. Null for any other path, and for names that are no file of the
// folder: empty (the folder entry itself), holding a backslash, or too long for the setting
// (a name cut to the buffer would name another file).
const char* LanguageFileName(const char* path, const settings::LanguageStrings& lang) {
  const std::string prefix = lang.LanguageFolderPath() + "\\";
  if (std::strncmp(path, prefix.c_str(), prefix.size()) != 0) return nullptr;
  const char* name = path + prefix.size();
  const std::size_t length = std::strlen(name);
  if (length == 0 || length >= kLanguageNameSize || std::strchr(name, '\\')) return nullptr;
  return name;
}
// The host result of a copy that failed, from the system's error code.
int CopyFailure() {
  const std::uint32_t error = platform::LastError();
  if (error == platform::kErrorCancelled) return kFileUserAbort;
  if (error >= platform::kErrorFileNotFound && error <= platform::kErrorAccessDenied) {
    return kFileNotFound;
  }
  return error == platform::kErrorFileExists ? kFileExists : kFileReadError;
}

// The host's answer for how a photo's copy ended.
int HostResult(engine::CopyResult result) {
  switch (result) {
    case engine::CopyResult::kCopied:
      return kFileOk;
    case engine::CopyResult::kCancelled:
      return kFileUserAbort;
    case engine::CopyResult::kNotFound:
      return kFileNotFound;
    case engine::CopyResult::kWriteFailed:
      return kFileWriteError;
    case engine::CopyResult::kExists:
      return kFileExists;
    case engine::CopyResult::kReadFailed:
      break;
  }
  return kFileReadError;
}

// Copies the photo remotePath names out of its own folder's listing. A name the folder does
// not list is not found, and nothing is requested for it.
int DownloadListedPhoto(const char* remotePath, const char* localPath, engine::NameSide side) {
  const char* name = LastComponent(remotePath);
  const std::string folder(remotePath, std::size_t(name - 1 - remotePath));
  const engine::ListingPtr listing = ListingOf(folder.c_str(), side);
  if (!listing) return kFileReadError;
  const engine::Entry* photo = listing->Find(name, side);
  // An album (a folder) is no photo to copy.
  if (!photo || photo->album) return kFileNotFound;
  // The host copies previews into a folder of its own whose name holds "_tc".
  const bool preview = std::strstr(localPath, "_tc") != nullptr;
  // The host's progress as the bytes arrive; its "abort" stops the copy.
  const auto progress = [&](int percent) { return !Progress(remotePath, localPath, percent); };
  return HostResult(State().browser.DownloadPhoto(*listing, *photo, preview, localPath, progress));
}

}  // namespace

int ExecuteFile(const char* remotePath) {
  if (!remotePath) return 1;
  PluginState& s = State();
  const settings::LanguageStrings& lang = s.language;
  if (IsSettingsEntry(remotePath, lang)) {
    platform::ShellOpen(s.paths.settingsFile);
    return 0;
  }
  if (IsErrorEntry(remotePath, lang)) {
    platform::ShellOpen(s.paths.errorPage);
    return 0;
  }
  if (const char* name = LanguageFileName(remotePath, lang)) {
    platform::WriteIniValue("language", "file", name, s.paths.settingsFile);
    s.language.Reload();
    return 0;
  }
  return 1;
}

int GetFile(const char* remotePath, const char* localPath, int copyFlags, engine::NameSide side) {
  if (!remotePath || !localPath) return kFileNotFound;
  update::UpdateChecker& updater = State().updater;
  update::UpdateOffer& offer = updater.offer();
  // The host answers "exists" by asking the user; one who agrees copies the same file
  // again with the overwrite flag, one who declines does nothing more. So an offer that
  // meets an existing file ends at once (the normal tree returns), and only the host's
  // very next copy to that path with the flag still downloads it.
  const bool overwriteAgreed = !offer.overwriteAskedFor.empty() &&
                               (copyFlags & kCopyOverwrite) != 0 &&
                               offer.overwriteAskedFor == localPath;
  offer.overwriteAskedFor.clear();
  if (offer.pending || overwriteAgreed) {
    if (KeepsExistingFile(localPath, copyFlags)) {
      offer.pending = 0;
      offer.overwriteAskedFor = localPath;
      return kFileExists;
    }
    const int result = updater.Download(localPath, (copyFlags & kCopyOverwrite) != 0, [&] {
      Progress(remotePath, localPath, 100);
      RereadPanel();
    });
    // A file that appeared while the update was fetched is an "exists" like any other.
    if (result == kFileExists) offer.overwriteAskedFor = localPath;
    return result;
  }
  if (copyFlags & kCopyResume) return kFileNotSupported;
  if (std::strlen(remotePath) < 3) return kFileNotFound;
  if (Progress(remotePath, localPath, 0)) return kFileUserAbort;
  PluginState& s = State();
  const bool replace = (copyFlags & kCopyOverwrite) != 0;
  int result;
  // Every copy is written beside the target and moved over it when whole: a failure never
  // costs the user the file that was there, and without the overwrite flag a file that
  // appeared while the copy ran is kept ("exists").
  if (IsErrorEntry(remotePath, s.language) || IsSettingsEntry(remotePath, s.language)) {
    const char* source =
        IsErrorEntry(remotePath, s.language) ? s.paths.errorPage : s.paths.settingsFile;
    result = CopyOut(source, localPath, replace) ? kFileOk : CopyFailure();
  } else if (KeepsExistingFile(localPath, copyFlags)) {
    result = kFileExists;
  } else {
    const platform::ReplaceScope scope(replace);
    result = DownloadListedPhoto(remotePath, localPath, side);
  }
  if (result == kFileOk) Progress(remotePath, localPath, 100);
  return result;
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
