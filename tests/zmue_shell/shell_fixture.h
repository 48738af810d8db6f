// A temp working directory per test for zmue runs as root (the program refuses other users).
// Mounts left below it by a failed test are detached before it is removed.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shell_session.h"

// The mount points listed in /proc/mounts.
inline std::vector<std::string> mount_points() {
  std::vector<std::string> points;
  std::ifstream mounts("/proc/mounts");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string source, point;
    fields >> source >> point;
    points.push_back(point);
  }
  return points;
}

class ShellProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "zmue runs only as root";
    char pattern[] = "/tmp/zmue-shell-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (dir_.empty()) return;
    for (const std::string &point : mount_points()) {
      if (point.rfind(dir_ + "/", 0) == 0) umount2(point.c_str(), MNT_DETACH);
    }
    std::filesystem::remove_all(dir_);
  }
  const std::string &dir() const { return dir_; }

 private:
  std::string dir_;
};

// What the program prints on standard output before its first prompt.
inline const std::string kHint = "\nType `help` to learn how to use prompt\n";
