// Servers as the session reads them and the redirect rules, as pure functions.
#include <string>

#include <gtest/gtest.h>

#include "net/address.h"

namespace {

TEST(ParseServer, SchemeHostAndPort) {
  const struct {
    const char* text;
    bool ok;
    bool secure;
    const char* host;
    int port;
  } rows[] = {
      {"img.example.net", true, false, "img.example.net", 0},
      {"http://img.example.net", true, false, "img.example.net", 0},
      {"https://img.example.net", true, true, "img.example.net", 0},
      {"HTTPS://Img.Example.net/", true, true, "Img.Example.net", 0},
      {"HtTp://img.example.net/any/path", true, false, "img.example.net", 0},
      {"https://img.example.net:8443", true, true, "img.example.net", 8443},
      {"https://img.example.net:443", true, true, "img.example.net", 0},
      {"http://img.example.net:443", true, false, "img.example.net", 443},
      {"img.example.net:80", true, false, "img.example.net", 0},
      {"https://", false, false, "", 0},
      {"", false, false, "", 0},
      {"ftp://img.example.net", false, false, "", 0},
      {"https://img.example.net:0", false, false, "", 0},
      {"https://img.example.net:65536", false, false, "", 0},
      {"https://img.example.net:99999999999", false, false, "", 0},
      {"https://img.example.net:", false, false, "", 0},
      {"https://img.example.net:80x", false, false, "", 0},
      {"https://img example.net", false, false, "", 0},
      {"https://user@img.example.net", false, false, "", 0},
  };
  for (const auto& r : rows) {
    net::Origin o;
    ASSERT_EQ(net::ParseServer(r.text, &o), r.ok) << r.text;
    if (!r.ok) continue;
    EXPECT_EQ(o.secure, r.secure) << r.text;
    EXPECT_EQ(o.host, r.host) << r.text;
    EXPECT_EQ(o.port, r.port) << r.text;
  }
  net::Origin o;
  EXPECT_FALSE(net::ParseServer(nullptr, &o));
}

TEST(ParseServer, TextGivesTheSchemeAndOnlyAPortThatIsNotTheDefault) {
  for (const char* text :
       {"http://a.test", "https://a.test", "https://a.test:8443", "http://a.test:8080"}) {
    net::Origin o;
    ASSERT_TRUE(net::ParseServer(text, &o)) << text;
    EXPECT_EQ(net::ServerText(o), text);
  }
}

net::Origin Server(const char* text) {
  net::Origin o;
  EXPECT_TRUE(net::ParseServer(text, &o)) << text;
  return o;
}

TEST(FollowRedirect, SameHostAlwaysOtherHostsOnlyForPhotosOfTheDomainNeverDown) {
  using net::Fetch;
  const struct {
    const char* from;
    const char* location;
    Fetch kind;
    const char* to;  // null: not followed
    const char* path;
  } rows[] = {
      // Up to https on the same host, for pages and photos alike.
      {"http://photos.example.test", "https://photos.example.test/u/", Fetch::kPage,
       "https://photos.example.test", "/u/"},
      {"http://photos.example.test", "HTTPS://PHOTOS.example.test/u/", Fetch::kPage,
       "https://PHOTOS.example.test", "/u/"},
      {"http://img.example.test", "https://img.example.test/1.jpg", Fetch::kPhoto,
       "https://img.example.test", "/1.jpg"},
      // Relative forms stay on the server.
      {"https://photos.example.test", "/next/", Fetch::kPage, "https://photos.example.test",
       "/next/"},
      {"https://photos.example.test", "page2.html", Fetch::kPage, "https://photos.example.test",
       "/a/b/page2.html"},
      {"https://photos.example.test", "//photos.example.test/x", Fetch::kPage,
       "https://photos.example.test", "/x"},
      {"http://photos.example.test", "https://photos.example.test", Fetch::kPage,
       "https://photos.example.test", "/"},
      {"http://photos.example.test", "https://photos.example.test:8443/x", Fetch::kPage,
       "https://photos.example.test:8443", "/x"},
      // Never down from https to http, not even on the same host.
      {"https://photos.example.test", "http://photos.example.test/u/", Fetch::kPage, nullptr, ""},
      {"https://img.example.test", "http://img.example.test/1.jpg", Fetch::kPhoto, nullptr, ""},
      {"https://img.example.test", "http://cdn.example.test/1.jpg", Fetch::kPhoto, nullptr, ""},
      // Another host: never for pages.
      {"http://photos.example.test", "https://other.example.test/u/", Fetch::kPage, nullptr, ""},
      {"http://photos.example.test", "http://example.test/", Fetch::kPage, nullptr, ""},
      {"http://photos.example.test", "//evil.test/u/", Fetch::kPage, nullptr, ""},
      // Photos: hosts of the photo server's own domain only.
      {"http://img.example.test", "https://cdn.example.test/1.jpg", Fetch::kPhoto,
       "https://cdn.example.test", "/1.jpg"},
      {"http://img.example.test", "http://a.b.example.test/1.jpg", Fetch::kPhoto,
       "http://a.b.example.test", "/1.jpg"},
      {"http://img.example.test", "http://example.test/1.jpg", Fetch::kPhoto, "http://example.test",
       "/1.jpg"},
      {"http://img.example.test", "http://badexample.test/1.jpg", Fetch::kPhoto, nullptr, ""},
      {"http://img.example.test", "http://example.test.evil/1.jpg", Fetch::kPhoto, nullptr, ""},
      {"http://img.example.test", "http://evil.test/1.jpg", Fetch::kPhoto, nullptr, ""},
      {"http://example.test", "http://cdn.example.test/1.jpg", Fetch::kPhoto,
       "http://cdn.example.test", "/1.jpg"},
      {"http://localhost", "http://other/1.jpg", Fetch::kPhoto, nullptr, ""},
      // Addresses that are no place to go.
      {"http://photos.example.test", "", Fetch::kPage, nullptr, ""},
      {"http://photos.example.test", "ftp://photos.example.test/x", Fetch::kPage, nullptr, ""},
      {"http://photos.example.test", "https://", Fetch::kPage, nullptr, ""},
      {"http://photos.example.test", "/a b", Fetch::kPage, nullptr, ""},
      {"http://photos.example.test", "/a\r\nX-Injected: 1", Fetch::kPage, nullptr, ""},
  };
  for (const auto& r : rows) {
    const net::Origin from = Server(r.from);
    net::Origin to;
    std::string path;
    const bool followed =
        net::FollowRedirect(from, from, "/a/b/c.html?q=1", r.location, r.kind, &to, &path);
    ASSERT_EQ(followed, r.to != nullptr) << r.from << " -> " << r.location;
    if (!followed) continue;
    EXPECT_EQ(net::ServerText(to), r.to) << r.location;
    EXPECT_EQ(path, r.path) << r.location;
  }
}

TEST(FollowRedirect, APhotoHopJudgesOtherHostsByTheFirstServersDomain) {
  const net::Origin first = Server("http://img.example.test");
  const net::Origin hop = Server("https://cdn.example.test");
  net::Origin to;
  std::string path;
  EXPECT_TRUE(net::FollowRedirect(first, hop, "/1.jpg", "https://img2.example.test/1.jpg",
                                  net::Fetch::kPhoto, &to, &path));
  EXPECT_FALSE(net::FollowRedirect(first, Server("https://cdn.other.test"), "/1.jpg",
                                   "https://img.other.test/1.jpg", net::Fetch::kPhoto, &to, &path));
}

}  // namespace

