// The zmue program mounting ftp:// URLs of a real proftpd through the kernel: files copied in
// and out with tools, a large directory listed, anonymous read-only access, a refused password
// reported with the server's code, and the end of the mount when the server goes away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "proftpd_server.h"

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool mounted(const std::string &dir) {
  std::ifstream info("/proc/self/mountinfo");
  std::string line;
  while (std::getline(info, line))
    if (line.find(" " + dir + " ") != std::string::npos) return true;
  return false;
}

std::string shell_output(const std::string &command) {
  std::string out;
  FILE *p = popen(("timeout 300 " + command).c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

class FtpMount : public testing::Test {
 protected:
  void SetUp() override {
    std::string why = ProftpdServer::missing_prerequisite();
    if (why.empty() && access("/dev/fuse", R_OK | W_OK) != 0) why = "no /dev/fuse";
    if (why.empty() && access(zmue().c_str(), X_OK) != 0) why = "zmue is not built";
    if (!why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(server_.start()) << server_.why();
    char tmpl[] = "/tmp/zmftp_mnt.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    work_ = tmpl;
    mnt_ = work_ + "/mnt";
    log_ = work_ + "/zmue.log";
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      wait_exit(5000);
      if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    if (!mnt_.empty() && mounted(mnt_)) umount2(mnt_.c_str(), MNT_DETACH);
    std::error_code ec;
    if (!work_.empty()) std::filesystem::remove_all(work_, ec);
  }

  static std::string zmue() { return std::string(ZM_TEST_BINARY_DIR) + "/src/opt/zmue/zmue"; }

  // Starts zmue in the foreground on url; true once the mount point is mounted.
  bool start(const std::string &url, const std::string &query = "options=rw") {
    pid_ = fork();
    if (pid_ == 0) {
      FILE *out = freopen(log_.c_str(), "w", stdout);
      if (out == nullptr || dup2(STDOUT_FILENO, STDERR_FILENO) < 0) _exit(126);
      execl(zmue().c_str(), "zmue", "-q", "-u", url.c_str(), "-m", mnt_.c_str(), "-r",
            query.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      if (mounted(mnt_)) return true;
      if (wait_exit(0) >= 0) return false;
      usleep(50000);
    }
    return false;
  }

  // The exit status once zmue ended (within timeout_ms), else -1.
  int wait_exit(int timeout_ms) {
    for (int waited = 0; pid_ > 0; waited += 20) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (waited >= timeout_ms) break;
      usleep(20000);
    }
    return pid_ > 0 ? -1 : status_;
  }

  std::string m(const std::string &rel) const { return mnt_ + "/" + rel; }

  ProftpdServer server_;
  std::string work_, mnt_, log_;
  pid_t pid_ = -1;
  int status_ = -1;
};

TEST_F(FtpMount, FilesCopiedInAndOutWithTools) {
  ASSERT_TRUE(start(server_.user_url())) << slurp(log_);
  const std::string original = work_ + "/big";
  ASSERT_EQ(system(("dd if=/dev/urandom of=" + original + " bs=1M count=64 2>/dev/null").c_str()),
            0);
  const std::string sum = shell_output("sha256sum < " + original);
  ASSERT_EQ(system(("cp " + original + " " + m("big")).c_str()), 0) << slurp(log_);
  EXPECT_EQ(shell_output("sha256sum < " + server_.home() + "/big"), sum);
  struct stat st {};
  ASSERT_EQ(stat(m("big").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 64LL << 20);
  ASSERT_EQ(system(("cp " + m("big") + " " + work_ + "/back").c_str()), 0) << slurp(log_);
  EXPECT_EQ(shell_output("sha256sum < " + work_ + "/back"), sum);
  EXPECT_EQ(shell_output("cp " + m("big") + " " + m("copy") + " && cmp " + m("copy") + " " +
                         original + " && echo same"),
            "same")
      << "a copy within the mount runs two transfers at once";
  EXPECT_EQ(shell_output("echo more >> " + m("copy") + " && tail -c 5 " + m("copy")), "more");
}

// The server tells the upload's result only when the transfer ends: close(2) must wait for it
// and report a refusal, and the file is complete on the server as soon as close returns.
TEST_F(FtpMount, CloseReportsTheEndOfTheUpload) {
  std::filesystem::create_directories(server_.home() + "/small");
  // Made here as root: the FTP user must be able to write into it.
  chmod((server_.home() + "/small").c_str(), 0777);
  ASSERT_TRUE(start(server_.user_url())) << slurp(log_);
  const std::string data(200000, 'u');
  const struct {
    const char *rel;
    bool refused;
  } cases[] = {{"whole", false}, {"small/too_big", true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.rel);
    int fd = open(m(c.rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << strerror(errno);
    const bool written = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    const bool closed = close(fd) == 0;
    if (c.refused) {
      EXPECT_FALSE(written && closed) << "the refused upload was reported as done";
    } else {
      EXPECT_TRUE(written && closed) << strerror(errno);
      EXPECT_EQ(slurp(server_.home() + "/" + c.rel), data);
    }
  }
}

TEST_F(FtpMount, DirectoryOf2000EntriesIsListed) {
  std::filesystem::create_directories(server_.home() + "/many");
  for (int i = 0; i < 2000; ++i) std::ofstream(server_.home() + "/many/f" + std::to_string(i));
  ASSERT_TRUE(start(server_.user_url())) << slurp(log_);
  EXPECT_EQ(shell_output("ls -a " + m("many") + " | wc -l"), "2002");
  EXPECT_EQ(shell_output("find " + m("many") + " -type f | wc -l"), "2000");
}

TEST_F(FtpMount, OperationsFtpCannotDoFailWithTheirErrno) {
  std::ofstream(server_.home() + "/f") << "0123456789";
  ASSERT_TRUE(start(server_.user_url())) << slurp(log_);
  struct Case {
    const char *what;
    int result;
    int eno;
  };
  errno = 0;
  const Case cases[] = {
      {"symlink", symlink("f", m("l").c_str()), errno},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.result, -1) << c.what;
    EXPECT_EQ(c.eno, EOPNOTSUPP) << c.what;
  }
  errno = 0;
  EXPECT_EQ(link(m("f").c_str(), m("h").c_str()), -1);
  EXPECT_EQ(errno, EOPNOTSUPP);
  errno = 0;
  EXPECT_EQ(truncate(m("f").c_str(), 3), -1);
  EXPECT_EQ(errno, EOPNOTSUPP);
  errno = 0;
  EXPECT_EQ(open(m("f").c_str(), O_RDWR), -1);
  EXPECT_EQ(errno, EOPNOTSUPP);
  // FTP has no way to set times here: a time update, also one that leaves the access time
  // alone as touch -m does, must fail instead of reporting success.
  const struct timespec both[2] = {{1000000000, 0}, {1200000000, 0}};
  const struct timespec mtime_only[2] = {{0, UTIME_OMIT}, {1200000000, 0}};
  for (const struct timespec *ts : {both, mtime_only}) {
    errno = 0;
    EXPECT_EQ(utimensat(AT_FDCWD, m("f").c_str(), ts, 0), -1) << ts[0].tv_nsec;
    EXPECT_EQ(errno, EOPNOTSUPP) << ts[0].tv_nsec;
  }
  EXPECT_EQ(chmod(m("f").c_str(), 0600), 0) << "permissions are silently kept";
  EXPECT_EQ(slurp(m("f")), "0123456789");
}

TEST_F(FtpMount, AnonymousMountIsReadOnly) {
  std::ofstream(server_.anon() + "/readme.txt") << "public text";
  ASSERT_TRUE(start(server_.anonymous_url(), "options=ro")) << slurp(log_);
  EXPECT_EQ(slurp(m("readme.txt")), "public text");
  errno = 0;
  EXPECT_EQ(mkdir(m("d").c_str(), 0755), -1);
  EXPECT_EQ(errno, EROFS);
}

TEST_F(FtpMount, WrongPasswordFailsTheMountWithTheReplyCode) {
  EXPECT_FALSE(start(server_.url_with_password("not-it")));
  EXPECT_GT(wait_exit(10000), 0) << "a failed mount ends the program with an error status";
  EXPECT_NE(slurp(log_).find("ret=530"), std::string::npos) << slurp(log_);
  EXPECT_FALSE(mounted(mnt_));
}

TEST_F(FtpMount, ServerStoppedEndsTheMountWithinTheHeartbeatPeriod) {
  ASSERT_TRUE(start(server_.user_url())) << slurp(log_);
  struct stat st {};
  ASSERT_EQ(stat(mnt_.c_str(), &st), 0);
  server_.stop();
  EXPECT_EQ(wait_exit(12000), 0) << slurp(log_);
  EXPECT_FALSE(mounted(mnt_));
}

}  // namespace
