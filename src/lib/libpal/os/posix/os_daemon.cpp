// Detaches the process from its terminal: two forks, a new session, standard descriptors on
// /dev/null. The working directory stays, because paths given on the command line are relative.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "pal_log.h"
#include "pal_os.h"

static const char kLogTag[] = "pal";

namespace {

// The parent leaves without running exit handlers: they belong to the process that goes on.
// Buffered output is flushed first so that it is written once, not once per process.
int fork_and_leave_parent() {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    ZLOG(LOG2_ERR, "can't fork\n");
    return -1;
  }
  if (pid > 0) _exit(0);
  return 0;
}

}  // namespace

int os_daemonize() {
  rlimit rl{};
  if (getrlimit(RLIMIT_NOFILE, &rl) < 0) ZLOG(LOG2_ERR, "can't get file limit\n");
  if (fork_and_leave_parent() != 0) return -1;

  setsid();
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  if (sigaction(SIGHUP, &sa, nullptr) < 0) ZLOG(LOG2_ERR, "can't ignore SIGHUP\n");
  // The second fork leaves a process that is not a session leader, so it never gets a terminal.
  if (fork_and_leave_parent() != 0) return -1;

  umask(0);
  close(0);
  close(1);
  close(2);
  if (open("/dev/null", O_RDWR) != 0) {
    ZLOG(LOG2_ERR, "open /dev/null fail\n");
    return -1;
  }
  if (dup(0) != 1 || dup(0) != 2) {
    ZLOG(LOG2_ERR, "dup(0)fail\n");
    return -1;
  }
  return 0;
}
