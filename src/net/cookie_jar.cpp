#include "net/cookie_jar.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/limits.h"

namespace net {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t from = 0, to = s.size();
  while (from < to && (s[from] == ' ' || s[from] == '\t'))
    ++from;
  while (to > from && (s[to - 1] == ' ' || s[to - 1] == '\t'))
    --to;
  return s.substr(from, to - from);
}

// Control characters never enter the jar: a NUL or a line break would end or split the
// Cookie header the jar writes.
bool HasControl(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
  });
}

bool IsAddress(const std::string& host) {
  if (!host.empty() && host.front() == '[') return true;  // IPv6
  return !host.empty() && std::all_of(host.begin(), host.end(),
                                      [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

bool DomainMatches(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  return host.size() > domain.size() && !IsAddress(host) &&
         host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.';
}

// The path a cookie without a Path attribute gets: the request path up to its last "/".
std::string DefaultPath(const std::string& requestPath) {
  if (requestPath.empty() || requestPath[0] != '/') return "/";
  const std::size_t slash = requestPath.rfind('/');
  return slash == 0 ? "/" : requestPath.substr(0, slash);
}

bool PathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath == cookiePath) return true;
  if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

// The path of a request target, always from the root: a target written without its
// leading "/" ("a/b/") is the same path as with it.
std::string PathOf(const std::string& target) {
  const std::string path = target.substr(0, target.find_first_of("?#"));
  return path.empty() || path[0] != '/' ? "/" + path : path;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + std::int64_t(doe) - 719468;
}

bool AllDigits(const std::string& s, std::size_t from, std::size_t to) {
  if (from >= to) return false;
  for (std::size_t i = from; i < to; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

}  // namespace

bool ParseCookieDate(const std::string& text, std::int64_t* seconds) {
  // The tokens between delimiters, each tried as a time, a day, a month and a year in turn,
  // the first fitting one kept: the way browsers read the many forms of Expires.
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  const auto isDelimiter = [](char c) {
    return c == '\t' || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
           (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
  };
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isDelimiter(text[i]))
      ++i;
    std::size_t end = i;
    while (end < text.size() && !isDelimiter(text[end]))
      ++end;
    const std::string token = text.substr(i, end - i);
    i = end;
    if (token.empty() || token.size() > 16) continue;
    int h = 0, m = 0, s = 0;
    char tail = 0;
    if (!haveTime && std::count(token.begin(), token.end(), ':') == 2 &&
        std::sscanf(token.c_str(), "%2d:%2d:%2d%c", &h, &m, &s, &tail) >= 3) {
      haveTime = true;
      hour = h, minute = m, second = s;
      continue;
    }
    std::size_t digits = 0;
    while (digits < token.size() && token[digits] >= '0' && token[digits] <= '9')
      ++digits;
    if (!haveDay && (digits == 1 || digits == 2)) {
      haveDay = true;
      day = std::atoi(token.substr(0, digits).c_str());
      continue;
    }
    if (!haveMonth && token.size() >= 3) {
      const std::string prefix = Lower(token.substr(0, 3));
      const auto it = std::find_if(std::begin(kMonths), std::end(kMonths),
                                   [&](const char* name) { return prefix == name; });
      if (it != std::end(kMonths)) {
        haveMonth = true;
        month = int(it - std::begin(kMonths)) + 1;
        continue;
      }
    }
    if (!haveYear && digits >= 2 && digits <= 4 && AllDigits(token, 0, digits)) {
      haveYear = true;
      year = std::atoi(token.substr(0, digits).c_str());
      continue;
    }
  }
  if (!haveTime || !haveDay || !haveMonth || !haveYear) return false;
  if (year >= 70 && year <= 99) year += 1900;
  if (year >= 0 && year <= 69) year += 2000;
  if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  *seconds = DaysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 +
             minute * 60 + second;
  return true;
}

bool CookieJar::Take(const std::string& setCookie, const CookieOrigin& origin) {
  if (setCookie.size() > limits::kMaxCookieBytes || HasControl(setCookie)) return false;
  const std::string host = Lower(origin.host);
  if (host.empty()) return false;
  const std::size_t semicolon = setCookie.find(';');
  const std::string pair = setCookie.substr(0, semicolon);
  const std::size_t equals = pair.find('=');
  if (equals == std::string::npos) return false;
  Cookie c;
  c.name = Trim(pair.substr(0, equals));
  c.value = Trim(pair.substr(equals + 1));
  if (c.name.empty()) return false;
  const std::int64_t now = clock_();
  bool haveMaxAge = false;
  std::string domain;
  std::string path;
  std::size_t at = semicolon;
  while (at != std::string::npos) {
    const std::size_t next = setCookie.find(';', at + 1);
    const std::string attribute =
        setCookie.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    at = next;
    const std::size_t eq = attribute.find('=');
    const std::string key = Lower(Trim(attribute.substr(0, eq)));
    const std::string value = eq == std::string::npos ? "" : Trim(attribute.substr(eq + 1));
    if (key == "secure") {
      c.secure = true;
    } else if (key == "domain") {
      domain = Lower(value);
      if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
    } else if (key == "path") {
      path = value;
    } else if (key == "max-age") {
      const bool negative = !value.empty() && value[0] == '-';
      if (!AllDigits(value, negative ? 1 : 0, value.size())) continue;
      haveMaxAge = true;
      c.expires = true;
      // Digits past what a 64-bit count can hold are as good as "never".
      const std::string digits = value.substr(negative ? 1 : 0);
      const std::int64_t age =
          digits.size() > 12 ? std::int64_t(1) << 40 : std::strtoll(digits.c_str(), nullptr, 10);
      c.expiry = negative || age == 0 ? now - 1 : now + age;
    } else if (key == "expires" && !haveMaxAge) {
      std::int64_t when = 0;
      if (ParseCookieDate(value, &when)) {
        c.expires = true;
        c.expiry = when;
      }
    }
  }
  // Only https may set a Secure cookie (a plain answer could otherwise overwrite one).
  if (c.secure && !origin.secure) return false;
  if (domain.empty() || domain == host) {
    c.domain = host;
    c.hostOnly = true;
  } else {
    // A Domain covers the host that set it and is more than one label: a site cannot set
    // cookies for a whole top-level name, nor for its neighbours.
    if (!DomainMatches(host, domain) || domain.find('.') == std::string::npos) return false;
    c.domain = domain;
    c.hostOnly = false;
  }
  c.path = !path.empty() && path[0] == '/' ? path : DefaultPath(PathOf(origin.path));
  const auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& k) {
    return k.name == c.name && k.domain == c.domain && k.path == c.path;
  });
  // A plain answer may not replace what https set.
  if (same != cookies_.end() && same->secure && !origin.secure) return false;
  if (c.expires && c.expiry <= now) {
    if (same != cookies_.end()) cookies_.erase(same);
    return true;
  }
  if (same != cookies_.end()) {
    c.created = same->created;
    c.kept = same->kept;
    *same = std::move(c);
    return true;
  }
  MakeRoomFor(c.domain);
  c.created = nextCreated_++;
  cookies_.push_back(std::move(c));
  return true;
}

