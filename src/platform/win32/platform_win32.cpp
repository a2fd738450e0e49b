// The platform layer over the real Windows API.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_overrides.h"
#include "platform/platform.h"
#include "platform/system_time.h"
#include "platform/unicode_text.h"

static_assert(sizeof(platform::FindData) == sizeof(WIN32_FIND_DATAA), "record size");
static_assert(offsetof(platform::FindData, fileName) == offsetof(WIN32_FIND_DATAA, cFileName),
              "record layout");
static_assert(offsetof(platform::FindData, sizeLow) == offsetof(WIN32_FIND_DATAA, nFileSizeLow),
              "record layout");

namespace platform {

namespace {
DWORD ClampSize(std::size_t size) {
  return size > 0x7fffffff ? 0x7fffffff : DWORD(size);
}
// A local path as WideLocalPath marks it: the UTF-16 path its UTF-8 text spells; empty for
// a path in the code page.
std::wstring MarkedPath(const char* path) {
  const std::size_t mark = sizeof kUtf8PathMark - 1;
  if (!path || std::strncmp(path, kUtf8PathMark, mark) != 0) return std::wstring();
  const std::u16string wide = Utf8ToUtf16(path + mark);
  return std::wstring(wide.begin(), wide.end());
}
}  // namespace

std::string WideLocalPath(const std::u16string& path) {
  const std::string utf8 = Utf16ToUtf8(path);
  const std::string ansi = Utf8ToAnsi(utf8);
  if (AnsiToUtf8(ansi) == utf8) return ansi;
  return kUtf8PathMark + utf8;
}

std::size_t ReadIniValue(const char* section, const char* key, const char* fallback, char* buffer,
                         std::size_t size, const char* file) {
  FL_OVERRIDABLE(readIniValue, section, key, fallback, buffer, size, file);
  if (size == 0) return 0;
  return GetPrivateProfileStringA(section, key, fallback, buffer, ClampSize(size), file);
}

bool WriteIniValue(const char* section, const char* key, const char* value, const char* file) {
  FL_OVERRIDABLE(writeIniValue, section, key, value, file);
  return WritePrivateProfileStringA(section, key, value, file) != 0;
}

bool WriteWholeFile(const char* path, const void* data, std::size_t size, bool* written) {
  FL_OVERRIDABLE(writeWholeFile, path, data, size, written);
  const std::wstring wide = MarkedPath(path);
  HANDLE file = wide.empty() ? CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                             : CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  BOOL ok = WriteFile(file, data, ClampSize(size), &done, nullptr);
  if (written) *written = ok && done == size;
  CloseHandle(file);
  return true;
}

bool CopyFileTo(const char* source, const char* target, bool failIfExists) {
  FL_OVERRIDABLE(copyFileTo, source, target, failIfExists);
  const std::wstring wideSource = MarkedPath(source), wideTarget = MarkedPath(target);
  if (wideSource.empty() && wideTarget.empty()) {
    return CopyFileA(source, target, failIfExists ? TRUE : FALSE) != 0;
  }
  const std::u16string s = Utf8ToUtf16(AnsiToUtf8(source)), t = Utf8ToUtf16(AnsiToUtf8(target));
  return CopyFileW(
             wideSource.empty() ? std::wstring(s.begin(), s.end()).c_str() : wideSource.c_str(),
             wideTarget.empty() ? std::wstring(t.begin(), t.end()).c_str() : wideTarget.c_str(),
             failIfExists ? TRUE : FALSE) != 0;
}

bool RemoveFile(const char* path) {
  FL_OVERRIDABLE(removeFile, path);
  const std::wstring wide = MarkedPath(path);
  return (wide.empty() ? DeleteFileA(path) : DeleteFileW(wide.c_str())) != 0;
}

struct OpenFile {
  HANDLE handle;
};

namespace {
// The system's "already exists" codes as the one the core knows.
void NormaliseExists() {
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
    ::SetLastError(kErrorFileExists);
  }
}
}  // namespace

OpenFile* CreateNewFile(const char* path) {
  FL_OVERRIDABLE(createNewFile, path);
  const std::wstring wide = MarkedPath(path);
  HANDLE file = wide.empty() ? CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr)
                             : CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    NormaliseExists();
    return nullptr;
  }
  return new OpenFile{file};
}

bool WriteToFile(OpenFile* file, const void* data, std::size_t size) {
  FL_OVERRIDABLE(writeToFile, file, data, size);
  if (!file) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD done = 0;
    if (!WriteFile(file->handle, p, ClampSize(size), &done, nullptr) || done == 0) return false;
    p += done;
    size -= done;
  }
  return true;
}

bool FlushFile(OpenFile* file) {
  FL_OVERRIDABLE(flushFile, file);
  return file && FlushFileBuffers(file->handle) != 0;
}

