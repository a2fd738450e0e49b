#include "engine/site_browser.h"

#include <cstring>

#include "engine/entries.h"
#include "engine/pages.h"
#include "engine/photo_download.h"
#include "engine/request.h"
#include "engine/sizes.h"
#include "extract/names.h"
#include "extract/unique_names.h"
#include "report/messages.h"

namespace engine {

namespace {

// Hosts whose cookies are kept; the oldest goes first.
constexpr std::size_t kMaxCookieHosts = 64;

// The names of one entry on both sides, from the name as the site gave it (in UTF-8 when
// the script says the site speaks it, in the code page otherwise). An album's name loses the
// trailing blanks and dots a folder cannot end in; "NULL" (a name that could not be made)
// stays "NULL" on both sides.
void SettleNames(const Request& r, Entry* e) {
  const common::ByteString site = e->name;
  const bool failed = site == common::ByteString("NULL");
  e->utf8Name = r.script.utf ? site : extract::AnsiToUtf8(site);
  // The name is made safe in the site's own encoding, before a letter the code page lacks
  // becomes "?": a "?" (or any other character a file name cannot hold) that the site wrote
  // becomes "_", a letter the code page cannot show stays visible as "?".
  common::ByteString ansi =
      r.script.utf ? extract::Utf8ToAnsi(extract::SafeUtf8Name(site)) : extract::SafeName(site);
  common::ByteString wide = e->utf8Name;
  if (r.mode == kModeAlbums && !failed) {
    ansi = extract::TrimNameEnd(ansi);
    wide = extract::TrimNameEnd(wide);
  }
  e->name = extract::CutName(ansi);
  e->wideName = extract::SafeUtf8Name(wide);
}

// The listing handed to the host: each side's names made safe for a file system (no path,
// device or stream in them), cut to the host's field and made unique on that side.
ListingPtr MakeListing(const Request& r, std::vector<Entry> entries) {
  std::vector<common::ByteString> ansi, wide;
  ansi.reserve(entries.size());
  wide.reserve(entries.size());
  for (Entry& e : entries) {
    SettleNames(r, &e);
    ansi.push_back(e.name);
    wide.push_back(e.wideName);
  }
  extract::MakeNamesUnique(&ansi, r.mode == kModeAlbums);
  extract::MakeUtf8NamesUnique(&wide, r.mode == kModeAlbums);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].name = ansi[i];
    entries[i].wideName = wide[i];
  }
  auto listing = std::make_shared<Listing>();
  listing->mode = r.mode;
  listing->url = r.url;
  listing->host = r.host;
  listing->secure = r.secure;
  listing->entries = std::move(entries);
  return listing;
}

}  // namespace

void SiteBrowser::LoadRegexLibrary(const char* libraryPath, const char* scriptsFolder,
                                   const char* settingsFile) {
  regexLibraryPath_ = libraryPath ? libraryPath : "";
  places_.scriptsFolder = scriptsFolder ? scriptsFolder : "";
  places_.settingsFile = settingsFile ? settingsFile : "";
  if (regex_.loaded()) return;
  if (!regex_.Load(regexLibraryPath_.c_str())) ReportLibraryFailure();
}

void SiteBrowser::ReportLibraryFailure() {
  int step = regex_.failure();
  if (step < 1 || step > 7) step = 1;
  errors_.Report(report::msg::kLoadLibrary[step - 1], regexLibraryPath_.c_str(), report::kBlankCell,
                 report::kBlankCell);
}

ListingPtr SiteBrowser::Browse(const char* url) {
  // Without a complete library nothing can be matched: say so again on every request.
  if (!regex_.bound()) {
    ReportLibraryFailure();
    return nullptr;
  }
  Tools tools{http_, search_, errors_, prompts_};
  // However many entries fail, the error page is written once, with the last report.
  const report::HeldReports held(errors_);
  Request request;
  const CookieLookup cookies = [this](const common::ByteString& host) { return CookiesFor(host); };
  if (!AnalyseRequest(tools, places_, url ? url : "", cookies, &request)) return nullptr;
  PageWalk walk;
  if (!WalkPages(tools, request, &walk)) return nullptr;
  KeepCookies(request.host, walk.cookieText);
  std::vector<Entry> entries;
  if (!ConvertEntries(tools, request, walk, &entries)) return nullptr;
  if (request.mode == kModePhotos)
    entries = WithSizes(std::move(entries), QuerySizes(http_, entries));
  return MakeListing(request, std::move(entries));
}

ListingPtr SiteBrowser::BrowseAlbum(const Listing& parent, const char* name, NameSide side) {
  const Entry* album = parent.mode == kModeAlbums ? parent.Find(name, side) : nullptr;
  const common::ByteString address = album ? album->address : common::ByteString("NULL");
  // The album is listed with its parent's scheme.
  const common::ByteString url =
      common::ByteString(parent.secure ? "https://" : "http://") + parent.host + address;
  return Browse(url.c_str());
}

bool SiteBrowser::DownloadPhoto(const Listing& listing, const Entry& photo, bool preview,
                                const char* localPath) {
  if (!regex_.bound()) {
    ReportLibraryFailure();
    return false;
  }
  Tools tools{http_, search_, errors_, prompts_};
  return engine::DownloadPhoto(tools, listing, photo, preview, localPath);
}

common::ByteString SiteBrowser::CookiesFor(const common::ByteString& host) const {
  for (const auto& kept : cookies_)
    if (kept.first == host) return kept.second;
  return common::ByteString();
}

void SiteBrowser::KeepCookies(const common::ByteString& host, const common::ByteString& text) {
  if (text.empty() || text == CookiesFor(host)) return;
  for (auto it = cookies_.begin(); it != cookies_.end(); ++it) {
    if (it->first == host) {
      cookies_.erase(it);
      break;
    }
  }
  if (cookies_.size() == kMaxCookieHosts) cookies_.erase(cookies_.begin());
  cookies_.emplace_back(host, text);
}

}  // namespace engine
