// The internet layer over libcurl, behaving as the Windows library does for the calls the
// session makes: the proxy comes from the environment (http_proxy, https_proxy, no_proxy),
// redirects are followed unless the request says not to, curl's cookie engine is never on
// (the session keeps cookies itself and hands them over as a header), and a connection handle keeps
// one curl handle so that its requests share a kept-alive connection. Secure requests check the
// certificate whole (issuer against the system's trust store, name, dates); CURL_CA_BUNDLE in the
// environment names another CA file, as for the curl program (the tests' own CA).
//
// Sections, in order: the transfer guard (stall rule and watch); the handles (Internet,
// Connection, Request); curl's callbacks and the error codes as WinINet's (Collect,
// ErrorOf, KeepHeaders); the options every transfer gets (HeaderList, SetCommonOptions,
// UrlOf); the Net* calls on one request; and header batches over curl's multi interface
// (Slot, StartQuery, AnswerOf, NetQueryHeaders).
#include <curl/curl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_overrides.h"
#include "platform/header_batch.h"
#include "platform/internet.h"

namespace platform {

namespace {

// A body is kept up to this size; a longer one makes the final read fail.
constexpr std::size_t kBodyLimit = std::size_t(limits::kMaxAnswerBytes) + 1;

void InitOnce() {
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)done;
}

// The time bounds of one transfer, watched from curl's progress callback on the calling
// thread: the stall rule (no byte, header or body, for kStallMs), the watch's deadline and
// its proceed. Every time is read from the one clock, NowMilliseconds.
struct TransferGuard {
  TransferWatch watch;
  std::uint64_t lastByteAt = 0;
  curl_off_t lastBytes = 0;
  std::uint32_t stop = 0;  // why the guard stopped the transfer; 0 while it runs
  std::string location;    // the Location of the last response (a new status line forgets it)
  std::vector<std::string> setCookies;  // its Set-Cookie values, as many as the bound allows
  // Its Content-Length as sent (-1: none): curl keeps none of a length it refused.
  curl_off_t announced = -1;

