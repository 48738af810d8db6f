// Query readers: the item rules of the bare lookup (empty items, items without "=", first
// duplicate, trimming, decoding, length limits), the URL readers and defaults, and the map.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "log_capture.h"
#include "pal_env.h"
#include "pal_url.h"

namespace {

TEST(QueryGet, ItemRules) {
  const struct {
    const char *query, *key, *value;  // value nullptr: absent
  } cases[] = {
      {"a=1&&b=2", "b", "2"},
      {"flag&b=2", "b", nullptr},
      {"b=2&flag&c=3", "b", "2"},
      {"b=2&flag&c=3", "c", nullptr},
      {"a=1&a=2", "a", "1"},
      {"ab=1&a=2", "a", "2"},
      {"&&a=1&", "a", "1"},
      {" a = x y \t&b=2", "a", "x y"},
      {"A=1", "a", nullptr},
      {"a=", "a", ""},
      {"a=1=2", "a", "1=2"},
      {"a=v%20w%2b+%2F", "a", "v w++/"},
      {"a=%4z%", "a", "%4z%"},
      {"a=%", "a", "%"},
      {"", "a", nullptr},
  };
  for (const auto &c : cases) {
    char out[64] = "untouched";
    const int rc = query_get(c.query, c.key, out, sizeof out);
    if (c.value) {
      EXPECT_EQ(0, rc) << c.query << " / " << c.key;
      EXPECT_STREQ(c.value, out) << c.query << " / " << c.key;
    } else {
      EXPECT_EQ(-1, rc) << c.query << " / " << c.key;
    }
  }
}

TEST(QueryGet, LongValuesAreCutWithoutOverrun) {
  const std::string query = "k=" + std::string(9000, 'x') + "&z=1";
  char big[URL_TEXT_SIZE + 8];
  ASSERT_EQ(0, query_get(query.c_str(), "k", big, sizeof big));
  EXPECT_EQ(static_cast<size_t>(URL_TEXT_SIZE - 1), strlen(big));

  struct {
    char out[16];
    char canary[16];
  } g;
  memset(g.canary, 0x5a, sizeof g.canary);
  ASSERT_EQ(0, query_get(query.c_str(), "k", g.out, sizeof g.out));
  EXPECT_EQ(std::string(15, 'x'), g.out);
  for (char c : g.canary) ASSERT_EQ(0x5a, c);
}

TEST(UrlGetQuery, ReadsDecodedValueOrDefault) {
  char out[URL_PART_SIZE];
  EXPECT_EQ(0, url_get_query("zmps://u@h:1/p?rcache_size=4m&x=a%26b#top", "rcache_size", "2m",
                             out, sizeof out));
  EXPECT_STREQ("4m", out);
  EXPECT_EQ(0, url_get_query("zmp://h/p?x=a%26b#top", "x", "", out, sizeof out));
  EXPECT_STREQ("a&b", out);
  EXPECT_EQ(0, url_get_query("zmp://h/p", "rcache_size", "2m", out, sizeof out));
  EXPECT_STREQ("2m", out);
  EXPECT_EQ(0, url_get_query("zmp://h/p?a=1", "b", nullptr, out, sizeof out));
  EXPECT_STREQ("", out);
  EXPECT_EQ(-1, url_get_query("zmp://h/p?a=1", "a", "", out, 0));
  // A local path has no hash: "#" belongs to the value.
  EXPECT_EQ(0, url_get_query("/mnt/a?offset=1#2", "offset", "", out, sizeof out));
  EXPECT_STREQ("1#2", out);
  // Without "?" the whole text is the query.
  EXPECT_EQ(0, url_get_query("a=1&b=2", "b", "", out, sizeof out));
  EXPECT_STREQ("2", out);
  // An "@" in an earlier value does not hide later keys.
  EXPECT_EQ(0, url_get_query("zmp://h/s?proxy=http://u:p@px:1&pack=1", "pack", "", out,
                             sizeof out));
  EXPECT_STREQ("1", out);
}

TEST(UrlGetQuery, DupReturnsOwnedCopy) {
  char *v = url_get_query_dup("zmp://h?k=v%20w", "k", "d");
  ASSERT_NE(nullptr, v);
  EXPECT_STREQ("v w", v);
  os_free(v);
  v = url_get_query_dup("zmp://h", "k", "d");
  ASSERT_NE(nullptr, v);
  EXPECT_STREQ("d", v);
  os_free(v);
  EXPECT_EQ(nullptr, url_get_query_dup("zmp://h", "k", nullptr));
  const std::string url = "zmp://h?k=" + std::string(6000, 'v');
  v = url_get_query_dup(url.c_str(), "k", nullptr);
  ASSERT_NE(nullptr, v);
  EXPECT_EQ(static_cast<size_t>(URL_PART_SIZE - 1), strlen(v));
  os_free(v);
}

TEST(UrlGetQuery, Numbers) {
  const char *url = "zmp://h?n=42&neg=-7&empty=&big=99999999999&huge=9000000000&word=abc";
  EXPECT_EQ(42, url_get_query_int(url, "n", 5));
  EXPECT_EQ(-7, url_get_query_int(url, "neg", 5));
  EXPECT_EQ(5, url_get_query_int(url, "empty", 5));
  EXPECT_EQ(5, url_get_query_int(url, "absent", 5));
  EXPECT_EQ(0, url_get_query_int(url, "word", 5));
  EXPECT_EQ(INT_MAX, url_get_query_int(url, "big", 5));
  EXPECT_EQ(9000000000LL, url_get_query_int64(url, "huge", 1));
  EXPECT_EQ(1, url_get_query_int64(url, "empty", 1));
}

TEST(UrlHasQuery, PresenceFollowsLookupRules) {
  EXPECT_EQ(1, url_has_query("zmp://h?flag=&x=1", "flag"));
  EXPECT_EQ(0, url_has_query("zmp://h?flag&x=1", "x"));
  EXPECT_EQ(0, url_has_query("zmp://h?x=1", "X"));
  EXPECT_EQ(0, url_has_query(nullptr, "x"));
}

TEST(UrlGetQueryMap, DecodesEveryKeyFirstWins) {
  auto map = url_get_query_map("zmp://h/p?a=1&b=v%20w&a=9&& c = 3 #top");
  ASSERT_NE(nullptr, map);
  EXPECT_EQ((str_map{{"a", "1"}, {"b", "v w"}, {"c", "3"}}), *map);
}

TEST(UrlGetQueryMap, ItemWithoutEqualsEndsWalkAndIsLogged) {
  LogCapture log;
  auto map = url_get_query_map("zmp://h/p?a=1&bad&c=3");
  ASSERT_NE(nullptr, map);
  EXPECT_EQ((str_map{{"a", "1"}}), *map);
  ASSERT_EQ(1u, LogCapture::lines().size());
  EXPECT_EQ("3 str_get_key_and_val [bad] failed\n", LogCapture::lines()[0]);
  EXPECT_EQ("pal", LogCapture::tags()[0]);
}

TEST(UrlGetQueryMap, NoQueryGivesNull) {
  EXPECT_EQ(nullptr, url_get_query_map("zmp://h/p"));
  EXPECT_EQ(nullptr, url_get_query_map("zmp://h/p?"));
  EXPECT_EQ(nullptr, url_get_query_map(nullptr));
}

}  // namespace
