// The log call's line: prefixes chosen by tag words, the final line feed, the errno text,
// filtering, the record-only bit, the hooks and the end of the process on a critical line.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <string>

#include "log2.h"
#include "log_test_util.h"

namespace {

struct prefix_case {
  const char *tags;
  const char *func;  // null: the call names no function
  const char *expected;  // regular expression for the whole stored line
};

class LogPrefix : public ::testing::TestWithParam<prefix_case> {};

TEST_P(LogPrefix, LineReadsAsTheTagsSay) {
  const prefix_case &c = GetParam();
  log_ctx_ptr ctx = quiet_ctx(c.tags);
  const int n = log2_printf(ctx.get(), LOG2_ERR, "mod", "src/lib/libx/dir\\sub/some_file.cpp", 42,
                            c.func, "hello %d", 7);
  const std::string line = last_lines(ctx.get());
  EXPECT_TRUE(std::regex_match(line, std::regex(c.expected))) << c.tags << ": [" << line << "]";
  EXPECT_EQ(n, static_cast<int>(line.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Tags, LogPrefix,
    ::testing::Values(
        prefix_case{"time|tid|func", "do_it", R"(\d\d:\d\d:\d\d \[\d+\] do_it\(\): hello 7\n)"},
        prefix_case{"time|tid|file|func", "do_it",
                    R"(\d\d:\d\d:\d\d \[\d+\] \[some_file\.cpp:42\] do_it\(\): hello 7\n)"},
        prefix_case{"time_ms", "do_it", R"(\d\d:\d\d:\d\d\.\d{3} hello 7\n)"},
        prefix_case{"time_ms|time", "do_it", R"(\d\d:\d\d:\d\d hello 7\n)"},
        prefix_case{"tid_name|func", "do_it", R"(\[[^\] ]+\] do_it\(\): hello 7\n)"},
        prefix_case{"func", nullptr, R"(hello 7\n)"},
        prefix_case{"", "do_it", R"(hello 7\n)"},
        prefix_case{"bogus|tid", "do_it", R"(\[\d+\] hello 7\n)"}));

struct mask_case {
  const char *tags;
  uint32_t mask;
};

class LogTagMask : public ::testing::TestWithParam<mask_case> {};

TEST_P(LogTagMask, WordsGiveTheirBits) {
  EXPECT_EQ(log2_flags_from_text(GetParam().tags), GetParam().mask) << GetParam().tags;
}

INSTANTIATE_TEST_SUITE_P(Words, LogTagMask,
                         ::testing::Values(mask_case{"", 0x20}, mask_case{"no_colour", 0x00},
                                           mask_case{"time|tid|func", 0x27},
                                           mask_case{"time_ms|time", 0x62},
                                           mask_case{"time|time_ms", 0x60},
                                           mask_case{"file|tid_name", 0xb8},
                                           mask_case{"bogus", 0x20}));

TEST(LogTagMask, UnknownWordIsReported) {
  testing::internal::CaptureStderr();
  (void)log2_flags_from_text("tid|nonsense");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Invalid tags: [nonsense]\n"), std::string::npos);
}

TEST(LogLine, FinalLineFeedIsAddedOnce) {
  log_ctx_ptr ctx = quiet_ctx("");
  log2_printf(ctx.get(), LOG2_ERR, "mod", __FILE__, __LINE__, __func__, "one");
  log2_printf(ctx.get(), LOG2_ERR, "mod", __FILE__, __LINE__, __func__, "two\n");
  log2_puts(ctx.get(), LOG2_ERR, "mod", __FILE__, __LINE__, __func__, "three");
  EXPECT_EQ(last_lines(ctx.get()), "one\ntwo\nthree\n");
}

TEST(LogLine, OverlongMessageIsCutAndStillEndsTheLine) {
  static std::string hooked;
  auto keep = +[](int, const char *, const char *line, int len) { hooked.assign(line, len); };
  log_ctx_ptr ctx = quiet_ctx("");
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_HOOK_HIGH, reinterpret_cast<void *>(keep), 0);
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_HOOK_LOW, reinterpret_cast<void *>(keep), 0);
  const std::string big(10000, 'x');
  const int length = log2_puts(ctx.get(), LOG2_INFO, "mod", __FILE__, __LINE__, __func__, big.c_str());
  EXPECT_EQ(length, LOG2_LINE_SIZE - 1);
  ASSERT_EQ(hooked.size(), static_cast<size_t>(LOG2_LINE_SIZE - 1));
  EXPECT_EQ(hooked.back(), '\n');
  EXPECT_EQ(last_lines(ctx.get()), "") << "a line longer than the last-lines buffer is not kept";
}

TEST(LogLine, ErrnoBitAppendsTheReasonAndKeepsErrno) {
  log_ctx_ptr ctx = quiet_ctx("");
  errno = ENOENT;
  log2_printf(ctx.get(), LOG2_ERR | LOG2_ERRNO, "mod", __FILE__, __LINE__, __func__, "open x: ");
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(last_lines(ctx.get()), std::string("open x: ") + strerror(ENOENT) + "\n");
}

TEST(LogLine, ErrnoWrapperSetsErrnoOnlyWithTheBit) {
  errno = 0;
  log2_printf_errno(EACCES, LOG2_VERB, "mod", __FILE__, __LINE__, __func__, "x");
  EXPECT_EQ(errno, 0);
  log2_printf_errno(EACCES, LOG2_VERB | LOG2_ERRNO, "mod", __FILE__, __LINE__, __func__, "x");
  EXPECT_EQ(errno, EACCES);
}

TEST(LogLine, FilteredCallTouchesNothing) {
  temp_dir dir;
  log_ctx_ptr ctx = quiet_ctx("time|tid|func");
  const std::string path = dir.file("f.log");
  ASSERT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_FILE_OPEN, const_cast<char *>(path.c_str()), 0), 0);
  log2_ioctl(ctx.get(), LOG2_IOCTL_FILE_ON, log2_arg(1), 0);
  log2_ioctl(ctx.get(), LOG2_IOCTL_CONSOLE_ON, log2_arg(1), 0);
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_LEVEL_NAME, const_cast<char *>("info"), 0);
  static int hook_calls;
  hook_calls = 0;
  auto hook = +[](int, const char *, const char *, int) { ++hook_calls; };
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_HOOK_HIGH, reinterpret_cast<void *>(hook), 0);
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_HOOK_LOW, reinterpret_cast<void *>(hook), 0);

  testing::internal::CaptureStderr();
  EXPECT_EQ(log2_printf(ctx.get(), LOG2_DBG, "mod", __FILE__, __LINE__, __func__, "hidden\n"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(last_lines(ctx.get()), "");
  EXPECT_EQ(read_file(path), "");
  EXPECT_EQ(hook_calls, 0);

  testing::internal::CaptureStderr();
  EXPECT_GT(log2_printf(ctx.get(), LOG2_INFO, "mod", __FILE__, __LINE__, __func__, "shown\n"), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("shown\n"), std::string::npos);
  EXPECT_NE(read_file(path).find("shown\n"), std::string::npos);
  EXPECT_EQ(hook_calls, 1);
}

TEST(LogLine, RecordOnlyWritesNoSink) {
  log_ctx_ptr ctx = quiet_ctx("");
  EXPECT_EQ(log2_printf(ctx.get(), LOG2_ERR | LOG2_RECORD_ONLY, "mod", __FILE__, __LINE__,
                        __func__, "abc"),
            3);
  EXPECT_EQ(last_lines(ctx.get()), "");
}

TEST(LogLine, LineHooksRunOnlyWhenBothAreSetAndSplitAtNotice) {
  static std::string seen;
  seen.clear();
  auto high = +[](int level, const char *, const char *, int) { seen += "H" + std::to_string(level); };
  auto low = +[](int level, const char *, const char *, int) { seen += "L" + std::to_string(level); };
  log_ctx_ptr ctx = quiet_ctx("");
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_HOOK_HIGH, reinterpret_cast<void *>(high), 0);
  log2_printf(ctx.get(), LOG2_NOTI, "mod", __FILE__, __LINE__, __func__, "a");
  EXPECT_EQ(seen, "");
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_HOOK_LOW, reinterpret_cast<void *>(low), 0);
  log2_printf(ctx.get(), LOG2_NOTI, "mod", __FILE__, __LINE__, __func__, "b");
  log2_printf(ctx.get(), LOG2_WARN, "mod", __FILE__, __LINE__, __func__, "c");
  EXPECT_EQ(seen, "H5L4");
}

