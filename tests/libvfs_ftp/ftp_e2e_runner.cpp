// Runs the whole end-to-end program against an ftp:// mount: starts proftpd on 127.0.0.1, points
// ZM_E2E_URL and ZM_E2E_BACKING at its user's home, runs the program given as argument (further
// arguments pass through), and stops the server by its PID. Exit 77 when proftpd cannot run.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "proftpd_server.h"

namespace {

constexpr int kSkipped = 77;
constexpr int kBoundSeconds = 1500;  // below the CTest time-out, so the server is always stopped

// The exit status of the child within the bound; kills it (its PID) once the bound has passed.
int wait_bounded(pid_t child) {
  for (int tenth = 0; tenth < kBoundSeconds * 10; ++tenth) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usleep(100000);
  }
  fprintf(stderr, "end-to-end program still running after %d s: killed\n", kBoundSeconds);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s e2e_program [arguments]\n", argv[0]);
    return 2;
  }
  const std::string why = ProftpdServer::missing_prerequisite();
  if (!why.empty()) {
    fprintf(stderr, "skipped: %s\n", why.c_str());
    return kSkipped;
  }
  ProftpdServer server;
  // The suite makes its files in the backing as root and then changes them through the mount.
  if (!server.start(true)) {
    fprintf(stderr, "proftpd: %s\n", server.why().c_str());
    return 1;
  }
  if (setenv("ZM_E2E_URL", server.user_url("/").c_str(), 1) != 0 ||
      setenv("ZM_E2E_BACKING", server.home().c_str(), 1) != 0)
    return 1;
  fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    execv(argv[1], argv + 1);
    _exit(127);
  }
  const int status = wait_bounded(child);
  if (status != 0) fprintf(stderr, "proftpd log:\n%s\n", server.log().c_str());
  return status;
}
