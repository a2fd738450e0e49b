// Template expansion: the worked cases of the template language, the bounds that keep a page
// from making expansion run away, and agreement with the defining searches on every short
// template built from the language's tokens.
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
      {"50%/%s/`User", "/anna/"},       // a stray "%" loses what stands before it
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

TEST(Template, ValuesFromPagesAreExpandedAtTheNextLevel) {
  Fixture f;
  f.slots[1] = "<%s>";
  // The value's placeholder is the next one filled, with the next name.
  EXPECT_EQ(ExpandTemplate("/%s/%s`Match[1]`Host", f.vars).str(), "/<photos.example.test>/NULL");
  // A value holding a backquoted name shifts the names later placeholders take: the second
  // level takes Match[1] again instead of User.
  f.slots[1] = "`Album";
  EXPECT_EQ(ExpandTemplate("%s|%s`Match[1]`User", f.vars).str(), "Album|");
}

TEST(Template, PlaceholderWithoutAnyNameIsReportedWithTheTextOfItsLevel) {
  Fixture f;
  std::vector<TemplateIssue> issues;
  EXPECT_EQ(ExpandTemplate("/a/%s/", f.vars, &issues).str(), "/a/NULL/");
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(issues[0].problem, TemplateProblem::kMissingName);
  EXPECT_EQ(issues[0].text.str(), "/a/%s/");
}

TEST(Template, SelfFeedingValueStopsAtTheDepthBound) {
  Fixture f;
  // Every level brings in another placeholder and another name.
  f.slots[0] = "%s!`Match[0]";
  std::vector<TemplateIssue> issues;
  const std::string out = ExpandTemplate("%s!`Match[0]", f.vars, &issues).str();
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(issues[0].problem, TemplateProblem::kRunaway);
  EXPECT_EQ(out.find("%s"), 0u);  // stopped with the placeholder still in it
  EXPECT_LT(out.size(), 1000u);
}

TEST(Template, GrowthPastTheSizeBoundStops) {
  Fixture f;
  std::string big(extract::kMaxExpandedSize / 3, 'x');
  f.slots[2] = big + "%s%s`Match[2]`Match[2]";
  std::vector<TemplateIssue> issues;
  const ByteString out = ExpandTemplate("%s.`Match[2]`Match[2]`Match[2]", f.vars, &issues);
  ASSERT_FALSE(issues.empty());
  EXPECT_EQ(issues.back().problem, TemplateProblem::kRunaway);
  EXPECT_LE(out.size(), extract::kMaxExpandedSize);
}

TEST(Template, TextEndsAtItsFirstNul) {
  Fixture f;
  // The names after the NUL are not seen: the placeholder has none.
  EXPECT_EQ(ExpandTemplate(ByteString(std::string("%s/\0%s", 6) + "`User"), f.vars).str(), "NULL/");
}

TEST(Template, AgreesWithTheDefiningSearchesOnEveryShortTemplate) {
  Fixture f;
  f.slots[0] = "%s`Host";  // a value that brings in a placeholder and a name
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
