// The library's exports. One current pattern and one current match for the whole process;
// the library is called from one thread at a time and takes no locks. No exception leaves.
#include <exception>

#include "regexlib/matcher.h"

#define FL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

regexlib::Matcher& Current() {
  static regexlib::Matcher matcher;
  return matcher;
}

// Failures of our own (out of memory on a huge text) end the current match.
template <typename F>
int Guarded(F&& body) {
  try {
    return body();
  } catch (...) {
    try {
      Current().Reset();
    } catch (...) {
    }
    return 0;
  }
}

}  // namespace

FL_EXPORT int FL_STDCALL init() {
  return Guarded([] {
    Current().Reset();
    return 1;
  });
}

FL_EXPORT int FL_STDCALL expression(const char* pattern) {
  return Guarded([&] { return Current().SetPattern(pattern ? pattern : "") ? 1 : 0; });
}

FL_EXPORT int FL_STDCALL exec(const char* text) {
  return Guarded([&] { return Current().Exec(text) ? 1 : 0; });
}

FL_EXPORT int FL_STDCALL execnext() {
  return Guarded([] { return Current().ExecNext() ? 1 : 0; });
}

FL_EXPORT const char* FL_STDCALL match(int group) {
  try {
    return Current().Group(group).c_str();
  } catch (...) {
    return "";
  }
}

FL_EXPORT int FL_STDCALL matchcount() {
  try {
    return Current().MatchCount();
  } catch (...) {
    return -1;
  }
}

// Why the last pattern did not compile; empty when it did.
FL_EXPORT const char* FL_STDCALL lasterror() {
  return Current().Error().c_str();
}

// The steps every search in the process has taken so far: what a search's step budget
// counts (engine steps, and instructions followed to build DFA states). Lets a test bound
// the work a pattern costs without a clock.
FL_EXPORT unsigned long long FL_STDCALL searchsteps() {
  return Current().work();
}
