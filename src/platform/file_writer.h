// Writing a local file without ever losing the one that is there: the bytes go to a
// temporary file beside the target (same folder, a dot name the host does not show), which
// is flushed, closed and only then renamed over the target in one step. A write that fails
// or is abandoned removes only its temporary file; the target is untouched until the rename.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace platform {

enum class WriteOutcome {
  kWritten,       // the target holds the new bytes, whole
  kNotCreated,    // no temporary file could be made beside the target (E26's case)
  kNotWritten,    // writing, flushing or closing failed (E27's case)
  kTargetExists,  // the target appeared meanwhile and replacing it was not allowed
  kNotMoved,      // the finished file could not be put in the target's place
};

// The temporary file's path for target: ".NAME.part" in the same folder, or, where that
// would pass the 259 characters a Windows path may have, ".frameleaf.part". attempt > 0
// gives further names (".NAME.1.part", ...) for when an earlier one is taken.
std::string TemporaryPathFor(const std::string& target, int attempt);

class SafeFileWriter {
 public:
  SafeFileWriter() = default;
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;
  // An unfinished write is abandoned: its temporary file goes.
  ~SafeFileWriter() { Abandon(); }

  // Creates the temporary file beside target; false (kNotCreated) when none can be made or
  // target is a folder.
  bool Open(const char* target);
  // Appends data; false once any write has failed.
  bool Write(const void* data, std::size_t size);
  // Flushes and closes the temporary file and renames it over the target: with replace an
  // existing target is replaced, without it the target is kept and kTargetExists returned.
  // Anything but kWritten leaves the target as it was and removes the temporary file. The
  // last error is kErrorFileExists for kTargetExists and kErrorWriteFault for kNotWritten.
  WriteOutcome Commit(bool replace);
  // Removes the temporary file; the target is not touched.
  void Abandon();

  const std::string& temporaryPath() const { return temporary_; }

 private:
  OpenFile* file_ = nullptr;
  std::string target_;
  std::string temporary_;
  bool failed_ = false;
};

// The whole of data to target through a SafeFileWriter.
WriteOutcome WriteFileSafely(const char* target, const void* data, std::size_t size, bool replace);
// Copies source to target the same way: the target is replaced only at the end, and only
// with replace. kNotCreated also stands for a source that cannot be read.
WriteOutcome CopyFileSafely(const char* source, const char* target, bool replace);

// Whether the download in progress on this thread may replace an existing target: the
// host's overwrite flag of the copy that runs (ReplaceScope), false outside any copy.
bool DownloadMayReplace();
class ReplaceScope {
 public:
  explicit ReplaceScope(bool replace);
  ~ReplaceScope();
  ReplaceScope(const ReplaceScope&) = delete;
  ReplaceScope& operator=(const ReplaceScope&) = delete;

 private:
  bool previous_;
};

}  // namespace platform
