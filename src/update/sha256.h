// SHA-256 (FIPS 180-4), to check a downloaded update against the digest the version file
// names.
#pragma once

#include <cstddef>
#include <string>

namespace update {

// The digest of data as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const void* data, std::size_t size);

// A digest as the version file may give it: 64 hexadecimal digits in either case, blanks
// around them ignored. Empty when text is no such digest.
std::string NormaliseDigest(const std::string& text);

}  // namespace update
