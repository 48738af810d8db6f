// The operation adapter over a fake driver, called the way FUSE calls it: errors become the
// negated errno, the special cases (chmod not supported, absent attributes, non-empty rmdir),
// readlink's buffer, mknod's choice, open flags, directory offsets and a full filler buffer,
// and flush reporting write-cache failures.
#include "fake_driver.h"
#include "log_capture.h"
#include "myfuse.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <vector>

namespace {

class Adapter : public testing::Test {
 protected:
  void SetUp() override {
    mount_ = fake_mount_new();
    ASSERT_NE(mount_, nullptr);
    ASSERT_EQ(vfs_set_mnt_dir(mount_, "/mnt/fake"), 0);
    myfuse_set_mount(mount_, 0);
    ops_ = myfuse_operations();
  }
  void TearDown() override {
    if (mount_) vfs_umount(mount_);
    myfuse_set_mount(nullptr, 0);
  }
  VfsMount *mount_ = nullptr;
  const fuse_operations *ops_ = nullptr;
};

TEST_F(Adapter, FailuresReachTheKernelAsNegatedErrno) {
  const struct {
    verrno code;
    int eno;
  } cases[] = {
      {VERR_FILE_NOT_FOUND, ENOENT}, {VERR_ALREADY_EXISTS, EEXIST}, {VERR_DIR_NOT_EMPTY, ENOTEMPTY},
      {VERR_ACCESS_DENIED, EPERM},   {VERR_WRITE_PROTECT, EROFS},   {VERR_DISK_FULL, ENOSPC},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.code);
    fake().fail_code = c.code;
    struct stat st;
    EXPECT_EQ(ops_->getattr("/missing", &st), -c.eno);
    EXPECT_EQ(ops_->mkdir("/d", 0755), -c.eno);
    EXPECT_EQ(ops_->unlink("/f"), -c.eno);
    EXPECT_EQ(ops_->rmdir("/d"), -c.eno);
    EXPECT_EQ(ops_->rename("/a", "/b"), -c.eno);
    EXPECT_EQ(ops_->link("/a", "/b"), -c.eno);
    EXPECT_EQ(ops_->symlink("target", "/l"), -c.eno);
    EXPECT_EQ(ops_->truncate("/f", 10), -c.eno);
    EXPECT_EQ(ops_->chown("/f", 1, 2), -c.eno);
    EXPECT_EQ(ops_->access("/f", R_OK), -c.eno);
    EXPECT_EQ(ops_->setxattr("/f", "user.a", "v", 1, 0), -c.eno);
    EXPECT_EQ(ops_->removexattr("/f", "user.a"), -c.eno);
    struct statvfs stv;
    EXPECT_EQ(ops_->statfs("/", &stv), -c.eno);
    fuse_file_info fi{};
    fi.flags = O_RDONLY;
    EXPECT_EQ(ops_->open("/f", &fi), -c.eno);
  }
}

TEST_F(Adapter, FailureWithoutCodeIsNeverSuccess) {
  fake().fail_without_code = true;
  EXPECT_EQ(ops_->mkdir("/d", 0755), -EIO);
  EXPECT_EQ(ops_->unlink("/f"), -EIO);
}

TEST_F(Adapter, QuietCases) {
  log_capture logs;
  struct stat st;
  fake().fail_code = VERR_FILE_NOT_FOUND;
  EXPECT_EQ(ops_->getattr("/missing", &st), -ENOENT);  // no line without the debug bit
  EXPECT_EQ(ops_->access("/missing", F_OK), -ENOENT);
  fake().fail_code = VERR_DIR_NOT_EMPTY;
  EXPECT_EQ(ops_->rmdir("/full"), -ENOTEMPTY);
  fake().fail_code = VERR_NOT_SUPPORTED;
  EXPECT_EQ(ops_->chmod("/f", 0600), 0);
  EXPECT_TRUE(logs.taken().empty());

  fake().fail_code = VERR_ACCESS_DENIED;
  EXPECT_EQ(ops_->chmod("/f", 0600), -EPERM);
  auto lines = logs.taken();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].func, "xmp_chmod_i");
  EXPECT_EQ(lines[0].text.rfind("path=/f error=", 0), 0u) << lines[0].text;
}

