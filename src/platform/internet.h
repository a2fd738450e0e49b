// The internet library the HTTP session stands on, in the shape of the Windows one: an
// internet handle, connections to one server each, requests on a connection, whole-body
// reads, header queries and the process's cookie store. win32/ forwards to WinINet;
// posix/ gives the same behaviour over libcurl (proxy from http_proxy and https_proxy,
// one cookie store for the process, one kept-alive connection per connection handle).
// A secure request checks the server's certificate against the system's trust store
// (issuer, name, dates); one that fails sets one of the certificate error codes below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/limits.h"
#include "platform/platform.h"

namespace platform {

using InternetHandle = void*;

constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kRequestFlagKeepConnection = 0x400000;
constexpr std::uint32_t kRequestFlagSecure = 0x800000;      // TLS, the certificate checked whole
constexpr std::uint32_t kRequestFlagNoRedirect = 0x200000;  // a redirect is the answer

// Why a request failed, as the Windows library says it (LastError after NetSendRequest).
constexpr std::uint32_t kErrorCannotConnect = 12029;
constexpr std::uint32_t kErrorCertificateDate = 12037;        // expired or not yet valid
constexpr std::uint32_t kErrorCertificateName = 12038;        // issued for another name
constexpr std::uint32_t kErrorCertificateIssuer = 12045;      // issuer not trusted
constexpr std::uint32_t kErrorCertificateRevocation = 12057;  // revocation not checkable
constexpr std::uint32_t kErrorSecureChannel = 12157;          // no secure channel
constexpr std::uint32_t kErrorCertificateInvalid = 12169;     // otherwise unusable
constexpr std::uint32_t kErrorCertificateRevoked = 12170;
constexpr std::uint32_t kErrorCertificateErrors = 12055;        // several of the above
constexpr std::uint32_t kErrorCertificateNoRevocation = 12056;  // revocation not checked

// Why a transfer stopped that the watch below or the time bounds stopped (LastError, or
// HeaderAnswer::error).
constexpr std::uint32_t kErrorTimeout = 12002;    // no connection within kConnectMs, or no
                                                  // byte for kStallMs: the server stalled
constexpr std::uint32_t kErrorCancelled = 12017;  // the watch's deadline passed, or its
                                                  // proceed said stop
constexpr std::uint32_t kErrorConnectionAborted = 12030;
constexpr std::uint32_t kErrorConnectionReset = 12031;
constexpr std::uint32_t kErrorInvalidServerResponse = 12152;  // closed without a status line

// What bounds one transfer beyond the connect and stall times every request has. Nothing of
// it outlives the call it is given to.
struct TransferWatch {
  // NowMilliseconds() at which the transfer is stopped (kErrorCancelled); 0: no deadline.
  std::uint64_t deadline = 0;
  // Asked on the calling thread as the answer's bytes arrive and at least once a second
  // while the transfer waits: the body's bytes so far and its announced length (-1 when
  // unknown); for a batch, the answers done and the queries asked. False stops the
  // transfer at once (kErrorCancelled). Null: never asked.
  bool (*proceed)(void* context, std::uint64_t done, std::int64_t total) = nullptr;
  void* context = nullptr;
};

// An internet handle for the agent string, with the system's proxy settings; null on failure.
InternetHandle NetOpen(const char* agent);
// A connection to server:port; no traffic yet. Null on failure.
InternetHandle NetConnect(InternetHandle internet, const char* server, int port);
// A request on a connection; accept is the one accepted type. Null on failure.
InternetHandle NetOpenRequest(InternetHandle connection, const char* verb, const char* object,
                              const char* referrer, const char* accept, std::uint32_t flags);
// Bounds the next NetSendRequest on request and the reads after it by watch (copied). Every
// request also has its own bounds: kConnectMs to connect, kStallMs without a byte.
void NetWatchRequest(InternetHandle request, const TransferWatch& watch);
// Sends the request with headers (CRLF-separated, NUL-terminated) and an optional body.
bool NetSendRequest(InternetHandle request, const char* headers, const void* body,
                    std::uint32_t bodyLength);
// Reads up to size bytes of the response body; *read is 0 with success at its end.
bool NetReadFile(InternetHandle request, void* buffer, std::uint32_t size, std::uint32_t* read);
// The response's Content-Length; false when it has none. One past 4 GB fails the 32-bit
// query (its value would be cut); the 64-bit one tells it whole.
bool NetQueryContentLength(InternetHandle request, std::uint32_t* length);
bool NetQueryContentLength64(InternetHandle request, std::uint64_t* length);
// The response's status code (200, 404, ...); false when there is no response.
bool NetQueryStatusCode(InternetHandle request, std::uint32_t* status);
// The response's Location header; false when it has none.
bool NetQueryLocation(InternetHandle request, std::string* location);
// The response's Last-Modified time; false (time untouched) when it has none.
bool NetQueryLastModified(InternetHandle request, SystemTime* time);
// The values of the response's Set-Cookie headers, in the order sent. The library's own
// cookie handling is off on every platform: the session keeps cookies itself. At most
// kMaxSetCookieLines are given; a value longer than limits::kMaxCookieBytes is left out.
bool NetQuerySetCookies(InternetHandle request, std::vector<std::string>* lines);
constexpr std::size_t kMaxSetCookieLines = 2 * limits::kMaxCookiesPerSite;
void NetCloseHandle(InternetHandle handle);

// ---- Header queries asked together ----------------------------------------------------------
// Many requests to one server whose answers are wanted for their headers alone (a photo's
// size and date): they are in flight together, each on a kept-alive connection of the
// batch's own, at most kMaxQueriesInFlight at a time (so never more connections than that
// to the server), and answered by index.
constexpr std::size_t kMaxQueriesInFlight = limits::kMaxQueriesInFlight;

struct HeaderQuery {
  std::string verb;    // "HEAD", or "GET" whose body is never read unless bodyCap says so
  std::string object;  // the path on the server
  // A GET whose body is wanted (a page): read whole, up to this many bytes. 0: not read.
  std::uint32_t bodyCap = 0;
  std::string cookie;  // the Cookie header's value for this query; empty: none is sent
};

struct HeaderAnswer {
  bool answered = false;    // false: no answer with a status line came (error says why)
  std::uint32_t error = 0;  // the library's error code when there was no answer
  std::uint32_t status = 0;
  bool hasLength = false;
  std::uint64_t length = 0;
  bool hasTime = false;  // Last-Modified was sent
  SystemTime time = {};
  std::string location;  // a redirect's Location, never followed here
  // For a query with a bodyCap: the body, whole (as long as its Content-Length says, within
  // the cap); bodyRead is false, body empty, when the read failed, stopped short or
  // outgrew the cap.
  bool bodyRead = false;
  std::string body;
  std::vector<std::string> setCookies;  // a page's Set-Cookie values (see NetQuerySetCookies)
};

// Sends queries[i] to server:port for every i and fills (*answers)[i] (resized to fit),
// with the header block and the one accept type every request carries; flags may hold
// kRequestFlagSecure. Returns once every query is answered or has failed, every request
// of the batch closed: nothing of it runs after the call. The connections it kept alive
// wait, idle, for the next batch on the same internet handle and close with that handle.
// A watch (may be null) bounds the whole batch: at its deadline, or when its proceed says
// stop, every query not yet answered fails with kErrorCancelled and the call returns.
// Anything that goes wrong inside a query (even an exception) fails that query alone.
void NetQueryHeaders(InternetHandle internet, const char* server, int port, std::uint32_t flags,
                     const char* headers, const char* accept,
                     const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers,
                     const TransferWatch* watch = nullptr);

// Pauses the calling thread (overridable, as the clock is).
void SleepMilliseconds(std::uint32_t milliseconds);

}  // namespace platform
