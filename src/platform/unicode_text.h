// UTF-8 and UTF-16 text, the two forms a name takes between the sites and the host's wide
// calls. WCHAR is 16 bits on every system the module runs on, so the wide form is char16_t
// (wchar_t is 32 bits on Linux).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// UTF-16 from UTF-8. A malformed sequence (a stray byte, an overlong form, a surrogate, a
// code point past U+10FFFF) becomes one U+FFFD, so that no "/" or NUL is ever read into a
// name from bytes that do not spell it.
std::u16string Utf8ToUtf16(const std::string& utf8);

// UTF-8 from UTF-16. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& utf16);

// The length of a terminated UTF-16 text, at most max units.
std::size_t Utf16Length(const char16_t* text, std::size_t max);

// Copies text into buffer of size units, cut at a character boundary (never between the two
// halves of a surrogate pair) and always terminated when size > 0.
void CopyUtf16(char16_t* buffer, std::size_t size, const std::u16string& text);

}  // namespace platform
