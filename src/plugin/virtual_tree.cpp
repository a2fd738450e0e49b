#include "plugin/virtual_tree.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "extract/names.h"
#include "plugin/bookmarks.h"
#include "plugin/plugin_state.h"
#include "plugin/site_folders.h"

namespace plugin {

namespace {

using common::CopyCut;
using platform::FindData;

constexpr char kExampleAddress[] = "http://photos.example.test/user/demo/album/harbour/";

// What a find handle walks. It is told by the handle, never by the names the handle holds: an
// album may be called like any fixed entry.
enum class HandleKind { kRoot, kUpdate, kLanguageFolder, kTyped, kSite, kError };

struct FindHandle {
  HandleKind kind;
  char name[kPathSize];
  std::int32_t cursor;
  platform::DirectorySearch* search;  // the language folder listing only
  engine::ListingPtr site;            // the site listing it walks: nothing else changes it
  engine::NameSide side;              // which names it hands out
};

using engine::NameSide;

// A name of the module's own (a text, a bookmark, a file of the language folder), held in
// the code page, as the side shows it. A UTF-8 form longer than the record's field is cut
// between two characters.
void ShowOwnName(FindData* record, NameSide side) {
  if (side == NameSide::kAnsi || record->fileName[0] == '\0') return;
  const std::string utf8 = extract::AnsiToUtf8(record->fileName).str();
  std::size_t n = utf8.size() < sizeof record->fileName ? utf8.size() : sizeof record->fileName - 1;
  while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
    --n;
  std::memcpy(record->fileName, utf8.data(), n);
  record->fileName[n] = '\0';
}

constexpr platform::FileTime kNoTime = platform::kNoFileTime;

void SetEntry(FindData* record, std::uint32_t attributes, platform::FileTime time,
              std::uint64_t size, const char* name) {
  record->attributes = attributes;
  record->lastWriteTime = time;
  // Both halves: a photo past 4 GB is listed with its whole size.
  record->sizeHigh = std::uint32_t(size >> 32);
  record->sizeLow = std::uint32_t(size);
  CopyCut(record->fileName, name);
}

void SetDirectory(FindData* record, const char* name) {
  SetEntry(record, platform::kAttributeDirectory, kNoTime, 0, name);
}

std::intptr_t NewHandle(HandleKind kind, const char* name, std::int32_t cursor, NameSide side,
                        platform::DirectorySearch* search = nullptr,
                        engine::ListingPtr site = nullptr) {
  auto* h = new FindHandle;
  h->side = side;
  h->kind = kind;
  CopyCut(h->name, name);
  h->cursor = cursor;
  h->search = search;
  h->site = std::move(site);
  return reinterpret_cast<std::intptr_t>(h);
}

// Hands out entry i of a site listing.
void SiteEntry(const engine::Listing& listing, std::size_t i, FindData* record, NameSide side) {
  const engine::Entry& e = listing.entries[i];
  const char* name = side == NameSide::kWide ? e.wideName.c_str() : e.name.c_str();
  if (e.album) {
    SetDirectory(record, name);
  } else {
    SetEntry(record, 0, e.time, e.size, name);
  }
}

// A handle over a site listing, or over the single error entry when listing is null.
std::intptr_t SiteListing(engine::ListingPtr listing, FindData* record, NameSide side) {
  if (!listing) {
    SetEntry(record, 0, platform::FileTime{0, 0}, 0, State().language.ErrorEntry().c_str());
    ShowOwnName(record, side);
    return NewHandle(HandleKind::kError, record->fileName, 1, side);
  }
  if (!listing->entries.empty()) {
    SiteEntry(*listing, 0, record, side);
  } else {
    record->fileName[0] = '\0';
  }
  return NewHandle(HandleKind::kSite, record->fileName, 1, side, nullptr, std::move(listing));
}

// The address folder's entry i: the folder of the i-th address typed (oldest first). False
// past the last.
bool TypedEntry(std::size_t i, FindData* record, NameSide side) {
  const std::vector<TypedAddresses::Typed>& typed = State().typed.all();
  if (i >= typed.size()) return false;
  SetDirectory(record, typed[i].name.c_str());
  ShowOwnName(record, side);
  return true;
}

// The address prompt: the address typed gets a folder of its own, and the address folder
// lists the folders of every address typed so far. A cancelled prompt lists nothing.
std::intptr_t AddressFolder(const char* path, FindData* record, NameSide side) {
  PluginState& s = State();
  // "Totall Commander" is misspelt on purpose: stored files and servers rely on it.
  if (!Ask(kRequestUrl, "Totall Commander", "Url", s.urlBuffer, kUrlBufferSize)) {
    return kInvalidHandle;
  }
  std::string forgotten;
  s.typed.Add(s.urlBuffer, &forgotten);
  // A folder forgotten to make room takes what was kept under it along.
  if (!forgotten.empty()) s.listings.DropUnder((std::string(path) + "\\" + forgotten).c_str());
  if (!TypedEntry(0, record, side)) return kInvalidHandle;
  return NewHandle(HandleKind::kTyped, record->fileName, 1, side);
}

bool UpdateListing(FindData* record, std::intptr_t* handle, NameSide side) {
  const update::UpdateOffer& u = State().updater.offer();
  if (!u.pending) return false;
  SetEntry(record, platform::kAttributeNormal, kNoTime, u.size, u.fileName);
  ShowOwnName(record, side);
  *handle = NewHandle(HandleKind::kUpdate, "0", -1, side);
  return true;
}

}  // namespace

const char* ExampleAlbumAddress() {
  return kExampleAddress;
}

std::intptr_t FindFirst(const char* path, FindData* record, NameSide side) {
  platform::ClearFindData(record);
  if (InsideDelete()) return 0;
  std::intptr_t handle = 0;
  if (UpdateListing(record, &handle, side)) return handle;
  if (!path) return kInvalidHandle;

  PluginState& s = State();
  const settings::LanguageStrings& lang = s.language;
  const int depth = common::PathDepth(path);
  if (depth == 1) {
    if (std::strcmp(path, "\\") == 0) {
      SetDirectory(record, lang.UrlFolder().c_str());
      ShowOwnName(record, side);
      CopyCut(s.urlBuffer, kExampleAddress);
      return NewHandle(HandleKind::kRoot, record->fileName, 1, side);
    }
    if (lang.UrlFolderPath() == path) return AddressFolder(path, record, side);
    if (lang.BookmarkFolderPath() == path) {
      AddBookmarkByPrompts();
      return kInvalidHandle;
    }
    if (lang.LanguageFolderPath() == path) {
      std::string pattern = std::string(s.paths.languageFolder) + "\\*.*";
      // The system fills a whole record of its own; the host's gets the bytes it owns.
      FindData found{};
      platform::DirectorySearch* search = platform::FindFirstEntry(pattern.c_str(), &found);
      if (!search) return kInvalidHandle;
      platform::CopyFindData(record, found);
      ShowOwnName(record, side);
      return NewHandle(HandleKind::kLanguageFolder, lang.LanguageFolderPath().c_str(), 0, side,
                       search);
    }
  }
  // A site root is listed from its address anew, an album from its parent's listing.
  switch (KindOfFolder(path)) {
    case SiteFolderKind::kRoot: {
      const common::ByteString address = RootAddress(path);
      if (address.empty()) {
        // A bookmark that is gone lists nothing; so does the folder of an address typed
        // before the module was loaded, which no longer exists.
        return common::PathDepth(path) == 1 ? 0 : kInvalidHandle;
      }
      return SiteListing(ListAddressFolder(path, address.c_str()), record, side);
    }
    case SiteFolderKind::kAlbum:
      if (BelowLostRoot(path)) return 0;
      return SiteListing(ListAlbumFolder(path, side), record, side);
    case SiteFolderKind::kNone:
      break;
  }
  return 0;
}

int FindNext(std::intptr_t value, FindData* record) {
  // The host may hand in the record of the previous entry: nothing of it may show through.
  platform::ClearFindData(record);
  if (State().updater.offer().pending) return 0;
  if (InsideDelete()) return 0;
  if (value == 0 || value == kInvalidHandle) return 0;
  FindHandle* h = reinterpret_cast<FindHandle*>(value);
  PluginState& s = State();
  const settings::LanguageStrings& lang = s.language;

  // The error listing and the update listing end after their single entry.
  if (h->kind == HandleKind::kError || h->kind == HandleKind::kUpdate) return 0;
  if (h->kind == HandleKind::kTyped) {
    if (h->cursor < 0 || !TypedEntry(std::size_t(h->cursor), record, h->side)) return 0;
    ++h->cursor;
    CopyCut(h->name, record->fileName);
    return 1;
  }
  if (h->kind == HandleKind::kLanguageFolder) {
    FindData found{};
    if (!platform::FindNextEntry(h->search, &found)) return 0;
    platform::CopyFindData(record, found);
    ShowOwnName(record, h->side);
    return 1;
  }
  if (h->kind == HandleKind::kRoot) {
    // The root's cursor counts the entries handed out: the three folders and the settings
    // entry in this order, then bookmark n as entry 4 + n. Counting, not comparing names,
    // keeps the walk going forward whatever the language texts are.
    const int next = h->cursor + 1;
    if (next == 2) {
      SetDirectory(record, lang.BookmarkFolder().c_str());
    } else if (next == 3) {
      SetDirectory(record, lang.LanguageFolder().c_str());
    } else if (next == 4) {
      SetEntry(record, platform::kAttributeNormal, kNoTime, 0, lang.SettingsEntry().c_str());
    } else {
      char key[16], name[kPathSize];
      std::snprintf(key, sizeof key, "%d", next - 4);
      platform::ReadIniValue("tabs", key, "-1", name, sizeof name, s.paths.bookmarkFile);
      if (name[0] == '\0' || std::strcmp(name, "-1") == 0) return 0;
      SetDirectory(record, name);
    }
    ShowOwnName(record, h->side);
    h->cursor = next;
    CopyCut(h->name, record->fileName);
    return 1;
  }
  if (!h->site || h->cursor < 0 || std::size_t(h->cursor) >= h->site->entries.size()) return 0;
  SiteEntry(*h->site, std::size_t(h->cursor), record, h->side);
  ++h->cursor;
  CopyCut(h->name, record->fileName);
  return 1;
}

// Releases the handle whatever operation is running: a listing the host closes inside a
// delete is never closed again.
int FindClose(std::intptr_t value) {
  if (value == 0 || value == kInvalidHandle) return 0;
  FindHandle* h = reinterpret_cast<FindHandle*>(value);
  if (h->kind == HandleKind::kLanguageFolder) platform::FindClose(h->search);
  delete h;
  return 0;
}

}  // namespace plugin