  void Start(const TransferWatch& w) {
    watch = w;
    lastByteAt = NowMilliseconds();
    lastBytes = 0;
    stop = 0;
    location.clear();
    setCookies.clear();
    announced = -1;
  }
};

// curl's progress callback: 1 stops the transfer, with the reason kept in the guard.
int WatchTransfer(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto* g = static_cast<TransferGuard*>(user);
  const std::uint64_t clock = NowMilliseconds();
  if (now != g->lastBytes) {
    g->lastBytes = now;
    g->lastByteAt = clock;
  }
  if (clock - g->lastByteAt >= limits::kStallMs) {
    g->stop = kErrorTimeout;
    return 1;
  }
  if (g->watch.deadline != 0 && clock >= g->watch.deadline) {
    g->stop = kErrorCancelled;
    return 1;
  }
  if (g->watch.proceed &&
      !g->watch.proceed(g->watch.context, std::uint64_t(now), total > 0 ? total : -1)) {
    g->stop = kErrorCancelled;
    return 1;
  }
  return 0;
}

struct Request;

struct Handle {
  enum Kind { kInternet, kConnection, kRequest } kind;
  explicit Handle(Kind k) : kind(k) {}
};

struct Internet : Handle {
  Internet() : Handle(kInternet) {}
  std::string agent;
  // The header batches' transfers: its pool keeps their connections for the next batch.
  CURLM* multi = nullptr;
};

struct Connection : Handle {
  Connection() : Handle(kConnection) {}
  std::string agent;
  std::string server;
  int port = 80;
  CURL* curl = nullptr;
  std::set<Request*> requests;
};

struct Request : Handle {
  Request() : Handle(kRequest) {}
  Connection* connection = nullptr;
  std::string verb, object, referrer, accept;
  std::uint32_t flags = 0;
  std::string body;
  std::size_t readAt = 0;
  bool tooLong = false;
  // Why the body ended before it was whole (reset, stalled or stopped), once the headers
  // were in: the read that reaches that point fails with it. 0: the body is whole.
  std::uint32_t readError = 0;
  bool sent = false;
  bool headersOnly = false;  // a size-and-date query: the body is not fetched
  curl_off_t contentLength = -1;
  long lastModified = -1;
  long status = 0;
  TransferWatch watch;  // given by NetWatchRequest for the next send
  TransferGuard guard;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto* r = static_cast<Request*>(user);
  const std::size_t n = size * count;
  if (r->headersOnly) return 0;  // headers are in: stop here
  // Nothing may be thrown through curl: memory that cannot be had ends the body as too long.
  try {
    if (r->body.size() + n > kBodyLimit) {
      r->body.append(data, kBodyLimit - r->body.size());
      r->tooLong = true;
      return 0;
    }
    r->body.append(data, n);
  } catch (...) {
    r->tooLong = true;
    return 0;
  }
  return n;
}

// The Windows library's error code for a failed transfer; stop is the guard's reason when
// the guard stopped it.
std::uint32_t ErrorOf(CURLcode rc, long verifyResult, std::uint32_t stop) {
  if (rc == CURLE_ABORTED_BY_CALLBACK && stop != 0) return stop;
  if (rc == CURLE_OPERATION_TIMEDOUT) return kErrorTimeout;
  // OpenSSL's verification results (X509_V_ERR_...).
  enum : long {
    kUnableToGetIssuer = 2,
    kNotYetValid = 9,
    kHasExpired = 10,
    kSelfSignedLeaf = 18,
    kSelfSignedInChain = 19,
    kUnableToGetIssuerLocally = 20,
    kUnableToVerifyLeaf = 21,
    kRevoked = 23,
    kApplicationVerification = 50,
    kHostnameMismatch = 62,
  };
  if (rc == CURLE_PEER_FAILED_VERIFICATION) {
    switch (verifyResult) {
      case kUnableToGetIssuer:
      case kSelfSignedLeaf:
      case kSelfSignedInChain:
      case kUnableToGetIssuerLocally:
      case kUnableToVerifyLeaf:
        return kErrorCertificateIssuer;
      case kNotYetValid:
      case kHasExpired:
        return kErrorCertificateDate;
      case kRevoked:
        return kErrorCertificateRevoked;
      // The chain was sound and curl's own name check refused the certificate: curl leaves
      // the result sound, or marks it unspecified (1) or as the application's refusal.
      case 0:
      case 1:
      case kApplicationVerification:
      case kHostnameMismatch:
        return kErrorCertificateName;
      default:
        return kErrorCertificateInvalid;
    }
  }
  if (rc == CURLE_SSL_CONNECT_ERROR || rc == CURLE_SSL_CERTPROBLEM || rc == CURLE_SSL_CIPHER ||
      rc == CURLE_SSL_ISSUER_ERROR) {
    return kErrorSecureChannel;
  }
  return kErrorCannotConnect;
}

// A header's value: what follows its name, without the blanks and line end around it.
std::string HeaderValue(const char* data, std::size_t n, std::size_t nameLength) {
  std::size_t from = nameLength;
  while (from < n && (data[from] == ' ' || data[from] == '\t'))
    ++from;
  std::size_t to = n;
  while (to > from && (data[to - 1] == '\r' || data[to - 1] == '\n' || data[to - 1] == ' '))
    --to;
  return std::string(data + from, to - from);
}

// Keeps the Location and Set-Cookie headers of the last response (a new status line forgets
// them); a header line is a byte received, for the stall rule. Nothing is thrown through
// curl: a line that cannot be kept is left out.
std::size_t KeepHeaders(char* data, std::size_t size, std::size_t count, void* user) {
  auto* guard = static_cast<TransferGuard*>(user);
  guard->lastByteAt = NowMilliseconds();
  const std::size_t n = size * count;
  try {
    if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
      guard->location.clear();
      guard->setCookies.clear();
      guard->announced = -1;
    }
    if (n > 15 && strncasecmp(data, "Content-Length:", 15) == 0) {
      // Digits only; a length past what curl counts is as good as endless.
      constexpr curl_off_t kMaxOffset = std::numeric_limits<curl_off_t>::max();
      const std::string value = HeaderValue(data, n, 15);
      curl_off_t length = value.empty() ? -1 : 0;
      for (char c : value) {
        if (c < '0' || c > '9') {
          length = -1;
          break;
        }
        length = length > (kMaxOffset - 9) / 10 ? kMaxOffset : length * 10 + (c - '0');
      }
      guard->announced = length;
    }
    if (n > 9 && strncasecmp(data, "Location:", 9) == 0) {
      guard->location = HeaderValue(data, n, 9);
    } else if (n > 11 && strncasecmp(data, "Set-Cookie:", 11) == 0 &&
               guard->setCookies.size() < kMaxSetCookieLines) {
      std::string value = HeaderValue(data, n, 11);
      if (value.size() <= limits::kMaxCookieBytes) guard->setCookies.push_back(std::move(value));
    }
  } catch (...) {
  }
  return n;
}

