// The platform layer on POSIX systems: files, folders, libraries and time from libc; no
// windows, no shell. The host window is a message sink that a host program may export.
//
// Sections, in order: errors and names (FromErrno, CopyName, FromUnix, WildcardMatch);
// files (whole-file writes, open files, moves and copies); the last error; folder listings
// (FindFirstEntry, FindNextEntry, FindClose) and the module's path; character sets (the
// Windows-1251 table, UTF-8 to and from the locale's set); time; and libraries, icons,
// windows and the offer dialog, which a host program may provide.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/file_overrides.h"
#include "platform/platform.h"
#include "platform/posix/charset.h"
#include "platform/posix/posix_paths.h"
#include "platform/system_time.h"
#include "platform/unicode_text.h"

namespace platform {

namespace {

thread_local std::uint32_t lastError = 0;

std::uint32_t FromErrno(int e) {
  switch (e) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorFileExists;
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

void CopyName(const std::string& name, char* out, std::size_t size) {
  std::size_t n = std::min(name.size(), size - 1);
  std::memcpy(out, name.data(), n);
  out[n] = '\0';
}

FileTime FromUnix(std::int64_t seconds, long nanoseconds) {
  std::uint64_t t =
      std::uint64_t(seconds + 11644473600LL) * 10000000ULL + std::uint64_t(nanoseconds / 100);
  return FileTime{std::uint32_t(t), std::uint32_t(t >> 32)};
}

// Matches a Windows wildcard pattern without regard to case; "*.*" matches every name.
bool WildcardMatch(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0) return true;
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    char p = *pattern, n = *name;
    if (p >= 'A' && p <= 'Z') p += 32;
    if (n >= 'A' && n <= 'Z') n += 32;
    if (p == '*') {
      star = pattern++;
      resume = name;
    } else if (p == '?' || (p != '\0' && p == n)) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*')
    ++pattern;
  return *pattern == '\0';
}

}  // namespace

bool WriteWholeFile(const char* path, const void* data, std::size_t size, bool* written) {
  FL_OVERRIDABLE(writeWholeFile, path, data, size, written);
  int fd = ::open(PosixPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    lastError = FromErrno(errno);
    return false;
  }
  const char* p = static_cast<const char*>(data);
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n <= 0) break;
    p += n;
    left -= std::size_t(n);
  }
  if (written) *written = left == 0;
  ::close(fd);
  return true;
}

bool RemoveFile(const char* path) {
  FL_OVERRIDABLE(removeFile, path);
  if (path && ::unlink(PosixPath(path).c_str()) == 0) return true;
  lastError = FromErrno(errno);
  return false;
}

struct OpenFile {
  int fd;
};

OpenFile* CreateNewFile(const char* path) {
  FL_OVERRIDABLE(createNewFile, path);
  const int fd = ::open(PosixPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    lastError = FromErrno(errno);
    return nullptr;
  }
  return new OpenFile{fd};
}

