// The "{SHA}" digest and the login key, checked against values computed with openssl and
// sha1sum (printf '%s' TEXT | sha1sum), and the rule that no log line shows a secret.
#include "libpwd.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "pal_log.h"

namespace {

struct DigestCase {
  const char *password;
  const char *want;
};

// want = "{SHA}" + $(printf '%s' PASSWORD | openssl dgst -sha1 -binary | base64)
const DigestCase kDigests[] = {
    {"", ""},
    {"a", "{SHA}hvfkN/qlp/zhXR3cuerq6jd2Z7g="},
    {"secret", "{SHA}5en6G6MezRroT3XKqkdPOmY/BfQ="},
    {"pw4", "{SHA}qxNml/j2V32C481Qd+/9XSOxmfo="},
    {"p\xc3\xa4ssw\xc3\xb6rd", "{SHA}9Rfd8dMqES/xrVXGbRsSyzjn6Pc="},
};

TEST(PasswordDigest, MatchesOpenssl) {
  for (const auto &c : kDigests) {
    char out[PWD_TEXT_SIZE];
    memset(out, 'x', sizeof out);
    EXPECT_STREQ(libpwd_pwd_sha(c.password, out, sizeof out), c.want) << c.password;
  }
}

TEST(PasswordDigest, TooSmallOutputIsLeftEmpty) {
  char out[33];
  memset(out, 'x', sizeof out);
  EXPECT_STREQ(libpwd_pwd_sha("secret", out, sizeof out), "");
  char exact[34];
  EXPECT_STREQ(libpwd_pwd_sha("secret", exact, sizeof exact), "{SHA}5en6G6MezRroT3XKqkdPOmY/BfQ=");
}

struct KeyCase {
  const char *user;
  const char *password;
  int32_t ver;
  const char *cert;
  const char *want;
};

// want = $(printf '%s' "KOVEL$user$password$cert" | sha1sum)
const KeyCase kKeys[] = {
    {"admin", "secret", 1, "cert-1234", "aa8e1f8d113c69c286701828cbdbddc1a6f5738a"},
    {"admin", "secret", 77, "cert-1234", "aa8e1f8d113c69c286701828cbdbddc1a6f5738a"},
    {"admin", "secret", 1, "cert-1235", "7de4d0e4d2f7b1765c7ed6506e910ae8cf3ffbe3"},
    {"", "", 1, "", "2b0681868e8831f6778bcaa4a000d46a22c9320a"},
    {nullptr, nullptr, 1, nullptr, "2b0681868e8831f6778bcaa4a000d46a22c9320a"},
    {"user", "", 1, "", "98fe92ef0b16f00e03d4d95f0f17d71f478142f0"},
};

TEST(LoginKey, MatchesSha1sumAndIgnoresVer) {
  for (const auto &c : kKeys) {
    char out[PWD_KEY_SIZE];
    ASSERT_EQ(libpwd_build_key(c.user, c.password, c.ver, c.cert, out, sizeof out), 0);
    EXPECT_STREQ(out, c.want) << (c.user ? c.user : "(null)") << " ver " << c.ver;
  }
}

TEST(LoginKey, SmallBufferIsRefusedWithEmptyKey) {
  char out[PWD_KEY_SIZE - 1];
  memset(out, 'x', sizeof out);
  EXPECT_EQ(libpwd_build_key("admin", "secret", 1, "cert", out, sizeof out), -1);
  EXPECT_STREQ(out, "");
}

// Collects every formatted log line while a test runs.
std::string g_log;
int capture_sink(uint32_t, const char *, const char *, int, const char *, const char *fmt,
                 va_list ap) {
  char line[8192];
  const int n = vsnprintf(line, sizeof line, fmt, ap);
  g_log += line;
  return n;
}

class LogCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    pal_log_set_sink(capture_sink);
  }
  void TearDown() override { pal_log_set_sink(nullptr); }
};

TEST_F(LogCapture, KeyLogLinesMaskPasswordAndKey) {
  char out[PWD_KEY_SIZE];
  ASSERT_EQ(libpwd_build_key("admin", "Hunter2pw", 1, "cert-1234", out, sizeof out), 0);
  EXPECT_NE(g_log.find("user=[admin] pwd=[***] cert=[cert-1234]\n"), std::string::npos) << g_log;
  EXPECT_NE(g_log.find("lkey=[***]\n"), std::string::npos) << g_log;
  EXPECT_EQ(g_log.find("Hunter2pw"), std::string::npos);
  EXPECT_EQ(g_log.find(out), std::string::npos);
}

TEST_F(LogCapture, SmallKeyBufferLogsTheAssertion) {
  char out[8];
  EXPECT_EQ(libpwd_build_key("u", "p", 1, "c", out, sizeof out), -1);
  EXPECT_NE(g_log.find("expr[ret != FALSE]: assert failed\n"), std::string::npos) << g_log;
}

TEST(Secret, HoldsMovesAndClears) {
  pwd_secret a("top");
  EXPECT_STREQ(a.reveal(), "top");
  pwd_secret b(std::move(a));
  EXPECT_TRUE(a.empty());
  EXPECT_STREQ(a.reveal(), "");
  EXPECT_STREQ(b.reveal(), "top");
  a = std::move(b);
  EXPECT_STREQ(a.reveal(), "top");
  a.clear();
  EXPECT_TRUE(a.empty());
  EXPECT_TRUE(pwd_secret(nullptr).empty());
}

TEST(Secret, CutsAtTheTextLimit) {
  const std::string longtext(PWD_TEXT_SIZE + 100, 'k');
  pwd_secret s(longtext.c_str());
  EXPECT_EQ(s.size(), size_t(PWD_TEXT_SIZE - 1));
  EXPECT_EQ(strlen(s.reveal()), size_t(PWD_TEXT_SIZE - 1));
}

}  // namespace
