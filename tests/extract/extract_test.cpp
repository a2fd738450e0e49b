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
