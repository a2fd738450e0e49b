// The listing benchmark: the real module, loaded as the file manager loads it, lists an
// album of 1,000 photos on 10 pages from the fixture web server on loopback. Prints the wall
// time, the pauses the reads must make, the round trips, the process's own CPU time and its
// peak memory. Usage: listing_bench MODULE URL REQUEST_LOG
#include <dlfcn.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/platform.h"

namespace {

using InitFn = int (*)(int, void*, void*, void*);
using FindFirstFn = std::intptr_t (*)(char*, platform::FindData*);
using FindNextFn = int (*)(std::intptr_t, platform::FindData*);
using FindCloseFn = int (*)(std::intptr_t);
using GetFileFn = int (*)(char*, char*, int, void*);

const char* url = "";

int Request(int, int, char*, char*, char* buffer, int size) {
  std::snprintf(buffer, std::size_t(size), "%s", url);
  return 1;
}

long LogLines(const char* path) {
  std::ifstream in(path);
  long n = 0;
  for (std::string line; std::getline(in, line);)
    ++n;
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
  if (argc < 4) {
    std::fprintf(stderr, "usage: listing_bench MODULE URL REQUEST_LOG\n");
    return 2;
  }
  url = argv[2];
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

  const long requestsBefore = LogLines(argv[3]);
  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  platform::FindData record{};
  char path[] = "\\[connection]";
  std::intptr_t h = first(path, &record);
  long entries = 0;
  unsigned long long bytes = 0;
  if (h != -1 && h != 0) {
    do {
      ++entries;
      bytes += record.sizeLow;
    } while (next(h, &record));
    close(h);
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;
  const long requests = LogLines(argv[3]) - requestsBefore;
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  // Every page read ends in at least one 50 ms pause; the size queries read no body.
  const long pages = requests - entries;
  const double pauses = double(pages) * 0.05;
  std::printf("%-34s %10s %10s %10s %10s %8s %12s\n", "listing", "wall s", "pauses s", "other s",
              "own CPU s", "CPU %", "peak MB");
  std::printf("%-34s %10.2f %10.2f %10.2f %10.3f %8.2f %12.1f\n", "1,000 photos on 10 pages", wall,
              pauses, wall - pauses, cpu, 100.0 * cpu / wall, double(u.ru_maxrss) / 1024.0);
  std::printf("(%ld entries, %llu bytes listed; %ld round trips: %ld pages, %ld size queries)\n",
              entries, bytes, requests, pages, entries);
  if (entries != 1000) return 1;

  // Copying the 10 MB photo out: one request, one whole read and its pause, one write.
  char remote[] = "\\[connection]\\0.jpg";
  char local[] = "/tmp/frameleaf-bench-photo.jpg";
  const double cpuBeforeCopy = CpuSeconds();
  const auto copyStart = std::chrono::steady_clock::now();
  const int got = get(remote, local, 1, nullptr);
  const double copyWall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - copyStart).count();
  const double copyCpu = CpuSeconds() - cpuBeforeCopy;
  std::ifstream copied(local, std::ios::binary | std::ios::ate);
  const long long copiedBytes = copied ? static_cast<long long>(copied.tellg()) : -1;
  std::remove(local);
  std::printf("%-34s %10s %10s %10s %10s\n", "copy out", "wall s", "pauses s", "other s",
              "own CPU s");
  std::printf("%-34s %10.3f %10.2f %10.3f %10.3f\n", "one 10 MB photo", copyWall, 0.05,
              copyWall - 0.05, copyCpu);
  std::printf("(result %d, %lld bytes written)\n", got, copiedBytes);
  return got == 0 && copiedBytes == 10000000 ? 0 : 1;
}
