// Real kernel mounts through the in-process mount routine with a tiny file system (a file to
// read, one that takes writes): serving, request sizes, the ways a mount ends (external
// unmount, unmount without channel, stop request, SIGHUP) and read-only mounts.
// Needs root and /dev/fuse; skipped otherwise.
#include "fuse2.h"
#include "fuse_mountinfo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <pthread.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const char kHello[] = "hello\n";

int tiny_getattr(const char *path, struct stat *st) {
  memset(st, 0, sizeof(*st));
  if (strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
  }
  if (strcmp(path, "/sink") == 0) {
    st->st_mode = S_IFREG | 0666;
    st->st_nlink = 1;
    return 0;
  }
  if (strcmp(path, "/hello") == 0) {
    st->st_mode = S_IFREG | 0644;
    st->st_nlink = 1;
    st->st_size = sizeof(kHello) - 1;
    return 0;
  }
  return -ENOENT;
}

int tiny_readdir(const char *, void *buf, fuse_fill_dir_t filler, off_t, fuse_file_info *) {
  filler(buf, ".", nullptr, 0);
  filler(buf, "..", nullptr, 0);
  filler(buf, "hello", nullptr, 0);
  return 0;
}

int tiny_open(const char *path, fuse_file_info *) {
  return strcmp(path, "/hello") == 0 || strcmp(path, "/sink") == 0 ? 0 : -ENOENT;
}

int tiny_read(const char *, char *buf, size_t size, off_t offset, fuse_file_info *) {
  size_t len = sizeof(kHello) - 1;
  if (static_cast<size_t>(offset) >= len) return 0;
  size_t n = std::min(size, len - static_cast<size_t>(offset));
  memcpy(buf, kHello + offset, n);
  return static_cast<int>(n);
}

int tiny_mkdir(const char *, mode_t) { return -ENOSPC; }

// "/sink" takes any write and remembers the largest request the kernel sent.
std::atomic<size_t> g_largest_write{0};

int tiny_write(const char *, const char *, size_t size, off_t, fuse_file_info *) {
  size_t seen = g_largest_write.load();
  while (size > seen && !g_largest_write.compare_exchange_weak(seen, size)) {
  }
  return static_cast<int>(size);
}

fuse_operations tiny_ops() {
  fuse_operations ops{};
  ops.getattr = tiny_getattr;
  ops.readdir = tiny_readdir;
  ops.open = tiny_open;
  ops.read = tiny_read;
  ops.mkdir = tiny_mkdir;
  ops.write = tiny_write;
  return ops;
}

class KernelMount : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
      GTEST_SKIP() << "needs root and /dev/fuse";
    }
    char tmpl[] = "/tmp/fuse2_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    mnt_ = tmpl;
  }

  void TearDown() override {
    if (mnt_.empty()) return;
    if (!fuse_mount_options(mnt_).empty()) umount2(mnt_.c_str(), MNT_DETACH);
    if (served_.valid()) served_.wait_for(std::chrono::seconds(5));
    rmdir(mnt_.c_str());
  }

  // Starts serving in a thread of its own and waits (bounded) until the mount shows up.
  bool start(const char *options) {
    options_ = options;
    std::promise<pthread_t> started;
    auto thread_id = started.get_future();
    served_ = std::async(std::launch::async, [this, &started] {
      started.set_value(pthread_self());
      static const fuse_operations ops = tiny_ops();
      fuse_mount_request request{"zmue", mnt_.c_str(), options_.c_str(), 0, 0, 0, nullptr, nullptr};
      return try_fuse_mount(&ops, &request);
    });
    loop_thread_ = thread_id.get();
    for (int i = 0; i < 100; ++i) {
      if (!fuse_mount_options(mnt_).empty()) return true;
      if (served_.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready) return false;
    }
    return false;
  }

  // The loop's result once it ended, or -100 when it is still running after 5 seconds.
  int served_result() {
    if (served_.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return -100;
    return served_.get();
  }

  std::string mnt_;
  std::string options_;
  std::future<int> served_;
  pthread_t loop_thread_{};
};

