#include "engine/request.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "net/address.h"
#include "platform/platform.h"
#include "report/messages.h"

namespace engine {

namespace {

using common::ByteString;

// The built-in expressions of the analysis.
constexpr char kPagePath[] = "(http://)([^/]+)(/)(.+)";
constexpr char kHostShown[] = "(http://)([^/]+)(/)";
constexpr char kPagePathShown[] = "(http://)([^/]+)(/)([^.]+)";

// A host is labels of letters, digits and "-" joined by single dots, optionally followed by
// ":" and a port number: anything else (a backslash, "..", a blank) could name another file
// as the site's script.
bool ValidHost(const std::string& host) {
  const std::size_t colon = host.find(':');
  const std::string name = host.substr(0, colon);
  if (name.empty() || name.front() == '.' || name.back() == '.') return false;
  if (name.find("..") != std::string::npos) return false;
  for (const char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return false;
  if (colon == std::string::npos) return true;
  const std::string port = host.substr(colon + 1);
  if (port.empty() || port.size() > 5) return false;
  for (const char c : port)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// The host as the address writes it: what follows "http://" up to the next "/".
std::string WrittenHost(const std::string& url) {
  const std::size_t start = url.find("http://");
  if (start == std::string::npos) return std::string();
  const std::size_t from = start + 7;
  const std::size_t slash = url.find('/', from);
  return url.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
}

// A port in the address is for the requests: scripts are named after the host alone.
ByteString WithoutPort(const ByteString& name) {
  const std::size_t colon = name.str().find(':');
  return colon == std::string::npos ? name : ByteString(name.str().substr(0, colon));
}

bool AllDigitsAndDots(const std::string& name) {
  for (const char c : name)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return false;
  return true;
}

}  // namespace

ByteString DomainScriptName(const ByteString& host) {
  const std::string name = WithoutPort(host).str();
  const std::size_t dot = name.find('.');
  // An address of digits has no domain; a host of one or two labels is its own.
  if (dot == std::string::npos || AllDigitsAndDots(name)) return name;
  const std::string rest = name.substr(dot + 1);
  return rest.find('.') == std::string::npos ? name : rest;
}

// Host and the name of the script tried first.
bool DetermineHost(Tools& t, Request* r) {
  r->host.Clear();
  r->scriptName.Clear();
  const std::string written = WrittenHost(r->url.c_str());
  if (written.empty()) {
    Report(t, *r, report::msg::kHost, r->url.c_str(), kHostShown);
    return false;
  }
  if (!ValidHost(written)) {
    Report(t, *r, report::msg::kMode, r->url.c_str(), report::kBlankCell);
    return false;
  }
  r->host = written;
  r->scriptName = DomainScriptName(r->host);
  return true;
}

bool BoundScript(const std::string& settingsFile, const ByteString& host, ByteString* script) {
  if (settingsFile.empty()) return false;
  char value[260];
  for (const ByteString& key : {host, WithoutPort(host)}) {
    platform::ReadIniValue("sites", key.c_str(), kAbsent, value, sizeof value,
                           settingsFile.c_str());
    if (std::strcmp(value, kAbsent) != 0) {
      *script = value;
      return true;
    }
  }
  return false;
}

bool DetermineMode(Tools& t, Request* r) {
  const char* url = r->url.c_str();
  if (t.search.Find(r->script.fileExpression.c_str(), url)) {
    r->mode = kModePhotos;
  } else if (t.search.Find(r->script.dirExpression.c_str(), url)) {
    r->mode = kModeAlbums;
  } else if (std::strstr(url, ".jpg")) {
    r->mode = kModePhotos;
  } else {
    Report(t, *r, report::msg::kMode, r->url.c_str(), report::kBlankCell);
    return false;
  }
  return true;
}

void DeterminePagePath(Tools& t, Request* r) {
  if (t.search.FindGroup(kPagePath, r->url.c_str(), 4, &r->pagePath)) return;
  r->pagePath.Clear();
  // A site without users is a gallery: its bare host is the gallery's top, not a fault.
  if (r->script.userGroup == 0) return;
  Report(t, *r, report::msg::kPagePath, r->url.c_str(), kPagePathShown);
}

namespace {

// Group number group of the mode's address expression over the requested address.
bool AddressGroup(Tools& t, const Request& r, int group, ByteString* out, const char* message) {
  const ByteString& expression =
      r.mode == kModeAlbums ? r.script.dirExpression : r.script.fileExpression;
  if (t.search.FindGroup(expression.c_str(), r.url.c_str(), group, out)) return true;
  Report(t, r, message, r.url.c_str(), expression.c_str());
  return false;
}

}  // namespace

bool DetermineUserAndAlbum(Tools& t, Request* r) {
  // A site without users (a gallery) has no user to find: its User is empty.
  r->user.Clear();
  if (r->script.userGroup > 0 &&
      !AddressGroup(t, *r, r->script.userGroup, &r->user, report::msg::kAuthor)) {
    return false;
  }
  return AddressGroup(t, *r, r->script.albumGroup, &r->album, report::msg::kAlbumName);
}

ByteString Expand(Tools& tools, const Request& request, const ByteString& text, int page,
                  const extract::MatchSlots& slots) {
  extract::TemplateVariables vars;
  vars.host = request.host;
  vars.user = request.user;
  vars.album = request.album;
  vars.page = page;
  vars.cookieText = request.cookieText.c_str();
  vars.cookieNames = &request.script.cookieNames;
  vars.slots = &slots;
  std::vector<extract::TemplateIssue> issues;
  ByteString result = extract::ExpandTemplate(text, vars, &issues);
  for (const extract::TemplateIssue& issue : issues) {
    const bool missing = issue.problem == extract::TemplateProblem::kMissingName;
    Report(tools, request, missing ? report::msg::kParameters : report::msg::kRunaway,
           issue.text.c_str(), report::kBlankCell);
  }
  return result;
}

std::string PageServer(const Request& request) {
  return net::ServerWithScheme(request.host.str(), request.secure);
}

namespace {

void ReportFailure(Tools& tools, const char* host, const char* message, const char* url,
                   net::Failure failure, std::uint32_t error, const std::string& refused) {
  const net::HttpSession& http = tools.http;
  const char* chosen = report::msg::ForFailure(failure, message);
  if (!chosen) return;
  if (chosen == message) {
    tools.errors.Report(message, host, url, report::kBlankCell);
    return;
  }
  std::string detail = http.host() ? http.host() : "";
  if (error) detail += " (" + std::to_string(error) + ")";
  if (!refused.empty()) detail += " -> " + refused;
  tools.errors.Report(chosen, host, url, detail.c_str());
}

}  // namespace

void ReportRequestFailure(Tools& tools, const char* host, const char* message, const char* url) {
  const net::HttpSession& http = tools.http;
  ReportFailure(tools, host, message, url, http.failure(), http.error(), http.refusedLocation());
}

void ReportRequestFailure(Tools& tools, const char* host, const char* message, const char* url,
                          const net::PageAnswer& answer) {
  ReportFailure(tools, host, message, url, answer.failure, answer.error, answer.refusedLocation);
}

void Report(Tools& tools, const Request& request, const char* message, const char* url,
            const char* expression) {
  tools.errors.Report(message, request.host.c_str(), url, expression);
}

namespace {

// A script the settings name must be a file of the scripts folder: a plain name.
bool PlainFileName(const ByteString& name) {
  const std::string& s = name.str();
  if (s.empty() || s == "." || s == "..") return false;
  for (const char c : s)
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

}  // namespace

bool AnalyseRequest(Tools& t, const ScriptPlaces& places, const ByteString& url,
                    const CookieLookup& cookies, Request* r) {
  // The scheme (any letter case) is kept aside: the analysis and the script's expressions
  // see the address as http://, whichever scheme it came with.
  bool secure = false;
  const std::size_t scheme = net::SchemeLength(url.c_str(), &secure);
  r->url = scheme ? ByteString("http://") + (url.c_str() + scheme) : url;
  r->secure = secure;
  if (!DetermineHost(t, r)) return false;
  r->cookieText = cookies(r->host);
  // A host the settings bind to a script is read from that script alone; any other host
  // from its domain's script, then its own.
  ByteString bound;
  const bool isBound = BoundScript(places.settingsFile, r->host, &bound);
  if (isBound) r->scriptName = bound;
  const bool read =
      isBound ? PlainFileName(bound) && ReadScript(places.scriptsFolder, bound, &r->scriptName,
                                                   &r->scriptPath, &r->script)
              : ReadScript(places.scriptsFolder, WithoutPort(r->host), &r->scriptName,
                           &r->scriptPath, &r->script);
  if (!read) {
    Report(t, *r, report::msg::kScript, report::kBlankCell, report::kBlankCell);
    return false;
  }
  if (r->script.secure) r->secure = true;
  if (!DetermineMode(t, r)) return false;
  DeterminePagePath(t, r);
  if (!DetermineUserAndAlbum(t, r)) return false;
  // ServFoto and the entry expressions may use Host, User and Album of this request. Only
  const extract::MatchSlots none;
  SiteScript& s = r->script;
  // photos have a server, asked with the listing's scheme unless it names its own.
  if (r->mode == kModePhotos) {
    r->photoServer = net::ServerWithScheme(Expand(t, *r, s.servFoto, 1, none).str(), r->secure);
  }
  s.passExpression = Expand(t, *r, s.passExpression, 1, none);
  s.fotoExpression = Expand(t, *r, s.fotoExpression, 1, none);
  s.albumExpression = Expand(t, *r, s.albumExpression, 1, none);
  if (s.nested()) s.subAlbumExpression = Expand(t, *r, s.subAlbumExpression, 1, none);
  s.origExpression = Expand(t, *r, s.origExpression, 1, none);
  return true;
}

}  // namespace engine
