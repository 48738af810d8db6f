// The record collector as the log uses it: a receiver socket on 127.0.0.1 gets the datagrams
// of flagged log calls only, plain for "udp", scrambled for "udps" (set up from the "bsvlog"
// key), long messages cut to one datagram, and nothing once the log is closed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bsv_bytes.h"
#include "bsvf.h"
#include "bsvf_test_util.h"
#include "log2.h"
#include "log_test_util.h"

namespace {

// The record carried by a checked datagram: after the fixed block and the host name.
bytes record_of(const bytes &d) {
  const size_t host_at = BSVF_DGRAM_HEAD_SIZE + BSVF_ORIGIN_SIZE;
  const size_t host_len = strnlen(reinterpret_cast<const char *>(&d[host_at]), d.size() - host_at);
  return bytes(d.begin() + static_cast<long>(host_at + host_len + 1), d.end() - 1);
}

std::string record_text(const bytes &record, const char *name) {
  bsv_value v{};
  if (bsv_value_init_type(&v, BSV_LOG_TYPE) != 0) return "<no type>";
  const char *text = bsv_value_get_str(&v, record.data(), record.size(), bsv_value_find(&v, name));
  return text ? text : "<missing>";
}

class BsvfCollector : public ::testing::Test {
 protected:
  void SetUp() override { ctx_ = quiet_ctx("time|tid|func"); }
  void open(const char *scheme) {
    ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_RECORD_NET_OPEN, const_cast<char *>(rx_.url(scheme).c_str()), 0), 0);
  }
  void log(uint32_t level, const char *tag, const std::string &msg) {
    log2_printf(ctx_.get(), level, tag, "src/lib/libvfs/t.cpp", 9, "caller", "%s", msg.c_str());
  }
  // The next datagram, checked the way a collector reads it.
  bytes next_checked() {
    bytes d = rx_.receive();
    if (d.empty()) return d;
    EXPECT_EQ(memcmp(d.data(), "bsv", 3), 0);
    EXPECT_EQ(bsv_get_uint(&d[4], 2, false), d.size());
    EXPECT_EQ(bsvf_dgram_check(d.data(), d.size()), BSVF_ORIGIN_TYPE);
    return d;
  }

  udp_receiver rx_;
  log_ctx_ptr ctx_;
};

TEST_F(BsvfCollector, FlaggedCallsOnlyArriveAsCheckedDatagrams) {
  open("udp");
  log(LOG2_INFO | LOG2_NET, "vfs", "first\n");
  bytes d = rx_.receive();
  ASSERT_FALSE(d.empty()) << "the datagram kept while opening never came";
  EXPECT_EQ(memcmp(d.data(), "bsv", 3), 0);
  EXPECT_EQ(d[3], 0x02);
  EXPECT_EQ(bsv_get_uint(&d[4], 2, false), d.size());
  EXPECT_EQ(d.back(), crc8_reference(&d[3], d.size() - 4));
  ASSERT_EQ(bsvf_dgram_check(d.data(), d.size()), BSVF_ORIGIN_TYPE);
  const bytes record = record_of(d);
  EXPECT_EQ(record_text(record, "tag"), "vfs");
  EXPECT_EQ(record_text(record, "file"), "libvfs/t.cpp");
  EXPECT_EQ(record_text(record, "func"), "caller");
  EXPECT_EQ(record_text(record, "msg"), "first\n");

  log(LOG2_INFO, "vfs", "no net bit\n");
  log(LOG2_INFO | LOG2_NET, "net", "own tag\n");
  log(LOG2_INFO | LOG2_NET, "bsv", "own tag\n");
  log(LOG2_VERB | LOG2_NET, "vfs", "filtered\n");
  log(LOG2_ERR | LOG2_NET, "vfs", "last\n");
  // Loopback keeps the order, so the next one shows that none of the others was sent.
  d = next_checked();
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(record_text(record_of(d), "msg"), "last\n");
  EXPECT_EQ(record_of(d)[20], LOG2_ERR);
}

TEST_F(BsvfCollector, RecordOnlyCallsReachTheCollectorButNoText) {
  open("udp");
  log(LOG2_INFO | LOG2_RECORD_ONLY, "vfs", "quiet\n");
  const bytes d = next_checked();
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(record_text(record_of(d), "msg"), "quiet\n");
  EXPECT_EQ(last_lines(ctx_.get()).find("quiet"), std::string::npos);
}

TEST_F(BsvfCollector, LongMessageIsCutToOneDatagram) {
  open("udp");
  const std::string msg(2000, 'L');
  log(LOG2_INFO | LOG2_NET, "vfs", msg);
  const bytes d = next_checked();
  ASSERT_FALSE(d.empty());
  EXPECT_LE(d.size(), BSVF_DGRAM_MAX);
  const std::string got = record_text(record_of(d), "msg");
  EXPECT_GT(got.size(), 1000u);
  EXPECT_EQ(got, msg.substr(0, got.size()));
}

TEST_F(BsvfCollector, ClosedLogSendsNothing) {
  open("udp");
  log(LOG2_INFO | LOG2_NET, "vfs", "before\n");
  ASSERT_FALSE(next_checked().empty());
  ctx_.reset();
  log_ctx_ptr other = quiet_ctx("");
  log2_printf(other.get(), LOG2_INFO | LOG2_NET, "vfs", __FILE__, __LINE__, __func__, "after\n");
  EXPECT_TRUE(rx_.receive(300).empty());
}

TEST_F(BsvfCollector, UrlWithoutHostIsRefused) {
  EXPECT_EQ(log_bsv_udp_open("udp://"), -1);
  EXPECT_EQ(log_bsv_udp_open("just-a-name"), -1);
}

// Set up from the configuration, as the program does: "udps" scrambles everything after the
// flags, and the key undoes it.
TEST(BsvfCollectorConf, UdpsFromTheLogSectionIsScrambled) {
  udp_receiver rx;
  temp_dir dir;
  write_file(dir.file("zmue.ini"), "[log_bsvf]\nlevel=dbg\nbsvlog=" + rx.url("udps") + "\n");
  log_ctx_ptr ctx(log2_init(dir.file("zmue.ini").c_str(), "bsvf"));
  ASSERT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_CONSOLE_ON, log2_arg(0), 0), 0);
  log2_printf(ctx.get(), LOG2_WARN | LOG2_NET, "vfs", __FILE__, __LINE__, __func__, "secret text\n");
  const bytes d = rx.receive();
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(memcmp(d.data(), "bsv\x06", 4), 0);
  const std::string raw(d.begin(), d.end());
  EXPECT_EQ(raw.find("secret text"), std::string::npos);

  const bytes clear = openssl_rc4(BSVF_SCRAMBLE_KEY, sizeof BSVF_SCRAMBLE_KEY, bytes(d.begin() + 4, d.end()));
  bytes whole(d.begin(), d.begin() + 4);
  whole.insert(whole.end(), clear.begin(), clear.end());
  EXPECT_EQ(bsv_get_uint(&whole[4], 2, false), whole.size());
  EXPECT_EQ(whole.back(), crc8_reference(&whole[3], whole.size() - 4));
  EXPECT_EQ(record_text(record_of(whole), "msg"), "secret text\n");
}

}  // namespace
