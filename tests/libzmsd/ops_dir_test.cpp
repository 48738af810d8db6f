// Directory listings against the reference peer: chunks of the directory buffer size in both
// line formats, a chunk that ends right after a line, position and seek, and the path, volume
// and named-attribute operations that travel as file and server controls.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ops_fixture.h"

namespace {

enum : int { CMD_READDIR = 42, CMD_READDIR_EXT = 44 };

class OpsDirTest : public OpsTest {};

struct closer {
  void operator()(zmsd_dir *d) const { (void)zmsd_cli_closedir(d); }
};
using dir_ptr = std::unique_ptr<zmsd_dir, closer>;

struct listing_case {
  const char *name;
  const char *ver;
  int command;
};

TEST_F(OpsDirTest, ListingInChunksInBothFormats) {
  const std::vector<listing_case> cases = {{"extended lines", "1.6.8", CMD_READDIR_EXT},
                                           {"plain lines", "1.5.2", CMD_READDIR}};
  for (const listing_case &c : cases) {
    SCOPED_TRACE(c.name);
    start_peer({"--ver", c.ver});
    std::set<std::string> want = {".", "..", "sub"};
    for (int i = 0; i < 300; ++i) {
      const std::string name = "file-with-a-rather-long-name-" + std::to_string(i);
      put_file(name, std::string(size_t(i), 'x'));
      want.insert(name);
    }
    std::filesystem::create_directory(local("sub"));
    session_ptr s = connect("rdir-size=4k");
    const size_t first = requests().size();
    dir_ptr d(zmsd_cli_opendir(s.get(), "/", nullptr));
    ASSERT_TRUE(d) << zmsd_cli_last_error(s.get());
    std::set<std::string> got;
    while (zmsd_dirent *e = zmsd_cli_readdir(d.get())) {
      got.insert(e->name);
      const std::string name = e->name;
      if (name == "file-with-a-rather-long-name-299") {
        EXPECT_EQ(e->st.len, 299u);
      }
      if (name == "sub") {
        EXPECT_EQ(e->st.type, 1u);
      }
      if (name == "file-with-a-rather-long-name-1") {
        EXPECT_EQ(e->st.nlink, std::string(c.ver) == "1.6.8" ? 1u : 0u);
      }
    }
    EXPECT_EQ(zmsd_cli_last_errno(s.get()), 0);
    EXPECT_EQ(got, want);
    EXPECT_EQ(zmsd_cli_telldir(d.get()), int64_t(want.size()));
    const std::vector<int> sent = commands_since(first);
    EXPECT_GT(std::count(sent.begin(), sent.end(), c.command), 5);
  }
}

TEST_F(OpsDirTest, SeekdirRestartsFromTheGivenEntry) {
  start_peer({});
  for (int i = 0; i < 20; ++i) put_file("n" + std::to_string(i), "");
  session_ptr s = connect();
  dir_ptr d(zmsd_cli_opendir(s.get(), "/", nullptr));
  ASSERT_TRUE(d);
  std::vector<std::string> order;
  while (zmsd_dirent *e = zmsd_cli_readdir(d.get())) order.push_back(e->name);
  ASSERT_EQ(order.size(), 22u);
  ASSERT_EQ(zmsd_cli_seekdir(d.get(), 10), 0);
  EXPECT_EQ(zmsd_cli_telldir(d.get()), 10);
  zmsd_dirent *e = zmsd_cli_readdir(d.get());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->name, order[10]);
}

TEST_F(OpsDirTest, OpendirOfAMissingDirectoryFails) {
  start_peer({});
  session_ptr s = connect();
  EXPECT_EQ(zmsd_cli_opendir(s.get(), "/none", nullptr), nullptr);
  EXPECT_EQ(zmsd_cli_last_errno(s.get()), VERR_FILE_NOT_FOUND);
  EXPECT_EQ(zmsd_cli_readdir(reinterpret_cast<zmsd_dir *>(s.get())), nullptr);
}

