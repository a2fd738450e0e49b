// The page walk of a listing: the first page and every page the script says follows it,
// past a warning page and an album's password form, into the raw entries: the whole match
// of the entry expression, in page order. All pages are read before any entry is converted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_string.h"
#include "engine/request.h"
#include "engine/tools.h"

namespace engine {

// A listing keeps the entries of at most this many pages, and at most this many entries;
// past either bound it stops, keeps what it found and says so on the error page.
constexpr int kMaxPages = 1000;
constexpr std::size_t kMaxEntries = 100000;
// A listing reads at most this much page text (its pages and, in full-size mode, the
// photos' own pages), and keeps an entry's text up to this length: past either it stops or
// cuts, keeps what it found and says so once.
constexpr std::size_t kMaxPageText = std::size_t(64) << 20;
constexpr std::size_t kMaxEntryLength = std::size_t(64) << 10;
// Addresses longer than this are refused: no real page links one, and a template fed from a
// page could otherwise make megabytes of them.
constexpr std::size_t kMaxAddressLength = 2048;

struct PageWalk {
  std::vector<common::ByteString> raw;        // the entries found, in page order
  std::vector<std::size_t> pageOf;            // for each entry: its page, an index of pagePaths
  std::vector<common::ByteString> pagePaths;  // each page's path as answered, in order
  int page = 1;                               // Page after the walk: one past the last page read
  bool unlocked = false;                      // the last page belonged to an opened album
  common::ByteString cookieText;              // the request's cookies, or those a password brought
  std::size_t textRead = 0;                   // bytes of page text read so far
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
