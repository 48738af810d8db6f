// Read cache through the VFS core: how many driver reads a sequence of reads costs, and that the
// bytes delivered are the file's bytes.
#include "vfs_fixture.h"

namespace {

class ReadCacheTest : public FakeMountTest {
 protected:
  VfsHandle *open_file(size_t size, const std::string &query = "") {
    fake_state().files["/f"] = pattern(size);
    mount(query);
    VfsHandle *fh = vfs_open(mount_, "/f", VFS_O_RDONLY);
    EXPECT_NE(fh, nullptr);
    return fh;
  }
  // Reads `size` bytes at `offset` and checks them against the file's pattern.
  void read_and_check(VfsHandle *fh, uint32_t size, int64_t offset, int expected) {
    std::vector<uint8_t> buf(size);
    ASSERT_EQ(vfs_read(fh, buf.data(), size, offset), expected) << "offset " << offset;
    buf.resize(expected);
    EXPECT_EQ(buf, pattern(expected, offset)) << "offset " << offset;
  }
};

TEST_F(ReadCacheTest, SequentialReadsCostOneDriverReadPerBuffer) {
  VfsHandle *fh = open_file(4 * kMiB);
  for (int i = 0; i < 512; ++i) read_and_check(fh, 4096, i * 4096, 4096);
  auto reads = fake_state().only("read");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].size, 2 * kMiB);
  EXPECT_EQ(reads[0].offset, 0);

  read_and_check(fh, 4096, 512 * 4096, 4096);
  reads = fake_state().only("read");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].offset, 2 * kMiB);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(ReadCacheTest, ReadOfCapacityBypassesAndEmptiesTheCache) {
  VfsHandle *fh = open_file(8 * kMiB);
  read_and_check(fh, 4096, 0, 4096);
  read_and_check(fh, 2 * kMiB, 4096, 2 * kMiB);
  // The buffered bytes after 4096 were dropped: continuing there needs a new fill.
  read_and_check(fh, 4096, 8192, 4096);
  const auto reads = fake_state().only("read");
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[1].size, 2 * kMiB);
  EXPECT_EQ(reads[1].offset, 4096);
  EXPECT_EQ(reads[2].offset, 8192);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(ReadCacheTest, BackwardSeekRefillsFromTheNewOffset) {
  VfsHandle *fh = open_file(4 * kMiB);
  read_and_check(fh, 4096, 65536, 4096);
  read_and_check(fh, 4096, 0, 4096);
  const auto reads = fake_state().only("read");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].offset, 0);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(ReadCacheTest, ReadStraddlingTheBufferEndIsServedFromBothSides) {
  VfsHandle *fh = open_file(4 * kMiB, "rcache_size=64k");
  read_and_check(fh, 60000, 0, 60000);
  read_and_check(fh, 10000, 60000, 10000);  // 5536 buffered, 4464 from one new fill
  const auto reads = fake_state().only("read");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].offset, 65536);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(ReadCacheTest, EndOfFileIsTheSizeAtOpen) {
  VfsHandle *fh = open_file(10000);
  read_and_check(fh, 8192, 0, 8192);
  fake_state().files["/f"].resize(20000);  // grows behind the handle's back
  read_and_check(fh, 8192, 8192, 10000 - 8192);
  read_and_check(fh, 4096, 10000, 0);
  read_and_check(fh, 4096, 15000, 0);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(ReadCacheTest, ShortDriverReadsAreCompletedBeforeDelivery) {
  VfsHandle *fh = open_file(1 * kMiB);
  fake_state().read_max = 1000;
  // FUSE would fill a short answer with zeros: every byte must come from the file.
  for (int i = 0; i < 16; ++i) read_and_check(fh, 4096, i * 4096, 4096);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(ReadCacheTest, DriverFailureIsReported) {
  VfsHandle *fh = open_file(1 * kMiB);
  fake_state().read_fails = true;
  char buf[4096];
  EXPECT_EQ(vfs_read(fh, buf, sizeof buf, 0), -1);
  EXPECT_EQ(vfs_get_errno(fh), VERR_READ_ERROR);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(ReadCacheTest, ZeroCacheSizeReadsThroughTheDriver) {
  VfsHandle *fh = open_file(1 * kMiB, "rcache_size=0");
  for (int i = 0; i < 4; ++i) read_and_check(fh, 4096, i * 4096, 4096);
  EXPECT_EQ(fake_state().count("read"), 4u);
  EXPECT_EQ(fake_state().count("fstat"), 0u);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(ReadCacheTest, ReadWriteHandlesAreNotCached) {
  fake_state().files["/f"] = pattern(1 * kMiB);
  mount();
  VfsHandle *fh = vfs_open(mount_, "/f", VFS_O_RDWR);
  ASSERT_NE(fh, nullptr);
  char buf[4096];
  for (int i = 0; i < 3; ++i) ASSERT_EQ(vfs_read(fh, buf, sizeof buf, i * 4096), 4096);
  EXPECT_EQ(fake_state().count("read"), 3u);
  ASSERT_EQ(vfs_write(fh, buf, 100, 0), 100);
  EXPECT_EQ(fake_state().count("write"), 1u);
  EXPECT_EQ(vfs_close(fh), 0);
}

}  // namespace
