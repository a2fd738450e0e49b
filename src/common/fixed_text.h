// Helpers for the fixed character buffers the host and the ini files use. Every write is
// cut to the buffer: at most size - 1 characters and a terminator.
#pragma once

#include <cstddef>
#include <cstring>

namespace common {

// Copies src into dst (size bytes); returns the number of characters kept.
inline std::size_t CopyCut(char* dst, std::size_t size, const char* src) {
  if (!dst || size == 0) return 0;
  std::size_t n = src ? std::strlen(src) : 0;
  if (n > size - 1) n = size - 1;
  if (n) std::memmove(dst, src, n);
  dst[n] = '\0';
  return n;
}

template <std::size_t N>
std::size_t CopyCut(char (&dst)[N], const char* src) {
  return CopyCut(dst, N, src);
}

// True when needle occurs anywhere in haystack. An empty needle is always found.
inline bool Contains(const char* haystack, const char* needle) {
  return haystack && needle && std::strstr(haystack, needle) != nullptr;
}

// The number of backslashes in a path: the depth of a path of the virtual tree.
inline int PathDepth(const char* path) {
  int depth = 0;
  for (const char* p = path; p && *p; ++p)
    depth += *p == '\\';
  return depth;
}

}  // namespace common
