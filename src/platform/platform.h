// The one narrow interface between the portable core and the operating system.
//
// Two implementations exist, chosen at link time: win32/ calls the real kernel32, user32,
// shell32 and friends; posix/ gives the same observable behaviour on Linux, or does nothing
// and says so where Linux has no equivalent (windows, dialogs). Paths handed in are Windows
// paths (backslash separators); the posix side maps them onto its own file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace platform {

// Windows error codes the core maps to host results.
enum ErrorCode : std::uint32_t {
  kErrorNone = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorWriteFault = 29,
  kErrorFileExists = 80,
};

// FILETIME: 100-ns intervals since 1601-01-01 UTC, low half first.
struct FileTime {
  std::uint32_t low;
  std::uint32_t high;
};

// The value the host shows as no time at all (a blank date).
constexpr FileTime kNoFileTime = {0xFFFFFFFEu, 0xFFFFFFFFu};

// SYSTEMTIME, field for field.
struct SystemTime {
  std::uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

// The host's directory-entry record, laid out exactly as WIN32_FIND_DATAA (320 bytes).
struct FindData {
  std::uint32_t attributes;
  FileTime creationTime;
  FileTime lastAccessTime;
  FileTime lastWriteTime;
  std::uint32_t sizeHigh;
  std::uint32_t sizeLow;
  std::uint32_t reserved0;
  std::uint32_t reserved1;
  char fileName[260];
  char alternateFileName[14];
};
static_assert(sizeof(FindData) == 320, "FindData must match WIN32_FIND_DATAA");
// The bytes of the record a host may hand in: its fields end at 318, and a host that lays
// the record out packed (Double Commander's ANSI record) owns no more. Nothing is ever
// written past them.
constexpr std::size_t kFindDataHostBytes =
    offsetof(FindData, alternateFileName) + sizeof(FindData::alternateFileName);
static_assert(kFindDataHostBytes == 318, "the host's record");
// Clears a host's record, and copies a whole one into it, within those bytes.
inline void ClearFindData(FindData* record) {
  std::memset(record, 0, kFindDataHostBytes);
}
inline void CopyFindData(FindData* to, const FindData& from) {
  std::memcpy(to, &from, kFindDataHostBytes);
}

constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeNormal = 0x80;

// ---- Private-profile (ini) files -------------------------------------------------------
// Reads a value into buffer (size bytes, always terminated), as GetPrivateProfileStringA
// does: names matched without regard to case, blanks around names and values dropped, one
// pair of matching quotes around a value removed, the result cut to size - 1 characters.
// Returns the number of characters written, terminator excluded.
std::size_t ReadIniValue(const char* section, const char* key, const char* fallback, char* buffer,
                         std::size_t size, const char* file);
// Writes key=value into section, creating the file and the section when needed.
bool WriteIniValue(const char* section, const char* key, const char* value, const char* file);

// ---- Files ------------------------------------------------------------------------------
// Creates (or truncates) a file for writing and writes data in one call. False when the
// file cannot be created; the outcome of the write itself is reported through written.
bool WriteWholeFile(const char* path, const void* data, std::size_t size, bool* written);
// Copies a file; with failIfExists an existing target fails with kErrorFileExists.
bool CopyFileTo(const char* source, const char* target, bool failIfExists);
// Removes a file; false when it cannot be removed.
bool RemoveFile(const char* path);
// A file open for writing. Opaque.
struct OpenFile;
// Creates a new file for writing; null when it cannot be made, kErrorFileExists when
// something is already there (nothing existing is ever opened or truncated).
OpenFile* CreateNewFile(const char* path);
// Writes all of data; false when the write stopped short or failed.
bool WriteToFile(OpenFile* file, const void* data, std::size_t size);
// Hands what was written to the disk.
bool FlushFile(OpenFile* file);
// Closes the file (always); false when the system reported a failure on closing.
bool CloseFile(OpenFile* file);
// Renames from to to in one step. With replace an existing target is replaced; without it
// an existing target stays and the call fails with kErrorFileExists.
bool MoveFileTo(const char* from, const char* to, bool replace);
// True when something (a file or a folder) exists at path.
bool PathExists(const char* path);
// True when path names a folder.
bool IsFolder(const char* path);
// The error code of the last failed platform call on this thread.
std::uint32_t LastError();
void SetLastError(std::uint32_t code);

// A local path the host gave in UTF-16, in the form the file calls above take. On POSIX its
// UTF-8 text. On Windows the path in the code page when the code page holds every letter of
// it, else kUtf8PathMark and its UTF-8 text, which the file calls open through the wide
// system calls (a path never holds a byte below 0x20, so no path given in the code page
// starts with the mark).
constexpr char kUtf8PathMark[] = "\x01utf8:";
std::string WideLocalPath(const std::u16string& path);

// ---- Directory search -------------------------------------------------------------------
// A running search of one folder for a pattern such as "C:\dir\*.*". Opaque.
struct DirectorySearch;
// Starts a search and writes the first entry; null when nothing can be listed.
DirectorySearch* FindFirstEntry(const char* pattern, FindData* out);
bool FindNextEntry(DirectorySearch* search, FindData* out);
void FindClose(DirectorySearch* search);

// ---- Module, text and time ----------------------------------------------------------------
// Full path of the module holding this code, cut to fit size bytes.
void ModulePath(void* moduleHandle, char* buffer, std::size_t size);
// UTF-8 text to the system's ANSI code page: Windows' own, the locale's character set on POSIX.
std::string Utf8ToAnsi(const std::string& utf8);
// Text in the system's ANSI code page to UTF-8; a byte the code page does not use becomes "?".
std::string AnsiToUtf8(const std::string& ansi);
bool SystemTimeToFileTime(const SystemTime& in, FileTime* out);
// Seconds since 1970-01-01 UTC.
std::int64_t CurrentUnixTime();
// A clock for deadlines: milliseconds from some fixed point, never going back. Every wait
// and time bound of the module reads this one clock, so a test that stands in for it (and
// for SleepMilliseconds) runs deadlines without real waiting.
std::uint64_t NowMilliseconds();

// ---- Shell, libraries and the host window --------------------------------------------------
// Opens a file with its associated program; false where the platform has no such thing.
bool ShellOpen(const char* path);
void* LoadDynamicLibrary(const char* path);
void* FindFunction(void* library, const char* name);
// An icon from the module's resources; null where there is none.
void* LoadModuleIcon(void* module, int id);
// The first visible top-level window of the calling thread; null when there is none.
void* FindVisibleThreadWindow();
// Sends a message synchronously; does nothing for a null window.
void SendWindowMessage(void* window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam);

// ---- Test hooks ---------------------------------------------------------------------------
// Failures the system will not give on demand (a file that cannot be created, a write that
// stops short, a profile that holds an absurd count, an internet library that keeps asking
// for a bigger buffer) are provoked in tests by standing in for the call, as SQLite's
// overridable system calls do. The table names every call of this layer that reaches the
// system's files, profiles or internet library; a null member keeps the real call.
struct OpenFile;
struct HeaderQuery;
struct HeaderAnswer;
struct TransferWatch;
struct FileCallOverrides {
  bool (*writeWholeFile)(const char* path, const void* data, std::size_t size, bool* written);
  // Files.
  OpenFile* (*createNewFile)(const char* path) = nullptr;
  bool (*writeToFile)(OpenFile* file, const void* data, std::size_t size) = nullptr;
  bool (*flushFile)(OpenFile* file) = nullptr;
  bool (*closeFile)(OpenFile* file) = nullptr;
  bool (*moveFileTo)(const char* from, const char* to, bool replace) = nullptr;
  bool (*removeFile)(const char* path) = nullptr;
  bool (*copyFileTo)(const char* source, const char* target, bool failIfExists) = nullptr;
  // POSIX: the system's link() and renameat2(RENAME_NOREPLACE) on system paths, as the
  // system answers (0, or -1 with errno): a test fails them as a disk without hard links does.
  int (*posixLink)(const char* from, const char* to) = nullptr;
  int (*posixRenameNoReplace)(const char* from, const char* to) = nullptr;
  // Profiles.
  std::size_t (*readIniValue)(const char* section, const char* key, const char* fallback,
                              char* buffer, std::size_t size, const char* file) = nullptr;
  bool (*writeIniValue)(const char* section, const char* key, const char* value,
                        const char* file) = nullptr;
  // The internet library (platform/internet.h); handles are void* there.
  void* (*netOpen)(const char* agent) = nullptr;
  void* (*netConnect)(void* internet, const char* server, int port) = nullptr;
  void* (*netOpenRequest)(void* connection, const char* verb, const char* object,
                          const char* referrer, const char* accept, std::uint32_t flags) = nullptr;
  bool (*netSendRequest)(void* request, const char* headers, const void* body,
                         std::uint32_t bodyLength) = nullptr;
  bool (*netReadFile)(void* request, void* buffer, std::uint32_t size,
                      std::uint32_t* read) = nullptr;
  bool (*netQueryContentLength)(void* request, std::uint32_t* length) = nullptr;
  bool (*netQueryStatusCode)(void* request, std::uint32_t* status) = nullptr;
  bool (*netQueryLastModified)(void* request, SystemTime* time) = nullptr;
  bool (*netQueryLocation)(void* request, std::string* location) = nullptr;
  bool (*netQuerySetCookies)(void* request, std::vector<std::string>* lines) = nullptr;
  void (*netCloseHandle)(void* handle) = nullptr;
  bool (*netQueryContentLength64)(void* request, std::uint64_t* length) = nullptr;
  void (*netWatchRequest)(void* request, const TransferWatch& watch) = nullptr;
  // The header queries of a batch (platform/internet.h has the types).
  void (*netQueryHeaders)(void* internet, const char* server, int port, std::uint32_t flags,
                          const char* headers, const char* accept,
                          const std::vector<HeaderQuery>& queries,
                          std::vector<HeaderAnswer>* answers, const TransferWatch* watch) = nullptr;
  // Time: the deadline clock and the pause.
  std::uint64_t (*nowMilliseconds)() = nullptr;
  std::int64_t (*currentUnixTime)() = nullptr;
  void (*sleepMilliseconds)(std::uint32_t milliseconds) = nullptr;
};
// Puts overrides in force for the whole process (null: the real calls again).
void OverrideFileCalls(const FileCallOverrides* overrides);

// ---- The offer dialog ------------------------------------------------------------------------
struct OfferDialogTexts {
  const char* caption;
  const char* accept;                     // the first button
  const char* decline;                    // the second button
  const std::vector<std::string>* lines;  // the message's lines, listed sorted
};
constexpr int kOfferDialogId = 115;
// Shows the module's offer dialog modally, centred on owner (on the desktop without one).
// 1 when the first button was pressed; 0 for the second, for closing it, or where this
// platform has no dialog and no host program answers for one.
int ShowOfferDialog(void* owner, void* module, const OfferDialogTexts& texts);

}  // namespace platform
