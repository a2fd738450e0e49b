#include "extract/template.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "extract/cookies.h"

namespace extract {

namespace {

using common::ByteString;

bool IsNameByte(char c) {
  return c != '`' && c != '|' && c != '^' && c != ';';
}

// The names of t in order: each backquote's following run of name characters.
std::vector<std::string> Names(const std::string& t) {
  std::vector<std::string> names;
  std::size_t i = 0;
  for (;;) {
    i = t.find('`', i);
    if (i == std::string::npos) break;
    std::size_t j = i + 1;
    while (j < t.size() && IsNameByte(t[j]))
      ++j;
    if (j == i + 1) {
      ++i;
      continue;
    }
    names.push_back(t.substr(i + 1, j - i - 1));
    i = j;
  }
  return names;
}

// The format part [*from, *to) of t: the first non-empty run without a backquote that a
// backquote follows, or the whole text when there is none.
void FormatBounds(const std::string& t, std::size_t* from, std::size_t* to) {
  *from = 0;
  *to = t.size();
  const std::size_t first = t.find_first_not_of('`');
  if (first == std::string::npos) return;
  const std::size_t quote = t.find('`', first);
  if (quote == std::string::npos) return;
  *from = first;
  *to = quote;
}

}  // namespace

ByteString LookupVariable(const char* name, const TemplateVariables& vars) {
  if (std::strcmp(name, "Album") == 0) return vars.album;
  if (std::strcmp(name, "Host") == 0) return vars.host;
  if (std::strcmp(name, "User") == 0) return vars.user;
  if (std::strcmp(name, "Page") == 0) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", int(vars.page));
    return digits;
  }
  if (std::strncmp(name, "Cookie", 6) == 0 && name[6] >= '1' && name[6] <= '5' && !name[7]) {
    const std::size_t n = std::size_t(name[6] - '1');
    if (!vars.cookieNames || n >= vars.cookieNames->size()) return ByteString();
    const ByteString& entry = (*vars.cookieNames)[n];
    if (n == 0) return CookieValue(vars.cookieText, entry.c_str());
    return entry;
  }
  if (std::strncmp(name, "Match[", 6) == 0) {
    const char* p = name + 6;
    int k = -1;
    if (p[0] >= '0' && p[0] <= '9' && p[1] == ']' && !p[2]) k = p[0] - '0';
    if (p[0] == '1' && p[1] >= '0' && p[1] <= '2' && p[2] == ']' && !p[3]) k = 10 + p[1] - '0';
    if (k >= 0) return vars.slots ? (*vars.slots)[std::size_t(k)] : ByteString();
  }
  return "NULL";
}

ByteString ExpandTemplate(const ByteString& text, const TemplateVariables& vars,
                          std::vector<TemplateIssue>* issues) {
  // The text ends at its first NUL, as it would for the matching library.
  const std::string t = text.c_str();
  if (t == "NULL") return t;
  auto note = [&](TemplateProblem problem) {
    if (issues) issues->push_back(TemplateIssue{problem, t});
  };
  std::size_t from = 0, to = 0;
  FormatBounds(t, &from, &to);
  std::vector<std::string> names;
  bool namesRead = false;
  std::size_t filled = 0;
  std::string out;
  for (std::size_t i = from; i < to;) {
    const char c = t[i];
    if (c == ';' && filled > 0) break;  // a remark follows
    const char next = i + 1 < to ? t[i + 1] : '\0';
    if (c != '%' || (next != '%' && next != 's' && next != 'd')) {
      out += c;
      ++i;
      continue;
    }
    if (next == '%') {
      out += '%';
      i += 2;
      continue;
    }
    // A placeholder is filled when something other than ";" follows it (the variable list
    // counts).
    if (i + 2 >= t.size() || t[i + 2] == ';') {
      out.append(t, i, 2);
      i += 2;
      continue;
    }
    if (!namesRead) {
      names = Names(t);
      namesRead = true;
    }
    ByteString value = "NULL";
    if (names.empty()) {
      note(TemplateProblem::kMissingName);
    } else if (filled < names.size()) {
      value = LookupVariable(names[filled].c_str(), vars);
    }
    ++filled;
    const char* v = value.c_str();  // a value holds no NUL the library could have seen
    const std::size_t size = std::strlen(v);
    if (out.size() + size > kMaxExpandedSize) {
      note(TemplateProblem::kRunaway);
      return out;
    }
    out.append(v, size);
    i += 2;
  }
  return out;
}

}  // namespace extract
