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
  return ::HttpSendRequestA(static_cast<HINTERNET>(request), headers, DWORD(-1),
                            const_cast<void*>(body), bodyLength) != FALSE;
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

void SleepMilliseconds(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace platform
