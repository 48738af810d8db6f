// VFS core handles: every call checks magic and kind before it touches anything, failures of
// the driver and of empty slots are reported through the mount's error record, and the handle
// lists show what is open.
#include <sys/stat.h>

#include <cstring>
#include <functional>

#include "pal_env.h"
#include "vfs_core.h"
#include "vfs_fixture.h"

namespace {

class HandleTest : public FakeMountTest {};

// A record whose head claims nothing valid.
struct ForgedHandle {
  VfsHead head{0x12345678, VFS_KIND_FILE};
};

TEST_F(HandleTest, CallsOnAnInvalidFileHandleFailWithoutTouchingTheDriver) {
  mount();
  fake_state().files["/f"] = pattern(100);
  VfsHandle *good = vfs_open(mount_, "/f", VFS_O_RDWR);
  ASSERT_NE(good, nullptr);
  VfsHandle *null_handle = nullptr;
  ForgedHandle forged;
  auto *bad_magic = reinterpret_cast<VfsHandle *>(&forged);
  // A mount record passed where a file handle belongs is the wrong kind.
  auto *wrong_kind = reinterpret_cast<VfsHandle *>(mount_);
  fake_state().calls.clear();

  char buf[16];
  VfsFileInfo info;
  const VfsTimes times{};
  const std::function<int64_t(VfsHandle *)> calls[] = {
      [&](VfsHandle *h) { return vfs_read(h, buf, sizeof buf, 0); },
      [&](VfsHandle *h) { return vfs_write(h, buf, sizeof buf, 0); },
      [&](VfsHandle *h) { return vfs_flush(h); },
      [&](VfsHandle *h) { return vfs_fsync(h, 0); },
      [&](VfsHandle *h) { return vfs_lseek(h, 0, SEEK_SET); },
      [&](VfsHandle *h) { return vfs_fstat(h, &info); },
      [&](VfsHandle *h) { return vfs_ftruncate(h, 0); },
      [&](VfsHandle *h) { return vfs_futime(h, &times); },
      [&](VfsHandle *h) { return vfs_flock(h, VFS_LOCK_EXCLUSIVE); },
      [&](VfsHandle *h) { return vfs_close(h); },
      [&](VfsHandle *h) { return vfs_release(h); },
      [&](VfsHandle *h) { return vfs_telldir(h); },
      [&](VfsHandle *h) { return vfs_closedir(h); },
      [&](VfsHandle *h) { return vfs_readdir(h) == nullptr ? -1 : 0; },
  };
  for (VfsHandle *h : {null_handle, bad_magic, wrong_kind}) {
    for (const auto &call : calls) EXPECT_EQ(call(h), -1);
    EXPECT_EQ(vfs_get_errno(h), -1);
    EXPECT_STREQ(vfs_get_error(h), "invalid handle error");
    verr_info copy;
    EXPECT_EQ(vfs_copy_error(h, &copy), -1);
  }
  // A file handle is not a directory handle.
  EXPECT_EQ(vfs_closedir(good), -1);
  EXPECT_EQ(vfs_readdir(good), nullptr);
  EXPECT_TRUE(fake_state().calls.empty());
  EXPECT_EQ(vfs_close(good), 0);
}

TEST_F(HandleTest, CallsOnAnInvalidMountFail) {
  ForgedHandle forged;
  auto *bad = reinterpret_cast<VfsMount *>(&forged);
  VfsFileInfo info;
  uint32_t word = 0;
  EXPECT_EQ(vfs_open(bad, "/f", VFS_O_RDONLY), nullptr);
  EXPECT_EQ(vfs_open2(bad, "/f", 0, 0), nullptr);
  EXPECT_EQ(vfs_opendir(bad, "/", nullptr), nullptr);
  EXPECT_EQ(vfs_lstat(bad, "/f", &info), -1);
  EXPECT_EQ(vfs_get_readonly(bad, &word), -1);
  EXPECT_EQ(vfs_need_exit(bad), 0u);
  EXPECT_EQ(vfs_dump_handles(bad), nullptr);
  EXPECT_EQ(vfs_umount(bad), -1);
  EXPECT_EQ(vfs_get_errno(bad), -1);
  EXPECT_STREQ(vfs_get_error(bad), "invalid handle error");
  EXPECT_EQ(vfs_set_mnt_dir(bad, "/mnt"), -1);
}

TEST_F(HandleTest, FailedOpenReturnsNullWithTheDriverError) {
  mount();
  EXPECT_EQ(vfs_open(mount_, "/missing", VFS_O_RDONLY), nullptr);
  EXPECT_EQ(vfs_get_errno(mount_), VERR_FILE_NOT_FOUND);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOENT);
  verr_info copy{};
  ASSERT_EQ(vfs_copy_error(mount_, &copy), 0);
  EXPECT_STREQ(copy.text, "no file /missing");
  char *dump = vfs_dump_handles(mount_);
  EXPECT_STREQ(dump, "");
  os_free(dump);
}

