// Where the profile, proxy file and cache directory are taken from: the given directory, the
// ZM_ENV_CONF_DIR override, the preference for zmdk-gui-user.ini, and the exported variables.
#include <filesystem>
#include <string>

#include "log_capture.h"
#include "pal_os.h"
#include "profile_fixture.h"

namespace {

using ProfilePaths = ProfileTest;

std::string env(const char *name) {
  const char *v = getenv(name);
  return v ? v : "<unset>";
}

TEST_F(ProfilePaths, GivenDirectoryWithClientFile) {
  log_capture logs;
  zm_conf_set_path(dir.path().c_str());
  EXPECT_EQ(zm_conf_client_file(), dir.file("zm_client.ini"));
  EXPECT_EQ(zm_conf_proxy_file(), dir.file("zm_proxy.ini"));
  EXPECT_EQ(env(ZM_PROXY_FILE), dir.file("zm_proxy.ini"));
  ASSERT_EQ(logs.all().size(), 1u);
  EXPECT_EQ(logs.all()[0].text, "conf_client=[" + dir.file("zm_client.ini") + "] conf_proxy=[" +
                                    dir.file("zm_proxy.ini") + "]\n");
  EXPECT_EQ(logs.all()[0].level & 0xff, 8u);
}

TEST_F(ProfilePaths, GuiUserFileIsPreferredWhenItIsAFile) {
  std::filesystem::create_directory(dir.file("zmdk-gui-user.ini"));
  zm_conf_set_path(dir.path().c_str());
  EXPECT_EQ(zm_conf_client_file(), dir.file("zm_client.ini"));
  std::filesystem::remove(dir.file("zmdk-gui-user.ini"));
  dir.write("zmdk-gui-user.ini", "[session/g]\nprot=loc\n");
  zm_conf_set_path(dir.path().c_str());
  EXPECT_EQ(zm_conf_client_file(), dir.file("zmdk-gui-user.ini"));
  EXPECT_EQ(conf_client_is_exist("g"), 1);
}

TEST_F(ProfilePaths, EnvironmentOverride) {
  temp_dir other;
  setenv(ZM_ENV_CONF_DIR, other.path().c_str(), 1);
  log_capture logs;
  zm_conf_set_path(dir.path().c_str());
  EXPECT_EQ(zm_conf_client_file(), other.file("zm_client.ini"));
  EXPECT_EQ(env(ZM_PROXY_FILE), other.file("zm_proxy.ini"));
  ASSERT_FALSE(logs.all().empty());
  EXPECT_EQ(logs.all()[0].text, "use env_conf_dir=[" + other.path() + "]\n");
  EXPECT_EQ(logs.all()[0].level & 0xff, 7u);

  setenv(ZM_ENV_CONF_DIR, "", 1);
  zm_conf_set_path(dir.path().c_str());
  EXPECT_EQ(zm_conf_client_file(), dir.file("zm_client.ini"));
}

TEST_F(ProfilePaths, BackslashesAndDoubleSlashesAreNormalised) {
  const std::string messy = dir.path() + "\\\\sub//";
  zm_conf_set_path(messy.c_str());
  EXPECT_EQ(zm_conf_client_file(), dir.path() + "/sub/zm_client.ini");
}

TEST_F(ProfilePaths, CacheDirectory) {
  char exe_dir[OS_PATH_SIZE];
  ASSERT_EQ(os_exe_get_dir(exe_dir, sizeof exe_dir), 0);
  zm_conf_set_path(dir.path().c_str());
  EXPECT_EQ(env(ZM_CACHE), std::string(exe_dir) + "/var/cache");

  write_profile("[conf]\ncache_dir=" + dir.path() + "\\cache\n");
  zm_conf_set_path(dir.path().c_str());
  EXPECT_EQ(env(ZM_CACHE), dir.path() + "/cache");

  char out[OS_PATH_SIZE];
  EXPECT_EQ(zm_conf_get_path("cache_dir", out, sizeof out), 0);
  EXPECT_EQ(std::string(out), dir.path() + "/cache");
  ASSERT_EQ(zm_conf_set_str("cache_dir", "/data\\zm"), 0);
  EXPECT_EQ(env(ZM_CACHE), "/data/zm");
  log_capture logs;
  EXPECT_EQ(zm_conf_get_path("other_dir", out, sizeof out), -1);
  EXPECT_STREQ(out, "");
}

TEST_F(ProfilePaths, CacheDirectoryDefaultsToEnvironmentWithoutKey) {
  write_profile("[conf]\nread_timeout=3\n");
  setenv(ZM_CACHE, "/var//tmp\\c", 1);
  char out[OS_PATH_SIZE];
  EXPECT_EQ(zm_conf_get_path("cache_dir", out, sizeof out), 0);
  EXPECT_STREQ(out, "/var/tmp/c");
}

}  // namespace