bool WriteToFile(OpenFile* file, const void* data, std::size_t size) {
  FL_OVERRIDABLE(writeToFile, file, data, size);
  if (!file) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(file->fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      lastError = n < 0 ? FromErrno(errno) : kErrorWriteFault;
      return false;
    }
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

bool FlushFile(OpenFile* file) {
  FL_OVERRIDABLE(flushFile, file);
  if (file && ::fsync(file->fd) == 0) return true;
  lastError = kErrorWriteFault;
  return false;
}

bool CloseFile(OpenFile* file) {
  FL_OVERRIDABLE(closeFile, file);
  if (!file) return false;
  const bool ok = ::close(file->fd) == 0;
  delete file;
  if (!ok) lastError = kErrorWriteFault;
  return ok;
}

namespace {

int Link(const char* from, const char* to) {
  FL_OVERRIDABLE(posixLink, from, to);
  return ::link(from, to);
}

int RenameNoReplace(const char* from, const char* to) {
  FL_OVERRIDABLE(posixRenameNoReplace, from, to);
#ifdef RENAME_NOREPLACE
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#else
  errno = ENOSYS;
  return -1;
#endif
}

// A disk that makes no hard links (FAT and exFAT sticks, many FUSE mounts) or that cannot
// rename without replacing says so with one of these.
bool Unsupported(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL ||
         error == EMLINK;
}

}  // namespace

bool MoveFileTo(const char* from, const char* to, bool replace) {
  FL_OVERRIDABLE(moveFileTo, from, to, replace);
  const std::string source = PosixPath(from), target = PosixPath(to);
  if (replace) {
    if (::rename(source.c_str(), target.c_str()) == 0) return true;
    lastError = FromErrno(errno);
    return false;
  }
  // Never over a file that appeared meanwhile. A hard link is made only where nothing is;
  // the source name then goes.
  if (Link(source.c_str(), target.c_str()) == 0) {
    ::unlink(source.c_str());
    return true;
  }
  if (!Unsupported(errno)) {
    lastError = FromErrno(errno);
    return false;
  }
  // Without hard links: a rename that refuses to replace.
  if (RenameNoReplace(source.c_str(), target.c_str()) == 0) return true;
  if (!Unsupported(errno)) {
    lastError = FromErrno(errno);
    return false;
  }
  // Without that either: the name is taken for this file alone (created only where nothing
  // is), and the finished file is renamed over what is then its own reservation.
  const int reserved = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (reserved < 0) {
    lastError = FromErrno(errno);
    return false;
  }
  ::close(reserved);
  if (::rename(source.c_str(), target.c_str()) != 0) {
    lastError = FromErrno(errno);
    ::unlink(target.c_str());
    return false;
  }
  return true;
}

bool PathExists(const char* path) {
  struct stat st;
  return path && ::stat(PosixPath(path).c_str(), &st) == 0;
}

bool IsFolder(const char* path) {
  struct stat st;
  return path && ::stat(PosixPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CopyFileTo(const char* source, const char* target, bool failIfExists) {
  FL_OVERRIDABLE(copyFileTo, source, target, failIfExists);
  int in = ::open(PosixPath(source).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    lastError = FromErrno(errno);
    return false;
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
  int out = ::open(PosixPath(target).c_str(), flags, 0644);
  if (out < 0) {
    lastError = FromErrno(errno);
    ::close(in);
    return false;
  }
  char chunk[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0 || ::write(out, chunk, std::size_t(n)) != n) {
      lastError = FromErrno(errno);
      ok = false;
      break;
    }
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  return ok;
}

std::uint32_t LastError() {
  return lastError;
}
void SetLastError(std::uint32_t code) {
  lastError = code;
}

// The whole listing is read at the start and handed out in name order, the folder's own
// "." and ".." first, as Windows does for a folder that is not a drive root.
struct DirectorySearch {
  std::vector<FindData> entries;
  std::size_t next = 0;
};

DirectorySearch* FindFirstEntry(const char* pattern, FindData* out) {
  std::string p = PosixPath(pattern);
  std::size_t slash = p.rfind('/');
  std::string folder = slash == std::string::npos ? "." : p.substr(0, slash);
  std::string mask = slash == std::string::npos ? p : p.substr(slash + 1);
  if (folder.empty()) folder = "/";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    lastError = FromErrno(errno);
    return nullptr;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    if (WildcardMatch(mask.c_str(), e->d_name)) names.push_back(e->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    bool ad = a == "." || a == "..", bd = b == "." || b == "..";
    if (ad != bd) return ad;
    return a < b;
  });
  auto* search = new DirectorySearch;
  for (const std::string& name : names) {
    struct stat st;
    if (::stat((folder + "/" + name).c_str(), &st) != 0) continue;
    FindData d;
    std::memset(&d, 0, sizeof d);
    d.attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : 0x20;  // archive, as Windows
    d.creationTime = FromUnix(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    d.lastAccessTime = FromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    d.lastWriteTime = FromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    if (!S_ISDIR(st.st_mode)) {
      d.sizeLow = std::uint32_t(st.st_size);
      d.sizeHigh = std::uint32_t(std::uint64_t(st.st_size) >> 32);
    }
    CopyName(name, d.fileName, sizeof d.fileName);
    search->entries.push_back(d);
  }
  if (search->entries.empty()) {
    delete search;
    lastError = kErrorFileNotFound;
    return nullptr;
  }
  *out = search->entries[0];
  search->next = 1;
  return search;
}

bool FindNextEntry(DirectorySearch* search, FindData* out) {
  if (!search || search->next >= search->entries.size()) {
    lastError = 18;  // ERROR_NO_MORE_FILES
    return false;
  }
  *out = search->entries[search->next++];
  return true;
}

void FindClose(DirectorySearch* search) {
  delete search;
}

void ModulePath(void*, char* buffer, std::size_t size) {
  if (size == 0) return;
  Dl_info info;
  std::string path;
  if (::dladdr(reinterpret_cast<void*>(&ModulePath), &info) && info.dli_fname) {
    char resolved[4096];
    path = ::realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  }
  CopyName(path, buffer, size);
}

namespace {
// Windows-1251 for the code points 0x80..0xBF of the code page; 0 where a byte is unused.
const std::uint16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char ToCp1251(std::uint32_t cp) {
  if (cp < 0x80) return char(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return char(0xC0 + (cp - 0x0410));
  for (int i = 0; i < 64; ++i) {
    if (kCp1251High[i] == cp) return char(0x80 + i);
  }
  return '?';
}

// Charset names compared as glibc and iconv spell them: without case, "-" and "_".
std::string Normalised(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    out += char(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return out;
}

// One character (the UTF-8 bytes of code point cp) in charset.
void AppendInCharset(std::string* out, std::uint32_t cp, const char* bytes, std::size_t n,
                     const std::string& set) {
  // A character past U+FFFF that the set lacks is two "?", as Windows converts it: one for
  // each half of its UTF-16 form.
  const char* missing = cp >= 0x10000 ? "??" : "?";
  if (set == "UTF8") {
    out->append(bytes, n);
  } else if (set == "CP1251" || set == "WINDOWS1251") {
    if (cp >= 0x10000) {
      *out += missing;
    } else {
      *out += ToCp1251(cp);
    }
  } else if (cp < 0x80) {
    *out += char(cp);
  } else {
    // Any other set through iconv, one character at a time so that a missing one is a "?".
    iconv_t cd = ::iconv_open(set.c_str(), "UTF-8");
    char converted[16];
    char* in = const_cast<char*>(bytes);
    char* to = converted;
    std::size_t inLeft = n, outLeft = sizeof converted;
    if (cd != iconv_t(-1) && ::iconv(cd, &in, &inLeft, &to, &outLeft) != std::size_t(-1) &&
        inLeft == 0) {
      out->append(converted, sizeof converted - outLeft);
    } else {
      *out += missing;
    }
    if (cd != iconv_t(-1)) ::iconv_close(cd);
  }
}
}  // namespace

std::string LocaleCharset() {
  locale_t locale = ::newlocale(LC_CTYPE_MASK, "", locale_t(0));
  if (!locale) return "UTF-8";
  std::string set = ::nl_langinfo_l(CODESET, locale);
  ::freelocale(locale);
  if (set.empty() || Normalised(set) == "ANSIX3.41968" || Normalised(set) == "ASCII") {
    return "UTF-8";
  }
  return set;
}

std::string Utf8ToCharset(const std::string& utf8, const std::string& charset) {
  const std::string set = Normalised(charset);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    // As the Windows decoder does, the longest valid start of a malformed sequence (a stray
    // byte, an overlong form such as C0 AF for "/") becomes one "?".
    const std::size_t start = i;
    std::uint32_t cp = 0;
    if (DecodeUtf8(utf8, &i, &cp)) {
      AppendInCharset(&out, cp, utf8.data() + start, i - start, set);
    } else {
      out += '?';
    }
  }
  return out;
}

std::string Utf8ToAnsi(const std::string& utf8) {
  // The environment's locale is read once: the code page does not change while a process runs.
  static const std::string charset = LocaleCharset();
  return Utf8ToCharset(utf8, charset);
}

std::string CharsetToUtf8(const std::string& text, const std::string& charset) {
  const std::string set = Normalised(charset);
  if (set == "UTF8") return text;
  std::string out;
  out.reserve(text.size() * 2);
  const bool cp1251 = set == "CP1251" || set == "WINDOWS1251";
  iconv_t cd = cp1251 ? iconv_t(-1) : ::iconv_open("UTF-8", set.c_str());
  for (char byte : text) {
    const unsigned char c = static_cast<unsigned char>(byte);
    std::uint32_t cp = c < 0x80 ? c : 0;
    if (cp1251 && c >= 0xC0) {
      cp = 0x0410 + (c - 0xC0);
    } else if (cp1251 && c >= 0x80) {
      cp = kCp1251High[c - 0x80];
    } else if (c >= 0x80 && cd != iconv_t(-1)) {
      // Other single-byte sets through iconv, one byte at a time: a byte it refuses is "?".
      char in[1] = {byte}, converted[8];
      char* from = in;
      char* to = converted;
      std::size_t inLeft = 1, outLeft = sizeof converted;
      if (::iconv(cd, &from, &inLeft, &to, &outLeft) != std::size_t(-1)) {
        out.append(converted, sizeof converted - outLeft);
        continue;
      }
    }
    if (cp == 0 && c != 0) {
      out += '?';
    } else if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | cp >> 6);
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xE0 | cp >> 12);
      out += char(0x80 | (cp >> 6 & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  if (cd != iconv_t(-1)) ::iconv_close(cd);
  return out;
}

std::string WideLocalPath(const std::u16string& path) {
  return Utf16ToUtf8(path);
}

std::string AnsiToUtf8(const std::string& ansi) {
  static const std::string charset = LocaleCharset();
  return CharsetToUtf8(ansi, charset);
}

bool SystemTimeToFileTime(const SystemTime& in, FileTime* out) {
  if (!IsValidSystemTime(in)) {
    lastError = 87;  // ERROR_INVALID_PARAMETER
    return false;
  }
  int y = in.year;
  const int m = in.month, d = in.day;
  // Days from 1601-01-01 by the civil-from-days algorithm (proleptic Gregorian).
  y -= m <= 2;
  const std::int64_t era = y / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t daysSince1970 = era * 146097 + doe - 719468;
  const std::int64_t seconds = daysSince1970 * 86400 + in.hour * 3600 + in.minute * 60 + in.second;
  FileTime ft = FromUnix(seconds, 0);
  std::uint64_t t = (std::uint64_t(ft.high) << 32 | ft.low) + in.milliseconds * 10000ULL;
  *out = FileTime{std::uint32_t(t), std::uint32_t(t >> 32)};
  return true;
}

std::int64_t CurrentUnixTime() {
  FL_OVERRIDABLE(currentUnixTime);
  return std::int64_t(std::time(nullptr));
}

std::uint64_t NowMilliseconds() {
  FL_OVERRIDABLE(nowMilliseconds);
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::uint64_t(now.tv_sec) * 1000u + std::uint64_t(now.tv_nsec) / 1000000u;
}

bool ShellOpen(const char*) {
  return false;
}  // no associated programs here

void* LoadDynamicLibrary(const char* path) {
  void* h = ::dlopen(PosixPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) lastError = kErrorFileNotFound;
  return h;
}

void* FindFunction(void* library, const char* name) {
  return library ? ::dlsym(library, name) : nullptr;
}

void* LoadModuleIcon(void*, int) {
  return nullptr;
}  // no icon resources here

// A host program stands in for a window by exporting this function; messages sent to the
// "window" are handed to it.
using HostMessageSink = void (*)(std::uint32_t, std::uintptr_t, std::intptr_t);

void* FindVisibleThreadWindow() {
  return ::dlsym(RTLD_DEFAULT, "frameleaf_host_message_sink");
}

void SendWindowMessage(void* window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (!window) return;
  reinterpret_cast<HostMessageSink>(window)(message, wParam, lParam);
}

// A host program stands in for the dialog by exporting this function: it is shown the
// texts (the lines in the order given) and answers 1 or 0.
using HostOfferDialog = int (*)(const char* caption, const char* const* lines, int count,
                                const char* accept, const char* decline);

int ShowOfferDialog(void*, void*, const OfferDialogTexts& texts) {
  auto dialog =
      reinterpret_cast<HostOfferDialog>(::dlsym(RTLD_DEFAULT, "frameleaf_host_offer_dialog"));
  if (!dialog) return 0;
  std::vector<const char*> lines;
  for (const std::string& line : *texts.lines)
    lines.push_back(line.c_str());
  return dialog(texts.caption, lines.data(), int(lines.size()), texts.accept, texts.decline) == 1
             ? 1
             : 0;
}

}  // namespace platform
