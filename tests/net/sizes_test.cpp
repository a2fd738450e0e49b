// The size step of a listing against the fixture web server: how each photo server is asked,
// and that the sizes and times are those of the entries, in entry order.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/sizes.h"
#include "server_log.h"

namespace {

using testing_support::Field;

engine::Entry Photo(const char* server, const char* address) {
  engine::Entry e;
  e.name = common::ByteString(address);
  e.server = common::ByteString(server);
  e.address = common::ByteString(address);
  return e;
}

TEST(QuerySizes, AServerThatRefusedHeadIsAskedWithGetForTheRestOfTheListingOnly) {
  if (!std::getenv("FL_HTTP_LOG")) GTEST_SKIP() << "no fixture server (FL_HTTP_LOG unset)";
  const std::size_t from = testing_support::LoggedRequests().size();
  std::vector<engine::Entry> entries = {
      Photo("refuses.example.test", "/_/nohead/11?status=405"),
      Photo("other.example.test", "/_/bytes/12"),
      Photo("refuses.example.test", "/_/bytes/13"),
      Photo("refuses.example.test", "NULL"),  // not asked
      Photo("other.example.test", "/_/modified/1700000000"),
      Photo("other.example.test", "/_/bytes/14"),  // no time: the one before it
  };
  net::HttpSession http;
  engine::QuerySizes(http, &entries);
  const std::uint32_t sizes[] = {11, 12, 13, 0, 1, 14};
  for (std::size_t i = 0; i < entries.size(); ++i)
    EXPECT_EQ(entries[i].size, sizes[i]) << i;
  EXPECT_EQ(entries[5].time.high, entries[4].time.high);
  EXPECT_EQ(entries[5].time.low, entries[4].time.low);
  EXPECT_NE(entries[4].time.high, 0u);
  std::vector<std::string> seen;
  for (const std::string& line : testing_support::LoggedSince(from))
    seen.push_back(Field(line, "method") + " " + Field(line, "host"));
  const std::vector<std::string> want = {
      "HEAD refuses.example.test", "GET refuses.example.test", "HEAD other.example.test",
      "GET refuses.example.test",  "HEAD other.example.test",  "HEAD other.example.test",
  };
  EXPECT_EQ(seen, want);
  // A new listing asks with HEAD again.
  std::vector<engine::Entry> again = {Photo("refuses.example.test", "/_/bytes/15")};
  const std::size_t before = testing_support::LoggedRequests().size();
  engine::QuerySizes(http, &again);
  EXPECT_EQ(again[0].size, 15u);
  const std::vector<std::string> last = testing_support::LoggedSince(before);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(Field(last[0], "method"), "HEAD");
}

}  // namespace