std::vector<std::string> Lines(const char* block) {
  std::vector<std::string> out;
  std::string s = block ? block : "";
  std::size_t at = 0;
  while (at < s.size()) {
    std::size_t end = s.find("\r\n", at);
    if (end == std::string::npos) end = s.size();
    if (end > at) out.push_back(s.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
}

void CivilFromUnix(long t, SystemTime* st) {
  std::time_t tt = t;
  std::tm tm;
  gmtime_r(&tt, &tm);
  st->year = std::uint16_t(tm.tm_year + 1900);
  st->month = std::uint16_t(tm.tm_mon + 1);
  st->dayOfWeek = std::uint16_t(tm.tm_wday);
  st->day = std::uint16_t(tm.tm_mday);
  st->hour = std::uint16_t(tm.tm_hour);
  st->minute = std::uint16_t(tm.tm_min);
  st->second = std::uint16_t(tm.tm_sec);
  st->milliseconds = 0;
}

// The request's header lines: the accept type first; a header of the same name in the
// block replaces it.
curl_slist* HeaderList(const std::string& accept, const char* headers) {
  std::vector<std::string> lines{"Accept: " + accept};
  for (const std::string& line : Lines(headers)) {
    const std::string name = line.substr(0, line.find(':') + 1);
    lines.erase(
        std::remove_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return StartsWithNoCase(l, name.c_str()); }),
        lines.end());
    lines.push_back(line);
  }
  lines.push_back("Expect:");  // no 100-continue round trip for posted forms
  curl_slist* list = nullptr;
  for (const std::string& line : lines)
    list = curl_slist_append(list, line.c_str());
  return list;
}

// The options every request of a handle shares: a handle is reused, so each request sets
// them all again. The guard watches the transfer's time.
void SetCommonOptions(CURL* curl, const std::string& url, const std::string& agent,
                      curl_slist* list, TransferGuard* guard) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
  curl_easy_setopt(curl, CURLOPT_FILETIME, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(limits::kConnectMs));
  // The stall rule is the guard's, on the module's clock; curl's own is kept behind it.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(limits::kStallMs / 1000));
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, WatchTransfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, guard);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepHeaders);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, guard);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(0));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  const char* caFile = std::getenv("CURL_CA_BUNDLE");
  if (caFile && *caFile) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile);
}

// The address of object on server:port.
std::string UrlOf(bool secure, const std::string& server, int port, const std::string& object) {
  std::string url = std::string(secure ? "https://" : "http://") + server;
  if (port != (secure ? 443 : 80)) url += ":" + std::to_string(port);
  return url + object;
}

void Detach(Request* r) {
  if (r->connection) r->connection->requests.erase(r);
  r->connection = nullptr;
}

}  // namespace

InternetHandle NetOpen(const char* agent) {
  FL_OVERRIDABLE(netOpen, agent);
  InitOnce();
  auto* h = new Internet;
  h->agent = agent ? agent : "";
  return h;
}

