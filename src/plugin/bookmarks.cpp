#include "plugin/bookmarks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "common/limits.h"
#include "plugin/plugin_state.h"

namespace plugin {

namespace {

const char kTabs[] = "tabs";

std::string Read(const char* section, const char* key, const char* fallback) {
  char value[kPathSize];
  platform::ReadIniValue(section, key, fallback, value, sizeof value, State().paths.bookmarkFile);
  return value;
}

void Write(const char* section, const char* key, const char* value) {
  platform::WriteIniValue(section, key, value, State().paths.bookmarkFile);
}

std::string Key(long n) {
  return std::to_string(n);
}

// No walk of the bookmark keys goes further than this, whatever "count" says.
constexpr long kMaxCount = limits::kMaxBookmarkCount;

// Reads "count"; false when the key holds an empty value, which blocks every change. A
// count above kMaxCount is taken as kMaxCount, a negative one as 0: a file that claims two
// billion bookmarks must not make a change read it two billion times, nor count + 1
// overflow.
bool ReadCount(long* count) {
  std::string value = Read(kTabs, "count", "0");
  if (value.empty()) return false;
  const long long n = std::strtoll(value.c_str(), nullptr, 10);
  *count = n < 0 ? 0 : n > kMaxCount ? kMaxCount : long(n);
  return true;
}

// The name under key n; empty where the list has ended (the root listing stops at the
// first empty key too).
std::string NameAt(long n) {
  return Read(kTabs, Key(n).c_str(), "");
}

// Where the list ends: the first key from 1 to count that is empty, else count + 1.
long ListEnd(long count) {
  long n = 1;
  while (n <= count && !NameAt(n).empty())
    ++n;
  return n;
}

// A new bookmark goes where the list ends, so that the root lists it; "count" follows.
void Append(long count, const char* name, const char* url) {
  const std::string n = Key(ListEnd(count));
  Write(kTabs, "count", n.c_str());
  Write(kTabs, n.c_str(), name);
  Write(name, "url", url);
}

// The first key from 1 to count whose bookmark is called name; 0 when none is. Names are
// compared whole: a bookmark "b" must not stand in for a bookmark "ab".
long FindBookmark(long count, const char* name) {
  for (long i = 1; i <= count; ++i) {
    const std::string at = NameAt(i);
    if (at.empty()) break;
    if (at == name) return i;
  }
  return 0;
}

// A letter folded to lower case as the bookmark file's section names are compared: ASCII,
// and the Cyrillic letters of Windows-1251.
unsigned char Fold(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF)) return static_cast<unsigned char>(c + 32);
  return c == 0xA8 ? 0xB8 : c;
}

bool SameSection(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The first key from 1 to count, other than except, whose bookmark's section is the one
// name would write to; 0 when none is. Writing there would replace that bookmark's address.
long FindCollision(long count, const std::string& name, long except) {
  for (long i = 1; i <= count; ++i) {
    const std::string at = NameAt(i);
    if (at.empty()) break;
    if (i != except && SameSection(at, name)) return i;
  }
  return 0;
}

// Whether name can be stored and found again as a bookmark: not empty (an empty key ends
// the list), no backslash (a folder of the root holds none, so it could never be opened,
// renamed or deleted), and not longer than the file's values are read (it would be listed
// cut and open nothing).
bool StorableName(const std::string& name) {
  return !name.empty() && name.size() < kPathSize && name.find('\\') == std::string::npos;
}

}  // namespace

void AddBookmarkByPrompts() {
  long count;
  if (!ReadCount(&count)) return;
  const settings::LanguageStrings& lang = State().language;
  char name[kPathSize], url[kPathSize];
  common::CopyCut(name, lang.Text(6));
  // "Totall Commander" is misspelt on purpose: stored files and servers rely on it.
  if (!Ask(kRequestOther, "Totall Commander", lang.Text(7), name, kPathSize)) return;
  if (!StorableName(name) || FindCollision(count, name, 0)) return;
  common::CopyCut(url, "http://");
  // "Totall Commander" is misspelt on purpose: stored files and servers rely on it.
  if (!Ask(kRequestOther, "Totall Commander", "Url", url, kPathSize)) return;
  Append(count, name, url);
  RereadPanel();
}

int MakeDirectory(const char* path) {
  if (!path || !*path) return 0;
  const std::string name = path + 1;
  if (!StorableName(name)) return 0;
  long count;
  if (!ReadCount(&count)) return 0;
  if (FindCollision(count, name, 0)) return 0;
  char url[kPathSize];
  common::CopyCut(url, "http://");
  if (!Ask(kRequestOther, "Total Commander", "Url", url, kPathSize)) return 0;
  Append(count, name.c_str(), url);
  RereadPanel();
  return 1;
}

int RenameBookmark(const char* oldName, const char* newName) {
  if (!oldName || !newName || std::strlen(oldName) < 3 || std::strlen(newName) < 3) {
    return kFileNotFound;
  }
  if (Progress(oldName, newName, 0)) return kFileUserAbort;
  if (!InsideSingleRename()) return kFileWriteError;
  if (common::PathDepth(oldName) != 1) return kFileWriteError;
  long count;
  if (!ReadCount(&count) || count < 1) return kFileWriteError;
  const long i = FindBookmark(count, oldName + 1);
  if (i == 0) return kFileWriteError;
  // The new name must be storable and must not take another bookmark's section (the same
  // bookmark may change the case of its own name).
  if (!StorableName(newName + 1) || FindCollision(count, newName + 1, i)) return kFileWriteError;
  Write(kTabs, Key(i).c_str(), newName + 1);
  const std::string url = Read(oldName + 1, "url", "");
  Write(newName + 1, "url", url.c_str());
  // What was listed under either name belongs to no bookmark now.
  State().listings.DropUnder(oldName);
  State().listings.DropUnder(newName);
  return Progress(oldName, newName, 100) ? kFileUserAbort : kFileOk;
}

int DeleteBookmark(const char* path) {
  if (!InsideDelete() || !path || common::PathDepth(path) != 2) return 0;
  const std::size_t length = std::strlen(path);
  if (length < 2) return 0;
  const std::string name(path + 1, length - 2);
  long count;
  if (!ReadCount(&count) || count < 1) return 0;
  const long i = FindBookmark(count, name.c_str());
  if (i == 0) return 0;
  for (long j = i; j <= count; ++j) {
    const std::string next = NameAt(j + 1);
    Write(kTabs, Key(j).c_str(), next.c_str());
    if (next.empty()) break;  // the keys after the first empty one are not listed
  }
  Write(kTabs, "count", Key(count - 1).c_str());
  State().listings.DropUnder(("\\" + name).c_str());
  return 1;
}

}  // namespace plugin
