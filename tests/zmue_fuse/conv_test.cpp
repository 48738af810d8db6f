// Conversions of the FUSE adapter: open and xattr flags, attribute and statistics records,
// times, and the slow-call check.
#include "log_capture.h"
#include "myfuse.h"

#include "pal_env.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace {

TEST(OpenFlags, PosixFlagsBecomePortableFlags) {
  const struct {
    int posix;
    uint32_t portable;
  } cases[] = {
      {O_RDONLY, 0},
      {O_WRONLY, 1},
      {O_RDWR, 2},
      {O_ACCMODE, 0},  // the invalid access value
      {O_RDWR | O_CREAT | O_TRUNC, 0x16},
      {O_WRONLY | O_APPEND, 0x9},
      {O_CREAT | O_EXCL, 0x44},
      {O_DIRECTORY, 0x800},
      {O_SYNC, 0x200},
      {O_DSYNC, 0x200},
      {O_NOFOLLOW, 0x80},
      {O_CLOEXEC, 0x1000},
      {O_NONBLOCK, 0x100},
      {O_DIRECT, 0x20},
      {0100000, 0x80000},  // the kernel's large-file bit
      {O_NOATIME | O_NOCTTY, 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(myfuse_open_flags_2_pl(c.posix), c.portable) << std::hex << "posix 0x" << c.posix;
  }
}

TEST(XattrFlags, OnlyCreateAndReplacePass) {
  log_capture logs;
  EXPECT_EQ(os_setxattr_flag_2_pl(0), 0);
  EXPECT_EQ(os_setxattr_flag_2_pl(1), 1);
  EXPECT_EQ(os_setxattr_flag_2_pl(2), 2);
  EXPECT_TRUE(logs.taken().empty());
  EXPECT_EQ(os_setxattr_flag_2_pl(3), 0);
  auto lines = logs.taken();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "flag=3 error: unspport\n");
  EXPECT_EQ(lines[0].level, LOG2_ERR);
  EXPECT_EQ(lines[0].func, "os_setxattr_flag_2_pl");
}

VfsFileInfo sample_info(uint32_t type, uint32_t mode) {
  VfsFileInfo info{};
  info.type = type;
  info.mode = mode;
  info.uid = 1001;
  info.gid = 1002;
  info.size = 0x123456789LL;
  info.atime = {1700000001, 11};
  info.mtime = {1700000002, 22};
  info.ctime = {1700000003, 33};
  info.nlink = 3;
  info.dev = 0x801;
  info.rdev = 0x1234;
  info.ino = 987654321012ULL;
  info.blksize = 4096;
  info.blocks = 77;
  return info;
}

TEST(AttributeConversion, CopiesEveryField) {
  struct stat st;
  myfuse_info_2_stat(sample_info(VFS_FTYPE_FILE, 0100640), &st);
  EXPECT_EQ(st.st_mode, 0100640u);
  EXPECT_EQ(st.st_uid, 1001u);
  EXPECT_EQ(st.st_gid, 1002u);
  EXPECT_EQ(st.st_size, 0x123456789LL);
  EXPECT_EQ(st.st_nlink, 3u);
  EXPECT_EQ(st.st_dev, 0x801u);
  EXPECT_EQ(st.st_rdev, 0x1234u);
  EXPECT_EQ(st.st_ino, 987654321012ULL);
  EXPECT_EQ(st.st_blksize, 4096);
  EXPECT_EQ(st.st_blocks, 77);
  EXPECT_EQ(st.st_atim.tv_sec, 1700000001);
  EXPECT_EQ(st.st_atim.tv_nsec, 11);
  EXPECT_EQ(st.st_mtim.tv_sec, 1700000002);
  EXPECT_EQ(st.st_mtim.tv_nsec, 22);
  EXPECT_EQ(st.st_ctim.tv_sec, 1700000003);
  EXPECT_EQ(st.st_ctim.tv_nsec, 33);
}

