// Template expansion: the worked cases of the template language, values from pages put in
// as they are, the bound that keeps a page from making expansion run away, and agreement
// with the search-driven expansion on every short template built from the language's tokens.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/template.h"
#include "template_reference.h"

namespace {

using common::ByteString;
using extract::ExpandTemplate;
using extract::TemplateIssue;
using extract::TemplateProblem;

struct Fixture {
  extract::MatchSlots slots;
  std::vector<ByteString> cookieNames;
  extract::TemplateVariables vars;
  Fixture() {
    for (int i = 0; i < extract::kMatchSlotCount; ++i)
      slots[std::size_t(i)] = "m" + std::to_string(i);
    cookieNames = {"id", "second", "third"};
    vars.host = "photos.example.test";
    vars.user = "anna";
    vars.album = "sea";
    vars.page = 3;
    vars.cookieText = "sid=abc; id=42; x=1";
    vars.cookieNames = &cookieNames;
    vars.slots = &slots;
  }
};

TEST(Template, Expansions) {
  Fixture f;
  const struct {
    const char* text;
    const char* want;
  } cases[] = {
      {"NULL", "NULL"},
      {"plain;text", "plain;text"},
      {"abc`User", "abc"},
      {"/gallery/%s/set/%s/?p=%d`User`Album`Page", "/gallery/anna/set/sea/?p=3"},
      {"%d-%s`Page`Host", "3-photos.example.test"},
      {"/x/%s/`User`Album", "/x/anna/"},  // more names than placeholders
      {"a%s", "a%s"},                     // nothing after the placeholder
      {"/x/%s/;note`User", "/x/anna/"},   // a remark after ";"
      {"/x/%s;note`User", "/x/%s;note"},  // placeholder right before ";"
      {"/x/%s/%s;note`User`Album", "/x/anna/%s"},
      {"/%s/%s/`User", "/anna/NULL/"},  // fewer names than placeholders
      {"/%s/`match[1]", "/NULL/"},
      {"/%s/`Match[13]", "/NULL/"},
      {"/%s/%s/`Match[0]`Match[12]", "/m0/m12/"},
      {"%s|`Cookie1", "42|"},  // the whole name "id", not the tail of "sid"
      {"[%s][%s][%s]`Cookie2`Cookie3`Cookie4", "[second][third][]"},
      {"%s.%s`Nobody`User", "NULL.anna"},
      {"``", "``"},
      {"`a`b", "a"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandTemplate(c.text, f.vars).str(), c.want) << c.text;
  }
}

TEST(Template, PercentSignsThatBeginNoPlaceholderAreKept) {
  Fixture f;
  f.slots[1] = "IMG_1.jpg";
  const struct {
    const char* text;
    const char* want;
  } cases[] = {
      // Percent-encoded addresses keep every escape, before and after a placeholder.
      {"/Mountains%20%26%20Lakes/%s`Match[1]", "/Mountains%20%26%20Lakes/IMG_1.jpg"},
      {"/%D0%93%D0%BE/%s/%E2%84%96`Match[1]", "/%D0%93%D0%BE/IMG_1.jpg/%E2%84%96"},
      // "%d" is a placeholder wherever it stands: a lower-case escape that begins with "d"
      // or "s" is written with "%%".
      {"/%%d0%93/%s`Match[1]", "/%d0%93/IMG_1.jpg"},
      {"50%/%s/`User", "50%/anna/"},
      {"%/%s`User", "%/anna"},
      {"a%`User", "a%"},  // the last byte of the format part
      {"%x%s%y`User", "%xanna%y"},
      // "%%" is one "%": also how a literal "%s" is written.
      {"100%%`User", "100%"},
      {"%%s/%s`User", "%s/anna"},
      {"%%%s`User", "%anna"},
      {"%%%%", "%%"},
      {"%", "%"},
      // A remark still ends a template after its first filled placeholder, a "%" in it too.
      {"/%s/;50%`User", "/anna/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandTemplate(c.text, f.vars).str(), c.want) << c.text;
  }
}

TEST(Template, ValuesFromPagesAreNeverExpanded) {
  Fixture f;
  const struct {
    const char* value;  // Match[1], as a page gave it
    const char* text;
    const char* want;
  } cases[] = {
      {"<%s>", "/%s/%s`Match[1]`Host", "/<%s>/photos.example.test"},
      {"%d0%93", "/%s/%s`Match[1]`User", "/%d0%93/anna"},
      {"`Album", "%s|%s`Match[1]`User", "`Album|anna"},
      {"a;b", "/%s/%s/`Match[1]`User", "/a;b/anna/"},
      {"%%", "%s`Match[1]", "%%"},
      {"%s!`Match[1]", "%s!`Match[1]", "%s!`Match[1]!"},
  };
  for (const auto& c : cases) {
    f.slots[1] = c.value;
    std::vector<TemplateIssue> issues;
    EXPECT_EQ(ExpandTemplate(c.text, f.vars, &issues).str(), c.want) << c.text;
    EXPECT_TRUE(issues.empty()) << c.text;
  }
}

TEST(Template, PlaceholderWithoutAnyNameIsReportedWithTheTextOfItsLevel) {
  Fixture f;
  std::vector<TemplateIssue> issues;
  EXPECT_EQ(ExpandTemplate("/a/%s/", f.vars, &issues).str(), "/a/NULL/");
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(issues[0].problem, TemplateProblem::kMissingName);
  EXPECT_EQ(issues[0].text.str(), "/a/%s/");
}

TEST(Template, GrowthPastTheSizeBoundStops) {
  Fixture f;
  f.slots[2] = std::string(extract::kMaxExpandedSize / 3 + 1, 'x');
  std::vector<TemplateIssue> issues;
  const ByteString out = ExpandTemplate("%s.%s.%s`Match[2]`Match[2]`Match[2]", f.vars, &issues);
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(issues[0].problem, TemplateProblem::kRunaway);
  EXPECT_LE(out.size(), extract::kMaxExpandedSize);
  // Exactly at the bound is still whole.
  f.slots[2] = std::string(extract::kMaxExpandedSize - 2, 'x');
  issues.clear();
  EXPECT_EQ(ExpandTemplate("<%s>`Match[2]", f.vars, &issues).size(), extract::kMaxExpandedSize);
  EXPECT_TRUE(issues.empty());
}

TEST(Template, TextEndsAtItsFirstNul) {
  Fixture f;
  // The names after the NUL are not seen: the placeholder has none.
  EXPECT_EQ(ExpandTemplate(ByteString(std::string("%s/\0%s", 6) + "`User"), f.vars).str(), "NULL/");
}

TEST(Template, AgreesWithTheSearchDrivenExpansionOnEveryShortTemplate) {
  Fixture f;
  f.slots[0] = "%s`Host;";  // a value that would bring in a placeholder, a name and a remark
  f.slots[1] = "";
  const std::vector<std::string> tokens = {"%s", "%d",    "%",         ";",        "`",
                                           "a",  "`User", "`Match[0]", "`Match[1]"};
  reference::TemplateReference ref;
  std::vector<std::size_t> pick;
  int checked = 0;
  // Every sequence of up to five tokens.
  for (std::size_t length = 0; length <= 5; ++length) {
    pick.assign(length, 0);
    for (;;) {
      std::string text;
      for (std::size_t i : pick)
        text += tokens[i];
      int refMissing = 0;
      const std::string want = ref.Expand(text, f.vars, &refMissing);
      std::vector<TemplateIssue> issues;
      const std::string got = ExpandTemplate(text, f.vars, &issues).str();
      ASSERT_EQ(got, want) << "template: " << text;
      int missing = 0;
      for (const TemplateIssue& issue : issues)
        missing += issue.problem == TemplateProblem::kMissingName;
      ASSERT_EQ(missing, refMissing) << "template: " << text;
      ++checked;
      std::size_t k = 0;
      while (k < length && ++pick[k] == tokens.size())
        pick[k++] = 0;
      if (k == length) break;
    }
  }
  EXPECT_GT(checked, 60000);
}

}  // namespace
