#include "platform/unicode_text.h"

#include <cstdint>

namespace platform {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf16(std::uint32_t cp, std::u16string* out) {
  if (cp < 0x10000) {
    *out += char16_t(cp);
  } else {
    cp -= 0x10000;
    *out += char16_t(0xD800 + (cp >> 10));
    *out += char16_t(0xDC00 + (cp & 0x3FF));
  }
}

void AppendUtf8(std::uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += char(cp);
  } else if (cp < 0x800) {
    *out += char(0xC0 | cp >> 6);
    *out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += char(0xE0 | cp >> 12);
    *out += char(0x80 | (cp >> 6 & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  } else {
    *out += char(0xF0 | cp >> 18);
    *out += char(0x80 | (cp >> 12 & 0x3F));
    *out += char(0x80 | (cp >> 6 & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  }
}

}  // namespace

bool DecodeUtf8(const std::string& text, std::size_t* i, std::uint32_t* cp) {
  const std::size_t n = text.size();
  const unsigned char c = static_cast<unsigned char>(text[*i]);
  std::size_t len;
  if (c < 0x80) {
    *cp = c, len = 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    *cp = c & 0x1F, len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    *cp = c & 0x0F, len = 3;
  } else if (c >= 0xF0 && c <= 0xF4) {
    *cp = c & 0x07, len = 4;
  } else {
    ++*i;  // a stray continuation, or a lead byte no character starts with
    return false;
  }
  // The second byte's range rules out overlong forms (C0 AF for "/", E0 80 80 for NUL),
  // surrogates and code points past U+10FFFF.
  const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
  std::size_t k = 1;
  for (; k < len && *i + k < n; ++k) {
    const unsigned char b = static_cast<unsigned char>(text[*i + k]);
    if (k == 1 ? (b < low || b > high) : (b & 0xC0) != 0x80) break;
    *cp = (*cp << 6) | (b & 0x3F);
  }
  *i += k;
  return k == len;
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t cp = 0;
    if (DecodeUtf8(utf8, &i, &cp)) {
      AppendUtf16(cp, &out);
    } else {
      out += kReplacement;
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    std::uint32_t cp = utf16[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = kReplacement;
    }
    AppendUtf8(cp, &out);
  }
  return out;
}

std::size_t Utf16Length(const char16_t* text, std::size_t max) {
  std::size_t n = 0;
  while (n < max && text[n] != 0)
    ++n;
  return n;
}

void CopyUtf16(char16_t* buffer, std::size_t size, const std::u16string& text) {
  if (size == 0) return;
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  // A cut after the first half of a pair drops that half too.
  if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;
  text.copy(buffer, n);
  buffer[n] = 0;
}

}  // namespace platform
