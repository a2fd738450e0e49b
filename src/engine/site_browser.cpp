#include "engine/site_browser.h"

#include "engine/photo_download.h"

#include <cstring>

#include "engine/listing.h"
#include "engine/request.h"
#include "report/messages.h"

namespace engine {

void SiteBrowser::LoadRegexLibrary(const char* libraryPath, const char* scriptsFolder) {
  regexLibraryPath_ = libraryPath ? libraryPath : "";
  scriptsFolder_ = scriptsFolder ? scriptsFolder : "";
  if (regex_.loaded()) return;
  if (!regex_.Load(regexLibraryPath_.c_str())) ReportLibraryFailure();
}

void SiteBrowser::ReportLibraryFailure() {
  int step = regex_.failure();
  if (step < 1 || step > 7) step = 1;
  errors_.Report(report::msg::kLoadLibrary[step - 1], regexLibraryPath_.c_str(), kNothing,
                 kNothing);
}

int SiteBrowser::Browse(const char* location) {
  // Without a complete library nothing can be matched: say so again on every request.
  if (!regex_.bound()) {
    ReportLibraryFailure();
    return 0;
  }
  if (!location) location = "";
  Engine e = View();
  if (std::strstr(location, "http://")) {
    state_.requestUrl = location;
  } else {
    // The name of an entry of the current listing, on the host of the previous request.
    state_.requestUrl =
        common::ByteString("http://") + state_.host + FindEntryUrl(entries_, location);
  }
  if (!AnalyseRequest(e, scriptsFolder_)) return 0;
  if (state_.mode == kModeAlbums) return ListAlbums(e);
  if (state_.mode == kModePhotos) return ListPhotos(e);
  e.Report(report::msg::kNoMode, state_.pagePath, kNothing);
  return 0;
}

bool SiteBrowser::DownloadPhoto(const char* remotePath, const char* localPath) {
  if (!regex_.bound()) {
    ReportLibraryFailure();
    return false;
  }
  Engine e = View();
  return DownloadPhotoInto(e, remotePath ? remotePath : "", localPath ? localPath : "");
}

int SiteBrowser::count() const {
  if (state_.mode == kModeAlbums) return int(entries_.albumNames.size());
  if (state_.mode == kModePhotos) return int(entries_.photoNames.size());
  return 0;
}

const char* SiteBrowser::albumName(int i) const {
  return i >= 0 && std::size_t(i) < entries_.albumNames.size() ? entries_.albumNames[i].c_str()
                                                               : "";
}

const char* SiteBrowser::photoName(int i) const {
  return i >= 0 && std::size_t(i) < entries_.photoNames.size() ? entries_.photoNames[i].c_str()
                                                               : "";
}

std::uint32_t SiteBrowser::photoSize(int i) const {
  return i >= 0 && std::size_t(i) < entries_.photoSizes.size() ? entries_.photoSizes[i] : 0;
}

platform::FileTime SiteBrowser::photoTime(int i) const {
  return i >= 0 && std::size_t(i) < entries_.photoTimes.size() ? entries_.photoTimes[i]
                                                               : platform::FileTime{0, 0};
}

}  // namespace engine
