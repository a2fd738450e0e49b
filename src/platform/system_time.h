// Checks shared by both platform layers, so that every platform (and every Windows version,
// some of which accept an impossible day of the month) gives the same answer.
#pragma once

#include "platform/platform.h"

namespace platform {

// True when in names a real instant that a FILETIME can hold: years 1601 to 30827, a day
// that exists in its month (leap years by the Gregorian rule), hours to 23, minutes and
// seconds to 59, milliseconds to 999.
bool IsValidSystemTime(const SystemTime& in);

}  // namespace platform
