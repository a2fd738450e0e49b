// The matching library through its exports: tables of pattern, text and expected groups,
// grouped by feature. The same tables run natively and under Wine.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "library.h"

namespace {

using testing_support::RegexExports;

RegexExports& Lib() {
  static RegexExports lib;
  return lib;
}

// The first match as "g0|g1|...", "-" for no match, "!" when the pattern does not compile.
std::string First(const std::string& pattern, const std::string& text) {
  RegexExports& lib = Lib();
  lib.Expression(pattern.c_str());
  if (!lib.LastError().empty()) return "!";
  if (!lib.Exec(text.c_str())) return "-";
  std::string out;
  for (int i = 0; i <= lib.MatchCount(); ++i)
    out += (i ? "|" : "") + lib.Match(i);
  return out;
}

// Every whole match as "m1;m2;...".
std::string Every(const std::string& pattern, const std::string& text) {
  std::string out;
  bool first = true;
  for (const auto& m : Lib().All(pattern, text)) {
    out += (first ? "" : ";") + m[0];
    first = false;
  }
  return out;
}

struct Row {
  const char* pattern;
  const char* text;
  const char* expected;
};

void RunTable(const std::vector<Row>& rows) {
  ASSERT_TRUE(Lib().loaded()) << FL_REGEX_FILE " not found beside the test program";
  for (const Row& r : rows) {
    EXPECT_EQ(First(r.pattern, r.text), r.expected) << "pattern " << r.pattern << " on " << r.text;
  }
}

TEST(RegexTable, LiteralsAndEscapes) {
  RunTable({
      {"abc", "xxabcxx", "abc"},
      {"abc", "ab", "-"},
      {"", "abc", ""},
      {"a\\.b", "axb a.b", "a.b"},
      {"\\t\\n\\r\\f\\v", "\t\n\r\f\v", "\t\n\r\f\v"},
      {"\\x41\\x62", "zAb", "Ab"},
      {"\\xZZ", "a", "!"},
      {"\\/\\[\\(\\)\\]\\\\\\*", "/[()]\\*", "/[()]\\*"},
      {"\\q", "q", "!"},
      {"\\1", "a", "!"},
      {"a\\", "a", "!"},
      {"\xE0\xE1", "\xC0\xE0\xE1", "\xE0\xE1"},
  });
}

TEST(RegexTable, DotAnchorsAndFlags) {
  RunTable({
      {"a.c", "a\nc", "a\nc"},
      {"(?-s)a.c", "a\nc", "-"},
      {"(?-s)a.c", "a\nc abc", "abc"},
      {"^b", "ab", "-"},
      {"^a", "ab", "a"},
      {"b$", "ab\n", "-"},
      {"b$", "ab", "b"},
      {"(?m)^b$", "a\nb\nc", "b"},
      {"\\Aa", "ba", "-"},
      {"a\\z", "aa", "a"},
      {"\\bcat\\b", "concat cat", "cat"},
      {"\\Bcat", "cat concat", "cat"},
      {"(?i)hello", "HeLLo", "HeLLo"},
      {"(?i)\xCF\xD0\xC8\xC2\xC5\xD2", "\xEF\xF0\xE8\xE2\xE5\xF2", "\xEF\xF0\xE8\xE2\xE5\xF2"},
      {"(?i)\xA8", "\xB8", "\xB8"},
      {"(?i)[\xE0-\xE2]+", "\xC0\xC1\xE2", "\xC0\xC1\xE2"},
      {"a(?i:b)c", "aBc aBC", "aBc"},
      {"(?i:a)b", "AB", "-"},
      {"(a(?i)b)c", "aBc aBC", "aBc|aB"},
      {"(?x)a", "a", "!"},
  });
}

TEST(RegexTable, Classes) {
  RunTable({
      {"[abc]+", "xxcabx", "cab"},
      {"[^abc]+", "abxyc", "xy"},
      {"[a-c]+", "dabce", "abc"},
      {"[]a]+", "b]a]", "]a]"},
      {"[^]a]+", "]]bc", "bc"},
      {"[a-]+", "b-a-", "-a-"},
      {"[\\d]+", "ab123", "123"},
      {"\\d+\\s\\w+", "x 12 ab_9!", "12 ab_9"},
      {"\\D\\W\\S", "1a! b", "! b"},
      {"[\\]]", "a]", "]"},
      {"[\\x41-\\x43]+", "zABCD", "ABC"},
      {"[z-a]", "a", "!"},
      {"[abc", "a", "!"},
      {"[[:alpha:]]", "a", "!"},
      {"[\x80-\xFF]+", "ab\xC0\xFFz", "\xC0\xFF"},
  });
}

TEST(RegexTable, GroupsAndAlternation) {
  RunTable({
      {"(a)(b)?", "ac", "a|a"},
      {"(a)|(b)", "b", "b||b"},
      {"(?:ab)+", "ababx", "abab"},
      {"(?<user>\\w+)@(?P<host>\\w+)", "mail me@host now", "me@host|me|host"},
      {"cat|category", "category", "cat"},
      {"(a|ab)(c|bcd)", "abcd", "abcd|a|bcd"},
      {"a|", "b", ""},
      {"()", "x", "|"},
      {"(a", "a", "!"},
      {"a)", "a", "!"},
      {"(?=a)", "a", "!"},
      {"(?!a)", "a", "!"},
      {"(?<=a)b", "ab", "!"},
      {"(?<!a)b", "ab", "!"},
      {"(?>a)", "a", "!"},
      {"(?R)", "a", "!"},
      {"(a)\\1", "aa", "!"},
      {"(?<>a)", "a", "!"},
  });
}

TEST(RegexTable, Quantifiers) {
  RunTable({
      {"a*", "aaa", "aaa"},
      {"a*?", "aaa", ""},
      {"a+?", "aaa", "a"},
      {"a??b", "ab", "ab"},
      {"<.*>", "<a><b>", "<a><b>"},
      {"<.*?>", "<a><b>", "<a>"},
      {"a{2}", "aaaa", "aa"},
      {"a{2,}", "aaaa", "aaaa"},
      {"a{2,3}", "aaaa", "aaa"},
      {"a{2,3}?", "aaaa", "aa"},
      {"a{0}b", "ab", "b"},
      {"a{,2}", "a{,2}", "a{,2}"},
      {"a{x}", "a{x}", "a{x}"},
      {"x{1001}", "x", "!"},
      {"x{3,2}", "x", "!"},
      {"(ab){1,2}c", "ababc", "ababc|ab"},
      {"*a", "a", "!"},
      {"a**", "a", "!"},
      {"a*+", "a", "!"},
      {"a++", "a", "!"},
      {"(a|b)*c", "abbac", "abbac|a"},
      {"(a*)+b", "aab", "aab|"},  // the last iteration matched empty at 2
  });
}

// Perl's rule for loops over bodies that can match empty: an iteration that matches empty
// ends the loop, and the match goes on after it with that iteration's groups.
TEST(RegexTable, EmptyIterationEndsTheLoop) {
  RunTable({
      {"(|a)*", "a", "|"},
      {"(|a)+", "a", "|"},
      {"(a|)+b", "aab", "aab|"},
      {"(a?)*?b", "aab", "aab|a"},
      {"(?:(a)|b|)*c", "bbac", "bbac|a"},
      {"((a*)*)*b", "xab", "ab||"},
      {"(?:a*?)*|x", "xab", ""},
      {"(?:.*?)*", "ab", ""},
      {"((?im)|z)*", "z", "|"},
      {"(\xE1(?:|\xE5)*).*", "\xE1\xE5", "\xE1\xE5|\xE1"},
      {"(?:()|a)*b", "ab", "ab|"},
      {"(?:a|())*b", "aab", "aab|"},
  });
  EXPECT_EQ(Every("(|a)*", "a"), ";a;");
}

TEST(RegexTable, RepeatedSearchFollowsPerlEmptyMatchRule) {
  ASSERT_TRUE(Lib().loaded());
  const struct {
    const char *pattern, *text, *expected;
  } rows[] = {
      {"a*", "baaab", ";aaa;;"},
      {"", "ab", ";;"},
      {"\\b", "ab cd", ";;;"},
      {"x*", "", ""},
      {"<a href=\"([^\"]*)\">", "<a href=\"1\"><a href=\"2\">", "<a href=\"1\">;<a href=\"2\">"},
      {"(?m)^\\w", "ab\ncd\n\nef", "a;c;e"},
      {"a|b", "abba", "a;b;b;a"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(Every(r.pattern, r.text), r.expected) << r.pattern;
  // The exact offsets of the empty-match example: 0-0, 1-4, 4-4, 5-5 give "", "aaa", "", "".
  EXPECT_EQ(Lib().All("a*", "baaab").size(), 4u);
}

// A match's first bytes are looked for by their rarest byte the same in both cases, and
// checked around it; under (?i) both cases of each letter, Cyrillic ones included.
TEST(RegexTable, LeadingBytesFindEveryStart) {
  ASSERT_TRUE(Lib().loaded());
  const struct {
    const char *pattern, *text, *expected;
  } rows[] = {
      {"(?i)<a href=\"", "<A HREF=\"x<a hReF=\"<a href", "<A HREF=\";<a hReF=\""},
      {"(?i)\xC0\xC1\xC2", "\xE0\xE1\xE2 \xC0\xE1\xC2 \xC0\xC1", "\xE0\xE1\xE2;\xC0\xE1\xC2"},
      {"(?i)\xA8x", "\xB8X\xA8x\xA8", "\xB8X;\xA8x"},
      {"(?i)ab", "AbaBab", "Ab;aB;ab"},
      {"ab=", "ab=ab=xab", "ab=;ab="},
      {"aab", "aaab", "aab"},
      {"a=b", "a=a=b", "a=b"},
      {"=", "==", "=;="},
      {"[xy]z=", "xz=yz=zz=", "xz=;yz="},
      {"(?i)a[0-9]", "A1a2", "A1;a2"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(Every(r.pattern, r.text), r.expected) << r.pattern;
}

// A match that starts with a class is looked for eight bytes at a time when the class is
// one ASCII range: a start at any offset of such a word, among bytes just outside the
// range and bytes with the high bit set, must be found.
TEST(RegexTable, ClassLedStartAtEveryOffset) {
  ASSERT_TRUE(Lib().loaded());
  const std::string filler = "/:\xB0\xB9\x80\xFF\x2F\x3A";  // around '0'..'9', high bytes
  for (std::size_t offset = 0; offset < 20; ++offset) {
    std::string text;
    while (text.size() < offset)
      text += filler[text.size() % filler.size()];
    const std::string page = text + "42" + filler + "7";
    EXPECT_EQ(Every("[0-9]+", page), "42;7") << "offset " << offset;
    EXPECT_EQ(Every("[a-c]x", text + "cx" + filler), "cx") << "offset " << offset;
  }
}

// Where a match starts when later places could start one too: the longest-match walk back
// from the match's end must not stop at the nearest of them.
TEST(RegexTable, MatchStartsAtTheLeftmostPlace) {
  RunTable({
      {"[^a\n]{2}?.+|\\w[^a\n]a", "-a -\n- abb", " -\n- abb"},
      {"[^a\n]{2}.+|\\wb", "-a -\n- abb", " -\n- abb"},
      {"b.+|\\wc", "xaybc", "bc"},
      {"(?:x|\\w)\\w*z|[^ ]+", "ab cdz", "ab"},
      {"[a-z]+[0-9]+|\\d", "ab12 3", "ab12"},
  });
}

TEST(RegexExports, StateRulesOfTheCurrentMatch) {
  RegexExports& lib = Lib();
  ASSERT_TRUE(lib.loaded());
  lib.Init();
  EXPECT_EQ(lib.MatchCount(), -1);
  EXPECT_EQ(lib.Exec("abc"), 0);  // no pattern yet
  lib.Expression("(a)(x)?(c)?");
  ASSERT_EQ(lib.Exec("zab"), 1);
  EXPECT_EQ(lib.MatchCount(), 1);  // groups 2 and 3 did not take part
  EXPECT_EQ(lib.Match(7), "");
  EXPECT_EQ(lib.Match(-1), "");
  EXPECT_EQ(lib.ExecNext(), 0);
  EXPECT_EQ(lib.MatchCount(), -1);
  EXPECT_EQ(lib.ExecNext(), 0);

  // The text is copied: the caller's buffer may change after exec.
  std::string text = "key=value";
  lib.Expression("(\\w+)=(\\w+)");
  ASSERT_EQ(lib.Exec(text.c_str()), 1);
  text.assign(text.size(), '#');
  EXPECT_EQ(lib.Match(2), "value");

  // A text ends at its first NUL byte.
  const char withNul[] = "ab\0ab";
  lib.Expression("b");
  ASSERT_EQ(lib.Exec(withNul), 1);
  EXPECT_EQ(lib.ExecNext(), 0);

  // A failed compile clears the match and says why.
  lib.Expression("(");
  EXPECT_FALSE(lib.LastError().empty());
  EXPECT_EQ(lib.MatchCount(), -1);
  EXPECT_EQ(lib.Exec("("), 0);
  lib.Expression("ok");
  EXPECT_EQ(lib.LastError(), "");
}

TEST(RegexExports, HostileInputsStayLinear) {
  RegexExports& lib = Lib();
  ASSERT_TRUE(lib.loaded());
  const std::string many(200000, 'a');
  const struct {
    std::string pattern;
    int found;
  } rows[] = {{"(a*)*b", 0},
              {"(a|aa)*c", 0},
              {"(.*)(.*)(.*)x", 0},
              {"[^<]*<", 0},
              {"(a+)+$", 1},
              {[] {
                 std::string p;
                 for (int i = 0; i < 900; ++i)
                   p += "(?:";
                 return p + "a" + std::string(900, ')');
               }(),
               1}};
  for (const auto& r : rows) {
    lib.Expression(r.pattern.c_str());
    EXPECT_EQ(lib.Exec(many.c_str()), r.found) << r.pattern.substr(0, 20);
  }
  // The DFA reads such a text at once when the match has no groups to fill ...
  lib.Expression("(?:(?:a*)*){1000}");
  EXPECT_EQ(lib.Exec(many.c_str()), 1);
  EXPECT_EQ(lib.Match(0).size(), many.size());
  // ... and fills a group inside such a loop by walking back from the match's end ...
  lib.Expression("((?:a*)*){1000}");
  EXPECT_EQ(lib.Exec(many.c_str()), 1);
  EXPECT_EQ(lib.Match(1), "");
  EXPECT_EQ(lib.Match(0).size(), many.size());
  // ... but linear is not cheap when program and text are both large and every position
  // makes new states: past its step budget the search ends with no match and says why,
  // instead of running for minutes.
  lib.Expression("((?:a?){1000}){10}");
  EXPECT_EQ(lib.Exec(many.c_str()), 0);
  EXPECT_NE(lib.LastError().find("gave up"), std::string::npos);
  EXPECT_EQ(lib.Exec("aaa"), 1);  // a cheap text succeeds again
  EXPECT_EQ(lib.LastError(), "");
  // A large program leaves the backtracker a short window; candidates found by the prefix
  // then fall across its end again and again.
  std::string digits;
  for (int i = 0; i < 2000; ++i)
    digits += "0123456789";
  lib.Expression("0123456789(?:[ab]{0,1000}){0,8}[YZ]");
  EXPECT_EQ(lib.Exec(digits.c_str()), 0);
  lib.Expression("0123456789(?:[ab]{0,1000}){0,8}[YZ]");
  EXPECT_EQ(lib.Exec((digits + "Y").c_str()), 1);
  EXPECT_EQ(lib.Match(0), "0123456789Y");
  // Programs that would grow past the limit are refused, not built.
  lib.Expression("((((a{1000}){1000}){1000}){1000})");
  EXPECT_FALSE(lib.LastError().empty());
}

}  // namespace
