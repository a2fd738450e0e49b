// Template expansion done the long way, for checking: every step runs the three fixed
// searches through the matching library's own matcher, level by level, exactly as the site
// scripts' template language is defined. The product's expansion scans instead; the two
// must agree on every text.
#pragma once

#include <string>
#include <vector>

#include "extract/template.h"
#include "regexlib/matcher.h"

namespace reference {

class TemplateReference {
 public:
  TemplateReference() {
    placeholder_.SetPattern("([^%]*)(%s|%d)([^;]+)");
    names_.SetPattern("(`)([^`|^;]+)");
    format_.SetPattern("([^`]+)(`)");
  }
  // expected issues: how many missing-name reports the expansion made.
  std::string Expand(const std::string& text, const extract::TemplateVariables& vars,
                     int* missingNames) {
    std::string t = text.c_str();
    for (int depth = 0; depth <= extract::kMaxTemplateDepth; ++depth) {
      if (t == "NULL") return t;
      if (!placeholder_.Exec(t.c_str())) {
        return format_.Exec(t.c_str()) ? format_.Group(1) : t;
      }
      if (depth == extract::kMaxTemplateDepth) return t;
      const std::string prefix = placeholder_.Group(1), rest = placeholder_.Group(3);
      std::string value = "NULL";
      bool found = names_.Exec(t.c_str());
      if (!found) ++*missingNames;
      for (int n = 0; found && n < depth; ++n)
        found = names_.ExecNext();
      if (found) value = extract::LookupVariable(names_.Group(2).c_str(), vars).c_str();
      t = prefix + value + rest;
    }
    return t;
  }

 private:
  regexlib::Matcher placeholder_, names_, format_;
};

}  // namespace reference
