// The mount routine's tables and option handling, checked without mounting anything.
// Assumes a kernel newer than 2.4 (large_read is deprecated there).
#include "fuse2.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace {

struct flag_row {
  const char *opt;
  unsigned long flag;
  int on;
  int safe;
};

TEST(MountFlagTable, EveryRowHasItsFlagEffectAndSafety) {
  const flag_row expected[] = {
      {"rw", MS_RDONLY, 0, 1},         {"ro", MS_RDONLY, 1, 1},       {"suid", MS_NOSUID, 0, 0},
      {"nosuid", MS_NOSUID, 1, 1},     {"dev", MS_NODEV, 0, 0},       {"nodev", MS_NODEV, 1, 1},
      {"exec", MS_NOEXEC, 0, 1},       {"noexec", MS_NOEXEC, 1, 1},   {"async", MS_SYNCHRONOUS, 0, 1},
      {"sync", MS_SYNCHRONOUS, 1, 1},  {"atime", MS_NOATIME, 0, 1},   {"noatime", MS_NOATIME, 1, 1},
      {"dirsync", MS_DIRSYNC, 1, 1},
  };
  size_t rows = 0;
  for (const fuse_mount_flag *row = fuse_mount_flag_table(); row->opt; ++row) rows++;
  EXPECT_EQ(rows, std::size(expected));
  for (const flag_row &want : expected) {
    SCOPED_TRACE(want.opt);
    const fuse_mount_flag *row = fuse_mount_flag_find(want.opt);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->flag, want.flag);
    EXPECT_EQ(row->on, want.on);
    EXPECT_EQ(row->safe, want.safe);
  }
  EXPECT_EQ(fuse_mount_flag_find("allow_other"), nullptr);
  EXPECT_EQ(fuse_mount_flag_find("RO"), nullptr);
}

struct parse_case {
  const char *options;
  bool is_root;
  unsigned long flags;
  const char *kernel;
  const char *fsname;
  bool blkdev;
  const char *note;  // expected on standard error, or empty
};

TEST(FusermountParseOpts, SortsEveryItem) {
  const unsigned long base = MS_NOSUID | MS_NODEV;
  const parse_case cases[] = {
      {"", true, base, "", "", false, ""},
      {"rw,nosuid,nodev", true, base, "", "", false, ""},
      {"ro", true, base | MS_RDONLY, "", "", false, ""},
      {"rw,ro", true, base | MS_RDONLY, "", "", false, ""},
      {"ro,rw", true, base, "", "", false, ""},
      {"dev,suid", true, 0, "", "", false, ""},
      {"dev,suid", false, base, "", "", false, "unsafe option 'dev' ignored"},
      {"suid", false, base, "", "", false, "unsafe option 'suid' ignored"},
      {"noexec,sync,noatime,dirsync", true,
       base | MS_NOEXEC | MS_SYNCHRONOUS | MS_NOATIME | MS_DIRSYNC, "", "", false, ""},
      {"noexec,exec,async", true, base, "", "", false, ""},
      {"allow_other,max_read=4096", true, base, "allow_other,max_read=4096", "", false, ""},
      {"fsname=zmue,subtype=x", true, base, "subtype=x", "zmue", false, ""},
      {"fsname=a\\,b", true, base, "", "a,b", false, ""},
      {"blkdev,fsname=/dev/sda1", true, base, "", "/dev/sda1", true, ""},
      {"fd=3,rootmode=40000,user_id=7,group_id=8,allow_other", true, base, "allow_other", "",
       false, ""},
      {"large_read,default_permissions", true, base, "default_permissions", "", false,
       "'large_read' mount option is deprecated"},
      {",,allow_other,,", true, base, "allow_other", "", false, ""},
  };
  for (const parse_case &c : cases) {
    SCOPED_TRACE(std::string(c.options) + (c.is_root ? " (root)" : " (user)"));
    testing::internal::CaptureStderr();
    fusermount_opts opts = fusermount_parse_opts(c.options, c.is_root);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(opts.flags, c.flags);
    EXPECT_EQ(opts.kernel, c.kernel);
    EXPECT_EQ(opts.fsname, c.fsname);
    EXPECT_EQ(opts.blkdev, c.blkdev);
    if (*c.note) {
      EXPECT_NE(err.find(c.note), std::string::npos) << err;
    } else {
      EXPECT_EQ(err, "");
    }
  }
}

TEST(FusermountKernelData, IdsFollowThePassedItems) {
  fusermount_opts opts = fusermount_parse_opts("allow_other", true);
  EXPECT_EQ(fusermount_kernel_data(opts, 5, 040000, 0, 0, true),
            "allow_other,fd=5,rootmode=40000,user_id=0,group_id=0");
  EXPECT_EQ(fusermount_kernel_data(opts, 5, 040000, 1000, 100, false),
            "allow_other,fd=5,rootmode=40000,user_id=1000");
  fusermount_opts bare = fusermount_parse_opts("", true);
  EXPECT_EQ(fusermount_kernel_data(bare, 12, 0100000, 3, 4, true),
            "fd=12,rootmode=100000,user_id=3,group_id=4");
}

class FsSupport : public testing::Test {
 protected:
  std::string write_list(const std::string &content) {
    path_ = testing::TempDir() + "/filesystems." + std::to_string(getpid());
    std::ofstream(path_) << content;
    return path_;
  }
  void TearDown() override {
    if (!path_.empty()) unlink(path_.c_str());
  }
  std::string path_;
};

TEST_F(FsSupport, ReadsTheFileSystemList) {
  EXPECT_EQ(fuse_fs_support(write_list("nodev\tsysfs\n\text4\nnodev\tfuse\n\tfuseblk\n").c_str()), 3);
  EXPECT_EQ(fuse_fs_support(write_list("nodev\tfuse\nnodev\tfusectl\n").c_str()), 2);
  EXPECT_EQ(fuse_fs_support(write_list("nodev\tfusectl\n\text4\n").c_str()), 0);
  EXPECT_EQ(fuse_fs_support(write_list("").c_str()), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(fuse_fs_support("/nonexistent/filesystems"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to open /nonexistent/filesystems");
}

}  // namespace
