// The compressor registry and context, and both compressors: exact-name look-up, the bound,
// round trips through a session context, and decompression that must not pass the room.
#include "pack_ex.h"

#include <gtest/gtest.h>
#include <lz4.h>

#include <cstring>
#include <vector>

namespace {

TEST(SdcompBound, KnownValuesAndLimits) {
  const struct {
    int n;
    int want;
  } cases[] = {{0, 16},
               {255, 272},
               {10485760, 10526896},
               {SDCOMP_INPUT_MAX, SDCOMP_INPUT_MAX + SDCOMP_INPUT_MAX / 255 + 16},
               {SDCOMP_INPUT_MAX + 1, 0},
               {-1, 0}};
  for (const auto &c : cases) EXPECT_EQ(sdcomp_bound(c.n), c.want) << c.n;
  for (int n : {0, 1, 254, 255, 256, 65536, 10485760})
    EXPECT_EQ(sdcomp_bound(n), LZ4_compressBound(n));
}

TEST(ZcompFind, ExactNamesAndIds) {
  for (const char *name : {"none", "lz4"}) {
    zcomp *c = zcomp_find(name, nullptr);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_STREQ(c->desc->name, name);
    EXPECT_NE(c->state, nullptr);
    zcomp_free(c);
  }
  for (const char *name : {"LZ4", "None", "", "lz4 ", "zstd"})
    EXPECT_EQ(zcomp_find(name, nullptr), nullptr) << name;
  EXPECT_EQ(zcomp_find(nullptr, nullptr), nullptr);
  for (uint32_t id : {0u, 1u}) {
    zcomp *c = zcomp_find_id(id, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->desc->id, id);
    zcomp_free(c);
  }
  EXPECT_EQ(zcomp_find_id(2, nullptr), nullptr);
}

class SdcompContext : public ::testing::Test {
 protected:
  void TearDown() override { sdcomp_free(&ctx_); }
  int init(const char *name, uint32_t id) {
    snprintf(ctx_.name, sizeof ctx_.name, "%s", name);
    ctx_.id = id;
    return sdcomp_init(&ctx_);
  }
  sdcomp_ctx ctx_{};
};

TEST_F(SdcompContext, ChoosesByNameThenById) {
  ASSERT_EQ(init("lz4", 0), 0);
  EXPECT_EQ(ctx_.id, 1u);
  ASSERT_EQ(init("", 0), 0);
  EXPECT_STREQ(ctx_.comp->desc->name, "none");
  EXPECT_EQ(init("LZ4", 1), -1);
  EXPECT_EQ(ctx_.comp, nullptr);
}

TEST_F(SdcompContext, NoCompressorFailsPackAndUnpack) {
  char in[4] = {1, 2, 3, 4}, out[64];
  EXPECT_EQ(sdcomp_pack(&ctx_, in, 4, out, sizeof out), -1);
  EXPECT_EQ(sdcomp_unpack(&ctx_, in, 4, out, sizeof out), -1);
  ASSERT_EQ(init("nope", 0), -1);
  EXPECT_EQ(sdcomp_pack(&ctx_, in, 4, out, sizeof out), -1);
}

std::vector<char> sample(size_t n, bool compressible) {
  std::vector<char> v(n);
  uint32_t x = 88172645u;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v[i] = compressible ? char("abcabcabd"[i % 9] + (i / 4096) % 3) : char(x);
  }
  return v;
}

TEST_F(SdcompContext, RoundTripsThroughBothCompressors) {
  for (const char *name : {"none", "lz4"}) {
    ASSERT_EQ(init(name, 0), 0);
    for (size_t n : {0u, 1u, 13u, 4096u, 1u << 20}) {
      for (bool compressible : {true, false}) {
        const auto in = sample(n, compressible);
        std::vector<char> packed(static_cast<size_t>(sdcomp_bound(int(n))));
        const int plen = sdcomp_pack(&ctx_, in.data(), int(n), packed.data(), int(packed.size()));
        ASSERT_GE(plen, 0) << name << " " << n;
        std::vector<char> out(n + 1);
        EXPECT_EQ(sdcomp_unpack(&ctx_, packed.data(), plen, out.data(), int(n)), int(n));
        if (n > 0) {
          EXPECT_EQ(memcmp(out.data(), in.data(), n), 0) << name << " " << n;
        }
        if (compressible && n == (1u << 20) && strcmp(name, "lz4") == 0) {
          EXPECT_LT(plen, int(n) / 4);
        }
      }
    }
  }
}

// Decompressing into a room smaller than the payload fails and leaves the bytes past the room.
TEST_F(SdcompContext, OverflowingTheRoomIsRefused) {
  const auto in = sample(5000, true);
  for (const char *name : {"none", "lz4"}) {
    ASSERT_EQ(init(name, 0), 0);
    std::vector<char> packed(static_cast<size_t>(sdcomp_bound(5000)));
    const int plen = sdcomp_pack(&ctx_, in.data(), 5000, packed.data(), int(packed.size()));
    ASSERT_GT(plen, 0);
    std::vector<char> out(5000, '#');
    EXPECT_LT(sdcomp_unpack(&ctx_, packed.data(), plen, out.data(), 4096), 0) << name;
    for (size_t i = 4096; i < out.size(); ++i) ASSERT_EQ(out[i], '#') << name << " at " << i;
  }
}

TEST_F(SdcompContext, TruncatedOrCorruptLz4BlockFails) {
  ASSERT_EQ(init("lz4", 0), 0);
  const auto in = sample(4096, false);
  std::vector<char> packed(static_cast<size_t>(sdcomp_bound(4096)));
  const int plen = sdcomp_pack(&ctx_, in.data(), 4096, packed.data(), int(packed.size()));
  ASSERT_GT(plen, 16);
  std::vector<char> out(4096);
  EXPECT_LT(sdcomp_unpack(&ctx_, packed.data(), plen - 7, out.data(), 4096), 0);
  EXPECT_LT(sdcomp_unpack(&ctx_, packed.data(), -1, out.data(), 4096), 0);
  const char junk[] = "\xff\xff\xff\xff\xff\xff\xff\xff";
  EXPECT_LT(sdcomp_unpack(&ctx_, junk, 8, out.data(), 4096), 0);
}

TEST_F(SdcompContext, CompressingIntoTooLittleRoomFails) {
  const auto in = sample(4096, false);
  std::vector<char> packed(100);
  for (const char *name : {"none", "lz4"}) {
    ASSERT_EQ(init(name, 0), 0);
    EXPECT_LT(sdcomp_pack(&ctx_, in.data(), 4096, packed.data(), 100), 0) << name;
  }
}

}  // namespace
