// Runs a helper program (modprobe, mount, umount) as a child and waits for it.
// Assumes a POSIX system; the child's standard descriptors are the caller's.
#include "run_prog.h"

#include "pal_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

static const char kLogTag[] = "tag";

extern char **environ;

int fuse2_run_prog(const char *const argv[], bool empty_env, bool drop_groups) {
  pid_t pid = fork();
  if (pid < 0) {
    ZLOG(LOG2_ERR, "fork [%s] failed: %s\n", argv[0], strerror(errno));
    return -1;
  }
  if (pid == 0) {
    if (drop_groups && setgroups(0, nullptr) == -1) {
      fprintf(stderr, "priv drop: setgroups failed\n");
      _exit(1);
    }
    static char *const no_env[] = {nullptr};
    execve(argv[0], const_cast<char *const *>(argv), empty_env ? no_env : environ);
    _exit(1);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) == -1) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
