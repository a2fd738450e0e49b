#include "net/address.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace net {

namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool PrefixNoCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) return false;
  }
  return true;
}

bool HostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

// The host's own domain: the host without its first label when two labels or more remain.
std::string DomainOf(const std::string& host) {
  const std::size_t dot = host.find('.');
  if (dot == std::string::npos) return host;
  const std::string rest = host.substr(dot + 1);
  return rest.find('.') == std::string::npos ? host : rest;
}

bool InDomain(const std::string& host, const std::string& domain) {
  if (SameNoCase(host, domain)) return true;
  return host.size() > domain.size() + 1 && host[host.size() - domain.size() - 1] == '.' &&
         SameNoCase(host.substr(host.size() - domain.size()), domain);
}

// The folder part of a path: everything up to and including its last "/".
std::string Folder(const std::string& path) {
  const std::size_t query = path.find('?');
  const std::string bare = path.substr(0, query);
  const std::size_t slash = bare.rfind('/');
  return slash == std::string::npos ? "/" : bare.substr(0, slash + 1);
}

}  // namespace

std::size_t SchemeLength(const char* text, bool* secure) {
  if (!text) return 0;
  if (PrefixNoCase(text, "https://")) {
    *secure = true;
    return 8;
  }
  if (PrefixNoCase(text, "http://")) {
    *secure = false;
    return 7;
  }
  return 0;
}

bool ParseServer(const char* text, Origin* out) {
  if (!text) return false;
  Origin o;
  const std::size_t scheme = SchemeLength(text, &o.secure);
  const char* at = text + scheme;
  if (!scheme && std::strstr(text, "://")) return false;  // another scheme
  const char* end = at;
  while (*end && *end != '/' && *end != ':')
    ++end;
  o.host.assign(at, end);
  if (o.host.empty()) return false;
  for (char c : o.host) {
    if (!HostCharacter(c)) return false;
  }
  if (*end == ':') {
    long port = 0;
    const char* digits = ++end;
    while (*end >= '0' && *end <= '9' && end - digits < 6)
      port = port * 10 + (*end++ - '0');
    if (end == digits || port < 1 || port > 65535 || (*end && *end != '/')) return false;
    o.port = int(port);
  }
  if (o.port == (o.secure ? 443 : 80)) o.port = 0;
  *out = o;
  return true;
}

std::string ServerWithScheme(const std::string& hostOrServer, bool secure) {
  bool named = false;
  if (SchemeLength(hostOrServer.c_str(), &named) || !secure) return hostOrServer;
  return "https://" + hostOrServer;
}

std::string ServerText(const Origin& origin) {
  std::string s = (origin.secure ? "https://" : "http://") + origin.host;
  if (origin.port) s += ":" + std::to_string(origin.port);
  return s;
}

namespace {

bool HexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool NeedsEscape(unsigned char c) {
  return c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
}

}  // namespace

std::string EncodeRequestPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::size_t end = std::min(path.find('#'), path.size());
  std::string out;
  out.reserve(end);
  for (std::size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == '%') {
      const bool kept = i + 2 < end && HexDigit(path[i + 1]) && HexDigit(path[i + 2]);
      out += kept ? "%" : "%25";
      continue;
    }
    if (NeedsEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
      continue;
    }
    out += char(c);
  }
  return out;
}

