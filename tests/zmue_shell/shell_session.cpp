// The child process behind shell_session (see shell_session.h).
#include "shell_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>

namespace {

using clock_type = std::chrono::steady_clock;

int ms_left(clock_type::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock_type::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void close_fd(int &fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

std::string zmue_binary() { return std::string(ZM_TEST_BINARY_DIR) + "/src/opt/zmue/zmue"; }

shell_session::shell_session(const std::string &work_dir, const std::vector<std::string> &args) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
  std::string binary = zmue_binary();
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>("zmue"));
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (chdir(work_dir.c_str()) != 0) _exit(126);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  out_fd_ = out[0];
  err_fd_ = err[0];
  signal(SIGPIPE, SIG_IGN);
}

shell_session::~shell_session() {
  if (pid_ > 0) wait_exit(0);
  close_fd(in_);
  close_fd(out_fd_);
  close_fd(err_fd_);
}

bool shell_session::send(const std::string &text) {
  return in_ >= 0 && write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void shell_session::close_input() { close_fd(in_); }

// One round of reading whatever both pipes have, waiting at most timeout_ms for the first byte.
void shell_session::drain(int timeout_ms) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  if (poll(fds, 2, timeout_ms) <= 0) return;
  for (int i = 0; i < 2; ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
    char buf[4096];
    ssize_t n = read(fds[i].fd, buf, sizeof(buf));
    if (n > 0) {
      (i == 0 ? out_ : err_).append(buf, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      close_fd(i == 0 ? out_fd_ : err_fd_);
    }
  }
}

bool shell_session::wait_output(const std::string &text, int count, int timeout_ms) {
  auto end = clock_type::now() + std::chrono::milliseconds(timeout_ms);
  while (count_of(out_, text) < count) {
    if (out_fd_ < 0 || ms_left(end) == 0) return false;
    drain(ms_left(end));
  }
  return true;
}

int shell_session::wait_exit(int timeout_ms) {
  if (pid_ <= 0) return -1;
  auto end = clock_type::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (ms_left(end) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    if (out_fd_ >= 0 || err_fd_ >= 0) {
      drain(std::min(ms_left(end), 50));
    } else {
      usleep(10 * 1000);
    }
  }
  pid_ = -1;
  // What the process wrote before it ended; a descendant holding the pipes must not stall us.
  for (auto stop = clock_type::now() + std::chrono::seconds(2);
       (out_fd_ >= 0 || err_fd_ >= 0) && ms_left(stop) > 0;)
    drain(std::min(ms_left(stop), 200));
  if (WIFSIGNALED(status)) term_signal_ = WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int count_of(const std::string &haystack, const std::string &text) {
  int n = 0;
  for (size_t at = haystack.find(text); at != std::string::npos; at = haystack.find(text, at + 1)) ++n;
  return n;
}

std::string show_nul(const std::string &text) {
  std::string shown;
  for (char c : text) {
    if (c == '\0') {
      shown += "<0>";
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}
