// Query writers: the four modes of url_set_query, every refusal with its log line and the URL
// left as it was, the typed shorthands, raw items and path insertion, and the 8 KiB limit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "log_capture.h"
#include "pal_url.h"

namespace {

class UrlBuffer {
 public:
  explicit UrlBuffer(const std::string &text) {
    memset(buf_, 0, sizeof buf_);
    strcpy(buf_, text.c_str());
  }
  char *get() { return buf_; }
  std::string str() const { return buf_; }

 private:
  char buf_[URL_TEXT_SIZE];
};

struct SetCase {
  const char *url, *key, *value;
  int escape, mode;
  const char *expected;
};

void PrintTo(const SetCase &c, std::ostream *os) {
  *os << c.url << " key=" << c.key << " val=" << c.value << " mode=" << c.mode;
}

class UrlSetQueryModes : public ::testing::TestWithParam<SetCase> {};

TEST_P(UrlSetQueryModes, RewritesInPlace) {
  const SetCase &c = GetParam();
  UrlBuffer url(c.url);
  ASSERT_EQ(0, url_set_query(url.get(), c.key, c.value, c.escape, c.mode));
  EXPECT_EQ(c.expected, url.str());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, UrlSetQueryModes,
    ::testing::Values(
        SetCase{"zmp://h/p", "k", "v w", 1, URL_SET_ALWAYS, "zmp://h/p?k=v%20w"},
        SetCase{"zmp://h/p", "k", "v", 1, URL_SET_EXIST, "zmp://h/p"},
        SetCase{"zmp://h/p", "k", "", 1, URL_DEL_EXIST, "zmp://h/p"},
        SetCase{"zmp://h/p?a=1&k=2&b=3", "k", "", 1, URL_DEL_EXIST, "zmp://h/p?a=1&b=3"},
        SetCase{"zmp://h/p?k=2&b=3", "k", "", 1, URL_DEL_EXIST, "zmp://h/p?b=3"},
        SetCase{"zmp://h/p?k=2", "k", "", 1, URL_DEL_EXIST, "zmp://h/p"},
        SetCase{"zmp://h/p?kk=2&k=", "k", "", 1, URL_DEL_EXIST, "zmp://h/p?kk=2"},
        SetCase{"zmp://h/p?k=1&a=1&k=2", "k", "9", 1, URL_SET_ALWAYS, "zmp://h/p?k=9&a=1&k=9"},
        SetCase{"zmp://h/p?a=1", "k", "9", 1, URL_SET_ALWAYS, "zmp://h/p?a=1&k=9"},
        SetCase{"zmp://h/p?a=1&k=2", "k", "9", 1, URL_SET_NOT_EXIST, "zmp://h/p?a=1&k=2"},
        SetCase{"zmp://h/p?a=1", "k", "9", 1, URL_SET_NOT_EXIST, "zmp://h/p?a=1&k=9"},
        SetCase{"zmp://h/p", "k", "9", 1, URL_SET_NOT_EXIST, "zmp://h/p?k=9"},
        SetCase{"zmp://h/p?a=1", "k", "9", 1, URL_SET_EXIST, "zmp://h/p?a=1"},
        SetCase{"zmp://h/p?a=1&k=2", "k", "9", 1, URL_SET_EXIST, "zmp://h/p?a=1&k=9"},
        SetCase{"zmp://h/p?a=1&&b=2", "b", "3", 1, URL_SET_ALWAYS, "zmp://h/p?a=1&&b=3"},
        SetCase{"zmp://h/p?", "k", "v", 1, URL_SET_ALWAYS, "zmp://h/p?k=v"},
        SetCase{"zmp://h/p?", "k", "", 1, URL_DEL_EXIST, "zmp://h/p?"},
        SetCase{"zmp://h/p?a=1#top", "b", "2", 1, URL_SET_ALWAYS, "zmp://h/p?a=1&b=2#top"},
        SetCase{"/mnt/x#1", "k", "v", 1, URL_SET_ALWAYS, "/mnt/x#1?k=v"},
        SetCase{"zmp://h", "k", "a&b=c#d?e+f;g%", 1, URL_SET_ALWAYS,
                "zmp://h?k=a%26b%3Dc%23d%3Fe%2Bf%3Bg%25"},
        SetCase{"zmp://h", "k", "a/b:c%20", 0, URL_SET_ALWAYS, "zmp://h?k=a/b:c%20"}));

struct RefusalCase {
  const char *key, *value;
  int escape, mode;
  const char *logged;  // the line after the level
};

class UrlSetQueryRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(UrlSetQueryRefusals, LogsReasonAndKeepsUrl) {
  const RefusalCase &c = GetParam();
  LogCapture log;
  UrlBuffer url("zmp://h/p?a=1");
  EXPECT_EQ(-1, url_set_query(url.get(), c.key, c.value, c.escape, c.mode));
  EXPECT_EQ("zmp://h/p?a=1", url.str());
  ASSERT_FALSE(LogCapture::lines().empty());
  EXPECT_EQ(std::string("3 ") + c.logged, LogCapture::lines().back());
  EXPECT_EQ("pal", LogCapture::tags().back());
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, UrlSetQueryRefusals,
    ::testing::Values(
        RefusalCase{nullptr, "v", 1, URL_SET_ALWAYS,
                    "url=[zmp://h/p?a=1] key=[(null)] val=[v] escape=[1] mode=[set_always] "
                    "error: key or val cannot be null\n"},
        RefusalCase{"k", nullptr, 1, URL_SET_EXIST,
                    "url=[zmp://h/p?a=1] key=[k] val=[(null)] escape=[1] mode=[set_exist] "
                    "error: key or val cannot be null\n"},
        RefusalCase{"", "v", 1, URL_SET_NOT_EXIST,
                    "url=[zmp://h/p?a=1] key=[] val=[v] escape=[1] mode=[set_not_exist] "
                    "error: key cannot be empty\n"},
        RefusalCase{"a=b", "v", 1, URL_SET_ALWAYS,
                    "url=[zmp://h/p?a=1] key=[a=b] val=[v] escape=[1] mode=[set_always] "
                    "error: key cannot contain [;/\\\"'?:@# &=]\n"},
        RefusalCase{"k", "a&b", 0, URL_SET_ALWAYS,
                    "url=[zmp://h/p?a=1] key=[k] val=[a&b] escape=[0] mode=[set_always] "
                    "error: escape_val cannot contain [&]\n"},
        RefusalCase{"k", "", 1, URL_SET_ALWAYS,
                    "url=[zmp://h/p?a=1] key=[k] val=[] escape=[1] mode=[set_always] "
                    "error: val cannot be empty\n"},
        RefusalCase{"k", "", 0, URL_SET_EXIST,
                    "url=[zmp://h/p?a=1] key=[k] val=[] escape=[0] mode=[set_exist] "
                    "error: val cannot be empty\n"},
        RefusalCase{"k", "v", 1, 9,
                    "url=[zmp://h/p?a=1] key=[k] val=[v] escape=[1] mode=[unknown] "
                    "error: mode is not valid\n"}));

TEST(UrlSetQuery, EveryForbiddenKeyCharacterIsRefused) {
  LogCapture log;
  for (const char c : std::string(";/\\\"'?:@# &=")) {
    UrlBuffer url("zmp://h/p");
    const std::string key = std::string("k") + c + "x";
    EXPECT_EQ(-1, url_set_query(url.get(), key.c_str(), "v", 1, URL_SET_ALWAYS)) << key;
    EXPECT_EQ("zmp://h/p", url.str());
  }
}

TEST(UrlSetQuery, ResultOverLimitIsRefusedWhole) {
  LogCapture log;
  const std::string base = "zmp://h/" + std::string(8000, 'p');
  UrlBuffer url(base);
  EXPECT_EQ(-1, url_set_query(url.get(), "k", std::string(300, 'v').c_str(), 1,
                              URL_SET_ALWAYS));
  EXPECT_EQ(base, url.str());
  EXPECT_NE(std::string::npos, LogCapture::lines().back().find("error: url too long\n"));
  // 3000 blanks escape to 9000 characters: more than the value buffer holds.
  EXPECT_EQ(-1, url_set_query(url.get(), "k", std::string(3000, ' ').c_str(), 1,
                              URL_SET_ALWAYS));
  EXPECT_EQ(base, url.str());
  EXPECT_NE(std::string::npos, LogCapture::lines().back().find("error: val too long\n"));
}

TEST(UrlSetQueryShorthands, TypedAndRawForms) {
  UrlBuffer url("zmp://h");
  ASSERT_EQ(0, url_set_query_str(url.get(), "s", "a b"));
  ASSERT_EQ(0, url_set_query_raw(url.get(), "r", "a%20b"));
  ASSERT_EQ(0, url_set_query_int(url.get(), "i", -5));
  ASSERT_EQ(0, url_set_query_int64(url.get(), "l", 9000000000LL));
  ASSERT_EQ(0, url_set_query_kv(url.get(), "kv=v=w", 1));
  ASSERT_EQ(0, url_set_query_kv(url.get(), "raw=a b", 0));
  ASSERT_EQ(0, url_set_query_hex(url.get(), "h", "\x01\xab", 2));
  EXPECT_EQ("zmp://h?s=a%20b&r=a%20b&i=-5&l=9000000000&kv=v%3Dw&raw=a b&h=01ab", url.str());
  ASSERT_EQ(0, url_del_query(url.get(), "r"));
  ASSERT_EQ(0, url_set_query_int(url.get(), "i", 7));
  EXPECT_EQ("zmp://h?s=a%20b&i=7&l=9000000000&kv=v%3Dw&raw=a b&h=01ab", url.str());
}

TEST(UrlSetQueryShorthands, KvWithoutEqualsIsRefused) {
  LogCapture log;
  UrlBuffer url("zmp://h");
  EXPECT_EQ(-1, url_set_query_kv(url.get(), "novalue", 1));
  EXPECT_EQ("zmp://h", url.str());
  EXPECT_EQ(-1, url_set_query_kv(url.get(), nullptr, 1));
}

TEST(UrlSetQueryShorthands, Base64ValueSurvivesTheQuery) {
  const unsigned char bytes[] = {0xff, 0xfe, 0x00, 'a'};
  UrlBuffer url("zmp://h");
  ASSERT_EQ(0, url_set_query_base64(url.get(), "b", bytes, sizeof bytes));
  EXPECT_EQ("zmp://h?b=//4AYQ%3D%3D", url.str());
  char text[64];
  ASSERT_EQ(0, url_get_query(url.get(), "b", "", text, sizeof text));
  unsigned char back[8];
  ASSERT_EQ(4, str_base64_decode(text, back, sizeof back));
  EXPECT_EQ(0, memcmp(bytes, back, sizeof bytes));
}

TEST(UrlAddQuery, AppendsItemAsIs) {
  const struct {
    const char *url, *item, *expected;
  } cases[] = {
      {"zmp://h", "a=1", "zmp://h?a=1"},
      {"zmp://h?a=1", "debug=1&options=rw,allow_other",
       "zmp://h?a=1&debug=1&options=rw,allow_other"},
      {"zmp://h?a=1#t", "b=2", "zmp://h?a=1&b=2#t"},
      {"zmp://h?", "b=2", "zmp://h?&b=2"},
  };
  for (const auto &c : cases) {
    UrlBuffer url(c.url);
    ASSERT_EQ(0, url_add_query(url.get(), c.item)) << c.url;
    EXPECT_EQ(c.expected, url.str());
  }
  LogCapture log;
  const std::string base = "zmp://h/" + std::string(8180, 'p');
  UrlBuffer url(base);
  EXPECT_EQ(-1, url_add_query(url.get(), "abcdefghij=1"));
  EXPECT_EQ(base, url.str());
}

TEST(UrlAppendPath, InsertsBeforeQueryWithOneSlash) {
  const struct {
    const char *url, *path, *expected;
  } cases[] = {
      {"zmp://h?x=1", "docs", "zmp://h/docs?x=1"},
      {"zmp://h?x=1", "/docs", "zmp://h/docs?x=1"},
      {"zmp://h?x=1", "\\docs", "zmp://h\\docs?x=1"},
      {"zmp://h", "/docs", "zmp://h/docs"},
      {"zmp://h", "docs", "zmp://h/docs"},
      {"zmp://h/", "docs", "zmp://h/docs"},
      {"", "/docs/a", "/docs/a"},
      {"", "docs", "docs"},
      {"zmp://h?x=1", "", "zmp://h?x=1"},
  };
  for (const auto &c : cases) {
    UrlBuffer url(c.url);
    ASSERT_EQ(0, url_append_path(url.get(), c.path)) << c.url << " + " << c.path;
    EXPECT_EQ(c.expected, url.str()) << c.url << " + " << c.path;
  }
  LogCapture log;
  const std::string base = "zmp://h?" + std::string(8180, 'q');
  UrlBuffer url(base);
  EXPECT_EQ(-1, url_append_path(url.get(), "/abcdefghij"));
  EXPECT_EQ(base, url.str());
}

}  // namespace