TEST_F(Adapter, DebugBitLogsGetattrFailures) {
  myfuse_set_mount(mount_, 1);
  log_capture logs;
  fake().fail_code = VERR_FILE_NOT_FOUND;
  struct stat st;
  EXPECT_EQ(ops_->getattr("/missing", &st), -ENOENT);
  bool found = false;
  for (const log_line &l : logs.taken()) {
    found |= l.level == LOG2_ERR && l.text.rfind("path=/missing error=", 0) == 0;
  }
  EXPECT_TRUE(found);
}

TEST_F(Adapter, AbsentAttributesAreErrorsWithoutLogLines) {
  log_capture logs;
  fake().fail_code = os_verr_get(ENODATA);
  char value[64];
  EXPECT_EQ(ops_->getxattr("/f", "user.none", value, sizeof(value)), -ENODATA);
  EXPECT_EQ(ops_->getxattr("/f", "user.none", nullptr, 0), -ENODATA);
  char list[64];
  EXPECT_EQ(ops_->listxattr("/f", list, sizeof(list)), 0);
  fake().fail_code = VERR_FILE_NOT_FOUND;
  EXPECT_EQ(ops_->getxattr("/gone", "user.a", value, sizeof(value)), -ENOENT);
  EXPECT_EQ(ops_->listxattr("/gone", list, sizeof(list)), 0);
  EXPECT_TRUE(logs.taken().empty());

  fake().fail_code = VERR_ACCESS_DENIED;
  EXPECT_EQ(ops_->getxattr("/f", "trusted.x", value, sizeof(value)), -EPERM);
  auto lines = logs.taken();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text.rfind("path=/f name=trusted.x eno=1 error=", 0), 0u) << lines[0].text;
}

TEST_F(Adapter, ReadlinkLeavesRoomForTheTerminator) {
  char buf[16];
  memset(buf, 'X', sizeof(buf));
  EXPECT_EQ(ops_->readlink("/l", buf, sizeof(buf)), 0);
  EXPECT_EQ(fake().last_readlink_size, 15u);
  EXPECT_EQ(std::string(buf), "a/target/longer");
}

TEST_F(Adapter, MknodPicksFifoOrNode) {
  EXPECT_EQ(ops_->mknod("/p", S_IFIFO | 0644, 0), 0);
  EXPECT_EQ(ops_->mknod("/c", S_IFCHR | 0644, 0x0501), 0);
  EXPECT_EQ(ops_->mknod("/r", S_IFREG | 0644, 0), 0);
  EXPECT_EQ(fake().codes, (std::vector<uint32_t>{VFS_IOC_MKFIFO, VFS_IOC_MKNOD, VFS_IOC_MKNOD}));
}

TEST_F(Adapter, CreatePassesPortableFlags) {
  fuse_file_info fi{};
  fi.flags = O_RDWR | O_CREAT | O_TRUNC;
  ASSERT_EQ(ops_->create("/new", 0644, &fi), 0);
  EXPECT_EQ(fake().last_open_flags, 0x16u);
  EXPECT_NE(fi.fh, 0u);
  EXPECT_EQ(ops_->release("/new", &fi), 0);
  EXPECT_EQ(fake().closes, 1);
}

// A write held in the write cache that the back end then refuses: close(2) must see the error
// (flush), and release must still close the driver handle.
TEST_F(Adapter, FlushReportsWriteCacheFailureAndReleaseStillCloses) {
  fuse_file_info fi{};
  fi.flags = O_WRONLY;
  ASSERT_EQ(ops_->open("/out", &fi), 0);
  const char data[] = "some bytes";
  EXPECT_EQ(ops_->write("/out", data, sizeof(data), 0, &fi), static_cast<int>(sizeof(data)));
  fake().fail_code = VERR_DISK_FULL;
  EXPECT_EQ(ops_->flush("/out", &fi), -ENOSPC);
  EXPECT_EQ(ops_->release("/out", &fi), 0);
  EXPECT_EQ(fake().closes, 1);
}

