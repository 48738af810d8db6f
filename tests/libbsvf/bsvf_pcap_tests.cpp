// Capture log files read back by tcpdump: one packet per written call with the call's time,
// appending to an existing capture, starting over on a foreign file, trimming to the newest
// whole packets, and a damaged packet chain.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bsv_bytes.h"
#include "bsv_log_catch.h"
#include "bsvf.h"
#include "bsvf_test_util.h"
#include "log2.h"
#include "log_test_util.h"

namespace {

uint64_t now_us() {
  timeval t{};
  gettimeofday(&t, nullptr);
  return static_cast<uint64_t>(t.tv_sec) * 1000000 + static_cast<uint64_t>(t.tv_usec);
}

long size_of(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

class BsvfCapture : public ::testing::Test {
 protected:
  void SetUp() override { ctx_ = quiet_ctx("time|tid|func"); }
  void open_capture(log2_ctx *ctx) {
    ASSERT_EQ(log2_ioctl(ctx, LOG2_IOCTL_FILE_OPEN, const_cast<char *>(path_.c_str()), 0), 0);
    ASSERT_EQ(log2_ioctl(ctx, LOG2_IOCTL_FILE_ON, log2_arg(1), 0), 0);
  }
  void log(log2_ctx *ctx, const std::string &msg, const char *tag = "vfs", uint32_t level = LOG2_INFO) {
    log2_printf(ctx, level, tag, "src/lib/libvfs/t.cpp", 5, "writer", "%s", msg.c_str());
  }
  std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const captured_packet &p : tcpdump_read(path_).packets) {
      const std::vector<std::string> texts = packet_texts(p.data);
      out.push_back(texts.size() == 6 ? texts[5] : "<bad packet>");
    }
    return out;
  }

  temp_dir dir_;
  std::string path_ = dir_.file("log.pcap");
  log_ctx_ptr ctx_;
};

TEST_F(BsvfCapture, OnePacketPerWrittenCallWithItsTime) {
  open_capture(ctx_.get());
  std::vector<uint64_t> before, after;
  for (int i = 0; i < 5; ++i) {
    before.push_back(now_us());
    log(ctx_.get(), "line " + std::to_string(i) + "\n");
    after.push_back(now_us());
    log(ctx_.get(), "filtered\n", "vfs", LOG2_VERB);
    log(ctx_.get(), "own tag\n", "net");
    log(ctx_.get(), "own tag\n", "bsv");
  }
  const std::string raw = read_file(path_);
  ASSERT_GE(raw.size(), BSVF_PCAP_HEAD_SIZE);
  EXPECT_EQ(raw.substr(0, 8), std::string("\xd4\xc3\xb2\xa1\x02\x00\x04\x00", 8));
  EXPECT_EQ(bsv_get_uint(reinterpret_cast<const uint8_t *>(raw.data()) + 20, 4, false), 147u);

  const capture_read cap = tcpdump_read(path_);
  EXPECT_EQ(cap.status, 0);
  EXPECT_EQ(cap.link_type, "147");
  ASSERT_EQ(cap.packets.size(), 5u);
  for (size_t i = 0; i < cap.packets.size(); ++i) {
    const captured_packet &p = cap.packets[i];
    EXPECT_GE(p.usec, before[i]) << i;
    EXPECT_LE(p.usec, after[i]) << i;
    ASSERT_GE(p.data.size(), 9u);
    EXPECT_EQ(bsv_get_uint(p.data.data(), 4, false), static_cast<uint64_t>(getpid()));
    EXPECT_EQ(p.data[8], LOG2_INFO);
    const std::vector<std::string> texts = packet_texts(p.data);
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], "vfs");
    EXPECT_EQ(texts[2], "libvfs/t.cpp");
    EXPECT_EQ(texts[3], "5");
    EXPECT_EQ(texts[4], "writer");
    EXPECT_EQ(texts[5], "line " + std::to_string(i) + "\n");
  }
}

TEST_F(BsvfCapture, SwitchedOffFileTakesNoRecords) {
  open_capture(ctx_.get());
  log(ctx_.get(), "kept\n");
  ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_FILE_ON, log2_arg(0), 0), 0);
  log(ctx_.get(), "not kept\n");
  EXPECT_EQ(messages(), std::vector<std::string>{"kept\n"});
}

TEST_F(BsvfCapture, DeletedFileIsCreatedAnew) {
  open_capture(ctx_.get());
  log(ctx_.get(), "gone\n");
  ASSERT_EQ(unlink(path_.c_str()), 0);
  log(ctx_.get(), "back\n");
  EXPECT_EQ(messages(), std::vector<std::string>{"back\n"});
}

