#include "net/http_session.h"

#include <cstring>
#include <new>

namespace net {

const char kExtraHeaders[] =
    "Content-Type: application/x-www-form-urlencoded\r\n"
    "Accept: text/html, application/xml;q=0.9, application/xhtml+xml, image/png, image/jpeg, "
    "image/gif, image/x-xbitmap, */*;q=0.1\r\n"
    "Accept-Language: ru,ru-RU;q=0.9,en;q=0.8\r\n"
    "Accept-Charset: iso-8859-1, utf-8, utf-16, *;q=0.1\r\n"
    "Accept-Encoding: identity, *;q=0\r\n";
static_assert(sizeof kExtraHeaders - 1 == 304, "the header block is 304 bytes");

namespace {
constexpr char kPageAccept[] = "*/*";
constexpr char kInfoAccept[] =
    "text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,image/png,"
    "*/*;q=0.5";
constexpr char kNoHost[] = "localhost";
}  // namespace

HttpSession::HttpSession(bool secure) : secure_(secure), headers_(kExtraHeaders) {}

HttpSession::~HttpSession() {
  CloseAll();
}

bool HttpSession::Connect() {
  if (!internet_) {
    internet_ = platform::NetOpen(kUserAgent);
    if (!internet_) return false;
  }
  if (!connection_) {
    connection_ =
        platform::NetConnect(internet_, host_ ? host_->c_str() : kNoHost, secure_ ? 443 : 80);
    ++connects_;
  }
  return connection_ != nullptr;
}

void HttpSession::CloseRequest() {
  if (request_) platform::NetCloseHandle(request_);
  request_ = nullptr;
}

void HttpSession::CloseConnection() {
  CloseRequest();
  if (connection_) platform::NetCloseHandle(connection_);
  connection_ = nullptr;
}

void HttpSession::CloseAll() {
  CloseConnection();
  if (internet_) platform::NetCloseHandle(internet_);
  internet_ = nullptr;
}

void HttpSession::UseHost(const char* host) {
  const std::string h = host ? host : "";
  // Without a stored host, an open connection goes to "localhost" (a POST before any GET).
  if (!host_ || *host_ != h) CloseAll();
  host_ = std::make_unique<std::string>(h);
}

bool HttpSession::PageRequest(const char* verb, const char* path, const char* body,
                              const char* referrer) {
  if (!Connect()) return false;
  CloseRequest();
  request_ = platform::NetOpenRequest(connection_, verb, path, referrer, kPageAccept,
                                      secure_ ? platform::kRequestFlagSecure : 0);
  const std::uint32_t bodyLength = body ? std::uint32_t(std::strlen(body)) : 0;
  if (!request_ || !platform::NetSendRequest(request_, headers_.c_str(), body, bodyLength)) {
    CloseRequest();
    return false;
  }
  return true;
}

bool HttpSession::Get(const char* host, const char* path, const char* referrer) {
  UseHost(host);
  return PageRequest("GET", path, nullptr, referrer);
}

bool HttpSession::Post(const char* path, const char* body, const char* referrer) {
  return PageRequest("POST", path, body, referrer);
}

const char* HttpSession::ReadAll(std::uint32_t* length) {
  if (capacity_ < kCapacity) {
    readBuffer_.reset(new char[kCapacity + 1]);
    resultBuffer_.reset(new char[kCapacity + 1]);
    capacity_ = kCapacity;
  }
  *length = 0;
  resultBuffer_[0] = '\0';
  if (!request_) return nullptr;
  // A body that stops short of the length the server announced was cut off (a reset
  // connection): it is a failed read, never a page. Without a length, the end of the
  // connection ends the body.
  std::uint32_t announced = 0;
  const bool hasLength = platform::NetQueryContentLength(request_, &announced);
  std::uint32_t chunk = 0;
  bool ok = platform::NetReadFile(request_, readBuffer_.get(), capacity_, &chunk);
  ++reads_;
  bool overflow = false;
  for (;;) {
    // Nothing is ever written past the buffer: a response longer than it fails whole.
    if (chunk > capacity_ - *length) {
      overflow = true;
      break;
    }
    std::memcpy(resultBuffer_.get() + *length, readBuffer_.get(), chunk);
    *length += chunk;
    platform::SleepMilliseconds(kReadPauseMs);
    ++pauses_;
    ok = platform::NetReadFile(request_, readBuffer_.get(), capacity_, &chunk);
    ++reads_;
    if (!ok || chunk == 0) break;
  }
  resultBuffer_[*length] = '\0';
  if (!ok || overflow || (hasLength && *length < announced)) {
    *length = 0;
    resultBuffer_[0] = '\0';
    return nullptr;
  }
  return resultBuffer_.get();
}

std::uint32_t HttpSession::Status() const {
  std::uint32_t status = 0;
  if (!request_ || !platform::NetQueryStatusCode(request_, &status)) return 0;
  return status;
}

std::uint32_t HttpSession::QueryFileInfo(const char* host, const char* path, const char* referrer,
                                         platform::SystemTime* time) {
  UseHost(host);
  if (!Connect()) return 0;
  CloseRequest();
  std::uint32_t flags = platform::kRequestFlagKeepConnection;
  if (secure_) flags |= platform::kRequestFlagSecure;
  request_ = platform::NetOpenRequest(connection_, "GET", path, referrer, kInfoAccept, flags);
  if (!request_) return 0;
  if (!platform::NetSendRequest(request_, headers_.c_str(), nullptr, 0)) return 0;
  std::uint32_t size = 0;
  const bool known = platform::NetQueryContentLength(request_, &size);
  platform::NetQueryLastModified(request_, time);
  CloseConnection();
  return known ? size : 0;
}

bool HttpSession::ReadCookie(const char* url, char* buffer) {
  buffer[0] = '\0';
  std::uint32_t size = 0;
  // At most two calls: one for the size, one for the text. A library that still asks for
  // more after that is not asked again.
  for (int call = 0; call < 2 && !platform::NetGetCookie(url, buffer, &size); ++call) {
    if (call == 1 || platform::LastError() != platform::kErrorInsufficientBuffer || size == 0) {
      size = 0;
      break;
    }
    if (size > kCookieBufferSize) {  // would not fit: refuse rather than cut a value
      size = 0;
      break;
    }
  }
  if (size == 0) buffer[0] = '\0';
  return size != 0;
}

}  // namespace net
