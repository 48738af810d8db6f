// mount -t zmue, an fstab-style line (mount -T) and umount through the real mount(8), which
// runs the built mount.zmue. mount(8) looks for helpers in /sbin only, so the tests run in a
// private mount namespace where /sbin is a copy (links) of the real one plus the built helper;
// nothing outside the namespace changes. The test process is the child subreaper, so the zmue
// daemon becomes its child and its exit status can be checked. Needs root and /dev/fuse.
#include "fuse_mountinfo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string kBuildDir = std::string(ZM_TEST_BINARY_DIR) + "/src/opt/zmue";

std::string read_all(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct command_result {
  int status;
  std::string output;
};

// A shell command with a time-out: its exit status and its output (standard error too).
command_result run(const std::string &command, const std::string &log) {
  std::string bounded = "timeout 60 sh -c '" + command + "' >" + log + " 2>&1";
  int status = system(bounded.c_str());
  return {(status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1, read_all(log)};
}

// The processes whose parent is this one: after the helper has gone, the zmue daemon.
std::vector<pid_t> children() {
  std::vector<pid_t> pids;
  std::ifstream in("/proc/self/task/" + std::to_string(getpid()) + "/children");
  pid_t pid;
  while (in >> pid) pids.push_back(pid);
  return pids;
}

std::string command_name(pid_t pid) {
  std::string name = read_all("/proc/" + std::to_string(pid) + "/comm");
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

// The exit status of pid (128 + signal), or -1 when it is still running after timeout_ms.
int wait_exit(pid_t pid, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

class MountHelper : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (geteuid() != 0) {
      skip_ = "needs root";
      return;
    }
    if (access("/dev/fuse", R_OK | W_OK) != 0 || access((kBuildDir + "/zmue").c_str(), X_OK) ||
        access((kBuildDir + "/mount.zmue").c_str(), X_OK) || access("/bin/mount", X_OK)) {
      skip_ = "needs /dev/fuse, mount(8) and the built zmue and mount.zmue";
      return;
    }
    // Still one thread here: a new mount namespace needs that.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
      skip_ = std::string("no private mount namespace: ") + strerror(errno);
      return;
    }
    char tmpl[] = "/tmp/zmue_helper.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    char real[PATH_MAX];
    ASSERT_NE(realpath("/sbin", real), nullptr);
    std::string sbin = root_ + "/sbin";
    ASSERT_EQ(mkdir(sbin.c_str(), 0755), 0);
    for (const auto &entry : std::filesystem::directory_iterator(real)) {
      std::filesystem::create_symlink(entry.path(), sbin + "/" + entry.path().filename().string());
    }
    std::error_code ec;
    std::filesystem::remove(sbin + "/mount.zmue", ec);
    std::filesystem::create_symlink(kBuildDir + "/mount.zmue", sbin + "/mount.zmue");
    ASSERT_EQ(mount(sbin.c_str(), real, nullptr, MS_BIND, nullptr), 0) << strerror(errno);
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  }

  static void TearDownTestSuite() {
    // The namespace, with the bind mount over /sbin, ends with this process; the links are
    // removed, never what they point to.
    if (root_.empty()) return;
    char real[PATH_MAX];
    if (realpath("/sbin", real) != nullptr) umount2(real, MNT_DETACH);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
    const char *name = testing::UnitTest::GetInstance()->current_test_info()->name();
    work_ = root_ + "/" + name;
    backing_ = work_ + "/backing";
    mnt_ = work_ + "/mnt";
    std::filesystem::create_directories(backing_);
    std::filesystem::create_directories(mnt_);
    std::ofstream(backing_ + "/hello") << "hello from the backing directory\n";
  }

  void TearDown() override {
    if (work_.empty()) return;
    if (fuse_mount_exists(mnt_)) umount2(mnt_.c_str(), MNT_DETACH);
    for (pid_t pid : children()) {
      kill(pid, SIGTERM);
      wait_exit(pid, 5000);
    }
    if (!fuse_mount_exists(mnt_)) {
      std::error_code ec;
      std::filesystem::remove_all(work_, ec);
    }
  }

  // The children left once zmue's start-up processes have ended (they are re-parented here
  // too and may still be leaving): waits, bounded, until `settled` says the list is final.
  template <typename Settled>
  static std::vector<pid_t> children_once(Settled settled) {
    std::vector<pid_t> pids = children();
    for (int i = 0; i < 250 && !settled(pids); ++i) {
      while (waitpid(-1, nullptr, WNOHANG) > 0) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      pids = children();
    }
    return pids;
  }

  // The zmue daemon left by a successful mount: the one child of this process.
  static bool one_daemon(const std::vector<pid_t> &pids) {
    return pids.size() == 1 && command_name(pids[0]) == "zmue";
  }
  pid_t daemon_pid() const {
    std::vector<pid_t> pids = children_once(one_daemon);
    return one_daemon(pids) ? pids[0] : -1;
  }

  // Unmounts with umount(8) and checks that the daemon then ends with status 0.
  void unmount_ends_daemon(pid_t daemon) {
    command_result umounted = run("umount " + mnt_, work_ + "/umount.log");
    EXPECT_EQ(umounted.status, 0) << umounted.output;
    EXPECT_FALSE(fuse_mount_exists(mnt_));
    EXPECT_EQ(wait_exit(daemon, 10000), 0);
  }

  static std::string skip_;
  static std::string root_;
  std::string work_, backing_, mnt_;
};

std::string MountHelper::skip_;
std::string MountHelper::root_;

TEST_F(MountHelper, MountTypeZmueMountsReadWriteAndUmountEndsTheDaemonWithZero) {
  command_result mounted =
      run("mount -t zmue " + backing_ + " " + mnt_ + " -o _netdev,nofail", work_ + "/mount.log");
  ASSERT_EQ(mounted.status, 0) << mounted.output;
  ASSERT_TRUE(fuse_mount_exists(mnt_));
  pid_t daemon = daemon_pid();
  ASSERT_GT(daemon, 0) << "the helper left no zmue daemon";
  EXPECT_EQ(read_all(mnt_ + "/hello"), "hello from the backing directory\n");
  // mount(8) mounts read-write unless told otherwise, and so does the helper.
  std::ofstream(mnt_ + "/written") << "through the mount\n";
  EXPECT_EQ(read_all(backing_ + "/written"), "through the mount\n");
  unmount_ends_daemon(daemon);
}

TEST_F(MountHelper, FstabLineMountsWithItsOptions) {
  std::string fstab = work_ + "/fstab";
  std::ofstream(fstab) << "# a line as it would stand in /etc/fstab\n"
                       << backing_ << " " << mnt_
                       << " zmue ro,_netdev,noauto,nofail,x-systemd.automount,noexec 0 0\n";
  command_result mounted = run("mount -T " + fstab + " " + mnt_, work_ + "/mount.log");
  ASSERT_EQ(mounted.status, 0) << mounted.output;
  std::string options = fuse_mount_options(mnt_);
  EXPECT_EQ(options.rfind("ro,", 0), 0u) << options;
  EXPECT_NE(options.find("noexec"), std::string::npos) << options;
  pid_t daemon = daemon_pid();
  ASSERT_GT(daemon, 0);
  EXPECT_EQ(read_all(mnt_ + "/hello"), "hello from the backing directory\n");
  EXPECT_EQ(open((mnt_ + "/refused").c_str(), O_CREAT | O_WRONLY, 0644), -1);
  EXPECT_EQ(errno, EROFS);
  unmount_ends_daemon(daemon);
}

TEST_F(MountHelper, FailedMountReportsTheDaemonsStatusAndMessage) {
  // zmue ends with 255 when the mount fails; mount(8) passes the helper's status on.
  const struct {
    const char *what;
    std::string source, options, message;
  } cases[] = {
      // Port 1 on the loopback interface: nothing listens, the connect is refused at once, and
      // zmue says so before it detaches.
      {"back end unreachable", "zmp://127.0.0.1:1/share", "rw", "error="},
      // The FUSE options are refused only after zmue became a daemon: its status still counts.
      {"kernel mount refused after detaching", backing_, "allow_other,allow_root", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    command_result mounted =
        run("mount -t zmue " + c.source + " " + mnt_ + " -o " + c.options, work_ + "/mount.log");
    EXPECT_EQ(mounted.status, 255) << mounted.output;
    EXPECT_NE(mounted.output.find("zmue ended with status 255"), std::string::npos)
        << mounted.output;
    EXPECT_NE(mounted.output.find(c.message), std::string::npos) << mounted.output;
    EXPECT_FALSE(fuse_mount_exists(mnt_));
    EXPECT_TRUE(children_once([](const std::vector<pid_t> &p) { return p.empty(); }).empty());
  }
}

}  // namespace
