// The listing benchmark: the real module, loaded as the file manager loads it, lists albums
// from the fixture web server, which may be told to answer like a distant server (a delay
// before each new connection and before each answer). For each album it prints the wall
// time beside what the server counted: connections (all, and those that reached the photo
// server), requests by method and body bytes sent by method, then the process's own CPU
// time and peak memory. Then it copies the 10 MB photo out.
// Usage: listing_bench MODULE REQUEST_LOG COUNTERS PHOTO_HOST URL=ENTRIES [URL=ENTRIES...]
#include <dlfcn.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace {

using InitFn = int (*)(int, void*, void*, void*);
using FindFirstFn = std::intptr_t (*)(char*, platform::FindData*);
using FindNextFn = int (*)(std::intptr_t, platform::FindData*);
using FindCloseFn = int (*)(std::intptr_t);
using GetFileFn = int (*)(char*, char*, int, void*);

std::string url;

int Request(int, int, char*, char*, char* buffer, int size) {
  std::snprintf(buffer, std::size_t(size), "%s", url.c_str());
  return 1;
}

std::string ReadAll(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The number after "key": inside the object named object (or at the top without one).
long long Number(const std::string& json, const char* object, const char* key) {
  std::size_t from = 0;
  std::size_t to = json.size();
  if (object) {
    from = json.find(std::string("\"") + object + "\"");
    if (from == std::string::npos) return 0;
    to = json.find('}', from);
  }
  const std::size_t at = json.find(std::string("\"") + key + "\":", from);
  if (at == std::string::npos || at > to) return 0;
  return std::atoll(json.c_str() + at + std::strlen(key) + 3);
}

struct Counters {
  long long connections = 0, head = 0, get = 0, headBytes = 0, getBytes = 0;
};

Counters ReadCounters(const char* path) {
  const std::string json = ReadAll(path);
  Counters c;
  c.connections = Number(json, nullptr, "connections");
  c.head = Number(json, "requests", "HEAD");
  c.get = Number(json, "requests", "GET");
  c.headBytes = Number(json, "body_bytes", "HEAD");
  c.getBytes = Number(json, "body_bytes", "GET");
  return c;
}

// Lines of the request log from line `from` on; *photoPeers gets the client ports of the
// requests to the photo host (one per connection the server saw).
long LogLines(const char* path, long from, const std::string& photoHost,
              std::set<std::string>* photoPeers) {
  std::ifstream in(path);
  long n = 0;
  const std::string hostField = "\"host\": \"" + photoHost + "\"";
  for (std::string line; std::getline(in, line); ++n) {
    if (n < from || !photoPeers || line.find(hostField) == std::string::npos) continue;
    const std::size_t at = line.find("\"peer\": ");
    if (at != std::string::npos)
      photoPeers->insert(line.substr(at + 8, line.find('}', at) - at - 8));
  }
  return n;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: listing_bench MODULE REQUEST_LOG COUNTERS PHOTO_HOST URL=ENTRIES...\n");
    return 2;
  }
  const char* log = argv[2];
  const char* counters = argv[3];
  const std::string photoHost = argv[4];
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  auto init = reinterpret_cast<InitFn>(dlsym(module, "FsInit"));
  auto first = reinterpret_cast<FindFirstFn>(dlsym(module, "FsFindFirst"));
  auto next = reinterpret_cast<FindNextFn>(dlsym(module, "FsFindNext"));
  auto close = reinterpret_cast<FindCloseFn>(dlsym(module, "FsFindClose"));
  auto get = reinterpret_cast<GetFileFn>(dlsym(module, "FsGetFile"));
  if (!init || !first || !next || !close || !get) return 1;
  init(1, nullptr, nullptr, reinterpret_cast<void*>(&Request));

  int status = 0;
  std::printf("%-10s %8s %7s %7s %6s %6s %9s %9s %8s %8s\n", "photos", "wall s", "conns", "photo",
              "HEAD", "GET", "HEAD MB", "GET MB", "CPU s", "peak MB");
  for (int arg = 5; arg < argc; ++arg) {
    const std::string album = argv[arg];  // "URL=PHOTOS": the album and its photo count
    url = album.substr(0, album.rfind('='));
    const long expected = std::atol(album.c_str() + album.rfind('=') + 1);
    const long logBefore = LogLines(log, 0, photoHost, nullptr);
    const Counters before = ReadCounters(counters);
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    platform::FindData record{};
    char path[] = "\\[connection]";
    std::intptr_t h = first(path, &record);
    long entries = 0;
    if (h != -1 && h != 0) {
      do {
        ++entries;
      } while (next(h, &record));
      close(h);
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    std::set<std::string> photoPeers;
    LogLines(log, logBefore, photoHost, &photoPeers);
    // The server writes its counters a moment after it counts: let the last ones land.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const Counters after = ReadCounters(counters);
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("%-10ld %8.2f %7lld %7zu %6lld %6lld %9.1f %9.1f %8.3f %8.1f\n", entries, wall,
                after.connections - before.connections, photoPeers.size(), after.head - before.head,
                after.get - before.get, double(after.headBytes - before.headBytes) / 1e6,
                double(after.getBytes - before.getBytes) / 1e6, cpu, double(u.ru_maxrss) / 1024.0);
    if (entries != expected) {
      std::printf("(%s: %ld entries, not %ld)\n", url.c_str(), entries, expected);
      status = 1;
    }
  }
  std::printf(
      "(conns: connections the server accepted; photo: those that carried requests to "
      "%s; MB: body bytes the server sent for each method)\n",
      photoHost.c_str());

  // Copying the 10 MB photo of the last album out: one request, one whole read and its
  // pause, one write.
  char remote[] = "\\[connection]\\0.jpg";
  char local[] = "/tmp/frameleaf-bench-photo.jpg";
  const auto copyStart = std::chrono::steady_clock::now();
  const int got = get(remote, local, 1, nullptr);
  const double copyWall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - copyStart).count();
  std::ifstream copied(local, std::ios::binary | std::ios::ate);
  const long long copiedBytes = copied ? static_cast<long long>(copied.tellg()) : -1;
  std::remove(local);
  std::printf("copy out one 10 MB photo: %.3f s (result %d, %lld bytes written)\n", copyWall, got,
              copiedBytes);
  return status == 0 && got == 0 && copiedBytes == 10000000 ? 0 : 1;
}
