// The browsing engine's front: binds the matching library, turns an address into a listing
// (request → pages → raw entries → entries → sizes → listing) and copies a listed photo out.
// It keeps no listing: each one is handed back whole, and the caller decides what to keep.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "common/byte_string.h"
#include "engine/fetch.h"
#include "engine/host_prompts.h"
#include "engine/listing.h"
#include "engine/photo_download.h"
#include "engine/request.h"
#include "net/http_session.h"
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
  // error page. A library that is already loaded is kept. settingsFile (may be null) holds
  // the [sites] section that binds hosts to scripts.
  void LoadRegexLibrary(const char* libraryPath, const char* scriptsFolder,
                        const char* settingsFile = nullptr);

  // Lists the site address url ("http://host/path"). The listing (albums or photos), or null
  // after a report on the error page. The listing is bounded by the settings' time (see
  // ListingSeconds); progress (may be empty) is asked at least once a second with how far
  // it is, and stops it by answering false. A listing stopped either way keeps what it
  // found and says so on the error page.
  // above: the trail of the listing this one is an album of (empty for an address).
  ListingPtr Browse(const char* url, const Budget::Progress& progress = {},
                    const std::vector<common::ByteString>& above = {});
  // Lists the album called name in parent, on parent's host; an album the parent does not
  // list is reported as the site's address analysis reports an unknown address. An album
  // may hold albums of its own, to any depth the caller allows.
  ListingPtr BrowseAlbum(const Listing& parent, const char* name, NameSide side = NameSide::kAnsi,
                         const Budget::Progress& progress = {});

  // Copies photo, an entry of listing, into localPath (its preview when preview is set).
  // progress (may be empty) is asked with the percent as bytes arrive; false stops the copy
  // (kCancelled).
  CopyResult DownloadPhoto(const Listing& listing, const Entry& photo, bool preview,
                           const char* localPath, const Budget::Progress& progress = {});

  // The seconds one listing may take: [listing] seconds of the settings file, kept between
  // limits::kMinListingSeconds and limits::kMaxListingSeconds (the default without one).
  int ListingSeconds() const;

  // The cookies a password brought for host ("" when none).
  common::ByteString CookiesFor(const common::ByteString& host) const;
  // The one HTTP session; the update check and download go through it too.
  net::HttpSession& http() { return http_; }

 private:
  // Reports that the matching library is unusable, naming the step that failed.
  void ReportLibraryFailure();
  void KeepCookies(const common::ByteString& host, const common::ByteString& text);

  net::HttpSession http_;  // first: built before and destroyed after everything that uses it
  regex::RegexLibrary regex_;
  regex::Search search_{regex_};
  report::ErrorReporter& errors_;
  HostPrompts* prompts_;
  std::string regexLibraryPath_;
  ScriptPlaces places_;
  // The cookie text of each host whose album a password opened, newest last.
  std::vector<std::pair<common::ByteString, common::ByteString>> cookies_;
};

}  // namespace engine
