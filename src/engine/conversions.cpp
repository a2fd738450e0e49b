#include "engine/conversions.h"

#include "extract/names.h"
#include "report/messages.h"

namespace engine {

namespace {

using common::ByteString;

// The expression that takes a photo entry apart: PassExpression in an opened album.
const ByteString& PhotoEntryExpression(const Engine& e) {
  return e.state.albumUnlocked ? e.script.passExpression : e.script.origExpression;
}

// One conversion: search the raw entry with expression, capture its groups and expand the
// template; on no match report message (with shown as the expression) and give "NULL".
ByteString Convert(Engine& e, const ByteString& raw, const ByteString& expression,
                   const ByteString& templ, const char* message, const ByteString& shown) {
  if (!e.Capture(expression, raw.c_str())) {
    e.Report(message, raw, shown);
    return "NULL";
  }
  return e.Expand(templ);
}

}  // namespace

ByteString MakeEntryUrl(Engine& e, const ByteString& raw) {
  const SiteScript& s = e.script;
  if (e.state.mode == kModeAlbums) {
    const ByteString url =
        Convert(e, raw, s.albumExpression, s.urlAlbum, report::msg::kUrlE33, s.albumExpression);
    return extract::Utf8ToAnsi(url);
  }
  if (e.state.mode == kModePhotos) {
    return Convert(e, raw, PhotoEntryExpression(e), e.state.albumUnlocked ? s.passFoto : s.urlFoto,
                   report::msg::kUrlE33, s.origExpression);
  }
  return "NULL";
}

ByteString MakePreviewUrl(Engine& e, const ByteString& raw) {
  const SiteScript& s = e.script;
  return Convert(e, raw, PhotoEntryExpression(e), e.state.albumUnlocked ? s.passPrev : s.urlPrev,
                 report::msg::kUrlE34, s.origExpression);
}

ByteString MakeEntryName(Engine& e, const ByteString& raw) {
  const SiteScript& s = e.script;
  if (e.state.mode == kModeAlbums) {
    ByteString name = Convert(e, raw, s.albumExpression, s.nameAlbum, report::msg::kConvertE30,
                              s.albumExpression);
    if (name == ByteString("NULL")) return name;
    if (s.utf) name = extract::Utf8ToAnsi(name);
    return extract::TrimNameEnd(name);
  }
  if (e.state.mode == kModePhotos) {
    return Convert(e, raw, PhotoEntryExpression(e), s.nameFoto, report::msg::kConvertE31,
                   s.origExpression);
  }
  e.Report(report::msg::kConvertE29, raw, raw);
  return "NULL";
}

ByteString FetchPhotoPageItem(Engine& e, const ByteString& raw, ByteString* server) {
  const SiteScript& s = e.script;
  RequestState& st = e.state;
  if (!e.Capture(s.fotoExpression, raw.c_str())) return "NULL";
  const ByteString path = e.Expand(s.urlOrig);
  if (!e.Get(path)) {
    e.Report(report::msg::kRequestE32, path, kNothing);
    return "NULL";
  }
  st.pageText = e.ReadPage();
  if (st.pageText.empty()) {
    e.Report(report::msg::kReadE33, st.pagePath, kNothing);
    return "NULL";
  }
  if (!e.Capture(s.origExpression, st.pageText.c_str())) return "NULL";
  const ByteString item = e.slots[0];
  st.photoServer = e.Expand(s.servFoto);
  *server = st.photoServer;
  return item;
}

int FollowEroWarning(Engine& e) {
  RequestState& st = e.state;
  if (!e.script.hasEroWarning) return 0;
  ByteString link;
  if (!e.search.FindGroup(e.script.eroWarning.c_str(), st.pageText.c_str(), 0, &link)) return 0;
  if (!e.Get(link)) {
    e.Report(report::msg::kRequestE14, st.pagePath, kNothing);
    return 0;
  }
  st.pageText = e.ReadPage();
  return 1;
}

}  // namespace engine
