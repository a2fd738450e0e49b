// The session's own cookie jar: what a server sets, what each request carries back, and the
// bounds a hostile site meets.
#include "net/cookie_jar.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/limits.h"

namespace {

std::int64_t now = 1700000000;  // 2023-11-14 22:13:20 UTC
std::int64_t Clock() {
  return now;
}

const net::CookieOrigin kPlain{"photos.example.test", "/u/album/index.html", false};
const net::CookieOrigin kSecure{"photos.example.test", "/u/album/index.html", true};

TEST(CookieJar, WhatARequestCarriesBack) {
  // Each row: cookies set from one origin, then the Cookie header of a request to another.
  const struct {
    const char* title;
    std::vector<std::string> set;
    net::CookieOrigin from;
    net::CookieOrigin to;
    const char* header;
  } rows[] = {
      {"a plain cookie", {"a=1"}, kPlain, kPlain, "a=1"},
      {"blanks around name and value", {"  a = 1 ; Path=/"}, kPlain, kPlain, "a=1"},
      {"value with '=' kept whole", {"t=x=y==; path=/"}, kPlain, kPlain, "t=x=y=="},
      {"Secure goes over https only", {"s=1; Secure", "p=2"}, kSecure, kPlain, "p=2"},
      {"Secure over https", {"s=1; Secure", "p=2"}, kSecure, kSecure, "s=1; p=2"},
      {"plain http may not set Secure", {"s=1; Secure"}, kPlain, kSecure, ""},
      {"default path is the page's folder",
       {"d=1"},
       kPlain,
       {"photos.example.test", "/u/other/", false},
       ""},
      {"a target without its leading slash",
       {"s=1; Path=/u"},
       kPlain,
       {"photos.example.test", "u/album/", false},
       "s=1"},
      {"default path covers its sub-folders",
       {"d=1"},
       kPlain,
       {"photos.example.test", "/u/album/2/x.jpg?size=1", false},
       "d=1"},
      {"Path is a folder, not a prefix",
       {"p=1; Path=/u"},
       kPlain,
       {"photos.example.test", "/users/", false},
       ""},
      {"longer paths first, then older first",
       {"a=1; Path=/", "b=2; Path=/u/album", "c=3; Path=/"},
       kPlain,
       kPlain,
       "b=2; a=1; c=3"},
      {"host-only: not sent to a sub-domain",
       {"h=1; Path=/"},
       kPlain,
       {"img.photos.example.test", "/", false},
       ""},
      {"Domain covers sub-domains",
       {"d=1; Domain=.example.test; Path=/"},
       kPlain,
       {"img.example.test", "/", false},
       "d=1"},
      {"Domain of a neighbour is refused",
       {"n=1; Domain=other.test; Path=/"},
       kPlain,
       {"other.test", "/", false},
       ""},
      {"Domain of a whole top-level name is refused",
       {"t=1; Domain=test; Path=/"},
       kPlain,
       {"x.test", "/", false},
       ""},
      {"Domain that only ends like the host is refused",
       {"e=1; Domain=example.test; Path=/"},
       {"badexample.test", "/", false},
       {"example.test", "/", false},
       ""},
      {"host names in any case",
       {"c=1"},
       {"Photos.Example.TEST", "/", false},
       {"photos.example.test", "/", false},
       "c=1"},
      {"the same name, domain and path replaces",
       {"r=1; Path=/", "r=2; Path=/"},
       kPlain,
       kPlain,
       "r=2"},
      {"Max-Age=0 deletes", {"x=1; Path=/", "x=; Path=/; Max-Age=0"}, kPlain, kPlain, ""},
      {"Expires in the past deletes",
       {"x=1; Path=/", "x=; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"},
       kPlain,
       kPlain,
       ""},
      {"Max-Age wins over Expires",
       {"m=1; Max-Age=60; Expires=Thu, 01 Jan 1970 00:00:00 GMT"},
       kPlain,
       kPlain,
       "m=1"},
      {"Expires in the future keeps",
       {"f=1; Expires=Wed, 01-Jan-2031 00:00:00 GMT"},
       kPlain,
       kPlain,
       "f=1"},
      {"no name, no '=', a NUL or a line break are refused",
       {"=1", "plain", std::string("z=a\0b", 5), "y=1\r\nSet-Cookie: q=2"},
       kPlain,
       kPlain,
       ""},
  };
  for (const auto& r : rows) {
    net::CookieJar jar(Clock);
    for (const std::string& line : r.set)
      jar.Take(line, r.from);
    EXPECT_EQ(jar.HeaderFor(r.to), r.header) << r.title;
  }
}

TEST(CookieJar, ExpiryFollowsTheClock) {
  net::CookieJar jar(Clock);
  now = 1700000000;
  jar.Take("short=1; Max-Age=10", kPlain);
  jar.Take("session=1", kPlain);
  EXPECT_EQ(jar.HeaderFor(kPlain), "short=1; session=1");
  now += 10;
  EXPECT_EQ(jar.HeaderFor(kPlain), "session=1");
  now = 1700000000;
}

TEST(CookieJar, BoundedPerSiteAndPerLine) {
  net::CookieJar jar(Clock);
  // A site setting cookies without end keeps the newest 50, whatever it sends.
  for (int i = 0; i < 1000; ++i)
    jar.Take("c" + std::to_string(i) + "=v; Path=/", kPlain);
  EXPECT_EQ(jar.size(), limits::kMaxCookiesPerSite);
  const std::string header = jar.HeaderFor(kPlain);
  EXPECT_EQ(header.find("c949="), std::string::npos);
  EXPECT_EQ(header.find("c950="), 0u);
  // Another site's cookies do not push this one's out.
  jar.Take("other=1", {"other.test", "/", false});
  EXPECT_EQ(jar.size(), limits::kMaxCookiesPerSite + 1);
  // A line longer than a cookie may be is refused whole.
  EXPECT_FALSE(jar.Take("big=" + std::string(limits::kMaxCookieBytes, 'b'), kPlain));
  EXPECT_TRUE(jar.Take("fits=" + std::string(limits::kMaxCookieBytes - 5, 'b'), kPlain));
  // So many sites that the oldest goes whole.
  net::CookieJar many(Clock);
  for (std::size_t i = 0; i <= limits::kMaxCookieHosts; ++i)
    many.Take("x=1", {"site" + std::to_string(i) + ".test", "/", false});
  EXPECT_EQ(many.HeaderFor({"site0.test", "/", false}), "");
  EXPECT_EQ(many.HeaderFor({"site1.test", "/", false}), "x=1");
}

TEST(CookieJar, OnlyKeptCookiesOutliveAListing) {
  net::CookieJar jar(Clock);
  jar.Take("tracker=1; Path=/", kPlain);
  jar.Take("pass=secret; Path=/", {"pass.example.test", "/login", false});
  jar.Keep("pass.example.test");
  jar.DropUnkept();
  EXPECT_EQ(jar.HeaderFor(kPlain), "");
  EXPECT_EQ(jar.HeaderFor({"pass.example.test", "/album/", false}), "pass=secret");
  // A kept cookie the site sets again stays kept.
  jar.Take("pass=renewed; Path=/", {"pass.example.test", "/", false});
  jar.DropUnkept();
  EXPECT_EQ(jar.HeaderFor({"pass.example.test", "/", false}), "pass=renewed");
}

TEST(CookieDate, TheFormsServersSend) {
  const struct {
    const char* text;
    bool ok;
    std::int64_t seconds;
  } rows[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", true, 784111777},
      {"Sunday, 06-Nov-94 08:49:37 GMT", true, 784111777},
      {"Sun Nov  6 08:49:37 1994", true, 784111777},
      {"Thu, 01 Jan 1970 00:00:00 GMT", true, 0},
      {"Fri, 31 Dec 9999 23:59:59 GMT", true, 253402300799},
      {"Wed, 01-Jan-31 00:00:00 GMT", true, 1924992000},
      {"tomorrow", false, 0},
      {"Sun, 06 Nov 1994", false, 0},
      {"Sun, 32 Nov 1994 08:49:37 GMT", false, 0},
      {"Sun, 06 Nov 1994 25:49:37 GMT", false, 0},
      {"", false, 0},
  };
  for (const auto& r : rows) {
    std::int64_t seconds = -1;
    EXPECT_EQ(net::ParseCookieDate(r.text, &seconds), r.ok) << r.text;
    if (r.ok) {
      EXPECT_EQ(seconds, r.seconds) << r.text;
    }
  }
}

}  // namespace