// Attributes set or read by path while data waits in a write cache: the data goes first, also
// after the file (or a directory above it) was renamed.
TEST_F(Adapter, PathAttributeCallsWritePendingDataFirst) {
  fuse_file_info fi{};
  fi.flags = O_WRONLY;
  ASSERT_EQ(ops_->open("/d/f", &fi), 0);
  EXPECT_EQ(ops_->write("/d/f", "abc", 3, 0, &fi), 3);
  EXPECT_EQ(fake().writes, 0) << "held in the write cache";
  ASSERT_EQ(ops_->rename("/d", "/e"), 0);
  const struct timespec ts[2] = {{1, 0}, {2, 0}};
  EXPECT_EQ(ops_->utimens("/e/f", ts), 0);
  EXPECT_EQ(fake().writes, 1);
  EXPECT_EQ(ops_->write("/e/f", "def", 3, 3, &fi), 3);
  EXPECT_EQ(ops_->truncate("/e/f", 2), 0);
  EXPECT_EQ(fake().writes, 2);
  EXPECT_EQ(ops_->write("/e/f", "g", 1, 2, &fi), 1);
  struct stat st;
  EXPECT_EQ(ops_->getattr("/e/f", &st), 0);
  EXPECT_EQ(fake().writes, 3);
  fake().fail_code = VERR_DISK_FULL;
  EXPECT_EQ(ops_->write("/e/f", "h", 1, 3, &fi), 1);
  EXPECT_EQ(ops_->utimens("/e/f", ts), -ENOSPC);
  fake().fail_code = 0;
  EXPECT_EQ(ops_->release("/e/f", &fi), 0);
  EXPECT_EQ(ops_->utimens("/e/f", ts), 0) << "a released handle is no longer flushed";
}

// Collects names the way the kernel drives readdir: each call continues from the offset of
// the last entry it accepted, with room for a few entries per call.
struct filler_buffer {
  std::vector<std::string> names;
  size_t room = 0;
  off_t last_offset = 0;
};

int fill(void *buf, const char *name, const struct stat *, off_t off) {
  auto *b = static_cast<filler_buffer *>(buf);
  if (b->room == 0) return 1;
  b->room--;
  b->names.emplace_back(name);
  b->last_offset = off;
  return 0;
}

TEST_F(Adapter, ReaddirContinuesAfterFullBufferAndSeeksOnOtherOffsets) {
  fake().entries = 10;
  fuse_file_info fi{};
  ASSERT_EQ(ops_->opendir("/dir", &fi), 0);
  filler_buffer b;
  off_t offset = 0;
  for (int call = 0; call < 10; ++call) {
    b.room = 3;
    size_t before = b.names.size();
    ASSERT_EQ(ops_->readdir("/dir", &b, fill, offset, &fi), 0);
    if (b.names.size() == before) break;
    offset = b.last_offset;
  }
  std::vector<std::string> expected;
  for (int i = 0; i < 10; ++i) expected.push_back("e" + std::to_string(i));
  EXPECT_EQ(b.names, expected);
  EXPECT_TRUE(fake().seeks.empty()) << "continuing calls must not seek";

  // Rewind: an offset other than the stored one seeks first.
  b = filler_buffer{};
  b.room = 2;
  ASSERT_EQ(ops_->readdir("/dir", &b, fill, 0, &fi), 0);
  EXPECT_EQ(b.names, (std::vector<std::string>{"e0", "e1"}));
  EXPECT_EQ(fake().seeks, (std::vector<int64_t>{0}));
  EXPECT_EQ(ops_->releasedir("/dir", &fi), 0);
  EXPECT_EQ(ops_->readdir("/dir", &b, fill, 0, nullptr), -1);
  EXPECT_EQ(ops_->releasedir("/dir", nullptr), -1);
}

}  // namespace
