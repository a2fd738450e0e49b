#include "extract/form.h"

#include <string>

namespace extract {

namespace {
void AppendEscaped(std::string* out, unsigned char byte) {
  static const char kHex[] = "0123456789ABCDEF";
  out->push_back('%');
  out->push_back(kHex[byte >> 4]);
  out->push_back(kHex[byte & 15]);
}
}  // namespace

common::ByteString FormEncodeValue(const common::ByteString& value) {
  std::string out;
  for (const char c : value.str()) {
    const unsigned char b = static_cast<unsigned char>(c);
    const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                       b == '-' || b == '.' || b == '_' || b == '*';
    if (plain) {
      out.push_back(c);
    } else if (b == ' ') {
      out.push_back('+');
    } else {
      AppendEscaped(&out, b);
    }
  }
  return out;
}

bool EncodeFormBody(const common::ByteString& body, common::ByteString* out) {
  const std::string text = body.c_str();
  if (text.size() > kMaxFormBodyInput) return false;
  std::string encoded;
  for (const char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b == ' ') {
      encoded.push_back('+');
    } else if (b == '/' || b == '\r' || b == '\n' || b >= 0xC0) {
      AppendEscaped(&encoded, b);
    } else {
      encoded.push_back(c);
    }
  }
  *out = encoded;
  return true;
}

}  // namespace extract
