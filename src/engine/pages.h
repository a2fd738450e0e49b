// The page walk of a listing: the first page and every page the script says follows it,
// past a warning page and an album's password form, into the raw entries: the whole match
// of the entry expression, in page order. All pages are read before any entry is converted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_string.h"
#include "common/limits.h"
#include "engine/request.h"
#include "engine/tools.h"

namespace engine {

// The listing's bounds (pages, entries, page text, an entry's and an address's length) are
// those of common/limits.h.
using limits::kMaxAddressLength;
using limits::kMaxEntries;
using limits::kMaxEntryLength;
using limits::kMaxPages;
using limits::kMaxPageText;

struct PageWalk {
  std::vector<common::ByteString> raw;  // the entries found, in page order
  std::vector<std::size_t> pageOf;      // for each entry: its page, an index of pagePaths
  // An album's pages with a nested script: the sub-albums found beside the photos.
  std::vector<common::ByteString> subAlbums;
  std::vector<std::size_t> subAlbumPageOf;
  std::vector<common::ByteString> pagePaths;  // each page's path as answered, in order
  int page = 1;                               // Page after the walk: one past the last page read
  bool unlocked = false;                      // the last page belonged to an opened album
  common::ByteString cookieText;              // the request's cookies, or those a password brought
};

// Walks the pages of the request's listing (albums or photos, by the request's mode). False
// after a report, when the listing has nothing to show.
bool WalkPages(Tools& tools, const Request& request, PageWalk* walk);

// Whether the last request was answered without an error status (below 400); when not,
// message is reported with url and the status ("HTTP 404").
bool Answered(Tools& tools, const Request& request, const char* message, const char* url);
// The same for an answer's status.
bool Answered(Tools& tools, const Request& request, const char* message, const char* url,
              std::uint32_t status);

// The servers whose addresses count as the site's own for links found on its pages: the
// page server and, for photos, the photo server.
std::vector<std::string> SiteServers(const Request& request, const common::ByteString& server);

// A link (the result of a template) found on the page at base, as a path on the site, its
// character references decoded: "NULL" stays "NULL"; a link to another host or scheme, or longer
// than 2 KB, is refused
// ("NULL", reported with E44 naming expression).
common::ByteString ResolveEntryLink(Tools& tools, const Request& request,
                                    const common::ByteString& base, const common::ByteString& link,
                                    const std::vector<std::string>& sites, const char* expression);

}  // namespace engine
