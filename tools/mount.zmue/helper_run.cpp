// mount.zmue: runs zmue with -d and waits for its mount. zmue's first process leaves as soon
// as it has forked the daemon, so this helper makes itself the child subreaper: the daemon is
// then re-parented here and its exit status (a failed kernel mount) can be read with waitpid.
#include "helper_run.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef ZM_INSTALLED_ZMUE
#define ZM_INSTALLED_ZMUE "/usr/local/bin/zmue"
#endif

namespace {

constexpr size_t kOutputLimit = 64 * 1024;

// A descriptor closed when it goes out of scope.
class fd_owner {
 public:
  explicit fd_owner(int fd = -1) : fd_(fd) {}
  fd_owner(const fd_owner &) = delete;
  fd_owner &operator=(const fd_owner &) = delete;
  ~fd_owner() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool executable(const std::string &path) { return access(path.c_str(), X_OK) == 0; }

long long now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The child: zmue with its output on the pipe and no terminal input.
[[noreturn]] void exec_zmue(const std::string &program, const helper_request &request,
                            int out_fd) {
  std::vector<std::string> all = {program};
  all.insert(all.end(), request.zmue_args.begin(), request.zmue_args.end());
  std::vector<char *> argv;
  for (std::string &a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int null = open("/dev/null", O_RDONLY);
  if (null < 0 || dup2(null, 0) < 0 || dup2(out_fd, 1) < 0 || dup2(out_fd, 2) < 0) _exit(127);
  execvp(argv[0], argv.data());
  dprintf(2, "mount.zmue: cannot run %s: %s\n", program.c_str(), strerror(errno));
  _exit(127);
}

// The children of this process (zmue, later its re-parented daemon), from /proc.
std::vector<pid_t> own_children() {
  std::vector<pid_t> pids;
  std::ifstream in("/proc/self/task/" + std::to_string(getpid()) + "/children");
  pid_t pid;
  while (in >> pid) pids.push_back(pid);
  return pids;
}

int status_code(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void report(const std::string &output, const char *format, int value) {
  if (!output.empty()) {
    fputs(output.c_str(), stderr);
    if (output.back() != '\n') fputc('\n', stderr);
  }
  fprintf(stderr, format, value);
}

}  // namespace

std::string helper_zmue_path() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n > 0) {
    std::string dir(self, static_cast<size_t>(n));
    std::string beside = dir.substr(0, dir.rfind('/') + 1) + "zmue";
    if (executable(beside)) return beside;
  }
  return executable(ZM_INSTALLED_ZMUE) ? ZM_INSTALLED_ZMUE : "zmue";
}

int helper_run(const std::string &program, const helper_request &request) {
  if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
    fprintf(stderr, "mount.zmue: cannot collect the daemon: %s\n", strerror(errno));
    return 1;
  }
  // A mount already on the directory is not the one this call makes.
  const std::set<int> before = helper_fuse_mounts_at(request.dir);
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    fprintf(stderr, "mount.zmue: pipe: %s\n", strerror(errno));
    return 1;
  }
  fd_owner reader(pipe_fds[0]), writer(pipe_fds[1]);
  const pid_t pid = fork();
  if (pid < 0) {
    fprintf(stderr, "mount.zmue: fork: %s\n", strerror(errno));
    return 1;
  }
  if (pid == 0) exec_zmue(program, request, writer.get());
  writer.reset();

  std::string output;
  int failure = 0;
  const long long deadline = now_ms() + request.timeout_s * 1000LL;
  for (;;) {
    for (int id : helper_fuse_mounts_at(request.dir)) {
      if (!before.count(id)) {
        if (request.verbose) fputs(output.c_str(), stderr);
        return 0;
      }
    }
    // Every process of zmue's start reports here; the first one that failed decides.
    int status = 0;
    pid_t done;
    while ((done = waitpid(-1, &status, WNOHANG)) > 0) {
      if (failure == 0 && status_code(status) != 0) failure = status_code(status);
    }
    const bool none_left = done < 0 && errno == ECHILD;
    if (failure != 0 || none_left) {
      // The mount may have come up just before its daemon went; look once more.
      if (failure == 0 && helper_fuse_mounts_at(request.dir) != before) return 0;
      report(output, "mount.zmue: zmue ended with status %d before the mount was up\n",
             failure);
      return failure != 0 ? failure : 1;
    }
    if (now_ms() >= deadline) {
      for (pid_t child : own_children()) kill(child, SIGTERM);
      report(output, "mount.zmue: no mount after %d seconds\n", request.timeout_s);
      return 1;
    }
    pollfd pfd{reader.get(), POLLIN, 0};
    if (reader.get() >= 0 && poll(&pfd, 1, 50) > 0) {
      char buf[4096];
      ssize_t n = read(reader.get(), buf, sizeof(buf));
      if (n > 0 && output.size() < kOutputLimit) output.append(buf, static_cast<size_t>(n));
      if (n == 0) reader.reset();
    } else if (reader.get() < 0) {
      usleep(50 * 1000);
    }
  }
}
