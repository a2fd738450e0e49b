// The start-up check for a newer version, the offer dialog and the offered file's download.
// The check asks the update server at most once a period; a version other than ours is
// described in the offer dialog, and once the user accepts, every listing shows only the
// offered file until the next copy downloads it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/http_session.h"
#include "report/error_page.h"

namespace update {

constexpr char kVersion[] = "2.6.0";
constexpr int kNameSize = 260;
// The check's working buffers: values, and the local version file / description paths.
constexpr std::size_t kCheckBufferSize = 128;
// The dialog's buffers: caption and button texts, and the message.
constexpr std::size_t kDialogTextSize = 100;
constexpr std::size_t kDialogMessageSize = 1000;

// A newer version the user agreed to download; while pending every listing shows only it.
struct UpdateOffer {
  int pending = 0;
  std::int32_t size = 0;
  char fileName[kNameSize] = {};    // the name listed and written: the server's, made safe
  char serverName[kNameSize] = {};  // the name below "files/" on the update server
  std::string sha256;               // the version file's digest of the file; empty: none
  // A copy that met an existing file without the overwrite flag ended the offer; the host's
  // next copy to this same path with the flag (the user agreed to replace) still downloads.
  std::string overwriteAskedFor;
};

// What the check needs from the plug-in around it.
struct CheckContext {
  const char* settingsFile = nullptr;
  const char* caption = nullptr;  // language texts 5, 9 and 10
  const char* accept = nullptr;
  const char* decline = nullptr;
  void* window = nullptr;  // the dialog's owner
  void* module = nullptr;  // holds the dialog resource
};

// The lines of a description as the offer dialog lists them, split from the end at each
// line feed; a carriage return before a line feed goes with it.
std::vector<std::string> MessageLines(const char* message);

class UpdateChecker {
 public:
  // errors, when given, receives the report of an update that fails its digest check.
  explicit UpdateChecker(net::HttpSession* session, report::ErrorReporter* errors = nullptr)
      : session_(session), errors_(errors) {}

  // The start-up check: 1 when the user accepted an offer (the offer is then filled in),
  // else 0. Every failure ends the check silently.
  int Check(const CheckContext& context, std::int64_t now);

  // Downloads the offered file to localPath; the offer is used once, whatever comes of it.
  // The file is written beside localPath and moved over it only when whole and, where the
  // version file names a digest, only when its bytes have that digest (else E45 is
  // reported and nothing is written). An existing localPath is replaced only with replace
  // (else 1, "exists"). Returns the host's file result; afterSuccess runs once the file is
  // in place.
  int Download(const char* localPath, bool replace, const std::function<void()>& afterSuccess);
  int Download(const char* localPath, const std::function<void()>& afterSuccess) {
    return Download(localPath, true, afterSuccess);
  }

  UpdateOffer& offer() { return offer_; }
  const UpdateOffer& offer() const { return offer_; }

 private:
  // Fetches host/path whole; empty when the request failed, the answer was empty or its
  // status says the file is not there.
  bool Fetch(const char* path, const char** body, std::uint32_t* length);

  net::HttpSession* session_;
  report::ErrorReporter* errors_;
  UpdateOffer offer_;
  char host_[kNameSize] = {};
};

}  // namespace update
