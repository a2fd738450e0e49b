#include "engine/site_browser.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/limits.h"
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

using limits::kMaxCookieHosts;

// The names of one entry on both sides, from the name as the site gave it (in UTF-8 when
// the script says the site speaks it, in the code page otherwise). An album's name loses the
// trailing blanks and dots a folder cannot end in; "NULL" (a name that could not be made)
// stays "NULL" on both sides.
void SettleNames(const Request& r, Entry* e) {
  const common::ByteString site = e->name;
  const bool failed = site == common::ByteString("NULL");
  e->utf8Name = r.script.utf ? site : extract::AnsiToUtf8(site);
  // The name is made safe in the site's own encoding, and again after the conversion to the
  // code page: a conversion may bring back what the first pass took out ("．．／" as "../",
  // "ＣＯＮ" as "CON"), and a letter the code page lacks comes out as "?", which no Windows
  // file name may hold: it becomes "_" like every other such character.
  common::ByteString ansi =
      r.script.utf ? extract::SafeName(extract::Utf8ToAnsi(extract::SafeUtf8Name(site)))
                   : extract::SafeName(site);
  common::ByteString wide = e->utf8Name;
  if (e->album && !failed) {
    ansi = extract::TrimNameEnd(ansi);
    wide = extract::TrimNameEnd(wide);
  }
  e->name = extract::CutName(ansi);
  e->wideName = extract::SafeUtf8Name(wide);
}

// Says on the error page why a listing stopped before its end, and what it kept: the pages
// read and the photos whose size was not asked.
void ReportStop(Tools& t, const Request& r, const PageWalk& walk, std::size_t notAsked) {
  const char* message = t.budget.stop() == Stop::kCancelled ? report::msg::kListingCancelled
                                                            : report::msg::kListingTimeCut;
  const std::string kept =
      report::msg::ListingKeptText(walk.pagePaths.size(), walk.raw.size(), notAsked);
  Report(t, r, message, r.pagePath.c_str(), kept.c_str());
}

// The trail of a listing: the albums above it, then the pages it was read from (as asked
// and as answered).
std::vector<common::ByteString> TrailOf(const Request& r, const PageWalk& walk,
                                        const std::vector<common::ByteString>& above) {
  std::vector<common::ByteString> trail = above;
  trail.push_back(common::ByteString("/") + r.pagePath);
  for (const common::ByteString& page : walk.pagePaths)
    trail.push_back(page);
  return trail;
}

// An album beside photos that leads back to a page of the trail (the album itself, its
// parent, the gallery's top) is a link up, not an album of this one: listing it would
// open the same pages again, one level deeper each time.
std::vector<Entry> WithoutLinksUp(std::vector<Entry> entries,
                                  const std::vector<common::ByteString>& trail) {
  std::vector<Entry> kept;
  kept.reserve(entries.size());
  for (Entry& e : entries) {
    const bool up = e.album && std::find(trail.begin(), trail.end(), e.address) != trail.end();
    if (!up) kept.push_back(std::move(e));
  }
  return kept;
}

