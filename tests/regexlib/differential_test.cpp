// Our engine against PCRE2 on generated patterns and texts, in the syntax both share: every
// match of a repeated search, with the offsets of every group, must agree. PCRE2 runs with
// "." matching line feeds and "$" at the very end only, as our defaults are.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "regexlib/matcher.h"

namespace {

// Generated patterns, loops over bodies that can match empty included: there an iteration
// that matches empty ends the loop. Each piece knows whether it can match empty.
class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  std::string Pattern() {
    bool nullable;
    return Alt(3, &nullable);
  }

  std::string Text() {
    static const char kBytes[] = "abc \n-";
    std::string t;
    const int n = Pick(12);
    for (int i = 0; i < n; ++i)
      t += kBytes[Pick(6)];
    return t;
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string Alt(int depth, bool* nullable) {
    std::string out = Cat(depth, nullable);
    while (Pick(4) == 0) {
      bool n;
      out += "|" + Cat(depth, &n);
      *nullable = *nullable || n;
    }
    return out;
  }

  std::string Cat(int depth, bool* nullable) {
    std::string out;
    *nullable = true;
    const int n = 1 + Pick(3);
    for (int i = 0; i < n; ++i) {
      bool piece;
      out += Repeat(depth, &piece);
      *nullable = *nullable && piece;
    }
    return out;
  }

  std::string Repeat(int depth, bool* nullable) {
    std::string atom = Atom(depth, nullable);
    if (assertion_ || Pick(3) != 0) return atom;  // PCRE2 refuses a repeated assertion
    static const char* const kQuantifiers[] = {"*", "+", "?", "{2}", "{1,2}", "{0,2}", "{2,}"};
    const int q = Pick(7);
    std::string out = atom + kQuantifiers[q];
    if (Pick(3) == 0) out += "?";
    *nullable = *nullable || q == 0 || q == 2 || q == 5;
    return out;
  }

  std::string Atom(int depth, bool* nullable) {
    *nullable = false;
    assertion_ = false;
    switch (depth > 0 ? Pick(12) : Pick(8)) {
      case 0:
        return "a";
      case 1:
        return "b";
      case 2:
        return ".";
      case 3:
        return "[ab]";
      case 4:
        return "[^a\\n]";
      case 5:
        return "\\w";
      case 6:
        *nullable = true;
        assertion_ = true;
        static const char* const kAsserts[] = {"^", "$", "\\b", "\\B", "(?m)^", "(?m)$"};
        return kAsserts[Pick(6)];
      case 7:
        return "(?i)A";
      case 8:
      case 9:
        return "(" + Alt(depth - 1, nullable) + ")";
      case 10:
        return "(?:" + Alt(depth - 1, nullable) + ")";
      default:
        return "(?<n" + std::to_string(++names_) + ">" + Alt(depth - 1, nullable) + ")";
    }
  }

  std::mt19937 rng_;
  int names_ = 0;
  bool assertion_ = false;  // the last atom made was an assertion
};

using Spans = std::vector<std::vector<int>>;

// How our engine searches: as it stands (the backtracker's quick try at the prefilter's
// candidates, then the DFAs in front of the capturing engines), the DFAs for every search
// (by the inner run at every place it stands, or never by it; the tagged DFA filling the
// groups), the capturing engines on their own, or the Pike VM alone.
enum Engines { kStandard, kDfa, kPlainDfa, kCapturing, kPikeVm, kEngineKinds };
const char* const kEngineNames[] = {"as it stands", "DFA by the inner run", "DFA without it",
                                    "capturing engines", "Pike VM"};

// One matcher of each kind for a pattern; false when the pattern does not compile.
struct Matchers {
  regexlib::Matcher m[kEngineKinds];
  bool Set(const std::string& pattern) {
    m[kDfa].SetQuickSteps(0);
    m[kDfa].UseInner(regexlib::Matcher::kInnerAlways);
    m[kDfa].UseTaggedDfa(regexlib::Matcher::kTaggedAlways);
    m[kPlainDfa].SetQuickSteps(0);
    m[kPlainDfa].UseInner(regexlib::Matcher::kInnerNever);
    m[kPlainDfa].UseTaggedDfa(regexlib::Matcher::kTaggedAlways);
    m[kCapturing].UseDfa(false);
    m[kPikeVm].UsePikeVmOnly(true);
    bool ok = true;
    for (regexlib::Matcher& one : m)
      ok = one.SetPattern(pattern) && ok;
    return ok;
  }
};

Spans Ours(regexlib::Matcher& m, const std::string& text, int groups) {
  Spans out;
  for (bool ok = m.Exec(text.c_str()); ok && out.size() < 50; ok = m.ExecNext()) {
    std::vector<int> s;
    for (int g = 0; g <= groups; ++g) {
      s.push_back(m.GroupStart(g));
      s.push_back(m.GroupEnd(g));
    }
    out.push_back(s);
  }
  return out;
}

// The repeated search of PCRE2's own demonstration program: after an empty match, try a
// non-empty one at the same place, else move on one byte.
Spans Pcre(const std::string& pattern, const std::string& text, int* groups) {
  int error;
  PCRE2_SIZE offset;
  pcre2_code* re = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()), pattern.size(),
                                 PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY, &error, &offset, nullptr);
  if (!re) return {{-2}};
  std::uint32_t count = 0;
  pcre2_pattern_info(re, PCRE2_INFO_CAPTURECOUNT, &count);
  *groups = int(count);
  pcre2_match_data* md = pcre2_match_data_create_from_pattern(re, nullptr);
  Spans out;
  PCRE2_SIZE start = 0;
  std::uint32_t options = 0;
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.c_str());
  while (out.size() < 50) {
    int rc = pcre2_match(re, subject, text.size(), start, options, md, nullptr);
    if (rc == PCRE2_ERROR_NOMATCH && options != 0) {
      if (start >= text.size()) break;
      ++start;
      options = 0;
      continue;
    }
    if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
        rc == PCRE2_ERROR_HEAPLIMIT) {
      out = {{-3}};  // PCRE2 gave up (it backtracks exponentially on some nested loops)
      break;
    }
    if (rc < 0) break;
    PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
    std::vector<int> s;
    for (int g = 0; g <= int(count); ++g) {
      const bool set = g < rc && ov[2 * g] != PCRE2_UNSET;
      s.push_back(set ? int(ov[2 * g]) : -1);
      s.push_back(set ? int(ov[2 * g + 1]) : -1);
    }
    out.push_back(s);
    start = ov[1];
    options = ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
  }
  pcre2_match_data_free(md);
  pcre2_code_free(re);
  return out;
}

