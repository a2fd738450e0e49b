// The file calls a test has put in place of the system's (see OverrideFileCalls), read by
// both platform implementations before they call the system.
#pragma once

#include "platform/platform.h"

namespace platform {

// The overrides in force; null when the real calls are used.
const FileCallOverrides* ActiveFileOverrides();

}  // namespace platform
