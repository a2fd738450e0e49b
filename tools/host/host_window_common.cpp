#include <cstdio>
#include <string>
#include <vector>

#include "tools/host/host_window.h"

void PrintHostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  std::printf("message: %u %llu %lld\n", message, static_cast<unsigned long long>(wParam),
              static_cast<long long>(lParam));
  std::fflush(stdout);
}

void PrintOfferDialog(const std::string& caption, const std::vector<std::string>& lines,
                      const std::string& accept, const std::string& decline, bool accepted) {
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i)
    joined += (i ? "|" : "") + lines[i];
  std::printf("dialog: caption=\"%s\" lines=\"%s\" buttons=\"%s|%s\" -> %s\n", caption.c_str(),
              joined.c_str(), accept.c_str(), decline.c_str(), accepted ? "accept" : "decline");
  std::fflush(stdout);
}
