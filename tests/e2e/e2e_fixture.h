// The fixture of the tests that work on a read-write mount: one zmue per test, a directory of
// the test's own inside the mount, and paths to the same place through the mount (m) and in
// the backing directory (b). Checks for the expected errno read as EXPECT_FAILS_WITH.
#pragma once

#include "e2e_env.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#define EXPECT_FAILS_WITH(call, eno)                                           \
  do {                                                                         \
    errno = 0;                                                                 \
    EXPECT_EQ((call), -1) << #call;                                            \
    EXPECT_EQ(errno, (eno)) << #call << ": " << strerror(errno);               \
  } while (0)

using e2e::read_all;
using e2e::write_all;

class MountedTest : public testing::Test {
 protected:
  // The -r query of the mount; read-write unless a fixture says otherwise.
  virtual std::string query() const { return "options=rw"; }

  void SetUp() override {
    std::string why = e2e::missing_prerequisite();
    if (!why.empty()) GTEST_SKIP() << why;
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    name_ = std::string("t_") + info->name() + "_" + std::to_string(getpid());
    std::filesystem::create_directories(tree_.backing + "/" + name_);
    ASSERT_TRUE(tree_.mount(query())) << tree_.process.log();
  }

  void TearDown() override {
    // Whatever a test opened and closed through the mount, the program holds no more of it.
    if (tree_.process.wait_exit(0) == -1 && e2e::fuse_mounted(tree_.mnt)) {
      const std::string held = tree_.descriptors_returned(20000);
      EXPECT_TRUE(held.empty()) << held;
    }
    if (e2e::external_backend() && !name_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(tree_.backing + "/" + name_, ec);
    }
  }

  std::string m(const std::string &rel = "") const { return tree_.mnt + "/" + name_ + sub(rel); }
  std::string b(const std::string &rel = "") const { return tree_.backing + "/" + name_ + sub(rel); }

  static std::string sub(const std::string &rel) { return rel.empty() ? "" : "/" + rel; }

  e2e::mounted_tree tree_;
  std::string name_;
};
