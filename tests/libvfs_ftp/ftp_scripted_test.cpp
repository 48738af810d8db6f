// The FTP driver through the VFS against the scripted server: the login dialogue, offsets and
// restarts of downloads, sequential uploads, MLST and MLSD answers with 64-bit sizes, two
// transfers at once, the liveness probe and the reconnect after the server hung up.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <set>
#include <string>

#include "scripted_ftp.h"
#include "vfs.h"

namespace {

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

class FtpScripted : public testing::Test {
 protected:
  void TearDown() override {
    if (mount_ != nullptr) {
      EXPECT_EQ(vfs_umount(mount_), 0);
    }
  }

  // Mounts the scripted server without caches, so that reads and writes reach the driver.
  void mount(const std::string &userinfo = "u:p") {
    mount_ = vfs_mount(server_.url(userinfo, "/?rcache_size=0&wcache_size=0").c_str(), &err_);
    ASSERT_NE(mount_, nullptr) << err_.text;
  }

  // Serves `body` to RETR from the offset of the last REST.
  void serve_file(const std::string &body) {
    server_.on("REST", [this](ScriptedFtp::Session &s, const std::string &arg) {
      rest_ = std::stoll(arg);
      s.reply("350 Restarting");
    });
    server_.on("RETR", [this, body](ScriptedFtp::Session &s, const std::string &) {
      const size_t from = static_cast<size_t>(rest_.exchange(0));
      ScriptedFtp::send_data(s, body.substr(std::min(from, body.size())));
    });
    server_.on("SIZE", [body](ScriptedFtp::Session &s, const std::string &) {
      s.reply("213 " + std::to_string(body.size()));
    });
  }

  size_t count(const std::string &line) const {
    const auto cmds = server_.commands();
    return static_cast<size_t>(std::count(cmds.begin(), cmds.end(), line));
  }

