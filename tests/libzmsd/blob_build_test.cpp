// The build buffer byte for byte: the worked layouts, padding, the empty name, growth steps,
// reserve and trim of BINARY fields, and refusal of what 24 bits of length cannot hold.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "blob_msg.h"

namespace {

using bytes = std::vector<uint8_t>;

class BlobBuild : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(blob_buf_init(&b_, BLOB_MSG_ID), 0); }
  void TearDown() override { blob_buf_free(&b_); }
  bytes message() const {
    const auto *p = reinterpret_cast<const uint8_t *>(b_.head);
    return bytes(p, p + blob_buf_len(&b_));
  }
  blob_buf b_{};
};

TEST_F(BlobBuild, EmptyMessage) { EXPECT_EQ(message(), (bytes{0x02, 0x00, 0x00, 0x04})); }

TEST_F(BlobBuild, WorkedLayouts) {
  ASSERT_EQ(blobmsg_add_u64(&b_, "fd", 5), 0);
  EXPECT_EQ(message(), (bytes{0x02, 0x00, 0x00, 0x18,                          // container
                              0x85, 0x00, 0x00, 0x14,                          // INT64, 20
                              0x00, 0x02, 'f',  'd',  0x00, 0x00, 0x00, 0x00,  // "fd"
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05}));
  ASSERT_EQ(blob_buf_init(&b_, BLOB_MSG_ID), 0);
  ASSERT_EQ(blobmsg_add_string(&b_, "path", "/a"), 0);
  EXPECT_EQ(message(), (bytes{0x02, 0x00, 0x00, 0x14,                        // container
                              0x84, 0x00, 0x00, 0x0f,                        // STRING, 15
                              0x00, 0x04, 'p',  'a',  't', 'h', 0x00, 0x00,  // "path"
                              '/',  'a',  0x00, 0x00}));                     // "/a", pad
}

TEST_F(BlobBuild, TypedFieldsAreBigEndianAndSignExtended) {
  ASSERT_EQ(blobmsg_add_u32(&b_, "m", 0x01020304), 0);
  ASSERT_EQ(blobmsg_add_u64(&b_, "o", uint64_t(int64_t(-5))), 0);
  const bytes want = {
      0x02, 0x00, 0x00, 0x20,                                                  // container
      0x86, 0x00, 0x00, 0x0c, 0x00, 0x01, 'm', 0x00, 0x01, 0x02, 0x03, 0x04,  // INT32 "m"
      0x85, 0x00, 0x00, 0x10, 0x00, 0x01, 'o', 0x00,                          // INT64 "o"
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfb,
  };
  EXPECT_EQ(message(), want);
}

TEST_F(BlobBuild, EmptyNameHasAFourByteNameHeader) {
  ASSERT_EQ(blobmsg_add_field(&b_, BLOBMSG_TYPE_INT8, nullptr, "\x07", 1), 0);
  const bytes want = {
      0x02, 0x00, 0x00, 0x10,                          // container
      0x88, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00,  // INT8, raw 9, name length 0, pad
      0x07, 0x00, 0x00, 0x00,                          // value and padding
  };
  EXPECT_EQ(message(), want);
}

TEST_F(BlobBuild, ValuesArePaddedToFourBytes) {
  const struct {
    int value_len;
    uint32_t wire_len;  // of the attribute with name "v" (8-byte header part)
  } cases[] = {{0, 8}, {1, 12}, {4, 12}, {13, 24}, {16, 24}};
  for (const auto &c : cases) {
    ASSERT_EQ(blob_buf_init(&b_, BLOB_MSG_ID), 0);
    const std::string value(size_t(c.value_len), '\xee');
    ASSERT_EQ(blobmsg_add_field(&b_, BLOBMSG_TYPE_BINARY, "v", value.data(), c.value_len), 0);
    const bytes m = message();
    ASSERT_EQ(m.size(), 4 + c.wire_len) << c.value_len;
    for (size_t i = 4 + 8 + size_t(c.value_len); i < m.size(); ++i)
      EXPECT_EQ(m[i], 0) << c.value_len;
  }
}

TEST(BlobGrowth, FirstOpenAllocates256AndGrowsInStepsOf256) {
  blob_buf b{};
  ASSERT_EQ(blob_buf_init(&b, BLOB_MSG_ID), 0);
  EXPECT_EQ(b.buflen, 256);
  // Ends at 556, 300 bytes past the buffer: 4 + (8 + 544).
  const std::string value(544, 'x');
  ASSERT_EQ(blobmsg_add_field(&b, BLOBMSG_TYPE_BINARY, "x", value.data(), int(value.size())), 0);
  EXPECT_EQ(b.buflen, 256 + 512);
  EXPECT_EQ(blob_buf_len(&b), 556u);
  ASSERT_EQ(blob_buf_init(&b, BLOB_MSG_ID), 0);
  EXPECT_EQ(b.buflen, 768) << "memory is reused";
  EXPECT_EQ(blob_buf_len(&b), 4u);
  blob_buf_free(&b);
  EXPECT_EQ(b.buflen, 0);
  EXPECT_EQ(b.buf, nullptr);
}

