// libFuzzer target: template expansion with hostile match slots. The input's first line is
// the template, the next lines the match slots. The expansion must agree with the expansion
// driven by searches through the matching engine, stay within its bound, and never crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../extract/template_reference.h"
#include "extract/template.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && lines.size() < 1 + extract::kMatchSlotCount) {
      lines.emplace_back();
    } else {
      lines.back() += char(data[i]);
    }
  }
  extract::MatchSlots slots;
  for (std::size_t i = 1; i < lines.size(); ++i)
    slots[i - 1] = lines[i];
  const std::vector<common::ByteString> cookies = {"id", "two", "three"};
  extract::TemplateVariables vars;
  vars.host = "www.example.test";
  vars.user = "u%s`Album";
  vars.album = "a";
  vars.page = 7;
  vars.cookieText = "sid=1; id=2";
  vars.cookieNames = &cookies;
  vars.slots = &slots;

  std::vector<extract::TemplateIssue> issues;
  const std::string got = extract::ExpandTemplate(lines[0], vars, &issues).str();
  if (got.size() > extract::kMaxExpandedSize) __builtin_trap();
  bool runaway = false;
  for (const auto& issue : issues)
    runaway |= issue.problem == extract::TemplateProblem::kRunaway;
  // The reference has no size bound; where the bound stopped expansion they may differ.
  if (!runaway) {
    static reference::TemplateReference ref;
    int missing = 0;
    if (ref.Expand(lines[0], vars, &missing) != got) __builtin_trap();
  }
  return 0;
}
