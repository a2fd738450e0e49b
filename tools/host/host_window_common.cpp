#include <cstdio>
#include <string>

#include "tools/host/host_window.h"

void PrintHostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  std::printf("message: %u %llu %lld\n", message, static_cast<unsigned long long>(wParam),
              static_cast<long long>(lParam));
  std::fflush(stdout);
}
