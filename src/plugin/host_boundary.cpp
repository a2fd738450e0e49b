#include "plugin/host_boundary.h"

#include <cstring>
#include <vector>

#include "common/fixed_text.h"
#include "platform/unicode_text.h"
#include "plugin/host_api.h"
#include "plugin/plugin_state.h"
#include "plugin/virtual_tree.h"

namespace plugin {

namespace {

// A wide path's longest stretch read: far past any path the host gives.
constexpr std::size_t kMaxWidePath = 32768;

std::string WideToCore(const WideChar* hostPath, CorePath::Kind kind) {
  const std::u16string wide(hostPath, platform::Utf16Length(hostPath, kMaxWidePath));
  return WideNamesToCore(HostToCorePath(platform::Utf16ToUtf8(wide).c_str(), kind));
}

}  // namespace

CorePath::CorePath(const char* hostPath, Kind kind)
    : text_(hostPath ? HostToCorePath(hostPath, kind) : std::string()),
      null_(hostPath == nullptr) {}

CorePath::CorePath(const WideChar* hostPath, Kind kind)
    : text_(hostPath ? WideToCore(hostPath, kind) : std::string()), null_(hostPath == nullptr) {}

std::string WideNamesToCore(const std::string& utf8Path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = utf8Path.find('\\', start);
    names.push_back(utf8Path.substr(start, slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  const settings::LanguageStrings& lang = State().language;
  const std::string errorEntry = platform::AnsiToUtf8(lang.ErrorEntry().c_str());
  const bool inLanguageFolder =
      names.size() > 1 && "\\" + platform::Utf8ToAnsi(names[1]) == lang.LanguageFolderPath();
  // The folders of typed addresses are named by the module, in the code page.
  const bool inUrlFolder =
      names.size() > 2 && "\\" + platform::Utf8ToAnsi(names[1]) == lang.UrlFolderPath();
  std::string core;
  for (std::size_t i = 0; i < names.size(); ++i) {
    // names[0] is what comes before the first separator: empty for a rooted path.
    const bool ownName =
        i <= 1 || inLanguageFolder || (inUrlFolder && i == 2) || names[i] == errorEntry;
    if (i > 0) core += '\\';
    core += ownName ? platform::Utf8ToAnsi(names[i]) : names[i];
  }
  return core;
}

std::atomic<bool>& ExportRunning() {
  static std::atomic<bool> running{false};
  return running;
}

std::intptr_t ToHostListing(std::intptr_t handle, platform::FindData* record) {
  if (handle == kInvalidHandle) return kInvalidHandle;
  if (handle == 0 || record->fileName[0] == '\0') {
    if (handle != 0) FindClose(handle);
    SetNoMoreFilesError();
    return kInvalidHandle;
  }
  ToHostEntry(record);
  return handle;
}

}  // namespace plugin
