#include "engine/request.h"

#include <cstring>

#include "report/messages.h"

namespace engine {

namespace {

using common::ByteString;

// The built-in expressions of the analysis. The "." of the host expressions is not escaped:
// it stands for any byte, so a host whose rest after the first label has a single label of
// three or more characters is split there too (see the README for script authors).
constexpr char kHostFirst[] = "(http://)([^.]+)(.)([^/]+)";
constexpr char kHostSecond[] = "([^.]+)(.)([^/]+)";
constexpr char kPagePath[] = "(http://)([^/]+)(/)(.+)";
constexpr char kHostShown[] = "(http://)([^/]+)(/)";
constexpr char kPagePathShown[] = "(http://)([^/]+)(/)([^.]+)";

// The address expression of the mode: DirExpression for albums, FileExpression for photos.
const ByteString& AddressExpression(const Engine& e) {
  return e.state.mode == kModeAlbums ? e.script.dirExpression : e.script.fileExpression;
}

// Group number group of the mode's address expression over the requested address.
int AddressGroup(Engine& e, int group, ByteString* out, const char* message) {
  const ByteString& expression = AddressExpression(e);
  if (e.search.FindGroup(expression.c_str(), e.state.requestUrl.c_str(), group, out)) return 1;
  e.Report(message, e.state.requestUrl, expression);
  return 0;
}

}  // namespace

int DetermineHost(Engine& e) {
  RequestState& s = e.state;
  s.host.Clear();
  s.scriptName.Clear();
  extract::MatchSlots groups;
  if (!e.search.Capture(kHostFirst, s.requestUrl.c_str(), &groups)) {
    e.Report(report::msg::kHost, s.requestUrl, kHostShown);
    return 0;
  }
  const ByteString first = groups[2];
  const ByteString rest = groups[4];
  extract::MatchSlots split;
  if (e.search.Capture(kHostSecond, rest.c_str(), &split)) {
    s.scriptName = split[1] + "." + split[3];
    s.host = first + "." + s.scriptName;
  } else {
    s.scriptName = first + "." + rest;
    s.host = s.scriptName;
  }
  return 1;
}

int DetermineMode(Engine& e) {
  RequestState& s = e.state;
  if (e.search.Find(e.script.fileExpression.c_str(), s.requestUrl.c_str())) {
    s.mode = kModePhotos;
    return 1;
  }
  if (e.search.Find(e.script.dirExpression.c_str(), s.requestUrl.c_str())) {
    s.mode = kModeAlbums;
    return 1;
  }
  if (std::strstr(s.requestUrl.c_str(), ".jpg")) {
    s.mode = kModePhotos;
    return 1;
  }
  e.Report(report::msg::kMode, s.requestUrl, kNothing);
  s.mode = kModeNone;
  return 0;
}

int DeterminePagePath(Engine& e) {
  RequestState& s = e.state;
  ByteString path;
  if (e.search.FindGroup(kPagePath, s.requestUrl.c_str(), 4, &path)) {
    s.pagePath = path;
    return 1;
  }
  e.Report(report::msg::kPagePath, s.pagePath, kPagePathShown);
  s.pagePath.Clear();
  return 1;
}

int DetermineUser(Engine& e) {
  return AddressGroup(e, e.script.userGroup, &e.state.user, report::msg::kAuthor);
}

int DetermineAlbum(Engine& e) {
  return AddressGroup(e, e.script.albumGroup, &e.state.album, report::msg::kAlbumName);
}

int AnalyseRequest(Engine& e, const std::string& scriptsFolder) {
  RequestState& s = e.state;
  if (!DetermineHost(e)) return 0;
  if (!ReadScript(scriptsFolder, s.host, &s.scriptName, &s.scriptPath, &e.script)) {
    e.Report(report::msg::kScript, kNothing, kNothing);
    return 0;
  }
  // User, Album and Page still hold the previous request's values here.
  s.photoServer = e.Expand(e.script.servFoto);
  if (!DetermineMode(e)) return 0;
  DeterminePagePath(e);
  if (!DetermineUser(e)) return 0;
  if (!DetermineAlbum(e)) return 0;
  // The entry expressions may use Host, User and Album of this request.
  e.script.passExpression = e.Expand(e.script.passExpression);
  e.script.fotoExpression = e.Expand(e.script.fotoExpression);
  e.script.albumExpression = e.Expand(e.script.albumExpression);
  e.script.origExpression = e.Expand(e.script.origExpression);
  return 1;
}

}  // namespace engine
