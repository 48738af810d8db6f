// Set-up from the INI file, the control commands and the shell's level setting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "log2.h"
#include "log_ctx.h"
#include "log_test_util.h"
#include "log_trace.h"

namespace {

// The first log2_init of the process configures the default context; every test here wants a
// context of its own, so the default is taken once, up front.
log2_ctx *take_default_once() {
  static log2_ctx *const taken = log2_init(nullptr, nullptr);
  return taken;
}

class LogInit : public ::testing::Test {
 protected:
  void SetUp() override { take_default_once(); }

  log_ctx_ptr init(const std::string &ini, const char *name = nullptr) {
    write_file(dir_.file("zmue.ini"), ini);
    log_ctx_ptr ctx(log2_init(dir_.file("zmue.ini").c_str(), name));
    log2_ioctl(ctx.get(), LOG2_IOCTL_CONSOLE_ON, log2_arg(0), 0);
    return ctx;
  }
  static int level(log2_ctx *ctx) {
    int value = -1;
    EXPECT_EQ(log2_ioctl(ctx, LOG2_IOCTL_GET_LEVEL, &value, sizeof value), 0);
    return value;
  }

  temp_dir dir_;
};

TEST_F(LogInit, FirstCallConfiguresTheDefaultContextLaterCallsNewOnes) {
  EXPECT_EQ(take_default_once(), log_default_ctx());
  log_ctx_ptr other(log2_init(nullptr, nullptr));
  EXPECT_NE(other.get(), log_default_ctx());
}

TEST_F(LogInit, SectionKeysConfigureTheContext) {
  log_ctx_ptr ctx = init("[log]\nlevel=err\nflags=tid|func|no_colour\nfile_dir=" + dir_.path() +
                         "/logs\nfile=app.log\nfile_size=4096\n");
  EXPECT_EQ(level(ctx.get()), LOG2_ERR);
  EXPECT_EQ(ctx->flags.load(), 0x05u);
  EXPECT_EQ(ctx->file.max_size(), 4096);
  log2_printf(ctx.get(), LOG2_ERR, "mod", __FILE__, __LINE__, "fn", "to file\n");
  EXPECT_NE(read_file(dir_.path() + "/logs/app.log").find("mod fn(): to file\n"), std::string::npos);
}

TEST_F(LogInit, NamedSectionIsRead) {
  log_ctx_ptr ctx = init("[log]\nlevel=err\n[log_alt]\nlevel=verb\n", "alt");
  EXPECT_EQ(level(ctx.get()), LOG2_VERB);
}

TEST_F(LogInit, EmptyAndUnknownValuesLeaveDefaults) {
  log_ctx_ptr ctx = init("[log]\nlevel=loud\nflags=\nfile=\n");
  EXPECT_EQ(level(ctx.get()), LOG2_DEFAULT_LEVEL);
  EXPECT_EQ(ctx->flags.load(), LOG2_DEFAULT_FLAGS);
  char path[64];
  ASSERT_EQ(log2_file_path(ctx.get(), path, sizeof path), 0);
  EXPECT_STREQ(path, "");
}

TEST_F(LogInit, SmallFileSizeIsRefusedWithAWarning) {
  testing::internal::CaptureStderr();
  write_file(dir_.file("zmue.ini"), "[log]\nfile_size=1000\n");
  log_ctx_ptr ctx(log2_init(dir_.file("zmue.ini").c_str(), nullptr));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("log2_ioctl log.file_size=1000 (must>=2048 error)\n"), std::string::npos) << err;
  EXPECT_EQ(ctx->file.max_size(), LOG2_FILE_SIZE_DEFAULT);
}

TEST_F(LogInit, TraceShowsTheKeysWhenAskedFor) {
  ASSERT_EQ(setenv("ZMDBGLOG", "1", 1), 0);
  testing::internal::CaptureStderr();
  log_ctx_ptr ctx = init("[log]\nlevel=warn\n");
  const std::string err = testing::internal::GetCapturedStderr();
  unsetenv("ZMDBGLOG");
  log_trace_enable(false);
  EXPECT_NE(err.find("conf_file=" + dir_.file("zmue.ini") + "\n"), std::string::npos) << err;
  EXPECT_NE(err.find("log.level=warn\n"), std::string::npos) << err;
}

TEST_F(LogInit, MissingFileKeepsDefaults) {
  log_ctx_ptr ctx(log2_init(dir_.file("absent.ini").c_str(), nullptr));
  EXPECT_EQ(level(ctx.get()), LOG2_DEFAULT_LEVEL);
}

TEST(LogIoctl, CommandsReportTheirErrors) {
  log_ctx_ptr ctx = quiet_ctx("");
  testing::internal::CaptureStderr();
  EXPECT_EQ(log2_ioctl(ctx.get(), 99, nullptr, 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid command code\n");

  int value = 0;
  EXPECT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_GET_LEVEL, &value, 2), -1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_SET_LEVEL_NAME, const_cast<char *>("Err"), 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "error: invalid level [Err]\n");
  EXPECT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_GET_LEVEL, &value, sizeof value), 0);
  EXPECT_EQ(value, LOG2_DEFAULT_LEVEL);
  EXPECT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_RECORD_NET_OPEN, const_cast<char *>("no-host-here"), 0), -1);
}

struct level_case {
  int number;
  const char *name;
  const char *label;
};

class LogLevels : public ::testing::TestWithParam<level_case> {};

TEST_P(LogLevels, NamesAndLabels) {
  const level_case &c = GetParam();
  EXPECT_STREQ(log2_level_name(c.number), c.name);
  EXPECT_STREQ(log2_level_label(c.number), c.label);
  EXPECT_EQ(log2_level_from_name(c.name), c.number);
}

INSTANTIATE_TEST_SUITE_P(All, LogLevels,
                         ::testing::Values(level_case{2, "crit", "CRIT"}, level_case{3, "err", "ERROR"},
                                           level_case{4, "warn", "WARN"}, level_case{5, "noti", "NOTI"},
                                           level_case{6, "info", "INFO"}, level_case{7, "dbg", "DEBUG"},
                                           level_case{8, "verb", "VERB"}));

TEST(LogLevels, UnknownNumbersAndNames) {
  EXPECT_STREQ(log2_level_name(9), "unkown(9)");
  EXPECT_STREQ(log2_level_label(1), "unkown(1)");
  testing::internal::CaptureStderr();
  EXPECT_EQ(log2_level_from_name("debug"), -1);
  (void)testing::internal::GetCapturedStderr();
  char list[256];
  EXPECT_STREQ(log2_level_list(list, sizeof list),
               "log.verb=8\nlog.dbg=7\nlog.info=6\nlog.noti=5\nlog.warn=4\nlog.err=3\nlog.crit=2");
}

TEST(LogLevelSetting, ReadsAndWritesTheDefaultLevel) {
  const std::string before = log2_level_setting_get();
  char msg[64] = "";
  EXPECT_EQ(log2_level_setting_set("warn", msg, sizeof msg), 0);
  EXPECT_STREQ(log2_level_setting_get(), "warn");
  testing::internal::CaptureStderr();
  EXPECT_EQ(log2_level_setting_set("loud", msg, sizeof msg), -1);
  (void)testing::internal::GetCapturedStderr();
  EXPECT_STREQ(msg, "invalid param [loud]\n");
  EXPECT_STREQ(log2_level_setting_get(), "warn");
  EXPECT_EQ(log2_level_setting_set(before.c_str(), msg, sizeof msg), 0);
}

}  // namespace
