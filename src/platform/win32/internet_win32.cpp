// The internet layer over WinINet.
#include <windows.h>
// After windows.h, which it builds on.
#include <wininet.h>

#include <cstring>

#include "platform/file_overrides.h"
#include "platform/internet.h"

namespace platform {

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
                            types, flags, 1);
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
