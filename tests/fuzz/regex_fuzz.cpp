// libFuzzer target: compile a pattern and run every match of it over a text. The input's
// first line is the pattern, the rest the text. Any crash, leak, undefined behaviour or
// endless loop is a finding, and so is a match (or group) where the capturing engines alone
// and any of these disagree: the search as it stands (the DFAs in front of the capturing
// engines), the DFAs looking for a pattern's inner run of bytes at every place it stands,
// and the DFAs never looking for it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "regexlib/matcher.h"

namespace {

// Every match of m and of plain over text, in step; traps where they differ.
void Compare(regexlib::Matcher& m, regexlib::Matcher& plain, const std::string& text) {
  int matches = 0;
  bool same = true;
  bool ok = m.Exec(text.c_str());
  bool other = plain.Exec(text.c_str());
  for (; ok; ok = m.ExecNext(), other = plain.ExecNext()) {
    // A search that gave up (the step budget) may end where the other did not.
    same = same && m.Error().empty() && plain.Error().empty();
    if (same && (!other || m.MatchCount() != plain.MatchCount())) __builtin_trap();
    for (int g = 0; g <= m.MatchCount(); ++g) {
      m.Group(g);
      if (same && (m.GroupStart(g) != plain.GroupStart(g) || m.GroupEnd(g) != plain.GroupEnd(g))) {
        __builtin_trap();
      }
    }
    // Each position holds at most one empty and one non-empty match; more means the
    // search did not move on.
    if (++matches > 2 * (int(text.size()) + 1)) __builtin_trap();
  }
  if (same && m.Error().empty() && plain.Error().empty() && other) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string pattern = input.substr(0, newline);
  const std::string text = newline == std::string::npos ? "" : input.substr(newline + 1);
  static regexlib::Matcher m;        // one for the process, as the library keeps it
  static regexlib::Matcher inner;    // the DFAs, by the inner run wherever there is one
  static regexlib::Matcher noInner;  // the DFAs, never by it (both fill groups by the tagged DFA)
  static regexlib::Matcher plain;    // the capturing engines alone
  if (!m.SetPattern(pattern.c_str())) return 0;  // the library sees text up to a NUL
  inner.SetQuickSteps(0);
  inner.UseInner(regexlib::Matcher::kInnerAlways);
  inner.UseTaggedDfa(regexlib::Matcher::kTaggedAlways);
  noInner.SetQuickSteps(0);
  noInner.UseInner(regexlib::Matcher::kInnerNever);
  noInner.UseTaggedDfa(regexlib::Matcher::kTaggedAlways);
  plain.UseDfa(false);
  for (regexlib::Matcher* other : {&inner, &noInner, &plain})
    other->SetPattern(pattern.c_str());
  for (regexlib::Matcher* other : {&m, &inner, &noInner})
    Compare(*other, plain, text);
  return 0;
}
