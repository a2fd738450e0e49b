// Private-profile (ini) files on POSIX, following the rules of the Windows reader:
// - section and key names match without regard to ASCII case; the names asked for are
//   trimmed, key names in the file are trimmed, section names between the brackets are not;
// - a value is the text after the first "=", blanks around it removed;
// - a value whose first and last characters are the same quote (' or ") loses both;
// - a line without "=" is a key without a value, which reads as the default;
// - only the first section of a name is searched, and its first key of a name wins;
// - the result is cut to the buffer (size - 1 characters and a terminator).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

namespace platform {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
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

bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string data;
  char chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    data.append(chunk, n);
  std::fclose(f);
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
    start = end + 1;
  }
  return true;
}

// A line "[name]" (after leading blanks) opens a section; the name is what stands between
// the bracket and the first "]".
bool SectionName(const std::string& line, std::string* name) {
  std::size_t b = 0;
  while (b < line.size() && IsBlank(line[b]))
    ++b;
  if (b >= line.size() || line[b] != '[') return false;
  std::size_t close = line.find(']', b);
  if (close == std::string::npos) return false;
  *name = line.substr(b + 1, close - b - 1);
  return true;
}

// Splits a key line; false for blank lines. hasValue is false for a line without "=".
bool KeyLine(const std::string& line, std::string* key, std::string* value, bool* hasValue) {
  std::string t = Trim(line);
  if (t.empty()) return false;
  std::size_t eq = t.find('=');
  *hasValue = eq != std::string::npos;
  *key = Trim(t.substr(0, *hasValue ? eq : t.size()));
  *value = *hasValue ? Trim(t.substr(eq + 1)) : std::string();
  return true;
}

// Copies value into buffer, removing a pair of matching quotes, as the Windows reader does
// (including its habit of dropping the last character when the closing quote was cut off).
std::size_t CopyEntry(const std::string& value, char* buffer, std::size_t size) {
  const char* v = value.c_str();
  bool quoted = false;
  if ((v[0] == '\'' || v[0] == '"') && v[1] != '\0' && value.back() == v[0]) {
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

}  // namespace

std::size_t ReadIniValue(const char* section, const char* key, const char* fallback, char* buffer,
                         std::size_t size, const char* file) {
  if (!buffer || size == 0) return 0;
  std::string def = fallback ? fallback : "";
  while (!def.empty() && def.back() == ' ')
    def.pop_back();
  std::vector<std::string> lines;
  if (section && key && file && ReadLines(PosixPath(file), &lines)) {
    const std::string wantSection = Trim(section), wantKey = Trim(key);
    bool inSection = false;
    for (const std::string& line : lines) {
      std::string name, k, v;
      bool hasValue;
      if (SectionName(line, &name)) {
        if (inSection) break;  // only the first section of that name counts
        inSection = SameNoCase(name, wantSection);
        continue;
      }
      if (!inSection || !KeyLine(line, &k, &v, &hasValue)) continue;
      if (SameNoCase(k, wantKey)) {
        if (hasValue) return CopyEntry(v, buffer, size);
        break;
      }
    }
  }
  return CopyEntry(def, buffer, size);
}

bool WriteIniValue(const char* section, const char* key, const char* value, const char* file) {
  if (!section || !key || !file) return false;
  const std::string path = PosixPath(file);
  std::vector<std::string> lines;
  ReadLines(path, &lines);
  const std::string wantSection = Trim(section), wantKey = Trim(key);
  const std::string newLine = wantKey + "=" + (value ? value : "");
  std::size_t sectionAt = std::string::npos, insertAt = std::string::npos;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name, k, v;
    bool hasValue;
    if (SectionName(lines[i], &name)) {
      if (sectionAt != std::string::npos) break;
      if (SameNoCase(name, wantSection)) sectionAt = insertAt = i + 1;
      continue;
    }
    if (sectionAt == std::string::npos || !KeyLine(lines[i], &k, &v, &hasValue)) continue;
    insertAt = i + 1;
    if (SameNoCase(k, wantKey)) {
      if (value) {
        lines[i] = newLine;
      } else {
        lines.erase(lines.begin() + long(i));
      }
      insertAt = std::string::npos;
      sectionAt = 0;
      break;
    }
  }
  if (sectionAt == std::string::npos) {
    if (!value) return true;
    lines.push_back("[" + wantSection + "]");
    lines.push_back(newLine);
  } else if (insertAt != std::string::npos && value) {
    lines.insert(lines.begin() + long(insertAt), newLine);
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
