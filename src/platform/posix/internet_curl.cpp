// The internet layer over libcurl, behaving as the Windows library does for the calls the
// session makes: the proxy comes from the environment (http_proxy, https_proxy, no_proxy),
// redirects are followed unless the request says not to, one cookie store serves the whole
// process, and a connection handle keeps one curl handle so that its requests share a
// kept-alive connection. Secure requests check the certificate whole (issuer against the
// system's trust store, name, dates); CURL_CA_BUNDLE in the environment names another CA
// file, as for the curl program (the tests' own CA).
#include <curl/curl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_overrides.h"
#include "platform/internet.h"

namespace platform {

namespace {

// A body is kept up to this size; a longer one makes the final read fail.
constexpr std::size_t kBodyLimit = 20000001;

CURLSH* CookieStore() {
  static CURLSH* share = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURLSH* s = curl_share_init();
    curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    return s;
  }();
  return share;
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
  bool cutShort = false;  // the body ended before its Content-Length: the last read fails
  bool sent = false;
  bool headersOnly = false;  // a size-and-date query: the body is not fetched
  curl_off_t contentLength = -1;
  long lastModified = -1;
  long status = 0;
  std::string location;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto* r = static_cast<Request*>(user);
  const std::size_t n = size * count;
  if (r->headersOnly) return 0;  // headers are in: stop here
  if (r->body.size() + n > kBodyLimit) {
    r->body.append(data, kBodyLimit - r->body.size());
    r->tooLong = true;
    return 0;
  }
  r->body.append(data, n);
  return n;
}

// The Windows library's error code for a failed transfer.
std::uint32_t ErrorOf(CURLcode rc, long verifyResult) {
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

// Keeps the Location header of the last response (a new status line forgets it).
std::size_t KeepLocation(char* data, std::size_t size, std::size_t count, void* user) {
  auto* location = static_cast<std::string*>(user);
  const std::size_t n = size * count;
  std::string line(data, n);
  if (line.compare(0, 5, "HTTP/") == 0) location->clear();
  if (n > 9 && strncasecmp(data, "Location:", 9) == 0) {
    std::size_t from = 9;
    while (from < line.size() && (line[from] == ' ' || line[from] == '\t'))
      ++from;
    std::size_t to = line.size();
    while (to > from && (line[to - 1] == '\r' || line[to - 1] == '\n' || line[to - 1] == ' '))
      --to;
    *location = line.substr(from, to - from);
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
// them all again.
void SetCommonOptions(CURL* curl, const std::string& url, const std::string& agent,
                      curl_slist* list) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
  curl_easy_setopt(curl, CURLOPT_FILETIME, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
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

// What the Windows library says of an answer that came without a status line.
constexpr std::uint32_t kErrorInvalidServerResponse = 12152;
// ... and of a connection the server broke off in the middle of a body.
constexpr std::uint32_t kErrorConnectionReset = 12031;

void Detach(Request* r) {
  if (r->connection) r->connection->requests.erase(r);
  r->connection = nullptr;
}

}  // namespace

InternetHandle NetOpen(const char* agent) {
  FL_OVERRIDABLE(netOpen, agent);
  CookieStore();
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
  curl_easy_setopt(c->curl, CURLOPT_SHARE, CookieStore());
  curl_easy_setopt(c->curl, CURLOPT_COOKIEFILE, "");  // the cookie engine, nothing loaded
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
  SetCommonOptions(curl, url, c->agent, list);
  curl_easy_setopt(curl, CURLOPT_REFERER, r->referrer.empty() ? nullptr : r->referrer.c_str());
  const bool follow = (r->flags & kRequestFlagNoRedirect) == 0;
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, r);
  r->location.clear();
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepLocation);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &r->location);
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
  const bool stoppedByUs = rc == CURLE_WRITE_ERROR && (r->tooLong || r->headersOnly);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r->status);
  // As the Windows library: once the status line and headers are in, the request was sent;
  // a body the server broke off short of its length fails the read that reaches the break.
  r->cutShort = (rc == CURLE_PARTIAL_FILE || rc == CURLE_RECV_ERROR) && r->status > 0;
  if (rc != CURLE_OK && !stoppedByUs && !r->cutShort) {
    long verifyResult = 0;
    curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    SetLastError(ErrorOf(rc, verifyResult));
    return false;
  }
  if (r->status <= 0) {  // no status line: no answer at all
    SetLastError(kErrorInvalidServerResponse);
    return false;
  }
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &r->contentLength);
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
    SetLastError(12002);  // ERROR_INTERNET_TIMEOUT stands for a transfer cut short
    return false;
  }
  if (n == 0 && r->cutShort) {
    SetLastError(kErrorConnectionReset);
    return false;
  }
  std::memcpy(buffer, r->body.data() + r->readAt, n);
  r->readAt += n;
  *read = std::uint32_t(n);
  return true;
}

bool NetQueryContentLength(InternetHandle request, std::uint32_t* length) {
  FL_OVERRIDABLE(netQueryContentLength, request, length);
  auto* r = static_cast<Request*>(request);
  if (!r || r->kind != Handle::kRequest || !r->sent || r->contentLength < 0) return false;
  *length = std::uint32_t(r->contentLength);
  return true;
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
  if (!r || r->kind != Handle::kRequest || !r->sent || r->location.empty()) return false;
  *location = r->location;
  return true;
}

