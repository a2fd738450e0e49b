// The export boundary on POSIX: the host's paths use "/" and its dates cannot show the
// Windows "no time" value.
#include <sys/stat.h>

#include <cerrno>

#include "plugin/host_boundary.h"

namespace plugin {

namespace {

constexpr std::int64_t kUnixEpoch = 116444736000000000LL;  // 1970-01-01 as a FILETIME
constexpr std::uint32_t kErrorNoMoreFiles = 18;

// A FILETIME read as the host reads it: a signed count.
std::int64_t Ticks(platform::FileTime t) {
  return std::int64_t(std::uint64_t(t.high) << 32 | t.low);
}

// The module file's modification time as a FILETIME; the Unix epoch when it cannot be read.
platform::FileTime ModuleFileTime() {
  char path[4096];
  platform::ModulePath(nullptr, path, sizeof path);
  struct stat st;
  std::uint64_t t = std::uint64_t(kUnixEpoch);
  if (::stat(path, &st) == 0 && st.st_mtim.tv_sec > 0) {
    t += std::uint64_t(st.st_mtim.tv_sec) * 10000000ULL;
  }
  return platform::FileTime{std::uint32_t(t), std::uint32_t(t >> 32)};
}

}  // namespace

std::string HostToCorePath(const char* hostPath, CorePath::Kind kind) {
  std::string path = hostPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  while (kind == CorePath::kFolderToList && path.size() > 1 && path.back() == '\\')
    path.pop_back();
  if (path.empty()) path = "\\";
  return path;
}

// The host copies an entry's time onto the local copy (the module exports FsSetTime, so the
// host takes its times for kept ones), and its conversion of a time before the Unix epoch
// never returns: the copy operation then never ends. Such a time (the Windows "no time" value
// is one when read as a signed count, the error entry's zero is 1601) becomes the module
// file's time.
void ToHostEntry(platform::FindData* record) {
  // Read once: the same entry shows the same date in every listing.
  static const platform::FileTime standIn = ModuleFileTime();
  platform::FileTime& t = record->lastWriteTime;
  if (Ticks(t) < kUnixEpoch) t = standIn;
}

void SetNoMoreFilesError() {
  platform::SetLastError(kErrorNoMoreFiles);
  errno = ENOENT;  // what the host reads on this system
}

}  // namespace plugin