namespace {

// The path with its "." and ".." segments worked out, as a browser does (RFC 3986, 5.2.4);
// a query is left alone.
std::string WithoutDotSegments(const std::string& full) {
  const std::size_t query = full.find('?');
  const std::string path = full.substr(0, query);
  const std::string rest = query == std::string::npos ? std::string() : full.substr(query);
  std::vector<std::string> out;
  std::size_t at = 1;  // past the leading "/"
  bool endsInFolder = false;
  while (at <= path.size()) {
    std::size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    const std::string segment = path.substr(at, slash - at);
    const bool last = slash == path.size();
    if (segment == ".") {
      endsInFolder = last;
    } else if (segment == "..") {
      if (!out.empty()) out.pop_back();
      endsInFolder = last;
    } else {
      out.push_back(segment);
      endsInFolder = false;
    }
    at = slash + 1;
  }
  std::string result;
  for (const std::string& segment : out)
    result += "/" + segment;
  if (endsInFolder || result.empty()) result += "/";
  return result + rest;
}

bool OneOfSites(const Origin& o, const std::vector<std::string>& sites) {
  for (const std::string& site : sites) {
    Origin s;
    if (ParseServer(site.c_str(), &s) && SameNoCase(s.host, o.host) && s.port == o.port)
      return true;
  }
  return false;
}

}  // namespace

bool ResolveLink(const std::string& basePath, const std::string& link,
                 const std::vector<std::string>& sites, std::string* path) {
  std::string base = basePath.substr(0, basePath.find('#'));
  if (base.empty() || base[0] != '/') base = "/" + base;
  const std::string ref = link.substr(0, link.find('#'));
  if (ref.empty()) {
    *path = base;
    return true;
  }
  // A scheme: letters first, then letters, digits, "+", "-" or ".", up to a ":" that comes
  // before any "/", "?".
  const std::size_t colon = ref.find(':');
  if (colon != std::string::npos && colon < ref.find_first_of("/?") &&
      std::isalpha(static_cast<unsigned char>(ref[0]))) {
    bool secure = false;
    if (!SchemeLength(ref.c_str(), &secure)) return false;
  }
  bool secure = false;
  const std::size_t scheme = SchemeLength(ref.c_str(), &secure);
  if (scheme || ref.compare(0, 2, "//") == 0) {
    const std::string server = scheme ? ref : "http:" + ref;
    const std::size_t hostAt = server.find("//") + 2;
    const std::size_t rest = server.find_first_of("/?", hostAt);
    Origin o;
    if (!ParseServer(server.substr(0, rest).c_str(), &o) || !OneOfSites(o, sites)) return false;
    std::string p = rest == std::string::npos ? "/" : server.substr(rest);
    if (p[0] == '?') p = "/" + p;
    *path = WithoutDotSegments(p);
    return true;
  }
  if (ref[0] == '/') {
    *path = ref;
    return true;
  }
  if (ref[0] == '?') {
    *path = base.substr(0, base.find('?')) + ref;
    return true;
  }
  *path = WithoutDotSegments(Folder(base) + ref);
  return true;
}

bool FollowRedirect(const Origin& first, const Origin& from, const std::string& fromPath,
                    const std::string& location, Fetch kind, Origin* to, std::string* toPath) {
  if (location.empty()) return false;
  Origin target = from;
  std::string path;
  bool secure = false;
  const std::size_t scheme = SchemeLength(location.c_str(), &secure);
  if (scheme || location.compare(0, 2, "//") == 0) {
    const std::string server = scheme ? location : (from.secure ? "https:" : "http:") + location;
    if (!ParseServer(server.c_str(), &target)) return false;
    const std::size_t hostAt = server.find("//") + 2;
    const std::size_t slash = server.find('/', hostAt);
    path = slash == std::string::npos ? "/" : server.substr(slash);
  } else if (location.find("://") != std::string::npos) {
    return false;  // another scheme
  } else if (location[0] == '/') {
    path = location;
  } else {
    path = Folder(fromPath) + location;
  }
  // Never from a secure answer to a plain request: that would be a silent fallback.
  if (from.secure && !target.secure) return false;
  const bool sameHost = SameNoCase(target.host, from.host);
  if (!sameHost && !(kind == Fetch::kPhoto && InDomain(target.host, DomainOf(first.host)))) {
    return false;
  }
  for (char c : path) {
    if (static_cast<unsigned char>(c) <= ' ') return false;  // no request line splitting
  }
  *to = target;
  *toPath = path;
  return true;
}

}  // namespace net