void CookieJar::MakeRoomFor(const std::string& domain) {
  const auto oldestWhere = [&](auto predicate) {
    auto oldest = cookies_.end();
    for (auto it = cookies_.begin(); it != cookies_.end(); ++it)
      if (predicate(*it) && (oldest == cookies_.end() || it->created < oldest->created))
        oldest = it;
    return oldest;
  };
  const auto ofDomain = [&](const Cookie& c) { return c.domain == domain; };
  if (std::size_t(std::count_if(cookies_.begin(), cookies_.end(), ofDomain)) >=
      limits::kMaxCookiesPerSite) {
    cookies_.erase(oldestWhere(ofDomain));
    return;
  }
  // A new domain past the bound of domains: the domain of the oldest cookie goes whole.
  std::vector<std::string> domains;
  for (const Cookie& c : cookies_)
    if (std::find(domains.begin(), domains.end(), c.domain) == domains.end())
      domains.push_back(c.domain);
  if (domains.size() < limits::kMaxCookieHosts ||
      std::find(domains.begin(), domains.end(), domain) != domains.end()) {
    return;
  }
  const std::string gone = oldestWhere([](const Cookie&) { return true; })->domain;
  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [&](const Cookie& c) { return c.domain == gone; }),
                 cookies_.end());
}

bool CookieJar::Applies(const Cookie& c, const CookieOrigin& origin, const std::string& host,
                        std::int64_t now) {
  if (c.expires && c.expiry <= now) return false;
  if (c.secure && !origin.secure) return false;
  if (c.hostOnly ? host != c.domain : !DomainMatches(host, c.domain)) return false;
  return PathMatches(PathOf(origin.path), c.path);
}

std::string CookieJar::HeaderFor(const CookieOrigin& origin) const {
  const std::string host = Lower(origin.host);
  const std::int64_t now = clock_();
  std::vector<const Cookie*> chosen;
  for (const Cookie& c : cookies_)
    if (Applies(c, origin, host, now)) chosen.push_back(&c);
  std::sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
    if (a->path.size() != b->path.size()) return a->path.size() > b->path.size();
    return a->created < b->created;
  });
  std::string header;
  for (const Cookie* c : chosen) {
    if (!header.empty()) header += "; ";
    header += c->name + "=" + c->value;
  }
  return header;
}

void CookieJar::Keep(const std::string& host) {
  const std::string h = Lower(host);
  for (Cookie& c : cookies_)
    if (c.hostOnly ? h == c.domain : DomainMatches(h, c.domain)) c.kept = true;
}

void CookieJar::DropUnkept() {
  cookies_.erase(
      std::remove_if(cookies_.begin(), cookies_.end(), [](const Cookie& c) { return !c.kept; }),
      cookies_.end());
}

}  // namespace net
