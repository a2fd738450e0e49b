// Template expansion: the placeholders "%s"/"%d" of a site-script value are filled, one per
// level, with the variables named after the first backquote. A pure function of the text and
// the variables: it reads no global state and touches neither the matching library nor the
// error page; what went wrong is handed back for the caller to report.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/byte_string.h"

namespace extract {

// The match slots: slot k holds group k of the last capture; 0 to 12 are Match[0]..Match[12].
constexpr int kMatchSlotCount = 20;
using MatchSlots = std::array<common::ByteString, kMatchSlotCount>;

// Expansion never nests deeper than this, and never grows a text beyond kMaxExpandedSize:
// values taken from web pages could otherwise keep bringing in new placeholders and names.
constexpr int kMaxTemplateDepth = 32;
constexpr std::size_t kMaxExpandedSize = std::size_t(4) << 20;

struct TemplateVariables {
  common::ByteString host;
  common::ByteString user;
  common::ByteString album;
  std::int32_t page = 0;
  const char* cookieText = "";                                   // "a=1; b=2"
  const std::vector<common::ByteString>* cookieNames = nullptr;  // the script's Cookie1..n
  const MatchSlots* slots = nullptr;
};

enum class TemplateProblem {
  kMissingName,  // a placeholder with no backquoted name anywhere in the text
  kRunaway,      // nested deeper than kMaxTemplateDepth or grown past kMaxExpandedSize
};

struct TemplateIssue {
  TemplateProblem problem;
  common::ByteString text;  // the template text at the level where it happened
};

// The value of one variable: Host, User, Album, Page, Cookie1..Cookie5, Match[0]..Match[12];
// "NULL" for any other name. Cookie2..Cookie5 beyond the script's names are empty text.
common::ByteString LookupVariable(const char* name, const TemplateVariables& vars);

// Expands text. Problems are appended to issues (when given) in the order they arose; the
// expansion still returns a text.
common::ByteString ExpandTemplate(const common::ByteString& text, const TemplateVariables& vars,
                                  std::vector<TemplateIssue>* issues = nullptr);

}  // namespace extract
