// The FTP driver through the VFS against a real proftpd on 127.0.0.1: large transfers in and
// out, restarts, a directory of 2000 entries, path operations with their errors, anonymous
// read-only access, a refused password and a server that goes away under a mount.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "proftpd_server.h"
#include "vfs.h"

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class FtpServer : public testing::Test {
 protected:
  void SetUp() override {
    const std::string why = ProftpdServer::missing_prerequisite();
    if (!why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(server_.start()) << server_.why();
  }
  void TearDown() override {
    if (mount_ != nullptr) vfs_umount(mount_);
  }

  void mount(const std::string &url) {
    mount_ = vfs_mount(url.c_str(), &err_);
    ASSERT_NE(mount_, nullptr) << err_.text << "\n" << server_.log();
  }

  ProftpdServer server_;
  VfsMount *mount_ = nullptr;
  verr_info err_{};
};

TEST_F(FtpServer, LargeFileCopiedInAndOutIntact) {
  mount(server_.user_url());
  std::string data(64 << 20, '\0');
  std::mt19937_64 rng(42);
  for (size_t i = 0; i + 8 <= data.size(); i += 8) {
    const uint64_t v = rng();
    memcpy(&data[i], &v, 8);
  }
  VfsHandle *up =
      vfs_open2(mount_, "/big", VFS_PL_O_WRONLY | VFS_PL_O_CREAT | VFS_PL_O_TRUNC, 0644);
  ASSERT_NE(up, nullptr) << vfs_get_error(mount_);
  const uint32_t chunk = 128 << 10;
  for (size_t off = 0; off < data.size(); off += chunk)
    ASSERT_EQ(vfs_write(up, data.data() + off, chunk, static_cast<int64_t>(off)),
              static_cast<int>(chunk))
        << off << ": " << vfs_get_error(up);
  ASSERT_EQ(vfs_release(up), 0) << vfs_get_error(mount_);
  ASSERT_TRUE(slurp(server_.home() + "/big") == data) << "uploaded bytes differ";

  VfsFileInfo info{};
  ASSERT_EQ(vfs_lstat(mount_, "/big", &info), 0) << vfs_get_error(mount_);
  EXPECT_EQ(info.size, 64LL << 20);
  VfsHandle *down = vfs_open2(mount_, "/big", VFS_PL_O_RDONLY, 0);
  ASSERT_NE(down, nullptr) << vfs_get_error(mount_);
  std::string back(data.size(), '\0');
  for (size_t off = 0; off < back.size(); off += chunk)
    ASSERT_EQ(vfs_read(down, &back[off], chunk, static_cast<int64_t>(off)), static_cast<int>(chunk))
        << off << ": " << vfs_get_error(down);
  EXPECT_TRUE(back == data) << "downloaded bytes differ";
  char tail[100];
  const int64_t at = (40LL << 20) + 3;  // a jump back restarts with REST
  ASSERT_EQ(vfs_read(down, tail, sizeof tail, at), static_cast<int>(sizeof tail));
  EXPECT_EQ(memcmp(tail, data.data() + at, sizeof tail), 0);
  EXPECT_EQ(vfs_read(down, tail, sizeof tail, 64LL << 20), 0);
  EXPECT_EQ(vfs_close(down), 0);
}

TEST_F(FtpServer, DirectoryOf2000EntriesIsListedCompletely) {
  std::filesystem::create_directories(server_.home() + "/many");
  std::set<std::string> expected = {".", ".."};
  for (int i = 0; i < 2000; ++i) {
    const std::string name = "entry_with_a_longish_name_" + std::to_string(i);
    std::ofstream(server_.home() + "/many/" + name) << i;
    expected.insert(name);
  }
  mount(server_.user_url());
  VfsHandle *dh = vfs_opendir(mount_, "/many", nullptr);
  ASSERT_NE(dh, nullptr) << vfs_get_error(mount_);
  std::set<std::string> names;
  size_t delivered = 0;
  while (VfsDirEntry *e = vfs_readdir(dh)) {
    names.insert(e->name);
    ++delivered;
  }
  EXPECT_EQ(vfs_closedir(dh), 0);
  EXPECT_EQ(delivered, expected.size());
  EXPECT_EQ(names, expected);
}

TEST_F(FtpServer, PathOperationsAndTheirErrors) {
  mount(server_.user_url());
  ASSERT_EQ(vfs_mkdir(mount_, "/d", 0755), 0) << vfs_get_error(mount_);
  EXPECT_EQ(vfs_mkdir(mount_, "/d", 0755), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), EEXIST);
  EXPECT_EQ(vfs_mkdir(mount_, "/nope/d", 0755), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOENT);

  VfsHandle *fh = vfs_open2(mount_, "/d/f", VFS_PL_O_WRONLY | VFS_PL_O_CREAT, 0644);
  ASSERT_NE(fh, nullptr) << vfs_get_error(mount_);
  ASSERT_EQ(vfs_write(fh, "hello", 5, 0), 5);
  ASSERT_EQ(vfs_release(fh), 0);
  fh = vfs_open2(mount_, "/d/f", VFS_PL_O_WRONLY | VFS_PL_O_APPEND, 0);
  ASSERT_NE(fh, nullptr) << vfs_get_error(mount_);
  ASSERT_EQ(vfs_write(fh, " world", 6, 5), 6);
  ASSERT_EQ(vfs_release(fh), 0);
  EXPECT_EQ(slurp(server_.home() + "/d/f"), "hello world");
  EXPECT_EQ(vfs_open2(mount_, "/d/f", VFS_PL_O_WRONLY, 0), nullptr) << "would cut the file";
  EXPECT_EQ(vfs_get_posix_errno(mount_), EOPNOTSUPP);

  VfsFileInfo info{};
  ASSERT_EQ(vfs_lstat(mount_, "/d/f", &info), 0);
  EXPECT_EQ(info.size, 11);
  EXPECT_EQ(info.mode & 0777, 0644u);
  EXPECT_EQ(vfs_lstat(mount_, "/d/f/below", &info), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOTDIR);
  EXPECT_EQ(vfs_rmdir(mount_, "/d"), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOTEMPTY);
  EXPECT_EQ(vfs_unlink(mount_, "/d"), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), EISDIR);
  EXPECT_EQ(vfs_truncate(mount_, "/d/f", 3), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), EOPNOTSUPP);

  ASSERT_EQ(vfs_rename(mount_, "/d/f", "/d/g", 1), 0) << vfs_get_error(mount_);
  EXPECT_EQ(vfs_rename(mount_, "/d/f", "/d/h", 1), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOENT);
  ASSERT_EQ(vfs_truncate(mount_, "/d/g", 0), 0) << vfs_get_error(mount_);
  EXPECT_EQ(slurp(server_.home() + "/d/g"), "");
  ASSERT_EQ(vfs_unlink(mount_, "/d/g"), 0);
  EXPECT_EQ(vfs_unlink(mount_, "/d/g"), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOENT);
  ASSERT_EQ(vfs_rmdir(mount_, "/d"), 0);
  EXPECT_FALSE(std::filesystem::exists(server_.home() + "/d"));
}

