// The client-wide "conf" settings: time-out reads with their defaults, adding them to a mount
// URL without overriding its own keys, and writing settings into a new or unwritable profile.
#include <filesystem>
#include <string>

#include "conf.h"
#include "log_capture.h"
#include "pal_url.h"
#include "profile_fixture.h"

namespace {

using ProfileSettings = ProfileTest;

TEST_F(ProfileSettings, TimeoutDefaultsAndOverrides) {
  const struct {
    const char *key;
    int without_file;
    int with_file;
  } cases[] = {{"connect_timeout", 6, 3}, {"read_timeout", 15, 15}, {"write_timeout", 8, 0},
               {"cache_dir", 0, 0},       {"other", 0, 0}};
  {
    log_capture logs;
    for (const auto &c : cases) EXPECT_EQ(zm_conf_get_int(c.key), c.without_file) << c.key;
  }
  write_profile("[conf]\nconnect_timeout=3\nwrite_timeout=abc\nother=9\n");
  for (const auto &c : cases) EXPECT_EQ(zm_conf_get_int(c.key), c.with_file) << c.key;
}

TEST_F(ProfileSettings, ApplyTimeoutsKeepsKeysOfTheUrl) {
  write_profile("[conf]\nconnect_timeout=3\n");
  char url[URL_TEXT_SIZE] = "zmp://h/x?read_timeout=30&pack=1";
  ASSERT_EQ(zm_conf_apply_timeouts(url), 0);
  EXPECT_EQ(url_get_query_int(url, "connect_timeout", -1), 3);
  EXPECT_EQ(url_get_query_int(url, "read_timeout", -1), 30);
  EXPECT_EQ(url_get_query_int(url, "write_timeout", -1), 8);
  EXPECT_EQ(url_get_query_int(url, "pack", -1), 1);
}

TEST_F(ProfileSettings, ApplyTimeoutsWithoutProfileUsesDefaults) {
  log_capture logs;
  char url[URL_TEXT_SIZE] = "zmp://h/x";
  ASSERT_EQ(zm_conf_apply_timeouts(url), 0);
  EXPECT_EQ(url_get_query_int(url, "connect_timeout", -1), 6);
  EXPECT_EQ(url_get_query_int(url, "read_timeout", -1), 15);
  EXPECT_EQ(url_get_query_int(url, "write_timeout", -1), 8);
}

TEST_F(ProfileSettings, SettersCreateTheProfile) {
  ASSERT_EQ(zm_conf_set_int("read_timeout", 21), 0);
  ASSERT_EQ(zm_conf_set_str("note", "kept"), 0);
  EXPECT_EQ(zm_conf_get_int("read_timeout"), 21);
  conf_ptr conf(conf_load(zm_conf_client_file().c_str()));
  ASSERT_TRUE(conf);
  EXPECT_STREQ(conf_get_string(conf.get(), "conf", "note", ""), "kept");
}

TEST_F(ProfileSettings, SetterFailsWhereNoProfileCanBeMade) {
  zm_conf_set_path(dir.file("missing/dir").c_str());
  log_capture logs;
  EXPECT_EQ(zm_conf_set_int("read_timeout", 1), -1);
  ASSERT_EQ(logs.all().size(), 1u);
  EXPECT_EQ(logs.all()[0].text, "conf_create_load [" + dir.file("missing/dir/zm_client.ini") + "] fail\n");
  EXPECT_EQ(logs.all()[0].level & 0xff, 3u);
}

}  // namespace
