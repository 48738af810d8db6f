// A running zmue whose standard input, output and error are pipes held by the test: lines are
// written one by one, output is awaited with a time limit, and the end is awaited by PID.
// The program runs in its own temp directory (no zmue.ini there unless a test writes one).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class shell_session {
 public:
  // Starts the built zmue with args in work_dir.
  shell_session(const std::string &work_dir, const std::vector<std::string> &args);
  ~shell_session();
  shell_session(const shell_session &) = delete;
  shell_session &operator=(const shell_session &) = delete;

  bool started() const { return pid_ > 0; }
  bool send(const std::string &text);
  void close_input();
  // Reads standard output until it holds `count` occurrences of text in all, or timeout_ms
  // passed; true when they arrived.
  bool wait_output(const std::string &text, int count, int timeout_ms);
  // Waits for the end of the process (killing it after timeout_ms); the exit status, or -1
  // when it did not exit normally. Output read until then stays available.
  int wait_exit(int timeout_ms);
  int term_signal() const { return term_signal_; }

  const std::string &out() const { return out_; }
  const std::string &err() const { return err_; }

 private:
  void drain(int timeout_ms);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  int term_signal_ = 0;
  std::string out_;
  std::string err_;
};

// Occurrences of text in haystack.
int count_of(const std::string &haystack, const std::string &text);
// The same text with each NUL shown as "<0>", for readable failure messages.
std::string show_nul(const std::string &text);
// The path of the built zmue.
std::string zmue_binary();
