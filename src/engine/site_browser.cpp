#include "engine/site_browser.h"

#include <cstring>

#include "report/error_page.h"
#include "report/messages.h"

namespace engine {

namespace {
const char kNothing[] = "&nbsp;";

// The host part of an address: what follows "http://" up to the next "/".
std::string HostOf(const char* location) {
  std::string s = location ? location : "";
  const std::string scheme = "http://";
  if (s.compare(0, scheme.size(), scheme) == 0) s.erase(0, scheme.size());
  return s.substr(0, s.find('/'));
}
}  // namespace

void SiteBrowser::LoadRegexLibrary(const char* libraryPath, const char* scriptsFolder,
                                   const char* errorPagePath) {
  regexLibraryPath_ = libraryPath ? libraryPath : "";
  scriptsFolder_ = scriptsFolder ? scriptsFolder : "";
  errorPagePath_ = errorPagePath ? errorPagePath : "";
  if (regex_.loaded()) return;
  if (!regex_.Load(regexLibraryPath_.c_str())) ReportLibraryFailure();
}

void SiteBrowser::ReportLibraryFailure() {
  int step = regex_.failure();
  if (step < 1 || step > 7) step = 1;
  ReportError(report::msg::kLoadLibrary[step - 1], regexLibraryPath_.c_str(), kNothing, kNothing);
}

int SiteBrowser::ReportError(const char* message, const char* host, const char* url,
                             const char* expression) {
  return report::ReportError(errorPagePath_.c_str(), message, host, url, expression);
}

int SiteBrowser::Browse(const char* location) {
  // Without a complete library nothing can be matched: say so again on every request.
  if (!regex_.bound()) {
    ReportLibraryFailure();
    return 0;
  }
  // No site script can be read yet: every address is reported as unknown.
  ReportError(report::msg::kScript, HostOf(location).c_str(), kNothing, kNothing);
  return 0;
}

int SiteBrowser::count() const {
  if (mode_ == kModeAlbums) return int(entries_.albumNames.size());
  if (mode_ == kModePhotos) return int(entries_.photoNames.size());
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
