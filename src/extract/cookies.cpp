#include "extract/cookies.h"

#include <cstring>

namespace extract {

common::ByteString CookieValue(const char* cookieText, const char* name) {
  if (!cookieText || !name || !*name) return common::ByteString();
  const std::size_t n = std::strlen(name);
  for (const char* p = cookieText; *p;) {
    if (std::strncmp(p, name, n) == 0 && p[n] == '=') {
      const char* value = p + n + 1;
      return common::ByteString(value, std::strcspn(value, ";"));
    }
    const char* next = std::strstr(p, "; ");
    if (!next) break;
    p = next + 2;
  }
  return common::ByteString();
}

}  // namespace extract
