// The services a listing step uses: the HTTP session, the matcher, the error page, the
// host's prompts and the listing's budget (its deadline, page text and the host's word to
// stop). None of them holds anything of a listing; what a step produces it returns.
#pragma once

#include <cstdint>

#include "common/byte_string.h"
#include "engine/fetch.h"
#include "engine/host_prompts.h"
#include "net/http_session.h"
#include "regex/search.h"
#include "report/error_page.h"

namespace engine {

struct Tools {
  net::HttpSession& http;
  regex::Search& search;
  report::ErrorReporter& errors;
  HostPrompts* prompts;  // null: there is no host to ask
  Budget& budget;
};

// The response of the last request up to its first NUL; empty when the read failed.
inline common::ByteString ReadPage(net::HttpSession& http) {
  std::uint32_t length = 0;
  const char* text = http.ReadAll(&length);
  return common::ByteString(text ? text : "");
}

}  // namespace engine
