// Write cache through the VFS core: coalescing, the flush before every operation that must see
// the data, and that no accepted byte is lost: failed flushes are reported and retried, short
// driver writes continue with the remainder.
#include <functional>

#include "pal_env.h"
#include "vfs_fixture.h"

namespace {

class WriteCacheTest : public FakeMountTest {
 protected:
  VfsHandle *open_new(const std::string &query = "") {
    mount(query);
    VfsHandle *fh = vfs_open2(mount_, "/w", VFS_PL_O_WRONLY | VFS_PL_O_CREAT, 0644);
    EXPECT_NE(fh, nullptr);
    fake_state().calls.clear();
    return fh;
  }
  // Writes blocks first..last-1 of `block` bytes, each at its place in the pattern file.
  static void write_blocks(VfsHandle *fh, int first, int last, uint32_t block = 4096) {
    for (int i = first; i < last; ++i) {
      const size_t offset = static_cast<size_t>(i) * block;
      const auto data = pattern(block, offset);
      ASSERT_EQ(vfs_write(fh, data.data(), block, static_cast<int64_t>(offset)),
                static_cast<int>(block));
    }
  }
  static const std::vector<uint8_t> &file() { return fake_state().files["/w"]; }
};

TEST_F(WriteCacheTest, SequentialWritesCoalesceIntoOneDriverWritePerBuffer) {
  VfsHandle *fh = open_new();
  write_blocks(fh, 0, 512);
  EXPECT_EQ(fake_state().count("write"), 0u);
  write_blocks(fh, 512, 513);  // no room left: the full buffer goes first
  auto writes = fake_state().only("write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].size, 2 * kMiB);
  EXPECT_EQ(writes[0].offset, 0);
  EXPECT_EQ(vfs_close(fh), 0);
  writes = fake_state().only("write");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].size, 4096u);
  EXPECT_EQ(writes[1].offset, 2 * kMiB);
  EXPECT_EQ(file(), pattern(2 * kMiB + 4096));
}

TEST_F(WriteCacheTest, CacheSizeComesFromTheMountUrl) {
  VfsHandle *fh = open_new("wcache_size=512k");
  write_blocks(fh, 0, 128);
  EXPECT_EQ(fake_state().count("write"), 0u);
  write_blocks(fh, 128, 129);
  const auto writes = fake_state().only("write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].size, 524288u);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(WriteCacheTest, NonContiguousWriteFlushesTheFirstOne) {
  VfsHandle *fh = open_new();
  const auto data = pattern(8192);
  ASSERT_EQ(vfs_write(fh, data.data(), 4096, 0), 4096);
  ASSERT_EQ(vfs_write(fh, data.data(), 4096, 8192), 4096);
  const auto writes = fake_state().only("write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].offset, 0);
  EXPECT_EQ(writes[0].size, 4096u);
  EXPECT_EQ(vfs_close(fh), 0);
  EXPECT_EQ(fake_state().only("write").back().offset, 8192);
}

TEST_F(WriteCacheTest, WriteOfCapacityGoesStraightToTheDriverAfterTheBuffer) {
  VfsHandle *fh = open_new("wcache_size=64k");
  write_blocks(fh, 0, 1);
  const auto big = pattern(65536, 4096);
  ASSERT_EQ(vfs_write(fh, big.data(), 65536, 4096), 65536);
  const auto writes = fake_state().only("write");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].offset, 0);
  EXPECT_EQ(writes[1].size, 65536u);
  EXPECT_EQ(vfs_close(fh), 0);
  EXPECT_EQ(file(), pattern(4096 + 65536));
}

// Every operation that must see the accepted data writes it to the driver before its own call.
TEST_F(WriteCacheTest, OperationsFlushBeforeCallingTheDriver) {
  struct Case {
    const char *op;
    std::function<int64_t(VfsHandle *)> call;
  };
  const Case cases[] = {
      {"fsync", [](VfsHandle *fh) { return vfs_fsync(fh, 0); }},
      {"lseek", [](VfsHandle *fh) { return vfs_lseek(fh, 0, SEEK_SET); }},
      {"fstat",
       [](VfsHandle *fh) {
         VfsFileInfo info;
         return vfs_fstat(fh, &info);
       }},
      {"ftruncate", [](VfsHandle *fh) { return vfs_ftruncate(fh, 4096); }},
      {"read",
       [](VfsHandle *fh) {
         char b[16];
         return vfs_read(fh, b, sizeof b, 0);
       }},
      {"close", [](VfsHandle *fh) { return vfs_release(fh); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.op);
    fake_state().reset();
    VfsHandle *fh = open_new();
    write_blocks(fh, 0, 1);
    ASSERT_GE(c.call(fh), 0);
    const auto &calls = fake_state().calls;
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].op, "write");
    EXPECT_EQ(calls[1].op, c.op);
    if (std::string(c.op) != "close") {
      EXPECT_EQ(vfs_close(fh), 0);
    }
    ASSERT_EQ(vfs_umount(mount_), 0);
    mount_ = nullptr;
  }
}

