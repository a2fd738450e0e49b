#include "platform/file_writer.h"

namespace platform {

namespace {
// The longest path a Windows file call takes (MAX_PATH less the terminator).
constexpr std::size_t kMaxPath = 259;
// How many temporary names are tried before a write gives up: names left behind by a
// process that was killed mid-write are skipped, not reused.
constexpr int kAttempts = 16;

thread_local bool downloadMayReplace = false;

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? 0 : slash + 1;
}
}  // namespace

std::string TemporaryPathFor(const std::string& target, int attempt) {
  const std::size_t at = NameStart(target);
  const std::string folder = target.substr(0, at);
  const std::string suffix = (attempt > 0 ? "." + std::to_string(attempt) : "") + ".part";
  std::string path = folder + "." + target.substr(at) + suffix;
  if (path.size() > kMaxPath) path = folder + ".frameleaf" + suffix;
  return path;
}

bool SafeFileWriter::Open(const char* target) {
  Abandon();
  failed_ = false;
  target_ = target ? target : "";
  if (target_.empty() || NameStart(target_) == target_.size()) {
    SetLastError(kErrorPathNotFound);
    return false;
  }
  // A folder can never take the bytes, with or without the overwrite flag: said before
  // anything is fetched or written.
  if (IsFolder(target_.c_str())) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string candidate = TemporaryPathFor(target_, attempt);
    file_ = CreateNewFile(candidate.c_str());
    if (file_) {
      temporary_ = candidate;
      return true;
    }
    if (LastError() != kErrorFileExists) return false;
  }
  return false;
}

bool SafeFileWriter::Write(const void* data, std::size_t size) {
  if (!file_ || failed_) return false;
  if (size > 0 && !WriteToFile(file_, data, size)) failed_ = true;
  return !failed_;
}

WriteOutcome SafeFileWriter::Commit(bool replace) {
  if (!file_) return WriteOutcome::kNotCreated;
  bool ok = !failed_ && FlushFile(file_);
  ok = CloseFile(file_) && ok;
  file_ = nullptr;
  if (!ok) {
    Abandon();
    SetLastError(kErrorWriteFault);
    return WriteOutcome::kNotWritten;
  }
  if (MoveFileTo(temporary_.c_str(), target_.c_str(), replace)) {
    temporary_.clear();
    return WriteOutcome::kWritten;
  }
  const std::uint32_t error = LastError();
  Abandon();
  SetLastError(error);
  return error == kErrorFileExists ? WriteOutcome::kTargetExists : WriteOutcome::kNotMoved;
}

void SafeFileWriter::Abandon() {
  if (file_) CloseFile(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    const std::uint32_t error = LastError();
    RemoveFile(temporary_.c_str());
    SetLastError(error);  // the reason of the failure stands, not the clean-up's
  }
  temporary_.clear();
}

WriteOutcome WriteFileSafely(const char* target, const void* data, std::size_t size, bool replace) {
  SafeFileWriter writer;
  if (!writer.Open(target)) return WriteOutcome::kNotCreated;
  writer.Write(data, size);
  return writer.Commit(replace);
}

WriteOutcome CopyFileSafely(const char* source, const char* target, bool replace) {
  const std::string to = target ? target : "";
  if (to.empty() || NameStart(to) == to.size()) {
    SetLastError(kErrorPathNotFound);
    return WriteOutcome::kNotCreated;
  }
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string temporary = TemporaryPathFor(to, attempt);
    if (!CopyFileTo(source, temporary.c_str(), true)) {
      const std::uint32_t error = LastError();
      if (error == kErrorFileExists) continue;
      if (error == kErrorFileNotFound || error == kErrorPathNotFound) {
        return WriteOutcome::kNotCreated;
      }
      RemoveFile(temporary.c_str());  // a copy that broke off half-way
      SetLastError(error);
      return WriteOutcome::kNotWritten;
    }
    if (MoveFileTo(temporary.c_str(), to.c_str(), replace)) return WriteOutcome::kWritten;
    const std::uint32_t error = LastError();
    RemoveFile(temporary.c_str());
    SetLastError(error);
    return error == kErrorFileExists ? WriteOutcome::kTargetExists : WriteOutcome::kNotMoved;
  }
  return WriteOutcome::kNotCreated;
}

bool DownloadMayReplace() {
  return downloadMayReplace;
}

ReplaceScope::ReplaceScope(bool replace) : previous_(downloadMayReplace) {
  downloadMayReplace = replace;
}

ReplaceScope::~ReplaceScope() {
  downloadMayReplace = previous_;
}

}  // namespace platform
