// Albums behind a password form.
#pragma once

#include "engine/engine.h"

namespace engine {

// Runs over every page a listing reads. When the page shows the script's password form, asks
// the host for the password (masked), posts the form and puts the answer in place of the
// page. Returns 1 when the page belongs to an album that is open now; sets albumUnlocked
// when the album was recognised as open or the site answered the form with cookies.
int UnlockAlbum(Engine& e);

}  // namespace engine
