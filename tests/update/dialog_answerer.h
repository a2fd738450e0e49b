// Answers the offer dialog for a test, and records what it showed. On Windows the real
// dialog is found among the process's windows, read through its controls, photographed and
// answered with a click on a button (or closed); on POSIX the platform layer hands the
// dialog to the hook this program exports.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

enum class DialogAnswer { kAccept, kDecline, kClose };

struct DialogSeen {
  bool shown = false;
  std::string caption, accept, decline;
  std::vector<std::string> items;  // in the order the list shows them
};

class DialogAnswerer {
 public:
  // Answers the next dialog; screenshot (may be empty) receives a PNG picture of it where
  // the platform draws one.
  DialogAnswerer(DialogAnswer answer, const std::string& screenshot);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // What the dialog showed. Call once the code that shows it has returned: a dialog that
  // has not appeared by then never will.
  DialogSeen Seen();

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace testing_support
