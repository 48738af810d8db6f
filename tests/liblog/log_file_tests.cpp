// The file sink: line prefix, directory and absolute names, re-creation of a deleted file,
// in-place trimming to the newest half at a line boundary, capture names take no text, write errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log2.h"
#include "log_file.h"
#include "log_test_util.h"

namespace {

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override { ctx_ = quiet_ctx("time|tid|func"); }

  int open(const std::string &name) {
    return log2_ioctl(ctx_.get(), LOG2_IOCTL_FILE_OPEN, const_cast<char *>(name.c_str()), 0);
  }
  void open_on(const std::string &name) {
    ASSERT_EQ(open(name), 0) << name;
    ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_FILE_ON, log2_arg(1), 0), 0);
  }
  void log(const char *text, uint32_t level = LOG2_ERR) {
    log2_printf(ctx_.get(), level, "mod", __FILE__, __LINE__, "writer", "%s", text);
  }
  std::string path() {
    char out[4096];
    return log2_file_path(ctx_.get(), out, sizeof out) == 0 ? out : "";
  }

  temp_dir dir_;
  log_ctx_ptr ctx_;
};

TEST_F(LogFile, LineCarriesDateTimeLabelPidThreadTagAndFunctionLine) {
  open_on(dir_.file("a.log"));
  log("hello\n");
  log("dbg line", LOG2_DBG);
  const std::string pid = std::to_string(getpid());
  const std::regex expected(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} ERROR )" + pid + R"( --- \[[^\] ]+\] mod writer\(\): hello\n)" +
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} DEBUG )" + pid + R"( --- \[[^\] ]+\] mod writer\(\): dbg line\n)");
  const std::string text = read_file(dir_.file("a.log"));
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(LogFile, RelativeNameGoesIntoTheDirectoryWhichIsCreated) {
  const std::string nested = dir_.file("x/y/z");
  ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_FILE_DIR, const_cast<char *>(nested.c_str()), 0), 0);
  open_on("rel.log");
  log("in dir\n");
  EXPECT_EQ(path(), nested + "/rel.log");
  EXPECT_NE(read_file(nested + "/rel.log").find("in dir\n"), std::string::npos);

  const std::string absolute = dir_.file("abs.log");
  open_on(absolute);
  EXPECT_EQ(path(), absolute);
}

TEST_F(LogFile, DeletedFileIsRecreatedAtTheNextLine) {
  open_on(dir_.file("d.log"));
  log("first\n");
  ASSERT_EQ(unlink(dir_.file("d.log").c_str()), 0);
  log("second\n");
  const std::string text = read_file(dir_.file("d.log"));
  EXPECT_EQ(text.find("first"), std::string::npos);
  EXPECT_NE(text.find("second\n"), std::string::npos);
}

TEST_F(LogFile, FullFileKeepsTheNewestHalfFromALineBoundary) {
  constexpr long kMax = 4096;
  ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_FILE_SIZE, log2_arg(kMax), 0), 0);
  open_on(dir_.file("t.log"));
  const std::regex whole_line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} ERROR .* writer\(\): line \d+\n)");
  long largest = 0;
  for (int i = 0; i < 200; ++i) {
    log(("line " + std::to_string(i) + "\n").c_str());
    largest = std::max<long>(largest, std::filesystem::file_size(dir_.file("t.log")));
  }
  EXPECT_LT(largest, kMax + 200) << "the file never grows far past its maximum";
  const std::string text = read_file(dir_.file("t.log"));
  ASSERT_FALSE(text.empty());
  const std::string first = text.substr(0, text.find('\n') + 1);
  EXPECT_TRUE(std::regex_match(first, whole_line)) << first;
  EXPECT_NE(text.find("writer(): line 199\n"), std::string::npos);
  EXPECT_EQ(text.find("writer(): line 0\n"), std::string::npos);
}

