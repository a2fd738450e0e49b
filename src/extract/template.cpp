#include "extract/template.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "extract/cookies.h"

namespace extract {

namespace {

using common::ByteString;

// Where the first placeholder of t is filled. The site scripts' templates are defined by
// the search "([^%]*)(%s|%d)([^;]+)": the leftmost match begins after the last "%" before the
// first "%s"/"%d" that is followed by a character other than ";", and its third group runs
// to the next ";". Found here by scanning, with exactly that outcome.
struct Placeholder {
  std::size_t prefixStart;  // group 1: [prefixStart, at)
  std::size_t at;           // the "%" of the placeholder
  std::size_t restEnd;      // group 3: [at + 2, restEnd)
};

bool FindPlaceholder(const std::string& t, Placeholder* out) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] != '%') continue;
    if (i + 2 < t.size() && (t[i + 1] == 's' || t[i + 1] == 'd') && t[i + 2] != ';') {
      std::size_t end = t.find(';', i + 2);
      out->prefixStart = start;
      out->at = i;
      out->restEnd = end == std::string::npos ? t.size() : end;
      return true;
    }
    start = i + 1;  // group 1 cannot cross this "%"
  }
  return false;
}

bool IsNameByte(char c) {
  return c != '`' && c != '|' && c != '^' && c != ';';
}

// The names of t in order, as the successive matches of "(`)([^`|^;]+)" give them; stops
// after the name numbered want (0-based) has been found.
std::vector<std::string> NamesUpTo(const std::string& t, std::size_t want) {
  std::vector<std::string> names;
  std::size_t i = 0;
  while (names.size() <= want) {
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

// The format part: what the search "([^`]+)(`)" gives as group 1 (the first non-empty run
// without a backquote that a backquote follows), or the text itself when nothing matches.
std::string FormatPart(const std::string& t) {
  const std::size_t first = t.find_first_not_of('`');
  if (first == std::string::npos) return t;
  const std::size_t quote = t.find('`', first);
  if (quote == std::string::npos) return t;
  return t.substr(first, quote - first);
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
  std::string t = text.c_str();
  if (t == "NULL") return t;
  auto note = [&](TemplateProblem problem) {
    if (issues) issues->push_back(TemplateIssue{problem, t});
  };
  for (int depth = 0;; ++depth) {
    Placeholder p;
    if (!FindPlaceholder(t, &p)) return FormatPart(t);
    if (depth >= kMaxTemplateDepth) {
      note(TemplateProblem::kRunaway);
      return t;
    }
    // The name of this level is the one numbered depth, searched over the whole text.
    const std::vector<std::string> names = NamesUpTo(t, std::size_t(depth));
    ByteString value = "NULL";
    if (names.empty()) {
      note(TemplateProblem::kMissingName);
    } else if (names.size() > std::size_t(depth)) {
      value = LookupVariable(names[std::size_t(depth)].c_str(), vars);
    }
    const std::size_t restSize = p.restEnd - (p.at + 2);
    const std::size_t prefixSize = p.at - p.prefixStart;
    const char* v = value.c_str();  // a value holds no NUL the library could have seen
    const std::size_t valueSize = std::strlen(v);
    if (prefixSize + valueSize + restSize > kMaxExpandedSize) {
      note(TemplateProblem::kRunaway);
      return t;
    }
    std::string next;
    next.reserve(prefixSize + valueSize + restSize);
    next.append(t, p.prefixStart, prefixSize);
    next.append(v, valueSize);
    next.append(t, p.at + 2, restSize);
    t.swap(next);
  }
}

}  // namespace extract
