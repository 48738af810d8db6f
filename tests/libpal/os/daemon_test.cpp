// Daemonizing, checked from outside: the first child ends with status 0 at once, and the process
// that goes on lives in a new session with its standard descriptors on /dev/null.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "pal_os.h"

namespace {

struct daemon_report {
  pid_t pid;
  pid_t sid;
  mode_t umask_seen;
  bool stdio_on_null[3];
  char cwd[PATH_MAX];
};

bool on_dev_null(int fd) {
  struct stat null_st {}, fd_st {};
  return stat("/dev/null", &null_st) == 0 && fstat(fd, &fd_st) == 0 &&
         S_ISCHR(fd_st.st_mode) && fd_st.st_rdev == null_st.st_rdev;
}

[[noreturn]] void run_daemon_side(int report_fd) {
  if (os_daemonize() != 0) _exit(3);
  daemon_report r{};
  r.pid = getpid();
  r.sid = getsid(0);
  r.umask_seen = umask(022);
  for (int fd = 0; fd < 3; ++fd) r.stdio_on_null[fd] = on_dev_null(fd);
  if (!getcwd(r.cwd, sizeof r.cwd)) r.cwd[0] = '\0';
  const bool sent = write(report_fd, &r, sizeof r) == static_cast<ssize_t>(sizeof r);
  _exit(sent ? 0 : 4);
}

TEST(Daemonize, GrandchildRunsInANewSessionWithStdioOnDevNull) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    run_daemon_side(fds[1]);
  }
  close(fds[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  pollfd p{fds[0], POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1) << "no report from the daemonized process";
  daemon_report r{};
  ASSERT_EQ(read(fds[0], &r, sizeof r), static_cast<ssize_t>(sizeof r));
  close(fds[0]);

  EXPECT_NE(r.pid, child);
  EXPECT_NE(r.sid, getsid(0)) << "a new session";
  EXPECT_NE(r.sid, child) << "started by the first fork's child, not by the caller";
  EXPECT_NE(r.pid, r.sid) << "the process that goes on is no session leader";
  EXPECT_EQ(r.umask_seen, 0u);
  for (int fd = 0; fd < 3; ++fd) EXPECT_TRUE(r.stdio_on_null[fd]) << "fd " << fd;
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_STREQ(r.cwd, cwd);
}

}  // namespace