TEST_F(LogFile, TrimmingRightAtTheLimitLeavesHalf) {
  ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_FILE_SIZE, log2_arg(10), 0), 0);  // raised to 1024
  open_on(dir_.file("h.log"));
  std::uintmax_t before = 0;
  for (int i = 0; i < 100; ++i) {
    before = std::filesystem::file_size(dir_.file("h.log"));
    log("0123456789012345678901234567890123456789\n");
    const std::uintmax_t after = std::filesystem::file_size(dir_.file("h.log"));
    if (after < before) {
      EXPECT_LT(before, 1024u) << "trimmed only once the maximum was reached";
      EXPECT_LE(after, 512u);
      return;
    }
  }
  FAIL() << "file was never trimmed";
}

TEST_F(LogFile, AppendModeKeepsEarlierContent) {
  write_file(dir_.file("ap.log"), "old line\n");
  log_file_writer writer;
  writer.set_mode("a");
  ASSERT_EQ(writer.open(dir_.file("ap.log").c_str()), 0);
  ASSERT_EQ(writer.write(LOG2_INFO, "mod", "new line\n", 9), 0);
  writer.close();
  const std::string text = read_file(dir_.file("ap.log"));
  EXPECT_EQ(text.rfind("old line\n", 0), 0u);
  EXPECT_NE(text.find("INFO"), std::string::npos);
}

// The capture format itself is tested with the record libraries; here: no text line lands in it.
TEST_F(LogFile, CaptureFileNameTakesNoText) {
  open_on(dir_.file("x.pcap"));
  EXPECT_EQ(path(), dir_.file("x.pcap"));
  log("a line\n");
  EXPECT_EQ(read_file(dir_.file("x.pcap")).find("writer(): a line"), std::string::npos);
}

TEST_F(LogFile, UnopenableFileFails) {
  EXPECT_EQ(open(dir_.file("missing/dir/x.log")), -1);
}

TEST_F(LogFile, FailingWritesKeepTheOtherSinks) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  open_on("/dev/full");
  log("still kept\n");
  log("and again\n");
  EXPECT_NE(last_lines(ctx_.get()).find("still kept\n"), std::string::npos);
  EXPECT_NE(last_lines(ctx_.get()).find("and again\n"), std::string::npos);
}

TEST_F(LogFile, LinesFromManyThreadsNeverInterleave) {
  open_on(dir_.file("mt.log"));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this, t] {
      const std::string text = "thread " + std::to_string(t) + " " + std::string(300, 'a' + t) + "\n";
      for (int i = 0; i < 100; ++i) log(text.c_str());
    });
  for (std::thread &t : threads) t.join();
  const std::string text = read_file(dir_.file("mt.log"));
  const std::regex whole(R"(\d{4}-\d\d-\d\d \S+ ERROR \d+ --- \[[^\] ]+\] mod writer\(\): thread (\d) ([a-d])\2{299})");
  size_t lines = 0;
  for (size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1, ++lines) {
    std::smatch m;
    const std::string line = text.substr(begin, end - begin);
    ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
    EXPECT_EQ(m[2].str()[0] - 'a', m[1].str()[0] - '0');
  }
  EXPECT_EQ(lines, 400u);
}

struct absolute_case {
  const char *name;
  bool absolute;
};

class LogFileName : public ::testing::TestWithParam<absolute_case> {};

TEST_P(LogFileName, AbsoluteNamesAreNotJoined) {
  EXPECT_EQ(log_path_is_absolute(GetParam().name), GetParam().absolute) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, LogFileName,
                         ::testing::Values(absolute_case{"/var/log/a", true}, absolute_case{"~/a", true},
                                           absolute_case{"\\a", true}, absolute_case{"c:a", true},
                                           absolute_case{"x://h/a", true},
                                           absolute_case{"srv:\\\\share", true},
                                           absolute_case{"a.log", false},
                                           absolute_case{"sub/a.log", false},
                                           absolute_case{"1:a", false}));

}  // namespace
