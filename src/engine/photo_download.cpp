#include "engine/photo_download.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file_writer.h"
#include "report/messages.h"

namespace engine {

namespace {

constexpr std::uint32_t kShortAnswer = 2000;
constexpr std::uint32_t kErrorStatus = 400;
constexpr std::uint32_t kErrorCannotConnect = 12029;

// The photo's file name: the last path component ending in ".jpg", else in ".JPG".
bool PhotoName(Engine& e, const char* remotePath, common::ByteString* name) {
  return e.search.FindGroup("([^\\\\]+)(.jpg)", remotePath, 0, name) ||
         e.search.FindGroup("([^\\\\]+)(.JPG)", remotePath, 0, name);
}

// The server a photo's addresses refer to: its own where the listing kept one.
common::ByteString PhotoServer(const Engine& e, const char* name) {
  const std::size_t i = lookup::Photo(e.entries, name);
  if (i != lookup::kNotFound && i < e.entries.photoServers.size() &&
      !e.entries.photoServers[i].empty()) {
    return e.entries.photoServers[i];
  }
  return e.state.photoServer;
}

// A photo that could not be requested is a read error to the host on every platform,
// whatever the internet library left as the last error.
bool RequestFailed() {
  platform::SetLastError(kErrorCannotConnect);
  return false;
}

// Writes the photo's bytes beside localPath and moves them over it only when whole (an
// existing file is replaced only under the host's overwrite flag); a file that cannot be
// created (E26) or written whole (E27) is reported, and the user's file is never touched.
bool WritePhoto(Engine& e, const common::ByteString& path, const char* localPath, const char* data,
                std::uint32_t length) {
  const platform::WriteOutcome outcome =
      platform::WriteFileSafely(localPath, data, length, platform::DownloadMayReplace());
  if (outcome == platform::WriteOutcome::kWritten) return true;
  const std::uint32_t error = platform::LastError();
  if (outcome == platform::WriteOutcome::kNotCreated) {
    e.errors.Report(report::msg::kCreateFile, e.state.host.c_str(), path.c_str(), localPath);
  } else if (outcome != platform::WriteOutcome::kTargetExists) {
    e.errors.Report(report::msg::kWriteFile, e.state.host.c_str(), path.c_str(), localPath);
  }
  platform::SetLastError(outcome == platform::WriteOutcome::kNotWritten
                             ? std::uint32_t(platform::kErrorWriteFault)
                             : error);
  return false;
}

}  // namespace

bool DownloadPhotoInto(Engine& e, const char* remotePath, const char* localPath) {
  common::ByteString name;
  if (!PhotoName(e, remotePath, &name)) {
    e.errors.Report(report::msg::kPhotoName, e.state.requestUrl.c_str(), " ",
                    "(http://)([^/]+)(/)");
    platform::SetLastError(platform::kErrorFileNotFound);
    return false;
  }
  common::ByteString path = std::strstr(localPath, "_tc") ? FindPreviewUrl(e.entries, name.c_str())
                                                          : FindEntryUrl(e.entries, name.c_str());
  const common::ByteString server = PhotoServer(e, name.c_str());
  e.http.CloseAll();  // every download starts with a new internet handle
  if (!e.http.Get(server.c_str(), path.c_str(), nullptr)) return RequestFailed();
  std::uint32_t length = 0;
  const char* data = e.http.ReadAll(&length);
  std::uint32_t status = e.http.Status();
  if (length < kShortAnswer && path.size() >= 3) {
    // A short answer may be a stand-in page: the same photo spelled with "JPG" is asked for,
    // and its answer is taken. A small photo is a photo all the same: where the second
    // spelling brings nothing usable, the first answer stands.
    const bool firstUsable = data && length > 0 && status < kErrorStatus;
    const std::string first = firstUsable ? std::string(data, length) : std::string();
    const common::ByteString firstPath = path;
    path = common::ByteString(std::string(path.c_str(), path.size() - 3) + "JPG");
    const bool sent = e.http.Get(server.c_str(), path.c_str(), nullptr);
    if (!sent && !firstUsable) return RequestFailed();
    data = sent ? e.http.ReadAll(&length) : nullptr;
    status = sent ? e.http.Status() : 0;
    if (firstUsable && (!data || length == 0 || status >= kErrorStatus)) {
      return WritePhoto(e, firstPath, localPath, first.data(), std::uint32_t(first.size()));
    }
  }
  // An empty answer or an error page is no photo: nothing is written under its name.
  if (!data || length == 0) {
    e.errors.Report(report::msg::kZeroSize, e.state.host.c_str(), path.c_str(), " ");
    // A read that broke off is a read error to the host; an empty answer, a missing photo.
    platform::SetLastError(data ? platform::kErrorFileNotFound : kErrorCannotConnect);
    return false;
  }
  if (status >= kErrorStatus) {
    char code[32];
    std::snprintf(code, sizeof code, "HTTP %u", status);
    e.errors.Report(report::msg::kPhotoStatus, server.c_str(), path.c_str(), code);
    platform::SetLastError(platform::kErrorFileNotFound);
    return false;
  }
  return WritePhoto(e, path, localPath, data, length);
}

}  // namespace engine
