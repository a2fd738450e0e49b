// The internet layer over WinINet. Certificates are checked as WinINet checks them by
// default: no flag that ignores any part of the check is ever set, and a failed check
// fails the request with WinINet's own error code.
//
// Time: WinINet's own time-outs (connect, send, receive) are set on every handle, but a
// receive time-out never bounds a server that sends a byte now and then. So every call
// that waits for the network (sending a request, reading its body) runs on a thread of its
// own while the calling thread watches it in short slices: it asks the request's watch
// (its deadline, its proceed, on the calling thread as the host expects), applies the
// stall rule (no byte for kStallMs), and closes the request's handle to stop the call,
// which makes WinINet return at once. Nothing waits INFINITE.
//
// Sections, in order: the error codes checked against WinINet's; handles closed once (the
// lock, the watches, CloseForWatch); calls bounded in time (pinned threads, BoundedCall,
// WatchCall); the Net* calls on one request; and header batches over a pool of worker
// threads (HeaderBatch, ReadBody, AskOne, HeaderWorker, NetQueryHeaders).
#include <windows.h>
// After windows.h, which it builds on.
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_overrides.h"
#include "platform/header_batch.h"
#include "platform/internet.h"

namespace platform {

static_assert(kRequestFlagSecure == INTERNET_FLAG_SECURE, "the secure flag alone");
static_assert(kRequestFlagNoRedirect == INTERNET_FLAG_NO_AUTO_REDIRECT, "redirect flag");
static_assert(kRequestFlagKeepConnection == INTERNET_FLAG_KEEP_CONNECTION, "keep flag");
static_assert(kErrorCannotConnect == ERROR_INTERNET_CANNOT_CONNECT, "error code");
static_assert(kErrorTimeout == ERROR_INTERNET_TIMEOUT, "error code");
static_assert(kErrorCancelled == ERROR_INTERNET_OPERATION_CANCELLED, "error code");
static_assert(kErrorInvalidServerResponse == ERROR_HTTP_INVALID_SERVER_RESPONSE, "error code");
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

// ---- Handles closed once ----------------------------------------------------------------
// A request may be closed by the watch (to stop a call) and later by its owner: only the
// first close reaches WinINet.
CRITICAL_SECTION* HandleLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* l = new CRITICAL_SECTION;
    ::InitializeCriticalSection(l);
    return l;
  }();
  return lock;
}

struct Locked {
  Locked() { ::EnterCriticalSection(HandleLock()); }
  ~Locked() { ::LeaveCriticalSection(HandleLock()); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

// Requests the watch closed already, and the watch each request was given.
std::set<HINTERNET>& ClosedByWatch() {
  static auto* closed = new std::set<HINTERNET>;
  return *closed;
}
std::map<HINTERNET, TransferWatch>& Watches() {
  static auto* watches = new std::map<HINTERNET, TransferWatch>;
  return *watches;
}

void CloseForWatch(HINTERNET handle) {
  {
    const Locked locked;
    if (!ClosedByWatch().insert(handle).second) return;
  }
  ::InternetCloseHandle(handle);
}

// ---- Calls bounded in time ----------------------------------------------------------------
// How often a waiting call looks at its watch: well within the second the host may wait
// for a progress call.
constexpr DWORD kSliceMs = 100;
// A call the watch stopped by closing its handle returns at once on Windows; Wine releases
// it only at its receive time-out. So it is waited for this long at most, then left to end
// on its own: it owns everything it touches, and its thread keeps the module loaded.
constexpr DWORD kAfterCloseMs = 250;

// A thread that holds a reference on this module until it ends, so that a call left to
// end on its own never runs in a module the host has unloaded meanwhile.
struct PinnedStart {
  LPTHREAD_START_ROUTINE routine;
  void* argument;
  HMODULE module;
};

DWORD WINAPI RunPinned(void* argument) {
  const PinnedStart start = *static_cast<PinnedStart*>(argument);
  delete static_cast<PinnedStart*>(argument);
  start.routine(start.argument);
  ::FreeLibraryAndExitThread(start.module, 0);
  return 0;
}

HANDLE StartPinnedThread(LPTHREAD_START_ROUTINE routine, void* argument) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&RunPinned), &module)) {
    return nullptr;
  }
  auto* start = new PinnedStart{routine, argument, module};
  HANDLE thread = ::CreateThread(nullptr, 0, RunPinned, start, 0, nullptr);
  if (!thread) {
    delete start;
    ::FreeLibrary(module);
  }
  return thread;
}

