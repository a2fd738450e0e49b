// libFuzzer target: a site script and a page. The input up to the first NUL byte is the
// script's section (key=value lines), the rest the page every request is answered with.
// Browsing an album list and an album of that site must end in a listing or a report:
// no crash, no endless loop, nothing written past a buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/site_browser.h"
#include "internet_memory.h"
#include "report/error_page.h"

namespace {

class Prompts final : public engine::HostPrompts {
 public:
  bool AskPassword(char* buffer, int size) override {
    std::snprintf(buffer, std::size_t(size), "%s", "p&ss w%rd");
    return true;
  }
};

struct World {
  report::ErrorReporter errors;
  Prompts prompts;
  engine::SiteBrowser browser{errors, &prompts};
  std::string scripts;
  World() {
    char folder[] = "/tmp/fl-browse-fuzz-XXXXXX";
    scripts = std::string(mkdtemp(folder)) + "/";
    browser.LoadRegexLibrary(FL_REGEX_MODULE, scripts.c_str());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string section = input.substr(0, split);
  fuzzing::page = split == std::string::npos ? "" : input.substr(split + 1);
  const std::string path = world.scripts + "fuzz.test";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fprintf(f, "[fuzz.test]\n%s\n", section.c_str());
    std::fclose(f);
  }
  fuzzing::requests = 0;
  const engine::ListingPtr albums = world.browser.Browse("http://www.fuzz.test/user/anna/");
  world.browser.Browse("http://www.fuzz.test/user/anna/album/sea/");
  if (albums && !albums->entries.empty())
    world.browser.BrowseAlbum(*albums, albums->entries[0].name.c_str());
  // Two listings of at most 1000 pages each, one request per page and per photo (twice in
  // full-size mode), the warning and password steps twice per page: nothing more.
  if (fuzzing::requests > 3 * (2 * 1000 * 3 + 4 * 100000)) __builtin_trap();
  return 0;
}
