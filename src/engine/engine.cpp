#include "engine/engine.h"

#include <vector>

#include "report/messages.h"

namespace engine {

common::ByteString Engine::Expand(const common::ByteString& text) {
  extract::TemplateVariables vars;
  vars.host = state.host;
  vars.user = state.user;
  vars.album = state.album;
  vars.page = state.pageNumber;
  vars.cookieText = state.cookieText;
  vars.cookieNames = &script.cookieNames;
  vars.slots = &slots;
  std::vector<extract::TemplateIssue> issues;
  common::ByteString result = extract::ExpandTemplate(text, vars, &issues);
  for (const extract::TemplateIssue& issue : issues) {
    const bool missing = issue.problem == extract::TemplateProblem::kMissingName;
    Report(missing ? report::msg::kParameters : report::msg::kRunaway, issue.text, kNothing);
  }
  return result;
}

common::ByteString Engine::ReadPage() {
  std::uint32_t length = 0;
  const char* text = http.ReadAll(&length);
  state.lastPageLength = length;
  return common::ByteString(text ? text : "");
}

}  // namespace engine
