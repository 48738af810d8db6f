// The heartbeat over the fake driver: no thread for local URLs, no probe while the mount is
// active, one probe per pass while idle, the end after a failed probe, and a broken mount
// unmounted through the kernel within one pass (real constants; needs root and /dev/fuse).
#include "fake_driver.h"
#include "fuse_mountinfo.h"
#include "heartbeat.h"
#include "myfuse.h"

#include "pal_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace {

class Heartbeat : public testing::Test {
 protected:
  void SetUp() override {
    mount_ = fake_mount_new();
    ASSERT_NE(mount_, nullptr);
    // A pass of 10 steps of 10 ms; idle after 200 ms.
    heartbeat_set_timing(200, 10);
  }
  void TearDown() override {
    heartbeat_stop();
    heartbeat_set_timing(HEARTBEAT_IDLE_MS, HEARTBEAT_STEP_MS);
    if (mount_) vfs_umount(mount_);
  }
  VfsMount *mount_ = nullptr;
};

TEST_F(Heartbeat, LocalUrlsStartNoThread) {
  EXPECT_EQ(heartbeat_start("file:///srv/share?fuse_mount_point=/mnt/x", mount_), 0);
  EXPECT_EQ(heartbeat_start("/srv/share", mount_), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(fake().probes.load(), 0);
}

TEST_F(Heartbeat, ActiveMountIsNeverProbed) {
  fake().active_time = os_get_ms();
  ASSERT_EQ(heartbeat_start("fake://host/share", mount_), 1);
  for (int i = 0; i < 40; ++i) {
    fake().active_time = os_get_ms();
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  EXPECT_EQ(fake().probes.load(), 0);
}

TEST_F(Heartbeat, IdleMountIsProbedOncePerPass) {
  fake().active_time = os_get_ms() - 1000;
  ASSERT_EQ(heartbeat_start("fake://host/share", mount_), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(650));
  int probes = fake().probes.load();
  EXPECT_GE(probes, 4);  // passes of at least 100 ms: 7 at most in 650 ms
  EXPECT_LE(probes, 7);
  // Activity resumes: no more probes (one may be under way).
  int before = fake().probes.load();
  for (int i = 0; i < 20; ++i) {
    fake().active_time = os_get_ms();
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  EXPECT_LE(fake().probes.load(), before + 1);
}

TEST_F(Heartbeat, FailedProbeEndsTheThread) {
  fake().probe_result = -1;
  ASSERT_EQ(heartbeat_start("fake://host/share", mount_), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(fake().probes.load(), 1);
}

// Serves a fake mount through the kernel with myfuse_mount in a thread of its own.
class ServedFake : public Heartbeat {
 protected:
  void SetUp() override {
    Heartbeat::SetUp();
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "needs root";
    heartbeat_set_timing(HEARTBEAT_IDLE_MS, HEARTBEAT_STEP_MS);
    char tmpl[] = "/tmp/zmue_hb.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    work_ = tmpl;
    mnt_ = work_ + "/mnt";
  }
  void TearDown() override {
    if (!mnt_.empty() && fuse_mount_exists(mnt_)) umount2(mnt_.c_str(), MNT_DETACH);
    if (served_.valid()) served_.wait_for(std::chrono::seconds(8));
    if (!mnt_.empty()) rmdir(mnt_.c_str());
    if (!work_.empty()) rmdir(work_.c_str());
    Heartbeat::TearDown();
  }
  void serve() {
    url_ = "fake://host/share?fuse_mount_point=" + mnt_ + "&options=rw";
    served_ = std::async(std::launch::async, [this] {
      char err[MYFUSE_ERR_SIZE];
      return myfuse_mount(url_.c_str(), err);
    });
  }
  // The mount step's result once it returned, or -100 when it still serves after timeout_ms.
  int served_result(int timeout_ms) {
    if (served_.wait_for(std::chrono::milliseconds(timeout_ms)) != std::future_status::ready) {
      return -100;
    }
    return served_.get();
  }
  std::string work_, mnt_, url_;
  std::future<int> served_;
};

TEST_F(ServedFake, BrokenMountIsUnmountedWithinOnePass) {
  fake().active_time = os_get_ms();
  serve();
  bool mounted = false;
  for (int i = 0; i < 100 && !mounted; ++i) {
    mounted = fuse_mount_exists(mnt_);
    if (!mounted) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(mounted);
  struct stat st;
  EXPECT_EQ(stat(mnt_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  fake().need_exit = 1;
  auto broken_at = std::chrono::steady_clock::now();
  EXPECT_EQ(served_result(8000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - broken_at, std::chrono::milliseconds(5600));
  EXPECT_FALSE(fuse_mount_exists(mnt_));
  EXPECT_EQ(fake().probes.load(), 0) << "an active mount is not probed";
}

// An application holding the mount root open keeps the detached mount's device alive: the
// request loop must end all the same, or the program would outlive its mount.
TEST_F(ServedFake, BrokenMountEndsTheLoopWhileAFileIsHeldOpen) {
  fake().active_time = os_get_ms();
  serve();
  for (int i = 0; i < 100 && !fuse_mount_exists(mnt_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(fuse_mount_exists(mnt_));
  const int held = open(mnt_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(held, 0);
  fake().need_exit = 1;
  EXPECT_EQ(served_result(8000), 0) << "the loop still serves a detached mount";
  EXPECT_FALSE(fuse_mount_exists(mnt_));
  close(held);
}

// The first probe runs at once and fails: it must find the kernel mount to take away.
TEST_F(ServedFake, BackEndBrokenFromTheStartIsNotLeftMounted) {
  fake().probe_result = -1;
  serve();
  EXPECT_EQ(served_result(5000), 0);
  EXPECT_EQ(fake().probes.load(), 1);
  EXPECT_FALSE(fuse_mount_exists(mnt_));
}

}  // namespace
