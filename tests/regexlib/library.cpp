#include "library.h"

#include "platform/platform.h"

namespace testing_support {

namespace {
template <typename Fn>
void Bind(void* lib, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(platform::FindFunction(lib, name));
}
}  // namespace

RegexExports::RegexExports() {
  char self[260];
  platform::ModulePath(nullptr, self, sizeof self);
  std::string dir(self);
  dir = dir.substr(0, dir.find_last_of("/\\") + 1);
  void* lib = platform::LoadDynamicLibrary((dir + FL_REGEX_FILE).c_str());
  if (!lib) return;
  Bind(lib, "expression", &expression_);
  Bind(lib, "exec", &exec_);
  Bind(lib, "execnext", &execnext_);
  Bind(lib, "match", &match_);
  Bind(lib, "matchcount", &matchcount_);
  Bind(lib, "lasterror", &lasterror_);
  Bind(lib, "init", &init_);
}

std::vector<std::vector<std::string>> RegexExports::All(const std::string& pattern,
                                                        const std::string& text,
                                                        std::size_t limit) {
  std::vector<std::vector<std::string>> out;
  Expression(pattern.c_str());
  for (int ok = Exec(text.c_str()); ok && out.size() < limit; ok = ExecNext()) {
    std::vector<std::string> groups;
    for (int i = 0; i <= MatchCount(); ++i)
      groups.push_back(Match(i));
    out.push_back(groups);
  }
  return out;
}

}  // namespace testing_support
