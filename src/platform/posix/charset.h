// The POSIX layer's "ANSI code page": the character set of the locale the environment names,
// as Windows uses the system's code page.
#pragma once

#include <string>

namespace platform {

// The character set of the locale named by LC_ALL, LC_CTYPE or LANG ("UTF-8", "CP1251",
// ...), read without changing the process's own locale, which belongs to the host. A plain
// ASCII locale ("C", "POSIX"), or one that is not installed, counts as UTF-8: ASCII holds no
// names, and UTF-8 is what the host shows then.
std::string LocaleCharset();

// UTF-8 text in charset; a malformed sequence, or a character the set lacks, becomes "?".
std::string Utf8ToCharset(const std::string& utf8, const std::string& charset);

// Text in charset to UTF-8; a byte the set does not use becomes "?".
std::string CharsetToUtf8(const std::string& text, const std::string& charset);

}  // namespace platform
