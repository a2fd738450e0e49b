// The cookies the session keeps for itself, the same on every platform: the internet
// library's own cookie handling is off, so what a server gets in its Cookie header depends
// on this jar alone. Cookies follow the browser rules that matter for photo sites: Secure
// ones go only over https (and only https may set them), Path and Domain are honoured
// (a Domain must cover the host that set it and be more than a top-level name), and
// Max-Age or Expires in the past deletes. Bounded: limits::kMaxCookiesPerSite per domain
// (the oldest goes), limits::kMaxCookieBytes per Set-Cookie line (a longer one is refused),
// limits::kMaxCookieHosts domains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace net {

// Where an answer came from or a request goes: host name (any case), path and scheme.
struct CookieOrigin {
  std::string host;
  std::string path;  // the request target's path, "/" when empty; a query is ignored
  bool secure = false;
};

class CookieJar {
 public:
  // The clock of expiry: seconds since 1970 (UTC), read when a cookie is taken or sent.
  using Clock = std::int64_t (*)();
  explicit CookieJar(Clock clock) : clock_(clock) {}

  // Takes one Set-Cookie header value that origin's answer carried; false when it was
  // refused (malformed, too long, a Domain or Secure the origin may not set). A cookie
  // already expired removes the one it names.
  bool Take(const std::string& setCookie, const CookieOrigin& origin);
  // The Cookie header value for a request to origin ("a=1; b=2"), longest paths first,
  // then oldest first; empty when none applies.
  std::string HeaderFor(const CookieOrigin& origin) const;
  // Marks every cookie that a request to host would carry (any path, any scheme) as kept
  // by DropUnkept: the cookies a site's password step brought.
  void Keep(const std::string& host);
  // Forgets every cookie not kept: each listing starts with no other cookies.
  void DropUnkept();
  void Clear() { cookies_.clear(); }
  std::size_t size() const { return cookies_.size(); }

 private:
  struct Cookie {
    std::string name, value, domain, path;
    bool hostOnly = true, secure = false, kept = false;
    bool expires = false;
    std::int64_t expiry = 0;  // seconds since 1970, when expires
    std::uint64_t created = 0;
  };
  static bool Applies(const Cookie& c, const CookieOrigin& origin, const std::string& host,
                      std::int64_t now);
  void MakeRoomFor(const std::string& domain);

  Clock clock_;
  std::vector<Cookie> cookies_;
  std::uint64_t nextCreated_ = 0;
};

// Seconds since 1970 of an HTTP date in any of the forms servers send in Expires
// ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37
// 1994", with or without dashes); false when it is not a date.
bool ParseCookieDate(const std::string& text, std::int64_t* seconds);

}  // namespace net
