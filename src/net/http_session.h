// The system's one HTTP client: one internet handle, one connection to one server and one
// request at a time, every request with the same headers and user agent, each response
// read whole into a buffer the session owns. A server is "[scheme://]host[:port]" (see
// address.h): https checks the server's certificate the system's way, never less. The
// session follows redirects itself, by the rules of FollowRedirect.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/limits.h"
#include "net/address.h"
#include "net/cookie_jar.h"
#include "net/failure.h"
#include "platform/internet.h"
#include "platform/platform.h"

namespace net {

// How a size query asks a server: with HEAD, or with a GET whose body is never read, for a
// server that refused HEAD earlier in the same listing.
enum class SizeMethod { kHead, kGet };

// One photo of a batch of size queries: its server ("[scheme://]host[:port]") and path.
struct FileQuery {
  std::string server;
  std::string path;
};

// What a size query learnt. Found: the server answered with success (2xx) after the
// redirects the photo rules follow; its Content-Length (0 without one) and its
// Last-Modified time when it sent one. Not found (the query failed, or the answer was an
// error or a redirect not followed): size 0 and no time.
struct FileInfo {
  bool found = false;
  bool asked = true;        // false: not asked, its server was given up or the time ran out
  std::uint32_t error = 0;  // the library's error when no answer came
  std::uint64_t size = 0;
  bool hasTime = false;
  platform::SystemTime time = {};
};

// What one page of a batch brought, as Get, Status, answeredPath and ReadAll tell of one
// page asked alone: sent is Get's result (failure, error and refusedLocation say why it
// failed); status and answeredPath are those of the answer after the redirects followed;
// bodyRead says the body came whole (ReadAll would have given it).
struct PageAnswer {
  bool sent = false;
  Failure failure = Failure::kNone;
  std::uint32_t error = 0;
  std::string refusedLocation;
  std::uint32_t status = 0;
  std::string answeredPath;
  bool bodyRead = false;
  std::string body;
};

constexpr char kUserAgent[] = "Opera/9.23 (Windows NT 5.1; U; ru)";
extern const char kExtraHeaders[];  // the 304-byte block sent with every request
constexpr std::uint32_t kCapacity = limits::kMaxAnswerBytes;
using limits::kCookieBufferSize;
using limits::kReadPauseMs;

class HttpSession {
 public:
  HttpSession();
  ~HttpSession();  // closes what is still open
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // Requests path from server with GET. A server that differs from the stored one (exact
  // byte comparison) closes everything first. kind picks the redirect rules.
  bool Get(const char* server, const char* path, const char* referrer, Fetch kind = Fetch::kPage);
  // Sends body with POST to path on server, as Get does: a form is never posted to
  // whichever server was asked last.
  bool Post(const char* server, const char* path, const char* body, const char* referrer);
  // The whole response of the last request, NUL-terminated, valid until the next ReadAll;
  // null (length 0) without a request, when a read failed, when the body is shorter than
  // its Content-Length, or when the response is longer than the buffer (a cut file is
  // never taken as whole).
  const char* ReadAll(std::uint32_t* length);
  // The status code of the last request's answer (200, 404, ...); 0 without one.
  std::uint32_t Status() const;
  // The path the last request's answer came from, as sent (after the redirects it
  // followed): the address a page's relative links are resolved against.
  const std::string& answeredPath() const { return answeredPath_; }
  // Content-Length of path on server (0 when there is none, or when the answer is an error
  // status); *time gets Last-Modified of a successful answer and is left as it was without
  // one. The size query follows redirects as a photo does. It asks
  // with HEAD and keeps the connection for the next request; a server that answers HEAD
  // with 405 or 501, or without a Content-Length, is asked again with a GET whose body is
  // not read (that connection is closed). *method (when given) says how to ask and becomes
  // kGet when the server refused HEAD (405, 501, or a length only the GET gives).
  std::uint64_t QueryFileInfo(const char* server, const char* path, const char* referrer,
                              platform::SystemTime* time, SizeMethod* method = nullptr);
  // The size and time of every query, by index, asked concurrently (at most
  // platform::kMaxQueriesInFlight in flight to one server, on connections of the batch's
  // own, the session's own connection closed first). Each server is asked with HEAD; one
  // that refuses it (405 or 501, or an answer without the length a GET gives) is asked
  // with a GET whose body is not read, for the rest of the session's life: a later batch
  // asks it with GET at once. Redirects are followed
  // as for a photo. The results are those that one QueryFileInfo after another would give
  // (an error status included), and nothing of the batch is left running on return.
  std::vector<FileInfo> QueryFileInfos(const std::vector<FileQuery>& queries);
  // Every path from server with GET, by index, asked concurrently as QueryFileInfos asks
  // (at most platform::kMaxQueriesInFlight in flight, on connections of the batch's own),
  // redirects followed by the rules of a page. Each answer is what Get, Status,
  // answeredPath and ReadAll would have told of that path asked alone; the server becomes
  // the stored one, as after Get. Nothing of the batch is left running on return.
  std::vector<PageAnswer> GetPages(const char* server, const std::vector<std::string>& paths);
  // Why the last Get, Post or QueryFileInfo failed (kNone after one that succeeded).
  Failure failure() const { return failure_; }
  // Why the last ReadAll gave no body (kNone after one that did), the bytes that had
  // arrived by then and the length the answer announced (-1 without one).
  ReadFailure readFailure() const { return readFailure_; }
  std::uint64_t bytesArrived() const { return bytesArrived_; }
  std::int64_t announcedLength() const { return announced_; }
  // Bounds every request, read and batch from now on by watch (its deadline, its proceed),
  // until the next call; an empty watch lifts the bound. The connect and stall times hold
  // for every request whatever the watch.
  void Watch(const platform::TransferWatch& watch) { watch_ = watch; }
  const platform::TransferWatch& watch() const { return watch_; }
  // Servers whose size queries were given up in the last QueryFileInfos: after
  // limits::kMaxFailedSizeQueries of them failed by time-out or refused connection, the
  // rest of that server's photos were not asked.
  const std::vector<std::string>& givenUpServers() const { return givenUp_; }
  // The internet library's error code of that failure (0 for one of the session's own).
  std::uint32_t error() const { return error_; }
  // The Location of a redirect that was refused (at most 200 bytes of it); empty otherwise.
  const std::string& refusedLocation() const { return refusedLocation_; }
  // The cookie string the jar sends to url, into buffer (260 bytes). A string that does
  // not fit is refused: empty buffer, false.
  bool ReadCookie(const char* url, char* buffer);
  // The session's cookies: every request carries those that apply to it, every page
  // answer's Set-Cookie headers go in (size queries carry none and keep none).
  CookieJar& cookies() { return cookies_; }

