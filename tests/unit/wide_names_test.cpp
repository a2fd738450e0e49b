// Names on the wide side: UTF-8 and UTF-16 in both directions, the safe and unique names the
// wide calls show, and finding an entry by its wide name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/name_case.h"
#include "engine/listing.h"
#include "extract/names.h"
#include "extract/unique_names.h"
#include "platform/platform.h"
#include "platform/unicode_text.h"

namespace {

using common::ByteString;

TEST(Utf16, WellFormedTextRoundTripsAndMalformedBecomesReplacement) {
  const struct {
    std::string utf8;
    std::u16string utf16;
    bool roundTrip;
  } cases[] = {
      {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC", u"\u0395\u03BB\u03BB\u03AC", true},  // Greek
      {"\xE4\xB8\xAD\xE6\x96\x87", u"\u4E2D\u6587", true},                      // Chinese
      {"\xF0\x9F\x93\xB7", u"\xD83D\xDCF7", true},               // emoji: a surrogate pair
      {"Cafe\xCC\x81", u"Cafe\u0301", true},                     // combining accent kept as it is
      {"\xC0\xAF", u"\xFFFD\xFFFD", false},                      // overlong "/": never a separator
      {"\xE0\x80\x80", u"\xFFFD\xFFFD\xFFFD", false},            // overlong NUL
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD", false},            // an encoded surrogate
      {"a\xF0\x9F\x93", u"a\xFFFD", false},                      // cut short
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD", false},  // past U+10FFFF
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    if (c.roundTrip) {
      EXPECT_EQ(platform::Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    }
  }
  // An unpaired surrogate from the host becomes U+FFFD, not a byte sequence no decoder takes.
  EXPECT_EQ(platform::Utf16ToUtf8(u"x\xD800y"), "x\xEF\xBF\xBDy");
  EXPECT_EQ(platform::Utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}

TEST(Utf16, CopyCutsBetweenCharactersAndTerminates) {
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  platform::CopyUtf16(buffer, 3, u"a\xD83D\xDCF7");  // room for "a" and one half only
  EXPECT_EQ(std::u16string(buffer), u"a");
  platform::CopyUtf16(buffer, 4, u"a\xD83D\xDCF7");
  EXPECT_EQ(std::u16string(buffer), u"a\xD83D\xDCF7");
  EXPECT_EQ(platform::Utf16Length(u"abc", 2), 2u);
}

TEST(AnsiToUtf8, CodePageLettersComeBackAsTheyWent) {
  for (const char* utf8 : {"plain", "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
                           "\xD0\x81\xD1\x91 \xE2\x84\x96"}) {
    EXPECT_EQ(platform::AnsiToUtf8(platform::Utf8ToAnsi(utf8)), utf8) << utf8;
  }
}

TEST(SafeUtf8Name, WideNamesAreOneFileInsideTheTargetFolder) {
  const std::string chinese100 = [] {
    std::string s;
    for (int i = 0; i < 100; ++i)
      s += "\xE4\xB8\xAD";
    return s;
  }();
  const struct {
    std::string web;
    std::string shown;
  } cases[] = {
      {"\xCE\x91/\xCE\x92:\xCE\x93", "\xCE\x91_\xCE\x92_\xCE\x93"},
      {"con.\xE7\x8C\xAB", "_con.\xE7\x8C\xAB"},
      {"\xE7\x8C\xAB. . ", "\xE7\x8C\xAB"},
      {"..", "_"},
      {"a\xC0\xAF"
       "b",
       "a\xEF\xBF\xBD\xEF\xBF\xBD"
       "b"},                                    // overlong "/": no separator
      {chinese100, chinese100.substr(0, 258)},  // 86 whole characters
  };
  for (const auto& c : cases)
    EXPECT_EQ(extract::SafeUtf8Name(ByteString(c.web)).str(), c.shown) << c.web;
}

TEST(MakeUtf8NamesUnique, ComparesCharactersNotCodePageBytes) {
  const struct {
    std::vector<std::string> in;
    bool folders;
    std::vector<std::string> out;
  } cases[] = {
      // "Ш" and "и" differ only in a byte the code page's case folding pairs up.
      {{"\xD0\xA8", "\xD0\xB8"}, true, {"\xD0\xA8", "\xD0\xB8"}},
      // Greek, Cyrillic and Latin-1 capitals meet their small letters.
      {{"\xCE\xA9\xCE\xBC", "\xCF\x89\xCE\x9C"},
       true,
       {"\xCE\xA9\xCE\xBC", "\xCF\x89\xCE\x9C (2)"}},
      {{"\xD0\x81", "\xD1\x91"}, true, {"\xD0\x81", "\xD1\x91 (2)"}},
      {{"\xC3\x89.jpg", "\xC3\xA9.jpg"}, false, {"\xC3\x89.jpg", "\xC3\xA9 (2).jpg"}},
      // Every script's letters meet, as a case-insensitive disk sees them: Latin Extended
      // ("Čech" and "čech"), Armenian, Georgian Mtavruli, Cherokee, the capital sharp s,
      // the Kelvin sign and a letter outside the basic plane (Deseret).
      {{"\xC4\x8C"
        "ech.jpg",
        "\xC4\x8D"
        "ech.jpg"},
       false,
       {"\xC4\x8C"
        "ech.jpg",
        "\xC4\x8D"
        "ech (2).jpg"}},
      {{"\xD4\xB1", "\xD5\xA1"}, true, {"\xD4\xB1", "\xD5\xA1 (2)"}},
      {{"\xE1\xB2\x90", "\xE1\x83\x90"}, true, {"\xE1\xB2\x90", "\xE1\x83\x90 (2)"}},
      {{"\xE1\x8E\xA0", "\xEA\xAD\xB0"}, true, {"\xE1\x8E\xA0", "\xEA\xAD\xB0 (2)"}},
      {{"\xE1\xBA\x9E", "\xC3\x9F"}, true, {"\xE1\xBA\x9E", "\xC3\x9F (2)"}},
      {{"\xE2\x84\xAA", "k"}, true, {"\xE2\x84\xAA", "k (2)"}},
      {{"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},
       true,
       {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8 (2)"}},
      // The dotted capital I folds to no single letter: "İ" and "i" stay two names.
      {{"\xC4\xB0", "i"}, true, {"\xC4\xB0", "i"}},
      // Bytes that are no character are compared as they are: an overlong "A" is not "a".
      {{"\xC1\x81", "a", "\xC3"}, true, {"\xC1\x81", "a", "\xC3"}},
      // Composed and decomposed accents are different names.
      {{"\xC3\xA9", "e\xCC\x81"}, true, {"\xC3\xA9", "e\xCC\x81"}},
      {{"\xE7\x8C\xAB.jpg", "\xE7\x8C\xAB.jpg"},
       false,
       {"\xE7\x8C\xAB.jpg", "\xE7\x8C\xAB (2).jpg"}},
  };
  for (const auto& c : cases) {
    std::vector<ByteString> names(c.in.begin(), c.in.end());
    extract::MakeUtf8NamesUnique(&names, c.folders);
    ASSERT_EQ(names.size(), c.out.size());
    for (std::size_t i = 0; i < names.size(); ++i)
      EXPECT_EQ(names[i].str(), c.out[i]) << c.in[i];
  }
}

TEST(MakeUtf8NamesUnique, ACutForTheSuffixKeepsWholeCharacters) {
  std::string longName;
  for (int i = 0; i < 86; ++i)
    longName += "\xE4\xB8\xAD";  // 258 bytes
  std::vector<ByteString> names = {ByteString(longName), ByteString(longName)};
  extract::MakeUtf8NamesUnique(&names, true);
  const std::string second = names[1].str();
  ASSERT_LE(second.size(), extract::kMaxNameLength);
  EXPECT_EQ(second.substr(second.size() - 4), " (2)");
  EXPECT_EQ(platform::Utf16ToUtf8(platform::Utf8ToUtf16(second)), second);  // well formed
}

TEST(Listing, AWideNameFindsItsOwnEntry) {
  engine::Listing listing;
  for (const char* wide : {"\xD0\xA8.jpg", "\xD0\xB8.jpg", "\xE7\x8C\xAB.jpg"}) {
    engine::Entry e;
    e.name = "?.jpg";
    e.wideName = wide;
    e.address = wide;
    listing.entries.push_back(e);
  }
  for (const char* wide : {"\xD0\xA8.jpg", "\xD0\xB8.jpg", "\xE7\x8C\xAB.jpg"}) {
    const engine::Entry* e = listing.Find(wide, engine::NameSide::kWide);
    ASSERT_NE(e, nullptr) << wide;
    EXPECT_EQ(e->address.str(), wide);
  }
  EXPECT_EQ(listing.Find("\xD1\x88.JPG", engine::NameSide::kWide), &listing.entries[0]);
  EXPECT_EQ(listing.Find("\xE7\x8C\xAC.jpg", engine::NameSide::kWide), nullptr);
}

}  // namespace
