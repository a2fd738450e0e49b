// The wide set: the same functions with UTF-16 names, which a host that finds them calls
// instead of the ANSI ones. Each one brings its paths to the core's form (plugin::CorePath),
// runs the same core function on the wide side, and hands names back in UTF-16.
#include <cstdint>
#include <string>

#include "platform/unicode_text.h"
#include "plugin/bookmarks.h"
#include "plugin/file_operations.h"
#include "plugin/host_api.h"
#include "plugin/host_boundary.h"
#include "plugin/plugin_state.h"
#include "plugin/virtual_tree.h"

#define FL_EXPORT extern "C" __attribute__((visibility("default")))

using plugin::CorePath;
using plugin::Guarded;
using plugin::State;
using plugin::WideChar;

namespace {

constexpr std::size_t kMaxWidePath = 32768;

// A bookmark is kept in an ANSI file under its name: a name the code page cannot hold would
// be stored as another name (its missing letters as "?"), so it is refused.
bool FitsCodePage(const WideChar* name) {
  if (!name) return false;
  const std::string utf8 =
      platform::Utf16ToUtf8(std::u16string(name, platform::Utf16Length(name, kMaxWidePath)));
  return platform::AnsiToUtf8(platform::Utf8ToAnsi(utf8)) == utf8;
}

// While a wide copy runs, its progress reports name the host's own paths.
struct WideCopyPaths {
  WideCopyPaths(const WideChar* source, const WideChar* target) {
    State().host.wideSource = source;
    State().host.wideTarget = target;
  }
  ~WideCopyPaths() {
    State().host.wideSource = nullptr;
    State().host.wideTarget = nullptr;
  }
};

}  // namespace

FL_EXPORT int FL_STDCALL FsInitW(int pluginNumber, plugin::ProgressProcW progress,
                                 plugin::LogProcW log, plugin::RequestProcW request) {
  return Guarded(0, [&] {
    plugin::HostContext& h = State().host;
    h.pluginNumber = pluginNumber;
    h.progressW = progress;
    h.logW = log;
    h.requestW = request;
    return plugin::StartUp();
  });
}

FL_EXPORT void FL_STDCALL FsStatusInfoW(WideChar* /*remoteFolder*/, int phase, int operation) {
  State().status.phase = phase;
  State().status.operation = operation;
}

FL_EXPORT std::intptr_t FL_STDCALL FsFindFirstW(WideChar* path, plugin::FindDataW* record) {
  if (!record) return plugin::kInvalidHandle;
  return Guarded(plugin::kInvalidHandle, [&] {
    platform::FindData core;
    const std::intptr_t handle =
        plugin::ToHostListing(plugin::FindFirst(CorePath(path, CorePath::kFolderToList).get(),
                                                &core, engine::NameSide::kWide),
                              &core);
    plugin::ToWideRecord(core, record);
    return handle;
  });
}

FL_EXPORT int FL_STDCALL FsFindNextW(std::intptr_t handle, plugin::FindDataW* record) {
  if (!record) return 0;
  return plugin::Shielded(0, [&] {
    platform::FindData core;
    const int found = plugin::ToHostBool(plugin::FindNext(handle, &core));
    if (found) plugin::ToHostEntry(&core);
    plugin::ToWideRecord(core, record);
    return found;
  });
}

FL_EXPORT int FL_STDCALL FsMkDirW(WideChar* path) {
  return Guarded(0, [&] {
    if (!FitsCodePage(path)) {
      plugin::TellUser(State().language.Text(plugin::kTextCodePageRefusal));
      return 0;
    }
    return plugin::ToHostBool(plugin::MakeDirectory(CorePath(path).get()));
  });
}

FL_EXPORT int FL_STDCALL FsRenMovFileW(WideChar* oldName, WideChar* newName, int /*move*/,
                                       int /*overwrite*/, void* /*info*/) {
  return Guarded(int(plugin::kFileWriteError), [&] {
    if (!FitsCodePage(newName)) {
      plugin::TellUser(State().language.Text(plugin::kTextCodePageRefusal));
      return int(plugin::kFileWriteError);
    }
    return plugin::RenameBookmark(CorePath(oldName).get(), CorePath(newName).get());
  });
}

FL_EXPORT int FL_STDCALL FsDeleteFileW(WideChar* path) {
  return Guarded(0,
                 [&] { return plugin::ToHostBool(plugin::DeleteBookmark(CorePath(path).get())); });
}

FL_EXPORT int FL_STDCALL FsExecuteFileW(void* /*mainWindow*/, WideChar* remotePath,
                                        WideChar* /*verb*/) {
  return Guarded(1, [&] { return plugin::ExecuteFile(CorePath(remotePath).get()); });
}

FL_EXPORT int FL_STDCALL FsGetFileW(WideChar* remotePath, WideChar* localPath, int copyFlags,
                                    void* /*info*/) {
  return Guarded(int(plugin::kFileReadError), [&] {
    if (!remotePath || !localPath) return int(plugin::kFileNotFound);
    const WideCopyPaths paths(remotePath, localPath);
    const std::string local = platform::WideLocalPath(
        std::u16string(localPath, platform::Utf16Length(localPath, kMaxWidePath)));
    return plugin::GetFile(CorePath(remotePath).get(), local.c_str(), copyFlags,
                           engine::NameSide::kWide);
  });
}

// As in the ANSI set: uploads are not supported, the other changes answer "failed".
FL_EXPORT int FL_STDCALL FsPutFileW(WideChar*, WideChar*, int) {
  return plugin::kFileNotSupported;
}
FL_EXPORT int FL_STDCALL FsRemoveDirW(WideChar*) {
  return 0;
}
FL_EXPORT int FL_STDCALL FsSetAttrW(WideChar*, int) {
  return 0;
}
FL_EXPORT int FL_STDCALL FsSetTimeW(WideChar*, void*, void*, void*) {
  return 0;
}

FL_EXPORT int FL_STDCALL FsExtractCustomIconW(WideChar* remotePath, int /*flags*/, void** icon) {
  if (!icon) return 0;
  return Guarded(0, [&] { return plugin::ExtractIcon(CorePath(remotePath).get(), icon); });
}
