// The binding to the companion matching library. The library keeps one current pattern and
// one current match for the whole process; this class only loads it and forwards calls.
#pragma once

#include <string>

#ifndef FL_STDCALL
#define FL_STDCALL
#endif

namespace regex {

class RegexLibrary {
 public:
  using InitFn = int(FL_STDCALL*)();
  using ExpressionFn = int(FL_STDCALL*)(const char* pattern);
  using ExecFn = int(FL_STDCALL*)(const char* text);
  using MatchFn = const char*(FL_STDCALL*)(int group);
  using ExecNextFn = int(FL_STDCALL*)();
  using MatchCountFn = int(FL_STDCALL*)();

  // Loads the library (once: a library already loaded is kept) and looks up its six
  // functions in order, stopping at the first that is missing. Returns 1 when all six were
  // found and init was called; otherwise 0, with failure() naming the step (1 to 7).
  int Load(const char* path);

  bool bound() const { return bound_; }
  bool loaded() const { return handle_ != nullptr; }
  // The step that failed: 1 the file, 2 init, ... 7 matchcount; 0 when none failed.
  int failure() const { return failure_; }

  // Calls into the library. Without a complete binding no function is called: nothing is
  // found and every group is empty.
  void Expression(const char* pattern);
  bool Exec(const char* text);
  bool ExecNext();
  const char* Match(int group);
  int MatchCount();

 private:
  void* handle_ = nullptr;
  bool bound_ = false;
  int failure_ = 0;
  InitFn init_ = nullptr;
  ExpressionFn expression_ = nullptr;
  ExecFn exec_ = nullptr;
  MatchFn match_ = nullptr;
  ExecNextFn execnext_ = nullptr;
  MatchCountFn matchcount_ = nullptr;
};

}  // namespace regex
