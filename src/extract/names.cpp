#include "extract/names.h"

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/unicode_text.h"

namespace extract {

using common::ByteString;

ByteString TrimNameEnd(const ByteString& name) {
  const std::string& s = name.str();
  std::size_t end = s.size();
  while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '.'))
    --end;
  return end == s.size() ? name : ByteString(s.substr(0, end));
}

namespace {

bool Reserved(unsigned char c) {
  return c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Whether stem (the part before the first dot) names a device: the file manager's
// "folder\CON.jpg" opens the console, "COM1.jpg" a serial port.
bool DeviceName(const std::string& stem) {
  std::string s;
  for (char c : stem)
    s += Upper(c);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* d : kDevices) {
    if (s == d) return true;
  }
  return s.size() == 4 && (s.compare(0, 3, "COM") == 0 || s.compare(0, 3, "LPT") == 0) &&
         s[3] >= '1' && s[3] <= '9';
}

std::string TrimEnd(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '.'))
    s.pop_back();
  return s;
}

}  // namespace

ByteString SafeName(const ByteString& name) {
  std::string s = name.str();
  for (char& c : s) {
    if (Reserved(static_cast<unsigned char>(c))) c = '_';
  }
  s = TrimEnd(s);
  if (s.empty()) s = "_";  // "." and ".." trim to nothing
  if (DeviceName(s.substr(0, s.find('.')))) s = "_" + s;
  if (s.size() > kMaxNameLength) s = TrimEnd(s.substr(0, kMaxNameLength));
  return ByteString(s);
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

ByteString AnsiToUtf8(const ByteString& ansi) {
  return ByteString(platform::AnsiToUtf8(std::string(ansi.c_str())));
}

ByteString SafeUtf8Name(const ByteString& name) {
  // Read and written again: what is left is well-formed UTF-8.
  std::string s = platform::Utf16ToUtf8(platform::Utf8ToUtf16(name.c_str()));
  for (char& c : s) {
    if (Reserved(static_cast<unsigned char>(c))) c = '_';
  }
  s = TrimEnd(s);
  if (s.empty()) s = "_";
  if (DeviceName(s.substr(0, s.find('.')))) s = "_" + s;
  if (s.size() > kMaxNameLength) {
    std::size_t cut = kMaxNameLength;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
      --cut;
    s = TrimEnd(s.substr(0, cut));
  }
  return ByteString(s);
}

}  // namespace extract
