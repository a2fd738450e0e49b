#include "plugin/site_folders.h"

#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "plugin/plugin_state.h"

namespace plugin {

namespace {

// The folder above path ("\A\B" gives "\A"; a folder of the root gives "\").
std::string ParentOf(const char* folder) {
  const std::string path = folder;
  const std::size_t slash = path.rfind('\\');
  return slash == 0 || slash == std::string::npos ? std::string("\\") : path.substr(0, slash);
}

const char* LastComponent(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

// The host's progress for a listing of folder: the folder as the source, how far the
// listing is as the percent; the user's "abort" stops it.
engine::Budget::Progress ListingProgress(const char* folder) {
  const std::string source = folder;
  return [source](int percent) { return !Progress(source.c_str(), "", percent); };
}

engine::ListingPtr Kept(const char* folder, engine::ListingPtr listing) {
  if (listing) State().listings.Keep(folder, listing);
  return listing;
}

// The address of a bookmark folder of the root; empty for any other folder.
common::ByteString BookmarkAddress(const char* folder) {
  if (common::PathDepth(folder) != 1) return common::ByteString();
  char url[kPathSize];
  platform::ReadIniValue(folder + 1, "url", "-1", url, sizeof url, State().paths.bookmarkFile);
  return std::strcmp(url, "-1") == 0 ? common::ByteString() : common::ByteString(url);
}

}  // namespace

engine::ListingPtr ListAddressFolder(const char* folder, const char* url) {
  return Kept(folder, State().browser.Browse(url, ListingProgress(folder)));
}

engine::ListingPtr ListAlbumFolder(const char* folder, engine::NameSide side) {
  const engine::ListingPtr parent = ListingOf(ParentOf(folder).c_str(), side);
  const engine::Listing none;
  return Kept(folder, State().browser.BrowseAlbum(parent ? *parent : none, LastComponent(folder),
                                                  side, ListingProgress(folder)));
}

engine::ListingPtr ListingOf(const char* folder, engine::NameSide side) {
  if (engine::ListingPtr kept = State().listings.Find(folder)) return kept;
  const common::ByteString address = State().listings.AddressOf(folder);
  if (!address.empty()) return ListAddressFolder(folder, address.c_str());
  const int depth = common::PathDepth(folder);
  if (depth == 1) {
    const common::ByteString bookmark = BookmarkAddress(folder);
    return bookmark.empty() ? nullptr : ListAddressFolder(folder, bookmark.c_str());
  }
  return depth == 2 ? ListAlbumFolder(folder, side) : nullptr;
}

}  // namespace plugin