// Long texts, where the backtracker's loops run as scans over runs of bytes and its
// windows of text end: every match and group must be what the Pike VM alone finds. The
// second alternative never matches (the texts hold no "Q") but makes the program so large
// that a window holds only some hundred bytes.
TEST(Differential, LongTextsAgreeWithThePikeVm) {
  const char* const kPatterns[] = {"a[^b]*b", "[^\"]+\"", ".*a", ".*?a", "(a|ab)*c", "(.*)(.*)x",
                                   "[ab]*?c", "x.*?y.*?z", "(?:a*)*b", "(|a)*b", "\"([^\"]*)\"",
                                   "(a+)(b+)?", "y[^y]*?y", "[xyz]+", "(?:ab|a)+?c", "(a*)+?(b*)$",
                                   "z(.)*z", "b.*c.*?a",
                                   // The reverse DFA walks back over many places a match may start,
                                   // the shortest alternative's first.
                                   "[^a\\n]{2}.+|\\wb", "[^x]{2}.*?|\\wz"};
  const char kBytes[] = "abcxyz\"";
  std::mt19937 rng(1208);
  for (const char* body : kPatterns) {
    for (const bool large : {false, true}) {
      const std::string pattern =
          large ? std::string("(?:") + body + ")|(?:zq{0,1000}){0,20}Q" : std::string(body);
      Matchers ours;
      ASSERT_TRUE(ours.Set(pattern)) << pattern;
      for (int t = 0; t < 6; ++t) {
        std::string text(std::size_t(200 + 600 * t), 'a');
        const int spread = 1 + t % 3;  // from runs of "a" to evenly mixed bytes
        for (char& c : text) {
          if (std::uniform_int_distribution<int>(0, spread * 3)(rng) < spread) {
            c = kBytes[std::uniform_int_distribution<int>(0, 6)(rng)];
          }
        }
        const int groups = 3;  // no pattern here has more; absent ones read as -1 in both
        const Spans vm = Ours(ours.m[kPikeVm], text, groups);
        for (int k = kStandard; k < kPikeVm; ++k) {
          ASSERT_EQ(Ours(ours.m[k], text, groups), vm)
              << kEngineNames[k] << ": pattern /" << pattern << "/ text of " << text.size()
              << " bytes, mix " << spread;
        }
      }
    }
  }
}

// A pattern whose DFA needs thousands of states (one for each way the last 12 bytes can
// read) over a long text: the cache fills and is emptied again and again, and a search
// that builds states faster than it reads gives up to the capturing engines. Every match
// must still be the Pike VM's.
TEST(Differential, DfaCacheFillsUpAndGivesWay) {
  std::mt19937 rng(77);
  std::string text(1 << 16, 'a');
  for (char& c : text) {
    const int r = std::uniform_int_distribution<int>(0, 999)(rng);
    c = r < 500 ? 'a' : r < 999 ? 'b' : 'c';
  }
  for (const char* pattern : {"([ab]*)a[ab]{12}c", "(a|b)*b(?:a|b){12}c"}) {
    Matchers ours;
    ASSERT_TRUE(ours.Set(pattern)) << pattern;
    const Spans vm = Ours(ours.m[kPikeVm], text, 1);
    EXPECT_GT(vm.size(), 10u) << pattern;
    for (int k = kStandard; k < kPikeVm; ++k)
      ASSERT_EQ(Ours(ours.m[k], text, 1), vm) << kEngineNames[k] << ": pattern /" << pattern << "/";
    EXPECT_GT(ours.m[kDfa].dfaResets(), 0u) << pattern;
  }
}

