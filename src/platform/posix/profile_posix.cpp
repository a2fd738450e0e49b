// Private-profile (ini) files on POSIX, following the rules of the Windows reader:
// - a file that starts with a byte-order mark (UTF-8, UTF-16) is decoded, and its text
//   comes out in the ANSI code page;
// - a line ends at CR, LF or CR LF; blanks are the C blanks and Ctrl-Z;
// - a line whose first non-blank is "[" and that holds a "]" opens a section: the name runs
//   to the last "]" of the line, blanks around it dropped;
// - lines above the first header belong to the section named "";
// - section and key names match without regard to ASCII case; the names asked for are
//   trimmed, and so are key names in the file;
// - a value is the text after the first "=", blanks around it removed; a value whose first
//   and last characters are the same quote (' or ") loses both;
// - a line without "=" is a key without a value, which reads as the default;
// - only the first section of a name is searched, and its first key of a name wins;
// - a NUL byte ends a name or a value (the rest of that line is still read for "=");
// - the default loses its trailing spaces, but never its first character;
// - the result is cut to the buffer (size - 1 characters and a terminator).
// Writes keep the file's other lines as they are, keep an existing key's spelling, drop
// the value's leading blanks, and leave the file untouched when the value is unchanged.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_overrides.h"
#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

namespace platform {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b]))
    ++b;
  while (e > b && IsBlank(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

void AppendUtf8(std::uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += char(cp);
  } else if (cp < 0x800) {
    *out += char(0xC0 | (cp >> 6));
    *out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += char(0xE0 | (cp >> 12));
    *out += char(0x80 | ((cp >> 6) & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  } else {
    *out += char(0xF0 | (cp >> 18));
    *out += char(0x80 | ((cp >> 12) & 0x3F));
    *out += char(0x80 | ((cp >> 6) & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  }
}

// UTF-16 text (after its mark) to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::string& data, std::size_t from, bool bigEndian) {
  std::string out;
  auto unit = [&](std::size_t i) -> std::uint32_t {
    const unsigned char a = data[i], b = data[i + 1];
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  for (std::size_t i = from; i + 1 < data.size(); i += 2) {
    std::uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < data.size()) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        cp = 0xFFFD;
      }
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    AppendUtf8(cp, &out);
  }
  return out;
}

// The file's text in the ANSI code page: a byte-order mark decides the encoding.
std::string Decode(const std::string& data) {
  auto startsWith = [&](const char* mark, std::size_t n) {
    return data.size() >= n && std::memcmp(data.data(), mark, n) == 0;
  };
  if (startsWith("\xEF\xBB\xBF", 3)) return Utf8ToAnsi(data.substr(3));
  if (startsWith("\xFF\xFE", 2)) return Utf8ToAnsi(Utf16ToUtf8(data, 2, false));
  if (startsWith("\xFE\xFF", 2)) return Utf8ToAnsi(Utf16ToUtf8(data, 2, true));
  return data;
}

// The file's lines; a line ends at CR LF, CR or LF. False when the file cannot be read.
bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string data;
  char chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    data.append(chunk, n);
  std::fclose(f);
  data = Decode(data);
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find_first_of("\r\n", start);
    if (end == std::string::npos) end = data.size();
    lines->push_back(data.substr(start, end - start));
    start = end + (data.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return true;
}

// Names and values are C strings to the Windows reader: a NUL byte ends them.
std::string UpToNul(const std::string& s) {
  return s.substr(0, s.find('\0'));
}

// A line "[name]" (after blanks) opens a section; the name is what stands between the
// bracket and the line's last "]", without blanks around it.
bool SectionName(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  const std::size_t close = t.rfind(']');
  if (close == std::string::npos) return false;
  *name = UpToNul(Trim(t.substr(1, close - 1)));
  return true;
}

// Splits a key line; false for blank lines. hasValue is false for a line without "=".
bool KeyLine(const std::string& line, std::string* key, std::string* value, bool* hasValue) {
  std::string t = Trim(line);
  if (t.empty()) return false;
  std::size_t eq = t.find('=');
  *hasValue = eq != std::string::npos;
  *key = UpToNul(Trim(t.substr(0, *hasValue ? eq : t.size())));
  *value = *hasValue ? UpToNul(Trim(t.substr(eq + 1))) : std::string();
  return true;
}

// Copies value into buffer, removing a pair of matching quotes, as the Windows reader does
// (including its habit of dropping the last character when the closing quote was cut off).
std::size_t CopyEntry(const std::string& value, char* buffer, std::size_t size, bool unquote) {
  const char* v = value.c_str();
  bool quoted = false;
  if (unquote && (v[0] == '\'' || v[0] == '"') && v[1] != '\0' && value.back() == v[0]) {
    quoted = true;
    ++v;
  }
  std::size_t len = std::strlen(v);
  std::size_t n = len < size - 1 ? len : size - 1;
  std::memcpy(buffer, v, n);
  buffer[n] = '\0';
  if (quoted && size >= len && n > 0) buffer[--n] = '\0';
  return n;
}

// True when the folder that would hold path exists.
bool FolderExists(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Where a key stands in the file.
struct KeyPlace {
  bool sectionFound = false;
  std::size_t insertAt = 0;               // after the section's last key line
  std::size_t keyAt = std::string::npos;  // the key's own line
  bool hasValue = false;
  std::string key, value;
};

// Finds the first section named section (lines above any header form the section "") and
// in it the first key named key.
KeyPlace Locate(const std::vector<std::string>& lines, const std::string& section,
                const std::string& key) {
  KeyPlace place;
  bool inSection = section.empty();
  place.sectionFound = inSection;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name, k, v;
    bool hasValue;
    if (SectionName(lines[i], &name)) {
      if (inSection) break;  // only the first section of that name counts
      inSection = !place.sectionFound && SameNoCase(name, section);
      if (inSection) {
        place.sectionFound = true;
        place.insertAt = i + 1;
      }
      continue;
    }
    if (!inSection || !KeyLine(lines[i], &k, &v, &hasValue)) continue;
    place.insertAt = i + 1;
    if (SameNoCase(k, key)) {
      place.keyAt = i;
      place.hasValue = hasValue;
      place.key = k;
      place.value = v;
      break;
    }
  }
  return place;
}

}  // namespace

std::size_t ReadIniValue(const char* section, const char* key, const char* fallback, char* buffer,
                         std::size_t size, const char* file) {
  FL_OVERRIDABLE(readIniValue, section, key, fallback, buffer, size, file);
  if (!buffer || size == 0) return 0;
  std::string def = fallback ? fallback : "";
  while (def.size() > 1 && def.back() == ' ')
    def.pop_back();
  if (!section || !key || !file) return CopyEntry(def, buffer, size, true);
  const std::string path = PosixPath(file);
  // The Windows reader hands back the default untouched, quotes and all, when the file's
  // folder does not exist.
  if (!FolderExists(path)) return CopyEntry(def, buffer, size, false);
  std::vector<std::string> lines;
  if (ReadLines(path, &lines)) {
    const KeyPlace place = Locate(lines, Trim(section), Trim(key));
    if (place.keyAt != std::string::npos && place.hasValue)
      return CopyEntry(place.value, buffer, size, true);
  }
  return CopyEntry(def, buffer, size, true);
}

bool WriteIniValue(const char* section, const char* key, const char* value, const char* file) {
  FL_OVERRIDABLE(writeIniValue, section, key, value, file);
  if (!section || !key || !file) return false;
  const std::string path = PosixPath(file);
  std::vector<std::string> lines;
  ReadLines(path, &lines);
  const std::string wantSection = Trim(section), wantKey = Trim(key);
  std::string newValue = value ? value : "";
  newValue.erase(0, newValue.find_first_not_of(" \t\v\f\x1A"));
  const KeyPlace place = Locate(lines, wantSection, wantKey);
  if (place.keyAt != std::string::npos) {
    if (!value) {
      lines.erase(lines.begin() + long(place.keyAt));
    } else if (place.hasValue && place.value == Trim(newValue)) {
      return true;  // unchanged: the file is left as it is
    } else {
      lines[place.keyAt] = place.key + "=" + newValue;  // the key keeps its spelling
    }
  } else if (!value) {
    return true;
  } else if (place.sectionFound) {
    lines.insert(lines.begin() + long(place.insertAt), wantKey + "=" + newValue);
  } else {
    lines.push_back("[" + wantSection + "]");
    lines.push_back(wantKey + "=" + newValue);
  }
  std::string data;
  for (const std::string& l : lines)
    data += l + "\r\n";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace platform