TEST_F(HandleTest, EmptyDriverSlotFailsAsNotSupported) {
  mount();
  fake_state().files["/f"] = pattern(10);
  VfsHandle *fh = vfs_open(mount_, "/f", VFS_O_RDWR);
  ASSERT_NE(fh, nullptr);
  // The fake has no futime, flock or directory slots.
  const VfsTimes times{};
  EXPECT_EQ(vfs_futime(fh, &times), -1);
  EXPECT_EQ(vfs_get_errno(fh), VERR_NOT_SUPPORTED);
  EXPECT_EQ(vfs_flock(fh, VFS_LOCK_SHARED), -1);
  EXPECT_EQ(vfs_opendir(mount_, "/", nullptr), nullptr);
  EXPECT_EQ(vfs_get_errno(mount_), VERR_NOT_SUPPORTED);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(HandleTest, DumpListsOpenHandlesByName) {
  mount();
  VfsHandle *a = vfs_open(mount_, "/a", VFS_O_WRONLY | VFS_O_CREAT);
  VfsHandle *b = vfs_open(mount_, "/b", VFS_O_WRONLY | VFS_O_CREAT);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  char expected[128];
  snprintf(expected, sizeof expected, "file_name=/a h=%x\nfile_name=/b h=%x\n",
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(a)),
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(b)));
  char *dump = vfs_dump_handles(mount_);
  EXPECT_STREQ(dump, expected);
  os_free(dump);
  EXPECT_EQ(vfs_close(a), 0);
  dump = vfs_dump_handles(mount_);
  EXPECT_EQ(strstr(dump, "/a"), nullptr);
  EXPECT_NE(strstr(dump, "file_name=/b"), nullptr);
  os_free(dump);
  // b stays open: the umount in TearDown closes it.
}

TEST_F(HandleTest, SymlinkNeedsTheMountDirectory) {
  mount();
  EXPECT_EQ(vfs_symlink(mount_, "target", "/link"), -1);
  EXPECT_NE(vfs_get_errno(mount_), 0);  // the adapter must not turn it into success
  EXPECT_EQ(fake_state().count("ioctl"), 0u);
  ASSERT_EQ(vfs_set_mnt_dir(mount_, "/mnt/x"), 0);
  EXPECT_EQ(vfs_symlink(mount_, "target", "/link"), 0);
  EXPECT_EQ(fake_state().only("ioctl").at(0).size, VFS_IOC_SYMLINK);
}

TEST_F(HandleTest, UnsetTimesBecomeNowButFuseMarkersStay) {
  mount();
  const VfsTimes times{{0, 0}, {0, UTIME_OMIT}, {1234, 5}};
  const int64_t before = static_cast<int64_t>(os_get_ms() / 1000);
  ASSERT_EQ(vfs_lutime(mount_, "/f", &times), 0);
  const VfsTimes &sent = fake_state().last_times;
  EXPECT_GE(sent.atime.sec, before);
  EXPECT_LE(sent.atime.sec, before + 2);
  EXPECT_EQ(sent.mtime.sec, 0);
  EXPECT_EQ(sent.mtime.nsec, static_cast<uint32_t>(UTIME_OMIT));
  EXPECT_EQ(sent.ctime.sec, 1234);
  EXPECT_EQ(sent.ctime.nsec, 5u);
}

TEST_F(HandleTest, MountQueriesUseTheirControlCodes) {
  mount();
  EXPECT_EQ(vfs_get_active_time(mount_), 0u);
  EXPECT_EQ(vfs_need_exit(mount_), 0u);
  EXPECT_EQ(vfs_get_ostype(mount_), 0u);
  const auto ioctls = fake_state().only("ioctl");
  ASSERT_EQ(ioctls.size(), 3u);
  EXPECT_EQ(ioctls[0].size, VFS_IOC_ACTIVE_TIME);
  EXPECT_EQ(ioctls[1].size, VFS_IOC_NEED_EXIT);
  EXPECT_EQ(ioctls[2].size, VFS_IOC_OSTYPE);
}

TEST(VfsMountTest, UrlClaimedByNoTestDriverGoesToTheLocalDriver) {
  ASSERT_TRUE(fake_register());
  // Bare paths are the local driver's; nothing else is asked to serve them.
  VfsMount *m = vfs_mount("/tmp", nullptr);
  ASSERT_NE(m, nullptr);
  uint32_t ro = 1;
  EXPECT_EQ(vfs_get_readonly(m, &ro), 0);
  EXPECT_EQ(ro, 0u);
  EXPECT_EQ(vfs_get_ostype(m), 2u);
  EXPECT_EQ(vfs_umount(m), 0);
}

TEST(VfsMountTest, UnresolvableSavedSessionFailsTheMountWithItsReason) {
  verr_info err{};
  EXPECT_EQ(vfs_mount("///no_such_session/docs", &err), nullptr);
  EXPECT_EQ(err.code, VERR_INVALID_PARAMETER);
  EXPECT_STREQ(err.text, "url_conf_2_real [///no_such_session/docs] failed\n");
}

}  // namespace
