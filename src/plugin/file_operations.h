// What the host does to entries: open them, copy them out, and ask for their icons.
#pragma once

#include "engine/listing.h"

namespace plugin {

// FsExecuteFile: opens the settings file or the error page, or chooses a language file.
// 0 done, 1 nothing to do for that entry.
int ExecuteFile(const char* remotePath);
// FsGetFile: copies the error page or the settings file out; other entries are photos.
// A photo is found by its name as side shows it.
int GetFile(const char* remotePath, const char* localPath, int copyFlags,
            engine::NameSide side = engine::NameSide::kAnsi);
// FsExtractCustomIcon: 1 with an icon handle in *icon, or 0 for the host's own icon.
int ExtractIcon(const char* remotePath, void** icon);

}  // namespace plugin
