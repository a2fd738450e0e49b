// Albums behind a password form.
#pragma once

#include "common/byte_string.h"
#include "engine/request.h"
#include "engine/tools.h"

namespace engine {

// What one listing's walk remembers about the password: the user is asked at most once.
struct UnlockState {
  bool asked = false;
};

struct PageUnlock {
  common::ByteString page;        // the page to search: the form's answer once it was posted
  bool passEntries = false;       // the page's entries are found by PassExpression
  bool unlocked = false;          // the album is open: its entries convert by PassFoto
  common::ByteString cookieText;  // the cookies the site set in answer to the password
};

// When page shows the script's password form, asks the host for the password (masked, once
// per listing), posts the form and hands back its answer in place of the page.
// The form's action is resolved against base, the page's own path, as every link is.
PageUnlock UnlockPage(Tools& tools, const Request& request, const common::ByteString& base,
                      const common::ByteString& page, UnlockState* state);

}  // namespace engine