InternetHandle NetConnect(InternetHandle internet, const char* server, int port) {
  FL_OVERRIDABLE(netConnect, internet, server, port);
  auto* i = static_cast<Internet*>(internet);
  if (!i || i->kind != Handle::kInternet || !server) return nullptr;
  if (!*server) {      // as the Windows library: a connection needs a server name
    SetLastError(87);  // ERROR_INVALID_PARAMETER
    return nullptr;
  }
  auto* c = new Connection;
  c->agent = i->agent;
  c->server = server;
  c->port = port;
  c->curl = curl_easy_init();
  if (!c->curl) {
    delete c;
    return nullptr;
  }
  return c;
}

InternetHandle NetOpenRequest(InternetHandle connection, const char* verb, const char* object,
                              const char* referrer, const char* accept, std::uint32_t flags) {
  FL_OVERRIDABLE(netOpenRequest, connection, verb, object, referrer, accept, flags);
  auto* c = static_cast<Connection*>(connection);
  if (!c || c->kind != Handle::kConnection) return nullptr;
  auto* r = new Request;
  r->connection = c;
  r->verb = verb ? verb : "GET";
  r->object = object ? object : "/";
  if (r->object.empty() || r->object[0] != '/') r->object = "/" + r->object;
  r->referrer = referrer ? referrer : "";
  r->accept = accept ? accept : "";
  r->flags = flags;
  c->requests.insert(r);
  return r;
}

bool NetSendRequest(InternetHandle request, const char* headers, const void* body,
                    std::uint32_t bodyLength) {
  FL_OVERRIDABLE(netSendRequest, request, headers, body, bodyLength);
  auto* r = static_cast<Request*>(request);
  if (!r || r->kind != Handle::kRequest || !r->connection) {
    SetLastError(6);  // ERROR_INVALID_HANDLE
    return false;
  }
  Connection* c = r->connection;
  CURL* curl = c->curl;  // reused, so that its kept-alive connection serves the next request

  const bool secure = (r->flags & kRequestFlagSecure) != 0;
  const std::string url = UrlOf(secure, c->server, c->port, r->object);

  curl_slist* list = HeaderList(r->accept, headers);

  r->body.clear();
  r->readAt = 0;
  r->tooLong = false;
  r->headersOnly = (r->flags & kRequestFlagKeepConnection) != 0;
  r->guard.Start(r->watch);
  SetCommonOptions(curl, url, c->agent, list, &r->guard);
  // A body is read up to the bound: a longer length announced ends the transfer at once.
  if (!r->headersOnly) curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kBodyLimit));
  curl_easy_setopt(curl, CURLOPT_REFERER, r->referrer.empty() ? nullptr : r->referrer.c_str());
  const bool follow = (r->flags & kRequestFlagNoRedirect) == 0;
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, r);
  // The handle is reused: every request says whether it wants a body.
  curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
  if (r->verb == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else if (r->verb == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);  // an answer to HEAD has no body to wait for
  } else if (r->verb == "POST") {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body ? bodyLength : 0));
    curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, body ? static_cast<const char*>(body) : "");
  } else {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, r->verb.c_str());
  }
  const CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(list);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r->status);
  // A length past the bound, announced or reached: the answer stands, its body does not.
  if (rc == CURLE_FILESIZE_EXCEEDED && r->status > 0) r->tooLong = true;
  const bool stoppedByUs =
      (rc == CURLE_WRITE_ERROR || rc == CURLE_FILESIZE_EXCEEDED) && (r->tooLong || r->headersOnly);
  // As the Windows library: once the status line and headers are in, the request was sent;
  // a body the server broke off short of its length fails the read that reaches the break.
  r->readError = 0;
  if (r->status > 0 && !stoppedByUs) {
    if (rc == CURLE_PARTIAL_FILE || rc == CURLE_RECV_ERROR) r->readError = kErrorConnectionReset;
    if (rc == CURLE_ABORTED_BY_CALLBACK || rc == CURLE_OPERATION_TIMEDOUT)
      r->readError = ErrorOf(rc, 0, r->guard.stop);
  }
  if (rc != CURLE_OK && !stoppedByUs && r->readError == 0) {
    long verifyResult = 0;
    curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    SetLastError(ErrorOf(rc, verifyResult, r->guard.stop));
    return false;
  }
  if (r->status <= 0) {  // no status line: no answer at all
    SetLastError(kErrorInvalidServerResponse);
    return false;
  }
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &r->contentLength);
  if (r->contentLength < 0) r->contentLength = r->guard.announced;
  curl_easy_getinfo(curl, CURLINFO_FILETIME, &r->lastModified);
  r->sent = true;
  return true;
}