TEST(AttributeConversion, TypeWithoutModeGivesDefaultModes) {
  const struct {
    uint32_t type;
    mode_t mode;
  } cases[] = {
      {VFS_FTYPE_NO_MODE | VFS_FTYPE_DIR, 16893},
      {VFS_FTYPE_NO_MODE | VFS_FTYPE_FILE, 33277},
      {VFS_FTYPE_NO_MODE | VFS_FTYPE_LINK | VFS_FTYPE_FILE, 33277},
      {VFS_FTYPE_DIR, 0120777},  // a real mode is kept, whatever the type says
  };
  for (const auto &c : cases) {
    struct stat st;
    myfuse_info_2_stat(sample_info(c.type, 0120777), &st);
    EXPECT_EQ(st.st_mode, c.mode) << std::hex << "type 0x" << c.type;
  }
}

TEST(StatisticsConversion, ElevenFieldsInOrder) {
  VfsStatfs stats{4096, 1024, 1000000, 500000, 400000, 65536, 32768, 30000, 0xABCDEF, 0x401, 255};
  struct statvfs stv;
  myfuse_statfs_2_statvfs(stats, &stv);
  EXPECT_EQ(stv.f_bsize, 4096u);
  EXPECT_EQ(stv.f_frsize, 1024u);
  EXPECT_EQ(stv.f_blocks, 1000000u);
  EXPECT_EQ(stv.f_bfree, 500000u);
  EXPECT_EQ(stv.f_bavail, 400000u);
  EXPECT_EQ(stv.f_files, 65536u);
  EXPECT_EQ(stv.f_ffree, 32768u);
  EXPECT_EQ(stv.f_favail, 30000u);
  EXPECT_EQ(stv.f_fsid, 0xABCDEFu);
  EXPECT_EQ(stv.f_flag, 0x401u);
  EXPECT_EQ(stv.f_namemax, 255u);
}

// No driver may see the markers: "leave alone" keeps the file's time, "now" is the clock's.
TEST(TimesConversion, MarkersBecomeTheKeptTimeOrNow) {
  VfsFileInfo current{};
  current.atime = VfsTime{111, 1};
  current.mtime = VfsTime{222, 2};
  const struct timespec now{1700000000, 7};
  const struct {
    struct timespec atime, mtime;
    VfsTime want_atime, want_mtime;
  } cases[] = {
      {{1600000000, 5}, {-2, 9}, {1600000000, 5}, {-2, 9}},
      {{0, UTIME_OMIT}, {978307200, 0}, {111, 1}, {978307200, 0}},
      {{978307200, 0}, {0, UTIME_OMIT}, {978307200, 0}, {222, 2}},
      {{0, UTIME_NOW}, {0, UTIME_OMIT}, {1700000000, 7}, {222, 2}},
      {{0, UTIME_NOW}, {0, UTIME_NOW}, {1700000000, 7}, {1700000000, 7}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.atime.tv_nsec << " " << c.mtime.tv_nsec);
    const struct timespec ts[2] = {c.atime, c.mtime};
    VfsTimes t = myfuse_timespec_2_times(ts, current, now);
    EXPECT_EQ(t.atime.sec, c.want_atime.sec);
    EXPECT_EQ(t.atime.nsec, c.want_atime.nsec);
    EXPECT_EQ(t.mtime.sec, c.want_mtime.sec);
    EXPECT_EQ(t.mtime.nsec, c.want_mtime.nsec);
    EXPECT_EQ(t.ctime.sec, 0);
    EXPECT_EQ(t.ctime.nsec, 0u);
  }
}

TEST(SlowCallCheck, WarnsAfterThreeSecondsAndErrsFromFifteen) {
  const struct {
    uint64_t ago_ms;
    bool logged;
    uint32_t level;
  } cases[] = {{0, false, 0}, {2900, false, 0}, {4000, true, LOG2_WARN}, {20000, true, LOG2_ERR}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.ago_ms);
    log_capture logs;
    fuse_time_use_check(os_get_ms() - c.ago_ms, "/a/b", "xmp_read");
    auto lines = logs.taken();
    ASSERT_EQ(lines.size(), c.logged ? 1u : 0u);
    if (!c.logged) continue;
    EXPECT_EQ(lines[0].level, c.level);
    EXPECT_EQ(lines[0].text.rfind("xmp_read (/a/b) time=", 0), 0u) << lines[0].text;
    EXPECT_NE(lines[0].text.find("s warn: more time use\n"), std::string::npos) << lines[0].text;
  }
}

}  // namespace
