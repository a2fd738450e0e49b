// The services a listing step uses: the HTTP session, the matcher, the error page and the
// host's prompts. None of them holds anything of a listing; what a step produces it returns.
#pragma once

#include "common/byte_string.h"
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
};

}  // namespace engine
