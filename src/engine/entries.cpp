#include "engine/entries.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include "extract/names.h"
#include "net/address.h"
#include "platform/internet.h"
#include "report/error_page.h"
#include "report/messages.h"

namespace engine {

namespace {

using common::ByteString;

// The templates and the expression that take one kind of entry apart.
struct EntryRules {
  const ByteString* expression;  // run over the raw entry; its groups feed the templates
  const ByteString* shown;       // the expression the error page names
  const ByteString* address;
  const ByteString* preview;  // photos only
  const ByteString* name;
};

EntryRules RulesFor(const Request& r, bool unlocked) {
  const SiteScript& s = r.script;
  if (r.mode == kModeAlbums)
    return {&s.albumExpression, &s.albumExpression, &s.urlAlbum, nullptr, &s.nameAlbum};
  if (unlocked)
    return {&s.passExpression, &s.origExpression, &s.passFoto, &s.passPrev, &s.nameFoto};
  return {&s.origExpression, &s.origExpression, &s.urlFoto, &s.urlPrev, &s.nameFoto};
}

// One template over the raw entry's groups. Each conversion searches afresh with empty
// groups, so a group that takes no part in this match is empty text, never a value left
// from another entry. On no match, message is reported and the result is "NULL".
ByteString Convert(Tools& t, const Request& r, int page, const ByteString& raw,
                   const EntryRules& rules, const ByteString& templ, const char* message) {
  extract::MatchSlots slots;
  if (!t.search.Capture(rules.expression->c_str(), raw.c_str(), &slots)) {
    Report(t, r, message, raw.c_str(), rules.shown->c_str());
    return "NULL";
  }
  return Expand(t, r, templ, page, slots);
}

// A name as the listing takes it: character references decoded, and percent escapes too
// when the script says its names come from addresses.
ByteString DecodedName(const Request& r, const ByteString& name) {
  if (name == ByteString("NULL")) return name;
  ByteString decoded = extract::DecodeCharacterReferences(name, r.script.utf != 0);
  if (r.script.decodeNames) decoded = extract::PercentDecode(decoded);
  return decoded;
}

// Where one entry was found: the page its links lead from, and the servers they may name.
struct Place {
  ByteString base;
  std::vector<std::string> sites;
};

Entry ConvertAlbum(Tools& t, const Request& r, int page, const ByteString& raw, const Place& place,
                   const EntryRules& rules) {
  Entry e;
  e.album = true;
  // An address goes as the page wrote it (the request encodes it): never through the code
  // page, which would turn UTF-8 into other bytes.
  const ByteString link = Convert(t, r, page, raw, rules, *rules.address, report::msg::kUrlE33);
  e.address = ResolveEntryLink(t, r, place.base, link, place.sites, rules.shown->c_str());
  // The name stays in the site's encoding: the listing makes each side's name from it.
  e.name = DecodedName(r, Convert(t, r, page, raw, rules, *rules.name, report::msg::kConvertE30));
  return e;
}

Entry ConvertPhoto(Tools& t, const Request& r, int page, const ByteString& raw, bool unlocked,
                   const ByteString& server, const Place& place) {
  const EntryRules rules = RulesFor(r, unlocked);
  Entry e;
  const char* shown = rules.shown->c_str();
  e.address = ResolveEntryLink(
      t, r, place.base, Convert(t, r, page, raw, rules, *rules.address, report::msg::kUrlE33),
      place.sites, shown);
  e.preview = ResolveEntryLink(
      t, r, place.base, Convert(t, r, page, raw, rules, *rules.preview, report::msg::kUrlE34),
      place.sites, shown);
  e.server = server;
  e.name = DecodedName(r, Convert(t, r, page, raw, rules, *rules.name, report::msg::kConvertE31));
  // A photo's name loses the blanks and dots a file name cannot end in before it gets its
  // extension; a listed photo's name carries a JPG extension, a full-size name is kept.
  if (e.name != ByteString("NULL")) e.name = extract::TrimNameEnd(e.name);
  if (!r.script.fullSize) e.name = extract::WithJpgExtension(e.name);
  return e;
}

// Full-size mode: the path of the photo's own page the raw entry links; "NULL" when it
// links none.
ByteString PhotoPagePath(Tools& t, const Request& r, int page, const ByteString& raw,
                         const Place& place) {
  const SiteScript& s = r.script;
  extract::MatchSlots slots;
  if (!t.search.Capture(s.fotoExpression.c_str(), raw.c_str(), &slots)) return "NULL";
  return ResolveEntryLink(t, r, place.base, Expand(t, r, s.urlOrig, page, slots), place.sites,
                          s.fotoExpression.c_str());
}

// Full-size mode: the entry on the photo's own page (at path, as answer brought it) stands
// for the raw entry, and the page names the photo's server (kept for later photos whose
// page names none). *photoPagePath gets the path the photo's page was answered from.
ByteString FullSizeEntry(Tools& t, const Request& r, int page, const ByteString& path,
                         const net::PageAnswer& answer, ByteString* server,
                         ByteString* photoPagePath) {
  const SiteScript& s = r.script;
  if (path == ByteString("NULL")) return path;
  if (!answer.sent) {
    ReportRequestFailure(t, r.host.c_str(), report::msg::kRequestE32, path.c_str(), answer);
    return "NULL";
  }
  if (!Answered(t, r, report::msg::kRequestE32, path.c_str(), answer.status)) return "NULL";
  *photoPagePath = ByteString(answer.answeredPath);
  // The page up to its first NUL, as a page read alone is taken.
  const ByteString photoPage(answer.bodyRead ? answer.body.c_str() : "");
  t.budget.CountText(photoPage.size());
  if (photoPage.empty()) {
    Report(t, r, report::msg::kReadE33, r.pagePath.c_str(), report::kBlankCell);
    return "NULL";
  }
  extract::MatchSlots slots;
  if (!t.search.Capture(s.origExpression.c_str(), photoPage.c_str(), &slots)) {
    // The page no longer shows the photo: no name can be made for it.
    Report(t, r, report::msg::kConvertE31, path.c_str(), s.origExpression.c_str());
    return "NULL";
  }
  *server = net::ServerWithScheme(Expand(t, r, s.servFoto, page, slots).str(), r.secure);
  return slots[0];
}

// The same address listed again on the same page (a gallery links an album from its
// picture and from its title) is the entry already listed; a name it lacked is taken from
// the later link. True when e was such a repeat.
class Repeats {
 public:
  bool Merge(std::size_t page, const Entry& e, std::vector<Entry>* entries) {
    if (page != page_) {
      page_ = page;
      seen_.clear();
    }
    if (e.address == ByteString("NULL")) return false;
    const auto found = seen_.find(e.address.str());
    if (found == seen_.end()) {
      seen_.emplace(e.address.str(), entries->size());
      return false;
    }
    Entry& first = (*entries)[found->second];
    if (Nameless(first) && !Nameless(e)) first.name = e.name;
    return true;
  }