  ScriptedFtp server_;
  VfsMount *mount_ = nullptr;
  verr_info err_{};
  std::atomic<long long> rest_{0};
};

TEST_F(FtpScripted, AnonymousLoginDialogue) {
  mount("");
  const auto cmds = server_.commands();
  ASSERT_GE(cmds.size(), 4u);
  EXPECT_EQ(cmds[0], "USER anonymous");
  EXPECT_EQ(cmds[1].rfind("PASS ", 0), 0u);
  EXPECT_NE(cmds[1].find('@'), std::string::npos) << "an e-mail-style password";
  EXPECT_EQ(cmds[2], "SYST");
  EXPECT_EQ(cmds[3], "FEAT");
}

TEST_F(FtpScripted, WrongPasswordFailsTheMountWithTheReplyCode) {
  server_.refuse_password("wrong");
  EXPECT_EQ(vfs_mount(server_.url("u:wrong").c_str(), &err_), nullptr);
  EXPECT_NE(std::string(err_.text).find("530"), std::string::npos) << err_.text;
}

TEST_F(FtpScripted, OffsetQuerySendsRestBeforeRetr) {
  serve_file(pattern(2 << 20));
  mount();
  VfsHandle *fh = vfs_open(mount_, "dir/file.bin?offset=1048576", VFS_O_RDONLY);
  ASSERT_NE(fh, nullptr) << vfs_get_error(mount_);
  char buf[4];
  ASSERT_EQ(vfs_read(fh, buf, sizeof buf, -1), 4);
  EXPECT_EQ(std::string(buf, 4), pattern(2 << 20).substr(1048576, 4));
  EXPECT_EQ(vfs_close(fh), 0);
  const auto cmds = server_.commands();
  const auto rest = std::find(cmds.begin(), cmds.end(), "REST 1048576");
  ASSERT_NE(rest, cmds.end());
  EXPECT_NE(std::find(rest, cmds.end(), "RETR /dir/file.bin"), cmds.end());
}

TEST_F(FtpScripted, ReadsContinueOrRestartAtTheirOffset) {
  const std::string body = pattern(300);
  serve_file(body);
  mount();
  VfsHandle *fh = vfs_open2(mount_, "/f", VFS_PL_O_RDONLY, 0);
  ASSERT_NE(fh, nullptr) << vfs_get_error(mount_);
  char buf[64];
  struct {
    int64_t offset;
    uint32_t size;
    int got;
  } reads[] = {{0, 10, 10}, {10, 10, 10}, {200, 20, 20}, {5, 10, 10}, {290, 64, 10}, {300, 8, 0}};
  for (const auto &r : reads) {
    SCOPED_TRACE(r.offset);
    ASSERT_EQ(vfs_read(fh, buf, r.size, r.offset), r.got) << vfs_get_error(fh);
    EXPECT_EQ(std::string(buf, r.got), body.substr(r.offset, r.got));
  }
  EXPECT_EQ(vfs_close(fh), 0);
  EXPECT_EQ(count("RETR /f"), 4u) << "one start, restarts at 200, 5 and 290";
  EXPECT_EQ(count("REST 200"), 1u);
  EXPECT_EQ(count("REST 5"), 1u);
}

TEST_F(FtpScripted, UploadsAreOneSequentialStream) {
  std::string received;
  server_.on("STOR", [&](ScriptedFtp::Session &s, const std::string &) {
    received = ScriptedFtp::receive_data(s);
  });
  server_.on("APPE", [&](ScriptedFtp::Session &s, const std::string &) {
    received += ScriptedFtp::receive_data(s);
  });
  server_.on("SIZE", [](ScriptedFtp::Session &s, const std::string &) { s.reply("550 No file"); });
  mount();
  VfsHandle *fh = vfs_open2(mount_, "/up", VFS_PL_O_WRONLY | VFS_PL_O_CREAT | VFS_PL_O_TRUNC, 0644);
  ASSERT_NE(fh, nullptr) << vfs_get_error(mount_);
  EXPECT_EQ(vfs_write(fh, "hello", 5, 0), 5);
  ASSERT_EQ(vfs_fsync(fh, 0), 0) << vfs_get_error(fh);
  EXPECT_EQ(received, "hello") << "the server has the data once fsync returns";
  EXPECT_EQ(vfs_write(fh, " world", 6, 5), 6);
  EXPECT_EQ(vfs_write(fh, "gap", 3, 100), -1);
  EXPECT_EQ(vfs_get_posix_errno(fh), EINVAL);
  EXPECT_EQ(vfs_write(fh, "!", 1, 0), -1) << "no rewrite either";
  EXPECT_EQ(vfs_close(fh), 0);
  EXPECT_EQ(received, "hello world");
  EXPECT_EQ(count("APPE /up"), 1u);
}

// The server stores a little, then breaks the data connection and says why (its disk is full):
// the write reports that reason, and the upload stays failed instead of going on as an append.
TEST_F(FtpScripted, UploadTheServerBreaksOffFailsWithItsReason) {
  server_.on("STOR", [](ScriptedFtp::Session &s, const std::string &) {
    const int fd = s.accept_data();
    if (fd < 0) return;
    s.reply("150 Ok to send data");
    char buf[4096];
    (void)recv(fd, buf, sizeof buf, 0);
    const linger reset{1, 0};
    (void)setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
    s.reply("452 Transfer aborted. No space left on device");
  });
  server_.on("SIZE", [](ScriptedFtp::Session &s, const std::string &) { s.reply("550 No file"); });
  mount();
  VfsHandle *fh = vfs_open2(mount_, "/up", VFS_PL_O_WRONLY | VFS_PL_O_CREAT | VFS_PL_O_TRUNC, 0644);
  ASSERT_NE(fh, nullptr) << vfs_get_error(mount_);
  const std::string body = pattern(16 << 20);  // far more than the socket buffers hold
  EXPECT_EQ(vfs_write(fh, body.data(), static_cast<uint32_t>(body.size()), 0), -1);
  EXPECT_EQ(vfs_get_posix_errno(fh), ENOSPC) << vfs_get_error(fh);
  EXPECT_EQ(vfs_write(fh, "more", 4, -1), -1);
  EXPECT_EQ(vfs_get_posix_errno(fh), ENOSPC);
  EXPECT_EQ(vfs_write(fh, "more", 4, int64_t(body.size())), -1);  // where the kernel writes next
  EXPECT_EQ(vfs_get_posix_errno(fh), ENOSPC);
  EXPECT_EQ(vfs_fsync(fh, 0), -1);
  EXPECT_EQ(vfs_close(fh), -1);
  EXPECT_EQ(count("APPE /up"), 0u);
}

TEST_F(FtpScripted, OpensAnUploadCannotServe) {
  server_.on("SIZE", [](ScriptedFtp::Session &s, const std::string &) { s.reply("213 42"); });
  mount();
  EXPECT_EQ(vfs_open2(mount_, "/f", VFS_PL_O_RDWR, 0), nullptr);
  EXPECT_EQ(vfs_get_posix_errno(mount_), EOPNOTSUPP);
  EXPECT_EQ(vfs_open2(mount_, "/f", VFS_PL_O_WRONLY, 0), nullptr)
      << "an upload would cut the file's 42 bytes";
  EXPECT_EQ(vfs_get_posix_errno(mount_), EOPNOTSUPP);
  EXPECT_EQ(count("STOR /f"), 0u);
  EXPECT_EQ(vfs_open2(mount_, "/bad\nname", VFS_PL_O_RDONLY, 0), nullptr);
  EXPECT_EQ(vfs_get_posix_errno(mount_), EINVAL);
}

TEST_F(FtpScripted, MlstAnswersStatWith64BitSizes) {
  server_.on("MLST", [](ScriptedFtp::Session &s, const std::string &arg) {
    if (arg == "/big")
      s.reply(
          "250-Listing /big\r\n type=file;size=5368709120;modify=20240101000000; /big\r\n250 End");
    else
      s.reply("550 No such file");
  });
  mount();
  VfsFileInfo info{};
  ASSERT_EQ(vfs_lstat(mount_, "/big", &info), 0) << vfs_get_error(mount_);
  EXPECT_EQ(info.type & 0xff, VFS_FTYPE_FILE);
  EXPECT_EQ(info.size, 5368709120LL);
  EXPECT_EQ(info.mtime.sec, 1704067200);
  ASSERT_EQ(vfs_lstat(mount_, "/", &info), 0);
  EXPECT_EQ(info.type & 0xff, VFS_FTYPE_DIR);
  EXPECT_EQ(vfs_lstat(mount_, "/missing", &info), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOENT);
  EXPECT_EQ(vfs_lstat(mount_, "/big/below", &info), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOTDIR);
}

class FtpScriptedListing : public FtpScripted {
 protected:
  void SetUp() override {
    server_.set_features("211-Features:\r\n SIZE\r\n211 End");
    server_.on("CWD", [](ScriptedFtp::Session &s, const std::string &arg) {
      s.reply(arg == "/" || arg == "/sub" ? "250 Ok" : "550 No such directory");
    });
    server_.on("MLSD", [](ScriptedFtp::Session &s, const std::string &) {
      ScriptedFtp::send_data(s,
                             "type=cdir;modify=20240101000000; .\r\n"
                             "type=pdir;modify=20240101000000; ..\r\n"
                             "type=file;size=5368709120;modify=20240101000000; big\r\n"
                             "garbage without facts\r\n"
                             "type=dir;modify=20231231000000; sub\r\n");
    });
  }
};

TEST_F(FtpScriptedListing, OpendirDeliversEveryUsableLine) {
  mount();
  VfsHandle *dh = vfs_opendir(mount_, "/", nullptr);
  ASSERT_NE(dh, nullptr) << vfs_get_error(mount_);
  std::set<std::string> names;
  while (VfsDirEntry *e = vfs_readdir(dh)) {
    names.insert(e->name);
    if (std::string(e->name) == "big") {
      EXPECT_EQ(e->info.size, 5368709120LL);
    }
    if (std::string(e->name) == "sub") {
      EXPECT_EQ(e->info.type & 0xff, VFS_FTYPE_DIR);
    }
  }
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "big", "sub"}));
  EXPECT_EQ(vfs_closedir(dh), 0);
  EXPECT_EQ(vfs_opendir(mount_, "/nowhere", nullptr), nullptr);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOENT);
}