bool NetReadFile(InternetHandle request, void* buffer, std::uint32_t size, std::uint32_t* read) {
  FL_OVERRIDABLE(netReadFile, request, buffer, size, read);
  auto* r = static_cast<Request*>(request);
  *read = 0;
  if (!r || r->kind != Handle::kRequest || !r->sent) {
    SetLastError(6);
    return false;
  }
  const std::size_t n = std::min<std::size_t>(size, r->body.size() - r->readAt);
  if (n == 0 && r->tooLong) {
    SetLastError(kErrorConnectionAborted);  // the transfer was ended at the bound
    return false;
  }
  if (n == 0 && r->readError != 0) {
    SetLastError(r->readError);
    return false;
  }
  std::memcpy(buffer, r->body.data() + r->readAt, n);
  r->readAt += n;
  *read = std::uint32_t(n);
  return true;
}

bool NetQueryContentLength(InternetHandle request, std::uint32_t* length) {
  FL_OVERRIDABLE(netQueryContentLength, request, length);
  std::uint64_t whole = 0;
  if (!NetQueryContentLength64(request, &whole) || whole > 0xFFFFFFFFu) return false;
  *length = std::uint32_t(whole);
  return true;
}

bool NetQueryContentLength64(InternetHandle request, std::uint64_t* length) {
  FL_OVERRIDABLE(netQueryContentLength64, request, length);
  auto* r = static_cast<Request*>(request);
  if (!r || r->kind != Handle::kRequest || !r->sent || r->contentLength < 0) return false;
  *length = std::uint64_t(r->contentLength);
  return true;
}

void NetWatchRequest(InternetHandle request, const TransferWatch& watch) {
  FL_OVERRIDABLE(netWatchRequest, request, watch);
  auto* r = static_cast<Request*>(request);
  if (r && r->kind == Handle::kRequest) r->watch = watch;
}

bool NetQueryStatusCode(InternetHandle request, std::uint32_t* status) {
  FL_OVERRIDABLE(netQueryStatusCode, request, status);
  auto* r = static_cast<Request*>(request);
  if (!r || r->kind != Handle::kRequest || !r->sent || r->status <= 0) return false;
  *status = std::uint32_t(r->status);
  return true;
}

bool NetQueryLocation(InternetHandle request, std::string* location) {
  FL_OVERRIDABLE(netQueryLocation, request, location);
  auto* r = static_cast<Request*>(request);
  if (!r || r->kind != Handle::kRequest || !r->sent || r->guard.location.empty()) return false;
  *location = r->guard.location;
  return true;
}

bool NetQueryLastModified(InternetHandle request, SystemTime* time) {
  FL_OVERRIDABLE(netQueryLastModified, request, time);
  auto* r = static_cast<Request*>(request);
  if (!r || r->kind != Handle::kRequest || !r->sent || r->lastModified < 0) return false;
  CivilFromUnix(r->lastModified, time);
  return true;
}

bool NetQuerySetCookies(InternetHandle request, std::vector<std::string>* lines) {
  FL_OVERRIDABLE(netQuerySetCookies, request, lines);
  auto* r = static_cast<Request*>(request);
  lines->clear();
  if (!r || r->kind != Handle::kRequest || !r->sent) return false;
  *lines = r->guard.setCookies;
  return true;
}

void NetCloseHandle(InternetHandle handle) {
  FL_OVERRIDABLE(netCloseHandle, handle);
  auto* h = static_cast<Handle*>(handle);
  if (!h) return;
  switch (h->kind) {
    case Handle::kInternet: {
      auto* i = static_cast<Internet*>(h);
      if (i->multi) curl_multi_cleanup(i->multi);  // and the connections it kept
      delete i;
      break;
    }
    case Handle::kConnection: {
      auto* c = static_cast<Connection*>(h);
      for (Request* r : std::set<Request*>(c->requests))
        Detach(r);
      curl_easy_cleanup(c->curl);
      delete c;
      break;
    }
    case Handle::kRequest: {
      auto* r = static_cast<Request*>(h);
      Detach(r);
      delete r;
      break;
    }
  }
}

