// The framework's banner line on its own: field order and the 255-character cut that keeps a
// long description from overrunning the line buffer.
#include <gtest/gtest.h>

#include <string>

#include "tframe.h"

namespace {

class BannerTest : public testing::Test {
 protected:
  void SetUp() override {
    g_app.app_name = "zmue";
    g_app.os_name = "linux";
    g_app.cpu_name = "mipsel";
    g_app.app_ver = "1.7.2.0";
    g_app.app_ver_date = "2024-3-2";
    g_app.app_desc = "zmp/zmps fuse";
  }
};

TEST_F(BannerTest, NamesProgramPlatformVersionDateAndDescription) {
  EXPECT_EQ(app_banner_text(), "zmue-linux-mipsel v1.7.2.0 (2024-3-2) - zmp/zmps fuse");
}

TEST_F(BannerTest, LongDescriptionIsCutTo255Characters) {
  const std::string desc(400, 'd');
  g_app.app_desc = desc.c_str();
  const std::string banner = app_banner_text();
  EXPECT_EQ(banner.size(), APP_BANNER_SIZE - 1);
  EXPECT_EQ(banner.rfind("zmue-linux-mipsel v1.7.2.0 (2024-3-2) - ddd", 0), 0u);
}

TEST_F(BannerTest, MissingFieldsPrintEmpty) {
  g_app.app_ver_date = nullptr;
  g_app.app_desc = nullptr;
  EXPECT_EQ(app_banner_text(), "zmue-linux-mipsel v1.7.2.0 () - ");
}

}  // namespace
