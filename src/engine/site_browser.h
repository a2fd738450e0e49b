// The one browsing engine: it owns the HTTP session, the matching-library binding, the site
// script, the state of the current request, the match slots and the entry lists that
// listings hand to the host. The steps of a request live in their own files and work
// through an Engine view of these parts.
#pragma once

#include <cstdint>
#include <string>

#include "common/byte_string.h"
#include "engine/engine.h"
#include "engine/entry_list.h"
#include "engine/host_prompts.h"
#include "engine/site_script.h"
#include "extract/template.h"
#include "net/http_session.h"
#include "platform/platform.h"
#include "regex/regex_library.h"
#include "regex/search.h"
#include "report/error_page.h"

namespace engine {

class SiteBrowser {
 public:
  // errors writes the error page; prompts asks the host (null: nothing can be asked).
  SiteBrowser(report::ErrorReporter& errors, HostPrompts* prompts)
      : errors_(errors), prompts_(prompts) {}
  SiteBrowser(const SiteBrowser&) = delete;
  SiteBrowser& operator=(const SiteBrowser&) = delete;

  // Stores the paths and binds the matching library; a failed step is reported on the
  // error page. A library that is already loaded is kept.
  void LoadRegexLibrary(const char* libraryPath, const char* scriptsFolder);

  // Lists what location names (an address, or an entry name of the previous listing).
  // Returns the mode listed (1 albums, 2 photos), or 0 after reporting the failure.
  int Browse(const char* location);

  // Readers of the entry lists.
  int mode() const { return state_.mode; }
  int count() const;
  const char* albumName(int i) const;
  const char* photoName(int i) const;
  std::uint32_t photoSize(int i) const;
  platform::FileTime photoTime(int i) const;

  // What the last request left, for the download and for tests.
  const EntryList& entries() const { return entries_; }
  const RequestState& state() const { return state_; }
  const SiteScript& script() const { return script_; }
  // The one HTTP session; the update check and download go through it too.
  net::HttpSession& http() { return http_; }

 private:
  // Reports that the matching library is unusable, naming the step that failed.
  void ReportLibraryFailure();
  Engine View() {
    return Engine{http_, search_, errors_, prompts_, script_, state_, slots_, entries_};
  }

  net::HttpSession http_;  // first: built before and destroyed after everything that uses it
  regex::RegexLibrary regex_;
  regex::Search search_{regex_};
  report::ErrorReporter& errors_;
  HostPrompts* prompts_;
  std::string regexLibraryPath_;
  std::string scriptsFolder_;
  RequestState state_;
  extract::MatchSlots slots_;
  SiteScript script_;
  EntryList entries_;
};

}  // namespace engine
