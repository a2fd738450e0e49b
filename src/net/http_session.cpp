// The HTTP session: requests to one server after another with the session's own cookies,
// redirects and failures. Sections, in order: the headers every request sends; helpers for
// statuses, origins, redirect hops, time and failures; the rounds of header queries asked
// together (AskRound); the session's connection and cookies (Connect, Close*, UseHost,
// MoveTo, TakeCookies); one request and its body (Send, Get, Post, ReadAll, Status); the
// header queries of photos (QueryFileInfo, QueryFileInfos); pages fetched together
// (GetPages); and the cookie the host may read (ReadCookie).
#include "net/http_session.h"

#include <cstring>
#include <map>
#include <new>
#include <tuple>

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

bool IsRedirect(std::uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsSuccess(std::uint32_t status) {
  return status >= 200 && status < 300;
}

// A server as given, or, when it cannot be parsed, a plain host name that fails there.
Origin OriginOf(const std::string& server) {
  Origin origin;
  if (!ParseServer(server.c_str(), &origin)) origin = Origin{false, server, 0};
  return origin;
}

// Where a request answered with a redirect to location goes next, from *origin and *target
// (replaced when it is followed): at most kMaxRedirects hops, by FollowRedirect's rules,
// the new target encoded for the request line.
enum class Hop { kFollowed, kTooMany, kRefused };
Hop NextHop(const Origin& first, int redirects, const std::string& location, Fetch kind,
            Origin* origin, std::string* target) {
  if (redirects == kMaxRedirects) return Hop::kTooMany;
  Origin to;
  std::string toPath;
  if (!FollowRedirect(first, *origin, *target, location, kind, &to, &toPath)) return Hop::kRefused;
  *origin = to;
  *target = EncodeRequestPath(toPath);
  return Hop::kFollowed;
}

bool TimeIsUp(const platform::TransferWatch& watch) {
  return watch.deadline != 0 && platform::NowMilliseconds() >= watch.deadline;
}

// A size query failed in the way that says its server is down: it could not be reached,
// or it never answered.
// A server that refused the connection, timed out, or closed it without a word.
bool ServerDown(std::uint32_t error) {
  return error == platform::kErrorCannotConnect || error == platform::kErrorTimeout ||
         error == platform::kErrorConnectionAborted || error == platform::kErrorConnectionReset ||
         error == platform::kErrorInvalidServerResponse;
}

// One size query of a batch on its way: where it is asked now and how.
struct PendingQuery {
  std::size_t index;  // of the query, and of its result
  Origin first;       // the server it was first sent to
  Origin origin;      // the server it goes to now (after redirects)
  std::string target;
  bool head;       // asked with HEAD; a GET otherwise
  bool afterHead;  // a GET asked because the HEAD told no length
  int redirects;
};

// One request of a batch's round: the server it goes to and what is asked there.
struct RoundRequest {
  Origin origin;
  platform::HeaderQuery query;
};

// One round of a batch: the requests grouped by the server they go to and their verb
// (groups in the order of their first request, each in request order), each group asked at
// once, pauseMs after each group. The answers come back by request index.
std::vector<platform::HeaderAnswer> AskRound(platform::InternetHandle internet,
                                             const std::string& headers, const char* accept,
                                             const std::vector<RoundRequest>& requests,
                                             unsigned pauseMs, std::uint64_t* pauses,
                                             const platform::TransferWatch& watch) {
  std::map<std::tuple<bool, std::string, int, std::string>, std::size_t> groupOf;
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t r = 0; r < requests.size(); ++r) {
    const Origin& o = requests[r].origin;
    const auto key = std::make_tuple(o.secure, o.host, o.port, requests[r].query.verb);
    const auto found = groupOf.emplace(key, groups.size());
    if (found.second) groups.emplace_back();
    groups[found.first->second].push_back(r);
  }
  std::vector<platform::HeaderAnswer> answers(requests.size());
  for (const std::vector<std::size_t>& group : groups) {
    const Origin& origin = requests[group.front()].origin;
    std::vector<platform::HeaderQuery> asked;
    for (std::size_t r : group)
      asked.push_back(requests[r].query);
    std::vector<platform::HeaderAnswer> got;
    if (TimeIsUp(watch)) {
      // Past the deadline nothing more is asked: every request of the group is stopped.
      got.assign(asked.size(), platform::HeaderAnswer{});
      for (platform::HeaderAnswer& a : got)
        a.error = platform::kErrorCancelled;
    } else {
      platform::NetQueryHeaders(internet, origin.host.c_str(), origin.EffectivePort(),
                                origin.secure ? platform::kRequestFlagSecure : 0, headers.c_str(),
                                accept, asked, &got, &watch);
    }
    got.resize(asked.size());
    for (std::size_t k = 0; k < group.size(); ++k)
      answers[group[k]] = std::move(got[k]);
    if (pauseMs != 0) {
      platform::SleepMilliseconds(pauseMs);
      ++*pauses;
    }
  }
  return answers;
}
}  // namespace

