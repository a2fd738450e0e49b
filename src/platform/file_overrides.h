// The file calls a test has put in place of the system's (see OverrideFileCalls), read by
// both platform implementations before they call the system.
#pragma once

#include "platform/platform.h"

namespace platform {

// The overrides in force; null when the real calls are used.
const FileCallOverrides* ActiveFileOverrides();

}  // namespace platform

// The first statement of an overridable call: hands the call to the member of the table in
// force when it has one, else the real call below runs.
#define FL_OVERRIDABLE(member, ...)                                                        \
  do {                                                                                     \
    const ::platform::FileCallOverrides* flOverrides_ = ::platform::ActiveFileOverrides(); \
    if (flOverrides_ && flOverrides_->member) return flOverrides_->member(__VA_ARGS__);    \
  } while (false)