// One blocking call, shared by the thread that makes it and the thread that watches it.
struct BoundedCall {
  HINTERNET request = nullptr;
  bool sending = false;
  // Sending: the request's headers and body, owned here.
  std::string headers, body;
  // Reading: up to size bytes, copied into target while the watcher has not let go of it.
  std::uint32_t size = 0;
  char* target = nullptr;
  bool abandoned = false;  // the watcher returned: target is no longer the call's
  CRITICAL_SECTION lock;
  volatile LONG done = 0;  // body bytes read so far
  BOOL ok = FALSE;
  DWORD error = 0;
  BoundedCall() { ::InitializeCriticalSection(&lock); }
  ~BoundedCall() { ::DeleteCriticalSection(&lock); }
};

DWORD WINAPI RunBoundedCall(void* argument) {
  // The thread owns one reference; the watcher the other.
  std::unique_ptr<std::shared_ptr<BoundedCall>> own(
      static_cast<std::shared_ptr<BoundedCall>*>(argument));
  BoundedCall& c = **own;
  try {
    if (c.sending) {
      c.ok = ::HttpSendRequestA(c.request, c.headers.c_str(), DWORD(-1),
                                c.body.empty() ? nullptr : &c.body[0], DWORD(c.body.size()));
      c.error = c.ok ? 0 : ::GetLastError();
      return 0;
    }
    // As much as is there at a time, so that every byte that arrives is counted at once.
    std::vector<char> chunk(65536);
    c.ok = TRUE;
    while (std::uint32_t(c.done) < c.size) {
      DWORD available = 0;
      if (!::InternetQueryDataAvailable(c.request, &available, 0, 0)) {
        c.ok = FALSE;
        c.error = ::GetLastError();
        break;
      }
      if (available == 0) break;  // the end of the body
      const DWORD want =
          std::min<DWORD>({available, DWORD(chunk.size()), DWORD(c.size - std::uint32_t(c.done))});
      DWORD got = 0;
      if (!::InternetReadFile(c.request, chunk.data(), want, &got)) {
        c.ok = FALSE;
        c.error = ::GetLastError();
        break;
      }
      if (got == 0) break;
      ::EnterCriticalSection(&c.lock);
      if (!c.abandoned) std::memcpy(c.target + c.done, chunk.data(), got);
      const bool stop = c.abandoned;
      ::LeaveCriticalSection(&c.lock);
      if (stop) break;
      ::InterlockedExchangeAdd(&c.done, LONG(got));
    }
  } catch (...) {
    c.ok = FALSE;
    c.error = ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

// Runs the call and watches it; false with the last error set when it failed or was
// stopped (kErrorTimeout for a stall, kErrorCancelled for the deadline or proceed).
bool WatchCall(const std::shared_ptr<BoundedCall>& call, std::int64_t total) {
  TransferWatch watch;
  {
    const Locked locked;
    const auto found = Watches().find(call->request);
    if (found != Watches().end()) watch = found->second;
  }
  auto* reference = new std::shared_ptr<BoundedCall>(call);
  HANDLE thread = StartPinnedThread(RunBoundedCall, reference);
  if (!thread) {  // no thread to spare: the call is made here, bounded by WinINet alone
    delete reference;
    auto* self = new std::shared_ptr<BoundedCall>(call);
    RunBoundedCall(self);
  } else {
    std::uint64_t lastByteAt = NowMilliseconds();
    LONG seen = 0;
    std::uint32_t stop = 0;
    while (::WaitForSingleObject(thread, kSliceMs) == WAIT_TIMEOUT) {
      const std::uint64_t now = NowMilliseconds();
      const LONG done = call->done;
      if (done != seen) {
        seen = done;
        lastByteAt = now;
      }
      if (now - lastByteAt >= limits::kStallMs) {
        stop = kErrorTimeout;
      } else if (watch.deadline != 0 && now >= watch.deadline) {
        stop = kErrorCancelled;
      } else if (watch.proceed && !watch.proceed(watch.context, std::uint64_t(done), total)) {
        stop = kErrorCancelled;
      }
      if (stop != 0) break;
    }
    if (stop != 0) {
      ::EnterCriticalSection(&call->lock);
      call->abandoned = true;
      ::LeaveCriticalSection(&call->lock);
      CloseForWatch(call->request);
      ::WaitForSingleObject(thread, kAfterCloseMs);
      ::CloseHandle(thread);
      ::SetLastError(stop);
      return false;
    }
    ::CloseHandle(thread);
    if (watch.proceed && call->ok) watch.proceed(watch.context, std::uint64_t(call->done), total);
  }
  if (!call->ok) ::SetLastError(call->error);
  return call->ok != FALSE;
}

}  // namespace

InternetHandle NetOpen(const char* agent) {
  FL_OVERRIDABLE(netOpen, agent);
  HINTERNET internet = ::InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (internet) {
    // Inherited by every connection and request made under this handle.
    DWORD connect = limits::kConnectMs, stall = limits::kStallMs;
    ::InternetSetOptionA(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    ::InternetSetOptionA(internet, INTERNET_OPTION_SEND_TIMEOUT, &stall, sizeof stall);
    ::InternetSetOptionA(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &stall, sizeof stall);
  }
  return internet;
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
  // The library's own cookie handling is off: the session sends and keeps cookies itself,
  // by the same rules as on every platform.
  return ::HttpOpenRequestA(static_cast<HINTERNET>(connection), verb, object, nullptr, referrer,
                            types, (flags & ~kIgnoreFlags) | INTERNET_FLAG_NO_COOKIES, 1);
}

bool NetSendRequest(InternetHandle request, const char* headers, const void* body,
                    std::uint32_t bodyLength) {
  FL_OVERRIDABLE(netSendRequest, request, headers, body, bodyLength);
  if (!request) return false;
  auto call = std::make_shared<BoundedCall>();
  call->request = static_cast<HINTERNET>(request);
  call->sending = true;
  call->headers = headers ? headers : "";
  if (body && bodyLength) call->body.assign(static_cast<const char*>(body), bodyLength);
  if (!WatchCall(call, -1)) return false;
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
  *read = 0;
  if (!request) return false;
  std::uint64_t length = 0;
  const std::int64_t total = NetQueryContentLength64(request, &length) ? std::int64_t(length) : -1;
  auto call = std::make_shared<BoundedCall>();
  call->request = static_cast<HINTERNET>(request);
  call->size = size;
  call->target = static_cast<char*>(buffer);
  const bool ok = WatchCall(call, total);
  *read = std::uint32_t(call->done);
  return ok;
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

bool NetQueryContentLength64(InternetHandle request, std::uint64_t* length) {
  FL_OVERRIDABLE(netQueryContentLength64, request, length);
  char text[32] = {};
  DWORD size = sizeof text - 1;
  if (!::HttpQueryInfoA(static_cast<HINTERNET>(request), HTTP_QUERY_CONTENT_LENGTH, text, &size,
                        nullptr)) {
    return false;
  }
  std::uint64_t value = 0;
  bool digits = false;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    if (value > (~std::uint64_t(0) - 9) / 10) return false;
    value = value * 10 + std::uint64_t(*p - '0');
    digits = true;
  }
  if (!digits) return false;
  *length = value;
  return true;
}

void NetWatchRequest(InternetHandle request, const TransferWatch& watch) {
  FL_OVERRIDABLE(netWatchRequest, request, watch);
  if (!request) return;
  const Locked locked;
  Watches()[static_cast<HINTERNET>(request)] = watch;
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

bool NetQuerySetCookies(InternetHandle request, std::vector<std::string>* lines) {
  FL_OVERRIDABLE(netQuerySetCookies, request, lines);
  lines->clear();
  if (!request) return false;
  // One header after another by index; a value longer than a cookie may be is left out.
  std::vector<char> buffer(limits::kMaxCookieBytes + 1);
  for (DWORD index = 0; lines->size() < kMaxSetCookieLines;) {
    DWORD size = DWORD(buffer.size());
    const DWORD asked = index;
    if (::HttpQueryInfoA(static_cast<HINTERNET>(request), HTTP_QUERY_SET_COOKIE, buffer.data(),
                         &size, &index)) {
      lines->emplace_back(buffer.data(), size);
    } else if (::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      index = asked + 1;
    } else {
      break;
    }
    if (index <= asked) break;  // a library that does not move on is not asked again
  }
  return true;
}

void NetCloseHandle(InternetHandle handle) {
  FL_OVERRIDABLE(netCloseHandle, handle);
  if (!handle) return;
  const HINTERNET h = static_cast<HINTERNET>(handle);
  {
    const Locked locked;
    Watches().erase(h);
    // A request the watch closed is gone already; its value may come back for a new handle.
    if (ClosedByWatch().erase(h) != 0) return;
  }
  ::InternetCloseHandle(h);
}

namespace {

// A header batch shared by its workers and the caller: each worker takes the next query
// until none is left or the batch is stopped. It lives as long as its last user: a caller
// that stopped waiting never leaves a worker with memory that is gone.
struct HeaderBatch {
  InternetHandle internet;
  std::string server;
  int port;
  std::uint32_t flags;
  std::string headers;
  std::string accept;
  std::vector<HeaderQuery> queries;
  std::vector<HeaderAnswer> answers;  // written under the handle lock
  volatile LONG next = 0;
  volatile LONG alive = 0;     // workers still running
  volatile LONG answered = 0;  // queries done, for the watch's proceed
  volatile LONG stopped = 0;   // the caller stopped the batch: no query is started
  // Each worker's request in flight, so that the caller can close it to stop the batch.
  HINTERNET current[kMaxQueriesInFlight] = {};
};

// A page's body, whole: read to its end within the cap, and as long as its Content-Length
// says; otherwise none at all.
void ReadBody(InternetHandle request, std::uint32_t cap, HeaderAnswer* a) {
  std::uint32_t announced = 0;
  const bool hasLength = NetQueryContentLength(request, &announced);
  std::string body;
  std::vector<char> buffer(65536);
  for (;;) {
    std::uint32_t read = 0;
    if (!NetReadFile(request, buffer.data(), std::uint32_t(buffer.size()), &read)) return;
    if (read == 0) break;
    if (read > cap - body.size()) return;
    body.append(buffer.data(), read);
  }
  if (hasLength && body.size() < announced) return;
  a->bodyRead = true;
  a->body.swap(body);
}

// One query on the worker's connection. Every call goes through the overridable layer.
void AskOne(HeaderBatch& b, std::size_t worker, InternetHandle connection, const HeaderQuery& query,
            HeaderAnswer* a) {
  InternetHandle request = NetOpenRequest(
      connection, query.verb.c_str(), query.object.c_str(), nullptr, b.accept.c_str(),
      b.flags | kRequestFlagKeepConnection | kRequestFlagNoRedirect);
  {
    const Locked locked;
    b.current[worker] = static_cast<HINTERNET>(request);
  }
  const std::string headers = QueryHeaderBlock(b.headers.c_str(), query);
  const bool sent = request && NetSendRequest(request, headers.c_str(), nullptr, 0);
  if (!sent) {
    a->error = ::GetLastError();
  } else if (!NetQueryStatusCode(request, &a->status) || a->status == 0) {
    a->error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
  } else {
    a->answered = true;
    a->hasLength = NetQueryContentLength64(request, &a->length);
    a->hasTime = NetQueryLastModified(request, &a->time);
    if (!NetQueryLocation(request, &a->location)) a->location.clear();
    if (query.bodyCap > 0) {
      NetQuerySetCookies(request, &a->setCookies);
      ReadBody(request, query.bodyCap, a);
    }
  }
  {
    const Locked locked;
    b.current[worker] = nullptr;
  }
  // A GET's body is read only when asked for: closing the request lets its connection go.
  if (request) NetCloseHandle(request);
}

struct WorkerStart {
  std::shared_ptr<HeaderBatch> batch;
  std::size_t index;
};

// Fails every query not yet taken with error (the last worker standing does this).
void FailTheRest(HeaderBatch& b, DWORD error) {
  for (;;) {
    const LONG i = ::InterlockedIncrement(&b.next) - 1;
    if (i < 0 || std::size_t(i) >= b.queries.size()) return;
    const Locked locked;
    b.answers[std::size_t(i)].error = error;
  }
}

// A worker: a connection handle of its own, kept for every query it takes. A worker whose
// connection fails fails one query and leaves the rest to the others (the last one fails
// what is left): one bad connection never drains the batch.
DWORD WINAPI HeaderWorker(void* argument) {
  std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
  HeaderBatch& b = *start->batch;
  InternetHandle connection = NetConnect(b.internet, b.server.c_str(), b.port);
  const DWORD connectError =
      connection ? 0 : (::GetLastError() ? ::GetLastError() : DWORD(kErrorCannotConnect));
  for (bool first = true; !b.stopped; first = false) {
    if (!connection && !first) break;
    const LONG i = ::InterlockedIncrement(&b.next) - 1;
    if (i < 0 || std::size_t(i) >= b.queries.size()) break;
    HeaderAnswer a;
    if (!connection) {
      a.error = connectError;
    } else {
      try {
        AskOne(b, start->index, connection, b.queries[std::size_t(i)], &a);
      } catch (...) {
        // Anything thrown here (memory for a body) fails this answer alone.
        a = HeaderAnswer{};
        a.error = ERROR_NOT_ENOUGH_MEMORY;
      }
    }
    {
      const Locked locked;
      b.answers[std::size_t(i)] = std::move(a);
    }
    ::InterlockedIncrement(&b.answered);
  }
  if (connection) NetCloseHandle(connection);
  if (::InterlockedDecrement(&b.alive) == 0 && !connection) FailTheRest(b, connectError);
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

// The batch over a small pool of threads, each with its own connection handle. The caller
// waits in short slices, asking the watch: at its deadline or at its word every request in
// flight is closed, no query is started, and the unanswered ones fail with kErrorCancelled.
void NetQueryHeaders(InternetHandle internet, const char* server, int port, std::uint32_t flags,
                     const char* headers, const char* accept,
                     const std::vector<HeaderQuery>& queries, std::vector<HeaderAnswer>* answers,
                     const TransferWatch* watch) {
  FL_OVERRIDABLE(netQueryHeaders, internet, server, port, flags, headers, accept, queries, answers,
                 watch);
  if (!StartHeaderBatch(queries, answers)) return;
  auto batch = std::make_shared<HeaderBatch>();
  batch->internet = internet;
  batch->server = server ? server : "";
  batch->port = port;
  batch->flags = flags;
  batch->headers = headers ? headers : "";
  batch->accept = accept ? accept : "";
  batch->queries = queries;
  batch->answers.assign(queries.size(), HeaderAnswer{});
  const std::size_t width = HeaderBatchWidth(queries.size());
  AllowConnectionsPerServer(DWORD(kMaxQueriesInFlight));
  HANDLE threads[kMaxQueriesInFlight];
  DWORD started = 0;
  batch->alive = LONG(width);
  for (std::size_t t = 0; t < width; ++t) {
    auto* start = new WorkerStart{batch, t};
    HANDLE thread = StartPinnedThread(HeaderWorker, start);
    if (!thread) {
      delete start;
      ::InterlockedDecrement(&batch->alive);
      continue;
    }
    threads[started++] = thread;
  }
  if (started == 0) {
    // Without a thread of its own the caller works through the queries itself.
    batch->alive = 1;
    HeaderWorker(new WorkerStart{batch, 0});
  }
  bool stop = false;
  while (started > 0 &&
         ::WaitForMultipleObjects(started, threads, TRUE, kSliceMs) == WAIT_TIMEOUT) {
    if (HeaderBatchStopped(watch, std::uint64_t(batch->answered), std::int64_t(queries.size()))) {
      stop = true;
      break;
    }
  }
  if (stop) {
    ::InterlockedExchange(&batch->stopped, 1);
    {
      // Under the lock: a worker clears its request before closing it, so every handle
      // closed here is still open.
      const Locked locked;
      for (HINTERNET h : batch->current)
        if (h) CloseForWatch(h);
    }
    // Closed requests return at once; a worker that does not is left to end on its own.
    ::WaitForMultipleObjects(started, threads, TRUE, kAfterCloseMs);
  }
  for (DWORD t = 0; t < started; ++t)
    ::CloseHandle(threads[t]);
  const Locked locked;
  *answers = batch->answers;
  if (stop) CancelUnanswered(answers);
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  FL_OVERRIDABLE(sleepMilliseconds, milliseconds);
  ::Sleep(milliseconds);
}

}  // namespace platform