namespace {

// One transfer of a header batch: an easy handle, reused for query after query so that the
// multi handle's kept-alive connections serve them.
struct Slot {
  CURL* curl = nullptr;
  std::size_t index = 0;  // the query it carries now
  bool head = true;
  TransferGuard guard;        // the stall rule of this query (the batch's watch is the caller's)
  std::uint32_t bodyCap = 0;  // a page's body is kept up to this; 0: stop at the body
  bool overflow = false;
  std::string body;
  curl_slist* ownHeaders = nullptr;  // the batch's headers and this query's Cookie
};

// A GET of a header batch stops at its first body byte: the headers are in.
std::size_t StopAtBody(char*, std::size_t, std::size_t, void*) {
  return 0;
}

// A page of a batch keeps its body, up to the cap: past it the transfer stops.
std::size_t KeepBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* slot = static_cast<Slot*>(user);
  const std::size_t n = size * count;
  if (n > slot->bodyCap - slot->body.size()) {
    slot->overflow = true;
    return 0;
  }
  // Nothing may be thrown through curl: memory that cannot be had fails this page alone.
  try {
    slot->body.append(data, n);
  } catch (...) {
    slot->overflow = true;
    return 0;
  }
  return n;
}

void StartQuery(CURLM* multi, Slot* slot, std::size_t index, const HeaderQuery& query,
                const std::string& url, const std::string& agent, curl_slist* list,
                const char* accept, const char* headers) {
  slot->index = index;
  slot->head = query.verb == "HEAD";
  slot->guard.Start(TransferWatch{});
  slot->bodyCap = query.bodyCap;
  slot->overflow = false;
  slot->body.clear();
  CURL* curl = slot->curl;
  curl_slist_free_all(slot->ownHeaders);
  slot->ownHeaders = nullptr;
  if (!query.cookie.empty()) {
    const std::string withCookie = QueryHeaderBlock(headers, query);
    slot->ownHeaders = HeaderList(accept ? accept : "", withCookie.c_str());
  }
  SetCommonOptions(curl, url, agent, slot->ownHeaders ? slot->ownHeaders : list, &slot->guard);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  if (query.bodyCap > 0) {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, slot);
  } else {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, StopAtBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
  }
  curl_easy_setopt(curl, CURLOPT_PRIVATE, slot);
  curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
  if (slot->head) {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (query.verb == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, query.verb.c_str());
  }
  curl_multi_add_handle(multi, curl);
}

HeaderAnswer AnswerOf(Slot& slot, CURLcode rc) {
  HeaderAnswer a;
  long status = 0;
  curl_easy_getinfo(slot.curl, CURLINFO_RESPONSE_CODE, &status);
  // A body cut short (a reset connection, or a length the server did not keep to) still
  // has its headers: the answer stands, its body does not.
  const bool bodyLost =
      slot.bodyCap > 0 && status > 0 &&
      (rc == CURLE_WRITE_ERROR || rc == CURLE_PARTIAL_FILE || rc == CURLE_RECV_ERROR);
  const bool stoppedByUs = (rc == CURLE_WRITE_ERROR && !slot.head) || bodyLost;
  if (rc != CURLE_OK && !stoppedByUs) {
    long verifyResult = 0;
    curl_easy_getinfo(slot.curl, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    a.error = ErrorOf(rc, verifyResult, slot.guard.stop);
    return a;
  }
  if (status <= 0) {
    a.error = kErrorInvalidServerResponse;
    return a;
  }
  a.answered = true;
  a.status = std::uint32_t(status);
  curl_off_t length = -1;
  curl_easy_getinfo(slot.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length >= 0) {
    a.hasLength = true;
    a.length = std::uint64_t(length);
  }
  long modified = -1;
  curl_easy_getinfo(slot.curl, CURLINFO_FILETIME, &modified);
  if (modified >= 0) {
    a.hasTime = true;
    CivilFromUnix(modified, &a.time);
  }
  a.location = slot.guard.location;
  if (slot.bodyCap > 0) a.setCookies.swap(slot.guard.setCookies);
  if (slot.bodyCap > 0 && rc == CURLE_OK && !slot.overflow) {
    a.bodyRead = true;
    a.body.swap(slot.body);
  }
  slot.body.clear();
  return a;
}

}  // namespace

