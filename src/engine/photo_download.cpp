#include "engine/photo_download.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/fetch.h"
#include "engine/request.h"
#include "platform/file_writer.h"
#include "report/messages.h"

namespace engine {

namespace {

constexpr std::uint32_t kShortAnswer = 2000;
constexpr std::uint32_t kErrorStatus = 400;

// A photo that could not be requested is a read error to the host. A certificate or a
// redirect that was refused says so on the error page, and so does a server that stalled.
CopyResult RequestFailed(Tools& e, const char* host, const common::ByteString& path) {
  if (e.budget.stopped()) return CopyResult::kCancelled;
  if (e.http.failure() == net::Failure::kStalled) {
    e.errors.Report(report::msg::kPhotoStalled, host, path.c_str(), report::kBlankCell);
  } else {
    ReportRequestFailure(e, host, nullptr, path.c_str());
  }
  return CopyResult::kReadFailed;
}

// An answer whose body could not be read whole: what stopped it is said (broke off after
// so many bytes, over the bound, stalled), never that the server sent nothing.
CopyResult ReadFailed(Tools& e, const char* host, const common::ByteString& path) {
  const net::ReadFailure failure = e.http.readFailure();
  if (failure == net::ReadFailure::kStopped && e.budget.stopped()) return CopyResult::kCancelled;
  const char* message = failure == net::ReadFailure::kTooLarge  ? report::msg::kPhotoTooLarge
                        : failure == net::ReadFailure::kStalled ? report::msg::kPhotoStalled
                                                                : report::msg::kPhotoBrokenOff;
  const std::string why = report::msg::ReadFailureText(failure, e.http.bytesArrived());
  e.errors.Report(message, host, path.c_str(), why.empty() ? report::kBlankCell : why.c_str());
  return CopyResult::kReadFailed;
}

// Writes the photo's bytes into the temporary file opened beside localPath and moves it over
// localPath only when whole (an existing file is replaced only under the host's overwrite
// flag); a file that cannot be written whole (E27) is reported, and the user's file is never
// touched.
CopyResult WritePhoto(Tools& e, platform::SafeFileWriter& file, const char* host,
                      const common::ByteString& path, const char* localPath, const char* data,
                      std::uint32_t length) {
  file.Write(data, length);
  const platform::WriteOutcome outcome = file.Commit(platform::DownloadMayReplace());
  if (outcome == platform::WriteOutcome::kWritten) return CopyResult::kCopied;
  if (outcome == platform::WriteOutcome::kTargetExists) return CopyResult::kExists;
  e.errors.Report(report::msg::kWriteFile, host, path.c_str(), localPath);
  return CopyResult::kWriteFailed;
}

// Whether data begins as an image file does (JPEG, PNG, GIF, BMP, TIFF, WebP, and the
// ISO media files of AVIF and HEIC): a stand-in page, text or markup, never does.
bool LooksLikeImage(const char* data, std::uint32_t length) {
  const auto starts = [&](const char* magic, std::size_t size, std::size_t at = 0) {
    return length >= at + size && std::memcmp(data + at, magic, size) == 0;
  };
  return starts("\xFF\xD8\xFF", 3) || starts("\x89PNG\r\n\x1A\n", 8) || starts("GIF87a", 6) ||
         starts("GIF89a", 6) || starts("BM", 2) || starts("II*\0", 4) || starts("MM\0*", 4) ||
         (starts("RIFF", 4) && starts("WEBP", 4, 8)) || starts("ftyp", 4, 4);
}

}  // namespace

CopyResult DownloadPhoto(Tools& e, const Listing& listing, const Entry& photo, bool preview,
                         const char* localPath) {
  const char* host = listing.host.c_str();
  common::ByteString path = preview ? photo.preview : photo.address;
  // A photo whose address could not be made (E31) is listed, but never fetched: asking for
  // "NULL" would save whatever page the server answers as the photo.
  if (!HasAddress(path)) {
    e.errors.Report(report::msg::kPhotoWithoutAddress, host, listing.url.c_str(),
                    photo.name.empty() ? report::kBlankCell : photo.name.c_str());
    return CopyResult::kNotFound;
  }
  // The local side first: a folder that cannot be written, or a target that is a folder,
  // is found out before the photo is fetched (E26).
  platform::SafeFileWriter file;
  if (!file.Open(localPath)) {
    e.errors.Report(report::msg::kCreateFile, host, path.c_str(), localPath);
    return CopyResult::kWriteFailed;
  }
  const common::ByteString& server = photo.server;
  e.http.CloseAll();  // every download starts with a new internet handle
  const WatchScope watched(e.http, e.budget);
  if (!e.http.Get(server.c_str(), path.c_str(), nullptr, net::Fetch::kPhoto)) {
    return RequestFailed(e, host, path);
  }
  std::uint32_t length = 0;
  const char* data = e.http.ReadAll(&length);
  std::uint32_t status = e.http.Status();
  if (!data && e.http.readFailure() != net::ReadFailure::kNone) return ReadFailed(e, host, path);
  if (length < kShortAnswer && path.size() >= 3) {
    // A short answer may be a stand-in page: the same photo spelled with "JPG" is asked for,
    // and its answer is taken when it is an image. A small photo is a photo all the same:
    // where the second spelling brings an error, an empty answer or a page (a server that
    // answers "no such photo" with 200 and HTML), the first answer stands.
    const bool firstUsable = data && length > 0 && status < kErrorStatus;
    const std::string first = firstUsable ? std::string(data, length) : std::string();
    const common::ByteString firstPath = path;
    path = common::ByteString(std::string(path.c_str(), path.size() - 3) + "JPG");
    const bool sent = e.http.Get(server.c_str(), path.c_str(), nullptr, net::Fetch::kPhoto);
    if (e.budget.stopped()) return CopyResult::kCancelled;
    if (!sent && !firstUsable) return RequestFailed(e, host, path);
    data = sent ? e.http.ReadAll(&length) : nullptr;
    status = sent ? e.http.Status() : 0;
    if (e.budget.stopped()) return CopyResult::kCancelled;
    if (!data && !firstUsable && e.http.readFailure() != net::ReadFailure::kNone)
      return ReadFailed(e, host, path);
    const bool secondIsImage =
        data && length > 0 && status >= 200 && status < 300 && LooksLikeImage(data, length);
    if (firstUsable && !secondIsImage) {
      return WritePhoto(e, file, host, firstPath, localPath, first.data(),
                        std::uint32_t(first.size()));
    }
  }
  // An empty answer or an error page is no photo: nothing is written under its name.
  if (!data || length == 0) {
    e.errors.Report(report::msg::kZeroSize, host, path.c_str(), " ");
    // A read that broke off is a read error to the host; an empty answer, a missing photo.
    return data ? CopyResult::kNotFound : CopyResult::kReadFailed;
  }
  if (status >= kErrorStatus) {
    char code[32];
    std::snprintf(code, sizeof code, "HTTP %u", status);
    e.errors.Report(report::msg::kPhotoStatus, server.c_str(), path.c_str(), code);
    return CopyResult::kNotFound;
  }
  return WritePhoto(e, file, host, path, localPath, data, length);
}

}  // namespace engine
