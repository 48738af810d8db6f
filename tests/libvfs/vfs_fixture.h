// Fixture of the VFS core tests: a mount of the counting fake driver with chosen cache sizes,
// released (with whatever is still open) at the end of each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_driver.h"
#include "vfs.h"

class FakeMountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake_register());
    fake_state().reset();
  }
  void TearDown() override {
    if (mount_ != nullptr) {
      EXPECT_EQ(vfs_umount(mount_), 0);
    }
    EXPECT_EQ(fake_state().open_handles, 0) << "driver handles leaked";
  }

  VfsMount *mount(const std::string &query = "") {
    const std::string url = "fake://host/share" + (query.empty() ? "" : "?" + query);
    mount_ = vfs_mount(url.c_str(), nullptr);
    EXPECT_NE(mount_, nullptr);
    fake_state().calls.clear();
    return mount_;
  }

  // A file of `size` bytes whose byte i is (i * 7) mod 251.
  static std::vector<uint8_t> pattern(size_t size, size_t from = 0) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(((from + i) * 7) % 251);
    return data;
  }

  VfsMount *mount_ = nullptr;
};

inline constexpr uint32_t kMiB = 1024 * 1024;