namespace {

TEST(ServerWithScheme, AServerThatNamesItsSchemeKeepsIt) {
  const struct {
    const char* server;
    bool secure;
    const char* want;
  } rows[] = {
      {"img.example.net", false, "img.example.net"},
      {"img.example.net", true, "https://img.example.net"},
      {"http://img.example.net", true, "http://img.example.net"},
      {"HTTPS://img.example.net", false, "HTTPS://img.example.net"},
      {"img.example.net:8080", true, "https://img.example.net:8080"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(net::ServerWithScheme(r.server, r.secure), r.want) << r.server << r.secure;
}

}  // namespace

namespace {

TEST(EncodeRequestPath, BytesThatCannotStandInARequestLineAreEncodedEscapesKept) {
  const struct {
    const char* path;
    const char* sent;
  } rows[] = {
      {"/user/u/a b/", "/user/u/a%20b/"},
      {"/Mountains%20%26%20Lakes/", "/Mountains%20%26%20Lakes/"},  // escapes as they are
      {"/%d0%93/", "/%d0%93/"},                                    // lower-case ones too
      {"/\xD0\x93\xD0\xBE/", "/%D0%93%D0%BE/"},                    // UTF-8 as its bytes
      {"/\xC3/", "/%C3/"},                                         // any byte past 0x7F
      {"/a\"<>\\^`{|}b", "/a%22%3C%3E%5C%5E%60%7B%7C%7Db"},
      {"/a\r\nHost: x/", "/a%0D%0AHost:%20x/"},  // no second request line
      {"/\x01\x1F\x7F", "/%01%1F%7F"},
      {"/50%/", "/50%25/"},  // a "%" that begins no escape
      {"/%4", "/%254"},
      {"/%zz", "/%25zz"},
      {"/%41", "/%41"},
      {"/a#top", "/a"},  // the fragment stays with the client
      {"/a%4#1", "/a%254"},
      {"/p?x=1&y=a b", "/p?x=1&y=a%20b"},
      {"/a-._~!$&'()*+,;=:@/[]", "/a-._~!$&'()*+,;=:@/[]"},
      {"users/x/", "users/x/"},
      {"", ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(net::EncodeRequestPath(r.path), r.sent) << r.path;
    // What was encoded once is sent as it is.
    EXPECT_EQ(net::EncodeRequestPath(r.sent), r.sent) << r.path;
  }
}

TEST(ResolveLink, AsABrowserFollowsALinkOnThePage) {
  const std::vector<std::string> sites = {"gallery.test", "https://img.gallery.test:8443"};
  const struct {
    const char* base;
    const char* link;
    const char* path;  // null: refused
  } rows[] = {
      {"/albums/index.html", "harbour/", "/albums/harbour/"},
      {"albums/index.html", "harbour/", "/albums/harbour/"},  // a page path without its "/"
      {"/albums/", "x.html", "/albums/x.html"},
      {"/albums/sea/index.html", "../x/", "/albums/x/"},
      {"/albums/sea/", "../../../x", "/x"},
      {"/albums/sea/", "./", "/albums/sea/"},
      {"/albums/sea/", "..", "/albums/"},
      {"/albums/sea/", "a/./b/../c", "/albums/sea/a/c"},
      {"/albums/index.html?page=1", "?page=2", "/albums/index.html?page=2"},
      {"/albums/", "?page=2", "/albums/?page=2"},
      {"/albums/?p=1", "next.html?p=2", "/albums/next.html?p=2"},
      {"/albums/", "/x/../y", "/x/../y"},  // from the root: as written
      {"/albums/", "//gallery.test/x", "/x"},
      {"/albums/", "//GALLERY.test/a/../x", "/x"},
      {"/albums/", "http://gallery.test/x", "/x"},
      {"/albums/", "https://gallery.test", "/"},
      {"/albums/", "http://gallery.test?p=2", "/?p=2"},
      {"/albums/", "https://img.gallery.test:8443/p/1.jpg", "/p/1.jpg"},
      {"/albums/", "http://img.gallery.test/p/1.jpg", nullptr},  // another port
      {"/albums/", "http://other.test/x", nullptr},
      {"/albums/", "//other.test/x", nullptr},
      {"/albums/", "mailto:me@gallery.test", nullptr},
      {"/albums/", "javascript:go()", nullptr},
      {"/albums/", "ftp://gallery.test/x", nullptr},
      {"/albums/", "a:b/c", nullptr},  // a scheme, as a browser reads it
      {"/albums/", "./a:b", "/albums/a:b"},
      {"/albums/", "x#frag", "/albums/x"},
      {"/albums/x.html", "#frag", "/albums/x.html"},
      {"/albums/x.html", "", "/albums/x.html"},
      {"/albums/", "a b/%41", "/albums/a b/%41"},  // bytes left for the request to encode
  };
  for (const auto& r : rows) {
    std::string path = "unchanged";
    const bool ok = net::ResolveLink(r.base, r.link, sites, &path);
    EXPECT_EQ(ok, r.path != nullptr) << r.base << " + " << r.link;
    if (r.path) {
      EXPECT_EQ(path, r.path) << r.base << " + " << r.link;
    }
  }
}

}  // namespace
