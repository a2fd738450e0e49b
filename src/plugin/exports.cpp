// The sixteen functions the host looks up by name (the wide set is in exports_wide.cpp).
// Each one catches everything: no exception may reach the host.
#include <cstdint>
#include <cstring>

#include "common/fixed_text.h"
#include "plugin/bookmarks.h"
#include "plugin/file_operations.h"
#include "plugin/host_api.h"
#include "plugin/host_boundary.h"
#include "plugin/plugin_state.h"
#include "plugin/virtual_tree.h"

#define FL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using plugin::Guarded;
using plugin::State;

}  // namespace

namespace plugin {

int StartUp() {
  plugin::PluginState& s = State();
  // A host may call both FsInit and FsInitW: the second call keeps its callbacks only, so the
  // update check (and its offer) runs once per process.
  if (s.started) return 0;
  s.started = true;
  s.language.Load(s.paths.settingsFile, s.paths.languageFolder);
  s.errors.SetPath(s.paths.errorPage);
  s.browser.LoadRegexLibrary(s.paths.regexLibrary, s.paths.scriptsFolder, s.paths.settingsFile);
  const update::CheckContext check{s.paths.settingsFile, s.language.Text(5), s.language.Text(9),
                                   s.language.Text(10),  s.host.window,      s.module};
  s.updater.offer().pending = s.updater.Check(check, platform::CurrentUnixTime());
  return 0;
}

}  // namespace plugin

FL_EXPORT int FL_STDCALL FsInit(int pluginNumber, plugin::ProgressProc progress,
                                plugin::LogProc log, plugin::RequestProc request) {
  return Guarded(0, [&] {
    plugin::HostContext& h = State().host;
    h.pluginNumber = pluginNumber;
    h.progress = progress;
    h.log = log;
    h.request = request;
    return plugin::StartUp();
  });
}

FL_EXPORT void FL_STDCALL FsGetDefRootName(char* name, int size) {
  if (name && size > 0) common::CopyCut(name, std::size_t(size), "frameleaf");
}

FL_EXPORT void FL_STDCALL FsStatusInfo(char* /*remoteFolder*/, int phase, int operation) {
  State().status.phase = phase;
  State().status.operation = operation;
}

FL_EXPORT std::intptr_t FL_STDCALL FsFindFirst(char* path, platform::FindData* record) {
  if (!record) return plugin::kInvalidHandle;
  return Guarded(plugin::kInvalidHandle, [&] {
    return plugin::ToHostListing(
        plugin::FindFirst(plugin::CorePath(path, plugin::CorePath::kFolderToList).get(), record),
        record);
  });
}

FL_EXPORT int FL_STDCALL FsFindNext(std::intptr_t handle, platform::FindData* record) {
  if (!record) return 0;
  return plugin::Shielded(0, [&] {
    const int found = plugin::ToHostBool(plugin::FindNext(handle, record));
    if (found) plugin::ToHostEntry(record);
    return found;
  });
}

FL_EXPORT int FL_STDCALL FsFindClose(std::intptr_t handle) {
  return plugin::Shielded(0, [&] { return plugin::FindClose(handle); });
}

FL_EXPORT int FL_STDCALL FsMkDir(char* path) {
  return Guarded(
      0, [&] { return plugin::ToHostBool(plugin::MakeDirectory(plugin::CorePath(path).get())); });
}

FL_EXPORT int FL_STDCALL FsRenMovFile(char* oldName, char* newName, int /*move*/, int /*overwrite*/,
                                      void* /*info*/) {
  return Guarded(int(plugin::kFileWriteError), [&] {
    return plugin::RenameBookmark(plugin::CorePath(oldName).get(), plugin::CorePath(newName).get());
  });
}

FL_EXPORT int FL_STDCALL FsDeleteFile(char* path) {
  return Guarded(
      0, [&] { return plugin::ToHostBool(plugin::DeleteBookmark(plugin::CorePath(path).get())); });
}

FL_EXPORT int FL_STDCALL FsExecuteFile(void* /*mainWindow*/, char* remotePath, char* /*verb*/) {
  return Guarded(1, [&] { return plugin::ExecuteFile(plugin::CorePath(remotePath).get()); });
}

FL_EXPORT int FL_STDCALL FsGetFile(char* remotePath, char* localPath, int copyFlags,
                                   void* /*info*/) {
  return Guarded(int(plugin::kFileReadError), [&] {
    return plugin::GetFile(plugin::CorePath(remotePath).get(), localPath, copyFlags);
  });
}

// Uploading, removing folders and changing attributes or times are not supported. An upload
// says so: "done" would let a host that moves a file into the drive delete the original. The
// other three answer "failed", which leaves everything in place.
FL_EXPORT int FL_STDCALL FsPutFile(char*, char*, int) {
  return plugin::kFileNotSupported;
}
FL_EXPORT int FL_STDCALL FsRemoveDir(char*) {
  return 0;
}
FL_EXPORT int FL_STDCALL FsSetAttr(char*, int) {
  return 0;
}
FL_EXPORT int FL_STDCALL FsSetTime(char*, void*, void*, void*) {
  return 0;
}

FL_EXPORT int FL_STDCALL FsExtractCustomIcon(char* remotePath, int /*flags*/, void** icon) {
  if (!icon) return 0;
  return Guarded(0, [&] { return plugin::ExtractIcon(plugin::CorePath(remotePath).get(), icon); });
}
