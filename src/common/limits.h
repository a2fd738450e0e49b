// Every bound of the system in one place: counts, bytes, times and retries. Each line says
// what it bounds and why that number. A site is hostile until proven otherwise, and the
// host's window waits on every call: nothing the module does may grow or wait without one
// of these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace limits {

// ---- A listing ----------------------------------------------------------------------------
// Pages one listing reads: far beyond any real album's paging, small enough that a site
// whose "next page" never ends stops within the listing's time.
constexpr int kMaxPages = 1000;
// Entries one listing keeps: a folder of 100,000 names is already past what a panel shows
// usefully, and each entry costs a size query.
constexpr std::size_t kMaxEntries = 100000;
// Page text one listing reads (pages, warning pages, password answers, photos' own pages):
// 64 MB keeps a 32-bit host well inside its address space.
constexpr std::size_t kMaxPageText = std::size_t(64) << 20;
// One entry's text is kept up to this: no real entry is longer, and every later step works
// on entries.
constexpr std::size_t kMaxEntryLength = std::size_t(64) << 10;
// Addresses longer than this are refused: no real page links one, and a template fed from
// a page could otherwise make megabytes of them.
constexpr std::size_t kMaxAddressLength = 2048;
// Albums inside albums below a site's folder: deeper than any gallery people keep (a year,
// a month, a day, an event), shallow enough that a site whose every album links a new
// one ends within a few listings.
constexpr int kMaxAlbumDepth = 16;

// ---- Time -----------------------------------------------------------------------------------
// One listing (one FsFindFirst) returns within this many seconds unless the settings say
// otherwise (the settings file's [listing] "seconds"), kept between the two bounds
// below: the host's window is frozen while a folder is listed.
constexpr int kListingSeconds = 30;
constexpr int kMinListingSeconds = 5;
constexpr int kMaxListingSeconds = 600;
// Opening a connection: a server that does not accept within 10 s is not there.
constexpr std::uint32_t kConnectMs = 10000;
// A request that receives no byte for this long is stalled and fails: long enough for a
// slow server to think, short enough that a dead one does not hold the host.
constexpr std::uint32_t kStallMs = 15000;
// A long call tells the host how it is doing at least this often, so the user can cancel.
constexpr std::uint32_t kProgressIntervalMs = 1000;
// A download reports progress at most this often while bytes flow (twice a second).
constexpr std::uint32_t kDownloadProgressMs = 500;
// After this many size queries to one server fail by time-out or refused connection, its
// other photos are listed with size 0 without being asked: the server is down.
constexpr int kMaxFailedSizeQueries = 3;

// ---- Requests -------------------------------------------------------------------------------
// One answer is read up to this many bytes: a page or a photo past 20 MB is not one a photo
// site serves, and the buffer must fit a 32-bit process twice over.
constexpr std::uint32_t kMaxAnswerBytes = 20000000;
// A pause after each page read: a site is read at a person's pace, never hammered.
constexpr std::uint32_t kReadPauseMs = 50;
// Requests in flight to one server at once: the number of connections a browser opens.
constexpr std::size_t kMaxQueriesInFlight = 8;
// A redirect chain longer than this is a loop.
constexpr int kMaxRedirects = 5;
// A cookie string handed to a template: the size the cookie buffers always had.
constexpr std::size_t kCookieBufferSize = 260;
// Cookies kept per site, and the size of one: what browsers keep at the least, and more
// than any photo site sets.
constexpr std::size_t kMaxCookiesPerSite = 50;
constexpr std::size_t kMaxCookieBytes = 4096;

// ---- Kept between calls -----------------------------------------------------------------------
// Listings the panels show, at most this many and this many bytes (the newest is kept
// whatever its size), so a few huge listings cannot exhaust a 32-bit process.
constexpr std::size_t kMaxKeptListings = 64;
constexpr std::size_t kMaxKeptBytes = std::size_t(64) << 20;
// Addresses of folders listed so far: small, but a hostile site can make folders without end.
constexpr std::size_t kMaxKeptAddresses = 100000;
// ... and their bytes (folder keys and addresses together): addresses up to 2 KB each would
// otherwise keep 400 MB alive.
constexpr std::size_t kMaxKeptAddressBytes = std::size_t(16) << 20;
// Addresses typed at the address prompt that keep a folder of their own while the module is
// loaded; the oldest goes first.
constexpr std::size_t kMaxTypedAddresses = 64;
// ... and the bytes of such a folder's name: long enough to tell addresses apart, short
// enough that the folder's photos still fit a Windows path below a target folder.
constexpr std::size_t kMaxTypedNameLength = 100;
// Hosts whose password cookies are kept; the oldest goes first.
constexpr std::size_t kMaxCookieHosts = 64;
// Photo servers whose way of telling a size (HEAD, or GET only) is remembered for the
// module's life; past it the lessons start again.
constexpr std::size_t kMaxLearnedServers = 256;
// No walk of the bookmark keys goes further than this, whatever the file's "count" says.
constexpr long kMaxBookmarkCount = 100000;

}  // namespace limits