TEST_F(BlobBuild, ManyFieldsSurviveTheBufferMoving) {
  for (int i = 0; i < 200; ++i) ASSERT_EQ(blobmsg_add_u32(&b_, "n", uint32_t(i)), 0);
  const bytes m = message();
  ASSERT_EQ(m.size(), 4u + 200 * 12);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(m[4 + 12 * i + 11], uint8_t(i));
}

TEST_F(BlobBuild, LengthsBeyondTwentyFourBitsAreRefused) {
  EXPECT_EQ(blobmsg_reserve_field(&b_, "d", 0xfffff8, nullptr), nullptr);  // raw length 2^24
  EXPECT_EQ(blobmsg_reserve_field(&b_, "d", 0x7ffffff0, nullptr), nullptr);
  EXPECT_EQ(blobmsg_add_field(&b_, BLOBMSG_TYPE_BINARY, "d", "x", -1), -1);
  EXPECT_EQ(blobmsg_add_field(&b_, 128, "d", "x", 1), -1);
  const std::string name(BLOB_NAME_LEN_MAX + 1, 'n');
  EXPECT_EQ(blobmsg_add_string(&b_, name.c_str(), "v"), -1);
  EXPECT_EQ(message(), (bytes{0x02, 0x00, 0x00, 0x04})) << "refusals leave the message unchanged";
  // The container's own length is bounded too: two fields that each fit but not together.
  ASSERT_NE(blobmsg_reserve_field(&b_, "a", 0x800000, nullptr), nullptr);
  EXPECT_EQ(blobmsg_reserve_field(&b_, "b", 0x800000, nullptr), nullptr);
}

TEST_F(BlobBuild, FailedGrowthLeavesTheMessage) {
  ASSERT_EQ(blobmsg_add_u32(&b_, "a", 1), 0);
  const bytes before = message();
  b_.grow = [](blob_buf *, int) { return false; };
  const std::string big(size_t(b_.buflen), 'x');
  EXPECT_EQ(blobmsg_add_field(&b_, BLOBMSG_TYPE_BINARY, "big", big.data(), int(big.size())), -1);
  EXPECT_EQ(blobmsg_reserve_field(&b_, "big", int(big.size()), nullptr), nullptr);
  EXPECT_EQ(message(), before);
  EXPECT_EQ(blobmsg_add_u32(&b_, "b", 2), 0) << "what fits needs no growth";
}

TEST_F(BlobBuild, ReserveAndTrimEqualsADirectAdd) {
  const char data[13] = "thirteen byt";
  ASSERT_EQ(blobmsg_add_u64(&b_, "fd", 3), 0);
  blob_attr *attr = nullptr;
  void *room = blobmsg_reserve_field(&b_, "data", 272, &attr);
  ASSERT_NE(room, nullptr);
  memset(room, 0xab, 272);  // a compressor may scribble over all of its room
  memcpy(room, data, sizeof data);
  ASSERT_EQ(blobmsg_trim_field(&b_, attr, sizeof data), 0);
  const bytes trimmed = message();

  ASSERT_EQ(blob_buf_init(&b_, BLOB_MSG_ID), 0);
  ASSERT_EQ(blobmsg_add_u64(&b_, "fd", 3), 0);
  ASSERT_EQ(blobmsg_add_field(&b_, BLOBMSG_TYPE_BINARY, "data", data, sizeof data), 0);
  EXPECT_EQ(trimmed, message());
}

TEST_F(BlobBuild, TrimRefusesGrowthAndEarlierFields) {
  blob_attr *first = nullptr, *second = nullptr;
  ASSERT_NE(blobmsg_reserve_field(&b_, "a", 16, &first), nullptr);
  EXPECT_EQ(blobmsg_trim_field(&b_, first, 17), -1);
  EXPECT_EQ(blobmsg_trim_field(&b_, first, -1), -1);
  ASSERT_NE(blobmsg_reserve_field(&b_, "b", 16, &second), nullptr);
  const bytes before = message();
  EXPECT_EQ(blobmsg_trim_field(&b_, first, 0), -1);
  EXPECT_EQ(message(), before);
  ASSERT_EQ(blobmsg_trim_field(&b_, second, 0), 0);
  EXPECT_EQ(blob_buf_len(&b_), 4u + 24 + 8);
}

}  // namespace
