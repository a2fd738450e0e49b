// Servers and addresses as the session sees them: a server is "[scheme://]host[:port]"
// (the scheme http or https in any letter case; plain http without one), and a redirect's
// Location is judged against the request it answered.
#pragma once

#include <string>
#include <vector>

#include "common/limits.h"

namespace net {

struct Origin {
  bool secure = false;
  std::string host;  // as written: no letter case folded
  int port = 0;      // 0: the scheme's own (80, 443)
  int EffectivePort() const { return port ? port : (secure ? 443 : 80); }
};

// The scheme at the start of text: sets *secure and returns its length ("https://" 8,
// "http://" 7, letter case ignored); 0 when text starts with neither.
std::size_t SchemeLength(const char* text, bool* secure);

// Parses a server, "[scheme://]host[:port]", optionally followed by "/..." (ignored).
// False for an empty host, a host with a character no host name has, a port that is not
// 1..65535, or another scheme.
bool ParseServer(const char* text, Origin* out);

// The server to ask for hostOrServer: as written when it names its scheme, else with
// "https://" before it when secure (and as written, plain http, when not).
std::string ServerWithScheme(const std::string& hostOrServer, bool secure);

// "https://host:port" with the default port left out; "http://host" likewise.
std::string ServerText(const Origin& origin);

// A request target as it goes on the request line: the path (and query) as the page or the
// script wrote it, with every byte that cannot stand in a request line percent-encoded
// (%XX, upper-case digits): controls, blank, DEL, " < > \ ^ ` { | }, a "%" that does not
// begin an escape, and bytes 0x80 and above (so UTF-8 goes as its own bytes). Escapes
// already there are kept as they are; a fragment ("#..." ) is not sent, as a browser does.
// Encoding an encoded target changes nothing.
std::string EncodeRequestPath(const std::string& path);

// Where a link found on a page leads, as a browser follows it: the path on the page's own
// server, into *path. basePath is the page's path ("/a/b.html"; a leading "/" may be
// missing), sites the servers that count as the page's own ("[scheme://]host[:port]"; a
// link that names another host is refused). A link that starts with a single "/" is taken
// as written; "x.html" and "../x/" are resolved against the page's folder (dot segments
// removed), "?q" against the page itself, "//host/x" and "http(s)://host/x" are the path
// "/x" when host is one of sites (letter case aside, same port); an empty link is the page.
// The fragment ("#...") is dropped. False for another host, another scheme ("mailto:"), or
// an address that cannot be parsed.
bool ResolveLink(const std::string& basePath, const std::string& link,
                 const std::vector<std::string>& sites, std::string* path);

// What a request fetches, for the redirect rules.
enum class Fetch { kPage, kPhoto };

// How many redirects one request follows at most.
using limits::kMaxRedirects;

// Where a redirect leads, when it may be followed. from is the server the redirect came
// from, first the server the request was first sent to; location is the Location header
// (an absolute address, "//host/path", "/path" or a path relative to fromPath). A redirect
// is followed when:
//   - it stays on the same host (letter case ignored) and does not go from https to http;
//   - or, for photos only, it goes to a host of the first server's own domain (that host
//     without its first label, when at least two labels remain: img.example.net's domain is
//     example.net) and does not go from https to http.
// False otherwise, and for an address that cannot be parsed.
bool FollowRedirect(const Origin& first, const Origin& from, const std::string& fromPath,
                    const std::string& location, Fetch kind, Origin* to, std::string* toPath);

}  // namespace net
