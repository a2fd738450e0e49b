// Album passwords and the password form's body.
#pragma once

#include <cstddef>

#include "common/byte_string.h"

namespace extract {

// The form body is encoded from at most this many bytes; a longer body is refused whole.
constexpr std::size_t kMaxFormBodyInput = 255;

// Form-encodes a password: every byte but A-Z a-z 0-9 - . _ * becomes "%XX" (upper-case hex),
// a space "+". The password then reaches the site intact whatever it holds ("&", "=", "%").
common::ByteString FormEncodeValue(const common::ByteString& value);

// Encodes an expanded form body: space as "+", "/" CR LF and the bytes 0xC0-0xFF as "%XX",
// everything else as it is (the template's own "&" and "=" stay separators). False, and
// *out left alone, when the body is longer than kMaxFormBodyInput bytes.
bool EncodeFormBody(const common::ByteString& body, common::ByteString* out);

}  // namespace extract
