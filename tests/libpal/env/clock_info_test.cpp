// The millisecond and microsecond clocks, the uptime, and the system description texts.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>
#include <thread>

#include "pal_env.h"

namespace {

TEST(Clock, MillisecondsFollowTheTimeOfDay) {
  const uint64_t ms = os_get_ms();
  const uint64_t now_s = static_cast<uint64_t>(time(nullptr));
  EXPECT_NEAR(static_cast<double>(ms / 1000), static_cast<double>(now_s), 2.0);
  const uint64_t us = os_get_us();
  EXPECT_GE(us / 1000, ms);
  EXPECT_LT(us / 1000 - ms, 1000u);
}

TEST(Clock, ElapsedTimeIsADifferenceOfReadings) {
  const uint64_t start = os_get_ms();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint64_t elapsed = os_get_ms() - start;
  EXPECT_GE(elapsed, 25u);
  EXPECT_LT(elapsed, 2000u);
}

TEST(Clock, UptimeIsInWholeSeconds) {
  const uint64_t up = os_uptime_ms();
  EXPECT_GT(up, 0u);
  EXPECT_EQ(up % 1000, 0u);
}

TEST(SystemInfo, UnameFieldsEndInABlank) {
  utsname u{};
  ASSERT_EQ(uname(&u), 0);
  const std::string expected = std::string(u.sysname) + " " + u.nodename + " " + u.release + " " +
                               u.version + " " + u.machine + " ";
  EXPECT_EQ(os_get_info(), expected.substr(0, 255));
}

TEST(SystemInfo, PlatformIdentity) {
  ASSERT_EQ(pl_init(), 0);
  EXPECT_STREQ(pl_os_name(), "linux");
#if defined(__x86_64__)
  EXPECT_STREQ(pl_cpu_name(), "x86_64");
#endif
  EXPECT_LE(pl_start_time_ms(), os_get_ms());
  EXPECT_GT(pl_start_time_ms() + 5000, os_get_ms());
}

TEST(SystemInfo, HardwareAddressIsHexWithinTheBuffer) {
  char buf[64];
  EXPECT_TRUE(std::regex_match(os_get_hw_info(buf, sizeof buf), std::regex("[0-9a-f]{1,16}")))
      << buf;
  char small[3];
  os_get_hw_info(small, sizeof small);
  EXPECT_LE(strlen(small), 2u);
}

}  // namespace
