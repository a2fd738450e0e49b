#include <algorithm>
#include <cstring>

#include "dialog_answerer.h"

namespace testing_support {

namespace {
DialogAnswer gAnswer = DialogAnswer::kClose;
DialogSeen gSeen;
}  // namespace

struct DialogAnswerer::Impl {};

DialogAnswerer::DialogAnswerer(DialogAnswer answer, const std::string&) : impl_(nullptr) {
  gAnswer = answer;
  gSeen = DialogSeen();
}

DialogAnswerer::~DialogAnswerer() = default;

DialogSeen DialogAnswerer::Seen() {
  return gSeen;
}

}  // namespace testing_support

// The hook the POSIX platform layer looks for: it stands in for the dialog. The list sorts
// its lines as the Windows list box does for these texts (letters without regard to case).
extern "C" __attribute__((visibility("default"))) int frameleaf_host_offer_dialog(
    const char* caption, const char* const* lines, int count, const char* accept,
    const char* decline) {
  using testing_support::gSeen;
  gSeen.shown = true;
  gSeen.caption = caption;
  gSeen.accept = accept;
  gSeen.decline = decline;
  gSeen.items.assign(lines, lines + count);
  std::stable_sort(gSeen.items.begin(), gSeen.items.end(),
                   [](const std::string& a, const std::string& b) {
                     return strcasecmp(a.c_str(), b.c_str()) < 0;
                   });
  return testing_support::gAnswer == testing_support::DialogAnswer::kAccept ? 1 : 0;
}
