// Conversions of portable and Windows-style open arguments into the VFS open flags of a handle.
#include <gtest/gtest.h>

#include "vfs.h"

namespace {

struct PortableCase {
  uint32_t portable;
  uint32_t vfs;
};

class PortableFlagsTest : public ::testing::TestWithParam<PortableCase> {};

TEST_P(PortableFlagsTest, Converts) {
  EXPECT_EQ(vfs_flags_from_portable(GetParam().portable), GetParam().vfs)
      << "portable 0x" << std::hex << GetParam().portable;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortableFlagsTest,
    ::testing::Values(PortableCase{VFS_PL_O_RDONLY, VFS_O_RDONLY | VFS_O_CONVERTED},
                      PortableCase{VFS_PL_O_WRONLY, VFS_O_WRONLY | VFS_O_CONVERTED},
                      PortableCase{VFS_PL_O_RDWR, VFS_O_RDWR | VFS_O_CONVERTED},
                      PortableCase{3, VFS_O_RDONLY | VFS_O_CONVERTED},  // no valid access value
                      PortableCase{0x16, VFS_O_RDWR | VFS_O_CREAT | VFS_O_TRUNC | VFS_O_CONVERTED},
                      PortableCase{VFS_PL_O_WRONLY | VFS_PL_O_APPEND,
                                   VFS_O_WRONLY | VFS_O_APPEND | VFS_O_CONVERTED},
                      PortableCase{VFS_PL_O_DIRECT, VFS_O_RDONLY | VFS_O_DIRECT | VFS_O_CONVERTED},
                      // flags the handle does not keep
                      PortableCase{VFS_PL_O_EXCL | VFS_PL_O_CLOEXEC | VFS_PL_O_LARGEFILE,
                                   VFS_O_RDONLY | VFS_O_CONVERTED}));

struct WindowsCase {
  uint32_t access;
  uint32_t disposition;
  uint32_t vfs;
};

class WindowsFlagsTest : public ::testing::TestWithParam<WindowsCase> {};

TEST_P(WindowsFlagsTest, Converts) {
  EXPECT_EQ(vfs_flags_from_windows(GetParam().access, GetParam().disposition), GetParam().vfs);
}

constexpr uint32_t R = VFS_W_GENERIC_READ;
constexpr uint32_t W = VFS_W_GENERIC_WRITE;

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsFlagsTest,
    ::testing::Values(
        WindowsCase{R, VFS_W_OPEN_EXISTING, VFS_O_RDONLY | VFS_O_CONVERTED},
        WindowsCase{W, VFS_W_OPEN_EXISTING, VFS_O_WRONLY | VFS_O_CONVERTED},
        WindowsCase{R | W, VFS_W_OPEN_EXISTING, VFS_O_RDWR | VFS_O_CONVERTED},
        WindowsCase{W, VFS_W_CREATE_NEW, VFS_O_WRONLY | VFS_O_CREAT | VFS_O_CONVERTED},
        WindowsCase{W, VFS_W_OPEN_ALWAYS, VFS_O_WRONLY | VFS_O_CREAT | VFS_O_CONVERTED},
        WindowsCase{W, VFS_W_CREATE_ALWAYS, VFS_O_WRONLY | 0x28 | VFS_O_CONVERTED},
        WindowsCase{R | W, VFS_W_TRUNCATE_EXISTING, VFS_O_RDWR | VFS_O_TRUNC | VFS_O_CONVERTED},
        WindowsCase{0, VFS_W_OPEN_EXISTING, VFS_O_CONVERTED}));

}  // namespace
