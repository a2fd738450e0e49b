// The album and the photo listing: one page walker reads the first page and every page the
// script says follows it, collecting raw entries; then every entry is converted.
#pragma once

#include <cstddef>

#include "engine/engine.h"

namespace engine {

// A listing keeps the entries of at most this many pages, and at most this many entries;
// past either bound it stops, keeps what it found and says so on the error page.
constexpr int kMaxPages = 1000;
constexpr std::size_t kMaxEntries = 100000;

// Fills the album lists; 1, or 0 after a report.
int ListAlbums(Engine& e);
// Fills the photo lists; 2, or 0 after a report.
int ListPhotos(Engine& e);

}  // namespace engine
