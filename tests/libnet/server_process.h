// Test helper: a real server program run in the foreground as a child of the test, its output in a
// log file, reachable once its port on 127.0.0.1 accepts; stopped by PID (SIGTERM, then SIGKILL).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net.h"
#include "temp_dir.h"

inline bool program_exists(const std::string &path) { return access(path.c_str(), X_OK) == 0; }

class server_process {
 public:
  server_process(const std::vector<std::string> &argv, const std::string &log_path) : log_path_(log_path) {
    // Everything the child needs is prepared before the fork: it only opens, dups and execs.
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd >= 0) {
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
      }
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~server_process() { stop(); }
  server_process(const server_process &) = delete;
  server_process &operator=(const server_process &) = delete;

  // True once 127.0.0.1:port accepts a connection, within timeout_ms.
  bool wait_port(int port, int timeout_ms = 5000) const {
    for (int waited = 0; waited < timeout_ms && pid_ > 0; waited += 50) {
      sock_param p{};
      p.connect_timeout = 200;
      if (const uint32_t s = sock_connect("127.0.0.1", port, &p, nullptr)) {
        os_socket_exit(s);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  std::string log() const { return read_file(log_path_); }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 60; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = 0;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = -1;
  std::string log_path_;
};
