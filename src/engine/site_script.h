// A site script: an ini-style file in the scripts folder, named after a site's domain or
// host, with one section of the same name holding the expressions and templates that
// describe the site.
#pragma once

#include <string>
#include <vector>

#include "common/byte_string.h"

namespace engine {

// The text that marks an absent value.
constexpr char kAbsent[] = "-1";

struct SiteScript {
  // Required.
  common::ByteString fileExpression;   // photo-page addresses
  common::ByteString dirExpression;    // album-list addresses
  common::ByteString albumExpression;  // album entries (expanded per request)
  common::ByteString fotoExpression;   // photo entries (expanded per request)
  common::ByteString urlFoto, urlPrev, urlAlbum, nameFoto, nameAlbum;
  common::ByteString nextPageFoto, nextPageAlbum, ifNextPageFoto, ifNextPageAlbum;
  int albumGroup = 0;
  int userGroup = 0;  // optional: 0 when the site's addresses name no user
  int utf = 0;
  common::ByteString origExpression;  // takes a photo entry apart (expanded per request)
  // Optional; "-1" when absent.
  common::ByteString urlOrig, servFoto, eroWarning;
  common::ByteString passExpression, passFoto, passPrev, passSendForm, passRequestWrong;
  common::ByteString passRequest;
  int fullSize = 0;
  int hasEroWarning = 0;
  int hasPassRequest = 0;
  int secure = 0;       // not 0: every request of the site uses https
  int decodeNames = 0;  // not 0: names are percent-decoded (names taken from addresses)
  std::vector<common::ByteString> cookieNames;  // Cookie1, Cookie2, ... up to the first absent
  // Optional nesting: the albums an album's page holds beside its photos. Absent ("-1"), an
  // album lists photos only. UrlSubAlbum and NameSubAlbum take the sub-album expression's
  // groups, as UrlAlbum and NameAlbum (their default) take the album expression's.
  common::ByteString subAlbumExpression;  // (expanded per request)
  common::ByteString urlSubAlbum, nameSubAlbum;
  bool nested() const { return !(subAlbumExpression == common::ByteString(kAbsent)); }
};

// At most this many CookieN keys are read; only the first five are reachable by templates.
constexpr int kMaxCookieKeys = 1000;

// Reads the script: first the file and section named *scriptName, then, when that has no
// FileExpression, those named host (and *scriptName becomes host). *path is the file read.
// False when the script is rejected: no FileExpression under either name, or a required
// key missing or "-1" (the paging keys IfNextPage... and NextPage... may be "-1": no
// paging; User may be missing: no user level). Keys read before a rejection stay replaced.
bool ReadScript(const std::string& scriptsFolder, const common::ByteString& host,
                common::ByteString* scriptName, std::string* path, SiteScript* script);

}  // namespace engine