TEST_F(OpsDirTest, PathOperationsReachTheServedDirectory) {
  start_peer({});
  put_file("f", "abcdef");
  session_ptr s = connect();
  zmsd_session *z = s.get();
  EXPECT_EQ(zmsd_cli_path_mode(z, ZMSD_IOCTL_MKDIR, "/d", 0750), 0);
  EXPECT_EQ(zmsd_cli_path_op(z, ZMSD_IOCTL_MKDIRS, "/p/q/r"), 0);
  EXPECT_EQ(zmsd_cli_path_op(z, ZMSD_IOCTL_CREATE_FILE, "/x/y/new"), 0);
  EXPECT_EQ(zmsd_cli_rename(z, "/f", "/d/g", 1), 0);
  EXPECT_EQ(zmsd_cli_two_paths(z, ZMSD_IOCTL_LINK, "/d/g", "/hard"), 0);
  EXPECT_EQ(zmsd_cli_two_paths(z, ZMSD_IOCTL_SYMLINK, "d/g", "/soft"), 0);
  EXPECT_EQ(zmsd_cli_path_mode(z, ZMSD_IOCTL_CHMOD, "/d/g", 0604), 0);
  EXPECT_EQ(zmsd_cli_truncate(z, "/d/g", 3), 0);
  const zmsd_ftimes t = {111111, 0, 222222, 0, 0, 0};
  EXPECT_EQ(zmsd_cli_utime(z, ZMSD_IOCTL_UTIME, "/d/g", &t), 0);
  EXPECT_EQ(zmsd_cli_path_mode(z, ZMSD_IOCTL_MKFIFO, "/fifo", 0600), 0);
  EXPECT_EQ(zmsd_cli_path_mode(z, ZMSD_IOCTL_ACCESS, "/d/g", R_OK), 0);
  EXPECT_EQ(zmsd_cli_chown(z, ZMSD_IOCTL_LCHOWN, "/d/g", getuid(), getgid()), 0);

  struct stat st {};
  ASSERT_EQ(stat(local("d/g").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);
  EXPECT_EQ(st.st_size, 3);
  EXPECT_EQ(st.st_mtime, 222222);
  EXPECT_EQ(st.st_nlink, 2u);
  EXPECT_TRUE(std::filesystem::is_directory(local("p/q/r")));
  EXPECT_TRUE(std::filesystem::is_regular_file(local("x/y/new")));
  EXPECT_TRUE(std::filesystem::is_fifo(local("fifo")));

  char target[64];
  EXPECT_EQ(zmsd_cli_readlink(z, "/soft", target, sizeof target), 3);
  EXPECT_STREQ(target, "d/g");
  char small[3];
  EXPECT_EQ(zmsd_cli_readlink(z, "/soft", small, sizeof small), 2);
  EXPECT_STREQ(small, "d/");

  EXPECT_EQ(zmsd_cli_path_op(z, ZMSD_IOCTL_UNLINK, "/hard"), 0);
  EXPECT_EQ(zmsd_cli_path_op(z, ZMSD_IOCTL_RMDIR, "/p/q/r"), 0);
  EXPECT_FALSE(std::filesystem::exists(local("hard")));
  EXPECT_FALSE(std::filesystem::exists(local("p/q/r")));
  EXPECT_EQ(zmsd_cli_path_op(z, ZMSD_IOCTL_RMDIR, "/p"), -1);  // not empty
  EXPECT_NE(zmsd_cli_last_errno(z), 0);
}

TEST_F(OpsDirTest, VolumeStatisticsAndServerInformation) {
  start_peer({"--ver", "1.6.8"});
  session_ptr s = connect();
  zmsd_volinfo v{};
  ASSERT_EQ(zmsd_cli_volinfo(s.get(), "/", &v), 0) << zmsd_cli_last_error(s.get());
  EXPECT_GT(v.total_bytes, 0u);
  EXPECT_GE(v.total_bytes, v.free_bytes);
  zmsd_statfs f{};
  ASSERT_EQ(zmsd_cli_statfs(s.get(), "/", &f), 0) << zmsd_cli_last_error(s.get());
  struct statvfs mine {};
  ASSERT_EQ(statvfs(peer().dir().c_str(), &mine), 0);
  EXPECT_EQ(f.v[0], uint64_t(mine.f_bsize));
  EXPECT_EQ(f.v[2], uint64_t(mine.f_blocks));
  char info[512];
  ASSERT_EQ(zmsd_cli_info(s.get(), info, sizeof info), 0);
  EXPECT_NE(std::string(info).find("ver=[1.6.8]"), std::string::npos);
  EXPECT_NE(zmsd_cli_os_type(s.get()), 1);  // not a Windows server
}

TEST_F(OpsDirTest, NamedAttributes) {
  start_peer({});
  put_file("a", "");
  if (setxattr(local("a").c_str(), "user.probe", "1", 1, 0) != 0)
    GTEST_SKIP() << "the served directory takes no user attributes";
  session_ptr s = connect();
  const std::string value = random_bytes(300);
  ASSERT_EQ(zmsd_cli_lsetxattr(s.get(), "/a", "user.k", value.data(), int(value.size()), 0), 0)
      << zmsd_cli_last_error(s.get());
  EXPECT_EQ(zmsd_cli_lgetxattr(s.get(), "/a", "user.k", nullptr, 0), 300);
  std::string back(300, '\0');
  EXPECT_EQ(zmsd_cli_lgetxattr(s.get(), "/a", "user.k", back.data(), 300), 300);
  EXPECT_EQ(back, value);
  char tiny[10];
  EXPECT_EQ(zmsd_cli_lgetxattr(s.get(), "/a", "user.k", tiny, sizeof tiny), -1);
  char names[256];
  const int n = zmsd_cli_llistxattr(s.get(), "/a", names, sizeof names);
  ASSERT_GT(n, 0);
  EXPECT_NE(std::string(names, size_t(n)).find(std::string("user.k\0", 7)), std::string::npos);
  EXPECT_EQ(zmsd_cli_lremovexattr(s.get(), "/a", "user.k"), 0);
  EXPECT_EQ(zmsd_cli_lgetxattr(s.get(), "/a", "user.k", nullptr, 0), -1);
}

}  // namespace
