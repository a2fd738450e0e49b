// The directory-entry record of the ANSI calls and of the wide calls, one from the other.
// The module hands its listings to the wide calls this way, and the host program reads the
// wide calls' records back this way, so both sides convert alike.
#pragma once

#include "platform/platform.h"
#include "plugin/host_api.h"

namespace plugin {

// The wide record of an ANSI one whose name is UTF-8: the name in UTF-16, cut between
// characters to the field, everything else as it is. The whole wide record is written; what
// it does not use is zero.
void ToWideRecord(const platform::FindData& narrow, FindDataW* wide);

// The ANSI record of a wide one: the name in UTF-8, cut between characters to the field,
// everything else as it is. Only the record's own bytes (platform::kFindDataHostBytes) are
// written: its padding belongs to whoever laid the record out.
void ToNarrowRecord(const FindDataW& wide, platform::FindData* narrow);

}  // namespace plugin
