// The one browsing engine: it owns the matching-library binding, the paths it reports and
// reads scripts with, and the entry lists that listings hand to the host.
#pragma once

#include <cstdint>
#include <string>

#include "common/byte_string.h"
#include "engine/entry_list.h"
#include "net/http_session.h"
#include "platform/platform.h"
#include "regex/regex_library.h"

namespace engine {

class SiteBrowser {
 public:
  // Stores the three paths and binds the matching library; a failed step is reported on
  // the error page. A library that is already loaded is kept.
  void LoadRegexLibrary(const char* libraryPath, const char* scriptsFolder,
                        const char* errorPagePath);

  // Replaces the error page with a report. 1 when the page was written.
  int ReportError(const char* message, const char* host, const char* url, const char* expression);

  // Lists what location names (an address, or an entry name of the previous listing).
  // Returns the mode listed (1 albums, 2 photos), or 0 after reporting the failure.
  int Browse(const char* location);

  // Readers of the entry lists.
  int mode() const { return mode_; }
  int count() const;
  const char* albumName(int i) const;
  const char* photoName(int i) const;
  std::uint32_t photoSize(int i) const;
  platform::FileTime photoTime(int i) const;

  EntryList& entries() { return entries_; }
  net::HttpSession& http() { return http_; }
  regex::RegexLibrary& regexLibrary() { return regex_; }
  const std::string& errorPagePath() const { return errorPagePath_; }
  const std::string& scriptsFolder() const { return scriptsFolder_; }

 private:
  // Reports that the matching library is unusable, naming the step that failed.
  void ReportLibraryFailure();

  net::HttpSession http_;  // first: built before and destroyed after everything that uses it
  regex::RegexLibrary regex_;
  std::string regexLibraryPath_;
  std::string scriptsFolder_;
  std::string errorPagePath_;
  int mode_ = kModeNone;
  EntryList entries_;
};

}  // namespace engine