// The batch over libcurl's multi interface on the calling thread: up to kMaxQueriesInFlight
// transfers at once, the multi handle's connection pool bounded to as many. The multi handle
// belongs to the internet handle, so the next batch finds the connections this one kept.
void NetQueryHeaders(InternetHandle internet, const char* server, int port, std::uint32_t flags,
                     const char* headers, const char* accept,
                     const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers,
                     const TransferWatch* watch) {
  FL_OVERRIDABLE(netQueryHeaders, internet, server, port, flags, headers, accept, queries, answers,
                 watch);
  if (!StartHeaderBatch(queries, answers)) return;
  auto* i = static_cast<Internet*>(internet);
  if (!i || i->kind != Handle::kInternet || !server || !*server) {
    for (HeaderAnswer& a : *answers)
      a.error = 87;  // ERROR_INVALID_PARAMETER, as a connection to no server
    return;
  }
  if (!i->multi) {
    i->multi = curl_multi_init();
    if (!i->multi) {
      for (HeaderAnswer& a : *answers)
        a.error = kErrorCannotConnect;
      return;
    }
    const long limit = long(kMaxQueriesInFlight);
    curl_multi_setopt(i->multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, limit);
    curl_multi_setopt(i->multi, CURLMOPT_MAX_HOST_CONNECTIONS, limit);
    curl_multi_setopt(i->multi, CURLMOPT_MAXCONNECTS, limit);
  }
  CURLM* multi = i->multi;
  const bool secure = (flags & kRequestFlagSecure) != 0;
  curl_slist* list = HeaderList(accept ? accept : "", headers);
  std::vector<Slot> slots(HeaderBatchWidth(queries.size()));
  std::size_t next = 0, done = 0;
  for (Slot& slot : slots) {
    slot.curl = curl_easy_init();
    if (!slot.curl) continue;
    StartQuery(multi, &slot, next, queries[next], UrlOf(secure, server, port, queries[next].object),
               i->agent, list, accept, headers);
    ++next;
  }
  std::size_t running = 0;
  for (const Slot& slot : slots)
    running += slot.curl ? 1 : 0;
  if (running == 0) {  // not one handle: nothing can be asked
    for (HeaderAnswer& a : *answers)
      a.error = kErrorCannotConnect;
    next = done = queries.size();
  }
  while (done < queries.size()) {
    int active = 0;
    curl_multi_perform(multi, &active);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Slot* slot = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &slot);
      const CURLcode rc = message->data.result;
      curl_multi_remove_handle(multi, slot->curl);
      (*answers)[slot->index] = AnswerOf(*slot, rc);
      ++done;
      if (next < queries.size()) {
        StartQuery(multi, slot, next, queries[next],
                   UrlOf(secure, server, port, queries[next].object), i->agent, list, accept,
                   headers);
        ++next;
      }
    }
    if (done == queries.size()) break;
    // The batch's watch, asked between waits of at most a second: at its deadline or at its
    // word, every query still on its way or not yet started fails.
    if (HeaderBatchStopped(watch, done, std::int64_t(queries.size()))) {
      CancelUnanswered(answers);
      break;
    }
    curl_multi_poll(multi, nullptr, 0, int(limits::kProgressIntervalMs), nullptr);
  }
  for (Slot& slot : slots) {
    if (!slot.curl) continue;
    curl_multi_remove_handle(multi, slot.curl);
    curl_easy_cleanup(slot.curl);
    curl_slist_free_all(slot.ownHeaders);
  }
  curl_slist_free_all(list);
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  FL_OVERRIDABLE(sleepMilliseconds, milliseconds);
  ::usleep(milliseconds * 1000u);
}

}  // namespace platform
