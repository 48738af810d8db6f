// Local driver path operations on a temporary directory: each reaches the rooted path and does
// what its name says, checked with plain system calls beside the mount.
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "local_fixture.h"

namespace {

TEST_F(LocalMountTest, BarePathAndFileUrlMountTheSameRoot) {
  make_file("marker", "1");
  for (const std::string &url : {"file://" + root_, " \"" + root_ + "\" "}) {
    SCOPED_TRACE(url);
    VfsMount *m = vfs_mount(url.c_str(), nullptr);
    ASSERT_NE(m, nullptr);
    VfsFileInfo info{};
    EXPECT_EQ(vfs_lstat(m, "/marker", &info), 0);
    EXPECT_EQ(info.size, 1);
    EXPECT_EQ(vfs_umount(m), 0);
  }
}

TEST_F(LocalMountTest, MixedSeparatorsReachTheRootedPath) {
  make_dir("a");
  make_file("a/b", "xyz");
  VfsFileInfo info{};
  ASSERT_EQ(vfs_lstat(mount_, "\\\\a//b", &info), 0);
  EXPECT_EQ(info.size, 3);
  EXPECT_EQ(info.type, VFS_FTYPE_FILE);
}

TEST_F(LocalMountTest, NamesKeepTheirBlanksAndQuotes) {
  make_file("x", "short");
  VfsHandle *fh = vfs_open2(mount_, "/x\" ", VFS_PL_O_WRONLY | VFS_PL_O_CREAT, 0644);
  ASSERT_NE(fh, nullptr);
  EXPECT_EQ(vfs_close(fh), 0);
  EXPECT_TRUE(exists("x\" "));
  ASSERT_EQ(vfs_unlink(mount_, "/x\" "), 0);
  EXPECT_TRUE(exists("x"));
}

TEST_F(LocalMountTest, StatReportsTypeModeSizeAndLinks) {
  make_dir("d");
  make_file("f", "12345");
  ASSERT_EQ(symlink("d", local("to_dir").c_str()), 0);
  ASSERT_EQ(symlink("gone", local("dangling").c_str()), 0);
  VfsFileInfo info{};
  ASSERT_EQ(vfs_lstat(mount_, "/d", &info), 0);
  EXPECT_EQ(info.type, VFS_FTYPE_DIR);
  EXPECT_TRUE(S_ISDIR(info.mode));
  ASSERT_EQ(vfs_lstat(mount_, "/f", &info), 0);
  EXPECT_EQ(info.type, VFS_FTYPE_FILE);
  EXPECT_EQ(info.size, 5);
  EXPECT_EQ(info.nlink, 1u);
  EXPECT_NE(info.ino, 0u);
  ASSERT_EQ(vfs_lstat(mount_, "/to_dir", &info), 0);
  EXPECT_EQ(info.type, VFS_FTYPE_FILE | VFS_FTYPE_LINK);
  EXPECT_TRUE(S_ISLNK(info.mode));
  ASSERT_EQ(vfs_stat(mount_, "/to_dir", &info), 0);
  EXPECT_EQ(info.type, VFS_FTYPE_DIR);
  ASSERT_EQ(vfs_stat(mount_, "/dangling", &info), 0);  // the link itself
  EXPECT_TRUE(S_ISLNK(info.mode));
  uint32_t type = 99;
  EXPECT_EQ(vfs_get_ftype(mount_, "/d", &type), 0);
  EXPECT_EQ(type, VFS_FTYPE_DIR);
  EXPECT_EQ(vfs_get_ftype(mount_, "/nope", &type), -1);
  EXPECT_EQ(type, 0u);
}

TEST_F(LocalMountTest, MkdirFamilyCreatesAndAcceptsExistingDirectories) {
  ASSERT_EQ(vfs_mkdir(mount_, "/d", 0700), 0);
  struct stat st {};
  ASSERT_EQ(stat(local("d").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(vfs_mkdir(mount_, "/d", 0700), 0);
  ASSERT_EQ(vfs_mkdirs(mount_, "/p/q/r"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(local("p/q/r")));
  EXPECT_EQ(vfs_mkdirs(mount_, "/p/q"), 0);
  ASSERT_EQ(vfs_create_file(mount_, "/n1/n2/file"), 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(local("n1/n2/file")));
  EXPECT_EQ(vfs_create_file(mount_, "/n1/n2/file"), 0);
  EXPECT_EQ(vfs_dir_is_empty(mount_, "/d"), 1);
  EXPECT_EQ(vfs_dir_is_empty(mount_, "/n1"), 0);
  EXPECT_EQ(vfs_dir_is_empty(mount_, "/nope"), -1);
  ASSERT_EQ(vfs_rmdir(mount_, "/d"), 0);
  EXPECT_FALSE(exists("d"));
}

TEST_F(LocalMountTest, SpecialFilesAreCreatedWithTheirType) {
  ASSERT_EQ(vfs_mkfifo(mount_, "/fifo", 0600), 0);
  ASSERT_EQ(vfs_mknod(mount_, "/node", S_IFREG | 0600, 0), 0);
  struct stat st {};
  ASSERT_EQ(lstat(local("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(lstat(local("node").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(LocalMountTest, RenameReplacesOnlyWhenAsked) {
  make_file("a", "A");
  make_file("b", "B");
  ASSERT_EQ(vfs_rename(mount_, "/a", "/b", 0), -1);
  EXPECT_TRUE(exists("a"));
  ASSERT_EQ(vfs_rename(mount_, "/a", "/b", 1), 0);
  EXPECT_FALSE(exists("a"));
  std::ifstream in(local("b"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "A");
  ASSERT_EQ(vfs_rename(mount_, "/b", "/c", 0), 0);
  EXPECT_TRUE(exists("c"));
}

TEST_F(LocalMountTest, UnlinkRemovesFilesAndEmptyDirectories) {
  make_file("f");
  make_dir("d");
  ASSERT_EQ(vfs_unlink(mount_, "/f"), 0);
  ASSERT_EQ(vfs_unlink(mount_, "/d"), 0);
  EXPECT_FALSE(exists("f"));
  EXPECT_FALSE(exists("d"));
}

TEST_F(LocalMountTest, SymlinkTargetIsLiteralAndLinkPathIsRooted) {
  ASSERT_EQ(vfs_symlink(mount_, "../outside/target", "/ln"), 0);
  char buf[64];
  ASSERT_EQ(readlink(local("ln").c_str(), buf, sizeof buf), 17);
  char through[64] = {};
  ASSERT_EQ(vfs_readlink(mount_, "/ln", through, sizeof through - 1), 17);
  EXPECT_STREQ(through, "../outside/target");
}

TEST_F(LocalMountTest, HardLinkSharesTheInode) {
  make_file("f", "data");
  ASSERT_EQ(vfs_link(mount_, "/f", "/g"), 0);
  VfsFileInfo f{}, g{};
  ASSERT_EQ(vfs_lstat(mount_, "/f", &f), 0);
  ASSERT_EQ(vfs_lstat(mount_, "/g", &g), 0);
  EXPECT_EQ(f.ino, g.ino);
  EXPECT_EQ(f.nlink, 2u);
}

TEST_F(LocalMountTest, TruncateChmodChownAndAccess) {
  make_file("f", "0123456789");
  ASSERT_EQ(vfs_truncate(mount_, "/f", 4), 0);
  EXPECT_EQ(std::filesystem::file_size(local("f")), 4u);
  ASSERT_EQ(vfs_truncate(mount_, "/f", 1ll << 33), 0);  // beyond 32 bits
  EXPECT_EQ(std::filesystem::file_size(local("f")), 1ull << 33);
  ASSERT_EQ(vfs_chmod(mount_, "/f", 0640), 0);
  struct stat st {};
  ASSERT_EQ(stat(local("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ASSERT_EQ(vfs_lchown(mount_, "/f", getuid(), getgid()), 0);
  ASSERT_EQ(vfs_chown(mount_, "/f", getuid(), getgid()), 0);
  EXPECT_EQ(vfs_access(mount_, "/f", F_OK), 0);
  EXPECT_EQ(vfs_setattr(mount_, "/f", 7), 0);
}

TEST_F(LocalMountTest, UtimeSetsTimesAndHonoursOmit) {
  make_file("f");
  const VfsTimes set{{1000000000, 5}, {1100000000, 7}, {}};
  ASSERT_EQ(vfs_lutime(mount_, "/f", &set), 0);
  struct stat st {};
  ASSERT_EQ(stat(local("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 7);
  // What FUSE sends for "touch -a": new access time, modification time left alone.
  const VfsTimes access_only{{1200000000, 0}, {0, static_cast<uint32_t>(UTIME_OMIT)}, {}};
  ASSERT_EQ(vfs_utime(mount_, "/f", &access_only), 0);
  ASSERT_EQ(stat(local("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1200000000);
  EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
}

TEST_F(LocalMountTest, ExtendedAttributesRoundTrip) {
  make_file("f");
  const char value[] = "blue";
  if (vfs_lsetxattr(mount_, "/f", "user.colour", value, 4, 0) != 0 &&
      vfs_get_posix_errno(mount_) == ENOTSUP)
    GTEST_SKIP() << "no user attributes on " << root_;
  char buf[64] = {};
  ASSERT_EQ(vfs_lgetxattr(mount_, "/f", "user.colour", buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "blue");
  EXPECT_EQ(vfs_lsetxattr(mount_, "/f", "user.colour", value, 4, 1), -1);  // create only
  EXPECT_EQ(vfs_get_posix_errno(mount_), EEXIST);
  char list[256] = {};
  const int len = vfs_llistxattr(mount_, "/f", list, sizeof list);
  ASSERT_GT(len, 0);
  EXPECT_NE(memmem(list, len, "user.colour", 12), nullptr);
  ASSERT_EQ(vfs_lremovexattr(mount_, "/f", "user.colour"), 0);
  EXPECT_EQ(vfs_lgetxattr(mount_, "/f", "user.colour", buf, sizeof buf), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENODATA);
}

TEST_F(LocalMountTest, VolumeAndFileSystemStatistics) {
  VfsVolInfo vol{};
  ASSERT_EQ(vfs_statvol(mount_, &vol), 0);
  EXPECT_EQ(vol.caps & 0x8E, 0x8Eu);
  EXPECT_GT(vol.total_bytes, 0u);
  EXPECT_GE(vol.total_bytes, vol.free_bytes);
  EXPECT_GE(vol.free_bytes, vol.avail_bytes);
  EXPECT_EQ(vol.name_max, 255u);
  EXPECT_STRNE(vol.fs_type, "");
  EXPECT_LT(strlen(vol.label), sizeof vol.label);
  VfsVolInfo path_vol{};
  ASSERT_EQ(vfs_volinfo(mount_, "/", &path_vol), 0);
  EXPECT_STREQ(path_vol.fs_type, vol.fs_type);
  VfsStatfs sf{};
  ASSERT_EQ(vfs_statfs(mount_, "/", &sf), 0);
  EXPECT_GT(sf.bsize, 0u);
  EXPECT_EQ(sf.namemax, 255u);
  EXPECT_EQ(sf.blocks * sf.frsize, vol.total_bytes);
}

TEST_F(LocalMountTest, MountQueriesOfALocalMount) {
  EXPECT_EQ(vfs_need_exit(mount_), 0u);
  EXPECT_EQ(vfs_get_ostype(mount_), 2u);
  char cwd[4096];
  ASSERT_EQ(vfs_getcwd(mount_, cwd, sizeof cwd), 0);
  char expected[4096];
  ASSERT_NE(getcwd(expected, sizeof expected), nullptr);
  EXPECT_STREQ(cwd, expected);
}

}  // namespace