  void CloseRequest();
  void CloseConnection();
  void CloseAll();

  // Counters for benchmarks and tests: reads made and pauses taken by ReadAll, connection
  // handles opened.
  std::uint64_t reads() const { return reads_; }
  std::uint64_t connects() const { return connects_; }
  std::uint64_t pauses() const { return pauses_; }
  const char* host() const { return host_ ? host_->c_str() : nullptr; }

 private:
  bool Connect();
  // Sends the request and follows the redirects the rules allow; false with failure_ set.
  bool Send(const char* verb, const char* path, const char* body, const char* referrer,
            const char* accept, std::uint32_t flags, Fetch kind);
  bool Fail(Failure failure, std::uint32_t error = 0);
  void UseHost(const char* host);
  // Moves to a redirect's server; a different server closes the connection.
  void MoveTo(const Origin& origin);
  static CookieOrigin CookieOriginOf(const Origin& origin, const std::string& target);
  void TakeCookies(const std::vector<std::string>& lines, const Origin& origin,
                   const std::string& target);

  platform::InternetHandle internet_ = nullptr;
  platform::InternetHandle connection_ = nullptr;
  platform::InternetHandle request_ = nullptr;
  std::unique_ptr<std::string> host_;  // the server as given
  Origin origin_;                      // the server requests go to now
  Failure failure_ = Failure::kNone;
  std::uint32_t error_ = 0;
  std::string refusedLocation_;
  std::string answeredPath_;
  ReadFailure readFailure_ = ReadFailure::kNone;
  std::uint64_t bytesArrived_ = 0;
  std::int64_t announced_ = -1;
  platform::TransferWatch watch_;
  std::vector<std::string> givenUp_;
  // How each photo server tells a size, as its answers taught (HEAD until they say GET).
  std::map<std::string, SizeMethod> sizeMethods_;
  const std::string headers_;
  CookieJar cookies_;
  std::unique_ptr<char[]> readBuffer_;
  std::uint32_t capacity_ = 0;
  std::unique_ptr<char[]> resultBuffer_;
  std::uint64_t reads_ = 0;
  std::uint64_t pauses_ = 0;
  std::uint64_t connects_ = 0;
};

}  // namespace net
