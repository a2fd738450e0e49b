// Bookmarks: named site addresses shown as folders in the root, kept in frameleaf.tab.
// Section "tabs" holds "count" and the names under "1", "2", ...; each bookmark's own
// section holds its "url".
#pragma once

namespace plugin {

// The add-bookmark folder: asks for a name and an address, then adds the bookmark.
void AddBookmarkByPrompts();
// FsMkDir: the path less its leading backslash names a new bookmark; asks for its address.
int MakeDirectory(const char* path);
// FsRenMovFile for a root entry during a single-file rename.
int RenameBookmark(const char* oldName, const char* newName);
// FsDeleteFile for "\name\" during a delete: removes the name from the list.
int DeleteBookmark(const char* path);

}  // namespace plugin
