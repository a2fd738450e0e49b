// Turning entry texts into the names the host shows.
#pragma once

#include <cstddef>

#include "common/byte_string.h"

namespace extract {

// Names enter the entry lists with at most this many bytes: the host's name field holds 260
// with its terminator, and a later lookup must find the name the host shows.
constexpr std::size_t kMaxNameLength = 259;

// Drops trailing spaces and dots, which a Windows file name cannot end in.
common::ByteString TrimNameEnd(const common::ByteString& name);

// The name a listing shows for a name taken from the web, so that "target folder + name"
// on the host's side always names one new file inside the target folder:
// - bytes below 0x20, 0x7F and \ / : * ? " < > | become "_";
// - trailing dots and blanks are dropped; a name left empty, "." or ".." becomes "_";
// - a name whose part before the first dot is a device name (CON, PRN, AUX, NUL, COM1-COM9,
//   LPT1-LPT9, in any letter case) gets "_" in front;
// - the result is cut to kMaxNameLength bytes (and trimmed again, since a cut may end in a
//   dot or a blank).
common::ByteString SafeName(const common::ByteString& name);

// A photo name that holds neither "jpg" nor "JPG" anywhere gets ".jpg" appended.
common::ByteString WithJpgExtension(const common::ByteString& name);

// The name cut to kMaxNameLength bytes.
common::ByteString CutName(const common::ByteString& name);

// HTML character references decoded: "&amp;", "&#39;", "&#x41;" and the named references
// of HTML 4 (and "&apos;") become their letter, in UTF-8 when utf8 is set, else in the
// system's code page (a letter the code page lacks stays a reference). A reference without
// its ";", an unknown name, and a number that is no letter (0, a surrogate, past U+10FFFF)
// stay as written.
common::ByteString DecodeCharacterReferences(const common::ByteString& name, bool utf8);
// Percent escapes ("%20", "%d0%93") decoded into their bytes; a "%" that begins no escape,
// and "%00", stay as written.
common::ByteString PercentDecode(const common::ByteString& name);

// UTF-8 text to the system's code page (the text up to its first NUL).
common::ByteString Utf8ToAnsi(const common::ByteString& utf8);
// Text in the system's code page to UTF-8.
common::ByteString AnsiToUtf8(const common::ByteString& ansi);

// SafeName for a UTF-8 name, as the wide calls show it: malformed UTF-8 becomes U+FFFD
// (never a "/" or NUL read from an overlong form), the same characters are replaced and the
// same ends and device names mended, and the result holds at most kMaxNameLength UTF-16
// units and bytes, cut between two characters.
common::ByteString SafeUtf8Name(const common::ByteString& name);

}  // namespace extract
