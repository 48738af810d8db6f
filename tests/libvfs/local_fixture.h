// Fixture of the local driver tests: a fresh temporary directory mounted through the VFS as a
// bare path, removed again (with everything in it) after each test.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "vfs.h"

class LocalMountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vfs_local_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    mount_ = vfs_mount(root_.c_str(), nullptr);
    ASSERT_NE(mount_, nullptr);
    ASSERT_EQ(vfs_set_mnt_dir(mount_, "/mnt/test"), 0);
  }
  void TearDown() override {
    if (mount_ != nullptr) {
      EXPECT_EQ(vfs_umount(mount_), 0);
    }
    std::filesystem::remove_all(root_);
  }

  std::string local(const std::string &rel) const { return root_ + "/" + rel; }
  void make_file(const std::string &rel, const std::string &content = "") const {
    std::ofstream(local(rel)) << content;
  }
  void make_dir(const std::string &rel) const { std::filesystem::create_directories(local(rel)); }
  bool exists(const std::string &rel) const {
    struct stat st;
    return lstat(local(rel).c_str(), &st) == 0;
  }

  std::string root_;
  VfsMount *mount_ = nullptr;
};
