#include "regex/regex_library.h"

#include "platform/platform.h"

namespace regex {

namespace {
template <typename Fn>
bool Bind(void* library, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(platform::FindFunction(library, name));
  return *out != nullptr;
}
}  // namespace

int RegexLibrary::Load(const char* path) {
  if (handle_) return bound_ ? 1 : 0;
  handle_ = platform::LoadDynamicLibrary(path);
  failure_ = 1;
  if (!handle_) return 0;
  failure_ = 2;
  if (!Bind(handle_, "init", &init_)) return 0;
  failure_ = 3;
  if (!Bind(handle_, "expression", &expression_)) return 0;
  failure_ = 4;
  if (!Bind(handle_, "exec", &exec_)) return 0;
  failure_ = 5;
  if (!Bind(handle_, "match", &match_)) return 0;
  failure_ = 6;
  if (!Bind(handle_, "execnext", &execnext_)) return 0;
  failure_ = 7;
  if (!Bind(handle_, "matchcount", &matchcount_)) return 0;
  failure_ = 0;
  bound_ = true;
  init_();
  return 1;
}

void RegexLibrary::Expression(const char* pattern) {
  if (bound_) expression_(pattern ? pattern : "");
}

bool RegexLibrary::Exec(const char* text) {
  return bound_ && exec_(text ? text : "") != 0;
}

bool RegexLibrary::ExecNext() {
  return bound_ && execnext_() != 0;
}

const char* RegexLibrary::Match(int group) {
  const char* m = bound_ ? match_(group) : nullptr;
  return m ? m : "";
}

int RegexLibrary::MatchCount() {
  return bound_ ? matchcount_() : -1;
}

}  // namespace regex