TEST_F(BsvfCapture, UnwritablePathIsRefused) {
  const std::string bad = dir_.file("missing/log.pcap");
  EXPECT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_FILE_OPEN, const_cast<char *>(bad.c_str()), 0), -1);
  char out[4096];
  ASSERT_EQ(log2_file_path(ctx_.get(), out, sizeof out), 0);
  EXPECT_STREQ(out, "");
}

// Append mode comes from the configuration, as in the program.
class BsvfCaptureAppend : public BsvfCapture {
 protected:
  log_ctx_ptr appending() {
    write_file(dir_.file("zmue.ini"), "[log_cap]\nlevel=dbg\nfile_mode=a\nfile=" + path_ + "\n");
    log_ctx_ptr ctx(log2_init(dir_.file("zmue.ini").c_str(), "cap"));
    EXPECT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_CONSOLE_ON, log2_arg(0), 0), 0);
    return ctx;
  }
};

TEST_F(BsvfCaptureAppend, AddsToAnExistingCapture) {
  open_capture(ctx_.get());
  log(ctx_.get(), "old\n");
  ctx_.reset();
  log_ctx_ptr ctx = appending();
  log(ctx.get(), "new\n");
  EXPECT_EQ(messages(), (std::vector<std::string>{"old\n", "new\n"}));
}

TEST_F(BsvfCaptureAppend, StartsOverOnAFileThatIsNoCapture) {
  write_file(path_, "a text log line\n");
  log_ctx_ptr ctx = appending();
  log(ctx.get(), "new\n");
  const capture_read cap = tcpdump_read(path_);
  EXPECT_EQ(cap.status, 0);
  EXPECT_EQ(messages(), std::vector<std::string>{"new\n"});
}

TEST_F(BsvfCapture, TrimmingKeepsTheNewestWholePackets) {
  constexpr long kMax = 2048;
  ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_FILE_SIZE, log2_arg(kMax), 0), 0);
  open_capture(ctx_.get());
  const std::string pad(60, '.');
  long largest_packet = 0;
  int trims = 0;
  long previous = size_of(path_);
  for (int i = 0; i < 80; ++i) {
    log(ctx_.get(), "line " + std::to_string(i) + pad + "\n");
    const long size = size_of(path_);
    largest_packet = std::max(largest_packet, size - previous);
    ASSERT_LT(size, kMax) << i;
    if (size < previous) {
      ++trims;
      const long kept = size - static_cast<long>(BSVF_PCAP_HEAD_SIZE);
      EXPECT_GE(kept, kMax / 2 - 2 * largest_packet) << i;
      EXPECT_LE(kept, kMax / 2 + largest_packet) << i;
    }
    previous = size;
  }
  EXPECT_GE(trims, 2);
  const capture_read cap = tcpdump_read(path_);
  EXPECT_EQ(cap.status, 0);
  const std::vector<std::string> got = messages();
  ASSERT_FALSE(got.empty());
  // Consecutive and ending with the newest line.
  const int first = 80 - static_cast<int>(got.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(got[i], "line " + std::to_string(first + static_cast<int>(i)) + pad + "\n") << i;
}

// A packet whose length points beyond the file cannot be cut at: the file starts over.
TEST_F(BsvfCapture, DamagedChainStartsOver) {
  bsvf_pcap *pcap = bsvf_pcap_open(path_.c_str(), false);
  ASSERT_NE(pcap, nullptr);
  bsv_log_record record{};
  bsv_log_record_build(&record, LOG2_INFO, "vfs", "f.cpp", 1, "fn", "m");
  ASSERT_EQ(bsvf_pcap_write(pcap, record.data, record.len, 1 << 20), 0);
  bsvf_pcap_close(pcap);
  std::string raw = read_file(path_);
  raw[BSVF_PCAP_HEAD_SIZE + 8] = '\x7f';  // captured length far beyond the file
  raw[BSVF_PCAP_HEAD_SIZE + 9] = '\x7f';
  write_file(path_, raw);

  pcap = bsvf_pcap_open(path_.c_str(), true);
  ASSERT_NE(pcap, nullptr);
  {
    log_capture log;
    EXPECT_EQ(bsvf_pcap_write(pcap, record.data, record.len, 64), 0);
    EXPECT_NE(bsv_error_lines(log).find("file error offset="), std::string::npos) << bsv_error_lines(log);
  }
  EXPECT_EQ(size_of(path_), static_cast<long>(BSVF_PCAP_HEAD_SIZE));
  ASSERT_EQ(bsvf_pcap_write(pcap, record.data, record.len, 1 << 20), 0);
  bsvf_pcap_close(pcap);
  const capture_read cap = tcpdump_read(path_);
  EXPECT_EQ(cap.status, 0);
  EXPECT_EQ(cap.packets.size(), 1u);
}

}  // namespace
