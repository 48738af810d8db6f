// A mount without options=rw is read-only: reads work, every change fails with EROFS before it
// reaches the back end, and the backing directory stays as it was.
#include "e2e_fixture.h"
#include "fuse_mountinfo.h"

#include <fcntl.h>
#include <sys/xattr.h>

namespace {

class ReadOnly : public MountedTest {
 protected:
  std::string query() const override { return query_; }
  void SetUp() override {
    MountedTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(write_all(b("f"), "content"));
    ASSERT_EQ(mkdir(b("d").c_str(), 0755), 0);
  }
  std::string query_;
};

TEST_F(ReadOnly, ChangesFailWithEROFS) {
  EXPECT_EQ(fuse_mount_options(tree_.mnt).rfind("ro,", 0), 0u) << fuse_mount_options(tree_.mnt);
  EXPECT_EQ(read_all(m("f")), "content");
  struct stat st{};
  EXPECT_EQ(stat(m("d").c_str(), &st), 0);

  EXPECT_FAILS_WITH(open(m("f").c_str(), O_WRONLY), EROFS);
  EXPECT_FAILS_WITH(open(m("new").c_str(), O_CREAT | O_WRONLY, 0644), EROFS);
  EXPECT_FAILS_WITH(mkdir(m("d2").c_str(), 0755), EROFS);
  EXPECT_FAILS_WITH(rmdir(m("d").c_str()), EROFS);
  EXPECT_FAILS_WITH(unlink(m("f").c_str()), EROFS);
  EXPECT_FAILS_WITH(rename(m("f").c_str(), m("g").c_str()), EROFS);
  EXPECT_FAILS_WITH(symlink("f", m("l").c_str()), EROFS);
  EXPECT_FAILS_WITH(link(m("f").c_str(), m("h").c_str()), EROFS);
  EXPECT_FAILS_WITH(chmod(m("f").c_str(), 0600), EROFS);
  EXPECT_FAILS_WITH(truncate(m("f").c_str(), 0), EROFS);
  EXPECT_FAILS_WITH(mkfifo(m("p").c_str(), 0644), EROFS);
  EXPECT_FAILS_WITH(setxattr(m("f").c_str(), "user.a", "1", 1, 0), EROFS);
  EXPECT_FAILS_WITH(access(m("f").c_str(), W_OK), EROFS);

  EXPECT_EQ(read_all(b("f")), "content");
  EXPECT_NE(access(b("new").c_str(), F_OK), 0);
}

class ReadOnlyAskedFor : public ReadOnly {
 protected:
  ReadOnlyAskedFor() { query_ = "options=ro,noexec"; }
};

TEST_F(ReadOnlyAskedFor, IsReadOnlyToo) {
  EXPECT_EQ(fuse_mount_options(tree_.mnt).rfind("ro,", 0), 0u) << fuse_mount_options(tree_.mnt);
  EXPECT_NE(fuse_mount_options(tree_.mnt).find("noexec"), std::string::npos);
  EXPECT_EQ(read_all(m("f")), "content");
  EXPECT_FAILS_WITH(open(m("f").c_str(), O_WRONLY | O_TRUNC), EROFS);
}

}  // namespace
