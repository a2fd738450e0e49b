// Raw entries (the whole matches a page walk kept) into entries: name, address and, for
// photos, preview address and photo server. Sizes and times come later (sizes.h).
#pragma once

#include <vector>

#include "engine/listing.h"
#include "engine/pages.h"
#include "engine/request.h"
#include "engine/tools.h"

namespace engine {

// Converts every raw entry of walk. An entry whose conversion fails keeps "NULL" in that
// field, as the report on the error page says. False after a report when a full-size
// listing found no entry.
bool ConvertEntries(Tools& tools, const Request& request, const PageWalk& walk,
                    std::vector<Entry>* entries);

}  // namespace engine