bool NetQueryLastModified(InternetHandle request, SystemTime* time) {
  FL_OVERRIDABLE(netQueryLastModified, request, time);
  auto* r = static_cast<Request*>(request);
  if (!r || r->kind != Handle::kRequest || !r->sent || r->lastModified < 0) return false;
  CivilFromUnix(r->lastModified, time);
  return true;
}

bool NetGetCookie(const char* url, char* buffer, std::uint32_t* size) {
  FL_OVERRIDABLE(netGetCookie, url, buffer, size);
  // The host and path the cookie must fit.
  std::string u = url ? url : "";
  const bool secure = u.rfind("https://", 0) == 0;
  const std::size_t hostAt = u.find("://") == std::string::npos ? 0 : u.find("://") + 3;
  const std::size_t pathAt = u.find('/', hostAt);
  std::string host =
      u.substr(hostAt, pathAt == std::string::npos ? std::string::npos : pathAt - hostAt);
  host = host.substr(0, host.find(':'));
  const std::string path = pathAt == std::string::npos ? "/" : u.substr(pathAt);

  CURL* curl = curl_easy_init();
  if (!curl) return false;
  curl_easy_setopt(curl, CURLOPT_SHARE, CookieStore());  // its cookies are the store's
  curl_slist* cookies = nullptr;
  curl_easy_getinfo(curl, CURLINFO_COOKIELIST, &cookies);
  std::string out;
  const long now = long(std::time(nullptr));
  for (curl_slist* c = cookies; c; c = c->next) {
    // domain, subdomains, path, secure, expiry, name, value: tab-separated
    std::vector<std::string> f;
    std::stringstream line(c->data);
    for (std::string part; std::getline(line, part, '\t');)
      f.push_back(part);
    if (f.size() < 7) continue;
    std::string domain = f[0];
    if (domain.rfind("#HttpOnly_", 0) == 0) domain = domain.substr(10);
    if (!domain.empty() && domain[0] == '.') domain = domain.substr(1);
    const bool tail = host.size() > domain.size() &&
                      host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
                      host[host.size() - domain.size() - 1] == '.';
    const bool domainOk = strcasecmp(host.c_str(), domain.c_str()) == 0 || (f[1] == "TRUE" && tail);
    const bool pathOk = path.rfind(f[2], 0) == 0;
    const bool secureOk = f[3] != "TRUE" || secure;
    const long expires = std::atol(f[4].c_str());
    if (!domainOk || !pathOk || !secureOk || (expires != 0 && expires < now)) continue;
    if (!out.empty()) out += "; ";
    out += f[5] + "=" + f[6];
  }
  curl_slist_free_all(cookies);
  curl_easy_cleanup(curl);
  if (out.empty()) {
    SetLastError(259);  // ERROR_NO_MORE_ITEMS: nothing stored for the address
    *size = 0;
    return false;
  }
  const std::uint32_t need = std::uint32_t(out.size() + 1);
  if (!buffer || *size < need) {
    SetLastError(kErrorInsufficientBuffer);
    *size = need;
    return false;
  }
  std::memcpy(buffer, out.c_str(), need);
  *size = need - 1;
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
  std::string location;
  std::uint32_t bodyCap = 0;  // a page's body is kept up to this; 0: stop at the body
  bool overflow = false;
  std::string body;
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
  slot->body.append(data, n);
  return n;
}

void StartQuery(CURLM* multi, Slot* slot, std::size_t index, const HeaderQuery& query,
                const std::string& url, const std::string& agent, curl_slist* list) {
  slot->index = index;
  slot->head = query.verb == "HEAD";
  slot->location.clear();
  slot->bodyCap = query.bodyCap;
  slot->overflow = false;
  slot->body.clear();
  CURL* curl = slot->curl;
  SetCommonOptions(curl, url, agent, list);
  curl_easy_setopt(curl, CURLOPT_SHARE, CookieStore());
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  if (query.bodyCap > 0) {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, slot);
  } else {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, StopAtBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
  }
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepLocation);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &slot->location);
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
    a.error = ErrorOf(rc, verifyResult);
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
    a.length = std::uint32_t(length);
  }
  long modified = -1;
  curl_easy_getinfo(slot.curl, CURLINFO_FILETIME, &modified);
  if (modified >= 0) {
    a.hasTime = true;
    CivilFromUnix(modified, &a.time);
  }
  a.location = slot.location;
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
                     const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers) {
  FL_OVERRIDABLE(netQueryHeaders, internet, server, port, flags, headers, accept, queries, answers);
  answers->assign(queries.size(), HeaderAnswer{});
  auto* i = static_cast<Internet*>(internet);
  if (queries.empty()) return;
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
  std::vector<Slot> slots(std::min(queries.size(), kMaxQueriesInFlight));
  std::size_t next = 0, done = 0;
  for (Slot& slot : slots) {
    slot.curl = curl_easy_init();
    if (!slot.curl) continue;
    StartQuery(multi, &slot, next, queries[next], UrlOf(secure, server, port, queries[next].object),
               i->agent, list);
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
                   UrlOf(secure, server, port, queries[next].object), i->agent, list);
        ++next;
      }
    }
    if (done < queries.size()) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  for (Slot& slot : slots) {
    if (!slot.curl) continue;
    curl_multi_remove_handle(multi, slot.curl);
    curl_easy_cleanup(slot.curl);
  }
  curl_slist_free_all(list);
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  ::usleep(milliseconds * 1000u);
}

}  // namespace platform
