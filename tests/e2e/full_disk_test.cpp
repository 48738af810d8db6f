// A back end that runs out of space while data waits in the write cache: the application's
// close(2) (FUSE flush) or fsync reports ENOSPC instead of losing the data silently. Local
// back end only: the backing directory is a small tmpfs mounted for the test.
#include "e2e_fixture.h"

#include <fcntl.h>
#include <sys/mount.h>

namespace {

class FullDisk : public testing::Test {
 protected:
  void SetUp() override {
    std::string why = e2e::missing_prerequisite();
    if (!why.empty()) GTEST_SKIP() << why;
    if (e2e::external_backend()) GTEST_SKIP() << "needs a local backing directory";
    ASSERT_EQ(mount("tmpfs", tree_.backing.c_str(), "tmpfs", 0, "size=256k"), 0) << strerror(errno);
    small_ = true;
    ASSERT_TRUE(tree_.mount("options=rw")) << tree_.process.log();
  }
  void TearDown() override {
    if (e2e::fuse_mounted(tree_.mnt)) umount2(tree_.mnt.c_str(), MNT_DETACH);
    tree_.process.signal(SIGTERM);
    tree_.process.wait_exit(5000);
    if (small_) umount2(tree_.backing.c_str(), MNT_DETACH);
  }
  // Writes 1 MiB in 64 KiB pieces; the errno of the first failing write, or 0.
  int write_megabyte(int fd) {
    std::string block(64 << 10, 'z');
    for (int i = 0; i < 16; ++i) {
      if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) return errno;
    }
    return 0;
  }
  e2e::mounted_tree tree_;
  bool small_ = false;
};

TEST_F(FullDisk, CloseReportsTheFailedWrite) {
  int fd = open((tree_.mnt + "/big").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  int write_errno = write_megabyte(fd);
  errno = 0;
  int closed = close(fd);
  int close_errno = errno;
  if (write_errno == 0) {
    EXPECT_EQ(closed, -1) << "1 MiB cannot fit into 256 KiB, yet close succeeded";
    EXPECT_EQ(close_errno, ENOSPC) << strerror(close_errno);
  } else {
    EXPECT_EQ(write_errno, ENOSPC) << strerror(write_errno);
  }
}

TEST_F(FullDisk, FsyncReportsTheFailedWrite) {
  int fd = open((tree_.mnt + "/big").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  int write_errno = write_megabyte(fd);
  if (write_errno == 0) {
    EXPECT_FAILS_WITH(fsync(fd), ENOSPC);
  } else {
    EXPECT_EQ(write_errno, ENOSPC);
  }
  close(fd);
}

}  // namespace
