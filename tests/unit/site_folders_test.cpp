// What the drive keeps between calls: the folders of typed addresses, the kept listings and
// the remembered addresses, and how edits and bounds drop them.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "plugin/listing_cache.h"
#include "plugin/typed_addresses.h"

namespace {

TEST(TypedFolderName, IsTheAddressMadeIntoOneSafeName) {
  const struct {
    const char* address;
    const char* name;
  } rows[] = {
      {"http://www.typed.test/u/u1/", "www.typed.test_u_u1"},
      {"HTTPS://Photos.Test///", "Photos.Test"},
      {"http://a.test/x?y=1&z=2:3*4|5", "a.test_x_y=1&z=2_3_4_5"},
      {"http://a.test/a\\b\"c<d>e", "a.test_a_b_c_d_e"},
      {"http://con", "_con"},  // a device name
      {"http://aux.photos/", "_aux.photos"},
      {"http://a.test/...", "a.test_"},
      {"http://a.test/x. . ", "a.test_x"},  // a name cannot end in dots or blanks
      {"http://", "_"},
      {"http:///", "_"},
      {"ftp://a/b", "ftp___a_b"},  // any other text is named as it is
      {"http://a.test/\x01\x1f", "a.test___"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(plugin::TypedFolderName(r.address), r.name) << r.address;
  // A long address is cut: the folder's photos must still fit a path below a target folder.
  const std::string name = plugin::TypedFolderName("http://a.test/" + std::string(500, 'p'));
  EXPECT_EQ(name.size(), limits::kMaxTypedNameLength);
}

TEST(TypedFolderName, HoldsNoCharacterAFileNameCannot) {
  for (int c = 1; c < 256; ++c) {
    const std::string name = plugin::TypedFolderName("http://a/" + std::string(1, char(c)));
    EXPECT_EQ(name.find_first_of("\\/:*?\"<>|"), std::string::npos) << c;
  }
}

TEST(TypedAddresses, OneFolderPerAddressUniqueInAnyLetterCase) {
  plugin::TypedAddresses typed;
  std::string forgotten;
  EXPECT_EQ(typed.Add("http://www.t.test/u/a/", &forgotten).name, "www.t.test_u_a");
  EXPECT_EQ(typed.Add("http://www.t.test/u/b/", &forgotten).name, "www.t.test_u_b");
  // The same address keeps its folder; another with the same name, or one the host would
  // take for it (letter case aside), gets the next free one.
  EXPECT_EQ(typed.Add("http://www.t.test/u/a/", &forgotten).name, "www.t.test_u_a");
  EXPECT_EQ(typed.Add("https://www.t.test/u/a", &forgotten).name, "www.t.test_u_a (2)");
  EXPECT_EQ(typed.Add("http://WWW.T.TEST/U/A/", &forgotten).name, "WWW.T.TEST_U_A (3)");
  EXPECT_EQ(typed.all().size(), 4u);
  ASSERT_NE(typed.AddressOf("www.t.test_u_a (2)"), nullptr);
  EXPECT_EQ(*typed.AddressOf("WWW.t.test_U_A (2)"), "https://www.t.test/u/a");
  EXPECT_EQ(typed.AddressOf("www.t.test_u_c"), nullptr);
  EXPECT_TRUE(forgotten.empty());
}

TEST(TypedAddresses, TheOldestFolderGoesToMakeRoom) {
  plugin::TypedAddresses typed;
  std::string forgotten;
  for (std::size_t i = 0; i < limits::kMaxTypedAddresses; ++i) {
    typed.Add("http://a.test/" + std::to_string(i), &forgotten);
    EXPECT_TRUE(forgotten.empty());
  }
  typed.Add("http://a.test/new", &forgotten);
  EXPECT_EQ(forgotten, "a.test_0");
  EXPECT_EQ(typed.all().size(), limits::kMaxTypedAddresses);
  EXPECT_EQ(typed.AddressOf("a.test_0"), nullptr);
  ASSERT_NE(typed.AddressOf("a.test_new"), nullptr);
}

engine::ListingPtr ListingOf(const std::string& url) {
  auto listing = std::make_shared<engine::Listing>();
  listing->url = common::ByteString(url);
  return listing;
}

TEST(ListingCache, AnEditDropsTheFolderAndWhatIsBelowItOnly) {
  plugin::ListingCache cache;
  for (const char* folder :
       {"\\B", "\\B\\Album", "\\B\\Album\\Deeper", "\\Bx", "\\Bx\\Album", "\\[connection]\\b"})
    cache.Keep(folder, ListingOf(std::string("http://a.test/") + folder));
  cache.DropUnder("\\b");  // letter case aside, as the host compares paths
  for (const char* gone : {"\\B", "\\B\\Album", "\\B\\Album\\Deeper"}) {
    EXPECT_EQ(cache.Find(gone), nullptr) << gone;
    EXPECT_TRUE(cache.AddressOf(gone).empty()) << gone;
  }
  for (const char* kept : {"\\Bx", "\\Bx\\Album", "\\[connection]\\b"}) {
    EXPECT_NE(cache.Find(kept), nullptr) << kept;
    EXPECT_FALSE(cache.AddressOf(kept).empty()) << kept;
  }
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_EQ(cache.addressCount(), 3u);
}

TEST(ListingCache, RememberedAddressesAreBoundedByBytes) {
  plugin::ListingCache cache;
  const std::string longPath(limits::kMaxKeptAddressBytes / 4, 'p');
  for (int i = 0; i < 8; ++i)
    cache.Keep(("\\F" + std::to_string(i)).c_str(), ListingOf("http://a.test/" + longPath));
  EXPECT_LE(cache.addressBytes(), limits::kMaxKeptAddressBytes);
  EXPECT_LT(cache.addressCount(), 8u);
  EXPECT_FALSE(cache.AddressOf("\\F7").empty());  // the newest is kept
  EXPECT_TRUE(cache.AddressOf("\\F0").empty());   // the oldest went first
  // One address over the whole bound is still kept: the folder just listed must be found.
  cache.Keep("\\Huge",
             ListingOf("http://a.test/" + std::string(limits::kMaxKeptAddressBytes, 'h')));
  EXPECT_FALSE(cache.AddressOf("\\Huge").empty());
  EXPECT_EQ(cache.addressCount(), 1u);
  // Listing a folder again makes its address the newest.
  cache.Keep("\\Small", ListingOf("http://a.test/s"));
  EXPECT_FALSE(cache.AddressOf("\\Small").empty());
}

}  // namespace
