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

// An internet handle for the agent string, with the system's proxy settings; null on failure.
InternetHandle NetOpen(const char* agent);
// A connection to server:port; no traffic yet. Null on failure.
InternetHandle NetConnect(InternetHandle internet, const char* server, int port);
// A request on a connection; accept is the one accepted type. Null on failure.
InternetHandle NetOpenRequest(InternetHandle connection, const char* verb, const char* object,
                              const char* referrer, const char* accept, std::uint32_t flags);
// Sends the request with headers (CRLF-separated, NUL-terminated) and an optional body.
bool NetSendRequest(InternetHandle request, const char* headers, const void* body,
                    std::uint32_t bodyLength);
// Reads up to size bytes of the response body; *read is 0 with success at its end.
bool NetReadFile(InternetHandle request, void* buffer, std::uint32_t size, std::uint32_t* read);
// The response's Content-Length; false when it has none.
bool NetQueryContentLength(InternetHandle request, std::uint32_t* length);
// The response's status code (200, 404, ...); false when there is no response.
bool NetQueryStatusCode(InternetHandle request, std::uint32_t* status);
// The response's Location header; false when it has none.
bool NetQueryLocation(InternetHandle request, std::string* location);
// The response's Last-Modified time; false (time untouched) when it has none.
bool NetQueryLastModified(InternetHandle request, SystemTime* time);
// The cookie string the store holds for url ("a=1; b=2"). *size is the buffer size in and
// the string's size out; a buffer too small fails with kErrorInsufficientBuffer and the
// size needed.
bool NetGetCookie(const char* url, char* buffer, std::uint32_t* size);
void NetCloseHandle(InternetHandle handle);

// ---- Header queries asked together ----------------------------------------------------------
// Many requests to one server whose answers are wanted for their headers alone (a photo's
// size and date): they are in flight together, each on a kept-alive connection of the
// batch's own, at most kMaxQueriesInFlight at a time (so never more connections than that
// to the server), and answered by index.
constexpr std::size_t kMaxQueriesInFlight = 8;

struct HeaderQuery {
  std::string verb;    // "HEAD", or "GET" whose body is never read unless bodyCap says so
  std::string object;  // the path on the server
  // A GET whose body is wanted (a page): read whole, up to this many bytes. 0: not read.
  std::uint32_t bodyCap = 0;
};

struct HeaderAnswer {
  bool answered = false;    // false: no answer with a status line came (error says why)
  std::uint32_t error = 0;  // the library's error code when there was no answer
  std::uint32_t status = 0;
  bool hasLength = false;
  std::uint32_t length = 0;
  bool hasTime = false;  // Last-Modified was sent
  SystemTime time = {};
  std::string location;  // a redirect's Location, never followed here
  // For a query with a bodyCap: the body, whole (as long as its Content-Length says, within
  // the cap); bodyRead is false, body empty, when the read failed, stopped short or
  // outgrew the cap.
  bool bodyRead = false;
  std::string body;
};

// Sends queries[i] to server:port for every i and fills (*answers)[i] (resized to fit),
// with the header block and the one accept type every request carries; flags may hold
// kRequestFlagSecure. Returns once every query is answered or has failed, every request
// of the batch closed: nothing of it runs after the call. The connections it kept alive
// wait, idle, for the next batch on the same internet handle and close with that handle.
void NetQueryHeaders(InternetHandle internet, const char* server, int port, std::uint32_t flags,
                     const char* headers, const char* accept,
                     const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers);

void SleepMilliseconds(std::uint32_t milliseconds);

}  // namespace platform