bool CloseFile(OpenFile* file) {
  FL_OVERRIDABLE(closeFile, file);
  if (!file) return false;
  const bool ok = CloseHandle(file->handle) != 0;
  delete file;
  return ok;
}

bool MoveFileTo(const char* from, const char* to, bool replace) {
  FL_OVERRIDABLE(moveFileTo, from, to, replace);
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  const std::wstring wideFrom = MarkedPath(from), wideTo = MarkedPath(to);
  const bool moved = wideFrom.empty() && wideTo.empty()
                         ? MoveFileExA(from, to, flags) != 0
                         : !wideFrom.empty() && !wideTo.empty() &&
                               MoveFileExW(wideFrom.c_str(), wideTo.c_str(), flags) != 0;
  if (moved) return true;
  NormaliseExists();
  return false;
}

bool PathExists(const char* path) {
  const std::wstring wide = MarkedPath(path);
  return (wide.empty() ? GetFileAttributesA(path) : GetFileAttributesW(wide.c_str())) !=
         INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path) {
  const std::wstring wide = MarkedPath(path);
  const DWORD attributes =
      wide.empty() ? GetFileAttributesA(path) : GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint32_t LastError() {
  return GetLastError();
}
void SetLastError(std::uint32_t code) {
  ::SetLastError(code);
}

struct DirectorySearch {
  HANDLE handle;
};

DirectorySearch* FindFirstEntry(const char* pattern, FindData* out) {
  HANDLE h = FindFirstFileA(pattern, reinterpret_cast<WIN32_FIND_DATAA*>(out));
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return new DirectorySearch{h};
}

bool FindNextEntry(DirectorySearch* search, FindData* out) {
  if (!search) return false;
  return FindNextFileA(search->handle, reinterpret_cast<WIN32_FIND_DATAA*>(out)) != 0;
}

void FindClose(DirectorySearch* search) {
  if (!search) return;
  ::FindClose(search->handle);
  delete search;
}

void ModulePath(void* moduleHandle, char* buffer, std::size_t size) {
  if (size == 0) return;
  DWORD n = GetModuleFileNameA(static_cast<HMODULE>(moduleHandle), buffer, ClampSize(size));
  if (n >= size) n = DWORD(size - 1);
  buffer[n] = '\0';
}

std::string Utf8ToAnsi(const std::string& utf8) {
  if (utf8.empty()) return std::string();
  int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  if (wide <= 0) return std::string();
  std::vector<wchar_t> w(wide);
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), wide);
  // No "best fit": it turns full-width "．／＼：" into ". / \\ :" and so brings back path
  // separators and device names a name was cleaned of. A character the code page lacks
  // becomes the default "?" instead, which callers make safe.
  int narrow = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), wide, nullptr, 0,
                                   nullptr, nullptr);
  if (narrow <= 0) return std::string();
  std::string out(narrow, '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), wide, &out[0], narrow, nullptr,
                      nullptr);
  return out;
}

std::string AnsiToUtf8(const std::string& ansi) {
  if (ansi.empty()) return std::string();
  int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
  if (wide <= 0) return std::string();
  std::vector<wchar_t> w(wide);
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), w.data(), wide);
  int narrow = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return std::string();
  std::string out(narrow, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &out[0], narrow, nullptr, nullptr);
  return out;
}

bool SystemTimeToFileTime(const SystemTime& in, FileTime* out) {
  // Wine's kernel32 takes an impossible day of the month (2023-02-29) as the next day.
  if (!IsValidSystemTime(in)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  SYSTEMTIME st;
  std::memcpy(&st, &in, sizeof st);
  FILETIME ft;
  if (!::SystemTimeToFileTime(&st, &ft)) return false;
  out->low = ft.dwLowDateTime;
  out->high = ft.dwHighDateTime;
  return true;
}

std::int64_t CurrentUnixTime() {
  FL_OVERRIDABLE(currentUnixTime);
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  std::uint64_t t = (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return std::int64_t(t / 10000000ULL) - 11644473600LL;
}

std::uint64_t NowMilliseconds() {
  FL_OVERRIDABLE(nowMilliseconds);
  return std::uint64_t(::GetTickCount64());
}

bool ShellOpen(const char* path) {
  HINSTANCE r = ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

void* LoadDynamicLibrary(const char* path) {
  return LoadLibraryA(path);
}

void* FindFunction(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void* LoadModuleIcon(void* module, int id) {
  return LoadImageA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16,
                    LR_DEFAULTCOLOR);
}

namespace {
BOOL CALLBACK TakeFirstVisible(HWND window, LPARAM found) {
  if (!IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}
}  // namespace

void* FindVisibleThreadWindow() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), TakeFirstVisible, reinterpret_cast<LPARAM>(&found));
  return found;
}

void SendWindowMessage(void* window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (!window) return;
  SendMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

}  // namespace platform
