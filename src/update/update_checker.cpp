#include "update/update_checker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/fixed_text.h"
#include "extract/names.h"
#include "platform/file_writer.h"
#include "platform/platform.h"
#include "report/messages.h"
#include "update/sha256.h"

namespace update {

namespace {

constexpr char kSection[] = "update";
// "lastvetsion.txt" is misspelt on purpose: stored files and servers rely on it.
constexpr char kVersionFile[] = "files/version/frameleaf/lastvetsion.txt";
constexpr char kDescriptionFolder[] = "files/version/frameleaf/";
constexpr char kFilesFolder[] = "files/";
constexpr std::int64_t kSecondsPerDay = 86400;
// Host file results.
constexpr int kFileOk = 0;
constexpr int kFileExists = 1;
constexpr int kFileNotFound = 2;
constexpr int kFileWriteError = 4;

// An integer setting: the optionally signed decimal number at the start (none: 0).
std::int64_t LeadingInteger(const char* text) {
  return std::strtoll(text, nullptr, 10);
}

// Reads key into buffer; false when the value is empty.
bool Read(const char* section, const char* key, const char* fallback, char* buffer,
          std::size_t size, const char* file) {
  platform::ReadIniValue(section, key, fallback, buffer, size, file);
  return buffer[0] != '\0';
}

void WriteLastUpdate(const char* settingsFile, std::int64_t now) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(now));
  platform::WriteIniValue(kSection, "lastupdate", text, settingsFile);
}

bool WriteBody(const char* path, const char* body, std::uint32_t length) {
  bool written = false;
  return platform::WriteWholeFile(path, body, length, &written) && written;
}

// A stored time stamp far beyond any clock (about 35,000 years either side of 1970) is
// taken at that bound, so that now minus it cannot overflow.
constexpr std::int64_t kTimeBound = std::int64_t(1) << 40;
std::int64_t ClampTime(std::int64_t t) {
  return t < -kTimeBound ? -kTimeBound : t > kTimeBound ? kTimeBound : t;
}

// The offered file's name must name one file: no folder separators, nothing that the
// safe-name rule would turn into a mere "_".
bool PlainName(const char* name) {
  return std::strpbrk(name, "\\/") == nullptr && std::strcmp(name, ".") != 0 &&
         std::strcmp(name, "..") != 0;
}

}  // namespace

std::vector<std::string> MessageLines(const char* message) {
  char text[kDialogMessageSize];
  common::CopyCut(text, message);
  std::vector<std::string> lines;
  std::size_t end = std::strlen(text);
  for (std::size_t i = end; i-- > 0;) {
    if (text[i] != '\n') continue;
    lines.emplace_back(text + i + 1, end - i - 1);
    // The line ends here; a carriage return before the line feed belongs to the break.
    // (Only a carriage return: a line ending in a bare line feed keeps its last letter.)
    end = i;
    if (i > 0 && text[i - 1] == '\r') end = --i;
  }
  lines.emplace_back(text, end);
  return lines;
}

bool UpdateChecker::Fetch(const char* path, const char** body, std::uint32_t* length) {
  *length = 0;
  if (!session_->Get(host_, path, nullptr)) return false;
  *body = session_->ReadAll(length);
  // An error page is no version file, description or update: the server lacks the file.
  return *body && *length > 0 && session_->Status() < 400;
}

