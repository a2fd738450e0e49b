// Cookie values, entry names and the password form's encoding.
#include <string>

#include <gtest/gtest.h>

#include "extract/cookies.h"
#include "extract/form.h"
#include "extract/names.h"

namespace {

using common::ByteString;

TEST(CookieValue, FindsTheCookieByItsWholeName) {
  const struct {
    const char* text;
    const char* name;
    const char* want;
  } cases[] = {
      {"sid=abc; id=42", "id", "42"},  // "id=" inside "sid=abc" is not the cookie id
      {"id=42", "id", "42"},
      {"id=42; x=1", "id", "42"},
      {"x=1; id=", "id", ""},
      {"idx=1; id=7", "id", "7"},
      {"a=1;id=2", "id", ""},  // pairs are separated by "; "
      {"", "id", ""},
      {"id=42", "", ""},
      {"(.*)=1; a.b=2", "a.b", "2"},  // names are text, not expressions
      {"a.b=2", "a*b", ""},
      {"id=a=b; c=d", "id", "a=b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(extract::CookieValue(c.text, c.name).str(), c.want) << c.text << " / " << c.name;
}

TEST(Names, TrimAndExtension) {
  EXPECT_EQ(extract::TrimNameEnd("Summer. . .").str(), "Summer");
  EXPECT_EQ(extract::TrimNameEnd(" . .").str(), "");
  EXPECT_EQ(extract::TrimNameEnd("").str(), "");
  EXPECT_EQ(extract::TrimNameEnd("a.b").str(), "a.b");
  EXPECT_EQ(extract::TrimNameEnd("mid. dle").str(), "mid. dle");

  const struct {
    const char* name;
    const char* want;
  } photos[] = {{"IMG.JPG", "IMG.JPG"}, {"pic.png", "pic.png.jpg"}, {"jpgnotes", "jpgnotes"},
                {"NULL", "NULL.jpg"},   {"a.Jpg", "a.Jpg.jpg"},     {"", ".jpg"}};
  for (const auto& p : photos)
    EXPECT_EQ(extract::WithJpgExtension(p.name).str(), p.want) << p.name;
}

TEST(Names, CutToWhatTheHostCanShow) {
  const std::string longName(300, 'n');
  EXPECT_EQ(extract::CutName(longName).size(), extract::kMaxNameLength);
  EXPECT_EQ(extract::CutName(std::string(259, 'n')).size(), 259u);
  EXPECT_EQ(extract::CutName("short").str(), "short");
}

TEST(Names, Utf8ToTheSystemCodePage) {
  // Cyrillic "Море" in UTF-8 becomes Windows-1251 bytes.
  EXPECT_EQ(extract::Utf8ToAnsi("\xD0\x9C\xD0\xBE\xD1\x80\xD0\xB5").str(), "\xCC\xEE\xF0\xE5");
  EXPECT_EQ(extract::Utf8ToAnsi("plain/ascii").str(), "plain/ascii");
  EXPECT_EQ(extract::Utf8ToAnsi("").str(), "");
}

TEST(FormEncoding, PasswordsReachTheSiteIntact) {
  const struct {
    const char* password;
    const char* want;
  } cases[] = {
      {"abcXYZ019-._*", "abcXYZ019-._*"},
      {"a b", "a+b"},
      {"p&q=r%s", "p%26q%3Dr%25s"},
      {"+/?", "%2B%2F%3F"},
      {"\xEF\xE0\xF0\xEE\xEB\xFC", "%EF%E0%F0%EE%EB%FC"},  // Cyrillic in Windows-1251
      {"\xA8\x80", "%A8%80"},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(extract::FormEncodeValue(c.password).str(), c.want) << c.password;
}

TEST(FormEncoding, BodyKeepsItsSeparatorsAndRefusesTooLongABody) {
  ByteString out = "untouched";
  ASSERT_TRUE(extract::EncodeFormBody("pass=a%26b&x=/y z\r\n\xC0\xA8", &out));
  EXPECT_EQ(out.str(), "pass=a%26b&x=%2Fy+z%0D%0A%C0\xA8");

  const std::string limit(extract::kMaxFormBodyInput, 'a');
  ASSERT_TRUE(extract::EncodeFormBody(limit, &out));
  EXPECT_EQ(out.str(), limit);
  out = "untouched";
  EXPECT_FALSE(extract::EncodeFormBody(limit + "a", &out));
  EXPECT_EQ(out.str(), "untouched");
}

}  // namespace

namespace {

TEST(DecodeCharacterReferences, ReferencesBecomeTheirLettersInTheNamesEncoding) {
  const struct {
    const char* text;
    const char* utf8;  // with Utf=1
    const char* ansi;  // in the code page (the tests' Windows-1251)
  } rows[] = {
      {"Mountains &amp; Lakes", "Mountains & Lakes", "Mountains & Lakes"},
      {"&#39;n&#39; &apos;", "'n' '", "'n' '"},
      {"&#x41;&#X42;&#x00043;", "ABC", "ABC"},
      {"&quot;&lt;&gt;&nbsp;", "\"<>\xC2\xA0", "\"<>\xA0"},
      {"&#1043;&#x43E;", "\xD0\x93\xD0\xBE", "\xC3\xEE"},  // Cyrillic: in Windows-1251
      {"&copy;&euro;", "\xC2\xA9\xE2\x82\xAC", "\xA9\x88"},
      // A letter Windows-1251 lacks stays a reference there.
      {"Caf&eacute;", "Caf\xC3\xA9", "Caf&eacute;"},
      {"&#x1F600;", "\xF0\x9F\x98\x80", "&#x1F600;"},
      // What is no reference stays as written.
      {"&amp", "&amp", "&amp"},
      {"&bogus;", "&bogus;", "&bogus;"},
      {"&AMP;", "&AMP;", "&AMP;"},  // names are case-sensitive
      {"&#0;&#xD800;&#x110000;&#;&#x;&#12a;", "&#0;&#xD800;&#x110000;&#;&#x;&#12a;",
       "&#0;&#xD800;&#x110000;&#;&#x;&#12a;"},
      {"&;&&amp;;", "&;&&;", "&;&&;"},
      {"&amp;amp;", "&amp;", "&amp;"},  // decoded once
      {"a & b; c", "a & b; c", "a & b; c"},
      {"", "", ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(extract::DecodeCharacterReferences(r.text, true).str(), r.utf8) << r.text;
    EXPECT_EQ(extract::DecodeCharacterReferences(r.text, false).str(), r.ansi) << r.text;
  }
}

TEST(PercentDecode, EscapesBecomeTheirBytes) {
  const struct {
    const char* text;
    const char* want;
  } rows[] = {
      {"Mountains%20%26%20Lakes", "Mountains & Lakes"},
      {"%D0%93%d0%be", "\xD0\x93\xD0\xBE"},
      {"100%", "100%"},
      {"%4", "%4"},
      {"%zz%4g", "%zz%4g"},
      {"%00a", "%00a"},  // a NUL would end the name
      {"%2541", "%41"},  // decoded once
      {"a+b", "a+b"},    // "+" is a path's plus, not a blank
      {"", ""},
  };
  for (const auto& r : rows)
    EXPECT_EQ(extract::PercentDecode(r.text).str(), r.want) << r.text;
}

}  // namespace