// The listing handed to the host: each side's names made safe for a file system (no path,
// device or stream in them), cut to the host's field and made unique on that side.
ListingPtr MakeListing(const Request& r, std::vector<Entry> entries,
                       std::vector<common::ByteString> trail) {
  std::vector<common::ByteString> ansi, wide;
  std::vector<bool> folders;
  ansi.reserve(entries.size());
  wide.reserve(entries.size());
  folders.reserve(entries.size());
  for (Entry& e : entries) {
    SettleNames(r, &e);
    ansi.push_back(e.name);
    wide.push_back(e.wideName);
    folders.push_back(e.album);
  }
  // Albums and photos of one folder share its names: albums come first and keep theirs.
  extract::MakeNamesUnique(&ansi, folders);
  extract::MakeUtf8NamesUnique(&wide, folders);
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
  listing->trail = std::move(trail);
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

int SiteBrowser::ListingSeconds() const {
  if (places_.settingsFile.empty()) return limits::kListingSeconds;
  char value[32] = {};
  platform::ReadIniValue("listing", "seconds", "", value, sizeof value,
                         places_.settingsFile.c_str());
  if (!value[0]) return limits::kListingSeconds;
  const long seconds = std::strtol(value, nullptr, 10);
  if (seconds < limits::kMinListingSeconds) return limits::kMinListingSeconds;
  if (seconds > limits::kMaxListingSeconds) return limits::kMaxListingSeconds;
  return int(seconds);
}

ListingPtr SiteBrowser::Browse(const char* url, const Budget::Progress& progress,
                               const std::vector<common::ByteString>& above) {
  // Without a complete library nothing can be matched: say so again on every request.
  if (!regex_.bound()) {
    ReportLibraryFailure();
    return nullptr;
  }
  // Each listing starts with the cookies a password brought and no others: a site that sets
  // cookies on every answer cannot make later listings carry them.
  http_.cookies().DropUnkept();
  const std::uint64_t deadline =
      platform::NowMilliseconds() + std::uint64_t(ListingSeconds()) * 1000u;
  Budget budget(deadline, limits::kProgressIntervalMs, progress);
  Tools tools{http_, search_, errors_, prompts_, budget};
  // However many entries fail, the error page is written once, with the last report.
  const report::HeldReports held(errors_);
  Request request;
  const CookieLookup cookies = [this](const common::ByteString& host) { return CookiesFor(host); };
  if (!AnalyseRequest(tools, places_, url ? url : "", cookies, &request)) return nullptr;
  PageWalk walk;
  const bool walked = WalkPages(tools, request, &walk);
  if (!walked || walk.raw.empty()) {
    if (budget.stopped()) ReportStop(tools, request, walk, 0);
    if (!walked) return nullptr;
  }
  KeepCookies(request.host, walk.cookieText);
  std::vector<Entry> entries;
  if (!ConvertEntries(tools, request, walk, &entries)) return nullptr;
  std::size_t notAsked = 0;
  if (request.mode == kModePhotos) {
    const SizeAnswers sizes = QuerySizes(http_, budget, entries);
    for (const std::string& server : sizes.givenUp)
      Report(tools, request, report::msg::kSizesGivenUp, request.pagePath.c_str(), server.c_str());
    notAsked = sizes.notAsked;
    entries = WithSizes(std::move(entries), sizes.sizes);
  }
  if (budget.stopped()) ReportStop(tools, request, walk, notAsked);
  std::vector<common::ByteString> trail = TrailOf(request, walk, above);
  if (request.script.nested()) entries = WithoutLinksUp(std::move(entries), trail);
  return MakeListing(request, std::move(entries), std::move(trail));
}

ListingPtr SiteBrowser::BrowseAlbum(const Listing& parent, const char* name, NameSide side,
                                    const Budget::Progress& progress) {
  const Entry* album = parent.Find(name, side);
  if (album && !album->album) album = nullptr;
  // An album the listing does not hold, or holds without an address (its conversion failed,
  // E30): nothing to ask for, and the page says which.
  if (!album || !HasAddress(album->address)) {
    errors_.Report(report::msg::kAlbumWithoutAddress, parent.host.c_str(), parent.url.c_str(),
                   name && *name ? name : report::kBlankCell);
    return nullptr;
  }
  const common::ByteString& address = album->address;
  // The album is listed with its parent's scheme.
  const common::ByteString url =
      common::ByteString(parent.secure ? "https://" : "http://") + parent.host + address;
  return Browse(url.c_str(), progress, parent.trail);
}

CopyResult SiteBrowser::DownloadPhoto(const Listing& listing, const Entry& photo, bool preview,
                                      const char* localPath, const Budget::Progress& progress) {
  if (!regex_.bound()) {
    ReportLibraryFailure();
    return CopyResult::kReadFailed;
  }
  // A copy has no overall deadline (a large photo over a slow link is legitimate); only the
  // stall rule and the user bound it.
  Budget budget(0, limits::kDownloadProgressMs, progress);
  budget.ForDownload();
  Tools tools{http_, search_, errors_, prompts_, budget};
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