int UpdateChecker::Check(const CheckContext& c, std::int64_t now) {
  char value[kCheckBufferSize];
  char path[kCheckBufferSize];
  const char* file = c.settingsFile;
  if (!file || std::strlen(file) + 4 >= sizeof path) return 0;  // no room for ".tmp"
  if (!Read(kSection, "enable", "1", value, sizeof value, file) || LeadingInteger(value) == 0)
    return 0;
  if (!Read(kSection, "period", "10", value, sizeof value, file)) return 0;
  const std::int64_t period = LeadingInteger(value);
  if (!Read(kSection, "lastupdate", "0", value, sizeof value, file)) return 0;
  // Whole days, truncated toward zero, in integers: a floating product with 1/86400 gives
  // 9.999... for exactly ten days on the 32-bit build's x87 arithmetic and skips the check.
  const std::int64_t days = (ClampTime(now) - ClampTime(LeadingInteger(value))) / kSecondsPerDay;
  if (days < period) return 0;
  if (!Read(kSection, "host", "1", host_, sizeof host_, file)) return 0;

  const char* body = nullptr;
  std::uint32_t length = 0;
  if (!Fetch(kVersionFile, &body, &length)) return 0;
  std::snprintf(path, sizeof path, "%s.tmp", file);
  // A version file that cannot be stored is read from whatever the local copy holds.
  WriteBody(path, body, length);

  offer_.sha256.clear();
  if (!Read("lastversion", "file", "1", offer_.serverName, sizeof offer_.serverName, path)) {
    return 0;
  }
  // "files/" and the name must fit the download's 128-byte path.
  if (std::strlen(kFilesFolder) + std::strlen(offer_.serverName) >= kCheckBufferSize) return 0;
  // The name is listed and becomes a local file's name: one plain, safe name, or no offer.
  if (!PlainName(offer_.serverName)) return 0;
  const common::ByteString safe = extract::SafeName(common::ByteString(offer_.serverName));
  if (!PlainName(safe.c_str())) return 0;
  common::CopyCut(offer_.fileName, safe.c_str());
  char digest[kCheckBufferSize];
  if (Read("lastversion", "sha256", "", digest, sizeof digest, path)) offer_.sha256 = digest;
  // "desctiption" is misspelt on purpose: stored files and servers rely on it.
  if (!Read("lastversion", "desctiption", "1", value, sizeof value, path)) return 0;
  if (!Read("lastversion", "size", "1", value, sizeof value, path)) return 0;
  offer_.size = static_cast<std::int32_t>(LeadingInteger(value));
  if (!Read("lastversion", "number", "1", value, sizeof value, path)) return 0;
  if (std::strcmp(value, kVersion) == 0) {
    WriteLastUpdate(file, now);
    return 0;
  }
  if (std::strlen(kDescriptionFolder) + std::strlen(value) + 4 >= sizeof path) return 0;
  common::CopyCut(path, (std::string(kDescriptionFolder) + value + ".txt").c_str());
  if (!Fetch(path, &body, &length)) return 0;

  const std::vector<std::string> lines = MessageLines(body);
  char caption[kDialogTextSize], accept[kDialogTextSize], decline[kDialogTextSize];
  common::CopyCut(caption, c.caption);
  common::CopyCut(accept, c.accept);
  common::CopyCut(decline, c.decline);
  const platform::OfferDialogTexts texts{caption, accept, decline, &lines};
  if (platform::ShowOfferDialog(c.window, c.module, texts) != 1) return 0;
  WriteLastUpdate(file, now);
  return 1;
}

int UpdateChecker::Download(const char* localPath, bool replace,
                            const std::function<void()>& afterSuccess) {
  offer_.pending = 0;  // the offer is used once, whatever comes of it
  offer_.overwriteAskedFor.clear();
  char path[kCheckBufferSize];
  common::CopyCut(path, (std::string(kFilesFolder) + offer_.serverName).c_str());
  const char* body = nullptr;
  std::uint32_t length = 0;
  if (!Fetch(path, &body, &length)) return kFileNotFound;
  if (!offer_.sha256.empty()) {
    const std::string got = Sha256Hex(body, length);
    if (NormaliseDigest(offer_.sha256) != got) {
      if (errors_) {
        errors_->Report(report::msg::kUpdateDigest, host_, path,
                        ("sha256=" + offer_.sha256 + " / " + got).c_str());
      }
      return kFileNotFound;
    }
  }
  switch (platform::WriteFileSafely(localPath, body, length, replace)) {
    case platform::WriteOutcome::kWritten:
      break;
    case platform::WriteOutcome::kTargetExists:
      return kFileExists;
    default:
      return kFileWriteError;
  }
  afterSuccess();
  return kFileOk;
}

}  // namespace update
