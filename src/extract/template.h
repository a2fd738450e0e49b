// Template expansion: the placeholders "%s"/"%d" of a site-script value's format part are
// filled, in order, with the variables named after the first backquote. Values are put in as
// they are and never read again: a value from a web page cannot bring in placeholders or
// names. A pure function of the text and the variables: it reads no global state and
// touches neither the matching library nor the error page; what went wrong is handed back
// for the caller to report.
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

// Expansion never makes a text longer than this: values taken from web pages may be long,
// and a template may put the same one in many times.
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
  kRunaway,      // the result would grow past kMaxExpandedSize
};

struct TemplateIssue {
  TemplateProblem problem;
  common::ByteString text;  // the template text
};

// The value of one variable: Host, User, Album, Page, Cookie1..Cookie5, Match[0]..Match[12];
// "NULL" for any other name. Cookie2..Cookie5 beyond the script's names are empty text.
common::ByteString LookupVariable(const char* name, const TemplateVariables& vars);

// Expands text:
// - "NULL" stays "NULL";
// - the format part is the text before the first backquote (leading backquotes skipped),
//   the names are each backquote's following run of characters other than backquote, "|",
//   "^" and ";", in order, anywhere in the text;
// - in the format part "%%" is one "%", "%s" and "%d" are placeholders, and any other "%"
//   is itself;
// - a placeholder directly followed by ";", or ending the whole text, is left as written;
//   every other placeholder takes the next name's value ("NULL" past the last name);
// - after the first filled placeholder a ";" ends the text (what follows is a remark).
// Problems are appended to issues (when given) in the order they arose; the expansion
// still returns a text (past the size bound, what was made up to it).
common::ByteString ExpandTemplate(const common::ByteString& text, const TemplateVariables& vars,
                                  std::vector<TemplateIssue>* issues = nullptr);

}  // namespace extract
