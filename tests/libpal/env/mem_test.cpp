// Tracked allocation: the counters after allocate/free, the resize rules, alignment of the
// caller's bytes, the text helpers and the exact "show memory" text.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "pal_env.h"

namespace {

class TrackedMemory : public ::testing::Test {
 protected:
  void SetUp() override { before = os_mem_get_stats(); }
  void TearDown() override {
    const os_mem_stats after = os_mem_get_stats();
    EXPECT_EQ(after.malloc_count, before.malloc_count) << "a test leaked a tracked block";
    EXPECT_EQ(after.malloc_bytes, before.malloc_bytes);
  }
  os_mem_stats before{};
};

TEST_F(TrackedMemory, AllocateAndFreeRestoreTheCounters) {
  void *block = os_malloc(100);
  ASSERT_NE(block, nullptr);
  const os_mem_stats during = os_mem_get_stats();
  EXPECT_EQ(during.malloc_count, before.malloc_count + 1);
  EXPECT_EQ(during.malloc_bytes, before.malloc_bytes + 100);
  EXPECT_GE(during.malloc_max_size, 100u);
  EXPECT_GE(during.malloc_max_count, during.malloc_count);
  EXPECT_GE(during.malloc_max_bytes, during.malloc_bytes);
  os_free(block);
  os_free(nullptr);
}

TEST_F(TrackedMemory, BlocksAreAlignedForAnyType) {
  void *blocks[48];
  for (size_t i = 0; i < 48; ++i) {
    blocks[i] = os_malloc(i + 1);
    ASSERT_NE(blocks[i], nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[i]) % alignof(std::max_align_t), 0u) << i;
  }
  auto *grown = static_cast<long double *>(os_realloc(blocks[0], 4 * sizeof(long double)));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(grown) % alignof(std::max_align_t), 0u);
  grown[3] = 1.5L;
  blocks[0] = grown;
  for (void *b : blocks) os_free(b);
}

TEST_F(TrackedMemory, ShrinkKeepsTheBlockAndItsRecordedSize) {
  void *block = os_malloc(100);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(os_realloc(block, 50), block);
  EXPECT_EQ(os_mem_get_stats().malloc_bytes, before.malloc_bytes + 100);
  EXPECT_EQ(os_realloc(block, 100), block);
  EXPECT_EQ(os_realloc(block, 0), nullptr);
}

TEST_F(TrackedMemory, GrowCopiesTheRecordedBytes) {
  auto *block = static_cast<unsigned char *>(os_malloc(100));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 100; ++i) block[i] = static_cast<unsigned char>(i);
  auto *grown = static_cast<unsigned char *>(os_realloc(block, 300));
  ASSERT_NE(grown, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(grown[i], i);
  EXPECT_EQ(os_mem_get_stats().malloc_count, before.malloc_count + 1);
  EXPECT_EQ(os_mem_get_stats().malloc_bytes, before.malloc_bytes + 300);
  os_free(grown);
}

TEST_F(TrackedMemory, ResizeOfNothingAllocates) {
  void *block = os_realloc(nullptr, 10);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(os_mem_get_stats().malloc_bytes, before.malloc_bytes + 10);
  os_free(block);
}

TEST_F(TrackedMemory, ZeroedFormsAndOverflow) {
  auto *z = static_cast<unsigned char *>(os_zalloc(64));
  auto *c = static_cast<uint32_t *>(os_calloc(16, sizeof(uint32_t)));
  ASSERT_NE(z, nullptr);
  ASSERT_NE(c, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(z[i], 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(c[i], 0u);
  EXPECT_EQ(os_mem_get_stats().malloc_bytes, before.malloc_bytes + 128);
  os_free(z);
  os_free(c);
  EXPECT_EQ(os_calloc(SIZE_MAX / 2, 4), nullptr);
  EXPECT_EQ(os_malloc(SIZE_MAX), nullptr);
}

TEST_F(TrackedMemory, TextHelpers) {
  char *dup = os_strdup("mount");
  char *part = os_strndup("mount", 3);
  char *whole = os_strndup("ab", 10);
  char *fmt = nullptr;
  EXPECT_EQ(os_asprintf(&fmt, "%s=%d", "port", 9000), 9);
  EXPECT_STREQ(dup, "mount");
  EXPECT_STREQ(part, "mou");
  EXPECT_STREQ(whole, "ab");
  EXPECT_STREQ(fmt, "port=9000");
  EXPECT_EQ(os_mem_get_stats().malloc_count, before.malloc_count + 4);
  EXPECT_EQ(os_strdup(nullptr), nullptr);
  for (char *t : {dup, part, whole, fmt}) os_free(t);
}

TEST_F(TrackedMemory, StatsTextHasFiveLinesInOrder) {
  void *held = os_malloc(1000);
  const os_mem_stats s = os_mem_get_stats();
  char *text = os_mem_stats_text();
  ASSERT_NE(text, nullptr);
  const std::string expected =
      "malloc_count=" + std::to_string(s.malloc_count) + "\nmalloc_bytes=" +
      std::to_string(s.malloc_bytes) + "\nmalloc_max_size=" + std::to_string(s.malloc_max_size) +
      "\nmalloc_max_count=" + std::to_string(s.malloc_max_count) +
      "\nmalloc_max_bytes=" + std::to_string(s.malloc_max_bytes) + "\n";
  EXPECT_EQ(text, expected);
  os_free(text);
  os_free(held);
}

TEST_F(TrackedMemory, ExitReportsBlocksLeftAllocated) {
  ASSERT_EQ(before.malloc_count, 0u) << "another test leaked";
  void *block = os_malloc(1);
  EXPECT_EQ(pl_exit(), 1);
  os_free(block);
  EXPECT_EQ(pl_exit(), 0);
}

}  // namespace