bool IsCertificateFailure(Failure failure) {
  return failure == Failure::kCertificateIssuer || failure == Failure::kCertificateName ||
         failure == Failure::kCertificateDate || failure == Failure::kCertificateInvalid ||
         failure == Failure::kSecureChannel;
}

Failure FailureOf(std::uint32_t error) {
  switch (error) {
    case platform::kErrorCertificateIssuer:
      return Failure::kCertificateIssuer;
    case platform::kErrorCertificateName:
      return Failure::kCertificateName;
    case platform::kErrorCertificateDate:
      return Failure::kCertificateDate;
    case platform::kErrorCertificateInvalid:
    case platform::kErrorCertificateRevoked:
    case platform::kErrorCertificateRevocation:
    case platform::kErrorCertificateErrors:
    case platform::kErrorCertificateNoRevocation:
      return Failure::kCertificateInvalid;
    case platform::kErrorSecureChannel:
      return Failure::kSecureChannel;
    case platform::kErrorTimeout:
      return Failure::kStalled;
    case platform::kErrorCancelled:
      return Failure::kStopped;
    default:
      return Failure::kConnection;
  }
}

HttpSession::HttpSession() : headers_(kExtraHeaders), cookies_(platform::CurrentUnixTime) {}

CookieOrigin HttpSession::CookieOriginOf(const Origin& origin, const std::string& target) {
  return CookieOrigin{origin.host, target, origin.secure};
}

void HttpSession::TakeCookies(const std::vector<std::string>& lines, const Origin& origin,
                              const std::string& target) {
  const CookieOrigin from = CookieOriginOf(origin, target);
  for (const std::string& line : lines)
    cookies_.Take(line, from);
}

HttpSession::~HttpSession() {
  CloseAll();
}

