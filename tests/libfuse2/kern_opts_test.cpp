// The library's mount-option step: which option text a FUSE argument vector becomes.
// Assumes the libfuse 2 option parser (the first argument is the program name).
#include "fuse2.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct text_case {
  const char *options;  // null: no "-o" at all
  int result;
  const char *text;
  bool allow_root;
};

TEST(KernOpts, OptionTextFollowsTheFlagsAndItems) {
  const text_case cases[] = {
      {nullptr, 0, "rw,nosuid,nodev", false},
      {"", 0, "rw,nosuid,nodev", false},
      {"ro", 0, "ro,nosuid,nodev", false},
      {"rw,ro", 0, "ro,nosuid,nodev", false},
      {"allow_other", 0, "rw,nosuid,nodev,allow_other", false},
      {"allow_root", 0, "rw,nosuid,nodev,allow_other", true},
      {"suid,dev", 0, "rw,dev,suid", false},
      {"noexec,noatime", 0, "rw,nosuid,nodev,noexec,noatime", false},
      {"fsname=zmue,user=bob,max_read=4096,default_permissions", 0,
       "rw,nosuid,nodev,max_read=4096,default_permissions,user=bob,fsname=zmue", false},
      {"subtype=zmp,nonempty", 0, "rw,nosuid,nodev,subtype=zmp,nonempty", false},
      {"allow_other,allow_root", -1, "", false},
  };
  for (const text_case &c : cases) {
    SCOPED_TRACE(c.options ? c.options : "(none)");
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    ASSERT_EQ(fuse_opt_add_arg(&args, "zmue"), 0);
    if (c.options) {
      ASSERT_EQ(fuse_opt_add_arg(&args, "-o"), 0);
      ASSERT_EQ(fuse_opt_add_arg(&args, c.options), 0);
    }
    fuse_kern_opts opts;
    testing::internal::CaptureStderr();
    int result = fuse_kern_opts_parse(&args, &opts);
    std::string err = testing::internal::GetCapturedStderr();
    fuse_opt_free_args(&args);
    EXPECT_EQ(result, c.result);
    if (result != 0) {
      EXPECT_EQ(err, "fuse: 'allow_other' and 'allow_root' options are mutually exclusive\n");
      continue;
    }
    EXPECT_EQ(fuse_kern_opts_text(opts), c.text);
    EXPECT_EQ(opts.allow_root, c.allow_root);
  }
}

// The text is parsed again by the mount routine: both must agree on the flags.
TEST(KernOpts, MountRoutineReadsTheTextBack) {
  for (const char *options : {"", "ro", "suid,dev,noexec", "rw,sync,dirsync"}) {
    SCOPED_TRACE(options);
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    ASSERT_EQ(fuse_opt_add_arg(&args, "zmue"), 0);
    ASSERT_EQ(fuse_opt_add_arg(&args, "-o"), 0);
    ASSERT_EQ(fuse_opt_add_arg(&args, options), 0);
    fuse_kern_opts opts;
    ASSERT_EQ(fuse_kern_opts_parse(&args, &opts), 0);
    fuse_opt_free_args(&args);
    fusermount_opts back = fusermount_parse_opts(fuse_kern_opts_text(opts).c_str(), true);
    EXPECT_EQ(back.flags, opts.flags);
    EXPECT_EQ(back.kernel, "");
  }
}

}  // namespace
