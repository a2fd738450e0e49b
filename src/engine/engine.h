// The working state of one browse request and the parts every step of it uses. The
// SiteBrowser owns all of them; Engine is the view the step files work through.
#pragma once

#include <cstdint>
#include <string>

#include "common/byte_string.h"
#include "engine/entry_list.h"
#include "engine/host_prompts.h"
#include "engine/site_script.h"
#include "extract/template.h"
#include "net/http_session.h"
#include "platform/platform.h"
#include "regex/search.h"
#include "report/error_page.h"

namespace engine {

// Text for a report cell with nothing to show.
constexpr char kNothing[] = "&nbsp;";

struct RequestState {
  common::ByteString pageText;     // the page read last
  common::ByteString requestUrl;   // the address under analysis, "http://..."
  common::ByteString pagePath;     // the requested page's path on host
  common::ByteString user;         // template variable User
  common::ByteString album;        // template variable Album
  common::ByteString host;         // template variable Host
  common::ByteString photoServer;  // the expansion of ServFoto
  common::ByteString scriptName;   // the script tried first; then the one in use
  std::string scriptPath;
  int mode = kModeNone;
  std::int32_t pageNumber = 0;  // template variable Page
  int albumUnlocked = 0;
  std::uint32_t lastPageLength = 0;
  char cookieText[net::kCookieBufferSize] = {};
  // Scratch values of the photo time query, kept between photos and between listings: a
  // photo whose server names no time gets the one converted last.
  platform::SystemTime lastModified = {};
  platform::FileTime lastFileTime = {};
};

struct Engine {
  net::HttpSession& http;
  regex::Search& search;
  report::ErrorReporter& errors;
  HostPrompts* prompts;  // null: no host to ask
  SiteScript& script;
  RequestState& state;
  extract::MatchSlots& slots;
  EntryList& entries;

  // Expands a template with this request's variables; placeholders without names (E28) and
  // runaway expansions (E36) are reported.
  common::ByteString Expand(const common::ByteString& text);
  // Searches text and copies the match's groups into the match slots.
  bool Capture(const common::ByteString& pattern, const char* text) {
    return search.Capture(pattern.c_str(), text, &slots);
  }
  void Report(const char* message, const common::ByteString& url,
              const common::ByteString& expression) {
    errors.Report(message, state.host.c_str(), url.c_str(), expression.c_str());
  }
  // Requests path on host; true when the request was sent.
  bool Get(const common::ByteString& path) {
    return http.Get(state.host.c_str(), path.c_str(), nullptr);
  }
  // The response of the last request up to its first NUL; empty when the read failed.
  common::ByteString ReadPage();
};

}  // namespace engine