TEST_F(FtpServer, MountPathIsTheRoot) {
  std::filesystem::create_directories(server_.home() + "/pub/inner");
  std::ofstream(server_.home() + "/pub/inner/f") << "x";
  mount(server_.user_url("/pub"));
  VfsFileInfo info{};
  ASSERT_EQ(vfs_lstat(mount_, "/inner/f", &info), 0) << vfs_get_error(mount_);
  EXPECT_EQ(info.size, 1);
}

TEST_F(FtpServer, AnonymousMountReadsAndCannotWrite) {
  std::ofstream(server_.anon() + "/readme.txt") << "public text";
  mount(server_.anonymous_url());
  VfsHandle *fh = vfs_open2(mount_, "/readme.txt", VFS_PL_O_RDONLY, 0);
  ASSERT_NE(fh, nullptr) << vfs_get_error(mount_);
  char buf[64];
  ASSERT_EQ(vfs_read(fh, buf, sizeof buf, 0), 11);
  EXPECT_EQ(std::string(buf, 11), "public text");
  EXPECT_EQ(vfs_close(fh), 0);
  EXPECT_EQ(vfs_open2(mount_, "/new", VFS_PL_O_WRONLY | VFS_PL_O_CREAT, 0644), nullptr);
  EXPECT_EQ(vfs_get_posix_errno(mount_), EPERM);
  EXPECT_EQ(vfs_mkdir(mount_, "/d", 0755), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), EPERM);
}

TEST_F(FtpServer, WrongPasswordFailsWithTheReplyCode) {
  EXPECT_EQ(vfs_mount(server_.url_with_password("not-it").c_str(), &err_), nullptr);
  EXPECT_NE(std::string(err_.text).find("530"), std::string::npos) << err_.text;
}

TEST_F(FtpServer, ServerGoneMarksTheMountBroken) {
  mount(server_.user_url());
  EXPECT_EQ(vfs_need_exit(mount_), 0u);
  server_.stop();
  uint32_t broken = 0;
  for (int i = 0; i < 50 && broken == 0; ++i) {
    broken = vfs_need_exit(mount_);
    if (broken == 0) usleep(100000);
  }
  EXPECT_EQ(broken, 1u);
  VfsVolInfo vol{};
  EXPECT_EQ(vfs_statvol(mount_, &vol), -1);
}

}  // namespace
