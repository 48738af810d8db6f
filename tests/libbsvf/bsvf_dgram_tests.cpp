// Datagram building blocks: CRC-8 against its check value and a bitwise reference, RC4 against
// a published vector and openssl, the datagram layout read back through the type-5 descriptor,
// the size limit, the receiver's check with each refusal, and the sender's identity fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bsv_bytes.h"
#include "bsv_log_catch.h"
#include "bsvf.h"
#include "bsvf_test_util.h"

namespace {

TEST(BsvfCrc8, CheckValueAndReference) {
  EXPECT_EQ(bsvf_crc8("123456789", 9), 0xF4);
  EXPECT_EQ(bsvf_crc8("", 0), 0x00);
  bytes data(1500);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
  for (size_t len : {1u, 2u, 255u, 256u, 1500u})
    EXPECT_EQ(bsvf_crc8(data.data(), len), crc8_reference(data.data(), len)) << len;
}

// RFC 6229, key 0x0102030405, keystream bytes 0 to 15.
TEST(BsvfRc4, PublishedKeystream) {
  const uint8_t key[] = {1, 2, 3, 4, 5};
  uint8_t data[16] = {};
  bsvf_rc4(key, sizeof key, data, sizeof data);
  const uint8_t want[16] = {0xb2, 0x39, 0x63, 0x05, 0xf0, 0x3d, 0xc0, 0x27,
                            0xcc, 0xc3, 0x52, 0x4a, 0x0a, 0x11, 0x18, 0xa8};
  EXPECT_EQ(memcmp(data, want, sizeof want), 0);
}

TEST(BsvfRc4, AgreesWithOpensslOnTheScrambleKey) {
  bytes data(700);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  bytes mine = data;
  bsvf_rc4(BSVF_SCRAMBLE_KEY, sizeof BSVF_SCRAMBLE_KEY, mine.data(), mine.size());
  EXPECT_EQ(mine, openssl_rc4(BSVF_SCRAMBLE_KEY, sizeof BSVF_SCRAMBLE_KEY, data));
  bsvf_rc4(BSVF_SCRAMBLE_KEY, sizeof BSVF_SCRAMBLE_KEY, mine.data(), mine.size());
  EXPECT_EQ(mine, data);
}

class BsvfDgram : public ::testing::Test {
 protected:
  void SetUp() override {
    bsvf_set_app_ver("1.7.2.0");
    record_len_ = bsv_log_record_build(&record_, LOG2_INFO, "vfs", "src/lib/libvfs/x.cpp", 7, "fn", "hello\n");
  }
  bytes build(bool scramble) {
    bytes out(BSVF_DGRAM_MAX);
    const int n = bsvf_dgram_build(out.data(), out.size(), record_.data, record_len_, BSV_LOG_TYPE, scramble);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
  }
  bsv_log_record record_{};
  size_t record_len_ = 0;
};

TEST_F(BsvfDgram, LayoutOfAPlainDatagram) {
  const bytes d = build(false);
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(memcmp(d.data(), "bsv", 3), 0);
  EXPECT_EQ(d[3], 0x02);
  EXPECT_EQ(bsv_get_uint(&d[4], 2, false), d.size());
  EXPECT_EQ(bsv_get_uint(&d[6], 2, false), 5u);
  EXPECT_EQ(d.back(), crc8_reference(&d[3], d.size() - 4));

  bsv_value v{};
  ASSERT_EQ(bsv_value_init_type(&v, BSVF_ORIGIN_TYPE), 0);
  const uint8_t *block = &d[BSVF_DGRAM_HEAD_SIZE];
  const size_t block_len = d.size() - 1 - BSVF_DGRAM_HEAD_SIZE;
  const bsvf_origin origin = bsvf_origin_get();
  uint64_t sid = 0, stime = 0;
  uint32_t ver = 0;
  uint16_t app = 0, type_id = 0;
  uint8_t os = 0;
  ASSERT_EQ(bsv_value_get_u64(&v, block, block_len, bsv_value_find(&v, "sid"), &sid), 0);
  ASSERT_EQ(bsv_value_get_u64(&v, block, block_len, bsv_value_find(&v, "stime"), &stime), 0);
  ASSERT_EQ(bsv_value_get_u32(&v, block, block_len, bsv_value_find(&v, "ver_id"), &ver), 0);
  ASSERT_EQ(bsv_value_get_u16(&v, block, block_len, bsv_value_find(&v, "app_id"), &app), 0);
  ASSERT_EQ(bsv_value_get_u8(&v, block, block_len, bsv_value_find(&v, "os_id"), &os), 0);
  ASSERT_EQ(bsv_value_get_u16(&v, block, block_len, bsv_value_find(&v, "type_id"), &type_id), 0);
  EXPECT_EQ(sid, origin.sid);
  EXPECT_EQ(stime, origin.stime);
  EXPECT_EQ(ver, 0x01070200u);
  EXPECT_EQ(app, origin.app_id);
  EXPECT_EQ(os, 2);
  EXPECT_EQ(type_id, BSV_LOG_TYPE);
  const char *host = bsv_value_get_str(&v, block, block_len, bsv_value_find(&v, "hostname"));
  ASSERT_NE(host, nullptr);
  EXPECT_STREQ(host, origin.hostname);
  const uint8_t *data = reinterpret_cast<const uint8_t *>(host) + strlen(host) + 1;
  EXPECT_EQ(static_cast<size_t>(&d.back() - data), record_len_);
  EXPECT_EQ(memcmp(data, record_.data, record_len_), 0);
}

TEST_F(BsvfDgram, ScrambledDatagramUnscramblesWithTheKey) {
  const bytes plain = build(false);
  const bytes scrambled = build(true);
  ASSERT_EQ(scrambled.size(), plain.size());
  EXPECT_EQ(memcmp(scrambled.data(), "bsv\x06", 4), 0);
  EXPECT_NE(memcmp(&scrambled[8], &plain[8], plain.size() - 9), 0);
  const bytes tail(scrambled.begin() + 4, scrambled.end());
  const bytes clear = openssl_rc4(BSVF_SCRAMBLE_KEY, sizeof BSVF_SCRAMBLE_KEY, tail);
  bytes whole(scrambled.begin(), scrambled.begin() + 4);
  whole.insert(whole.end(), clear.begin(), clear.end());
  EXPECT_EQ(bsv_get_uint(&whole[4], 2, false), whole.size());
  EXPECT_EQ(whole.back(), crc8_reference(&whole[3], whole.size() - 4));
  EXPECT_EQ(memcmp(&whole[4], &plain[4], plain.size() - 5), 0);  // all but flags and CRC

  bytes checked = scrambled;
  EXPECT_EQ(bsvf_dgram_check(checked.data(), checked.size()), BSVF_ORIGIN_TYPE);
  EXPECT_EQ(checked, whole);
}

TEST_F(BsvfDgram, SizeLimit) {
  uint8_t out[BSVF_DGRAM_MAX + 16];
  const size_t room = bsvf_dgram_room();
  const bytes big(room + 1, 'x');
  EXPECT_EQ(bsvf_dgram_build(out, sizeof out, big.data(), room, 1, false), static_cast<int>(BSVF_DGRAM_MAX));
  EXPECT_EQ(bsvf_dgram_build(out, sizeof out, big.data(), room + 1, 1, false), -1);
  // The record's own length varies (its process and thread numbers, the host name), so the
  // buffer that is one byte short is measured, not assumed.
  const int whole = bsvf_dgram_build(out, sizeof out, record_.data, record_len_, 1, false);
  ASSERT_GT(whole, 0);
  EXPECT_EQ(bsvf_dgram_build(out, size_t(whole), record_.data, record_len_, 1, false), whole);
  EXPECT_EQ(bsvf_dgram_build(out, size_t(whole) - 1, record_.data, record_len_, 1, false), -1);
}

struct check_case {
  const char *name;
  void (*spoil)(bytes &d);
  const char *message;
};

class BsvfDgramCheck : public BsvfDgram, public ::testing::WithParamInterface<check_case> {};

TEST_P(BsvfDgramCheck, RefusesWithItsReason) {
  bytes d = build(false);
  GetParam().spoil(d);
  log_capture log;
  EXPECT_EQ(bsvf_dgram_check(d.data(), d.size()), -1);
  EXPECT_EQ(bsv_error_lines(log), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BsvfDgramCheck,
    ::testing::Values(
        check_case{"short", [](bytes &d) { d.resize(15); }, "len=15 error: len<16 \n"},
        check_case{"magic", [](bytes &d) { d[1] = 'x'; }, "magic 0x62-0x78-0x76 error\n"},
        check_case{"version", [](bytes &d) { d[3] = 0x12; }, "ver=1 not supportd\n"},
        check_case{"crc", [](bytes &d) { d[20] ^= 1; }, "crc check failed\n"}),
    [](const auto &info) { return std::string(info.param.name); });

// One byte more than the length field says, with a CRC that fits the longer datagram.
TEST_F(BsvfDgram, CheckRefusesALengthMismatch) {
  bytes d = build(false);
  const size_t field = d.size();
  d.push_back(0);
  d.back() = bsvf_crc8(&d[3], d.size() - 4);
  log_capture log;
  EXPECT_EQ(bsvf_dgram_check(d.data(), d.size()), -1);
  EXPECT_EQ(bsv_error_lines(log), "len=" + std::to_string(field) + " dlen=" + std::to_string(d.size()) +
                            " endian=0 error: len!=dlen\n");
}

struct id_case {
  const char *name;
  int id;
};

TEST(BsvfOrigin, IdentityTables) {
  EXPECT_EQ(bsvf_version_id("1.7.2.0"), 0x01070200u);
  EXPECT_EQ(bsvf_version_id("2.10"), 0x020a0000u);
  EXPECT_EQ(bsvf_version_id(""), 0u);
  EXPECT_EQ(bsvf_app_id("zmue"), 7);
  EXPECT_EQ(bsvf_app_id("other"), 0);
  for (const id_case &c : {id_case{"windows", 1}, id_case{"linux", 2}, id_case{"freebsd", 5}, id_case{"beos", 0}})
    EXPECT_EQ(bsvf_os_id(c.name), c.id) << c.name;
  for (const id_case &c : {id_case{"x86", 1}, id_case{"x86_64", 2}, id_case{"aarch64", 10}, id_case{"mips", 20},
                           id_case{"mipsel", 21}, id_case{"loongarch64", 25}, id_case{"sparc", 0}})
    EXPECT_EQ(bsvf_arch_id(c.name), c.id) << c.name;
}

}  // namespace
