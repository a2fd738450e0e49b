#include "plugin/site_folders.h"

#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "common/limits.h"
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

// The folder's path below the address folder ("\[connection]\Name\A" gives "Name\A"); null
// for a path outside it.
const char* BelowUrlFolder(const char* folder) {
  const std::string& url = State().language.UrlFolderPath();
  if (std::strncmp(folder, url.c_str(), url.size()) != 0 || folder[url.size()] != '\\') {
    return nullptr;
  }
  return folder + url.size() + 1;
}

// A bookmark's address ("-1" where the root holds no such bookmark).
common::ByteString BookmarkAddress(const char* name) {
  char url[kPathSize];
  platform::ReadIniValue(name, "url", "-1", url, sizeof url, State().paths.bookmarkFile);
  return std::strcmp(url, "-1") == 0 ? common::ByteString() : common::ByteString(url);
}

// How many names the folder has below its site root: 0 for the root itself; -1 for a
// folder of no site.
int DepthBelowRoot(const char* folder) {
  if (!folder || folder[0] != '\\' || folder[1] == '\0') return -1;
  if (const char* typed = BelowUrlFolder(folder)) return *typed ? common::PathDepth(typed) : -1;
  const settings::LanguageStrings& lang = State().language;
  const std::string first = std::string(folder, std::strcspn(folder + 1, "\\") + 1);
  if (first == lang.UrlFolderPath() || first == lang.BookmarkFolderPath() ||
      first == lang.LanguageFolderPath()) {
    return -1;
  }
  return common::PathDepth(folder) - 1;
}

}  // namespace

SiteFolderKind KindOfFolder(const char* folder) {
  const int depth = DepthBelowRoot(folder);
  if (depth == 0) return SiteFolderKind::kRoot;
  // An album may hold albums, down to the bound on depth.
  if (depth >= 1 && depth <= limits::kMaxAlbumDepth) return SiteFolderKind::kAlbum;
  return SiteFolderKind::kNone;
}

bool BelowLostRoot(const char* folder) {
  if (KindOfFolder(folder) != SiteFolderKind::kAlbum) return false;
  std::string root = ParentOf(folder);
  if (KindOfFolder(root.c_str()) == SiteFolderKind::kRoot) return false;
  while (KindOfFolder(root.c_str()) == SiteFolderKind::kAlbum)
    root = ParentOf(root.c_str());
  return RootAddress(root.c_str()).empty();
}

common::ByteString RootAddress(const char* folder) {
  if (KindOfFolder(folder) != SiteFolderKind::kRoot) return common::ByteString();
  if (const char* typed = BelowUrlFolder(folder)) {
    const std::string* address = State().typed.AddressOf(typed);
    return address ? common::ByteString(*address) : common::ByteString();
  }
  return BookmarkAddress(folder + 1);
}

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
  switch (KindOfFolder(folder)) {
    case SiteFolderKind::kRoot: {
      const common::ByteString root = RootAddress(folder);
      return root.empty() ? nullptr : ListAddressFolder(folder, root.c_str());
    }
    case SiteFolderKind::kAlbum:
      return ListAlbumFolder(folder, side);
    case SiteFolderKind::kNone:
      break;
  }
  return nullptr;
}

}  // namespace plugin
