// The built matching library, loaded through its exports exactly as the plug-in loads it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#ifndef FL_STDCALL
#define FL_STDCALL
#endif

namespace testing_support {

class RegexExports {
 public:
  // Loads the matching library (frameleaf.dll, frameleaf64.dll in the 64-bit Windows build)
  // from beside the running test program.
  RegexExports();
  bool loaded() const { return init_ != nullptr; }

  int Init() { return init_(); }
  int Expression(const char* p) { return expression_(p); }
  int Exec(const char* t) { return exec_(t); }
  int ExecNext() { return execnext_(); }
  std::string Match(int i) { return match_(i); }
  int MatchCount() { return matchcount_(); }
  std::string LastError() { return lasterror_(); }

  // Every match of pattern in text, each as its groups 0..matchcount; at most limit.
  std::vector<std::vector<std::string>> All(const std::string& pattern, const std::string& text,
                                            std::size_t limit = 1000);

 private:
  int(FL_STDCALL* init_)() = nullptr;
  int(FL_STDCALL* expression_)(const char*) = nullptr;
  int(FL_STDCALL* exec_)(const char*) = nullptr;
  int(FL_STDCALL* execnext_)() = nullptr;
  const char*(FL_STDCALL* match_)(int) = nullptr;
  int(FL_STDCALL* matchcount_)() = nullptr;
  const char*(FL_STDCALL* lasterror_)() = nullptr;
};

}  // namespace testing_support
