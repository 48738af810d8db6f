// A private copy of the built zmue per test: <tmp>/bin/zmue (mode 0755, reachable by any user,
// so it can run as nobody) and <tmp>/work as the working directory. Both are removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

// The banner's processor field as the platform library names this build's processor.
#if defined(__x86_64__)
inline constexpr char kBuildCpu[] = "x86_64";
#elif defined(__mips__) && defined(__MIPSEL__)
inline constexpr char kBuildCpu[] = "mipsel";
#elif defined(__aarch64__)
inline constexpr char kBuildCpu[] = "aarch64";
#else
#error "name this build's processor for the banner tests"
#endif

inline const std::string kBanner =
    std::string("zmue-linux-") + kBuildCpu + " v1.7.2.0 (2024-3-2) - zmp/zmps fuse\n";
inline const std::string kNotice =
    "Mounts zmp, zmps, ftp and local trees through FUSE; run as root.\n";
inline const std::string kUsage =
    "Usage: zmue [opt] [arguments] ...\n\t-u [url] Specify 'url' to mount\n\t-m [MountPoint] Can "
    "be /mnt/test \n\t-r [\"debug=1&...\"] set url query val\n\t   "
    "options=rw,allow_other,allow_root,noexec\n\t-d Run as a daemon\n\t-c [config_file]  set "
    "config file\n\t-p dump current config\n\t-s [list|key=val] Set configuration options\n\t-e "
    "[\"cmd;...\"] execute string 'cmd'\n\t-v show version\n\t-q Do not display the startup "
    "banner and copyright message\n\t-o [log_file]     set output log file\n\t-l [log_level]    "
    "set log level: verb, dbg, info, warn, err\n\t-h display this help\n";

class ZmueTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zmue-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    namespace fs = std::filesystem;
    const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(root_, open);
    fs::create_directory(bin_dir());
    fs::create_directory(work_dir());
    fs::permissions(bin_dir(), open);
    fs::permissions(work_dir(), open);
    fs::copy_file(std::string(ZM_TEST_BINARY_DIR) + "/src/opt/zmue/zmue", binary());
    fs::permissions(binary(), open);
  }
  // A mount left behind by a failed test is detached first: removing the tree must never walk
  // into a mounted file system.
  void TearDown() override {
    if (root_.empty()) return;
    std::ifstream mounts("/proc/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
      std::istringstream fields(line);
      std::string source, point;
      fields >> source >> point;
      if (point.rfind(root_ + "/", 0) == 0) umount2(point.c_str(), MNT_DETACH);
    }
    std::filesystem::remove_all(root_);
  }

  std::string bin_dir() const { return root_ + "/bin"; }
  std::string work_dir() const { return root_ + "/work"; }
  std::string binary() const { return bin_dir() + "/zmue"; }

  run_request request(std::vector<std::string> args) const {
    run_request req;
    req.binary = binary();
    req.args = std::move(args);
    req.cwd = work_dir();
    return req;
  }
  run_result run(std::vector<std::string> args) const { return run_program(request(std::move(args))); }

  static bool is_root() { return geteuid() == 0; }

 private:
  std::string root_;
};
