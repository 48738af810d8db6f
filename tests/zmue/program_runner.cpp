// Child-process runner for the program tests: fork, optional setuid, exec with a small fixed
// environment, then a poll loop over the output pipes with a deadline. Nothing here waits
// without a bound; a child that outlives its deadline is killed.
#include "program_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

struct pipe_pair {
  int fd[2] = {-1, -1};
  pipe_pair() {
    if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  }
  ~pipe_pair() {
    close_read();
    close_write();
  }
  void close_read() {
    if (fd[0] >= 0) close(fd[0]);
    fd[0] = -1;
  }
  void close_write() {
    if (fd[1] >= 0) close(fd[1]);
    fd[1] = -1;
  }
};

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void child_exec(const run_request &request, char *const *argv, char *const *envp,
                             int in_fd, int out_fd, int err_fd) {
  if (dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(120);
  if (!request.cwd.empty() && chdir(request.cwd.c_str()) != 0) _exit(121);
  if (request.set_user) {
    if (setgroups(0, nullptr) != 0 || setgid(request.gid) != 0 || setuid(request.uid) != 0) {
      _exit(122);
    }
  }
  execve(request.binary.c_str(), argv, envp);
  _exit(123);
}

}  // namespace

run_result run_program(const run_request &request) {
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> words;
  words.push_back(request.binary.substr(request.binary.find_last_of('/') + 1));
  words.insert(words.end(), request.args.begin(), request.args.end());
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::string path_env = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
  char *envp[] = {path_env.data(), nullptr};

  pipe_pair in, out, err;
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) child_exec(request, argv.data(), envp, in.fd[0], out.fd[1], err.fd[1]);
  in.close_read();
  out.close_write();
  err.close_write();

  run_result result;
  const char *data = request.stdin_text.data();
  size_t left = request.stdin_text.size();
  while (left > 0) {
    ssize_t n = write(in.fd[1], data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (!request.keep_stdin_open) in.close_write();

  long long deadline = now_ms() + request.timeout_ms;
  bool signalled = false;
  long long signal_at = -1;
  pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  while ((fds[0].fd >= 0 || fds[1].fd >= 0) && now_ms() < deadline) {
    int ready = poll(fds, 2, 50);
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < 2 && ready > 0; i++) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof(buf));
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
      }
    }
    if (signal_at < 0 && request.signal_number != 0 &&
        result.err.find(request.signal_after) != std::string::npos) {
      signal_at = now_ms() + request.signal_delay_ms;
    }
    if (!signalled && signal_at >= 0 && now_ms() >= signal_at) {
      kill(pid, request.signal_number);
      signalled = true;
    }
  }

  int wstatus = 0;
  pid_t done = 0;
  while ((done = waitpid(pid, &wstatus, WNOHANG)) == 0 && now_ms() < deadline) usleep(10000);
  if (done != pid) {
    result.timed_out = true;
    kill(pid, SIGKILL);
    waitpid(pid, &wstatus, 0);
  }
  in.close_write();
  if (WIFEXITED(wstatus)) {
    result.exited = !result.timed_out;
    result.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    result.term_signal = WTERMSIG(wstatus);
  }
  return result;
}

std::string read_text_file(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void write_text_file(const std::string &path, const std::string &text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  if (!file.flush()) throw std::runtime_error("cannot write " + path);
}
