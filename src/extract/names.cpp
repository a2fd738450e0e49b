#include "extract/names.h"

#include <string>

#include "platform/platform.h"

namespace extract {

using common::ByteString;

ByteString TrimNameEnd(const ByteString& name) {
  const std::string& s = name.str();
  std::size_t end = s.size();
  while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '.'))
    --end;
  return end == s.size() ? name : ByteString(s.substr(0, end));
}

ByteString WithJpgExtension(const ByteString& name) {
  const std::string& s = name.str();
  if (s.find("jpg") != std::string::npos || s.find("JPG") != std::string::npos) return name;
  return ByteString(s + ".jpg");
}

ByteString CutName(const ByteString& name) {
  if (name.size() <= kMaxNameLength) return name;
  return ByteString(name.str().substr(0, kMaxNameLength));
}

ByteString Utf8ToAnsi(const ByteString& utf8) {
  return ByteString(platform::Utf8ToAnsi(std::string(utf8.c_str())));
}

}  // namespace extract
