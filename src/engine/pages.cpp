#include "engine/pages.h"

#include <string>

#include "engine/unlock.h"
#include "extract/names.h"
#include "net/address.h"
#include "report/messages.h"

namespace engine {

namespace {

using common::ByteString;

// What tells the album listing and the photo listing apart while pages are walked.
struct ListingKind {
  const char* requestFailed;  // the first page could not be requested
  const char* readFailed;     // a page was empty
  const char* noEntries;      // a page held no entry
  const char* nextFailed;     // a further page could not be requested
  ByteString SiteScript::*ifNextPage;
  ByteString SiteScript::*nextPage;
};

const ListingKind kAlbums = {report::msg::kRequestE14,     report::msg::kReadE15,
                             report::msg::kNoAlbum,        report::msg::kRequestE24,
                             &SiteScript::ifNextPageAlbum, &SiteScript::nextPageAlbum};
const ListingKind kPhotos = {report::msg::kRequestE17,    report::msg::kReadE18,
                             report::msg::kNoPhoto,       report::msg::kRequestE23,
                             &SiteScript::ifNextPageFoto, &SiteScript::nextPageFoto};

enum class Next { kNone, kRequested, kFailed, kUnreadable, kCut };

bool Absent(const ByteString& v) {
  return v == ByteString(kAbsent);
}

// What became of a page that was asked for.
enum class Got { kPage, kNoAnswer, kUnreadable, kStopped };

// A page that was asked for: no answer (reported with message) when none came or it is an
// error status; unreadable (reported with readMessage, naming the request's page and what
// stopped the read) when its body could not be read. A page the budget stopped is not
// reported here: the listing says once why it stopped.
Got Fetched(Tools& t, const Request& r, const PageFetch& page, const char* message,
            const char* readMessage, const ByteString& path) {
  if (!page.sent) {
    if (page.failure == net::Failure::kStopped) return Got::kStopped;
    ReportRequestFailure(t, r.host.c_str(), message, path.c_str());
    return Got::kNoAnswer;
  }
  if (!Answered(t, r, message, path.c_str(), page.status)) return Got::kNoAnswer;
  if (!page.body.empty()) return Got::kPage;
  if (page.readFailure == net::ReadFailure::kStopped) return Got::kStopped;
  const std::string why = report::msg::ReadFailureText(page.readFailure, t.http.bytesArrived());
  Report(t, r, readMessage, r.pagePath.c_str(), why.empty() ? report::kBlankCell : why.c_str());
  return Got::kUnreadable;
}

// Whether page has a next page, and requesting it into *next. At the page bound the next
// page is reported and not requested. slots carry the condition's groups to the next page's
// template. A script whose paging keys are "-1" has no next pages. The next page's path is
// resolved against the page it was found on (base).
Next RequestNextPage(Tools& t, const Request& r, const ListingKind& kind, const ByteString& page,
                     const ByteString& base, int pageNumber, int pagesRead,
                     extract::MatchSlots* slots, PageFetch* next) {
  if (Absent(r.script.*kind.ifNextPage) || Absent(r.script.*kind.nextPage)) return Next::kNone;
  const ByteString condition = Expand(t, r, r.script.*kind.ifNextPage, pageNumber, *slots);
  if (!t.search.Capture(condition.c_str(), page.c_str(), slots)) return Next::kNone;
  const ByteString link = Expand(t, r, r.script.*kind.nextPage, pageNumber, *slots);
  const ByteString path =
      ResolveEntryLink(t, r, base, link, SiteServers(r, ByteString()), condition.c_str());
  if (path == ByteString("NULL")) return Next::kFailed;
  if (pagesRead >= kMaxPages) {
    Report(t, r, report::msg::kPagingCut, path.c_str(), report::kBlankCell);
    return Next::kCut;
  }
  *next = FetchPage(t.http, t.budget, PageServer(r).c_str(), path);
  // An error page is no next page: paging stops with what the listing has. A page whose
  // body cannot be read fails the listing, as the first one does.
  switch (Fetched(t, r, *next, kind.nextFailed, kind.readFailed, path)) {
    case Got::kPage:
      return Next::kRequested;
    case Got::kUnreadable:
      return Next::kUnreadable;
    default:
      return Next::kFailed;
  }
}

// A warning page is passed: when the script's EroWarning matches the page, the page behind
// its link takes its place. The link follows the rules of every link (resolved against the
// page, on the site, at most 2 KB): one that breaks them is reported and not followed.
ByteString PassWarningPage(Tools& t, const Request& r, const ByteString& base,
                           const ByteString& page) {
  if (!r.script.hasEroWarning) return page;
  ByteString found;
  if (!t.search.FindGroup(r.script.eroWarning.c_str(), page.c_str(), 0, &found)) return page;
  const ByteString link = ResolveEntryLink(t, r, base, found, SiteServers(r, ByteString()),
                                           r.script.eroWarning.c_str());
  if (!HasAddress(link)) return page;
  const PageFetch behind = FetchPage(t.http, t.budget, PageServer(r).c_str(), link);
  if (!behind.sent) {
    if (behind.failure != net::Failure::kStopped)
      ReportRequestFailure(t, r.host.c_str(), report::msg::kRequestE14, r.pagePath.c_str());
    return page;
  }
  if (!Answered(t, r, report::msg::kRequestE14, link.c_str(), behind.status)) return page;
  return behind.body;
}

// Cuts the entries from first on to kMaxEntryLength bytes; true when one was cut.
bool CutLongEntries(std::vector<ByteString>* raw, std::size_t first) {
  bool cut = false;
  for (std::size_t i = first; i < raw->size(); ++i) {
    if ((*raw)[i].size() <= kMaxEntryLength) continue;
    (*raw)[i] = ByteString((*raw)[i].str().substr(0, kMaxEntryLength));
    cut = true;
  }
  return cut;
}

// A nested script's sub-albums on an album's page, added to walk->subAlbums within the
// listing's bound on entries (*more set when the bound left some out). True when the page
// held any.
bool FindSubAlbums(Tools& t, const Request& r, const ByteString& page, PageWalk* walk, bool* more) {
  if (r.mode != kModePhotos || !r.script.nested() || *more || t.budget.stopped()) return false;
  const std::size_t room = kMaxEntries - walk->raw.size() - walk->subAlbums.size();
  if (room == 0) return false;
  bool cut = false;
  const bool found = t.search.FindAll(r.script.subAlbumExpression.c_str(), page.c_str(), room,
                                      &walk->subAlbums, &cut);
  if (cut) *more = true;
  return found;
}

}  // namespace

bool Answered(Tools& t, const Request& r, const char* message, const char* url) {
  return Answered(t, r, message, url, t.http.Status());
}

bool Answered(Tools& t, const Request& r, const char* message, const char* url,
              std::uint32_t status) {
  if (status < 400) return true;
  const std::string code = "HTTP " + std::to_string(status);
  Report(t, r, message, url, code.c_str());
  return false;
}

std::vector<std::string> SiteServers(const Request& r, const ByteString& server) {
  std::vector<std::string> sites = {PageServer(r)};
  if (!server.empty()) sites.push_back(server.str());
  return sites;
}

ByteString ResolveEntryLink(Tools& t, const Request& r, const ByteString& base,
                            const ByteString& link, const std::vector<std::string>& sites,
                            const char* expression) {
  if (link == ByteString("NULL")) return link;
  // A link is HTML text, as an attribute holds it: "&amp;" is "&" (a letter's reference
  // its UTF-8 bytes, which the request encodes), as a browser reads it.
  const ByteString href = extract::DecodeCharacterReferences(link, true);
  std::string path;
  if (href.size() <= kMaxAddressLength && net::ResolveLink(base.str(), href.str(), sites, &path) &&
      path.size() <= kMaxAddressLength) {
    return ByteString(path);
  }
  const ByteString shown(link.str().substr(0, kMaxAddressLength));
  Report(t, r, report::msg::kAddressRefused, shown.c_str(), expression);
  return "NULL";
}

bool WalkPages(Tools& t, const Request& request, PageWalk* walk) {
  Request r = request;  // a password may bring cookies that later templates read
  const bool photos = r.mode == kModePhotos;
  const ListingKind& kind = photos ? kPhotos : kAlbums;
  walk->page = 1;
  walk->cookieText = r.cookieText;
  // A first page answered with an error status is a failed request, not a page.
  PageFetch fetched = FetchPage(t.http, t.budget, PageServer(r).c_str(), r.pagePath);
  if (Fetched(t, r, fetched, kind.requestFailed, kind.readFailed, r.pagePath) != Got::kPage)
    return false;
  extract::MatchSlots slots;
  UnlockState unlock;
  bool entryCut = false;
  for (int pagesRead = 1;; ++pagesRead) {
    t.budget.SetPercent(pagesRead < 50 ? pagesRead : 50);
    // Links on this page lead from where it was answered (a redirect may have moved it).
    const ByteString base = fetched.answeredPath;
    ByteString page = std::move(fetched.body);
    if (t.budget.TextSpent() && !walk->raw.empty()) {
      Report(t, r, report::msg::kPageTextCut, r.pagePath.c_str(), report::kBlankCell);
      return true;
    }
    ++walk->page;
    page = PassWarningPage(t, r, base, page);
    const PageUnlock opened = UnlockPage(t, r, base, page, &unlock);
    // The page behind a warning and the password's answer count as well: one that takes
    // the listing past its page text is not searched either.
    if (t.budget.TextSpent() && !walk->raw.empty()) {
      Report(t, r, report::msg::kPageTextCut, r.pagePath.c_str(), report::kBlankCell);
      return true;
    }
    page = opened.page;
    walk->unlocked = opened.unlocked;
    if (!opened.cookieText.empty()) r.cookieText = walk->cookieText = opened.cookieText;
    const ByteString& shown = photos ? r.script.fotoExpression : r.script.albumExpression;
    const ByteString& expression = photos && opened.passEntries ? r.script.passExpression : shown;
    bool more = false;
    const std::size_t found = walk->raw.size();
    const std::size_t subFound = walk->subAlbums.size();
    const bool hasEntries =
        t.search.FindAll(expression.c_str(), page.c_str(),
                         kMaxEntries - walk->raw.size() - subFound, &walk->raw, &more);
    // An album's page may hold albums too: they share the listing's bound on entries.
    const bool hasSubAlbums = FindSubAlbums(t, r, page, walk, &more);
    if (!hasEntries && !hasSubAlbums) {
      // A page the budget cut short (the warning page's or the password's answer) is no
      // page without entries: the listing says why it stopped.
      if (t.budget.stopped()) return !walk->raw.empty();
      // A later page without entries ends the paging with what the pages before it held
      // (a gallery whose last page holds only the other kind of entry); only a first page
      // without entries is a listing with nothing to show.
      if (pagesRead > 1) return true;
      Report(t, r, kind.noEntries, r.pagePath.c_str(), shown.c_str());
      return false;
    }
    walk->pagePaths.push_back(base);
    walk->pageOf.resize(walk->raw.size(), walk->pagePaths.size() - 1);
    walk->subAlbumPageOf.resize(walk->subAlbums.size(), walk->pagePaths.size() - 1);
    const bool cutSubAlbum = CutLongEntries(&walk->subAlbums, subFound);
    if ((CutLongEntries(&walk->raw, found) || cutSubAlbum) && !entryCut) {
      entryCut = true;
      Report(t, r, report::msg::kEntryCut, r.pagePath.c_str(), expression.c_str());
    }
    if (more) {
      Report(t, r, report::msg::kEntriesCut, r.pagePath.c_str(), expression.c_str());
      return true;
    }
    // Out of time, or stopped by the user: the pages read so far are the listing.
    if (!t.budget.Proceed()) return true;
    switch (RequestNextPage(t, r, kind, page, base, walk->page, pagesRead, &slots, &fetched)) {
      case Next::kRequested:
        break;
      case Next::kUnreadable:
        return false;
      default:
        return true;
    }
  }
}

}  // namespace engine