TEST_F(FtpScriptedListing, WithoutMlstStatReadsTheParentListing) {
  mount();
  VfsFileInfo info{};
  ASSERT_EQ(vfs_lstat(mount_, "/sub/big", &info), 0) << vfs_get_error(mount_);
  EXPECT_EQ(info.size, 5368709120LL);
  EXPECT_EQ(count("MLST /sub/big"), 0u);
  // Entries numbered 0 are skipped by readdir(3); stat and listing must agree.
  EXPECT_NE(info.ino, 0u);
  VfsHandle *dh = vfs_opendir(mount_, "/sub", nullptr);
  ASSERT_NE(dh, nullptr);
  std::set<uint64_t> inos;
  while (VfsDirEntry *e = vfs_readdir(dh)) {
    EXPECT_NE(e->info.ino, 0u) << e->name;
    inos.insert(e->info.ino);
    if (std::string(e->name) == "big") {
      EXPECT_EQ(e->info.ino, info.ino);
    }
  }
  EXPECT_EQ(inos.size(), 4u) << "one number per entry";
  EXPECT_EQ(vfs_closedir(dh), 0);
  EXPECT_EQ(vfs_lstat(mount_, "/sub/none", &info), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), ENOENT);
}

TEST_F(FtpScripted, TwoTransfersAtOnceGetTwoControlConnections) {
  serve_file(pattern(100));
  mount();
  VfsHandle *a = vfs_open2(mount_, "/a", VFS_PL_O_RDONLY, 0);
  VfsHandle *b = vfs_open2(mount_, "/b", VFS_PL_O_RDONLY, 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr) << vfs_get_error(mount_);
  EXPECT_EQ(server_.logins(), 2);
  char buf[100];
  EXPECT_EQ(vfs_read(b, buf, sizeof buf, 0), 100);
  EXPECT_EQ(vfs_read(a, buf, sizeof buf, 0), 100);
  EXPECT_EQ(vfs_close(a), 0);
  EXPECT_EQ(vfs_close(b), 0);
  VfsVolInfo vol{};
  EXPECT_EQ(vfs_statvol(mount_, &vol), 0);
  EXPECT_EQ(server_.logins(), 2) << "the freed connections are used again";
}

