// Local driver file and directory handles on a temporary directory: reads and writes (cached and
// not), positions, status, truncation, locks, and directory listings with their entry details.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <vector>

#include "local_fixture.h"
#include "pal_env.h"

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(LocalMountTest, WriteOnlyHandleWritesThroughItsCacheByClose) {
  VfsHandle *fh = vfs_open2(mount_, "/w", VFS_PL_O_WRONLY | VFS_PL_O_CREAT | VFS_PL_O_TRUNC, 0600);
  ASSERT_NE(fh, nullptr);
  ASSERT_EQ(vfs_write(fh, "hello ", 6, 0), 6);
  ASSERT_EQ(vfs_write(fh, "world", 5, 6), 5);
  EXPECT_EQ(slurp(local("w")), "");  // still in the write cache
  ASSERT_EQ(vfs_flush(fh), 0);
  EXPECT_EQ(slurp(local("w")), "hello world");
  ASSERT_EQ(vfs_write(fh, "!", 1, 11), 1);
  ASSERT_EQ(vfs_close(fh), 0);
  EXPECT_EQ(slurp(local("w")), "hello world!");
  struct stat st {};
  ASSERT_EQ(stat(local("w").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LocalMountTest, ReadOnlyHandleReadsTheFile) {
  std::string content;
  for (int i = 0; i < 10000; ++i) content += static_cast<char>('a' + i % 26);
  make_file("r", content);
  VfsHandle *fh = vfs_open2(mount_, "/r", VFS_PL_O_RDONLY, 0);
  ASSERT_NE(fh, nullptr);
  std::string back;
  char buf[4096];
  for (int64_t off = 0;;) {
    const int n = vfs_read(fh, buf, sizeof buf, off);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    back.append(buf, n);
    off += n;
  }
  EXPECT_EQ(back, content);
  ASSERT_EQ(vfs_close(fh), 0);
}

TEST_F(LocalMountTest, ReadWriteHandleOperations) {
  VfsHandle *fh = vfs_open2(mount_, "/rw", VFS_PL_O_RDWR | VFS_PL_O_CREAT, 0644);
  ASSERT_NE(fh, nullptr);
  ASSERT_EQ(vfs_write(fh, "abcdef", 6, 0), 6);
  ASSERT_EQ(vfs_lseek(fh, 2, SEEK_SET), 2);
  char buf[8] = {};
  ASSERT_EQ(vfs_read(fh, buf, 2, -1), 2);  // -1: at the current position
  EXPECT_STREQ(buf, "cd");
  ASSERT_EQ(vfs_write(fh, "XY", 2, -1), 2);
  EXPECT_EQ(slurp(local("rw")), "abcdXY");
  VfsFileInfo info{};
  ASSERT_EQ(vfs_fstat(fh, &info), 0);
  EXPECT_EQ(info.size, 6);
  EXPECT_EQ(info.type, VFS_FTYPE_FILE);
  ASSERT_EQ(vfs_ftruncate(fh, 3), 0);
  EXPECT_EQ(slurp(local("rw")), "abc");
  EXPECT_EQ(vfs_fsync(fh, 0), 0);
  EXPECT_EQ(vfs_fsync(fh, 1), 0);
  const VfsTimes times{{1000000000, 0}, {1000000001, 0}, {}};
  ASSERT_EQ(vfs_futime(fh, &times), 0);
  struct stat st {};
  ASSERT_EQ(stat(local("rw").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000001);
  EXPECT_EQ(vfs_flock(fh, VFS_LOCK_EXCLUSIVE), 0);
  EXPECT_EQ(vfs_funlock(fh), 0);
  EXPECT_EQ(vfs_flock(fh, 9), -1);
  EXPECT_EQ(vfs_get_errno(fh), VERR_INVALID_PARAMETER);
  ASSERT_EQ(vfs_close(fh), 0);
}

TEST_F(LocalMountTest, LockIsSeenByAnotherProcess) {
  make_file("l", "x");
  VfsHandle *fh = vfs_open2(mount_, "/l", VFS_PL_O_RDWR, 0);
  ASSERT_NE(fh, nullptr);
  ASSERT_EQ(vfs_flock_range(fh, VFS_LOCK_EXCLUSIVE, 0, 1), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(local("l").c_str(), O_RDWR);
    struct flock lk {};
    lk.l_type = F_WRLCK;
    lk.l_whence = SEEK_SET;
    lk.l_len = 1;
    _exit(fcntl(fd, F_SETLK, &lk) == -1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the lock was not held";
  ASSERT_EQ(vfs_close(fh), 0);
}

TEST_F(LocalMountTest, WindowsStyleOpenCreatesAndTruncates) {
  make_file("old", "long old content");
  VfsHandle *fh =
      vfs_wopen(mount_, "/old", VFS_W_GENERIC_WRITE, 0, nullptr, VFS_W_CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(fh, nullptr);
  ASSERT_EQ(vfs_write(fh, "new", 3, 0), 3);
  ASSERT_EQ(vfs_close(fh), 0);
  EXPECT_EQ(slurp(local("old")), "new");
  EXPECT_EQ(
      vfs_wopen(mount_, "/old", VFS_W_GENERIC_WRITE, 0, nullptr, VFS_W_CREATE_NEW, 0, nullptr),
      nullptr);
  EXPECT_EQ(vfs_get_errno(mount_), VERR_ALREADY_EXISTS);
}

TEST_F(LocalMountTest, ReaddirDeliversEveryEntryWithItsDetails) {
  make_dir("dir/sub");
  make_file("dir/file", "1234");
  ASSERT_EQ(symlink("sub", local("dir/ln").c_str()), 0);
  VfsHandle *dh = vfs_opendir(mount_, "/dir", nullptr);
  ASSERT_NE(dh, nullptr);
  std::map<std::string, VfsDirEntry> seen;
  while (const VfsDirEntry *e = vfs_readdir(dh)) seen[e->name] = *e;
  EXPECT_EQ(vfs_get_errno(mount_), 0);  // the end is no error
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen.count("."), 1u);
  EXPECT_EQ(seen.count(".."), 1u);
  EXPECT_EQ(seen["sub"].info.type, VFS_FTYPE_DIR);
  EXPECT_EQ(seen["file"].info.type, VFS_FTYPE_FILE);
  EXPECT_EQ(seen["file"].info.size, 4);
  EXPECT_STREQ(seen["file"].link, "");
  EXPECT_EQ(seen["ln"].info.type, VFS_FTYPE_DIR | VFS_FTYPE_LINK);
  EXPECT_TRUE(S_ISLNK(seen["ln"].info.mode));
  EXPECT_STREQ(seen["ln"].link, "sub");
  EXPECT_EQ(vfs_closedir(dh), 0);
}

TEST_F(LocalMountTest, ReaddirPositionsAndPattern) {
  make_dir("d");
  for (const char *name : {"a.txt", "b.txt", "c.log"}) make_file(std::string("d/") + name);
  VfsHandle *dh = vfs_opendir(mount_, "/d", "*.txt");
  ASSERT_NE(dh, nullptr);
  std::vector<std::string> names;
  std::vector<int64_t> positions;
  for (;;) {
    const VfsDirEntry *e = vfs_readdir(dh);
    if (e == nullptr) break;
    names.push_back(e->name);
    positions.push_back(vfs_telldir(dh));
  }
  ASSERT_EQ(names.size(), 2u);
  // Back to just after the first entry: the second comes again.
  vfs_seekdir(dh, positions[0]);
  const VfsDirEntry *again = vfs_readdir(dh);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->name, names[1]);
  EXPECT_EQ(vfs_closedir(dh), 0);
  char *dump = vfs_dump_handles(mount_);
  EXPECT_STREQ(dump, "");
  os_free(dump);
}

TEST_F(LocalMountTest, UmountClosesWhatIsStillOpen) {
  make_dir("d");
  VfsHandle *fh = vfs_open2(mount_, "/pending", VFS_PL_O_WRONLY | VFS_PL_O_CREAT, 0644);
  ASSERT_NE(fh, nullptr);
  ASSERT_EQ(vfs_write(fh, "kept", 4, 0), 4);
  ASSERT_NE(vfs_opendir(mount_, "/d", nullptr), nullptr);
  char *dump = vfs_dump_handles(mount_);
  EXPECT_NE(strstr(dump, "file_name=/pending h="), nullptr);
  EXPECT_NE(strstr(dump, "dir_name=/d h="), nullptr);
  os_free(dump);
  ASSERT_EQ(vfs_umount(mount_), 0);
  mount_ = nullptr;
  EXPECT_EQ(slurp(local("pending")), "kept");
}

}  // namespace

// A full disk met only when the cache is written out still reaches the application: at the
// flush that close(2) makes, and again at the final close, which frees the descriptor anyway.
TEST(LocalFullDiskTest, FlushAndCloseReportNoSpace) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const auto open_fds = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto fds_before = open_fds();
  VfsMount *m = vfs_mount("/dev", nullptr);
  ASSERT_NE(m, nullptr);
  VfsHandle *fh = vfs_open2(m, "/full", VFS_PL_O_WRONLY, 0);
  ASSERT_NE(fh, nullptr);
  ASSERT_EQ(vfs_write(fh, "data", 4, 0), 4);  // accepted into the write cache
  EXPECT_EQ(vfs_flush(fh), -1);
  EXPECT_EQ(vfs_get_errno(fh), VERR_DISK_FULL);
  EXPECT_EQ(vfs_get_posix_errno(fh), ENOSPC);
  EXPECT_EQ(vfs_release(fh), -1);
  EXPECT_EQ(vfs_get_posix_errno(m), ENOSPC);
  EXPECT_EQ(open_fds(), fds_before) << "the descriptor leaked";
  char *dump = vfs_dump_handles(m);
  EXPECT_STREQ(dump, "");
  os_free(dump);
  EXPECT_EQ(vfs_umount(m), 0);
}
