// Without windows, the host exports a function the plug-in's platform layer finds and sends
// its messages to.
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "tools/host/host_window.h"

extern "C" __attribute__((visibility("default"))) void frameleaf_host_message_sink(
    std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  PrintHostMessage(message, wParam, lParam);
}

namespace {
bool acceptOffer = false;
}  // namespace

// The platform layer hands the offer dialog to this function; the list sorts its lines as
// the Windows list box does for plain texts (letters without regard to case).
extern "C" __attribute__((visibility("default"))) int frameleaf_host_offer_dialog(
    const char* caption, const char* const* lines, int count, const char* accept,
    const char* decline) {
  std::vector<std::string> sorted(lines, lines + count);
  std::stable_sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  PrintOfferDialog(caption, sorted, accept, decline, acceptOffer);
  return acceptOffer ? 1 : 0;
}

void BeginOfferAnswers(OfferAnswer answer) {
  acceptOffer = answer == OfferAnswer::kAccept;
}
void EndOfferAnswers() {}

// Unbuffered: a write tells exactly what reached the pipe, so each line can be finished.
void PrepareConsole() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
}
void CreateHostWindow() {}
void* HostWindow() {
  return nullptr;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char folder[PATH_MAX];
  if (!::getcwd(folder, sizeof folder)) return path;
  return std::string(folder) + "/" + path;
}

int IconResourceId(void*, void*) {
  return 0;  // no icon resources here
}

void ClearSystemError() {
  errno = 0;
}

bool NoMoreFilesError() {
  return errno == ENOENT;
}

std::uint64_t ModuleTimeStandIn(const std::string& module) {
  struct stat st;
  const std::uint64_t epoch = 116444736000000000ULL;
  if (::stat(module.c_str(), &st) != 0 || st.st_mtim.tv_sec <= 0) return epoch;
  return epoch + std::uint64_t(st.st_mtim.tv_sec) * 10000000ULL;
}
