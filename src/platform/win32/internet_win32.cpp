// The internet layer over WinINet. Certificates are checked as WinINet checks them by
// default: no flag that ignores any part of the check is ever set, and a failed check
// fails the request with WinINet's own error code.
#include <windows.h>
// After windows.h, which it builds on.
#include <wininet.h>

#include <cstring>
#include <vector>

#include "platform/file_overrides.h"
#include "platform/internet.h"

namespace platform {

static_assert(kRequestFlagSecure == INTERNET_FLAG_SECURE, "the secure flag alone");
static_assert(kRequestFlagNoRedirect == INTERNET_FLAG_NO_AUTO_REDIRECT, "redirect flag");
static_assert(kRequestFlagKeepConnection == INTERNET_FLAG_KEEP_CONNECTION, "keep flag");
static_assert(kErrorCannotConnect == ERROR_INTERNET_CANNOT_CONNECT, "error code");
static_assert(kErrorCertificateDate == ERROR_INTERNET_SEC_CERT_DATE_INVALID, "error code");
static_assert(kErrorCertificateName == ERROR_INTERNET_SEC_CERT_CN_INVALID, "error code");
static_assert(kErrorCertificateIssuer == ERROR_INTERNET_INVALID_CA, "error code");
static_assert(kErrorCertificateRevocation == ERROR_INTERNET_SEC_CERT_REV_FAILED, "error code");
static_assert(kErrorSecureChannel == ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "error code");
static_assert(kErrorCertificateInvalid == ERROR_INTERNET_SEC_INVALID_CERT, "error code");
static_assert(kErrorCertificateRevoked == ERROR_INTERNET_SEC_CERT_REVOKED, "error code");
static_assert(kErrorCertificateErrors == ERROR_INTERNET_SEC_CERT_ERRORS, "error code");
static_assert(kErrorCertificateNoRevocation == ERROR_INTERNET_SEC_CERT_NO_REV, "error code");

namespace {
// Every flag that would let a certificate that failed its check through.
constexpr DWORD kIgnoreFlags =
    INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
    INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
}  // namespace

InternetHandle NetOpen(const char* agent) {
  FL_OVERRIDABLE(netOpen, agent);
  return ::InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

InternetHandle NetConnect(InternetHandle internet, const char* server, int port) {
  FL_OVERRIDABLE(netConnect, internet, server, port);
  return ::InternetConnectA(static_cast<HINTERNET>(internet), server, INTERNET_PORT(port), nullptr,
                            nullptr, INTERNET_SERVICE_HTTP, 0, 1);
}

InternetHandle NetOpenRequest(InternetHandle connection, const char* verb, const char* object,
                              const char* referrer, const char* accept, std::uint32_t flags) {
  FL_OVERRIDABLE(netOpenRequest, connection, verb, object, referrer, accept, flags);
  const char* types[] = {accept, nullptr};
  return ::HttpOpenRequestA(static_cast<HINTERNET>(connection), verb, object, nullptr, referrer,
                            types, flags & ~kIgnoreFlags, 1);
}

bool NetSendRequest(InternetHandle request, const char* headers, const void* body,
                    std::uint32_t bodyLength) {
  FL_OVERRIDABLE(netSendRequest, request, headers, body, bodyLength);
  if (!::HttpSendRequestA(static_cast<HINTERNET>(request), headers, DWORD(-1),
                          const_cast<void*>(body), bodyLength)) {
    return false;
  }
  // A connection the server closed without a status line is no answer, whatever the library
  // made of it: the request failed.
  DWORD status = 0, size = sizeof status;
  if (!::HttpQueryInfoA(static_cast<HINTERNET>(request),
                        HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
      status == 0) {
    ::SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    return false;
  }
  return true;
}

bool NetReadFile(InternetHandle request, void* buffer, std::uint32_t size, std::uint32_t* read) {
  FL_OVERRIDABLE(netReadFile, request, buffer, size, read);
  DWORD got = 0;
  const BOOL ok = ::InternetReadFile(static_cast<HINTERNET>(request), buffer, size, &got);
  *read = got;
  return ok != FALSE;
}

bool NetQueryContentLength(InternetHandle request, std::uint32_t* length) {
  FL_OVERRIDABLE(netQueryContentLength, request, length);
  DWORD value = 0, size = sizeof value;  // the number query needs exactly 4
  if (!::HttpQueryInfoA(static_cast<HINTERNET>(request),
                        HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value, &size,
                        nullptr)) {
    return false;
  }
  *length = value;
  return true;
}

bool NetQueryStatusCode(InternetHandle request, std::uint32_t* status) {
  FL_OVERRIDABLE(netQueryStatusCode, request, status);
  DWORD value = 0, size = sizeof value;
  if (!::HttpQueryInfoA(static_cast<HINTERNET>(request),
                        HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) {
    return false;
  }
  *status = value;
  return true;
}

bool NetQueryLocation(InternetHandle request, std::string* location) {
  FL_OVERRIDABLE(netQueryLocation, request, location);
  std::vector<char> buffer(512);
  for (;;) {
    DWORD size = DWORD(buffer.size());
    if (::HttpQueryInfoA(static_cast<HINTERNET>(request), HTTP_QUERY_LOCATION, buffer.data(), &size,
                         nullptr)) {
      location->assign(buffer.data(), size);
      return true;
    }
    // A Location longer than any address a site uses is not followed.
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size() || size > 65536) {
      return false;
    }
    buffer.resize(size + 1);
  }
}

bool NetQueryLastModified(InternetHandle request, SystemTime* time) {
  FL_OVERRIDABLE(netQueryLastModified, request, time);
  SYSTEMTIME st;
  DWORD size = sizeof st;
  if (!::HttpQueryInfoA(static_cast<HINTERNET>(request),
                        HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &st, &size,
                        nullptr)) {
    return false;
  }
  static_assert(sizeof st == sizeof *time, "SYSTEMTIME layout");
  std::memcpy(time, &st, sizeof st);
  return true;
}

bool NetGetCookie(const char* url, char* buffer, std::uint32_t* size) {
  FL_OVERRIDABLE(netGetCookie, url, buffer, size);
  DWORD n = *size;
  const BOOL ok = ::InternetGetCookieA(url, nullptr, buffer, &n);
  *size = n;
  return ok != FALSE;
}

void NetCloseHandle(InternetHandle handle) {
  FL_OVERRIDABLE(netCloseHandle, handle);
  if (handle) ::InternetCloseHandle(static_cast<HINTERNET>(handle));
}

namespace {

// A header batch shared by its workers: each takes the next query until none is left.
struct HeaderBatch {
  InternetHandle internet;
  const char* server;
  int port;
  std::uint32_t flags;
  const char* headers;
  const char* accept;
  const std::vector<HeaderQuery>* queries;
  std::vector<HeaderAnswer>* answers;
  volatile LONG next;
};

// A page's body, whole: read to its end within the cap, and as long as its Content-Length
// says; otherwise none at all.
void ReadBody(InternetHandle request, std::uint32_t cap, HeaderAnswer* a) {
  std::uint32_t announced = 0;
  const bool hasLength = NetQueryContentLength(request, &announced);
  std::string body;
  char buffer[16384];
  for (;;) {
    std::uint32_t read = 0;
    if (!NetReadFile(request, buffer, sizeof buffer, &read)) return;
    if (read == 0) break;
    if (read > cap - body.size()) return;
    body.append(buffer, read);
  }
  if (hasLength && body.size() < announced) return;
  a->bodyRead = true;
  a->body.swap(body);
}

// One query on the worker's connection. Every call goes through the overridable layer.
void AskOne(const HeaderBatch& b, InternetHandle connection, const HeaderQuery& query,
            HeaderAnswer* a) {
  InternetHandle request =
      NetOpenRequest(connection, query.verb.c_str(), query.object.c_str(), nullptr, b.accept,
                     b.flags | kRequestFlagKeepConnection | kRequestFlagNoRedirect);
  if (!request || !NetSendRequest(request, b.headers, nullptr, 0)) {
    a->error = ::GetLastError();
    if (request) NetCloseHandle(request);
    return;
  }
  if (!NetQueryStatusCode(request, &a->status) || a->status == 0) {
    a->error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    NetCloseHandle(request);
    return;
  }
  a->answered = true;
  a->hasLength = NetQueryContentLength(request, &a->length);
  a->hasTime = NetQueryLastModified(request, &a->time);
  if (!NetQueryLocation(request, &a->location)) a->location.clear();
  if (query.bodyCap > 0) ReadBody(request, query.bodyCap, a);
  // A GET's body is read only when asked for: closing the request lets its connection go.
  NetCloseHandle(request);
}

// A worker: a connection handle of its own, kept for every query it takes.
DWORD WINAPI HeaderWorker(void* argument) {
  auto* b = static_cast<HeaderBatch*>(argument);
  InternetHandle connection = NetConnect(b->internet, b->server, b->port);
  const DWORD connectError = connection ? 0 : ::GetLastError();
  for (;;) {
    const LONG i = ::InterlockedIncrement(&b->next) - 1;
    if (i < 0 || std::size_t(i) >= b->queries->size()) break;
    HeaderAnswer& a = (*b->answers)[std::size_t(i)];
    if (!connection) {
      a.error = connectError ? connectError : DWORD(kErrorCannotConnect);
      continue;
    }
    AskOne(*b, connection, (*b->queries)[std::size_t(i)], &a);
  }
  if (connection) NetCloseHandle(connection);
  return 0;
}

// The library keeps a process-wide bound on connections to one server (two on older
// systems): raised to the batch's width, never lowered.
void AllowConnectionsPerServer(DWORD wanted) {
  DWORD current = 0, size = sizeof current;
  if (::InternetQueryOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &current, &size) &&
      current >= wanted) {
    return;
  }
  ::InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &wanted, sizeof wanted);
}

}  // namespace

// The batch over a small pool of threads, each with its own connection handle, all joined
// before the call returns.
void NetQueryHeaders(InternetHandle internet, const char* server, int port, std::uint32_t flags,
                     const char* headers, const char* accept,
                     const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers) {
  FL_OVERRIDABLE(netQueryHeaders, internet, server, port, flags, headers, accept, queries, answers);
  answers->assign(queries.size(), HeaderAnswer{});
  if (queries.empty()) return;
  HeaderBatch batch{internet, server, port, flags, headers, accept, &queries, answers, 0};
  const std::size_t width =
      queries.size() < kMaxQueriesInFlight ? queries.size() : kMaxQueriesInFlight;
  AllowConnectionsPerServer(DWORD(kMaxQueriesInFlight));
  HANDLE threads[kMaxQueriesInFlight];
  DWORD started = 0;
  for (std::size_t t = 0; t < width; ++t) {
    HANDLE thread = ::CreateThread(nullptr, 0, HeaderWorker, &batch, 0, nullptr);
    if (!thread) break;
    threads[started++] = thread;
  }
  // Without a thread of its own the caller works through the queries itself; with some,
  // it waits for them all.
  if (started == 0) HeaderWorker(&batch);
  if (started > 0) ::WaitForMultipleObjects(started, threads, TRUE, INFINITE);
  for (DWORD t = 0; t < started; ++t)
    ::CloseHandle(threads[t]);
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace platform