TEST_F(KernelMount, ServesUntilUnmountedFromOutside) {
  ASSERT_TRUE(start("allow_other"));
  std::string opts = fuse_mount_options(mnt_);
  EXPECT_EQ(opts.compare(0, 3, "rw,"), 0) << opts;
  EXPECT_NE(opts.find("nosuid"), std::string::npos) << opts;
  std::ifstream in(mnt_ + "/hello");
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, kHello);
  EXPECT_EQ(mkdir((mnt_ + "/d").c_str(), 0755), -1);
  EXPECT_EQ(errno, ENOSPC);
  in.close();
  ASSERT_EQ(umount2(mnt_.c_str(), 0), 0) << strerror(errno);
  EXPECT_EQ(served_result(), 0);
  EXPECT_EQ(fuse_mount_options(mnt_), "");
}

TEST_F(KernelMount, UnmountWithoutChannelEndsTheLoop) {
  ASSERT_TRUE(start(""));
  EXPECT_EQ(fuse2_unmount(mnt_.c_str(), nullptr), 0);
  EXPECT_EQ(served_result(), 0);
  EXPECT_EQ(fuse_mount_options(mnt_), "");
  EXPECT_EQ(fuse2_unmount(mnt_.c_str(), nullptr), -1);
}

// The stop request comes from another thread (a signal handler's): the loop must not sleep
// on in its read of the device, even with a file held open on the mount.
TEST_F(KernelMount, StopRequestEndsTheLoopWithAFileOpen) {
  ASSERT_TRUE(start(""));
  int fd = open((mnt_ + "/hello").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0) << strerror(errno);
  fuse2_request_exit();
  EXPECT_EQ(served_result(), 0);
  EXPECT_EQ(fuse_mount_options(mnt_), "");
  close(fd);
}

TEST_F(KernelMount, HangupEndsTheLoopAndUndoesTheMount) {
  ASSERT_TRUE(start(""));
  // The library takes SIGHUP over only after the kernel mount: wait for its handler.
  struct sigaction current{};
  for (int i = 0; i < 100; ++i) {
    sigaction(SIGHUP, nullptr, &current);
    if (current.sa_handler != SIG_DFL) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(current.sa_handler, SIG_DFL);
  ASSERT_EQ(pthread_kill(loop_thread_, SIGHUP), 0);
  EXPECT_EQ(served_result(), 0);
  EXPECT_EQ(fuse_mount_options(mnt_), "");
}

// A page-sized request per 4 KiB would make every bulk write a crawl through the loop.
TEST_F(KernelMount, OneLargeWriteArrivesInRequestsLargerThanAPage) {
  ASSERT_TRUE(start(""));
  g_largest_write = 0;
  std::string block(1 << 20, 'w');
  int fd = open((mnt_ + "/sink").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0) << strerror(errno);
  EXPECT_EQ(write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
  EXPECT_EQ(close(fd), 0);
  EXPECT_GT(g_largest_write.load(), 4096u);
  EXPECT_EQ(fuse2_unmount(mnt_.c_str(), nullptr), 0);
  EXPECT_EQ(served_result(), 0);
}

TEST_F(KernelMount, ReadOnlyOptionGivesReadOnlyMount) {
  ASSERT_TRUE(start("ro,noexec"));
  std::string opts = fuse_mount_options(mnt_);
  EXPECT_EQ(opts.compare(0, 3, "ro,"), 0) << opts;
  EXPECT_NE(opts.find("noexec"), std::string::npos) << opts;
  EXPECT_EQ(mkdir((mnt_ + "/d").c_str(), 0755), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(fuse2_unmount(mnt_.c_str(), nullptr), 0);
  EXPECT_EQ(served_result(), 0);
}

TEST_F(KernelMount, ConflictingOptionsMountNothing) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(start("allow_other,allow_root"));
  EXPECT_EQ(served_result(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("mutually exclusive"), std::string::npos);
  EXPECT_EQ(fuse_mount_options(mnt_), "");
}

TEST_F(KernelMount, MissingMountPointIsReported) {
  fusermount_set_progname("zmue");
  testing::internal::CaptureStderr();
  EXPECT_EQ(fusermount_main(0, 0, 0, "rw", (mnt_ + "/missing").c_str()), -1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("zmue: bad mount point " + mnt_ + "/missing: No such file or directory"),
            std::string::npos)
      << err;
  testing::internal::CaptureStderr();
  EXPECT_EQ(fusermount_main(0, 0, 0, "rw", ""), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "zmue: invalid mountpoint ''\n");
}

}  // namespace
