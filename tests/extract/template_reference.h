// Template expansion done another way, for checking: the names, the format part and the
// format part's tokens ("%%", "%s", "%d", ";") are all found by searches through the
// matching library's own matcher, as the site scripts' template language describes them.
// The product's expansion scans instead; the two must agree on every text.
#pragma once

#include <string>
#include <vector>

#include "extract/template.h"
#include "regexlib/matcher.h"

namespace reference {

class TemplateReference {
 public:
  TemplateReference() {
    names_.SetPattern("(`)([^`|^;]+)");
    format_.SetPattern("([^`]+)(`)");
    tokens_.SetPattern("%%|%s|%d|;");
  }
  // missingNames counts the placeholders filled while the text has no name at all.
  std::string Expand(const std::string& text, const extract::TemplateVariables& vars,
                     int* missingNames) {
    const std::string t = text.c_str();
    if (t == "NULL") return t;
    std::vector<std::string> names;
    for (bool found = names_.Exec(t.c_str()); found; found = names_.ExecNext())
      names.push_back(names_.Group(2));
    // The format part, and whether the variable list follows it.
    const bool listFollows = format_.Exec(t.c_str());
    const std::string format = listFollows ? format_.Group(1) : t;
    std::string out;
    std::size_t at = 0, filled = 0;
    for (bool found = tokens_.Exec(format.c_str()); found; found = tokens_.ExecNext()) {
      const std::size_t start = std::size_t(tokens_.GroupStart(0));
      const std::size_t end = std::size_t(tokens_.GroupEnd(0));
      out += format.substr(at, start - at);
      at = end;
      const std::string token = tokens_.Group(0);
      if (token == ";") {
        if (filled > 0) return out;
        out += token;
      } else if (token == "%%") {
        out += "%";
      } else {
        const bool last = end == format.size();
        if ((last && !listFollows) || (!last && format[end] == ';')) {
          out += token;
          continue;
        }
        if (names.empty()) ++*missingNames;
        out += filled < names.size() ? extract::LookupVariable(names[filled].c_str(), vars).c_str()
                                     : "NULL";
        ++filled;
      }
    }
    return out + format.substr(at);
  }

 private:
  regexlib::Matcher names_, format_, tokens_;
};

}  // namespace reference
