#include "engine/entries.h"

#include "extract/names.h"
#include "net/address.h"
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

// Addresses longer than this are refused: no real page links one, and a template fed from a
// page could otherwise make megabytes of them.
constexpr std::size_t kMaxAddressLength = 2048;

// An address from a page is a path on the site's own server (album pages on the host,
// photos on their photo server): anything else, and anything too long, is refused for
// that entry ("NULL"), and said on the error page.
ByteString Admit(Tools& t, const Request& r, const ByteString& address, const EntryRules& rules) {
  if (address == ByteString("NULL")) return address;
  if (address.size() <= kMaxAddressLength && address.c_str()[0] == '/') return address;
  const ByteString shown(address.str().substr(0, kMaxAddressLength));
  Report(t, r, report::msg::kAddressRefused, shown.c_str(), rules.shown->c_str());
  return "NULL";
}

Entry ConvertAlbum(Tools& t, const Request& r, int page, const ByteString& raw) {
  const EntryRules rules = RulesFor(r, false);
  Entry e;
  const ByteString address =
      extract::Utf8ToAnsi(Convert(t, r, page, raw, rules, *rules.address, report::msg::kUrlE33));
  e.address = Admit(t, r, address, rules);
  // The name stays in the site's encoding: the listing makes each side's name from it.
  e.name = Convert(t, r, page, raw, rules, *rules.name, report::msg::kConvertE30);
  return e;
}

Entry ConvertPhoto(Tools& t, const Request& r, int page, const ByteString& raw, bool unlocked,
                   const ByteString& server) {
  const EntryRules rules = RulesFor(r, unlocked);
  Entry e;
  e.address =
      Admit(t, r, Convert(t, r, page, raw, rules, *rules.address, report::msg::kUrlE33), rules);
  e.preview =
      Admit(t, r, Convert(t, r, page, raw, rules, *rules.preview, report::msg::kUrlE34), rules);
  e.server = server;
  e.name = Convert(t, r, page, raw, rules, *rules.name, report::msg::kConvertE31);
  // A listed photo's name carries a JPG extension; a full-size name is kept as made.
  if (!r.script.fullSize) e.name = extract::WithJpgExtension(e.name);
  return e;
}

// Full-size mode: the entry on the photo's own page stands for the raw entry, and the page
// names the photo's server (kept for later photos whose page names none).
ByteString FullSizeEntry(Tools& t, const Request& r, int page, const ByteString& raw,
                         ByteString* server, std::size_t* textRead) {
  const SiteScript& s = r.script;
  extract::MatchSlots slots;
  if (!t.search.Capture(s.fotoExpression.c_str(), raw.c_str(), &slots)) return "NULL";
  const ByteString path = Expand(t, r, s.urlOrig, page, slots);
  if (!t.http.Get(PageServer(r).c_str(), path.c_str(), nullptr)) {
    ReportRequestFailure(t, r.host.c_str(), report::msg::kRequestE32, path.c_str());
    return "NULL";
  }
  const ByteString photoPage = ReadPage(t.http);
  *textRead += photoPage.size();
  if (photoPage.empty()) {
    Report(t, r, report::msg::kReadE33, r.pagePath.c_str(), report::kBlankCell);
    return "NULL";
  }
  if (!t.search.Capture(s.origExpression.c_str(), photoPage.c_str(), &slots)) {
    // The page no longer shows the photo: no name can be made for it.
    Report(t, r, report::msg::kConvertE31, path.c_str(), s.origExpression.c_str());
    return "NULL";
  }
  *server = net::ServerWithScheme(Expand(t, r, s.servFoto, page, slots).str(), r.secure);
  return slots[0];
}

}  // namespace

bool ConvertEntries(Tools& t, const Request& request, const PageWalk& walk,
                    std::vector<Entry>* entries) {
  Request r = request;
  r.cookieText = walk.cookieText;
  entries->reserve(walk.raw.size());
  if (r.mode == kModeAlbums) {
    for (const ByteString& raw : walk.raw)
      entries->push_back(ConvertAlbum(t, r, walk.page, raw));
    return true;
  }
  if (!r.script.fullSize) {
    for (const ByteString& raw : walk.raw)
      entries->push_back(ConvertPhoto(t, r, walk.page, raw, walk.unlocked, r.photoServer));
    return true;
  }
  if (walk.raw.empty()) {
    Report(t, r, report::msg::kNames, r.pagePath.c_str(), report::kBlankCell);
    return false;
  }
  ByteString server = r.photoServer;
  std::size_t textRead = walk.textRead;
  bool cut = false;
  for (const ByteString& raw : walk.raw) {
    // Past the listing's budget of page text no further photo page is read.
    if (textRead > kMaxPageText && !cut) {
      cut = true;
      Report(t, r, report::msg::kPageTextCut, r.pagePath.c_str(), report::kBlankCell);
    }
    const ByteString item =
        cut ? ByteString("NULL") : FullSizeEntry(t, r, walk.page, raw, &server, &textRead);
    if (item == ByteString("NULL")) {
      // The photo's own page failed (and said so): there is nothing to take apart.
      Entry none;
      none.name = none.address = none.preview = "NULL";
      none.server = server;
      entries->push_back(none);
      continue;
    }
    entries->push_back(ConvertPhoto(t, r, walk.page, item, walk.unlocked, server));
  }
  return true;
}

}  // namespace engine
