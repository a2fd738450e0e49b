// The internet layer for the engine's fuzz target: every request is answered from memory
// with the page the fuzzer made, every size query with a fixed size and time; nothing is
// sent anywhere and nothing pauses.
#include <algorithm>
#include <cstring>
#include <string>

#include "internet_memory.h"
#include "platform/internet.h"

namespace fuzzing {
std::string page;
int requests = 0;
}  // namespace fuzzing

namespace platform {

namespace {
struct Handle {
  std::size_t readAt = 0;
};
Handle theInternet, theConnection;
}  // namespace

InternetHandle NetOpen(const char*) {
  return &theInternet;
}
InternetHandle NetConnect(InternetHandle, const char*, int) {
  return &theConnection;
}
InternetHandle NetOpenRequest(InternetHandle, const char*, const char*, const char*, const char*,
                              std::uint32_t) {
  ++fuzzing::requests;
  return new Handle;
}
bool NetSendRequest(InternetHandle, const char*, const void*, std::uint32_t) {
  return true;
}
bool NetReadFile(InternetHandle request, void* buffer, std::uint32_t size, std::uint32_t* read) {
  auto* h = static_cast<Handle*>(request);
  const std::size_t n = std::min<std::size_t>(size, fuzzing::page.size() - h->readAt);
  std::memcpy(buffer, fuzzing::page.data() + h->readAt, n);
  h->readAt += n;
  *read = std::uint32_t(n);
  return true;
}
bool NetQueryContentLength(InternetHandle, std::uint32_t* length) {
  *length = 1234;
  return true;
}
bool NetQueryContentLength64(InternetHandle, std::uint64_t* length) {
  *length = 1234;
  return true;
}
void NetWatchRequest(InternetHandle, const TransferWatch&) {}
bool NetQueryStatusCode(InternetHandle, std::uint32_t* status) {
  *status = 200;
  return true;
}
bool NetQueryLocation(InternetHandle, std::string*) {
  return false;
}
bool NetQueryLastModified(InternetHandle, SystemTime* time) {
  *time = SystemTime{2024, 5, 3, 1, 10, 20, 30, 0};
  return true;
}
bool NetQuerySetCookies(InternetHandle, std::vector<std::string>* lines) {
  *lines = {"sid=1; Path=/", "id=2"};
  return true;
}
void NetCloseHandle(InternetHandle handle) {
  if (handle != &theInternet && handle != &theConnection) delete static_cast<Handle*>(handle);
}
void NetQueryHeaders(InternetHandle, const char*, int, std::uint32_t, const char*, const char*,
                     const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers,
                     const TransferWatch*) {
  answers->assign(queries.size(), HeaderAnswer{});
  for (HeaderAnswer& a : *answers) {
    ++fuzzing::requests;
    a.answered = true;
    a.status = 200;
    a.hasLength = true;
    a.length = 1234;
    a.hasTime = true;
    a.time = SystemTime{2024, 5, 3, 1, 10, 20, 30, 0};
  }
}
void SleepMilliseconds(std::uint32_t) {}

}  // namespace platform
