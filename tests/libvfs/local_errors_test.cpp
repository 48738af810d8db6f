// Local driver failures: each failing system call reaches the caller as -1 with the status code
// of its errno in the mount's error record, which the FUSE adapter turns back into an errno.
#include <functional>

#include "local_fixture.h"

namespace {

struct ErrorCase {
  const char *name;
  std::function<int(VfsMount *)> call;
  verrno code;
};

TEST_F(LocalMountTest, FailuresCarryTheStatusCodeOfTheirErrno) {
  make_file("file", "x");
  make_dir("full/sub");
  make_file("other", "y");
  VfsFileInfo info;
  char buf[64];
  const ErrorCase cases[] = {
      {"lstat missing", [&](VfsMount *m) { return vfs_lstat(m, "/nope", &info); },
       VERR_FILE_NOT_FOUND},
      {"stat missing", [&](VfsMount *m) { return vfs_stat(m, "/nope", &info); },
       VERR_FILE_NOT_FOUND},
      {"unlink missing", [](VfsMount *m) { return vfs_unlink(m, "/nope"); }, VERR_FILE_NOT_FOUND},
      {"lstat below a file", [&](VfsMount *m) { return vfs_lstat(m, "/file/x", &info); },
       VERR_PATH_NOT_FOUND},
      {"rmdir not empty", [](VfsMount *m) { return vfs_rmdir(m, "/full"); }, VERR_DIR_NOT_EMPTY},
      {"mkdir over a file", [](VfsMount *m) { return vfs_mkdir(m, "/file", 0755); },
       VERR_ACCESS_DENIED},
      {"mkdirs over a file", [](VfsMount *m) { return vfs_mkdirs(m, "/file"); },
       VERR_ACCESS_DENIED},
      {"create_file on a dir", [](VfsMount *m) { return vfs_create_file(m, "/full"); },
       VERR_ACCESS_DENIED},
      {"rename onto existing", [](VfsMount *m) { return vfs_rename(m, "/file", "/other", 0); },
       VERR_ALREADY_EXISTS},
      {"link onto existing", [](VfsMount *m) { return vfs_link(m, "/file", "/other"); },
       VERR_ALREADY_EXISTS},
      {"symlink onto existing", [](VfsMount *m) { return vfs_symlink(m, "t", "/other"); },
       VERR_ALREADY_EXISTS},
      {"readlink of a file", [&](VfsMount *m) { return vfs_readlink(m, "/file", buf, sizeof buf); },
       VERR_INVALID_PARAMETER},
      {"truncate missing", [](VfsMount *m) { return vfs_truncate(m, "/nope", 0); },
       VERR_FILE_NOT_FOUND},
      {"getxattr missing", [&](VfsMount *m) { return vfs_lgetxattr(m, "/nope", "user.a", buf, 8); },
       VERR_FILE_NOT_FOUND},
      {"access missing", [](VfsMount *m) { return vfs_access(m, "/nope", 0); },
       VERR_FILE_NOT_FOUND},
      {"rmdir of a file", [](VfsMount *m) { return vfs_rmdir(m, "/file"); }, VERR_PATH_NOT_FOUND},
  };
  for (const ErrorCase &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(mount_), -1);
    EXPECT_EQ(vfs_get_errno(mount_), c.code) << vfs_get_error(mount_);
  }
  EXPECT_EQ(vfs_open2(mount_, "/nope", VFS_PL_O_RDONLY, 0), nullptr);
  EXPECT_EQ(vfs_get_errno(mount_), VERR_FILE_NOT_FOUND);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOENT);
  EXPECT_EQ(vfs_opendir(mount_, "/nope", nullptr), nullptr);
  EXPECT_EQ(vfs_get_errno(mount_), VERR_FILE_NOT_FOUND);
}

TEST_F(LocalMountTest, SuccessLeavesTheErrorRecordAlone) {
  make_file("file");
  VfsFileInfo info;
  ASSERT_EQ(vfs_lstat(mount_, "/nope", &info), -1);
  ASSERT_EQ(vfs_lstat(mount_, "/file", &info), 0);
  EXPECT_EQ(vfs_get_errno(mount_), VERR_FILE_NOT_FOUND);
}

TEST_F(LocalMountTest, OverlongPathIsRefusedNotCut) {
  // Cut to 4096 bytes it would name the directory "a...": never operate on another file.
  make_dir(std::string(200, 'a'));
  const std::string path = "/" + std::string(200, 'a') + "/" + std::string(5000, 'b');
  EXPECT_EQ(vfs_rmdir(mount_, path.c_str()), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENAMETOOLONG);
  EXPECT_TRUE(exists(std::string(200, 'a')));
}

}  // namespace
