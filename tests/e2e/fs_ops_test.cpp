// Every operation of the FUSE adapter through the kernel on a read-write mount, each with its
// error case, checked against the backing directory.
#include "e2e_fixture.h"

#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

namespace {

using FsOps = MountedTest;

TEST_F(FsOps, GetattrMatchesTheBacking) {
  ASSERT_TRUE(write_all(b("f"), "twelve bytes"));
  ASSERT_EQ(chmod(b("f").c_str(), 0640), 0);
  struct stat through{}, direct{};
  ASSERT_EQ(stat(m("f").c_str(), &through), 0);
  ASSERT_EQ(stat(b("f").c_str(), &direct), 0);
  EXPECT_EQ(through.st_size, 12);
  EXPECT_TRUE(S_ISREG(through.st_mode));
  if (e2e::expected().keeps_modes) {
    EXPECT_EQ(through.st_mode, direct.st_mode);
    EXPECT_EQ(through.st_uid, direct.st_uid);
    EXPECT_EQ(through.st_gid, direct.st_gid);
    EXPECT_EQ(through.st_nlink, direct.st_nlink);
  }
  EXPECT_EQ(through.st_mtim.tv_sec, direct.st_mtim.tv_sec);
  if (!e2e::external_backend()) {
    EXPECT_EQ(through.st_ino, direct.st_ino);
  }
  ASSERT_EQ(stat(m().c_str(), &through), 0);
  EXPECT_TRUE(S_ISDIR(through.st_mode));
  EXPECT_FAILS_WITH(stat(m("missing").c_str(), &through), ENOENT);
  EXPECT_FAILS_WITH(stat(m("f/below").c_str(), &through), ENOTDIR);
}

TEST_F(FsOps, CreateWriteAndReadWithOpenFlags) {
  int fd = open(m("f").c_str(), O_CREAT | O_EXCL | O_WRONLY, 0640);
  ASSERT_GE(fd, 0) << strerror(errno);
  EXPECT_EQ(write(fd, "hello", 5), 5);
  EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(read_all(b("f")), "hello");
  struct stat st{};
  ASSERT_EQ(stat(b("f").c_str(), &st), 0);
  if (e2e::expected().keeps_modes) {
    EXPECT_EQ(st.st_mode & 0777, 0640u);
  }

  EXPECT_FAILS_WITH(open(m("f").c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644), EEXIST);
  EXPECT_FAILS_WITH(open(m("missing").c_str(), O_RDONLY), ENOENT);
  EXPECT_FAILS_WITH(open(m("f").c_str(), O_RDONLY | O_DIRECTORY), ENOTDIR);

  fd = open(m("f").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(write(fd, " world", 6), 6);
  EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(read_all(b("f")), "hello world");

  if (const int eno = e2e::expected().read_write) {
    EXPECT_FAILS_WITH(open(m("f").c_str(), O_RDWR), eno);
  } else {
    fd = open(m("f").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(pwrite(fd, "W", 1, 6), 1);
    char buf[16] = {};
    EXPECT_EQ(pread(fd, buf, sizeof(buf), 0), 11);
    EXPECT_EQ(std::string(buf), "hello World");
    EXPECT_EQ(pread(fd, buf, sizeof(buf), 11), 0);
    EXPECT_EQ(pwrite(fd, "end", 3, 20), 3);
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(read_all(b("f")), std::string("hello World") + std::string(9, '\0') + "end");
  }

  fd = open(m("f").c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(fd, 0) << strerror(errno);
  EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(read_all(b("f")), "");
}

TEST_F(FsOps, MkdirAndRmdir) {
  ASSERT_EQ(mkdir(m("d").c_str(), 0750), 0);
  struct stat st{};
  ASSERT_EQ(stat(b("d").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  if (e2e::expected().keeps_modes) {
    EXPECT_EQ(st.st_mode & 0777, 0750u);
  }
  EXPECT_FAILS_WITH(mkdir(m("d").c_str(), 0755), EEXIST);
  EXPECT_FAILS_WITH(mkdir(m("nope/d").c_str(), 0755), ENOENT);
  ASSERT_TRUE(write_all(m("d/f"), "x"));
  EXPECT_FAILS_WITH(rmdir(m("d").c_str()), ENOTEMPTY);
  EXPECT_FAILS_WITH(rmdir(m("missing").c_str()), ENOENT);
  EXPECT_FAILS_WITH(rmdir(m("d/f").c_str()), ENOTDIR);
  ASSERT_EQ(unlink(m("d/f").c_str()), 0);
  ASSERT_EQ(rmdir(m("d").c_str()), 0);
  EXPECT_NE(access(b("d").c_str(), F_OK), 0);
}

TEST_F(FsOps, UnlinkRemovesFromTheBacking) {
  ASSERT_TRUE(write_all(b("f"), "x"));
  ASSERT_EQ(mkdir(b("d").c_str(), 0755), 0);
  ASSERT_EQ(unlink(m("f").c_str()), 0);
  EXPECT_NE(access(b("f").c_str(), F_OK), 0);
  EXPECT_FAILS_WITH(unlink(m("f").c_str()), ENOENT);
  EXPECT_FAILS_WITH(unlink(m("d").c_str()), EISDIR);
}

TEST_F(FsOps, RenameMovesAndReplaces) {
  ASSERT_TRUE(write_all(b("a"), "A"));
  ASSERT_TRUE(write_all(b("c"), "C"));
  ASSERT_EQ(rename(m("a").c_str(), m("b").c_str()), 0);
  EXPECT_EQ(read_all(b("b")), "A");
  EXPECT_NE(access(b("a").c_str(), F_OK), 0);
  ASSERT_EQ(rename(m("b").c_str(), m("c").c_str()), 0);
  EXPECT_EQ(read_all(b("c")), "A");
  EXPECT_FAILS_WITH(rename(m("missing").c_str(), m("x").c_str()), ENOENT);

  ASSERT_EQ(mkdir(m("d1").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(m("d2").c_str(), 0755), 0);
  ASSERT_TRUE(write_all(m("d2/inner"), "i"));
  EXPECT_FAILS_WITH(rename(m("d1").c_str(), m("d2").c_str()), ENOTEMPTY);

  EXPECT_EQ(e2e::shell("mv \"" + m("c") + "\" \"" + m("d1/moved") + "\""), 0);
  EXPECT_EQ(read_all(b("d1/moved")), "A");
}

TEST_F(FsOps, SymlinkAndReadlink) {
  ASSERT_TRUE(write_all(b("target"), "T"));
  char buf[256];
  EXPECT_FAILS_WITH(readlink(m("target").c_str(), buf, sizeof(buf)), EINVAL);
  if (const int eno = e2e::expected().symlink) {
    EXPECT_FAILS_WITH(symlink("target", m("rel").c_str()), eno);
    EXPECT_NE(access(b("rel").c_str(), F_OK), 0);
    return;
  }
  ASSERT_EQ(symlink("target", m("rel").c_str()), 0);
  ASSERT_EQ(symlink("/somewhere/else", m("abs").c_str()), 0);
  ssize_t n = readlink(b("rel").c_str(), buf, sizeof(buf));
  EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "target");
  n = readlink(m("abs").c_str(), buf, sizeof(buf));
  EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "/somewhere/else");
  EXPECT_EQ(read_all(m("rel")), "T");
  struct stat st{};
  ASSERT_EQ(lstat(m("rel").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(symlink("made/in/backing", b("back").c_str()), 0);
  n = readlink(m("back").c_str(), buf, sizeof(buf));
  EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "made/in/backing");
  EXPECT_FAILS_WITH(symlink("x", m("rel").c_str()), EEXIST);
  EXPECT_FAILS_WITH(readlink(m("missing").c_str(), buf, sizeof(buf)), ENOENT);
}

TEST_F(FsOps, HardLinks) {
  ASSERT_TRUE(write_all(b("a"), "shared"));
  if (const int eno = e2e::expected().hard_link) {
    EXPECT_FAILS_WITH(link(m("a").c_str(), m("h").c_str()), eno);
    EXPECT_NE(access(b("h").c_str(), F_OK), 0);
    return;
  }
  EXPECT_EQ(e2e::shell("ln \"" + m("a") + "\" \"" + m("h") + "\""), 0);
  struct stat a{}, h{};
  ASSERT_EQ(stat(b("a").c_str(), &a), 0);
  ASSERT_EQ(stat(b("h").c_str(), &h), 0);
  EXPECT_EQ(a.st_ino, h.st_ino);
  EXPECT_EQ(a.st_nlink, 2u);
  EXPECT_FAILS_WITH(link(m("a").c_str(), m("h").c_str()), EEXIST);
  EXPECT_FAILS_WITH(link(m("missing").c_str(), m("h2").c_str()), ENOENT);
}

TEST_F(FsOps, MknodMakesFifosAndDevices) {
  if (const int eno = e2e::expected().mknod) {
    EXPECT_FAILS_WITH(mkfifo(m("fifo").c_str(), 0640), eno);
    EXPECT_FAILS_WITH(mknod(m("null").c_str(), S_IFCHR | 0600, makedev(1, 3)), eno);
    EXPECT_NE(access(b("fifo").c_str(), F_OK), 0);
    return;
  }
  ASSERT_EQ(mkfifo(m("fifo").c_str(), 0640), 0);
  ASSERT_EQ(mknod(m("null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
  struct stat st{};
  ASSERT_EQ(lstat(b("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(lstat(b("null").c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(st.st_rdev, makedev(1, 3));
  EXPECT_FAILS_WITH(mkfifo(m("fifo").c_str(), 0640), EEXIST);
}

TEST_F(FsOps, ChmodChownAndTruncate) {
  const e2e::backend_expectations &can = e2e::expected();
  ASSERT_TRUE(write_all(b("f"), "0123456789"));
  // A back end without modes keeps chmod a silent success, so that cp and tar go on.
  ASSERT_EQ(chmod(m("f").c_str(), 0604), 0);
  struct stat st{};
  ASSERT_EQ(stat(b("f").c_str(), &st), 0);
  if (can.keeps_modes) {
    EXPECT_EQ(st.st_mode & 07777, 0604u);
  }
  if (can.chown) {
    EXPECT_FAILS_WITH(chown(m("f").c_str(), 1234, 4321), can.chown);
  } else {
    ASSERT_EQ(chown(m("f").c_str(), 1234, 4321), 0);
    ASSERT_EQ(stat(b("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 4321u);
  }
  EXPECT_FAILS_WITH(chmod(m("missing").c_str(), 0600), ENOENT);
  EXPECT_FAILS_WITH(chown(m("missing").c_str(), 1, 1), ENOENT);

  if (can.truncate) {
    EXPECT_FAILS_WITH(truncate(m("f").c_str(), 3), can.truncate);
    EXPECT_FAILS_WITH(truncate(m("f").c_str(), 100000), can.truncate);
    EXPECT_EQ(read_all(b("f")), "0123456789");
  } else {
    ASSERT_EQ(truncate(m("f").c_str(), 3), 0);
    EXPECT_EQ(read_all(b("f")), "012");
    ASSERT_EQ(truncate(m("f").c_str(), 100000), 0);
    ASSERT_EQ(stat(b("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 100000);
  }
  ASSERT_EQ(truncate(m("f").c_str(), 0), 0);
  EXPECT_EQ(read_all(b("f")), "");
  EXPECT_FAILS_WITH(truncate(m("missing").c_str(), 1), ENOENT);
}

TEST_F(FsOps, UtimensSetsTheTimes) {
  ASSERT_TRUE(write_all(b("f"), "x"));
  const struct timespec times[2] = {{1000000000, 0}, {1200000000, 0}};
  if (const int eno = e2e::expected().utimens) {
    EXPECT_FAILS_WITH(utimensat(AT_FDCWD, m("f").c_str(), times, 0), eno);
    EXPECT_NE(e2e::shell("touch -d @1300000000 \"" + m("f") + "\" 2>/dev/null"), 0);
    return;
  }
  ASSERT_EQ(utimensat(AT_FDCWD, m("f").c_str(), times, 0), 0);
  struct stat st{};
  ASSERT_EQ(stat(b("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(e2e::shell("touch -d @1300000000 \"" + m("f") + "\""), 0);
  ASSERT_EQ(stat(b("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1300000000);
  EXPECT_FAILS_WITH(utimensat(AT_FDCWD, m("missing").c_str(), times, 0), ENOENT);
}

// touch -m, touch -a and tar set one time and leave the other alone (UTIME_OMIT).
TEST_F(FsOps, OneTimeChangesAndTheOtherStays) {
  ASSERT_TRUE(write_all(b("f"), "x"));
  const struct timespec start[2] = {{1000000000, 0}, {1200000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, b("f").c_str(), start, 0), 0);
  if (const int eno = e2e::expected().utimens) {
    const struct timespec mtime_only[2] = {{0, UTIME_OMIT}, {978307200, 0}};
    EXPECT_FAILS_WITH(utimensat(AT_FDCWD, m("f").c_str(), mtime_only, 0), eno);
    struct stat st{};
    ASSERT_EQ(stat(b("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
    return;
  }
  EXPECT_EQ(e2e::shell("touch -m -d 2001-01-01T00:00:00Z \"" + m("f") + "\""), 0);
  struct stat st{};
  ASSERT_EQ(stat(b("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 978307200);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(e2e::shell("touch -a -d 2002-01-01T00:00:00Z \"" + m("f") + "\""), 0);
  ASSERT_EQ(stat(b("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1009843200);
  EXPECT_EQ(st.st_mtim.tv_sec, 978307200);
  const struct timespec now_atime[2] = {{0, UTIME_NOW}, {0, UTIME_OMIT}};
  const time_t before = time(nullptr);
  ASSERT_EQ(utimensat(AT_FDCWD, m("f").c_str(), now_atime, 0), 0);
  ASSERT_EQ(stat(b("f").c_str(), &st), 0);
  EXPECT_GE(st.st_atim.tv_sec, before);
  EXPECT_LE(st.st_atim.tv_sec, time(nullptr));
  EXPECT_EQ(st.st_mtim.tv_sec, 978307200);
}

// tar restores every modification time with UTIME_OMIT for the access time.
TEST_F(FsOps, TarRestoresModificationTimes) {
  ASSERT_TRUE(std::filesystem::create_directories(b("src/sub")));
  for (const char *rel : {"src/a", "src/sub/b", "src/sub/c"}) ASSERT_TRUE(write_all(b(rel), rel));
  std::string archive = tree_.work + "/" + name_ + ".tar";
  ASSERT_EQ(e2e::shell("touch -d 2001-01-01T00:00:00Z \"" + b("src") + "\"/a \"" + b("src") +
                       "\"/sub/* && tar -C \"" + b() + "\" -cf \"" + archive + "\" src"),
            0);
  ASSERT_TRUE(std::filesystem::create_directories(m("out")));
  const int extracted =
      e2e::shell("tar -C \"" + m("out") + "\" -xf \"" + archive + "\" 2>/dev/null");
  if (e2e::expected().utimens) {
    // tar says it could not set the times, yet every file arrives whole.
    EXPECT_NE(extracted, 0);
    EXPECT_EQ(read_all(b("out/src/sub/c")), "src/sub/c");
    return;
  }
  ASSERT_EQ(extracted, 0);
  std::string diff = e2e::shell_output("tar -C \"" + m("out") + "\" -df \"" + archive + "\" 2>&1");
  EXPECT_EQ(diff.find("Mod time differs"), std::string::npos) << diff;
  EXPECT_EQ(diff, "");
}

TEST_F(FsOps, AccessFollowsTheBacking) {
  ASSERT_TRUE(write_all(b("f"), "x"));
  EXPECT_EQ(access(m("f").c_str(), F_OK), 0);
  EXPECT_EQ(access(m("f").c_str(), R_OK | W_OK), 0);
  EXPECT_FAILS_WITH(access(m("missing").c_str(), F_OK), ENOENT);
}

TEST_F(FsOps, StatfsDescribesTheBacking) {
  struct statvfs through{}, direct{};
  ASSERT_EQ(statvfs(m().c_str(), &through), 0);
  ASSERT_EQ(statvfs(b().c_str(), &direct), 0);
  if (!e2e::expected().real_statfs) {
    EXPECT_EQ(through.f_blocks, 0u);
    EXPECT_EQ(through.f_files, 0u);
    return;
  }
  EXPECT_EQ(through.f_bsize, direct.f_bsize);
  EXPECT_EQ(through.f_blocks, direct.f_blocks);
  EXPECT_EQ(through.f_files, direct.f_files);
  EXPECT_EQ(through.f_namemax, direct.f_namemax);
}

TEST_F(FsOps, FsyncWritesThroughBeforeClose) {
  int fd = open(m("f").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "synced", 6), 6);
  EXPECT_EQ(fsync(fd), 0);
  EXPECT_EQ(read_all(b("f")), "synced");
  EXPECT_EQ(close(fd), 0);
}

TEST_F(FsOps, ExtendedAttributes) {
  ASSERT_TRUE(write_all(b("f"), "x"));
  if (const int eno = e2e::expected().xattr) {
    EXPECT_FAILS_WITH(setxattr(m("f").c_str(), "user.color", "blue", 4, 0), eno);
    EXPECT_FAILS_WITH(getxattr(m("f").c_str(), "user.color", nullptr, 0), eno);
    EXPECT_EQ(listxattr(m("f").c_str(), nullptr, 0), 0) << "a list without attributes";
    EXPECT_FAILS_WITH(removexattr(m("f").c_str(), "user.color"), eno);
    return;
  }
  if (setxattr(b("f").c_str(), "user.probe", "1", 1, 0) != 0) {
    GTEST_SKIP() << "backing has no user attributes: " << strerror(errno);
  }
  ASSERT_EQ(removexattr(b("f").c_str(), "user.probe"), 0);

  EXPECT_EQ(e2e::shell("setfattr -n user.color -v blue \"" + m("f") + "\""), 0);
  char value[64] = {};
  EXPECT_EQ(getxattr(b("f").c_str(), "user.color", value, sizeof(value)), 4);
  EXPECT_EQ(std::string(value), "blue");
  EXPECT_EQ(e2e::shell_output("getfattr --only-values -n user.color \"" + m("f") + "\""), "blue");
  EXPECT_EQ(getxattr(m("f").c_str(), "user.color", nullptr, 0), 4);

  char list[256] = {};
  ssize_t n = listxattr(m("f").c_str(), list, sizeof(list));
  ASSERT_GT(n, 0);
  std::set<std::string> names;
  for (const char *p = list; p < list + n; p += strlen(p) + 1) names.insert(p);
  EXPECT_TRUE(names.count("user.color"));

  EXPECT_FAILS_WITH(setxattr(m("f").c_str(), "user.color", "red", 3, XATTR_CREATE), EEXIST);
  EXPECT_FAILS_WITH(setxattr(m("f").c_str(), "user.none", "red", 3, XATTR_REPLACE), ENODATA);
  EXPECT_FAILS_WITH(getxattr(m("f").c_str(), "user.none", value, sizeof(value)), ENODATA);
  EXPECT_NE(e2e::shell("getfattr -n user.none \"" + m("f") + "\" 2>/dev/null"), 0);

  EXPECT_EQ(e2e::shell("setfattr -x user.color \"" + m("f") + "\""), 0);
  EXPECT_FAILS_WITH(getxattr(b("f").c_str(), "user.color", value, sizeof(value)), ENODATA);
  EXPECT_FAILS_WITH(removexattr(m("f").c_str(), "user.color"), ENODATA);
  EXPECT_EQ(listxattr(m("f").c_str(), list, sizeof(list)), 0);
}

std::set<std::string> list_dir(const std::string &path) {
  std::set<std::string> names;
  DIR *dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent *e = readdir(dir)) names.insert(e->d_name);
  closedir(dir);
  return names;
}

TEST_F(FsOps, ReaddirShowsWhatTheBackingHolds) {
  ASSERT_TRUE(write_all(b("file"), "x"));
  ASSERT_EQ(mkdir(b("dir").c_str(), 0755), 0);
  ASSERT_EQ(symlink("file", b("link").c_str()), 0);
  EXPECT_EQ(list_dir(m()), (std::set<std::string>{".", "..", "file", "dir", "link"}));
  EXPECT_EQ(list_dir(m("dir")), (std::set<std::string>{".", ".."}));
  errno = 0;
  EXPECT_EQ(opendir(m("missing").c_str()), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(opendir(m("file").c_str()), nullptr);
  EXPECT_EQ(errno, ENOTDIR);
}

}  // namespace