// Patterns with a run of bytes inside every match, over texts where the run stands often:
// next to itself and overlapping itself, with heads that end short of it or reach back
// over an earlier place, after tries that fail. The search that looks for the run first
// must find every match the Pike VM finds, groups included.
TEST(Differential, InnerRunFindsTheLeftmostMatch) {
  const struct {
    const char* pattern;
    const char* bytes;  // the texts' bytes
    const char* run;    // put into the texts now and then
  } rows[] = {
      {"([\\w.\\-]+)/albums/([0-9]+)/", "ab1.-/", "/albums/"},
      {"[^c]*ccd", "abcd", "ccd"},
      {"(x|xy)?yyz", "xyz", "yyz"},
      {"\\b\\w+@(\\w+)\\b", "ab@ -", "@"},
      {"(a+|b)c(a|b)*d", "abcd", "c"},
      {"[0-9]+ (photos)", "12 phots", " photos"},
      {"(a*)*b", "abc", "b"},
      {"(a|aa)*c", "abc", "c"},
      {"\\d\\d?-(x+)", "1x-", "-"},
      {"(?:ab)*?c\\b", "abc ", "c"},
      {"(?m)^(a|b)+\\n=$", "ab\n=", "\n="},
      {"([ab]?)(b*)aab", "ab", "aab"},
  };
  std::mt19937 rng(4242);
  for (const auto& row : rows) {
    Matchers ours;
    ASSERT_TRUE(ours.Set(row.pattern)) << row.pattern;
    const int bytes = int(std::strlen(row.bytes));
    for (int t = 0; t < 40; ++t) {
      std::string text;
      const std::size_t size = std::size_t(20 + 150 * t);
      while (text.size() < size) {
        if (std::uniform_int_distribution<int>(0, 5)(rng) == 0) {
          text += row.run;
        } else {
          text += row.bytes[std::uniform_int_distribution<int>(0, bytes - 1)(rng)];
        }
      }
      const Spans vm = Ours(ours.m[kPikeVm], text, 3);
      for (int k = kStandard; k < kPikeVm; ++k) {
        ASSERT_EQ(Ours(ours.m[k], text, 3), vm)
            << kEngineNames[k] << ": pattern /" << row.pattern << "/ text \"" << text << "\"";
      }
    }
  }
}

// Runs of one byte next to other bytes, of every length around the eight-byte rounds of
// the scans that read a run a DFA state stays in: forwards (the forward DFA) and backwards
// (the reverse DFAs), on a byte that keeps the state or on every byte but one. Every match
// must be the Pike VM's.
TEST(Differential, RunsReadAsScansEndWhereTheirByteEnds) {
  const char* const kPatterns[] = {
      "[^<]*<", "<[^<]*", "x[^x]*x",       ".*=",   "=.*",   "a*b",
      "ba*",    "(a*)*b", "(?:[^b]*b){2}", "(a+)=", "=(a+)", "\\ba+\\b"};
  const char kOthers[] = "<=xb ";
  std::mt19937 rng(808);
  for (const char* pattern : kPatterns) {
    Matchers ours;
    ASSERT_TRUE(ours.Set(pattern)) << pattern;
    for (int t = 0; t < 60; ++t) {
      std::string text;
      for (int piece = 0; piece < 6; ++piece) {
        const int run = std::uniform_int_distribution<int>(0, 3)(rng) == 0
                            ? 60 + std::uniform_int_distribution<int>(0, 10)(rng)
                            : std::uniform_int_distribution<int>(0, 20)(rng);
        text += std::string(std::size_t(run), 'a');
        text += kOthers[std::uniform_int_distribution<int>(0, 4)(rng)];
      }
      const Spans vm = Ours(ours.m[kPikeVm], text, 1);
      for (int k = kStandard; k < kPikeVm; ++k) {
        ASSERT_EQ(Ours(ours.m[k], text, 1), vm)
            << kEngineNames[k] << ": pattern /" << pattern << "/ text \"" << text << "\"";
      }
    }
  }
}

TEST(Differential, AgreesWithPcre2) {
  Generator gen(20261208);
  int compared = 0, gaveUp = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string pattern = gen.Pattern();
    Matchers ours;
    const bool compiled = ours.Set(pattern);
    for (int j = 0; j < 8; ++j) {
      const std::string text = gen.Text();
      int groups = 0;
      const Spans want = Pcre(pattern, text, &groups);
      ASSERT_NE(want, Spans({{-2}})) << "PCRE2 refused " << pattern;
      if (want == Spans({{-3}})) {
        ++gaveUp;
        continue;
      }
      ASSERT_TRUE(compiled) << pattern;
      for (int k = kStandard; k < kEngineKinds; ++k) {
        ASSERT_EQ(Ours(ours.m[k], text, groups), want)
            << kEngineNames[k] << ": pattern /" << pattern << "/ text \"" << text << "\"";
      }
      ++compared;
    }
  }
  EXPECT_EQ(compared + gaveUp, 160000);
  EXPECT_LT(gaveUp, 100);
}

}  // namespace
