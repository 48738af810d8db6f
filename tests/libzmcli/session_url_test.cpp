// Resolving mount URLs through saved sessions: the URL each kind of session yields, the
// pass-through of URLs that name no session, and the failures a mount must see.
#include <string>

#include "log_capture.h"
#include "pal_url.h"
#include "profile_fixture.h"

namespace {

const char kProfile[] =
    "[session/office]\nprot=zmp\nip=10.0.0.5\nuse_ssl=1\nport=ZMPS_DEF_PORT\nuser=u1\n"
    "[session/plain]\nprot=zmp\nip=h2\nport=ZMP_DEF_PORT\nuser=u\npwd=p\n"
    "[session/nopwd]\nprot=zmp\nip=h5\npwd=secret\n"
    "[session/v6]\nprot=zmp\nip=fe80__1\nport=7000\n"
    "[session/crossed]\nprot=zmp\nip=h4\nport=ZMPS_DEF_PORT\n"
    "[session/home]\nprot=loc\n"
    "[session/nb]\nprot=net\n"
    "[session/proxied]\nprot=zmp\nip=h3\nproxy=socks5://p:1080\n"
    "[session/noip]\nprot=zmp\n"
    "[session/odd]\nprot=ftp\n";

class SessionUrl : public ProfileTest {
 protected:
  void SetUp() override {
    ProfileTest::SetUp();
    write_profile(kProfile);
  }
};

TEST_F(SessionUrl, ResolutionTable) {
  const struct {
    const char *url;
    const char *expected;
  } cases[] = {
      {"zmp://h1/x", "zmp://h1/x"},
      {"ftp://u@f/pub?pack=1", "ftp://u@f/pub?pack=1"},
      {"/plain/local/path", "/plain/local/path"},
      {"///office/docs?pack=1", "zmps://u1@10.0.0.5/docs?pack=1"},
      {"///office", "zmps://u1@10.0.0.5"},
      {"\\\\\\office\\docs", "zmps://u1@10.0.0.5/docs"},
      {"///plain/a/b", "zmp://u:p@h2/a/b"},
      {"///nopwd/x", "zmp://h5/x"},
      {"///v6/x?ro=1", "zmp://[fe80::1]:7000/x?ro=1"},
      {"///crossed/x", "zmp://h4:6686/x"},
      {"///home/srv/x", "/srv/x"},
      {"///home/srv?ro=1", "/srv?ro=1"},
      {"///home", ""},
      {"///nb/share", "net://nb/share"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.url);
    char out[URL_TEXT_SIZE] = "junk";
    ASSERT_EQ(url_conf_2_real(c.url, out), 0);
    EXPECT_STREQ(out, c.expected);
  }
}

TEST_F(SessionUrl, ProxyGoesIntoTheQueryEscaped) {
  char escaped[256];
  ASSERT_GE(str_escape_url_args("socks5://p:1080", escaped, sizeof escaped), 0);
  char out[URL_TEXT_SIZE];
  ASSERT_EQ(url_conf_2_real("///proxied/d?pack=1", out), 0);
  EXPECT_EQ(std::string(out), std::string("zmp://h3/d?proxy=") + escaped + "&pack=1");
  char value[256];
  ASSERT_EQ(url_get_query(out, "proxy", "", value, sizeof value), 0);
  EXPECT_STREQ(value, "socks5://p:1080");
}

TEST_F(SessionUrl, UnresolvableSessionsFail) {
  const struct {
    const char *url;
    const char *reason;
    const char *name;
  } cases[] = {
      {"///noip/x", "conf_get_string [session/noip][prot] type fail\n", "noip"},
      {"///absent/x", "conf_get_string [session/absent][prot] val=error_val!!! type fail\n", "absent"},
      {"///odd", "error prot [ftp]\n", "odd"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.url);
    log_capture logs;
    char out[URL_TEXT_SIZE] = "junk";
    EXPECT_EQ(url_conf_2_real(c.url, out), -1);
    EXPECT_STREQ(out, "");
    ASSERT_EQ(logs.all().size(), 2u);
    EXPECT_EQ(logs.all()[0].text, c.reason);
    EXPECT_EQ(logs.all()[1].text, std::string("url [") + c.name + "] get failed\n");
    EXPECT_EQ(logs.all()[1].tag, "zmcli");
    EXPECT_EQ(logs.all()[1].level & 0xff, 3u);
  }
}

TEST_F(SessionUrl, InPlaceFormRewritesOrLeavesAlone) {
  char url[URL_TEXT_SIZE] = "///office/docs";
  ASSERT_EQ(url_conf_2_real_inplace(url), 0);
  EXPECT_STREQ(url, "zmps://u1@10.0.0.5/docs");
  char bad[URL_TEXT_SIZE] = "///noip/docs";
  log_capture logs;
  EXPECT_EQ(url_conf_2_real_inplace(bad), -1);
  EXPECT_STREQ(bad, "///noip/docs");
}

TEST_F(SessionUrl, EmptyNameGivesEmptyUrl) {
  char out[URL_TEXT_SIZE] = "junk";
  EXPECT_EQ(conf_client_get_url("", out), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(conf_client_get_url(nullptr, out), 0);
}

TEST_F(SessionUrl, MissingProfileFailsSessionUrlsOnly) {
  std::filesystem::remove(dir.file("zm_client.ini"));
  log_capture logs;
  char out[URL_TEXT_SIZE];
  EXPECT_EQ(url_conf_2_real("///office/docs", out), -1);
  ASSERT_FALSE(logs.all().empty());
  EXPECT_EQ(logs.all()[0].text, "conf_load " + dir.file("zm_client.ini") + " failed\n");
  EXPECT_EQ(url_conf_2_real("zmp://h/x", out), 0);
  EXPECT_STREQ(out, "zmp://h/x");
}

}  // namespace
