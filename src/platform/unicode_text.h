// UTF-8 and UTF-16 text, the two forms a name takes between the sites and the host's wide
// calls. WCHAR is 16 bits on every system the module runs on, so the wide form is char16_t
// (wchar_t is 32 bits on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Reads the UTF-8 character at text[*i] (with *i < text.size()) into *cp and moves *i past
// it. A malformed sequence (a stray byte, an overlong form, a surrogate, a code point past
// U+10FFFF, a sequence cut short) is false, with *i moved past the longest valid start of a
// sequence (at least one byte): the caller puts one replacement for it, and the bytes after
// it are read anew, as the Windows decoder does. The one UTF-8 decoder of the module.
bool DecodeUtf8(const std::string& text, std::size_t* i, std::uint32_t* cp);

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
