#include "engine/listing.h"

#include <vector>

#include "engine/conversions.h"
#include "engine/unlock.h"
#include "extract/names.h"
#include "report/messages.h"

namespace engine {

namespace {

using common::ByteString;

// What tells the album listing and the photo listing apart while pages are walked.
struct ListingKind {
  bool photos;
  const char* requestFailed;  // the first page could not be requested
  const char* readFailed;     // a page was empty
  const char* noEntries;      // a page held no entry
  const char* nextFailed;     // a further page could not be requested
  ByteString SiteScript::*ifNextPage;
  ByteString SiteScript::*nextPage;
};

const ListingKind kAlbums = {false,
                             report::msg::kRequestE14,
                             report::msg::kReadE15,
                             report::msg::kNoAlbum,
                             report::msg::kRequestE24,
                             &SiteScript::ifNextPageAlbum,
                             &SiteScript::nextPageAlbum};
const ListingKind kPhotos = {true,
                             report::msg::kRequestE17,
                             report::msg::kReadE18,
                             report::msg::kNoPhoto,
                             report::msg::kRequestE23,
                             &SiteScript::ifNextPageFoto,
                             &SiteScript::nextPageFoto};

enum class Next { kNone, kRequested, kFailed, kCut };

// Whether the page read last has a next page, and requesting it. At the page bound the next
// page is reported and not requested.
Next NextPage(Engine& e, const ListingKind& kind, int pagesRead) {
  const ByteString condition = e.Expand(e.script.*kind.ifNextPage);
  if (!e.Capture(condition, e.state.pageText.c_str())) return Next::kNone;
  const ByteString path = e.Expand(e.script.*kind.nextPage);
  if (pagesRead >= kMaxPages) {
    e.Report(report::msg::kPagingCut, path, kNothing);
    return Next::kCut;
  }
  if (e.Get(path)) return Next::kRequested;
  e.Report(kind.nextFailed, path, kNothing);
  return Next::kFailed;
}

// Reads every page of the listing and appends the whole match of each entry to raw: all
// pages are read before any entry is converted. 1, or 0 after a report.
int WalkPages(Engine& e, const ListingKind& kind, std::vector<ByteString>* raw) {
  RequestState& st = e.state;
  st.pageNumber = 1;
  if (!e.Get(st.pagePath)) {
    e.Report(kind.requestFailed, st.pagePath, kNothing);
    return 0;
  }
  for (int pagesRead = 1;; ++pagesRead) {
    st.pageText = e.ReadPage();
    if (st.pageText.empty()) {
      e.Report(kind.readFailed, st.pagePath, kNothing);
      return 0;
    }
    ++st.pageNumber;
    FollowEroWarning(e);
    const int unlocked = UnlockAlbum(e);
    const ByteString& shown = kind.photos ? e.script.fotoExpression : e.script.albumExpression;
    const ByteString& expression = kind.photos && unlocked ? e.script.passExpression : shown;
    bool more = false;
    if (!e.search.FindAll(expression.c_str(), st.pageText.c_str(), kMaxEntries - raw->size(), raw,
                          &more)) {
      e.Report(kind.noEntries, st.pagePath, shown);
      return 0;
    }
    if (more) {
      e.Report(report::msg::kEntriesCut, st.pagePath, expression);
      return 1;
    }
    if (NextPage(e, kind, pagesRead) != Next::kRequested) return 1;
  }
}

// The size and time of a photo from its server; the time converted last stands in for a
// photo whose server names none.
void AddSizeAndTime(Engine& e, const ByteString& server, const ByteString& address) {
  RequestState& st = e.state;
  e.entries.photoSizes.push_back(
      e.http.QueryFileInfo(server.c_str(), address.c_str(), nullptr, &st.lastModified));
  platform::FileTime converted;
  if (platform::SystemTimeToFileTime(st.lastModified, &converted)) st.lastFileTime = converted;
  e.entries.photoTimes.push_back(st.lastFileTime);
}

// Address, size, time, preview and server of photo entry raw, appended in step.
void CompletePhoto(Engine& e, const ByteString& raw, const ByteString& server) {
  const ByteString address = MakeEntryUrl(e, raw);
  e.entries.photoAddresses.push_back(address);
  AddSizeAndTime(e, server, address);
  e.entries.previewAddresses.push_back(MakePreviewUrl(e, raw));
  e.entries.photoServers.push_back(server);
}

// Full-size mode: each entry is replaced by the entry found on the photo's own page, whose
// server the photo keeps.
int CompletePhotos(Engine& e) {
  std::vector<ByteString>& names = e.entries.photoNames;
  if (names.empty()) {
    e.Report(report::msg::kNames, e.state.pagePath, kNothing);
    return 0;
  }
  for (ByteString& entry : names) {
    ByteString server = e.state.photoServer;
    entry = FetchPhotoPageItem(e, entry, &server);
    CompletePhoto(e, entry, server);
    entry = extract::CutName(MakeEntryName(e, entry));
  }
  return 1;
}

}  // namespace

int ListAlbums(Engine& e) {
  e.entries.ClearAlbums();
  if (!WalkPages(e, kAlbums, &e.entries.albumNames)) return 0;
  for (ByteString& entry : e.entries.albumNames) {
    e.entries.albumAddresses.push_back(MakeEntryUrl(e, entry));
    entry = extract::CutName(MakeEntryName(e, entry));
  }
  return kModeAlbums;
}

int ListPhotos(Engine& e) {
  e.entries.ClearPhotos();
  if (!WalkPages(e, kPhotos, &e.entries.photoNames)) return 0;
  if (e.script.fullSize) return CompletePhotos(e) ? kModePhotos : 0;
  for (ByteString& entry : e.entries.photoNames) {
    CompletePhoto(e, entry, e.state.photoServer);
    entry = extract::CutName(extract::WithJpgExtension(MakeEntryName(e, entry)));
  }
  return kModePhotos;
}

}  // namespace engine