bool HttpSession::Connect() {
  if (!internet_) {
    internet_ = platform::NetOpen(kUserAgent);
    if (!internet_) return false;
  }
  if (!connection_) {
    connection_ = platform::NetConnect(internet_, host_ ? origin_.host.c_str() : kNoHost,
                                       origin_.EffectivePort());
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
  // A server that cannot be parsed is handed on as a plain host name, and fails there.
  Origin origin;
  if (!ParseServer(h.c_str(), &origin)) origin = Origin{false, h, 0};
  // The same server again after a redirect took the connection elsewhere: back to it.
  MoveTo(origin);
}

void HttpSession::MoveTo(const Origin& origin) {
  if (origin.secure != origin_.secure || origin.host != origin_.host ||
      origin.port != origin_.port) {
    CloseConnection();
  }
  origin_ = origin;
}

bool HttpSession::Fail(Failure failure, std::uint32_t error) {
  failure_ = failure;
  error_ = error;
  CloseRequest();
  return false;
}

bool HttpSession::Send(const char* verb, const char* path, const char* body, const char* referrer,
                       const char* accept, std::uint32_t flags, Fetch kind) {
  failure_ = Failure::kNone;
  error_ = 0;
  refusedLocation_.clear();
  const Origin first = origin_;
  std::string method = verb;
  // The target goes on the request line encoded, on every platform alike.
  std::string target = path ? EncodeRequestPath(path) : "";
  for (int redirects = 0;; ++redirects) {
    if (!Connect()) {
      const std::uint32_t error = platform::LastError();
      return Fail(FailureOf(error), error);
    }
    CloseRequest();
    std::uint32_t requestFlags = flags | platform::kRequestFlagNoRedirect;
    if (origin_.secure) requestFlags |= platform::kRequestFlagSecure;
    request_ =
        platform::NetOpenRequest(connection_, method.c_str(), path ? target.c_str() : nullptr,
                                 referrer, accept, requestFlags);
    if (request_) platform::NetWatchRequest(request_, watch_);
    const std::uint32_t bodyLength = body ? std::uint32_t(std::strlen(body)) : 0;
    answeredPath_ = target;
    // The jar's cookies for this hop, and those its answer sets, redirects included.
    const std::string cookie = cookies_.HeaderFor(CookieOriginOf(origin_, target));
    const std::string headers = cookie.empty() ? headers_ : headers_ + "Cookie: " + cookie + "\r\n";
    if (!request_ || !platform::NetSendRequest(request_, headers.c_str(), body, bodyLength)) {
      const std::uint32_t error = platform::LastError();
      return Fail(FailureOf(error), error);
    }
    std::vector<std::string> setCookies;
    if (platform::NetQuerySetCookies(request_, &setCookies))
      TakeCookies(setCookies, origin_, target);
    const std::uint32_t status = Status();
    std::string location;
    // A redirect without a Location is an answer like any other.
    if (!IsRedirect(status) || !platform::NetQueryLocation(request_, &location)) return true;
    Origin to = origin_;
    switch (NextHop(first, redirects, location, kind, &to, &target)) {
      case Hop::kTooMany:
        return Fail(Failure::kTooManyRedirects);
      case Hop::kRefused:
        refusedLocation_ = location.substr(0, 200);
        return Fail(Failure::kRedirectRefused);
      case Hop::kFollowed:
        break;
    }
    // As browsers do: a form answered with 301, 302 or 303 is followed by a plain GET. A
    // HEAD stays a HEAD wherever it is sent.
    if (method != "HEAD" &&
        (status == 303 || (method == "POST" && status != 307 && status != 308))) {
      method = "GET";
      body = nullptr;
    }
    CloseRequest();
    MoveTo(to);
    path = target.c_str();
  }
}

bool HttpSession::Get(const char* server, const char* path, const char* referrer, Fetch kind) {
  UseHost(server);
  return Send("GET", path, nullptr, referrer, kPageAccept, 0, kind);
}

bool HttpSession::Post(const char* server, const char* path, const char* body,
                       const char* referrer) {
  UseHost(server);
  return Send("POST", path, body, referrer, kPageAccept, 0, Fetch::kPage);
}

const char* HttpSession::ReadAll(std::uint32_t* length) {
  if (capacity_ < kCapacity) {
    readBuffer_.reset(new char[kCapacity + 1]);
    resultBuffer_.reset(new char[kCapacity + 1]);
    capacity_ = kCapacity;
  }
  *length = 0;
  resultBuffer_[0] = '\0';
  readFailure_ = ReadFailure::kNone;
  bytesArrived_ = 0;
  announced_ = -1;
  if (!request_) return nullptr;
  // A body that stops short of the length the server announced was cut off (a reset
  // connection): it is a failed read, never a page. Without a length, the end of the
  // connection ends the body. A length past the buffer is refused before any read.
  std::uint64_t announced = 0;
  const bool hasLength = platform::NetQueryContentLength64(request_, &announced);
  if (hasLength)
    announced_ =
        std::int64_t(announced > 0x7FFFFFFFFFFFFFFFull ? 0x7FFFFFFFFFFFFFFFull : announced);
  if (hasLength && announced > capacity_) {
    readFailure_ = ReadFailure::kTooLarge;
    CloseRequest();  // the rest of that body is not waited for
    return nullptr;
  }
  std::uint32_t chunk = 0;
  bool ok = platform::NetReadFile(request_, readBuffer_.get(), capacity_, &chunk);
  ++reads_;
  bool overflow = false;
  for (bool first = true;; first = false) {
    // Nothing is ever written past the buffer: a response longer than it fails whole.
    if (chunk > capacity_ - *length) {
      overflow = true;
      break;
    }
    std::memcpy(resultBuffer_.get() + *length, readBuffer_.get(), chunk);
    *length += chunk;
    // A read that failed is the end: what it brought is counted, and nothing is read after
    // it (a second read would only say that the handle is gone, not why).
    if (!ok || (chunk == 0 && !first)) break;
    platform::SleepMilliseconds(kReadPauseMs);
    ++pauses_;
    ok = platform::NetReadFile(request_, readBuffer_.get(), capacity_, &chunk);
    ++reads_;
  }
  const std::uint32_t error = ok ? 0 : platform::LastError();
  resultBuffer_[*length] = '\0';
  bytesArrived_ = *length;
  if (overflow) {
    readFailure_ = ReadFailure::kTooLarge;
  } else if (!ok) {
    readFailure_ = error == platform::kErrorTimeout     ? ReadFailure::kStalled
                   : error == platform::kErrorCancelled ? ReadFailure::kStopped
                   : *length >= capacity_               ? ReadFailure::kTooLarge
                                                        : ReadFailure::kBrokenOff;
  } else if (hasLength && *length < announced) {
    readFailure_ = ReadFailure::kBrokenOff;
  }
  if (readFailure_ != ReadFailure::kNone) {
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

std::uint64_t HttpSession::QueryFileInfo(const char* server, const char* path, const char* referrer,
                                         platform::SystemTime* time, SizeMethod* method) {
  UseHost(server);
  const bool askHead = !method || *method == SizeMethod::kHead;
  std::uint64_t size = 0;
  if (askHead) {
    if (!Send("HEAD", path, nullptr, referrer, kInfoAccept, platform::kRequestFlagKeepConnection,
              Fetch::kPhoto)) {
      return 0;
    }
    const std::uint32_t status = Status();
    const bool refused = status == 405 || status == 501;
    if (!refused && platform::NetQueryContentLength64(request_, &size)) {
      // An error status tells nothing of the photo: the length is the error page's.
      if (IsSuccess(status)) platform::NetQueryLastModified(request_, time);
      CloseRequest();  // nothing to read: the connection serves the next request
      return IsSuccess(status) ? size : 0;
    }
    if (refused && method) *method = SizeMethod::kGet;
  }
  // The GET stops after the headers: its body is never read, and its connection is not
  // reused since the rest of the body would still be on it.
  if (!Send("GET", path, nullptr, referrer, kInfoAccept, platform::kRequestFlagKeepConnection,
            Fetch::kPhoto)) {
    return 0;
  }
  const bool found = IsSuccess(Status());
  const bool known = found && platform::NetQueryContentLength64(request_, &size);
  if (found) platform::NetQueryLastModified(request_, time);
  CloseConnection();
  if (askHead && known && method) *method = SizeMethod::kGet;  // only the GET tells the size
  return known ? size : 0;
}

std::vector<FileInfo> HttpSession::QueryFileInfos(const std::vector<FileQuery>& queries) {
  std::vector<FileInfo> infos(queries.size());
  failure_ = Failure::kNone;
  error_ = 0;
  givenUp_.clear();
  if (queries.empty()) return infos;
  // The batch opens connections of its own: with the session's closed, no server sees more
  // than the batch's limit at once.
  CloseConnection();
  if (!internet_) internet_ = platform::NetOpen(kUserAgent);
  if (!internet_) return infos;
  // How each server is asked, by the server as given: HEAD until it refuses it. What one
  // batch learnt holds for the next: a server is taught the session once, not per listing.
  if (sizeMethods_.size() > limits::kMaxLearnedServers) sizeMethods_.clear();
  std::map<std::string, SizeMethod>& methods = sizeMethods_;
  // Two waves: each server's first queries (as many as are in flight at once) learn whether
  // it takes HEAD before the rest are asked; then all the others.
  std::vector<std::size_t> waves[2];
  std::map<std::string, std::size_t> perServer;
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const bool early = perServer[queries[i].server]++ < platform::kMaxQueriesInFlight;
    waves[early ? 0 : 1].push_back(i);
  }
  // Size queries that found their server down, by the server as given.
  std::map<std::string, int> downs;
  for (const std::vector<std::size_t>& wave : waves) {
    std::vector<PendingQuery> pending;
    for (std::size_t i : wave) {
      // A server that is down is not asked again in this batch: its photos keep size 0.
      if (downs[queries[i].server] >= limits::kMaxFailedSizeQueries) {
        infos[i].asked = false;
        continue;
      }
      const Origin origin = OriginOf(queries[i].server);
      const SizeMethod method = methods.emplace(queries[i].server, SizeMethod::kHead).first->second;
      pending.push_back(PendingQuery{i, origin, origin, EncodeRequestPath(queries[i].path),
                                     method == SizeMethod::kHead, false, 0});
    }
    // Rounds: every query still on its way is asked; a redirect or a refused HEAD puts it
    // back for the next round.
    while (!pending.empty()) {
      std::vector<RoundRequest> round;
      for (const PendingQuery& q : pending)
        round.push_back(RoundRequest{q.origin, {q.head ? "HEAD" : "GET", q.target, 0, {}}});
      const std::vector<platform::HeaderAnswer> answers =
          AskRound(internet_, headers_, kInfoAccept, round, 0, nullptr, watch_);
      std::vector<PendingQuery> next;
      for (std::size_t p = 0; p < pending.size(); ++p) {
        PendingQuery q = pending[p];
        const platform::HeaderAnswer& a = answers[p];
        FileInfo& info = infos[q.index];
        if (!a.answered) {  // no answer: not found
          info.error = a.error;
          if (a.error == platform::kErrorCancelled) info.asked = false;
          if (ServerDown(a.error) &&
              ++downs[queries[q.index].server] == limits::kMaxFailedSizeQueries)
            givenUp_.push_back(queries[q.index].server);
          continue;
        }
        if (IsRedirect(a.status) && !a.location.empty()) {
          // A redirect not followed leaves the photo not found.
          if (NextHop(q.first, q.redirects, a.location, Fetch::kPhoto, &q.origin, &q.target) ==
              Hop::kFollowed) {
            ++q.redirects;
            next.push_back(q);
          }
          continue;
        }
        if (q.head) {
          const bool refused = a.status == 405 || a.status == 501;
          if (refused || !a.hasLength) {
            // Asked again from the start with a GET whose body is never read.
            if (refused) methods[queries[q.index].server] = SizeMethod::kGet;
            next.push_back(PendingQuery{q.index, q.first, q.first,
                                        EncodeRequestPath(queries[q.index].path), false, true, 0});
            continue;
          }
        }
        if (!IsSuccess(a.status)) continue;  // an error page's length is not the photo's
        info.found = true;
        info.size = a.hasLength ? a.length : 0;
        info.hasTime = a.hasTime;
        info.time = a.time;
        // Only the GET tells the size: the rest of the batch asks this server with GET.
        if (q.afterHead && a.hasLength) methods[queries[q.index].server] = SizeMethod::kGet;
      }
      pending = std::move(next);
    }
  }
  return infos;
}

std::vector<PageAnswer> HttpSession::GetPages(const char* server,
                                              const std::vector<std::string>& paths) {
  std::vector<PageAnswer> answers(paths.size());
  failure_ = Failure::kNone;
  error_ = 0;
  UseHost(server);
  if (paths.empty()) return answers;
  // The batch opens connections of its own: with the session's closed, the server never
  // sees more than the batch's limit at once.
  CloseConnection();
  if (!internet_) internet_ = platform::NetOpen(kUserAgent);
  if (!internet_) {
    const std::uint32_t error = platform::LastError();
    for (PageAnswer& a : answers) {
      a.failure = FailureOf(error);
      a.error = error;
    }
    return answers;
  }
  struct PendingPage {
    std::size_t index;
    Origin origin;  // where it is asked now
    std::string target;
    int redirects;
  };
  const Origin first = origin_;
  std::vector<PendingPage> pending;
  for (std::size_t i = 0; i < paths.size(); ++i)
    pending.push_back(PendingPage{i, first, EncodeRequestPath(paths[i]), 0});
  // Rounds: every page still on its way is asked; a redirect followed puts it back for the
  // next round, grouped by the server it now goes to.
  while (!pending.empty()) {
    std::vector<RoundRequest> round;
    for (const PendingPage& q : pending) {
      round.push_back(RoundRequest{q.origin, {"GET", q.target, kCapacity, {}}});
      round.back().query.cookie = cookies_.HeaderFor(CookieOriginOf(q.origin, q.target));
    }
    // The pause between page reads follows each group.
    std::vector<platform::HeaderAnswer> got =
        AskRound(internet_, headers_, kPageAccept, round, kReadPauseMs, &pauses_, watch_);
    std::vector<PendingPage> next;
    for (std::size_t p = 0; p < pending.size(); ++p) {
      PendingPage q = pending[p];
      platform::HeaderAnswer& a = got[p];
      PageAnswer& page = answers[q.index];
      page.answeredPath = q.target;
      TakeCookies(a.setCookies, q.origin, q.target);
      if (!a.answered) {
        page.failure = FailureOf(a.error);
        page.error = a.error;
        continue;
      }
      // A redirect without a Location is an answer like any other.
      if (IsRedirect(a.status) && !a.location.empty()) {
        switch (NextHop(first, q.redirects, a.location, Fetch::kPage, &q.origin, &q.target)) {
          case Hop::kTooMany:
            page.failure = Failure::kTooManyRedirects;
            break;
          case Hop::kRefused:
            page.failure = Failure::kRedirectRefused;
            page.refusedLocation = a.location.substr(0, 200);
            break;
          case Hop::kFollowed:
            ++q.redirects;
            next.push_back(q);
            break;
        }
        continue;
      }
      page.sent = true;
      page.status = a.status;
      page.bodyRead = a.bodyRead;
      page.body.swap(a.body);
    }
    pending = std::move(next);
  }
  return answers;
}

bool HttpSession::ReadCookie(const char* url, char* buffer) {
  buffer[0] = '\0';
  Origin origin;
  if (!url || !ParseServer(url, &origin)) return false;
  bool secure = false;
  const char* afterScheme = url + SchemeLength(url, &secure);
  const char* slash = std::strchr(afterScheme, '/');
  const std::string path = slash ? slash : "/";
  const std::string text = cookies_.HeaderFor(CookieOriginOf(origin, path));
  // A string that does not fit is refused rather than cut inside a value.
  if (text.empty() || text.size() >= kCookieBufferSize) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace net