struct colour_case {
  uint32_t level;
  const char *tags;
  const char *expected;
};

class LogConsole : public ::testing::TestWithParam<colour_case> {};

TEST_P(LogConsole, ColoursWrapTheLine) {
  log_ctx_ptr ctx(log2_create());
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_FLAGS_TEXT, const_cast<char *>(GetParam().tags), 0);
  log2_ioctl(ctx.get(), LOG2_IOCTL_SET_LEVEL, log2_arg(LOG2_VERB), 0);
  testing::internal::CaptureStderr();
  log2_printf(ctx.get(), GetParam().level | LOG2_NOEXIT, "mod", __FILE__, __LINE__, __func__, "m");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LogConsole,
    ::testing::Values(colour_case{LOG2_CRIT, "", "\033[01;07;31mm\n\033[0m"},
                      colour_case{LOG2_ERR, "", "\033[01;31mm\n\033[0m"},
                      colour_case{LOG2_WARN, "", "\033[01;33mm\n\033[0m"},
                      colour_case{LOG2_NOTI, "", "\033[07;37mm\n\033[0m"},
                      colour_case{LOG2_INFO, "", "m\n"},
                      colour_case{LOG2_DBG, "", "\033[36mm\n\033[0m"},
                      colour_case{LOG2_VERB, "", "\033[32mm\n\033[0m"},
                      colour_case{LOG2_ERR, "no_colour", "m\n"}));

TEST(LogCriticalDeathTest, CriticalLineEndsTheProcessWithStatusOne) {
  EXPECT_EXIT(log2_printf(nullptr, LOG2_CRIT, "mod", __FILE__, __LINE__, __func__, "fatal %d\n", 1),
              ::testing::ExitedWithCode(1), "fatal 1");
}

TEST(LogCriticalDeathTest, NoExitBitReturns) {
  log_ctx_ptr ctx = quiet_ctx("");
  EXPECT_GT(log2_printf(ctx.get(), LOG2_CRIT | LOG2_NOEXIT, "mod", __FILE__, __LINE__, __func__,
                        "survived\n"),
            0);
  EXPECT_EQ(last_lines(ctx.get()), "survived\n");
}

TEST(LogSeam, PlatformLogCallsLandInTheDefaultContext) {
  static const char kLogTag[] = "seamtest";
  testing::internal::CaptureStderr();
  ZLOG(LOG2_ERR, "through the seam %d\n", 5);
  (void)testing::internal::GetCapturedStderr();
  EXPECT_NE(last_lines(nullptr).find("through the seam 5\n"), std::string::npos);
}

}  // namespace