 private:
  static bool Nameless(const Entry& e) {
    const std::string& n = e.name.str();
    return n.empty() || n == "NULL" || n == ".jpg" || n == "NULL.jpg";
  }
  std::size_t page_ = std::size_t(-1);
  std::map<std::string, std::size_t> seen_;
};

// A nested script's sub-albums, as the walk found them beside the photos, listed before
// them: the same address twice is one album, on one page or on several (galleries that page
// their photos show the album's albums again on every page).
void ConvertSubAlbums(Tools& t, const Request& r, const PageWalk& walk,
                      std::vector<Entry>* entries) {
  const SiteScript& s = r.script;
  const EntryRules rules = {&s.subAlbumExpression, &s.subAlbumExpression, &s.urlSubAlbum, nullptr,
                            &s.nameSubAlbum};
  const std::vector<std::string> sites = SiteServers(r, ByteString());
  Repeats repeats;
  for (std::size_t i = 0; i < walk.subAlbums.size(); ++i) {
    const std::size_t page = i < walk.subAlbumPageOf.size() ? walk.subAlbumPageOf[i] : 0;
    const Place place{page < walk.pagePaths.size() ? walk.pagePaths[page] : r.pagePath, sites};
    const Entry e = ConvertAlbum(t, r, walk.page, walk.subAlbums[i], place, rules);
    if (!repeats.Merge(0, e, entries)) entries->push_back(e);  // every page as one
  }
}

// Where each raw entry of a walk was found: its page, and the servers its links may name.
class EntryPlaces {
 public:
  EntryPlaces(const Request& r, const PageWalk& walk, std::vector<std::string> sites)
      : r_(r), walk_(walk), sites_(std::move(sites)) {}
  std::size_t PageOf(std::size_t i) const { return i < walk_.pageOf.size() ? walk_.pageOf[i] : 0; }
  Place PlaceOf(std::size_t i) const {
    const std::size_t page = PageOf(i);
    return Place{page < walk_.pagePaths.size() ? walk_.pagePaths[page] : r_.pagePath, sites_};
  }

