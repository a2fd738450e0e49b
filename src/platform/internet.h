// The internet library the HTTP session stands on, in the shape of the Windows one: an
// internet handle, connections to one server each, requests on a connection, whole-body
// reads, two header queries and the process's cookie store. win32/ forwards to WinINet;
// posix/ gives the same behaviour over libcurl (proxy from http_proxy, redirects followed,
// one cookie store for the process, one kept-alive connection per connection handle).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

using InternetHandle = void*;

constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kRequestFlagKeepConnection = 0x400000;
constexpr std::uint32_t kRequestFlagSecure = 0x801000;  // secure, certificate name not checked

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
// The response's Last-Modified time; false (time untouched) when it has none.
bool NetQueryLastModified(InternetHandle request, SystemTime* time);
// The cookie string the store holds for url ("a=1; b=2"). *size is the buffer size in and
// the string's size out; a buffer too small fails with kErrorInsufficientBuffer and the
// size needed.
bool NetGetCookie(const char* url, char* buffer, std::uint32_t* size);
void NetCloseHandle(InternetHandle handle);
void SleepMilliseconds(std::uint32_t milliseconds);

}  // namespace platform