TEST_F(WriteCacheTest, ReadAfterWriteSeesTheWrite) {
  VfsHandle *fh = open_new();
  const char text[] = "written through the cache";
  ASSERT_EQ(vfs_write(fh, text, sizeof text, 100), static_cast<int>(sizeof text));
  char back[sizeof text] = {};
  ASSERT_EQ(vfs_read(fh, back, sizeof back, 100), static_cast<int>(sizeof text));
  EXPECT_STREQ(back, text);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(WriteCacheTest, FailedFlushIsReportedAndTheDataStaysPending) {
  VfsHandle *fh = open_new();
  write_blocks(fh, 0, 4);
  fake_state().write_fail_code = VERR_DISK_FULL;
  EXPECT_EQ(vfs_flush(fh), -1);
  EXPECT_EQ(vfs_get_errno(fh), VERR_DISK_FULL);
  EXPECT_EQ(vfs_get_posix_errno(fh), ENOSPC);
  // The operations that need the data refuse to go on without it.
  EXPECT_EQ(vfs_fsync(fh, 0), -1);
  EXPECT_EQ(fake_state().count("fsync"), 0u);

  fake_state().write_fail_code = 0;
  EXPECT_EQ(vfs_flush(fh), 0);
  EXPECT_EQ(file(), pattern(4 * 4096));
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(WriteCacheTest, CloseAfterFailedFlushReportsItAndStillClosesTheDriverHandle) {
  VfsHandle *fh = open_new();
  write_blocks(fh, 0, 1);
  fake_state().write_fail_code = VERR_WRITE_ERROR;
  EXPECT_EQ(vfs_release(fh), -1);
  EXPECT_EQ(vfs_get_errno(mount_), VERR_WRITE_ERROR);
  EXPECT_EQ(fake_state().count("close"), 1u);
  EXPECT_EQ(fake_state().open_handles, 0);
  char *dump = vfs_dump_handles(mount_);
  EXPECT_STREQ(dump, "");
  os_free(dump);
}

TEST_F(WriteCacheTest, ShortDriverWritesAreRetriedWithTheRemainder) {
  VfsHandle *fh = open_new();
  write_blocks(fh, 0, 10);
  fake_state().write_max = 3000;
  ASSERT_EQ(vfs_flush(fh), 0);
  const auto writes = fake_state().only("write");
  ASSERT_EQ(writes.size(), (10 * 4096 + 2999) / 3000);
  for (size_t i = 0; i < writes.size(); ++i)
    EXPECT_EQ(writes[i].offset, 3000 * static_cast<int64_t>(i));
  EXPECT_EQ(file(), pattern(10 * 4096));
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(WriteCacheTest, FailureInTheMiddleOfAFlushKeepsOnlyTheUnwrittenRest) {
  VfsHandle *fh = open_new();
  write_blocks(fh, 0, 10);
  fake_state().write_max = 3000;
  fake_state().write_fail_code = VERR_DEV_IO_ERROR;
  fake_state().write_fail_after = 2;
  EXPECT_EQ(vfs_flush(fh), -1);
  fake_state().write_fail_code = 0;
  fake_state().write_max = 0;
  fake_state().calls.clear();
  ASSERT_EQ(vfs_flush(fh), 0);
  const auto writes = fake_state().only("write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].offset, 6000);
  EXPECT_EQ(writes[0].size, 10u * 4096 - 6000);
  EXPECT_EQ(file(), pattern(10 * 4096));
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(WriteCacheTest, DriverTakingNothingEndsTheFlushWithAnError) {
  VfsHandle *fh = open_new();
  write_blocks(fh, 0, 1);
  fake_state().write_zero = true;  // the driver answers 0 bytes: the flush must not spin
  EXPECT_EQ(vfs_flush(fh), -1);
  EXPECT_EQ(vfs_get_errno(fh), VERR_WRITE_ERROR);
  EXPECT_EQ(vfs_close(fh), -1);
}

TEST_F(WriteCacheTest, UmountWritesPendingDataThenClosesTheHandles) {
  VfsHandle *fh = open_new();
  write_blocks(fh, 0, 3);
  ASSERT_NE(fh, nullptr);
  ASSERT_EQ(vfs_umount(mount_), 0);
  mount_ = nullptr;
  const auto &calls = fake_state().calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].op, "write");
  EXPECT_EQ(calls[1].op, "close");
  EXPECT_EQ(file(), pattern(3 * 4096));
}

}  // namespace