 private:
  const Request& r_;
  const PageWalk& walk_;
  std::vector<std::string> sites_;
};

// Full-size mode: each photo entry stands for the entry on the photo's own page, whose
// pages are asked a batch at a time. False after a report when there is no photo and no
// album.
bool ConvertFullSize(Tools& t, const Request& r, const PageWalk& walk, const EntryPlaces& at,
                     std::vector<Entry>* entries) {
  auto placeOf = [&](std::size_t i) { return at.PlaceOf(i); };
  auto pageOf = [&](std::size_t i) { return at.PageOf(i); };
  Repeats repeats;
  if (walk.raw.empty()) {
    // An album holding only albums has no photo to take apart.
    if (!entries->empty()) return true;
    Report(t, r, report::msg::kNames, r.pagePath.c_str(), report::kBlankCell);
    return false;
  }
  const std::size_t count = walk.raw.size();
  // The photos' own pages, found without the network. What finding each one reports is
  // set aside here and reported below, in entry order, among what reading them says.
  std::vector<ByteString> paths(count);
  std::vector<std::vector<report::ReportRecord>> pathReports(count);
  {
    report::ErrorReporter aside;
    aside.Hold();
    Tools quiet{t.http, t.search, aside, t.prompts, t.budget};
    for (std::size_t i = 0; i < count; ++i) {
      aside.KeepHistory(&pathReports[i]);
      paths[i] = PhotoPagePath(quiet, r, walk.page, walk.raw[i], placeOf(i));
    }
  }
  ByteString server = r.photoServer;
  bool cut = false;
  const net::PageAnswer none;
  const WatchScope watched(t.http, t.budget);
  for (std::size_t first = 0; first < count;) {
    // Out of time, or stopped by the user: the photos whose pages were read are the listing.
    if (!t.budget.Proceed()) break;
    t.budget.SetPercent(50 + int(first * 50 / count));
    // The next pages are asked together, as many as are in flight at once; past the
    // listing's budget of page text no further photo page is asked.
    const std::size_t end = std::min(count, first + platform::kMaxQueriesInFlight);
    std::vector<std::string> asked;
    std::vector<std::size_t> answerOf(end - first, count);
    if (!t.budget.TextSpent()) {
      for (std::size_t i = first; i < end; ++i) {
        if (paths[i] == ByteString("NULL")) continue;
        answerOf[i - first] = asked.size();
        asked.push_back(paths[i].str());
      }
    }
    const std::vector<net::PageAnswer> answers = t.http.GetPages(PageServer(r).c_str(), asked);
    // Each entry of the chunk as the walk one after another takes it.
    for (std::size_t i = first; i < end; ++i) {
      if (t.budget.TextSpent() && !cut) {
        cut = true;
        Report(t, r, report::msg::kPageTextCut, r.pagePath.c_str(), report::kBlankCell);
      }
      Place place = placeOf(i);
      ByteString photoPage;
      ByteString item("NULL");
      if (!cut) {
        const std::size_t k = answerOf[i - first];
        // A page the budget stopped: the listing ends with the photos before it.
        if (k < answers.size() && answers[k].failure == net::Failure::kStopped) {
          t.budget.NoteStopped();
          continue;
        }
        for (const report::ReportRecord& said : pathReports[i]) {
          t.errors.Report(said.message.c_str(), said.host.c_str(), said.url.c_str(),
                          said.expression.c_str());
        }
        item = FullSizeEntry(t, r, walk.page, paths[i], k < answers.size() ? answers[k] : none,
                             &server, &photoPage);
      }
      if (item == ByteString("NULL")) {
        // The photo's own page failed (and said so): there is nothing to take apart.
        Entry failed;
        failed.name = failed.address = failed.preview = "NULL";
        failed.server = server;
        entries->push_back(failed);
        continue;
      }
      // The photo's own entry leads from the photo's page, to its page server or its own.
      place.base = photoPage;
      place.sites = SiteServers(r, server);
      const Entry e = ConvertPhoto(t, r, walk.page, item, walk.unlocked, server, place);
      if (!repeats.Merge(pageOf(i), e, entries)) entries->push_back(e);
    }
    first = end;
  }
  return true;
}

}  // namespace

bool ConvertEntries(Tools& t, const Request& request, const PageWalk& walk,
                    std::vector<Entry>* entries) {
  Request r = request;
  r.cookieText = walk.cookieText;
  entries->reserve(walk.raw.size() + walk.subAlbums.size());
  ConvertSubAlbums(t, r, walk, entries);
  const bool albums = r.mode == kModeAlbums;
  const EntryPlaces at(r, walk, SiteServers(r, albums ? ByteString() : r.photoServer));
  if (!albums && r.script.fullSize) return ConvertFullSize(t, r, walk, at, entries);
  Repeats repeats;
  for (std::size_t i = 0; i < walk.raw.size(); ++i) {
    const Entry e =
        albums ? ConvertAlbum(t, r, walk.page, walk.raw[i], at.PlaceOf(i), RulesFor(r, false))
               : ConvertPhoto(t, r, walk.page, walk.raw[i], walk.unlocked, r.photoServer,
                              at.PlaceOf(i));
    if (!repeats.Merge(at.PageOf(i), e, entries)) entries->push_back(e);
  }
  return true;
}

}  // namespace engine