TEST_F(FtpScripted, StatfsProbesAndAHungUpConnectionIsReplaced) {
  std::atomic<int> noops{0};
  server_.on("NOOP", [&](ScriptedFtp::Session &s, const std::string &) {
    const int n = ++noops;
    s.reply("200 Ok");
    if (n == 1) shutdown(s.fd, SHUT_RDWR);  // an idle time-out of the server
  });
  mount();
  VfsVolInfo vol{};
  ASSERT_EQ(vfs_statvol(mount_, &vol), 0);
  EXPECT_EQ(vol.name_max, 255u);
  EXPECT_GT(vfs_get_active_time(mount_), 0u);
  for (int i = 0; i < 50 && vfs_need_exit(mount_) == 0 && server_.logins() < 2; ++i) usleep(20000);
  EXPECT_EQ(vfs_need_exit(mount_), 0u);
  EXPECT_EQ(server_.logins(), 2) << "logged in again";
  ASSERT_EQ(vfs_statvol(mount_, &vol), 0);
  EXPECT_EQ(noops.load(), 2);
}

TEST_F(FtpScripted, ServerThatRefusesNewLoginsMarksTheMountBroken) {
  server_.on("NOOP", [&](ScriptedFtp::Session &s, const std::string &) {
    server_.refuse_password("p");
    shutdown(s.fd, SHUT_RDWR);
  });
  mount();
  VfsVolInfo vol{};
  EXPECT_EQ(vfs_statvol(mount_, &vol), -1);
  EXPECT_EQ(vfs_need_exit(mount_), 1u);
  EXPECT_EQ(vfs_statvol(mount_, &vol), -1);
}

// The only logged-in connection is busy with a download when the server stops answering: the
// login for a second one gets no reply, and the liveness check must find the mount broken.
TEST_F(FtpScripted, LoginWithoutAnswerWhileATransferHoldsTheConnectionMarksTheMountBroken) {
  serve_file(pattern(100000));
  mount();
  VfsHandle *fh = vfs_open2(mount_, "/f", VFS_PL_O_RDONLY, 0);
  ASSERT_NE(fh, nullptr) << vfs_get_error(mount_);
  server_.on("USER", [](ScriptedFtp::Session &, const std::string &) {});  // hung from now on
  VfsFileInfo info{};
  EXPECT_EQ(vfs_lstat(mount_, "/g", &info), -1);
  EXPECT_EQ(vfs_need_exit(mount_), 1u);
  EXPECT_EQ(vfs_close(fh), 0);
}

TEST_F(FtpScripted, PathOperationsFtpCannotDoFailCleanly) {
  mount();
  EXPECT_EQ(vfs_chmod(mount_, "/f", 0600), -1);
  EXPECT_EQ(vfs_get_errno(mount_), VERR_NOT_SUPPORTED);
  EXPECT_EQ(vfs_symlink(mount_, "t", "/l"), -1);
  EXPECT_EQ(vfs_lchown(mount_, "/f", 1, 1), -1);
  EXPECT_EQ(vfs_get_posix_errno(mount_), EOPNOTSUPP);
}

}  // namespace
