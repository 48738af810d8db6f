// Saved sessions: writing and reading the record, the walk with its reserved names, and the
// existence test, removal and rename of a session.
#include <string>
#include <utility>
#include <vector>

#include "conf.h"
#include "log_capture.h"
#include "profile_fixture.h"

namespace {

using Sessions = ProfileTest;
using walked = std::vector<std::pair<std::string, uint32_t>>;

void collect(void *arg, const char *name, uint32_t kind) {
  static_cast<walked *>(arg)->emplace_back(name, kind);
}

conf_client_info zmp_record(const char *name) {
  conf_client_info info{};
  info.kind = CONF_CLIENT_ZMP;
  snprintf(info.name, sizeof info.name, "%s", name);
  info.use_ssl = 1;
  snprintf(info.ip, sizeof info.ip, "fe80__2");
  snprintf(info.port, sizeof info.port, "6700");
  snprintf(info.user, sizeof info.user, "alice");
  snprintf(info.pwd, sizeof info.pwd, "s3cret");
  snprintf(info.bs, sizeof info.bs, "1M");
  snprintf(info.fmod, sizeof info.fmod, "600");
  snprintf(info.dmod, sizeof info.dmod, "700");
  snprintf(info.proxy, sizeof info.proxy, "http://px:3128");
  return info;
}

TEST_F(Sessions, RecordRoundTrip) {
  const conf_client_info written = zmp_record("work");
  ASSERT_EQ(conf_client_set_info(nullptr, &written), 0);
  conf_client_info read;
  ASSERT_EQ(conf_client_get_info("work", &read), 0);
  EXPECT_EQ(read.kind, CONF_CLIENT_ZMP);
  EXPECT_STREQ(read.name, "work");
  EXPECT_EQ(read.use_ssl, 1);
  EXPECT_STREQ(read.ip, "fe80__2");
  EXPECT_STREQ(read.port, "6700");
  EXPECT_STREQ(read.user, "alice");
  EXPECT_STREQ(read.pwd, "s3cret");
  EXPECT_STREQ(read.bs, "1M");
  EXPECT_STREQ(read.fmod, "600");
  EXPECT_STREQ(read.dmod, "700");
  EXPECT_STREQ(read.proxy, "http://px:3128");

  conf_client_info net{};
  net.kind = CONF_CLIENT_NET;
  snprintf(net.name, sizeof net.name, "lan");
  ASSERT_EQ(conf_client_set_info(nullptr, &net), 0);
  ASSERT_EQ(conf_client_get_info("lan", &read), 0);
  EXPECT_EQ(read.kind, CONF_CLIENT_NET);
}

TEST_F(Sessions, DefaultsAndFieldLimits) {
  write_profile("[session/s]\nprot=zmp\nip=h\nbs=123456789\nport=" + std::string(40, '9') + "\n");
  conf_client_info info;
  ASSERT_EQ(conf_client_get_info("s", &info), 0);
  EXPECT_EQ(info.use_ssl, 0);
  EXPECT_STREQ(info.fmod, "644");
  EXPECT_STREQ(info.dmod, "755");
  EXPECT_STREQ(info.bs, "1234567");
  EXPECT_EQ(std::string(info.port), std::string(31, '9'));
  EXPECT_STREQ(info.user, "");

  write_profile("[session/s]\nprot=zmp\nip=h\n");
  ASSERT_EQ(conf_client_get_info("s", &info), 0);
  EXPECT_STREQ(info.bs, "2M");
}

TEST_F(Sessions, OnlyRemoteAndNetworkKindsAreWritten) {
  conf_client_info loc{};
  loc.kind = CONF_CLIENT_LOC;
  snprintf(loc.name, sizeof loc.name, "here");
  log_capture logs;
  EXPECT_EQ(conf_client_set_info(nullptr, &loc), -1);
  ASSERT_EQ(logs.all().size(), 1u);
  EXPECT_EQ(logs.all()[0].text, "cc->prot=2 error\n");
}

TEST_F(Sessions, WalkCreatesReservedSessionsAndSkipsUnusable) {
  write_profile(
      "[session/office]\nprot=zmp\nip=h\n[session/_Quick_Connection]\nprot=zmp\nip=q\n"
      "[session/noip]\nprot=zmp\n[other]\nk=v\n[session/lan]\nprot=net\n");
  walked seen;
  log_capture logs;
  ASSERT_EQ(conf_walk_item(collect, &seen), 0);
  EXPECT_EQ(seen, (walked{{"office", CONF_CLIENT_ZMP},
                          {"lan", CONF_CLIENT_NET},
                          {"localhost", CONF_CLIENT_LOC},
                          {"network", CONF_CLIENT_NET}}));
  conf_ptr conf(conf_load(zm_conf_client_file().c_str()));
  ASSERT_TRUE(conf);
  EXPECT_STREQ(conf_get_string(conf.get(), "session/localhost", "prot", ""), "loc");
  EXPECT_STREQ(conf_get_string(conf.get(), "session/network", "prot", ""), "net");
}

TEST_F(Sessions, WalkCreatesAMissingProfile) {
  walked seen;
  ASSERT_EQ(conf_walk_item(collect, &seen), 0);
  EXPECT_EQ(seen, (walked{{"localhost", CONF_CLIENT_LOC}, {"network", CONF_CLIENT_NET}}));
}

TEST_F(Sessions, ExistDeleteAndRename) {
  {
    log_capture logs;
    EXPECT_EQ(conf_client_is_exist("a"), -1);
    ASSERT_FALSE(logs.all().empty());
    EXPECT_EQ(logs.all()[0].text, "conf_load [" + zm_conf_client_file() + "] failed\n");
    EXPECT_EQ(conf_client_del("a"), -1);
  }
  write_profile("[session/a]\nprot=zmp\nip=h1\n[session/b]\nprot=loc\n");
  EXPECT_EQ(conf_client_is_exist("a"), 1);
  EXPECT_EQ(conf_client_is_exist("c"), 0);

  ASSERT_EQ(conf_client_copy_move("a", "c"), 0);
  EXPECT_EQ(conf_client_is_exist("a"), 0);
  char url[URL_TEXT_SIZE];
  ASSERT_EQ(conf_client_get_url("c", url), 0);
  EXPECT_STREQ(url, "zmp://h1");
  {
    log_capture logs;
    EXPECT_EQ(conf_client_copy_move("c", "b"), -1);
  }
  EXPECT_EQ(conf_client_is_exist("c"), 1);

  ASSERT_EQ(conf_client_del("c"), 0);
  EXPECT_EQ(conf_client_is_exist("c"), 0);
  EXPECT_EQ(conf_client_is_exist("b"), 1);
}

}  // namespace
